#include "platform/InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/Error.h"
#include "platform/ErrorNumbers.h"

namespace qv::platform {
namespace {

[[noreturn]] void cannotLock(const std::string& path, const std::string& why) {
    throw Error(err::Unexpected, "The instance lock file " + path + " cannot be used: " + why);
}

}  // namespace

std::string InstanceLock::lockPath(const std::string& name) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime == '/') return std::string(runtime) + "/" + name + ".lock";
    std::error_code ignored;
    std::string temp = std::filesystem::temp_directory_path(ignored).string();
    if (temp.empty()) temp = "/tmp";
    return temp + "/" + name + "-" + std::to_string(::getuid()) + ".lock";
}

std::unique_ptr<InstanceLock> InstanceLock::tryAcquire(const std::string& name) {
    const std::string path = lockPath(name);
    // No symbolic links: in a shared temporary folder another user could plant one.
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) cannotLock(path, std::strerror(errno));
    std::unique_ptr<InstanceLock> lock(new InstanceLock(fd));
    struct stat info {};
    if (::fstat(fd, &info) != 0) cannotLock(path, std::strerror(errno));
    if (info.st_uid != ::getuid()) cannotLock(path, "it belongs to another user");
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return lock;
    if (errno == EWOULDBLOCK) return nullptr;
    cannotLock(path, std::strerror(errno));
}

InstanceLock::~InstanceLock() { ::close(fd_); }

bool previousInstanceRunning(const std::string& name) {
    static std::unique_ptr<InstanceLock> held;  // kept until the process ends
    if (held) return false;
    held = InstanceLock::tryAcquire(name);
    return !held;
}

}  // namespace qv::platform
