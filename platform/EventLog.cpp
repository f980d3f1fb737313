#include "platform/EventLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <syslog.h>
#include <systemd/sd-journal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <utility>

namespace qv::platform {
namespace {

using Json = nlohmann::ordered_json;

constexpr const char* kJournalSocket = "/run/systemd/journal/socket";
constexpr std::size_t kMaxLineBytes = 16 * 1024 * 1024;

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t pos = 0; (pos = text.find(from, pos)) != std::string::npos; pos += to.size())
        text.replace(pos, from.size(), to);
    return text;
}

// Local time with its UTC offset: 2024-05-01T12:34:56+02:00.
std::string isoTime(std::chrono::system_clock::time_point time) {
    std::time_t t = std::chrono::system_clock::to_time_t(time);
    std::tm local{};
    localtime_r(&t, &local);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    const int offset = int(std::labs(local.tm_gmtoff / 60) % (24 * 60));  // minutes, always under a day
    char zone[16];
    std::snprintf(zone, sizeof zone, "%c%02d:%02d", local.tm_gmtoff < 0 ? '-' : '+', offset / 60, offset % 60);
    return std::string(text) + zone;
}

std::optional<std::chrono::system_clock::time_point> parseIsoTime(const std::string& text) {
    std::tm tm{};
    int consumed = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &tm.tm_year, &tm.tm_mon, &tm.tm_mday, &tm.tm_hour,
                    &tm.tm_min, &tm.tm_sec, &consumed) != 6)
        return std::nullopt;
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    std::size_t pos = std::size_t(consumed);
    if (pos < text.size() && text[pos] == '.')
        while (++pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {}
    long offsetSeconds = 0;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        int hours = 0, minutes = 0;
        if (std::sscanf(text.c_str() + pos + 1, "%2d:%2d", &hours, &minutes) != 2) return std::nullopt;
        offsetSeconds = (hours * 60L + minutes) * 60L * (text[pos] == '-' ? -1 : 1);
    } else if (pos >= text.size() || text[pos] != 'Z') {
        return std::nullopt;
    }
    std::time_t utc = timegm(&tm) - offsetSeconds;
    return std::chrono::system_clock::from_time_t(utc);
}

void appendToEventFile(const std::string& path, const std::string& line) {
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0600);
    if (fd < 0) return;
    ssize_t ignored = ::write(fd, line.data(), line.size());  // one write: lines never interleave
    (void)ignored;
    ::close(fd);
}

// The journal catalog (quorvel.catalog) explains an entry by its MESSAGE_ID, so each
// kind of entry (event ID and type) carries a fixed ID of its own. These IDs are
// published in the catalog and in admins' filters: never change one.
struct MessageIdOfKind {
    std::uint32_t eventId;
    std::uint16_t type;
    const char* messageId;
};
constexpr MessageIdOfKind kMessageIds[] = {
    {4096, 4, "87ccace111d64388b182b6fce93d1547"},        // information
    {4096, 2, "6a9be970ce8d4bf9b2dae4cf1f5ed154"},        // warning
    {4096, 0, "33789440ad8d46afb6ab7a85620010c1"},        // success
    {3221229569u, 1, "991ff98532ce40c6a1654b09da5c59c2"},  // the engine's errors
};

// The MESSAGE_ID of a kind of entry; nothing for a kind the catalog does not know.
const char* messageIdOf(std::uint32_t eventId, std::uint16_t type) {
    for (const auto& kind : kMessageIds)
        if (kind.eventId == eventId && kind.type == type) return kind.messageId;
    return nullptr;
}

// One repeated field per name, up to the cap, then the whole count.
void addNameFields(std::vector<std::string>& fields, const char* name, const std::vector<std::string>& names) {
    const std::size_t shown = std::min(names.size(), kJournalNamesEach);
    for (std::size_t i = 0; i < shown; ++i) fields.push_back(std::string(name) + "=" + names[i]);
    fields.push_back(std::string(name) + "_COUNT=" + std::to_string(names.size()));
}

void sendToJournal(const EventEntry& entry) {
    std::vector<std::string> fields = journalFields(entry);
    std::vector<iovec> vectors;
    vectors.reserve(fields.size());
    for (auto& field : fields) vectors.push_back({field.data(), field.size()});
    sd_journal_sendv(vectors.data(), int(vectors.size()));
}

