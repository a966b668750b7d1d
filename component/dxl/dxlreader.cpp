#include "dxlreader.h"

#include "formula/formula.h"
#include "platform/error.h"

#include <QIODevice>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <expat.h>
#include <map>
#include <string_view>
#include <unordered_map>
#include <utility>

using namespace Qt::StringLiterals;

namespace quill::component::dxl {
namespace {

constexpr char kSeparator = '\x01';
constexpr qsizetype kReadChunk = 256 * 1024;
constexpr qsizetype kAttachmentChunk = 256 * 1024;

enum class Tag
{
    Other,
    Foreign,
    Database,
    Acl,
    AclEntry,
    View,
    Folder,
    Column,
    ColumnHeader,
    Code,
    Formula,
    Document,
    Note,
    NoteInfo,
    Created,
    Modified,
    Item,
    Text,
    TextList,
    Number,
    NumberList,
    DateTime,
    DateTimeList,
    DateTimePair,
    RichText,
    Object,
    File,
    FileData,
    Par,
    Break,
    Tab,
    Table,
    TableRow,
    TableCell,
    SectionTitle,
    AttachmentRef,
    ObjectRef,
    RichSkipped, // rich-text content without readable text: pictures, paragraph styles, code
    Mime,
    RawItemData,
};

Tag tagOf(std::string_view local)
{
    static const std::unordered_map<std::string_view, Tag> tags = {
        {"database", Tag::Database},
        {"acl", Tag::Acl},
        {"aclentry", Tag::AclEntry},
        {"view", Tag::View},
        {"folder", Tag::Folder},
        {"column", Tag::Column},
        {"columnheader", Tag::ColumnHeader},
        {"code", Tag::Code},
        {"formula", Tag::Formula},
        {"document", Tag::Document},
        {"note", Tag::Note},
        {"noteinfo", Tag::NoteInfo},
        {"created", Tag::Created},
        {"modified", Tag::Modified},
        {"item", Tag::Item},
        {"text", Tag::Text},
        {"textlist", Tag::TextList},
        {"number", Tag::Number},
        {"numberlist", Tag::NumberList},
        {"datetime", Tag::DateTime},
        {"datetimelist", Tag::DateTimeList},
        {"datetimepair", Tag::DateTimePair},
        {"richtext", Tag::RichText},
        {"object", Tag::Object},
        {"file", Tag::File},
        {"filedata", Tag::FileData},
        {"par", Tag::Par},
        {"break", Tag::Break},
        {"tab", Tag::Tab},
        {"table", Tag::Table},
        {"tablerow", Tag::TableRow},
        {"tablecell", Tag::TableCell},
        {"sectiontitle", Tag::SectionTitle},
        {"attachmentref", Tag::AttachmentRef},
        {"objectref", Tag::ObjectRef},
        {"mime", Tag::Mime},
        {"rawitemdata", Tag::RawItemData},
        {"picture", Tag::RichSkipped},
        {"pardef", Tag::RichSkipped},
        {"imagemap", Tag::RichSkipped},
        {"embeddedcontrol", Tag::RichSkipped},
        {"javascript", Tag::RichSkipped},
        {"lotusscript", Tag::RichSkipped},
        {"javaapplet", Tag::RichSkipped},
        {"activeobject", Tag::RichSkipped},
    };
    const auto it = tags.find(local);
    return it == tags.end() ? Tag::Other : it->second;
}

QString attribute(const XML_Char** attrs, const char* name)
{
    for (int i = 0; attrs[i]; i += 2) {
        if (std::strcmp(attrs[i], name) == 0)
            return QString::fromUtf8(attrs[i + 1]);
    }
    return {};
}

bool isTrue(const QString& value)
{
    return value == u"true"_s;
}

// Elements a DXL file may have as its root; one without a namespace is read as DXL.
bool isDxlRoot(Tag tag)
{
    return tag == Tag::Database || tag == Tag::Document || tag == Tag::Note || tag == Tag::View || tag == Tag::Folder;
}

// The local name of an element's name as the parser gives it ("namespace\x01local" or "local").
std::string_view localName(const XML_Char* name)
{
    const char* separator = std::strchr(name, kSeparator);
    return separator ? std::string_view(separator + 1) : std::string_view(name);
}

// A rich-text element written anew as it is read (Item::richText). What is kept is XML a renderer reads as
// the original: every character escaped where it could mean markup or be normalised away.
class RichTextWriter
{
public:
    void start(std::string_view local, const XML_Char** attrs)
    {
        closeTag();
        m_out += '<';
        m_out.append(local.data(), qsizetype(local.size()));
        for (int i = 0; attrs[i]; i += 2) {
            if (std::strchr(attrs[i], kSeparator))
                continue; // an attribute of another namespace (xml:space and the like)
            m_out += ' ';
            m_out += attrs[i];
            m_out += "=\"";
            escape(attrs[i + 1], qsizetype(std::strlen(attrs[i + 1])), true);
            m_out += '"';
        }
        m_open = true;
    }

