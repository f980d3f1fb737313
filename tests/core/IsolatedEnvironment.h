#pragma once
// Points every per-user place the program touches (settings folder, runtime
// folder, event-log file) into a fresh temporary folder for one test, and
// starts from a fresh module state. Everything is put back afterwards.
#include <string>

#include "core/mdlMain.h"
#include "support/TestEnvironment.h"

namespace qv::test {

class IsolatedEnvironment {
public:
    IsolatedEnvironment()
        : config_("XDG_CONFIG_HOME", temp_.file("config")),
          runtime_("XDG_RUNTIME_DIR", temp_.path()),
          eventLog_("QUORVEL_EVENT_LOG", temp_.file("events.jsonl")),
          time_("LC_ALL", std::string("C")) {
        ResetModuleState();
    }
    ~IsolatedEnvironment() { ResetModuleState(); }

    const TempDir& temp() const { return temp_; }
    std::string settingsFile() const { return temp_.file("config/KVOR/HKEY_CURRENT_USER.settings"); }
    std::string eventLogFile() const { return temp_.file("events.jsonl"); }

private:
    TempDir temp_;
    ScopedEnv config_, runtime_, eventLog_, time_;
};

}  // namespace qv::test
