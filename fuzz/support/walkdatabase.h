#pragma once

#include <QString>

namespace quill::fuzz {

// Opens a database file through the component's entry point, as 打开文件 does, and reads all that the
// program can show or export of it: every view with its columns and documents, every item's value and
// text, rich text with its objects, attachments (saved into scratch), full-text searches. A DominoError, which the
// Domino interfaces promise for every failure, ends only the step that raised it; anything else escapes.
void walkDatabase(const QString& path, const QString& scratch);

} // namespace quill::fuzz
