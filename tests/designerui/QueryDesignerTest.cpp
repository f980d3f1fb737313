// The query designer: its start from the main window and from the DL
// properties, the list commands, the container picker, the test run against
// the reference directory, and what OK hands back.
#include <QComboBox>
#include <QListWidget>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSet>
#include <QTabBar>
#include <QTest>
#include <QTreeWidget>

#include "DesignerUiFixture.h"
#include "console/TreeView.h"
#include "console/frmAddCriteria.h"
#include "console/frmContainer.h"
#include "console/frmQueryDesigner.h"
#include "support/LdapTool.h"

namespace {

using namespace qv;
using qv::test::sharedDirectory;
using qv::test::whenShown;

class QueryDesignerTest : public qv::test::DesignerUiFixture {
protected:
    // A designer opened by the DL properties dialog with `query`.
    static std::unique_ptr<frmQueryDesigner> fromProperties(const QString& query) {
        objDialogParameter().SetParam("frmQueryDesigner", "frmProperties", "cmdQuery", query);
        return std::make_unique<frmQueryDesigner>();
    }

    static QString query(const QString& container, const QString& filter, const QString& scope = "subtree") {
        return "<" + container + ">;" + filter + ";cn,ADsPath,distinguishedName;" + scope;
    }

    static QStringList results(const frmQueryDesigner& designer) {
        QStringList texts;
        for (int i = 0; i < designer.lstResults()->topLevelItemCount(); ++i)
            texts << designer.lstResults()->topLevelItem(i)->text(0);
        return texts;
    }

    static void expectHeight(const frmQueryDesigner& designer, double twips) {
        EXPECT_NEAR(designer.HeightTwips(), twips, 1440.0 / 96.0 + 0.01);
    }
};

TEST_F(QueryDesignerTest, FromTheMainWindowANewQueryStartsAtItsContainerAndHandsNothingBack) {
    // A hand-over left behind by an earlier dialog does not reach the designer.
    objDialogParameter().SetParam("frmQueryDesigner", "frmProperties", "cmdQuery",
                                  query(sitePath(), "(cn=stale)"));
    bool checked = false;
    whenShown("frmQueryDesigner", [&](QWidget* window) {
        auto* designer = qobject_cast<frmQueryDesigner*>(window);
        ASSERT_NE(designer, nullptr);
        EXPECT_EQ(designer->parentWidget(), main_.get());
        EXPECT_FALSE(designer->FromProperties());
        EXPECT_EQ(designer->txtContainer()->text(), sitePath());
        EXPECT_TRUE(designer->txtContainer()->isReadOnly());
        EXPECT_EQ(items(designer->lstCriteria()), (QStringList{"&(", ")"}));
        EXPECT_EQ(designer->lstCriteria()->currentRow(), 1);
        EXPECT_EQ(designer->cmbDepth()->currentText(), "subtree");
        EXPECT_EQ(designer->txtQuery()->toPlainText(), query(sitePath(), "(&())"));
        EXPECT_EQ(designer->lblStatus()->text(), "Query syntax is incorrect or incomplete.");
        expectHeight(*designer, frmQueryDesigner::NormalHeight);
        // Only the page of the selected tab is shown and enabled.
        EXPECT_EQ(designer->tabQueryDesigner()->currentIndex(), frmQueryDesigner::AdvancedTab);
        EXPECT_TRUE(designer->picQuery(2)->isVisible() && designer->picQuery(2)->isEnabled());
        EXPECT_FALSE(designer->picQuery(3)->isVisible() || designer->picQuery(3)->isEnabled());
        designer->tabQueryDesigner()->setCurrentIndex(frmQueryDesigner::GuruTab);
        EXPECT_TRUE(designer->picQuery(3)->isVisible() && designer->picQuery(3)->isEnabled());
        EXPECT_FALSE(designer->picQuery(2)->isVisible() || designer->picQuery(2)->isEnabled());
        // A change, then OK: nothing goes back.
        designer->ChooseDepth(1);
        checked = true;
        designer->cmdOK()->click();
    });
    main_->MenuItem("mnuToolsQueryDesigner")->trigger();
    EXPECT_TRUE(checked);
    EXPECT_TRUE(objDialogParameter().SendTo().isEmpty());
    EXPECT_TRUE(objDialogParameter().VarDataText().isEmpty());
}

TEST_F(QueryDesignerTest, FromThePropertiesOKHandsTheTextBackAndClosingHandsNothing) {
    const QString text = query(sitePath() + "/cn=Recipients", "(&((cn=a*)(l=Utrecht)))", "oneLevel");
    auto designer = fromProperties(text);
    EXPECT_TRUE(designer->FromProperties());
    EXPECT_EQ(designer->txtContainer()->text(), sitePath() + "/cn=Recipients");
    EXPECT_EQ(items(designer->lstCriteria()), (QStringList{"&(", "(cn=a*)", "(l=Utrecht)", ")"}));
    EXPECT_EQ(designer->lstCriteria()->currentRow(), 3);
    EXPECT_EQ(designer->cmbDepth()->currentText(), "oneLevel");
    EXPECT_EQ(designer->lblStatus()->text(), "Query syntax is ok.");

    // The text goes back as it stands, valid or not, not rebuilt.
    designer->txtQuery()->setPlainText("<LDAP://nowhere>;(unfinished");
    EXPECT_EQ(designer->lblStatus()->text(), "Query syntax is incorrect or incomplete.");
    designer->OK();
    EXPECT_EQ(designer->result(), QDialog::Accepted);
    EXPECT_EQ(objDialogParameter().SendTo(), "frmProperties");
    EXPECT_EQ(objDialogParameter().SentFrom(), "frmQueryDesigner");
    EXPECT_EQ(objDialogParameter().strControl(), "cmdOK");
    EXPECT_EQ(objDialogParameter().VarDataText(), "<LDAP://nowhere>;(unfinished");

    // Escape closes the designer and discards the work: the caller's record stays.
    designer = fromProperties(text);
    designer->show();
    designer->RemoveCriteria();
    QTest::keyClick(designer.get(), Qt::Key_Escape);
    EXPECT_FALSE(designer->isVisible());
    EXPECT_EQ(designer->result(), QDialog::Rejected);
    EXPECT_EQ(objDialogParameter().SendTo(), "frmQueryDesigner");
    EXPECT_EQ(objDialogParameter().VarDataText(), text);
}

TEST_F(QueryDesignerTest, TextAndFieldsKeepInStep) {
    auto designer = fromProperties(query(sitePath(), "(&((cn=a*)(l=Utrecht)))"));
    designer->show();
    designer->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(designer.get()));
    designer->SelectTab(frmQueryDesigner::GuruTab);
    designer->txtQuery()->setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(designer->txtQuery()->hasFocus());
    // Line breaks typed into the text go when the text loses the focus; a
    // valid text is read into the list.
    designer->txtQuery()->setPlainText(query(sitePath(), "(&((cn=b*)\n(l=Delft)))", "ONELEVEL"));
    designer->cmdRun()->setFocus();  // any other control
    QApplication::processEvents();
    EXPECT_EQ(designer->txtQuery()->toPlainText(), query(sitePath(), "(&((cn=b*)(l=Delft)))", "oneLevel"));
    EXPECT_EQ(items(designer->lstCriteria()), (QStringList{"&(", "(cn=b*)", "(l=Delft)", ")"}));
    EXPECT_EQ(designer->cmbDepth()->currentText(), "oneLevel");

