#pragma once
// Reading one value from an INI-format file, with the classic profile rules:
// section and key names are matched without regard to (ASCII) case and with
// blanks around them ignored; the first matching key wins (sections of the
// same name are searched in file order); lines whose first non-blank
// character is ";" are comments; the value is trimmed of blanks, and one pair
// of matching quotes ("..." or '...') around the whole value is removed.
// A missing or unreadable file reads as an empty one.
#include <cstddef>
#include <string>

namespace qv::platform {

// The value of `key` in `section` of the file at `path`, or `defaultValue`
// (trailing blanks removed) when absent, cut to at most `capacity` - 1
// characters as if copied into a buffer of `capacity` with its terminating zero.
std::string readProfileString(const std::string& path, const std::string& section, const std::string& key,
                              const std::string& defaultValue, std::size_t capacity);

}  // namespace qv::platform
