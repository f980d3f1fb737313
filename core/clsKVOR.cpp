#include "core/clsKVOR.h"

#include <optional>

#include "platform/EventLog.h"
#include "platform/IniFile.h"
#include "platform/SettingsFile.h"
#include "platform/Shell.h"
#include "platform/TimeSeparator.h"
#include "platform/Tone.h"

namespace qv {
namespace {

std::optional<platform::SettingsFile> storeFor(std::uint32_t root) {
    switch (root) {
        case HKEY_CLASSES_ROOT: return platform::SettingsFile::forRoot("HKEY_CLASSES_ROOT");
        case HKEY_CURRENT_USER: return platform::SettingsFile::forRoot("HKEY_CURRENT_USER");
        case HKEY_LOCAL_MACHINE: return platform::SettingsFile::forRoot("HKEY_LOCAL_MACHINE");
        case HKEY_USERS: return platform::SettingsFile::forRoot("HKEY_USERS");
        case HKEY_CURRENT_CONFIG: return platform::SettingsFile::forRoot("HKEY_CURRENT_CONFIG");
        default: return std::nullopt;
    }
}

// The value's data as the store hands it out: a dword as its four bytes.
std::string rawData(const platform::SettingsValue& value) {
    if (value.type != platform::SettingsValueType::Dword) return value.bytes;
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) bytes[std::size_t(i)] = char((value.dword >> (8 * i)) & 0xff);
    return bytes;
}

std::string trimSpaces(const std::string& text) {
    auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// Floor division: the quotient rounded towards minus infinity.
std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    if (a % b != 0 && ((a < 0) != (b < 0))) --q;
    return q;
}

std::string number(std::int64_t n) { return std::to_string(n); }

// At least two digits: 3 -> "03".
std::string twoDigits(std::int64_t n) {
    std::string text = std::to_string(n);
    return (n >= 0 && n < 10) ? "0" + text : text;
}

std::string counted(std::int64_t n, const char* unit) {
    return number(n) + " " + unit + (n == 1 ? "" : "s");
}

// Length of the UTF-8 sequence that starts with `lead` (1 for a stray byte).
std::size_t sequenceLength(unsigned char lead) {
    if (lead >= 0xf0 && lead <= 0xf7) return 4;
    if (lead >= 0xe0) return lead <= 0xef ? 3 : 1;
    if (lead >= 0xc2) return 2;
    return 1;
}

// The character at `pos`: one valid UTF-8 sequence, or a single byte.
std::size_t characterLength(const std::string& text, std::size_t pos) {
    std::size_t n = sequenceLength((unsigned char)text[pos]);
    if (pos + n > text.size()) return 1;
    for (std::size_t i = 1; i < n; ++i)
        if (((unsigned char)text[pos + i] & 0xc0) != 0x80) return 1;
    return n;
}

}  // namespace

bool clsKVOR::GetKeyValue(std::uint32_t KeyRoot, const std::string& KeyName, const std::string& SubKeyRef,
                          std::string& KeyVal) {
    auto store = storeFor(KeyRoot);
    std::optional<platform::SettingsValue> value;
    if (store) value = store->value(KeyName, SubKeyRef);  // absent key or value alike
    const std::string data = value ? rawData(*value) : std::string();
    if (!value || data.size() > MaxRegistryValue) {
        KeyVal.clear();
        return false;
    }
    // A stored terminating zero is not part of the text.
    std::string text = (!data.empty() && data.back() == '\0') ? data.substr(0, data.size() - 1) : data;
    if (value->type == platform::SettingsValueType::String) KeyVal = text;
    if (value->type == platform::SettingsValueType::Dword) KeyVal = std::to_string(value->dword);
    return true;
}

bool clsKVOR::UpdateKey(std::uint32_t KeyRoot, const std::string& KeyName, const std::string& SubKeyName,
                        const std::string& SubKeyValue) {
    auto store = storeFor(KeyRoot);
    if (!store) return false;
    platform::SettingsValue value{platform::SettingsValueType::String, SubKeyValue.empty() ? " " : SubKeyValue, 0};
    return store->setValue(KeyName, SubKeyName, value);
}

bool clsKVOR::DeleteKey(std::uint32_t KeyRoot, const std::string& KeyName) {
    auto store = storeFor(KeyRoot);
    return store && store->deleteKey(KeyName);
}

std::string clsKVOR::GetPrivateProfileStringFromREG(const std::string& strSection, const std::string& strValue,
                                                    const std::string& strDefault, const std::string& strPath) {
    std::string value;
    if (GetKeyValue(HKEY_CURRENT_USER, strPath + "\\" + strSection, strValue, value)) return value;
    return strDefault;
}

void clsKVOR::SavePrivateProfileStringToREG(const std::string& strSection, const std::string& strValue,
                                            const std::string& strData, const std::string& strPath) {
    UpdateKey(HKEY_CURRENT_USER, strPath + "\\" + strSection, strValue, strData);
}

