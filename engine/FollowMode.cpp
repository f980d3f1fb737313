#include "engine/FollowMode.h"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/ErrorText.h"
#include "core/mdlMain.h"
#include "directory/DirObjects.h"
#include "directory/DirectoryObject.h"
#include "directory/clsExchangeStore.h"
#include "engine/ProcessingPasses.h"
#include "engine/QueryString.h"
#include "engine/clsQuorvel.h"
#include "platform/AdsPath.h"
#include "platform/DistinguishedName.h"
#include "platform/Error.h"
#include "platform/ErrorNumbers.h"
#include "platform/StopSignal.h"
#include "platform/SyncSearch.h"
#include "platform/Text.h"

namespace qv {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A report waits this long for more before its DLs are processed...
constexpr milliseconds kSettle(200);
// ... but never longer than this after the first, however many follow.
constexpr milliseconds kSettleAtMost(1000);
// How long one wait for the searches lasts at most: a stop is seen within it.
constexpr milliseconds kPollSlice(250);
// A DL whose processing failed (a search or write cut off) is tried again this much later.
constexpr std::chrono::seconds kRetryFailed(10);
// Pauses before taking a lost connection up again: doubled after each failed attempt.
constexpr std::chrono::seconds kFirstRetry(1);
constexpr std::chrono::seconds kLastRetry(60);

platform::Credentials credentials() {
    auto& connection = *mdl().objConnection;
    if (connection.isCurrentUser()) return platform::Credentials::currentUser();
    return platform::Credentials::account(connection.LogonString(), connection.Password());
}

// The search the target's DLs are watched with: the container pass's search,
// or for a target that is one DL, the same filter on that DL alone.
std::string dlWatchCommand(const std::string& target, bool oneDl) {
    std::string command = QuorvelDlSearch(target);
    if (oneDl) command.replace(command.rfind(";subtree"), std::string::npos, ";base");
    return command;
}

bool reportsChange(const platform::SyncUpdate& update) {
    return !update.entries.empty() || !update.deleted.empty() || update.wholeSet || update.refreshRequired;
}

// The search that watches every entry below the base of a DL's query: any
// change there may change who the query selects. Queries share the watch of
// their base: a server runs only a few persistent searches on one connection
// (slapd: half its threads), and an organisation's queries start from a few bases.
std::string baseWatchCommand(const std::string& queryCommand) {
    return SplitQuery(queryCommand).front() + ";(objectClass=*);;subtree";
}

// The server and DN a base watch starts from; nothing for a base that is not one entry's address.
std::optional<platform::AdsPath> baseOf(const std::string& watchCommand) {
    const std::string base = SplitQuery(watchCommand).front();
    try {
        auto path = platform::parseAdsPath(base.substr(1, base.size() - 2));
        if (path.target == platform::AdsTarget::Object) return path;
    } catch (const Error&) {
    }
    return std::nullopt;
}

// How many RDNs below the root a base watch starts; 0 when it is not one entry's.
std::size_t depthOf(const std::string& watchCommand) {
    const auto path = baseOf(watchCommand);
    std::size_t depth = 0;
    for (std::string dn = path ? path->dn : std::string(); !dn.empty(); dn = platform::parentDn(dn)) ++depth;
    return depth;
}

// True when every entry the watch `inner` sees is below the base of `outer`
// on the same server (the same base in another spelling included).
bool covers(const std::string& outer, const std::string& inner) {
    if (outer == inner) return true;
    const auto out = baseOf(outer), in = baseOf(inner);
    if (!out || !in || out->scheme != in->scheme || platform::lowerAscii(out->server) != platform::lowerAscii(in->server))
        return false;
    for (std::string dn = in->dn; !dn.empty(); dn = platform::parentDn(dn))
        if (platform::sameDn(dn, out->dn)) return true;
    return false;
}

// One base's watch and the DLs whose queries start there (or below it).
struct BaseWatch {
    int id = -1;
    std::set<std::string> dls;
};

class Follower {
public:
    Follower() {
        auto& m = mdl();
        const auto& target = *m.objDirObjects->Item(1);
        target_ = target.adsPath;
        address_ = platform::parseAdsPath(target_);
        oneDl_ = target.objectClass == "groupOfNames";
    }

