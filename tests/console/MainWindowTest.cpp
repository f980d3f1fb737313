// The main window against the reference directory: its states and
// commands, the layout in twips, the context menu, refresh and reconnect,
// and the settings it keeps at close.
#include <QAction>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <filesystem>
#include <memory>

#include "ConsoleFixture.h"
#include "console/ConsoleDialogs.h"
#include "console/ListView.h"
#include "console/TreeView.h"
#include "console/Twips.h"
#include "console/frmConnect.h"
#include "console/frmMain.h"
#include "core/IsolatedEnvironment.h"
#include "support/LdapTool.h"

namespace {

using namespace qv;
using qv::test::kDistributionLists;
using qv::test::sharedDirectory;

// One pixel, in twips, as the tolerance of a converted length.
double onePixel() { return 1440.0 / LogicalDpiX() + 0.01; }

class MainWindowTest : public qv::test::ConsoleFixture {
protected:
    void TearDown() override {
        if (window_) window_->hide();
        window_.reset();
    }

    frmMain& open() {
        window_ = std::make_unique<frmMain>();
        window_->Load(nullptr);
        window_->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
        return *window_;
    }

    TreeView* tree() const { return window_->tvTreeView(); }
    ListView* list() const { return window_->lvListView(); }
    QTreeWidgetItem* site() const { return tree()->Nodes().value(2); }
    QTreeWidgetItem* container(const QString& text) const {
        for (QTreeWidgetItem* node : tree()->Nodes())
            if (node->text(0) == text) return node;
        return nullptr;
    }

    bool enabled(const QString& menuItem) const { return window_->MenuItem(menuItem)->isEnabled(); }
    bool buttonEnabled(const QString& key) const { return window_->Button(key)->isEnabled(); }
    // Menu items (named mnu...) and toolbar buttons (by key) all `on` or all off.
    void expectEnabled(std::initializer_list<const char*> names, bool on) const {
        for (const char* name : names)
            EXPECT_EQ(QString(name).startsWith("mnu") ? enabled(name) : buttonEnabled(name), on) << name;
    }

    void clickNode(QTreeWidgetItem* node) {
        for (QTreeWidgetItem* n = node->parent(); n; n = n->parent()) n->setExpanded(true);
        tree()->scrollToItem(node);
        QTest::mouseClick(tree()->viewport(), Qt::LeftButton, {}, tree()->visualItemRect(node).center());
    }

    QTreeWidgetItem* item(const QString& key) const {
        for (int i = 0; i < list()->Count(); ++i)
            if (ListView::Key(list()->topLevelItem(i)) == key) return list()->topLevelItem(i);
        return nullptr;
    }

    void clickItem(QTreeWidgetItem* row, Qt::MouseButton button = Qt::LeftButton) {
        list()->scrollToItem(row);
        QTest::mouseClick(list()->viewport(), button, {}, list()->visualItemRect(row).center());
    }

    // The caption and state of a context-menu item.
    std::pair<QString, bool> popupItem(const QString& name) const {
        QAction* action = window_->MenuItem(name);
        return {action->text(), action->isEnabled()};
    }

    std::string setting(const char* name) const {
        return mdl().objKVORAPI->GetPrivateProfileStringFromREG("Settings", name, "(none)", SettingsKey);
    }

    // Registers a stand-in for `name` that counts its openings and closes at once.
    static void registerStandIn(const char* name, int& opened, bool accept = false) {
        RegisterDialog(name, [&opened, accept](QWidget* parent) {
            ++opened;
            auto dialog = std::make_unique<QDialog>(parent);
            QTimer::singleShot(0, dialog.get(), accept ? &QDialog::accept : &QDialog::reject);
            return dialog;
        });
    }

