#include "engine/MembershipChange.h"

#include <string_view>
#include <unordered_set>

namespace qv {
namespace {

std::string differenceText(std::size_t j, std::size_t i, const std::string& newName, const std::string& oldName) {
    return "oc=" + std::to_string(j) + "\r\nnc=" + std::to_string(i) + "\r\narrNewMembers(nc)=" + newName +
           "\r\narrOldMembers(oc)=" + oldName;
}

}  // namespace

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
    std::unordered_set<std::string_view> held(oldMembers.begin(), oldMembers.end());
    for (std::size_t i = 0; i < newMembers.size(); ++i) {
        if (held.count(newMembers[i])) continue;
        const std::size_t j = oldMembers.size() - 1;  // equal, non-zero lengths here
        result.changed = true;
        result.firstDifference = differenceText(j, i, newMembers[i], oldMembers[j]);
        return result;
    }
    return result;
}

}  // namespace qv
