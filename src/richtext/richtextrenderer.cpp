#include "richtext/richtextrenderer.h"

#include "richtext/cssvalues.h"
#include "richtext/dxlstream.h"
#include "richtext/htmltext.h"
#include "richtext/notesbitmap.h"
#include "richtext/plaintext.h"

#include <QHash>
#include <algorithm>
#include <cmath>
#include <memory>
#include <tuple>
#include <vector>

using namespace Qt::StringLiterals;

namespace quill::richtext {
namespace {

// Deeper than this, elements give their content without markup: no page needs more, and browsers slow down.
constexpr size_t kMaxDepth = 200;

enum class Kind
{
    Transparent, // its content, without markup of its own
    Container,   // holds paragraphs: the root, a cell, a section, a block
    Paragraph,
    SectionTitle,
    Run,
    Table,
    Row,
    Link,
    Picture,
    ImageData,
    Caption,
    Attachment,
    Object,
};

enum class LinkKind
{
    Url,
    Document,
    Other,
};

struct FontStyle
{
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    bool superscript = false;
    bool subscript = false;
    QString css; // colour, size and family declarations

    // Appends the content in the markup this style asks for.
    void wrap(QString& out, QStringView content) const
    {
        QStringView tags[6];
        int count = 0;
        if (bold)
            tags[count++] = u"b";
        if (italic)
            tags[count++] = u"i";
        if (underline)
            tags[count++] = u"u";
        if (strike)
            tags[count++] = u"s";
        if (superscript)
            tags[count++] = u"sup";
        else if (subscript)
            tags[count++] = u"sub";
        if (!css.isEmpty()) {
            out += u"<span style=\"";
            appendEscapedHtml(out, css);
            out += u"\">";
        }
        for (int i = 0; i < count; ++i) {
            out += u'<';
            out += tags[i];
            out += u'>';
        }
        out += content;
        for (int i = count - 1; i >= 0; --i) {
            out += u"</";
            out += tags[i];
            out += u'>';
        }
        if (!css.isEmpty())
            out += u"</span>";
    }
};

struct ParStyle
{
    QString styleAttribute; // alignment, indents, spacing as a style attribute, or nothing
    QString list;           // empty, or the list's kind
    QString listKey;        // the list's kind and margin
    QString listOpen;       // the list's opening tag
    QStringView listClose;
};

// What the end of a link, picture, attachment or object needs.
struct Target
{
    LinkKind linkKind = LinkKind::Url;
    QString href;
    QString label;
    QString missingLabel;
    QString imageFormat;
    QString imageName;
    QString width;
    QString height;
    QString alt;
    QString caption;
};

struct Frame
{
    Kind kind = Kind::Transparent;
    QStringView close;        // written when the element ends
    qsizetype buffer = -1;    // the buffer the frame's content goes to; -1: its parent's
    bool ownsBuffer = false;  // the frame made that buffer, and wraps it at its end
    bool summarySeen = false; // a section's title has been given
    bool columnsOpen = false; // a table's <colgroup> is open
    bool rowSeen = false;
    FontStyle font;
    // A container's open list: its kind and margin, and the tag that closes it.
    QString listKey;
    QStringView listClose;
    std::unique_ptr<Target> target;
};

class Renderer
{
public:
    Renderer(DxlStream& stream, const PageResources& resources) : m_stream(stream), m_resources(resources)
    {
        m_frames.reserve(32);
    }

    RenderedHtml render(qsizetype inputSize);

private:
    QString& out() { return m_buffers[m_bufferCount - 1]; }
    Frame* parentFrame(size_t up = 1) { return m_frames.size() > up ? &m_frames[m_frames.size() - 1 - up] : nullptr; }
    Frame* nearest(Kind kind);
    Frame* container();
    void pushBuffer(Frame& frame);
    QStringView popBuffer(Frame& frame);

    void start();
    void end();
    void text(QStringView data);

    void readParDef();
    void readFont();
    void startParagraph(Frame& frame, bool sectionTitle);
    void closeList(Frame& holder);
    void startTable(Frame& frame);
    void startColumn();
    void startRow(Frame& frame);
    void startCell(Frame& frame);
    void startLink(Frame& frame);
    void startPicture(Frame& frame);
    void startAttachment(Frame& frame);
    void endLink(const Frame& frame, QStringView content);
    void endPicture(const Frame& frame);
    void appendPicture(const Target& picture, const QByteArray& bytes, const QString& extension);
    QString savedPath(FileToSave file);
    bool writesText() const { return m_inPar && m_suppress == 0; }
    void newline()
    {
        if (m_parDepth == 0)
            out() += u'\n';
    }

