#pragma once
// The brakes on mass removals: limits a profile may set on how much of a DL's
// membership one pass may take away. A DL whose change exceeds one is left
// as it is. Without limits every change goes through.
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

namespace qv {

struct Safeguards {
    std::optional<unsigned> maxRemovePercent;   // of the current membership, 0-100
    std::optional<std::size_t> maxRemoveCount;  // names removed
    std::size_t minMembers = 10;                // the percentage applies from this many current members
    bool allowEmpty = true;                     // false: a DL with members is never emptied
};

// The limit a change exceeds, as "Name=value (what the change would do)";
// nothing when the change may go through. The first limit hit is named, in
// the order AllowEmpty, MaxRemoveCount, MaxRemovePercent.
std::optional<std::string> SafeguardExceeded(const Safeguards& limits, std::size_t currentCount,
                                             std::size_t newCount, std::size_t removedCount);

// The option that lifts the limits for the DL at `adsPath` alone, quoted for
// a shell: --force='LDAP://host/cn=...'.
std::string ForceOption(const std::string& adsPath);

// Reads the limits through `read` (section, key -> the value, empty when
// absent). An empty or absent key sets no limit. Raises std::invalid_argument
// naming the key and the value when a value is not one the key takes: a brake
// that cannot be read must stop the run rather than let it go unbraked.
Safeguards ReadSafeguards(const std::function<std::string(const char* section, const char* key)>& read);

}  // namespace qv
