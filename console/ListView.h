#pragma once
// A list in report style: keyed items with a text in the first column and a
// small icon, read in the order they were added.
#include <QString>
#include <QTreeWidget>
#include <vector>

namespace qv {

class ListView : public QTreeWidget {
    Q_OBJECT
public:
    struct Row {
        QString key;
        QString text;
        QString smallIcon;  // image key
    };

    explicit ListView(QWidget* parent = nullptr);

    QTreeWidgetItem* AddItem(const QString& key, const QString& text, const QString& smallIcon);
    // Adds many items at once (one update of the view).
    void AddItems(const std::vector<Row>& rows);
    static QString Key(const QTreeWidgetItem* item);
    QTreeWidgetItem* SelectedItem() const;
    int Count() const { return topLevelItemCount(); }
    void Clear() { clear(); }
    // The width of a column, in pixels.
    void SetColumnWidth(int column, int pixels) { setColumnWidth(column, pixels); }

signals:
    void ItemClick(QTreeWidgetItem* item);
    void DoubleClick();
    // A mouse button went down on the list (`position` in the list's coordinates).
    void MouseDown(Qt::MouseButton button, const QPoint& position);
    // The keyboard asked for the context menu.
    void ContextMenuKey(const QPoint& position);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
};

}  // namespace qv
