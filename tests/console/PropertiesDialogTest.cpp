// The DL properties dialog against the reference directory: what Apply
// writes, refused writes, and the processing pass it starts.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>

#include "DLDialogFixture.h"
#include "console/frmPreview.h"
#include "console/frmProperties.h"

namespace {

using namespace qv;
using qv::test::LdapTool;
using qv::test::MessageBoxRecorder;
using qv::test::sharedDirectory;

const std::string kAvries = "cn=avries," + std::string(qv::test::kRecipients);

std::set<std::string> texts(const QListWidget* list) {
    std::set<std::string> result;
    for (int i = 0; i < list->count(); ++i) result.insert(list->item(i)->text().toStdString());
    return result;
}

std::set<std::string> lowered(const std::set<std::string>& names) {
    std::set<std::string> result;
    for (const auto& name : names) result.insert(QString::fromStdString(name).toLower().toStdString());
    return result;
}

class PropertiesDialogTest : public qv::test::DLDialogFixture {
protected:
    void SetUp() override {
        DLDialogFixture::SetUp();
        connectStore(sharedDirectory().server());
    }

    // The dialog on the DL at `dn` of the shared directory.
    static std::unique_ptr<frmProperties> open(const std::string& dn) {
        select(sharedDirectory(), dn);
        auto dialog = std::make_unique<frmProperties>();
        EXPECT_TRUE(dialog->Loaded());
        return dialog;
    }
};

TEST_F(PropertiesDialogTest, ApplyWritesEveryFieldAndReloads) {
    const std::string dn = addDL(sharedDirectory(), "props-edit",
                                 "info: old notes\nextension-attribute-7: seven\n"
                                 "extension-attribute-15: QVL=<LDAP://x/o=Northwind Traders>;(cn=b*);;subtree\n");
    auto dialog = open(dn);
    dialog->controlcn()->setText("Edited list");
    dialog->controluid()->setText("props-edit-alias");
    dialog->controlinfo()->setPlainText("new notes");
    for (int i = 1; i <= 10; ++i) dialog->controlca(i)->setText(i == 7 ? "" : "value " + QString::number(i));
    dialog->chkallowoootooriginator()->setChecked(true);
    dialog->chkhidemembershipfromab()->setChecked(true);
    dialog->chkreporttomessageoriginator()->setChecked(true);
    dialog->chkhidefromab()->setChecked(false);
    dialog->controladmindesc()->setText("admin");
    // Someone else adds a member meanwhile: the reload shows it.
    LdapTool ldap(sharedDirectory());
    ldap.replace(dn, "member", {kAvries});

    MessageBoxRecorder boxes;
    dialog->cmdApply()->click();
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(ldap.values(dn, "uid"), std::vector<std::string>{"props-edit-alias"});
    EXPECT_EQ(ldap.values(dn, "cn").front(), "Edited list");
    EXPECT_EQ(ldap.values(dn, "info"), std::vector<std::string>{"new notes"});
    for (int i = 1; i <= 10; ++i) {
        const auto values = ldap.values(dn, "extension-attribute-" + std::to_string(i));
        if (i == 7)
            EXPECT_TRUE(values.empty());  // an emptied field removes the attribute
        else
            EXPECT_EQ(values, std::vector<std::string>{"value " + std::to_string(i)}) << i;
    }
    for (const auto& [name, value] : {std::pair{"OOF-Reply-To-Originator", "TRUE"}, {"Hide-DL-Membership", "TRUE"},
                                      {"Report-To-Owner", "FALSE"}, {"Report-To-Originator", "TRUE"},
                                      {"Hide-From-Address-Book", "FALSE"}, {"Admin-Description", "admin"}})
        EXPECT_EQ(ldap.values(dn, name), std::vector<std::string>{value}) << name;
    EXPECT_EQ(ldap.values(dn, "extension-attribute-15"),
              std::vector<std::string>{"QVL=<LDAP://x/o=Northwind Traders>;(cn=b*);;subtree"});
    EXPECT_EQ(ldap.members(dn).size(), 1u);  // members are never written

    EXPECT_EQ(dialog->windowTitle(), "Edited list");
    EXPECT_EQ(dialog->lblMembers()->text(), "1 Members");
    EXPECT_TRUE(dialog->chkreporttomessageoriginator()->isChecked());
    EXPECT_TRUE(dialog->cmdUpdate()->isEnabledTo(dialog->picOptions(3)));

    // OK saves too, closes and lets go of the selection.
    dialog->controlca(1)->setText("after ok");
    dialog->cmdOK()->click();
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(ldap.values(dn, "extension-attribute-1"), std::vector<std::string>{"after ok"});
    EXPECT_EQ(mdl().objDirObjects, nullptr);

    // Cancel writes nothing.
    dialog = open(dn);
    dialog->controlca(2)->setText("cancelled");
    dialog->cmdCancel()->click();
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_EQ(ldap.values(dn, "extension-attribute-2"), std::vector<std::string>{"value 2"});
}

TEST_F(PropertiesDialogTest, AReadOnlyAccountIsToldAccessIsDeniedAndNothingChanges) {
    const std::string dn = addDL(sharedDirectory(), "props-readonly", "info: kept\n");
    useAccount(qv::test::kReader);
    connectStore(sharedDirectory().server());
    auto dialog = open(dn);
    dialog->controluid()->setText("changed");
    dialog->controlinfo()->setPlainText("changed");
    MessageBoxRecorder boxes;
    dialog->Apply();
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "You do not have sufficient access rights to update this object.  Access is denied.");
    LdapTool ldap(sharedDirectory());
    EXPECT_EQ(ldap.values(dn, "uid"), std::vector<std::string>{"props-readonly"});
    EXPECT_EQ(ldap.values(dn, "info"), std::vector<std::string>{"kept"});
    // The reload shows what is stored; the unsaved edits are gone.
    EXPECT_EQ(dialog->controluid()->text(), "props-readonly");
    EXPECT_EQ(dialog->controlinfo()->toPlainText(), "kept");

