#pragma once
// One running instance per user: an advisory lock (flock) on a file in
// $XDG_RUNTIME_DIR (else the temporary folder, with the user id in the name).
// The operating system drops the lock when its holder ends, however it ends.
#include <memory>
#include <string>

namespace qv::platform {

class InstanceLock {
public:
    // Takes the lock named `name`; nothing when another holder has it. Raises
    // qv::Error when the lock file cannot be created, opened or locked, or
    // belongs to another user: that is not another instance.
    static std::unique_ptr<InstanceLock> tryAcquire(const std::string& name);
    // The file that carries the lock of `name` for the current user.
    static std::string lockPath(const std::string& name);

    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

private:
    explicit InstanceLock(int fd) : fd_(fd) {}
    int fd_;
};

// True when another process of this user holds the instance lock of `name`.
// The first call that finds none takes the lock and keeps it for the rest of
// the process's life. Raises qv::Error as tryAcquire does.
bool previousInstanceRunning(const std::string& name);

}  // namespace qv::platform
