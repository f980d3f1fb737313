#include "directory/clsExchangeStore.h"

#include <algorithm>

#include "directory/GetArrayObject.h"
#include "platform/AdsPath.h"
#include "platform/DirectorySearch.h"
#include "platform/DirectoryService.h"
#include "platform/DistinguishedName.h"
#include "platform/ErrorNumbers.h"
#include "platform/SyncSearch.h"
#include "platform/Text.h"

namespace qv {
namespace {

// The attributes every search returns, whatever the command asked for.
constexpr const char* kQueryAttributes = "adsPath,rdn,uid,mail,cn,objectClass,Obj-View-Containers,distinguishedName";
constexpr const char* kDlNotice =
    "This is an automated distribution list, please do not modify membership.  Membership is controlled by Quorvel.";

std::string upperAscii(std::string text) {
    for (auto& c : text)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return text;
}

std::vector<std::string> splitAt(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        auto at = text.find(separator, start);
        parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos) return parts;
        start = at + 1;
    }
}

std::string join(const std::vector<std::string>& parts, char separator) {
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) out += (i ? std::string(1, separator) : "") + parts[i];
    return out;
}

const std::string& element(const std::vector<std::string>& values, long index) {
    if (index < 0 || index >= static_cast<long>(values.size()))
        throw Error(err::SubscriptOutOfRange, "Subscript out of range");
    return values[static_cast<std::size_t>(index)];
}

std::string removeAll(std::string text, const std::string& part) {
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at)) text.erase(at, part.size());
    return text;
}

// The first `count` characters of a UTF-8 text (never half a character).
std::string firstCharacters(const std::string& text, std::size_t count) {
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        bool startsCharacter = (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
        if (startsCharacter && characters++ == count) return text.substr(0, i);
    }
    return text;
}

// An attribute of a single object as Query reads it; one it lacks reads as "".
std::string readOrEmpty(platform::BoundObject& object, const char* name) {
    try {
        return object.get(name);
    } catch (const Error& error) {
        if (error.number() != err::PropertyNotFound) throw;
        return {};
    }
}

std::vector<std::string> valuesOrNone(platform::BoundObject& object, const char* name) {
    try {
        return object.getEx(name);
    } catch (const Error& error) {
        if (error.number() != err::PropertyNotFound) throw;
        return {};
    }
}

// The naming context that holds the directory's entries: the first that is
// not the server's own configuration, schema, monitor or change log.
std::string entriesContext(const std::vector<std::string>& contexts) {
    for (const auto& context : contexts) {
        const std::string name = platform::lowerAscii(context);
        if (name != "cn=config" && name != "cn=monitor" && name != "cn=schema" && name != "cn=subschema" &&
            name != "cn=changelog" && name != "o=netscaperoot")
            return context;
    }
    return {};
}

}  // namespace

std::string clsExchangeStore::GetServerName(std::string_view text) {
    std::string server(text);
    const bool bracketed = !text.empty() && text.front() == '<';
    if (const auto* scheme = platform::findScheme(text)) {
        auto start = scheme->prefix.size();
        auto slash = text.find('/', start);
        server = std::string(text.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start));
    } else if (bracketed && (scheme = platform::findScheme(text.substr(1)))) {
        // The server ends where the base's object or the base itself ends,
        // whichever comes first (a "/" in the filter is not part of it).
        auto start = scheme->prefix.size() + 1;
        auto end = std::min(text.find('/', start), text.find('>', start));
        server = std::string(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    }
    return upperAscii(server);
}

std::string clsExchangeStore::PathPrefix(std::string_view text) {
    const auto* scheme = platform::findScheme(!text.empty() && text.front() == '<' ? text.substr(1) : text);
    return std::string(scheme ? scheme->prefix : "LDAP://");
}

std::string clsExchangeStore::BuildX400Address(const std::string& organization, const std::string& site,
                                               const std::string& uid) {
    std::string p = firstCharacters(removeAll(organization, "o="), 16);
    std::string s = removeAll(site, "ou=");
    return "c=US;a= ;p=" + p + ";o=" + s + ";s=" + uid + ";";
}

platform::Credentials clsExchangeStore::credentials() const {
    if (!connection_ || connection_->isCurrentUser()) return platform::Credentials::currentUser();
    return platform::Credentials::account(connection_->LogonString(), connection_->Password());
}

