#include "platform/IniFile.h"

#include <optional>
#include <string_view>

#include "platform/FileText.h"

namespace qv::platform {
namespace {

// A profile is a few lines; a huge file is not one and reads as empty.
constexpr std::size_t kMaxProfileBytes = 16 * 1024 * 1024;

std::string_view trimmed(std::string_view text) {
    auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

std::string_view unquoted(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

std::optional<std::string> findValue(std::string_view text, std::string_view section, std::string_view key) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);  // UTF-8 byte order mark
    bool inSection = false;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (auto nul = line.find('\0'); nul != std::string_view::npos) line = line.substr(0, nul);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        line = trimmed(line);
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            auto close = line.find(']');
            inSection = close != std::string_view::npos && sameName(trimmed(line.substr(1, close - 1)), section);
            continue;
        }
        auto equals = line.find('=');
        if (!inSection || equals == std::string_view::npos) continue;
        if (sameName(trimmed(line.substr(0, equals)), key))
            return std::string(unquoted(trimmed(line.substr(equals + 1))));
    }
    return std::nullopt;
}

}  // namespace

std::string readProfileString(const std::string& path, const std::string& section, const std::string& key,
                              const std::string& defaultValue, std::size_t capacity) {
    std::optional<std::string> value;
    FileText file = readFileText(path, kMaxProfileBytes);
    if (file.status == FileReadStatus::Ok) value = findValue(file.text, trimmed(section), trimmed(key));
    std::string result = value ? *value : defaultValue;
    if (!value) result.erase(result.find_last_not_of(" \t") + 1);
    if (capacity == 0) return {};
    if (result.size() > capacity - 1) result.resize(capacity - 1);
    return result;
}

}  // namespace qv::platform
