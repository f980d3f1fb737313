#pragma once
// The console's message boxes: a text, a title, the buttons (OK, or Yes and
// No) and an icon, with the user's answer. Tests install a handler in place
// of the real box.
#include <QString>
#include <cstdint>
#include <functional>

class QWidget;

namespace qv {

class Error;

enum class MsgIcon { None, Critical, Question, Exclamation, Information };
enum class MsgButtons {
    OK,
    YesNo,          // Yes is the default button
    YesNoDefaultNo  // for a question whose Yes cannot be taken back
};
enum class MsgAnswer { OK, Yes, No };

struct MessageBoxRequest {
    QString text;
    QString title;
    MsgButtons buttons = MsgButtons::OK;
    MsgIcon icon = MsgIcon::None;
    QString detail;  // shown under the text when not empty
};

// Shows a modal message box owned by `parent` and returns the answer. While
// an hourglass is up, the box shows the normal pointer.
MsgAnswer MsgBox(QWidget* parent, const QString& text, MsgButtons buttons, MsgIcon icon, const QString& title);
// The same with a further explanation under the text.
MsgAnswer MsgBox(QWidget* parent, const QString& text, MsgButtons buttons, MsgIcon icon, const QString& title,
                 const QString& detail);

// Replaces the real box (an empty handler puts it back). For tests.
using MessageBoxHandler = std::function<MsgAnswer(QWidget* parent, const MessageBoxRequest& request)>;
void SetMessageBoxHandler(MessageBoxHandler handler);

// "Error " + the number in decimal + " [" + the number in upper-case
// hexadecimal (its 32-bit pattern) + "]: " + the description.
QString ErrorMessageText(std::int32_t number, const QString& description);
// An unexpected error in that form, with a stop icon.
void ShowUnexpectedError(QWidget* parent, const Error& error, const QString& title);

// The application's title, for boxes that carry it.
QString AppTitleText();

}  // namespace qv
