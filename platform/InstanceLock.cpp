#include "platform/InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

namespace qv::platform {

std::string InstanceLock::lockPath(const std::string& name) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime == '/') return std::string(runtime) + "/" + name + ".lock";
    std::error_code ignored;
    std::string temp = std::filesystem::temp_directory_path(ignored).string();
    if (temp.empty()) temp = "/tmp";
    return temp + "/" + name + "-" + std::to_string(::getuid()) + ".lock";
}

std::unique_ptr<InstanceLock> InstanceLock::tryAcquire(const std::string& name) {
    // No symbolic links: in a shared temporary folder another user could plant one.
    int fd = ::open(lockPath(name).c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return nullptr;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || info.st_uid != ::getuid() || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<InstanceLock>(new InstanceLock(fd));
}

InstanceLock::~InstanceLock() { ::close(fd_); }

bool previousInstanceRunning(const std::string& name) {
    static std::unique_ptr<InstanceLock> held;  // kept until the process ends
    if (held) return false;
    held = InstanceLock::tryAcquire(name);
    return !held;
}

}  // namespace qv::platform
