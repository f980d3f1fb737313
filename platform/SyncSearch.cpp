#include "platform/SyncSearch.h"

#include <algorithm>
#include <map>

#include "platform/DirectoryErrors.h"
#include "platform/ErrorNumbers.h"
#include "platform/LdapEntry.h"
#include "platform/PagedSearch.h"
#include "platform/SyncProtocol.h"

namespace qv::platform {
namespace detail {
namespace {

bool listsSync(const ServerInfo& info) {
    const auto& controls = info.supportedControls;
    return std::find(controls.begin(), controls.end(), kSyncRequestControl) != controls.end();
}

[[noreturn]] void throwAs(int code, const Connection& connection, const std::string& why = {}) {
    throw LdapFailure(code, directoryError(code, why, {}, connection.where()));
}

// A failed sync search in the terms of content synchronisation: a server
// that refuses the control offers none here; one that will not resume from
// the cookie (by saying so, or by refusing to work from it) wants a fresh start.
[[noreturn]] void throwSyncFailure(const LdapFailure& failure, bool hadCookie) {
    int code = failure.code();
    if (code == LDAP_UNAVAILABLE_CRITICAL_EXTENSION) code = kLdapSyncUnavailable;
    if (code == LDAP_SYNC_REFRESH_REQUIRED || (hadCookie && code == LDAP_UNWILLING_TO_PERFORM))
        code = kLdapSyncRefreshRequired;
    if (code == failure.code()) throw failure;
    throw LdapFailure(code, Error(errorNumberFor(code), ldapErrorText(code) + ": " + failure.description()));
}

// The base a search request names on this server.
std::string baseOf(const SearchRequest& request, const ServerInfo& info) {
    return request.baseIsDefaultContext ? info.defaultNamingContext : request.base;
}

// Sends a sync search of `request` in `mode` from `cookie`, asking for no attributes; its message id.
int sendSyncSearch(Connection& connection, const ServerInfo& info, const SearchRequest& request, int mode,
                   const std::string& cookie) {
    if (!listsSync(info)) throwAs(kLdapSyncUnavailable, connection);
    SyncRequestControl control(mode, cookie);
    LDAPControl* controls[] = {control.get(), nullptr};
    char noAttributes[] = LDAP_NO_ATTRS;
    char* attributes[] = {noAttributes, nullptr};
    int msgid = -1;
    int rc = ldap_search_ext(connection.get(), baseOf(request, info).c_str(), request.scope, request.filter.c_str(),
                             attributes, 0, controls, nullptr, nullptr, LDAP_NO_LIMIT, &msgid);
    if (rc != LDAP_SUCCESS) connection.fail(rc);
    return msgid;
}

// Takes one message of a sync search into `reader`; true for its final result (checked).
bool readSyncMessage(Connection& connection, LDAPMessage* message, SyncReader& reader, bool hadCookie) {
    switch (ldap_msgtype(message)) {
        case LDAP_RES_SEARCH_ENTRY: reader.entry(connection.get(), message); return false;
        case LDAP_RES_INTERMEDIATE: reader.info(connection.get(), message); return false;
        case LDAP_RES_SEARCH_RESULT: break;
        default: return false;  // references are not chased
    }
    Controls controls;
    try {
        connection.check(message, &controls);
    } catch (const LdapFailure& failure) {
        throwSyncFailure(failure, hadCookie);
    }
    reader.done(controls.get());
    return true;
}

// Abandons a search that did not run to its end.
class Outstanding {
public:
    Outstanding(Connection& connection, int msgid) : connection_(connection), msgid_(msgid) {}
    ~Outstanding() {
        if (msgid_ >= 0 && !connection_.broken()) ldap_abandon_ext(connection_.get(), msgid_, nullptr, nullptr);
    }
    void finished() { msgid_ = -1; }

private:
    Connection& connection_;
    int msgid_;
};

SyncUpdate runRefresh(Connection& connection, const SearchRequest& request, const std::string& cookie) {
    auto info = serverInfo(connection);
    const int msgid = sendSyncSearch(connection, *info, request, LDAP_SYNC_REFRESH_ONLY, cookie);
    Outstanding outstanding(connection, msgid);
    SyncReader reader;
    for (;;) {
        Message message = connection.await(msgid, true);
        if (readSyncMessage(connection, message.get(), reader, !cookie.empty())) break;
    }
    outstanding.finished();
    SyncUpdate update = reader.take();
    // Entries sent again without a cookie to resume from: the server did not
    // take the cookie (slapd reads one it cannot parse as none) and nothing
    // tells which entries left since.
    if (!cookie.empty() && update.cookie.empty() && !update.entries.empty() && !update.wholeSet)
        throwAs(kLdapSyncRefreshRequired, connection, "it answered with every entry and no cookie");
    return update;
}

}  // namespace

// The persistent searches of one SyncWatch on its own connection.
class SyncWatchConnection {
public:
    explicit SyncWatchConnection(std::shared_ptr<Connection> connection) : connection_(std::move(connection)) {}
    ~SyncWatchConnection() {
        if (connection_->broken()) return;
        for (const auto& search : searches_) ldap_abandon_ext(connection_->get(), search.first, nullptr, nullptr);
    }
    Connection& connection() { return *connection_; }
    int add(const SearchRequest& request, const std::string& cookie);
    // Takes one message; false on a timeout. Throws when the connection is lost.
    bool receive(timeval timeout);
    // What the searches reported since the last call, refresh phases only once whole.
    std::vector<std::pair<int, SyncUpdate>> takeReports();

private:
    struct Search {
        SyncReader reader;
        bool hadCookie = false;
    };
    std::shared_ptr<Connection> connection_;
    std::shared_ptr<const ServerInfo> info_;
    std::map<int, Search> searches_;  // by message id
    std::vector<int> order_;          // ids in the order their reports began
    std::vector<std::pair<int, SyncUpdate>> ended_;  // searches the server ended, with their last report
};

int SyncWatchConnection::add(const SearchRequest& request, const std::string& cookie) {
    if (!info_) info_ = serverInfo(*connection_);
    const int msgid = sendSyncSearch(*connection_, *info_, request, LDAP_SYNC_REFRESH_AND_PERSIST, cookie);
    searches_[msgid].hadCookie = !cookie.empty();
    return msgid;
}

bool SyncWatchConnection::receive(timeval timeout) {
    LDAPMessage* raw = nullptr;
    const int rc = ldap_result(connection_->get(), LDAP_RES_ANY, LDAP_MSG_ONE, &timeout, &raw);
    Message message(raw);
    if (rc == 0) return false;
    if (rc < 0) {
        int code = LDAP_SERVER_DOWN;
        ldap_get_option(connection_->get(), LDAP_OPT_RESULT_CODE, &code);
        connection_->fail(code == LDAP_SUCCESS ? LDAP_SERVER_DOWN : code);
    }
    const int msgid = ldap_msgid(message.get());
    auto it = searches_.find(msgid);
    if (it == searches_.end()) return true;  // an abandoned search's last words
    if (std::find(order_.begin(), order_.end(), msgid) == order_.end()) order_.push_back(msgid);
    Search& search = it->second;
    bool ended = false;
    try {
        ended = readSyncMessage(*connection_, message.get(), search.reader, search.hadCookie);
    } catch (const LdapFailure& failure) {
        if (failure.code() != kLdapSyncRefreshRequired) {
            searches_.erase(it);
            throw;
        }
        SyncUpdate update = search.reader.take();
        update.refreshRequired = true;
        ended_.emplace_back(msgid, std::move(update));
        searches_.erase(it);
        return true;
    }
    if (ended) {
        ended_.emplace_back(msgid, search.reader.take());
        searches_.erase(it);
    }
    return true;
}

std::vector<std::pair<int, SyncUpdate>> SyncWatchConnection::takeReports() {
    std::vector<std::pair<int, SyncUpdate>> out;
    std::vector<int> waiting;
    for (int id : order_) {
        auto ended = std::find_if(ended_.begin(), ended_.end(), [&](const auto& e) { return e.first == id; });
        if (ended != ended_.end()) {
            out.push_back(std::move(*ended));
            continue;
        }
        auto it = searches_.find(id);
        if (it == searches_.end()) continue;
        // A refresh is reported whole: its entries may make up the whole result only together.
        if (it->second.reader.pending() && it->second.reader.refreshDone())
            out.emplace_back(id, it->second.reader.take());
        else if (it->second.reader.pending())
            waiting.push_back(id);
    }
    ended_.clear();
    order_ = std::move(waiting);
    return out;
}

}  // namespace detail

namespace {

// A search command as read, and the request it sends.
struct SyncCommand {
    SearchCommand command;
    detail::SearchRequest request;
};

SyncCommand syncCommandOf(std::string_view text) {
    SyncCommand out{parseSearchCommand(text), {}};
    out.request = detail::requestFor(out.command, text, 0);
    return out;
}

// The DN an address stands for on a server.
std::string dnOf(const AdsPath& path, const detail::ServerInfo& info) {
    if (path.target == AdsTarget::Server) return info.defaultNamingContext;
    if (path.target == AdsTarget::RootDse) return {};
    return path.dn;
}

}  // namespace

bool offersContentSync(const AdsPath& server, const Credentials& credentials) {
    try {
        return detail::withConnection(server, credentials, [&](detail::Connection& connection) {
            return detail::listsSync(*detail::serverInfo(connection));
        });
    } catch (const detail::LdapFailure& failure) {
        throw Error(errorNumberFor(failure.code(), ErrorSource::Search), failure.description());
    }
}

SyncUpdate refreshSync(std::string_view text, const Credentials& credentials, const std::string& cookie) {
    SyncCommand sync = syncCommandOf(text);
    try {
        return detail::withConnection(sync.command.base, credentials, [&](detail::Connection& connection) {
            return detail::runRefresh(connection, sync.request, cookie);
        });
    } catch (const detail::LdapFailure& failure) {
        throw detail::searchError(failure, sync.command);
    }
}

std::vector<std::pair<std::string, std::string>> namesAndUuids(std::string_view text, const Credentials& credentials,
                                                               bool baseKnown) {
    SearchCommand command = parseSearchCommand(text);
    detail::SearchRequest request = detail::requestFor(command, text, 100);
    request.baseKnown = baseKnown;
    request.attributes.emplace_back("entryUUID");
    detail::PagedSearch search(command.base, credentials, std::move(request));
    std::vector<std::pair<std::string, std::string>> out;
    detail::Entry entry;
    try {
        std::string key;
        while (search.next(entry)) {
            if (key.empty()) key = search.info()->keyOf("entryUUID");
            const detail::Attribute* uuid = entry.find(key);
            out.emplace_back(std::move(entry.dn), uuid && !uuid->values.empty() ? uuid->values.front() : "");
        }
    } catch (const detail::LdapFailure& failure) {
        throw detail::searchError(failure, command);
    }
    return out;
}

std::string readEntryCsn(const std::string& adsPath, const Credentials& credentials) {
    const AdsPath path = parseAdsPath(adsPath);
    try {
        return detail::withConnection(path, credentials, [&](detail::Connection& connection) {
            auto info = detail::serverInfo(connection);
            auto entry = detail::readBase(connection, dnOf(path, *info), "(objectClass=*)", {"entryCSN"}, *info, path);
            if (!entry) throw Error(err::NoSuchObject, "There is no such object on the server: " + adsPath);
            const detail::Attribute* csn = entry->find(info->keyOf("entryCSN"));
            return csn && !csn->values.empty() ? csn->values.front() : std::string();
        });
    } catch (const detail::LdapFailure& failure) {
        std::string description = failure.description();
        if (failure.code() >= 0) description += " [" + adsPath + "]";
        throw Error(errorNumberFor(failure.code(), ErrorSource::Search), description);
    }
}

SyncWatch::SyncWatch(Credentials credentials) : credentials_(std::move(credentials)) {}

SyncWatch::~SyncWatch() = default;

int SyncWatch::add(std::string_view text, const std::string& cookie) {
    SyncCommand sync = syncCommandOf(text);
    try {
        if (!connection_)
            connection_ = std::make_unique<detail::SyncWatchConnection>(
                detail::openOwnConnection(sync.command.base, credentials_));
        return connection_->add(sync.request, cookie);
    } catch (const detail::LdapFailure& failure) {
        throw detail::searchError(failure, sync.command);
    }
}

std::vector<std::pair<int, SyncUpdate>> SyncWatch::poll(std::chrono::milliseconds timeout) {
    if (!connection_) return {};
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    try {
        for (;;) {
            const auto left = std::max(std::chrono::steady_clock::duration::zero(),
                                       deadline - std::chrono::steady_clock::now());
            const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(left).count();
            if (!connection_->receive(timeval{static_cast<time_t>(micros / 1000000),
                                              static_cast<suseconds_t>(micros % 1000000)}))
                return connection_->takeReports();  // the time is up
            while (connection_->receive(timeval{0, 0})) {
            }
            auto reports = connection_->takeReports();
            if (!reports.empty() || std::chrono::steady_clock::now() >= deadline) return reports;
        }
    } catch (const detail::LdapFailure& failure) {
        if (failure.serverGone() || failure.code() == LDAP_TIMEOUT) throw Error(err::ServerDown, failure.description());
        throw Error(errorNumberFor(failure.code(), ErrorSource::Search), failure.description());
    }
}

std::string SyncWatch::server() const { return connection_ ? connection_->connection().where() : std::string(); }

}  // namespace qv::platform
