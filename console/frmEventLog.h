#pragma once
// The program's own entries of the system event log, newest first: time,
// type, event ID and message, with the whole message of the chosen entry.
#include <QDialog>

class QPlainTextEdit;
class QTreeWidget;

namespace qv {

class frmEventLog : public QDialog {
    Q_OBJECT
public:
    // How many of the latest entries are read.
    static constexpr std::size_t MaxEntries = 1000;

    explicit frmEventLog(QWidget* parent = nullptr);

    // Reads the entries again.
    void Reload();
    QTreeWidget* lvEvents() const { return events_; }
    QPlainTextEdit* txtMessage() const { return message_; }

private:
    QTreeWidget* events_ = nullptr;
    QPlainTextEdit* message_ = nullptr;
};

// The name of an event type (1 error, 2 warning, 4 information, 0 success).
QString EventTypeName(int type);

}  // namespace qv
