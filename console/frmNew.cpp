#include "console/frmNew.h"

#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "console/DialogLayout.h"
#include "console/MessageBoxes.h"
#include "console/Twips.h"
#include "console/WaitCursor.h"
#include "console/frmQueryDesigner.h"
#include "core/mdlMain.h"
#include "directory/clsExchangeStore.h"
#include "platform/ErrorNumbers.h"

namespace qv {
namespace {

constexpr double ClientWidth = 6240;
constexpr double LabelWidth = 1500;
constexpr double BoxLeft = 1680;
constexpr double BoxWidth = 4440;

// A text box that puts the caret at the end of its text whenever it gets
// the focus, also from the keyboard (which would otherwise select it all).
class CaretAtEndBox : public QLineEdit {
public:
    using QLineEdit::QLineEdit;

protected:
    void focusInEvent(QFocusEvent* event) override {
        QLineEdit::focusInEvent(event);
        deselect();
        end(false);
    }
};

QLineEdit* textBox(QLineEdit* box, const char* name) {
    box->setObjectName(name);
    return box;
}

QLabel* label(QWidget* parent, const char* name, const QString& caption, QWidget* buddy) {
    auto* l = new QLabel(caption, parent);
    l->setObjectName(name);
    l->setBuddy(buddy);
    return l;
}

QString removeAll(QString text, const QString& part) { return text.remove(part, Qt::CaseSensitive); }

}  // namespace

QString StripDisplayName(const QString& displayName) {
    QString stripped = displayName;
    for (const char* part : {" ", "\"", "'", ":", ";", ",", "@"}) stripped.remove(QString::fromLatin1(part));
    return stripped;
}

QString ProposeAlias(const QString& displayName) { return StripDisplayName(displayName).toLower(); }

QString ProposeMail(const QString& displayName, const QString& site, const QString& organization) {
    QString domain = removeAll(site, "ou=") + "." + removeAll(organization, "o=") + ".com";
    if (site.isEmpty()) {
        // No site (a directory without the messaging layout): the organisation's
        // domain components, dc=example,dc=com giving example.com.
        QStringList parts;
        for (const QString& rdn : organization.split(','))
            if (rdn.trimmed().startsWith("dc=", Qt::CaseInsensitive)) parts << rdn.trimmed().mid(3);
        if (!parts.isEmpty()) domain = parts.join('.');
    }
    return removeAll(StripDisplayName(displayName) + "@" + domain, " ").toLower();
}

frmNew::frmNew(QWidget* parent) : QDialog(parent) {
    setObjectName("frmNew");
    setWindowTitle("Add new distibution list");
    setModal(true);
    Build();
    record_.container = MainWindowContainer().toStdString();
    container_->setText(QString::fromStdString(record_.container));
    container_->setToolTip(container_->text());
    container_->setCursorPosition(0);
    cn_->setText(StartingName);  // proposes the alias and address too
    cn_->setFocus(Qt::OtherFocusReason);
}

void frmNew::Build() {
    cn_ = textBox(new CaretAtEndBox(this), "txtcn");
    uid_ = textBox(new QLineEdit(this), "txtuid");
    mail_ = textBox(new QLineEdit(this), "txtmail");
    container_ = textBox(new QLineEdit(this), "txtContainer");
    container_->setReadOnly(true);
    container_->setEnabled(false);
    const std::pair<QLineEdit*, QLabel*> rows[] = {
        {cn_, label(this, "lblDisplayName", "Display name:", cn_)},
        {uid_, label(this, "lblAlias", "Alias name:", uid_)},
        {mail_, label(this, "lblMail", "Email address:", mail_)},
        {container_, label(this, "lblContainer", "Container:", container_)},
    };
    double top = 150;
    for (const auto& [box, caption] : rows) {
        PlaceTwips(caption, 120, top + 30, LabelWidth, 255);
        PlaceTwips(box, BoxLeft, top, BoxWidth, 315);
        top += 450;
    }

    ok_ = new QPushButton("&OK", this);
    ok_->setObjectName("cmdOK");
    ok_->setDefault(true);
    cancel_ = new QPushButton("&Cancel", this);
    cancel_->setObjectName("cmdCancel");
    const double buttonsTop = top + 90;
    PlaceTwips(ok_, ClientWidth - 2 * 1260, buttonsTop, 1140, 375);
    PlaceTwips(cancel_, ClientWidth - 1260, buttonsTop, 1140, 375);
    setFixedSize(TwipsToPixelsX(ClientWidth, this), TwipsToPixelsY(buttonsTop + 375 + 150, this));

    setTabOrder(cn_, uid_);
    setTabOrder(uid_, mail_);
    setTabOrder(mail_, container_);
    setTabOrder(container_, ok_);
    setTabOrder(ok_, cancel_);

    connect(cn_, &QLineEdit::textChanged, this, [this] { Propose(); });
    connect(ok_, &QPushButton::clicked, this, [this] { OK(); });
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

// Every change of the display name replaces the alias and the address.
void frmNew::Propose() {
    const clsExchangeStore& store = *mdl().objExchangeStore;
    uid_->setText(ProposeAlias(cn_->text()));
    mail_->setText(ProposeMail(cn_->text(), QString::fromStdString(store.Site()),
                               QString::fromStdString(store.Organization())));
}

void frmNew::OK() {
    if (mail_->text().endsWith('@')) {
        MsgBox(this, "You must specify a domain name after the @ sign in the email address.", MsgButtons::OK,
               MsgIcon::Critical, "Incomplete data");
        return;
    }
    record_.objectClass = "GroupOfNames";
    record_.uid = uid_->text().toStdString();
    record_.cn = cn_->text().toStdString();
    record_.mail = mail_->text().toStdString();
    bool created = false;
    {
        WaitCursor wait;
        created = mdl().objExchangeStore->CreateADSIObject(record_);
    }
    if (!created) ReportCreateFailure();
    accept();
}

void frmNew::ReportCreateFailure() {
    const clsErrorMessage& error = mdl().objExchangeStore->lastError();
    if (error.Number == err::AccessDenied) {
        MsgBox(this, "You do not have sufficient access rights to create this object.  Access is denied.",
               MsgButtons::OK, MsgIcon::Critical, "Error");
    } else if (error.Number == err::AlreadyExists) {
        MsgBox(this, "A distribution list with this name exists, please use a different name.", MsgButtons::OK,
               MsgIcon::Critical, "Error");
    } else {
        MsgBox(this, ErrorMessageText(error.Number, QString::fromStdString(error.Description)), MsgButtons::OK,
               MsgIcon::None, AppTitleText());
    }
}

}  // namespace qv
