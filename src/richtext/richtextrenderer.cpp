#include "richtext/richtextrenderer.h"

#include "richtext/cssvalues.h"
#include "richtext/dxlstream.h"
#include "richtext/htmltext.h"
#include "richtext/notesbitmap.h"
#include "richtext/plaintext.h"

#include <QHash>
#include <QRegularExpression>
#include <cmath>
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

    // The content in the markup this style asks for.
    QString wrap(const QString& content) const
    {
        QString open, close;
        const auto add = [&](QStringView tag) {
            open += u'<' + tag + u'>';
            close.prepend(u"</"_s + tag + u'>');
        };
        if (!css.isEmpty()) {
            open += u"<span style=\""_s + escapeHtml(css) + u"\">"_s;
            close = u"</span>"_s;
        }
        if (bold)
            add(u"b");
        if (italic)
            add(u"i");
        if (underline)
            add(u"u");
        if (strike)
            add(u"s");
        if (superscript)
            add(u"sup");
        else if (subscript)
            add(u"sub");
        return open + content + close;
    }
};

struct ParStyle
{
    QString css;  // alignment, indents, spacing
    QString list; // empty, or the list's kind
    QString listCss;
};

struct Frame
{
    Kind kind = Kind::Transparent;
    QString close;           // written when the element ends
    qsizetype buffer = -1;   // the buffer the frame's content goes to; -1: its parent's
    bool ownsBuffer = false; // the frame made that buffer, and wraps it at its end
    FontStyle font;
    // A container's open list: its kind and margin, and the tag that closes it.
    QString listKey;
    QString listClose;
    bool summarySeen = false; // a section's title has been given
    bool columnsOpen = false; // a table's <colgroup> is open
    bool rowSeen = false;
    // Links, pictures and attachments: what their end needs.
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

class Renderer
{
public:
    Renderer(DxlStream& stream, const PageResources& resources) : m_stream(stream), m_resources(resources) {}

