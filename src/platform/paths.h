#pragma once

#include <QString>

namespace quill::platform {

// The running executable's folder, with a trailing "/".
QString applicationFolder();

// Whether executableFolder is the bin folder of an installed tree (cmake --install or the package under
// any prefix): the component's private folder lies beside it. A build tree has none.
bool isInstalledTree(const QString& executableFolder);

// Folder of the component library that belongs with a program in executableFolder, with a trailing "/":
// an installed tree's private folder (<prefix>/lib/.../quillmere/), else executableFolder itself.
QString componentFolder(const QString& executableFolder);

// Folder of system.ini, with a trailing "/". An installed program, whose folder is a system one, keeps it
// in $XDG_CONFIG_HOME/quillmere/ (created when missing); a program in a build tree beside itself.
QString settingsFolder(const QString& executableFolder);

// The user guide the program opens: an installed tree's rendered page (<prefix>/share/doc/quillmere/user-guide.html),
// else the guide in the source's docs folder, which a build tree links beside the program as docs/.
QString userGuidePath(const QString& executableFolder);

// $XDG_CONFIG_HOME/quillmere/registry.reg (default ~/.config/quillmere/registry.reg).
QString registryFilePath();

// The folder that stands for "c:\": $XDG_STATE_HOME/quillmere/ (default ~/.local/state/quillmere/),
// with a trailing "/". Created when missing; the returned path is valid even if creation failed.
QString logFolder();

} // namespace quill::platform
