#include "engine/IncrementalState.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "platform/AtomicFile.h"
#include "platform/FileText.h"
#include "platform/SyncSearch.h"
#include "platform/Text.h"

// The file, text with one record per line and tab-separated fields (a
// backslash, tab, newline or carriage return in a value is written \\, \t,
// \n or \r):
//
//   quorvel-state 3
//   target  TARGET
//   dl      ADSPATH DEFINITION SERVER COOKIE(hex) ENTRYCSN LASTFULLPASS SETTLED FOUND OFFSET LENGTH   (one per DL)
//   names
//   (each DL's names: LENGTH bytes at OFFSET from here)
//
// A DL's names are FOUND lines "ENTRYUUID HEAD SHARED": the DN is HEAD
// followed by the last SHARED bytes of the DN on the line before (the DNs of
// one query mostly end alike, and the file is written whole on every save),
// then its members: "@START
// COUNT" for COUNT of the found DNs in a row from the START-th (most DLs
// hold exactly what their query found: one such line), "=VALUE" for any
// other (the placeholder, a name written in another spelling). SETTLED is
// the count of a DL whose names leave nothing to write, "-" for any other.

namespace qv {
namespace {

constexpr std::string_view kMagic = "quorvel-state ";
constexpr std::size_t kHeaderFields = 11;  // "dl" and the ten after it

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

void appendEscaped(std::string& out, std::string_view text) {
    const auto special = [](char c) { return c == '\\' || c == '\t' || c == '\n' || c == '\r'; };
    if (std::none_of(text.begin(), text.end(), special)) {  // most values: as they are
        out += text;
        return;
    }
    for (char c : text) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            default: out += c;
        }
    }
}

std::string unescaped(std::string_view text) {
    if (text.find('\\') == std::string_view::npos) return std::string(text);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size()) throw std::invalid_argument("a value ends in a backslash");
        switch (text[i]) {
            case '\\': out += '\\'; break;
            case 't': out += '\t'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            default: throw std::invalid_argument("unknown escape \\" + std::string(1, text[i]));
        }
    }
    return out;
}

std::vector<std::string_view> fields(std::string_view line) {
    std::vector<std::string_view> parts;
    for (std::size_t tab; (tab = line.find('\t')) != std::string_view::npos; line.remove_prefix(tab + 1))
        parts.push_back(line.substr(0, tab));
    parts.push_back(line);
    return parts;
}

template <typename Number>
Number number(std::string_view text) {
    Number value{};
    const auto [end, problem] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (problem != std::errc() || end != text.data() + text.size() || text.empty())
        throw std::invalid_argument("not a number: " + std::string(text));
    return value;
}

// Cookies are octet strings: kept as hexadecimal digits, so that any byte survives a line.
std::string hex(const std::string& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (unsigned char c : bytes) text += {kDigits[c >> 4], kDigits[c & 15]};
    return text;
}

int digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    throw std::invalid_argument("not a hexadecimal digit");
}

std::string unhex(std::string_view text) {
    if (text.size() % 2) throw std::invalid_argument("odd number of hexadecimal digits");
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); i += 2) bytes += char(digit(text[i]) * 16 + digit(text[i + 1]));
    return bytes;
}

// Pops the next line of `text` (without its newline); false at its end.
bool nextLine(std::string_view& text, std::string_view& line) {
    if (text.empty()) return false;
    const std::size_t end = text.find('\n');
    line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    return true;
}

// The members, as runs of the found DNs where they follow them, else as values.
void appendMembers(std::string& out, const DlSyncState& dl) {
    std::unordered_map<std::string_view, std::size_t> firstAt;
    for (std::size_t i = 0; i < dl.found.size(); ++i) firstAt.emplace(dl.found[i].second, i);
    std::size_t start = 0, count = 0;
    auto endRun = [&] {
        if (count) out += "@" + std::to_string(start) + " " + std::to_string(count) + "\n";
        count = 0;
    };
    for (const auto& member : dl.members) {
        if (count && start + count < dl.found.size() && dl.found[start + count].second == member) {
            ++count;
            continue;
        }
        endRun();
        if (const auto at = firstAt.find(member); at != firstAt.end()) {
            start = at->second, count = 1;
            continue;
        }
        out += '=';
        appendEscaped(out, member);
        out += '\n';
    }
    endRun();
}

std::string namesBlock(const DlSyncState& dl) {
    std::string out;
    std::string_view previous;
    for (const auto& [uuid, dn] : dl.found) {
        std::size_t shared = 0;
        while (shared < dn.size() && shared < previous.size() &&
               dn[dn.size() - 1 - shared] == previous[previous.size() - 1 - shared])
            ++shared;
        appendEscaped(out, uuid);
        out += '\t';
        appendEscaped(out, std::string_view(dn).substr(0, dn.size() - shared));
        out += '\t';
        out += std::to_string(shared);
        out += '\n';
        previous = dn;
    }
    appendMembers(out, dl);
    return out;
}

