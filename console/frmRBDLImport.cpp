#include "console/frmRBDLImport.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "console/DialogLayout.h"
#include "console/MessageBoxes.h"
#include "console/Twips.h"
#include "console/WaitCursor.h"
#include "console/frmContainer.h"
#include "console/frmQueryDesigner.h"
#include "engine/RbdlConversion.h"

namespace qv {
namespace {

QString qs(const std::string& text) { return QString::fromStdString(text); }

QLineEdit* textBox(QWidget* parent, const char* name, const QString& text) {
    auto* box = new QLineEdit(text, parent);
    box->setObjectName(name);
    return box;
}

QLabel* label(QWidget* parent, const char* name, const QString& caption, QWidget* buddy) {
    auto* text = new QLabel(caption, parent);
    text->setObjectName(name);
    text->setBuddy(buddy);
    return text;
}

QString nameOf(const RbdlConversionOutcome& dl) { return qs(dl.cn.empty() ? dl.adsPath : dl.cn); }

}  // namespace

QString RbdlOutcomeText(const RbdlConversionResult& result, bool move) {
    if (result.searchFailed) return "The search for RBDL distribution lists failed: " + qs(result.searchError);
    if (result.dls.empty()) return "No RBDL distribution list was found.";
    qsizetype copied = 0;
    QStringList notCopied, notCleared;
    for (const RbdlConversionOutcome& dl : result.dls) {
        if (dl.copied) ++copied;
        if (!dl.copied)
            notCopied << "  " + nameOf(dl) + ": " + qs(dl.error);
        else if (move && !dl.cleared)
            notCleared << "  " + nameOf(dl) + ": " + qs(dl.error);
    }
    QString text = QStringLiteral("Converted %1 of %2 distribution lists.").arg(copied).arg(result.dls.size());
    if (!notCopied.isEmpty()) text += "\nNot converted:\n" + notCopied.join('\n');
    if (!notCleared.isEmpty()) text += "\nConverted, but the RBDL definition is still in place:\n" + notCleared.join('\n');
    return text;
}

frmRBDLImport::frmRBDLImport(QWidget* parent) : QDialog(parent) {
    setObjectName("frmRBDLImport");
    setWindowTitle("Import RBDL distibution lists");
    setModal(true);
    Build();
    container_->setText(MainWindowContainer());
}

void frmRBDLImport::Build() {
    containerButton_ = new QPushButton("&Container:", this);
    containerButton_->setObjectName("cmdContainer");
    containerButton_->setAutoDefault(false);
    container_ = textBox(this, "txtContainer", QString());
    rbdlField_ = textBox(this, "txtRBDLField", "Admin-Description");
    rbdlPrefix_ = textBox(this, "txtRBDLPrefix", "RBDL=");
    qvlField_ = textBox(this, "txtQVLField", "extension-attribute-15");
    qvlPrefix_ = textBox(this, "txtQVLPrefix", "QVL=");
    move_ = new QCheckBox("Move Query", this);
    move_->setObjectName("ckMove");
    move_->setChecked(true);
    go_ = new QPushButton("&Go", this);
    go_->setObjectName("cmdGo");
    // No default button: Enter in a text box must not start a write over a whole subtree.
    go_->setAutoDefault(false);
    cancel_ = new QPushButton("Cancel", this);
    cancel_->setObjectName("cmdCancel");
    cancel_->setAutoDefault(false);

    PlaceTwips(containerButton_, 120, 120, 1335, 315);
    PlaceTwips(container_, 1575, 120, 5700, 315);
    const std::pair<QLineEdit*, const char*> rows[] = {
        {rbdlField_, "RBDL field:"}, {rbdlPrefix_, "RBDL prefix:"}, {qvlField_, "New field:"}, {qvlPrefix_, "New prefix:"}};
    const char* names[] = {"lblRBDLField", "lblRBDLPrefix", "lblQVLField", "lblQVLPrefix"};
    double top = 555;
    for (int i = 0; i < 4; ++i, top += 435) {
        PlaceTwips(label(this, names[i], rows[i].second, rows[i].first), 120, top + 30, 1335, 255);
        PlaceTwips(rows[i].first, 1575, top, 3300, 315);
    }
    PlaceTwips(move_, 1575, top, 2400, 285);
    PlaceTwips(go_, 5895, 1425, 1380, 375);
    PlaceTwips(cancel_, 5895, 1875, 1380, 375);
    setFixedSize(TwipsToPixelsX(7395, this), TwipsToPixelsY(top + 285 + 180, this));

    connect(container_, &QLineEdit::textChanged, container_, &QLineEdit::setToolTip);
    connect(containerButton_, &QPushButton::clicked, this, [this] { ChooseContainer(); });
    connect(go_, &QPushButton::clicked, this, [this] { Go(); });
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

void frmRBDLImport::ChooseContainer() {
    container_->setText(PickContainer(this, "frmRBDLImport", container_->text()));
}

void frmRBDLImport::Go() {
    RbdlConversionRequest request;
    request.container = container_->text().toStdString();
    request.rbdlField = rbdlField_->text().toStdString();
    request.rbdlPrefix = rbdlPrefix_->text().toStdString();
    request.newField = qvlField_->text().toStdString();
    request.newPrefix = qvlPrefix_->text().toStdString();
    request.move = move_->isChecked();
    if (ClearsNewDefinition(request)) {
        // Refused before anything is written; the dialog stays open to correct it.
        MsgBox(this, SameFieldRefusal, MsgButtons::OK, MsgIcon::Exclamation, windowTitle());
        return;
    }
    RbdlConversionResult result;
    {
        WaitCursor wait;
        result = ConvertRbdl(request);
    }
    MsgBox(this, "Done.", MsgButtons::OK, MsgIcon::None, AppTitleText(), RbdlOutcomeText(result, request.move));
    accept();
}

}  // namespace qv
