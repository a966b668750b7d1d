#include "richtext/htmltokenizer.h"

#include <algorithm>
#include <cstring>

using namespace Qt::StringLiterals;

namespace quill::richtext {
namespace {

struct Entity
{
    const char* name;
    char32_t code;
};

// The named character references of HTML 4, in the order of their names.
constexpr Entity kEntities[] = {
    {"AElig", 0xc6},     {"Aacute", 0xc1},   {"Acirc", 0xc2},    {"Agrave", 0xc0},   {"Alpha", 0x391},
    {"Aring", 0xc5},     {"Atilde", 0xc3},   {"Auml", 0xc4},     {"Beta", 0x392},    {"Ccedil", 0xc7},
    {"Chi", 0x3a7},      {"Dagger", 0x2021}, {"Delta", 0x394},   {"ETH", 0xd0},      {"Eacute", 0xc9},
    {"Ecirc", 0xca},     {"Egrave", 0xc8},   {"Epsilon", 0x395}, {"Eta", 0x397},     {"Euml", 0xcb},
    {"Gamma", 0x393},    {"Iacute", 0xcd},   {"Icirc", 0xce},    {"Igrave", 0xcc},   {"Iota", 0x399},
    {"Iuml", 0xcf},      {"Kappa", 0x39a},   {"Lambda", 0x39b},  {"Mu", 0x39c},      {"Ntilde", 0xd1},
    {"Nu", 0x39d},       {"OElig", 0x152},   {"Oacute", 0xd3},   {"Ocirc", 0xd4},    {"Ograve", 0xd2},
    {"Omega", 0x3a9},    {"Omicron", 0x39f}, {"Oslash", 0xd8},   {"Otilde", 0xd5},   {"Ouml", 0xd6},
    {"Phi", 0x3a6},      {"Pi", 0x3a0},      {"Prime", 0x2033},  {"Psi", 0x3a8},     {"Rho", 0x3a1},
    {"Scaron", 0x160},   {"Sigma", 0x3a3},   {"THORN", 0xde},    {"Tau", 0x3a4},     {"Theta", 0x398},
    {"Uacute", 0xda},    {"Ucirc", 0xdb},    {"Ugrave", 0xd9},   {"Upsilon", 0x3a5}, {"Uuml", 0xdc},
    {"Xi", 0x39e},       {"Yacute", 0xdd},   {"Yuml", 0x178},    {"Zeta", 0x396},    {"aacute", 0xe1},
    {"acirc", 0xe2},     {"acute", 0xb4},    {"aelig", 0xe6},    {"agrave", 0xe0},   {"alefsym", 0x2135},
    {"alpha", 0x3b1},    {"amp", 0x26},      {"and", 0x2227},    {"ang", 0x2220},    {"apos", 0x27},
    {"aring", 0xe5},     {"asymp", 0x2248},  {"atilde", 0xe3},   {"auml", 0xe4},     {"bdquo", 0x201e},
    {"beta", 0x3b2},     {"brvbar", 0xa6},   {"bull", 0x2022},   {"cap", 0x2229},    {"ccedil", 0xe7},
    {"cedil", 0xb8},     {"cent", 0xa2},     {"chi", 0x3c7},     {"circ", 0x2c6},    {"clubs", 0x2663},
    {"cong", 0x2245},    {"copy", 0xa9},     {"crarr", 0x21b5},  {"cup", 0x222a},    {"curren", 0xa4},
    {"dArr", 0x21d3},    {"dagger", 0x2020}, {"darr", 0x2193},   {"deg", 0xb0},      {"delta", 0x3b4},
    {"diams", 0x2666},   {"divide", 0xf7},   {"eacute", 0xe9},   {"ecirc", 0xea},    {"egrave", 0xe8},
    {"empty", 0x2205},   {"emsp", 0x2003},   {"ensp", 0x2002},   {"epsilon", 0x3b5}, {"equiv", 0x2261},
    {"eta", 0x3b7},      {"eth", 0xf0},      {"euml", 0xeb},     {"euro", 0x20ac},   {"exist", 0x2203},
    {"fnof", 0x192},     {"forall", 0x2200}, {"frac12", 0xbd},   {"frac14", 0xbc},   {"frac34", 0xbe},
    {"frasl", 0x2044},   {"gamma", 0x3b3},   {"ge", 0x2265},     {"gt", 0x3e},       {"hArr", 0x21d4},
    {"harr", 0x2194},    {"hearts", 0x2665}, {"hellip", 0x2026}, {"iacute", 0xed},   {"icirc", 0xee},
    {"iexcl", 0xa1},     {"igrave", 0xec},   {"image", 0x2111},  {"infin", 0x221e},  {"int", 0x222b},
    {"iota", 0x3b9},     {"iquest", 0xbf},   {"isin", 0x2208},   {"iuml", 0xef},     {"kappa", 0x3ba},
    {"lArr", 0x21d0},    {"lambda", 0x3bb},  {"lang", 0x2329},   {"laquo", 0xab},    {"larr", 0x2190},
    {"lceil", 0x2308},   {"ldquo", 0x201c},  {"le", 0x2264},     {"lfloor", 0x230a}, {"lowast", 0x2217},
    {"loz", 0x25ca},     {"lrm", 0x200e},    {"lsaquo", 0x2039}, {"lsquo", 0x2018},  {"lt", 0x3c},
    {"macr", 0xaf},      {"mdash", 0x2014},  {"micro", 0xb5},    {"middot", 0xb7},   {"minus", 0x2212},
    {"mu", 0x3bc},       {"nabla", 0x2207},  {"nbsp", 0xa0},     {"ndash", 0x2013},  {"ne", 0x2260},
    {"ni", 0x220b},      {"not", 0xac},      {"notin", 0x2209},  {"nsub", 0x2284},   {"ntilde", 0xf1},
    {"nu", 0x3bd},       {"oacute", 0xf3},   {"ocirc", 0xf4},    {"oelig", 0x153},   {"ograve", 0xf2},
    {"oline", 0x203e},   {"omega", 0x3c9},   {"omicron", 0x3bf}, {"oplus", 0x2295},  {"or", 0x2228},
    {"ordf", 0xaa},      {"ordm", 0xba},     {"oslash", 0xf8},   {"otilde", 0xf5},   {"otimes", 0x2297},
    {"ouml", 0xf6},      {"para", 0xb6},     {"part", 0x2202},   {"permil", 0x2030}, {"perp", 0x22a5},
    {"phi", 0x3c6},      {"pi", 0x3c0},      {"piv", 0x3d6},     {"plusmn", 0xb1},   {"pound", 0xa3},
    {"prime", 0x2032},   {"prod", 0x220f},   {"prop", 0x221d},   {"psi", 0x3c8},     {"quot", 0x22},
    {"rArr", 0x21d2},    {"radic", 0x221a},  {"rang", 0x232a},   {"raquo", 0xbb},    {"rarr", 0x2192},
    {"rceil", 0x2309},   {"rdquo", 0x201d},  {"real", 0x211c},   {"reg", 0xae},      {"rfloor", 0x230b},
    {"rho", 0x3c1},      {"rlm", 0x200f},    {"rsaquo", 0x203a}, {"rsquo", 0x2019},  {"sbquo", 0x201a},
    {"scaron", 0x161},   {"sdot", 0x22c5},   {"sect", 0xa7},     {"shy", 0xad},      {"sigma", 0x3c3},
    {"sigmaf", 0x3c2},   {"sim", 0x223c},    {"spades", 0x2660}, {"sub", 0x2282},    {"sube", 0x2286},
    {"sum", 0x2211},     {"sup", 0x2283},    {"sup1", 0xb9},     {"sup2", 0xb2},     {"sup3", 0xb3},
    {"supe", 0x2287},    {"szlig", 0xdf},    {"tau", 0x3c4},     {"there4", 0x2234}, {"theta", 0x3b8},
    {"thetasym", 0x3d1}, {"thinsp", 0x2009}, {"thorn", 0xfe},    {"tilde", 0x2dc},   {"times", 0xd7},
    {"trade", 0x2122},   {"uArr", 0x21d1},   {"uacute", 0xfa},   {"uarr", 0x2191},   {"ucirc", 0xfb},
    {"ugrave", 0xf9},    {"uml", 0xa8},      {"upsih", 0x3d2},   {"upsilon", 0x3c5}, {"uuml", 0xfc},
    {"weierp", 0x2118},  {"xi", 0x3be},      {"yacute", 0xfd},   {"yen", 0xa5},      {"yuml", 0xff},
    {"zeta", 0x3b6},     {"zwj", 0x200d},    {"zwnj", 0x200c}};

// Names that browsers take without their ";" as well.
constexpr const char* kLegacyNames[] = {"amp", "lt", "gt", "quot", "nbsp", "copy", "reg"};

// Code points 0x80-0x9F in a numeric reference mean the characters of windows-1252 there.
constexpr char16_t kWindows1252[32] = {0x20ac, 0xfffd, 0x201a, 0x0192, 0x201e, 0x2026, 0x2020, 0x2021,
                                       0x02c6, 0x2030, 0x0160, 0x2039, 0x0152, 0xfffd, 0x017d, 0xfffd,
                                       0xfffd, 0x2018, 0x2019, 0x201c, 0x201d, 0x2022, 0x2013, 0x2014,
                                       0x02dc, 0x2122, 0x0161, 0x203a, 0x0153, 0xfffd, 0x017e, 0x0178};

bool isAsciiAlpha(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool isAsciiAlnum(QChar c)
{
    return isAsciiAlpha(c) || (c >= u'0' && c <= u'9');
}

bool isSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
}

const Entity* findEntity(const QByteArray& name)
{
    const auto it =
        std::lower_bound(std::begin(kEntities), std::end(kEntities), name,
                         [](const Entity& e, const QByteArray& n) { return std::strcmp(e.name, n.constData()) < 0; });
    return it != std::end(kEntities) && name == it->name ? it : nullptr;
}

void appendCode(QString& out, char32_t code)
{
    if (code >= 0x80 && code <= 0x9f)
        code = kWindows1252[code - 0x80];
    if (code == 0 || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff))
        code = 0xfffd;
    out += QString::fromUcs4(&code, 1);
}

// The reference at text[at] ('&'): appends what it stands for and gives where it ends, or gives at when it
// is no reference.
qsizetype resolveOne(QStringView text, qsizetype at, bool inAttribute, QString& out)
{
    qsizetype i = at + 1;
    if (i < text.size() && text[i] == u'#') {
        ++i;
        const bool hex = i < text.size() && (text[i] == u'x' || text[i] == u'X');
        if (hex)
            ++i;
        const qsizetype digits = i;
        char32_t code = 0;
        bool tooLarge = false;
        while (i < text.size()) {
            const QChar c = text[i];
            int v = -1;
            if (c >= u'0' && c <= u'9')
                v = c.unicode() - u'0';
            else if (hex && c >= u'a' && c <= u'f')
                v = c.unicode() - u'a' + 10;
            else if (hex && c >= u'A' && c <= u'F')
                v = c.unicode() - u'A' + 10;
            if (v < 0)
                break;
            if (code > 0x10ffff)
                tooLarge = true;
            else
                code = code * (hex ? 16 : 10) + char32_t(v);
            ++i;
        }
        if (i == digits)
            return at;
        if (i < text.size() && text[i] == u';')
            ++i;
        appendCode(out, tooLarge ? 0xfffd : code);
        return i;
    }
    qsizetype end = i;
    while (end < text.size() && isAsciiAlnum(text[end]) && end - i < 32)
        ++end;
    if (end == i)
        return at;
    const QByteArray name = text.sliced(i, end - i).toLatin1();
    const bool semicolon = end < text.size() && text[end] == u';';
    if (semicolon) {
        if (const Entity* e = findEntity(name)) {
            appendCode(out, e->code);
            return end + 1;
        }
        return at;
    }
    // Without ";" only the legacy names count, and in an attribute not before a letter, digit or "=".
    for (const char* legacy : kLegacyNames) {
        const qsizetype length = qsizetype(std::strlen(legacy));
        if (name.size() < length || std::strncmp(name.constData(), legacy, size_t(length)) != 0)
            continue;
        const qsizetype after = i + length;
        if (inAttribute && after < text.size() && (isAsciiAlnum(text[after]) || text[after] == u'='))
            return at;
        appendCode(out, findEntity(QByteArray(legacy))->code);
        return after;
    }
    return at;
}

} // namespace

