#include "engine/ProcessingPasses.h"

#include "core/ErrorText.h"
#include "core/mdlMain.h"
#include "directory/DirObjects.h"
#include "directory/DirectoryObject.h"
#include "directory/clsExchangeStore.h"
#include "engine/QueryOnField.h"
#include "engine/clsQuorvel.h"
#include "platform/AdsPath.h"
#include "platform/Error.h"
#include "platform/LdapFilter.h"

namespace qv {
namespace {

bool processDl(DirectoryObject& dl) {
    auto& m = mdl();
    return m.objQuorvel->Process(dl, m.strLoggingLevel, m.strPrefix, m.strField);
}

void show(ProgressWindow* window, const std::string& status) {
    if (!window) return;
    window->setStatus(status);
    window->repaint();
}

// A container search that failed is not the same as one that found nothing:
// its cause is logged as an error before the pass reports that it found no DL.
void logSearchFailure(const std::string& command, const std::string& container, const Error& error) {
    LogEvent("Process:Open:" + command + "\r\n" + container + "\r\nError " + std::to_string(error.number()) +
                 "[" + HexText(error.number()) + "] : " + error.description(),
             LogMinimum, EventError, EventIdEngineError);
}

}  // namespace

bool ProcessOneDL(ProgressWindow* window) {
    auto dl = mdl().objDirObjects->Item(1);
    if (window) window->setMaximum(1);
    LogEvent("Quorvel is beginning a pass on  " + dl->adsPath, LogSummary, EventInformation, EventIdInformation,
             {dl->adsPath});
    const bool result = processDl(*dl);
    mdl().objQuorvel->FlushState();
    LogEvent("Quorvel is ending a pass on " + dl->adsPath, LogSummary, EventInformation, EventIdInformation,
             {dl->adsPath});
    if (window) {
        window->setValue(1);
        show(window, "Processed " + std::to_string(window->maximum()) + " distribution list.");
    }
    return result;
}

bool ProcessContainer(ProgressWindow* window) {
    const std::string container = mdl().objDirObjects->Item(1)->adsPath;
    LogEvent("Quorvel is beginning a pass on all Quorvel distribution lists in " + container, LogSummary,
             EventInformation, EventIdInformation);
    bool result = true;
    std::string command = QuorvelDlSearch(container);
    const std::string sent = command;
    auto found = QueryOnField(mdl().strField, command);
    if (!found) logSearchFailure(sent, container, *found.error());
    if (!found || found.objects().Count() == 0) {
        LogEvent("Could not find one Quorvel in " + container, LogMinimum, EventWarning, EventIdInformation,
                 {{}, found ? std::string() : found.error()->description()});
        result = false;
    } else {
        const DirObjects& dls = found.objects();
        const std::int64_t n = dls.Count();
        if (window) {
            window->setMaximum(n);
            show(window, std::to_string(n) + " DL's to process.");
        }
        auto& engine = *mdl().objQuorvel;
        engine.ReadChanges({dls.begin(), dls.end()}, mdl().strPrefix, mdl().strField, sent);
        std::int64_t i = 0;
        for (const auto& dl : dls) {
            result = processDl(*dl) && result;
            if (!window) continue;
            window->setValue(++i);
            show(window, "Processed " + std::to_string(window->value()) + " of " +
                             std::to_string(window->maximum()) + ".");
        }
    }
    mdl().objQuorvel->ForgetChanges();
    mdl().objQuorvel->FlushState();
    show(window, "Processed " + std::to_string(window ? window->maximum() : 0) + " distribution lists.");
    LogEvent("Quorvel is ending a pass on all Quorvel distribution lists in " + container, LogSummary,
             EventInformation, EventIdInformation);
    return result;
}

// The prefix is escaped so that a prefix holding "*", "(" or ")" cannot widen
// the pass; only the trailing "*" is a wildcard. A ";" in a container's name
// must not end the base.
std::string QuorvelDlSearch(const std::string& container) {
    const auto& m = mdl();
    return "<" + platform::searchBaseOf(container) + ">;(&((objectClass=groupOfNames)(" + m.strField + "=" +
           platform::escapeFilterValue(m.strPrefix) + "*)));;subtree";
}

QueryResult FindQuorvelDLs(const std::string& adsPath) {
    std::string command = QuorvelDlSearch(adsPath);
    return QueryOnField(mdl().strField, command);
}

}  // namespace qv