std::string clsKVOR::GetPrivateProfileString(const std::string& strSection, const std::string& strValue,
                                             const std::string& strDefault, const std::string& strPath) {
    std::string text = trimSpaces(
        platform::readProfileString(strPath, strSection, strValue, strDefault, MaxProfileValue + 1));
    if (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
}

namespace {

platform::EventEntry entryOf(const std::string& strMessage, const std::string& strTitle, std::int16_t intLogType,
                             std::uint32_t lngEventID, bool preview) {
    platform::EventEntry entry;
    entry.source = strTitle;
    entry.type = std::uint16_t(intLogType);
    entry.category = 1;
    entry.eventId = lngEventID;
    entry.message = strMessage.substr(0, strMessage.find('\0'));  // the entry holds a zero-terminated text
    entry.preview = preview;
    return entry;
}

void report(const platform::EventEntry& entry) {
    try {
        platform::reportEvent(entry);
    } catch (...) {
        // The event log must never stop the program.
    }
}

}  // namespace

void clsKVOR::WriteEvent(const std::string& strMessage, const std::string& strTitle, std::int16_t intLogType,
                         std::uint32_t lngEventID) {
    report(entryOf(strMessage, strTitle, intLogType, lngEventID, Preview));
}

void clsKVOR::WriteEvent(const std::string& strMessage, const std::string& strTitle, std::int16_t intLogType,
                         std::uint32_t lngEventID, const EventData& data) {
    try {
        auto entry = entryOf(strMessage, strTitle, intLogType, lngEventID, Preview);
        entry.dl = data.dl;
        entry.reason = data.reason;
        if (data.added && data.removed) entry.members = platform::EventMembers{*data.added, *data.removed};
        report(entry);
    } catch (...) {
        // Not even running out of memory for the names stops the program.
    }
}

std::string clsKVOR::GetDuration(DateTime dtmStart, DateTime dtmEnd, const std::string& strFormat) {
    using std::chrono::floor;
    using std::chrono::seconds;
    const std::int64_t s = (floor<seconds>(dtmEnd) - floor<seconds>(dtmStart)).count();
    const std::int64_t D = floorDiv(s, 86400), TH = floorDiv(s, 3600), TM = floorDiv(s, 60);
    const std::int64_t h = TH - 24 * D, m = TM - 60 * TH, sec = s - 60 * TM;
    const std::int64_t hR = m > 30 ? h + 1 : h;
    const std::int64_t mR = sec > 30 ? m + 1 : m;
    const std::string days = number(D) + (D == 1 ? " Day" : " Days");

    if (strFormat == "D H") return days + " " + counted(hR, "Hour");
    if (strFormat == "D H M") return days + " " + counted(h, "Hour") + " " + counted(mR, "Minute");
    if (strFormat == "D H M S")
        return days + " " + counted(h, "Hour") + " " + counted(m, "Minute") + " " + counted(sec, "Second");
    if (strFormat == "H M") return counted(TH, "Hour") + " " + counted(mR, "Minute");
    if (strFormat == "M S") return counted(TM, "Minute") + " " + counted(sec, "Second");

    const std::string sep = GetTimeSeparator();
    if (strFormat == "D H:MM") return days + " " + number(h) + sep + twoDigits(mR);
    if (strFormat == "D HH:MM") return days + " " + twoDigits(h) + sep + twoDigits(mR);
    if (strFormat == "D HH:MM:SS") return days + " " + twoDigits(h) + sep + twoDigits(m) + sep + twoDigits(sec);
    if (strFormat == "H:MM") return number(TH) + sep + twoDigits(mR);
    if (strFormat == "H:MM:SS") return number(TH) + sep + twoDigits(m) + sep + twoDigits(sec);
    if (strFormat == "M:SS") return number(TM) + sep + twoDigits(sec);
    return {};
}

std::string clsKVOR::SwapChar(const std::string& strInput, const std::string& chrOld, const std::string& chrNew) {
    std::string result;
    result.reserve(strInput.size());
    for (std::size_t pos = 0; pos < strInput.size();) {
        std::size_t n = characterLength(strInput, pos);
        if (strInput.compare(pos, n, chrOld) == 0)
            result += chrNew;
        else
            result.append(strInput, pos, n);
        pos += n;
    }
    return result;
}

void clsKVOR::Beep(std::int32_t lngFreq, std::int32_t lngDuration) { platform::soundTone(lngFreq, lngDuration); }

std::int32_t clsKVOR::ShellExecute(const std::string& strEXE, const std::string& strCommandLine,
                                   const std::string& strAction, const std::string& strWorkingDirectory,
                                   std::int32_t longShow) {
    return platform::shellExecute(strEXE, strCommandLine, strAction, strWorkingDirectory, longShow);
}

std::string clsKVOR::GetTimeSeparator() { return platform::timeSeparator(); }

}  // namespace qv
