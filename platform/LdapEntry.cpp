#include "platform/LdapEntry.h"

#include <ldap_schema.h>

#include <algorithm>
#include <map>
#include <mutex>

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

// objectClass with the structural class first and "top" never first.
void orderObjectClasses(std::vector<std::string>& classes, const Attribute* structural) {
    if (structural && !structural->values.empty()) {
        const std::string& name = structural->values.front();
        auto it = std::find_if(classes.begin(), classes.end(),
                               [&](const std::string& c) { return equalsIgnoringCase(c, name); });
        if (it != classes.end()) classes.erase(it);
        classes.insert(classes.begin(), name);
    }
    if (classes.size() > 1 && equalsIgnoringCase(classes.front(), "top"))
        std::rotate(classes.begin(), classes.begin() + 1, classes.end());
}

void applyValueRules(Entry& entry, const ServerInfo& info) {
    for (auto& attribute : entry.attributes)
        if (info.isBoolean(attribute.key))
            for (auto& value : attribute.values) value = readableBoolean(value);
    auto classes = std::find_if(entry.attributes.begin(), entry.attributes.end(),
                                [](const Attribute& a) { return a.key == "objectclass"; });
    if (classes != entry.attributes.end())
        orderObjectClasses(classes->values, entry.find("structuralobjectclass"));
}

std::shared_ptr<ServerInfo> readServerInfo(Connection& connection) {
    auto info = std::make_shared<ServerInfo>();
    AdsPath none;
    auto root = readBase(connection, "", "(objectClass=*)", {"subschemaSubentry", "defaultNamingContext"},
                         *info, none);
    if (!root) return info;
    if (auto* a = root->find("defaultnamingcontext"); a && !a->values.empty())
        info->defaultNamingContext = a->values.front();
    if (auto* a = root->find("subschemasubentry"); a && !a->values.empty()) info->subschemaSubentry = a->values.front();
    if (info->subschemaSubentry.empty()) return info;
    try {
        auto schema = readBase(connection, info->subschemaSubentry, "(objectClass=subschema)", {"attributeTypes"},
                               *info, none);
        if (auto* a = schema ? schema->find("attributetypes") : nullptr) info->learnAttributeTypes(a->values);
    } catch (const LdapFailure& failure) {
        // A schema that may not be read leaves the names unchecked; a lost server is an error.
        if (failure.serverGone() || failure.code() == LDAP_TIMEOUT) throw;
    }
    return info;
}

}  // namespace

std::string lowerCase(std::string_view text) {
    std::string out(text);
    for (auto& c : out)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return out;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && lowerCase(a) == lowerCase(b);
}

std::string ServerInfo::keyOf(std::string_view name) const {
    std::string lower = lowerCase(name);
    auto it = keys_.find(lower);
    return it == keys_.end() ? lower : it->second;
}

bool ServerInfo::knows(std::string_view name) const {
    return !schemaKnown || keys_.count(lowerCase(name)) > 0;
}

void ServerInfo::learnAttributeTypes(const std::vector<std::string>& definitions) {
    std::vector<TypeDefinition> types;
    for (const auto& text : definitions)
        if (auto type = parseDefinition(text)) types.push_back(std::move(*type));
    std::unordered_map<std::string, const TypeDefinition*> byName;
    for (const auto& type : types) {
        std::string key = lowerCase(type.names.empty() ? type.oid : type.names.front());
        keys_[lowerCase(type.oid)] = key;
        byName[lowerCase(type.oid)] = &type;
        for (const auto& name : type.names) {
            keys_[lowerCase(name)] = key;
            byName[lowerCase(name)] = &type;
        }
    }
    for (const auto& type : types) {
        // A type without its own syntax takes its superior's.
        const TypeDefinition* t = &type;
        for (int depth = 0; t && t->syntax.empty() && depth < 16; ++depth) {
            auto it = byName.find(lowerCase(t->superior));
            t = it == byName.end() ? nullptr : it->second;
        }
        if (t && t->syntax == kBooleanSyntax) booleans_.insert(keyOf(type.oid));
    }
    schemaKnown = !types.empty();
}

std::shared_ptr<const ServerInfo> serverInfo(Connection& connection) {
    static std::mutex mutex;
    static std::map<std::string, std::shared_ptr<const ServerInfo>> known;
    {
        std::lock_guard lock(mutex);
        auto it = known.find(connection.where());
        if (it != known.end()) return it->second;
    }
    std::shared_ptr<const ServerInfo> info = readServerInfo(connection);
    std::lock_guard lock(mutex);
    known[connection.where()] = info;
    return info;
}

const Attribute* Entry::find(const std::string& key) const {
    for (const auto& attribute : attributes)
        if (attribute.key == key) return &attribute;
    return nullptr;
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

Entry readEntry(LDAP* ld, LDAPMessage* message, const ServerInfo& info, const AdsPath& server) {
    Entry entry;
    if (LdapText dn{ldap_get_dn(ld, message)}) entry.dn = dn.get();
    BerElement* rawBer = nullptr;
    char* rawName = ldap_first_attribute(ld, message, &rawBer);
    Ber ber(rawBer);
    for (; rawName; rawName = ldap_next_attribute(ld, message, ber.get())) {
        LdapText name(rawName);
        Attribute attribute{info.keyOf(name.get()), name.get(), {}};
        Values values(ldap_get_values_len(ld, message, name.get()));
        for (berval** v = values.get(); v && *v; ++v) attribute.values.emplace_back((*v)->bv_val, (*v)->bv_len);
        entry.attributes.push_back(std::move(attribute));
    }
    applyValueRules(entry, info);
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