// Reads a DL's names back into `dl`.
void parseNames(std::string_view block, std::size_t foundCount, DlSyncState& dl) {
    std::string_view line;
    dl.found.reserve(foundCount);
    for (std::size_t i = 0; i < foundCount; ++i) {
        const std::size_t tab = nextLine(block, line) ? line.find('\t') : std::string_view::npos;
        const std::size_t tab2 = tab == std::string_view::npos ? tab : line.find('\t', tab + 1);
        if (tab2 == std::string_view::npos || line.find('\t', tab2 + 1) != std::string_view::npos)
            throw std::invalid_argument("an entry is not an entryUUID, a DN and a count");
        const auto shared = number<std::size_t>(line.substr(tab2 + 1));
        const std::string_view previous = i ? std::string_view(dl.found.back().second) : std::string_view();
        if (shared > previous.size()) throw std::invalid_argument("a DN shares more than the DN before has");
        std::string dn = unescaped(line.substr(tab + 1, tab2 - tab - 1));
        dn.append(previous.substr(previous.size() - shared));
        dl.found.emplace_back(unescaped(line.substr(0, tab)), std::move(dn));
    }
    while (nextLine(block, line)) {
        if (line.starts_with('=')) {
            dl.members.push_back(unescaped(line.substr(1)));
            continue;
        }
        const auto space = line.find(' ');
        if (!line.starts_with('@') || space == std::string_view::npos) throw std::invalid_argument("not a member");
        const auto start = number<std::size_t>(line.substr(1, space - 1)), count = number<std::size_t>(line.substr(space + 1));
        if (start > dl.found.size() || count > dl.found.size() - start) throw std::invalid_argument("a run past the entries");
        for (std::size_t i = start; i < start + count; ++i) dl.members.push_back(dl.found[i].second);
    }
}

std::string headerLine(const std::string& adsPath, const DlSyncState& dl, std::size_t found, std::uint64_t offset,
                       std::uint64_t length) {
    std::string line = "dl";
    for (const std::string& value : {adsPath, dl.definition, dl.server, hex(dl.cookie), dl.csn}) {
        line += '\t';
        appendEscaped(line, value);
    }
    line += '\t' + std::to_string(dl.lastFullPass);
    line += '\t' + (dl.settled ? std::to_string(*dl.settled) : std::string("-"));
    for (const std::uint64_t value : {std::uint64_t(found), offset, length}) line += '\t' + std::to_string(value);
    return line + '\n';
}

// A duration: a whole number with s, m, h or d after it; a bare number counts hours.
std::optional<std::chrono::seconds> duration(std::string_view text) {
    text = platform::trimBlanks(text);
    std::int64_t unit = 3600;
    if (!text.empty() && !(text.back() >= '0' && text.back() <= '9')) {
        switch (platform::lowerAscii(text.back())) {
            case 's': unit = 1; break;
            case 'm': unit = 60; break;
            case 'h': unit = 3600; break;
            case 'd': unit = 86400; break;
            default: return std::nullopt;
        }
        text.remove_suffix(1);
        text = platform::trimBlanks(text);
    }
    if (text.empty() || text.size() > 9) return std::nullopt;
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return std::chrono::seconds(value * unit);
}

}  // namespace

std::string IncrementalState::PathFor(const std::string& profilePath) {
    std::filesystem::path name = std::filesystem::path(profilePath).filename();
    if (platform::equalsIgnoringCase(name.extension().string(), ".ini")) name = name.stem();
    std::string folder = environment("STATE_DIRECTORY");
    folder = folder.substr(0, folder.find(':'));  // systemd lists one folder per StateDirectory= entry
    if (folder.empty()) {
        const std::string xdg = environment("XDG_STATE_HOME");
        folder = (xdg.empty() ? environment("HOME") + "/.local/state" : xdg) + "/quorvel";
    }
    return folder + "/" + name.string() + ".state";
}

IncrementalState::IncrementalState(std::string path, std::string target)
    : path_(std::move(path)), target_(std::move(target)) {
    load();
}

void IncrementalState::load() {
    std::error_code failed;
    const auto status = std::filesystem::status(path_, failed);
    if (status.type() == std::filesystem::file_type::not_found) return;
    std::string problem = platform::fileReadProblem(path_);
    if (problem.empty() && status.type() != std::filesystem::file_type::regular) problem = "not a regular file";
    if (problem.empty()) file_.open(path_, std::ios::binary);
    if (problem.empty() && !file_) problem = platform::fileReadProblem(path_);
    if (!problem.empty()) {
        discarded_ = "cannot be read: " + problem;
        return;
    }
    try {
        loadHeaders(file_);
    } catch (const std::exception& bad) {
        dls_.clear();
        discarded_ = std::string("is not a state file: ") + bad.what();
    }
    if (!discarded_.empty()) file_.close();
}