    // An invalid text loses its line breaks only; the fields stay.
    designer->txtQuery()->setFocus();
    designer->txtQuery()->setPlainText("<LDAP://x>;(&((cn=c*)\r\n");
    designer->SelectTab(frmQueryDesigner::AdvancedTab);
    EXPECT_EQ(designer->txtQuery()->toPlainText(), "<LDAP://x>;(&((cn=c*)");
    EXPECT_EQ(items(designer->lstCriteria()), (QStringList{"&(", "(cn=b*)", "(l=Delft)", ")"}));
    EXPECT_EQ(designer->lblStatus()->text(), "Query syntax is incorrect or incomplete.");
}

TEST_F(QueryDesignerTest, RemoveUpAndDownAtTheEndsOfTheList) {
    auto designer = fromProperties(query(sitePath(), "(&((cn=a*)(l=Utrecht)))"));
    QListWidget* list = designer->lstCriteria();

    // Up on the first item and Down on the last do nothing.
    list->setCurrentRow(0);
    EXPECT_FALSE(designer->cmdUp()->isEnabled());
    designer->MoveUp();
    list->setCurrentRow(3);
    EXPECT_FALSE(designer->cmdDown()->isEnabled());
    designer->MoveDown();
    EXPECT_EQ(items(list), (QStringList{"&(", "(cn=a*)", "(l=Utrecht)", ")"}));

    // Down and Up move the current item, which stays current.
    list->setCurrentRow(1);
    designer->cmdDown()->click();
    EXPECT_EQ(items(list), (QStringList{"&(", "(l=Utrecht)", "(cn=a*)", ")"}));
    EXPECT_EQ(list->currentRow(), 2);
    EXPECT_EQ(designer->txtQuery()->toPlainText(), query(sitePath(), "(&((l=Utrecht)(cn=a*)))"));

    // Remove on the first item leaves no item current.
    list->setCurrentRow(0);
    designer->cmdRemoveCriteria()->click();
    EXPECT_EQ(items(list), (QStringList{"(l=Utrecht)", "(cn=a*)", ")"}));
    EXPECT_EQ(list->currentRow(), -1);
    EXPECT_FALSE(designer->cmdRemoveCriteria()->isEnabled());
    EXPECT_EQ(designer->lblStatus()->text(), "Query syntax is incorrect or incomplete.");
    // Remove on a later item makes the one before it current.
    list->setCurrentRow(2);
    designer->RemoveCriteria();
    EXPECT_EQ(items(list), (QStringList{"(l=Utrecht)", "(cn=a*)"}));
    EXPECT_EQ(list->currentRow(), 1);
    EXPECT_EQ(designer->txtQuery()->toPlainText(), query(sitePath(), "((l=Utrecht)(cn=a*))"));
}

