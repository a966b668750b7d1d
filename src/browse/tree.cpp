#include "browse/tree.h"

#include "platform/files.h"

#include <QTreeWidget>
#include <QVariant>

using namespace Qt::StringLiterals;

namespace quill::browse {

bool endsWithAscii(const QString& text, QLatin1StringView ending)
{
    if (text.size() < ending.size())
        return false;
    const qsizetype offset = text.size() - ending.size();
    for (qsizetype i = 0; i < ending.size(); ++i) {
        char16_t c = text.at(offset + i).unicode();
        if (c >= u'a' && c <= u'z')
            c = static_cast<char16_t>(c - u'a' + u'A');
        char16_t e = static_cast<char16_t>(static_cast<unsigned char>(ending.at(i).toLatin1()));
        if (e >= u'a' && e <= u'z')
            e = static_cast<char16_t>(e - u'a' + u'A');
        if (c != e)
            return false;
    }
    return true;
}

int NodeLevel(const QTreeWidgetItem* node)
{
    int level = 0;
    for (const QTreeWidgetItem* p = node->parent(); p; p = p->parent())
        ++level;
    return level;
}

QString NodePath(const QTreeWidgetItem* node)
{
    QString path;
    for (const QTreeWidgetItem* current = node; current && current->parent(); current = current->parent()) {
        if (current->childCount() > 0)
            path = current->text(0) + u'\\' + path;
        else
            path = current->text(0);
    }
    return path;
}

TreeAction classifyTreeClick(workspace::TreeMode treeMode, int level, bool hasChildren, const QString& text,
                             const QString& parentText)
{
    if (hasChildren || level == 0)
        return TreeAction::Nothing;
    if (treeMode == workspace::TreeMode::Server) {
        if (endsWithAscii(text, ".NSF"_L1))
            return TreeAction::OpenDatabase;
        if (endsWithAscii(parentText, ".NSF"_L1))
            return TreeAction::ListServerView;
        return TreeAction::Nothing;
    }
    return TreeAction::ListFileView;
}

namespace {
constexpr char kDepthProperty[] = "quillUpdateSuspension";
}

TreeUpdateSuspension::TreeUpdateSuspension(QTreeWidget* tree) : m_tree(tree)
{
    if (!m_tree)
        return;
    const int depth = m_tree->property(kDepthProperty).toInt();
    if (depth == 0)
        m_tree->setUpdatesEnabled(false);
    m_tree->setProperty(kDepthProperty, depth + 1);
}

TreeUpdateSuspension::~TreeUpdateSuspension()
{
    if (!m_tree)
        return;
    const int depth = m_tree->property(kDepthProperty).toInt() - 1;
    m_tree->setProperty(kDepthProperty, depth);
    if (depth <= 0)
        m_tree->setUpdatesEnabled(true);
}

DataDirectoryScanner::DataDirectoryScanner(QIcon folderIcon, QIcon databaseIcon)
    : m_folderIcon(std::move(folderIcon)), m_databaseIcon(std::move(databaseIcon))
{
}

void DataDirectoryScanner::scan(const QString& directory, QTreeWidgetItem* parent)
{
    const TreeUpdateSuspension suspension(parent->treeWidget());
    QString folder = directory;
    if (!folder.endsWith(u'/'))
        folder += u'/';
    if (const auto self = platform::identityOf(folder))
        m_visited.insert({self->device, self->inode});
    const auto entries = platform::listFolder(folder);
    if (!entries)
        return;
    for (const platform::FolderEntry& entry : *entries) {
        if (entry.isFolder) {
            auto* node = new QTreeWidgetItem(parent, QStringList{entry.name});
            node->setIcon(0, m_folderIcon);
            // A link back into the tree is shown once more but not entered again.
            if (m_visited.insert({entry.identity.device, entry.identity.inode}).second)
                scan(folder + entry.name, node);
        } else if (endsWithAscii(entry.name, "NSF"_L1)) {
            auto* node = new QTreeWidgetItem(parent, QStringList{entry.name});
            node->setIcon(0, m_databaseIcon);
        }
    }
}

} // namespace quill::browse
