#pragma once

#include <QString>

namespace quill::platform {

// The running executable's folder, with a trailing "/".
QString applicationFolder();

// $XDG_CONFIG_HOME/quillmere/registry.reg (default ~/.config/quillmere/registry.reg).
QString registryFilePath();

// The folder that stands for "c:\": $XDG_STATE_HOME/quillmere/ (default ~/.local/state/quillmere/),
// with a trailing "/". Created when missing; the returned path is valid even if creation failed.
QString logFolder();

} // namespace quill::platform
