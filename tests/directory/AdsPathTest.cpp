// Directory addresses in both forms, and the small DN helpers under them.
#include <gtest/gtest.h>

#include "platform/AdsPath.h"
#include "platform/DistinguishedName.h"
#include "platform/Error.h"
#include "platform/ErrorNumbers.h"

using namespace qv;
using namespace qv::platform;

TEST(AdsPath, CommaAndSlashFormsNameTheSameObject) {
    auto comma = parseAdsPath("LDAP://srv01/cn=Recipients,ou=Amsterdam,o=Northwind Traders");
    auto slash = parseAdsPath("LDAP://srv01/o=Northwind Traders/ou=Amsterdam/cn=Recipients");
    EXPECT_EQ(comma.dn, "cn=Recipients,ou=Amsterdam,o=Northwind Traders");
    EXPECT_EQ(slash.dn, comma.dn);
    EXPECT_EQ(slash.target, AdsTarget::Object);
    EXPECT_EQ(slash.server, "srv01");
    ASSERT_EQ(slash.servers.size(), 1u);
    EXPECT_EQ(slash.url(), "ldap://srv01:389");
    // One part alone is a DN in either reading.
    EXPECT_EQ(parseAdsPath("LDAP://srv01/o=Northwind Traders").dn, "o=Northwind Traders");
    // Several servers, each with its own port, and every address built from them keeps the list.
    auto list = parseAdsPath("LDAPS://ldap1,[::1]:3636/o=Org/ou=Site");
    EXPECT_EQ(list.url(0) + " " + list.url(1), "ldaps://ldap1:636 ldaps://[::1]:3636");
    EXPECT_EQ(list.pathOf(list.dn), "LDAPS://ldap1,[::1]:3636/ou=Site,o=Org");
}

TEST(AdsPath, TextsThatAreNoAddressAreRefused) {
    for (const char* p : {"", "LDAP:/", "LDAP:", "http://h/o=Org", "srv01", "LDAP://h:0/o=Org", "LDAP://h:99999",
                          "LDAP://h:/o=Org", "LDAP://h:abc", "LDAP://h h/o=Org", "LDAP://[::1/o=Org", "LDAP://[]/o=Org",
                          "LDAP://h?x/o=Org", "LDAP://:389/o=Org", "LDAP://h/notadn", "LDAP://h/o=Org//cn=x",
                          "LDAP://h//o=Org", "LDAP://h/=x", "LDAP://h,/o=Org", "LDAP://h,,i", "LDAP://,h"}) {
        try {
            parseAdsPath(p);
            ADD_FAILURE() << "accepted: " << p;
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), err::BadPathname) << p;
            EXPECT_NE(e.description().find(p), std::string::npos) << e.description();
        }
    }
}

// DNs and addresses compared as a directory compares names.
TEST(DistinguishedName, SpellingsOfOneNameAreTheSameDn) {
    const std::tuple<const char*, const char*, bool> rows[] = {
        {"cn=Van Dijk\\, Eva,o=Org", "CN=van dijk\\2C eva, O=ORG", true},
        {"cn=a,o=Org", "commonName=A,2.5.4.10=org", true},
        {"cn=a  b ,ou=x", "cn=A B,ou=X", true},
        {"cn=a+uid=b,o=Org", "uid=B+cn=a,o=Org", true},
        {"cn=\"a,b\",dc=example", "cn=a\\,b,DC=Example", true},
        {"cn=Zo\xc3\xab,o=Org", "cn=zo\\c3\\ab,o=org", true},
        {"cn=a,o=Org", "cn=b,o=Org", false},
        {"cn=a,o=Org", "cn=a,ou=Org", false},
        {"cn=a,o=Org", "cn=a", false},
        {"employeeNumber=X1,o=Org", "employeenumber=x1,o=Org", false},  // case counts for other attributes
        {"cn=Zo\xc3\xab,o=Org", "cn=ZO\xc3\x8b,o=Org", false},           // beyond ASCII, case counts
        {"not a dn", "NOT A DN", false},
    };
    for (const auto& [a, b, same] : rows) EXPECT_EQ(sameDn(a, b), same) << a << " | " << b;
    EXPECT_TRUE(sameObject("LDAP://Srv:389/cn=A,o=Org", "ldap://srv/o=org/cn=a"));
    EXPECT_FALSE(sameObject("LDAP://srv/cn=a,o=Org", "LDAPS://srv/cn=a,o=Org"));
    EXPECT_FALSE(sameObject("LDAP://srv/cn=a,o=Org", "LDAP://srv:1389/cn=a,o=Org"));
}
