#pragma once

#include <QString>

class QTreeWidgetItem;

namespace quill::browse {

// Hangs the folders (scanned in turn) and the files whose names end in "NSF" found in directory below
// parent, in the file system's order, each with its kind and path. A folder that cannot be read adds
// nothing; a folder reached a second time through a link is shown but not entered.
class DataDirectoryScanner
{
public:
    void scan(const QString& directory, QTreeWidgetItem* parent);
};

} // namespace quill::browse
