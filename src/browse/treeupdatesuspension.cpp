#include "browse/treeupdatesuspension.h"

#include <QTreeWidget>
#include <QVariant>

namespace quill::browse {
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

} // namespace quill::browse
