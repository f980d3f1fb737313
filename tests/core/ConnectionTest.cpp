// The credentials record and the bind name it builds.
#include <gtest/gtest.h>

#include "directory/clsConnection.h"

namespace {

using qv::clsConnection;

TEST(Connection, TheLogonStringFollowsUserDomainAndAdminButNeverThePassword) {
    clsConnection c;
    EXPECT_TRUE(c.isCurrentUser());
    EXPECT_EQ(c.LogonString(), "dc=,cn=##CurrentUser##");
    c.setDomain("CORP");
    c.setUsername("user1");
    c.setAdmin(true);
    c.setPassword("secret");
    EXPECT_EQ(c.LogonString(), "dc=CORP,cn=user1,cn=admin");
    c.setAdmin(false);
    c.setDomain(" ");
    EXPECT_EQ(c.LogonString(), "dc= ,cn=user1");

    // An assigned logon string lasts until the next change.
    c.setLogonString("cn=Manager,o=Org");
    c.setPassword("pw");
    EXPECT_EQ(c.LogonString(), "cn=Manager,o=Org");
    c.setUsername("writer");
    EXPECT_EQ(c.LogonString(), "dc= ,cn=writer");
}

TEST(Connection, OnlyTheExactMarkerMeansTheLoggedOnUser) {
    clsConnection c;
    c.setUsername("##currentuser##");
    EXPECT_FALSE(c.isCurrentUser());
    EXPECT_EQ(c.LogonString(), "dc=,cn=##currentuser##");
    c.setUsername(" ##CurrentUser##");
    EXPECT_FALSE(c.isCurrentUser());
}

}  // namespace
