#include "browse/datadirectoryscanner.h"

#include "browse/treenodes.h"
#include "browse/treeupdatesuspension.h"
#include "platform/files.h"

#include <QTreeWidget>

using namespace Qt::StringLiterals;

namespace quill::browse {
namespace {

// Whether the last characters of text, ASCII letters compared without case, are the ending.
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

} // namespace

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
        const QString path = childPath(parent, entry.name);
        if (entry.isFolder) {
            QTreeWidgetItem* node = addNode(parent, NodeKind::Folder, entry.name, path);
            // A link back into the tree is shown once more but not entered again.
            if (m_visited.insert({entry.identity.device, entry.identity.inode}).second)
                scan(folder + entry.name, node);
        } else if (endsWithAscii(entry.name, "NSF"_L1)) {
            const NodeKind kind = endsWithAscii(entry.name, ".NSF"_L1) ? NodeKind::Database : NodeKind::OtherFile;
            addNode(parent, kind, entry.name, path);
        }
    }
}

} // namespace quill::browse
