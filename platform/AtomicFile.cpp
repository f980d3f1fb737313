#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qv::platform {
namespace {

bool writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += std::size_t(n);
    }
    return true;
}

std::string failure(const char* step) { return std::string(step) + ": " + std::strerror(errno); }

// A rename is lasting only once the folder that records it is flushed.
void flushFolder(const std::string& folder) {
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return;
    ::fsync(dir);
    ::close(dir);
}

}  // namespace

std::string folderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string replaceFileAtomically(const std::string& path, const std::string& text, mode_t mode,
                                  const std::string& tempPrefix) {
    // A name that starts with a dot is skipped by collectors reading "*.prom".
    std::string temp = folderOf(path) + "/" + tempPrefix + "XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return failure("cannot create a temporary file beside it");
    std::string problem;
    if (::fchmod(fd, mode) != 0 || !writeAll(fd, text) || ::fsync(fd) != 0) problem = failure("cannot write it");
    if (::close(fd) != 0 && problem.empty()) problem = failure("cannot write it");
    if (problem.empty() && ::rename(temp.c_str(), path.c_str()) != 0) problem = failure("cannot rename it into place");
    if (!problem.empty()) {
        ::unlink(temp.c_str());
        return problem;
    }
    flushFolder(folderOf(path));
    return problem;
}

}  // namespace qv::platform