    // Until a stop is requested: one connection after another.
    void run() {
        auto pause = std::chrono::duration_cast<milliseconds>(kFirstRetry);
        while (!platform::stopRequested()) {
            try {
                session();
                return;
            } catch (const Error& error) {
                lost(error, pause);
            } catch (const std::exception& unexpected) {
                lost(Error(err::Unexpected, unexpected.what()), pause);
            }
            if (connected_) pause = std::chrono::duration_cast<milliseconds>(kFirstRetry);
            if (platform::sleepUnlessStopped(pause)) return;
            if (!connected_) pause = std::min<milliseconds>(pause * 2, kLastRetry);
            connected_ = false;
        }
    }

private:
    // One connection's life: the DLs' watch, a pass, a watch per DL query,
    // then reports until a stop (returns) or the connection is lost (raises).
    void session() {
        reset();
        watch_ = std::make_unique<platform::SyncWatch>(credentials());
        dlWatch_ = watch_->add(dlWatchCommand(target_, oneDl_), {});
        readDls();
        connected_ = true;
        pass();
        LogEvent("Quorvel is following " + std::to_string(dlByUuid_.size()) +
                     " Quorvel distribution lists in " + target_ + "\r\nServer: " + watch_->server(),
                 LogSummary, EventInformation, EventIdInformation, {target_});
        while (!platform::stopRequested()) {
            take(watch_->poll(pollTimeout()));
            if (!failed_.empty() && Clock::now() >= retryAt_) {
                for (const auto& path : failed_) makeDue(path);
                failed_.clear();
            }
            if (settled()) processDue();
            if (Clock::now() - lastPass_ >= passEvery()) pass();
        }
        LogEvent("Quorvel stopped following " + target_, LogSummary, EventInformation, EventIdInformation,
                 {target_});
    }

    void reset() {
        watch_.reset();
        dlWatch_ = -1;
        watchedBy_.clear();
        bases_.clear();
        baseOf_.clear();
        starting_.clear();
        dlByUuid_.clear();
        due_.clear();
        failed_.clear();
        objects_.clear();
    }

    void lost(const Error& error, milliseconds pause) {
        LogEvent("Quorvel lost the directory while following " + target_ + "\r\nError " +
                     std::to_string(error.number()) + "[" + HexText(error.number()) + "]\r\nTrying again in " +
                     std::to_string(std::chrono::duration_cast<std::chrono::seconds>(pause).count()) + " s.",
                 LogMinimum, EventWarning, EventIdInformation, {target_, error.description()});
    }

    // The DLs as the watch's first refresh reports them; what changes later is news.
    void readDls() {
        while (!platform::stopRequested()) {
            for (auto& [id, update] : watch_->poll(kPollSlice)) {
                if (id != dlWatch_) continue;
                for (const auto& entry : update.entries)
                    if (entry.state != platform::SyncEntry::State::Delete) dlByUuid_[entry.uuid] = pathOf(entry.dn);
                if (update.refreshDone) return;
            }
        }
    }

    // A pass over the target, as `quorvel PROFILE` runs it, then a watch on
    // the query of every DL the state knows.
    void pass() {
        lastPass_ = Clock::now();
        due_.clear();
        oneDl_ ? ProcessOneDL(nullptr) : ProcessContainer(nullptr);
        // The widest bases first: a base below one watched already shares its watch.
        std::vector<std::pair<std::size_t, std::string>> byDepth;
        for (const auto& [uuid, path] : dlByUuid_) {
            const auto query = mdl().objQuorvel->FollowedQuery(path);
            byDepth.emplace_back(query ? depthOf(baseWatchCommand(query->command)) : 0, path);
        }
        std::sort(byDepth.begin(), byDepth.end());
        for (const auto& entry : byDepth) watchQuery(entry.second);
    }

    std::chrono::seconds passEvery() const {
        return std::min<std::chrono::seconds>(mdl().objQuorvel->FullPassEvery, kFollowPassEvery);
    }