    void end(std::string_view local)
    {
        if (m_open) {
            m_out += "/>";
            m_open = false;
            return;
        }
        m_out += "</";
        m_out.append(local.data(), qsizetype(local.size()));
        m_out += '>';
    }

    void characters(const XML_Char* data, int length)
    {
        closeTag();
        escape(data, length, false);
    }

    QByteArray take()
    {
        m_open = false;
        return std::exchange(m_out, QByteArray());
    }

private:
    void closeTag()
    {
        if (m_open) {
            m_out += '>';
            m_open = false;
        }
    }

    void escape(const char* data, qsizetype length, bool attribute)
    {
        qsizetype from = 0;
        for (qsizetype i = 0; i < length; ++i) {
            const char* reference = nullptr;
            switch (data[i]) {
            case '&':
                reference = "&amp;";
                break;
            case '<':
                reference = "&lt;";
                break;
            case '>':
                reference = "&gt;";
                break;
            case '\r':
                reference = "&#13;";
                break;
            case '"':
                reference = attribute ? "&quot;" : nullptr;
                break;
            case '\t':
                reference = attribute ? "&#9;" : nullptr;
                break;
            case '\n':
                reference = attribute ? "&#10;" : nullptr;
                break;
            default:
                break;
            }
            if (reference) {
                m_out.append(data + from, i - from);
                m_out += reference;
                from = i + 1;
            }
        }
        m_out.append(data + from, length - from);
    }

    QByteArray m_out;
    bool m_open = false; // a start tag not yet closed: an element without content ends as "/>"
};

// Plain text of a rich-text item: paragraphs as lines, a table row as one line of tab-separated cells.
class RichTextFlattener
{
public:
    void start(Tag tag, const XML_Char** attrs)
    {
        switch (tag) {
        case Tag::Par:
        case Tag::SectionTitle:
            m_par.clear();
            m_inPar = true;
            break;
        case Tag::Break:
            if (m_inPar)
                m_par += inCell() ? u' ' : u'\n';
            break;
        case Tag::Tab:
            if (m_inPar)
                m_par += inCell() ? u' ' : u'\t';
            break;
        case Tag::Table:
            m_tables.emplace_back();
            break;
        case Tag::TableRow:
            if (!m_tables.empty())
                m_tables.back().row.clear();
            break;
        case Tag::TableCell:
            if (!m_tables.empty()) {
                m_tables.back().cell.clear();
                m_tables.back().inCell = true;
            }
            break;
        case Tag::AttachmentRef:
        case Tag::ObjectRef: {
            const QString name = attribute(attrs, "name");
            if (!name.isEmpty() && !m_objects.contains(name))
                m_objects << name;
            break;
        }
        default:
            break;
        }
    }

    void end(Tag tag)
    {
        switch (tag) {
        case Tag::Par:
        case Tag::SectionTitle:
            if (m_inPar)
                emitLine(m_par);
            m_inPar = false;
            break;
        case Tag::TableCell:
            if (!m_tables.empty()) {
                m_tables.back().row << m_tables.back().cell;
                m_tables.back().inCell = false;
            }
            break;
        case Tag::TableRow:
            if (!m_tables.empty()) {
                const QString line = m_tables.back().row.join(u'\t');
                m_tables.back().row.clear();
                // The row belongs to the cell of an enclosing table, if any.
                Table table = std::move(m_tables.back());
                m_tables.pop_back();
                emitLine(line);
                m_tables.push_back(std::move(table));
            }
            break;
        case Tag::Table:
            if (!m_tables.empty())
                m_tables.pop_back();
            break;
        default:
            break;
        }
    }

    void characters(const XML_Char* data, int length)
    {
        if (!m_inPar)
            return;
        // Line ends in DXL rich text are only layout; a line break in the text is <break/>.
        for (int i = 0; i < length;) {
            int j = i;
            while (j < length && data[j] != '\n' && data[j] != '\r')
                ++j;
            if (j > i)
                m_par += QString::fromUtf8(data + i, j - i);
            i = j + 1;
        }
    }

