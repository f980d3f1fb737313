#include "console/DocumentationFolder.h"

#include <QDir>
#include <QFileInfo>

#include "platform/ProgramFolder.h"

namespace qv {
namespace {

// A folder holds the pages when it has the home page.
bool holdsPages(const QString& folder) { return QFileInfo(QDir(folder).filePath("home.html")).isFile(); }

}  // namespace

QString DocumentationFolder() {
    const QString installed =
        QDir(QString::fromStdString(platform::programFolder())).absoluteFilePath("../share/doc/quorvel");
    if (holdsPages(installed)) return QDir::cleanPath(installed);
#ifdef QUORVEL_SOURCE_DOCS
    const QString source = QString::fromUtf8(QUORVEL_SOURCE_DOCS);
    if (holdsPages(source)) return QDir::cleanPath(source);
#endif
    return QString();
}

QString DocumentationPage(const QString& fileName) {
    const QString folder = DocumentationFolder();
    if (folder.isEmpty()) return QString();
    const QString path = QDir(folder).filePath(fileName);
    return QFileInfo(path).isFile() ? path : QString();
}

}  // namespace qv