    std::unique_ptr<frmMain> window_;
};

TEST_F(MainWindowTest, WithoutAServerTheWindowOpensNotConnected) {
    mdl().strServer = "<Exchange Server>";
    frmMain& window = open();
    EXPECT_EQ(window.windowTitle(), "KVOR Quorvel <<Exchange Server>>");
    EXPECT_TRUE(window.Title(0).isEmpty());
    EXPECT_TRUE(window.Title(1).isEmpty());
    EXPECT_EQ(tree()->topLevelItemCount(), 0);
    expectEnabled({"mnuFileNew", "mnuFileDelete", "mnuFileProperties", "mnuViewRefresh", "mnuToolsUpdate",
                   "mnuToolsRBDL", "mnuToolsQueryDesigner", "New", "Properties", "Delete", "Refresh", "Update",
                   "Designer"},
                  false);
    expectEnabled({"mnuFileConnect", "mnuFileClose", "mnuViewToolbar", "mnuViewStatusBar", "mnuToolsEventvwr",
                   "mnuToolsOptions", "mnuWebHome", "mnuWebUpdate", "mnuHelpAbout", "Connect", "Options", "eventvwr",
                   "Exit"},
                  true);

    // Captions and tooltips come from the screen texts: one of each kind.
    EXPECT_EQ(window.MenuItem("mnuHelpAbout")->text(), "&About ");
    EXPECT_EQ(window.MenuItem("mnuPopupProperties")->text(), "Properties");
    EXPECT_EQ(window.MenuItem("mnuFileNew")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_N));
    EXPECT_FALSE(window.MenuItem("mnuHelpContents")->isVisible());
    EXPECT_EQ(window.Button("Connect")->toolTip(), "Connect to Exchange Server");
}

TEST_F(MainWindowTest, CommandsFollowTheSelection) {
    frmMain& window = open();
    EXPECT_EQ(window.windowTitle(), "KVOR Quorvel <" + QString::fromStdString(mdl().strServer) + ">");
    ASSERT_NE(site(), nullptr);
    EXPECT_EQ(window.Title(0), tree()->FullPath(site()));
    EXPECT_EQ(tree()->SelectedNode(), site());
    // Site selected: no container, no DL.
    expectEnabled({"mnuViewRefresh", "mnuToolsUpdate", "mnuToolsRBDL", "mnuToolsQueryDesigner", "Designer"}, true);
    expectEnabled({"mnuFileNew", "New", "mnuFileDelete", "Properties"}, false);

    // A container: its DLs, New; title 1 empty.
    clickNode(container("cn=Distribution Lists"));
    EXPECT_EQ(window.Title(0), tree()->FullPath(site()) + "/cn=Distribution Lists");
    EXPECT_TRUE(window.Title(1).isEmpty());
    EXPECT_EQ(list()->Count(), 12);
    expectEnabled({"mnuFileNew", "New"}, true);
    expectEnabled({"mnuFileProperties"}, false);

    // A DL: Delete and Properties.
    clickItem(item("cn=qvl-sales"));
    EXPECT_EQ(window.Title(1), "cn=qvl-sales");
    expectEnabled({"mnuFileDelete", "mnuFileProperties", "Delete", "Properties"}, true);

    // Another node clears the DL and refills the list.
    clickNode(container("cn=Custom Recipients"));
    EXPECT_TRUE(window.Title(1).isEmpty());
    EXPECT_EQ(list()->Count(), 0);
    EXPECT_FALSE(enabled("mnuFileDelete"));
    EXPECT_TRUE(enabled("mnuFileNew"));
    clickNode(site());
    EXPECT_EQ(list()->Count(), 0);
    EXPECT_FALSE(enabled("mnuFileNew"));
    clickNode(tree()->topLevelItem(0));
    EXPECT_EQ(window.Title(0), tree()->topLevelItem(0)->text(0));
    EXPECT_TRUE(enabled("mnuToolsUpdate"));
}

