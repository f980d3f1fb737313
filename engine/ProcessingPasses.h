#pragma once
// The two processing passes over item 1 of the module's selection
// (mdl().objDirObjects): one DL, or every Quorvel DL below a container.
#include <string>

#include "directory/QueryResult.h"
#include "engine/ProgressWindow.h"

namespace qv {

// Processes the DL that is item 1 of the selection. `window` may be null.
bool ProcessOneDL(ProgressWindow* window);
// Processes every Quorvel DL below the container that is item 1 of the
// selection; true when at least one was found and all succeeded. `window` may be null.
bool ProcessContainer(ProgressWindow* window);
// The search command that finds every Quorvel DL below `container` (as a search command reads it).
std::string QuorvelDlSearch(const std::string& container);
// The Quorvel DLs below the container at `adsPath`, found as ProcessContainer finds them.
QueryResult FindQuorvelDLs(const std::string& adsPath);

}  // namespace qv
