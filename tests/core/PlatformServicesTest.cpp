// Small platform services: opening programs and documents and the
// previous-instance lock.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "IsolatedEnvironment.h"
#include "core/clsKVOR.h"
#include "platform/InstanceLock.h"
#include "platform/Shell.h"

namespace {

using namespace qv;
using qv::test::readFile;

// Waits (up to a generous bound) for a file that a started child writes.
bool appears(const std::string& path) {
    for (int i = 0; i < 500; ++i) {
        if (std::filesystem::exists(path) && !readFile(path).empty()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

TEST(ShellExecute, StartsAProgramWithItsParametersInTheWorkingFolder) {
    qv::test::TempDir temp;
    clsKVOR kvor;
    const int result = kvor.ShellExecute("/bin/sh", "-c \"pwd > out.txt\"", "Open", temp.path(), 1);
    EXPECT_GT(result, 32);
    ASSERT_TRUE(appears(temp.file("out.txt")));
    EXPECT_EQ(readFile(temp.file("out.txt")), std::filesystem::canonical(temp.path()).string() + "\n");

    EXPECT_GT(kvor.ShellExecute("sh", "-c \"echo found > by-path.txt\"", "", temp.path(), 1), 32);
    EXPECT_TRUE(appears(temp.file("by-path.txt")));
}

TEST(ShellExecute, DoesNotWaitForTheChild) {
    qv::test::TempDir temp;
    // The child only finishes once the test has seen the call return.
    const std::string go = temp.file("go"), done = temp.file("done");
    // Were the call to wait, the child would give up after a while and say so.
    const std::string script = "-c \"i=0; while [ ! -e " + go + " ] && [ $i -lt 500 ]; do sleep 0.02; i=$((i+1)); done; "
                               "if [ -e " + go + " ]; then echo ok; else echo blocked; fi > " + done + "\"";
    ASSERT_GT(platform::shellExecute("/bin/sh", script, "open", "", 1), 32);
    qv::test::writeFile(go, "1");
    ASSERT_TRUE(appears(done));
    EXPECT_EQ(readFile(done), "ok\n");
}

TEST(ShellExecute, ReportsFailuresWithSmallNumbers) {
    qv::test::TempDir temp;
    clsKVOR kvor;
    EXPECT_EQ(kvor.ShellExecute("/no/such/program", "", "Open", "", 1), platform::kShellFileNotFound);
    EXPECT_EQ(kvor.ShellExecute("EVENTVWR.EXE", "", "Open", "", 1), platform::kShellFileNotFound);
    EXPECT_EQ(kvor.ShellExecute("", "", "Open", "", 1), platform::kShellFileNotFound);
    EXPECT_EQ(kvor.ShellExecute("/bin/sh", "", "Open", temp.file("absent"), 1), platform::kShellPathNotFound);
    EXPECT_EQ(kvor.ShellExecute("/bin/sh", "", "Print", "", 1), platform::kShellNoAssociation);

    // A document needs an opener; with none in PATH there is no association.
    qv::test::writeFile(temp.file("notes.txt"), "text");
    qv::test::ScopedEnv path("PATH", temp.path());
    EXPECT_EQ(kvor.ShellExecute(temp.file("notes.txt"), "", "Open", "", 1), platform::kShellNoAssociation);
    EXPECT_EQ(kvor.ShellExecute("https://example.com/", "", "Open", "", 1), platform::kShellNoAssociation);
}

TEST(ShellExecute, SplitsParametersAtBlanksOutsideQuotes) {
    using platform::splitParameters;
    EXPECT_EQ(splitParameters(""), std::vector<std::string>{});
    EXPECT_EQ(splitParameters("  a  b\tc "), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(splitParameters("-f \"my file.txt\" x\"y z\""), (std::vector<std::string>{"-f", "my file.txt", "xy z"}));
    EXPECT_EQ(splitParameters("\"\""), std::vector<std::string>{""});
}

TEST(InstanceLock, OneHolderPerName) {
    qv::test::TempDir temp;
    qv::test::ScopedEnv runtime("XDG_RUNTIME_DIR", temp.path());
    EXPECT_EQ(platform::InstanceLock::lockPath("qv-lock"), temp.file("qv-lock.lock"));
    auto first = platform::InstanceLock::tryAcquire("qv-lock");
    ASSERT_TRUE(first);
    EXPECT_FALSE(platform::InstanceLock::tryAcquire("qv-lock"));
    EXPECT_TRUE(platform::InstanceLock::tryAcquire("qv-other"));
    // Another process sees the lock held, and free once released.
    const std::vector<std::string> probe{"flock", "--nonblock", temp.file("qv-lock.lock"), "true"};
    EXPECT_EQ(qv::test::runCommand(probe).exitCode, 1);
    first.reset();
    EXPECT_EQ(qv::test::runCommand(probe).exitCode, 0);
    EXPECT_TRUE(platform::InstanceLock::tryAcquire("qv-lock"));
}

TEST(InstanceLock, APreviousInstanceIsSeenAndTheLockIsThenKept) {
    qv::test::TempDir temp;
    qv::test::ScopedEnv runtime("XDG_RUNTIME_DIR", temp.path());
    auto other = platform::InstanceLock::tryAcquire("qv-instance");
    ASSERT_TRUE(other);
    EXPECT_TRUE(platform::previousInstanceRunning("qv-instance"));
    other.reset();
    EXPECT_FALSE(platform::previousInstanceRunning("qv-instance"));
    EXPECT_FALSE(platform::InstanceLock::tryAcquire("qv-instance"));  // now held for the process's life
    EXPECT_FALSE(platform::previousInstanceRunning("qv-instance"));
}

TEST(InstanceLock, WithoutARuntimeFolderTheTemporaryFolderIsUsedPerUser) {
    qv::test::ScopedEnv runtime("XDG_RUNTIME_DIR", std::nullopt);
    const std::string path = platform::InstanceLock::lockPath("qv-lock");
    EXPECT_EQ(std::filesystem::path(path).filename().string(), "qv-lock-" + std::to_string(::getuid()) + ".lock");
}

}  // namespace
