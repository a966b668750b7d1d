#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <QXmlStreamReader>
#include <optional>
#include <vector>

namespace quill::richtext {

// Reads a DXL <richtext> element: elements of its namespace (the DXL namespace, or none when the element
// carries none) come out by their local names; an element of any other namespace is passed over with
// everything in it, as the import does. A DTD is refused, so no entity is declared.
class DxlStream
{
public:
    enum class Token
    {
        Start,
        End,
        Text,
        Done,  // the <richtext> element has ended
        Error, // error() says what is wrong; nothing more comes
    };

    explicit DxlStream(const QByteArray& dxl);
    explicit DxlStream(const QString& dxl);

    Token next();
    // The local name of the element just started or ended.
    QStringView name() const { return m_name; }
    // An attribute of the element just started; empty when it has none of that name. Valid until next().
    QStringView attribute(QLatin1StringView name) const;
    // The character data just read.
    QStringView text() const { return m_text; }
    // Passes over the rest of the element just started, its end included.
    void skipElement();
    // What went wrong, in the words the program shows.
    const QString& error() const { return m_error; }

private:
    // Most rich text is plain well-formed XML: no declaration, DTD, comment, CDATA, prefix or line
    // normalisation. Such input is read here into a list of tokens in one pass, much
    // faster than by QXmlStreamReader; anything else is left to QXmlStreamReader, which then reads it all.
    struct Attribute
    {
        QStringView name;
        QStringView value;
    };
    struct Event
    {
        Token token;
        QStringView name; // or the text
        qsizetype firstAttribute = 0;
        qsizetype attributeCount = 0;
    };
    bool readSimple();
    void leaveToXml();
    Token nextSimple();
    Token nextXml();
    Token fail(const QString& what);

    QString m_source;  // the simple input
    QString m_decoded; // its texts and values with entities replaced, never reallocated while read
    std::vector<Event> m_events;
    std::vector<Attribute> m_attributes;
    size_t m_event = 0;
    const Event* m_current = nullptr;

    std::optional<QXmlStreamReader> m_xml;
    QXmlStreamAttributes m_xmlAttributes;
    QString m_namespace;
    bool m_started = false;
    int m_depth = 0;
    QStringView m_name;
    QStringView m_text;
    QString m_error;
};

} // namespace quill::richtext
