// The criteria editor: its lists, the kind chosen by the list used, the value
// box of the operators without a value, adding and editing items in the
// designer's list, the server question, and the record emptied on every close.
#include <QComboBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "DesignerUiFixture.h"
#include "console/frmAddCriteria.h"
#include "console/frmQueryDesigner.h"

namespace {

using namespace qv;
using qv::test::whenShown;

class CriteriaEditorTest : public qv::test::DesignerUiFixture {
protected:
    static QStringList entries(const QComboBox* combo) {
        QStringList texts;
        for (int i = 0; i < combo->count(); ++i) texts << combo->itemText(i);
        return texts;
    }

    // Opens the editor from `designer` (Add, or a double-click on `row`),
    // lets `fill` set it up and confirms it with OK.
    static void add(frmQueryDesigner& designer, std::function<void(frmAddCriteria&)> fill, int row = -1) {
        bool shown = false;
        whenShown("frmAddCriteria", [fill, &shown](QWidget* window) {
            shown = true;
            auto* editor = static_cast<frmAddCriteria*>(window);
            fill(*editor);
            editor->cmdOK()->click();
        });
        if (row < 0) {
            designer.cmdAddCriteria()->click();
        } else {
            QListWidget* list = designer.lstCriteria();
            const QPoint at = list->visualItemRect(list->item(row)).center();
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);  // a double-click starts with a click
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
        }
        EXPECT_TRUE(shown);
    }

    static std::function<void(frmAddCriteria&)> other(const QString& field, int op, const QString& value) {
        return [=](frmAddCriteria& editor) {
            editor.optTypeOther()->setChecked(true);
            editor.cmbField()->setCurrentText(field);
            editor.cmbOperator()->setCurrentIndex(editor.cmbOperator()->findData(op));
            editor.UpdateGui();
            editor.cmbValue()->setCurrentText(value);
        };
    }

    static std::function<void(frmAddCriteria&)> logical(const QString& which) {
        return [=](frmAddCriteria& editor) {
            editor.optTypeLogical()->setChecked(true);
            editor.cmbCriteria()->setCurrentText(which);
        };
    }

    static std::function<void(frmAddCriteria&)> quick(const QString& pick) {
        return [=](frmAddCriteria& editor) {
            editor.optQuickPick()->setChecked(true);
            editor.cmbQuick()->setCurrentText(pick);
        };
    }

    std::unique_ptr<frmQueryDesigner> newDesigner() {
        auto designer = std::make_unique<frmQueryDesigner>();
        designer->show();
        return designer;
    }
};

TEST_F(CriteriaEditorTest, ListsKindsAndTheValueBox) {
    auto designer = newDesigner();
    frmAddCriteria editor(designer.get(), designer.get());
    EXPECT_EQ(entries(editor.cmbQuick()), (QStringList{"All Custom Recipients", "All Mailboxes", "All Mailboxes on Server"}));
    EXPECT_EQ(entries(editor.cmbField()).size(), 34);
    EXPECT_EQ(entries(editor.cmbField()).first(), "Admin-Description");
    EXPECT_EQ(entries(editor.cmbField()).last(), "title");
    EXPECT_EQ(entries(editor.cmbOperator()),
              (QStringList{"Starts with", "Ends with", "Is (exactly)", "Is not", "Present", "Not present"}));
    EXPECT_EQ(entries(editor.cmbValue()).size(), 5);
    EXPECT_EQ(entries(editor.cmbCriteria()), (QStringList{"AND", "OR"}));
    // Add mode: the first entries and "Other".
    EXPECT_TRUE(editor.optTypeOther()->isChecked());
    EXPECT_EQ(editor.cmbQuick()->currentText(), "All Custom Recipients");
    EXPECT_EQ(editor.cmbField()->currentText(), "Admin-Description");
    EXPECT_EQ(editor.cmbOperator()->currentText(), "Starts with");
    EXPECT_EQ(editor.cmbCriteria()->currentText(), "AND");

    // Choosing from a list chooses its kind.
    QTest::keyClick(editor.cmbQuick(), Qt::Key_Down);
    EXPECT_TRUE(editor.optQuickPick()->isChecked());
    QTest::keyClick(editor.cmbCriteria(), Qt::Key_Down);
    EXPECT_TRUE(editor.optTypeLogical()->isChecked());
    EXPECT_EQ(editor.cmbCriteria()->currentText(), "OR");

    // Present and Not present empty and disable the value box; Ends with enables it again.
    editor.cmbValue()->setCurrentText("Sales");
    editor.cmbOperator()->setCurrentIndex(3);
    QTest::keyClick(editor.cmbOperator(), Qt::Key_Down);
    EXPECT_EQ(editor.cmbOperator()->currentText(), "Present");
    EXPECT_TRUE(editor.optTypeOther()->isChecked());
    EXPECT_FALSE(editor.cmbValue()->isEnabled());
    EXPECT_TRUE(editor.cmbValue()->currentText().isEmpty());
    editor.cmbOperator()->setCurrentIndex(2);
    QTest::keyClick(editor.cmbOperator(), Qt::Key_Up);
    EXPECT_EQ(editor.cmbOperator()->currentText(), "Ends with");
    EXPECT_TRUE(editor.cmbValue()->isEnabled());
    EXPECT_TRUE(editor.cmbValue()->currentText().isEmpty());
}