void sendToSyslog(const std::string& source, int priority, const std::string& message) {
    // openlog keeps the identifier's pointer until closelog: one caller at a time.
    static std::mutex mutex;
    std::lock_guard<std::mutex> lock(mutex);
    ::openlog(source.c_str(), LOG_PID, LOG_USER);
    ::syslog(priority, "%s", replaceAll(message, "\r\n", "\n").c_str());
    ::closelog();
}

std::optional<EventEntry> entryFromJson(const std::string& line) {
    Json json = Json::parse(line, nullptr, false);
    if (json.is_discarded() || !json.is_object()) return std::nullopt;
    try {
        auto time = parseIsoTime(json.at("time").get<std::string>());
        if (!time) return std::nullopt;
        EventEntry entry;
        entry.time = *time;
        entry.source = json.at("source").get<std::string>();
        entry.type = json.at("type").get<std::uint16_t>();
        entry.category = json.at("category").get<std::uint16_t>();
        entry.eventId = json.at("event_id").get<std::uint32_t>();
        entry.message = json.at("message").get<std::string>();
        return entry;
    } catch (const Json::exception&) {
        return std::nullopt;
    }
}

// Reads a file backwards, one line at a time, without loading all of it.
class BackwardLines {
public:
    explicit BackwardLines(const std::string& path)
        : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {
        struct stat info {};
        if (fd_ >= 0 && ::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode)) pos_ = info.st_size;
    }
    ~BackwardLines() {
        if (fd_ >= 0) ::close(fd_);
    }
    BackwardLines(const BackwardLines&) = delete;
    BackwardLines& operator=(const BackwardLines&) = delete;

    std::optional<std::string> previous() {
        for (;;) {
            if (!tail_.empty() && tail_.back() == '\n') tail_.pop_back();
            std::size_t nl = tail_.rfind('\n');
            if (nl != std::string::npos) {
                std::string line = tail_.substr(nl + 1);
                tail_.resize(nl + 1);
                return line;
            }
            if (pos_ == 0) {
                if (tail_.empty()) return std::nullopt;
                return std::exchange(tail_, {});
            }
            if (!readMore()) return std::nullopt;
        }
    }

private:
    bool readMore() {
        if (tail_.size() > kMaxLineBytes) return false;  // not an entry file
        std::size_t chunk = std::size_t(std::min<off_t>(pos_, 65536));
        std::string block(chunk, '\0');
        ssize_t n = ::pread(fd_, block.data(), chunk, pos_ - off_t(chunk));
        if (n != ssize_t(chunk)) return false;
        pos_ -= off_t(chunk);
        tail_.insert(0, block);
        return true;
    }

    int fd_;
    off_t pos_ = 0;
    std::string tail_;
};

struct JournalCloser {
    void operator()(sd_journal* j) const { sd_journal_close(j); }
};

std::optional<std::string> journalField(sd_journal* j, const std::string& name) {
    const void* data = nullptr;
    std::size_t length = 0;
    if (sd_journal_get_data(j, name.c_str(), &data, &length) < 0) return std::nullopt;
    std::string field(static_cast<const char*>(data), length);
    return field.substr(std::min(field.size(), name.size() + 1));  // drop "NAME="
}

template <class T>
T journalNumber(sd_journal* j, const std::string& name, T fallback) {
    auto text = journalField(j, name);
    if (!text || text->empty()) return fallback;
    char* end = nullptr;
    unsigned long long value = std::strtoull(text->c_str(), &end, 10);
    return (*end == '\0') ? T(value) : fallback;
}

EventEntry journalEntry(sd_journal* j) {
    EventEntry entry;
    std::uint64_t usec = 0;
    sd_journal_get_realtime_usec(j, &usec);
    entry.time = std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(std::chrono::microseconds(usec)));
    entry.source = journalField(j, "SYSLOG_IDENTIFIER").value_or("");
    int priority = journalNumber<int>(j, "PRIORITY", 6);
    std::uint16_t typeFromPriority = priority <= 3 ? 1 : priority == 4 ? 2 : 4;
    entry.type = journalNumber<std::uint16_t>(j, "QUORVEL_EVENT_TYPE", typeFromPriority);
    entry.category = journalNumber<std::uint16_t>(j, "QUORVEL_CATEGORY", 0);
    entry.eventId = journalNumber<std::uint32_t>(j, "QUORVEL_EVENT_ID", 0);
    entry.message = replaceAll(journalField(j, "MESSAGE").value_or(""), "\n", "\r\n");
    return entry;
}

