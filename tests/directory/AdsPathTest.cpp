// Directory addresses in both forms, and the small DN helpers under them.
#include <gtest/gtest.h>

#include <random>

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
    EXPECT_EQ(slash.host, "srv01");
    EXPECT_EQ(slash.port, 389);
    EXPECT_EQ(slash.url(), "ldap://srv01:389");
    // One part alone is a DN in either reading.
    EXPECT_EQ(parseAdsPath("LDAP://srv01/o=Northwind Traders").dn, "o=Northwind Traders");
}

TEST(AdsPath, SchemeInAnyCaseServerPortsAndTargets) {
    for (const char* p : {"ldap://h:3890/o=Org", "Ldap://h:3890/o=Org", "LDAP://h:3890/o=Org"}) {
        auto path = parseAdsPath(p);
        EXPECT_EQ(path.server, "h:3890") << p;
        EXPECT_EQ(path.port, 3890) << p;
        EXPECT_EQ(path.url(), "ldap://h:3890") << p;
    }
    auto v6 = parseAdsPath("LDAP://[::1]:1389/o=Org");
    EXPECT_EQ(v6.host, "::1");
    EXPECT_EQ(v6.server, "[::1]:1389");
    EXPECT_EQ(v6.url(), "ldap://[::1]:1389");

    EXPECT_EQ(parseAdsPath("LDAP://srv01").target, AdsTarget::Server);
    EXPECT_EQ(parseAdsPath("LDAP://srv01/").target, AdsTarget::Server);
    EXPECT_EQ(parseAdsPath("LDAP://srv01/RootDSE").target, AdsTarget::RootDse);
    EXPECT_EQ(parseAdsPath("LDAP://srv01/rootdse").target, AdsTarget::RootDse);
    // No server: the default one.
    auto none = parseAdsPath("LDAP://");
    EXPECT_EQ(none.server, "");
    EXPECT_EQ(none.url(), "");
    EXPECT_EQ(parseAdsPath("LDAP:///o=Org").dn, "o=Org");
}

TEST(AdsPath, PartsMayHoldCommasSlashesAndUtf8) {
    EXPECT_EQ(parseAdsPath("LDAP://h/dc=example,dc=com/ou=Site/cn=Recipients").dn,
              "cn=Recipients,ou=Site,dc=example,dc=com");
    // "\/" is a slash inside a value.
    EXPECT_EQ(parseAdsPath("LDAP://h/o=Org/cn=Recipients/cn=Legal\\/Compliance").dn,
              "cn=Legal/Compliance,cn=Recipients,o=Org");
    EXPECT_EQ(parseAdsPath("LDAP://h/cn=Legal\\/Compliance,cn=Recipients,o=Org").dn,
              "cn=Legal/Compliance,cn=Recipients,o=Org");
    // A bare "/" that does not start a new name belongs to the value before it.
    EXPECT_EQ(parseAdsPath("LDAP://h/cn=x,cn=Legal/Compliance,cn=Recipients,o=Org").dn,
              "cn=x,cn=Legal/Compliance,cn=Recipients,o=Org");
    EXPECT_EQ(parseAdsPath("LDAP://h/o=Org/cn=Recipients/cn=Legal/Compliance").dn,
              "cn=Legal/Compliance,cn=Recipients,o=Org");
    // DN escapes stay as they are; an escaped backslash before "/" does not escape it.
    EXPECT_EQ(parseAdsPath("LDAP://h/o=Org/cn=van Dijk\\, Eva").dn, "cn=van Dijk\\, Eva,o=Org");
    EXPECT_EQ(parseAdsPath("LDAP://h/o=Org/cn=a\\\\/cn=b").dn, "cn=b,cn=a\\\\,o=Org");
    EXPECT_EQ(parseAdsPath("LDAP://h/o=Org/cn=J\xC3\xB6rg M\xC3\xBCller").dn, "cn=J\xC3\xB6rg M\xC3\xBCller,o=Org");
    EXPECT_EQ(parseAdsPath("LDAP://h/2.5.4.3=x,o=Org").dn, "2.5.4.3=x,o=Org");
}