    DxlStream& m_stream;
    const PageResources& m_resources;
    std::vector<Frame> m_frames;
    // A stack of buffers; those above m_bufferCount are kept for their room.
    std::vector<QString> m_buffers;
    qsizetype m_bufferCount = 0;
    QHash<QString, ParStyle> m_parDefs;
    QString m_lastDef;
    const ParStyle* m_lastStyle = nullptr; // of m_lastDef; null when to be looked up
    bool m_inPar = false;
    int m_parDepth = 0;
    int m_suppress = 0;
    QString m_data; // the base64 text of the picture being read
    int m_pictureCount = 0;
};

void appendAdded(QString& out, QStringView words)
{
    out += u"<span class=\"rt-added\">";
    appendEscapedHtml(out, words);
    out += u"</span>";
}

void appendPlaceholder(QString& out, QStringView words)
{
    out += u"<span class=\"rt-added rt-placeholder\">[";
    appendEscapedHtml(out, words);
    out += u"]</span>";
}

void appendAttribute(QString& out, QStringView name, QStringView value)
{
    out += u' ';
    out += name;
    out += u"=\"";
    appendEscapedHtml(out, value);
    out += u'"';
}

// Declarations of a style, separated by ';'.
template <typename... Parts> void addDeclaration(QString& css, const Parts&... parts)
{
    if (!css.isEmpty())
        css += u';';
    ((css += parts), ...);
}

// The opening tag of a list of this kind, and the tag that closes it.
std::pair<QString, QStringView> listTags(QStringView kind, const QString& css)
{
    QString style;
    if (!css.isEmpty())
        appendAttribute(style, u"style", css);
    if (kind == u"number")
        return {u"<ol class=\"rt-list\""_s + style + u'>', u"</ol>"};
    static constexpr std::pair<QStringView, QStringView> types[] = {
        {u"alphaupper", u"A"}, {u"alphalower", u"a"}, {u"romanupper", u"I"}, {u"romanlower", u"i"}};
    for (const auto& [name, type] : types) {
        if (kind == name)
            return {u"<ol class=\"rt-list\" type=\""_s + type + u'"' + style + u'>', u"</ol>"};
    }
    const QString cls = kind == u"bullet" ? u"rt-list"_s : u"rt-list rt-"_s + kind;
    return {u"<ul class=\""_s + cls + u'"' + style + u'>', u"</ul>"};
}

ParStyle parStyle(DxlStream& stream)
{
    ParStyle style;
    QString css;
    const QStringView align = stream.attribute("align"_L1);
    if (align == u"right" || align == u"center")
        addDeclaration(css, u"text-align:", align);
    else if (align == u"full")
        addDeclaration(css, u"text-align:justify");
    // Notes measures margins from the page's edge, where the text begins 1 inch in.
    const double left = inches(stream.attribute("leftmargin"_L1)).value_or(1.0);
    const double first = inches(stream.attribute("firstlineleftmargin"_L1)).value_or(left);
    const auto inch = [](double v) -> QString {
        return QString::number(std::round(v * 1000) / 1000, 'g', 6) + u"in"_s;
    };
    if (std::abs(first - left) > 0.005)
        addDeclaration(css, u"text-indent:", inch(first - left));
    const auto spacing = [](QStringView value) -> double { return value == u"1.5" ? 0.5 : value == u"2" ? 1.0 : 0.0; };
    if (const double before = spacing(stream.attribute("spacebefore"_L1)); before > 0)
        addDeclaration(css, u"margin-top:", QString::number(before), u"em");
    if (const double after = spacing(stream.attribute("spaceafter"_L1)); after > 0)
        addDeclaration(css, u"margin-bottom:", QString::number(after), u"em");
    if (const double lines = spacing(stream.attribute("linespacing"_L1)); lines > 0)
        addDeclaration(css, u"line-height:", QString::number(1.25 * (1 + lines)));
    const QStringView list = stream.attribute("list"_L1);
    static constexpr QStringView lists[] = {u"bullet", u"number",     u"check",      u"uncheck",    u"circle",
                                            u"square", u"alphaupper", u"alphalower", u"romanupper", u"romanlower"};
    if (std::find(std::begin(lists), std::end(lists), list) != std::end(lists)) {
        style.list = list.toString();
        // A list's items stand a quarter inch right of its margin.
        QString listCss;
        if (left - 1.25 > 0.005)
            listCss = u"margin-left:"_s + inch(left - 1.25);
        style.listKey = style.list + u'|' + listCss;
        std::tie(style.listOpen, style.listClose) = listTags(list, listCss);
    } else if (left - 1 > 0.005) {
        addDeclaration(css, u"margin-left:", inch(left - 1));
    }
    if (!css.isEmpty())
        appendAttribute(style.styleAttribute, u"style", css);
    return style;
}

// The bytes of a picture in a format every browser shows, by what they are rather than what they are called.
QString sniffImage(const QByteArray& bytes)
{
    if (bytes.startsWith("GIF87a") || bytes.startsWith("GIF89a"))
        return u"gif"_s;
    if (bytes.startsWith("\xff\xd8\xff"))
        return u"jpg"_s;
    if (bytes.startsWith("\x89PNG\r\n\x1a\n"))
        return u"png"_s;
    return {};
}

// Blanks, one to five digits, blanks, an optional "px", blanks: the number of pixels when it is not 0.
QString pixels(QStringView value)
{
    const auto blank = [](QChar c) { return c == u' ' || (c.unicode() >= u'\t' && c.unicode() <= u'\r'); };
    qsizetype i = 0;
    while (i < value.size() && blank(value[i]))
        ++i;
    const qsizetype begin = i;
    while (i < value.size() && value[i].unicode() >= u'0' && value[i].unicode() <= u'9')
        ++i;
    const QStringView digits = value.mid(begin, i - begin);
    if (digits.isEmpty() || digits.size() > 5)
        return {};
    while (i < value.size() && blank(value[i]))
        ++i;
    if (value.mid(i).startsWith(u"px"))
        i += 2;
    while (i < value.size() && blank(value[i]))
        ++i;
    const int number = digits.toInt();
    return i == value.size() && number > 0 ? QString::number(number) : QString();
}

RenderedHtml Renderer::render(qsizetype inputSize)
{
    m_buffers.emplace_back();
    m_bufferCount = 1;
    // Pictures' data make most of a large input, and none of the page.
    m_buffers.front().reserve(std::min<qsizetype>(inputSize, 1 << 16) + 64);
    m_buffers.front() += u"<div class=\"rt\">\n";
    RenderedHtml result;
    bool rootSeen = false;
    while (true) {
        const DxlStream::Token token = m_stream.next();
        if (token == DxlStream::Token::Start) {
            if (!rootSeen) {
                rootSeen = true;
                m_frames.emplace_back();
                m_frames.back().kind = Kind::Container;
                m_frames.back().buffer = 0;
                continue;
            }
            start();
        } else if (token == DxlStream::Token::End) {
            end();
        } else if (token == DxlStream::Token::Text) {
            text(m_stream.text());
        } else {
            if (token == DxlStream::Token::Error)
                result.error = m_stream.error();
            break;
        }
    }
    // After an error, what is open is closed as if the element had ended there.
    while (!m_frames.empty())
        end();
    m_buffers.front() += u"</div>\n";
    result.html = std::move(m_buffers.front());
    return result;
}

Frame* Renderer::nearest(Kind kind)
{
    for (auto it = m_frames.rbegin(); it != m_frames.rend(); ++it) {
        if (it->kind == kind)
            return &*it;
    }
    return nullptr;
}

Frame* Renderer::container()
{
    return nearest(Kind::Container);
}

void Renderer::pushBuffer(Frame& frame)
{
    if (m_bufferCount == qsizetype(m_buffers.size()))
        m_buffers.emplace_back();
    else
        m_buffers[size_t(m_bufferCount)].resize(0);
    frame.buffer = m_bufferCount++;
    frame.ownsBuffer = true;
}

// The content of the frame's buffer, valid until the next pushBuffer().
QStringView Renderer::popBuffer(Frame& frame)
{
    if (!frame.ownsBuffer || frame.buffer != m_bufferCount - 1)
        return {};
    --m_bufferCount;
    frame.buffer = -1;
    frame.ownsBuffer = false;
    return m_buffers[size_t(m_bufferCount)];
}

void Renderer::start()
{
    const QStringView name = m_stream.name();
    // Elements that give nothing: definitions, code, and what only a Notes client can run.
    static constexpr QStringView nothing[] = {u"code",        u"imagemap",       u"javascript",    u"embeddedcontrol",
                                              u"lotusscript", u"javaapplet",     u"activeobject",  u"parstyle",
                                              u"border",      u"cellbackground", u"tablerowstyle", u"nonxmlchar"};
    if (name == u"pardef") {
        readParDef();
        m_stream.skipElement();
        return;
    }
    if (name == u"font") {
        readFont();
        m_stream.skipElement();
        return;
    }
    if (std::find(std::begin(nothing), std::end(nothing), name) != std::end(nothing)) {
        m_stream.skipElement();
        return;
    }
    const bool deep = m_frames.size() >= kMaxDepth;
    if (deep && (name == u"picture" || name == u"attachmentref" || name == u"objectref")) {
        m_stream.skipElement(); // no text of theirs shows, and there is no markup for them this deep
        return;
    }
    m_frames.emplace_back();
    Frame& frame = m_frames.back();
    if (name == u"par" || name == u"sectiontitle") {
        startParagraph(frame, name == u"sectiontitle");
        return;
    }
    if (deep)
        return;
    const Frame* parent = parentFrame();
    if (name == u"run") {
        frame.kind = Kind::Run;
        pushBuffer(frame);
    } else if (name == u"block") {
        frame.kind = Kind::Container;
        pushBuffer(frame);
    } else if (name == u"table") {
        startTable(frame);
    } else if (name == u"tablecolumn") {
        startColumn();
    } else if (name == u"tablerow" && parent && parent->kind == Kind::Table) {
        startRow(frame);
    } else if (name == u"tablecell") {
        startCell(frame);
    } else if (name == u"section") {
        if (Frame* holder = container())
            closeList(*holder);
        frame.kind = Kind::Container;
        frame.buffer = m_bufferCount - 1;
        frame.close = u"</details>";
        out() += u"<details class=\"rt-section\" open>";
    } else if (name == u"horizrule") {
        QString css;
        if (const QString h = cssLength(m_stream.attribute("height"_L1)); !h.isEmpty())
            addDeclaration(css, u"height:", h);
        if (const QString w = cssLength(m_stream.attribute("width"_L1)); !w.isEmpty())
            addDeclaration(css, u"width:", w);
        if (const QString c = cssColor(m_stream.attribute("color"_L1)); !c.isEmpty())
            addDeclaration(css, u"background-color:", c);
        out() += u"<hr class=\"rt-hr\"";
        if (!css.isEmpty())
            appendAttribute(out(), u"style", css);
        out() += u'>';
    } else if (name == u"break") {
        if (writesText())
            out() += u"<br>";
    } else if (name == u"tab") {
        if (writesText())
            out() += u'\t';
    } else if (name == u"urllink" || name == u"doclink" || name == u"viewlink" || name == u"databaselink" ||
               name == u"namedelementlink") {
        startLink(frame);
    } else if (name == u"picture") {
        startPicture(frame);
    } else if (parent && parent->kind == Kind::Picture &&
               (name == u"gif" || name == u"jpeg" || name == u"png" || name == u"notesbitmap" || name == u"cgm" ||
                name == u"bitmap" || name == u"nativeimage" || name == u"imageref")) {
        frame.kind = Kind::ImageData;
        Target& picture = *m_frames[m_frames.size() - 2].target;
        picture.imageFormat = name.toString();
        if (name == u"imageref")
            picture.imageName = m_stream.attribute("name"_L1).toString();
        m_data.clear();
    } else if (parent && parent->kind == Kind::Picture && name == u"caption") {
        frame.kind = Kind::Caption;
    } else if (name == u"attachmentref") {
        startAttachment(frame);
    } else if (name == u"objectref") {
        frame.kind = Kind::Object;
        frame.target = std::make_unique<Target>();
        frame.target->label = m_stream.attribute("description"_L1).toString();
        ++m_suppress;
        pushBuffer(frame);
    }
}

void Renderer::readParDef()
{
    const QStringView id = m_stream.attribute("id"_L1);
    if (!id.isEmpty()) {
        m_parDefs.insert(id.toString(), parStyle(m_stream));
        m_lastStyle = nullptr;
    }
}

// A <font> sets the style of the run, title or block it is in.
void Renderer::readFont()
{
    Frame* holder = nullptr;
    for (auto it = m_frames.rbegin(); it != m_frames.rend() && !holder; ++it) {
        if (it->kind == Kind::Run || it->kind == Kind::SectionTitle || (it->kind == Kind::Container && it->ownsBuffer))
            holder = &*it;
        else if (it->kind != Kind::Transparent)
            break;
    }
    if (!holder)
        return;
    FontStyle& font = holder->font;
    for (const QStringView style : m_stream.attribute("style"_L1).tokenize(u' ', Qt::SkipEmptyParts)) {
        font.bold = font.bold || style == u"bold";
        font.italic = font.italic || style == u"italic";
        font.underline = font.underline || style == u"underline";
        font.strike = font.strike || style == u"strikethrough";
        font.superscript = font.superscript || style == u"superscript";
        font.subscript = font.subscript || style == u"subscript";
    }
    QString css;
    if (const QString c = cssColor(m_stream.attribute("color"_L1)); !c.isEmpty())
        addDeclaration(css, u"color:", c);
    if (const QString s = cssFontSize(m_stream.attribute("size"_L1)); !s.isEmpty())
        addDeclaration(css, u"font-size:", s);
    if (const QString f = cssFontFamily(m_stream.attribute("name"_L1)); !f.isEmpty())
        addDeclaration(css, u"font-family:", f);
    if (!css.isEmpty())
        font.css = css;
}

void Renderer::startParagraph(Frame& frame, bool sectionTitle)
{
    m_inPar = true;
    ++m_parDepth;
    frame.kind = sectionTitle ? Kind::SectionTitle : Kind::Paragraph;
    if (m_frames.size() > kMaxDepth)
        return;
    if (sectionTitle) {
        pushBuffer(frame);
        return;
    }
    const QStringView def = m_stream.attribute("def"_L1);
    // A paragraph without a definition of its own keeps the one before it.
    if (!def.isEmpty() && def != m_lastDef) {
        m_lastDef = def.toString();
        m_lastStyle = nullptr;
    }
    if (!m_lastStyle) {
        static const ParStyle none;
        const auto it = m_parDefs.constFind(m_lastDef);
        m_lastStyle = it == m_parDefs.constEnd() ? &none : &*it;
    }
    const ParStyle& style = *m_lastStyle;
    Frame* holder = container();
    // A list is opened in its container's own buffer only: a paragraph inside a run or link is no list item.
    const bool listable = holder && holder->buffer == m_bufferCount - 1;
    if (!style.list.isEmpty() && listable) {
        if (holder->listKey != style.listKey) {
            closeList(*holder);
            out() += style.listOpen;
            holder->listKey = style.listKey;
            holder->listClose = style.listClose;
        }
        out() += u"<li class=\"rt-p\"";
        out() += style.styleAttribute;
        out() += u'>';
        frame.close = u"</li>";
        return;
    }
    if (listable)
        closeList(*holder);
    out() += u"<div class=\"rt-p\"";
    out() += style.styleAttribute;
    out() += u'>';
    frame.close = u"</div>";
}

void Renderer::closeList(Frame& holder)
{
    if (holder.listKey.isEmpty())
        return;
    QString& buffer = holder.buffer >= 0 && holder.buffer < m_bufferCount ? m_buffers[size_t(holder.buffer)] : out();
    buffer += holder.listClose;
    buffer += u'\n';
    holder.listKey.clear();
    holder.listClose = {};
}

void Renderer::startTable(Frame& frame)
{
    if (Frame* holder = container())
        closeList(*holder);
    frame.kind = Kind::Table;
    frame.close = u"</table>";
    QString css;
    const QStringView widthType = m_stream.attribute("widthtype"_L1);
    if (widthType == u"fitmargins" || widthType == u"fitwindow")
        addDeclaration(css, u"width:100%");
    if (const QString c = cssColor(m_stream.attribute("bgcolor"_L1)); !c.isEmpty())
        addDeclaration(css, u"background-color:", c);
    out() += u"<table class=\"rt-table\"";
    if (!css.isEmpty())
        appendAttribute(out(), u"style", css);
    out() += u'>';
}

void Renderer::startColumn()
{
    Frame* table = parentFrame();
    if (!table || table->kind != Kind::Table || table->rowSeen)
        return;
    if (!table->columnsOpen) {
        out() += u"<colgroup>";
        table->columnsOpen = true;
    }
    const QString width = cssLength(m_stream.attribute("width"_L1));
    out() += u"<col";
    if (!width.isEmpty())
        appendAttribute(out(), u"style", QString(u"width:"_s + width));
    out() += u'>';
}

void Renderer::startRow(Frame& frame)
{
    Frame& table = m_frames[m_frames.size() - 2];
    if (table.columnsOpen) {
        out() += u"</colgroup>";
        table.columnsOpen = false;
    }
    table.rowSeen = true;
    frame.kind = Kind::Row;
    frame.close = u"</tr>";
    out() += u"<tr>";
}

void Renderer::startCell(Frame& frame)
{
    frame.kind = Kind::Container;
    frame.buffer = m_bufferCount - 1;
    const Frame* parent = parentFrame();
    if (!parent || parent->kind != Kind::Row)
        return;
    QString& tag = out();
    tag += u"<td";
    if (const auto span = boundedInteger(m_stream.attribute("columnspan"_L1), 2, 1000))
        tag += u" colspan=\""_s + QString::number(*span) + u'"';
    if (const auto span = boundedInteger(m_stream.attribute("rowspan"_L1), 2, 1000))
        tag += u" rowspan=\""_s + QString::number(*span) + u'"';
    if (const QString c = cssColor(m_stream.attribute("bgcolor"_L1)); !c.isEmpty())
        appendAttribute(tag, u"style", QString(u"background-color:"_s + c));
    tag += u'>';
    frame.close = u"</td>";
}

void Renderer::startLink(Frame& frame)
{
    frame.kind = Kind::Link;
    frame.target = std::make_unique<Target>();
    Target& link = *frame.target;
    const QStringView name = m_stream.name();
    pushBuffer(frame);
    if (name == u"urllink") {
        link.linkKind = LinkKind::Url;
        const QString href = cleanUrl(m_stream.attribute("href"_L1));
        const UrlKind kind = urlKind(href);
        if (kind == UrlKind::Web || kind == UrlKind::Mail)
            link.href = link.label = href;
        link.missingLabel = u"链接"_s;
        return;
    }
    if (name == u"doclink") {
        link.linkKind = LinkKind::Document;
        const DocumentLink target{m_stream.attribute("document"_L1).toString(),
                                  m_stream.attribute("database"_L1).toString(),
                                  m_stream.attribute("view"_L1).toString(), m_stream.attribute("server"_L1).toString(),
                                  m_stream.attribute("description"_L1).toString()};
        if (m_resources.documentPath && !target.unid.isEmpty())
            link.href = relativeHref(m_resources.documentPath(target));
        link.label = target.description.isEmpty() ? u"文档链接"_s : target.description;
        link.missingLabel = target.unid.isEmpty() ? u"文档链接"_s : u"文档链接 "_s + target.unid;
        return;
    }
    link.linkKind = LinkKind::Other;
    const QStringView description = m_stream.attribute("description"_L1);
    const QString what = name == u"viewlink" ? u"视图链接"_s : name == u"databaselink" ? u"数据库链接"_s : u"链接"_s;
    link.missingLabel = description.isEmpty() ? what : what + u"："_s + description;
}

void Renderer::startPicture(Frame& frame)
{
    frame.kind = Kind::Picture;
    frame.target = std::make_unique<Target>();
    Target& picture = *frame.target;
    ++m_suppress;
    const QString scaledWidth = cssLength(m_stream.attribute("scaledwidth"_L1));
    const QString scaledHeight = cssLength(m_stream.attribute("scaledheight"_L1));
    if (!scaledWidth.isEmpty() && !scaledHeight.isEmpty()) {
        picture.width = u"width:"_s + scaledWidth + u";height:"_s + scaledHeight;
    } else {
        picture.width = pixels(m_stream.attribute("width"_L1));
        picture.height = pixels(m_stream.attribute("height"_L1));
    }
    picture.alt = m_stream.attribute("alttext"_L1).toString();
}

void Renderer::startAttachment(Frame& frame)
{
    frame.kind = Kind::Attachment;
    frame.target = std::make_unique<Target>();
    Target& attachment = *frame.target;
    ++m_suppress;
    const QStringView name = m_stream.attribute("name"_L1);
    const QStringView displayName = m_stream.attribute("displayname"_L1);
    attachment.label = (displayName.isEmpty() ? name : displayName).toString();
    if (m_resources.attachmentPath && !name.isEmpty())
        attachment.href = relativeHref(m_resources.attachmentPath(name.toString()));
    pushBuffer(frame);
}

void Renderer::text(QStringView data)
{
    if (!m_frames.empty() && m_frames.back().kind == Kind::ImageData) {
        m_data += data;
        return;
    }
    if (!m_frames.empty() && m_frames.back().kind == Kind::Caption) {
        m_frames[m_frames.size() - 2].target->caption += withoutLineEnds(data);
        return;
    }
    if (!writesText())
        return;
    if (data.contains(u'\n') || data.contains(u'\r'))
        appendEscapedHtml(out(), withoutLineEnds(data));
    else
        appendEscapedHtml(out(), data);
}

void Renderer::end()
{
    Frame frame = std::move(m_frames.back());
    m_frames.pop_back();
    switch (frame.kind) {
    case Kind::Paragraph:
    case Kind::SectionTitle:
        m_inPar = false;
        --m_parDepth;
        if (frame.kind == Kind::SectionTitle && frame.ownsBuffer) {
            const QStringView content = popBuffer(frame);
            Frame* section = m_frames.empty() ? nullptr : &m_frames.back();
            const bool summary = section && section->close == u"</details>" && !section->summarySeen;
            if (summary) {
                section->summarySeen = true;
                out() += u"<summary class=\"rt-section-title\">";
                frame.font.wrap(out(), content);
                out() += u"</summary>";
            } else {
                out() += u"<div class=\"rt-p rt-section-title\">";
                frame.font.wrap(out(), content);
                out() += u"</div>";
            }
        } else {
            out() += frame.close;
        }
        newline();
        return;
    case Kind::Run: {
        const QStringView content = popBuffer(frame); // before out(), which it changes
        frame.font.wrap(out(), content);
        return;
    }
    case Kind::Container:
        closeList(frame);
        if (frame.ownsBuffer) {
            // A block: its content in its font.
            const QStringView content = popBuffer(frame);
            frame.font.wrap(out(), content);
            return;
        }
        if (m_frames.empty())
            return;
        out() += frame.close;
        if (!frame.close.isEmpty())
            newline();
        return;
    case Kind::Table:
        if (frame.columnsOpen)
            out() += u"</colgroup>";
        out() += frame.close;
        newline();
        return;
    case Kind::Row:
        out() += frame.close;
        newline();
        return;
    case Kind::Link:
        endLink(frame, popBuffer(frame));
        return;
    case Kind::Picture:
        --m_suppress;
        endPicture(frame);
        return;
    case Kind::Attachment: {
        --m_suppress;
        const QStringView icons = popBuffer(frame);
        const Target& attachment = *frame.target;
        QString& html = out();
        if (!attachment.href.isEmpty()) {
            html += u"<a class=\"rt-attachment\"";
            appendAttribute(html, u"href", attachment.href);
            html += u'>';
            html += icons;
            appendAdded(html, attachment.label);
            html += u"</a>";
        } else {
            html += u"<span class=\"rt-attachment rt-missing\">";
            html += icons;
            appendAdded(html, attachment.label);
            appendAdded(html, u"（附件未保存）");
            html += u"</span>";
        }
        return;
    }
    case Kind::Object: {
        --m_suppress;
        const QStringView pictures = popBuffer(frame);
        QString& html = out();
        html += u"<span class=\"rt-object\">";
        html += pictures;
        if (pictures.isEmpty()) {
            const QString& label = frame.target->label;
            appendPlaceholder(html, label.isEmpty() ? u"嵌入对象"_s : u"嵌入对象："_s + label);
        }
        html += u"</span>";
        return;
    }
    case Kind::ImageData:
    case Kind::Caption:
    case Kind::Transparent:
        out() += frame.close;
        return;
    }
}

void Renderer::endLink(const Frame& frame, QStringView content)
{
    const Target& link = *frame.target;
    QString& html = out();
    if (link.linkKind == LinkKind::Document && link.href.isEmpty()) {
        html += u"<span class=\"rt-doclink rt-missing\">";
        html += content;
        appendPlaceholder(html, link.missingLabel);
        html += u"</span>";
        return;
    }
    if (link.linkKind == LinkKind::Other) {
        html += content;
        if (content.isEmpty())
            appendPlaceholder(html, link.missingLabel);
        return;
    }
    const auto shown = [&] {
        if (!content.isEmpty())
            html += content;
        else if (link.label.isEmpty())
            appendPlaceholder(html, link.missingLabel);
        else
            appendAdded(html, link.label);
    };
    if (link.href.isEmpty()) {
        shown();
        return;
    }
    html += link.linkKind == LinkKind::Document ? u"<a class=\"rt-doclink\"" : u"<a class=\"rt-link\"";
    appendAttribute(html, u"href", link.href);
    html += u" rel=\"noopener noreferrer\">";
    shown();
    html += u"</a>";
}

void Renderer::endPicture(const Frame& frame)
{
    const Target& picture = *frame.target;
    const QString& format = picture.imageFormat;
    if (format == u"gif" || format == u"jpeg" || format == u"png" || format == u"notesbitmap") {
        // The base64 text without its blanks, as Latin-1 ('?' for any other character).
        QByteArray data;
        data.reserve(m_data.size());
        for (QChar c : std::as_const(m_data)) {
            if (!c.isSpace())
                data += c.unicode() > 0xff ? '?' : char(c.unicode());
        }
        const auto decoded = QByteArray::fromBase64Encoding(std::move(data), QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded) {
            appendPlaceholder(out(), u"图片：数据无法解码");
        } else if (format == u"notesbitmap") {
            const auto raster = decodeNotesBitmap(*decoded);
            if (raster)
                appendPicture(picture, encodePng(*raster), u"png"_s);
            else
                appendPlaceholder(out(), u"图片：无法解码的Notes位图");
        } else {
            const QString extension = sniffImage(*decoded);
            if (extension.isEmpty())
                appendPlaceholder(out(), u"图片：无法识别的图片数据");
            else
                appendPicture(picture, *decoded, extension);
        }
    } else if (format == u"imageref") {
        appendPlaceholder(out(), picture.imageName.isEmpty() ? u"图片：引用的图像资源"_s
                                                             : u"图片：引用的图像资源“"_s + picture.imageName + u"”"_s);
    } else {
        appendPlaceholder(out(), u"图片：无法显示的格式");
    }
    m_data.clear();
    if (!picture.caption.trimmed().isEmpty()) {
        out() += u"<span class=\"rt-added rt-caption\">";
        appendEscapedHtml(out(), picture.caption);
        out() += u"</span>";
    }
}

void Renderer::appendPicture(const Target& picture, const QByteArray& bytes, const QString& extension)
{
    ++m_pictureCount;
    const QString href =
        savedPath(FileToSave{FileToSave::Kind::Picture,
                             u"picture"_s + QString::number(m_pictureCount) + u'.' + extension, extension, bytes});
    QString& img = out();
    if (href.isEmpty()) {
        appendPlaceholder(img, u"图片未保存");
        return;
    }
    img += u"<img class=\"rt-img\"";
    appendAttribute(img, u"src", href);
    appendAttribute(img, u"alt", picture.alt);
    if (picture.width.startsWith(u"width:")) {
        appendAttribute(img, u"style", picture.width);
    } else {
        if (!picture.width.isEmpty())
            appendAttribute(img, u"width", picture.width);
        if (!picture.height.isEmpty())
            appendAttribute(img, u"height", picture.height);
    }
    img += u'>';
}

QString Renderer::savedPath(FileToSave file)
{
    if (!m_resources.saveFile)
        return {};
    return relativeHref(m_resources.saveFile(file));
}

template <typename Input> RenderedHtml render(const Input& dxl, const PageResources& resources)
{
    DxlStream stream(dxl);
    return Renderer(stream, resources).render(dxl.size());
}

} // namespace

RenderedHtml renderRichText(const QByteArray& dxl, const PageResources& resources)
{
    return render(dxl, resources);
}

RenderedHtml renderRichText(const QString& dxl, const PageResources& resources)
{
    return render(dxl, resources);
}

} // namespace quill::richtext
