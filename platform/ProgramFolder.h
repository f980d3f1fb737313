#pragma once
// Where the running program's executable lives.
#include <string>

namespace qv::platform {

// The folder of /proc/self/exe, without a trailing "/" ("/" for the root);
// the current folder when it cannot be read.
std::string programFolder();

}  // namespace qv::platform
