#include "engine/MembershipChange.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string_view>

#include "platform/DistinguishedName.h"

namespace qv {
namespace {

std::string differenceText(std::size_t j, std::size_t i, const std::string& newName, const std::string& oldName) {
    return "oc=" + std::to_string(j) + "\r\nnc=" + std::to_string(i) + "\r\narrNewMembers(nc)=" + newName +
           "\r\narrOldMembers(oc)=" + oldName;
}

// The names of a list, for telling whether a name is among them: one flat
// table of positions (open addressing), no allocation per name.
class NameSet {
public:
    explicit NameSet(const std::vector<std::string>& names) : names_(names) {
        std::size_t capacity = 16;
        while (capacity < names.size() * 2) capacity <<= 1;
        slots_.assign(capacity, Slot{});
        mask_ = capacity - 1;
        for (std::size_t i = 0; i < names.size(); ++i) {
            const std::size_t hash = hashOf(names[i]);
            std::size_t at = hash & mask_;
            while (slots_[at].position != 0) at = (at + 1) & mask_;
            slots_[at] = Slot{static_cast<std::uint32_t>(i + 1), static_cast<std::uint32_t>(hash >> 32)};
        }
    }

    bool contains(std::string_view name) const { return find(name) != kNone; }

    // The position of the first of `name`'s copies in the list, or kNone.
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    std::size_t find(std::string_view name) const {
        const std::size_t hash = hashOf(name);
        const auto tag = static_cast<std::uint32_t>(hash >> 32);
        for (std::size_t at = hash & mask_; slots_[at].position != 0; at = (at + 1) & mask_)
            if (slots_[at].tag == tag && names_[slots_[at].position - 1] == name) return slots_[at].position - 1;
        return kNone;
    }

private:
    struct Slot {
        std::uint32_t position = 0;  // index + 1; 0 is an empty slot
        std::uint32_t tag = 0;       // high half of the hash, to skip most comparisons
    };
    static std::size_t hashOf(std::string_view name) { return std::hash<std::string_view>{}(name); }

    const std::vector<std::string>& names_;
    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
};

// How many copies of each name of `names` are still unmatched, kept at the
// position of the name's first copy.
std::vector<std::uint32_t> copiesOf(const std::vector<std::string>& names, const NameSet& set) {
    std::vector<std::uint32_t> copies(names.size(), 0);
    for (const auto& name : names) ++copies[set.find(name)];
    return copies;
}

// Moves each added name that is a removed name in another spelling (the
// same DN) to the respellings. Only the names left over by the exact match
// are parsed, so the cost follows the change, not the list.
void pairRespellings(MembershipDelta& delta) {
    std::multimap<std::string, std::size_t> gone;  // DN key -> position in `removed`
    for (std::size_t i = 0; i < delta.removed.size(); ++i) gone.emplace(platform::dnMatchKey(delta.removed[i]), i);
    std::vector<bool> respelled(delta.removed.size(), false);
    std::vector<std::string> added;
    for (auto& name : delta.added) {
        const std::string key = platform::dnMatchKey(name);
        const auto match = gone.lower_bound(key);  // the first held of that name
        if (match == gone.end() || match->first != key) {
            added.push_back(std::move(name));
            continue;
        }
        respelled[match->second] = true;
        delta.respelled.push_back({delta.removed[match->second], std::move(name)});
        gone.erase(match);
    }
    delta.added = std::move(added);
    std::vector<std::string> removed;
    for (std::size_t i = 0; i < delta.removed.size(); ++i)
        if (!respelled[i]) removed.push_back(std::move(delta.removed[i]));
    delta.removed = std::move(removed);
}

}  // namespace

MembershipDelta DiffMembership(const std::vector<std::string>& newMembers,
                               const std::vector<std::string>& oldMembers) {
    MembershipDelta delta;
    const NameSet held(oldMembers);
    auto unmatched = copiesOf(oldMembers, held);
    for (const auto& name : newMembers) {
        const std::size_t at = held.find(name);
        if (at != NameSet::kNone && unmatched[at] > 0)
            --unmatched[at];
        else
            delta.added.push_back(name);
    }
    for (std::size_t i = 0; i < oldMembers.size(); ++i) {
        std::uint32_t& left = unmatched[held.find(oldMembers[i])];
        if (left == 0) continue;
        delta.removed.push_back(oldMembers[i]);
        --left;
    }
    if (!delta.added.empty() && !delta.removed.empty()) pairRespellings(delta);
    return delta;
}

std::vector<std::string> ValuesToDelete(const MembershipDelta& delta) {
    std::vector<std::string> values = delta.removed;
    for (const auto& r : delta.respelled) values.push_back(r.from);
    return values;
}

std::vector<std::string> ValuesToAdd(const MembershipDelta& delta) {
    std::vector<std::string> values = delta.added;
    for (const auto& r : delta.respelled) values.push_back(r.to);
    return values;
}

MembershipChange CompareMembership(const std::vector<std::string>& newMembers,
                                   const std::vector<std::string>& oldMembers) {
    MembershipChange result;
    if (newMembers.size() > kMaxMembers) {
        result.limitRefused = true;
        return result;
    }
    if (newMembers.size() != oldMembers.size()) {
        result.changed = true;
        return result;
    }
    // A directory returns the names in the same order pass after pass: the
    // names that stand at the same place need no look-up.
    std::size_t same = 0;
    while (same < newMembers.size() && newMembers[same] == oldMembers[same]) ++same;
    if (same == newMembers.size()) return result;
    const NameSet held(oldMembers);
    for (std::size_t i = same; i < newMembers.size(); ++i) {
        if (held.contains(newMembers[i])) continue;
        const std::size_t j = oldMembers.size() - 1;  // equal, non-zero lengths here
        result.changed = true;
        result.firstDifference = differenceText(j, i, newMembers[i], oldMembers[j]);
        return result;
    }
    return result;
}

}  // namespace qv