TEST_F(MainWindowTest, TheSplitterStopsAThousandTwipsFromEachSide) {
    mdl().strServer = "";
    frmMain& window = open();
    window.resize(TwipsToPixelsX(9000, &window), TwipsToPixelsY(6000, &window));
    const double width = window.WindowWidthTwips();
    ASSERT_NEAR(width, 9000, onePixel());
    QWidget* handle = window.imgSplitter();
    const frmMain::TwipsRect before = window.Bounds(handle);

    // Real mouse events on the handle.
    auto send = [&](QEvent::Type type, int x) {
        QMouseEvent event(type, QPointF(x, 5), handle->mapToGlobal(QPointF(x, 5)), Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(handle, &event);
    };
    send(QEvent::MouseButtonPress, 1);
    EXPECT_TRUE(window.SplitterMoving());
    ASSERT_TRUE(window.picSplitter()->isVisible());
    frmMain::TwipsRect bar = window.Bounds(window.picSplitter());
    EXPECT_EQ(bar.left, before.left);
    EXPECT_EQ(bar.top, before.top);
    EXPECT_EQ(bar.width, std::floor(static_cast<long>(before.width) / 2.0));
    EXPECT_EQ(bar.height, before.height - 20);
    EXPECT_EQ(window.picSplitter()->palette().color(QPalette::Window), QColor(128, 128, 128));

    send(QEvent::MouseMove, -TwipsToPixelsX(before.left, &window));  // far left
    EXPECT_EQ(window.Bounds(window.picSplitter()).left, 1000);
    EXPECT_EQ(window.SplitterLeft(), before.left);  // the panes stay during the drag
    send(QEvent::MouseMove, TwipsToPixelsX(20000, &window));  // far right
    EXPECT_EQ(window.Bounds(window.picSplitter()).left, width - 1000);
    send(QEvent::MouseButtonRelease, TwipsToPixelsX(20000, &window));
    EXPECT_FALSE(window.SplitterMoving());
    EXPECT_FALSE(window.picSplitter()->isVisible());
    EXPECT_EQ(window.SplitterLeft(), width - 1000);
    EXPECT_EQ(window.Bounds(tree()).width, width - 1000);

    // In between, the bar follows the mouse.
    window.SplitterMouseDown();
    window.SplitterMouseMove(-(window.SplitterLeft() - 2500));
    window.SplitterMouseUp();
    EXPECT_EQ(window.SplitterLeft(), 2500);

    // The panes meet at the splitter: the tree ends where the list begins.
    EXPECT_EQ(window.Bounds(tree()).width, 2500);
    EXPECT_EQ(window.Bounds(list()).left, 2500 + 40);
    EXPECT_NEAR(PixelsToTwipsX(list()->geometry().left(), &window), 2500 + 40, onePixel());

    // A position asked for directly is clamped in place.
    double wanted = 10;
    window.SizeControls(wanted);
    EXPECT_EQ(wanted, 1000);
    wanted = 1e6;
    window.SizeControls(wanted);
    EXPECT_EQ(wanted, width - 1000);
}

TEST_F(MainWindowTest, ANarrowWindowSnapsBackToThreeThousandTwips) {
    mdl().strServer = "";
    frmMain& window = open();
    window.resize(TwipsToPixelsX(2000, &window), window.height());
    QApplication::processEvents();
    EXPECT_NEAR(window.WindowWidthTwips(), 3000, onePixel());
    window.resize(TwipsToPixelsX(4000, &window), window.height());
    QApplication::processEvents();
    EXPECT_NEAR(window.WindowWidthTwips(), 4000, onePixel());
}

TEST_F(MainWindowTest, ToolbarAndStatusBarToggleAndThePanesFollow) {
    mdl().strServer = "";
    frmMain& window = open();
    const double client = window.ClientHeightTwips();
    const frmMain::TwipsRect strip = window.Bounds(window.picTitles());
    const double toolbar = window.Bounds(window.tbToolBar()).height;
    const double status = window.Bounds(window.sbStatusBar()).height;
    ASSERT_GT(toolbar, 0);
    ASSERT_GT(status, 0);
    EXPECT_EQ(strip.top, toolbar);
    EXPECT_EQ(window.Bounds(tree()).top, toolbar + strip.height);
    EXPECT_EQ(window.Bounds(tree()).height, client - (strip.top + strip.height + status));

    window.MenuItem("mnuViewToolbar")->trigger();
    EXPECT_FALSE(window.MenuItem("mnuViewToolbar")->isChecked());
    EXPECT_FALSE(window.tbToolBar()->isVisible());
    EXPECT_EQ(window.Bounds(window.picTitles()).top, 0);
    EXPECT_EQ(window.Bounds(tree()).top, strip.height);

    window.MenuItem("mnuViewStatusBar")->trigger();
    EXPECT_FALSE(window.sbStatusBar()->isVisible());
    // Both hidden: the tree runs from under the title strip to the bottom.
    EXPECT_EQ(window.Bounds(tree()).top, strip.height);
    EXPECT_EQ(window.Bounds(tree()).top + window.Bounds(tree()).height, client);
    EXPECT_EQ(window.Bounds(list()).height, window.Bounds(tree()).height);

    window.MenuItem("mnuViewToolbar")->trigger();
    window.MenuItem("mnuViewStatusBar")->trigger();
    EXPECT_TRUE(window.tbToolBar()->isVisible());
    EXPECT_TRUE(window.sbStatusBar()->isVisible());
    EXPECT_EQ(window.Bounds(tree()).top, toolbar + strip.height);
}

TEST_F(MainWindowTest, TheContextMenuNamesTheChosenDLOrStaysPlain) {
    frmMain& window = open();
    QMenu* popup = window.mnuPopup();

    // Not on a container: no menu.
    list()->Clear();
    emit list()->MouseDown(Qt::RightButton, QPoint(5, 5));
    EXPECT_FALSE(popup->isVisible());

    clickNode(container("cn=Distribution Lists"));
    QTest::mouseClick(list()->viewport(), Qt::RightButton, {}, list()->visualItemRect(item("cn=qvl-managers")).center());
    ASSERT_TRUE(popup->isVisible());
    EXPECT_EQ(popupItem("mnuPopupUpdate"), std::make_pair(QString("Update Managers"), true));
    EXPECT_EQ(popupItem("mnuPopupDelete"), std::make_pair(QString("Delete Managers"), true));
    EXPECT_EQ(popupItem("mnuPopupProperties"), std::make_pair(QString("Properties of Managers"), true));
    EXPECT_EQ(popupItem("mnuPopupNew"), std::make_pair(QString("New"), true));
    EXPECT_EQ(window.Title(1), "cn=qvl-managers");
    popup->close();

    // Other buttons show nothing.
    QTest::mouseClick(list()->viewport(), Qt::MiddleButton, {}, QPoint(5, 5));
    EXPECT_FALSE(popup->isVisible());

    clickNode(container("cn=Custom Recipients"));
    ASSERT_EQ(list()->Count(), 0);
    QTest::mouseClick(list()->viewport(), Qt::RightButton, {}, QPoint(20, 20));
    ASSERT_TRUE(popup->isVisible());
    EXPECT_EQ(popupItem("mnuPopupUpdate"), std::make_pair(QString("Update"), false));
    EXPECT_EQ(popupItem("mnuPopupDelete"), std::make_pair(QString("Delete"), false));
    EXPECT_EQ(popupItem("mnuPopupProperties"), std::make_pair(QString("Properties"), false));
    popup->close();
}

TEST_F(MainWindowTest, RefreshKeepsTheContainerOrFallsBackToTheSite) {
    qv::test::LdapTool ldap(sharedDirectory());
    const std::string added = "cn=Refresh Test,cn=Recipients,ou=Amsterdam,o=Northwind Traders";
    ldap.add("dn: " + added + "\nobjectClass: Container\ncn: Refresh Test\n");
    frmMain& window = open();
    clickNode(container("cn=Europe"));
    const QString europe = window.Title(0);
    window.Refresh();
    EXPECT_EQ(window.Title(0), europe);
    EXPECT_EQ(tree()->FullPath(tree()->SelectedNode()), europe);
    EXPECT_EQ(list()->Count(), 1);  // the node click ran again
    EXPECT_TRUE(window.Title(1).isEmpty());

    clickNode(container("cn=Refresh Test"));
    ldap.remove(added);
    {
        // Its DLs cannot be read any more: the user is told, the list stays empty.
        qv::test::MessageBoxRecorder boxes;
        clickNode(container("cn=Refresh Test"));
        ASSERT_EQ(boxes.boxes.size(), 1u);
        EXPECT_TRUE(boxes.boxes[0].text.startsWith("Error "));
        EXPECT_EQ(boxes.boxes[0].icon, MsgIcon::Critical);
        EXPECT_EQ(list()->Count(), 0);
    }
    window.MenuItem("mnuViewRefresh")->trigger();
    EXPECT_EQ(window.Title(0), tree()->FullPath(site()));
    EXPECT_EQ(tree()->SelectedNode(), site());
    EXPECT_EQ(container("cn=Refresh Test"), nullptr);
}

TEST_F(MainWindowTest, ConnectReconnectsAlsoAfterCancel) {
    frmMain& window = open();
    clickNode(container("cn=Distribution Lists"));
    clickItem(item("cn=qvl-sales"));
    qv::test::LdapTool ldap(sharedDirectory());
    const std::string added = "cn=Connect Test,ou=Amsterdam,o=Northwind Traders";
    ldap.add("dn: " + added + "\nobjectClass: Container\ncn: Connect Test\n");

    bool sawDialog = false;
    qv::test::whenModalShows([&](QWidget* modal) {
        sawDialog = qobject_cast<frmConnect*>(modal) != nullptr;
        modal->findChild<QPushButton*>("cmdCancel")->click();
    });
    window.MenuItem("mnuFileConnect")->trigger();
    ldap.remove(added);
    EXPECT_TRUE(sawDialog);
    EXPECT_NE(container("cn=Connect Test"), nullptr);  // the tree was read again
    EXPECT_EQ(window.Title(0), tree()->FullPath(site()));
    EXPECT_TRUE(window.Title(1).isEmpty());
    EXPECT_EQ(list()->Count(), 0);
    EXPECT_EQ(window.windowTitle(), "KVOR Quorvel <" + QString::fromStdString(mdl().strServer) + ">");
}

TEST_F(MainWindowTest, AFailedConnectLeavesTheWindowNotConnected) {
    qv::test::MessageBoxRecorder boxes;
    frmMain& window = open();
    ASSERT_FALSE(window.Title(0).isEmpty());
    qv::test::whenModalShows([](QWidget* modal) {
        modal->findChild<QLineEdit*>("txtServer")->setText("127.0.0.1:1");
        modal->findChild<QPushButton*>("cmdOK")->click();
    });
    window.Button("Connect")->trigger();
    ASSERT_EQ(boxes.boxes.size(), 1u);  // its text: ContainerTreeTest
    EXPECT_EQ(mdl().strServer, "127.0.0.1:1");
    EXPECT_EQ(window.windowTitle(), "KVOR Quorvel <127.0.0.1:1>");
    EXPECT_TRUE(window.Title(0).isEmpty());
    EXPECT_EQ(tree()->topLevelItemCount(), 0);
    EXPECT_EQ(list()->Count(), 0);
    expectEnabled({"mnuViewRefresh", "Update"}, false);
    expectEnabled({"Connect"}, true);

    // The placeholder clears without trying.
    boxes.boxes.clear();
    qv::test::whenModalShows([](QWidget* modal) {
        modal->findChild<QLineEdit*>("txtServer")->setText("<Exchange Server>");
        modal->findChild<QPushButton*>("cmdOK")->click();
    });
    window.Connect();
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(window.windowTitle(), "KVOR Quorvel <<Exchange Server>>");
}

TEST_F(MainWindowTest, CommandsWithoutASelectionAnswerWithAMessage) {
    qv::test::MessageBoxRecorder boxes;
    mdl().strServer = "<Exchange Server>";
    frmMain& window = open();
    window.NewDL();
    window.Properties();
    window.HelpContents();
    ASSERT_EQ(boxes.boxes.size(), 3u);
    EXPECT_EQ(boxes.boxes[0].text, "Please select a container first.");
    EXPECT_EQ(boxes.boxes[0].title, "New");
    EXPECT_EQ(boxes.boxes[1].text, "Please select a DL first.");
    EXPECT_EQ(boxes.boxes[1].title, "Properties");
    EXPECT_EQ(boxes.boxes[2].text,
              "Unable to display Help Contents. There is no Help associated with this project.");
    EXPECT_EQ(boxes.boxes[2].title, window.windowTitle());
    EXPECT_EQ(boxes.boxes[2].icon, MsgIcon::Information);
    // A key that is no button does nothing.
    window.ToolbarButtonClick("NoSuchButton");
    EXPECT_EQ(boxes.boxes.size(), 3u);
}

TEST_F(MainWindowTest, LaterDialogsPlugInByName) {
    qv::test::MessageBoxRecorder boxes;
    frmMain& window = open();
    clickNode(container("cn=Distribution Lists"));
    clickItem(item("cn=qvl-nobody"));

    // Not part of the build: the user is told, nothing breaks.
    RegisterDialog("frmProperties", {});
    window.Properties();
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_TRUE(boxes.boxes[0].text.contains("not part of this build"));

    QWidget* owner = nullptr;
    std::string selected;
    RegisterDialog("frmProperties", [&](QWidget* parent) {
        owner = parent;
        selected = mdl().objDirObjects->Item(1)->distinguishedName;
        auto dialog = std::make_unique<QDialog>(parent);
        QTimer::singleShot(0, dialog.get(), &QDialog::accept);
        return dialog;
    });
    window.MenuItem("mnuFileProperties")->trigger();
    RegisterDialog("frmProperties", {});
    EXPECT_EQ(owner, &window);
    EXPECT_EQ(selected, "cn=qvl-nobody," + std::string(kDistributionLists));
    // Refreshed afterwards: the container stays, the DL choice is gone.
    EXPECT_EQ(window.Title(0), tree()->FullPath(site()) + "/cn=Distribution Lists");
    EXPECT_TRUE(window.Title(1).isEmpty());
    EXPECT_EQ(list()->Count(), 12);

    // A double click on a DL opens the properties too.
    int opened = 0;
    registerStandIn("frmProperties", opened);
    QTreeWidgetItem* row = item("cn=qvl-sales");
    ASSERT_NE(row, nullptr);
    clickItem(row);  // a double click starts with a click
    QTest::mouseDClick(list()->viewport(), Qt::LeftButton, {}, list()->visualItemRect(row).center());
    RegisterDialog("frmProperties", {});
    EXPECT_EQ(opened, 1);

    int designers = 0;
    registerStandIn("frmQueryDesigner", designers);
    window.Button("Designer")->trigger();
    RegisterDialog("frmQueryDesigner", {});
    EXPECT_EQ(designers, 1);
}

TEST_F(MainWindowTest, DeleteAsksAndRemovesTheDL) {
    useAccount(qv::test::kWriter);
    qv::test::LdapTool ldap(sharedDirectory());
    const std::string dn = "cn=delete-me,cn=Europe,cn=Sales,cn=Recipients,ou=Amsterdam,o=Northwind Traders";
    ldap.add("dn: " + dn + "\nobjectClass: groupOfNames\ncn: Delete me\ncn: delete-me\nuid: delete-me\n");
    qv::test::MessageBoxRecorder boxes(MsgAnswer::No);
    frmMain& window = open();
    clickNode(container("cn=Europe"));
    ASSERT_NE(item("cn=delete-me"), nullptr);
    clickItem(item("cn=delete-me"));

    window.DeleteDL();
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "Are you sure you want to delete this distribution list?");
    EXPECT_EQ(boxes.boxes[0].title, "Delete distribution list?");
    EXPECT_EQ(boxes.boxes[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(boxes.boxes[0].icon, MsgIcon::Question);
    EXPECT_TRUE(ldap.exists(dn));

    boxes.setAnswer(MsgAnswer::Yes);
    ASSERT_TRUE(buttonEnabled("Delete"));
    window.Button("Delete")->trigger();
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_FALSE(ldap.exists(dn));
    EXPECT_EQ(item("cn=delete-me"), nullptr);
    EXPECT_EQ(window.Title(0), tree()->FullPath(container("cn=Europe")));

    // With the container itself selected nothing is deleted or asked.
    boxes.boxes.clear();
    window.DeleteDL();
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_TRUE(ldap.exists("cn=qvl-europe,cn=Europe,cn=Sales,cn=Recipients,ou=Amsterdam,o=Northwind Traders"));
}

TEST_F(MainWindowTest, UpdatingADLThatHasGoneIsReportedWithoutAPass) {
    qv::test::LdapTool ldap(sharedDirectory());
    const std::string dn = "cn=gone-soon,cn=Europe,cn=Sales,cn=Recipients,ou=Amsterdam,o=Northwind Traders";
    ldap.add("dn: " + dn + "\nobjectClass: groupOfNames\ncn: Gone soon\nuid: gone-soon\n");
    frmMain& window = open();
    clickNode(container("cn=Europe"));
    clickItem(item("cn=gone-soon"));
    ldap.remove(dn);
    qv::test::MessageBoxRecorder boxes;
    window.Update();
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_NE(boxes.boxes[0].title, "Processing Complete");
    EXPECT_EQ(boxes.boxes[0].icon, MsgIcon::Critical);
    EXPECT_TRUE(window.findChildren<QDialog*>("frmProcess").isEmpty());
}

TEST_F(MainWindowTest, ClosingWritesTheBoundsAndTheSettings) {
    frmMain& window = open();
    window.move(TwipsToPixelsX(1500, &window), TwipsToPixelsY(1200, &window));
    window.resize(TwipsToPixelsX(9000, &window), TwipsToPixelsY(7000, &window));
    double x = 3000;
    window.SizeControls(x);
    mdl().strPrefix = "RBDL=";
    window.MenuItem("mnuFileClose")->trigger();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(setting("MainLeft"), std::to_string(std::lround(PixelsToTwipsX(window.x(), &window))));
    EXPECT_EQ(setting("MainTop"), std::to_string(std::lround(PixelsToTwipsY(window.y(), &window))));
    EXPECT_NEAR(std::stod(setting("MainWidth")), 9000, onePixel());
    EXPECT_NEAR(std::stod(setting("MainHeight")), 7000, onePixel());
    EXPECT_EQ(setting("MainSplit"), "3000");
    EXPECT_EQ(mdl().objKVORAPI->GetPrivateProfileStringFromREG("General", "Prefix", "", SettingsKey), "RBDL=");
    EXPECT_EQ(mdl().objKVORAPI->GetPrivateProfileStringFromREG("General", "LastServer", "", SettingsKey),
              mdl().strServer);

    // The next window opens where this one was.
    window_.reset();
    frmMain& again = open();
    EXPECT_NEAR(again.WindowWidthTwips(), 9000, onePixel());
    EXPECT_EQ(again.SplitterLeft(), 3000);

    // Closed while minimised: the bounds stay as saved before.
    again.resize(TwipsToPixelsX(5000, &again), TwipsToPixelsY(5000, &again));
    again.showMinimized();
    ASSERT_TRUE(again.isMinimized());
    mdl().strField = "admin-description";
    again.close();
    EXPECT_NEAR(std::stod(setting("MainWidth")), 9000, onePixel());
    EXPECT_EQ(setting("MainSplit"), "3000");
    EXPECT_EQ(mdl().objKVORAPI->GetPrivateProfileStringFromREG("General", "Field", "", SettingsKey),
              "admin-description");
}

TEST_F(MainWindowTest, StoredBoundsThatAreNotNumbersTakeTheDefaults) {
    mdl().strServer = "";
    mdl().objKVORAPI->SavePrivateProfileStringToREG("Settings", "MainWidth", "wide", SettingsKey);
    mdl().objKVORAPI->SavePrivateProfileStringToREG("Settings", "MainSplit", "2345.9", SettingsKey);
    frmMain& window = open();
    EXPECT_NEAR(window.WindowWidthTwips(), 6500, onePixel());
    EXPECT_EQ(window.SplitterLeft(), 2345);
}

TEST_F(MainWindowTest, TheWebItemsOpenThePagesShippedWithTheProgram) {
    qv::test::TempDir bin;
    const std::string record = bin.file("opened.txt");
    qv::test::writeFile(bin.file("xdg-open"), "#!/bin/sh\necho \"$1\" >> " + record + "\n");
    std::filesystem::permissions(bin.file("xdg-open"), std::filesystem::perms::owner_all);
    const std::string path = bin.path() + ":" + std::getenv("PATH");
    qv::test::ScopedEnv env("PATH", path);
    mdl().strServer = "";
    frmMain& window = open();
    for (const char* item : {"mnuWebHome", "mnuWebProducts", "mnuWebQuorvel", "mnuWebUpdate"})
        window.MenuItem(item)->trigger();
    std::string opened;
    for (int i = 0; i < 250 && std::count(opened.begin(), opened.end(), '\n') < 4; ++i) {
        QTest::qWait(20);
        opened = std::filesystem::exists(record) ? qv::test::readFile(record) : "";
    }
    const std::string docs = std::filesystem::canonical(qv::test::sourceDir() + "/docs").string();
    // The pages open side by side, so they are recorded in any order.
    QStringList lines = QString::fromStdString(opened).split('\n', Qt::SkipEmptyParts);
    lines.sort();
    const QString folder = QString::fromStdString(docs);
    EXPECT_EQ(lines, (QStringList{folder + "/home.html", folder + "/products.html", folder + "/quorvel.html",
                                  folder + "/updates.html"}));
    for (const char* page : {"home.html", "products.html", "quorvel.html", "updates.html"})
        EXPECT_NE(qv::test::readFile(docs + "/" + page).find("</html>"), std::string::npos) << page;
}

TEST_F(MainWindowTest, TheEventLogWindowOpensOnceAndClosesWithTheMainWindow) {
    mdl().strServer = "";
    mdl().strLoggingLevel = "0";
    LogEvent("shown in the viewer", 0, EventWarning, EventIdInformation);
    frmMain& window = open();
    window.Button("eventvwr")->trigger();
    window.MenuItem("mnuToolsEventvwr")->trigger();
    const auto viewers = window.findChildren<QDialog*>("frmEventLog");
    ASSERT_EQ(viewers.size(), 1);
    EXPECT_TRUE(viewers[0]->isVisible());
    window.close();
    EXPECT_FALSE(viewers[0]->isVisible());
}

}  // namespace