    std::string pathOf(const std::string& dn) const { return address_.pathOf(dn); }

    // Watches the base of the DL's query, from the cookie the DL's state
    // holds, unless that base or one above it is watched already (a server
    // runs only so many persistent searches); a DL without state is watched
    // through the passes only.
    void watchQuery(const std::string& path) {
        const auto query = mdl().objQuorvel->FollowedQuery(path);
        forgetQuery(path);
        if (!query) return;
        const std::string command = coveringWatch(baseWatchCommand(query->command));
        BaseWatch& watch = bases_[command];
        watch.dls.insert(path);
        baseOf_[path] = command;
        if (watch.id >= 0) return;
        try {
            watch.id = watch_->add(command, query->cookie);
            watchedBy_[watch.id] = command;
        } catch (const Error& error) {
            if (error.number() == err::ServerDown) throw;
            LogEvent("Quorvel cannot follow the entries below the base of the query of " + path +
                         "; it is brought up to date by the passes only.",
                     LogMinimum, EventWarning, EventIdInformation, {path, error.description()});
        }
    }

    // A running watch whose entries include those below `command`'s base; else `command`.
    std::string coveringWatch(const std::string& command) const {
        for (const auto& [watched, watch] : bases_)
            if (watch.id >= 0 && covers(watched, command)) return watched;
        return command;
    }

    // The DL no longer counts on the watch of its query's base.
    void forgetQuery(const std::string& path) {
        auto found = baseOf_.find(path);
        if (found == baseOf_.end()) return;
        bases_[found->second].dls.erase(path);
        baseOf_.erase(found);
    }

    // A base watch the server can no longer resume: it starts over without a
    // cookie (its first refresh, every entry below the base, tells nothing
    // new) and its DLs are brought up to date, which covers the gap.
    void restartBase(const std::string& command) {
        BaseWatch& watch = bases_[command];
        watchedBy_.erase(watch.id);
        watch.id = watch_->add(command, {});
        watchedBy_[watch.id] = command;
        starting_.insert(watch.id);
    }

    milliseconds pollTimeout() const {
        if (due_.empty()) return kPollSlice;
        const auto now = Clock::now();
        const auto left = std::min(lastDue_ + kSettle, firstDue_ + kSettleAtMost) - now;
        return std::clamp(std::chrono::duration_cast<milliseconds>(left), milliseconds(0), kPollSlice);
    }

    bool settled() const {
        if (due_.empty()) return false;
        const auto now = Clock::now();
        return now >= lastDue_ + kSettle || now >= firstDue_ + kSettleAtMost;
    }

    void take(const std::vector<std::pair<int, platform::SyncUpdate>>& updates) {
        for (const auto& [id, update] : updates) {
            if (id == dlWatch_) {
                takeDlChange(update);
            } else if (auto base = watchedBy_.find(id); base != watchedBy_.end()) {
                takeBaseChange(base->second, id, update);
            }
        }
    }

    void takeBaseChange(const std::string& command, int id, const platform::SyncUpdate& update) {
        if (update.refreshRequired) {
            restartBase(command);
        } else if (starting_.count(id)) {
            if (!update.refreshDone) return;
            starting_.erase(id);
        } else if (!reportsChange(update) || onlyDls(update)) {
            return;
        }
        for (const auto& path : bases_[command].dls) makeDue(path);
    }

    // What the DLs' own watch reports anyway (a DL's own edits, this
    // program's writes among them): nothing a query selects.
    bool onlyDls(const platform::SyncUpdate& update) const {
        if (update.wholeSet) return false;
        auto isDl = [&](const std::string& uuid) { return dlByUuid_.count(uuid) > 0; };
        return std::all_of(update.entries.begin(), update.entries.end(),
                           [&](const platform::SyncEntry& entry) { return isDl(entry.uuid); }) &&
               std::all_of(update.deleted.begin(), update.deleted.end(), isDl);
    }

