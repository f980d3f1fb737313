#include "support/ReferenceDirectory.h"

#include <signal.h>

#include <filesystem>
#include <stdexcept>

#include "support/TestEnvironment.h"

namespace qv::test {
namespace {

std::string script() { return sourceDir() + "/refdir/refdir.sh"; }

}  // namespace

ReferenceDirectory::ReferenceDirectory(RefDirOptions options) : options_(std::move(options)) {
    start();
}

ReferenceDirectory::~ReferenceDirectory() {
    if (!dir_.empty()) runCommand({script(), "stop", dir_});
    if (!optionsDir_.empty()) std::filesystem::remove_all(optionsDir_);
}

void ReferenceDirectory::start() {
    std::vector<std::string> argv{script(), "start"};
    auto addFile = [&](const std::string& option, const std::string& text, const char* name) {
        if (text.empty()) return;
        if (optionsDir_.empty()) {
            TempDir scratch;  // only borrows a unique name
            optionsDir_ = scratch.path() + ".opts";
        }
        std::filesystem::create_directories(optionsDir_);
        std::string path = optionsDir_ + "/" + name;
        writeFile(path, text);
        argv.insert(argv.end(), {option, path});
    };
    if (!options_.seedFile.empty()) argv.insert(argv.end(), {"--seed", options_.seedFile});
    addFile("--db-conf", options_.dbConf, "db.conf");
    addFile("--global-conf", options_.globalConf, "global.conf");
    if (options_.ldaps) argv.push_back("--ldaps");
    if (options_.sync) argv.push_back("--sync");
    argv.insert(argv.end(), options_.arguments.begin(), options_.arguments.end());
    auto r = runCommand(argv);
    if (r.exitCode != 0) throw std::runtime_error("reference directory did not start: " + r.err);
    dir_ = settingOf(r.out, "QUORVEL_REFDIR_DIR");
    server_ = settingOf(r.out, "QUORVEL_REFDIR_SERVER");
    url_ = settingOf(r.out, "QUORVEL_REFDIR_URL");
    ldapsServer_ = settingOf(r.out, "QUORVEL_REFDIR_LDAPS_SERVER");
    pid_ = std::stoi(settingOf(r.out, "QUORVEL_REFDIR_PID"));
}

bool ReferenceDirectory::running() const { return processRunning(pid_); }

std::string ReferenceDirectory::adsPath(const std::string& dn) const {
    return "LDAP://" + server_ + "/" + dn;
}

std::string ReferenceDirectory::logTail(int lines) const {
    auto r = runCommand({"tail", "-n", std::to_string(lines), dir_ + "/slapd.log"});
    return r.out;
}

void ReferenceDirectory::stop() { runCommand({script(), "stop", dir_, "--keep"}); }

void ReferenceDirectory::kill() {
    if (pid_ > 0) ::kill(pid_, SIGKILL);
    runCommand({script(), "stop", dir_, "--keep"});  // reaps what is left
}

void ReferenceDirectory::freeze() {
    if (pid_ > 0) ::kill(pid_, SIGSTOP);
}

void ReferenceDirectory::thaw() {
    if (pid_ > 0) ::kill(pid_, SIGCONT);
}

std::string ReferenceDirectory::freePort() {
    auto port = runCommand({script(), "free-port"}).out;
    return port.substr(0, port.find('\n'));
}

void ReferenceDirectory::resume() {
    auto r = runCommand({script(), "resume", dir_});
    if (r.exitCode != 0) throw std::runtime_error("reference directory did not start again: " + r.err);
    pid_ = std::stoi(settingOf(r.out, "QUORVEL_REFDIR_PID"));
}

}  // namespace qv::test