TEST_F(CriteriaEditorTest, AddingGoesInFrontOfTheCurrentItemAndGroupsTakeTheNextCriteria) {
    auto designer = newDesigner();
    QListWidget* list = designer->lstCriteria();
    add(*designer, other("cn", StartsWith, "Anna"));
    EXPECT_EQ(items(list), (QStringList{"&(", "(cn=Anna*)", ")"}));
    EXPECT_EQ(list->currentRow(), 1);
    EXPECT_EQ(designer->lblStatus()->text(), "Query syntax is ok.");
    EXPECT_EQ(designer->txtQuery()->toPlainText(),
              "<" + sitePath() + ">;(&((cn=Anna*)));cn,ADsPath,distinguishedName;subtree");

    add(*designer, other("l", IsExactly, "Utrecht"));
    EXPECT_EQ(items(list), (QStringList{"&(", "(l=Utrecht)", "(cn=Anna*)", ")"}));
    EXPECT_EQ(list->currentRow(), 1);

    add(*designer, logical("OR"));
    EXPECT_EQ(items(list), (QStringList{"&(", "|(", ")", "(l=Utrecht)", "(cn=Anna*)", ")"}));
    EXPECT_EQ(list->currentRow(), 2);
    add(*designer, quick("All Custom Recipients"));
    add(*designer, quick("All Mailboxes"));
    EXPECT_EQ(items(list), (QStringList{"&(", "|(", "(objectClass=organizationalPerson)", "(objectClass=remote-Address)",
                                        ")", "(l=Utrecht)", "(cn=Anna*)", ")"}));
    EXPECT_EQ(designer->txtQuery()->toPlainText(),
              "<" + sitePath() +
                  ">;(&(|((objectClass=organizationalPerson)(objectClass=remote-Address))(l=Utrecht)(cn=Anna*)));"
                  "cn,ADsPath,distinguishedName;subtree");

    // Cancel and the close box add nothing; every way of closing empties the record.
    for (bool closeBox : {false, true}) {
        objDialogParameter().SetParam("frmAddCriteria", "frmQueryDesigner", "lstCriteria", "(l=Utrecht)");
        whenShown("frmAddCriteria", [closeBox](QWidget* window) {
            auto* editor = static_cast<frmAddCriteria*>(window);
            EXPECT_EQ(editor->cmbValue()->currentText(), "Utrecht");
            if (closeBox)
                editor->close();
            else
                editor->cmdCancel()->click();
        });
        designer->AddCriteria();
        EXPECT_EQ(list->count(), 8);
        EXPECT_TRUE(objDialogParameter().SendTo().isEmpty());
        EXPECT_TRUE(objDialogParameter().VarDataText().isEmpty());
    }
}

