#pragma once
// Which directory server the console works with, and under which
// credentials. Edits the module's strServer and objConnection in memory; the
// main window reconnects afterwards, after Cancel too.
#include <QDialog>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace qv {

class frmConnect : public QDialog {
    Q_OBJECT
public:
    // The outer heights (caption bar and borders included), in twips.
    static constexpr double ExpandedHeight = 3810;
    static constexpr double CollapsedHeight = 1740;
    static constexpr double FrameTop = 1425;

    explicit frmConnect(QWidget* parent = nullptr);

    // The height from the tick of ckAuthentication.
    void AdjustHeight();
    // The dialog's outer height in twips.
    double HeightTwips() const;

    QLineEdit* txtServer() const { return server_; }
    QCheckBox* ckAuthentication() const { return authentication_; }
    QLineEdit* txtUser() const { return user_; }
    QLineEdit* txtDomain() const { return domain_; }
    QLineEdit* txtPassword() const { return password_; }
    QCheckBox* ckAdmin() const { return admin_; }
    QGroupBox* Frame1() const { return frame_; }
    QPushButton* cmdOK() const { return ok_; }
    QPushButton* cmdCancel() const { return cancel_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void Build();
    void LoadValues();
    void OK();

    QLineEdit* server_ = nullptr;
    QCheckBox* authentication_ = nullptr;
    QLineEdit* user_ = nullptr;
    QLineEdit* domain_ = nullptr;
    QLineEdit* password_ = nullptr;
    QCheckBox* admin_ = nullptr;
    QGroupBox* frame_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
    double height_ = ExpandedHeight;
};

// Selects the whole text of `box`, so that typing replaces it.
void SelectAllText(QLineEdit* box);

}  // namespace qv
