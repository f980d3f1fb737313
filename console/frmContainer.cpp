#include "console/frmContainer.h"

#include <QPushButton>
#include <memory>

#include "console/ContainerTree.h"
#include "console/DialogLayout.h"
#include "console/Twips.h"
#include "console/TreeView.h"
#include "console/WaitCursor.h"
#include "console/clsDialogParameter.h"
#include "core/mdlMain.h"

namespace qv {

frmContainer::frmContainer(QWidget* parent) : QDialog(parent) {
    setObjectName("frmContainer");
    setWindowTitle("Select container");
    setModal(true);
    Build();
    ConnectToServer(mdl().strServer, tree_, nullptr);
    UpdateOkState();
}

void frmContainer::Build() {
    tree_ = new TreeView(this);
    tree_->setObjectName("treeContainer");
    tree_->setToolTip("This sets the starting position for the query");
    ok_ = new QPushButton("OK", this);
    ok_->setObjectName("cmdOK");
    ok_->setDefault(true);
    cancel_ = new QPushButton("&Cancel", this);
    cancel_->setObjectName("cmdCancel");

    PlaceTwips(tree_, 120, 120, 4455, 3870);
    PlaceTwips(ok_, 2160, 4110, 1140, 375);
    PlaceTwips(cancel_, 3435, 4110, 1140, 375);
    setFixedSize(TwipsToPixelsX(4695, this), TwipsToPixelsY(4605, this));

    // A double-click on a node chooses it, as OK does.
    connect(tree_, &QTreeWidget::itemDoubleClicked, this, [this] { OK(); });
    connect(tree_, &QTreeWidget::itemSelectionChanged, this, [this] { UpdateOkState(); });
    connect(ok_, &QPushButton::clicked, this, [this] { OK(); });
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

void frmContainer::UpdateOkState() { ok_->setEnabled(tree_->SelectedNode() != nullptr); }

void frmContainer::OK() {
    QTreeWidgetItem* selected = tree_->SelectedNode();
    // Without a node (the connect failed) there is nothing to hand back.
    if (!selected) return;
    objDialogParameter().SetParam("frmContainer", "frmContainer", "cmdOK", tree_->FullPath(selected));
    accept();
}

QString PickContainer(QWidget* owner, const QString& fromForm, const QString& current) {
    objDialogParameter().SetParam("frmContainer", fromForm, "cmdContainer", current);
    std::unique_ptr<frmContainer> picker;
    {
        WaitCursor wait;  // loading connects and reads every container
        picker = std::make_unique<frmContainer>(owner);
    }
    picker->exec();
    return objDialogParameter().VarDataText();
}

}  // namespace qv
