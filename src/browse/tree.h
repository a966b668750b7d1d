#pragma once

#include "workspace/workspace.h"

#include <QIcon>
#include <QString>
#include <set>

class QTreeWidget;
class QTreeWidgetItem;

namespace quill::browse {

// Whether the last characters of text, ASCII letters compared without case, are the ending.
bool endsWithAscii(const QString& text, QLatin1StringView ending);

// 0 for a root.
int NodeLevel(const QTreeWidgetItem* node);

// The path of a node below the root: the texts from level 1 down joined by "\"; a node with
// children gets a trailing "\" (mail\abc.nsf\ once its views are listed). A root gives "".
QString NodePath(const QTreeWidgetItem* node);

enum class TreeAction
{
    Nothing,
    OpenDatabase,
    ListServerView,
    ListFileView
};

// What a click on a node means, from the tree's mode, the node's level, whether it has children,
// and its own and its parent's text.
TreeAction classifyTreeClick(workspace::TreeMode treeMode, int level, bool hasChildren, const QString& text,
                             const QString& parentText);

// Suspends a tree's redrawing; nested suspensions resume it when the outermost one ends.
class TreeUpdateSuspension
{
public:
    explicit TreeUpdateSuspension(QTreeWidget* tree);
    ~TreeUpdateSuspension();
    TreeUpdateSuspension(const TreeUpdateSuspension&) = delete;
    TreeUpdateSuspension& operator=(const TreeUpdateSuspension&) = delete;

private:
    QTreeWidget* m_tree;
};

// Hangs the folders (icon folderIcon, scanned in turn) and the files ending in "NSF" (icon
// databaseIcon) found in directory below parent, in the file system's order. A folder that cannot
// be read adds nothing; a folder reached a second time through a link is shown but not entered.
class DataDirectoryScanner
{
public:
    DataDirectoryScanner(QIcon folderIcon, QIcon databaseIcon);
    void scan(const QString& directory, QTreeWidgetItem* parent);

private:
    QIcon m_folderIcon;
    QIcon m_databaseIcon;
    std::set<std::pair<quint64, quint64>> m_visited;
};

} // namespace quill::browse