bool clsExchangeStore::Connect(std::shared_ptr<clsConnection> Conn, const std::string& ServerName) {
    connection_ = std::move(Conn);
    storeName_ = GetServerName(ServerName);
    path_ = PathPrefix(ServerName) + storeName_;
    try {
        auto root = GetADSIObject(path_ + "/RootDSE", {"defaultNamingContext", "namingContexts"});
        const std::string defaultContext = readOrEmpty(*root, "defaultNamingContext");
        auto contexts = valuesOrNone(*root, "namingContexts");
        if (!defaultContext.empty() && contexts.size() >= 4) {
            organization_ = defaultContext;
            long last = static_cast<long>(contexts.size()) - 1;
            site_ = platform::firstRdn(element(contexts, last - 1));
            config_ = element(contexts, last - 3);
        } else {
            site_.clear();
            config_.clear();
            organization_ = !defaultContext.empty() ? defaultContext
                            : !namingContext_.empty() ? namingContext_
                                                      : entriesContext(contexts);
            if (organization_.empty())
                throw Error(err::SubscriptOutOfRange,
                            "The server's root entry names no naming context (defaultNamingContext or namingContexts)");
        }
    } catch (const Error& error) {
        connectError_ = error;
        if (error.number() == err::ServerDown) {
            lastError_.ClearProperties();
            lastError_.Description = "Server is not running LDAP or does not exist.";
        } else if (error.number() == err::SubscriptOutOfRange) {
            lastError_.ClearProperties();
            lastError_.Description = error.description();
        } else {
            lastError_.SetFromError(error);
        }
        return false;
    }
    lastError_.ClearProperties();
    connectError_.reset();
    return true;
}

std::shared_ptr<platform::BoundObject> clsExchangeStore::GetADSIObject(const std::string& adsPath,
                                                                       const std::vector<std::string>& load) const {
    return platform::BoundObject::bind(adsPath, credentials(), load);
}

std::shared_ptr<platform::BoundObject> clsExchangeStore::AttachADSIObject(const std::string& adsPath) const {
    return platform::BoundObject::attach(adsPath, credentials());
}

platform::SearchConnection clsExchangeStore::GetADSIConnectionObject() const {
    return platform::SearchConnection(credentials());
}

std::string clsExchangeStore::AnsweringServer(const std::string& adsPath) const {
    return platform::answeringServer(adsPath, credentials());
}

bool clsExchangeStore::prepareSearch(std::string& QueryString) {
    // A search command's base stands in angle brackets, so a text that begins
    // with an address scheme is one object's address, whatever its names hold
    // (a container or DL named "a;b").
    if (platform::findScheme(QueryString)) return false;
    auto parts = splitAt(QueryString, ';');
    if (parts.size() <= 1) return false;
    if (parts.size() < 3) throw Error(err::SubscriptOutOfRange, "Subscript out of range");
    parts[2] = kQueryAttributes;
    QueryString = join(parts, ';');
    return true;
}

std::shared_ptr<platform::BoundObject> clsExchangeStore::readObject(const std::string& adsPath) const {
    static const std::vector<std::string> names = {"Obj-View-Containers", "mail", "rdn", "uid", "cn", "objectClass",
                                                   "distinguishedName"};
    // What the server's schema lacks (the messaging attributes of a stock directory) reads as empty.
    auto object = platform::BoundObject::bind(adsPath, credentials(), names, true);
    if (!object->hasLoaded(names)) object->getInfoEx(names);
    return object;
}

std::vector<std::string> clsExchangeStore::QueryNames(std::string& QueryString) {
    try {
        if (!prepareSearch(QueryString)) return {readOrEmpty(*readObject(QueryString), "distinguishedName")};
        return GetADSIConnectionObject().distinguishedNames(QueryString);
    } catch (const Error& error) {
        lastError_.SetFromError(error);
        throw;
    }
}

platform::SyncUpdate clsExchangeStore::RefreshSync(const std::string& command, const std::string& cookie) const {
    return platform::refreshSync(command, credentials(), cookie);
}

std::vector<std::pair<std::string, std::string>> clsExchangeStore::QueryNamesAndUuids(const std::string& command,
                                                                                     bool baseKnown) const {
    return platform::namesAndUuids(command, credentials(), baseKnown);
}

std::string clsExchangeStore::EntryCSN(const std::string& adsPath) const {
    return platform::readEntryCsn(adsPath, credentials());
}

