#pragma once

class QTreeWidget;

namespace quill::browse {

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

} // namespace quill::browse
