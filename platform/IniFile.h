#pragma once
// Reading one value from an INI-format file, with the classic profile rules:
// section and key names are matched without regard to (ASCII) case and with
// blanks around them ignored; the first matching key wins (sections of the
// same name are searched in file order); lines whose first non-blank
// character is ";" are comments; the value is trimmed of blanks, and one pair
// of matching quotes ("..." or '...') around the whole value is removed.
// A missing or unreadable file reads as an empty one.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace qv::platform {

// The value of `key` in `section` of the file at `path`, or `defaultValue`
// (trailing blanks removed) when absent, cut to at most `capacity` - 1
// characters as if copied into a buffer of `capacity` with its terminating zero.
std::string readProfileString(const std::string& path, const std::string& section, const std::string& key,
                              const std::string& defaultValue, std::size_t capacity);

// One line of a profile that is not blank and not a comment.
struct ProfileLine {
    std::size_t number = 0;              // counted from 1
    bool header = false;                 // "[name]": `section` is the name (a line without "]" whole)
    std::optional<std::string> section;  // the section the line stands in; none before the first header
    std::string key;                     // the key; the whole line when it has no "="
    bool hasValue = false;               // a "key=value" line
};

// The lines of the profile at `path` in file order, for checking its names;
// a missing or unreadable file has none.
std::vector<ProfileLine> readProfileLines(const std::string& path);

}  // namespace qv::platform
