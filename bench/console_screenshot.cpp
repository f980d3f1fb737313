// Renders the console's main window, connected to the reference directory
// with a container and a DL chosen, into a PNG (for the README).
//
//   console_screenshot [FILE]            default: docs/console-main.png of the source tree
//   console_screenshot --dialogs DIR     also renders the console's dialogs into DIR
#include <QApplication>
#include <QCheckBox>
#include <QPixmap>
#include <QTreeWidgetItem>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "RefDirInstance.h"
#include "console/ListView.h"
#include "console/TreeView.h"
#include "console/Twips.h"
#include "console/frmConnect.h"
#include "console/frmMain.h"
#include "console/frmOptions.h"
#include "console/frmSplash.h"
#include "core/mdlMain.h"

namespace {

bool render(QWidget& widget, const std::string& file) {
    widget.show();
    QApplication::processEvents();
    const bool saved = widget.grab().save(QString::fromStdString(file), "PNG");
    std::printf("%s %s\n", saved ? "wrote" : "could not write", file.c_str());
    widget.hide();
    return saved;
}

bool renderDialogs(const std::string& folder) {
    bool saved = true;
    qv::frmConnect connect;
    connect.ckAuthentication()->setChecked(true);
    connect.AdjustHeight();
    saved &= render(connect, folder + "/frmConnect.png");
    qv::frmOptions options;
    saved &= render(options, folder + "/frmOptions.png");
    qv::frmSplash splash;
    saved &= render(splash, folder + "/frmSplash.png");
    return saved;
}

}  // namespace

int main(int argc, char** argv) {
    const bool dialogs = argc > 2 && std::string(argv[1]) == "--dialogs";
    const std::string file = dialogs || argc < 2 ? std::string(QUORVEL_SOURCE_DIR) + "/docs/console-main.png" : argv[1];
    ::setenv("LDAPNOINIT", "1", 0);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // The settings the window reads and writes stay out of the user's own.
    char folder[] = "/tmp/quorvel-screenshot.XXXXXX";
    if (!::mkdtemp(folder)) return 1;
    ::setenv("XDG_CONFIG_HOME", folder, 1);

    qv::bench::RefDirInstance directory("");
    QApplication app(argc, argv);
    qv::ModuleState& m = qv::mdl();
    m.strServer = directory.server();
    m.objConnection->setUsername("reader");
    m.objConnection->setPassword("reader-pw");
    m.objConnection->setDomain("CORP");

    qv::frmMain window;
    window.Load(nullptr);
    window.resize(qv::TwipsToPixelsX(10500, &window), qv::TwipsToPixelsY(6300, &window));
    double split = 4200;
    window.show();
    window.SizeControls(split);

    qv::TreeView* tree = window.tvTreeView();
    for (QTreeWidgetItem* node : tree->Nodes()) {
        node->setExpanded(node->parent() == nullptr || qv::TreeView::Image(node) != "container" ||
                          node->text(0) == "cn=Recipients");
        if (node->text(0) == "cn=Distribution Lists") {
            tree->SelectNode(node);
            window.NodeClick(node);
        }
    }
    qv::ListView* list = window.lvListView();
    for (int i = 0; i < list->Count(); ++i) {
        if (qv::ListView::Key(list->topLevelItem(i)) == "cn=qvl-sales") {
            list->setCurrentItem(list->topLevelItem(i));
            window.ItemClick(list->topLevelItem(i));
        }
    }
    QApplication::processEvents();
    bool saved = window.grab().save(QString::fromStdString(file), "PNG");
    std::printf("%s %s\n", saved ? "wrote" : "could not write", file.c_str());
    window.hide();
    if (dialogs) saved &= renderDialogs(argv[2]);
    std::system((std::string("rm -rf '") + folder + "'").c_str());
    return saved ? 0 : 1;
}
