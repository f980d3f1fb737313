#include "engine/clsQuorvel.h"

#include <algorithm>
#include <chrono>
#include <optional>

#include "core/ErrorText.h"
#include "core/mdlMain.h"
#include "directory/DirObjects.h"
#include "directory/DirectoryObject.h"
#include "directory/clsExchangeStore.h"
#include "engine/IncrementalState.h"
#include "engine/MembershipChange.h"
#include "engine/QueryString.h"
#include "platform/AdsPath.h"
#include "platform/DirectorySearch.h"
#include "platform/DirectoryService.h"
#include "platform/Error.h"
#include "platform/ErrorNumbers.h"
#include "platform/SyncSearch.h"
#include "platform/Text.h"

namespace qv {
namespace {

constexpr const char* CRLF = "\r\n";
// The attributes a DL's own query asks for; the search supplies its own list anyway.
constexpr const char* kQueryAttributes = "cn,adspath,distinguishedName";

// Only the names that go and come are sent when they are at most half as
// many as the whole new list; a list where more than half the names change
// is replaced, as the change would then be hardly smaller than the list.
bool ChangeIsSmaller(std::size_t changedValues, std::size_t newCount) { return 2 * changedValues <= newCount; }

// A line naming the server that answered for an address of several servers;
// nothing for an address of one.
std::string ServerLine(const DirectoryObject& dl, const std::string& address) {
    const std::string server = dl.objExchangeStore->AnsweringServer(address);
    return server.empty() ? server : CRLF + ("Server: " + server);
}

// The address a query's search starts from: its first field without the brackets.
std::string QueryBase(const std::string& query) {
    const std::string base = SplitQuery(query).front();
    return base.size() < 2 ? base : base.substr(1, base.size() - 2);
}

// What a server answers when a change finds a value not as the program read
// it: a value to delete is gone (16), one to add is there (20), or the server
// refuses a value the change names (19, e.g. the DN of a deleted entry).
bool IsValueConflict(std::int32_t number) {
    return number == err::NoSuchAttribute || number == err::ValueExists || number == err::ConstraintViolation;
}

// The operational attribute that changes with every write of an entry.
constexpr const char* kEntryCsn = "entryCSN";

std::int64_t Now() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// A search that finds nothing in the query's base alone: a server that ties
// nothing of the cookie to the search gives one to start from this way.
std::string MatchNothing(const std::string& command) {
    return ReplaceQueryField(ReplaceQueryField(command, 2, "(!(objectClass=*))"), 4, "base");
}

}  // namespace

struct clsQuorvel::Run {
    explicit Run(DirectoryObject& object) : dl(object) {}
    DirectoryObject& dl;
    std::chrono::system_clock::time_point start = std::chrono::system_clock::now();
    bool updated = false;
    std::vector<std::string> oldMembers;  // as read, without the placeholder
    std::vector<std::string> newMembers;
    std::string placeholder;  // the placeholder member the DL holds, as stored; empty when none
    std::string emptyMember;  // what the DL keeps when the write empties it (its class must have a member)
    MembershipDelta delta;  // filled once the membership is known to change
    std::optional<MembershipChange> compared;  // the comparison, when made before UpdateMembership
    bool rewrite = false;           // the change passed every limit: written, or in a preview would be
    std::string refusal;            // the limit that stopped the change, if one did
    bool safeguardRefused = false;  // that limit is a safeguard: the DL counts as not done
    bool completed = false;         // the query ran and the change was decided
    // Incremental passes only:
    const DlSyncState* saved = nullptr;  // the DL's record as the pass found it
    bool mayTrust = false;  // the record is fresh enough to stand for the DL, unless the DL changed
    bool trusted = false;   // it stands for the DL's members
    bool standsAsSaved = false;  // nothing changed below the query's base since the record's cookie
    // With that, the record's settled count: the DL holds as many names as
    // its query finds, and they are the same. Its names are then never read.
    std::optional<std::size_t> settled;
    std::string cookie;  // with it, where the record resumes next time (empty: where it did)
    bool readAhead = false;      // the definition and entryCSN are those ReadChanges read
    bool noReadAhead = false;    // the DL is read anew, whatever was read ahead
    std::string definition;
    std::string csn;                   // the DL entry's entryCSN with the members held
    std::vector<std::string> held;     // the DL's member values, placeholder included
    std::vector<std::string> written;  // what the DL holds after the write
    std::optional<DlSyncState> next;   // the record to keep; none when the query cannot resume
};

clsKVOR& clsQuorvel::kvor() {
    if (!objKVORAPI) objKVORAPI = std::make_shared<clsKVOR>();
    return *objKVORAPI;
}

bool clsQuorvel::ValidQuery(const std::string& strQuery) const { return qv::ValidQuery(strQuery); }

bool clsQuorvel::Logs(std::int16_t level) const { return LoggingLevelValue(LoggingLevel) >= level; }

void clsQuorvel::Log(const std::string& message, std::int16_t level, std::int16_t type, std::uint32_t eventId,
                     const EventData& data) {
    if (!Logs(level)) return;
    kvor().WriteEvent(message, AppTitle, type, eventId, data);
}

bool clsQuorvel::Process(DirectoryObject& dl, const std::string& intLoggingLevel, const std::string& strPrefix,
                         const std::string& strField) {
    LoggingLevel = intLoggingLevel;
    prefix_ = strPrefix;
    kvor().Preview = DryRun;
    step_.clear();
    dl.WriteOnlyIfCSN.clear();
    std::optional<Run> run(std::in_place, dl);
    const platform::SameServer oneServer;  // the DL is read, searched and written on one server
    bool succeeded = false;
    try {
        bool readAgain = false;
        try {
            readAgain = !Steps(*run, strPrefix, strField);
        } catch (const EditedSinceRead&) {
            readAgain = true;
        }
        dl.WriteOnlyIfCSN.clear();
        if (readAgain) {
            run.emplace(dl);
            run->noReadAhead = true;
            Steps(*run, strPrefix, strField);
        }
        succeeded = !run->safeguardRefused;
    } catch (const Error& error) {
        HandleError(*run, error);
    } catch (const std::exception& unexpected) {
        HandleError(*run, Error(err::Unexpected, unexpected.what()));
    }
    Count(*run, succeeded);
    Report(*run);
    return succeeded;
}

std::optional<clsQuorvel::WatchedQuery> clsQuorvel::FollowedQuery(const std::string& adsPath) const {
    const DlSyncState* saved = State ? State->FindHeader(adsPath) : nullptr;
    if (!saved || saved->cookie.empty()) return std::nullopt;
    const auto query = QueryFromDefinition(saved->definition, prefix_);
    if (!query) return std::nullopt;
    return WatchedQuery{ReplaceQueryField(*query, 3, kQueryAttributes), saved->cookie};
}

bool clsQuorvel::Steps(Run& run, const std::string& strPrefix, const std::string& strField) {
    const std::string& adsPath = run.dl.adsPath;
    const EventData about{adsPath};
    const bool everyStep = Logs(LogMaximum);
    if (everyStep)
        Log(std::string("Starting DL.") + CRLF + adsPath, LogMaximum, EventInformation, EventIdInformation, about);

    step_ = "Process:GetDL";
    if (State) LookUpRecord(run);
    std::optional<PropertyBag> bag;
    std::string definition;
    if (const ReadAhead* known = KnownAhead(run)) {
        run.readAhead = true;
        definition = known->definition;
        run.csn = known->csn;
    } else {
        bag = run.dl.GetPropertiesEx(DLAttributes(run, strField));
        definition = bag->text(strField);
    }
    if (everyStep)
        Log(strField + CRLF + adsPath + CRLF + definition, LogMaximum, EventInformation, EventIdInformation, about);

    auto query = QueryFromDefinition(definition, strPrefix);
    if (!query) throw Error(err::NotQuorvel, "This DL is not Quorvel!");
    if (!qv::ValidQuery(*query)) throw Error(err::QuestionableQuery, "The query syntax is questionable, aborting DL.");
    std::string command = ReplaceQueryField(*query, 3, kQueryAttributes);

    step_ = "Process:GetEX";
    if (everyStep)
        Log(std::string("Getting membership.") + CRLF + adsPath + ServerLine(run.dl, adsPath), LogMaximum,
            EventInformation, EventIdInformation, about);
    if (State) {
        run.definition = definition;
        run.held = HeldMembers(run, bag ? &*bag : nullptr, command);
        if (!run.settled) run.oldMembers = run.held;
    } else {
        run.oldMembers = bag->list("member");
    }
    if (!run.settled) TakePlaceholder(run);

    step_ = "Process:Open:" + command;
    if (everyStep)
        Log(std::string("Running Query") + CRLF + adsPath + CRLF + command, LogMaximum, EventInformation,
            EventIdInformation, about);
    if (run.settled) {
        // the names stand as the record left them
    } else if (State) {
        CollectFromSync(run, command);
    } else {
        CollectNewMembers(run, command);
    }
    if (everyStep)
        Log(std::string("Counted recordset") + CRLF + adsPath + CRLF +
                std::to_string(static_cast<long long>(NewCount(run)) - 1) +
                ServerLine(run.dl, QueryBase(command)),
            LogMaximum, EventInformation, EventIdInformation, about);
    if (run.settled) return Complete(run);
    // What was read ahead may be a pass old by the time the DL is written: the
    // write is made only while the entry is as read, else the DL is read anew.
    if (run.readAhead) run.dl.WriteOnlyIfCSN = run.csn;

    CheckMembersReadable(run);
    UpdateMembership(run);
    return Complete(run);
}

bool clsQuorvel::Complete(Run& run) {
    run.completed = true;
    LogCompletion(run);
    KeepState(run);
    return true;
}

void clsQuorvel::LookUpRecord(Run& run) {
    run.dl.ReadCSNAfterWrite = true;
    run.saved = State->FindHeader(run.dl.adsPath);
    run.mayTrust = run.saved && !FullPass && Now() - run.saved->lastFullPass < FullPassEvery.count();
}

std::vector<std::string> clsQuorvel::DLAttributes(const Run& run, const std::string& strField) const {
    if (!State) return {"member", strField};
    // A record that may stand for the members spares reading them.
    if (run.mayTrust) return {strField, kEntryCsn};
    return {"member", strField, kEntryCsn};
}

const clsQuorvel::ReadAhead* clsQuorvel::KnownAhead(const Run& run) const {
    if (!run.mayTrust || run.noReadAhead || readAhead_.empty()) return nullptr;
    const auto known = readAhead_.find(platform::lowerAscii(run.dl.distinguishedName));
    return known == readAhead_.end() ? nullptr : &known->second;
}

void clsQuorvel::ReadChanges(const std::vector<std::shared_ptr<DirectoryObject>>& dls, const std::string& strPrefix,
                             const std::string& strField, const std::string& dlSearch) {
    ForgetChanges();
    if (!State || FullPass || dls.empty()) return;
    if (!dlSearch.empty()) ReadDefinitionsAhead(dls.front(), strField, dlSearch);
    for (const auto& dl : dls) {
        const DlSyncState* saved = State->FindHeader(dl->adsPath);
        if (!saved || saved->cookie.empty() || Now() - saved->lastFullPass >= FullPassEvery.count()) continue;
        const auto query = QueryFromDefinition(saved->definition, strPrefix);
        if (!query || !qv::ValidQuery(*query)) continue;
        const std::string base = SplitQuery(*query).front();
        ChangesKey key{saved->server, base, saved->cookie};
        if (changes_.count(key)) continue;
        BaseChanges changes = ReadBaseChanges(*dl->objExchangeStore, base, saved->cookie);
        if (changes.server != saved->server) changes.read = false;  // another server's cookie
        changes_.emplace(std::move(key), std::move(changes));
    }
}

void clsQuorvel::ForgetChanges() {
    changes_.clear();
    readAhead_.clear();
}

// One search of the DLs' container for what each DL's first read would ask.
// Without it (it failed) every DL reads its own.
void clsQuorvel::ReadDefinitionsAhead(const std::shared_ptr<DirectoryObject>& dl, const std::string& strField,
                                      const std::string& dlSearch) {
    try {
        auto cursor = dl->objExchangeStore->GetADSIConnectionObject().execute(
            ReplaceQueryField(dlSearch, 3, "distinguishedName," + strField + "," + kEntryCsn), 1000);
        const std::size_t dn = cursor.indexOf("distinguishedName"), field = cursor.indexOf(strField),
                          csn = cursor.indexOf(kEntryCsn);
        for (; !cursor.eof(); cursor.moveNext())
            readAhead_[platform::lowerAscii(cursor.field(dn).text())] = {cursor.field(field).text(),
                                                                         cursor.field(csn).text()};
    } catch (const Error&) {
        readAhead_.clear();
    }
}

// The record stands for the DL only while the DL entry still carries the
// entryCSN of Quorvel's own last write (nobody edited it since), on the same
// server, for the same definition. A server that keeps no entryCSN never
// lets it stand.
std::vector<std::string> clsQuorvel::HeldMembers(Run& run, const PropertyBag* bag, const std::string& command) {
    if (bag) run.csn = bag->text(kEntryCsn);
    if (!run.mayTrust) return bag->list("member");
    const DlSyncState& saved = *run.saved;
    run.trusted = !run.csn.empty() && run.csn == saved.csn && run.definition == saved.definition &&
                  run.dl.objExchangeStore->AnsweringServer(run.dl.adsPath) == saved.server;
    if (run.trusted && Settled(run, command)) return {};
    // Only a record that stands is read whole: its names are needed.
    if (run.trusted) run.saved = State->Find(run.dl.adsPath);
    run.trusted = run.trusted && run.saved;
    if (run.trusted) return run.saved->members;
    auto again = run.dl.GetPropertiesEx({"member", kEntryCsn});
    run.csn = again.text(kEntryCsn);
    return again.list("member");
}

// From the record: the changes since its cookie applied to the names it
// holds. A server that cannot resume from the cookie (or no longer offers
// synchronisation) gets the query in full.
void clsQuorvel::CollectFromSync(Run& run, const std::string& command) {
    if (!run.trusted || !Resume(run, command)) {
        run.next = SyncInFull(run, command);
        if (!run.next) return CollectNewMembers(run, command);
    }
    const auto& found = run.standsAsSaved ? run.saved->found : run.next->found;
    run.newMembers.clear();
    run.newMembers.reserve(found.size());
    for (const auto& entry : found) run.newMembers.push_back(entry.second);
    std::erase(run.newMembers, run.dl.distinguishedName);
    if (!run.standsAsSaved && run.next->cookie.empty()) run.next.reset();  // nothing to resume from: no record
}

bool clsQuorvel::Resume(Run& run, const std::string& command) {
    if (const BaseChanges* changes = SharedChanges(run, command)) return ResumeShared(run, command, *changes);
    try {
        const auto update = run.dl.objExchangeStore->RefreshSync(command, run.saved->cookie);
        DlSyncState next = *run.saved;
        if (!ApplySyncUpdate(next.found, update)) return false;
        if (!update.cookie.empty()) next.cookie = update.cookie;
        run.next = std::move(next);
        return true;
    } catch (const Error& error) {
        if (error.number() != err::SyncRefreshRequired && error.number() != err::SyncUnavailable) throw;
        return false;
    }
}

const BaseChanges* clsQuorvel::SharedChanges(const Run& run, const std::string& command) const {
    const auto found = changes_.find(ChangesKey{run.saved->server, SplitQuery(command).front(), run.saved->cookie});
    return found == changes_.end() || !found->second.read ? nullptr : &found->second;
}

// Deleted entries leave the names; of the changed ones, one search over the
// DL's own base and scope says which its query finds now. Nothing changed
// below the base: the names stand as they are.
// A record that stands, with nothing changed below its base since its
// cookie, and whose names left its last pass nothing to write, leaves this
// one nothing to write either: the outcome is known without the names.
bool clsQuorvel::Settled(Run& run, const std::string& command) {
    if (!run.saved->settled) return false;
    const BaseChanges* changes = SharedChanges(run, command);
    if (!changes || changes->inFull || !changes->none()) return false;
    run.standsAsSaved = true;
    run.settled = run.saved->settled;
    run.cookie = changes->cookie;
    return true;
}

bool clsQuorvel::ResumeShared(Run& run, const std::string& command, const BaseChanges& changes) {
    if (changes.inFull) return false;
    if (changes.none() && (changes.cookie.empty() || changes.cookie == run.saved->cookie)) {
        run.standsAsSaved = true;  // the record is not even copied unless the DL is written
        return true;
    }
    // The members are the DL's business (KeepState sets them): only the rest of the record is copied.
    const DlSyncState& saved = *run.saved;
    DlSyncState next{saved.definition, saved.server, saved.cookie, saved.found, {}, saved.csn, saved.lastFullPass, {}};
    std::vector<std::pair<std::string, std::string>> now;
    if (!changes.changed.empty()) {
        now = run.dl.objExchangeStore->QueryNamesAndUuids(UuidSearch(command, changes), changes.baseSeen);
        changes.baseSeen = true;
    }
    if (!changes.none()) ApplyBaseChanges(next.found, changes, now);
    if (!changes.cookie.empty()) next.cookie = changes.cookie;
    run.next = std::move(next);
    return true;
}

// The query in full, as a sync search without a cookie: its entries are the
// names, and it ends with the cookie to resume from. Where the server limits
// the size of a search that is not paged, the cookie comes from a search
// that finds nothing and the names from the paged search. Nothing for a
// server without synchronisation: the pass's own search then runs.
std::optional<DlSyncState> clsQuorvel::SyncInFull(Run& run, const std::string& command) {
    auto& store = *run.dl.objExchangeStore;
    DlSyncState next{run.definition, store.AnsweringServer(run.dl.adsPath), {}, {}, {}, {}, Now(), {}};
    try {
        const auto update = store.RefreshSync(command, std::string());
        if (!ApplySyncUpdate(next.found, update)) return std::nullopt;
        next.cookie = update.cookie;
    } catch (const Error& error) {
        const auto number = error.number();
        if (number == err::SyncRefreshRequired || number == err::SyncUnavailable) return std::nullopt;
        if (number != err::SizeLimitExceeded && number != err::AdminLimitExceeded) throw;
        next.cookie = store.RefreshSync(MatchNothing(command), std::string()).cookie;
        for (auto& [dn, uuid] : store.QueryNamesAndUuids(command)) next.found.emplace_back(std::move(uuid), std::move(dn));
    }
    return next;
}

// The record moves on only once the DL holds what it says: after a write
// that succeeded, or when none was needed. A write refused by a safeguard
// or one that failed keeps the record as it was, so the next pass meets the
// same change again.
void clsQuorvel::KeepState(Run& run) {
    if (!State || DryRun || run.safeguardRefused) return;
    if (run.settled) {  // only the cookie may move on
        if (run.cookie.empty() || run.cookie == run.saved->cookie) return;
        DlSyncState header = *run.saved;
        header.cookie = run.cookie;
        State->PutHeader(run.dl.adsPath, header);
        return SaveSoon();
    }
    if (run.standsAsSaved) {
        // nothing moved on, unless the record learns that its names are settled
        if (!run.updated && (run.settled || run.saved->settled || !NothingToWrite(run))) return;
        run.next = *run.saved;
    }
    const std::string& adsPath = run.dl.adsPath;
    if (!run.next) {
        if (run.saved) State->Drop(adsPath), SaveSoon();
        return;
    }
    DlSyncState& next = *run.next;
    next.members = std::move(run.updated ? run.written : run.held);  // the DL's last use of them
    next.csn = run.updated ? run.dl.WrittenCSN : run.csn;
    if (run.updated && next.csn.empty()) {
        try {  // a server that does not return it with the write
            next.csn = run.dl.objExchangeStore->EntryCSN(adsPath);
        } catch (const Error&) {
            // Without it the record could not be checked: the DL runs in full next time.
        }
    }
    if (next.csn.empty()) {
        if (run.saved) State->Drop(adsPath), SaveSoon();
        return;
    }
    next.settled = SettledCount(run, next.members);
    if (run.saved && *run.saved == next) return;  // nothing moved on
    State->Put(adsPath, std::move(next));
    run.saved = nullptr;  // Put replaced it
    SaveSoon();
}

bool clsQuorvel::NothingToWrite(const Run& run) const {
    return !run.updated && !run.rewrite && run.refusal.empty() && run.oldMembers.size() == run.newMembers.size();
}

// How many names the DL holds once it holds `members`, when the names its
// query found this pass would then leave nothing to write: what the next
// pass finds when nothing changes.
std::optional<std::size_t> clsQuorvel::SettledCount(const Run& run, const std::vector<std::string>& members) const {
    if (!run.updated) return NothingToWrite(run) ? std::optional(run.newMembers.size()) : std::nullopt;
    const std::string& placeholder = run.dl.objExchangeStore->EmptyMember();
    if (members == run.newMembers && std::none_of(members.begin(), members.end(), [&](const std::string& member) {
            return !placeholder.empty() && platform::equalsIgnoringCase(member, placeholder);
        }))
        return run.newMembers.size();  // most writes: the names found, as found
    std::vector<std::string> held;
    bool placeholderHeld = false;
    for (const auto& member : members) {
        const bool isPlaceholder = !placeholder.empty() && platform::equalsIgnoringCase(member, placeholder);
        placeholderHeld = placeholderHeld || isPlaceholder;
        if (!isPlaceholder) held.push_back(member);
    }
    if (placeholderHeld && !run.newMembers.empty()) return std::nullopt;
    const auto change = CompareMembership(run.newMembers, held);
    if (change.changed || change.limitRefused) return std::nullopt;
    return run.newMembers.size();
}

std::size_t clsQuorvel::OldCount(const Run& run) { return run.settled ? *run.settled : run.oldMembers.size(); }

std::size_t clsQuorvel::NewCount(const Run& run) { return run.settled ? *run.settled : run.newMembers.size(); }

// The first record that moves on starts the second: a pass shorter than
// that replaces the file once, at its end.
void clsQuorvel::SaveSoon() {
    const auto now = std::chrono::steady_clock::now();
    if (!stateUnsaved_ && lastSave_ == std::chrono::steady_clock::time_point()) lastSave_ = now;
    stateUnsaved_ = true;
    if (now - lastSave_ >= std::chrono::seconds(1)) FlushState();
}

// A record that cannot be saved costs the next pass a full run of the DLs
// concerned, never a wrong membership: it is a warning, said once for each cause.
void clsQuorvel::FlushState() {
    if (!State || !stateUnsaved_) return;
    const std::string problem = State->Save();
    lastSave_ = std::chrono::steady_clock::now();
    stateUnsaved_ = !problem.empty();
    if (problem == stateProblem_) return;
    stateProblem_ = problem;
    if (!problem.empty())
        Log("The state of incremental passes could not be saved: the DLs whose state is not there run in full." +
                std::string(CRLF) + State->Path() + CRLF + problem,
            LogMinimum, EventWarning, EventIdInformation, {});
}

// The names the query finds, in result order, without the DL itself. A
// search that fails raises its error: a failed search must never pass for an
// empty one, which would wipe the membership.
void clsQuorvel::CollectNewMembers(Run& run, const std::string& query) {
    std::string command = query;
    run.newMembers = run.dl.objExchangeStore->QueryNames(command);  // raises the search's error
    std::erase(run.newMembers, run.dl.distinguishedName);
}

// The placeholder an emptied DL keeps is nobody: it is taken out of the
// members before anything counts them.
void clsQuorvel::TakePlaceholder(Run& run) {
    const std::string& placeholder = run.dl.objExchangeStore->EmptyMember();
    if (placeholder.empty()) return;
    std::erase_if(run.oldMembers, [&](const std::string& member) {
        if (!platform::equalsIgnoringCase(member, placeholder)) return false;
        run.placeholder = member;
        return true;
    });
}

// A DL that reads as empty while its query finds people may only look empty:
// servers leave out what the account may not read. Where the program can
// tell (the DL's class must have a member; the server says it holds one of
// the names), nothing is written: the safeguards and the audit would see a
// membership that is not there.
void clsQuorvel::CheckMembersReadable(Run& run) {
    if (!run.oldMembers.empty() || !run.placeholder.empty() || run.newMembers.empty()) return;
    step_ = "Process:GetEX";
    const char* rights = ": this account cannot read its members (it needs to read and compare member), so "
                         "nothing was written.";
    if (run.dl.MustHold("member"))
        throw Error(err::AccessDenied, std::string("The DL reads as having no member where its class must have one") +
                                           rights);
    try {
        if (!run.dl.HoldsValue("member", run.newMembers.front())) return;
    } catch (const Error& error) {
        if (error.number() != err::AccessDenied) {
            if (error.number() == err::ServerDown) throw;
            return;  // the server cannot tell; the read stands
        }
    }
    throw Error(err::AccessDenied, "The server reports member values of this DL that the read did not return" +
                                       std::string(rights));
}

void clsQuorvel::UpdateMembership(Run& run) {
    const auto change = run.compared ? std::move(*run.compared) : CompareMembership(run.newMembers, run.oldMembers);
    if (change.limitRefused) {
        Log(std::string("p_thereIsAnyChange") + CRLF +
                "The new membership will result in a DL that has more than 5000 members." +
                "This is not a good idea, so the DL will not be updated.",
            LogMinimum, EventError, EventIdEngineError, {run.dl.adsPath});
        run.refusal = "more than " + std::to_string(kMaxMembers) + " members";
    }
    if (!change.firstDifference.empty())
        Log(change.firstDifference, LogMinimum, EventInformation, EventIdInformation, {run.dl.adsPath});
    // The placeholder goes as soon as the query finds someone.
    const bool placeholderGoes = !run.placeholder.empty() && !run.newMembers.empty();
    if (change.limitRefused || (!change.changed && !placeholderGoes)) return;
    run.delta = DiffMembership(run.newMembers, run.oldMembers);
    if (!Forced(run.dl.adsPath) && RefusedBySafeguard(run)) return;
    run.rewrite = true;
    if (run.newMembers.empty() && run.dl.MustHold("member")) run.emptyMember = run.dl.objExchangeStore->EmptyMember();

    if (Logs(LogMaximum))
        Log(std::string("PutEx") + CRLF + run.dl.adsPath, LogMaximum, EventInformation, EventIdInformation,
            {run.dl.adsPath});
    if (DryRun) {
        run.updated = true;  // a preview's entries read as the real pass's would
        return;
    }
    WriteMembership(run);
}

bool clsQuorvel::Forced(const std::string& adsPath) const {
    return Force || std::any_of(ForcedDLs.begin(), ForcedDLs.end(),
                                [&](const std::string& path) { return platform::sameObject(path, adsPath); });
}

bool clsQuorvel::RefusedBySafeguard(Run& run) {
    const auto limit =
        SafeguardExceeded(Limits, run.oldMembers.size(), run.newMembers.size(), run.delta.removed.size());
    if (!limit) return false;
    step_ = "p_UpdateDLWithQuery:Safeguard";
    Log(step_ + CRLF + run.dl.adsPath + CRLF + "The change exceeds a safeguard, so the DL will not be updated." +
            CRLF + "Current membership: " + std::to_string(run.oldMembers.size()) + " members" + CRLF +
            "New membership: " + std::to_string(run.newMembers.size()) + " members" + CRLF + "Limit: " + *limit +
            CRLF + "quorvel " + ForceOption(run.dl.adsPath) + " PROFILE writes it regardless, once.",
        LogMinimum, EventError, EventIdEngineError, {run.dl.adsPath});
    run.refusal = *limit;
    run.safeguardRefused = true;
    if (OnProblem) OnProblem(DLProblem{run.dl.adsPath, *limit, true});
    return true;
}

void clsQuorvel::Count(const Run& run, bool succeeded) {
    ++Counters.processed;
    if (run.safeguardRefused)
        ++Counters.refused;
    else if (!succeeded)
        ++Counters.failed;
    if (!run.updated) return;
    Counters.added += run.delta.added.size();
    Counters.removed += run.delta.removed.size();
}

void clsQuorvel::Report(const Run& run) {
    if (!OnOutcome || !run.completed) return;
    OnOutcome(DLOutcome{run.dl.distinguishedName, run.dl.adsPath, OldCount(run), NewCount(run), run.delta,
                        run.rewrite, run.refusal, run.emptyMember,
                        NewCount(run) == 0 ? std::string() : run.placeholder});
}

void clsQuorvel::WriteMembership(Run& run) {
    step_ = "p_UpdateDLWithQuery:PutEX";
    bool written = false;
    bool replaced = true;  // once written, the DL holds the new list as it is (else run.written says what)
    if (run.newMembers.empty() && !run.emptyMember.empty()) {
        written = run.dl.SetPropertyEx("member", std::vector<std::string>{run.emptyMember});
        run.written = {run.emptyMember};
        replaced = false;
    } else if (run.newMembers.empty()) {
        written = run.dl.SetPropertyEx("member", std::string());
    } else if (const auto come = ValuesToAdd(run.delta), gone = ValuesToDelete(run.delta);
               ChangeIsSmaller(gone.size() + come.size(), run.newMembers.size())) {
        // A name respelled goes in its old spelling and comes in its new one;
        // the placeholder goes with the names that go.
        std::vector<std::string> removed = gone;
        if (!run.placeholder.empty()) removed.push_back(run.placeholder);
        written = run.dl.SetPropertyChangeEx("member", removed, come);
        replaced = !written;
        if (written && State) run.written = HeldAfterChange(run.held, removed, come);
        if (!written && IsValueConflict(run.dl.lastError.Number)) written = RewriteAfterConflict(run);
    } else {
        written = run.dl.SetPropertyEx("member", run.newMembers);
    }
    if (!written && run.dl.lastError.Number == err::AssertionFailed) throw EditedSinceRead{};
    if (!written) {
        // Refused rights keep their own entry; any other cause is reported as
        // itself rather than as a lack of rights.
        const auto& failure = run.dl.lastError;
        if (failure.Number != err::AccessDenied && failure.Number != 0)
            throw Error(failure.Number, failure.Description);
        throw Error(err::MembershipWriteFailed,
                    failure.Description.empty() ? "The membership could not be written." : failure.Description);
    }
    if (State && replaced) run.written = run.newMembers;
    run.updated = true;
}

// A change the server refused whole because a value was not as read (the DL
// changed since, or the server refuses a value the change adds back): the DL
// is read again and written as one replace of the whole list.
bool clsQuorvel::RewriteAfterConflict(Run& run) {
    Run again(run.dl);
    again.oldMembers = run.dl.GetPropertiesEx({"member"}).list("member");
    TakePlaceholder(again);
    run.delta = DiffMembership(run.newMembers, again.oldMembers);
    return run.dl.SetPropertyEx("member", run.newMembers);
}

void clsQuorvel::LogCompletion(Run& run) {
    if (!Logs(LogSummary)) return;  // neither the duration nor the text is needed
    const std::string duration = kvor().GetDuration(run.start, std::chrono::system_clock::now(), "H:MM:SS");
    // Who was added and removed travels with the entry as data; nobody when nothing was written.
    static const MembershipDelta nobody;
    const MembershipDelta& names = run.updated ? run.delta : nobody;
    EventData data(run.dl.adsPath);
    data.added = &names.added;
    data.removed = &names.removed;
    kvor().WriteEvent(std::string("DL Completed.") + CRLF + run.dl.adsPath + CRLF + "Before membership: " +
            std::to_string(OldCount(run)) + " members" + CRLF + "Query results: " +
            std::to_string(NewCount(run)) + " members" + CRLF + "Updated: " +
            (run.updated ? "True" : "False") + CRLF + "Time to process: " + duration,
        AppTitle, EventInformation, EventIdInformation, data);
}

void clsQuorvel::HandleError(const Run& run, const Error& error) {
    // The fixed texts below do not give the directory's answer: it travels as data.
    EventData data{run.dl.adsPath, error.description()};
    std::string text;
    switch (error.number()) {
        case err::MembershipWriteFailed:
            text = step_ + CRLF + "Access denied: Quorvel is using credentials that cannot modify the DL";
            break;
        case err::LogonFailure:
            text = step_ + CRLF + "Logon failure: unknown user name or bad password";
            break;
        case err::ServerDown:
            text = step_ + CRLF + "Exchange server not found or not operational" + CRLF + run.dl.adsPath;
            break;
        case err::NoSuchObject:
            text = step_ + CRLF + "Could not find object on Exchange server";
            break;
        default:
            text = step_ + CRLF + run.dl.adsPath + CRLF + "Error " + std::to_string(error.number()) + "[" +
                   HexText(error.number()) + "] : " + error.description();
            data.reason.clear();  // the text gives it
    }
    Log(text, LogMinimum, EventError, EventIdEngineError, data);
    if (OnProblem) OnProblem(DLProblem{run.dl.adsPath, error.description(), false});
}

}  // namespace qv
