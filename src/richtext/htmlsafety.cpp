#include "richtext/htmlsafety.h"

#include "richtext/htmltext.h"
#include "richtext/htmltokenizer.h"

#include <QSet>

using namespace Qt::StringLiterals;

namespace quill::richtext {
namespace {

bool styleLoads(const QString& css)
{
    QString lower = css.toLower();
    lower.remove(u' ');
    return lower.contains(u"url(") || lower.contains(u"expression(") || lower.contains(u"@import") ||
           lower.contains(u'\\') || lower.contains(u"image-set(") || lower.contains(u"image(");
}

} // namespace

QString unsafeMarkup(QStringView html)
{
    static const QSet<QString> elements = {u"script"_s, u"iframe"_s, u"frame"_s,  u"frameset"_s, u"object"_s,
                                           u"embed"_s,  u"applet"_s, u"form"_s,   u"svg"_s,      u"math"_s,
                                           u"base"_s,   u"link"_s,   u"portal"_s, u"input"_s,    u"button"_s,
                                           u"audio"_s,  u"video"_s,  u"source"_s, u"template"_s, u"image"_s};
    static const QSet<QString> attributes = {u"srcset"_s, u"background"_s, u"action"_s,     u"formaction"_s,
                                             u"poster"_s, u"data"_s,       u"xlink:href"_s, u"dynsrc"_s,
                                             u"lowsrc"_s, u"ping"_s,       u"manifest"_s,   u"codebase"_s};
    HtmlTokenizer tokens(html);
    bool inStyle = false;
    while (true) {
        const HtmlTokenizer::Token token = tokens.next();
        if (token.kind == HtmlTokenizer::Kind::End)
            return {};
        if (token.kind == HtmlTokenizer::Kind::Text) {
            if (inStyle && styleLoads(token.text))
                return u"a style sheet that loads something"_s;
            continue;
        }
        if (token.kind == HtmlTokenizer::Kind::EndTag) {
            inStyle = false;
            continue;
        }
        const QString& name = token.name;
        if (elements.contains(name))
            return u"element <"_s + name + u'>';
        inStyle = name == u"style";
        if (name == u"meta") {
            for (const auto& [attribute, value] : token.attributes) {
                const bool harmless = attribute == u"charset" ||
                                      (attribute == u"http-equiv" &&
                                       value.compare(u"content-security-policy"_s, Qt::CaseInsensitive) == 0) ||
                                      (attribute == u"name" && (value == u"referrer" || value == u"viewport")) ||
                                      attribute == u"content";
                if (!harmless)
                    return u"element <meta "_s + attribute + u'>';
            }
        }
        for (const auto& [attribute, value] : token.attributes) {
            if (attribute.startsWith(u"on"))
                return u"event handler "_s + attribute;
            if (attributes.contains(attribute))
                return u"attribute "_s + attribute;
            if (attribute == u"style" && styleLoads(value))
                return u"a style that loads something: "_s + value;
            const QString url = cleanUrl(value);
            if (attribute == u"href") {
                const UrlKind kind = urlKind(url);
                if (kind != UrlKind::Web && kind != UrlKind::Mail && kind != UrlKind::Relative)
                    return u"link to "_s + url;
            }
            if (attribute == u"src" && urlKind(url) != UrlKind::Relative)
                return u"picture from "_s + url;
        }
    }
}

} // namespace quill::richtext
