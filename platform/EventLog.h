#pragma once
// The system event log: entries with a source, a type, a category, an event
// ID and one message.
//
// Entries go to the systemd journal with the fields
//   MESSAGE            the message, CR LF line ends written as LF
//   SYSLOG_IDENTIFIER  the source
//   PRIORITY           from the type: 1 error -> 3, 2 warning -> 4,
//                      4 information -> 6, 0 success -> 5 (notice), other -> 6
//   QUORVEL_EVENT_ID, QUORVEL_EVENT_TYPE, QUORVEL_CATEGORY  in decimal
//   QUORVEL_ADDED, QUORVEL_REMOVED  repeated, one per name, on an entry that
//                      carries the names a DL gained and lost; an entry of
//                      more than about 500 fields never arrives (the client
//                      sends each field as two pieces of one sendmsg(), which
//                      takes at most 1024), so at most kJournalNamesEach of
//                      each, with QUORVEL_ADDED_COUNT and
//                      QUORVEL_REMOVED_COUNT giving the whole numbers
//   QUORVEL_PREVIEW=1  on the entries of a preview, which writes nothing
//   QUORVEL_DL         the ADsPath of the DL an entry is about
//   QUORVEL_REASON     the directory's answer, on an entry whose message does
//                      not give it
// or, when no journal is running, to syslog(3) with the same priority.
//
// When the environment variable QUORVEL_EVENT_LOG names a file, every entry is
// also appended to it as one JSON object per line:
//   {"time":"2024-05-01T12:34:56+02:00","source":"Quorvel","type":4,
//    "category":1,"event_id":4096,"message":"..."}
// followed, where the entry has them, by "dl", "reason", "added":[...] and
// "removed":[...] (every name) and, on a preview's entries, "preview":true.
// with the message exactly as given (CR LF kept; bytes that are not UTF-8
// become U+FFFD). Each line is one write() to a file opened with O_APPEND, so
// the lines of concurrent writers never interleave.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qv::platform {

// The names a DL gained and lost, carried by its summary entry.
struct EventMembers {
    std::vector<std::string> added;
    std::vector<std::string> removed;
};

struct EventEntry {
    std::chrono::system_clock::time_point time;
    std::string source;
    std::uint16_t type = 4;
    std::uint16_t category = 1;
    std::uint32_t eventId = 0;
    std::string message;
    std::optional<EventMembers> members;  // written only, never read back
    bool preview = false;                 // written only, never read back
    std::string dl;                       // the DL's ADsPath, when the entry is about one
    std::string reason;                   // the directory's answer the message leaves out
};

// The most names of each list an entry gives the journal as fields.
inline constexpr std::size_t kJournalNamesEach = 200;

// The journal priority (syslog level) of an event type.
int eventPriority(std::uint16_t type);

// Writes one entry (its time is taken now). Failures are ignored.
void reportEvent(const std::string& source, std::uint16_t type, std::uint16_t category, std::uint32_t eventId,
                 const std::string& message);
void reportEvent(EventEntry entry);

// The journal fields of an entry ("NAME=value"), in the order they are sent.
std::vector<std::string> journalFields(const EventEntry& entry);

// The JSON line (with its line feed) that the entry file holds for `entry`.
std::string eventJsonLine(const EventEntry& entry);

// The most recent entries of `source`, newest first, at most `maxCount`: from
// the QUORVEL_EVENT_LOG file when that is set, else from the journal.
// Nothing readable gives an empty list.
std::vector<EventEntry> readEvents(const std::string& source, std::size_t maxCount);

// The same from one entry file (lines that are not entries are skipped).
std::vector<EventEntry> readEventFile(const std::string& path, const std::string& source, std::size_t maxCount);

}  // namespace qv::platform