TEST_F(QueryDesignerTest, AnRfcFilterIsKeptAndOneTheListCannotShowIsLockedWithItsNote) {
    // A negated group cannot be shown as criteria: the list is locked, the text kept.
    const QString locked = query(sitePath(), "(!(|(cn=a*)(cn=b*)))");
    auto designer = fromProperties(locked);
    EXPECT_TRUE(designer->lstCriteria()->count() == 0);
    EXPECT_TRUE(designer->lblFilterNote()->isVisibleTo(designer.get()));
    EXPECT_FALSE(designer->lblFilterNote()->text().isEmpty());
    EXPECT_FALSE(designer->cmdAddCriteria()->isEnabled());
    EXPECT_EQ(designer->txtQuery()->toPlainText(), locked);
    designer->ChooseDepth(1);  // other fields still change
    designer->OK();
    EXPECT_EQ(objDialogParameter().VarDataText(), query(sitePath(), "(!(|(cn=a*)(cn=b*)))", "oneLevel"));

    // An and-term in the usual notation is shown, and kept as written until the list changes.
    const QString kept = query(sitePath(), "(&(objectClass=organizationalPerson)(l=Utrecht))");
    designer = fromProperties(kept);
    EXPECT_EQ(items(designer->lstCriteria()), (QStringList{"&(", "(objectClass=organizationalPerson)", "(l=Utrecht)", ")"}));
    EXPECT_TRUE(designer->lblFilterNote()->isVisibleTo(designer.get()));
    EXPECT_EQ(designer->txtQuery()->toPlainText(), kept);
    designer->lstCriteria()->setCurrentRow(2);
    designer->RemoveCriteria();
    EXPECT_FALSE(designer->lblFilterNote()->isVisibleTo(designer.get()));
    EXPECT_EQ(designer->txtQuery()->toPlainText(), query(sitePath(), "(&((objectClass=organizationalPerson)))"));
}

TEST_F(QueryDesignerTest, AnUnusualScopeIsShownAndKeptUntilADepthIsChosen) {
    auto designer = fromProperties(query(sitePath(), "((cn=a*)(l=Utrecht))", "onelevel-ish"));
    EXPECT_EQ(designer->cmbDepth()->currentText(), "onelevel-ish");
    EXPECT_TRUE(designer->txtQuery()->toPlainText().endsWith(";onelevel-ish"));
    designer->ChooseDepth(0);
    EXPECT_EQ(designer->cmbDepth()->count(), 2);
    EXPECT_EQ(designer->cmbDepth()->currentText(), "subtree");
    EXPECT_TRUE(designer->txtQuery()->toPlainText().endsWith(";subtree"));
}