    // Reset is refused alike, and says so.
    ldap.replace(dn, "member", {kAvries});
    boxes.setAnswer(MsgAnswer::Yes);
    dialog->cmdReset()->click();
    ASSERT_EQ(boxes.boxes.size(), 3u);
    EXPECT_EQ(ldap.members(dn).size(), 1u);
    EXPECT_EQ(dialog->lblMembers()->text(), "1 Members");

    // OK closes even after the refusal.
    dialog->cmdOK()->click();
    EXPECT_EQ(boxes.boxes.size(), 4u);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
}

TEST_F(PropertiesDialogTest, ARefusedLaterWriteIsReportedInOneMessage) {
    // A directory of its own where the writer may not change two attributes.
    qv::test::ReferenceDirectory dir(
        {.dbConf = "access to dn.subtree=\"o=Northwind Traders\" attrs=extension-attribute-5,Admin-Description\n"
                   "\tby * read\n"});
    const std::string dn = addDL(dir, "props-acl", "extension-attribute-5: five\n");
    connectStore(dir.server());
    select(dir, dn);
    frmProperties dialog;
    ASSERT_TRUE(dialog.Loaded());
    dialog.controlcn()->setText("Renamed");
    dialog.controlca(5)->setText("refused");
    dialog.controlca(6)->setText("six");
    dialog.controladmindesc()->setText("refused too");
    dialog.chkhidefromab()->setChecked(true);

    MessageBoxRecorder boxes;
    EXPECT_FALSE(dialog.SaveProperties());
    ASSERT_EQ(boxes.boxes.size(), 1u);
    const MessageBoxRequest& box = boxes.boxes[0];
    EXPECT_TRUE(box.text.startsWith("These properties of the distribution list were not saved:")) << box.text.toStdString();
    EXPECT_TRUE(box.text.contains("\nextension-attribute-5: Error -2147024891 [80070005]: ")) << box.text.toStdString();
    EXPECT_TRUE(box.text.contains("\nadmin-description: Error -2147024891 [80070005]: ")) << box.text.toStdString();
    EXPECT_EQ(box.text.count('\n'), 3);  // the heading, a blank line and the two attributes
    // Everything else was written, in spite of the refusals between.
    LdapTool ldap(dir);
    EXPECT_EQ(ldap.values(dn, "cn").front(), "Renamed");
    EXPECT_EQ(ldap.values(dn, "extension-attribute-5"), std::vector<std::string>{"five"});
    EXPECT_EQ(ldap.values(dn, "extension-attribute-6"), std::vector<std::string>{"six"});
    EXPECT_TRUE(ldap.values(dn, "Admin-Description").empty());
    EXPECT_EQ(ldap.values(dn, "Hide-From-Address-Book"), std::vector<std::string>{"TRUE"});
}

// Preview shows whom Update DL would add and remove and writes nothing; Update DL then writes them.
TEST_F(PropertiesDialogTest, PreviewWritesNothingAndUpdateDLRunsThePass) {
    const std::string engineers = "(&(objectClass=organizationalPerson)(title=*Engineer))";
    const std::string dn = addDL(sharedDirectory(), "props-update",
                                 "member: " + kAvries +
                                     "\nextension-attribute-15: QVL=<LDAP://" + sharedDirectory().server() + "/" +
                                     qv::test::kRecipients + ">;" + engineers + ";cn,ADsPath,distinguishedName;subtree\n");
    LdapTool ldap(sharedDirectory());
    const auto before = ldap.members(dn);
    const auto expected = ldap.dns(qv::test::kRecipients, engineers);
    ASSERT_FALSE(expected.empty());
    ASSERT_FALSE(expected.count(*before.begin()));
    auto dialog = open(dn);
    ASSERT_EQ(dialog->lblMembers()->text(), "1 Members");
    std::set<std::string> added, removed;
    qv::test::whenShown("frmPreview", [&](QWidget* shown) {
        auto* preview = static_cast<frmPreview*>(shown);
        added = texts(preview->lstAdded());
        removed = texts(preview->lstRemoved());
        preview->close();
    });
    MessageBoxRecorder boxes;
    dialog->tbsOptions()->setCurrentIndex(3);
    dialog->cmdPreview()->click();
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(added, expected);
    EXPECT_EQ(removed, before);
    EXPECT_EQ(ldap.members(dn), before);

    dialog->cmdUpdate()->click();
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "Completed with no errors.");
    EXPECT_EQ(ldap.members(dn), expected);
    EXPECT_EQ(dialog->lblMembers()->text(), QString::number(expected.size()) + " Members");
    EXPECT_EQ(lowered(texts(dialog->controlmember())), lowered(expected));
}

TEST_F(PropertiesDialogTest, ADLThatHasGoneIsReportedAndTheDialogDoesNotOpen) {
    const std::string dn = addDL(sharedDirectory(), "props-gone");
    select(sharedDirectory(), dn);
    LdapTool(sharedDirectory()).remove(dn);
    MessageBoxRecorder boxes;
    frmProperties dialog;
    EXPECT_FALSE(dialog.Loaded());
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_TRUE(boxes.boxes[0].text.startsWith("Error ")) << boxes.boxes[0].text.toStdString();
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
}

}  // namespace
