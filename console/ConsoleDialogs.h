#pragma once
// The dialogs that the main window opens by name. Each dialog of the console
// registers a factory here under its form name ("frmNew", "frmProperties",
// "frmQueryDesigner", "frmRBDLImport", ...); the main window's commands
// create it owned by the calling window and show it modally.
#include <QString>
#include <functional>
#include <memory>

class QDialog;
class QWidget;

namespace qv {

using DialogFactory = std::function<std::unique_ptr<QDialog>(QWidget* owner)>;

// Registers (or, with an empty factory, removes) the dialog `formName`.
void RegisterDialog(const QString& formName, DialogFactory factory);
bool HasDialog(const QString& formName);
// Creates the dialog owned by `owner` and shows it modally; false when no
// such dialog is registered.
bool ShowDialogModal(const QString& formName, QWidget* owner);

// Registers the dialogs built into the console; runs once, before the first
// dialog is looked up. Each dialog module adds its line here.
void RegisterConsoleDialogs();

}  // namespace qv
