#pragma once
// The container picker: the tree of the server last connected to. OK hands
// the selected node's full path back through the parameter record; Cancel
// leaves the record as the caller set it, so the caller keeps its container.
#include <QDialog>

class QPushButton;

namespace qv {

class TreeView;

class frmContainer : public QDialog {
    Q_OBJECT
public:
    // Connects the store again and fills the tree (may take a while).
    explicit frmContainer(QWidget* parent = nullptr);

    TreeView* treeContainer() const { return tree_; }
    QPushButton* cmdOK() const { return ok_; }
    QPushButton* cmdCancel() const { return cancel_; }

private:
    void Build();
    void OK();
    void UpdateOkState();

    TreeView* tree_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

// Asks the picker for a container: hands `current` over on behalf of
// `fromForm` (sending control cmdContainer), shows the picker modally owned
// by `owner` and returns the container the record holds afterwards (`current`
// again after Cancel).
QString PickContainer(QWidget* owner, const QString& fromForm, const QString& current);

}  // namespace qv
