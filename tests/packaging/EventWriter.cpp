// Writes one event-log entry the way the program does, for the tests that
// read the journal back:  quorvel_event_writer TYPE EVENT_ID MESSAGE
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/EventLog.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: quorvel_event_writer TYPE EVENT_ID MESSAGE\n");
        return 2;
    }
    const auto type = static_cast<std::uint16_t>(std::strtoul(argv[1], nullptr, 10));
    const auto eventId = static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10));
    qv::platform::reportEvent("Quorvel", type, 1, eventId, argv[3]);
    return 0;
}