TEST(AdsPath, PathOfAnObjectRoundTrips) {
    auto server = parseAdsPath("ldap://127.0.0.1:3890/RootDSE");
    std::string dn = "cn=xvanderveen,cn=Legal/Compliance,cn=Recipients,o=Org";
    std::string path = server.pathOf(dn);
    EXPECT_EQ(path, "LDAP://127.0.0.1:3890/cn=xvanderveen,cn=Legal\\/Compliance,cn=Recipients,o=Org");
    EXPECT_EQ(parseAdsPath(path).dn, dn);
    EXPECT_EQ(server.pathOf(""), "LDAP://127.0.0.1:3890");
    EXPECT_EQ(escapeSlashes("cn=a\\/b/c"), "cn=a\\/b\\/c");
}

TEST(AdsPath, TextsThatAreNoAddressAreRefused) {
    for (const char* p : {"", "LDAP:/", "LDAP:", "http://h/o=Org", "srv01", "LDAP://h:0/o=Org", "LDAP://h:99999",
                          "LDAP://h:/o=Org", "LDAP://h:abc", "LDAP://h h/o=Org", "LDAP://[::1/o=Org", "LDAP://[]/o=Org",
                          "LDAP://h?x/o=Org", "LDAP://:389/o=Org", "LDAP://h/notadn", "LDAP://h/o=Org//cn=x",
                          "LDAP://h//o=Org", "LDAP://h/=x"}) {
        try {
            parseAdsPath(p);
            ADD_FAILURE() << "accepted: " << p;
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), err::BadPathname) << p;
            EXPECT_NE(e.description().find(p), std::string::npos) << e.description();
        }
    }
}

TEST(AdsPath, AnyTextEitherParsesOrIsRefusedCleanly) {
    std::string alphabet = "ab=,/\\:[]. #+\"<>;\xC3\xB6";
    alphabet.push_back('\0');
    std::mt19937 random(20261206);
    for (int i = 0; i < 20000; ++i) {
        std::string text = i % 2 ? "LDAP://" : "ldap://h/";
        int length = int(random() % 24);
        for (int k = 0; k < length; ++k) text += alphabet[random() % alphabet.size()];
        try {
            auto path = parseAdsPath(text);
            if (path.target == AdsTarget::Object) {
                EXPECT_FALSE(path.dn.empty()) << text;
            }
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), err::BadPathname) << text;
        }
    }
}

TEST(DistinguishedName, EscapesSplitsAndReadsRdns) {
    EXPECT_EQ(escapeDnValue("van Dijk, Eva"), "van Dijk\\, Eva");
    EXPECT_EQ(escapeDnValue("#1 \"a\"+b;<c>\\ "), "\\#1 \\\"a\\\"\\+b\\;\\<c\\>\\\\\\ ");
    EXPECT_EQ(escapeDnValue("J\xC3\xB6rg/x"), "J\xC3\xB6rg/x");
    EXPECT_EQ(unescapeDnValue("van Dijk\\2C Eva\\\\"), "van Dijk, Eva\\");

    const std::string dn = "cn=van Dijk\\, Eva,cn=Recipients,o=Org";
    EXPECT_EQ(firstRdn(dn), "cn=van Dijk\\, Eva");
    EXPECT_EQ(parentDn(dn), "cn=Recipients,o=Org");
    EXPECT_EQ(parentDn("o=Org"), "");
    EXPECT_EQ(firstRdn("o=Org"), "o=Org");

    auto avas = rdnValues("cn=a\\,b+uid=c\\2Bd");
    ASSERT_EQ(avas.size(), 2u);
    EXPECT_EQ(avas[0].attribute, "cn");
    EXPECT_EQ(avas[0].value, "a,b");
    EXPECT_EQ(avas[1].attribute, "uid");
    EXPECT_EQ(avas[1].value, "c+d");
}
