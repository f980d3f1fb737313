#pragma once
// What one pass did, or in a preview would do, to one DL, and the totals of
// a run: for the preview's output, the console's preview and the metrics.
#include <cstddef>
#include <string>

#include "engine/MembershipChange.h"

namespace qv {

// One DL whose query ran to the end.
struct DLOutcome {
    std::string dn;
    std::string adsPath;
    std::size_t before = 0;     // members now
    std::size_t after = 0;      // members the query asks for
    MembershipDelta delta;      // who the rewrite adds and removes (empty when unchanged)
    bool rewrite = false;       // the membership is (or would be) written
    std::string refused;        // the limit that stopped the write; empty when none did
    // Never counted as members: what an emptied DL keeps where its class must
    // have a member, and the placeholder a DL holds when the write removes it.
    std::string emptyMember;
    std::string placeholder;
};

// A DL that failed, or whose change a safeguard refused.
struct DLProblem {
    std::string adsPath;
    std::string reason;    // the directory's answer, or the limit hit
    bool refused = false;  // a safeguard stopped it (else it failed)
};

// Totals of the DLs the engine was given.
struct PassCounters {
    std::size_t processed = 0;  // DLs handed to the engine
    std::size_t failed = 0;     // of them, ended with an error entry (refusals not included)
    std::size_t refused = 0;    // of them, not written because a safeguard stopped the change
    std::size_t added = 0;      // names added to memberships that were written
    std::size_t removed = 0;    // names removed from memberships that were written
};

// What a preview's LDIF begins with: RFC 2849 requires the version line in
// front of change records.
inline constexpr const char* LdifHeader = "version: 1\n\n";

// The change as LDIF (RFC 2849) that ldapmodify applies unchanged: one modify
// record for a DL that is rewritten, deleting the removed and adding the
// added values (a respelled name: its old spelling deleted, its new one
// added; the placeholder deleted), or replacing member with nothing, or with
// the placeholder, when the DL is emptied.
// A DL that is not rewritten gives nothing, or a comment line when a limit
// refused its change.
std::string LdifRecord(const DLOutcome& outcome);

// One JSON object on one line: dn, adspath, before, after, added, removed,
// refused (the limit, or null). A respelled name is neither added nor removed.
std::string JsonRecord(const DLOutcome& outcome);

}  // namespace qv
