#include "platform/TimeSeparator.h"

#include <langinfo.h>
#include <locale.h>

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

std::string timeSeparator() {
    locale_t user = ::newlocale(LC_TIME_MASK, "", locale_t(0));
    if (user == locale_t(0)) return timeSeparatorOf(::nl_langinfo(T_FMT));
    std::string result = timeSeparatorOf(::nl_langinfo_l(T_FMT, user));
    ::freelocale(user);
    return result;
}

}  // namespace qv::platform
