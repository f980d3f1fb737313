#include "console/ScreenText.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTabBar>
#include <QToolBar>
#include <QTreeWidget>
#include <QVariant>
#include <QWidget>
#include <cmath>
#include <limits>
#include <map>

namespace qv {
namespace {

const char* const TagProperty = "tag";

// The table, compiled into the program.
const std::map<int, const char*>& entries() {
    static const std::map<int, const char*> table = {
        {1000, "&File"},
        {1001, "&Connect..."},
        {1002, "&New"},
        {1003, "&Delete"},
        {1004, "Propert&ies"},
        {1005, "&Close"},
        {1006, "&View"},
        {1007, "&Toolbar"},
        {1008, "Status &Bar"},
        {1009, "&Refresh"},
        {1010, "&Options..."},
        {1011, "&Tools"},
        {1012, "&Options..."},
        {1013, "&Help"},
        {1014, "&Contents"},
        {1015, "&About "},
        {1016, "Connect to Exchange Server"},
        {1017, "New DL"},
        {1018, "Delete DL"},
        {1019, "DL Properties"},
        {1020, "Update DL"},
        {1021, "Refresh"},
        {1022, "Options"},
        {1023, "Exit Quorvel"},
        {1024, "Launch Query Designer"},
        {1028, "Warning"},
        {1029, "1.0"},
        {1030, "Intel"},
        {1032, "Quorvel"},
        {1034, "Options"},
        {1035, "General"},
        {1037, "Sample 3"},
        {1038, "Sample 4"},
        {1039, "&Apply"},
        {1040, "Cancel"},
        {1041, "OK"},
        {1042, "About Quorvel"},
        {1043, "&System Info..."},
        {1044, "OK"},
        {1045, "Quorvel rewrites the membership of distribution lists in your directory. "
               "Test every query with the Query Designer before you update a list."},
        {1046, "Version"},
        {1047, "Quorvel"},
        {1048, "Query-defined distribution lists, kept up to date."},
        {1049, "Query Designer..."},
        {1050, "Update..."},
        {1051, "PopUp"},
        {1052, "New"},
        {1053, "Delete"},
        {1054, "Update"},
        {1055, "Update DL's"},
        {1056, "Properties"},
        {1057, "General"},
        {1058, "Custom Attributes"},
        {1059, "Advanced"},
        {1060, "Owner:"},
        {1061, "Alias name:"},
        {1062, "Display name:"},
        {1063, "Notes:"},
        {1064, "Members:"},
        {1065, "Eventlog..."},
        {1066, "Launch Eventlog"},
        {1067, "Import RBDL distribution lists..."},
        {1068, "Owner"},
        {1069, "Members"},
        {1070, "KVOR on the web"},
        {1071, "&Home"},
        {1072, "&Products"},
        {1073, "&Quorvel"},
        {1074, "Product &Updates"},
    };
    return table;
}

// The entry named by a text that must be a number as a whole.
std::optional<QString> entryOfWhole(const QString& text) {
    auto number = WholeNumber(text);
    if (!number) return std::nullopt;
    return ScreenText(*number);
}

// The entry named by the leading number of a text, when that number is at least 1.
std::optional<QString> entryOfLeading(const QString& text) {
    int number = LeadingNumber(text);
    if (number < 1) return std::nullopt;
    return ScreenText(number);
}

void applyToActions(const QList<QAction*>& actions) {
    for (QAction* action : actions)
        if (auto text = entryOfWhole(action->text())) action->setText(*text);
}

void applyToToolBar(QToolBar* toolBar) {
    for (QAction* action : toolBar->actions())
        if (auto text = entryOfWhole(action->toolTip())) action->setToolTip(*text);
}

void applyToTabBar(QTabBar* tabs) {
    for (int i = 0; i < tabs->count(); ++i) {
        if (auto text = entryOfWhole(tabs->tabData(i).toString())) tabs->setTabText(i, *text);
        if (auto tip = entryOfWhole(tabs->tabToolTip(i))) tabs->setTabToolTip(i, *tip);
    }
}

void applyToColumns(QTreeWidget* view) {
    QTreeWidgetItem* header = view->headerItem();
    for (int column = 0; column < view->columnCount(); ++column)
        if (auto text = entryOfWhole(header->data(column, ColumnTagRole).toString())) header->setText(column, *text);
}

// Buttons, frames, check boxes: a leading number in the tag and in the tooltip.
void applyToOther(QWidget* control) {
    if (auto text = entryOfLeading(TagOf(control))) {
        if (auto* button = qobject_cast<QAbstractButton*>(control))
            button->setText(*text);
        else if (auto* frame = qobject_cast<QGroupBox*>(control))
            frame->setTitle(*text);
    }
    if (auto tip = entryOfLeading(control->toolTip())) control->setToolTip(*tip);
}

void applyToControl(QWidget* control) {
    if (auto* label = qobject_cast<QLabel*>(control)) {
        if (auto text = entryOfWhole(TagOf(label))) label->setText(*text);
    } else if (auto* menu = qobject_cast<QMenu*>(control)) {
        applyToActions({menu->menuAction()});
        applyToActions(menu->actions());
    } else if (auto* bar = qobject_cast<QMenuBar*>(control)) {
        applyToActions(bar->actions());
    } else if (auto* toolBar = qobject_cast<QToolBar*>(control)) {
        applyToToolBar(toolBar);
    } else if (auto* tabs = qobject_cast<QTabBar*>(control)) {
        applyToTabBar(tabs);
    } else if (auto* view = qobject_cast<QTreeWidget*>(control)) {
        applyToColumns(view);
    } else {
        applyToOther(control);
    }
}

// The window's font from entries 20 and 21, when the table names one.
void applyFont(QWidget* form) {
    auto name = ScreenText(ScreenTextFontName);
    auto size = ScreenText(ScreenTextFontSize);
    if (!name && !size) return;
    QFont font = form->font();
    if (name) font.setFamily(*name);
    if (size) {
        if (auto points = WholeNumber(*size); points && *points > 0) font.setPointSize(*points);
    }
    form->setFont(font);
}

}  // namespace

std::optional<QString> ScreenText(int number) {
    auto found = entries().find(number);
    if (found == entries().end()) return std::nullopt;
    return QString::fromUtf8(found->second);
}

void MarkText(QObject* object, const QString& tag) { object->setProperty(TagProperty, tag); }

QString TagOf(const QObject* object) { return object->property(TagProperty).toString(); }

void ApplyScreenText(QWidget* form) {
    if (!form) return;
    if (auto caption = entryOfWhole(TagOf(form))) form->setWindowTitle(*caption);
    applyFont(form);
    // Controls take the window's font by inheritance, so they all show it.
    for (QWidget* control : form->findChildren<QWidget*>()) applyToControl(control);
}

int LeadingNumber(const QString& text) {
    static const QRegularExpression number(QStringLiteral(R"(^\s*([+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?))"));
    auto match = number.match(text);
    if (!match.hasMatch()) return 0;
    double value = match.captured(1).toDouble();
    if (!std::isfinite(value) || std::fabs(value) > std::numeric_limits<int>::max()) return 0;
    return static_cast<int>(std::lround(value));
}

std::optional<int> WholeNumber(const QString& text) {
    bool ok = false;
    double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value)) return std::nullopt;
    long rounded = std::lround(value);
    if (rounded < std::numeric_limits<short>::min() || rounded > std::numeric_limits<short>::max())
        return std::nullopt;
    return static_cast<int>(rounded);
}

void SetProgress(QProgressBar* bar, short percent) {
    const float value = static_cast<float>(bar->maximum() * (static_cast<double>(percent) / 100.0));
    bar->setValue(static_cast<int>(std::lround(value)));
}

}  // namespace qv