// The lines up to "names": the format, the target and each DL's record
// without its names, checked to point within the file.
void IncrementalState::loadHeaders(std::istream& in) {
    std::string line;
    if (!std::getline(in, line)) throw std::invalid_argument("it is empty");
    if (line.starts_with('{')) {  // the first format was one JSON document
        discarded_ = "is of format 1, not " + std::to_string(kFormat);
        return;
    }
    if (!line.starts_with(kMagic)) throw std::invalid_argument("it does not start with " + std::string(kMagic));
    if (const auto format = number<int>(std::string_view(line).substr(kMagic.size())); format != kFormat) {
        discarded_ = "is of format " + std::to_string(format) + ", not " + std::to_string(kFormat);
        return;
    }
    if (!std::getline(in, line) || !line.starts_with("target\t")) throw std::invalid_argument("no target");
    if (const std::string target = unescaped(std::string_view(line).substr(7)); target != target_) {
        discarded_ = "was kept for another target: " + target;
        return;
    }
    std::vector<std::pair<std::uint64_t, std::uint64_t>> blocks;
    while (std::getline(in, line) && line != "names") {
        const auto parts = fields(line);
        if (parts.size() != kHeaderFields || parts[0] != "dl") throw std::invalid_argument("not a DL's record: " + line);
        Record dl;
        dl.header = DlSyncState{unescaped(parts[2]), unescaped(parts[3]), unhex(unescaped(parts[4])), {}, {},
                                unescaped(parts[5]), number<std::int64_t>(parts[6]), {}};
        if (parts[7] != "-") dl.header.settled = number<std::size_t>(parts[7]);
        dl.foundCount = number<std::size_t>(parts[8]);
        dl.offset = number<std::uint64_t>(parts[9]);
        dl.length = number<std::uint64_t>(parts[10]);
        dl.inFile = true;
        blocks.emplace_back(dl.offset, dl.length);
        if (!dls_.emplace(unescaped(parts[1]), std::move(dl)).second) throw std::invalid_argument("a DL twice");
    }
    if (line != "names") throw std::invalid_argument("it ends before the names");
    namesAt_ = std::uint64_t(in.tellg());
    in.seekg(0, std::ios::end);
    namesSize_ = std::uint64_t(in.tellg()) - namesAt_;
    for (const auto& [offset, length] : blocks)
        if (offset > namesSize_ || length > namesSize_ - offset) throw std::invalid_argument("it was cut short");
}

const IncrementalState::Record* IncrementalState::record(const std::string& adsPath) const {
    const auto at = dls_.find(adsPath);
    return at == dls_.end() || at->second.unreadable ? nullptr : &at->second;
}

bool IncrementalState::readNames(const Record& dl, std::string& out) const {
    const std::size_t at = out.size();
    out.resize(at + dl.length);
    file_.clear();
    file_.seekg(std::streamoff(namesAt_ + dl.offset));
    return file_.read(out.data() + at, std::streamsize(dl.length)).good();
}

const DlSyncState* IncrementalState::FindHeader(const std::string& adsPath) const {
    const Record* dl = record(adsPath);
    return dl ? &dl->header : nullptr;
}

const DlSyncState* IncrementalState::Find(const std::string& adsPath) const {
    const Record* dl = record(adsPath);
    if (!dl) return nullptr;
    if (dl->whole) return &*dl->whole;
    DlSyncState whole = dl->header;
    try {
        std::string block;
        if (!readNames(*dl, block)) throw std::runtime_error("cannot read the names");
        parseNames(block, dl->foundCount, whole);
    } catch (const std::exception&) {
        dl->unreadable = true;
        return nullptr;
    }
    dl->whole = std::move(whole);
    return &*dl->whole;
}

// A record whose names did not change (most of those whose cookie alone
// moved on) keeps them where they are in the file read: Save copies them.
void IncrementalState::Put(const std::string& adsPath, DlSyncState state) {
    Record dl;
    dl.header = DlSyncState{state.definition, state.server, state.cookie, {}, {}, state.csn, state.lastFullPass,
                            state.settled};
    if (const auto known = dls_.find(adsPath); known != dls_.end() && known->second.inFile && known->second.whole &&
                                               known->second.whole->found == state.found &&
                                               known->second.whole->members == state.members) {
        const Record& before = known->second;
        dl.offset = before.offset, dl.length = before.length, dl.foundCount = before.foundCount, dl.inFile = true;
    }
    dl.whole = std::move(state);
    dls_.insert_or_assign(adsPath, std::move(dl));
}

