#pragma once
// The per-user settings store: a hierarchy of keys (paths such as
// "SOFTWARE\KVOR\Quorvel\Version 1.0\General") holding named, typed values,
// kept in one text file per root key under $XDG_CONFIG_HOME/KVOR/.
//
// The file is human-readable; each key is a section and each value a line:
//
//   [SOFTWARE\KVOR\Quorvel\Version 1.0\General]
//   "LastServer"="ldap01"
//   "Retries"=dword:0000000a
//   "Blob"=hex:01,ff
//
// Names and string data are quoted; inside the quotes \\ \" \n \r \t and \xHH
// stand for a backslash, a quote, the control characters and any other byte
// below 0x20 or 0x7f. Key and value names are compared without regard to
// (ASCII) case and keep the case they were created with. Lines that cannot be
// read are ignored, so a damaged file reads as if those values were absent.
//
// Every change rewrites the whole file: into a temporary file in the same
// folder, flushed to disk, then renamed over the old one, so a failed write
// leaves the old file whole. The file is created with mode 0600 (it may hold
// a password) and its mode is never widened.
#include <cstdint>
#include <optional>
#include <string>

namespace qv::platform {

enum class SettingsValueType { String, Dword, Binary };

struct SettingsValue {
    SettingsValueType type = SettingsValueType::String;
    std::string bytes;       // String and Binary data
    std::uint32_t dword = 0; // Dword data
};

class SettingsFile {
public:
    // The store of one root key, e.g. "HKEY_CURRENT_USER", in the settings folder.
    static SettingsFile forRoot(const std::string& rootName);
    // $XDG_CONFIG_HOME/KVOR (default ~/.config/KVOR).
    static std::string folder();

    explicit SettingsFile(std::string path);
    const std::string& path() const { return path_; }

    // True when the key exists (it holds values or has subkeys).
    bool keyExists(const std::string& keyPath) const;
    // The value, or nothing when the file, key or value is absent or unreadable.
    std::optional<SettingsValue> value(const std::string& keyPath, const std::string& name) const;

    // Creates the key (and its parents) if needed and sets one value.
    bool setValue(const std::string& keyPath, const std::string& name, const SettingsValue& value);
    // Creates the key if needed; true when it exists afterwards.
    bool createKey(const std::string& keyPath);
    // Removes a key with its values; fails when it has subkeys or does not exist.
    bool deleteKey(const std::string& keyPath);

private:
    std::string path_;
};

}  // namespace qv::platform
