#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace quill::richtext {

struct PlainText
{
    QString text;            // paragraphs as lines, a table row as one line of tab-separated cells
    QStringList objectNames; // the attachments and objects the rich text shows, in order, each once
    QString error;           // empty when the whole element was read
};

// The plain text of a DXL <richtext> element as the DXL import gives it: only text inside paragraphs and
// section titles counts; a line end in the character data is layout and counts for nothing; a <break/> is
// a line break, a tab a tab, both a blank inside a table cell; a cell's paragraphs are joined by blanks;
// pictures, attachment icons, objects, code and paragraph definitions give no text; trailing empty lines
// are dropped. What was read before an error is kept.
PlainText richTextPlainText(const QByteArray& dxl);
PlainText richTextPlainText(const QString& dxl);

// Character data of a paragraph as the import keeps it: without its line ends.
QString withoutLineEnds(QStringView text);

} // namespace quill::richtext
