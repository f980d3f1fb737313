#pragma once
// Opening a program, document or web address for the user, the way a desktop
// shell does, without waiting for it.
//
// A file that is an executable program (a path with "/", or a bare name found
// in PATH) is started itself with the parameters; anything else (a document,
// a folder, a URL) is handed to xdg-open. The child is started with
// posix_spawn and reaped in the background, so the caller never blocks on it.
#include <cstdint>
#include <string>
#include <vector>

namespace qv::platform {

// Results: above 32 on success; otherwise one of these.
inline constexpr std::int32_t kShellOutOfResources = 0;
inline constexpr std::int32_t kShellFileNotFound = 2;
inline constexpr std::int32_t kShellPathNotFound = 3;   // the working directory
inline constexpr std::int32_t kShellAccessDenied = 5;
inline constexpr std::int32_t kShellNoAssociation = 31; // no opener (xdg-open), or a verb other than "open"
inline constexpr std::int32_t kShellSuccess = 42;

// Performs `verb` ("open", or empty; any case) on `file` with `parameters`
// (split at blanks, "double quotes" group) in `workingDirectory` (empty: the
// current one). `showCode` is accepted for callers and has no effect here.
std::int32_t shellExecute(const std::string& file, const std::string& parameters, const std::string& verb,
                          const std::string& workingDirectory, std::int32_t showCode);

// The parameter text split the way shellExecute passes it to a program.
std::vector<std::string> splitParameters(const std::string& parameters);

}  // namespace qv::platform
