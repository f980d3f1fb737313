#include "platform/TimeSeparator.h"

#include <langinfo.h>
#include <locale.h>

#include <cstdlib>
#include <mutex>

namespace qv::platform {
namespace {

constexpr std::size_t kMaxSeparator = 9;

// Skips one conversion at format[pos] == '%': flags, width, an E or O modifier
// and the conversion character. Returns the conversion character.
char skipConversion(std::string_view format, std::size_t& pos) {
    ++pos;
    while (pos < format.size() && std::string_view("_-0^#").find(format[pos]) != std::string_view::npos) ++pos;
    while (pos < format.size() && format[pos] >= '0' && format[pos] <= '9') ++pos;
    if (pos < format.size() && (format[pos] == 'E' || format[pos] == 'O')) ++pos;
    return pos < format.size() ? format[pos++] : '\0';
}

// The largest length up to `limit` that does not split a UTF-8 character.
std::size_t utf8Cut(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) return text.size();
    while (limit > 0 && (static_cast<unsigned char>(text[limit]) & 0xc0) == 0x80) --limit;
    return limit;
}

bool isHour(char conversion) { return std::string_view("HIkl").find(conversion) != std::string_view::npos; }

}  // namespace

std::string timeSeparatorOf(std::string_view format) {
    std::size_t pos = 0;
    while (pos < format.size()) {
        if (format[pos] != '%') {
            ++pos;
            continue;
        }
        if (pos + 1 < format.size() && format[pos + 1] == '%') {
            pos += 2;
            continue;
        }
        char conversion = skipConversion(format, pos);
        if (conversion == 'T' || conversion == 'R' || conversion == 'r') return ":";
        if (!isHour(conversion)) continue;
        std::size_t next = format.find('%', pos);
        std::string_view between = format.substr(pos, next == std::string_view::npos ? format.size() - pos : next - pos);
        if (next == std::string_view::npos) return {};  // an hour with no field after it
        return std::string(between.substr(0, utf8Cut(between, kMaxSeparator)));
    }
    return {};
}

namespace {

std::string separatorOfUserLocale() {
    locale_t user = ::newlocale(LC_TIME_MASK, "", locale_t(0));
    if (user == locale_t(0)) return timeSeparatorOf(::nl_langinfo(T_FMT));
    std::string result = timeSeparatorOf(::nl_langinfo_l(T_FMT, user));
    ::freelocale(user);
    return result;
}

// The environment variables that choose the user's LC_TIME locale, as one text.
std::string localeChoice() {
    std::string choice;
    for (const char* name : {"LC_ALL", "LC_TIME", "LANG"}) {
        const char* value = std::getenv(name);
        choice += value ? "=" + std::string(value) : std::string("-");
        choice += '\n';
    }
    return choice;
}

}  // namespace

std::string timeSeparator() {
    // Loading the locale is slow and every DL summary asks: the answer is
    // kept for as long as the environment names the same locale.
    static std::mutex mutex;
    static std::string choice, separator;
    std::string current = localeChoice();
    std::lock_guard lock(mutex);
    if (current != choice || choice.empty()) {
        separator = separatorOfUserLocale();
        choice = std::move(current);
    }
    return separator;
}

}  // namespace qv::platform
