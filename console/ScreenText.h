#pragma once
// The numbered screen texts of the console's windows and the procedure that
// puts them in place.
//
// How a window marks its texts when it is built:
//   - the window and any label, button, frame or check box: the entry number
//     in the "tag" property (MarkText), a number may also stand in the tooltip;
//   - a menu item (QAction in a menu or menu bar): the number as its text;
//   - a toolbar button (QAction in a QToolBar): the number as its tooltip;
//   - a tab of a QTabBar: the number as the tab's data (its tag) and tooltip;
//   - a column of a QTreeWidget header: the number in ColumnTagRole.
// ApplyScreenText replaces every number that has an entry by the entry's
// text; a number without an entry leaves the design-time text in place.
#include <QString>
#include <Qt>
#include <optional>

class QObject;
class QProgressBar;
class QWidget;

namespace qv {

// The entries that name the windows' font and font size (the table has neither).
inline constexpr int ScreenTextFontName = 20;
inline constexpr int ScreenTextFontSize = 21;
// Where a header column keeps its entry number.
inline constexpr int ColumnTagRole = Qt::UserRole + 20;

// The text of entry `number`, or nothing when the table has no such entry.
std::optional<QString> ScreenText(int number);

// Gives `object` the tag `tag` (the "tag" property of a window or control).
void MarkText(QObject* object, const QString& tag);
QString TagOf(const QObject* object);

// Puts the screen texts into `form` and its controls; every statement that
// cannot be done (no entry, a tag that is not a number) is skipped.
void ApplyScreenText(QWidget* form);

// The leading number of `text` rounded to the nearest integer, 0 when the
// text does not start with a number (blanks before it are skipped).
int LeadingNumber(const QString& text);
// `text` read as a whole 16-bit number; nothing when it is not one.
std::optional<int> WholeNumber(const QString& text);

// Sets `bar` to `percent` percent of its maximum (not clamped: the bar's own
// range check applies).
void SetProgress(QProgressBar* bar, short percent);

}  // namespace qv