std::vector<EventEntry> readJournal(const std::string& source, std::size_t maxCount) {
    std::vector<EventEntry> result;
    sd_journal* raw = nullptr;
    if (sd_journal_open(&raw, SD_JOURNAL_LOCAL_ONLY) < 0) return result;
    std::unique_ptr<sd_journal, JournalCloser> journal(raw);
    const std::string match = "SYSLOG_IDENTIFIER=" + source;
    if (sd_journal_add_match(raw, match.data(), match.size()) < 0 || sd_journal_seek_tail(raw) < 0) return result;
    while (result.size() < maxCount && sd_journal_previous(raw) > 0) result.push_back(journalEntry(raw));
    return result;
}

}  // namespace

int eventPriority(std::uint16_t type) {
    switch (type) {
        case 1: return LOG_ERR;
        case 2: return LOG_WARNING;
        case 0: return LOG_NOTICE;
        default: return LOG_INFO;
    }
}

std::vector<std::string> journalFields(const EventEntry& entry) {
    std::vector<std::string> fields = {
        "MESSAGE=" + replaceAll(entry.message, "\r\n", "\n"),
        "SYSLOG_IDENTIFIER=" + entry.source,
        "PRIORITY=" + std::to_string(eventPriority(entry.type)),
        "QUORVEL_EVENT_ID=" + std::to_string(entry.eventId),
        "QUORVEL_EVENT_TYPE=" + std::to_string(entry.type),
        "QUORVEL_CATEGORY=" + std::to_string(entry.category),
    };
    if (const char* messageId = messageIdOf(entry.eventId, entry.type))
        fields.push_back(std::string("MESSAGE_ID=") + messageId);
    if (entry.members) {
        addNameFields(fields, "QUORVEL_ADDED", entry.members->added);
        addNameFields(fields, "QUORVEL_REMOVED", entry.members->removed);
    }
    if (entry.preview) fields.push_back("QUORVEL_PREVIEW=1");
    if (!entry.dl.empty()) fields.push_back("QUORVEL_DL=" + entry.dl);
    if (!entry.reason.empty()) fields.push_back("QUORVEL_REASON=" + entry.reason);
    return fields;
}

std::string eventJsonLine(const EventEntry& entry) {
    Json json;
    json["time"] = isoTime(entry.time);
    json["source"] = entry.source;
    json["type"] = entry.type;
    json["category"] = entry.category;
    json["event_id"] = entry.eventId;
    json["message"] = entry.message;
    if (!entry.dl.empty()) json["dl"] = entry.dl;
    if (!entry.reason.empty()) json["reason"] = entry.reason;
    if (entry.members) {
        json["added"] = entry.members->added;
        json["removed"] = entry.members->removed;
    }
    if (entry.preview) json["preview"] = true;
    return json.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

void reportEvent(const std::string& source, std::uint16_t type, std::uint16_t category, std::uint32_t eventId,
                 const std::string& message) {
    EventEntry entry;
    entry.source = source;
    entry.type = type;
    entry.category = category;
    entry.eventId = eventId;
    entry.message = message;
    reportEvent(std::move(entry));
}

void reportEvent(EventEntry entry) {
    entry.time = std::chrono::system_clock::now();
    if (::access(kJournalSocket, F_OK) == 0)
        sendToJournal(entry);
    else
        sendToSyslog(entry.source, eventPriority(entry.type), entry.message);
    if (const char* file = std::getenv("QUORVEL_EVENT_LOG"); file && *file)
        appendToEventFile(file, eventJsonLine(entry));
}

std::vector<EventEntry> readEventFile(const std::string& path, const std::string& source, std::size_t maxCount) {
    std::vector<EventEntry> result;
    BackwardLines lines(path);
    while (result.size() < maxCount) {
        auto line = lines.previous();
        if (!line) break;
        auto entry = entryFromJson(*line);
        if (entry && entry->source == source) result.push_back(std::move(*entry));
    }
    return result;
}

std::vector<EventEntry> readEvents(const std::string& source, std::size_t maxCount) {
    if (const char* file = std::getenv("QUORVEL_EVENT_LOG"); file && *file)
        return readEventFile(file, source, maxCount);
    return readJournal(source, maxCount);
}

}  // namespace qv::platform
