#pragma once

#include <QIcon>

namespace quill::shell {

// ImageList1: the toolbar and menu pictures, 0..10; 8 and 9 are empty.
QIcon toolbarImage(int index);
// ImageList2: the tree and list pictures, 0 globe, 1 folder, 2 database, 3 view.
QIcon treeImage(int index);
// Resource path of the about dialog's logo (289 x 41).
QString logoResource();

// The bundled pictures live in a static library's resources, which need explicit registration.
void initShellResources();

} // namespace quill::shell
