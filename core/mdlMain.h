#pragma once
// The main module: the state every part of the program shares, the settings
// that fill it, the logging-level filter in front of the event log, and the
// reading of the command line of an unattended run.
#include <cstdint>
#include <memory>
#include <string>

#include "core/clsKVOR.h"
#include "directory/DirObjects.h"
#include "directory/clsConnection.h"
#include "directory/clsExchangeStore.h"

namespace qv {

class clsQuorvel;

// Where the console keeps its settings, below the current user's root key.
inline constexpr const char* SettingsKey = "SOFTWARE\\KVOR\\Quorvel\\Version 1.0";
// The application's title: the source of its event-log entries.
inline constexpr const char* AppTitle = "Quorvel";

// Logging levels: the least setting at which an entry is written.
inline constexpr std::int16_t LogMinimum = 0;
inline constexpr std::int16_t LogSummary = 1;
inline constexpr std::int16_t LogMaximum = 2;

// Event types and IDs of the entries the program writes.
inline constexpr std::int16_t EventSuccess = 0;
inline constexpr std::int16_t EventError = 1;
inline constexpr std::int16_t EventWarning = 2;
inline constexpr std::int16_t EventInformation = 4;
inline constexpr std::uint32_t EventIdInformation = 4096;        // information and warnings
inline constexpr std::uint32_t EventIdEngineError = 3221229569u; // 0xC0001001, the engine's errors

// A shared object created on first use and kept until the state is reset.
template <class T>
class FirstUse {
public:
    const std::shared_ptr<T>& get() {
        if (!object_) object_ = std::make_shared<T>();
        return object_;
    }
    T* operator->() { return get().get(); }
    T& operator*() { return *get(); }
    // Replaces the object; the next use of an empty one creates a fresh one.
    FirstUse& operator=(std::shared_ptr<T> object) {
        object_ = std::move(object);
        return *this;
    }
    bool exists() const { return object_ != nullptr; }

private:
    std::shared_ptr<T> object_;
};

// The module-wide state. Settings are held as text, as they are stored.
struct ModuleState {
    std::string strPrefix;        // "Prefix": the Quorvel prefix of a stored definition
    std::string strField;         // "Field": the attribute that holds the definition
    std::string strTarget;        // "Target": the object an unattended run processes
    std::string strLoggingLevel;  // "LoggingLevel" as decimal text
    std::string strProfile;       // full path of the profile named on the command line
    std::string strServer;        // "LastServer": the server last connected to

    FirstUse<clsConnection> objConnection;        // the credentials of every bind
    FirstUse<clsKVOR> objKVORAPI;                 // settings store, profile reader, event log
    FirstUse<clsExchangeStore> objExchangeStore;  // the open directory store
    // The current selection: item 1 is what a pass or a command works on.
    // Null after a search that failed ("nothing"), never an empty stand-in.
    std::shared_ptr<DirObjects> objDirObjects;
    FirstUse<clsQuorvel> objQuorvel;              // the engine (created where the engine is known)
};

// The one module state of the process.
ModuleState& mdl();
// Back to the state of a fresh process (for tests).
void ResetModuleState();

// The settings of the console from the current user's store below strKey.
void LoadRegistrySettings(const std::string& strKey);
// The settings of an unattended run from the profile file strPath ("LastServer" is not read).
void LoadProfileSettings(const std::string& strPath);
// Writes the settings back below strKey ("Target" never; "LastServer" only when known).
void SaveSettings(const std::string& strKey);
// The one way out: saves the settings when blnSave is true and ignores every
// error from then on. Returns to the caller, which ends the process.
void ExitProgram(bool blnSave);

// The logging level as a 16-bit number; a text that is not a whole number
// within 16 bits (after trimming blanks) reads as 0.
std::int16_t LoggingLevelValue(const std::string& strLoggingLevel);
// Writes one entry through objKVORAPI unless the logging level is below intLevel.
void LogEvent(const std::string& strMessage, std::int16_t intLevel, std::int16_t intLogType,
              std::uint32_t lngEventID, const EventData& data = {});

// What the command line asks for.
struct StartRequest {
    enum class Mode {
        Console,   // no argument (or only blanks)
        Profile,   // an unattended run with the profile at `profilePath`
        NoProfile  // an argument that names no file, such as a lone quote
    };
    Mode mode = Mode::Console;
    std::string profilePath;
    std::string argument;          // the profile as named, unquoted
    bool inProgramFolder = false;  // a bare name, looked for beside the program
};

// The whole argument text: the arguments joined with single spaces.
std::string CommandLineText(int argc, const char* const* argv);
// The request of an argument text: blanks trimmed; a text that holds a double
// quote anywhere loses its first and last character; a text with "/" or "\"
// is the profile path unchanged, any other names a file in programFolder.
StartRequest ReadStartRequest(const std::string& argumentText, const std::string& programFolder);
// The same, relative to the folder of the running program.
StartRequest ReadStartRequest(const std::string& argumentText);
// Why the profile at `path` cannot be read (empty when it can).
std::string ProfileUnreadableReason(const std::string& path);

}  // namespace qv
