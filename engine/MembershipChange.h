#pragma once
// Decides whether a DL's membership must be rewritten: the names a query
// returned against the names the DL holds now.
#include <cstddef>
#include <string>
#include <vector>

namespace qv {

// The most members a DL may be given; a larger result is refused.
inline constexpr std::size_t kMaxMembers = 5000;

struct MembershipChange {
    bool changed = false;       // the membership must be rewritten
    bool limitRefused = false;  // the new list is over kMaxMembers: left alone
    std::string firstDifference;  // the log text naming the first new name not held, if any
};

// Compares the lists as multisets of counts: equal lengths where every new
// name occurs somewhere in the old list count as unchanged (case-sensitive).
// Linear in the lengths. When a new name is missing, `firstDifference` reports
// it against the last old name ("oc=" j CRLF "nc=" i CRLF ...), the place a
// front-to-back search of the old list stops.
MembershipChange CompareMembership(const std::vector<std::string>& newMembers,
                                   const std::vector<std::string>& oldMembers);

// One member whose name the rewrite spells anew: the same entry to the
// directory (platform::sameDn), another text.
struct Respelling {
    std::string from;  // as the DL holds it
    std::string to;    // as the query returned it
};

// The names a rewrite adds and removes, counted as multisets: a name the new
// list holds twice and the old list once is added once. Names are first
// matched exactly; of the rest, a new and an old name that are the same DN in
// another spelling are a respelling, neither added nor removed (the rewrite
// still writes the new spelling). Each list keeps the order of the list it
// comes from.
struct MembershipDelta {
    std::vector<std::string> added;    // in the new list, not matched in the old
    std::vector<std::string> removed;  // in the old list, not matched in the new
    std::vector<Respelling> respelled;
};
MembershipDelta DiffMembership(const std::vector<std::string>& newMembers,
                               const std::vector<std::string>& oldMembers);

// The values a change of the membership deletes and adds: the names removed
// and added, and the old and new spellings of the names respelled.
std::vector<std::string> ValuesToDelete(const MembershipDelta& delta);
std::vector<std::string> ValuesToAdd(const MembershipDelta& delta);

}  // namespace qv