    RenderedHtml render();

private:
    QString& out() { return m_buffers.back(); }
    Frame* parentFrame(size_t up = 1) { return m_frames.size() > up ? &m_frames[m_frames.size() - 1 - up] : nullptr; }
    Frame* nearest(Kind kind);
    Frame* container();
    void pushBuffer(Frame& frame);
    QString popBuffer(Frame& frame);

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
    void endLink(Frame& frame, const QString& content);
    void endPicture(Frame& frame);
    QString pictureHtml(const Frame& frame, const QByteArray& bytes, QString extension);
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
    std::vector<QString> m_buffers;
    QHash<QString, ParStyle> m_parDefs;
    QString m_lastDef;
    bool m_inPar = false;
    int m_parDepth = 0;
    int m_suppress = 0;
    QString m_data; // the base64 text of the picture being read
    int m_pictureCount = 0;
};

QString added(const QString& words)
{
    return u"<span class=\"rt-added\">"_s + escapeHtml(words) + u"</span>"_s;
}

QString placeholder(const QString& words)
{
    return u"<span class=\"rt-added rt-placeholder\">["_s + escapeHtml(words) + u"]</span>"_s;
}

QString attr(QStringView name, const QString& value)
{
    return u' ' + name + u"=\""_s + escapeHtml(value) + u'"';
}

ParStyle parStyle(DxlStream& stream)
{
    ParStyle style;
    QStringList css;
    const QString align = stream.attribute("align"_L1);
    if (align == u"right" || align == u"center")
        css << u"text-align:"_s + align;
    else if (align == u"full")
        css << u"text-align:justify"_s;
    // Notes measures margins from the page's edge, where the text begins 1 inch in.
    const double left = inches(stream.attribute("leftmargin"_L1)).value_or(1.0);
    const double first = inches(stream.attribute("firstlineleftmargin"_L1)).value_or(left);
    const auto inch = [](double v) -> QString {
        return QString::number(std::round(v * 1000) / 1000, 'g', 6) + u"in"_s;
    };
    if (std::abs(first - left) > 0.005)
        css << u"text-indent:"_s + inch(first - left);
    const auto spacing = [](const QString& value) -> double {
        return value == u"1.5" ? 0.5 : value == u"2" ? 1.0 : 0.0;
    };
    if (const double before = spacing(stream.attribute("spacebefore"_L1)); before > 0)
        css << u"margin-top:"_s + QString::number(before) + u"em"_s;
    if (const double after = spacing(stream.attribute("spaceafter"_L1)); after > 0)
        css << u"margin-bottom:"_s + QString::number(after) + u"em"_s;
    if (const double lines = spacing(stream.attribute("linespacing"_L1)); lines > 0)
        css << u"line-height:"_s + QString::number(1.25 * (1 + lines));
    const QString list = stream.attribute("list"_L1);
    static const QStringList lists = {u"bullet"_s, u"number"_s,     u"check"_s,      u"uncheck"_s,    u"circle"_s,
                                      u"square"_s, u"alphaupper"_s, u"alphalower"_s, u"romanupper"_s, u"romanlower"_s};
    if (lists.contains(list)) {
        style.list = list;
        // A list's items stand a quarter inch right of its margin.
        if (left - 1.25 > 0.005)
            style.listCss = u"margin-left:"_s + inch(left - 1.25);
    } else if (left - 1 > 0.005) {
        css << u"margin-left:"_s + inch(left - 1);
    }
    style.css = css.join(u';');
    return style;
}

// The opening tag of a list of this kind, and the tag that closes it.
std::pair<QString, QString> listTags(const QString& kind, const QString& css)
{
    const QString style = css.isEmpty() ? QString() : attr(u"style", css);
    if (kind == u"number")
        return {u"<ol class=\"rt-list\""_s + style + u'>', u"</ol>"_s};
    static const QHash<QString, QString> types = {
        {u"alphaupper"_s, u"A"_s}, {u"alphalower"_s, u"a"_s}, {u"romanupper"_s, u"I"_s}, {u"romanlower"_s, u"i"_s}};
    if (types.contains(kind))
        return {u"<ol class=\"rt-list\" type=\""_s + types[kind] + u'"' + style + u'>', u"</ol>"_s};
    const QString cls = kind == u"bullet" ? u"rt-list"_s : u"rt-list rt-"_s + kind;
    return {u"<ul class=\""_s + cls + u'"' + style + u'>', u"</ul>"_s};
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

RenderedHtml Renderer::render()
{
    m_buffers.emplace_back();
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
    result.html = u"<div class=\"rt\">\n"_s + m_buffers.front() + u"</div>\n"_s;
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
    m_buffers.emplace_back();
    frame.buffer = qsizetype(m_buffers.size()) - 1;
    frame.ownsBuffer = true;
}

QString Renderer::popBuffer(Frame& frame)
{
    if (!frame.ownsBuffer || frame.buffer != qsizetype(m_buffers.size()) - 1)
        return {};
    QString content = std::move(m_buffers.back());
    m_buffers.pop_back();
    frame.buffer = -1;
    frame.ownsBuffer = false;
    return content;
}

void Renderer::start()
{
    const QString name = m_stream.name().toString();
    // Elements that give nothing: definitions, code, and what only a Notes client can run.
    static const QStringList nothing = {u"code"_s,        u"imagemap"_s,       u"javascript"_s,    u"embeddedcontrol"_s,
                                        u"lotusscript"_s, u"javaapplet"_s,     u"activeobject"_s,  u"parstyle"_s,
                                        u"border"_s,      u"cellbackground"_s, u"tablerowstyle"_s, u"nonxmlchar"_s};
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
    if (nothing.contains(name)) {
        m_stream.skipElement();
        return;
    }
    const bool deep = m_frames.size() >= kMaxDepth;
    if (deep && (name == u"picture" || name == u"attachmentref" || name == u"objectref")) {
        m_stream.skipElement(); // no text of theirs shows, and there is no markup for them this deep
        return;
    }
    m_frames.push_back(Frame{});
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
        frame.buffer = qsizetype(m_buffers.size()) - 1;
        frame.close = u"</details>"_s;
        out() += u"<details class=\"rt-section\" open>"_s;
    } else if (name == u"horizrule") {
        QStringList css;
        if (const QString h = cssLength(m_stream.attribute("height"_L1)); !h.isEmpty())
            css << u"height:"_s + h;
        if (const QString w = cssLength(m_stream.attribute("width"_L1)); !w.isEmpty())
            css << u"width:"_s + w;
        if (const QString c = cssColor(m_stream.attribute("color"_L1)); !c.isEmpty())
            css << u"background-color:"_s + c;
        out() += u"<hr class=\"rt-hr\""_s + (css.isEmpty() ? QString() : attr(u"style", css.join(u';'))) + u'>';
    } else if (name == u"break") {
        if (writesText())
            out() += u"<br>"_s;
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
        m_frames[m_frames.size() - 2].imageFormat = name;
        if (name == u"imageref")
            m_frames[m_frames.size() - 2].imageName = m_stream.attribute("name"_L1);
        m_data.clear();
    } else if (parent && parent->kind == Kind::Picture && name == u"caption") {
        frame.kind = Kind::Caption;
    } else if (name == u"attachmentref") {
        startAttachment(frame);
    } else if (name == u"objectref") {
        frame.kind = Kind::Object;
        frame.label = m_stream.attribute("description"_L1);
        ++m_suppress;
        pushBuffer(frame);
    }
}

void Renderer::readParDef()
{
    const QString id = m_stream.attribute("id"_L1);
    if (!id.isEmpty())
        m_parDefs.insert(id, parStyle(m_stream));
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
    const QStringList styles = m_stream.attribute("style"_L1).split(u' ', Qt::SkipEmptyParts);
    font.bold = font.bold || styles.contains(u"bold"_s);
    font.italic = font.italic || styles.contains(u"italic"_s);
    font.underline = font.underline || styles.contains(u"underline"_s);
    font.strike = font.strike || styles.contains(u"strikethrough"_s);
    font.superscript = font.superscript || styles.contains(u"superscript"_s);
    font.subscript = font.subscript || styles.contains(u"subscript"_s);
    QStringList css;
    if (const QString c = cssColor(m_stream.attribute("color"_L1)); !c.isEmpty())
        css << u"color:"_s + c;
    if (const QString s = cssFontSize(m_stream.attribute("size"_L1)); !s.isEmpty())
        css << u"font-size:"_s + s;
    if (const QString f = cssFontFamily(m_stream.attribute("name"_L1)); !f.isEmpty())
        css << u"font-family:"_s + f;
    if (!css.isEmpty())
        font.css = css.join(u';');
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
    const QString def = m_stream.attribute("def"_L1);
    // A paragraph without a definition of its own keeps the one before it.
    if (!def.isEmpty())
        m_lastDef = def;
    const ParStyle style = m_parDefs.value(m_lastDef);
    const QString css = style.css.isEmpty() ? QString() : attr(u"style", style.css);
    Frame* holder = container();
    // A list is opened in its container's own buffer only: a paragraph inside a run or link is no list item.
    const bool listable = holder && holder->buffer == qsizetype(m_buffers.size()) - 1;
    if (!style.list.isEmpty() && listable) {
        const QString key = style.list + u'|' + style.listCss;
        if (holder->listKey != key) {
            closeList(*holder);
            const auto [open, close] = listTags(style.list, style.listCss);
            out() += open;
            holder->listKey = key;
            holder->listClose = close;
        }
        out() += u"<li class=\"rt-p\""_s + css + u'>';
        frame.close = u"</li>"_s;
        return;
    }
    if (listable)
        closeList(*holder);
    out() += u"<div class=\"rt-p\""_s + css + u'>';
    frame.close = u"</div>"_s;
}

void Renderer::closeList(Frame& holder)
{
    if (holder.listKey.isEmpty())
        return;
    QString& buffer =
        holder.buffer >= 0 && holder.buffer < qsizetype(m_buffers.size()) ? m_buffers[size_t(holder.buffer)] : out();
    buffer += holder.listClose;
    buffer += u'\n';
    holder.listKey.clear();
    holder.listClose.clear();
}

void Renderer::startTable(Frame& frame)
{
    if (Frame* holder = container())
        closeList(*holder);
    frame.kind = Kind::Table;
    frame.close = u"</table>"_s;
    QStringList css;
    const QString widthType = m_stream.attribute("widthtype"_L1);
    if (widthType == u"fitmargins" || widthType == u"fitwindow")
        css << u"width:100%"_s;
    if (const QString c = cssColor(m_stream.attribute("bgcolor"_L1)); !c.isEmpty())
        css << u"background-color:"_s + c;
    out() += u"<table class=\"rt-table\""_s + (css.isEmpty() ? QString() : attr(u"style", css.join(u';'))) + u'>';
}

void Renderer::startColumn()
{
    Frame* table = parentFrame();
    if (!table || table->kind != Kind::Table || table->rowSeen)
        return;
    if (!table->columnsOpen) {
        out() += u"<colgroup>"_s;
        table->columnsOpen = true;
    }
    const QString width = cssLength(m_stream.attribute("width"_L1));
    out() += u"<col"_s + (width.isEmpty() ? QString() : attr(u"style", u"width:"_s + width)) + u'>';
}

void Renderer::startRow(Frame& frame)
{
    Frame& table = m_frames[m_frames.size() - 2];
    if (table.columnsOpen) {
        out() += u"</colgroup>"_s;
        table.columnsOpen = false;
    }
    table.rowSeen = true;
    frame.kind = Kind::Row;
    frame.close = u"</tr>"_s;
    out() += u"<tr>"_s;
}

void Renderer::startCell(Frame& frame)
{
    frame.kind = Kind::Container;
    frame.buffer = qsizetype(m_buffers.size()) - 1;
    const Frame* parent = parentFrame();
    if (!parent || parent->kind != Kind::Row)
        return;
    QString tag = u"<td"_s;
    if (const auto span = boundedInteger(m_stream.attribute("columnspan"_L1), 2, 1000))
        tag += u" colspan=\""_s + QString::number(*span) + u'"';
    if (const auto span = boundedInteger(m_stream.attribute("rowspan"_L1), 2, 1000))
        tag += u" rowspan=\""_s + QString::number(*span) + u'"';
    if (const QString c = cssColor(m_stream.attribute("bgcolor"_L1)); !c.isEmpty())
        tag += attr(u"style", u"background-color:"_s + c);
    out() += tag + u'>';
    frame.close = u"</td>"_s;
}

void Renderer::startLink(Frame& frame)
{
    frame.kind = Kind::Link;
    const QString name = m_stream.name().toString();
    pushBuffer(frame);
    if (name == u"urllink") {
        frame.linkKind = LinkKind::Url;
        const QString href = cleanUrl(m_stream.attribute("href"_L1));
        const UrlKind kind = urlKind(href);
        if (kind == UrlKind::Web || kind == UrlKind::Mail)
            frame.href = frame.label = href;
        frame.missingLabel = u"链接"_s;
        return;
    }
    if (name == u"doclink") {
        frame.linkKind = LinkKind::Document;
        const DocumentLink link{m_stream.attribute("document"_L1), m_stream.attribute("database"_L1),
                                m_stream.attribute("view"_L1), m_stream.attribute("server"_L1),
                                m_stream.attribute("description"_L1)};
        if (m_resources.documentPath && !link.unid.isEmpty())
            frame.href = relativeHref(m_resources.documentPath(link));
        frame.label = link.description.isEmpty() ? u"文档链接"_s : link.description;
        frame.missingLabel = link.unid.isEmpty() ? u"文档链接"_s : u"文档链接 "_s + link.unid;
        return;
    }
    frame.linkKind = LinkKind::Other;
    const QString description = m_stream.attribute("description"_L1);
    const QString what = name == u"viewlink" ? u"视图链接"_s : name == u"databaselink" ? u"数据库链接"_s : u"链接"_s;
    frame.missingLabel = description.isEmpty() ? what : what + u"："_s + description;
}

void Renderer::startPicture(Frame& frame)
{
    frame.kind = Kind::Picture;
    ++m_suppress;
    const auto pixels = [](const QString& value) -> QString {
        static const QRegularExpression px(u"^\\s*([0-9]{1,5})\\s*(px)?\\s*$"_s);
        const QRegularExpressionMatch m = px.match(value);
        return m.hasMatch() && m.captured(1).toInt() > 0 ? QString::number(m.captured(1).toInt()) : QString();
    };
    const QString scaledWidth = cssLength(m_stream.attribute("scaledwidth"_L1));
    const QString scaledHeight = cssLength(m_stream.attribute("scaledheight"_L1));
    if (!scaledWidth.isEmpty() && !scaledHeight.isEmpty()) {
        frame.width = u"width:"_s + scaledWidth + u";height:"_s + scaledHeight;
    } else {
        frame.width = pixels(m_stream.attribute("width"_L1));
        frame.height = pixels(m_stream.attribute("height"_L1));
    }
    frame.alt = m_stream.attribute("alttext"_L1);
}

void Renderer::startAttachment(Frame& frame)
{
    frame.kind = Kind::Attachment;
    ++m_suppress;
    const QString name = m_stream.attribute("name"_L1);
    const QString displayName = m_stream.attribute("displayname"_L1);
    frame.label = displayName.isEmpty() ? name : displayName;
    if (m_resources.attachmentPath && !name.isEmpty())
        frame.href = relativeHref(m_resources.attachmentPath(name));
    pushBuffer(frame);
}

void Renderer::text(QStringView data)
{
    if (!m_frames.empty() && m_frames.back().kind == Kind::ImageData) {
        m_data += data;
        return;
    }
    if (!m_frames.empty() && m_frames.back().kind == Kind::Caption) {
        m_frames[m_frames.size() - 2].caption += withoutLineEnds(data);
        return;
    }
    if (writesText())
        out() += escapeHtml(withoutLineEnds(data));
}

void Renderer::end()
{
    Frame frame = std::move(m_frames.back());
    switch (frame.kind) {
    case Kind::Paragraph:
    case Kind::SectionTitle:
        m_inPar = false;
        --m_parDepth;
        if (frame.kind == Kind::SectionTitle && frame.ownsBuffer) {
            const QString content = frame.font.wrap(popBuffer(frame));
            Frame* section = parentFrame();
            const bool summary = section && section->close == u"</details>" && !section->summarySeen;
            if (summary) {
                section->summarySeen = true;
                out() += u"<summary class=\"rt-section-title\">"_s + content + u"</summary>"_s;
            } else {
                out() += u"<div class=\"rt-p rt-section-title\">"_s + content + u"</div>"_s;
            }
        } else {
            out() += frame.close;
        }
        m_frames.pop_back();
        newline();
        return;
    case Kind::Run:
        m_frames.pop_back();
        out() += frame.font.wrap(popBuffer(frame));
        return;
    case Kind::Container:
        closeList(frame);
        m_frames.pop_back();
        if (frame.ownsBuffer) {
            // A block: its content in its font.
            const QString content = popBuffer(frame);
            out() += frame.font.wrap(content);
            return;
        }
        if (m_frames.empty())
            return;
        out() += frame.close;
        if (!frame.close.isEmpty())
            newline();
        return;
    case Kind::Table:
        m_frames.pop_back();
        if (frame.columnsOpen)
            out() += u"</colgroup>"_s;
        out() += frame.close;
        newline();
        return;
    case Kind::Row:
        m_frames.pop_back();
        out() += frame.close;
        newline();
        return;
    case Kind::Link: {
        m_frames.pop_back();
        const QString content = popBuffer(frame);
        endLink(frame, content);
        return;
    }
    case Kind::Picture:
        m_frames.pop_back();
        --m_suppress;
        endPicture(frame);
        return;
    case Kind::Attachment: {
        m_frames.pop_back();
        --m_suppress;
        const QString icons = popBuffer(frame);
        const QString label = added(frame.label);
        if (!frame.href.isEmpty()) {
            out() += u"<a class=\"rt-attachment\""_s + attr(u"href", frame.href) + u'>' + icons + label + u"</a>"_s;
        } else {
            out() += u"<span class=\"rt-attachment rt-missing\">"_s + icons + label + added(u"（附件未保存）"_s) +
                     u"</span>"_s;
        }
        return;
    }
    case Kind::Object: {
        m_frames.pop_back();
        --m_suppress;
        const QString pictures = popBuffer(frame);
        out() +=
            u"<span class=\"rt-object\">"_s + pictures +
            (pictures.isEmpty() ? placeholder(frame.label.isEmpty() ? u"嵌入对象"_s : u"嵌入对象："_s + frame.label)
                                : QString()) +
            u"</span>"_s;
        return;
    }
    case Kind::ImageData:
    case Kind::Caption:
    case Kind::Transparent:
        m_frames.pop_back();
        out() += frame.close;
        return;
    }
}

void Renderer::endLink(Frame& frame, const QString& content)
{
    QString shown = content;
    if (frame.linkKind == LinkKind::Document && frame.href.isEmpty()) {
        out() += u"<span class=\"rt-doclink rt-missing\">"_s + content + placeholder(frame.missingLabel) + u"</span>"_s;
        return;
    }
    if (frame.linkKind == LinkKind::Other) {
        out() += content + (content.isEmpty() ? placeholder(frame.missingLabel) : QString());
        return;
    }
    if (shown.isEmpty())
        shown = frame.label.isEmpty() ? placeholder(frame.missingLabel) : added(frame.label);
    if (frame.href.isEmpty()) {
        out() += shown;
        return;
    }
    const QString cls = frame.linkKind == LinkKind::Document ? u"rt-doclink"_s : u"rt-link"_s;
    out() += u"<a class=\""_s + cls + u'"' + attr(u"href", frame.href) + u" rel=\"noopener noreferrer\">"_s + shown +
             u"</a>"_s;
}

void Renderer::endPicture(Frame& frame)
{
    const QString format = frame.imageFormat;
    QString html;
    if (format == u"gif" || format == u"jpeg" || format == u"png" || format == u"notesbitmap") {
        QString data;
        data.reserve(m_data.size());
        for (QChar c : std::as_const(m_data)) {
            if (!c.isSpace())
                data += c;
        }
        const auto decoded = QByteArray::fromBase64Encoding(data.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded) {
            html = placeholder(u"图片：数据无法解码"_s);
        } else if (format == u"notesbitmap") {
            const auto raster = decodeNotesBitmap(*decoded);
            html =
                raster ? pictureHtml(frame, encodePng(*raster), u"png"_s) : placeholder(u"图片：无法解码的Notes位图"_s);
        } else {
            const QString extension = sniffImage(*decoded);
            html = extension.isEmpty() ? placeholder(u"图片：无法识别的图片数据"_s)
                                       : pictureHtml(frame, *decoded, extension);
        }
    } else if (format == u"imageref") {
        html = placeholder(frame.imageName.isEmpty() ? u"图片：引用的图像资源"_s
                                                     : u"图片：引用的图像资源“"_s + frame.imageName + u"”"_s);
    } else {
        html = placeholder(u"图片：无法显示的格式"_s);
    }
    m_data.clear();
    if (!frame.caption.trimmed().isEmpty())
        html += u"<span class=\"rt-added rt-caption\">"_s + escapeHtml(frame.caption) + u"</span>"_s;
    out() += html;
}

QString Renderer::pictureHtml(const Frame& frame, const QByteArray& bytes, QString extension)
{
    ++m_pictureCount;
    const QString href =
        savedPath(FileToSave{FileToSave::Kind::Picture,
                             u"picture"_s + QString::number(m_pictureCount) + u'.' + extension, extension, bytes});
    if (href.isEmpty())
        return placeholder(u"图片未保存"_s);
    QString img = u"<img class=\"rt-img\""_s + attr(u"src", href) + attr(u"alt", frame.alt);
    if (frame.width.startsWith(u"width:"))
        img += attr(u"style", frame.width);
    else {
        if (!frame.width.isEmpty())
            img += attr(u"width", frame.width);
        if (!frame.height.isEmpty())
            img += attr(u"height", frame.height);
    }
    return img + u'>';
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
    return Renderer(stream, resources).render();
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
