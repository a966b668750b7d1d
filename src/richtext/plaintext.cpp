#include "richtext/plaintext.h"

#include "richtext/dxlstream.h"

#include <vector>

using namespace Qt::StringLiterals;

namespace quill::richtext {
namespace {

bool givesNoText(QStringView name)
{
    static const QStringList names = {
        u"picture"_s,    u"pardef"_s,       u"imagemap"_s, u"javascript"_s,    u"embeddedcontrol"_s, u"lotusscript"_s,
        u"javaapplet"_s, u"activeobject"_s, u"code"_s,     u"attachmentref"_s, u"objectref"_s};
    return names.contains(name);
}

class Flattener
{
public:
    PlainText read(DxlStream& stream);

private:
    struct Table
    {
        QStringList row;
        QString cell;
        bool inCell = false;
    };

    bool inCell() const { return !m_tables.empty() && m_tables.back().inCell; }
    void start(DxlStream& stream);
    void end(QStringView name);
    void emitLine(const QString& line);

    QStringList m_lines;
    QString m_par;
    bool m_inPar = false;
    std::vector<Table> m_tables;
    QStringList m_objects;
};

PlainText Flattener::read(DxlStream& stream)
{
    PlainText result;
    bool root = true;
    while (true) {
        const DxlStream::Token token = stream.next();
        if (token == DxlStream::Token::Start) {
            if (!root)
                start(stream);
            root = false;
        } else if (token == DxlStream::Token::End) {
            end(stream.name());
        } else if (token == DxlStream::Token::Text) {
            if (m_inPar)
                m_par += withoutLineEnds(stream.text());
        } else {
            if (token == DxlStream::Token::Error)
                result.error = stream.error();
            break;
        }
    }
    QStringList lines = m_lines;
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    result.text = lines.join(u'\n');
    result.objectNames = m_objects;
    return result;
}

void Flattener::start(DxlStream& stream)
{
    const QStringView name = stream.name();
    if (name == u"par" || name == u"sectiontitle") {
        m_par.clear();
        m_inPar = true;
    } else if (name == u"break" || name == u"tab") {
        if (m_inPar)
            m_par += inCell() ? u' ' : (name == u"break" ? u'\n' : u'\t');
    } else if (name == u"table") {
        m_tables.emplace_back();
    } else if (name == u"tablerow") {
        if (!m_tables.empty())
            m_tables.back().row.clear();
    } else if (name == u"tablecell") {
        if (!m_tables.empty()) {
            m_tables.back().cell.clear();
            m_tables.back().inCell = true;
        }
    } else if (givesNoText(name)) {
        if (name == u"attachmentref" || name == u"objectref") {
            const QString object = stream.attribute("name"_L1).toString();
            if (!object.isEmpty() && !m_objects.contains(object))
                m_objects << object;
        }
        stream.skipElement();
    }
}

void Flattener::end(QStringView name)
{
    if (name == u"par" || name == u"sectiontitle") {
        if (m_inPar)
            emitLine(m_par);
        m_inPar = false;
    } else if (name == u"tablecell") {
        if (!m_tables.empty()) {
            m_tables.back().row << m_tables.back().cell;
            m_tables.back().inCell = false;
        }
    } else if (name == u"tablerow") {
        if (!m_tables.empty()) {
            const QString line = m_tables.back().row.join(u'\t');
            m_tables.back().row.clear();
            // The row belongs to the cell of an enclosing table, if any.
            Table table = std::move(m_tables.back());
            m_tables.pop_back();
            emitLine(line);
            m_tables.push_back(std::move(table));
        }
    } else if (name == u"table") {
        if (!m_tables.empty())
            m_tables.pop_back();
    }
}

void Flattener::emitLine(const QString& line)
{
    if (inCell()) {
        QString& cell = m_tables.back().cell;
        if (!line.isEmpty())
            cell += (cell.isEmpty() ? QString() : u" "_s) + line;
    } else {
        m_lines << line;
    }
}

template <typename Input> PlainText plainText(const Input& dxl)
{
    DxlStream stream(dxl);
    return Flattener().read(stream);
}

} // namespace

QString withoutLineEnds(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (c != u'\n' && c != u'\r')
            out += c;
    }
    return out;
}

PlainText richTextPlainText(const QByteArray& dxl)
{
    return plainText(dxl);
}

PlainText richTextPlainText(const QString& dxl)
{
    return plainText(dxl);
}

} // namespace quill::richtext
