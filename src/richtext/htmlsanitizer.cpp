#include "richtext/htmlsanitizer.h"

#include "richtext/htmltext.h"
#include "richtext/htmltokenizer.h"

#include <QRegularExpression>
#include <QSet>
#include <vector>

using namespace Qt::StringLiterals;

namespace quill::richtext {
namespace {

constexpr size_t kMaxDepth = 200;

const QSet<QString>& keptElements()
{
    static const QSet<QString> names = {
        u"a"_s,        u"abbr"_s,       u"address"_s, u"article"_s, u"aside"_s,   u"b"_s,    u"bdi"_s,     u"bdo"_s,
        u"big"_s,      u"blockquote"_s, u"br"_s,      u"caption"_s, u"center"_s,  u"cite"_s, u"code"_s,    u"col"_s,
        u"colgroup"_s, u"dd"_s,         u"del"_s,     u"details"_s, u"dfn"_s,     u"div"_s,  u"dl"_s,      u"dt"_s,
        u"em"_s,       u"figcaption"_s, u"figure"_s,  u"font"_s,    u"footer"_s,  u"h1"_s,   u"h2"_s,      u"h3"_s,
        u"h4"_s,       u"h5"_s,         u"h6"_s,      u"header"_s,  u"hr"_s,      u"i"_s,    u"img"_s,     u"ins"_s,
        u"kbd"_s,      u"li"_s,         u"main"_s,    u"mark"_s,    u"nav"_s,     u"ol"_s,   u"p"_s,       u"pre"_s,
        u"q"_s,        u"rp"_s,         u"rt"_s,      u"ruby"_s,    u"s"_s,       u"samp"_s, u"section"_s, u"small"_s,
        u"span"_s,     u"strike"_s,     u"strong"_s,  u"sub"_s,     u"summary"_s, u"sup"_s,  u"table"_s,   u"tbody"_s,
        u"td"_s,       u"tfoot"_s,      u"th"_s,      u"thead"_s,   u"time"_s,    u"tr"_s,   u"tt"_s,      u"u"_s,
        u"ul"_s,       u"var"_s,        u"wbr"_s};
    return names;
}

const QSet<QString>& droppedWithContent()
{
    static const QSet<QString> names = {
        u"script"_s,   u"style"_s,    u"iframe"_s,  u"frame"_s,    u"frameset"_s,  u"object"_s, u"embed"_s,
        u"applet"_s,   u"noscript"_s, u"noembed"_s, u"noframes"_s, u"template"_s,  u"svg"_s,    u"math"_s,
        u"textarea"_s, u"select"_s,   u"option"_s,  u"optgroup"_s, u"button"_s,    u"input"_s,  u"title"_s,
        u"meta"_s,     u"link"_s,     u"base"_s,    u"xmp"_s,      u"plaintext"_s, u"canvas"_s, u"audio"_s,
        u"video"_s,    u"source"_s,   u"track"_s,   u"param"_s,    u"datalist"_s,  u"keygen"_s, u"portal"_s,
        u"dialog"_s,   u"map"_s,      u"area"_s,    u"image"_s};
    return names;
}

bool isVoid(const QString& name)
{
    static const QSet<QString> names = {u"br"_s,    u"hr"_s,   u"img"_s,    u"wbr"_s,    u"col"_s,   u"input"_s,
                                        u"meta"_s,  u"link"_s, u"base"_s,   u"source"_s, u"track"_s, u"param"_s,
                                        u"embed"_s, u"area"_s, u"keygen"_s, u"image"_s};
    return names.contains(name);
}

QRegularExpression whole(const QString& pattern)
{
    return QRegularExpression(u"^(?:"_s + pattern + u")$"_s, QRegularExpression::CaseInsensitiveOption |
                                                                 QRegularExpression::UseUnicodePropertiesOption);
}

// A style attribute with only the declarations that are known not to load anything.
QString cleanStyle(const QString& style)
{
    static const QSet<QString> properties = {
        u"color"_s,           u"background-color"_s, u"background"_s,     u"font"_s,          u"font-family"_s,
        u"font-size"_s,       u"font-style"_s,       u"font-weight"_s,    u"font-variant"_s,  u"text-align"_s,
        u"text-decoration"_s, u"text-indent"_s,      u"text-transform"_s, u"line-height"_s,   u"letter-spacing"_s,
        u"word-spacing"_s,    u"white-space"_s,      u"vertical-align"_s, u"margin"_s,        u"margin-top"_s,
        u"margin-right"_s,    u"margin-bottom"_s,    u"margin-left"_s,    u"padding"_s,       u"padding-top"_s,
        u"padding-right"_s,   u"padding-bottom"_s,   u"padding-left"_s,   u"border"_s,        u"border-top"_s,
        u"border-right"_s,    u"border-bottom"_s,    u"border-left"_s,    u"border-color"_s,  u"border-style"_s,
        u"border-width"_s,    u"border-collapse"_s,  u"border-spacing"_s, u"border-radius"_s, u"width"_s,
        u"height"_s,          u"max-width"_s,        u"min-width"_s,      u"max-height"_s,    u"min-height"_s,
        u"list-style-type"_s, u"direction"_s,        u"float"_s,          u"clear"_s,         u"table-layout"_s,
        u"caption-side"_s,    u"empty-cells"_s,      u"display"_s,        u"text-shadow"_s};
    static const QStringList refused = {u"url"_s,  u"expression"_s, u"image"_s,    u"var("_s,    u"attr("_s,
                                        u"env("_s, u"javascript"_s, u"behavior"_s, u"binding"_s, u"/*"_s};
    QStringList kept;
    for (const QString& declaration : style.split(u';', Qt::SkipEmptyParts)) {
        const qsizetype colon = declaration.indexOf(u':');
        if (colon <= 0)
            continue;
        const QString property = declaration.left(colon).trimmed().toLower();
        QString value = declaration.mid(colon + 1).trimmed();
        static const QRegularExpression important(u"\\s*!\\s*important$"_s, QRegularExpression::CaseInsensitiveOption);
        value.remove(important);
        if (!properties.contains(property) || value.isEmpty() || value.size() > 200)
            continue;
        const bool plain = std::all_of(value.cbegin(), value.cend(), [](QChar c) {
            return c.isLetterOrNumber() || c == u' ' || c == u'#' || c == u'%' || c == u'.' || c == u',' || c == u'(' ||
                   c == u')' || c == u'\'' || c == u'"' || c == u'-' || c == u'+' || c == u'/' || c == u'_';
        });
        const QString lower = value.toLower();
        if (!plain ||
            std::any_of(refused.cbegin(), refused.cend(), [&](const QString& r) { return lower.contains(r); }))
            continue;
        kept << property + u':' + value;
    }
    return kept.join(u';');
}

// The attribute's value as the sanitizer keeps it; nullopt to leave the attribute out.
std::optional<QString> cleanAttribute(const QString& element, const QString& name, const QString& value)
{
    if (name == u"title" || name == u"alt" || name == u"abbr")
        return value;
    if (name == u"style") {
        const QString style = cleanStyle(value);
        return style.isEmpty() ? std::nullopt : std::optional(style);
    }
    if ((name == u"nowrap" && (element == u"td" || element == u"th")) || (name == u"reversed" && element == u"ol") ||
        (name == u"open" && element == u"details"))
        return QString();
    static const QRegularExpression align =
        whole(u"left|right|center|justify|top|middle|bottom|baseline|texttop|absmiddle"_s);
    static const QRegularExpression valign = whole(u"top|middle|bottom|baseline"_s);
    static const QRegularExpression size = whole(u"[0-9]{1,5}(?:\\.[0-9]+)?(?:%|px)?"_s);
    static const QRegularExpression color = whole(u"#[0-9a-f]{3}|#[0-9a-f]{6}|[a-z]{3,20}"_s);
    static const QRegularExpression face = whole(u"[\\w ,.'-]{1,100}"_s);
    static const QRegularExpression fontSize = whole(u"[+-]?[0-9]{1,2}"_s);
    static const QRegularExpression small = whole(u"[0-9]{1,3}"_s);
    static const QRegularExpression count = whole(u"[0-9]{1,4}"_s);
    static const QRegularExpression listType = whole(u"1|a|i|disc|circle|square"_s);
    static const QRegularExpression dir = whole(u"ltr|rtl|auto"_s);
    static const QRegularExpression lang = whole(u"[a-z]{1,8}(?:-[a-z0-9]{1,8})*"_s);
    static const QRegularExpression scope = whole(u"row|col|rowgroup|colgroup"_s);
    static const QRegularExpression datetime = whole(u"[0-9TZ:+. -]{1,40}"_s);
    const QRegularExpression* pattern = nullptr;
    if (name == u"align")
        pattern = &align;
    else if (name == u"valign")
        pattern = &valign;
    else if (name == u"width" || name == u"height")
        pattern = &size;
    else if (name == u"bgcolor" || (name == u"color" && element == u"font"))
        pattern = &color;
    else if (name == u"face" && element == u"font")
        pattern = &face;
    else if (name == u"size" && element == u"font")
        pattern = &fontSize;
    else if (name == u"border" || name == u"cellpadding" || name == u"cellspacing")
        pattern = &small;
    else if (name == u"colspan" || name == u"rowspan" || name == u"span" || name == u"start" || name == u"value")
        pattern = &count;
    else if (name == u"type" && (element == u"ol" || element == u"ul" || element == u"li"))
        pattern = &listType;
    else if (name == u"dir")
        pattern = &dir;
    else if (name == u"lang")
        pattern = &lang;
    else if (name == u"scope" && (element == u"th" || element == u"td"))
        pattern = &scope;
    else if (name == u"datetime")
        pattern = &datetime;
    const QString trimmed = value.trimmed();
    if (!pattern || !pattern->match(trimmed).hasMatch())
        return std::nullopt;
    return trimmed;
}

class Sanitizer
{
public:
    Sanitizer(QStringView html, const SanitizeHooks& hooks) : m_tokens(html), m_hooks(hooks) {}

