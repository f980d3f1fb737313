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

std::optional<std::string> findValue(std::string_view text, std::string_view section, std::string_view key) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);  // UTF-8 byte order mark
    bool inSection = false;
    std::optional<std::string> found;
    forEachLine(text, [&](std::string_view line) {
        line = trimBlanks(line.substr(0, line.find('\0')));
        if (line.empty() || line.front() == ';') return true;
        if (line.front() == '[') {
            auto close = line.find(']');
            inSection = close != std::string_view::npos &&
                        equalsIgnoringCase(trimBlanks(line.substr(1, close - 1)), section);
            return true;
        }
        auto equals = line.find('=');
        if (!inSection || equals == std::string_view::npos) return true;
        if (equalsIgnoringCase(trimBlanks(line.substr(0, equals)), key))
            found = std::string(unquoted(trimBlanks(line.substr(equals + 1))));
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
