#include "richtext/dxlstream.h"

using namespace Qt::StringLiterals;

namespace quill::richtext {
namespace {

constexpr QStringView kDxlNamespace = u"http://www.lotus.com/dxl";

} // namespace

DxlStream::DxlStream(const QByteArray& dxl) : m_xml(dxl) {}

DxlStream::DxlStream(const QString& dxl) : m_xml(dxl) {}

QString DxlStream::attribute(QLatin1StringView name) const
{
    // Attributes of DXL elements carry no namespace.
    for (const QXmlStreamAttribute& a : m_xml.attributes()) {
        if (a.namespaceUri().isEmpty() && a.name() == name)
            return a.value().toString();
    }
    return {};
}

DxlStream::Token DxlStream::fail(const QString& what)
{
    m_error = what;
    m_depth = -1;
    return Token::Error;
}

DxlStream::Token DxlStream::next()
{
    if (m_depth < 0)
        return Token::Error;
    if (m_started && m_depth == 0)
        return Token::Done;
    while (true) {
        switch (m_xml.readNext()) {
        case QXmlStreamReader::StartElement:
            if (!m_started) {
                m_started = true;
                if (m_xml.name() != u"richtext")
                    return fail(u"富文本的根元素是<"_s + m_xml.name() + u">，不是<richtext>"_s);
                if (!m_xml.namespaceUri().isEmpty() && m_xml.namespaceUri() != kDxlNamespace)
                    return fail(u"富文本的根元素<richtext>不在DXL命名空间中"_s);
                m_namespace = m_xml.namespaceUri().toString();
            } else if (m_xml.namespaceUri() != m_namespace) {
                m_xml.skipCurrentElement();
                if (m_xml.hasError())
                    break;
                continue;
            }
            ++m_depth;
            m_name = m_xml.name();
            return Token::Start;
        case QXmlStreamReader::EndElement:
            --m_depth;
            m_name = m_xml.name();
            return Token::End;
        case QXmlStreamReader::Characters:
            if (!m_started)
                continue;
            m_text = m_xml.text();
            return Token::Text;
        case QXmlStreamReader::DTD:
            return fail(u"富文本中不能有DTD"_s);
        case QXmlStreamReader::EndDocument:
            return fail(u"富文本中没有<richtext>元素"_s);
        case QXmlStreamReader::Invalid:
            break;
        default:
            continue;
        }
        return fail(u"富文本不是格式正确的XML（第"_s + QString::number(m_xml.lineNumber()) + u"行第"_s +
                    QString::number(m_xml.columnNumber()) + u"列："_s + m_xml.errorString() + u"）"_s);
    }
}

void DxlStream::skipElement()
{
    int depth = 1;
    while (depth > 0) {
        const Token token = next();
        if (token == Token::Start)
            ++depth;
        else if (token == Token::End)
            --depth;
        else if (token == Token::Error || token == Token::Done)
            return;
    }
}

} // namespace quill::richtext
