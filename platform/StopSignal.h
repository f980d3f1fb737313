#pragma once
// SIGTERM and SIGINT as a request to a long-running loop to end at its next
// check, rather than as the end of the process: what systemd sends to stop a
// service, and Ctrl+C.
#include <chrono>

namespace qv::platform {

// From now on SIGTERM and SIGINT set the request instead of ending the process.
void catchStopSignals();
// True once either signal has arrived.
bool stopRequested();
// Sleeps `duration`, or less when a stop is requested meanwhile; true when one was.
bool sleepUnlessStopped(std::chrono::milliseconds duration);

}  // namespace qv::platform
