#include "support/TestEnvironment.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace qv::test {
namespace {

std::vector<std::string> mergedEnvironment(const std::map<std::string, std::string>& extra) {
    std::vector<std::string> result;
    for (char** e = environ; *e; ++e) {
        std::string entry(*e);
        auto name = entry.substr(0, entry.find('='));
        if (!extra.count(name)) result.push_back(entry);
    }
    for (const auto& [name, value] : extra) result.push_back(name + "=" + value);
    return result;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> result;
    for (auto& t : texts) result.push_back(t.data());
    result.push_back(nullptr);
    return result;
}

}  // namespace

// The child reads and writes files rather than pipes: nothing to pump, and a
// server the command leaves running cannot hold the call open.
CommandResult runCommand(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                         const std::string& input, double killAfterSeconds) {
    CommandResult r;
    TempDir io;
    writeFile(io.file("in"), input);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, io.file("in").c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, io.file("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, io.file("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    auto args = argv;
    auto envTexts = mergedEnvironment(env);
    auto argp = pointers(args);
    auto envp = pointers(envTexts);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        r.err = "cannot start " + argv[0];
        return r;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(killAfterSeconds);
    int status = 0;
    while (killAfterSeconds > 0 && ::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) ::kill(pid, SIGKILL);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (killAfterSeconds <= 0) ::waitpid(pid, &status, 0);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = readFile(io.file("out"));
    r.err = readFile(io.file("err"));
    return r;
}

TempDir::TempDir() {
    const char* base = std::getenv("QUORVEL_TEST_TMP");
    std::string root = base && *base ? base : std::filesystem::temp_directory_path().string();
    std::filesystem::create_directories(root);
    std::string pattern = root + "/qvtest.XXXXXX";
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed in " + root);
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

int occurrences(const std::string& text, const std::string& needle) {
    int n = 0;
    for (auto at = text.find(needle); at != std::string::npos; at = text.find(needle, at + needle.size())) ++n;
    return n;
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string sourceDir() { return QUORVEL_SOURCE_DIR; }
std::string binaryDir() { return QUORVEL_BINARY_DIR; }

std::string settingOf(const std::string& output, const std::string& key) {
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line))
        if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
    return {};
}

bool processRunning(int pid) {
    std::string stat = pid > 0 ? readFile("/proc/" + std::to_string(pid) + "/stat") : "";
    auto close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

}  // namespace qv::test
