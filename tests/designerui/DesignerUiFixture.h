#pragma once
// The fixture of the designer's dialog tests: the console fixture (reader
// account, the shared reference directory as the last server, a private
// settings folder and event log), a main window whose first title is the
// site, and helpers that answer modal dialogs from inside their event loop.
#include <QApplication>
#include <QListWidget>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>

#include "console/ConsoleFixture.h"
#include "console/InputBox.h"
#include "console/clsDialogParameter.h"
#include "console/frmMain.h"
#include "directory/clsExchangeStore.h"

namespace qv::test {

// Runs `act` on the modal window named `objectName` once it is up. `act`
// must close it. A window that never shows is given up after a while, so a
// broken dialog fails the test instead of hanging it.
inline void whenShown(const QString& objectName, std::function<void(QWidget*)> act) {
    auto* timer = new QTimer;
    auto tries = std::make_shared<int>(0);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, tries, objectName, act]() {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || modal->objectName() != objectName) {
            if (++*tries > 2000) {
                timer->stop();
                timer->deleteLater();
                ADD_FAILURE() << objectName.toStdString() << " never showed";
                if (modal) modal->close();
            }
            return;
        }
        timer->stop();
        timer->deleteLater();
        act(modal);
    });
    timer->start();
}

// Answers every input box with `answer` and keeps what was asked.
class InputBoxRecorder {
public:
    explicit InputBoxRecorder(QString answer) : answer_(std::move(answer)) {
        SetInputBoxHandler([this](QWidget*, const InputBoxRequest& request) {
            asked.push_back(request);
            return answer_;
        });
    }
    ~InputBoxRecorder() { SetInputBoxHandler({}); }
    InputBoxRecorder(const InputBoxRecorder&) = delete;
    InputBoxRecorder& operator=(const InputBoxRecorder&) = delete;
    std::vector<InputBoxRequest> asked;

private:
    QString answer_;
};

class DesignerUiFixture : public ConsoleFixture {
protected:
    void SetUp() override {
        ConsoleFixture::SetUp();
        objDialogParameter().Clear();
        main_ = std::make_unique<frmMain>();
        main_->SetTitle(0, sitePath());
    }
    void TearDown() override {
        main_.reset();
        objDialogParameter().Clear();
    }

    static QString serverPath() { return "LDAP://" + QString::fromStdString(sharedDirectory().server()); }
    static QString sitePath() { return serverPath() + "/o=Northwind Traders/ou=Amsterdam"; }

    // The store connected as the console would have it.
    static void connectStore() {
        ASSERT_TRUE(mdl().objExchangeStore->Connect(mdl().objConnection.get(), mdl().strServer));
    }

    static QStringList items(const QListWidget* list) {
        QStringList texts;
        for (int i = 0; i < list->count(); ++i) texts << list->item(i)->text();
        return texts;
    }

    std::unique_ptr<frmMain> main_;
};

}  // namespace qv::test
