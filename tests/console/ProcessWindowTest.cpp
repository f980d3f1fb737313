// The processing window: a pass on one DL or on a container, its status
// lines, its bar and its closing message, against the reference directory.
#include <QLabel>
#include <QProgressBar>
#include <QTest>
#include <memory>

#include "ConsoleFixture.h"
#include "console/ListView.h"
#include "console/TreeView.h"
#include "console/frmMain.h"
#include "console/frmProcess.h"
#include "directory/clsExchangeStore.h"
#include "support/LdapTool.h"

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

    // Item 1 of the selection := the object at `dn`.
    void select(const std::string& dn) {
        ASSERT_TRUE(mdl().objExchangeStore->Connect(mdl().objConnection.get(), mdl().strServer));
        std::string path = sharedDirectory().adsPath(dn);
        QueryResult found = mdl().objExchangeStore->Query(path);
        ASSERT_TRUE(found.ok());
        ASSERT_EQ(found.objects().Count(), 1);
        mdl().objDirObjects = found.shared();
    }

    // Runs the window as the console does; returns it after it has closed.
    std::unique_ptr<frmProcess> run() {
        auto window = std::make_unique<frmProcess>();
        window->exec();
        return window;
    }

    qv::test::MessageBoxRecorder boxes_;
};

TEST_F(ProcessWindowTest, OneDLEndsWithTheSingularCountAndNoErrors) {
    const std::string dn = "cn=qvl-engineers," + std::string(kDistributionLists);
    select(dn);
    bool normalPointerAtTheMessage = false;
    boxes_.onBox = [&](const MessageBoxRequest&) { normalPointerAtTheMessage = !QApplication::overrideCursor(); };
    auto window = run();
    EXPECT_EQ(window->lblData()->text().toStdString(), dn);
    EXPECT_EQ(window->StatusHistory(),
              (QStringList{"Processing DL...", "Processed 1 distribution list.", "Processing Complete: " + NoErrors}));
    EXPECT_EQ(window->lblStatus()->text(), "Processing Complete: " + NoErrors);
    EXPECT_EQ(window->pbDL()->maximum(), 1);
    EXPECT_EQ(window->pbDL()->value(), 1);
    ASSERT_EQ(boxes_.boxes.size(), 1u);
    EXPECT_EQ(boxes_.boxes[0].text, NoErrors);
    EXPECT_EQ(boxes_.boxes[0].title, "Processing Complete");
    EXPECT_EQ(boxes_.boxes[0].icon, MsgIcon::Information);
    EXPECT_EQ(boxes_.boxes[0].buttons, MsgButtons::OK);
    EXPECT_TRUE(normalPointerAtTheMessage);
    EXPECT_FALSE(window->isVisible());

    // The pass really ran: the members are what the query finds.
    qv::test::LdapTool ldap(sharedDirectory());
    EXPECT_EQ(ldap.members(dn),
              ldap.dns(qv::test::kRecipients, "(&(objectClass=organizationalPerson)(title=*Engineer))"));
    EXPECT_FALSE(ldap.members(dn).empty());
}

TEST_F(ProcessWindowTest, AContainerCountsEveryDLAndReportsTheFailingOne) {
    select(kDistributionLists);
    qv::test::LdapTool ldap(sharedDirectory());
    const auto quorvelDLs = ldap.dns(kDistributionLists, "(&(objectClass=groupOfNames)(extension-attribute-15=QVL=*))");
    const int n = static_cast<int>(quorvelDLs.size());
    ASSERT_GE(n, 3);
    ASSERT_TRUE(quorvelDLs.count("cn=qvl-broken," + std::string(kDistributionLists)));

    auto window = run();
    QStringList expected{"Enumerating Quorvel DL's...", QString::number(n) + " DL's to process."};
    for (int i = 1; i <= n; ++i) expected << QStringLiteral("Processed %1 of %2.").arg(i).arg(n);
    expected << QStringLiteral("Processed %1 distribution lists.").arg(n) << "Processing Complete: " + SomeErrors;
    EXPECT_EQ(window->StatusHistory(), expected);
    EXPECT_EQ(window->pbDL()->maximum(), n);
    EXPECT_EQ(window->pbDL()->value(), n);
    ASSERT_EQ(boxes_.boxes.size(), 1u);
    EXPECT_EQ(boxes_.boxes[0].text, SomeErrors);
    EXPECT_EQ(boxes_.boxes[0].title, "Processing Complete");
    EXPECT_EQ(boxes_.boxes[0].icon, MsgIcon::Exclamation);
}

TEST_F(ProcessWindowTest, AContainerWithoutQuorvelDLsIsAnError) {
    select(qv::test::kCustomRecipients);
    auto window = run();
    ASSERT_GE(window->StatusHistory().size(), 2);
    EXPECT_EQ(window->StatusHistory().front(), "Enumerating Quorvel DL's...");
    EXPECT_EQ(window->StatusHistory().back(), "Processing Complete: " + SomeErrors);
    ASSERT_EQ(boxes_.boxes.size(), 1u);
    EXPECT_EQ(boxes_.boxes[0].icon, MsgIcon::Exclamation);
}

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