static HtmlTokenizer::Token makeToken(HtmlTokenizer::Kind kind)
{
    HtmlTokenizer::Token token;
    token.kind = kind;
    return token;
}

QString resolveCharacterReferences(QStringView text, bool inAttribute)
{
    if (!text.contains(u'&'))
        return text.toString();
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        if (text[i] == u'&') {
            const qsizetype next = resolveOne(text, i, inAttribute, out);
            if (next != i) {
                i = next;
                continue;
            }
        }
        out += text[i];
        ++i;
    }
    return out;
}

HtmlTokenizer::Token HtmlTokenizer::next()
{
    if (!m_rawEnd.isEmpty())
        return rawText();
    while (m_pos < m_html.size()) {
        if (m_html[m_pos] != u'<') {
            qsizetype end = m_html.indexOf(u'<', m_pos);
            if (end < 0)
                end = m_html.size();
            Token token = makeToken(Kind::Text);
            token.text = resolveCharacterReferences(m_html.sliced(m_pos, end - m_pos), false);
            m_pos = end;
            return token;
        }
        const QStringView rest = m_html.sliced(m_pos);
        if (rest.startsWith(u"<!--")) {
            m_pos += 4;
            // A comment ends at "-->" or "--!>"; "<!-->" and "<!--->" are whole comments.
            if (m_html.sliced(m_pos).startsWith(u">")) {
                m_pos += 1;
                continue;
            }
            if (m_html.sliced(m_pos).startsWith(u"->")) {
                m_pos += 2;
                continue;
            }
            qsizetype end = m_pos;
            while (true) {
                end = m_html.indexOf(u"--"_s, end);
                if (end < 0) {
                    m_pos = m_html.size();
                    break;
                }
                if (m_html.sliced(end + 2).startsWith(u">")) {
                    m_pos = end + 3;
                    break;
                }
                if (m_html.sliced(end + 2).startsWith(u"!>")) {
                    m_pos = end + 4;
                    break;
                }
                ++end;
            }
            continue;
        }
        if (rest.size() >= 2 && (rest[1] == u'!' || rest[1] == u'?')) {
            skipPast(u">");
            continue;
        }
        if (rest.size() >= 3 && rest[1] == u'/') {
            if (isAsciiAlpha(rest[2]))
                return tag(true);
            skipPast(u">");
            continue;
        }
        if (rest.size() >= 2 && isAsciiAlpha(rest[1]))
            return tag(false);
        Token token = makeToken(Kind::Text);
        token.text = u"<"_s;
        ++m_pos;
        return token;
    }
    return makeToken(Kind::End);
}

