#pragma once
// What changed below the base of several DLs' queries since one cookie, read
// with one sync search of the whole base: DLs whose queries start from the
// same base share it, and each then only asks which of the changed entries
// its own query finds now. A server's session log is checked against each
// sync search once, so one search per base instead of one per DL is what
// keeps a pass after many changes cheap.
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace qv {

class clsExchangeStore;

// More changed entries than this below a base: its DLs run their queries in
// full rather than search for each changed entry.
inline constexpr std::size_t kMostChangesResumed = 500;

struct BaseChanges {
    // False when the sync search failed (the server cannot resume from the
    // cookie, offers no synchronisation, or the connection broke): each DL
    // then resumes on its own, as a DL outside any group does.
    bool read = false;
    // The server reported more than the changed entries (a present phase) or
    // too many of them: the DLs run their queries in full.
    bool inFull = false;
    std::vector<std::string> changed;  // entryUUIDs (lower case) of entries added, changed, renamed or moved
    std::vector<std::string> deleted;  // entryUUIDs (lower case) of entries that left the base
    std::string cookie;                // where the next search resumes; empty: keep the previous one
    std::string server;                // the server that answered ("" for an address of one server)
    // Set once a DL's search below the base has succeeded in this pass: the
    // base is there, and the searches of the other DLs need not confirm an
    // empty result with a read of it.
    mutable bool baseSeen = false;
    std::string changedFilter;         // (|(entryUUID=...)...) of the changed entries, RFC 4515, built once for all DLs
    bool none() const { return changed.empty() && deleted.empty(); }
};

// The changes below `base` (an ADsPath in angle brackets, as a query's first
// field) since `cookie`: one refreshOnly sync search, subtree, every entry,
// no attributes. Never raises: a failure leaves `read` false.
BaseChanges ReadBaseChanges(clsExchangeStore& store, const std::string& base, const std::string& cookie);

// The search command that finds, of the entries `command` finds, those of
// the changed entries, reading their entryUUID. The query's filter is
// translated as searches translate it, the rest is RFC 4515 text.
std::string UuidSearch(const std::string& command, const BaseChanges& changes);

// Applies a base's changes to the (entryUUID, DN) pairs a query found: the
// deleted entries leave; of the changed ones, those in `now` (the DN and
// entryUUID pairs the query finds of them) stay in their place with their
// DN as it reads now or come at the end, the others leave. UUIDs compare
// ignoring case.
void ApplyBaseChanges(std::vector<std::pair<std::string, std::string>>& found, const BaseChanges& changes,
                      const std::vector<std::pair<std::string, std::string>>& now);

}  // namespace qv
