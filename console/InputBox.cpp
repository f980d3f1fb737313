#include "console/InputBox.h"

#include <QApplication>
#include <QInputDialog>

namespace qv {
namespace {

InputBoxHandler& handler() {
    static InputBoxHandler current;
    return current;
}

QString showRealBox(QWidget* parent, const InputBoxRequest& request) {
    QInputDialog box(parent);
    box.setObjectName(QStringLiteral("InputBox"));
    box.setInputMode(QInputDialog::TextInput);
    box.setWindowTitle(request.title);
    box.setLabelText(request.prompt);
    box.setTextValue(request.proposed);
    // The pointer is the normal one over the box, whatever the caller shows.
    const bool waiting = QApplication::overrideCursor() != nullptr;
    if (waiting) QApplication::setOverrideCursor(Qt::ArrowCursor);
    const bool answered = box.exec() == QDialog::Accepted;
    if (waiting) QApplication::restoreOverrideCursor();
    return answered ? box.textValue() : QString();
}

}  // namespace

QString InputBox(QWidget* parent, const QString& prompt, const QString& title, const QString& proposed) {
    const InputBoxRequest request{prompt, title, proposed};
    if (handler()) return handler()(parent, request);
    return showRealBox(parent, request);
}

void SetInputBoxHandler(InputBoxHandler replacement) { handler() = std::move(replacement); }

}  // namespace qv
