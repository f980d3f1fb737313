// The new-DL dialog and the DL commands of the main window against the
// reference directory: the proposals, the address check, the failure
// messages, and a DL created, listed, opened and deleted from the main window.
#include <QLineEdit>
#include <QPushButton>

#include "DLDialogFixture.h"
#include "console/frmNew.h"
#include "console/frmProperties.h"

namespace {

using namespace qv;
using qv::test::LdapTool;
using qv::test::MessageBoxRecorder;
using qv::test::sharedDirectory;

class NewDLDialogTest : public qv::test::MainWindowFixture {
protected:
    void SetUp() override {
        MainWindowFixture::SetUp();
        connectStore(sharedDirectory().server());
        window_ = std::make_unique<frmMain>();
        window_->SetTitle(0, listsPath(sharedDirectory()));
    }
};

TEST_F(NewDLDialogTest, FailedCreationsAreExplainedAndCloseTheDialog) {
    MessageBoxRecorder boxes;
    // The alias is taken.
    frmNew taken(window_.get());
    taken.txtcn()->setText("QVL-Sales");
    ASSERT_EQ(taken.txtuid()->text(), "qvl-sales");
    taken.show();
    taken.cmdOK()->click();
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "A distribution list with this name exists, please use a different name.");
    EXPECT_FALSE(taken.isVisible());
    EXPECT_EQ(LdapTool(sharedDirectory()).values(listDn("qvl-sales"), "cn").front(), "Sales (all sites)");

    // A container that is not there: the number, in hexadecimal too, and the description.
    window_->SetTitle(0, serverPath(sharedDirectory()) + "/o=Northwind Traders/ou=Amsterdam/cn=Nowhere");
    frmNew nowhere(window_.get());
    nowhere.cmdOK()->click();
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_TRUE(boxes.boxes[1].text.startsWith("Error -2147016656 [80072030]: ")) << boxes.boxes[1].text.toStdString();

    // An account that may only read.
    window_->SetTitle(0, listsPath(sharedDirectory()));
    useAccount(qv::test::kReader);
    connectStore(sharedDirectory().server());
    frmNew denied(window_.get());
    denied.txtcn()->setText("Reader list");
    denied.cmdOK()->click();
    ASSERT_EQ(boxes.boxes.size(), 3u);
    EXPECT_EQ(boxes.boxes[2].text, "You do not have sufficient access rights to create this object.  Access is denied.");
    EXPECT_FALSE(LdapTool(sharedDirectory()).exists(listDn("readerlist")));
}

// From the main window: New, the new DL in the list under its display name,
// its properties by double click, and Delete.
TEST_F(NewDLDialogTest, ADLIsCreatedListedOpenedAndDeletedFromTheMainWindow) {
    frmMain& main = open();
    ListView* list = main.lvListView();
    ASSERT_NE(node("cn=Distribution Lists"), nullptr);
    main.tvTreeView()->SelectNode(node("cn=Distribution Lists"));
    main.NodeClick(node("cn=Distribution Lists"));
    qv::test::whenShown("frmNew", [](QWidget* window) {
        auto* dialog = qobject_cast<frmNew*>(window);
        QTest::keyClicks(dialog->txtcn(), "Team Rotterdam");
        dialog->txtuid()->setText("team-rdam");
        QTest::keyClick(dialog->txtuid(), Qt::Key_Return);  // the default button
    });
    MessageBoxRecorder boxes(MsgAnswer::Yes);
    main.Button("New")->trigger();
    EXPECT_TRUE(boxes.boxes.empty());
    LdapTool ldap(sharedDirectory());
    const std::string dn = listDn("team-rdam");
    ASSERT_TRUE(ldap.exists(dn));
    EXPECT_EQ(ldap.values(dn, "cn").front(), "QVL: Team Rotterdam");
    EXPECT_EQ(ldap.values(dn, "mail"), std::vector<std::string>{"qvlteamrotterdam@amsterdam.northwindtraders.com"});
    // The window was refreshed: the container stays and lists the new DL by its display name.
    EXPECT_EQ(main.Title(0), listsPath(sharedDirectory()));
    ASSERT_NE(row("cn=team-rdam"), nullptr);
    EXPECT_EQ(row("cn=team-rdam")->text(0), "QVL: Team Rotterdam");

    // A double click opens its properties; Escape cancels.
    click(row("cn=team-rdam"));
    QString caption;
    qv::test::whenShown("frmProperties", [&](QWidget* window) {
        caption = window->windowTitle();
        QTest::keyClick(window, Qt::Key_Escape);
    });
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(row("cn=team-rdam")).center());
    EXPECT_EQ(caption, "QVL: Team Rotterdam");
    EXPECT_TRUE(main.Title(1).isEmpty());  // refreshed after the dialog

    // Delete asks: No keeps the DL, Yes removes it.
    click(row("cn=team-rdam"));
    ASSERT_EQ(main.Title(1), "cn=team-rdam");
    boxes.setAnswer(MsgAnswer::No);
    main.MenuItem("mnuFileDelete")->trigger();
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "Are you sure you want to delete this distribution list?");
    EXPECT_EQ(boxes.boxes[0].buttons, MsgButtons::YesNoDefaultNo);
    EXPECT_TRUE(ldap.exists(dn));
    boxes.setAnswer(MsgAnswer::Yes);
    main.MenuItem("mnuFileDelete")->trigger();
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_FALSE(ldap.exists(dn));
    EXPECT_EQ(row("cn=team-rdam"), nullptr);
}

}  // namespace
