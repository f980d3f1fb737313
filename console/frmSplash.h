#pragma once
// The start-up screen with its progress bar, also the About box. A click
// anywhere on it closes it.
#include <QDialog>

class QLabel;
class QProgressBar;

namespace qv {

class frmSplash : public QDialog {
    Q_OBJECT
public:
    explicit frmSplash(QWidget* parent = nullptr);

    // Shows it modally with the bar at its maximum.
    void ShowAsAbout();

    QProgressBar* pbInitialize() const { return bar_; }

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    QProgressBar* bar_ = nullptr;
};

}  // namespace qv
