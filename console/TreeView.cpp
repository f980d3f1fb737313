#include "console/TreeView.h"

#include <QHeaderView>
#include <QKeyEvent>

#include "console/ImageList.h"
#include "platform/Error.h"

namespace qv {
namespace {

constexpr int KeyRole = Qt::UserRole + 1;
constexpr int ImageRole = Qt::UserRole + 2;

// The key error of a keyed collection.
constexpr std::int32_t KeyNotUnique = 35602;

void collect(QTreeWidgetItem* node, QList<QTreeWidgetItem*>& into) {
    into.append(node);
    for (int i = 0; i < node->childCount(); ++i) collect(node->child(i), into);
}

}  // namespace

TreeView::TreeView(QWidget* parent) : QTreeWidget(parent) {
    setColumnCount(1);
    header()->hide();
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformRowHeights(true);
    connect(this, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* node, int) { emit NodeClick(node); });
}

QTreeWidgetItem* TreeView::AddNode(QTreeWidgetItem* parent, const QString& key, const QString& text,
                                   const QString& image) {
    if (nodes_.contains(key)) throw Error(KeyNotUnique, "Key is not unique in collection");
    auto* node = new QTreeWidgetItem;
    node->setText(0, text);
    node->setData(0, KeyRole, key);
    node->setData(0, ImageRole, image);
    node->setIcon(0, imlToolbarIcons().Image(image));
    if (parent)
        parent->addChild(node);
    else
        addTopLevelItem(node);
    nodes_.insert(key, node);
    return node;
}

QTreeWidgetItem* TreeView::Node(const QString& key) const { return nodes_.value(key, nullptr); }

QString TreeView::Key(const QTreeWidgetItem* node) { return node ? node->data(0, KeyRole).toString() : QString(); }

QString TreeView::Image(const QTreeWidgetItem* node) {
    return node ? node->data(0, ImageRole).toString() : QString();
}

QString TreeView::FullPath(const QTreeWidgetItem* node) const {
    QStringList parts;
    for (const QTreeWidgetItem* n = node; n; n = n->parent())
        parts.prepend(n->parent() ? PathPartOfText(n->text(0)) : n->text(0));
    return parts.join(QLatin1Char('/'));
}

QTreeWidgetItem* TreeView::SelectedNode() const {
    const auto selected = selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

void TreeView::SelectNode(QTreeWidgetItem* node) {
    if (!node) return;
    for (QTreeWidgetItem* n = node->parent(); n; n = n->parent()) n->setExpanded(true);
    setCurrentItem(node);
    node->setSelected(true);
    scrollToItem(node);
}

QList<QTreeWidgetItem*> TreeView::Nodes() const {
    QList<QTreeWidgetItem*> all;
    for (int i = 0; i < topLevelItemCount(); ++i) collect(topLevelItem(i), all);
    return all;
}

void TreeView::Clear() {
    clear();
    nodes_.clear();
}

void TreeView::keyPressEvent(QKeyEvent* event) {
    QTreeWidgetItem* before = currentItem();
    QTreeWidget::keyPressEvent(event);
    QTreeWidgetItem* after = currentItem();
    if (after && after != before) emit NodeClick(after);
}

QString NodeTextOfName(const QString& name) {
    QString text = name;
    return text.replace(QStringLiteral("\\/"), QStringLiteral("/"));
}

QString PathPartOfText(const QString& text) {
    QString part = text;
    return part.replace(QLatin1Char('/'), QStringLiteral("\\/"));
}

}  // namespace qv