TEST_F(CriteriaEditorTest, ADoubleClickEditsTheCriterionInPlace) {
    objDialogParameter().SetParam("frmQueryDesigner", "frmProperties", "cmdQuery",
                                  "<" + sitePath() + ">;(&((cn=Anna*)(!l=Utrecht)(mail=*)));cn,ADsPath,distinguishedName;subtree");
    frmQueryDesigner designer;
    designer.show();
    QListWidget* list = designer.lstCriteria();

    // Shown as field, operator and value; OK unchanged puts the same item back.
    add(designer, [](frmAddCriteria& editor) {
        EXPECT_TRUE(editor.optTypeOther()->isChecked());
        EXPECT_EQ(editor.cmbField()->currentText(), "l");
        EXPECT_EQ(editor.cmbOperator()->currentText(), "Is not");
        EXPECT_EQ(editor.cmbValue()->currentText(), "Utrecht");
    }, 2);
    EXPECT_EQ(items(list), (QStringList{"&(", "(cn=Anna*)", "(!l=Utrecht)", "(mail=*)", ")"}));
    EXPECT_EQ(list->currentRow(), 2);
    EXPECT_TRUE(objDialogParameter().VarDataText().isEmpty());

    // Changed into Present: the value box is off, the item replaced.
    add(designer, [](frmAddCriteria& editor) {
        EXPECT_EQ(editor.cmbOperator()->currentText(), "Starts with");
        editor.cmbOperator()->setCurrentIndex(NotPresent);
        editor.UpdateGui();
    }, 1);
    EXPECT_EQ(items(list), (QStringList{"&(", "(!cn=*)", "(!l=Utrecht)", "(mail=*)", ")"}));

    // Into a group: the opener takes its place, the closer follows it.
    add(designer, logical("OR"), 2);
    EXPECT_EQ(items(list), (QStringList{"&(", "(!cn=*)", "|(", ")", "(mail=*)", ")"}));
    EXPECT_EQ(list->currentRow(), 3);

    // A double-click on a group item just adds.
    add(designer, other("title", IsExactly, "Engineer"), 3);
    EXPECT_EQ(items(list), (QStringList{"&(", "(!cn=*)", "|(", "(title=Engineer)", ")", "(mail=*)", ")"}));
}

TEST_F(CriteriaEditorTest, AllMailboxesOnServerAsksForTheServer) {
    connectStore();
    const clsExchangeStore& store = *mdl().objExchangeStore;
    const QString mdb = "(Home-MDB=cn=Microsoft Private MDB,cn=AMS02,cn=Servers,cn=Configuration,ou=Amsterdam,"
                        "o=Northwind Traders)";
    objDialogParameter().SetParam("frmQueryDesigner", "frmProperties", "cmdQuery",
                                  "<" + sitePath() + ">;(&((cn=Anna*)(l=Utrecht)));cn,ADsPath,distinguishedName;subtree");
    frmQueryDesigner designer;
    designer.show();
    QListWidget* list = designer.lstCriteria();
    {
        // Editing a criterion into it: the store test replaces it, the class test goes first.
        qv::test::InputBoxRecorder boxes("AMS02");
        add(designer, quick("All Mailboxes on Server"), 1);
        ASSERT_EQ(boxes.asked.size(), 1u);
        EXPECT_EQ(boxes.asked[0].prompt, "Enter the name of the server:");
        EXPECT_EQ(boxes.asked[0].title, "All mailboxes on this server...");
        EXPECT_EQ(boxes.asked[0].proposed, QString::fromStdString(store.StoreName()));
    }
    EXPECT_EQ(items(list), (QStringList{"&(", "(objectClass=organizationalPerson)", mdb, "(l=Utrecht)", ")"}));
    EXPECT_EQ(list->currentRow(), 1);
    {
        // An empty answer adds nothing.
        qv::test::InputBoxRecorder boxes("");
        add(designer, quick("All Mailboxes on Server"));
    }
    EXPECT_EQ(list->count(), 5);

    // The real input box, cancelled, adds nothing either.
    bool asked = false;
    whenShown("frmAddCriteria", [&](QWidget* window) {
        auto* editor = static_cast<frmAddCriteria*>(window);
        quick("All Mailboxes on Server")(*editor);
        whenShown("InputBox", [&](QWidget* box) {
            auto* input = qobject_cast<QInputDialog*>(box);
            ASSERT_NE(input, nullptr);
            asked = input->labelText() == "Enter the name of the server:" &&
                    input->windowTitle() == "All mailboxes on this server..." &&
                    input->textValue() == QString::fromStdString(store.StoreName());
            input->reject();
        });
        editor->cmdOK()->click();
    });
    designer.AddCriteria();
    EXPECT_TRUE(asked);
    EXPECT_EQ(list->count(), 5);
    EXPECT_TRUE(objDialogParameter().SendTo().isEmpty());
}

}  // namespace
