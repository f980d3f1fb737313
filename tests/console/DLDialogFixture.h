#pragma once
// The fixture of the DL dialogs' tests: the console fixture with the writer
// account, the Quorvel prefix and field, a store connected to the shared
// reference directory, and DLs of the test's own made with ldap-utils.
#include <QAction>
#include <QTest>
#include <memory>
#include <string>

#include "ConsoleFixture.h"
#include "console/ListView.h"
#include "console/TreeView.h"
#include "console/clsDialogParameter.h"
#include "console/frmMain.h"
#include "directory/clsExchangeStore.h"
#include "support/LdapTool.h"

namespace qv::test {

class DLDialogFixture : public ConsoleFixture {
protected:
    void SetUp() override {
        ConsoleFixture::SetUp();
        useAccount(kWriter);
        mdl().strPrefix = "QVL=";
        mdl().strField = "extension-attribute-15";
        mdl().strLoggingLevel = "0";
        objDialogParameter().Clear();
    }
    void TearDown() override { objDialogParameter().Clear(); }

    // The store bound to `server` with the current account, as the console has it.
    static void connectStore(const std::string& server) {
        mdl().strServer = server;
        ASSERT_TRUE(mdl().objExchangeStore->Connect(mdl().objConnection.get(), server));
    }

    // Item 1 of the selection := the object at `dn` of `dir`.
    static void select(const ReferenceDirectory& dir, const std::string& dn) {
        std::string path = dir.adsPath(dn);
        QueryResult found = mdl().objExchangeStore->Query(path);
        ASSERT_TRUE(found.ok());
        ASSERT_EQ(found.objects().Count(), 1);
        mdl().objDirObjects = found.shared();
    }

    static std::string listDn(const std::string& alias) { return "cn=" + alias + "," + kDistributionLists; }
    // A DL below the Distribution Lists container; `extra` holds further LDIF lines.
    static std::string addDL(const ReferenceDirectory& dir, const std::string& alias, const std::string& extra = "") {
        const std::string dn = listDn(alias);
        LdapTool(dir).add("dn: " + dn + "\nobjectClass: groupOfNames\ncn: " + alias + "\nuid: " + alias + "\n" + extra);
        return dn;
    }

    static QString serverPath(const ReferenceDirectory& dir) { return QString::fromStdString("LDAP://" + dir.server()); }
    static QString listsPath(const ReferenceDirectory& dir) {
        return serverPath(dir) + "/o=Northwind Traders/ou=Amsterdam/cn=Distribution Lists";
    }
};

// The main window, shown, with the nodes of its tree and the rows of its list.
class MainWindowFixture : public DLDialogFixture {
protected:
    void TearDown() override {
        window_.reset();
        DLDialogFixture::TearDown();
    }
    frmMain& open() {
        window_ = std::make_unique<frmMain>();
        window_->Load(nullptr);
        window_->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
        return *window_;
    }
    // The tree node shown as `text`, or whose full path is `text`.
    QTreeWidgetItem* node(const QString& text) const {
        for (QTreeWidgetItem* n : window_->tvTreeView()->Nodes())
            if (n->text(0) == text || window_->tvTreeView()->FullPath(n) == text) return n;
        return nullptr;
    }
    QTreeWidgetItem* row(const QString& key) const {
        ListView* list = window_->lvListView();
        for (int i = 0; i < list->Count(); ++i)
            if (ListView::Key(list->topLevelItem(i)) == key) return list->topLevelItem(i);
        return nullptr;
    }
    // A mouse click on a node or a row, the tree opened down to it.
    static void click(QTreeWidgetItem* item, Qt::KeyboardModifiers modifiers = {}) {
        for (QTreeWidgetItem* n = item->parent(); n; n = n->parent()) n->setExpanded(true);
        QTreeWidget* view = item->treeWidget();
        view->scrollToItem(item);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, modifiers, view->visualItemRect(item).center());
    }
    bool enabled(const char* button) const { return window_->Button(button)->isEnabled(); }

    std::unique_ptr<frmMain> window_;
};

}  // namespace qv::test
