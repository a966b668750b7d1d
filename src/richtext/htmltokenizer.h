#pragma once

#include <QList>
#include <QString>
#include <QStringView>
#include <utility>

namespace quill::richtext {

// HTML read as a browser's tokenizer reads it, enough to rebuild it safely: text with its character
// references resolved, start tags (names in lower case, attribute values resolved, the first of two
// attributes of one name kept) and end tags. Comments, doctypes and processing instructions are passed
// over; the content of script, style and the other raw-text elements is one text, never markup.
class HtmlTokenizer
{
public:
    enum class Kind
    {
        Text,
        StartTag,
        EndTag,
        End,
    };
    struct Token
    {
        Kind kind = Kind::End;
        QString name; // tags
        QString text; // text
        QList<std::pair<QString, QString>> attributes;
        bool selfClosing = false;
    };

    explicit HtmlTokenizer(QStringView html) : m_html(html) {}

    Token next();

private:
    Token rawText();
    Token tag(bool end);
    void skipPast(QStringView what);

    QStringView m_html;
    qsizetype m_pos = 0;
    QString m_rawEnd; // set after the start tag of a raw-text element: the name that ends it
    bool m_rawDecodes = false;
};

// Text with its character references resolved (&amp;, &#20013;, &#x4e2d;, the named ones of HTML 4).
// In an attribute's value, a name without its ";" followed by a letter, digit or "=" stays as it is.
QString resolveCharacterReferences(QStringView text, bool inAttribute);

} // namespace quill::richtext
