#include "console/frmProcess.h"

#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <limits>

#include "console/DialogLayout.h"
#include "console/MessageBoxes.h"
#include "console/Selection.h"
#include "console/Twips.h"
#include "console/WaitCursor.h"
#include "core/mdlMain.h"
#include "directory/DirObjects.h"
#include "engine/ProcessingPasses.h"
#include "platform/Error.h"

namespace qv {
namespace {

int barNumber(std::int64_t value) {
    return static_cast<int>(std::clamp<std::int64_t>(value, 0, std::numeric_limits<int>::max()));
}

const char* const NoErrors = "Completed with no errors.";
const char* const SomeErrors = "Completed with at least one error.  See the application event log for more information.";

}  // namespace

frmProcess::frmProcess(QWidget* parent) : QDialog(parent) {
    setObjectName("frmProcess");
    setWindowTitle("Updating distribution lists...");
    setModal(true);
    Build();
    // The object to process, by its distinguished name.
    if (DirObjects* selection = CurrentSelection(); selection && selection->Count() >= 1)
        data_->setText(QString::fromStdString(selection->Item(1)->distinguishedName));
}

void frmProcess::Build() {
    frame_ = new QGroupBox("Processing...", this);
    frame_->setObjectName("frameMode");
    data_ = new QLabel("Target Path", frame_);
    data_->setObjectName("lblData");
    data_->setTextFormat(Qt::PlainText);
    data_->setWordWrap(true);
    bar_ = new QProgressBar(frame_);
    bar_->setObjectName("pbDL");
    bar_->setRange(0, 100);
    bar_->setValue(0);
    status_ = new QLabel("Ready.", frame_);
    status_->setObjectName("lblStatus");
    status_->setTextFormat(Qt::PlainText);
    status_->setWordWrap(true);
    update_ = new QPushButton("&Update", this);
    update_->setObjectName("cmdUpdate");
    close_ = new QPushButton("&Close", this);
    close_->setObjectName("cmdClose");

    PlaceTwips(frame_, 120, 120, 6240, 2040);
    PlaceTwips(data_, 180, 300, 5880, 495);
    PlaceTwips(bar_, 180, 900, 5880, 255);
    PlaceTwips(status_, 180, 1260, 5880, 615);
    PlaceTwips(update_, 3960, 2280, 1140, 375);
    PlaceTwips(close_, 5220, 2280, 1140, 375);
    setFixedSize(TwipsToPixelsX(6480, this), TwipsToPixelsY(2775, this));

    connect(update_, &QPushButton::clicked, this, [this] { UpdateAction(); });
}

void frmProcess::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (activated_) return;
    activated_ = true;
    // Runs once the window is up, then closes it.
    QTimer::singleShot(0, this, [this] { Activate(); });
}

void frmProcess::Activate() {
    repaint();
    UpdateAction();
    accept();
}

bool frmProcess::UpdateAction() {
    if (running_) return false;
    running_ = true;
    bool result = false;
    {
        WaitCursor wait;
        bar_->setValue(0);
        result = RunPass();
    }
    bar_->setValue(bar_->maximum());
    if (result) {
        SetStatusText(QStringLiteral("Processing Complete: ") + NoErrors);
        MsgBox(this, NoErrors, MsgButtons::OK, MsgIcon::Information, "Processing Complete");
    } else {
        SetStatusText(QStringLiteral("Processing Complete: ") + SomeErrors);
        MsgBox(this, SomeErrors, MsgButtons::OK, MsgIcon::Exclamation, "Processing Complete");
    }
    running_ = false;
    return result;
}

bool frmProcess::RunPass() {
    try {
        DirObjects* selection = CurrentSelection();
        if (!selection || selection->Count() < 1) return false;
        if (selection->Item(1)->objectClass == "groupOfNames") {
            SetStatusText("Processing DL...");
            repaint();
            return ProcessOneDL(this);
        }
        SetStatusText("Enumerating Quorvel DL's...");
        repaint();
        return ProcessContainer(this);
    } catch (const Error& error) {
        ShowUnexpectedError(this, error, AppTitleText());
        return false;
    }
}

void frmProcess::SetStatusText(const QString& text) {
    status_->setText(text);
    history_.append(text);
}

std::int64_t frmProcess::maximum() const { return bar_->maximum(); }
void frmProcess::setMaximum(std::int64_t value) { bar_->setMaximum(barNumber(value)); }
std::int64_t frmProcess::value() const { return bar_->value(); }
void frmProcess::setValue(std::int64_t value) { bar_->setValue(barNumber(value)); }
void frmProcess::setStatus(const std::string& text) { SetStatusText(QString::fromStdString(text)); }
void frmProcess::repaint() { QWidget::repaint(); }

}  // namespace qv
