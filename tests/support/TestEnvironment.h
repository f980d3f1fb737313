#pragma once
// Small process and file helpers for the tests.
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qv::test {

struct CommandResult {
    int exitCode = -1;  // -1 when the command did not run or was killed
    std::string out;
    std::string err;
};

// Runs argv[0] (searched in PATH) with extra environment settings; stdin gets `input`.
// With `killAfterSeconds` > 0 a command still running by then is killed
// (exitCode -1), so that a hang fails a test instead of stopping it.
CommandResult runCommand(const std::vector<std::string>& argv,
                         const std::map<std::string, std::string>& env = {},
                         const std::string& input = {}, double killAfterSeconds = 0);

// A fresh folder below QUORVEL_TEST_TMP (or the system temp folder), removed on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Sets (or with nullopt unsets) an environment variable for the lifetime of the object.
class ScopedEnv {
public:
    ScopedEnv(const std::string& name, const std::optional<std::string>& value) : name_(name) {
        if (const char* old = std::getenv(name.c_str())) old_ = old;
        if (value)
            ::setenv(name.c_str(), value->c_str(), 1);
        else
            ::unsetenv(name.c_str());
    }
    ~ScopedEnv() {
        if (old_)
            ::setenv(name_.c_str(), old_->c_str(), 1);
        else
            ::unsetenv(name_.c_str());
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

std::string readFile(const std::string& path);
int occurrences(const std::string& text, const std::string& needle);  // how often `needle` occurs
void writeFile(const std::string& path, const std::string& text);
std::string sourceDir();  // the project's source folder
std::string binaryDir();  // the project's build folder
// The value of the line "KEY=VALUE" of a start script's output ("" when absent).
std::string settingOf(const std::string& output, const std::string& key);
// Whether the process runs (a stopped server may linger as a zombie until its new parent reaps it).
bool processRunning(int pid);

}  // namespace qv::test
