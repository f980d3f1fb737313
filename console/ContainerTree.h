#pragma once
// Connecting the store for the console and filling the container tree and
// the DL list from the directory.
#include <string>

class QProgressBar;
class QTreeWidgetItem;

namespace qv {

class ListView;
class TreeView;

// Connects the store to `server` with the module's credentials. On success
// seeds `tree` with the server, organisation and site nodes (the site
// selected), advances `progress` (when given) to 40 % and loads every
// container below the site; true. On failure shows the connection error
// (title "Error connecting to " + server) and leaves the tree as it was; false.
// A failure while reading the containers is shown the same way; the store
// stays connected and the tree keeps what was read (true).
bool ConnectToServer(const std::string& server, TreeView* tree, QProgressBar* progress);

// Adds the containers below `parent`, depth first, skipping "cn=Configuration".
// Directory failures raise qv::Error; the tree keeps what was added. Reads
// the whole subtree with one paged search.
void LoadContainerTree(QTreeWidgetItem* parent, TreeView* tree);
// The same, one bind and one enumeration per container (for a path that
// cannot stand in a search command).
void LoadContainerTreeByLevels(QTreeWidgetItem* parent, TreeView* tree);

// Fills `list` with the DLs of the container `node` (nothing for a node that
// is not a container). Directory failures raise qv::Error.
void LoadDLList(ListView* list, TreeView* tree, QTreeWidgetItem* node);

// The relative name every console skips when it walks the containers.
inline constexpr const char* ConfigurationName = "cn=Configuration";

}  // namespace qv
