#pragma once
// A short signal tone. Linux has no portable speaker tone for an ordinary
// process, so the terminal bell of the controlling terminal stands in for it
// (nothing sounds without one); the call lasts the requested time.
#include <cstdint>

namespace qv::platform {

// Rings the bell, then waits `durationMs` milliseconds (at most 10 s; none when
// zero or negative). `frequencyHz` cannot be honoured by a bell.
void soundTone(std::int32_t frequencyHz, std::int32_t durationMs);

}  // namespace qv::platform