void IncrementalState::PutHeader(const std::string& adsPath, const DlSyncState& header) {
    const auto known = dls_.find(adsPath);
    if (known == dls_.end()) return;
    const auto moveOn = [&](DlSyncState& to) {
        to.definition = header.definition, to.server = header.server, to.cookie = header.cookie;
        to.csn = header.csn, to.lastFullPass = header.lastFullPass, to.settled = header.settled;
    };
    moveOn(known->second.header);
    if (known->second.whole) moveOn(*known->second.whole);
}

void IncrementalState::Drop(const std::string& adsPath) { dls_.erase(adsPath); }

// The header lines first, then the names: a DL's as they were in the file
// read when its record did not change, else written anew.
std::string IncrementalState::Save() const {
    std::string text = std::string(kMagic) + std::to_string(kFormat) + "\ntarget\t";
    appendEscaped(text, target_);
    text += '\n';
    std::map<std::string, std::string> written;  // the names of DLs put, by ADsPath
    std::uint64_t offset = 0;
    for (const auto& [adsPath, dl] : dls_) {
        if (dl.unreadable) continue;
        std::uint64_t length = dl.length;
        if (!dl.inFile) length = written.emplace(adsPath, namesBlock(*dl.whole)).first->second.size();
        text += headerLine(adsPath, dl.header, dl.inFile ? dl.foundCount : dl.whole->found.size(), offset, length);
        offset += length;
    }
    text += "names\n";
    text.reserve(text.size() + offset);
    for (const auto& [adsPath, dl] : dls_) {
        if (dl.unreadable) continue;
        if (!dl.inFile) {
            text += written.at(adsPath);
            continue;
        }
        if (!readNames(dl, text)) return "cannot read the names of " + adsPath + " back from the file read";
    }
    std::error_code failed;
    const std::filesystem::path folder = platform::folderOf(path_);
    const bool created = std::filesystem::create_directories(folder, failed);
    if (failed) return "cannot create " + folder.string() + ": " + failed.message();
    if (created) std::filesystem::permissions(folder, std::filesystem::perms::owner_all, failed);
    return platform::replaceFileAtomically(path_, text, 0600);
}

bool ApplySyncUpdate(std::vector<std::pair<std::string, std::string>>& found, const platform::SyncUpdate& update) {
    using platform::SyncEntry;
    std::unordered_map<std::string, std::size_t> at;  // entryUUID -> position in `result`
    std::vector<std::pair<std::string, std::string>> result = found;
    std::vector<bool> left(result.size(), update.wholeSet);  // a present phase names every entry that stays
    for (std::size_t i = 0; i < result.size(); ++i) at.emplace(result[i].first, i);
    for (const auto& entry : update.entries) {
        const auto known = at.find(entry.uuid);
        if (entry.state == SyncEntry::State::Delete) {
            if (known != at.end()) left[known->second] = true;
            continue;
        }
        if (known == at.end()) {
            if (entry.dn.empty()) return false;
            at.emplace(entry.uuid, result.size());
            result.emplace_back(entry.uuid, entry.dn);
            left.push_back(false);
            continue;
        }
        left[known->second] = false;
        if (!entry.dn.empty()) result[known->second].second = entry.dn;
    }
    for (const auto& uuid : update.deleted)
        if (const auto known = at.find(uuid); known != at.end()) left[known->second] = true;
    found.clear();
    for (std::size_t i = 0; i < result.size(); ++i)
        if (!left[i]) found.push_back(std::move(result[i]));
    return true;
}

std::vector<std::string> HeldAfterChange(const std::vector<std::string>& held, const std::vector<std::string>& removed,
                                         const std::vector<std::string>& added) {
    std::unordered_multiset<std::string> gone(removed.begin(), removed.end());
    std::vector<std::string> result;
    for (const auto& value : held) {
        if (const auto match = gone.find(value); match != gone.end()) {
            gone.erase(match);
            continue;
        }
        result.push_back(value);
    }
    result.insert(result.end(), added.begin(), added.end());
    return result;
}

IncrementalSettings ReadIncrementalSettings(const std::function<std::string(const char*, const char*)>& read) {
    IncrementalSettings settings;
    if (auto text = read("General", "Incremental"); !text.empty()) {
        const std::string word = platform::lowerAscii(platform::trimBlanks(text));
        if (word != "true" && word != "false")
            throw std::invalid_argument("Incremental=" + text + " is not valid: it takes true or false");
        settings.enabled = word == "true";
    }
    if (auto text = read("General", "FullPassEvery"); !text.empty()) {
        const auto every = duration(text);
        if (!every)
            throw std::invalid_argument("FullPassEvery=" + text +
                                        " is not valid: it takes a whole number with s, m, h or d (hours without)");
        settings.fullPassEvery = *every;
    }
    return settings;
}

}  // namespace qv
