#include "richtext/htmltext.h"

#include <QUrl>

using namespace Qt::StringLiterals;

namespace quill::richtext {
namespace {

bool isNonCharacter(char32_t c)
{
    return (c >= 0xfdd0 && c <= 0xfdef) || (c & 0xfffe) == 0xfffe;
}

// Characters an HTML page must not carry: the parser reports them, and some change what follows.
bool isUnwanted(char32_t c)
{
    if (c == u'\t' || c == u'\n')
        return false;
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) || isNonCharacter(c);
}

bool isUrlBlank(QChar c)
{
    return c.unicode() <= 0x20;
}

} // namespace

QString escapeHtml(QStringView text)
{
    QString out;
    out.reserve(text.size() + text.size() / 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        switch (c.unicode()) {
        case u'&':
            out += u"&amp;";
            continue;
        case u'<':
            out += u"&lt;";
            continue;
        case u'>':
            out += u"&gt;";
            continue;
        case u'"':
            out += u"&quot;";
            continue;
        case u'\'':
            out += u"&#39;";
            continue;
        default:
            break;
        }
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            const char32_t code = QChar::surrogateToUcs4(c, text[i + 1]);
            if (!isNonCharacter(code))
                out += c, out += text[i + 1];
            ++i;
            continue;
        }
        if (c.isSurrogate()) {
            out += QChar::ReplacementCharacter;
            continue;
        }
        if (!isUnwanted(c.unicode()))
            out += c;
    }
    return out;
}

QString cleanUrl(QStringView url)
{
    QString out;
    out.reserve(url.size());
    for (QChar c : url) {
        if (c != u'\t' && c != u'\n' && c != u'\r')
            out += c;
    }
    qsizetype begin = 0, end = out.size();
    while (begin < end && isUrlBlank(out[begin]))
        ++begin;
    while (end > begin && isUrlBlank(out[end - 1]))
        --end;
    return out.mid(begin, end - begin);
}

UrlKind urlKind(QStringView url)
{
    // The URL as a browser reads it: blanks and control characters are dropped, so they cannot hide a
    // scheme. Anything doubtful is refused.
    QString s;
    s.reserve(url.size());
    for (QChar c : url) {
        if (!isUrlBlank(c) && !(c.unicode() >= 0x7f && c.unicode() <= 0x9f))
            s += c;
    }
    if (s.isEmpty() || s.startsWith(u'#') || s.startsWith(u'/') || s.startsWith(u'\\'))
        return UrlKind::Refused;
    qsizetype end = 0;
    while (end < s.size() && s[end] != u':' && s[end] != u'/' && s[end] != u'?' && s[end] != u'#' && s[end] != u'\\')
        ++end;
    if (end == s.size() || s[end] != u':')
        return UrlKind::Relative;
    const QString scheme = s.left(end).toLower();
    if (scheme == u"http" || scheme == u"https")
        return UrlKind::Web;
    if (scheme == u"mailto")
        return UrlKind::Mail;
    if (scheme == u"cid")
        return UrlKind::Content;
    return UrlKind::Refused;
}

QString relativeHref(QStringView path)
{
    if (path.isEmpty() || path.startsWith(u'/') || path.contains(u'\\') || path.contains(u':'))
        return {};
    const QList<QStringView> segments = path.split(u'/');
    QString href;
    bool pastParents = false;
    for (qsizetype i = 0; i < segments.size(); ++i) {
        const QStringView segment = segments[i];
        if (segment.isEmpty() || segment == u".")
            return {};
        if (segment == u"..") {
            if (pastParents)
                return {};
        } else {
            pastParents = true;
        }
        for (QChar c : segment) {
            if (c.unicode() < 0x20)
                return {};
        }
        if (i > 0)
            href += u'/';
        href += QString::fromLatin1(QUrl::toPercentEncoding(segment.toString()));
    }
    return pastParents ? href : QString();
}

} // namespace quill::richtext
