#include "engine/BaseChanges.h"

#include <algorithm>
#include <map>
#include <set>

#include "directory/clsExchangeStore.h"
#include "engine/QueryString.h"
#include "platform/DirectoryService.h"
#include "platform/Error.h"
#include "platform/LdapFilter.h"
#include "platform/SyncSearch.h"
#include "platform/Text.h"

namespace qv {
namespace {

// The entries a report names, sorted into changed and deleted.
void Sort(BaseChanges& out, const platform::SyncUpdate& update) {
    for (const auto& entry : update.entries)
        (entry.state == platform::SyncEntry::State::Delete ? out.deleted : out.changed)
            .push_back(platform::lowerAscii(entry.uuid));
    for (const auto& uuid : update.deleted) out.deleted.push_back(platform::lowerAscii(uuid));
    out.changedFilter = "(|";
    for (const auto& uuid : out.changed) {
        out.changedFilter += "(entryUUID=";
        out.changedFilter += platform::escapeFilterValue(uuid);
        out.changedFilter += ')';
    }
    out.changedFilter += ')';
}

}  // namespace

BaseChanges ReadBaseChanges(clsExchangeStore& store, const std::string& base, const std::string& cookie) {
    BaseChanges out;
    try {
        const platform::SameServer oneServer;  // the server named is the one that answered
        const auto update = store.RefreshSync(base + ";(objectClass=*);1.1;subtree", cookie);
        out.server = store.AnsweringServer(base.substr(1, base.size() - 2));
        out.cookie = update.cookie;
        out.inFull = update.wholeSet || update.entries.size() + update.deleted.size() > kMostChangesResumed;
        if (!out.inFull) Sort(out, update);
        out.read = true;
    } catch (const Error&) {
        // Each DL resumes on its own, and meets the failure itself if it lasts.
    }
    return out;
}

std::string UuidSearch(const std::string& command, const BaseChanges& changes) {
    const std::string filter = "(&" + platform::toRfc4515Filter(SplitQuery(command).at(1)) + changes.changedFilter + ")";
    return ReplaceQueryField(ReplaceQueryField(command, 2, filter), 3, "entryUUID");
}

void ApplyBaseChanges(std::vector<std::pair<std::string, std::string>>& found, const BaseChanges& changes,
                      const std::vector<std::pair<std::string, std::string>>& now) {
    std::map<std::string, std::string, std::less<>> dnOf;  // by lower-case entryUUID
    for (const auto& [dn, uuid] : now) dnOf.emplace(platform::lowerAscii(uuid), dn);
    std::set<std::string, std::less<>> leave(changes.deleted.begin(), changes.deleted.end());
    leave.insert(changes.changed.begin(), changes.changed.end());
    std::set<std::string> placed;
    std::string lowered;
    std::erase_if(found, [&](auto& entry) {
        // UUIDs come in lower case from most servers: only others are copied to compare
        std::string_view uuid = entry.first;
        if (std::any_of(uuid.begin(), uuid.end(), [](char c) { return c >= 'A' && c <= 'Z'; }))
            uuid = lowered = platform::lowerAscii(uuid);
        const auto match = dnOf.find(uuid);
        if (match == dnOf.end()) return leave.find(uuid) != leave.end();
        if (!placed.emplace(uuid).second) return true;  // named twice: the first place counts
        entry.second = match->second;  // renamed or moved: its place stays
        return false;
    });
    for (const auto& uuid : changes.changed) {
        const auto match = dnOf.find(uuid);
        if (match != dnOf.end() && placed.insert(uuid).second) found.emplace_back(uuid, match->second);
    }
}

}  // namespace qv