    QString text() const
    {
        QStringList lines = m_lines;
        while (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines.join(u'\n');
    }
    const QStringList& objects() const { return m_objects; }

private:
    struct Table
    {
        QStringList row;
        QString cell;
        bool inCell = false;
    };

    bool inCell() const { return !m_tables.empty() && m_tables.back().inCell; }

    void emitLine(const QString& line)
    {
        if (inCell()) {
            QString& cell = m_tables.back().cell;
            if (!line.isEmpty())
                cell += (cell.isEmpty() ? QString() : u" "_s) + line;
        } else {
            m_lines << line;
        }
    }

    QStringList m_lines;
    QString m_par;
    bool m_inPar = false;
    std::vector<Table> m_tables;
    QStringList m_objects;
};

} // namespace

class Reader::Impl
{
public:
    explicit Impl(Sink& sink) : m_sink(sink) {}

    void read(QIODevice& input, const QString& fileName);

private:
    struct Frame
    {
        Tag tag;
    };

    static void XMLCALL onStart(void* self, const XML_Char* name, const XML_Char** attrs)
    {
        static_cast<Impl*>(self)->guarded([&](Impl& impl) { impl.start(name, attrs); });
    }
    static void XMLCALL onEnd(void* self, const XML_Char* name)
    {
        static_cast<Impl*>(self)->guarded([&](Impl& impl) { impl.end(name); });
    }
    static void XMLCALL onCharacters(void* self, const XML_Char* data, int length)
    {
        static_cast<Impl*>(self)->guarded([&](Impl& impl) { impl.characters(data, length); });
    }
    static void XMLCALL onEntityDecl(void* self, const XML_Char* name, int, const XML_Char*, int, const XML_Char*,
                                     const XML_Char*, const XML_Char*, const XML_Char*)
    {
        static_cast<Impl*>(self)->guarded([&](Impl& impl) {
            impl.fail(u"不允许声明实体（"_s + QString::fromUtf8(name) + u"），DXL文件不会包含实体声明"_s);
        });
    }

    // Exceptions must not cross the C parser: the first one stops it and is rethrown after.
    template <typename F> void guarded(F&& f)
    {
        if (m_error)
            return;
        try {
            f(*this);
        } catch (...) {
            m_error = std::current_exception();
            XML_StopParser(m_parser, XML_FALSE);
        }
    }

    [[noreturn]] void fail(const QString& what) const
    {
        throw platform::Error(u"DXL文件"_s + m_fileName + u"第"_s +
                              QString::number(XML_GetCurrentLineNumber(m_parser)) + u"行："_s + what);
    }

    qint64 line() const { return qint64(XML_GetCurrentLineNumber(m_parser)); }
    Tag parent(size_t up = 1) const { return m_stack.size() >= up ? m_stack[m_stack.size() - up].tag : Tag::Other; }

    void start(const XML_Char* name, const XML_Char** attrs);
    void end(const XML_Char* name);
    void characters(const XML_Char* data, int length);

    void skip() { m_skipDepth = 1; }
    // Leaves out the element being started and everything in it.
    void skipElement()
    {
        m_stack.pop_back();
        skip();
    }
    void beginCollect()
    {
        m_text.clear();
        m_collect = true;
    }

    void startTop(Tag tag, const XML_Char** attrs);
    void beginView(const XML_Char** attrs);
    void beginNote(Tag tag, const XML_Char** attrs);
    void startView(Tag tag, const XML_Char** attrs);
    void startDocument(Tag tag, const XML_Char** attrs);
    void startValue(Tag tag, const XML_Char** attrs);
    void startItemValue(Tag tag, const XML_Char** attrs);
    bool startAttachment(Tag tag, Tag up, const XML_Char** attrs);
    void endRichText(Tag tag, size_t depth, const XML_Char* name);
    void endValue(Tag tag);
    void keepValue(Tag tag);
    void endAttachment();
    void endItem();
    void skippedItem(const QString& element);
    void endView(Tag tag);
    void endDocument(Tag tag);
    void ensureDocumentBegun();
    void finishView();
    DateTimeValue dateTime(const QString& text) const;

    Sink& m_sink;
    XML_Parser m_parser = nullptr;
    QString m_fileName;
    std::exception_ptr m_error;

    std::vector<Frame> m_stack;
    bool m_bareRoot = false;  // the root has no namespace: so have the DXL elements
    std::string_view m_local; // the local name of the element being started
    int m_skipDepth = 0;
    bool m_collect = false;
    QString m_text;
    std::map<QString, int> m_skippedDesign;

    // The view being read.
    std::optional<View> m_view;
    size_t m_viewDepth = 0;
    QString m_codeEvent;
    struct PendingColumn
    {
        QString itemName;
        QString title;
        QString formula;
        QString sort;
    };
    std::vector<PendingColumn> m_columns;

    // The document being read.
    size_t m_docDepth = 0; // 0: none
    bool m_docBegun = false;
    NoteInfo m_noteInfo;

