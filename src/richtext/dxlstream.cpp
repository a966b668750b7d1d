#include "richtext/dxlstream.h"

#include <QStringDecoder>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace quill::richtext {
namespace {

constexpr QStringView kDxlNamespace = u"http://www.lotus.com/dxl";
constexpr QStringView kRoot = u"<richtext";
// Deeper input is left to QXmlStreamReader.
constexpr size_t kMaxSimpleDepth = 1000;

bool isNameStart(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || u == u'_';
}

bool isNameChar(QChar c)
{
    const char16_t u = c.unicode();
    return isNameStart(c) || (u >= u'0' && u <= u'9') || u == u'-' || u == u'.';
}

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n';
}

// A name of ASCII letters, digits, '_', '-' and '.', without prefix; empty when there is none.
QStringView scanName(QStringView s, qsizetype& i)
{
    const qsizetype begin = i;
    if (i >= s.size() || !isNameStart(s[i]))
        return {};
    ++i;
    while (i < s.size() && isNameChar(s[i]))
        ++i;
    return s.mid(begin, i - begin);
}

void skipBlanks(QStringView s, qsizetype& i)
{
    while (i < s.size() && isBlank(s[i]))
        ++i;
}

// The character one of the five predefined entities at s[i] ('&') stands for, i past it; nullopt for any
// other reference.
std::optional<QChar> predefinedEntity(QStringView s, qsizetype& i)
{
    static constexpr struct
    {
        QStringView name;
        char16_t c;
    } entities[] = {{u"&amp;", u'&'}, {u"&lt;", u'<'}, {u"&gt;", u'>'}, {u"&quot;", u'"'}, {u"&apos;", u'\''}};
    const QStringView rest = s.mid(i);
    for (const auto& entity : entities) {
        if (rest.startsWith(entity.name)) {
            i += entity.name.size();
            return QChar(entity.c);
        }
    }
    return std::nullopt;
}

