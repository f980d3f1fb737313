#pragma once
// Where the program's own documentation pages are: the installed folder
// (../share/doc/quorvel beside the program's folder) or, for a program run
// from its build tree, the source tree's docs/.
#include <QString>

namespace qv {

// The folder, or the empty text when neither holds the pages.
QString DocumentationFolder();
// The full path of page `fileName` in that folder, or the empty text.
QString DocumentationPage(const QString& fileName);

}  // namespace qv
