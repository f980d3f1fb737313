#pragma once
// The console's input box: a prompt, a title and a proposed answer; the
// user's answer, or the empty text when the box is cancelled. Tests install a
// handler in place of the real box.
#include <QString>
#include <functional>

class QWidget;

namespace qv {

struct InputBoxRequest {
    QString prompt;
    QString title;
    QString proposed;
};

// Shows a modal input box owned by `parent`. Cancel gives the empty text.
QString InputBox(QWidget* parent, const QString& prompt, const QString& title, const QString& proposed);

// Replaces the real box (an empty handler puts it back). For tests.
using InputBoxHandler = std::function<QString(QWidget* parent, const InputBoxRequest& request)>;
void SetInputBoxHandler(InputBoxHandler handler);

}  // namespace qv
