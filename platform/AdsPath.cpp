#include "platform/AdsPath.h"

#include <algorithm>
#include <array>
#include <vector>

#include "platform/DistinguishedName.h"
#include "platform/Error.h"
#include "platform/ErrorNumbers.h"
#include "platform/Text.h"

namespace qv::platform {
namespace {

// Every scheme the program accepts; a new one is a new row here.
constexpr std::array kSchemes{
    AdsScheme{"LDAP://", "ldap", 389, false},
    AdsScheme{"LDAPS://", "ldaps", 636, true},
};

bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

[[noreturn]] void bad(std::string_view path, std::string_view why) {
    throw Error(err::BadPathname, "An invalid directory pathname was passed: \"" + std::string(path) + "\" (" +
                                      std::string(why) + ")");
}

// True when `part` begins with an attribute type followed by "=" (RFC 4514).
bool startsWithAttributeType(std::string_view part) {
    size_t i = 0;
    if (!part.empty() && isAlpha(part[0])) {
        while (i < part.size() && (isAlpha(part[i]) || isDigit(part[i]) || part[i] == '-')) ++i;
    } else {
        // A numeric OID: digits separated by single dots.
        while (i < part.size() && isDigit(part[i])) {
            while (i < part.size() && isDigit(part[i])) ++i;
            if (i + 1 < part.size() && part[i] == '.' && isDigit(part[i + 1])) ++i;
        }
    }
    return i > 0 && i < part.size() && part[i] == '=';
}

bool isHostCharacter(char c) { return isAlpha(c) || isDigit(c) || c == '-' || c == '.' || c == '_'; }
bool isIpv6Character(char c) { return isDigit(c) || (lowerAscii(c) >= 'a' && lowerAscii(c) <= 'f') || c == ':' || c == '.'; }

int parsePort(std::string_view path, std::string_view digits) {
    if (digits.empty() || digits.size() > 5) bad(path, "bad port");
    int port = 0;
    for (char c : digits) {
        if (!isDigit(c)) bad(path, "bad port");
        port = port * 10 + (c - '0');
    }
    if (port < 1 || port > 65535) bad(path, "bad port");
    return port;
}

AdsServer parseServer(std::string_view path, std::string_view server, const AdsScheme& scheme) {
    if (server.empty()) bad(path, "empty host");  // a list with an empty place: "a,,b" or "a,"
    AdsServer out{{}, scheme.defaultPort};
    std::string_view host = server;
    std::string_view rest;
    if (server.front() == '[') {
        auto close = server.find(']');
        if (close == std::string_view::npos) bad(path, "unclosed IPv6 address");
        host = server.substr(1, close - 1);
        rest = server.substr(close + 1);
        if (host.empty()) bad(path, "empty host");
        for (char c : host)
            if (!isIpv6Character(c)) bad(path, "bad IPv6 address");
        if (!rest.empty() && rest.front() != ':') bad(path, "bad server");
    } else {
        auto colon = server.find(':');
        if (colon != std::string_view::npos) {
            host = server.substr(0, colon);
            rest = server.substr(colon);
        }
        if (host.empty()) bad(path, "empty host");
        for (char c : host)
            if (!isHostCharacter(c)) bad(path, "bad host name");
    }
    if (!rest.empty()) out.port = parsePort(path, rest.substr(1));
    out.host = std::string(host);
    return out;
}

// The servers of a list "host[:port],host[:port]"; none for the default server.
void parseServers(std::string_view path, std::string_view list, AdsPath& out) {
    out.server = std::string(list);
    if (list.empty()) return;
    for (;;) {
        const auto comma = list.find(',');
        out.servers.push_back(parseServer(path, list.substr(0, comma), *out.scheme));
        if (comma == std::string_view::npos) return;
        list.remove_prefix(comma + 1);
    }
}

// Splits at every "/" that is not written "\/"; escapes stay in the parts.
std::vector<std::string> splitAtSlashes(std::string_view text) {
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            parts.back() += text.substr(i, 2);
            ++i;
        } else if (text[i] == '/') {
            parts.emplace_back();
        } else {
            parts.back() += text[i];
        }
    }
    return parts;
}

std::string unescapeSlashes(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            if (text[i + 1] != '/') out += '\\';
            out += text[++i];
        } else {
            out += text[i];
        }
    }
    return out;
}

