#include "platform/DistinguishedName.h"

#include <algorithm>
#include <utility>

#include "platform/LdapSession.h"
#include "platform/Text.h"

namespace qv::platform {
namespace {

// The usual naming attributes whose values a directory compares without
// regard to case (caseIgnoreMatch, caseIgnoreIA5Match), under each of their
// names and OIDs, with the name they are compared as.
constexpr std::pair<std::string_view, std::string_view> kCaseIgnoringTypes[] = {
    {"cn", "cn"}, {"commonname", "cn"}, {"2.5.4.3", "cn"},
    {"sn", "sn"}, {"surname", "sn"}, {"2.5.4.4", "sn"},
    {"c", "c"}, {"countryname", "c"}, {"2.5.4.6", "c"},
    {"l", "l"}, {"localityname", "l"}, {"2.5.4.7", "l"},
    {"st", "st"}, {"stateorprovincename", "st"}, {"2.5.4.8", "st"},
    {"street", "street"}, {"streetaddress", "street"}, {"2.5.4.9", "street"},
    {"o", "o"}, {"organizationname", "o"}, {"2.5.4.10", "o"},
    {"ou", "ou"}, {"organizationalunitname", "ou"}, {"2.5.4.11", "ou"},
    {"title", "title"}, {"2.5.4.12", "title"},
    {"givenname", "givenname"}, {"gn", "givenname"}, {"2.5.4.42", "givenname"},
    {"uid", "uid"}, {"userid", "uid"}, {"0.9.2342.19200300.100.1.1", "uid"},
    {"mail", "mail"}, {"rfc822mailbox", "mail"}, {"0.9.2342.19200300.100.1.3", "mail"},
    {"dc", "dc"}, {"domaincomponent", "dc"}, {"0.9.2342.19200300.100.1.25", "dc"},
};

// Marks the key of a text that is not a DN; no key of a DN begins with it.
constexpr char kUnreadDn = '\x01';

// A case-insensitive value as it is compared: ASCII case folded, blanks at
// either end dropped and every run of blanks inside read as one.
std::string foldedValue(std::string_view value) {
    std::string out;
    for (char c : value) {
        if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
        out += lowerAscii(c);
    }
    if (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

std::string avaKey(const LDAPAVA& ava) {
    std::string type = lowerAscii(std::string_view(ava.la_attr.bv_val, ava.la_attr.bv_len));
    bool ignoresCase = false;
    for (const auto& [alias, name] : kCaseIgnoringTypes)
        if (type == alias) type = name, ignoresCase = true;
    const std::string_view value(ava.la_value.bv_val, ava.la_value.bv_len);
    if (ava.la_flags & LDAP_AVA_BINARY) {  // "#" and hex digits: the encoded value, kept apart from strings
        static constexpr char kHex[] = "0123456789abcdef";
        std::string hex = type + "=#";
        for (unsigned char c : value) hex += {kHex[c >> 4], kHex[c & 15]};
        return hex;
    }
    return type + "=" + escapeDnValue(ignoresCase ? foldedValue(value) : std::string(value));
}

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

std::string dnMatchKey(std::string_view dn) {
    berval text{dn.size(), const_cast<char*>(dn.data())};
    LDAPDN raw = nullptr;
    if (ldap_bv2dn(&text, &raw, LDAP_DN_FORMAT_LDAP) != LDAP_SUCCESS) return kUnreadDn + std::string(dn);
    const detail::ParsedDn parsed(raw);
    std::string key;
    for (int i = 0; raw && raw[i]; ++i) {
        std::vector<std::string> avas;
        for (int j = 0; raw[i][j]; ++j) avas.push_back(avaKey(*raw[i][j]));
        std::sort(avas.begin(), avas.end());  // "cn=a+uid=b" is "uid=b+cn=a"
        if (i > 0) key += ',';
        for (std::size_t j = 0; j < avas.size(); ++j) key += (j > 0 ? "+" : "") + avas[j];
    }
    return key;
}

bool sameDn(std::string_view a, std::string_view b) { return a == b || dnMatchKey(a) == dnMatchKey(b); }

}  // namespace qv::platform
