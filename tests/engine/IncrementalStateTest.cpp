// The state file keeps every byte of a record, and a file it cannot trust
// starts an empty state instead of passing for one.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "engine/IncrementalState.h"

using namespace qv;

TEST(IncrementalState, KeepsEveryRecordAndDiscardsWhatItCannotTrust) {
    const auto folder = std::filesystem::temp_directory_path() / ("qv-state-" + std::to_string(::getpid()));
    const std::string path = (folder / "p.state").string();
    DlSyncState odd{"QVL=<LDAP://s/o=x>;(cn=a\tb\\c);cn", "ldap://s:389", std::string("\0\x01\n\t", 4),
                    {{"u-1", "cn=a\\,b,o=x"}, {"u-2", "cn=line\nbreak,o=x"}}, {"cn=empty", "cn=line\nbreak,o=x",
                    "CN=A\\2CB,o=x"}, "20261207.1Z#000000#000#000000", -5, 2};
    DlSyncState plain{"QVL=q", "", "c", {{"u-3", "cn=c,o=x"}, {"u-4", "cn=d,o=x"}}, {"cn=c,o=x", "cn=d,o=x"}, "", 7, {}};
    {
        IncrementalState state(path, "LDAP://s/o=x");
        state.Put("LDAP://s/cn=odd\t1", odd);
        state.Put("LDAP://s/cn=plain", plain);
        ASSERT_EQ(state.Save(), "");
    }
    IncrementalState again(path, "LDAP://s/o=x");
    EXPECT_EQ(again.Discarded(), "");
    ASSERT_NE(again.FindHeader("LDAP://s/cn=plain"), nullptr);
    EXPECT_TRUE(again.FindHeader("LDAP://s/cn=plain")->found.empty());
    ASSERT_NE(again.Find("LDAP://s/cn=odd\t1"), nullptr);
    EXPECT_EQ(*again.Find("LDAP://s/cn=odd\t1"), odd);
    EXPECT_EQ(*again.Find("LDAP://s/cn=plain"), plain);
    EXPECT_NE(IncrementalState(path, "LDAP://other/o=x").Discarded(), "");
    std::filesystem::resize_file(path, std::filesystem::file_size(path) - 3);  // cut short
    IncrementalState cut(path, "LDAP://s/o=x");
    EXPECT_TRUE(!cut.Discarded().empty() || cut.Find("LDAP://s/cn=plain") == nullptr);
    std::ofstream(path) << "{\"format\":1}";
    IncrementalState old(path, "LDAP://s/o=x");
    EXPECT_NE(old.Discarded(), "");
    EXPECT_EQ(old.Size(), 0u);
    std::filesystem::remove_all(folder);
}
