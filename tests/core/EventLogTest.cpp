// Event-log entries: the JSON lines of the entry file, and writers that
// never interleave.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "IsolatedEnvironment.h"
#include "core/mdlMain.h"
#include "platform/EventLog.h"

namespace {

using namespace qv;
using Json = nlohmann::json;

class EventLog : public ::testing::Test {
protected:
    std::vector<std::string> lines() {
        std::vector<std::string> result;
        std::istringstream in(qv::test::readFile(env_.eventLogFile()));
        for (std::string line; std::getline(in, line);) result.push_back(line);
        return result;
    }
    qv::test::IsolatedEnvironment env_;
};

TEST_F(EventLog, ConcurrentWritersNeverInterleave) {
    constexpr int kWriters = 4, kEntries = 150;
    const std::string longText(3000, 'x');  // lines longer than a pipe buffer's atomic size
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters; ++w) {
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            for (int i = 0; i < kEntries; ++i)
                platform::reportEvent(AppTitle, 4, 1, 4096, std::to_string(w) + ":" + longText);
            ::_exit(0);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    auto text = lines();
    ASSERT_EQ(text.size(), std::size_t(kWriters * kEntries));
    for (const auto& line : text) {
        Json e = Json::parse(line, nullptr, false);
        ASSERT_FALSE(e.is_discarded()) << line.substr(0, 80);
        EXPECT_EQ(e["message"].get<std::string>().substr(2), longText);
    }
}

}  // namespace
