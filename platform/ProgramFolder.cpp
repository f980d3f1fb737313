#include "platform/ProgramFolder.h"

#include <unistd.h>

#include <vector>

namespace qv::platform {

std::string programFolder() {
    std::vector<char> buffer(4096);
    ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n <= 0 || std::size_t(n) >= buffer.size()) return ".";
    std::string exe(buffer.data(), std::size_t(n));
    auto slash = exe.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : exe.substr(0, slash);
}

}  // namespace qv::platform
