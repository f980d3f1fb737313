#include "platform/StopSignal.h"

#include <algorithm>
#include <csignal>
#include <thread>

namespace qv::platform {
namespace {

volatile std::sig_atomic_t stopFlag = 0;

extern "C" void onStopSignal(int) { stopFlag = 1; }

}  // namespace

void catchStopSignals() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // Interrupted system calls go on: a loop sees the request at its next check,
    // never as a failed read from the directory.
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

bool stopRequested() { return stopFlag != 0; }

bool sleepUnlessStopped(std::chrono::milliseconds duration) {
    constexpr std::chrono::milliseconds slice(50);
    const auto end = std::chrono::steady_clock::now() + duration;
    while (!stopRequested()) {
        const auto left = end - std::chrono::steady_clock::now();
        if (left <= std::chrono::milliseconds::zero()) return false;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(left, slice));
    }
    return true;
}

}  // namespace qv::platform
