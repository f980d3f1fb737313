#include "platform/IniFile.h"

#include <optional>
#include <string_view>

#include "platform/FileText.h"
#include "platform/Text.h"

namespace qv::platform {
namespace {

// A profile is a few lines; a huge file is not one and reads as empty.
constexpr std::size_t kMaxProfileBytes = 16 * 1024 * 1024;

std::string_view unquoted(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

// Calls onLine(line number, section, key, value) for every line that is not
// blank or a comment: a header "[name]" gives its name as section (the whole
// line when it has no "]") and no key, a line without "=" its whole text as
// key and no value; a line before any section, or after a header without
// "]", has no section. Stops when onLine returns false.
template <class OnLine>
void walkProfile(std::string_view text, OnLine onLine) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);  // UTF-8 byte order mark
    std::string_view section;
    bool inSection = false;  // not before the first header, nor after one without "]"
    std::size_t number = 0;
    forEachLine(text, [&](std::string_view line) {
        ++number;
        line = trimBlanks(line.substr(0, line.find('\0')));
        if (line.empty() || line.front() == ';') return true;
        if (line.front() == '[') {
            auto close = line.find(']');
            inSection = close != std::string_view::npos;
            section = inSection ? trimBlanks(line.substr(1, close - 1)) : line;
            return onLine(number, &section, std::string_view(), nullptr);
        }
        const std::string_view* in = inSection ? &section : nullptr;
        auto equals = line.find('=');
        if (equals == std::string_view::npos) return onLine(number, in, line, nullptr);
        const std::string_view value = trimBlanks(line.substr(equals + 1));
        return onLine(number, in, trimBlanks(line.substr(0, equals)), &value);
    });
}

std::optional<std::string> findValue(std::string_view text, std::string_view section, std::string_view key) {
    std::optional<std::string> found;
    walkProfile(text, [&](std::size_t, const std::string_view* in, std::string_view name,
                          const std::string_view* value) {
        if (value && in && equalsIgnoringCase(*in, section) && equalsIgnoringCase(name, key))
            found = std::string(unquoted(*value));
        return !found;
    });
    return found;
}

}  // namespace

std::string readProfileString(const std::string& path, const std::string& section, const std::string& key,
                              const std::string& defaultValue, std::size_t capacity) {
    std::optional<std::string> value;
    FileText file = readFileText(path, kMaxProfileBytes);
    if (file.status == FileReadStatus::Ok) value = findValue(file.text, trimBlanks(section), trimBlanks(key));
    std::string result = value ? *value : defaultValue;
    if (!value) result.erase(result.find_last_not_of(" \t") + 1);
    if (capacity == 0) return {};
    if (result.size() > capacity - 1) result.resize(capacity - 1);
    return result;
}

}  // namespace qv::platform

namespace qv::platform {

std::vector<ProfileLine> readProfileLines(const std::string& path) {
    std::vector<ProfileLine> lines;
    FileText file = readFileText(path, kMaxProfileBytes);
    if (file.status != FileReadStatus::Ok) return lines;
    walkProfile(file.text, [&](std::size_t number, const std::string_view* section, std::string_view key,
                               const std::string_view* value) {
        ProfileLine& line = lines.emplace_back();
        line.number = number;
        line.header = key.empty() && !value;
        if (section) line.section = std::string(*section);
        line.key = key;
        line.hasValue = value != nullptr;
        return true;
    });
    return lines;
}

}  // namespace qv::platform
