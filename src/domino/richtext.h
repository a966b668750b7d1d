#pragma once

#include <QString>

namespace quill::domino {

// The plain text of a rich-text item as FormattedText gives it: tabs expanded to the next multiple
// of 8 columns when asked; lines longer than lineLength wrapped at a space (which is dropped) or
// between CJK characters; a word longer than a line is kept whole. lineLength <= 0: no wrapping.
QString formatPlainText(const QString& text, bool tabsToSpaces, int lineLength);

} // namespace quill::domino