    // The item being read.
    size_t m_itemDepth = 0; // 0: none
    Item m_item;
    bool m_itemHasValue = false;
    bool m_itemIsFile = false;
    QString m_unsupportedValue;
    int m_pairIndex = 0;
    std::optional<RichTextFlattener> m_rich;
    size_t m_richDepth = 0;
    RichTextWriter m_richXml;
    size_t m_richQuietDepth = 0; // an element inside the rich text whose content gives no plain text
    bool m_inRawData = false;

    // The attachment being decoded.
    bool m_inFileData = false;
    QString m_attachmentName;
    Base64Decoder m_base64;
    QByteArray m_decoded;
};

void Reader::Impl::read(QIODevice& input, const QString& fileName)
{
    m_fileName = fileName;
    m_bareRoot = false;
    m_parser = XML_ParserCreateNS(nullptr, kSeparator);
    if (!m_parser)
        throw platform::Error(u"内存不足，无法读取DXL文件"_s + fileName);
    struct Free
    {
        XML_Parser& p;
        ~Free() { XML_ParserFree(p); }
    } freeParser{m_parser};

    XML_SetUserData(m_parser, this);
    XML_SetElementHandler(m_parser, onStart, onEnd);
    XML_SetCharacterDataHandler(m_parser, onCharacters);
    XML_SetEntityDeclHandler(m_parser, onEntityDecl);
    // External DTDs and entities are never read; without an external-entity handler expat loads none.
    XML_SetParamEntityParsing(m_parser, XML_PARAM_ENTITY_PARSING_NEVER);

    bool final = false;
    while (!final) {
        void* buffer = XML_GetBuffer(m_parser, int(kReadChunk));
        if (!buffer)
            throw platform::Error(u"内存不足，无法读取DXL文件"_s + fileName);
        const qint64 got = input.read(static_cast<char*>(buffer), kReadChunk);
        if (got < 0)
            throw platform::Error(u"无法读取DXL文件"_s + fileName + u"："_s + input.errorString());
        final = got == 0;
        if (XML_ParseBuffer(m_parser, int(got), final) != XML_STATUS_OK) {
            if (m_error)
                std::rethrow_exception(m_error);
            const XML_Error code = XML_GetErrorCode(m_parser);
            QString what = QString::fromUtf8(XML_ErrorString(code));
            if (code == XML_ERROR_NO_ELEMENTS || code == XML_ERROR_UNCLOSED_TOKEN ||
                (final && code == XML_ERROR_UNCLOSED_CDATA_SECTION))
                what = u"文件不完整，在此处中断（"_s + what + u"）"_s;
            else
                what = u"不是格式正确的XML（"_s + what + u"）"_s;
            throw platform::Error(u"DXL文件"_s + fileName + u"第"_s +
                                  QString::number(XML_GetCurrentLineNumber(m_parser)) + u"行第"_s +
                                  QString::number(XML_GetCurrentColumnNumber(m_parser) + 1) + u"列："_s + what);
        }
    }
    if (m_error)
        std::rethrow_exception(m_error);

    for (const auto& [name, count] : m_skippedDesign)
        m_sink.notice(0, u"跳过了"_s + QString::number(count) + u"个设计元素<"_s + name + u">"_s);
}

void Reader::Impl::start(const XML_Char* name, const XML_Char** attrs)
{
    if (m_skipDepth > 0) {
        ++m_skipDepth;
        return;
    }
    const char* separator = std::strchr(name, kSeparator);
    bool dxl = separator ? std::string_view(name, size_t(separator - name)) == kDxlNamespace : m_bareRoot;
    const std::string_view local = localName(name);
    if (m_stack.empty() && !dxl) {
        // Cut from a document whose namespace was declared above it, DXL may come without its declaration.
        if (separator || !isDxlRoot(tagOf(local)))
            fail(u"不是DXL文件：根元素<"_s + QString::fromUtf8(local.data(), qsizetype(local.size())) +
                 u">不在DXL命名空间"_s + QString::fromLatin1(kDxlNamespace) + u"中"_s);
        m_bareRoot = true;
        dxl = true;
    }
    const Tag tag = dxl ? tagOf(local) : Tag::Foreign;
    m_local = local;
    if (tag == Tag::Foreign) {
        skip();
        return;
    }
    m_stack.push_back(Frame{tag});

    if (m_rich) {
        // All of it is kept; pictures, code and the like give no plain text.
        m_richXml.start(local, attrs);
        if (m_richQuietDepth == 0) {
            m_rich->start(tag, attrs);
            if (tag == Tag::RichSkipped || tag == Tag::Code || tag == Tag::AttachmentRef || tag == Tag::ObjectRef)
                m_richQuietDepth = m_stack.size();
        }
        return;
    }
    if (m_itemDepth > 0) {
        startValue(tag, attrs);
        return;
    }
    if (m_docDepth > 0) {
        startDocument(tag, attrs);
        return;
    }
    if (m_view) {
        startView(tag, attrs);
        return;
    }
    startTop(tag, attrs);
}

void Reader::Impl::startTop(Tag tag, const XML_Char** attrs)
{
    const Tag up = m_stack.size() >= 2 ? parent(2) : Tag::Other;
    const bool topLevel = m_stack.size() == 1 || (m_stack.size() == 2 && up == Tag::Database);
    switch (tag) {
    case Tag::Database:
        if (m_stack.size() == 1) {
            m_sink.database(DatabaseInfo{attribute(attrs, "title"), attribute(attrs, "replicaid")});
            return;
        }
        break;
    case Tag::Acl:
        if (topLevel)
            return;
        break;
    case Tag::AclEntry:
        if (up == Tag::Acl) {
            const QString name = attribute(attrs, "name");
            m_sink.aclEntry(
                AclEntry{isTrue(attribute(attrs, "default")) ? u"-Default-"_s : name, attribute(attrs, "level")});
        }
        break;
    case Tag::View:
        if (topLevel) {
            beginView(attrs);
            return;
        }
        break;
    case Tag::Document:
    case Tag::Note:
        if (topLevel) {
            beginNote(tag, attrs);
            return;
        }
        break;
    default:
        break;
    }
    // Forms, agents, folders and the other design elements hold nothing a document list shows.
    if (topLevel && tag != Tag::Database && m_local != "databaseinfo" && m_local != "fulltextsettings" &&
        m_local != "launchsettings")
        ++m_skippedDesign[QString::fromUtf8(m_local.data(), qsizetype(m_local.size()))];
    skipElement();
}

void Reader::Impl::beginView(const XML_Char** attrs)
{
    m_view = View{};
    m_viewDepth = m_stack.size();
    m_view->line = line();
    QStringList names = attribute(attrs, "name").split(u'|');
    m_view->name = names.takeFirst().trimmed();
    names += attribute(attrs, "alias").split(u'|', Qt::SkipEmptyParts);
    for (const QString& alias : std::as_const(names)) {
        if (!alias.trimmed().isEmpty())
            m_view->aliases << alias.trimmed();
    }
    m_columns.clear();
}

// A <document>, or a <note> of the document class; notes of design elements are counted and left out.
void Reader::Impl::beginNote(Tag tag, const XML_Char** attrs)
{
    if (tag == Tag::Note) {
        const QString noteClass = attribute(attrs, "class");
        if (noteClass != u"document"_s) {
            ++m_skippedDesign[u"note class='"_s + noteClass + u"'"_s];
            skipElement();
            return;
        }
    }
    m_docDepth = m_stack.size();
    m_docBegun = false;
    m_noteInfo = NoteInfo{};
    m_noteInfo.line = line();
    for (int i = 0; attrs[i]; i += 2) {
        if (tag == Tag::Document && qstricmp(attrs[i], "form") == 0)
            m_noteInfo.form = QString::fromUtf8(attrs[i + 1]);
    }
}

void Reader::Impl::startView(Tag tag, const XML_Char** attrs)
{
    const size_t depth = m_stack.size() - m_viewDepth; // 1: a child of the view
    const Tag up = parent(2);
    if (depth == 1 && tag == Tag::Code) {
        m_codeEvent = attribute(attrs, "event");
        return;
    }
    if (depth == 1 && tag == Tag::Column) {
        m_columns.push_back(PendingColumn{attribute(attrs, "itemname"), {}, {}, attribute(attrs, "sort")});
        return;
    }
    if (depth == 2 && up == Tag::Column && tag == Tag::ColumnHeader) {
        m_columns.back().title = attribute(attrs, "title");
        skipElement();
        return;
    }
    if (depth == 2 && up == Tag::Column && tag == Tag::Code) {
        m_codeEvent = attribute(attrs, "event");
        return;
    }
    if (tag == Tag::Formula && up == Tag::Code && (depth == 2 || depth == 3)) {
        beginCollect();
        return;
    }
    skipElement();
}

void Reader::Impl::startDocument(Tag tag, const XML_Char** attrs)
{
    const size_t depth = m_stack.size() - m_docDepth;
    const Tag up = parent(2);
    if (depth == 1 && tag == Tag::NoteInfo && !m_docBegun) {
        m_noteInfo.unid = attribute(attrs, "unid").trimmed().toUpper();
        return;
    }
    if (depth == 2 && up == Tag::NoteInfo && (tag == Tag::Created || tag == Tag::Modified))
        return;
    if (depth == 3 && (up == Tag::Created || up == Tag::Modified) && tag == Tag::DateTime) {
        beginCollect();
        return;
    }
    if (depth == 1 && tag == Tag::Item) {
        ensureDocumentBegun();
        m_itemDepth = m_stack.size();
        m_item = Item{};
        m_item.name = attribute(attrs, "name");
        m_item.line = line();
        m_item.names = isTrue(attribute(attrs, "names"));
        m_item.readers = isTrue(attribute(attrs, "readers"));
        m_item.authors = isTrue(attribute(attrs, "authors"));
        m_itemHasValue = false;
        m_itemIsFile = false;
        m_unsupportedValue.clear();
        return;
    }
    if (depth == 1 && tag == Tag::Mime)
        skippedItem(u"mime"_s);
    if (depth == 1 && tag != Tag::NoteInfo)
        ensureDocumentBegun();
    skipElement();
}

void Reader::Impl::startValue(Tag tag, const XML_Char** attrs)
{
    if (m_stack.size() - m_itemDepth == 1) {
        startItemValue(tag, attrs);
        return;
    }
    const Tag up = parent(2);
    if (tag == Tag::Break && up == Tag::Text) {
        m_text += u'\n';
        skipElement();
        return;
    }
    if ((tag == Tag::Text && up == Tag::TextList) || (tag == Tag::Number && up == Tag::NumberList) ||
        (tag == Tag::DateTime && (up == Tag::DateTimeList || up == Tag::DateTimePair))) {
        if (up == Tag::DateTimePair)
            ++m_pairIndex;
        beginCollect();
        return;
    }
    if (tag == Tag::DateTimePair && up == Tag::DateTimeList) {
        m_pairIndex = 0;
        return;
    }
    if (m_itemIsFile && startAttachment(tag, up, attrs))
        return;
    skipElement();
}

// The first element in an item says what its values are; what follows it is left out.
void Reader::Impl::startItemValue(Tag tag, const XML_Char** attrs)
{
    using Kind = Item::Kind;
    if (m_itemHasValue || m_unsupportedValue.size() > 0) {
        if (m_itemHasValue)
            m_sink.counted(line(), u"略去了%1个项中第一个值之后的其它值，第一个在第%2行"_s);
        skipElement();
        return;
    }
    switch (tag) {
    case Tag::Text:
    case Tag::TextList:
        m_item.kind = Kind::Text;
        break;
    case Tag::Number:
    case Tag::NumberList:
        m_item.kind = Kind::Number;
        break;
    case Tag::DateTime:
    case Tag::DateTimeList:
        m_item.kind = Kind::DateTime;
        break;
    case Tag::RichText:
        m_item.kind = Kind::RichText;
        m_rich.emplace();
        m_richDepth = m_stack.size();
        m_richQuietDepth = 0;
        m_richXml.take();
        m_richXml.start(m_local, attrs);
        m_itemHasValue = true;
        return;
    case Tag::Object:
        m_itemIsFile = true;
        return;
    case Tag::RawItemData: {
        // Hexadecimal item types: MIME_PART and RFC822_TEXT are the two a mail keeps.
        bool ok = false;
        const uint type = attribute(attrs, "type").trimmed().toUInt(&ok, 16);
        if (ok && (type == 0x19 || type == 0x502)) {
            m_item.kind = type == 0x19 ? Kind::MimePart : Kind::Rfc822;
            m_itemHasValue = true;
            m_inRawData = true;
            m_base64.reset();
            return;
        }
        [[fallthrough]];
    }
    default:
        // itemdata, rawitemdata, formula and anything unknown: kept out, counted.
        m_unsupportedValue = QString::fromUtf8(m_local.data(), qsizetype(m_local.size()));
        skipElement();
        return;
    }
    m_itemHasValue = true;
    if (tag == Tag::Text || tag == Tag::Number || tag == Tag::DateTime)
        beginCollect();
}

// <object><file name=...><filedata>base64</filedata></file></object>: false for anything else.
bool Reader::Impl::startAttachment(Tag tag, Tag up, const XML_Char** attrs)
{
    if (tag == Tag::File && up == Tag::Object) {
        const QString compression = attribute(attrs, "compression");
        m_attachmentName = attribute(attrs, "name");
        if (!compression.isEmpty() && compression != u"none"_s) {
            m_sink.notice(line(), u"附件"_s + m_attachmentName + u"以Notes自己的压缩格式（"_s + compression +
                                      u"）导出，无法解压，已跳过"_s);
            skipElement();
        }
        return true;
    }
    if (tag == Tag::FileData && up == Tag::File) {
        m_sink.beginAttachment(m_attachmentName);
        m_base64.reset();
        m_decoded.clear();
        m_inFileData = true;
        return true;
    }
    return false;
}

void Reader::Impl::characters(const XML_Char* data, int length)
{
    if (m_skipDepth > 0)
        return;
    if (m_inFileData) {
        qsizetype bad = 0;
        if (!m_base64.feed(data, length, m_decoded, &bad)) {
            const qint64 at = line() + std::count(data, data + bad, '\n');
            throw platform::Error(u"DXL文件"_s + m_fileName + u"第"_s + QString::number(at) + u"行：附件"_s +
                                  m_attachmentName + u"的base64数据有误（字符“"_s + QString::fromUtf8(data + bad, 1) +
                                  u"”）"_s);
        }
        if (m_decoded.size() >= kAttachmentChunk) {
            m_sink.attachmentData(m_decoded.constData(), m_decoded.size());
            m_decoded.clear();
        }
        return;
    }
    if (m_inRawData) {
        qsizetype bad = 0;
        if (!m_base64.feed(data, length, m_item.raw, &bad)) {
            const qint64 at = line() + std::count(data, data + bad, '\n');
            throw platform::Error(u"DXL文件"_s + m_fileName + u"第"_s + QString::number(at) + u"行：项"_s +
                                  m_item.name + u"的base64数据有误（字符“"_s + QString::fromUtf8(data + bad, 1) +
                                  u"”）"_s);
        }
        return;
    }
    if (m_rich) {
        m_richXml.characters(data, length);
        if (m_richQuietDepth == 0)
            m_rich->characters(data, length);
        return;
    }
    if (m_collect)
        m_text += QString::fromUtf8(data, length);
}

void Reader::Impl::end(const XML_Char* name)
{
    if (m_skipDepth > 0) {
        --m_skipDepth;
        return;
    }
    const Tag tag = m_stack.back().tag;
    const size_t depth = m_stack.size();
    if (m_rich && depth >= m_richDepth)
        endRichText(tag, depth, name);
    else if (m_itemDepth > 0 && depth > m_itemDepth)
        endValue(tag);
    else if (m_itemDepth > 0 && depth == m_itemDepth)
        endItem();
    else if (m_docDepth > 0)
        endDocument(tag);
    else if (m_view)
        endView(tag);
    m_stack.pop_back();
}

void Reader::Impl::endRichText(Tag tag, size_t depth, const XML_Char* name)
{
    m_richXml.end(localName(name));
    if (depth > m_richDepth) {
        if (m_richQuietDepth == 0)
            m_rich->end(tag);
        else if (depth == m_richQuietDepth)
            m_richQuietDepth = 0;
        return;
    }
    m_item.texts = QStringList{m_rich->text()};
    m_item.objectNames = m_rich->objects();
    m_item.richText = m_richXml.take();
    m_rich.reset();
}

// The end of an element inside an item: a value collected, or an attachment's data.
void Reader::Impl::endValue(Tag tag)
{
    if (m_collect && (tag == Tag::Text || tag == Tag::Number || tag == Tag::DateTime)) {
        m_collect = false;
        keepValue(tag);
    } else if (tag == Tag::FileData && m_inFileData) {
        endAttachment();
    } else if (tag == Tag::RawItemData && m_inRawData) {
        m_inRawData = false;
        if (!m_base64.finish())
            fail(u"项"_s + m_item.name + u"的base64数据不完整"_s);
    }
}

void Reader::Impl::keepValue(Tag tag)
{
    if (tag == Tag::Text) {
        m_item.texts << m_text;
    } else if (tag == Tag::Number) {
        bool ok = false;
        const double value = m_text.trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(value))
            fail(u"项"_s + m_item.name + u"的数值无效：“"_s + m_text.trimmed() + u"”"_s);
        m_item.numbers.push_back(value);
    } else if (parent(2) == Tag::DateTimePair && m_pairIndex != 1) {
        // A range is kept as its start.
        m_sink.counted(line(), u"%1个日期时间范围只保留了开始时间，第一个在第%2行"_s);
    } else if (m_text.trimmed().isEmpty()) {
        m_sink.counted(line(), u"略去了%1个空的日期时间值，第一个在第%2行"_s);
    } else {
        m_item.dateTimes.push_back(dateTime(m_text));
    }
}

void Reader::Impl::endAttachment()
{
    m_inFileData = false;
    if (!m_base64.finish())
        fail(u"附件"_s + m_attachmentName + u"的base64数据不完整"_s);
    if (!m_decoded.isEmpty())
        m_sink.attachmentData(m_decoded.constData(), m_decoded.size());
    m_decoded.clear();
    m_decoded.squeeze();
    m_sink.endAttachment();
}

// An attachment item has passed its file on already; an item without a value, or with one that cannot be
// kept, is counted instead.
void Reader::Impl::endItem()
{
    m_itemDepth = 0;
    if (m_itemIsFile)
        return;
    if (!m_unsupportedValue.isEmpty())
        skippedItem(m_unsupportedValue);
    else if (!m_itemHasValue)
        skippedItem(u"空项"_s);
    else
        m_sink.item(m_item);
}

void Reader::Impl::skippedItem(const QString& element)
{
    m_sink.counted(line(), u"跳过了%1个无法导入的项（<"_s + element + u">），第一个在第%2行"_s);
}

void Reader::Impl::endDocument(Tag tag)
{
    const size_t depth = m_stack.size() - m_docDepth;
    if (depth == 0) {
        ensureDocumentBegun();
        m_sink.endDocument();
        m_docDepth = 0;
        return;
    }
    if (depth == 1 && tag == Tag::NoteInfo) {
        ensureDocumentBegun();
        return;
    }
    if (tag == Tag::DateTime && m_collect) {
        m_collect = false;
        if (m_text.trimmed().isEmpty())
            return;
        (parent(2) == Tag::Created ? m_noteInfo.created : m_noteInfo.modified) = dateTime(m_text);
    }
}

void Reader::Impl::ensureDocumentBegun()
{
    if (m_docBegun)
        return;
    m_docBegun = true;
    m_sink.beginDocument(m_noteInfo);
}

void Reader::Impl::endView(Tag tag)
{
    const size_t depth = m_stack.size() - m_viewDepth;
    if (depth == 0) {
        finishView();
        return;
    }
    if (tag == Tag::Formula && m_collect) {
        m_collect = false;
        if (depth == 2 && m_codeEvent == u"selection"_s) {
            m_view->selection = m_text.trimmed();
        } else if (depth == 3 && m_codeEvent == u"value"_s && !m_columns.empty()) {
            m_columns.back().formula = m_text.trimmed();
        }
    }
}

// A column's formula that is an item name shows that item; one the component cannot evaluate is kept, shows
// empty and is reported, as is such a selection (the view then shows every document).
void Reader::Impl::finishView()
{
    View view = std::move(*m_view);
    m_view.reset();
    const QString viewName = view.name.isEmpty() ? u"(未命名)"_s : view.name;
    const auto unsupported = [](const QString& formula) -> std::optional<QString> {
        try {
            formula::Formula::parse(formula);
            return std::nullopt;
        } catch (const formula::FormulaError& e) {
            return e.message();
        }
    };
    if (!view.selection.isEmpty()) {
        if (const auto why = unsupported(view.selection))
            m_sink.notice(view.line, u"视图"_s + viewName + u"的选择公式无法使用，改为显示全部文档："_s +
                                         view.selection + u"（"_s + *why + u"）"_s);
    }
    bool extraSorts = false;
    for (const PendingColumn& pending : m_columns) {
        ViewColumn column{pending.title, pending.itemName, {}};
        if (!pending.formula.isEmpty()) {
            column.item.clear();
            try {
                const auto item = formula::Formula::parse(pending.formula).itemName();
                (item ? column.item : column.formula) = item.value_or(pending.formula);
            } catch (const formula::FormulaError& e) {
                column.formula = pending.formula;
                m_sink.notice(view.line, u"视图"_s + viewName + u"的列“"_s + column.title +
                                             u"”的公式无法计算，该列显示为空："_s + pending.formula + u"（"_s +
                                             e.message() + u"）"_s);
            }
        }
        if (pending.sort == u"ascending"_s || pending.sort == u"descending"_s) {
            if (view.sortColumn < 0) {
                view.sortColumn = int(view.columns.size());
                view.descending = pending.sort == u"descending"_s;
            } else {
                extraSorts = true;
            }
        }
        view.columns.push_back(std::move(column));
    }
    if (extraSorts)
        m_sink.notice(view.line, u"视图"_s + viewName + u"按多列排序，只保留了第一个排序列"_s);
    m_sink.view(view);
}

DateTimeValue Reader::Impl::dateTime(const QString& text) const
{
    const auto value = parseDateTime(text);
    if (!value)
        fail(u"日期时间无效：“"_s + text.trimmed() + u"”"_s);
    return *value;
}

Reader::Reader(Sink& sink) : m_impl(std::make_unique<Impl>(sink)) {}

Reader::~Reader() = default;

void Reader::read(QIODevice& input, const QString& fileName)
{
    m_impl->read(input, fileName);
}

} // namespace quill::component::dxl
