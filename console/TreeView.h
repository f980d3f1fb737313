#pragma once
// A tree of keyed nodes: each node has a unique key, a text and an image key
// (the node's kind). The full path of a node is the texts from the root down
// joined with "/"; below the root, a "/" inside a text is written "\/" so
// that the path stays a valid address.
#include <QHash>
#include <QString>
#include <QTreeWidget>

namespace qv {

class TreeView : public QTreeWidget {
    Q_OBJECT
public:
    explicit TreeView(QWidget* parent = nullptr);

    // Adds a node as a root (parent nullptr) or as the last child of `parent`.
    // Raises qv::Error 35602 when the key is already in the tree.
    QTreeWidgetItem* AddNode(QTreeWidgetItem* parent, const QString& key, const QString& text, const QString& image);
    // The node with `key`, or nullptr.
    QTreeWidgetItem* Node(const QString& key) const;
    bool HasKey(const QString& key) const { return nodes_.contains(key); }

    static QString Key(const QTreeWidgetItem* node);
    static QString Image(const QTreeWidgetItem* node);
    QString FullPath(const QTreeWidgetItem* node) const;

    // The selected node, or nullptr.
    QTreeWidgetItem* SelectedNode() const;
    // Selects `node` and makes it visible, without a node click.
    void SelectNode(QTreeWidgetItem* node);
    // Every node in order: each node before its children, children in order.
    QList<QTreeWidgetItem*> Nodes() const;
    void Clear();

signals:
    // The user chose a node, with the mouse or the keyboard.
    void NodeClick(QTreeWidgetItem* node);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QHash<QString, QTreeWidgetItem*> nodes_;
};

// A relative name as a node shows it: "\/" read as "/".
QString NodeTextOfName(const QString& name);
// A node text as a part of a path: "/" written "\/".
QString PathPartOfText(const QString& text);

}  // namespace qv
