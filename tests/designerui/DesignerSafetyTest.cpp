// What the designer and the RBDL import write is what the user typed and
// asked for: wildcards stay wildcards, typed text is not completed, Enter
// starts no conversion, and a conversion that would lose its queries is refused.
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "DesignerUiFixture.h"
#include "console/frmAddCriteria.h"
#include "console/frmQueryDesigner.h"
#include "console/frmRBDLImport.h"
#include "designer/QueryModel.h"
#include "engine/RbdlConversion.h"
#include "platform/LdapFilter.h"
#include "support/LdapTool.h"

namespace {

using namespace qv;
using qv::test::kRecipients;
using qv::test::sharedDirectory;
using qv::test::whenShown;

class DesignerSafetyTest : public qv::test::DesignerUiFixture {};

TEST_F(DesignerSafetyTest, WildcardsTypedInAValueReachTheServerAsWildcards) {
    struct Case {
        int op;
        const char* value;
        const char* item;         // as the designer writes it
        const char* handWritten;  // the same test in RFC 4515 notation
    };
    const Case cases[] = {
        {StartsWith, "*Engineer", "(title=*Engineer*)", "(title=*Engineer*)"},
        {IsExactly, "Manag*", "(title=Manag*)", "(title=Manag*)"},
        {IsExactly, "*", "(title=*)", "(title=*)"},
        {IsNot, "*Engineer", "(!title=*Engineer)", "(!(title=*Engineer))"},
    };
    const qv::test::LdapTool ldap(sharedDirectory());
    for (const Case& c : cases) {
        const std::string item = FormatCriterion("title", c.op, c.value);
        EXPECT_EQ(item, c.item);
        const std::string filter = platform::toRfc4515Filter(
            BuildFilter({"&(", "(objectClass=organizationalPerson)", item, ")"}));
        const auto found = ldap.dns(kRecipients, filter);
        EXPECT_FALSE(found.empty()) << filter;
        EXPECT_EQ(found, ldap.dns(kRecipients, std::string("(&(objectClass=organizationalPerson)") + c.handWritten + ")"))
            << filter;
    }
    EXPECT_EQ(ReadCriterion("(title=*)"), (Criterion{"title", Present, ""}));
}

TEST_F(DesignerSafetyTest, TheCriteriaEditorStoresWhatWasTypedNotASuggestion) {
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

TEST_F(DesignerSafetyTest, TheRbdlImportRefusesToLoseItsQueriesAndEnterStartsNothing) {
    connectStore();  // the reader: nothing may be written either way
    qv::test::MessageBoxRecorder boxes;
    frmRBDLImport dialog;
    dialog.show();
    dialog.txtContainer()->setText(sitePath());
    dialog.txtQVLField()->setText("admin-DESCRIPTION ");
    dialog.cmdGo()->click();
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, SameFieldRefusal);
    EXPECT_TRUE(dialog.isVisible());  // open, to choose another field

    RbdlConversionRequest request;
    request.container = sitePath().toStdString();
    request.newField = "ADMIN-Description";
    const RbdlConversionResult result = ConvertRbdl(request);
    EXPECT_TRUE(result.refused);
    EXPECT_TRUE(result.dls.empty());

    // Enter in a text box is no Go.
    dialog.txtQVLField()->setText("extension-attribute-15");
    for (QLineEdit* box : {dialog.txtContainer(), dialog.txtQVLPrefix()}) QTest::keyClick(box, Qt::Key_Return);
    EXPECT_EQ(boxes.boxes.size(), 1u);
    EXPECT_TRUE(dialog.isVisible());
}

}  // namespace
