#include "platform/SettingsFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string_view>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/FileText.h"
#include "platform/Text.h"

namespace qv::platform {
namespace {

// Settings files are small; anything larger is not ours and is never rewritten.
constexpr std::size_t kMaxFileBytes = 8 * 1024 * 1024;

struct Entry {
    std::string name;
    SettingsValue value;
};

struct Section {
    std::string path;  // as first written
    std::vector<Entry> entries;
};

using Document = std::vector<Section>;

bool isControl(unsigned char c) { return c < 0x20 || c == 0x7f; }

// A key path: components separated by "\", none empty, no control characters.
bool validKeyPath(std::string_view path) {
    if (path.empty() || path.front() == '\\' || path.back() == '\\') return false;
    if (path.find("\\\\") != std::string_view::npos) return false;
    return std::none_of(path.begin(), path.end(), [](char c) { return isControl((unsigned char)c); });
}

// ---- reading -------------------------------------------------------------

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads a quoted, escaped string starting at line[pos] == '"'; pos ends after the closing quote.
std::optional<std::string> readQuoted(std::string_view line, std::size_t& pos) {
    if (pos >= line.size() || line[pos] != '"') return std::nullopt;
    std::string out;
    for (++pos; pos < line.size(); ++pos) {
        char c = line[pos];
        if (c == '"') {
            ++pos;
            return out;
        }
        if (isControl((unsigned char)c) && c != '\t') return std::nullopt;
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++pos >= line.size()) return std::nullopt;
        switch (line[pos]) {
            case '\\': out += '\\'; break;
            case '"': out += '"'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'x': {
                if (pos + 2 >= line.size()) return std::nullopt;
                int hi = hexDigit(line[pos + 1]), lo = hexDigit(line[pos + 2]);
                if (hi < 0 || lo < 0) return std::nullopt;
                out += char(hi * 16 + lo);
                pos += 2;
                break;
            }
            default: return std::nullopt;
        }
    }
    return std::nullopt;  // no closing quote: a truncated line
}

bool onlyBlanks(std::string_view rest) {
    return rest.find_first_not_of(" \t") == std::string_view::npos;
}

std::optional<std::uint32_t> readDword(std::string_view text) {
    auto end = text.find_first_of(" \t");
    std::string_view digits = text.substr(0, end);
    if (digits.empty() || digits.size() > 8 || !onlyBlanks(text.substr(digits.size()))) return std::nullopt;
    std::uint32_t value = 0;
    for (char c : digits) {
        int d = hexDigit(c);
        if (d < 0) return std::nullopt;
        value = value * 16 + std::uint32_t(d);
    }
    return value;
}

std::optional<std::string> readHexBytes(std::string_view text) {
    std::string out;
    std::size_t pos = 0;
    while (pos < text.size() && !onlyBlanks(text.substr(pos))) {
        if (pos + 2 > text.size()) return std::nullopt;
        int hi = hexDigit(text[pos]), lo = hexDigit(text[pos + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out += char(hi * 16 + lo);
        pos += 2;
        if (pos < text.size() && text[pos] == ',') ++pos;
    }
    return out;
}

// `"name"=data` with data a quoted string, dword:XXXXXXXX or hex:XX,XX,...
std::optional<Entry> readEntry(std::string_view line) {
    std::size_t pos = 0;
    auto name = readQuoted(line, pos);
    if (!name) return std::nullopt;
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
    if (pos >= line.size() || line[pos] != '=') return std::nullopt;
    ++pos;
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
    Entry entry{*name, {}};
    std::string_view rest = line.substr(pos);
    if (!rest.empty() && rest.front() == '"') {
        auto text = readQuoted(line, pos);
        if (!text || !onlyBlanks(line.substr(pos))) return std::nullopt;
        entry.value = {SettingsValueType::String, *text, 0};
    } else if (rest.substr(0, 6) == "dword:") {
        auto number = readDword(rest.substr(6));
        if (!number) return std::nullopt;
        entry.value = {SettingsValueType::Dword, {}, *number};
    } else if (rest.substr(0, 4) == "hex:") {
        auto bytes = readHexBytes(rest.substr(4));
        if (!bytes) return std::nullopt;
        entry.value = {SettingsValueType::Binary, *bytes, 0};
    } else {
        return std::nullopt;
    }
    return entry;
}

Section* findSection(Document& doc, std::string_view path) {
    for (auto& s : doc)
        if (equalsIgnoringCase(s.path, path)) return &s;
    return nullptr;
}

Entry* findEntry(Section& section, std::string_view name) {
    for (auto& e : section.entries)
        if (equalsIgnoringCase(e.name, name)) return &e;
    return nullptr;
}

// Unreadable lines are skipped; duplicate sections merge and the first value of a name wins.
Document parse(std::string_view text) {
    Document doc;
    Section* current = nullptr;
    forEachLine(text, [&](std::string_view line) {
        line = trimBlanks(line);
        if (line.empty() || line.front() == ';' || line.front() == '#') return true;
        if (line.front() == '[') {
            current = nullptr;
            std::string_view path = line.back() == ']' ? line.substr(1, line.size() - 2) : std::string_view();
            if (!validKeyPath(path)) return true;
            current = findSection(doc, path);
            if (!current) current = &doc.emplace_back(Section{std::string(path), {}});
            return true;
        }
        auto entry = current ? readEntry(line) : std::nullopt;
        if (entry && !findEntry(*current, entry->name)) current->entries.push_back(std::move(*entry));
        return true;
    });
    return doc;
}

// ---- writing -------------------------------------------------------------

std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '"': out += "\\\""; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (isControl((unsigned char)c)) {
                    char hex[8];
                    std::snprintf(hex, sizeof hex, "\\x%02x", (unsigned char)c);
                    out += hex;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

std::string valueText(const SettingsValue& value) {
    char buffer[32];
    switch (value.type) {
        case SettingsValueType::String: return quoted(value.bytes);
        case SettingsValueType::Dword:
            std::snprintf(buffer, sizeof buffer, "dword:%08x", unsigned(value.dword));
            return buffer;
        case SettingsValueType::Binary: {
            std::string out = "hex:";
            for (std::size_t i = 0; i < value.bytes.size(); ++i) {
                std::snprintf(buffer, sizeof buffer, i ? ",%02x" : "%02x", (unsigned char)value.bytes[i]);
                out += buffer;
            }
            return out;
        }
    }
    return {};
}

std::string serialize(const Document& doc) {
    std::string out = "; Settings written by the program. The whole file is rewritten on every change.\n";
    for (const auto& section : doc) {
        out += "\n[" + section.path + "]\n";
        for (const auto& e : section.entries) out += quoted(e.name) + "=" + valueText(e.value) + "\n";
    }
    return out;
}

constexpr std::string_view kTemporaryPrefix = ".settings.";
constexpr std::size_t kTemporarySuffixLength = 6;  // mkostemp's XXXXXX

// Removes the temporary files of writers that died before their rename (they
// may hold a password). Only called under the folder lock, when no other
// writer can be halfway.
void removeStaleTemporaries(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    while (const dirent* item = ::readdir(dir)) {
        const std::string_view name = item->d_name;
        if (name.size() == kTemporaryPrefix.size() + kTemporarySuffixLength &&
            name.substr(0, kTemporaryPrefix.size()) == kTemporaryPrefix)
            ::unlinkat(::dirfd(dir), item->d_name, 0);
    }
    ::closedir(dir);
}

// Writes `text` into a temporary file beside `path`, flushes it and renames it over `path`.
bool replaceFile(const std::string& path, const std::string& text, mode_t mode) {
    return replaceFileAtomically(path, text, mode, std::string(kTemporaryPrefix)).empty();
}

// mkdir -p, new folders private to the user.
bool makeFolders(const std::string& folder) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) == 0) return S_ISDIR(info.st_mode);
    std::string parent = folderOf(folder);
    if (parent != folder && !makeFolders(parent)) return false;
    return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

// Serialises writers of one folder across processes for a read-modify-write.
class FolderLock {
public:
    explicit FolderLock(const std::string& folder)
        : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        if (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~FolderLock() {
        if (fd_ >= 0) ::close(fd_);
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    bool locked() const { return fd_ >= 0; }

private:
    int fd_;
};

// Reads the file, applies `change` and writes the result back whole. A file
// that exists but cannot be read is left alone: rewriting it would lose it.
bool modify(const std::string& path, const std::function<bool(Document&)>& change) {
    const std::string folder = folderOf(path);
    if (!makeFolders(folder)) return false;
    FolderLock lock(folder);
    if (!lock.locked()) return false;
    removeStaleTemporaries(folder);
    FileText current = readFileText(path, kMaxFileBytes);
    if (current.status == FileReadStatus::Failed) return false;
    mode_t mode = 0600;
    struct stat info {};
    if (current.status == FileReadStatus::Ok && ::stat(path.c_str(), &info) == 0) mode = info.st_mode & 0600;
    Document doc = parse(current.text);
    if (!change(doc)) return false;
    return replaceFile(path, serialize(doc), mode);
}

Document load(const std::string& path) {
    FileText file = readFileText(path, kMaxFileBytes);
    if (file.status != FileReadStatus::Ok) return {};
    return parse(file.text);
}

std::string homeFolder() {
    const char* home = std::getenv("HOME");
    if (home && *home == '/') return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/tmp";
}

}  // namespace

SettingsFile::SettingsFile(std::string path) : path_(std::move(path)) {}

std::string SettingsFile::folder() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string base = (config && *config == '/') ? std::string(config) : homeFolder() + "/.config";
    return base + "/KVOR";
}

SettingsFile SettingsFile::forRoot(const std::string& rootName) {
    return SettingsFile(folder() + "/" + rootName + ".settings");
}

bool SettingsFile::keyExists(const std::string& keyPath) const {
    if (!validKeyPath(keyPath)) return false;
    const std::string prefix = lowerAscii(keyPath) + "\\";
    for (const auto& section : load(path_)) {
        std::string name = lowerAscii(section.path);
        if (name == lowerAscii(keyPath) || name.compare(0, prefix.size(), prefix) == 0) return true;
    }
    return false;
}

std::optional<SettingsValue> SettingsFile::value(const std::string& keyPath, const std::string& name) const {
    if (!validKeyPath(keyPath)) return std::nullopt;
    Document doc = load(path_);
    Section* section = findSection(doc, keyPath);
    if (!section) return std::nullopt;
    Entry* entry = findEntry(*section, name);
    if (!entry) return std::nullopt;
    return entry->value;
}

bool SettingsFile::setValue(const std::string& keyPath, const std::string& name, const SettingsValue& value) {
    if (!validKeyPath(keyPath)) return false;
    return modify(path_, [&](Document& doc) {
        Section* section = findSection(doc, keyPath);
        if (!section) section = &doc.emplace_back(Section{keyPath, {}});
        if (Entry* entry = findEntry(*section, name))
            entry->value = value;
        else
            section->entries.push_back({name, value});
        return true;
    });
}

bool SettingsFile::createKey(const std::string& keyPath) {
    if (!validKeyPath(keyPath)) return false;
    if (keyExists(keyPath)) return true;
    return modify(path_, [&](Document& doc) {
        if (!findSection(doc, keyPath)) doc.push_back(Section{keyPath, {}});
        return true;
    });
}

bool SettingsFile::deleteKey(const std::string& keyPath) {
    if (!validKeyPath(keyPath)) return false;
    const std::string prefix = lowerAscii(keyPath) + "\\";
    return modify(path_, [&](Document& doc) {
        bool hasSubkeys = std::any_of(doc.begin(), doc.end(), [&](const Section& s) {
            return lowerAscii(s.path).compare(0, prefix.size(), prefix) == 0;
        });
        auto it = std::find_if(doc.begin(), doc.end(), [&](const Section& s) { return equalsIgnoringCase(s.path, keyPath); });
        if (hasSubkeys || it == doc.end()) return false;
        doc.erase(it);
        return true;
    });
}

}  // namespace qv::platform
