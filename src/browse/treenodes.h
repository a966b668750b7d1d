#pragma once

#include "workspace/workspace.h"

#include <QString>

class QTreeWidget;
class QTreeWidgetItem;

namespace quill::browse {

// What a node of the database tree stands for. It is kept in the node's item data with the path the
// node leads to, so that no decision and no path is read from a caption.
enum class NodeKind
{
    ServerRoot, // the server and its data directory
    Folder,     // a folder below the data directory
    Database,   // a database of the server tree, or the file tree's root
    OtherFile,  // a file listed for its name ending in "nsf" without the dot: shown, but not a database
    View,
};

// Makes a node with its caption and icon, and its kind and path in its item data.
QTreeWidgetItem* addRootNode(QTreeWidget* tree, NodeKind kind, const QString& caption, const QString& path);
QTreeWidgetItem* addNode(QTreeWidgetItem* parent, NodeKind kind, const QString& caption, const QString& path);
// A view below a database node: its caption is its name, the path that of the database.
QTreeWidgetItem* addViewNode(QTreeWidgetItem* database, const QString& viewName);

NodeKind nodeKind(const QTreeWidgetItem* node);
// The path a node leads to. Below the data directory the names from the root down, joined by "\"
// ("mail\abc.nsf"); the file tree's root and its views: the database file; the server root: "".
// A view gives the path of its database.
QString NodePath(const QTreeWidgetItem* node);
// The path of a node named name below parent.
QString childPath(const QTreeWidgetItem* parent, const QString& name);
// The name of the view a view node stands for.
QString viewNameOf(const QTreeWidgetItem* node);

enum class TreeAction
{
    Nothing,
    OpenDatabase,
    ListServerView,
    ListFileView
};

// What a click on a node means, from the tree's mode, the node's kind and whether it has children (a
// database whose views are listed, a folder with content, a root are not acted on).
TreeAction classifyTreeClick(workspace::TreeMode treeMode, NodeKind kind, bool hasChildren);

} // namespace quill::browse
