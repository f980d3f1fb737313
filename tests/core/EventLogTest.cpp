// Event-log entries: the logging-level filter, the JSON lines of the entry
// file, and reading entries back for the viewer.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#include "IsolatedEnvironment.h"
#include "core/clsKVOR.h"
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
    std::vector<Json> entries() {
        std::vector<Json> result;
        for (const auto& line : lines()) result.push_back(Json::parse(line));
        return result;
    }
    // The messages written when one entry of each level is offered.
    std::vector<std::string> writtenAt(const std::string& level) {
        ::unlink(env_.eventLogFile().c_str());
        mdl().strLoggingLevel = level;
        for (std::int16_t entryLevel : {LogMinimum, LogSummary, LogMaximum})
            LogEvent("level " + std::to_string(entryLevel), entryLevel, EventInformation, EventIdInformation);
        std::vector<std::string> messages;
        for (const auto& e : entries()) messages.push_back(e["message"]);
        return messages;
    }

    qv::test::IsolatedEnvironment env_;
};

using Messages = std::vector<std::string>;

TEST_F(EventLog, TheLoggingLevelFiltersEntries) {
    EXPECT_EQ(writtenAt("0"), (Messages{"level 0"}));
    EXPECT_EQ(writtenAt("1"), (Messages{"level 0", "level 1"}));
    EXPECT_EQ(writtenAt("2"), (Messages{"level 0", "level 1", "level 2"}));
    EXPECT_EQ(writtenAt(" 2 "), (Messages{"level 0", "level 1", "level 2"}));
    EXPECT_EQ(writtenAt("7"), (Messages{"level 0", "level 1", "level 2"}));
    // What is not a 16-bit whole number reads as 0.
    EXPECT_EQ(writtenAt("Maximum"), (Messages{"level 0"}));
    EXPECT_EQ(writtenAt(""), (Messages{"level 0"}));
    EXPECT_EQ(writtenAt("2x"), (Messages{"level 0"}));
    EXPECT_EQ(writtenAt("1.5"), (Messages{"level 0"}));
    EXPECT_EQ(writtenAt("65538"), (Messages{"level 0"}));
    EXPECT_EQ(writtenAt("-1"), (Messages{}));
}

TEST_F(EventLog, LoggingLevelValues) {
    EXPECT_EQ(LoggingLevelValue("2"), 2);
    EXPECT_EQ(LoggingLevelValue("+1"), 1);
    EXPECT_EQ(LoggingLevelValue("\t1 "), 1);
    EXPECT_EQ(LoggingLevelValue("32767"), 32767);
    EXPECT_EQ(LoggingLevelValue("32768"), 0);
    EXPECT_EQ(LoggingLevelValue("-32768"), -32768);
    EXPECT_EQ(LoggingLevelValue("0x2"), 0);
    EXPECT_EQ(LoggingLevelValue("++1"), 0);
}

TEST_F(EventLog, EachEntryIsOneExactJsonLine) {
    mdl().strLoggingLevel = "2";
    LogEvent("Could not find object specified [LDAP://x/o=Org]", LogMinimum, EventWarning, EventIdInformation);
    LogEvent("first line\r\nsecond line \"quoted\" \\ \t", LogSummary, EventError, EventIdEngineError);
    LogEvent("Could not find one RBDL in cn=Archive", LogMinimum, EventSuccess, EventIdInformation);

    auto text = lines();
    ASSERT_EQ(text.size(), 3u);
    const std::regex shape(
        R"(\{"time":"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d","source":"Quorvel","type":\d,"category":1,"event_id":\d+,"message":".*"\})");
    for (const auto& line : text) EXPECT_TRUE(std::regex_match(line, shape)) << line;
    EXPECT_NE(text[1].find("\"event_id\":3221229569,"), std::string::npos) << text[1];
    EXPECT_NE(text[1].find(R"("message":"first line\r\nsecond line \"quoted\" \\ \t")"), std::string::npos);

    auto all = entries();
    EXPECT_EQ(all[0]["type"], 2);
    EXPECT_EQ(all[0]["event_id"], 4096);
    EXPECT_EQ(all[0]["message"], "Could not find object specified [LDAP://x/o=Org]");
    EXPECT_EQ(all[1]["type"], 1);
    EXPECT_EQ(all[1]["event_id"].get<std::uint64_t>(), 3221229569u);
    EXPECT_EQ(all[1]["message"], "first line\r\nsecond line \"quoted\" \\ \t");
    EXPECT_EQ(all[2]["type"], 0);
    for (const auto& e : all) EXPECT_EQ(e["category"], 1);
}

TEST_F(EventLog, TheTimeIsWhenTheEntryWasWritten) {
    const auto before = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
    clsKVOR().WriteEvent("now", AppTitle, EventInformation, EventIdInformation);
    const auto after = std::chrono::system_clock::now();
    auto read = platform::readEvents(AppTitle, 1);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_GE(read[0].time, before);
    EXPECT_LE(read[0].time, after);
}

TEST_F(EventLog, MessagesAreWrittenAsZeroTerminatedText) {
    clsKVOR kvor;
    kvor.WriteEvent(std::string("before\0after", 12), AppTitle, EventInformation, EventIdInformation);
    kvor.WriteEvent("bad byte \xff here", AppTitle, EventInformation, EventIdInformation);
    auto all = entries();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0]["message"], "before");
    EXPECT_EQ(all[1]["message"], "bad byte \xEF\xBF\xBD here");  // U+FFFD, the line stays valid JSON
}

TEST_F(EventLog, NoFileIsWrittenWithoutTheVariable) {
    qv::test::ScopedEnv off("QUORVEL_EVENT_LOG", std::nullopt);
    clsKVOR().WriteEvent("system log only", AppTitle, EventInformation, EventIdInformation);
    EXPECT_TRUE(lines().empty());
}

TEST_F(EventLog, TheViewerReadsNewestFirstAndBounded) {
    clsKVOR kvor;
    for (int i = 0; i < 30; ++i) {
        kvor.WriteEvent("entry " + std::to_string(i) + "\r\nsecond line", AppTitle, EventInformation,
                        EventIdInformation);
        if (i % 10 == 0) kvor.WriteEvent("other program", "Other", EventError, 1);
    }
    // Junk and a cut-off last line are skipped.
    qv::test::writeFile(env_.eventLogFile(), qv::test::readFile(env_.eventLogFile()) + "not json\n{\"time\":");

    auto read = platform::readEvents(AppTitle, 5);
    ASSERT_EQ(read.size(), 5u);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(read[std::size_t(i)].message, "entry " + std::to_string(29 - i) + "\r\nsecond line");
        EXPECT_EQ(read[std::size_t(i)].source, "Quorvel");
        EXPECT_EQ(read[std::size_t(i)].type, 4);
        EXPECT_EQ(read[std::size_t(i)].category, 1);
        EXPECT_EQ(read[std::size_t(i)].eventId, 4096u);
    }
    EXPECT_EQ(platform::readEvents(AppTitle, 1000).size(), 30u);
    EXPECT_EQ(platform::readEvents("Other", 1000).size(), 3u);
    EXPECT_TRUE(platform::readEventFile(env_.temp().file("absent"), AppTitle, 10).empty());
}

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

TEST(EventPriority, FollowsTheEventType) {
    EXPECT_EQ(platform::eventPriority(1), 3);
    EXPECT_EQ(platform::eventPriority(2), 4);
    EXPECT_EQ(platform::eventPriority(4), 6);
    EXPECT_EQ(platform::eventPriority(0), 5);
    EXPECT_EQ(platform::eventPriority(8), 6);
}

}  // namespace
