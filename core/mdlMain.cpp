#include "core/mdlMain.h"

#include <charconv>

#include "platform/FileText.h"
#include "platform/ProgramFolder.h"
#include "platform/Text.h"

namespace qv {
namespace {

// Defaults of settings that are absent.
constexpr const char* DefaultServer = "<Exchange Server>";
constexpr const char* DefaultLoggingLevel = "0";
constexpr const char* DefaultField = "extension-attribute-15";
constexpr const char* DefaultPrefix = "QVL=";
constexpr const char* DefaultAdmin = "false";

bool isTrueText(const std::string& text) { return platform::lowerAscii(text) == "true"; }

// A reader of one setting: section, name, default.
template <class Read>
void loadSettings(Read read, bool withLastServer) {
    ModuleState& m = mdl();
    if (withLastServer) m.strServer = read("General", "LastServer", DefaultServer);
    m.strLoggingLevel = read("General", "LoggingLevel", DefaultLoggingLevel);
    m.strTarget = read("General", "Target", "");
    m.strField = read("General", "Field", DefaultField);
    m.strPrefix = read("General", "Prefix", DefaultPrefix);
    m.objConnection->setUsername(read("Authentication", "User", clsConnection::CurrentUser));
    m.objConnection->setPassword(read("Authentication", "Password", ""));
    m.objConnection->setDomain(read("Authentication", "Domain", ""));
    m.objConnection->setAdmin(isTrueText(read("Authentication", "Admin", DefaultAdmin)));
}

}  // namespace

ModuleState& mdl() {
    static ModuleState state;
    return state;
}

void ResetModuleState() { mdl() = ModuleState{}; }

void LoadRegistrySettings(const std::string& strKey) {
    loadSettings(
        [&](const char* section, const char* name, const char* fallback) {
            return mdl().objKVORAPI->GetPrivateProfileStringFromREG(section, name, fallback, strKey);
        },
        true);
}

void LoadProfileSettings(const std::string& strPath) {
    loadSettings(
        [&](const char* section, const char* name, const char* fallback) {
            return mdl().objKVORAPI->GetPrivateProfileString(section, name, fallback, strPath);
        },
        false);
}

void SaveSettings(const std::string& strKey) {
    ModuleState& m = mdl();
    auto save = [&](const char* section, const char* name, const std::string& data) {
        m.objKVORAPI->SavePrivateProfileStringToREG(section, name, data, strKey);
    };
    if (!m.strServer.empty()) save("General", "LastServer", m.strServer);
    save("General", "LoggingLevel", m.strLoggingLevel);
    save("General", "Field", m.strField);
    save("General", "Prefix", m.strPrefix);
    save("Authentication", "User", m.objConnection->Username());
    save("Authentication", "Password", m.objConnection->Password());
    save("Authentication", "Domain", m.objConnection->Domain());
    save("Authentication", "Admin", m.objConnection->Admin() ? "True" : "False");
}

void ExitProgram(bool blnSave) {
    try {
        if (blnSave) SaveSettings(SettingsKey);
    } catch (...) {
        // Leaving must not fail: errors are ignored from here on.
    }
}

std::int16_t LoggingLevelValue(const std::string& strLoggingLevel) {
    std::string text(platform::trimBlanks(strLoggingLevel));
    if (!text.empty() && text.front() == '+') text.erase(0, 1);
    std::int16_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return 0;
    return value;
}

void LogEvent(const std::string& strMessage, std::int16_t intLevel, std::int16_t intLogType,
              std::uint32_t lngEventID, const EventData& data) {
    ModuleState& m = mdl();
    if (LoggingLevelValue(m.strLoggingLevel) < intLevel) return;
    m.objKVORAPI->WriteEvent(strMessage, AppTitle, intLogType, lngEventID, data);
}

std::string CommandLineText(int argc, const char* const* argv) {
    std::string text;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) text += ' ';
        text += argv[i];
    }
    return text;
}

StartRequest ReadStartRequest(const std::string& argumentText, const std::string& programFolder) {
    std::string text(platform::trimBlanks(argumentText));
    if (text.empty()) return {};
    if (text.find('"') != std::string::npos) {
        // Taken to be wholly enclosed in quotes. A lone quote leaves nothing.
        text = text.size() >= 2 ? text.substr(1, text.size() - 2) : std::string();
    }
    if (platform::trimBlanks(text).empty()) return {StartRequest::Mode::NoProfile, {}, {}, false};
    if (text.find('/') != std::string::npos || text.find('\\') != std::string::npos)
        return {StartRequest::Mode::Profile, text, text};
    std::string folder = programFolder;
    if (folder.empty() || folder.back() != '/') folder += '/';
    return {StartRequest::Mode::Profile, folder + text, text, true};
}

StartRequest ReadStartRequest(const std::string& argumentText) {
    return ReadStartRequest(argumentText, platform::programFolder());
}

std::string ProfileUnreadableReason(const std::string& path) { return platform::fileReadProblem(path); }

}  // namespace qv