void HtmlTokenizer::skipPast(QStringView what)
{
    const qsizetype end = m_html.indexOf(what, m_pos);
    m_pos = end < 0 ? m_html.size() : end + what.size();
}

HtmlTokenizer::Token HtmlTokenizer::tag(bool end)
{
    Token token = makeToken(end ? Kind::EndTag : Kind::StartTag);
    qsizetype i = m_pos + (end ? 2 : 1);
    const qsizetype size = m_html.size();
    while (i < size && !isSpace(m_html[i]) && m_html[i] != u'/' && m_html[i] != u'>')
        token.name += m_html[i++].toLower();
    while (true) {
        while (i < size && (isSpace(m_html[i]) || m_html[i] == u'/')) {
            token.selfClosing = m_html[i] == u'/';
            ++i;
        }
        if (i >= size) {
            // A tag cut off by the end of the input is no tag.
            m_pos = size;
            return makeToken(Kind::End);
        }
        if (m_html[i] == u'>') {
            m_pos = i + 1;
            break;
        }
        token.selfClosing = false;
        QString name;
        name += m_html[i++].toLower(); // may be "="
        while (i < size && !isSpace(m_html[i]) && m_html[i] != u'/' && m_html[i] != u'>' && m_html[i] != u'=')
            name += m_html[i++].toLower();
        qsizetype j = i;
        while (j < size && isSpace(m_html[j]))
            ++j;
        QString value;
        if (j < size && m_html[j] == u'=') {
            ++j;
            while (j < size && isSpace(m_html[j]))
                ++j;
            if (j < size && (m_html[j] == u'"' || m_html[j] == u'\'')) {
                const QChar quote = m_html[j];
                const qsizetype close = m_html.indexOf(quote, j + 1);
                if (close < 0) {
                    m_pos = size;
                    return makeToken(Kind::End);
                }
                value = resolveCharacterReferences(m_html.sliced(j + 1, close - j - 1), true);
                j = close + 1;
            } else {
                const qsizetype start = j;
                while (j < size && !isSpace(m_html[j]) && m_html[j] != u'>')
                    ++j;
                value = resolveCharacterReferences(m_html.sliced(start, j - start), true);
            }
            i = j;
        }
        const bool seen = std::any_of(token.attributes.cbegin(), token.attributes.cend(),
                                      [&](const auto& a) { return a.first == name; });
        if (!seen && !end)
            token.attributes.append({name, value});
    }
    if (end) {
        token.attributes.clear();
        return token;
    }
    static const QStringList raw = {u"script"_s,   u"style"_s,    u"xmp"_s,      u"iframe"_s, u"noembed"_s,
                                    u"noframes"_s, u"noscript"_s, u"textarea"_s, u"title"_s,  u"plaintext"_s};
    if (raw.contains(token.name)) {
        m_rawEnd = token.name;
        m_rawDecodes = token.name == u"textarea" || token.name == u"title";
    }
    return token;
}

// The content of a raw-text element, up to the end tag of its name (to the end of the input for plaintext).
HtmlTokenizer::Token HtmlTokenizer::rawText()
{
    const QString name = std::exchange(m_rawEnd, QString());
    qsizetype end = m_html.size();
    if (name != u"plaintext") {
        for (qsizetype at = m_html.indexOf(u"</", m_pos); at >= 0; at = m_html.indexOf(u"</", at + 2)) {
            const QStringView candidate = m_html.sliced(at + 2);
            if (candidate.size() >= name.size() &&
                candidate.first(name.size()).compare(name, Qt::CaseInsensitive) == 0 &&
                (candidate.size() == name.size() || isSpace(candidate[name.size()]) || candidate[name.size()] == u'/' ||
                 candidate[name.size()] == u'>')) {
                end = at;
                break;
            }
        }
    }
    Token token = makeToken(Kind::Text);
    const QStringView content = m_html.sliced(m_pos, end - m_pos);
    token.text = m_rawDecodes ? resolveCharacterReferences(content, false) : content.toString();
    m_pos = end;
    return token;
}

} // namespace quill::richtext
