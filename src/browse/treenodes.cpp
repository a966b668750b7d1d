#include "browse/treenodes.h"

#include "shell/icons.h"

#include <QTreeWidget>

namespace quill::browse {
namespace {

constexpr int kKindRole = Qt::UserRole;
constexpr int kPathRole = Qt::UserRole + 1;
constexpr int kViewNameRole = Qt::UserRole + 2;

shell::TreeIcon iconOf(NodeKind kind)
{
    switch (kind) {
    case NodeKind::ServerRoot:
        return shell::TreeIcon::Server;
    case NodeKind::Folder:
        return shell::TreeIcon::Folder;
    case NodeKind::Database:
    case NodeKind::OtherFile:
        return shell::TreeIcon::Database;
    case NodeKind::View:
        return shell::TreeIcon::View;
    }
    return shell::TreeIcon::Database;
}

void describe(QTreeWidgetItem* node, NodeKind kind, const QString& path)
{
    node->setIcon(0, shell::treeIcon(iconOf(kind)));
    node->setData(0, kKindRole, static_cast<int>(kind));
    node->setData(0, kPathRole, path);
}

} // namespace

QTreeWidgetItem* addRootNode(QTreeWidget* tree, NodeKind kind, const QString& caption, const QString& path)
{
    auto* node = new QTreeWidgetItem(tree, QStringList{caption});
    describe(node, kind, path);
    return node;
}

QTreeWidgetItem* addNode(QTreeWidgetItem* parent, NodeKind kind, const QString& caption, const QString& path)
{
    auto* node = new QTreeWidgetItem(parent, QStringList{caption});
    describe(node, kind, path);
    return node;
}

QTreeWidgetItem* addViewNode(QTreeWidgetItem* database, const QString& viewName)
{
    QTreeWidgetItem* node = addNode(database, NodeKind::View, viewName, NodePath(database));
    node->setData(0, kViewNameRole, viewName);
    return node;
}

NodeKind nodeKind(const QTreeWidgetItem* node)
{
    return static_cast<NodeKind>(node->data(0, kKindRole).toInt());
}

QString NodePath(const QTreeWidgetItem* node)
{
    return node->data(0, kPathRole).toString();
}

QString viewNameOf(const QTreeWidgetItem* node)
{
    return node->data(0, kViewNameRole).toString();
}

QString childPath(const QTreeWidgetItem* parent, const QString& name)
{
    const QString path = NodePath(parent);
    return path.isEmpty() ? name : path + u'\\' + name;
}

TreeAction classifyTreeClick(workspace::TreeMode treeMode, NodeKind kind, bool hasChildren)
{
    if (hasChildren)
        return TreeAction::Nothing;
    switch (treeMode) {
    case workspace::TreeMode::Server:
        if (kind == NodeKind::Database)
            return TreeAction::OpenDatabase;
        if (kind == NodeKind::View)
            return TreeAction::ListServerView;
        return TreeAction::Nothing;
    case workspace::TreeMode::File:
        return kind == NodeKind::View ? TreeAction::ListFileView : TreeAction::Nothing;
    case workspace::TreeMode::Empty:
        return TreeAction::Nothing;
    }
    return TreeAction::Nothing;
}

} // namespace quill::browse
