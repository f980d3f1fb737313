// The main window against the reference directory: update of a DL that has
// gone, and the settings it keeps at close.
#include <QAction>
#include <QDialog>
#include <QTest>
#include <memory>

#include "ConsoleFixture.h"
#include "console/ListView.h"
#include "console/TreeView.h"
#include "console/Twips.h"
#include "console/frmMain.h"
#include "support/LdapTool.h"

namespace {

using namespace qv;
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
    QTreeWidgetItem* container(const QString& text) const {
        for (QTreeWidgetItem* node : tree()->Nodes())
            if (node->text(0) == text) return node;
        return nullptr;
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

    void clickItem(QTreeWidgetItem* row) {
        list()->scrollToItem(row);
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, list()->visualItemRect(row).center());
    }

    std::string setting(const char* name) const {
        return mdl().objKVORAPI->GetPrivateProfileStringFromREG("Settings", name, "(none)", SettingsKey);
    }

    std::unique_ptr<frmMain> window_;
};

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
}

}  // namespace
