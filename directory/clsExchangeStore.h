#pragma once
// The store of one directory server: which server the program is bound to,
// the server's naming contexts, and the bound objects and search connections
// that the rest of the program works with, all with the store's credentials.
// A store is always held by std::shared_ptr (the objects it finds keep it alive).
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "directory/DirectoryObject.h"
#include "directory/QueryResult.h"
#include "directory/clsConnection.h"
#include "directory/clsErrorMessage.h"

namespace qv::platform {
class BoundObject;
class SearchConnection;
struct Credentials;
struct SyncUpdate;
}  // namespace qv::platform

namespace qv {

class clsExchangeStore : public std::enable_shared_from_this<clsExchangeStore> {
public:
    // The placeholder member of an emptied DL unless a setting names another.
    static constexpr const char* DefaultEmptyMember = "cn=empty,cn=quorvel";

    // Create stores with create() or std::make_shared: Query hands the objects it
    // finds a shared reference to their store.
    static std::shared_ptr<clsExchangeStore> create() { return std::make_shared<clsExchangeStore>(); }

    const std::shared_ptr<clsConnection>& Connection() const { return connection_; }
    void setConnection(std::shared_ptr<clsConnection> value) { connection_ = std::move(value); }
    const std::string& StoreName() const { return storeName_; }
    void setStoreName(std::string value) { storeName_ = std::move(value); }
    const std::string& Site() const { return site_; }
    void setSite(std::string value) { site_ = std::move(value); }
    const std::string& Organization() const { return organization_; }
    void setOrganization(std::string value) { organization_ = std::move(value); }
    const std::string& Path() const { return path_; }
    void setPath(std::string value) { path_ = std::move(value); }
    const std::string& Config() const { return config_; }
    void setConfig(std::string value) { config_ = std::move(value); }
    // The organisation to use on a server whose root entry has no
    // defaultNamingContext; empty: the first naming context that holds entries.
    const std::string& NamingContext() const { return namingContext_; }
    void setNamingContext(std::string value) { namingContext_ = std::move(value); }
    // The member value an emptied DL keeps where its class must have one (no
    // person's DN, never counted as a member); empty: such a DL is cleared as any other.
    const std::string& EmptyMember() const { return emptyMember_; }
    void setEmptyMember(std::string value) { emptyMember_ = std::move(value); }
    clsErrorMessage& lastError() { return lastError_; }
    const clsErrorMessage& lastError() const { return lastError_; }

    // Binds to the server's root entry and reads its naming contexts. False,
    // with lastError filled, when that fails. `ServerName` is a server name,
    // an LDAP path or a bracketed search base. Site and Config are set only
    // where the root entry has the messaging layout (defaultNamingContext and
    // at least four naming contexts); elsewhere they are empty and the
    // organisation is the default naming context, else NamingContext, else
    // the first naming context that is not the server's own.
    bool Connect(std::shared_ptr<clsConnection> Conn, const std::string& ServerName);
    // The error that made the last Connect fail, as the directory raised it
    // (lastError words some of them for the console); null after a success.
    const Error* ConnectError() const { return connectError_ ? &*connectError_ : nullptr; }

    // The object an address names, bound with the store's credentials. The
    // request that finds it also loads the attributes `load` names when the
    // directory knows them all (BoundObject::hasLoaded tells). Raises qv::Error.
    std::shared_ptr<platform::BoundObject> GetADSIObject(const std::string& adsPath,
                                                         const std::vector<std::string>& load = {}) const;
    // The same without a request of its own, for a write: an object that does
    // not exist shows as err::NoSuchObject when the write is sent.
    std::shared_ptr<platform::BoundObject> AttachADSIObject(const std::string& adsPath) const;
    // A search connection with the store's credentials.
    platform::SearchConnection GetADSIConnectionObject() const;
    // The server that answers for an address ("ldap://host:port") when the
    // address names several; "" when it names one.
    std::string AnsweringServer(const std::string& adsPath) const;

    // Runs a search command (whose attribute list it replaces by the fixed
    // list, in `QueryString` too) or, for a text without ";" or one that
    // begins with an address scheme ("LDAP://..."), reads the one object it
    // names. A failure fills lastError and returns no collection.
    QueryResult Query(std::string& QueryString);
    // Runs a search command exactly as Query does (the same request to the
    // server) and gives only the distinguished names found, in result order,
    // for a caller that needs nothing else of them. A failure fills lastError
    // and raises its qv::Error.
    std::vector<std::string> QueryNames(std::string& QueryString);

    // Content synchronisation with the store's credentials (platform/SyncSearch.h):
    // a refreshOnly sync search of a search command from `cookie`, the
    // (DN, entryUUID) pairs of a search command (its paged search), and the
    // entryCSN of one object. Each raises its qv::Error.
    platform::SyncUpdate RefreshSync(const std::string& command, const std::string& cookie) const;
    std::vector<std::pair<std::string, std::string>> QueryNamesAndUuids(const std::string& command,
                                                                        bool baseKnown = false) const;
    std::string EntryCSN(const std::string& adsPath) const;

    // Creates a DL described by `obj` (container address, class, display name,
    // alias, mail) in one write. False, with lastError filled, on failure.
    bool CreateADSIObject(const DirectoryObject& obj);
    // Deletes the DL `obj` describes and clears the caller's reference.
    // Raises qv::Error (the reference then stays).
    void DeleteADSIObject(std::shared_ptr<DirectoryObject>& obj);

    // The server named by a server name, an LDAP or LDAPS path or a bracketed search base, upper-cased.
    static std::string GetServerName(std::string_view text);
    // The scheme a store's Path begins with for such a text: "LDAPS://" when
    // the text names that scheme, else "LDAP://" (a plain server name included).
    static std::string PathPrefix(std::string_view text);
    // The X.400 address of a new DL.
    static std::string BuildX400Address(const std::string& organization, const std::string& site,
                                        const std::string& uid);

private:
    platform::Credentials credentials() const;
    // Replaces a search command's attribute list by the fixed list; false for
    // the address of one object.
    static bool prepareSearch(std::string& QueryString);
    // The one object an address names, with the attributes Query reads of it.
    std::shared_ptr<platform::BoundObject> readObject(const std::string& adsPath) const;

    std::shared_ptr<clsConnection> connection_;
    std::string storeName_;
    std::string site_;
    std::string organization_;
    std::string path_;
    std::string config_;
    std::string namingContext_;
    std::string emptyMember_ = DefaultEmptyMember;
    clsErrorMessage lastError_;
    std::optional<Error> connectError_;
};

}  // namespace qv
