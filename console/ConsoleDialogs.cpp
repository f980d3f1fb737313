#include "console/ConsoleDialogs.h"

#include <QDialog>
#include <QHash>

#include "console/frmContainer.h"
#include "console/frmNew.h"
#include "console/frmProperties.h"
#include "console/frmQueryDesigner.h"
#include "console/frmRBDLImport.h"

namespace qv {
namespace {

QHash<QString, DialogFactory>& factories() {
    static QHash<QString, DialogFactory> registered;
    return registered;
}

// The console runs on one thread; the flag is set first because the
// registrations themselves come back through here.
void registerOnce() {
    static bool registered = false;
    if (registered) return;
    registered = true;
    RegisterConsoleDialogs();
}

}  // namespace

void RegisterDialog(const QString& formName, DialogFactory factory) {
    registerOnce();
    if (factory)
        factories().insert(formName, std::move(factory));
    else
        factories().remove(formName);
}

bool HasDialog(const QString& formName) {
    registerOnce();
    return factories().contains(formName);
}

bool ShowDialogModal(const QString& formName, QWidget* owner) {
    registerOnce();
    auto found = factories().constFind(formName);
    if (found == factories().constEnd()) return false;
    std::unique_ptr<QDialog> dialog = (*found)(owner);
    if (!dialog) return false;
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->exec();
    return true;
}

void RegisterConsoleDialogs() {
    // The properties, new-DL, query-designer and RBDL-import dialogs register
    // themselves here with RegisterDialog("frm...", factory).
    RegisterDialog("frmNew", [](QWidget* owner) { return std::make_unique<frmNew>(owner); });
    RegisterDialog("frmProperties", [](QWidget* owner) { return std::make_unique<frmProperties>(owner); });
    RegisterDialog("frmQueryDesigner", [](QWidget* owner) { return std::make_unique<frmQueryDesigner>(owner); });
    RegisterDialog("frmContainer", [](QWidget* owner) { return std::make_unique<frmContainer>(owner); });
    RegisterDialog("frmRBDLImport", [](QWidget* owner) { return std::make_unique<frmRBDLImport>(owner); });
}

}  // namespace qv
