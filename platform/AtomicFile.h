#pragma once
// Replacing a whole file so that readers see the old text or the new one,
// never a part: a temporary file in the same folder, then a rename over it.
#include <string>
#include <sys/types.h>

namespace qv::platform {

// Writes `text` to `path` that way, with permissions `mode`. Returns why it
// could not (in the system's words, with the step), empty on success; the
// temporary file is never left behind.
std::string replaceFileAtomically(const std::string& path, const std::string& text, mode_t mode);

}  // namespace qv::platform
