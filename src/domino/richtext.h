#pragma once

#include <QByteArray>
#include <QString>

namespace quill::domino {

// The plain text of a rich-text item as FormattedText gives it: tabs expanded to the next multiple
// of 8 columns when asked; lines longer than lineLength wrapped at a space (which is dropped) or
// between CJK characters; a word longer than a line is kept whole. lineLength <= 0: no wrapping.
QString formatPlainText(const QString& text, bool tabsToSpaces, int lineLength);

// Plain text as the DXL of a rich-text item, as ExportDXL gives it for an item whose structure was not kept:
// <richtext> with one <par> per line (an empty line an empty paragraph), the text escaped, what XML cannot hold
// (control characters other than the tab, lone surrogates) left out.
QByteArray plainTextAsDxl(const QString& text);

} // namespace quill::domino
