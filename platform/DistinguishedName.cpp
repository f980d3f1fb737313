#include "platform/DistinguishedName.h"

namespace qv::platform {
namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Position of the first `separator` that is neither escaped nor quoted; npos when none.
size_t findUnescaped(std::string_view text, char separator) {
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\') {
            ++i;
        } else if (text[i] == '"') {
            quoted = !quoted;
        } else if (!quoted && text[i] == separator) {
            return i;
        }
    }
    return std::string_view::npos;
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ' && !(text.size() > 1 && text[text.size() - 2] == '\\'))
        text.remove_suffix(1);
    return text;
}

}  // namespace

std::string escapeDnValue(std::string_view value) {
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        char c = value[i];
        if (c == '\0') {
            out += "\\00";
            continue;
        }
        bool special = c == '"' || c == '+' || c == ',' || c == ';' || c == '<' || c == '>' || c == '\\';
        bool edge = (i == 0 && (c == ' ' || c == '#')) || (i + 1 == value.size() && c == ' ');
        if (special || edge) out += '\\';
        out += c;
    }
    return out;
}

std::string unescapeDnValue(std::string_view escaped) {
    std::string out;
    for (size_t i = 0; i < escaped.size(); ++i) {
        char c = escaped[i];
        if (c != '\\' || i + 1 >= escaped.size()) {
            if (c != '"') out += c;
            continue;
        }
        int high = hexValue(escaped[i + 1]);
        int low = i + 2 < escaped.size() ? hexValue(escaped[i + 2]) : -1;
        if (high >= 0 && low >= 0) {
            out += char(high * 16 + low);
            i += 2;
        } else {
            out += escaped[++i];
        }
    }
    return out;
}

std::string firstRdn(std::string_view dn) {
    return std::string(trim(dn.substr(0, findUnescaped(dn, ','))));
}

std::string parentDn(std::string_view dn) {
    auto comma = findUnescaped(dn, ',');
    if (comma == std::string_view::npos) return {};
    return std::string(trim(dn.substr(comma + 1)));
}

std::vector<Ava> rdnValues(std::string_view rdn) {
    std::vector<Ava> out;
    while (!rdn.empty()) {
        auto plus = findUnescaped(rdn, '+');
        std::string_view ava = rdn.substr(0, plus);
        auto equals = ava.find('=');
        if (equals != std::string_view::npos)
            out.push_back({std::string(trim(ava.substr(0, equals))), unescapeDnValue(trim(ava.substr(equals + 1)))});
        if (plus == std::string_view::npos) break;
        rdn.remove_prefix(plus + 1);
    }
    return out;
}

}  // namespace qv::platform