    // A DL added, edited (by someone else, or by this program's own write,
    // which its processing then finds done), renamed, or gone.
    void takeDlChange(const platform::SyncUpdate& update) {
        for (const auto& entry : update.entries) {
            if (entry.state == platform::SyncEntry::State::Delete) {
                forgetDl(entry.uuid);
                continue;
            }
            const std::string path = pathOf(entry.dn);
            if (auto known = dlByUuid_.find(entry.uuid); known != dlByUuid_.end() && known->second != path)
                forgetDl(entry.uuid);
            dlByUuid_[entry.uuid] = path;
            makeDue(path);
        }
        for (const auto& uuid : update.deleted) forgetDl(uuid);
    }

    void forgetDl(const std::string& uuid) {
        auto known = dlByUuid_.find(uuid);
        if (known == dlByUuid_.end()) return;
        forgetQuery(known->second);
        due_.erase(known->second);
        objects_.erase(known->second);
        dlByUuid_.erase(known);
    }

    void retryLater(const std::string& path) {
        if (failed_.empty()) retryAt_ = Clock::now() + kRetryFailed;
        failed_.insert(path);
    }

    void makeDue(const std::string& path) {
        const auto now = Clock::now();
        if (due_.empty()) firstDue_ = now;
        lastDue_ = now;
        due_.insert(path);
    }

    // What changed below the bases of the due DLs' queries is read once for
    // every DL whose query starts there, and the DLs' definitions in one search.
    void processDue() {
        const std::set<std::string> due = std::move(due_);
        due_.clear();
        std::vector<std::pair<std::string, std::shared_ptr<DirectoryObject>>> batch;
        for (const auto& path : due)
            if (auto dl = object(path)) batch.emplace_back(path, std::move(dl));
        std::vector<std::shared_ptr<DirectoryObject>> dls;
        for (const auto& entry : batch) dls.push_back(entry.second);
        auto& m = mdl();
        m.objQuorvel->ReadChanges(dls, m.strPrefix, m.strField, dlWatchCommand(target_, oneDl_));
        for (const auto& [path, dl] : batch) {
            if (platform::stopRequested()) break;
            const auto failures = m.objQuorvel->Counters.failed;
            m.objQuorvel->Process(*dl, m.strLoggingLevel, m.strPrefix, m.strField);
            if (m.objQuorvel->Counters.failed != failures) retryLater(path);
            watchQuery(path);
        }
        m.objQuorvel->ForgetChanges();
        m.objQuorvel->FlushState();
    }

    // The DL at `path`, read once; nothing when it cannot be read (it went
    // since it was reported: its deletion follows on the DLs' watch).
    std::shared_ptr<DirectoryObject> object(const std::string& path) {
        auto& known = objects_[path];
        if (known) return known;
        std::string address = path;
        auto found = mdl().objExchangeStore->Query(address);
        if (!found || found.objects().Count() == 0) {
            if (const Error* error = found.error(); error && error->number() == err::ServerDown) throw *error;
            objects_.erase(path);
            return nullptr;
        }
        return known = found.objects().Item(1);
    }

    std::string target_;
    platform::AdsPath address_;
    bool oneDl_ = false;
    bool connected_ = false;  // the current session got as far as its watch
    std::unique_ptr<platform::SyncWatch> watch_;
    int dlWatch_ = -1;
    std::map<int, std::string> watchedBy_;        // search id -> the base watch command
    std::map<std::string, BaseWatch> bases_;      // base watch command -> its search and DLs
    std::map<std::string, std::string> baseOf_;   // DL -> the base watch command of its query
    std::set<int> starting_;                      // base watches in a refresh without cookie
    std::map<std::string, std::string> dlByUuid_;      // a DL's entryUUID -> its address
    std::map<std::string, std::shared_ptr<DirectoryObject>> objects_;  // DLs read so far
    std::set<std::string> due_;
    std::set<std::string> failed_;  // DLs to try again at retryAt_
    Clock::time_point retryAt_;
    Clock::time_point firstDue_, lastDue_;
    Clock::time_point lastPass_;
};

}  // namespace

void FollowTarget() { Follower().run(); }

}  // namespace qv
