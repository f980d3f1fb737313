#include "platform/Tone.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace qv::platform {

void soundTone(std::int32_t /*frequencyHz*/, std::int32_t durationMs) {
    int tty = ::open("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (tty >= 0) {
        ssize_t ignored = ::write(tty, "\a", 1);
        (void)ignored;
        ::close(tty);
    }
    const std::int32_t wait = std::clamp<std::int32_t>(durationMs, 0, 10000);
    if (wait > 0) std::this_thread::sleep_for(std::chrono::milliseconds(wait));
}

}  // namespace qv::platform
