#pragma once
// The utility object: the per-user settings store ("registry") and profile
// (INI) primitives, the event log, the duration formats and a few small
// services. One instance, objKVORAPI, belongs to the main module.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace qv {

// Root keys of the settings store. Each root is kept in its own file
// (named after the root) in the user's settings folder.
inline constexpr std::uint32_t HKEY_CLASSES_ROOT = 0x80000000u;
inline constexpr std::uint32_t HKEY_CURRENT_USER = 0x80000001u;
inline constexpr std::uint32_t HKEY_LOCAL_MACHINE = 0x80000002u;
inline constexpr std::uint32_t HKEY_USERS = 0x80000003u;
inline constexpr std::uint32_t HKEY_CURRENT_CONFIG = 0x80000005u;

// What an event-log entry carries as data beside its message.
struct EventData {
    EventData() = default;
    EventData(std::string aboutDl, std::string why = {}) : dl(std::move(aboutDl)), reason(std::move(why)) {}

    std::string dl;      // the ADsPath of the DL the entry is about
    std::string reason;  // the directory's answer, where the message does not give it
    const std::vector<std::string>* added = nullptr;    // on a DL's summary: the names it gained
    const std::vector<std::string>* removed = nullptr;  // and the names it lost
};

class clsKVOR {
public:
    using DateTime = std::chrono::system_clock::time_point;

    // Largest value GetKeyValue reads, in bytes; longer values read as absent.
    static constexpr std::size_t MaxRegistryValue = 1024;
    // Largest profile value GetPrivateProfileString returns, in characters.
    static constexpr std::size_t MaxProfileValue = 254;

    // Reads one value of key KeyName. True when the key and value exist and the
    // value fits the limit: a string value gives its text, a number (dword) its
    // decimal text, any other type leaves KeyVal as passed in. False: KeyVal = "".
    bool GetKeyValue(std::uint32_t KeyRoot, const std::string& KeyName, const std::string& SubKeyRef,
                     std::string& KeyVal);
    // Creates the key if needed and writes one string value; an empty text is
    // stored as a single space.
    bool UpdateKey(std::uint32_t KeyRoot, const std::string& KeyName, const std::string& SubKeyName,
                   const std::string& SubKeyValue);
    // Deletes a key that has no subkeys.
    bool DeleteKey(std::uint32_t KeyRoot, const std::string& KeyName);

    // Value strValue of key strPath\strSection under the current user, or strDefault.
    std::string GetPrivateProfileStringFromREG(const std::string& strSection, const std::string& strValue,
                                               const std::string& strDefault, const std::string& strPath);
    // Writes value strValue of key strPath\strSection under the current user; failures are silent.
    void SavePrivateProfileStringToREG(const std::string& strSection, const std::string& strValue,
                                       const std::string& strData, const std::string& strPath);
    // Key strValue of section strSection of the profile file strPath, or
    // strDefault; without leading or trailing blanks, at most 254 characters.
    std::string GetPrivateProfileString(const std::string& strSection, const std::string& strValue,
                                        const std::string& strDefault, const std::string& strPath);

    // Writes one event-log entry (category 1) with source strTitle; failures are silent.
    void WriteEvent(const std::string& strMessage, const std::string& strTitle, std::int16_t intLogType,
                    std::uint32_t lngEventID);
    // The same, with data beside the message.
    void WriteEvent(const std::string& strMessage, const std::string& strTitle, std::int16_t intLogType,
                    std::uint32_t lngEventID, const EventData& data);

    // Marks the entries written from now on as those of a preview, which writes nothing.
    bool Preview = false;

    // The time from dtmStart to dtmEnd in one of the formats "D H", "D H M",
    // "D H M S", "D H:MM", "D HH:MM", "D HH:MM:SS", "H M", "H:MM", "H:MM:SS",
    // "M S", "M:SS"; any other format name gives the empty text.
    std::string GetDuration(DateTime dtmStart, DateTime dtmEnd, const std::string& strFormat);

    // strInput with every character equal to chrOld replaced by chrNew.
    // Characters are UTF-8 sequences; a chrOld that is not one character matches nothing.
    std::string SwapChar(const std::string& strInput, const std::string& chrOld, const std::string& chrNew);

    // A signal tone of lngDuration milliseconds.
    void Beep(std::int32_t lngFreq, std::int32_t lngDuration);

    // Opens strEXE (a program, document or web address) with the verb strAction;
    // above 32 on success.
    std::int32_t ShellExecute(const std::string& strEXE, const std::string& strCommandLine,
                              const std::string& strAction, const std::string& strWorkingDirectory,
                              std::int32_t longShow);

private:
    std::string GetTimeSeparator();
};

}  // namespace qv
