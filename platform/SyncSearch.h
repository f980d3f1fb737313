#pragma once
// Content synchronisation (RFC 4533): searches that report only what changed
// since a cookie the server gave earlier, once (refreshOnly) or for as long
// as they stay open (refreshAndPersist).
//
// Entries are named by their entryUUID in its text form
// (8-4-4-4-12 lower-case hexadecimal digits), as the entryUUID attribute reads.
#include <chrono>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/DirectoryCredentials.h"
#include "platform/DirectorySearch.h"

namespace qv::platform {

// The control an offering server lists in its root entry's supportedControl.
inline constexpr const char* kSyncRequestControl = "1.3.6.1.4.1.4203.1.9.1.1";

// One entry a sync search reports.
struct SyncEntry {
    enum class State { Present, Add, Modify, Delete };
    State state = State::Present;
    std::string uuid;  // entryUUID, text form
    // As the server sends it; empty for an entry of a present phase that the
    // server named by its entryUUID alone (unchanged: the caller knows its DN).
    std::string dn;
};

// What a refresh, or one batch of a persistent search, reports.
struct SyncUpdate {
    std::vector<SyncEntry> entries;    // in the order received
    std::vector<std::string> deleted;  // entryUUIDs of entries that left the result (sync ID sets)
    // The server ran a present phase: every entry still in the result was
    // reported (Present, Add or Modify); any other entry the caller knows has left.
    bool wholeSet = false;
    // The refresh phase has ended (always true of refreshSync's answer).
    bool refreshDone = false;
    // The server cannot resume from the cookie (e-syncRefreshRequired): the
    // caller starts over without one. Only SyncWatch reports it this way.
    bool refreshRequired = false;
    std::string cookie;  // where to resume from; empty when the server sent none (keep the previous one)
};

// True when the server that answers for `server` offers content
// synchronisation (its root entry lists kSyncRequestControl). Raises as
// searches do.
bool offersContentSync(const AdsPath& server, const Credentials& credentials);

// A refreshOnly sync search for a search command (as SearchConnection reads
// one: "<ADsPath>;filter;attributes[;scope]"), resuming from `cookie`; an
// empty cookie reports every entry of the result as Add. Only names and
// entryUUIDs are read. Raises qv::Error: err::SyncRefreshRequired when the
// server cannot resume from the cookie; err::SyncUnavailable when it offers no
// content synchronisation for the base; otherwise as searches do. A failed
// sync search never reads as an empty one. A server that will not work from
// the cookie (refuses it as unwilling, or sends every entry again with no
// cookie back) is taken to require a fresh start.
SyncUpdate refreshSync(std::string_view command, const Credentials& credentials, const std::string& cookie);

// The (distinguished name, entryUUID) pairs a search command finds, with the
// same paged request as SearchConnection::distinguishedNames plus entryUUID,
// in result order. Raises as that does. With `baseKnown` an empty result is
// not confirmed by a read of the base (the caller knows it is there).
std::vector<std::pair<std::string, std::string>> namesAndUuids(std::string_view command,
                                                               const Credentials& credentials, bool baseKnown = false);

// The entryCSN of the object at `adsPath` (one base read); empty when the
// server keeps none. Raises as searches do.
std::string readEntryCsn(const std::string& adsPath, const Credentials& credentials);

namespace detail {
class SyncWatchConnection;
}

// Several refreshAndPersist sync searches on one connection to one server
// (for an address of several servers: the first that answers). Abandons its
// searches when destroyed.
class SyncWatch {
public:
    explicit SyncWatch(Credentials credentials);
    ~SyncWatch();
    SyncWatch(const SyncWatch&) = delete;
    SyncWatch& operator=(const SyncWatch&) = delete;
    // Starts a persistent sync search of a search command from `cookie`;
    // returns its id. Raises as refreshSync does.
    int add(std::string_view command, const std::string& cookie);
    // What the searches reported, each with its search's id: waits up to
    // `timeout` for the first message, then takes every one already there.
    // Empty on a timeout. Raises qv::Error with err::ServerDown when the
    // connection is lost (start a new watch from the cookies kept).
    std::vector<std::pair<int, SyncUpdate>> poll(std::chrono::milliseconds timeout);
    // The server the watch is connected to ("ldap://host:port"); empty before the first add.
    std::string server() const;

private:
    Credentials credentials_;
    std::unique_ptr<detail::SyncWatchConnection> connection_;
};

}  // namespace qv::platform
