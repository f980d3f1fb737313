// Profiles: any file content is read with the INI rules, never a crash, and
// a value never exceeds its buffer.
#include <sys/mman.h>
#include <unistd.h>

#include "FuzzInput.h"
#include "platform/IniFile.h"

namespace {
int file() {
    static int fd = ::memfd_create("profile.ini", MFD_CLOEXEC);
    return fd;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qv;
    const auto args = fuzz::parts(fuzz::textOf(data, size), 3);
    const std::string& content = args[2];
    if (::ftruncate(file(), 0) != 0 || ::pwrite(file(), content.data(), content.size(), 0) != ssize_t(content.size()))
        return 0;
    const std::string path = "/proc/self/fd/" + std::to_string(file());
    for (std::size_t capacity : {std::size_t(0), std::size_t(1), std::size_t(255)}) {
        const std::string value = platform::readProfileString(path, args[0], args[1], "default value", capacity);
        fuzz::require(value.size() + 1 <= std::max<std::size_t>(capacity, 1), "the value fits its buffer", value);
    }
    (void)platform::readProfileString(path, "General", "Target", "", 255);
    return 0;
}
