// Connecting the console and filling the container tree and the DL list
// from the reference directory.
#include <QProgressBar>
#include <QSet>

#include "ConsoleFixture.h"
#include "console/ContainerTree.h"
#include "console/ListView.h"
#include "console/TreeView.h"
#include "platform/Error.h"

namespace {

using namespace qv;
using qv::test::sharedDirectory;

class ContainerTreeTest : public qv::test::ConsoleFixture {};

QSet<QString> itemKeys(const ListView& list) {
    QSet<QString> keys;
    for (int i = 0; i < list.Count(); ++i) keys << ListView::Key(list.topLevelItem(i));
    return keys;
}

QSet<QString> itemTexts(const ListView& list) {
    QSet<QString> texts;
    for (int i = 0; i < list.Count(); ++i) texts << list.topLevelItem(i)->text(0);
    return texts;
}

TEST_F(ContainerTreeTest, ConnectSeedsServerOrganisationSiteAndEveryContainer) {
    qv::test::MessageBoxRecorder boxes;
    TreeView tree;
    QProgressBar bar;
    bar.setRange(0, 100);
    ASSERT_TRUE(ConnectToServer(mdl().strServer, &tree, &bar));
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(bar.value(), 40);

    ASSERT_EQ(tree.topLevelItemCount(), 1);
    QTreeWidgetItem* root = tree.topLevelItem(0);
    const QString path = "LDAP://" + QString::fromStdString(sharedDirectory().server());
    EXPECT_EQ(root->text(0).toUpper(), path.toUpper());
    EXPECT_EQ(TreeView::Key(root), root->text(0));
    EXPECT_EQ(TreeView::Image(root), "server");
    ASSERT_EQ(root->childCount(), 1);
    QTreeWidgetItem* org = root->child(0);
    EXPECT_EQ(org->text(0), "o=Northwind Traders");
    EXPECT_EQ(TreeView::Image(org), "org");
    ASSERT_EQ(org->childCount(), 1);
    QTreeWidgetItem* site = org->child(0);
    EXPECT_EQ(site->text(0), "ou=Amsterdam");
    EXPECT_EQ(TreeView::Image(site), "site");
    EXPECT_EQ(tree.SelectedNode(), site);
    EXPECT_EQ(tree.FullPath(site), root->text(0) + "/o=Northwind Traders/ou=Amsterdam");

    // The configuration container is neither shown nor descended into.
    const QStringList siteChildren = childTexts(site);
    EXPECT_EQ(QSet<QString>(siteChildren.begin(), siteChildren.end()),
              (QSet<QString>{"cn=Recipients", "cn=Custom Recipients", "cn=Distribution Lists"}));
    for (QTreeWidgetItem* node : tree.Nodes()) {
        EXPECT_NE(node->text(0), "cn=Configuration");
        EXPECT_NE(node->text(0), "cn=Servers");
    }

    QTreeWidgetItem* recipients = childNamed(site, "cn=Recipients");
    ASSERT_NE(recipients, nullptr);
    EXPECT_EQ(TreeView::Image(recipients), "container");
    EXPECT_TRUE(TreeView::Key(recipients).startsWith("cn=Recipients"));
    EXPECT_NE(TreeView::Key(recipients), "cn=Recipients");
    QTreeWidgetItem* europe = childNamed(childNamed(recipients, "cn=Sales"), "cn=Europe");
    ASSERT_NE(europe, nullptr);
    EXPECT_EQ(tree.FullPath(europe), tree.FullPath(site) + "/cn=Recipients/cn=Sales/cn=Europe");

    // Same-named containers in different places, each with a key of its own.
    QTreeWidgetItem* archive = childNamed(recipients, "cn=Archive");
    QTreeWidgetItem* engineeringArchive = childNamed(childNamed(recipients, "cn=Engineering"), "cn=Archive");
    ASSERT_NE(archive, nullptr);
    ASSERT_NE(engineeringArchive, nullptr);
    EXPECT_NE(TreeView::Key(archive), TreeView::Key(engineeringArchive));
    EXPECT_TRUE(TreeView::Key(engineeringArchive).startsWith("cn=Archive"));

    // A "/" in a name shows as itself and is escaped in the path.
    QTreeWidgetItem* legal = childNamed(recipients, "cn=Legal/Compliance");
    ASSERT_NE(legal, nullptr);
    EXPECT_EQ(tree.FullPath(legal), tree.FullPath(recipients) + "/cn=Legal\\/Compliance");
}

TEST_F(ContainerTreeTest, TheListShowsTheDLsOfAContainerOnly) {
    qv::test::MessageBoxRecorder boxes;
    TreeView tree;
    ASSERT_TRUE(ConnectToServer(mdl().strServer, &tree, nullptr));
    QTreeWidgetItem* site = tree.SelectedNode();
    ListView list;

    LoadDLList(&list, &tree, childNamed(site, "cn=Distribution Lists"));
    EXPECT_EQ(itemKeys(list), (QSet<QString>{"cn=qvl-sales", "cn=qvl-recipients-direct", "cn=qvl-engineers",
                                             "cn=qvl-amsterdam-utrecht", "cn=qvl-rotterdam-partners", "cn=qvl-broken",
                                             "cn=qvl-managers", "cn=qvl-nobody", "cn=qvl-all-lists", "cn=staff-social",
                                             "cn=rbdl-partners", "cn=rbdl-finance"}));
    EXPECT_TRUE(itemTexts(list).contains("Sales (all sites)"));
    EXPECT_TRUE(itemTexts(list).contains("Social committee"));
    EXPECT_FALSE(itemTexts(list).contains("qvl-sales"));

    // Persons and nested containers are not DLs; a container of the seed holds one DL.
    QTreeWidgetItem* recipients = childNamed(site, "cn=Recipients");
    LoadDLList(&list, &tree, childNamed(childNamed(recipients, "cn=Sales"), "cn=Europe"));
    EXPECT_EQ(itemKeys(list), QSet<QString>{"cn=qvl-europe"});
    EXPECT_EQ(itemTexts(list), QSet<QString>{"Sales Europe"});

    // The path of a container with "/" in its name reaches it.
    LoadDLList(&list, &tree, childNamed(recipients, "cn=Legal/Compliance"));
    EXPECT_EQ(list.Count(), 0);

    // The server, organisation and site nodes give an empty list.
    LoadDLList(&list, &tree, childNamed(site, "cn=Distribution Lists"));
    ASSERT_GT(list.Count(), 0);
    LoadDLList(&list, &tree, site);
    EXPECT_EQ(list.Count(), 0);
    LoadDLList(&list, &tree, tree.topLevelItem(0));
    EXPECT_EQ(list.Count(), 0);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(ContainerTreeTest, AFailedConnectTellsTheUserAndLeavesTheTree) {
    qv::test::MessageBoxRecorder boxes;
    TreeView tree;
    tree.AddNode(nullptr, "keep", "keep", "server");
    EXPECT_FALSE(ConnectToServer("127.0.0.1:1", &tree, nullptr));
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].title, "Error connecting to 127.0.0.1:1");
    EXPECT_EQ(boxes.boxes[0].icon, MsgIcon::Critical);
    EXPECT_EQ(boxes.boxes[0].buttons, MsgButtons::OK);
    EXPECT_TRUE(boxes.boxes[0].text.startsWith("Error "));
    EXPECT_TRUE(boxes.boxes[0].text.contains("]: "));
    ASSERT_EQ(tree.Nodes().size(), 1);
    EXPECT_EQ(tree.topLevelItem(0)->text(0), "keep");

