// The numbered screen texts, the parameter record, progress bars, twips and
// the error-message form.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QTabBar>
#include <QToolBar>
#include <QTreeWidget>

#include "ConsoleTestSupport.h"
#include "console/ScreenText.h"
#include "console/Twips.h"
#include "console/clsDialogParameter.h"

namespace {

using namespace qv;

class ScreenTextTest : public ::testing::Test {
protected:
    void SetUp() override { qv::test::ensureApplication(); }
};

TEST_F(ScreenTextTest, TableHoldsTheEntriesAsWritten) {
    EXPECT_EQ(ScreenText(1015), QString("&About "));  // the blank belongs to the entry
    EXPECT_EQ(ScreenText(1055), QString("Update DL's"));
    EXPECT_FALSE(ScreenText(1025).has_value());
    EXPECT_FALSE(ScreenText(ScreenTextFontName).has_value());
    EXPECT_FALSE(ScreenText(ScreenTextFontSize).has_value());
    EXPECT_FALSE(ScreenText(0).has_value());
}

TEST_F(ScreenTextTest, ReplacesEveryMarkedTextThatHasAnEntry) {
    QWidget form;
    MarkText(&form, "1034");
    auto* label = new QLabel("design", &form);
    MarkText(label, "1035");
    auto* untagged = new QLabel("keeps", &form);
    auto* missing = new QLabel("right title", &form);
    MarkText(missing, "1025");
    auto* leading = new QLabel("label", &form);
    MarkText(leading, "1041 ok");  // a label needs a whole number
    auto* button = new QPushButton("&Apply!", &form);
    MarkText(button, "1039");
    button->setToolTip("1040");
    auto* zero = new QPushButton("zero", &form);
    MarkText(zero, "0");
    auto* leadingButton = new QPushButton("btn", &form);
    MarkText(leadingButton, " 1041.4 and more");
    auto* check = new QCheckBox("check", &form);
    MarkText(check, "1044");
    auto* frame = new QGroupBox("frame", &form);
    MarkText(frame, "1068");
    auto* menuBar = new QMenuBar(&form);
    QMenu* file = menuBar->addMenu("1000");
    QAction* connect = file->addAction("1001");
    QAction* separator = file->addSeparator();
    separator->setText("-");
    QAction* literal = file->addAction("E&xit now");
    auto* toolBar = new QToolBar(&form);
    QAction* button1 = toolBar->addAction("Connect");
    button1->setToolTip("1016");
    auto* tabs = new QTabBar(&form);
    tabs->addTab("General");
    tabs->setTabData(0, "1057");
    tabs->setTabToolTip(0, "1058");
    auto* view = new QTreeWidget(&form);
    view->setHeaderLabels({"Display Name", "Other"});
    view->headerItem()->setData(1, ColumnTagRole, "1046");

    ApplyScreenText(&form);

    EXPECT_EQ(form.windowTitle(), "Options");
    EXPECT_EQ(label->text(), "General");
    EXPECT_EQ(untagged->text(), "keeps");
    EXPECT_EQ(missing->text(), "right title");
    EXPECT_EQ(leading->text(), "label");
    EXPECT_EQ(button->text(), "&Apply");
    EXPECT_EQ(button->toolTip(), "Cancel");
    EXPECT_EQ(zero->text(), "zero");
    EXPECT_EQ(leadingButton->text(), "OK");
    EXPECT_EQ(check->text(), "OK");
    EXPECT_EQ(frame->title(), "Owner");
    EXPECT_EQ(file->title(), "&File");
    EXPECT_EQ(connect->text(), "&Connect...");
    EXPECT_EQ(separator->text(), "-");
    EXPECT_EQ(literal->text(), "E&xit now");
    EXPECT_EQ(button1->toolTip(), "Connect to Exchange Server");
    EXPECT_EQ(tabs->tabText(0), "General");
    EXPECT_EQ(tabs->tabToolTip(0), "Custom Attributes");
    EXPECT_EQ(view->headerItem()->text(0), "Display Name");
    EXPECT_EQ(view->headerItem()->text(1), "Version");

    // Without entries 20 and 21 every control shows the window's own font.
    for (QWidget* control : {static_cast<QWidget*>(label), static_cast<QWidget*>(button),
                             static_cast<QWidget*>(check), static_cast<QWidget*>(frame)})
        EXPECT_EQ(control->font(), form.font());
}

TEST_F(ScreenTextTest, ReadsNumbersTheWayTagsAreWritten) {
    EXPECT_EQ(LeadingNumber("1041"), 1041);
    EXPECT_EQ(LeadingNumber("  1041abc"), 1041);
    EXPECT_EQ(LeadingNumber("12.6"), 13);
    EXPECT_EQ(LeadingNumber("abc"), 0);
    EXPECT_EQ(LeadingNumber(""), 0);
    EXPECT_EQ(LeadingNumber("-5"), -5);
    EXPECT_EQ(WholeNumber(" 1041 "), 1041);
    EXPECT_FALSE(WholeNumber("1041 ok").has_value());
    EXPECT_FALSE(WholeNumber("").has_value());
    EXPECT_FALSE(WholeNumber("70000").has_value());
}

TEST_F(ScreenTextTest, SetProgressTakesAShareOfTheMaximum) {
    QProgressBar bar;
    bar.setRange(0, 100);
    SetProgress(&bar, 40);
    EXPECT_EQ(bar.value(), 40);
    bar.setRange(0, 50);
    SetProgress(&bar, 40);
    EXPECT_EQ(bar.value(), 20);
    SetProgress(&bar, 100);
    EXPECT_EQ(bar.value(), 50);
    // Beyond the range the bar keeps its value.
    SetProgress(&bar, 150);
    EXPECT_EQ(bar.value(), 50);
    bar.setRange(0, 3);
    SetProgress(&bar, 50);  // 1.5 rounds to 2
    EXPECT_EQ(bar.value(), 2);
}

TEST_F(ScreenTextTest, TwipsFollowTheScreensLogicalDpi) {
    const double dpi = LogicalDpiX();
    ASSERT_GT(dpi, 0);
    EXPECT_EQ(TwipsToPixelsX(1440), static_cast<int>(std::lround(dpi)));
    EXPECT_EQ(TwipsToPixelsX(0), 0);
    EXPECT_NEAR(PixelsToTwipsX(TwipsToPixelsX(3000)), 3000, 1440.0 / dpi);
    EXPECT_NEAR(PixelsToTwipsY(static_cast<int>(std::lround(LogicalDpiY()))), 1440, 1e-9);
}

TEST_F(ScreenTextTest, ErrorMessagesShowTheNumberTwice) {
    EXPECT_EQ(ErrorMessageText(static_cast<std::int32_t>(0x8007203A), "Server down"),
              "Error -2147016646 [8007203A]: Server down");
    EXPECT_EQ(ErrorMessageText(2306, "Invalid %1"), "Error 2306 [902]: Invalid %1");
}

TEST(DialogParameter, KeepsAReferenceAsTheSameObject) {
    clsDialogParameter record;
    QObject object;
    record.setVarDataObject(&object);
    EXPECT_EQ(record.VarDataObject(), &object);
    EXPECT_TRUE(record.VarDataText().isEmpty());
    // A value is copied: changing the original does not change the record.
    QString text = "abc";
    record.setVarData(text);
    text += "d";
    EXPECT_EQ(record.VarDataText(), "abc");
    record.Clear();
    EXPECT_TRUE(record.SendTo().isEmpty());
    EXPECT_EQ(record.VarData(), QVariant(QString()));
}

}  // namespace
