#pragma once
// Captures the program's event-log entries of one test: points
// QUORVEL_EVENT_LOG at a fresh file and reads the JSON lines back.
#include <cstdint>
#include <string>
#include <vector>

#include "support/TestEnvironment.h"

namespace qv::test {

struct LoggedEntry {
    int type = -1;
    std::uint32_t eventId = 0;
    int category = -1;
    std::string source;
    std::string message;
};

class EventLogCapture {
public:
    EventLogCapture();   // sets QUORVEL_EVENT_LOG for this process
    ~EventLogCapture();  // unsets it
    // Every entry written so far, oldest first, parsed from the JSON lines.
    std::vector<LoggedEntry> entries() const;
    std::vector<std::string> messages() const;
    // Entries whose message starts with `beginning`.
    std::vector<LoggedEntry> startingWith(const std::string& beginning) const;
    void clear();

private:
    TempDir dir_;
    std::string path_;
};

// The JSON lines of an entry file, parsed (oldest first); throws on a line that is not valid JSON.
std::vector<LoggedEntry> parseEventLines(const std::string& text);

}  // namespace qv::test
