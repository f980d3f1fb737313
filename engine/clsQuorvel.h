#pragma once
// The engine: processes one Quorvel DL. It reads the DL's definition, runs its
// query, compares the names found with the DL's members and, when they differ,
// replaces the membership in one write. Every step and every failure goes to
// the event log; it never shows a window.
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "core/clsKVOR.h"
#include "engine/BaseChanges.h"
#include "engine/DLOutcome.h"
#include "engine/IncrementalState.h"
#include "engine/Safeguards.h"

namespace qv {

class DirectoryObject;
class Error;
class PropertyBag;

class clsQuorvel {
public:
    // The utility object that writes the log and measures durations; created on first use.
    std::shared_ptr<clsKVOR> objKVORAPI;
    // The logging level in force for this engine's entries, as decimal text.
    std::string LoggingLevel;

    // A preview: every step and entry as usual, but no membership is written.
    bool DryRun = false;
    // The removal limits a change must keep to, unless Force is set or the
    // DL's ADsPath is among ForcedDLs.
    Safeguards Limits;
    bool Force = false;                  // for every DL
    std::vector<std::string> ForcedDLs;  // ADsPaths of the DLs the limits do not hold back
    // Told about each DL whose query ran to the end, when set.
    std::function<void(const DLOutcome&)> OnOutcome;
    // Told about each DL that failed or that a safeguard refused, when set.
    std::function<void(const DLProblem&)> OnProblem;
    // Totals of every DL processed so far.
    PassCounters Counters;
    // Incremental passes: when set, a DL whose record there still holds runs
    // its query as a sync search from the record's cookie instead of in full,
    // and its record moves on after each DL whose write succeeded or that
    // needed none (never in a preview). Null: every DL runs in full, with
    // exactly the requests of a pass without records.
    IncrementalState* State = nullptr;
    bool FullPass = false;  // every DL runs in full (and its record starts anew)
    // A DL whose query last ran in full longer ago than this runs in full.
    std::chrono::seconds FullPassEvery = std::chrono::hours(24);

    // What follow mode watches of a DL: the search its query runs and the
    // cookie its state holds, as the DL's last processing left them.
    struct WatchedQuery {
        std::string command;
        std::string cookie;
    };
    // Nothing when the state holds no cookie for the DL at `adsPath`.
    std::optional<WatchedQuery> FollowedQuery(const std::string& adsPath) const;

    // Before a batch of DLs of an incremental pass: for each distinct
    // (server, query base, cookie) among the DLs whose records may stand, one
    // sync search of the whole base says what changed there, and the DLs
    // sharing it then only search for the changed entries. With `dlSearch`
    // (the search command that found the DLs) their definitions and
    // entryCSNs are read in one search too, sparing each DL its own read.
    // What is read holds until ForgetChanges.
    void ReadChanges(const std::vector<std::shared_ptr<DirectoryObject>>& dls, const std::string& strPrefix,
                     const std::string& strField, const std::string& dlSearch = {});
    void ForgetChanges();

    // Processes one DL. True when it was processed to the end (changed or not,
    // and also when the membership limit refused the update); false when it is
    // not Quorvel, its query is invalid, or a step failed (one error entry).
    bool Process(DirectoryObject& dl, const std::string& intLoggingLevel, const std::string& strPrefix,
                 const std::string& strField);

    // The syntax check of a query string.
    bool ValidQuery(const std::string& strQuery) const;

    // Writes the records that moved on since the last save to the state
    // file. Process saves at most once a second, as the whole file is
    // replaced each time; whoever runs a pass calls this at its end.
    void FlushState();

private:
    struct Run;  // the working data of one Process call
    struct EditedSinceRead {};  // a write made on what was read ahead found the DL edited since
    // A DL's definition and entryCSN as ReadChanges read them.
    struct ReadAhead {
        std::string definition, csn;
    };
    // (server, query base, cookie) of the DLs that share one base's changes.
    using ChangesKey = std::tuple<std::string, std::string, std::string>;

