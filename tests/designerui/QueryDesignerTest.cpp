// The query designer: what OK hands back to the DL properties and what they
// keep, and the criteria editor stores what was typed, not a completion.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTest>

#include "DesignerUiFixture.h"
#include "console/frmAddCriteria.h"
#include "console/frmProperties.h"
#include "console/frmQueryDesigner.h"

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
};

TEST_F(QueryDesignerTest, FromThePropertiesOKHandsTheTextBackAsItStands) {
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
    EXPECT_EQ(objDialogParameter().VarDataText(), "<LDAP://nowhere>;(unfinished");
}

// From a DL's properties: the designer gets the query without its prefix; Escape keeps the
// stored query; OK puts the prefix back and holds Update DL and Preview until Apply writes it.
// A filter the criteria list cannot show stays whole through a change of depth: no edit widens
// the DL. Reset answered No keeps the members.
TEST_F(QueryDesignerTest, TheDLPropertiesTakeBackOnlyWhatOKAndApplyConfirm) {
    connectStore(sharedDirectory().server());
    const QString filter = "(&(objectClass=organizationalPerson)(!(|(department=Sales)(department=Finance))))";
    const QString stored = query(sitePath(), filter);
    const std::string dn = addDL(sharedDirectory(), "designer-round-trip",
                                 "member: cn=avries," + std::string(qv::test::kRecipients) +
                                     "\nextension-attribute-15: QVL=" + stored.toStdString() + "\n");
    select(sharedDirectory(), dn);
    frmProperties properties;
    ASSERT_TRUE(properties.Loaded());
    properties.tbsOptions()->setCurrentIndex(3);  // the Quorvel tab
    for (const bool ok : {false, true}) {
        whenShown("frmQueryDesigner", [&](QWidget* shown) {
            auto* designer = static_cast<frmQueryDesigner*>(shown);
            EXPECT_EQ(designer->txtQuery()->toPlainText(), stored);
            if (!ok) return QTest::keyClick(designer, Qt::Key_Escape);
            EXPECT_FALSE(designer->cmdAddCriteria()->isEnabled());
            EXPECT_TRUE(designer->lblFilterNote()->isVisible());
            designer->RemoveCriteria();
            designer->ChooseDepth(1);  // oneLevel
            designer->OK();
        });
        properties.cmdQuery()->click();
        EXPECT_EQ(properties.controlQVL()->toPlainText().toStdString(),
                  ("QVL=" + (ok ? query(sitePath(), filter, "oneLevel") : stored)).toStdString());
        EXPECT_EQ(properties.cmdUpdate()->isEnabled(), !ok);
        EXPECT_EQ(properties.cmdPreview()->isEnabled(), !ok);
    }
    const qv::test::LdapTool ldap(sharedDirectory());
    EXPECT_EQ(ldap.values(dn, "extension-attribute-15"), std::vector<std::string>{"QVL=" + stored.toStdString()});
    properties.cmdApply()->click();
    EXPECT_EQ(ldap.values(dn, "extension-attribute-15"),
              std::vector<std::string>{"QVL=" + query(sitePath(), filter, "oneLevel").toStdString()});
    EXPECT_TRUE(properties.cmdUpdate()->isEnabled());

    qv::test::MessageBoxRecorder boxes(MsgAnswer::No);
    properties.tbsOptions()->setCurrentIndex(0);
    properties.cmdReset()->click();
    EXPECT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(ldap.members(dn).size(), 1u);
}

TEST_F(QueryDesignerTest, TheCriteriaEditorStoresWhatWasTypedNotASuggestion) {
    frmQueryDesigner designer;
    designer.show();
    whenShown("frmAddCriteria", [](QWidget* window) {
        auto* editor = static_cast<frmAddCriteria*>(window);
        for (QComboBox* box : {editor->cmbField(), editor->cmbValue()}) {
            box->lineEdit()->clear();
            box->setFocus();
            QTest::keyClicks(box, box == editor->cmbField() ? "Home-M" : "organizational");
        }
        editor->cmdOK()->click();
    });
    designer.cmdAddCriteria()->click();
    const QStringList written = items(designer.lstCriteria());
    EXPECT_TRUE(written.contains("(Home-M=organizational*)")) << written.join(' ').toStdString();
}

}  // namespace