// The DN an object text names, in comma form.
std::string dnOf(std::string_view path, std::string_view object) {
    auto raw = splitAtSlashes(object);
    if (raw.size() > 1 && raw.back().empty()) raw.pop_back();  // one trailing "/"
    std::vector<std::string> parts;
    for (auto& part : raw) {
        if (part.empty()) bad(path, "empty name part");
        // A "/" that does not start a new RDN belongs to the value before it.
        if (!parts.empty() && !startsWithAttributeType(part))
            parts.back() += "/" + part;
        else
            parts.push_back(std::move(part));
    }
    if (!startsWithAttributeType(parts.front())) bad(path, "not a distinguished name");
    std::string dn;
    for (auto it = parts.rbegin(); it != parts.rend(); ++it) {
        if (!dn.empty()) dn += ',';
        dn += unescapeSlashes(*it);
    }
    return dn;
}

}  // namespace

std::string AdsPath::url(std::size_t i) const {
    if (i >= servers.size()) return {};
    const auto& [host, port] = servers[i];
    std::string h = host.find(':') != std::string::npos ? "[" + host + "]" : host;
    return std::string(scheme->urlScheme) + "://" + h + ":" + std::to_string(port);
}

namespace {

void appendEscapingSlashes(std::string& out, std::string_view dn) {
    if (std::none_of(dn.begin(), dn.end(), [](char c) { return c == '/' || c == '\\'; })) {
        out += dn;  // the usual DN: nothing to escape
        return;
    }
    for (size_t i = 0; i < dn.size(); ++i) {
        if (dn[i] == '\\' && i + 1 < dn.size()) {
            out += dn.substr(i, 2);
            ++i;
        } else {
            if (dn[i] == '/') out += '\\';
            out += dn[i];
        }
    }
}

}  // namespace

std::string AdsPath::pathOf(std::string_view objectDn) const {
    // Built in place: a search makes one for every entry it returns.
    std::string path;
    path.reserve(scheme->prefix.size() + server.size() + objectDn.size() + 8);
    path.append(scheme->prefix).append(server);
    if (!objectDn.empty()) {
        path += '/';
        appendEscapingSlashes(path, objectDn);
    }
    return path;
}

const AdsScheme* findScheme(std::string_view address) {
    for (const auto& scheme : kSchemes)
        if (startsWithIgnoringCase(address, scheme.prefix)) return &scheme;
    return nullptr;
}

AdsPath parseAdsPath(std::string_view path) {
    AdsPath out;
    out.scheme = findScheme(path);
    if (!out.scheme) bad(path, "unknown scheme");
    std::string_view rest = path.substr(out.scheme->prefix.size());
    auto slash = rest.find('/');
    parseServers(path, rest.substr(0, slash), out);
    if (slash == std::string_view::npos) return out;
    std::string_view object = rest.substr(slash + 1);
    if (object.empty()) return out;
    if (object.size() == 7 && startsWithIgnoringCase(object, "RootDSE")) {
        out.target = AdsTarget::RootDse;
        return out;
    }
    out.target = AdsTarget::Object;
    out.dn = dnOf(path, object);
    return out;
}

std::string escapeSlashes(std::string_view dn) {
    std::string out;
    out.reserve(dn.size());
    appendEscapingSlashes(out, dn);
    return out;
}

std::string searchBaseOf(std::string_view address) {
    std::string out;
    out.reserve(address.size());
    for (size_t i = 0; i < address.size(); ++i) {
        const bool escaped = address[i] == '\\' && i + 1 < address.size();
        const char c = escaped ? address[++i] : address[i];
        if (c == ';')
            out += "\\3b";
        else if (escaped)
            out.append(1, '\\').append(1, c);
        else
            out += c;
    }
    return out;
}

bool sameObject(std::string_view a, std::string_view b) {
    if (a == b) return true;
    try {
        const AdsPath x = parseAdsPath(a), y = parseAdsPath(b);
        auto sameServer = [](const AdsServer& u, const AdsServer& v) {
            return equalsIgnoringCase(u.host, v.host) && u.port == v.port;
        };
        return x.scheme == y.scheme &&
               std::equal(x.servers.begin(), x.servers.end(), y.servers.begin(), y.servers.end(), sameServer) &&
               x.target == y.target && sameDn(x.dn, y.dn);
    } catch (const Error&) {
        return false;  // a text that is no address names nothing but itself
    }
}

}  // namespace qv::platform
