#pragma once

#include <QString>
#include <QStringView>

namespace quill::richtext {

// Text as HTML text or as a double-quoted attribute's value: markup characters become references, and
// what an HTML page may not hold (control characters, lone surrogates, non-characters) is left out or,
// for a broken character, shown as U+FFFD.
QString escapeHtml(QStringView text);
// The same, appended to out.
void appendEscapedHtml(QString& out, QStringView text);

// How a link's target is to be treated.
enum class UrlKind
{
    Web,      // http: or https:
    Mail,     // mailto:
    Content,  // cid: (a part of the same mail)
    Relative, // no scheme
    Refused,  // any other scheme (javascript:, data:, file:, notes:...) or none that can be told
};

// The kind of a URL as a browser would read it: blanks and control characters inside the scheme do not
// hide it ("java\tscript:" is javascript:).
UrlKind urlKind(QStringView url);

// A URL a browser resolves the way it reads here: leading and trailing blanks and the tabs and line
// breaks that browsers drop are removed.
QString cleanUrl(QStringView url);

// A path relative to the page that stays inside the export's folders: no scheme, no root, no "\", no
// empty or "." segment; ".." only at the front (to the folder of another document). Empty when the path
// is not one; else the path as an href, each segment percent-encoded.
QString relativeHref(QStringView path);

} // namespace quill::richtext
