#pragma once
// What a pass would do to one DL, before it is done: the names it would add
// and the names it would remove, side by side. Nothing is written.
#include <QDialog>

#include <optional>

#include "engine/DLOutcome.h"

class QLabel;
class QListWidget;

namespace qv {

class DirectoryObject;

class frmPreview : public QDialog {
    Q_OBJECT
public:
    frmPreview(const DLOutcome& outcome, QWidget* parent = nullptr);

    QListWidget* lstAdded() const { return added_; }
    QListWidget* lstRemoved() const { return removed_; }
    QLabel* lblSummary() const { return summary_; }

private:
    QListWidget* added_ = nullptr;
    QListWidget* removed_ = nullptr;
    QLabel* summary_ = nullptr;
};

// Runs the engine on `dl` as a preview (every step and entry as usual, no
// write); its outcome, or nothing when the DL could not be processed (the
// reason is in the event log).
std::optional<DLOutcome> PreviewDL(DirectoryObject& dl);

}  // namespace qv
