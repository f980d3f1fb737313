#pragma once
// Reading a whole small text file with a size limit, telling "missing" apart
// from "there but unreadable", for the stores that must never be clobbered.
#include <cstddef>
#include <string>

namespace qv::platform {

enum class FileReadStatus { Ok, Missing, Failed };

struct FileText {
    FileReadStatus status = FileReadStatus::Missing;
    std::string text;
};

// Reads `path` whole. A file larger than `maxBytes`, a directory, or one that
// cannot be opened or read (other than "does not exist") is Failed.
FileText readFileText(const std::string& path, std::size_t maxBytes);

// Why the regular file at `path` cannot be opened for reading, in the system's
// words ("No such file or directory", "Is a directory", ...); empty when it can.
std::string fileReadProblem(const std::string& path);

// True when users other than the owner may read the file at `path` (group or
// others have read permission).
bool readableByOthers(const std::string& path);

}  // namespace qv::platform
