#pragma once
// Internal to the directory service and the search provider: what the program
// knows of one server (root entry, attribute names and Boolean attributes,
// learnt once per server), and entries read with the program's value rules:
// names without regard to case, Booleans as "True"/"False", objectClass with
// the structural class first, distinguishedName and ADsPath always present.
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/AdsPath.h"
#include "platform/LdapSession.h"

namespace qv::platform::detail {

class ServerInfo {
public:
    std::string defaultNamingContext;
    std::string subschemaSubentry;
    bool schemaKnown = false;  // false when the server would not show its schema

    // The key an attribute is kept under: its first schema name in lower
    // case (every alias and the OID lead there), else the name in lower case.
    std::string keyOf(std::string_view name) const;
    // True for an attribute the schema defines, and for every name when the schema is not known.
    bool knows(std::string_view name) const;
    bool isBoolean(const std::string& key) const { return booleans_.count(key) > 0; }

    void learnAttributeTypes(const std::vector<std::string>& definitions);

private:
    std::unordered_map<std::string, std::string> keys_;
    std::unordered_set<std::string> booleans_;
};

// The server's information, read on the first call for each server.
std::shared_ptr<const ServerInfo> serverInfo(Connection& connection);

struct Attribute {
    std::string key;   // see ServerInfo::keyOf
    std::string name;  // as the server or the program names it
    std::vector<std::string> values;
};

struct Entry {
    std::string dn;
    std::vector<Attribute> attributes;
    const Attribute* find(const std::string& key) const;
};

inline constexpr const char* kDistinguishedNameKey = "distinguishedname";
inline constexpr const char* kAdsPathKey = "adspath";

std::string lowerCase(std::string_view text);
bool equalsIgnoringCase(std::string_view a, std::string_view b);

// The attributes to ask the server for when the caller needs `names`: the
// names the program makes up itself left out, structuralObjectClass added to
// objectClass, "1.1" (none) when nothing is left.
std::vector<std::string> attributesToRequest(const std::vector<std::string>& names);

// A search entry with the value rules applied; `server` names the server in ADsPath.
Entry readEntry(LDAP* ld, LDAPMessage* entry, const ServerInfo& info, const AdsPath& server);

// The entry at `dn` (a base search); none when it does not match `filter`.
// Throws LdapFailure when the server reports an error (no such object, ...).
std::optional<Entry> readBase(Connection& connection, const std::string& dn, const std::string& filter,
               const std::vector<std::string>& attributes, const ServerInfo& info, const AdsPath& server);

// A null-terminated array of pointers into `texts`, as libldap takes attribute lists.
std::vector<char*> cStrings(std::vector<std::string>& texts);

}  // namespace qv::platform::detail
