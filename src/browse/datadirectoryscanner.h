#pragma once

#include <QString>
#include <set>

class QTreeWidgetItem;

namespace quill::browse {

// Hangs the folders (scanned in turn) and the files whose names end in "NSF" found in directory below
// parent, in the file system's order, each with its kind and path. A folder that cannot be read adds
// nothing; a folder reached a second time through a link is shown but not entered.
class DataDirectoryScanner
{
public:
    void scan(const QString& directory, QTreeWidgetItem* parent);

private:
    std::set<std::pair<quint64, quint64>> m_visited;
};

} // namespace quill::browse
