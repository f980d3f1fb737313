#include "console/ContainerTree.h"

#include <QHash>
#include <QProgressBar>
#include <QRandomGenerator>

#include "console/ListView.h"
#include "console/MessageBoxes.h"
#include "console/ScreenText.h"
#include "console/TreeView.h"
#include "core/mdlMain.h"
#include "directory/clsExchangeStore.h"
#include "platform/AdsPath.h"
#include "platform/DirectorySearch.h"
#include "platform/DirectoryService.h"
#include "platform/DistinguishedName.h"
#include "platform/Error.h"

namespace qv {
namespace {

QString text(const std::string& value) { return QString::fromStdString(value); }

// A fresh random number in [0, 1) as text; with the name it makes a key.
QString randomText() { return QString::number(QRandomGenerator::global()->generateDouble(), 'g', 15); }

// The key of a new container node: its relative name and a random number,
// drawn again in the unlikely case that the key is taken.
QString containerKey(const TreeView* tree, const QString& name) {
    QString key;
    do key = name + randomText();
    while (tree->HasKey(key));
    return key;
}

}  // namespace

bool ConnectToServer(const std::string& server, TreeView* tree, QProgressBar* progress) {
    ModuleState& m = mdl();
    clsExchangeStore& store = *m.objExchangeStore;
    if (!store.Connect(m.objConnection.get(), server)) {
        const clsErrorMessage& error = store.lastError();
        MsgBox(tree ? tree->window() : nullptr, ErrorMessageText(error.Number, text(error.Description)),
               MsgButtons::OK, MsgIcon::Critical, QStringLiteral("Error connecting to ") + text(server));
        return false;
    }
    QTreeWidgetItem* root = tree->AddNode(nullptr, text(store.Path()), text(store.Path()), "server");
    QTreeWidgetItem* org = tree->AddNode(root, text(store.Organization()), text(store.Organization()), "org");
    // Without the messaging layout there is no site: the tree starts at the organisation.
    QTreeWidgetItem* top = store.Site().empty() ? org : tree->AddNode(org, text(store.Site()), text(store.Site()), "site");
    tree->SelectNode(top);
    if (progress) SetProgress(progress, 40);
    try {
        LoadContainerTree(top, tree);
    } catch (const Error& error) {
        // Connected all the same: the tree keeps the containers read so far.
        MsgBox(tree->window(), ErrorMessageText(error.number(), text(error.description())), MsgButtons::OK,
               MsgIcon::Critical, QStringLiteral("Error connecting to ") + text(server));
    }
    return true;
}

namespace {

QString lowerText(const std::string& dn) { return QString::fromStdString(dn).toLower(); }

// The class of the containers the tree shows: the messaging schema's
// "Container", else (a directory with the standard schemas) organizationalUnit.
std::string containerClass(const platform::BoundObject& object) {
    return object.knowsClass("Container") ? "Container" : "organizationalUnit";
}

}  // namespace

void LoadContainerTreeByLevels(QTreeWidgetItem* parent, TreeView* tree) {
    auto container = mdl().objExchangeStore->GetADSIObject(tree->FullPath(parent).toStdString());
    auto children = container->children(containerClass(*container), {});
    while (auto child = children.next()) {
        const QString name = text(child->name());
        if (name == QLatin1String(ConfigurationName)) continue;
        QTreeWidgetItem* node = tree->AddNode(parent, containerKey(tree, name), NodeTextOfName(name), "container");
        LoadContainerTreeByLevels(node, tree);
    }
}

namespace {

// Child DNs by the lower-case DN of their parent, in the order the server returned them.
using ChildrenByParent = QHash<QString, std::vector<std::string>>;

void addChildren(QTreeWidgetItem* parent, const QString& parentDn, const ChildrenByParent& children,
                 TreeView* tree) {
    const auto found = children.constFind(parentDn);
    if (found == children.constEnd()) return;
    for (const std::string& dn : *found) {
        const QString name = text(platform::escapeSlashes(platform::firstRdn(dn)));
        if (name == QLatin1String(ConfigurationName)) continue;
        QTreeWidgetItem* node = tree->AddNode(parent, containerKey(tree, name), NodeTextOfName(name), "container");
        addChildren(node, lowerText(dn), children, tree);
    }
}

}  // namespace

void LoadContainerTree(QTreeWidgetItem* parent, TreeView* tree) {
    const std::string path = tree->FullPath(parent).toStdString();
    // A ";" in the path cannot stand in a search command's base.
    if (path.find(';') != std::string::npos) return LoadContainerTreeByLevels(parent, tree);
    clsExchangeStore& store = *mdl().objExchangeStore;
    const auto object = store.GetADSIObject(path);
    const QString base = lowerText(object->distinguishedName());
    // The whole subtree in one paged search, then laid out depth first as
    // a walk one level at a time would find it.
    ChildrenByParent children;
    auto cursor = store.GetADSIConnectionObject().execute("<" + path + ">;(objectClass=" + containerClass(*object) +
                                                          ");distinguishedName;subtree");
    for (; !cursor.eof(); cursor.moveNext()) {
        const std::string dn = cursor.field(0).text();
        if (lowerText(dn) == base) continue;
        children[lowerText(platform::parentDn(dn))].push_back(dn);
    }
    addChildren(parent, base, children, tree);
}

void LoadDLList(ListView* list, TreeView* tree, QTreeWidgetItem* node) {
    list->Clear();
    if (TreeView::Image(node) != QLatin1String("container")) return;
    auto container = mdl().objExchangeStore->GetADSIObject(tree->FullPath(node).toStdString());
    auto children = container->children("groupofNames", {"cn"});
    std::vector<ListView::Row> rows;
    try {
        while (auto child = children.next()) rows.push_back({text(child->name()), text(child->get("cn")), "dl"});
    } catch (...) {
        list->AddItems(rows);  // the list keeps what was read before the failure
        throw;
    }
    list->AddItems(rows);
}

}  // namespace qv
