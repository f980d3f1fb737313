// The RBDL import: its fields, the container picker, the conversion of the
// seed's two rule-based DLs with and without moving the query, and the Done
// box that tells the outcome.
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "DesignerUiFixture.h"
#include "console/TreeView.h"
#include "console/frmContainer.h"
#include "console/frmRBDLImport.h"
#include "engine/RbdlConversion.h"
#include "support/LdapTool.h"

namespace {

using namespace qv;
using qv::test::whenShown;

constexpr const char* kPartners = "cn=rbdl-partners,cn=Distribution Lists,ou=Amsterdam,o=Northwind Traders";
constexpr const char* kFinance = "cn=rbdl-finance,cn=Distribution Lists,ou=Amsterdam,o=Northwind Traders";

class RbdlImportTest : public qv::test::DesignerUiFixture {
protected:
    // The Done box, answered and kept.
    static void expectDone(const qv::test::MessageBoxRecorder& boxes) {
        ASSERT_EQ(boxes.boxes.size(), 1u);
        EXPECT_EQ(boxes.boxes[0].text, "Done.");
        EXPECT_EQ(boxes.boxes[0].buttons, MsgButtons::OK);
    }
};

TEST_F(RbdlImportTest, ConvertsTheRuleBasedDLsWithAndWithoutMovingTheQuery) {
    qv::test::ReferenceDirectory directory;  // this test writes
    mdl().strServer = directory.server();
    const qv::test::LdapTool ldap(directory);
    const std::string partners = ldap.values(kPartners, "Admin-Description").at(0);
    const std::string finance = ldap.values(kFinance, "Admin-Description").at(0);
    ASSERT_EQ(finance.substr(0, 5), "rbdl=");  // found and cut by length whatever the case
    connectStore(directory.server());
    const QString container = serverPath(directory) + "/o=Northwind Traders/ou=Amsterdam";

    for (bool move : {false, true}) {
        SCOPED_TRACE(move ? "moving" : "copying");
        qv::test::MessageBoxRecorder boxes;
        frmRBDLImport dialog;
        dialog.txtContainer()->setText(container);
        dialog.ckMove()->setChecked(move);
        dialog.cmdGo()->click();
        expectDone(boxes);
        EXPECT_EQ(boxes.boxes[0].detail, "Converted 2 of 2 distribution lists.");
        EXPECT_EQ(dialog.result(), QDialog::Accepted);

        EXPECT_EQ(ldap.values(kPartners, "extension-attribute-15"),
                  std::vector<std::string>{"QVL=" + partners.substr(5)});
        EXPECT_EQ(ldap.values(kFinance, "extension-attribute-15"), std::vector<std::string>{"QVL=" + finance.substr(5)});
        EXPECT_EQ(ldap.values(kPartners, "Admin-Description").empty(), move);
        EXPECT_EQ(ldap.values(kFinance, "Admin-Description").empty(), move);
    }

    // Nothing left to convert.
    qv::test::MessageBoxRecorder boxes;
    frmRBDLImport dialog;
    dialog.txtContainer()->setText(container);
    dialog.Go();
    expectDone(boxes);
    EXPECT_EQ(boxes.boxes[0].detail, "No RBDL distribution list was found.");
}

// The reader: nothing may be written. Moving the query onto its own field is refused before
// any write, Enter in a text box is no Go, and DLs that cannot be written are named in Done.
TEST_F(RbdlImportTest, RefusalsAndDLsThatCannotBeWrittenAreNamedAndDoneStillEnds) {
    useAccount(qv::test::kReader);  // nothing may be written
    connectStore(qv::test::sharedDirectory().server());
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

    dialog.txtQVLField()->setText("extension-attribute-15");
    for (QLineEdit* box : {dialog.txtContainer(), dialog.txtQVLPrefix()}) QTest::keyClick(box, Qt::Key_Return);
    EXPECT_EQ(boxes.boxes.size(), 1u);
    EXPECT_TRUE(dialog.isVisible());

    boxes.boxes.clear();
    dialog.Go();
    expectDone(boxes);
    const QString detail = boxes.boxes[0].detail;
    EXPECT_TRUE(detail.startsWith("Converted 0 of 2 distribution lists.\nNot converted:\n")) << detail.toStdString();
    EXPECT_TRUE(detail.contains("rbdl-partners") || detail.contains("Partners (rule based)")) << detail.toStdString();
    EXPECT_TRUE(detail.contains("rbdl-finance") || detail.contains("Finance (rule based)")) << detail.toStdString();
    const qv::test::LdapTool ldap(qv::test::sharedDirectory());
    EXPECT_TRUE(ldap.values(kPartners, "extension-attribute-15").empty());
    EXPECT_FALSE(ldap.values(kPartners, "Admin-Description").empty());
}

}  // namespace