// The character a reference "&#n;" or "&#xh;" at s[i] stands for, i past it; nullopt for one that is not a
// character XML allows, or is written with more digits than any needs.
std::optional<char32_t> characterReference(QStringView s, qsizetype& i)
{
    qsizetype at = i + 2;
    const bool hex = at < s.size() && s[at] == u'x';
    if (hex)
        ++at;
    const qsizetype begin = at;
    char32_t code = 0;
    while (at < s.size() && at - begin < 8) {
        const char16_t c = s[at].unicode();
        int digit = -1;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (hex && c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (hex && c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        if (digit < 0)
            break;
        code = code * (hex ? 16 : 10) + char32_t(digit);
        ++at;
    }
    if (at == begin || at >= s.size() || s[at] != u';')
        return std::nullopt;
    const bool allowed = code == 0x9 || code == 0xa || code == 0xd || (code >= 0x20 && code <= 0xd7ff) ||
                         (code >= 0xe000 && code <= 0xfffd) || (code >= 0x10000 && code <= 0x10ffff);
    if (!allowed)
        return std::nullopt;
    i = at + 1;
    return code;
}

// A character XML allows as itself, where no line end is to be normalised: tab and line feed, no carriage
// return, no other control character, no U+FFFE or U+FFFF, surrogates only in pairs. At s[i]; i past it.
bool takeCharacter(QStringView s, qsizetype& i)
{
    const char16_t u = s[i].unicode();
    if (u < 0x20) {
        ++i;
        return u == u'\t' || u == u'\n';
    }
    if (u == 0xfffe || u == 0xffff)
        return false;
    if (QChar::isHighSurrogate(u)) {
        if (i + 1 >= s.size() || !QChar::isLowSurrogate(s[i + 1].unicode()))
            return false;
        i += 2;
        return true;
    }
    if (QChar::isLowSurrogate(u))
        return false;
    ++i;
    return true;
}

} // namespace

DxlStream::DxlStream(const QByteArray& dxl)
{
    if (dxl.startsWith("<richtext")) {
        QStringDecoder decoder(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
        m_source = decoder.decode(dxl);
        if (!decoder.hasError() && readSimple())
            return;
    }
    leaveToXml();
    m_xml.emplace(dxl);
}

DxlStream::DxlStream(const QString& dxl)
{
    m_source = dxl;
    if (readSimple())
        return;
    leaveToXml();
    m_xml.emplace(dxl);
}

void DxlStream::leaveToXml()
{
    m_source.clear();
    m_decoded.clear();
    m_events.clear();
    m_attributes.clear();
}

bool DxlStream::readSimple()
{
    const QStringView s = m_source;
    if (!s.startsWith(kRoot))
        return false;
    // Pictures' data make most of a large input, and few tokens.
    m_events.reserve(size_t(std::min<qsizetype>(s.size() / 16, 4096)));
    m_attributes.reserve(size_t(std::min<qsizetype>(s.size() / 32, 2048)));
    std::vector<QStringView> open;
    qsizetype i = 0;
    // Text or a value up to the stop character, with its references replaced; false when it holds what only
    // QXmlStreamReader reads as it must.
    const auto readText = [&](QChar stop, bool inValue, QStringView& result) {
        const qsizetype begin = i;
        qsizetype decodedBegin = -1;
        while (i < s.size() && s[i] != stop) {
            const QChar c = s[i];
            if (c == u'<')
                return false;
            if (c == u'&') {
                if (decodedBegin < 0) {
                    // No text or value grows when its references are replaced: room for the rest of the input
                    // keeps views into m_decoded valid.
                    if (m_decoded.capacity() == 0)
                        m_decoded.reserve(s.size() - begin);
                    decodedBegin = m_decoded.size();
                    m_decoded += s.mid(begin, i - begin);
                }
                if (s.mid(i).startsWith(u"&#")) {
                    const auto code = characterReference(s, i);
                    if (!code)
                        return false;
                    m_decoded += QChar::fromUcs4(*code);
                    continue;
                }
                const auto entity = predefinedEntity(s, i);
                if (!entity)
                    return false;
                m_decoded += *entity;
                continue;
            }
            if (inValue && c.unicode() < 0x20) // tabs and line ends in a value are normalised to blanks
                return false;
            if (c == u']' && s.mid(i).startsWith(u"]]>"))
                return false;
            const qsizetype at = i;
            if (!takeCharacter(s, i))
                return false;
            if (decodedBegin >= 0)
                m_decoded += s.mid(at, i - at);
        }
        if (i >= s.size())
            return false;
        result = decodedBegin < 0 ? s.mid(begin, i - begin)
                                  : QStringView(m_decoded).mid(decodedBegin, m_decoded.size() - decodedBegin);
        return true;
    };
    while (i < s.size()) {
        if (s[i] != u'<') {
            QStringView text;
            if (!readText(u'<', false, text))
                return false;
            m_events.push_back({Token::Text, text});
            continue;
        }
        ++i;
        if (i < s.size() && s[i] == u'/') {
            ++i;
            const QStringView name = scanName(s, i);
            skipBlanks(s, i);
            if (name.isEmpty() || i >= s.size() || s[i] != u'>' || open.empty() || open.back() != name)
                return false;
            ++i;
            open.pop_back();
            m_events.push_back({Token::End, name});
            if (open.empty())
                return true; // what follows the root is never read
            continue;
        }
        const QStringView name = scanName(s, i);
        if (name.isEmpty())
            return false; // a declaration, comment, CDATA section or DTD
        Event event{Token::Start, name, qsizetype(m_attributes.size()), 0};
        bool empty = false;
        bool namespaceSeen = false;
        while (true) {
            const qsizetype before = i;
            skipBlanks(s, i);
            if (i >= s.size())
                return false;
            if (s[i] == u'>') {
                ++i;
                break;
            }
            if (s[i] == u'/') {
                if (i + 1 >= s.size() || s[i + 1] != u'>')
                    return false;
                i += 2;
                empty = true;
                break;
            }
            if (i == before)
                return false;
            const QStringView attributeName = scanName(s, i);
            skipBlanks(s, i);
            if (attributeName.isEmpty() || i >= s.size() || s[i] != u'=')
                return false;
            ++i;
            skipBlanks(s, i);
            if (i >= s.size() || (s[i] != u'\'' && s[i] != u'"'))
                return false;
            const QChar quote = s[i++];
            QStringView value;
            if (!readText(quote, true, value))
                return false;
            ++i;
            if (attributeName == u"xmlns") {
                // Only the root may declare a namespace, and only the DXL one, as written.
                if (!open.empty() || namespaceSeen || value != kDxlNamespace)
                    return false;
                namespaceSeen = true;
                continue;
            }
            for (size_t a = size_t(event.firstAttribute); a < m_attributes.size(); ++a) {
                if (m_attributes[a].name == attributeName)
                    return false;
            }
            m_attributes.push_back({attributeName, value});
            ++event.attributeCount;
        }
        if (open.empty() && name != u"richtext")
            return false;
        m_events.push_back(event);
        if (empty) {
            m_events.push_back({Token::End, name});
            if (open.empty())
                return true;
        } else {
            if (open.size() >= kMaxSimpleDepth)
                return false;
            open.push_back(name);
        }
    }
    return false; // the input ends inside the root
}

QStringView DxlStream::attribute(QLatin1StringView name) const
{
    if (!m_xml) {
        if (!m_current || m_current->token != Token::Start)
            return {};
        const auto begin = m_attributes.begin() + m_current->firstAttribute;
        for (auto it = begin; it != begin + m_current->attributeCount; ++it) {
            if (it->name == name)
                return it->value;
        }
        return {};
    }
    // Attributes of DXL elements carry no namespace.
    for (const QXmlStreamAttribute& a : m_xmlAttributes) {
        if (a.namespaceUri().isEmpty() && a.name() == name)
            return a.value();
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
    return m_xml ? nextXml() : nextSimple();
}

DxlStream::Token DxlStream::nextSimple()
{
    if (m_event >= m_events.size()) {
        m_current = nullptr;
        return Token::Done;
    }
    m_current = &m_events[m_event++];
    if (m_current->token == Token::Text) {
        m_text = m_current->name;
    } else {
        m_name = m_current->name;
    }
    return m_current->token;
}

DxlStream::Token DxlStream::nextXml()
{
    // Holding on to the attributes would make the reader copy its own for the next element.
    m_xmlAttributes = {};
    if (m_depth < 0)
        return Token::Error;
    if (m_started && m_depth == 0)
        return Token::Done;
    QXmlStreamReader& xml = *m_xml;
    while (true) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement:
            if (!m_started) {
                m_started = true;
                if (xml.name() != u"richtext")
                    return fail(u"富文本的根元素是<"_s + xml.name() + u">，不是<richtext>"_s);
                if (!xml.namespaceUri().isEmpty() && xml.namespaceUri() != kDxlNamespace)
                    return fail(u"富文本的根元素<richtext>不在DXL命名空间中"_s);
                m_namespace = xml.namespaceUri().toString();
            } else if (xml.namespaceUri() != m_namespace) {
                xml.skipCurrentElement();
                if (xml.hasError())
                    break;
                continue;
            }
            ++m_depth;
            m_name = xml.name();
            m_xmlAttributes = xml.attributes();
            return Token::Start;
        case QXmlStreamReader::EndElement:
            --m_depth;
            m_name = xml.name();
            return Token::End;
        case QXmlStreamReader::Characters:
            if (!m_started)
                continue;
            m_text = xml.text();
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
        return fail(u"富文本不是格式正确的XML（第"_s + QString::number(xml.lineNumber()) + u"行第"_s +
                    QString::number(xml.columnNumber()) + u"列："_s + xml.errorString() + u"）"_s);
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
