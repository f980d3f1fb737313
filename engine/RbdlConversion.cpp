#include "engine/RbdlConversion.h"

#include "core/ErrorText.h"
#include "core/mdlMain.h"
#include "directory/DirObjects.h"
#include "directory/DirectoryObject.h"
#include "directory/clsExchangeStore.h"
#include "engine/QueryOnField.h"
#include "platform/AdsPath.h"
#include "platform/Error.h"
#include "platform/LdapFilter.h"
#include "platform/Text.h"
#include "platform/Utf8.h"

namespace qv {
namespace {

std::string trimBlanks(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The search for every RBDL below the container. The prefix is escaped so
// that only the trailing "*" is a wildcard.
std::string rbdlSearch(const RbdlConversionRequest& r) {
    return trimBlanks("<" + platform::searchBaseOf(r.container) + ">;(&(objectClass=groupOfNames)(" + r.rbdlField + "=" +
                      platform::escapeFilterValue(r.rbdlPrefix) + "*));;subtree");
}

std::string errorText(std::int32_t number, const std::string& description) {
    return "Error " + std::to_string(number) + "[" + HexText(number) + "] : " + description;
}

void logWriteFailure(const DirectoryObject& dl, const std::string& field, const std::string& error) {
    LogEvent("RBDL:SetPropertyEx:" + field + "\r\n" + dl.adsPath + "\r\n" + error, LogMinimum, EventError,
             EventIdEngineError, {dl.adsPath});
}

// Writes one attribute; on failure logs it and keeps the reason in `outcome`.
bool write(DirectoryObject& dl, const std::string& field, const std::string& value,
           RbdlConversionOutcome& outcome) {
    try {
        if (dl.SetPropertyEx(field, value)) return true;
        outcome.error = errorText(dl.lastError.Number, dl.lastError.Description);
    } catch (const Error& e) {
        outcome.error = errorText(e.number(), e.description());
    }
    logWriteFailure(dl, field, outcome.error);
    return false;
}

RbdlConversionOutcome convertOne(DirectoryObject& dl, const RbdlConversionRequest& r) {
    RbdlConversionOutcome outcome;
    outcome.adsPath = dl.adsPath;
    outcome.cn = dl.cn;
    std::string definition;
    try {
        definition = dl.GetPropertiesEx({r.rbdlField}).text(r.rbdlField);
    } catch (const Error& e) {
        outcome.error = errorText(e.number(), e.description());
        logWriteFailure(dl, r.rbdlField, outcome.error);
        return outcome;
    }
    // The search matched the prefix; it is cut by its length, not compared again.
    const auto cut = platform::utf8Offset(definition, platform::utf8Length(r.rbdlPrefix));
    const std::string query = definition.substr(std::min(cut, definition.size()));
    outcome.copied = write(dl, r.newField, r.newPrefix + query, outcome);
    // The old definition goes only once the new one is safely written.
    if (outcome.copied && r.move) outcome.cleared = write(dl, r.rbdlField, std::string(), outcome);
    return outcome;
}

}  // namespace

bool ClearsNewDefinition(const RbdlConversionRequest& request) {
    return request.move && platform::equalsIgnoringCase(platform::trimBlanks(request.rbdlField),
                                                        platform::trimBlanks(request.newField));
}

RbdlConversionResult ConvertRbdl(const RbdlConversionRequest& request) {
    const std::string& c = request.container;
    RbdlConversionResult result;
    if (ClearsNewDefinition(request)) {
        result.refused = true;
        LogEvent("RBDL:" + request.rbdlField + "\r\n" + c + "\r\n" + SameFieldRefusal, LogMinimum, EventError,
                 EventIdEngineError);
        return result;
    }
    LogEvent("Quorvel is beginning a conversion pass on all RBDL distribution lists in " + c, LogSummary,
             EventInformation, EventIdInformation);
    std::string command = rbdlSearch(request);
    auto found = QueryOnField(request.rbdlField, command);
    if (!found) {
        result.searchFailed = true;
        result.searchError = errorText(found.error()->number(), found.error()->description());
        LogEvent("RBDL:Query:" + command + "\r\n" + c + "\r\n" + result.searchError, LogMinimum, EventError,
                 EventIdEngineError);
    }
    if (!found || found.objects().Count() == 0) {
        LogEvent("Could not find one RBDL in " + c, LogMinimum, EventSuccess, EventIdInformation);
    } else {
        for (const auto& dl : found.objects()) result.dls.push_back(convertOne(*dl, request));
    }
    LogEvent("Quorvel is ending a pass on all RBDL distribution lists in " + c, LogSummary, EventInformation,
             EventIdInformation);
    return result;
}

}  // namespace qv
