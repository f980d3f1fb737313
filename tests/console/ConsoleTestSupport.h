#pragma once
// Helpers of the console tests: one QApplication for the binary, a recorder
// that answers message boxes instead of showing them, and a way to answer a
// modal dialog from inside its own event loop.
#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "console/MessageBoxes.h"

namespace qv::test {

// The binary's application object (offscreen under ctest), created on first use.
inline QApplication& ensureApplication() {
    static int argc = 1;
    static char name[] = "quorvel-console-test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

// Answers every message box with `answer` and keeps what was asked, for the
// lifetime of the object.
class MessageBoxRecorder {
public:
    explicit MessageBoxRecorder(MsgAnswer answer = MsgAnswer::OK) : answer_(answer) {
        SetMessageBoxHandler([this](QWidget*, const MessageBoxRequest& request) {
            boxes.push_back(request);
            if (onBox) onBox(request);
            if (request.buttons == MsgButtons::OK) return MsgAnswer::OK;
            return answer_;
        });
    }
    ~MessageBoxRecorder() { SetMessageBoxHandler({}); }
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    void setAnswer(MsgAnswer answer) { answer_ = answer; }

    std::vector<MessageBoxRequest> boxes;
    std::function<void(const MessageBoxRequest&)> onBox;  // runs while the box would be up

private:
    MsgAnswer answer_;
};

// Runs `act` on the modal window named `objectName` (any, when empty) once it
// is up. `act` must close it. A window that never shows is given up after a
// while, so a broken dialog fails the test instead of hanging it.
inline void whenShown(const QString& objectName, std::function<void(QWidget*)> act) {
    auto* timer = new QTimer;
    auto tries = std::make_shared<int>(0);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, tries, objectName, act]() {
        QWidget* modal = QApplication::activeModalWidget();
        const bool up = modal && modal->isVisible() && (objectName.isEmpty() || modal->objectName() == objectName);
        if (!up && ++*tries <= 2000) return;
        timer->stop();
        timer->deleteLater();
        if (up) return act(modal);
        ADD_FAILURE() << objectName.toStdString() << " never showed";
        if (modal) modal->close();
    });
    timer->start();
}

}  // namespace qv::test
