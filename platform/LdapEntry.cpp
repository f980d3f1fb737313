#include "platform/LdapEntry.h"

#include <ldap_schema.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <utility>

namespace qv::platform::detail {
namespace {

constexpr const char* kBooleanSyntax = "1.3.6.1.4.1.1466.115.121.1.7";

struct TypeDefinition {
    std::string oid;
    std::vector<std::string> names;
    std::string superior;
    std::string syntax;
};

struct AttributeTypeDeleter {
    void operator()(LDAPAttributeType* type) const noexcept { ldap_attributetype_free(type); }
};
struct ObjectClassDeleter {
    void operator()(LDAPObjectClass* type) const noexcept { ldap_objectclass_free(type); }
};

std::vector<std::string> lowerNames(char** names) {
    std::vector<std::string> out;
    for (char** name = names; name && *name; ++name) out.push_back(lowerAscii(*name));
    return out;
}

std::optional<TypeDefinition> parseDefinition(const std::string& text) {
    int code = 0;
    const char* where = nullptr;
    std::unique_ptr<LDAPAttributeType, AttributeTypeDeleter> type(
        ldap_str2attributetype(text.c_str(), &code, &where, LDAP_SCHEMA_ALLOW_ALL));
    if (!type) return std::nullopt;
    TypeDefinition out;
    out.oid = type->at_oid ? type->at_oid : "";
    for (char** name = type->at_names; name && *name; ++name) out.names.emplace_back(*name);
    out.superior = type->at_sup_oid ? type->at_sup_oid : "";
    out.syntax = type->at_syntax_oid ? type->at_syntax_oid : "";
    return out;
}

// The Boolean convention of the program: "True" and "False".
std::string readableBoolean(const std::string& value) {
    if (value == "TRUE") return "True";
    if (value == "FALSE") return "False";
    return value;
}

// objectClass with the structural class first and "top" never first: the
// class the server names as structural, else the one the schema shows to be.
void orderObjectClasses(std::vector<std::string>& classes, const Attribute* structural, const ServerInfo& info) {
    std::string name = structural && !structural->values.empty() ? structural->values.front() : std::string();
    if (name.empty()) name = info.structuralOf(classes);
    if (!name.empty()) {
        auto it = std::find_if(classes.begin(), classes.end(),
                               [&](const std::string& c) { return equalsIgnoringCase(c, name); });
        if (it != classes.end()) classes.erase(it);
        classes.insert(classes.begin(), name);
    }
    if (classes.size() > 1 && equalsIgnoringCase(classes.front(), "top"))
        std::rotate(classes.begin(), classes.begin() + 1, classes.end());
}

void makeReadable(Attribute& attribute) {
    for (auto& value : attribute.values) value = readableBoolean(value);
}

void orderObjectClasses(Entry& entry, const ServerInfo& info) {
    static const std::string classesKey = "objectclass", structuralKey = "structuralobjectclass";
    if (Attribute* classes = entry.find(classesKey))
        orderObjectClasses(classes->values, entry.find(structuralKey), info);
}

void applyValueRules(Entry& entry, const ServerInfo& info) {
    for (auto& attribute : entry.attributes)
        if (info.isBoolean(attribute.key)) makeReadable(attribute);
    orderObjectClasses(entry, info);
}

// The root entry again with the keys and Boolean values the schema gives;
// it was read before the schema was known.
void applySchema(Entry& entry, const ServerInfo& info) {
    for (auto& attribute : entry.attributes)
        if (attribute.key != kDistinguishedNameKey && attribute.key != kAdsPathKey)
            attribute.key = info.keyOf(attribute.name);
    applyValueRules(entry, info);
}

// Reads the root entry whole (it is small, and a caller binding to it needs
// it anyway) and the attribute types of the schema it names.
std::shared_ptr<ServerInfo> readServerInfo(Connection& connection, std::optional<Entry>& root) {
    auto info = std::make_shared<ServerInfo>();
    AdsPath none;
    root = readBase(connection, "", "(objectClass=*)", {"*", "+"}, *info, none);
    if (!root) return info;
    if (auto* a = root->find("defaultnamingcontext"); a && !a->values.empty())
        info->defaultNamingContext = a->values.front();
    if (auto* a = root->find("subschemasubentry"); a && !a->values.empty()) info->subschemaSubentry = a->values.front();
    if (auto* a = root->find("supportedcontrol")) info->supportedControls = a->values;
    if (info->subschemaSubentry.empty()) return info;
    try {
        auto schema = readBase(connection, info->subschemaSubentry, "(objectClass=subschema)",
                               {"attributeTypes", "objectClasses"}, *info, none);
        if (auto* a = schema ? schema->find("attributetypes") : nullptr) info->learnAttributeTypes(a->values);
        if (auto* a = schema ? schema->find("objectclasses") : nullptr) info->learnObjectClasses(a->values);
    } catch (const LdapFailure& failure) {
        // A schema that may not be read leaves the names unchecked; a lost server is an error.
        if (failure.serverGone() || failure.code() == LDAP_TIMEOUT) throw;
    }
    applySchema(*root, *info);
    return info;
}

}  // namespace

std::size_t CaseInsensitiveHash::operator()(std::string_view text) const noexcept {
    std::size_t hash = 14695981039346656037ull;  // FNV-1a
    for (char c : text) hash = (hash ^ static_cast<unsigned char>(lowerAscii(c))) * 1099511628211ull;
    return hash;
}

bool CaseInsensitiveEqual::operator()(std::string_view a, std::string_view b) const noexcept {
    return equalsIgnoringCase(a, b);
}

std::string ServerInfo::keyOf(std::string_view name) const {
    auto it = keys_.find(name);
    return it == keys_.end() ? lowerAscii(name) : it->second;
}

bool ServerInfo::knows(std::string_view name) const { return !schemaKnown || keys_.find(name) != keys_.end(); }

void ServerInfo::learnAttributeTypes(const std::vector<std::string>& definitions) {
    std::vector<TypeDefinition> types;
    for (const auto& text : definitions)
        if (auto type = parseDefinition(text)) types.push_back(std::move(*type));
    std::unordered_map<std::string, const TypeDefinition*> byName;
    for (const auto& type : types) {
        std::string key = lowerAscii(type.names.empty() ? type.oid : type.names.front());
        keys_[lowerAscii(type.oid)] = key;
        byName[lowerAscii(type.oid)] = &type;
        for (const auto& name : type.names) {
            keys_[lowerAscii(name)] = key;
            byName[lowerAscii(name)] = &type;
        }
    }
    for (const auto& type : types) {
        // A type without its own syntax takes its superior's.
        const TypeDefinition* t = &type;
        for (int depth = 0; t && t->syntax.empty() && depth < 16; ++depth) {
            auto it = byName.find(lowerAscii(t->superior));
            t = it == byName.end() ? nullptr : it->second;
        }
        if (t && t->syntax == kBooleanSyntax) booleans_.insert(keyOf(type.oid));
    }
    schemaKnown = !types.empty();
}

bool ServerInfo::knowsClass(std::string_view name) const {
    return classes_.empty() || classOf(name) != nullptr;
}

const ServerInfo::ObjectClass* ServerInfo::classOf(std::string_view name) const {
    auto it = classIndex_.find(lowerAscii(name));
    return it == classIndex_.end() ? nullptr : &classes_[it->second];
}

bool ServerInfo::closure(const std::vector<std::string>& classes, std::vector<const ObjectClass*>& out) const {
    std::vector<std::string> pending(classes.rbegin(), classes.rend());
    while (!pending.empty()) {
        const ObjectClass* c = classOf(pending.back());
        pending.pop_back();
        if (!c) return false;
        if (std::find(out.begin(), out.end(), c) != out.end()) continue;
        out.push_back(c);
        pending.insert(pending.end(), c->superiors.begin(), c->superiors.end());
    }
    return true;
}

bool ServerInfo::allows(const std::vector<std::string>& classes, std::string_view attribute) const {
    std::vector<const ObjectClass*> all;
    if (classes_.empty() || !closure(classes, all)) return true;
    const std::string key = keyOf(attribute);
    for (const ObjectClass* c : all) {
        if (c->must.count(key) || c->may.count(key)) return true;
        if (extensible_ < classes_.size() && c == &classes_[extensible_]) return knows(attribute);
    }
    return false;
}

bool ServerInfo::needs(const std::vector<std::string>& classes, std::string_view attribute) const {
    std::vector<const ObjectClass*> all;
    if (classes_.empty() || !closure(classes, all)) return false;
    const std::string key = keyOf(attribute);
    return std::any_of(all.begin(), all.end(), [&](const ObjectClass* c) { return c->must.count(key) > 0; });
}

std::string ServerInfo::structuralOf(const std::vector<std::string>& classes) const {
    std::vector<const ObjectClass*> derived;  // what the structural ones among `classes` derive from
    for (const auto& name : classes) {
        const ObjectClass* c = classOf(name);
        std::vector<const ObjectClass*> all;
        if (c && c->structural && closure({name}, all)) derived.insert(derived.end(), all.begin() + 1, all.end());
    }
    for (const auto& name : classes) {
        const ObjectClass* c = classOf(name);
        if (c && c->structural && std::find(derived.begin(), derived.end(), c) == derived.end())
            return c->name.empty() ? name : c->name;
    }
    return {};
}

void ServerInfo::learnObjectClasses(const std::vector<std::string>& definitions) {
    for (const auto& text : definitions) {
        int code = 0;
        const char* where = nullptr;
        std::unique_ptr<LDAPObjectClass, ObjectClassDeleter> parsed(
            ldap_str2objectclass(text.c_str(), &code, &where, LDAP_SCHEMA_ALLOW_ALL));
        if (!parsed || !parsed->oc_oid) continue;
        ObjectClass c;
        if (parsed->oc_names && parsed->oc_names[0]) c.name = parsed->oc_names[0];
        c.superiors = lowerNames(parsed->oc_sup_oids);
        c.structural = parsed->oc_kind == LDAP_SCHEMA_STRUCTURAL;
        for (const auto& name : lowerNames(parsed->oc_at_oids_must)) c.must.insert(keyOf(name));
        for (const auto& name : lowerNames(parsed->oc_at_oids_may)) c.may.insert(keyOf(name));
        const std::size_t index = classes_.size();
        classes_.push_back(std::move(c));
        classIndex_[lowerAscii(parsed->oc_oid)] = index;
        for (const auto& name : lowerNames(parsed->oc_names)) classIndex_[name] = index;
    }
    if (auto it = classIndex_.find("extensibleobject"); it != classIndex_.end()) extensible_ = it->second;
}

std::shared_ptr<const ServerInfo> serverInfo(Connection& connection, std::optional<Entry>* rootEntry) {
    static std::mutex mutex;
    static std::map<std::string, std::shared_ptr<const ServerInfo>> known;
    {
        std::lock_guard lock(mutex);
        auto it = known.find(connection.where());
        if (it != known.end()) return it->second;
    }
    std::optional<Entry> root;
    std::shared_ptr<const ServerInfo> info = readServerInfo(connection, root);
    if (rootEntry) *rootEntry = std::move(root);
    std::lock_guard lock(mutex);
    known[connection.where()] = info;
    return info;
}

const Attribute* Entry::find(const std::string& key) const {
    for (const auto& attribute : attributes)
        if (attribute.key == key) return &attribute;
    return nullptr;
}

Attribute* Entry::find(const std::string& key) {
    return const_cast<Attribute*>(std::as_const(*this).find(key));
}

std::vector<std::string> attributesToRequest(const std::vector<std::string>& names) {
    std::vector<std::string> out;
    bool classes = false;
    for (const auto& name : names) {
        if (equalsIgnoringCase(name, "distinguishedName") || equalsIgnoringCase(name, "ADsPath")) continue;
        if (equalsIgnoringCase(name, "objectClass") || name == "*") classes = true;
        out.push_back(name);
    }
    if (classes) out.emplace_back("structuralObjectClass");
    if (out.empty()) out.emplace_back(LDAP_NO_ATTRS);
    return out;
}

const AttributeNames::Meaning& AttributeNames::of(std::string_view name, const ServerInfo& info) {
    for (const auto& meaning : known_)
        if (meaning.name == name) return meaning;
    std::string key = info.keyOf(name);
    const bool boolean = info.isBoolean(key);
    return known_.emplace_back(Meaning{std::string(name), std::move(key), boolean});
}

std::string readDn(LDAP* ld, LDAPMessage* message) {
    berval dn{0, nullptr};
    if (ldap_get_dn_ber(ld, message, nullptr, &dn) != LDAP_SUCCESS || !dn.bv_val) return {};
    return std::string(dn.bv_val, dn.bv_len);
}

// Reads the entry's DN and attributes in one walk over the message, taking
// each value straight from it (no per-attribute search or copy by libldap).
Entry readEntry(LDAP* ld, LDAPMessage* message, const ServerInfo& info, const AdsPath& server,
                AttributeNames* names) {
    AttributeNames once;
    if (!names) names = &once;
    Entry entry;
    entry.attributes.reserve(names->size() + 2);
    BerElement* rawBer = nullptr;
    berval dn{0, nullptr};
    const bool readable = ldap_get_dn_ber(ld, message, &rawBer, &dn) == LDAP_SUCCESS;
    Ber ber(rawBer);
    if (readable && dn.bv_val) entry.dn.assign(dn.bv_val, dn.bv_len);
    for (;;) {
        berval name{0, nullptr};
        berval* rawValues = nullptr;
        if (!readable || ldap_get_attribute_ber(ld, message, ber.get(), &name, &rawValues) != LDAP_SUCCESS) break;
        BerArray values(rawValues);  // the array is ours; the values lie in the message
        if (!name.bv_val) break;
        const auto& meaning = names->of(std::string_view(name.bv_val, name.bv_len), info);
        Attribute& attribute = entry.attributes.emplace_back(Attribute{meaning.key, meaning.name, {}});
        std::size_t count = 0;
        while (rawValues && rawValues[count].bv_val) ++count;
        attribute.values.reserve(count);
        for (std::size_t i = 0; i < count; ++i) attribute.values.emplace_back(rawValues[i].bv_val, rawValues[i].bv_len);
        if (meaning.boolean) makeReadable(attribute);
    }
    orderObjectClasses(entry, info);
    entry.attributes.push_back({kDistinguishedNameKey, "distinguishedName", {entry.dn}});
    entry.attributes.push_back({kAdsPathKey, "ADsPath", {server.scheme ? server.pathOf(entry.dn) : entry.dn}});
    return entry;
}

std::optional<Entry> readBase(Connection& connection, const std::string& dn, const std::string& filter,
                              const std::vector<std::string>& attributes, const ServerInfo& info,
                              const AdsPath& server) {
    std::vector<std::string> request = attributesToRequest(attributes);
    auto list = cStrings(request);
    int msgid = 0;
    int rc = ldap_search_ext(connection.get(), dn.c_str(), LDAP_SCOPE_BASE, filter.c_str(), list.data(), 0, nullptr,
                             nullptr, nullptr, LDAP_NO_LIMIT, &msgid);
    if (rc != LDAP_SUCCESS) connection.fail(rc);
    Message result = connection.await(msgid, false);
    connection.check(result.get());
    LDAPMessage* first = ldap_first_entry(connection.get(), result.get());
    if (!first) return std::nullopt;
    return readEntry(connection.get(), first, info, server);
}

std::vector<char*> cStrings(std::vector<std::string>& texts) {
    std::vector<char*> out;
    for (auto& text : texts) out.push_back(text.data());
    out.push_back(nullptr);
    return out;
}

}  // namespace qv::platform::detail
