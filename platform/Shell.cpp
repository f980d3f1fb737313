#include "platform/Shell.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <thread>
#include <utility>

#include "platform/Text.h"

extern char** environ;

namespace qv::platform {
namespace {

bool isRegularFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool isDirectory(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

bool isProgram(const std::string& path) { return isRegularFile(path) && ::access(path.c_str(), X_OK) == 0; }

// A path relative to the working directory, when one is given.
std::string located(const std::string& file, const std::string& workingDirectory) {
    if (file.front() == '/' || workingDirectory.empty()) return file;
    return workingDirectory + "/" + file;
}

std::optional<std::string> findInPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= folders.size()) {
        std::size_t end = folders.find(':', start);
        if (end == std::string::npos) end = folders.size();
        std::string folder = folders.substr(start, end - start);
        std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
        if (isProgram(candidate)) return candidate;
        start = end + 1;
    }
    return std::nullopt;
}

// "scheme:..." with a scheme of letters, digits, "+", "-", "." (a URL or mailto:).
bool looksLikeUrl(const std::string& text) {
    std::size_t colon = text.find(':');
    if (colon == std::string::npos || colon < 2) return false;
    for (std::size_t i = 0; i < colon; ++i) {
        char c = text[i];
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'));
        if (!ok) return false;
    }
    return true;
}

std::int32_t spawnErrorResult(int error) {
    switch (error) {
        case ENOENT: return kShellFileNotFound;
        case EACCES:
        case EPERM: return kShellAccessDenied;
        case ENOEXEC: return 11;  // not a valid program
        default: return kShellOutOfResources;
    }
}

// Starts argv[0] at `program` in `workingDirectory` and reaps it in the background.
std::int32_t spawnDetached(const std::string& program, std::vector<std::string> argv,
                           const std::string& workingDirectory) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (!workingDirectory.empty()) posix_spawn_file_actions_addchdir_np(&actions, workingDirectory.c_str());
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return spawnErrorResult(rc);
    std::thread([pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    }).detach();
    return kShellSuccess;
}

// The program to run for `file`, when it is one (a path to an executable or a name in PATH).
std::optional<std::string> programFor(const std::string& file, const std::string& workingDirectory) {
    if (file.find('/') != std::string::npos) {
        std::string path = located(file, workingDirectory);
        if (!isProgram(path)) return std::nullopt;
        // Absolute, as the child resolves a relative one after changing folder.
        char* real = ::realpath(path.c_str(), nullptr);
        if (!real) return std::nullopt;
        std::string absolute(real);
        std::free(real);
        return absolute;
    }
    if (looksLikeUrl(file) || exists(located(file, workingDirectory))) return std::nullopt;
    return findInPath(file);
}

}  // namespace

std::vector<std::string> splitParameters(const std::string& parameters) {
    std::vector<std::string> result;
    std::string current;
    bool inQuotes = false, inWord = false;
    for (char c : parameters) {
        if (c == '"') {
            inQuotes = !inQuotes;
            inWord = true;
        } else if ((c == ' ' || c == '\t') && !inQuotes) {
            if (inWord) result.push_back(std::exchange(current, {}));
            inWord = false;
        } else {
            current += c;
            inWord = true;
        }
    }
    if (inWord) result.push_back(current);
    return result;
}

std::int32_t shellExecute(const std::string& file, const std::string& parameters, const std::string& verb,
                          const std::string& workingDirectory, std::int32_t /*showCode*/) {
    if (!verb.empty() && lowerAscii(verb) != "open") return kShellNoAssociation;
    if (file.empty()) return kShellFileNotFound;
    if (!workingDirectory.empty() && !isDirectory(workingDirectory)) return kShellPathNotFound;
    if (auto program = programFor(file, workingDirectory)) {
        std::vector<std::string> argv{file};
        for (auto& p : splitParameters(parameters)) argv.push_back(std::move(p));
        return spawnDetached(*program, std::move(argv), workingDirectory);
    }
    if (!looksLikeUrl(file) && !exists(located(file, workingDirectory))) return kShellFileNotFound;
    auto opener = findInPath("xdg-open");
    if (!opener) return kShellNoAssociation;
    return spawnDetached(*opener, {"xdg-open", file}, workingDirectory);
}

}  // namespace qv::platform