    // False when the DL was edited since its definition was read ahead: it is then processed again, read anew.
    bool Steps(Run& run, const std::string& strPrefix, const std::string& strField);
    // Finds the DL's record and whether it may stand for the DL.
    void LookUpRecord(Run& run);
    // The attributes the first read of the DL asks for.
    std::vector<std::string> DLAttributes(const Run& run, const std::string& strField) const;
    // The DL's definition and entryCSN read ahead, when they may stand in for its read.
    const ReadAhead* KnownAhead(const Run& run) const;
    // The DL's member values: from its record while nobody else wrote the DL, else as read.
    std::vector<std::string> HeldMembers(Run& run, const PropertyBag* bag, const std::string& command);
    // True when the record's settled count gives the DL's outcome (see Run::settled).
    bool Settled(Run& run, const std::string& command);
    // True when the pass leaves the DL as it is: no write, no limit in the way.
    bool NothingToWrite(const Run& run) const;
    std::optional<std::size_t> SettledCount(const Run& run, const std::vector<std::string>& members) const;
    // The counts of the DL's members and of the names its query finds.
    static std::size_t OldCount(const Run& run);
    static std::size_t NewCount(const Run& run);
    // The end of a DL processed to the end: its completion entry and its record.
    bool Complete(Run& run);
    void ReadDefinitionsAhead(const std::shared_ptr<DirectoryObject>& dl, const std::string& strField,
                              const std::string& dlSearch);
    void CollectNewMembers(Run& run, const std::string& query);
    // The names the query finds, from the DL's record and a sync search, or in full.
    void CollectFromSync(Run& run, const std::string& command);
    // True when the record's cookie let the server report what changed.
    bool Resume(Run& run, const std::string& command);
    // The changes ReadChanges read below the base of the DL's query since its cookie; null when none were.
    const BaseChanges* SharedChanges(const Run& run, const std::string& command) const;
    // The record moved on by those changes; false when its query must run in full.
    bool ResumeShared(Run& run, const std::string& command, const BaseChanges& changes);
    std::optional<DlSyncState> SyncInFull(Run& run, const std::string& command);
    // Moves the DL's record on after its write (or when none was needed).
    void KeepState(Run& run);
    // Saves when the last save is a second old.
    void SaveSoon();
    void TakePlaceholder(Run& run);
    // Raises err::AccessDenied where the DL's members cannot have been read.
    void CheckMembersReadable(Run& run);
    bool RewriteAfterConflict(Run& run);
    void UpdateMembership(Run& run);
    // True when the limits do not hold back the DL at `adsPath`.
    bool Forced(const std::string& adsPath) const;
    // True (after its error entry) when a safeguard stops the change.
    bool RefusedBySafeguard(Run& run);
    void Count(const Run& run, bool succeeded);
    void Report(const Run& run);
    // Sends the new membership in one write; raises the write's failure.
    void WriteMembership(Run& run);
    void LogCompletion(Run& run);
    void HandleError(const Run& run, const Error& error);
    // The engine's own logging-level filter in front of the event log; every
    // entry of the engine is about the DL in `data`.
    void Log(const std::string& message, std::int16_t level, std::int16_t type, std::uint32_t eventId,
             const EventData& data);
    // True when entries of `level` are written: the texts of the others are never built.
    bool Logs(std::int16_t level) const;
    clsKVOR& kvor();

    std::string prefix_;  // the definition prefix of the last Process call
    std::string step_;  // names the step in progress; heads every error entry
    std::string stateProblem_;  // why the records could not be saved, as last logged
    bool stateUnsaved_ = false;  // records moved on since the last save
    std::chrono::steady_clock::time_point lastSave_;
    std::map<ChangesKey, BaseChanges> changes_;     // as ReadChanges read them
    std::map<std::string, ReadAhead> readAhead_;    // by the DL's DN in lower case
};

}  // namespace qv
