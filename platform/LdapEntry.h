#pragma once
// Internal to the directory service and the search provider: what the program
// knows of one server (root entry, attribute names and Boolean attributes,
// learnt once per server), and entries read with the program's value rules:
// names without regard to case, Booleans as "True"/"False", objectClass with
// the structural class first, distinguishedName and ADsPath always present.
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/AdsPath.h"
#include "platform/LdapSession.h"
#include "platform/Text.h"

namespace qv::platform::detail {

// Hashing and equality of attribute names without regard to ASCII case, so
// that a name can be looked up as the server or a caller writes it.
struct CaseInsensitiveHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept;
};
struct CaseInsensitiveEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept;
};

class ServerInfo {
public:
    std::string defaultNamingContext;
    std::string subschemaSubentry;
    bool schemaKnown = false;  // false when the server would not show its schema
    std::vector<std::string> supportedControls;  // as its root entry lists them
    // The server refused a change under the Permissive Modify control (the
    // control marked critical): it is sent its changes without it from then on.
    mutable std::atomic<bool> refusesPermissiveModify{false};

    // The key an attribute is kept under: its first schema name in lower
    // case (every alias and the OID lead there), else the name in lower case.
    std::string keyOf(std::string_view name) const;
    // True for an attribute the schema defines, and for every name when the schema is not known.
    bool knows(std::string_view name) const;
    bool isBoolean(const std::string& key) const { return booleans_.count(key) > 0; }
    // True for an object class the schema defines, and for every name when its classes are not known.
    bool knowsClass(std::string_view name) const;

    // What the object classes of the schema say of an attribute on an entry
    // of `classes` (each with its superior classes): whether it may hold it
    // (any known attribute under extensibleObject) and whether it must. Where
    // the schema's classes are not known, or a class is not among them, every
    // attribute may be held and none must.
    bool allows(const std::vector<std::string>& classes, std::string_view attribute) const;
    bool needs(const std::vector<std::string>& classes, std::string_view attribute) const;
    // The structural class among `classes`: the one none of the others
    // derives from, named as the schema names it; empty when the schema does not tell.
    std::string structuralOf(const std::vector<std::string>& classes) const;

    void learnAttributeTypes(const std::vector<std::string>& definitions);
    void learnObjectClasses(const std::vector<std::string>& definitions);

private:
    struct ObjectClass {
        std::string name;                    // the first name, as the schema writes it
        std::vector<std::string> superiors;  // names as written, lower case
        bool structural = false;
        std::unordered_set<std::string> must, may;  // attribute keys
    };
    const ObjectClass* classOf(std::string_view name) const;
    // `classes` with every superior class, by definition; false when one is not in the schema.
    bool closure(const std::vector<std::string>& classes, std::vector<const ObjectClass*>& out) const;

    std::unordered_map<std::string, std::string, CaseInsensitiveHash, CaseInsensitiveEqual> keys_;
    std::unordered_set<std::string> booleans_;
    std::vector<ObjectClass> classes_;
    std::unordered_map<std::string, std::size_t> classIndex_;  // lower-case names and OIDs
    std::size_t extensible_ = SIZE_MAX;  // extensibleObject's place in classes_
};

struct Attribute {
    std::string key;   // see ServerInfo::keyOf
    std::string name;  // as the server or the program names it
    std::vector<std::string> values;
};

struct Entry {
    std::string dn;
    std::vector<Attribute> attributes;
    const Attribute* find(const std::string& key) const;
    Attribute* find(const std::string& key);
};

// The server's information, read on the first call for each server. The
// call that reads it hands the whole root entry it read (every user and
// operational attribute) to `rootEntry` when one is given, so that a caller
// who needs the root entry does not read it again.
std::shared_ptr<const ServerInfo> serverInfo(Connection& connection, std::optional<Entry>* rootEntry = nullptr);

inline constexpr const char* kDistinguishedNameKey = "distinguishedname";
inline constexpr const char* kAdsPathKey = "adspath";


// The attributes to ask the server for when the caller needs `names`: the
// names the program makes up itself left out, structuralObjectClass added to
// objectClass, "1.1" (none) when nothing is left.
std::vector<std::string> attributesToRequest(const std::vector<std::string>& names);

// What the server's attribute names stand for, remembered as a search meets
// them: every entry of a search comes with the same few names.
class AttributeNames {
public:
    struct Meaning {
        std::string name;  // as the server writes it
        std::string key;   // ServerInfo::keyOf
        bool boolean = false;
    };
    const Meaning& of(std::string_view name, const ServerInfo& info);
    std::size_t size() const { return known_.size(); }

private:
    std::vector<Meaning> known_;
};

// The DN of a search entry, as the server wrote it.
std::string readDn(LDAP* ld, LDAPMessage* entry);

// A search entry with the value rules applied; `server` names the server in
// ADsPath. `names`, when given, remembers attribute names from entry to entry.
Entry readEntry(LDAP* ld, LDAPMessage* entry, const ServerInfo& info, const AdsPath& server,
                AttributeNames* names = nullptr);

// The entry at `dn` (a base search); none when it does not match `filter`.
// Throws LdapFailure when the server reports an error (no such object, ...).
std::optional<Entry> readBase(Connection& connection, const std::string& dn, const std::string& filter,
               const std::vector<std::string>& attributes, const ServerInfo& info, const AdsPath& server);

// A null-terminated array of pointers into `texts`, as libldap takes attribute lists.
std::vector<char*> cStrings(std::vector<std::string>& texts);

}  // namespace qv::platform::detail
