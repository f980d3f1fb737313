#pragma once
// Addresses of directory objects: "LDAP://host[:port]" (or "LDAPS://host[:port]"
// for LDAP over TLS, port 636 by default), or several servers of one
// directory, "LDAP://host1[:port],host2[:port]", tried in that order, optionally followed by
// "/RootDSE", "/" + a DN in comma form (cn=dl1,cn=Recipients,o=Org) or "/" + a
// tree path in slash form, outermost first (o=Org/ou=Site/cn=Recipients). A
// part of a tree path may hold commas; a "/" inside a value is written "\/".
#include <string>
#include <string_view>
#include <vector>

namespace qv::platform {

// One address scheme the program understands.
struct AdsScheme {
    std::string_view prefix;     // as written in an address, canonical case: "LDAP://"
    std::string_view urlScheme;  // as libldap names it: "ldap"
    int defaultPort;
    bool tls;
};

// What an address names on its server.
enum class AdsTarget {
    Server,   // nothing after the host: the server's default naming context
    RootDse,  // "/RootDSE": the server's root entry
    Object,   // "/" + a DN or a tree path
};

// One server an address names.
struct AdsServer {
    std::string host;  // without port or IPv6 brackets
    int port = 0;      // the scheme's default when the address names none
};

struct AdsPath {
    const AdsScheme* scheme = nullptr;
    // The server, or the servers separated by ",", exactly as the address
    // names them; "" = the default server.
    std::string server;
    std::vector<AdsServer> servers;  // in the order they are tried; none for the default server
    AdsTarget target = AdsTarget::Server;
    std::string dn;      // the object's DN in comma form (Object only)

    // Server `i` as libldap addresses it ("ldap://host:port"); "" for the default server.
    std::string url(std::size_t i = 0) const;
    // The address of an object on the same server: prefix + server + "/" + dn.
    std::string pathOf(std::string_view objectDn) const;
};

// The scheme `address` begins with (in any case), or nullptr.
const AdsScheme* findScheme(std::string_view address);

// Reads an address in either form. Throws qv::Error (err::BadPathname) for a
// text that is not one.
AdsPath parseAdsPath(std::string_view path);

// True when both addresses name the same object: the same scheme, host (in
// any case) and port, and the same DN as a directory compares DNs (sameDn),
// whether written as a DN or as a tree path.
bool sameObject(std::string_view a, std::string_view b);

// `dn` with every "/" written "\/", as it stands after the server in an address.
std::string escapeSlashes(std::string_view dn);

// `address` as it can stand as a search command's base: every ";" of a name
// (bare or written "\;"), which would end the base, written as the escape "\3b".
std::string searchBaseOf(std::string_view address);

}  // namespace qv::platform
