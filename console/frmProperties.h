#pragma once
// The properties of one DL: its names, notes, custom attributes, delivery
// options and Quorvel definition on four tabs. The dialog works on item 1 of
// the module's selection throughout. Apply and OK write the fields back,
// Reset empties the membership at once, Modify edits the definition in the
// query designer and Update DL runs a processing pass on the DL.
#include <QDialog>
#include <QList>
#include <QString>
#include <memory>
#include <set>
#include <vector>

#include "directory/DirectoryObject.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTabBar;

namespace qv {

// One attribute that a save could not write, and why.
struct UnsavedProperty {
    std::string attribute;
    std::int32_t number = 0;
    std::string description;
};

class frmProperties : public QDialog {
    Q_OBJECT
public:
    // Where the page of the selected tab stands, and where the others wait (twips).
    static constexpr double ShownPageLeft = 210;
    static constexpr double HiddenPageLeft = -20000;
    static constexpr int PageCount = 4;

    explicit frmProperties(QWidget* parent = nullptr);

    // Shows the dialog modally; a dialog whose DL could not be read closes at once.
    int exec() override;

    // The DL the dialog shows (item 1 of the selection when it opened).
    const std::shared_ptr<DirectoryObject>& DL() const { return dl_; }
    // False when the DL could not be read; the dialog then closes as soon as it is shown.
    bool Loaded() const { return loaded_; }

    // Writes the fields back; true when every attribute was written. The
    // user has been told about any that were not.
    bool SaveProperties();
    // Reads the DL again into the fields; false (after telling the user) when it cannot.
    bool Reload();

    // The attributes the fields write, but for the definition attribute; those
    // of them the DL cannot hold (by the server's schema) are shown disabled
    // and never written.
    std::vector<std::string> WrittenAttributes() const;
    void SetUnholdable(const std::vector<std::string>& attributes);

    void SelectTab(int index);
    void Apply();
    void OK();
    void Cancel();
    void ResetMembers();
    void ModifyQuery();
    void UpdateDL();
    // Shows what Update DL would add and remove, writing nothing.
    void PreviewDL();

    // The left edge of a page in twips.
    double PageLeft(int index) const { return pageLefts_.value(index); }

    QTabBar* tbsOptions() const { return tabs_; }
    QWidget* picOptions(int index) const { return pages_.value(index); }
    QLabel* lblDisplay() const { return display_; }
    QLineEdit* controlcn() const { return cn_; }
    QLineEdit* controluid() const { return uid_; }
    QLineEdit* controlowner() const { return owner_; }
    QPlainTextEdit* controlinfo() const { return info_; }
    QListWidget* controlmember() const { return members_; }
    QLabel* lblMembers() const { return memberCount_; }
    QPushButton* cmdReset() const { return reset_; }
    QLineEdit* controlca(int number) const { return customAttributes_.value(number - 1); }
    QCheckBox* chkallowoootooriginator() const { return oofToOriginator_; }
    QCheckBox* chkhidemembershipfromab() const { return hideMembership_; }
    QCheckBox* chkreporttolistowner() const { return reportToOwner_; }
    QCheckBox* chkreporttomessageoriginator() const { return reportToOriginator_; }
    QCheckBox* chkhidefromab() const { return hideFromAddressBook_; }
    QLineEdit* controladmindesc() const { return adminDescription_; }
    QPlainTextEdit* controlQVL() const { return query_; }
    QPushButton* cmdQuery() const { return modify_; }
    QPushButton* cmdUpdate() const { return update_; }
    QPushButton* cmdPreview() const { return preview_; }
    QPushButton* cmdOK() const { return ok_; }
    QPushButton* cmdCancel() const { return cancel_; }
    QPushButton* cmdApply() const { return apply_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Build();
    QWidget* AddPage(const QString& caption);
    void BuildGeneralPage(QWidget* page);
    void BuildCustomAttributesPage(QWidget* page);
    void BuildAdvancedPage(QWidget* page);
    void BuildQuorvelPage(QWidget* page);
    void BuildButtons();
    void ShowPages();
    using Write = std::pair<std::string, DirectoryObject::PropertyValue>;
    std::vector<Write> Writes() const;
    bool SaveFirstWrite(const Write& write);
    std::vector<UnsavedProperty> SaveOtherWrites(const std::vector<Write>& writes);
    void ReportWriteFailure(std::int32_t number, const std::string& description);
    void ReportUnsaved(const std::vector<UnsavedProperty>& unsaved);
    void SelectThisDL();

    std::shared_ptr<DirectoryObject> dl_;
    bool loaded_ = false;
    std::set<std::string> unholdable_;  // lower-case attribute names

    QTabBar* tabs_ = nullptr;
    QList<QWidget*> pages_;
    QList<double> pageLefts_;
    QLabel* display_ = nullptr;
    QLineEdit* cn_ = nullptr;
    QLineEdit* uid_ = nullptr;
    QLineEdit* owner_ = nullptr;
    QPlainTextEdit* info_ = nullptr;
    QListWidget* members_ = nullptr;
    QLabel* memberCount_ = nullptr;
    QPushButton* reset_ = nullptr;
    QList<QLineEdit*> customAttributes_;
    QCheckBox* oofToOriginator_ = nullptr;
    QCheckBox* hideMembership_ = nullptr;
    QCheckBox* reportToOwner_ = nullptr;
    QCheckBox* reportToOriginator_ = nullptr;
    QCheckBox* hideFromAddressBook_ = nullptr;
    QLineEdit* adminDescription_ = nullptr;
    QPlainTextEdit* query_ = nullptr;
    QPushButton* modify_ = nullptr;
    QPushButton* update_ = nullptr;
    QPushButton* preview_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* apply_ = nullptr;
};

// The attributes the dialog reads, in the order of the one read: "cn", the
// definition attribute `field`, "uid", "member", "owner", "info",
// "admin-description", the ten custom attributes and the four options.
std::vector<std::string> DLPropertyNames(const std::string& field);

// Fills dialog F from DL D with one read of its attributes. Raises qv::Error
// when the DL cannot be bound.
void LoadDLProperties(DirectoryObject& D, frmProperties& F);

// The message that lists the attributes a save could not write.
QString UnsavedPropertiesText(const std::vector<UnsavedProperty>& unsaved);

}  // namespace qv
