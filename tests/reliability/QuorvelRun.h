#pragma once
// The real program run unattended on a profile, as the reliability tests
// drive it through proxies, frozen servers and untrusted certificates.
#include <sys/stat.h>

#include "support/EventLogCapture.h"
#include "support/TestEnvironment.h"

namespace qv::test {

struct QuorvelRun {
    CommandResult command;
    std::string events;  // the event log as written
    std::vector<LoggedEntry> entries;
};

// Writes a profile in `temp` naming `target` (with `general` after it) and the
// writer's account, runs quorvel on it with `env` added, and reads its event log.
inline QuorvelRun runQuorvel(const TempDir& temp, const std::string& target, std::map<std::string, std::string> env,
                             const std::string& general = "LoggingLevel=1\n",
                             const std::string& password = "writer-pw", mode_t mode = 0600) {
    writeFile(temp.file("run.ini"), "[General]\nTarget=" + target + "\n" + general +
                                        "[Authentication]\nUser=writer\nDomain=CORP\nPassword=" + password + "\n");
    ::chmod(temp.file("run.ini").c_str(), mode);
    writeFile(temp.file("events.jsonl"), "");
    env.insert({{"QUORVEL_EVENT_LOG", temp.file("events.jsonl")},
                {"XDG_RUNTIME_DIR", temp.path()},
                {"XDG_CONFIG_HOME", temp.file("config")}});
    // Braced initialisers run in order: the log is read once the run is over.
    QuorvelRun r{runCommand({binaryDir() + "/quorvel", temp.file("run.ini")}, env, {}, 60),
                 readFile(temp.file("events.jsonl")), {}};
    r.entries = parseEventLines(r.events);
    return r;
}

// The error entries (type 1) among `entries`.
inline std::vector<LoggedEntry> errorEntries(const std::vector<LoggedEntry>& entries) {
    std::vector<LoggedEntry> errors;
    for (const auto& e : entries)
        if (e.type == 1) errors.push_back(e);
    return errors;
}

}  // namespace qv::test
