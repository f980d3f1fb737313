#include "console/frmEventLog.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QPushButton>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "console/ImageList.h"
#include "console/Twips.h"
#include "console/WaitCursor.h"
#include "core/mdlMain.h"
#include "platform/EventLog.h"

namespace qv {
namespace {

constexpr int MessageRole = Qt::UserRole + 1;

QString timeText(std::chrono::system_clock::time_point time) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
    return QDateTime::fromMSecsSinceEpoch(ms).toString("yyyy-MM-dd HH:mm:ss");
}

// The first line of a message, for the list.
QString firstLine(const QString& message) {
    const auto end = message.indexOf(QRegularExpression("[\r\n]"));
    return end < 0 ? message : message.left(end) + QStringLiteral(" \u2026");
}

}  // namespace

QString EventTypeName(int type) {
    switch (type) {
        case 0: return "Success";
        case 1: return "Error";
        case 2: return "Warning";
        case 4: return "Information";
        default: return QString::number(type);
    }
}

frmEventLog::frmEventLog(QWidget* parent) : QDialog(parent, Qt::Window) {
    setObjectName("frmEventLog");
    setWindowTitle("Quorvel event log");
    setWindowIcon(imlToolbarIcons().Image("eventvwr"));

    events_ = new QTreeWidget(this);
    events_->setObjectName("lvEvents");
    events_->setHeaderLabels({"Time", "Type", "Event ID", "Message"});
    events_->setRootIsDecorated(false);
    events_->setUniformRowHeights(true);
    events_->setAllColumnsShowFocus(true);
    message_ = new QPlainTextEdit(this);
    message_->setObjectName("txtMessage");
    message_->setReadOnly(true);

    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(events_);
    split->addWidget(message_);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton* reload = buttons->addButton("&Refresh", QDialogButtonBox::ActionRole);
    reload->setObjectName("cmdRefresh");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(split);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    connect(reload, &QPushButton::clicked, this, [this] { Reload(); });
    connect(events_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        message_->setPlainText(item ? item->data(3, MessageRole).toString() : QString());
    });

    resize(TwipsToPixelsX(10000, this), TwipsToPixelsY(6000, this));
    Reload();
}

void frmEventLog::Reload() {
    WaitCursor wait;
    events_->clear();
    message_->clear();
    QList<QTreeWidgetItem*> rows;
    for (const platform::EventEntry& entry : platform::readEvents(AppTitle, MaxEntries)) {
        const QString message = QString::fromStdString(entry.message);
        auto* row = new QTreeWidgetItem;
        row->setText(0, timeText(entry.time));
        row->setText(1, EventTypeName(entry.type));
        row->setText(2, QString::number(entry.eventId));
        row->setText(3, firstLine(message));
        row->setData(3, MessageRole, message);
        row->setToolTip(3, message);
        rows.append(row);
    }
    events_->addTopLevelItems(rows);
    for (int column = 0; column < 3; ++column) events_->resizeColumnToContents(column);
    if (!rows.isEmpty()) events_->setCurrentItem(rows.first());
}

}  // namespace qv
