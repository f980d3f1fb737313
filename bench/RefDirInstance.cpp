#include "RefDirInstance.h"

#include <cstdio>
#include <memory>
#include <sstream>
#include <stdexcept>

namespace qv::bench {
namespace {

// Single quotes around a shell word.
std::string quoted(const std::string& word) {
    std::string out = "'";
    for (char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string run(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    if (!pipe) throw std::runtime_error("cannot run " + command);
    std::string output;
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe.get())) output.append(buffer, n);
    return output;
}

}  // namespace

std::string refdirScript() { return std::string(QUORVEL_SOURCE_DIR) + "/refdir/refdir.sh"; }

RefDirInstance::RefDirInstance(const std::string& seedFile) {
    std::string command = quoted(refdirScript()) + " start";
    if (!seedFile.empty()) command += " --seed " + quoted(seedFile);
    std::istringstream lines(run(command));
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("QUORVEL_REFDIR_DIR=", 0) == 0) dir_ = line.substr(19);
        if (line.rfind("QUORVEL_REFDIR_SERVER=", 0) == 0) server_ = line.substr(22);
    }
    if (dir_.empty() || server_.empty()) throw std::runtime_error("the reference directory did not start");
}

RefDirInstance::~RefDirInstance() {
    if (!dir_.empty()) run(quoted(refdirScript()) + " stop " + quoted(dir_) + " 2>&1");
}

}  // namespace qv::bench
