// Many processes at once: one instance out of twenty simultaneous starts, a
// lock file that cannot be used as its own clear error, and settings writers
// killed at random moments that never leave a torn file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <random>
#include <thread>

#include "../core/IsolatedEnvironment.h"
#include "platform/SettingsFile.h"
#include "support/ReferenceDirectory.h"
#include "support/TestEnvironment.h"

using namespace qv;
using namespace qv::test;

namespace {

constexpr int kStarts = 20;

// The payload of write number n: its own length and end marker tell a whole value from a torn one.
std::string payload(int n) {
    std::string text = std::to_string(n) + ":";
    while (text.size() < 6000) text += std::to_string(n) + ",";
    return text + ":end";
}

bool wholePayload(const std::string& text) {
    auto colon = text.find(':');
    return colon != std::string::npos && text == payload(std::stoi(text.substr(0, colon)));
}

}  // namespace

TEST(Concurrency, TwentySimultaneousRunsGiveOneRunningInstance) {
    TempDir temp;
    // A frozen server accepts connections and never answers: the run holding the lock lasts its timeout.
    ReferenceDirectory silent;
    silent.freeze();
    writeFile(temp.file("run.ini"), "[General]\nTarget=" + silent.adsPath("o=Org") + "\n");
    const std::map<std::string, std::string> env{{"QUORVEL_EVENT_LOG", temp.file("events.jsonl")},
                                                 {"XDG_RUNTIME_DIR", temp.path()},
                                                 {"XDG_CONFIG_HOME", temp.file("config")},
                                                 {"QUORVEL_LDAP_NETWORK_TIMEOUT", "2"},
                                                 {"QUORVEL_LDAP_TIMEOUT", "4"}};
    std::vector<std::future<CommandResult>> runs;
    for (int i = 0; i < kStarts; ++i)
        runs.push_back(std::async(std::launch::async, [&] {
            return runCommand({binaryDir() + "/quorvel", temp.file("run.ini")}, env, {}, 60);
        }));
    std::map<int, int> statuses;
    for (auto& run : runs) {
        auto r = run.get();
        ++statuses[r.exitCode];
        if (r.exitCode == 3) {
            EXPECT_NE(r.err.find("A previous instance of Quorvel is running."), std::string::npos);
        }
    }
    silent.thaw();
    EXPECT_EQ(statuses[3], kStarts - 1);
    EXPECT_EQ(statuses[1], 1);  // the one that ran found no server that answers
}

TEST(Concurrency, ALockFileThatCannotBeUsedIsAClearErrorNotAnotherInstance) {
    TempDir temp;
    writeFile(temp.file("run.ini"), "[General]\nTarget=\n");
    std::filesystem::create_directories(temp.file("runtime/quorvel.lock"));  // a folder where the lock belongs
    for (const std::string& runtime : {temp.file("missing-folder"), temp.file("runtime")}) {
        auto r = runCommand({binaryDir() + "/quorvel", temp.file("run.ini")},
                            {{"XDG_RUNTIME_DIR", runtime}, {"XDG_CONFIG_HOME", temp.file("config")}}, {}, 60);
        EXPECT_EQ(r.exitCode, 1) << r.err;
        EXPECT_EQ(r.err.find("previous instance"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("The instance lock file " + runtime + "/quorvel.lock cannot be used: "),
                  std::string::npos)
            << r.err;
    }
}

TEST(Concurrency, ASettingsWriterKilledAtAnyMomentLeavesTheOldOrTheNewFile) {
    IsolatedEnvironment env;
    auto file = platform::SettingsFile::forRoot("HKEY_CURRENT_USER");
    const std::string key = "SOFTWARE\\KVOR\\Quorvel\\Version 1.0\\General";
    ASSERT_TRUE(file.setValue(key, "Payload", {platform::SettingsValueType::String, payload(0), 0}));
    std::mt19937 random(std::random_device{}());
    std::string last = payload(0);
    int kills = 0, changes = 0;
    for (int round = 1; round <= 40; ++round) {
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            auto writer = platform::SettingsFile::forRoot("HKEY_CURRENT_USER");
            for (int n = round * 1000;; ++n)
                writer.setValue(key, "Payload", {platform::SettingsValueType::String, payload(n), 0});
        }
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 100000));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        kills += WIFSIGNALED(status);
        auto value = file.value(key, "Payload");
        ASSERT_TRUE(value) << "the settings file lost its value in round " << round;
        EXPECT_TRUE(wholePayload(value->bytes)) << value->bytes.substr(0, 40) << "...";
        const std::string text = readFile(file.path());
        EXPECT_EQ(text.substr(text.size() - 6), ":end\"\n");
        changes += value->bytes != last;
        last = value->bytes;
    }
    EXPECT_EQ(kills, 40);
    EXPECT_GT(changes, 0) << "no writer finished a write: the kills proved nothing";
    // The next write removes what killed writers left behind (a temporary may hold a password).
    writeFile(platform::SettingsFile::folder() + "/.settings.Ab12Cd", "\"Password\"=\"half written");
    ASSERT_TRUE(file.setValue(key, "Payload", {platform::SettingsValueType::String, payload(1), 0}));
    for (const auto& item : std::filesystem::directory_iterator(platform::SettingsFile::folder()))
        EXPECT_NE(item.path().filename().string().rfind(".settings.", 0), 0u) << item.path();
    EXPECT_EQ(file.value(key, "Payload")->bytes, payload(1));
}
