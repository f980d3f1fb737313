#pragma once
// The names a profile may hold, and the check of a profile against them: a
// misspelt section or key is read as absent, so a typo would quietly turn a
// setting back to its default. A feature that reads a new key adds it to
// KnownProfileKeys.
#include <string>
#include <vector>

namespace qv {

struct ProfileKey {
    const char* section;
    const char* key;
};

// Every section and key the unattended run reads.
const std::vector<ProfileKey>& KnownProfileKeys();

struct ProfileProblem {
    bool fatal = false;  // the run must not go on
    std::string text;    // what is wrong and the closest known name
};

// The names of the profile at `path` that the run does not know, in file
// order. An unknown key (or a line that is not KEY=VALUE) in [Safeguards]
// is fatal, as a brake that is not read lets removals through; any other
// unknown name is a warning.
std::vector<ProfileProblem> CheckProfileNames(const std::string& path);

// The edit distance between two names, ignoring ASCII case.
std::size_t NameDistance(const std::string& a, const std::string& b);

}  // namespace qv
