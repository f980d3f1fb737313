// The main window against the reference directory: it never lets a command
// fall through to an object the user did not choose (a row chosen and taken
// back, names holding ";", a reconnect that fails half-way), the processing
// window of Update, update of a DL that has gone, and the settings it keeps at close.
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "DLDialogFixture.h"
#include "console/ConsoleDialogs.h"
#include "console/Selection.h"
#include "console/frmNew.h"
#include "console/frmProcess.h"
#include "console/frmProperties.h"
#include "platform/Error.h"
#include "support/DirectoryUnderTest.h"

namespace {

using namespace qv;
using qv::test::kRecipients;
using qv::test::sharedDirectory;

class MainWindowTest : public qv::test::MainWindowFixture {
protected:
    std::string setting(const char* name) const {
        return mdl().objKVORAPI->GetPrivateProfileStringFromREG("Settings", name, "(none)", SettingsKey);
    }
};

TEST_F(MainWindowTest, ADLChoiceTakenBackLeavesNoPropertiesToOpenOrWrite) {
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

TEST_F(MainWindowTest, NamesHoldingASemicolonAreUpdatedAndDeleted) {
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

TEST_F(MainWindowTest, AReconnectThatFailsLeavesNoPathOfTheOldTree) {
    frmMain& window = open();
    ASSERT_FALSE(window.Title(0).isEmpty());
    bool thrown = false;
    qv::test::MessageBoxRecorder boxes;
    boxes.onBox = [&](const MessageBoxRequest&) {  // the connect fails, and its report throws
        if (!std::exchange(thrown, true)) throw Error(5, "Invalid procedure call or argument");
    };
    qv::test::whenShown("", [](QWidget* modal) {
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

TEST_F(MainWindowTest, AServerListIsWorkedThroughTheServerThatAnswers) {
    auto status = [&] { return window_->findChild<QLabel*>("sbStatusBar_Text")->text().toStdString(); };
    EXPECT_EQ((open(), status()), "");                                    // one server: as before
    mdl().strServer = "LDAP://127.0.0.1:1," + sharedDirectory().server();  // the first refuses
    open().NodeClick(node("cn=Distribution Lists"));
    EXPECT_EQ(status(), "Server: " + sharedDirectory().url());
    EXPECT_NE(row("cn=qvl-sales"), nullptr);  // every path built from the store keeps the list
    EXPECT_TRUE(window_->Title(0).startsWith("LDAP://127.0.0.1:1,")) << window_->Title(0).toStdString();
}

TEST_F(MainWindowTest, UpdatingADLThatHasGoneIsReportedWithoutAPass) {
    qv::test::LdapTool ldap(sharedDirectory());
    const std::string dn = "cn=gone-soon,cn=Europe,cn=Sales,cn=Recipients,ou=Amsterdam,o=Northwind Traders";
    ldap.add("dn: " + dn + "\nobjectClass: groupOfNames\ncn: Gone soon\nuid: gone-soon\n");
    frmMain& window = open();
    click(node("cn=Europe"));
    click(row("cn=gone-soon"));
    ldap.remove(dn);
    qv::test::MessageBoxRecorder boxes;
    window.Update();
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_NE(boxes.boxes[0].title, "Processing Complete");
    EXPECT_EQ(boxes.boxes[0].icon, MsgIcon::Critical);
    EXPECT_TRUE(window.findChildren<QDialog*>("frmProcess").isEmpty());
}

TEST_F(MainWindowTest, ClosingWritesTheSettings) {
    frmMain& window = open();
    double split = 3000;
    window.SizeControls(split);
    mdl().strPrefix = "RBDL=";
    window.MenuItem("mnuFileClose")->trigger();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(setting("MainSplit"), "3000");
    EXPECT_EQ(mdl().objKVORAPI->GetPrivateProfileStringFromREG("General", "Prefix", "", SettingsKey), "RBDL=");
    EXPECT_EQ(mdl().objKVORAPI->GetPrivateProfileStringFromREG("General", "LastServer", "", SettingsKey),
              mdl().strServer);
    // The next window opens as this one was left.
    window_.reset();
    EXPECT_EQ(open().SplitterLeft(), 3000);
}

// The processing window: a pass on the chosen DL, or with none chosen on the whole container.
TEST_F(MainWindowTest, UpdateRunsAPassOnTheChosenDLOrTheWholeContainer) {
    frmMain& window = open();
    window.NodeClick(node("cn=Distribution Lists"));
    window.ItemClick(row("cn=qvl-nobody"));
    ASSERT_EQ(window.Title(1), "cn=qvl-nobody");
    QStringList seen;
    qv::test::MessageBoxRecorder boxes;
    boxes.onBox = [&](const MessageBoxRequest&) {
        if (auto* process = window.findChild<frmProcess*>()) seen = process->StatusHistory();
    };
    window.MenuItem("mnuToolsUpdate")->trigger();
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "Completed with no errors.");
    ASSERT_FALSE(seen.isEmpty());
    EXPECT_EQ(seen.front(), "Processing DL...");
    EXPECT_EQ(mdl().objDirObjects->Item(1)->distinguishedName,
              "cn=qvl-nobody," + std::string(qv::test::kDistributionLists));
    EXPECT_EQ(window.Title(1), "cn=qvl-nobody");  // the list is not refreshed

    // With no DL chosen the toolbar's Update covers the container, once asked (No the default).
    window.NodeClick(node("cn=Distribution Lists"));
    EXPECT_EQ(window.Button("Update")->toolTip(), "Update every Quorvel DL in the chosen container");
    const auto dls = qv::test::LdapTool(sharedDirectory())
                         .dns(qv::test::kDistributionLists, "(&(objectClass=groupOfNames)(extension-attribute-15=QVL=*))");
    seen.clear();
    for (MsgAnswer answer : {MsgAnswer::No, MsgAnswer::Yes}) {
        boxes.boxes.clear();
        boxes.setAnswer(answer);
        window.Button("Update")->trigger();
        ASSERT_EQ(boxes.boxes.size(), answer == MsgAnswer::No ? 1u : 2u);
        EXPECT_EQ(boxes.boxes[0].buttons, MsgButtons::YesNoDefaultNo);
        EXPECT_EQ(boxes.boxes[0].text, "No DL is chosen. Update every Quorvel DL in cn=Distribution Lists?");
        EXPECT_TRUE(boxes.boxes[0].detail.startsWith(
            "cn=Distribution Lists holds " + QString::number(dls.size()) + " Quorvel DLs;"));
        EXPECT_EQ(seen.isEmpty(), answer == MsgAnswer::No);  // No runs nothing
    }
    EXPECT_EQ(boxes.boxes[1].text,
              "Completed with at least one error.  See the application event log for more information.");
    EXPECT_EQ(seen.front(), "Enumerating Quorvel DL's...");
}

}  // namespace

// The console on a stock slapd and on 389-DS with a bind-DN account: the tree
// from the organisation down its organizational units, the DL list, a new DL
// (on the stock slapd it must have a member: the placeholder), its properties
// without the messaging attributes, a reset, and its deletion.
TEST_F(MainWindowTest, WorksOnAStockSlapdAnd389) {
    using namespace qv::test;
    for (DirectoryKind kind : {DirectoryKind::StockSlapd, DirectoryKind::Ds389}) {
        SCOPED_TRACE(kindName(kind));
        auto& stock = DirectoryUnderTest::shared(kind);
        const std::set<std::string> emptied =
            kind == DirectoryKind::StockSlapd ? std::set<std::string>{"cn=empty,cn=quorvel"} : std::set<std::string>{};
        const auto logon = stock.logon(Role::Service);
        mdl().objConnection->setUsername(logon.user);
        mdl().objConnection->setPassword(logon.password);
        mdl().strServer = stock.server();
        mdl().strField = "description";
        frmMain& window = open();
        const QString org = "LDAP://" + QString::fromStdString(stock.server()) + "/dc=example,dc=com";
        ASSERT_EQ(window.Title(0), org);
        ASSERT_NE(node(org + "/ou=Groups/ou=Lists"), nullptr);
        window.NodeClick(node(org + "/ou=Groups"));
        ASSERT_NE(row("cn=qvl-sales"), nullptr);

        MessageBoxRecorder boxes(MsgAnswer::Yes);
        const std::string dl = "cn=qvlcompat,ou=Groups,dc=example,dc=com";
        {
            frmNew created(&window);
            created.txtcn()->setText("QVL: Compat");
            EXPECT_EQ(created.txtmail()->text(), "qvlcompat@example.com");
            created.OK();
        }
        EXPECT_EQ(stock.tool().members(dl), emptied);
        window.NodeClick(node(org + "/ou=Groups"));
        click(row("cn=qvlcompat"));
        ASSERT_TRUE(window.LoadSelection(true));
        {
            frmProperties properties;
            ASSERT_TRUE(properties.Loaded());
            EXPECT_EQ(properties.lblMembers()->text(), "0 Members");
            EXPECT_FALSE(properties.controluid()->isEnabled());
            EXPECT_TRUE(properties.SaveProperties());
            stock.tool().replace(dl, "member", {"uid=aadams,ou=People,dc=example,dc=com"});
            properties.ResetMembers();
            EXPECT_EQ(properties.lblMembers()->text(), "0 Members");
        }
        EXPECT_EQ(stock.tool().members(dl), emptied);
        window.DeleteDL();
        EXPECT_FALSE(stock.tool().exists(dl));
        for (const auto& box : boxes.boxes) EXPECT_NE(box.icon, MsgIcon::Critical) << box.text.toStdString();
    }
}