QueryResult clsExchangeStore::Query(std::string& QueryString) {
    auto self = shared_from_this();
    auto objects = std::make_shared<DirObjects>();
    try {
        if (prepareSearch(QueryString)) {
            auto cursor = GetADSIConnectionObject().execute(QueryString);
            // The fields' places, found once rather than by name on every row.
            const std::size_t adsPath = cursor.indexOf("ADsPath"), cn = cursor.indexOf("cn"),
                              objectClass = cursor.indexOf("objectClass"), dn = cursor.indexOf("distinguishedName"),
                              container = cursor.indexOf("Obj-View-Containers"), mail = cursor.indexOf("mail"),
                              uid = cursor.indexOf("uid"), rdn = cursor.indexOf("rdn");
            for (; !cursor.eof(); cursor.moveNext()) {
                objects->Add(cursor.field(adsPath).text(), cursor.field(cn).text(),
                             GetArrayObject(cursor.field(objectClass).values(), 0), cursor.field(dn).text(),
                             GetArrayObject(cursor.field(container).values(), 0), cursor.field(mail).text(),
                             cursor.field(uid).text(), cursor.field(rdn).text(), self);
            }
        } else {
            auto object = readObject(QueryString);
            objects->Add(QueryString, readOrEmpty(*object, "cn"), readOrEmpty(*object, "objectClass"),
                         readOrEmpty(*object, "distinguishedName"), readOrEmpty(*object, "Obj-View-Containers"),
                         readOrEmpty(*object, "mail"), readOrEmpty(*object, "uid"), readOrEmpty(*object, "rdn"), self);
        }
    } catch (const Error& error) {
        lastError_.SetFromError(error);
        return QueryResult::failed(error);
    }
    return QueryResult::found(objects);
}

bool clsExchangeStore::CreateADSIObject(const DirectoryObject& obj) {
    try {
        auto container = GetADSIObject(obj.container);
        // The relative name is the alias, not the display name.
        auto dl = container->create(obj.objectClass, "cn=" + platform::escapeDnValue(obj.uid));
        // Each attribute only where the server's schema lets the new DL hold it.
        auto put = [&](const char* name, auto&& write) {
            if (dl->mayHold(name)) write(name);
        };
        put("cn", [&](const char* n) { dl->put(n, obj.cn); });
        put("uid", [&](const char* n) { dl->put(n, obj.uid); });
        put("mail", [&](const char* n) { dl->put(n, obj.mail); });
        put("Hide-DL-Membership", [&](const char* n) { dl->putBoolean(n, true); });
        put("Report-To-Originator", [&](const char* n) { dl->putBoolean(n, true); });
        put("Report-to-Owner", [&](const char* n) { dl->putBoolean(n, false); });
        put("Replication-Sensitivity", [&](const char* n) { dl->putInteger(n, 20); });
        put("rfc822Mailbox", [&](const char* n) { dl->put(n, obj.mail); });
        put("textEncodedORaddress", [&](const char* n) { dl->put(n, BuildX400Address(organization_, site_, obj.uid)); });
        put("info", [&](const char* n) { dl->put(n, kDlNotice); });
        // A class that must have a member starts with the placeholder.
        if (dl->mustHold("member") && !emptyMember_.empty()) dl->putEx(platform::PutExCode::Update, "member", {emptyMember_});
        dl->setInfo();
    } catch (const Error& error) {
        lastError_.SetFromError(error);
        return false;
    }
    lastError_.ClearProperties();
    return true;
}

void clsExchangeStore::DeleteADSIObject(std::shared_ptr<DirectoryObject>& obj) {
    if (!obj) throw Error(err::ObjectNotSet, "There is no directory object to delete");
    std::string containerPath, relativeName;
    if (!obj->distinguishedName.empty()) {
        // The entry the object was read from. Its alias may have been changed
        // since it was created, and "cn=" + alias could then name another DL.
        containerPath = path_ + "/" + platform::escapeSlashes(platform::parentDn(obj->distinguishedName));
        relativeName = platform::firstRdn(obj->distinguishedName);
    } else {
        containerPath = path_ + "/" + obj->container;
        relativeName = "cn=" + platform::escapeDnValue(obj->uid);
    }
    auto container = GetADSIObject(containerPath);
    container->deleteChild(obj->objectClass, relativeName);
    obj.reset();
}

}  // namespace qv
