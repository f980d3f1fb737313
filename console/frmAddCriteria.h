#pragma once
// The criteria editor of the query designer: a quick pick, a test of one
// attribute (field, operator, value) or a logical group. OK inserts the
// items into the designer's list at its current item; opened with a
// criterion in the parameter record (receiver "frmAddCriteria", sender
// "frmQueryDesigner") it replaces that criterion. Every way of closing
// empties the parameter record.
#include <QDialog>
#include <string>

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace qv {

class frmQueryDesigner;

class frmAddCriteria : public QDialog {
    Q_OBJECT
public:
    // The quick picks, in list order.
    static constexpr const char* AllCustomRecipients = "All Custom Recipients";
    static constexpr const char* AllMailboxes = "All Mailboxes";
    static constexpr const char* AllMailboxesOnServer = "All Mailboxes on Server";

    // Works on `designer`'s criteria; owned by `parent` (the designer).
    frmAddCriteria(frmQueryDesigner* designer, QWidget* parent = nullptr);

    // Enables and empties the value box by the selected operator.
    void UpdateGui();
    // Inserts `item` into the designer's list by the insertion rules; in edit
    // mode the edited item is replaced and edit mode ends.
    void AddCriterionItem(const std::string& item);
    // The parameter record asks for an edit.
    static bool EditModeRequested();
    void OK();

    QRadioButton* optQuickPick() const { return quickPick_; }
    QRadioButton* optTypeOther() const { return other_; }
    QRadioButton* optTypeLogical() const { return logical_; }
    QComboBox* cmbQuick() const { return quick_; }
    QComboBox* cmbField() const { return field_; }
    QComboBox* cmbOperator() const { return operator_; }
    QComboBox* cmbValue() const { return value_; }
    QComboBox* cmbCriteria() const { return criteria_; }
    QPushButton* cmdOK() const { return ok_; }
    QPushButton* cmdCancel() const { return cancel_; }

    void done(int result) override;

private:
    void Build();
    void Load();
    void FillCombo(QComboBox* combo, const QStringList& entries);
    int SelectedOperator() const;
    void AddQuickPick();
    void AddMailboxesOnServer();

    frmQueryDesigner* designer_;
    QRadioButton* quickPick_ = nullptr;
    QRadioButton* other_ = nullptr;
    QRadioButton* logical_ = nullptr;
    QComboBox* quick_ = nullptr;
    QComboBox* field_ = nullptr;
    QComboBox* operator_ = nullptr;
    QComboBox* value_ = nullptr;
    QComboBox* criteria_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

// The entries of the field-name box, in order (34 attribute names).
QStringList CriteriaFieldNames();
// The suggestions of the value box, in order (the first is the empty text).
QStringList CriteriaValueSuggestions();

}  // namespace qv
