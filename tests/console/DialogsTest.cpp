// The connect and options dialogs, the About box, the event-log viewer and
// the real message box.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QTreeWidget>

#include "ConsoleTestSupport.h"
#include "console/ScreenText.h"
#include "console/clsDialogParameter.h"
#include "console/frmConnect.h"
#include "console/frmEventLog.h"
#include "console/frmOptions.h"
#include "console/frmSplash.h"
#include "core/IsolatedEnvironment.h"
#include "core/mdlMain.h"

namespace {

using namespace qv;

class DialogsTest : public ::testing::Test {
protected:
    void SetUp() override {
        qv::test::ensureApplication();
        mdl().strServer = "ldap01.example.com";
        mdl().strPrefix = "QVL=";
        mdl().strField = "extension-attribute-15";
        mdl().strLoggingLevel = "1";
    }
    qv::test::IsolatedEnvironment env_;
};

// Within one pixel of the twips asked for.
void expectTwips(double actual, double expected) { EXPECT_NEAR(actual, expected, 1440.0 / 96.0 + 0.01); }

TEST_F(DialogsTest, ConnectCollapsesForTheLoggedOnUser) {
    mdl().objConnection->setUsername(clsConnection::CurrentUser);
    mdl().objConnection->setPassword("left over");
    mdl().objConnection->setDomain("CORP");
    frmConnect dialog;
    EXPECT_EQ(dialog.txtServer()->text(), "ldap01.example.com");
    EXPECT_FALSE(dialog.ckAuthentication()->isChecked());
    EXPECT_TRUE(dialog.txtUser()->text().isEmpty());
    EXPECT_TRUE(dialog.txtPassword()->text().isEmpty());
    EXPECT_EQ(dialog.txtDomain()->text(), "CORP");
    expectTwips(dialog.HeightTwips(), frmConnect::CollapsedHeight);
    // Collapsed, the frame lies below the client area.
    EXPECT_GE(dialog.Frame1()->geometry().top(), dialog.height());

    QTest::mouseClick(dialog.ckAuthentication(), Qt::LeftButton);
    EXPECT_TRUE(dialog.ckAuthentication()->isChecked());
    expectTwips(dialog.HeightTwips(), frmConnect::ExpandedHeight);
    EXPECT_LE(dialog.Frame1()->geometry().bottom(), dialog.height());
    QTest::mouseClick(dialog.ckAuthentication(), Qt::LeftButton);
    expectTwips(dialog.HeightTwips(), frmConnect::CollapsedHeight);
}

TEST_F(DialogsTest, ConnectShowsExplicitCredentialsExpanded) {
    mdl().objConnection->setUsername("writer");
    mdl().objConnection->setPassword("writer-pw");
    mdl().objConnection->setDomain("CORP");
    mdl().objConnection->setAdmin(true);
    frmConnect dialog;
    EXPECT_TRUE(dialog.ckAuthentication()->isChecked());
    EXPECT_EQ(dialog.txtUser()->text(), "writer");
    EXPECT_EQ(dialog.txtPassword()->text(), "writer-pw");
    EXPECT_EQ(dialog.txtPassword()->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(dialog.ckAdmin()->isChecked());
    expectTwips(dialog.HeightTwips(), frmConnect::ExpandedHeight);
}

TEST_F(DialogsTest, ConnectOkWithoutTheTickStoresTheLoggedOnUserButTheDomain) {
    mdl().objConnection->setUsername("writer");
    mdl().objConnection->setPassword("writer-pw");
    frmConnect dialog;
    dialog.txtServer()->setText("  other server ");
    dialog.txtDomain()->setText("EUROPE");
    dialog.ckAdmin()->setChecked(true);
    dialog.ckAuthentication()->setChecked(false);  // user and password boxes still hold text
    qv::test::whenModalShows([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Return); });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(mdl().strServer, "  other server ");
    EXPECT_EQ(mdl().objConnection->Username(), "##CurrentUser##");
    EXPECT_EQ(mdl().objConnection->Password(), "");
    EXPECT_EQ(mdl().objConnection->Domain(), "EUROPE");
    EXPECT_TRUE(mdl().objConnection->Admin());
    EXPECT_EQ(mdl().objConnection->LogonString(), "dc=EUROPE,cn=##CurrentUser##,cn=admin");
}

TEST_F(DialogsTest, ConnectOkWithTheTickStoresTheAccountAndCancelChangesNothing) {
    {
        frmConnect dialog;
        dialog.ckAuthentication()->setChecked(true);
        dialog.txtUser()->setText("reader");
        dialog.txtPassword()->setText("reader-pw");
        dialog.txtServer()->clear();
        QTest::mouseClick(dialog.cmdOK(), Qt::LeftButton);
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
    }
    EXPECT_EQ(mdl().strServer, "");
    EXPECT_EQ(mdl().objConnection->Username(), "reader");
    EXPECT_EQ(mdl().objConnection->Password(), "reader-pw");
    EXPECT_FALSE(mdl().objConnection->Admin());

    frmConnect dialog;
    dialog.txtServer()->setText("elsewhere");
    dialog.ckAuthentication()->setChecked(false);
    dialog.txtDomain()->setText("X");
    qv::test::whenModalShows([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_EQ(mdl().strServer, "");
    EXPECT_EQ(mdl().objConnection->Username(), "reader");
    EXPECT_EQ(mdl().objConnection->Password(), "reader-pw");
    EXPECT_EQ(mdl().objConnection->Domain(), "");
}

TEST_F(DialogsTest, ConnectSelectsTheWholeTextOfAFieldThatGetsTheFocus) {
    mdl().objConnection->setUsername("writer");
    mdl().objConnection->setDomain("CORP");
    frmConnect dialog;
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    dialog.txtUser()->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(dialog.txtUser()->selectedText(), "writer");
    QTest::keyClick(dialog.txtUser(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), dialog.txtDomain());
    EXPECT_EQ(dialog.txtDomain()->selectedText(), "CORP");
    QTest::keyClicks(dialog.txtDomain(), "EU");
    EXPECT_EQ(dialog.txtDomain()->text(), "EU");
    // A click puts the caret where it lands, after selecting on focus.
    dialog.txtServer()->setFocus(Qt::OtherFocusReason);
    EXPECT_EQ(dialog.txtServer()->selectedText(), "ldap01.example.com");
    dialog.close();
}

TEST_F(DialogsTest, OptionsShowTheSettingsAndApplyOnlyOnApplyOrOk) {
    objDialogParameter().SetParam("frmOptions", "frmMain", "x", QString("kept"));
    {
        frmOptions options;
        EXPECT_EQ(options.cmbLoggingLevel()->currentText(), "Summary");
        EXPECT_EQ(options.cmbLoggingLevel()->count(), 3);
        EXPECT_EQ(options.txtPrefix()->text(), "QVL=");
        EXPECT_EQ(options.txtQuorvelField()->text(), "extension-attribute-15");
        QTest::mouseClick(options.findChild<QPushButton*>("cmdRBDL"), Qt::LeftButton);
        EXPECT_EQ(options.txtPrefix()->text(), "RBDL=");
        EXPECT_EQ(options.txtQuorvelField()->text(), "admin-description");
        qv::test::whenModalShows([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); });
        options.exec();
    }
    EXPECT_EQ(mdl().strPrefix, "QVL=");
    EXPECT_EQ(mdl().strField, "extension-attribute-15");
    EXPECT_EQ(objDialogParameter().VarDataText(), "kept");

    {
        frmOptions options;
        QTest::mouseClick(options.findChild<QPushButton*>("cmdRBDL"), Qt::LeftButton);
        QTest::mouseClick(options.findChild<QPushButton*>("cmdApply"), Qt::LeftButton);
        options.txtPrefix()->setText("changed after apply");
        QTest::mouseClick(options.findChild<QPushButton*>("cmdCancel"), Qt::LeftButton);
    }
    EXPECT_EQ(mdl().strPrefix, "RBDL=");
    EXPECT_EQ(mdl().strField, "admin-description");
    EXPECT_TRUE(objDialogParameter().SendTo().isEmpty());
    EXPECT_TRUE(objDialogParameter().VarDataText().isEmpty());

    {
        frmOptions options;
        QTest::mouseClick(options.findChild<QPushButton*>("cmdRestoreDefaults"), Qt::LeftButton);
        options.cmbLoggingLevel()->setCurrentIndex(2);
        options.txtPrefix()->setText("");  // accepted as it stands
        QTest::mouseClick(options.findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
        EXPECT_EQ(options.result(), QDialog::Accepted);
    }
    EXPECT_EQ(mdl().strPrefix, "");
    EXPECT_EQ(mdl().strField, "extension-attribute-15");
    EXPECT_EQ(mdl().strLoggingLevel, "2");
}

TEST_F(DialogsTest, OptionsKeepALevelTheListDoesNotOffer) {
    mdl().strLoggingLevel = "7";
    {
        frmOptions options;
        ASSERT_EQ(options.cmbLoggingLevel()->count(), 4);
        EXPECT_EQ(options.cmbLoggingLevel()->currentText(), "Other (7)");
        options.Apply();
    }
    EXPECT_EQ(mdl().strLoggingLevel, "7");
    {
        frmOptions options;
        options.cmbLoggingLevel()->setCurrentIndex(0);
        options.Apply();
    }
    EXPECT_EQ(mdl().strLoggingLevel, "0");
    mdl().strLoggingLevel = "not a number";  // reads as 0
    frmOptions options;
    EXPECT_EQ(options.cmbLoggingLevel()->currentText(), "Minimum");
}

TEST_F(DialogsTest, OptionsCtrlTabMovesBetweenTabsAndWraps) {
    frmOptions options;
    options.show();
    options.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&options));
    options.txtPrefix()->setFocus();
    // One tab: it stays selected, its page in place and enabled.
    QTest::keyClick(options.txtPrefix(), Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(options.tbsOptions()->currentIndex(), 0);
    EXPECT_EQ(options.PageLeft(0), frmOptions::ShownPageLeft);
    EXPECT_TRUE(options.picOptions(0)->isEnabled());
    EXPECT_EQ(QApplication::focusWidget(), options.txtPrefix());

    auto* extra = new QWidget;
    auto* box = new QLineEdit(extra);
    options.AddPage("Extra", extra);
    QTest::keyClick(options.txtPrefix(), Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(options.tbsOptions()->currentIndex(), 1);
    EXPECT_EQ(options.PageLeft(0), frmOptions::HiddenPageLeft);
    EXPECT_FALSE(options.picOptions(0)->isEnabled());
    EXPECT_EQ(options.PageLeft(1), frmOptions::ShownPageLeft);
    EXPECT_TRUE(extra->isEnabled());
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Tab, Qt::ControlModifier);  // after the last, the first
    EXPECT_EQ(options.tbsOptions()->currentIndex(), 0);
    QTest::keyClick(&options, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);  // before the first, the last
    EXPECT_EQ(options.tbsOptions()->currentIndex(), 1);
    EXPECT_EQ(options.PageLeft(1), frmOptions::ShownPageLeft);
    options.close();
}

TEST_F(DialogsTest, TheAboutBoxShowsAFullBarAndClosesOnAClick) {
    frmSplash about;
    EXPECT_EQ(about.findChild<QLabel*>("lblProductTag")->text(), ScreenText(1048));
    EXPECT_EQ(about.findChild<QLabel*>("lblWarning")->text(), ScreenText(1045));
    int value = -1, maximum = -2;
    qv::test::whenModalShows([&](QWidget* modal) {
        auto* bar = modal->findChild<QProgressBar*>("pbInitialize");
        value = bar->value();
        maximum = bar->maximum();
        QTest::mouseClick(modal, Qt::LeftButton, {}, QPoint(10, 10));
    });
    about.ShowAsAbout();
    EXPECT_EQ(value, maximum);
    EXPECT_FALSE(about.isVisible());
}

TEST_F(DialogsTest, TheEventLogViewerListsTheProgramsEntriesNewestFirst) {
    mdl().strLoggingLevel = "2";
    LogEvent("first entry", 0, EventInformation, EventIdInformation);
    LogEvent("a warning", 0, EventWarning, EventIdInformation);
    LogEvent("an error\r\nwith a second line", 0, EventError, EventIdEngineError);
    frmEventLog viewer;
    QTreeWidget* rows = viewer.lvEvents();
    ASSERT_EQ(rows->topLevelItemCount(), 3);
    EXPECT_EQ(rows->topLevelItem(0)->text(1), "Error");
    EXPECT_EQ(rows->topLevelItem(0)->text(2), "3221229569");
    EXPECT_TRUE(rows->topLevelItem(0)->text(3).startsWith("an error"));
    EXPECT_TRUE(viewer.txtMessage()->toPlainText().contains("with a second line"));
    EXPECT_EQ(rows->topLevelItem(1)->text(1), "Warning");
    EXPECT_EQ(rows->topLevelItem(2)->text(1), "Information");
    EXPECT_EQ(rows->topLevelItem(2)->text(2), "4096");
    EXPECT_EQ(rows->topLevelItem(2)->text(3), "first entry");

    LogEvent("later", 0, EventInformation, EventIdInformation);
    viewer.Reload();
    ASSERT_EQ(rows->topLevelItemCount(), 4);
    EXPECT_EQ(rows->topLevelItem(0)->text(3), "later");
}

TEST_F(DialogsTest, TheRealMessageBoxCarriesTextTitleIconAndAnswer) {
    QString text, title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    qv::test::whenModalShows([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        text = box->text();
        title = box->windowTitle();
        icon = box->icon();
        box->button(QMessageBox::No)->click();
    });
    EXPECT_EQ(MsgBox(nullptr, "Are you sure?", MsgButtons::YesNo, MsgIcon::Question, "Delete distribution list?"),
              MsgAnswer::No);
    EXPECT_EQ(text, "Are you sure?");
    EXPECT_EQ(title, "Delete distribution list?");
    EXPECT_EQ(icon, QMessageBox::Question);

    qv::test::whenModalShows([&](QWidget* modal) {
        icon = qobject_cast<QMessageBox*>(modal)->icon();
        QTest::keyClick(modal, Qt::Key_Return);
    });
    EXPECT_EQ(MsgBox(nullptr, "Stop", MsgButtons::OK, MsgIcon::Critical, "Error"), MsgAnswer::OK);
    EXPECT_EQ(icon, QMessageBox::Critical);
}

}  // namespace
