#include "console/ConsoleMain.h"

#include <QApplication>
#include <QGuiApplication>
#include <QProgressBar>
#include <memory>

#include "console/ImageList.h"
#include "console/MessageBoxes.h"
#include "console/ScreenText.h"
#include "console/frmMain.h"
#include "console/frmSplash.h"
#include "core/mdlMain.h"

namespace qv {
namespace {

// Sharp at fractional scale factors (125 %, 150 %) as well as whole ones.
void SetHighDpiPolicy() {
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
}

void ShowSplashNow(frmSplash& splash) {
    splash.show();
    splash.repaint();
    QApplication::processEvents();
}

}  // namespace

int RunConsole(int argc, char** argv) {
    SetHighDpiPolicy();
    QApplication app(argc, argv);
    QApplication::setApplicationName(AppTitleText());
    QApplication::setApplicationDisplayName("KVOR Quorvel");
    QApplication::setWindowIcon(imlToolbarIcons().Image("dl"));

    auto splash = std::make_unique<frmSplash>();
    ShowSplashNow(*splash);
    splash->setCursor(Qt::WaitCursor);
    SetProgress(splash->pbInitialize(), 5);

    LoadRegistrySettings(SettingsKey);
    auto* window = new frmMain;
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->Load(splash->pbInitialize());

    splash->unsetCursor();
    SetProgress(splash->pbInitialize(), 100);
    splash->close();
    splash.reset();

    window->show();
    return QApplication::exec();
}

void ShowPreviousInstanceMessage(int argc, char** argv) {
    SetHighDpiPolicy();
    QApplication app(argc, argv);
    MsgBox(nullptr, "A previous instance of Quorvel is running.", MsgButtons::OK, MsgIcon::Critical, "Error");
}

}  // namespace qv
