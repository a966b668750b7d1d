#pragma once

#include <QIcon>

namespace quill::shell {

// The pictures of the menu and toolbar commands.
enum class ToolbarIcon
{
    Import,
    Exit,
    Export,
    OpenFile,
    Server,
    About,
    PreviousPage,
    NextPage,
    FirstPage, // empty
    LastPage,  // empty
    Detail,
};
QIcon toolbarIcon(ToolbarIcon icon);

// The pictures of the database tree and of the list's view icons.
enum class TreeIcon
{
    Server,
    Folder,
    Database,
    View,
};
QIcon treeIcon(TreeIcon icon);

// Resource path of the about dialog's logo (289 x 41).
QString logoResource();

// The bundled pictures live in a static library's resources, which need explicit registration.
void initShellResources();

} // namespace quill::shell
