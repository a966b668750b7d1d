#include "richtext/htmltext.h"

using namespace Qt::StringLiterals;

namespace quill::richtext {
namespace {

bool isNonCharacter(char32_t c)
{
    return (c >= 0xfdd0 && c <= 0xfdef) || (c & 0xfffe) == 0xfffe;
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
    appendEscapedHtml(out, text);
    return out;
}

void appendEscapedHtml(QString& out, QStringView text)
{
    // Runs of characters that stay as they are are appended whole. Characters an HTML page must not carry
    // (the parser reports them, and some change what follows) are left out: controls other than tab and line
    // feed, U+007F to U+009F, non-characters.
    const qsizetype size = text.size();
    qsizetype run = 0;
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = text[i].unicode();
        if (c >= 0xa0 ? !QChar::isSurrogate(c) && !isNonCharacter(c)
                      : c >= 0x20 && c < 0x7f && c != u'&' && c != u'<' && c != u'>' && c != u'"' && c != u'\'')
            continue;
        if (c == u'\t' || c == u'\n')
            continue;
        out.append(text.mid(run, i - run));
        run = i + 1;
        switch (c) {
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
        if (QChar::isHighSurrogate(c) && i + 1 < size && text[i + 1].isLowSurrogate()) {
            const char32_t code = QChar::surrogateToUcs4(c, text[i + 1].unicode());
            if (!isNonCharacter(code))
                out.append(text.mid(i, 2));
            ++i;
            run = i + 1;
            continue;
        }
        if (QChar::isSurrogate(c))
            out += QChar::ReplacementCharacter;
        // Anything else left here is unwanted and left out.
    }
    out.append(text.mid(run, size - run));
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
    static constexpr char hex[] = "0123456789ABCDEF";
    const auto unreserved = [](char16_t c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'-' ||
               c == u'.' || c == u'_' || c == u'~';
    };
    QString href;
    href.reserve(path.size() + 16);
    bool pastParents = false;
    for (qsizetype begin = 0; begin <= path.size();) {
        qsizetype end = path.indexOf(u'/', begin);
        if (end < 0)
            end = path.size();
        const QStringView segment = path.mid(begin, end - begin);
        if (segment.isEmpty() || segment == u".")
            return {};
        if (segment == u"..") {
            if (pastParents)
                return {};
        } else {
            pastParents = true;
        }
        bool plain = true;
        for (QChar c : segment) {
            if (c.unicode() < 0x20)
                return {};
            plain = plain && unreserved(c.unicode());
        }
        if (begin > 0)
            href += u'/';
        // Each segment percent-encoded in UTF-8, all but the unreserved characters.
        if (plain) {
            href += segment;
        } else {
            for (const char byte : segment.toUtf8()) {
                const auto b = uchar(byte);
                if (unreserved(b)) {
                    href += QLatin1Char(char(b));
                } else {
                    href += u'%';
                    href += QLatin1Char(hex[b >> 4]);
                    href += QLatin1Char(hex[b & 15]);
                }
            }
        }
        begin = end + 1;
    }
    return pastParents ? href : QString();
}

} // namespace quill::richtext
