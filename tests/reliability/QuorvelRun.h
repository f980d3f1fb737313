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
    // The last entry that begins with `beginning` ("" when there is none).
    std::string last(const std::string& beginning) const {
        std::string found;
        for (const auto& e : entries)
            if (e.message.rfind(beginning, 0) == 0) found = e.message;
        return found;
    }
};

// Writes `profile` into `temp` (with `mode`), runs quorvel [options] on it with
// `env` added and folders of its own, and reads its event log.
inline QuorvelRun runProfile(const TempDir& temp, const std::string& profile, std::map<std::string, std::string> env,
                             std::vector<std::string> options = {}, mode_t mode = 0600) {
    writeFile(temp.file("run.ini"), profile);
    ::chmod(temp.file("run.ini").c_str(), mode);
    writeFile(temp.file("events.jsonl"), "");
    env.insert({{"QUORVEL_EVENT_LOG", temp.file("events.jsonl")},
                {"XDG_RUNTIME_DIR", temp.path()},
                {"XDG_CONFIG_HOME", temp.file("config")}});
    options.insert(options.begin(), binaryDir() + "/quorvel");
    options.push_back(temp.file("run.ini"));
    // Braced initialisers run in order: the log is read once the run is over.
    QuorvelRun r{runCommand(options, env, {}, 60), readFile(temp.file("events.jsonl")), {}};
    r.entries = parseEventLines(r.events);
    return r;
}

// runProfile on a profile naming `target` (with `general` after it) and the writer's account.
inline QuorvelRun runQuorvel(const TempDir& temp, const std::string& target, std::map<std::string, std::string> env,
                             const std::string& general = "LoggingLevel=1\n",
                             const std::string& password = "writer-pw", mode_t mode = 0600) {
    return runProfile(temp, "[General]\nTarget=" + target + "\n" + general +
                                "[Authentication]\nUser=writer\nDomain=CORP\nPassword=" + password + "\n",
                      std::move(env), {}, mode);
}

// The error entries (type 1) among `entries`.
inline std::vector<LoggedEntry> errorEntries(const std::vector<LoggedEntry>& entries) {
    std::vector<LoggedEntry> errors;
    for (const auto& e : entries)
        if (e.type == 1) errors.push_back(e);
    return errors;
}

}  // namespace qv::test
