#pragma once
// The engine: processes one Quorvel DL. It reads the DL's definition, runs its
// query, compares the names found with the DL's members and, when they differ,
// replaces the membership in one write. Every step and every failure goes to
// the event log; it never shows a window.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/clsKVOR.h"
#include "engine/DLOutcome.h"
#include "engine/Safeguards.h"

namespace qv {

class DirectoryObject;
class Error;

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
    // A DL whose last full pass is older than this gets one.
    std::chrono::seconds FullPassEvery{std::chrono::hours(24)};
    // Totals of every DL processed so far.
    PassCounters Counters;

    // What follow mode watches of a DL: the search its query runs and the
    // cookie its state holds, as the DL's last processing left them.
    struct WatchedQuery {
        std::string command;
        std::string cookie;
    };
    // Nothing when the state holds no cookie for the DL at `adsPath`.
    std::optional<WatchedQuery> FollowedQuery(const std::string& adsPath) const;

    // Processes one DL. True when it was processed to the end (changed or not,
    // and also when the membership limit refused the update); false when it is
    // not Quorvel, its query is invalid, or a step failed (one error entry).
    bool Process(DirectoryObject& dl, const std::string& intLoggingLevel, const std::string& strPrefix,
                 const std::string& strField);

    // The syntax check of a query string.
    bool ValidQuery(const std::string& strQuery) const;

private:
    struct Run;  // the working data of one Process call

    void Steps(Run& run, const std::string& strPrefix, const std::string& strField);
    void CollectNewMembers(Run& run, const std::string& query);
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

    std::string step_;  // names the step in progress; heads every error entry
};

}  // namespace qv
