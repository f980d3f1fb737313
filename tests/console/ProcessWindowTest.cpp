// The processing window started from the main window: a pass on the chosen
// DL or on the whole container, and its closing message.

#include "ConsoleFixture.h"
#include "console/ListView.h"
#include "console/TreeView.h"
#include "console/frmMain.h"
#include "console/frmProcess.h"

namespace {

using namespace qv;
using qv::test::kDistributionLists;
using qv::test::sharedDirectory;

const QString NoErrors = "Completed with no errors.";
const QString SomeErrors = "Completed with at least one error.  See the application event log for more information.";

class ProcessWindowTest : public qv::test::ConsoleFixture {
protected:
    void SetUp() override {
        ConsoleFixture::SetUp();
        useAccount(qv::test::kWriter);
        mdl().strPrefix = "QVL=";
        mdl().strField = "extension-attribute-15";
        mdl().strLoggingLevel = "0";
    }

    qv::test::MessageBoxRecorder boxes_;
};

TEST_F(ProcessWindowTest, TheMainWindowUpdatesTheChosenDLOrTheWholeContainer) {
    frmMain window;
    window.Load(nullptr);
    window.show();
    TreeView* tree = window.tvTreeView();
    QTreeWidgetItem* lists = nullptr;
    for (QTreeWidgetItem* node : tree->Nodes())
        if (node->text(0) == "cn=Distribution Lists") lists = node;
    ASSERT_NE(lists, nullptr);
    window.NodeClick(lists);
    ListView* list = window.lvListView();
    for (int i = 0; i < list->Count(); ++i)
        if (ListView::Key(list->topLevelItem(i)) == "cn=qvl-nobody") window.ItemClick(list->topLevelItem(i));
    ASSERT_EQ(window.Title(1), "cn=qvl-nobody");

    QStringList seen;
    boxes_.onBox = [&](const MessageBoxRequest&) {
        if (auto* process = window.findChild<frmProcess*>()) seen = process->StatusHistory();
    };
    window.MenuItem("mnuToolsUpdate")->trigger();
    ASSERT_EQ(boxes_.boxes.size(), 1u);
    EXPECT_EQ(boxes_.boxes[0].text, NoErrors);
    ASSERT_FALSE(seen.isEmpty());
    EXPECT_EQ(seen.front(), "Processing DL...");
    EXPECT_EQ(mdl().objDirObjects->Item(1)->distinguishedName, "cn=qvl-nobody," + std::string(kDistributionLists));
    EXPECT_EQ(window.Title(1), "cn=qvl-nobody");  // the list is not refreshed

    // With no DL chosen the toolbar's Update covers the container.
    window.NodeClick(lists);
    boxes_.boxes.clear();
    window.Button("Update")->trigger();
    ASSERT_EQ(boxes_.boxes.size(), 1u);
    EXPECT_EQ(boxes_.boxes[0].text, SomeErrors);
    EXPECT_EQ(seen.front(), "Enumerating Quorvel DL's...");
    window.hide();
}

}  // namespace
