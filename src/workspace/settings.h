#pragma once

#include "workspace/workspace.h"

namespace quill::workspace {

// The settings file system.ini, section "domino", keys "server", "username" and "pwd". A missing or
// empty server name reads as this computer's host name.
Credentials ReadSettings(const QString& path);
// Writes the three keys and leaves everything else in the file as it was. Throws platform::Error when
// the file cannot be written; it is then unchanged.
void WriteSettings(const QString& path, const Credentials& credentials);

// Whether an export writes HTML pages beside its attachments: section "export", key "html", "0" for off. A
// missing or other value reads as on.
bool readHtmlPagesSetting(const QString& path);
// Writes the key and leaves the rest of the file as it was. Throws platform::Error when it cannot be written.
void writeHtmlPagesSetting(const QString& path, bool on);

} // namespace quill::workspace
