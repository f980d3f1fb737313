#pragma once
// A reference directory started with refdir/refdir.sh for one program run
// and stopped when the object goes.
#include <string>

namespace qv::bench {

class RefDirInstance {
public:
    // Starts slapd seeded with `seedFile` (empty: the project's seed).
    explicit RefDirInstance(const std::string& seedFile);
    ~RefDirInstance();
    RefDirInstance(const RefDirInstance&) = delete;
    RefDirInstance& operator=(const RefDirInstance&) = delete;

    const std::string& server() const { return server_; }  // host:port

private:
    std::string dir_;
    std::string server_;
};

// The project's refdir.sh.
std::string refdirScript();

}  // namespace qv::bench
