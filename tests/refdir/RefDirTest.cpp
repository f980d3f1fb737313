// The reference directory answers the way the program expects a messaging
// directory to answer: its root entry, its accounts and its seed.
#include <gtest/gtest.h>

#include "support/LdapTool.h"
#include "support/ReferenceDirectory.h"
#include "support/TestEnvironment.h"

using namespace qv::test;

TEST(ReferenceDirectory, RootEntryHasTheNamingContextLayout) {
    LdapTool tool(sharedDirectory());
    auto root = tool.search("", "(objectClass=*)", "base", {"defaultNamingContext", "namingContexts"});
    ASSERT_EQ(root.size(), 1u);
    EXPECT_EQ(root[0].first("defaultNamingContext"), kOrg);
    const auto& contexts = root[0].values("namingContexts");
    ASSERT_GE(contexts.size(), 4u);
    const size_t u = contexts.size() - 1;
    EXPECT_EQ(contexts[u - 1], kSite);  // the site is second to last
    EXPECT_EQ(contexts[u - 3], std::string("cn=Configuration,") + kSite);  // configuration fourth to last
}

TEST(ReferenceDirectory, BothLogonFormsBindAndTheReaderCannotWrite) {
    const auto& dir = sharedDirectory();
    for (bool admin : {false, true}) {
        for (Account account : {kWriter, kReader}) {
            auto r = runCommand({"ldapwhoami", "-x", "-H", dir.url(), "-D", account.dn(admin), "-w", account.password},
                                {{"LDAPNOINIT", "1"}});
            EXPECT_EQ(r.exitCode, 0) << account.dn(admin) << ": " << r.err;
        }
    }
    auto wrong = runCommand({"ldapwhoami", "-x", "-H", dir.url(), "-D", kWriter.dn(), "-w", "nope"},
                            {{"LDAPNOINIT", "1"}});
    EXPECT_EQ(wrong.exitCode, 49);  // invalidCredentials

    const std::string dl = std::string("cn=qvl-nobody,") + kDistributionLists;
    EXPECT_THROW(LdapTool(dir, kReader).replace(dl, "info", {"changed by reader"}), std::runtime_error);
    LdapTool(dir, kWriter).replace(dl, "info", {"changed by writer"});
    EXPECT_EQ(LdapTool(dir).values(dl, "info"), std::vector<std::string>{"changed by writer"});
}

TEST(ReferenceDirectory, SeedOrganisationIsWorthTestingAgainst) {
    LdapTool tool(sharedDirectory());
    EXPECT_GE(tool.dns(kOrg, "(objectClass=organizationalPerson)").size(), 50u);
    EXPECT_GE(tool.dns(kOrg, "(objectClass=remote-Address)").size(), 5u);
    EXPECT_TRUE(tool.exists(std::string("cn=Configuration,") + kSite));
    // Two containers with the same relative name under different parents.
    EXPECT_EQ(tool.dns(kOrg, "(&(objectClass=Container)(cn=Archive))").size(), 2u);
    // A distribution list may be empty: groupOfNames without member is allowed.
    EXPECT_TRUE(tool.values(std::string("cn=qvl-nobody,") + kDistributionLists, "member").empty());
    // Entries with a comma, UTF-8 and a "/" in their names.
    EXPECT_TRUE(tool.exists(std::string("cn=van Dijk\\, Eva,") + kRecipients));
    EXPECT_EQ(tool.values(std::string("cn=jmuller,") + kRecipients, "cn").front(), "J\xC3\xB6rg M\xC3\xBCller");
    EXPECT_TRUE(tool.exists(std::string("cn=Legal/Compliance,") + kRecipients));
}

TEST(ReferenceDirectory, ParallelInstancesDoNotCollide) {
    ReferenceDirectory second;
    EXPECT_NE(second.server(), sharedDirectory().server());
    EXPECT_FALSE(LdapTool(second).dns(kOrg, "(objectClass=groupOfNames)").empty());
    second.stop();
    EXPECT_FALSE(second.running());
}
