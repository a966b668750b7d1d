#pragma once

#include <QString>

namespace quill::platform {

// Text with leading and trailing blanks and control characters (anything up to U+0020) removed, the
// trimming the connection dialog, the file tree's view names and the export's name check share.
QString trimBlanks(const QString& text);

// Whether text ends in ending, ASCII letters compared without regard to case (a database file's ".NSF").
bool endsWithAsciiNoCase(const QString& text, QLatin1StringView ending);

} // namespace quill::platform
