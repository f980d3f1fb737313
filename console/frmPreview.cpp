#include "console/frmPreview.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

#include "core/mdlMain.h"
#include "directory/DirectoryObject.h"
#include "engine/clsQuorvel.h"

namespace qv {
namespace {

QListWidget* nameList(QWidget* parent, const char* name, const std::vector<std::string>& names) {
    auto* list = new QListWidget(parent);
    list->setObjectName(name);
    for (const auto& dn : names) list->addItem(QString::fromStdString(dn));
    return list;
}

QString summaryText(const DLOutcome& outcome) {
    QString text = QString("Before: %1 members. After: %2 members.").arg(outcome.before).arg(outcome.after);
    if (!outcome.refused.empty())
        text += "\nThe update would be refused: " + QString::fromStdString(outcome.refused) + ".";
    else if (!outcome.rewrite)
        text += "\nThe membership is up to date: Update DL would write nothing.";
    return text;
}

}  // namespace

frmPreview::frmPreview(const DLOutcome& outcome, QWidget* parent) : QDialog(parent) {
    setObjectName("frmPreview");
    setWindowTitle("Preview");
    setModal(true);
    summary_ = new QLabel(summaryText(outcome), this);
    summary_->setObjectName("lblSummary");
    added_ = nameList(this, "lstAdded", outcome.delta.added);
    removed_ = nameList(this, "lstRemoved", outcome.delta.removed);
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QString("Added (%1):").arg(outcome.delta.added.size()), this), 0, 0);
    grid->addWidget(new QLabel(QString("Removed (%1):").arg(outcome.delta.removed.size()), this), 0, 1);
    grid->addWidget(added_, 1, 0);
    grid->addWidget(removed_, 1, 1);
    auto* close = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(close, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QString::fromStdString(outcome.dn), this));
    layout->addWidget(summary_);
    layout->addLayout(grid);
    layout->addWidget(close);
    resize(1000, 420);  // room for a whole distinguished name in each list
}

std::optional<DLOutcome> PreviewDL(DirectoryObject& dl) {
    clsQuorvel engine;
    engine.DryRun = true;
    std::optional<DLOutcome> outcome;
    engine.OnOutcome = [&](const DLOutcome& found) { outcome = found; };
    const auto& m = mdl();
    engine.Process(dl, m.strLoggingLevel, m.strPrefix, m.strField);
    return outcome;
}

}  // namespace qv
