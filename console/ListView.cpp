#include "console/ListView.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMouseEvent>

#include "console/ImageList.h"

namespace qv {
namespace {
constexpr int KeyRole = Qt::UserRole + 1;
}

ListView::ListView(QWidget* parent) : QTreeWidget(parent) {
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setAllColumnsShowFocus(true);
    setSortingEnabled(false);
    header()->setStretchLastSection(false);  // the window sets the column's width
    // A click that took the choice back (Ctrl+click on the chosen row) chooses nothing.
    connect(this, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item, int) {
        if (item && item->isSelected()) emit ItemClick(item);
    });
}

QTreeWidgetItem* ListView::AddItem(const QString& key, const QString& text, const QString& smallIcon) {
    auto* item = new QTreeWidgetItem;
    item->setText(0, text);
    item->setData(0, KeyRole, key);
    item->setIcon(0, imlToolbarIcons().Image(smallIcon));
    addTopLevelItem(item);
    return item;
}

void ListView::AddItems(const std::vector<Row>& rows) {
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(rows.size()));
    for (const Row& row : rows) {
        auto* item = new QTreeWidgetItem;
        item->setText(0, row.text);
        item->setData(0, KeyRole, row.key);
        item->setIcon(0, imlToolbarIcons().Image(row.smallIcon));
        items.append(item);
    }
    addTopLevelItems(items);
}

QString ListView::Key(const QTreeWidgetItem* item) { return item ? item->data(0, KeyRole).toString() : QString(); }

QTreeWidgetItem* ListView::SelectedItem() const {
    const auto selected = selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

void ListView::mousePressEvent(QMouseEvent* event) {
    QTreeWidget::mousePressEvent(event);
    emit MouseDown(event->button(), mapFromGlobal(event->globalPosition().toPoint()));
}

void ListView::mouseDoubleClickEvent(QMouseEvent* event) {
    QTreeWidget::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton && itemAt(event->position().toPoint())) emit DoubleClick();
}

void ListView::keyPressEvent(QKeyEvent* event) {
    QTreeWidgetItem* before = currentItem();
    QTreeWidget::keyPressEvent(event);
    QTreeWidgetItem* after = currentItem();
    if (after && after != before && after->isSelected()) emit ItemClick(after);
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && SelectedItem()) emit DoubleClick();
}

void ListView::contextMenuEvent(QContextMenuEvent* event) {
    // The mouse's right button is handled on press; only the keyboard's menu key comes here.
    if (event->reason() != QContextMenuEvent::Keyboard) return;
    QPoint position(0, 0);
    if (QTreeWidgetItem* item = SelectedItem()) position = visualItemRect(item).center();
    emit ContextMenuKey(viewport()->mapTo(this, position));
}

}  // namespace qv
