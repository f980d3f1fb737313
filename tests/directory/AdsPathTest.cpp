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
