// The main window never lets a command fall through to an object the user
// did not choose: a row chosen and taken back, names holding ";", and a
// reconnect that fails half-way.
#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "DLDialogFixture.h"
#include "console/ConsoleDialogs.h"
#include "console/ListView.h"
#include "console/Selection.h"
#include "console/TreeView.h"
#include "console/frmMain.h"
#include "console/frmProperties.h"
#include "platform/Error.h"

namespace {

using namespace qv;
using qv::test::kRecipients;
using qv::test::sharedDirectory;

class DataSafetyTest : public qv::test::DLDialogFixture {
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
    QTreeWidgetItem* node(const QString& path) const {
        for (QTreeWidgetItem* n : window_->tvTreeView()->Nodes())
            if (window_->tvTreeView()->FullPath(n) == path) return n;
        return nullptr;
    }
    QTreeWidgetItem* row(const QString& key) const {
        ListView* list = window_->lvListView();
        for (int i = 0; i < list->Count(); ++i)
            if (ListView::Key(list->topLevelItem(i)) == key) return list->topLevelItem(i);
        return nullptr;
    }
    void click(QTreeWidgetItem* item, Qt::KeyboardModifiers modifiers = {}) {
        QTreeWidget* view = item->treeWidget();
        view->scrollToItem(item);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, modifiers, view->visualItemRect(item).center());
    }
    bool enabled(const char* button) const { return window_->Button(button)->isEnabled(); }

    std::unique_ptr<frmMain> window_;
};

TEST_F(DataSafetyTest, ADLChoiceTakenBackLeavesNoPropertiesToOpenOrWrite) {
    frmMain& window = open();
    const QString lists = listsPath(sharedDirectory());
    window.NodeClick(node(lists));
    QTreeWidgetItem* sales = row("cn=qvl-sales");
    ASSERT_NE(sales, nullptr);
    click(sales);
    ASSERT_EQ(window.Title(1), "cn=qvl-sales");
    click(sales, Qt::ControlModifier);  // takes the choice back
    EXPECT_TRUE(window.Title(1).isEmpty());
    EXPECT_FALSE(enabled("Properties"));
    EXPECT_FALSE(enabled("Delete"));

    // A DL key without a chosen row loads the container: Properties refuses it.
    int opened = 0;
    RegisterDialog("frmProperties", [&](QWidget* parent) {
        ++opened;
        auto dialog = std::make_unique<QDialog>(parent);
        QTimer::singleShot(0, dialog.get(), &QDialog::reject);
        return dialog;
    });
    qv::test::MessageBoxRecorder boxes;
    window.SetTitle(1, "cn=qvl-sales");
    window.Properties();
    RegisterDialog("frmProperties", {});
    EXPECT_EQ(opened, 0);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "Please select a DL first.");
    // Nor does the dialog itself take anything but a DL.
    ASSERT_EQ(CurrentSelection()->Item(1)->objectClass, "Container");
    EXPECT_FALSE(frmProperties().Loaded());
}

TEST_F(DataSafetyTest, NamesHoldingASemicolonAreUpdatedAndDeleted) {
    const std::string container = "cn=a\\;b," + std::string(kRecipients), dl = "cn=a\\;b," + container;
    const std::string query = "QVL=<LDAP://" + sharedDirectory().server() + "/" + kRecipients +
                              ">;(&((objectClass=organizationalPerson)(department=Sales)));cn,ADsPath,distinguishedName;oneLevel";
    qv::test::LdapTool ldap(sharedDirectory());
    ldap.add("dn: " + container + "\nobjectClass: Container\ncn: a;b\n\ndn: " + dl +
             "\nobjectClass: groupOfNames\ncn: a;b\nuid: ab\nextension-attribute-15: " + query + "\n");
    const auto sales = ldap.dns(kRecipients, "(department=Sales)", "one");
    ASSERT_FALSE(sales.empty());
    frmMain& window = open();
    // The selection as a directory that writes the escape as "\;" names it.
    window.SetTitle(0, serverPath(sharedDirectory()) + "/o=Northwind Traders/ou=Amsterdam/cn=Recipients/cn=a\\;b");
    qv::test::MessageBoxRecorder boxes(MsgAnswer::Yes);
    for (const char* key : {"cn=a\\;b", ""}) {  // the DL, then the whole container
        window.SetTitle(1, key);
        ldap.replace(dl, "member", {});
        ASSERT_TRUE(window.LoadSelection(false)) << key;
        EXPECT_EQ(CurrentSelection()->Item(1)->objectClass, *key ? "groupOfNames" : "Container");
        window.Update();
        ASSERT_FALSE(boxes.boxes.empty());
        EXPECT_EQ(boxes.boxes.back().text, "Completed with no errors.") << key;
        EXPECT_EQ(ldap.members(dl), sales) << key;
    }
    window.SetTitle(1, "cn=a\\;b");
    window.DeleteDL();
    EXPECT_FALSE(ldap.exists(dl));
    ldap.remove(container);
}

TEST_F(DataSafetyTest, AReconnectThatFailsLeavesNoPathOfTheOldTree) {
    frmMain& window = open();
    ASSERT_FALSE(window.Title(0).isEmpty());
    bool thrown = false;
    qv::test::MessageBoxRecorder boxes;
    boxes.onBox = [&](const MessageBoxRequest&) {  // the connect fails, and its report throws
        if (!std::exchange(thrown, true)) throw Error(5, "Invalid procedure call or argument");
    };
    qv::test::whenModalShows([](QWidget* modal) {
        modal->findChild<QLineEdit*>("txtServer")->setText("127.0.0.1:1");
        modal->findChild<QPushButton*>("cmdOK")->click();
    });
    window.Connect();
    ASSERT_TRUE(thrown);
    EXPECT_TRUE(window.Title(0).isEmpty());
    EXPECT_EQ(window.tvTreeView()->topLevelItemCount(), 0);
    for (const char* button : {"Refresh", "Update", "Designer", "New", "Properties", "Delete"})
        EXPECT_FALSE(enabled(button)) << button;
}

}  // namespace
