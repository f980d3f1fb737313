#pragma once
// Converts every RBDL (a DL whose query lives in another attribute behind its
// own prefix) below a container into a Quorvel DL, and optionally removes the
// old definition. Ends with "Done.", which also tells what was converted and
// names the DLs that could not be.
#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace qv {

struct RbdlConversionResult;

class frmRBDLImport : public QDialog {
    Q_OBJECT
public:
    explicit frmRBDLImport(QWidget* parent = nullptr);

    // Asks the container picker for the container.
    void ChooseContainer();
    // Runs the conversion, shows "Done." and closes the dialog. A request
    // that would clear the new definition (same field, "Move Query") is
    // refused with a message, and the dialog stays open.
    void Go();

    QPushButton* cmdContainer() const { return containerButton_; }
    QLineEdit* txtContainer() const { return container_; }
    QLineEdit* txtRBDLField() const { return rbdlField_; }
    QLineEdit* txtRBDLPrefix() const { return rbdlPrefix_; }
    QLineEdit* txtQVLField() const { return qvlField_; }
    QLineEdit* txtQVLPrefix() const { return qvlPrefix_; }
    QCheckBox* ckMove() const { return move_; }
    QPushButton* cmdGo() const { return go_; }
    QPushButton* cmdCancel() const { return cancel_; }

private:
    void Build();

    QPushButton* containerButton_ = nullptr;
    QLineEdit* container_ = nullptr;
    QLineEdit* rbdlField_ = nullptr;
    QLineEdit* rbdlPrefix_ = nullptr;
    QLineEdit* qvlField_ = nullptr;
    QLineEdit* qvlPrefix_ = nullptr;
    QCheckBox* move_ = nullptr;
    QPushButton* go_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

// What a conversion did, for the user: how many DLs were converted and which
// could not be (with why).
QString RbdlOutcomeText(const RbdlConversionResult& result, bool move);

}  // namespace qv
