// The credentials record and the bind name it builds.
#include <gtest/gtest.h>

#include "directory/clsConnection.h"

namespace {

using qv::clsConnection;

TEST(Connection, StartsAsTheLoggedOnUser) {
    clsConnection c;
    EXPECT_EQ(c.Username(), "##CurrentUser##");
    EXPECT_FALSE(c.Admin());
    EXPECT_EQ(c.Domain(), "");
    EXPECT_EQ(c.Password(), "");
    EXPECT_EQ(c.LogonString(), "dc=,cn=##CurrentUser##");
    EXPECT_TRUE(c.isCurrentUser());
}

TEST(Connection, TheLogonStringFollowsUserDomainAndAdmin) {
    clsConnection c;
    c.setDomain("CORP");
    c.setUsername("user1");
    EXPECT_EQ(c.LogonString(), "dc=CORP,cn=user1");
    c.setAdmin(true);
    EXPECT_EQ(c.LogonString(), "dc=CORP,cn=user1,cn=admin");
    c.setPassword("secret");  // the password is not part of it
    EXPECT_EQ(c.LogonString(), "dc=CORP,cn=user1,cn=admin");
    c.setAdmin(false);
    EXPECT_EQ(c.LogonString(), "dc=CORP,cn=user1");
    c.setDomain(" ");
    EXPECT_EQ(c.LogonString(), "dc= ,cn=user1");
}

TEST(Connection, AnAssignedLogonStringLastsUntilTheNextChange) {
    clsConnection c;
    c.setLogonString("cn=Manager,o=Org");
    c.setPassword("pw");
    EXPECT_EQ(c.LogonString(), "cn=Manager,o=Org");
    c.setUsername("writer");
    EXPECT_EQ(c.LogonString(), "dc=,cn=writer");
}

TEST(Connection, OnlyTheExactMarkerMeansTheLoggedOnUser) {
    clsConnection c;
    c.setPassword("not sent");
    EXPECT_TRUE(c.isCurrentUser());
    c.setUsername("##currentuser##");
    EXPECT_FALSE(c.isCurrentUser());
    EXPECT_EQ(c.LogonString(), "dc=,cn=##currentuser##");
    c.setUsername(" ##CurrentUser##");
    EXPECT_FALSE(c.isCurrentUser());
}

}  // namespace
