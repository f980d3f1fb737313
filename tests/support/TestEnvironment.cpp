#include "support/TestEnvironment.h"

#include <fcntl.h>
#include <poll.h>
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

// Feeds `input` to fd 0 of the child and collects its two output pipes.
void pump(int inFd, int outFd, int errFd, const std::string& input, CommandResult& r, pid_t pid,
          double killAfterSeconds) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                             std::chrono::duration<double>(killAfterSeconds));
    bool killed = false;
    size_t written = 0;
    if (input.empty()) { close(inFd); inFd = -1; }
    char buffer[65536];
    while (outFd >= 0 || errFd >= 0) {
        pollfd fds[3];
        int n = 0;
        if (outFd >= 0) fds[n++] = {outFd, POLLIN, 0};
        if (errFd >= 0) fds[n++] = {errFd, POLLIN, 0};
        if (inFd >= 0) fds[n++] = {inFd, POLLOUT, 0};
        int wait = -1;
        if (killAfterSeconds > 0 && !killed) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) {
                ::kill(pid, SIGKILL);
                killed = true;
            }
            wait = killed ? -1 : static_cast<int>(left);
        }
        int ready = poll(fds, n, wait);
        if (ready < 0) break;
        if (ready == 0) continue;
        for (int i = 0; i < n; ++i) {
            if (!fds[i].revents) continue;
            int& fd = fds[i].fd == outFd ? outFd : fds[i].fd == errFd ? errFd : inFd;
            if (fd == inFd) {
                ssize_t k = write(inFd, input.data() + written, input.size() - written);
                if (k > 0) written += size_t(k);
                if (k <= 0 || written == input.size()) { close(inFd); inFd = -1; }
                continue;
            }
            ssize_t k = read(fd, buffer, sizeof buffer);
            if (k <= 0) { close(fd); fd = -1; continue; }
            (fd == outFd ? r.out : r.err).append(buffer, size_t(k));
        }
    }
    if (inFd >= 0) close(inFd);
}

}  // namespace

CommandResult runCommand(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                         const std::string& input, double killAfterSeconds) {
    CommandResult r;
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC))
        throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    auto args = argv;
    auto envTexts = mergedEnvironment(env);
    auto argp = pointers(args);
    auto envp = pointers(envTexts);
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    close(err[1]);
    if (rc != 0) {
        close(in[1]);
        close(out[0]);
        close(err[0]);
        r.err = "cannot start " + argv[0];
        return r;
    }
    pump(in[1], out[0], err[0], input, r, pid, killAfterSeconds);
    int status = 0;
    waitpid(pid, &status, 0);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string sourceDir() { return QUORVEL_SOURCE_DIR; }
std::string binaryDir() { return QUORVEL_BINARY_DIR; }

}  // namespace qv::test
