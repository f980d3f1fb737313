#pragma once
// The dialog that creates a DL in the container chosen in the main window.
// The user types a display name; the alias and the e-mail address are
// proposed from it on every change. OK checks that the address does not end
// without a domain, asks the store to create the DL and closes, after a
// success or after telling why the DL could not be created.
#include <QDialog>
#include <QString>

#include "directory/DirectoryObject.h"

class QLineEdit;
class QPushButton;

namespace qv {

// The display name without blanks, quotes, "'", ":", ";", "," and "@".
QString StripDisplayName(const QString& displayName);
// The alias proposed for a display name: the stripped name in lower case.
QString ProposeAlias(const QString& displayName);
// The address proposed for a display name: stripped name + "@" + site (without
// "ou=") + "." + organisation (without "o=") + ".com", without blanks, in lower case;
// without a site, the organisation's dc= components joined with "." when it has them.
QString ProposeMail(const QString& displayName, const QString& site, const QString& organization);

class frmNew : public QDialog {
    Q_OBJECT
public:
    explicit frmNew(QWidget* parent = nullptr);

    // The display name a new DL starts from.
    static constexpr const char* StartingName = "QVL: ";

    // Checks the address and creates the DL; closes unless the address lacks its domain.
    void OK();

    // The DL to be created, as filled in so far.
    const DirectoryObject& Record() const { return record_; }

    QLineEdit* txtcn() const { return cn_; }
    QLineEdit* txtuid() const { return uid_; }
    QLineEdit* txtmail() const { return mail_; }
    QLineEdit* txtContainer() const { return container_; }
    QPushButton* cmdOK() const { return ok_; }
    QPushButton* cmdCancel() const { return cancel_; }

private:
    void Build();
    void Propose();
    void ReportCreateFailure();

    DirectoryObject record_;
    QLineEdit* cn_ = nullptr;
    QLineEdit* uid_ = nullptr;
    QLineEdit* mail_ = nullptr;
    QLineEdit* container_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

}  // namespace qv
