#pragma once
// The processing window: shown modally, it runs the pass on item 1 of the
// module's selection as soon as it is up (one DL, or every Quorvel DL of a
// container), shows the progress, reports the outcome and closes.
#include <QDialog>
#include <QStringList>

#include "engine/ProgressWindow.h"

class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace qv {

class frmProcess : public QDialog, public ProgressWindow {
    Q_OBJECT
public:
    explicit frmProcess(QWidget* parent = nullptr);

    // The pass with this window as its progress window, then the outcome
    // message. True when every DL succeeded.
    bool UpdateAction();

    // ProgressWindow
    std::int64_t maximum() const override;
    void setMaximum(std::int64_t value) override;
    std::int64_t value() const override;
    void setValue(std::int64_t value) override;
    void setStatus(const std::string& text) override;
    void repaint() override;

    QProgressBar* pbDL() const { return bar_; }
    QLabel* lblStatus() const { return status_; }
    QLabel* lblData() const { return data_; }
    // Every status line shown, in order.
    const QStringList& StatusHistory() const { return history_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Build();
    void Activate();
    bool RunPass();
    void SetStatusText(const QString& text);

    QGroupBox* frame_ = nullptr;
    QLabel* data_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* update_ = nullptr;
    QPushButton* close_ = nullptr;
    QStringList history_;
    bool activated_ = false;
    bool running_ = false;
};

}  // namespace qv
