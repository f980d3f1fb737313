#pragma once
// Replacing a whole file so that readers see the old text or the new one,
// never a part: a temporary file in the same folder, then a rename over it.
#include <string>
#include <sys/types.h>

namespace qv::platform {

// The folder a path names a file in ("." for a bare name).
std::string folderOf(const std::string& path);

// Writes `text` to `path` that way, with permissions `mode`, and flushes the
// file and its folder. The temporary file's name is `tempPrefix` and six
// random characters. Returns why it could not (in the system's words, with
// the step), empty on success; the temporary file is never left behind.
std::string replaceFileAtomically(const std::string& path, const std::string& text, mode_t mode,
                                  const std::string& tempPrefix = ".quorvel.");

}  // namespace qv::platform
