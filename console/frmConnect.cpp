#include "console/frmConnect.h"

#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "console/DialogLayout.h"
#include "console/Twips.h"
#include "core/mdlMain.h"

namespace qv {
namespace {

constexpr double ClientWidth = 5520;

QLabel* label(QWidget* parent, const char* name, const QString& caption) {
    auto* text = new QLabel(caption, parent);
    text->setObjectName(name);
    return text;
}

QLineEdit* textBox(QWidget* parent, const char* name) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(name);
    return box;
}

}  // namespace

void SelectAllText(QLineEdit* box) { box->setSelection(0, static_cast<int>(box->text().length())); }

frmConnect::frmConnect(QWidget* parent) : QDialog(parent) {
    setObjectName("frmConnect");
    setWindowTitle("Connect to server");
    setModal(true);
    Build();
    height_ = ExpandedHeight;
    LoadValues();
    AdjustHeight();
}

void frmConnect::Build() {
    auto* serverLabel = label(this, "Label1", "What server do you want to connect to?");
    server_ = textBox(this, "txtServer");
    authentication_ = new QCheckBox("Connect to server as...", this);
    authentication_->setObjectName("ckAuthentication");
    ok_ = new QPushButton("OK", this);
    ok_->setObjectName("cmdOK");
    ok_->setDefault(true);
    ok_->setAutoDefault(true);
    cancel_ = new QPushButton("Cancel", this);
    cancel_->setObjectName("cmdCancel");

    frame_ = new QGroupBox("Authentication", this);
    frame_->setObjectName("Frame1");
    auto* userLabel = label(frame_, "Label3", "User:");
    user_ = textBox(frame_, "txtUser");
    auto* domainLabel = label(frame_, "Label5", "Domain:");
    domain_ = textBox(frame_, "txtDomain");
    auto* passwordLabel = label(frame_, "Label4", "Password:");
    password_ = textBox(frame_, "txtPassword");
    password_->setEchoMode(QLineEdit::Password);
    admin_ = new QCheckBox("cn=admin", frame_);
    admin_->setObjectName("ckAdmin");
    admin_->setToolTip("This is not implemented yet");
    userLabel->setBuddy(user_);
    domainLabel->setBuddy(domain_);
    passwordLabel->setBuddy(password_);
    serverLabel->setBuddy(server_);

    PlaceTwips(serverLabel, 120, 120, 3960, 255);
    PlaceTwips(server_, 120, 405, 3960, 315);
    PlaceTwips(authentication_, 120, 855, 3960, 285);
    PlaceTwips(ok_, 4260, 120, 1140, 375);
    PlaceTwips(cancel_, 4260, 570, 1140, 375);
    PlaceTwips(frame_, 120, FrameTop, 5280, 1875);
    PlaceTwips(userLabel, 180, 330, 1200, 255);
    PlaceTwips(user_, 1440, 300, 3660, 315);
    PlaceTwips(domainLabel, 180, 735, 1200, 255);
    PlaceTwips(domain_, 1440, 705, 3660, 315);
    PlaceTwips(passwordLabel, 180, 1140, 1200, 255);
    PlaceTwips(password_, 1440, 1110, 3660, 315);
    PlaceTwips(admin_, 1440, 1500, 3660, 285);

    setTabOrder(server_, authentication_);
    setTabOrder(authentication_, user_);
    setTabOrder(user_, domain_);
    setTabOrder(domain_, password_);
    setTabOrder(password_, admin_);
    setTabOrder(admin_, ok_);
    setTabOrder(ok_, cancel_);

    for (QLineEdit* box : {server_, user_, password_, domain_}) box->installEventFilter(this);
    connect(authentication_, &QCheckBox::clicked, this, [this] { AdjustHeight(); });
    // A user that is a whole bind DN leaves the domain and the admin form out.
    connect(user_, &QLineEdit::textChanged, this, [this](const QString& user) {
        domain_->setEnabled(!user.contains('='));
        admin_->setEnabled(!user.contains('='));
    });
    connect(ok_, &QPushButton::clicked, this, [this] { OK(); });
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

void frmConnect::LoadValues() {
    const ModuleState& m = mdl();
    const clsConnection& connection = *mdl().objConnection;
    server_->setText(QString::fromStdString(m.strServer));
    if (connection.Username() != clsConnection::CurrentUser) {
        authentication_->setChecked(true);
        user_->setText(QString::fromStdString(connection.Username()));
        password_->setText(QString::fromStdString(connection.Password()));
    } else {
        authentication_->setChecked(false);
        user_->clear();
        password_->clear();
    }
    domain_->setText(QString::fromStdString(connection.Domain()));
    admin_->setChecked(connection.Admin());
}

void frmConnect::AdjustHeight() {
    height_ = authentication_->isChecked() ? ExpandedHeight : CollapsedHeight;
    // The client area is what is left of the outer height under the caption bar.
    const int client = TwipsToPixelsY(height_ - DecorationHeightTwips(this), this);
    setFixedSize(TwipsToPixelsX(ClientWidth, this), client);
}

double frmConnect::HeightTwips() const { return PixelsToTwipsY(height(), this) + DecorationHeightTwips(this); }

void frmConnect::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    AdjustHeight();  // the window system's caption bar is known now
    server_->setFocus(Qt::OtherFocusReason);
}

bool frmConnect::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn)
        if (auto* box = qobject_cast<QLineEdit*>(watched)) SelectAllText(box);
    return QDialog::eventFilter(watched, event);
}

void frmConnect::OK() {
    ModuleState& m = mdl();
    clsConnection& connection = *m.objConnection;
    m.strServer = server_->text().toStdString();
    if (!authentication_->isChecked()) {
        connection.setUsername(clsConnection::CurrentUser);
        connection.setPassword(std::string());
    } else {
        connection.setUsername(user_->text().toStdString());
        connection.setPassword(password_->text().toStdString());
    }
    connection.setDomain(domain_->text().toStdString());
    connection.setAdmin(admin_->isChecked());
    accept();
}

}  // namespace qv