    QString run();

private:
    void startTag(const HtmlTokenizer::Token& token);
    void endTag(const QString& name);
    void open(const QString& name, const QString& attributes);
    qsizetype openIndex(const QSet<QString>& names, const QSet<QString>& boundaries) const;
    void closeTo(qsizetype index);
    QString contentHref(const QString& url) const;

    HtmlTokenizer m_tokens;
    const SanitizeHooks& m_hooks;
    QString m_out;
    std::vector<QString> m_open;
    QString m_dropping; // the element whose content is being dropped
    int m_dropDepth = 0;
};

QString Sanitizer::run()
{
    while (true) {
        const HtmlTokenizer::Token token = m_tokens.next();
        if (token.kind == HtmlTokenizer::Kind::End)
            break;
        if (!m_dropping.isEmpty()) {
            // Inside an element dropped with its content: only its own nesting counts.
            if (token.kind == HtmlTokenizer::Kind::StartTag && token.name == m_dropping && !isVoid(token.name))
                ++m_dropDepth;
            else if (token.kind == HtmlTokenizer::Kind::EndTag && token.name == m_dropping && --m_dropDepth == 0)
                m_dropping.clear();
            continue;
        }
        if (token.kind == HtmlTokenizer::Kind::Text)
            appendEscapedHtml(m_out, token.text);
        else if (token.kind == HtmlTokenizer::Kind::StartTag)
            startTag(token);
        else
            endTag(token.name);
    }
    closeTo(0);
    return m_out;
}

QString Sanitizer::contentHref(const QString& url) const
{
    if (!m_hooks.contentPath)
        return {};
    QString id = url.mid(url.indexOf(u':') + 1).trimmed();
    id = QString::fromUtf8(QByteArray::fromPercentEncoding(id.toUtf8()));
    if (id.startsWith(u'<') && id.endsWith(u'>'))
        id = id.mid(1, id.size() - 2);
    return relativeHref(m_hooks.contentPath(id));
}

void Sanitizer::startTag(const HtmlTokenizer::Token& token)
{
    const QString& name = token.name;
    if (droppedWithContent().contains(name)) {
        if (!isVoid(name) && !token.selfClosing) {
            m_dropping = name;
            m_dropDepth = 1;
        }
        return;
    }
    if (!keptElements().contains(name) || m_open.size() >= kMaxDepth)
        return;
    QString attributes;
    QString href, src;
    for (const auto& [attribute, value] : token.attributes) {
        if (attribute == u"href" && name == u"a") {
            const QString url = cleanUrl(value);
            const UrlKind kind = urlKind(url);
            if (kind == UrlKind::Web || kind == UrlKind::Mail)
                href = url;
            else if (kind == UrlKind::Content)
                href = contentHref(url);
            continue;
        }
        if (attribute == u"src" && name == u"img") {
            const QString url = cleanUrl(value);
            if (urlKind(url) == UrlKind::Content)
                src = contentHref(url);
            continue;
        }
        if (const auto kept = cleanAttribute(name, attribute, value))
            attributes += u' ' + attribute + (kept->isEmpty() ? QString() : u"=\""_s + escapeHtml(*kept) + u'"');
    }
    if (name == u"img") {
        if (src.isEmpty()) {
            // Nothing is loaded from outside: a picture that is not a part of the mail is a placeholder.
            m_out += u"<span class=\"rt-added rt-placeholder\">[图片未加载]</span>"_s;
            return;
        }
        attributes.prepend(u" src=\""_s + escapeHtml(src) + u'"');
    }
    if (name == u"a") {
        if (!href.isEmpty())
            attributes.prepend(u" href=\""_s + escapeHtml(href) + u"\" rel=\"noopener noreferrer\""_s);
    }
    open(name, attributes);
}

// The innermost open element of one of the names, searched no further than one of the boundaries; -1 when
// there is none.
qsizetype Sanitizer::openIndex(const QSet<QString>& names, const QSet<QString>& boundaries) const
{
    for (qsizetype i = qsizetype(m_open.size()) - 1; i >= 0; --i) {
        if (names.contains(m_open[size_t(i)]))
            return i;
        if (boundaries.contains(m_open[size_t(i)]))
            return -1;
    }
    return -1;
}

void Sanitizer::open(const QString& name, const QString& attributes)
{
    // What a browser closes by itself when this element starts is closed here, so that the output nests as
    // the browser sees it and reads without a parse error.
    static const QSet<QString> closesParagraph = {
        u"address"_s, u"article"_s,    u"aside"_s,  u"blockquote"_s, u"center"_s,  u"details"_s, u"div"_s,
        u"dl"_s,      u"figcaption"_s, u"figure"_s, u"footer"_s,     u"h1"_s,      u"h2"_s,      u"h3"_s,
        u"h4"_s,      u"h5"_s,         u"h6"_s,     u"header"_s,     u"hr"_s,      u"main"_s,    u"nav"_s,
        u"ol"_s,      u"p"_s,          u"pre"_s,    u"section"_s,    u"summary"_s, u"table"_s,   u"ul"_s};
    static const QSet<QString> tableScope = {u"table"_s, u"td"_s, u"th"_s, u"caption"_s};
    qsizetype close = -1;
    if (closesParagraph.contains(name))
        close = openIndex({u"p"_s}, tableScope);
    if (name == u"li")
        close = openIndex({u"li"_s}, {u"ul"_s, u"ol"_s, u"table"_s});
    else if (name == u"dt" || name == u"dd")
        close = openIndex({u"dt"_s, u"dd"_s}, {u"dl"_s, u"table"_s});
    else if (name == u"td" || name == u"th")
        close = openIndex({u"td"_s, u"th"_s}, {u"tr"_s, u"table"_s});
    else if (name == u"tr")
        close = openIndex({u"tr"_s}, {u"table"_s});
    if (close >= 0)
        closeTo(close);
    m_out += u'<' + name + attributes + u'>';
    if (!isVoid(name))
        m_open.push_back(name);
}

void Sanitizer::endTag(const QString& name)
{
    for (qsizetype i = qsizetype(m_open.size()) - 1; i >= 0; --i) {
        if (m_open[size_t(i)] == name) {
            closeTo(i);
            return;
        }
    }
}

void Sanitizer::closeTo(qsizetype index)
{
    while (qsizetype(m_open.size()) > index) {
        m_out += u"</"_s + m_open.back() + u'>';
        m_open.pop_back();
    }
}

} // namespace

QString sanitizeHtml(QStringView html, const SanitizeHooks& hooks)
{
    return Sanitizer(html, hooks).run();
}

QString htmlPlainText(QStringView html)
{
    static const QSet<QString> blocks = {
        u"p"_s,  u"div"_s, u"br"_s,      u"li"_s,      u"tr"_s,     u"h1"_s,     u"h2"_s,         u"h3"_s,    u"h4"_s,
        u"h5"_s, u"h6"_s,  u"hr"_s,      u"pre"_s,     u"dt"_s,     u"dd"_s,     u"blockquote"_s, u"table"_s, u"ul"_s,
        u"ol"_s, u"dl"_s,  u"section"_s, u"article"_s, u"header"_s, u"footer"_s, u"address"_s,    u"center"_s};
    HtmlTokenizer tokens(html);
    QString out;
    QString dropping;
    int dropDepth = 0;
    int pre = 0;
    bool cellStarted = false;
    while (true) {
        const HtmlTokenizer::Token token = tokens.next();
        if (token.kind == HtmlTokenizer::Kind::End)
            break;
        if (!dropping.isEmpty()) {
            if (token.kind == HtmlTokenizer::Kind::StartTag && token.name == dropping)
                ++dropDepth;
            else if (token.kind == HtmlTokenizer::Kind::EndTag && token.name == dropping && --dropDepth == 0)
                dropping.clear();
            continue;
        }
        if (token.kind == HtmlTokenizer::Kind::Text) {
            if (pre > 0) {
                out += token.text;
                continue;
            }
            // Compiled once: the DXL import takes the text of every mail it reads.
            static const QRegularExpression blanks(u"[ \\t\\r\\n\\f]+"_s);
            QString text = token.text;
            text.replace(blanks, u" "_s);
            if (out.isEmpty() || out.endsWith(u'\n') || out.endsWith(u'\t') || out.endsWith(u' '))
                text = text.trimmed().isEmpty() ? QString() : (text.startsWith(u' ') ? text.mid(1) : text);
            out += text;
            continue;
        }
        const QString& name = token.name;
        if (token.kind == HtmlTokenizer::Kind::StartTag && droppedWithContent().contains(name)) {
            if (!isVoid(name) && !token.selfClosing) {
                dropping = name;
                dropDepth = 1;
            }
            continue;
        }
        if (name == u"pre")
            pre = std::max(0, pre + (token.kind == HtmlTokenizer::Kind::StartTag ? 1 : -1));
        if (name == u"td" || name == u"th") {
            if (token.kind == HtmlTokenizer::Kind::StartTag) {
                if (cellStarted)
                    out += u'\t';
                cellStarted = true;
            }
            continue;
        }
        if (name == u"tr")
            cellStarted = false;
        if (blocks.contains(name)) {
            while (out.endsWith(u' '))
                out.chop(1);
            if (!out.isEmpty() && (!out.endsWith(u'\n') || name == u"br"))
                out += u'\n';
        }
    }
    QStringList lines = out.split(u'\n');
    for (QString& line : lines) {
        while (line.endsWith(u' '))
            line.chop(1);
    }
    return lines.join(u'\n').trimmed();
}

} // namespace quill::richtext
