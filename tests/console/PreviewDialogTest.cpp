// The Preview of the DL properties dialog against the reference directory:
// the names Update DL would add and remove, and nothing written.
#include <QListWidget>
#include <QPushButton>

#include "DLDialogFixture.h"
#include "console/frmPreview.h"
#include "console/frmProperties.h"

namespace {

using namespace qv;
using qv::test::LdapTool;
using qv::test::sharedDirectory;

class PreviewDialogTest : public qv::test::DLDialogFixture {};

std::set<std::string> texts(const QListWidget* list) {
    std::set<std::string> result;
    for (int i = 0; i < list->count(); ++i) result.insert(list->item(i)->text().toStdString());
    return result;
}

TEST_F(PreviewDialogTest, ShowsWhoUpdateWouldAddAndRemoveAndWritesNothing) {
    connectStore(sharedDirectory().server());
    const std::string engineers = "(&(objectClass=organizationalPerson)(title=*Engineer))";
    const std::string dn = addDL(sharedDirectory(), "props-preview",
                                 "member: cn=avries," + std::string(qv::test::kRecipients) +
                                     "\nextension-attribute-15: QVL=<LDAP://" + sharedDirectory().server() + "/" +
                                     qv::test::kRecipients + ">;" + engineers + ";cn,ADsPath;subtree\n");
    LdapTool ldap(sharedDirectory());
    const auto before = ldap.members(dn);
    const auto wanted = ldap.dns(qv::test::kRecipients, engineers);
    ASSERT_FALSE(wanted.count(*before.begin()));

    select(sharedDirectory(), dn);
    frmProperties dialog;
    std::set<std::string> added, removed;
    qv::test::whenShown("frmPreview", [&](QWidget* shown) {
        auto* preview = static_cast<frmPreview*>(shown);
        added = texts(preview->lstAdded());
        removed = texts(preview->lstRemoved());
        preview->close();
    });
    qv::test::MessageBoxRecorder boxes;
    dialog.tbsOptions()->setCurrentIndex(3);
    dialog.cmdPreview()->click();
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(added, wanted);
    EXPECT_EQ(removed, before);
    EXPECT_EQ(ldap.members(dn), before);
}

}  // namespace
