#pragma once

#include <QString>

namespace quill::platform {

// Text with leading and trailing blanks and control characters (anything up to U+0020) removed, the
// trimming the connection dialog, the file tree's view names and the export's name check share.
QString trimBlanks(const QString& text);

// Whether text ends in ending, ASCII letters compared without regard to case (a database file's ".NSF").
bool endsWithAsciiNoCase(const QString& text, QLatin1StringView ending);

// An unknown option as an error message may show it ("-x", "--name=value" or a bare name): one that may
// carry a password ("-pquill123", "--passwd=...", "--pwd") only as far as "p" or "pass" and an ellipsis, so
// that a password typed after it is never echoed; any other as it is.
QString shownOption(const QString& option);
// Whether shownOption hides part of the option.
bool mayCarryPassword(const QString& option);

} // namespace quill::platform
