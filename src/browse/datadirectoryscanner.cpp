#include "browse/datadirectoryscanner.h"

#include "browse/treenodes.h"
#include "browse/treeupdatesuspension.h"
#include "platform/files.h"
#include "platform/text.h"

#include <QTreeWidget>
#include <vector>

using namespace Qt::StringLiterals;

namespace quill::browse {
namespace {

// Hangs what the walk meets below the node of the folder it is in.
class NodeBuilder : public platform::FolderTreeVisitor
{
public:
    explicit NodeBuilder(QTreeWidgetItem* root) : m_parents{root} {}

    void folderFound(const QString& name, bool entered) override
    {
        QTreeWidgetItem* parent = m_parents.back();
        QTreeWidgetItem* node = addNode(parent, NodeKind::Folder, name, childPath(parent, name));
        if (entered)
            m_parents.push_back(node);
    }
    void leaveFolder() override { m_parents.pop_back(); }
    void fileFound(const QString& name) override
    {
        if (!platform::endsWithAsciiNoCase(name, "NSF"_L1))
            return;
        QTreeWidgetItem* parent = m_parents.back();
        const NodeKind kind = platform::endsWithAsciiNoCase(name, ".NSF"_L1) ? NodeKind::Database : NodeKind::OtherFile;
        addNode(parent, kind, name, childPath(parent, name));
    }

private:
    std::vector<QTreeWidgetItem*> m_parents;
};

} // namespace

void DataDirectoryScanner::scan(const QString& directory, QTreeWidgetItem* parent)
{
    const TreeUpdateSuspension suspension(parent->treeWidget());
    NodeBuilder builder(parent);
    platform::walkFolderTree(directory, builder);
}

} // namespace quill::browse
