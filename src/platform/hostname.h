#pragma once

#include <QString>

namespace quill::platform {

// The default server name: the local host's official (canonical) name as the resolver gives it,
// with only the letters a-z upper-cased. When the look-up fails, the plain host name is used
// (upper-cased alike); when even that is unavailable, "LOCALHOST".
QString LocalHostName();

// Upper-cases a-z only, leaving every other character as it is.
QString upperAsciiLetters(const QString& text);

} // namespace quill::platform
