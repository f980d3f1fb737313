#pragma once
// The console's images by key: the toolbar's buttons and the kinds of tree
// nodes and list items. Every image is drawn here, sharp at any scale.
#include <QHash>
#include <QIcon>
#include <QString>
#include <QStringList>

namespace qv {

class ImageList {
public:
    ImageList();
    // The image with `key` (an empty icon when there is none).
    QIcon Image(const QString& key) const { return images_.value(key); }
    bool Has(const QString& key) const { return images_.contains(key); }
    QStringList Keys() const { return keys_; }

private:
    void Add(const QString& key, const QIcon& icon);
    QHash<QString, QIcon> images_;
    QStringList keys_;
};

// The console's image list, created on first use.
const ImageList& imlToolbarIcons();

}  // namespace qv
