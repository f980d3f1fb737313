#include "support/EventLogCapture.h"

#include <cstdlib>
#include <nlohmann/json.hpp>
#include <sstream>

namespace qv::test {

EventLogCapture::EventLogCapture() : path_(dir_.file("events.jsonl")) {
    ::setenv("QUORVEL_EVENT_LOG", path_.c_str(), 1);
}

EventLogCapture::~EventLogCapture() { ::unsetenv("QUORVEL_EVENT_LOG"); }

std::vector<LoggedEntry> parseEventLines(const std::string& text) {
    std::vector<LoggedEntry> entries;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty()) continue;
        auto json = nlohmann::json::parse(line);
        entries.push_back({json.at("type").get<int>(), json.at("event_id").get<std::uint32_t>(),
                           json.at("category").get<int>(), json.at("source").get<std::string>(),
                           json.at("message").get<std::string>()});
    }
    return entries;
}

std::vector<LoggedEntry> EventLogCapture::entries() const { return parseEventLines(readFile(path_)); }

std::vector<std::string> EventLogCapture::messages() const {
    std::vector<std::string> result;
    for (const auto& e : entries()) result.push_back(e.message);
    return result;
}

std::vector<LoggedEntry> EventLogCapture::startingWith(const std::string& beginning) const {
    std::vector<LoggedEntry> result;
    for (const auto& e : entries())
        if (e.message.rfind(beginning, 0) == 0) result.push_back(e);
    return result;
}

void EventLogCapture::clear() { writeFile(path_, ""); }

}  // namespace qv::test
