#include "console/MessageBoxes.h"

#include <QApplication>
#include <QMessageBox>

#include "core/mdlMain.h"
#include "platform/Error.h"

namespace qv {
namespace {

MessageBoxHandler& handler() {
    static MessageBoxHandler current;
    return current;
}

QMessageBox::Icon qtIcon(MsgIcon icon) {
    switch (icon) {
        case MsgIcon::Critical: return QMessageBox::Critical;
        case MsgIcon::Question: return QMessageBox::Question;
        case MsgIcon::Exclamation: return QMessageBox::Warning;
        case MsgIcon::Information: return QMessageBox::Information;
        case MsgIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

// Shows the normal pointer over the box while an hourglass is up.
class NormalPointer {
public:
    NormalPointer() : active_(QApplication::overrideCursor() != nullptr) {
        if (active_) QApplication::setOverrideCursor(Qt::ArrowCursor);
    }
    ~NormalPointer() {
        if (active_) QApplication::restoreOverrideCursor();
    }
    NormalPointer(const NormalPointer&) = delete;
    NormalPointer& operator=(const NormalPointer&) = delete;

private:
    bool active_;
};

MsgAnswer showRealBox(QWidget* parent, const MessageBoxRequest& request) {
    QMessageBox box(qtIcon(request.icon), request.title, request.text, QMessageBox::NoButton, parent);
    box.setObjectName(QStringLiteral("MsgBox"));
    if (!request.detail.isEmpty()) box.setInformativeText(request.detail);
    const bool yesNo = request.buttons != MsgButtons::OK;
    if (yesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(request.buttons == MsgButtons::YesNo ? QMessageBox::Yes : QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    NormalPointer pointer;
    int answer = box.exec();
    if (yesNo) return answer == QMessageBox::Yes ? MsgAnswer::Yes : MsgAnswer::No;
    return MsgAnswer::OK;
}

}  // namespace

MsgAnswer MsgBox(QWidget* parent, const QString& text, MsgButtons buttons, MsgIcon icon, const QString& title) {
    return MsgBox(parent, text, buttons, icon, title, QString());
}

MsgAnswer MsgBox(QWidget* parent, const QString& text, MsgButtons buttons, MsgIcon icon, const QString& title,
                 const QString& detail) {
    MessageBoxRequest request{text, title, buttons, icon, detail};
    if (handler()) return handler()(parent, request);
    return showRealBox(parent, request);
}

void SetMessageBoxHandler(MessageBoxHandler replacement) { handler() = std::move(replacement); }

QString ErrorMessageText(std::int32_t number, const QString& description) {
    const auto pattern = static_cast<std::uint32_t>(number);
    return QStringLiteral("Error %1 [%2]: %3")
        .arg(QString::number(number), QString::number(pattern, 16).toUpper(), description);
}

void ShowUnexpectedError(QWidget* parent, const Error& error, const QString& title) {
    MsgBox(parent, ErrorMessageText(error.number(), QString::fromStdString(error.description())), MsgButtons::OK,
           MsgIcon::Critical, title);
}

QString AppTitleText() { return QString::fromUtf8(AppTitle); }

}  // namespace qv
