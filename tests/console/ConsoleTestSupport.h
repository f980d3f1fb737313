#pragma once
// Helpers of the console tests: one QApplication for the binary, a recorder
// that answers message boxes instead of showing them, and a way to answer a
// modal dialog from inside its own event loop.
#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <vector>

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

// Runs `act` on the modal dialog that the next call opens, once it is up,
// then lets the call go on. `act` must close the dialog.
inline void whenModalShows(std::function<void(QWidget*)> act) {
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, act]() {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        act(modal);
    });
    timer->start();
}

}  // namespace qv::test
