#include "domino/richtext.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace quill::domino {
namespace {

bool isCjk(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 0x2E80 && u <= 0x9FFF) || (u >= 0xF900 && u <= 0xFAFF) || (u >= 0xFF00 && u <= 0xFFEF) ||
           c.isSurrogate();
}

QString expandTabs(const QString& line)
{
    QString out;
    for (const QChar c : line) {
        if (c == u'\t')
            out += QString(8 - out.size() % 8, u' ');
        else
            out += c;
    }
    return out;
}

void wrapLine(QString line, int width, QStringList* out)
{
    while (line.size() > width) {
        // The last break opportunity that keeps the line within width.
        qsizetype cut = -1;
        bool dropSpace = false;
        for (qsizetype i = width; i > 0; --i) {
            if (line[i] == u' ') {
                cut = i;
                dropSpace = true;
                break;
            }
            if (isCjk(line[i]) || isCjk(line[i - 1])) {
                if (!line[i].isLowSurrogate()) {
                    cut = i;
                    break;
                }
            }
        }
        if (cut <= 0) {
            // A word longer than the line: keep it whole up to the next space.
            cut = line.indexOf(u' ', width);
            if (cut < 0)
                break;
            dropSpace = true;
        }
        out->append(line.left(cut));
        line = line.mid(cut + (dropSpace ? 1 : 0));
    }
    out->append(line);
}

// Characters XML 1.0 cannot hold, even as references.
bool xmlAllows(char32_t c)
{
    return c == u'\t' || (c >= 0x20 && c < 0xD800) || (c >= 0xE000 && c < 0xFFFE) || (c >= 0x10000 && c <= 0x10FFFF);
}

} // namespace

QByteArray plainTextAsDxl(const QString& text)
{
    QString normal = text;
    normal.replace(u"\r\n"_s, u"\n"_s);
    normal.replace(u'\r', u'\n');
    QString out = u"<richtext>\n"_s;
    for (const QString& line : normal.split(u'\n')) {
        QString par;
        for (const char32_t c : line.toUcs4()) {
            if (c == u'&')
                par += u"&amp;"_s;
            else if (c == u'<')
                par += u"&lt;"_s;
            else if (c == u'>')
                par += u"&gt;"_s;
            else if (xmlAllows(c))
                par += QString::fromUcs4(&c, 1);
        }
        out += par.isEmpty() ? u"<par/>\n"_s : u"<par>"_s + par + u"</par>\n"_s;
    }
    return (out + u"</richtext>"_s).toUtf8();
}

QString formatPlainText(const QString& text, bool tabsToSpaces, int lineLength)
{
    QString normal = text;
    normal.replace(u"\r\n"_s, u"\n"_s);
    normal.replace(u'\r', u'\n');
    QStringList lines;
    for (const QString& line : normal.split(u'\n')) {
        const QString expanded = tabsToSpaces ? expandTabs(line) : line;
        if (lineLength > 0)
            wrapLine(expanded, lineLength, &lines);
        else
            lines.append(expanded);
    }
    return lines.join(u'\n');
}

} // namespace quill::domino