    // Wrong credentials are refused the same way.
    useAccount({"reader", "wrong-password"});
    boxes.boxes.clear();
    EXPECT_FALSE(ConnectToServer(mdl().strServer, &tree, nullptr));
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].title, QString("Error connecting to ") + QString::fromStdString(mdl().strServer));
}

// Every node's text, indented by its depth, in tree order.
QStringList outline(const TreeView& tree) {
    QStringList lines;
    for (QTreeWidgetItem* node : tree.Nodes()) {
        int depth = 0;
        for (QTreeWidgetItem* n = node->parent(); n; n = n->parent()) ++depth;
        lines << QString(depth, ' ') + node->text(0) + " " + TreeView::Image(node);
    }
    return lines;
}

TEST_F(ContainerTreeTest, OneSearchBuildsTheSameTreeAsAWalkLevelByLevel) {
    qv::test::MessageBoxRecorder boxes;
    TreeView fast;
    ASSERT_TRUE(ConnectToServer(mdl().strServer, &fast, nullptr));
    TreeView walked;
    QTreeWidgetItem* root = walked.AddNode(nullptr, "r", fast.topLevelItem(0)->text(0), "server");
    QTreeWidgetItem* org = walked.AddNode(root, "o", "o=Northwind Traders", "org");
    QTreeWidgetItem* site = walked.AddNode(org, "s", "ou=Amsterdam", "site");
    LoadContainerTreeByLevels(site, &walked);
    EXPECT_EQ(outline(fast), outline(walked));
    EXPECT_GE(outline(fast).size(), 12);

    // Below a container, only its own subtree is added.
    TreeView part;
    QTreeWidgetItem* partRoot = part.AddNode(nullptr, "r", fast.topLevelItem(0)->text(0), "server");
    QTreeWidgetItem* partOrg = part.AddNode(partRoot, "o", "o=Northwind Traders", "org");
    QTreeWidgetItem* partSite = part.AddNode(partOrg, "s", "ou=Amsterdam", "site");
    QTreeWidgetItem* recipients = part.AddNode(partSite, "c", "cn=Recipients", "container");
    LoadContainerTree(recipients, &part);
    EXPECT_EQ(childTexts(recipients), (QStringList{"cn=Sales", "cn=Engineering", "cn=Archive", "cn=Legal/Compliance"}));
    EXPECT_EQ(part.Nodes().size(), 10);

    // A container that has gone raises the directory's error.
    QTreeWidgetItem* gone = part.AddNode(partSite, "g", "cn=Gone", "container");
    EXPECT_THROW(LoadContainerTree(gone, &part), Error);
}

TEST_F(ContainerTreeTest, KeysAreUniqueWithinATree) {
    TreeView tree;
    QTreeWidgetItem* root = tree.AddNode(nullptr, "a", "LDAP://x", "server");
    tree.AddNode(root, "b", "o=x/y", "org");
    try {
        tree.AddNode(root, "b", "other", "org");
        FAIL() << "a taken key was accepted";
    } catch (const Error& error) {
        EXPECT_EQ(error.number(), 35602);
    }
    EXPECT_EQ(tree.FullPath(tree.Node("b")), "LDAP://x/o=x\\/y");
    tree.Clear();
    EXPECT_EQ(tree.Node("a"), nullptr);
    EXPECT_NO_THROW(tree.AddNode(nullptr, "a", "again", "server"));
    EXPECT_EQ(NodeTextOfName("cn=Legal\\/Compliance"), "cn=Legal/Compliance");
    EXPECT_EQ(PathPartOfText("cn=Legal/Compliance"), "cn=Legal\\/Compliance");
}

}  // namespace