TEST_F(QueryDesignerTest, ThePickerSetsTheContainerAndItsCancelKeepsIt) {
    auto designer = fromProperties(query(sitePath(), "((cn=a*)(l=Utrecht))"));
    const QString before = designer->txtQuery()->toPlainText();

    whenShown("frmContainer", [&](QWidget* window) {
        auto* picker = qobject_cast<frmContainer*>(window);
        ASSERT_NE(picker, nullptr);
        EXPECT_EQ(picker->treeContainer()->FullPath(picker->treeContainer()->SelectedNode()), sitePath());
        EXPECT_EQ(objDialogParameter().SentFrom(), "frmQueryDesigner");
        picker->cmdCancel()->click();
    });
    designer->cmdContainer()->click();
    EXPECT_EQ(designer->txtContainer()->text(), sitePath());
    EXPECT_EQ(designer->txtQuery()->toPlainText(), before);

    // With the picker's message still in the record, Add opens in add mode.
    bool addMode = false;
    whenShown("frmAddCriteria", [&](QWidget* window) {
        auto* editor = static_cast<frmAddCriteria*>(window);
        addMode = !frmAddCriteria::EditModeRequested() && editor->cmbField()->currentText() == "Admin-Description";
        editor->cmdCancel()->click();
    });
    designer->AddCriteria();
    EXPECT_TRUE(addMode);

    whenShown("frmContainer", [&](QWidget* window) {
        auto* picker = static_cast<frmContainer*>(window);
        TreeView* tree = picker->treeContainer();
        QTreeWidgetItem* recipients = nullptr;
        for (QTreeWidgetItem* node : tree->Nodes())
            if (node->text(0) == "cn=Recipients") recipients = node;
        ASSERT_NE(recipients, nullptr);
        tree->SelectNode(recipients);
        picker->cmdOK()->click();
    });
    designer->ChooseContainer();
    EXPECT_EQ(designer->txtContainer()->text(), sitePath() + "/cn=Recipients");
    EXPECT_EQ(designer->txtQuery()->toPlainText(), query(sitePath() + "/cn=Recipients", "((cn=a*)(l=Utrecht))"));
}

TEST_F(QueryDesignerTest, FindNowReportsBadSyntaxNoMatchAndAMissingBaseInTheList) {
    auto designer = fromProperties("<LDAP://>;;;subtree");
    designer->cmdRun()->click();
    EXPECT_EQ(results(*designer), (QStringList{"Error: Invalid Query Syntax"}));
    expectHeight(*designer, frmQueryDesigner::ResultsHeight);
    EXPECT_EQ(designer->CountText(), "0 records returned");
    EXPECT_EQ(designer->lstResults()->toolTip(), "0 records returned");

    designer->txtQuery()->setPlainText(query(sitePath(), "((objectClass=organizationalPerson)(cn=nobody-here))"));
    designer->RunQuery();
    EXPECT_EQ(results(*designer), (QStringList{"0 rows returned."}));
    EXPECT_EQ(designer->CountText(), "0 records returned");

    designer->txtQuery()->setPlainText(query(sitePath() + "/cn=Nowhere", "((cn=a*)(l=Utrecht))"));
    designer->RunQuery();
    EXPECT_EQ(results(*designer), (QStringList{"Error: Table does not exist (server not found)."}));

    // A filter the directory cannot read is reported by its number and description.
    designer->txtQuery()->setPlainText(query(sitePath(), "(cn=a)(=b)"));
    designer->RunQuery();
    ASSERT_EQ(results(*designer).size(), 1);
    EXPECT_TRUE(results(*designer)[0].startsWith("Error [8007203E]: ")) << results(*designer)[0].toStdString();

    // Clear All empties the list and shrinks the window; the criteria stay.
    const QStringList criteria = items(designer->lstCriteria());
    designer->cmdClearAll()->click();
    EXPECT_EQ(designer->lstResults()->topLevelItemCount(), 0);
    expectHeight(*designer, frmQueryDesigner::NormalHeight);
    EXPECT_EQ(items(designer->lstCriteria()), criteria);
}

TEST_F(QueryDesignerTest, FindNowListsWhatTheDirectoryFinds) {
    auto designer = fromProperties(
        query(sitePath() + "/cn=Recipients", "(&((objectClass=organizationalPerson)(department=Sales)))"));
    designer->RunQuery();
    const QStringList found = results(*designer);

    std::set<std::string> expected;
    const qv::test::LdapTool ldap(sharedDirectory(), qv::test::kReader);
    for (const auto& entry : ldap.search(qv::test::kRecipients, "(&(objectClass=organizationalPerson)(department=Sales))",
                                         "sub", {"cn"}))
        expected.insert(entry.first("cn"));
    ASSERT_GT(expected.size(), 3u);
    std::set<std::string> names;
    for (const QString& name : found) names.insert(name.toStdString());
    EXPECT_EQ(names, expected) << found.join(", ").toStdString();
    EXPECT_EQ(static_cast<std::size_t>(found.size()), expected.size());  // no name twice
    EXPECT_EQ(designer->CountText(), QString::number(expected.size()) + " records returned");
    EXPECT_EQ(designer->lstResults()->toolTip(), designer->CountText());
}

}  // namespace
