#pragma once

#include "workspace/workspace.h"

namespace quill::workspace {

// The settings file system.ini, section "domino", keys "server", "username" and "pwd". A missing or
// empty server name reads as this computer's host name.
Credentials ReadSettings(const QString& path);
// Writes the three keys and leaves everything else in the file as it was. Throws platform::Error when
// the file cannot be written; it is then unchanged.
void WriteSettings(const QString& path, const Credentials& credentials);

} // namespace quill::workspace
