#include "admin.h"

#include "domino/error.h"
#include "domino/ftsearch.h"
#include "domino/loader.h"
#include "dxlreader.h"
#include "formula/formula.h"
#include "fulltext.h"
#include "model.h"
#include "platform/registry.h"
#include "readeraccess.h"
#include "richtextbody.h"
#include "store.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <algorithm>
#include <functional>
#include <limits>
#include <random>

using namespace Qt::StringLiterals;
using quill::domino::DominoError;

namespace quill::component::admin {
namespace {

void insertDocument(Store& store, const DocumentToAdd& def)
{
    const qint64 created = def.created >= 0 ? def.created : QDateTime::currentMSecsSinceEpoch();
    const qint64 modified = def.modified >= 0 ? def.modified : created;
    QString unid = def.unid.toUpper();
    if (unid.isEmpty()) {
        unid = newUniversalId();
    } else if (!isUniversalId(unid)) {
        throw DominoError(u"文档编号必须是32位十六进制数字："_s + def.unid);
    }
    {
        Query q(store.statement("SELECT 1 FROM documents WHERE unid = ?"));
        q->bind(1, unid);
        if (q->step())
            throw DominoError(u"文档编号已存在："_s + unid);
    }
    QString form;
    for (const ItemToAdd& item : def.items) {
        if (item.name.compare(u"Form"_s, Qt::CaseInsensitive) == 0 && !item.values.isEmpty()) {
            form = item.values.first().toString();
            break;
        }
    }
    Query doc(store.statement("INSERT INTO documents(unid, form, created, modified) VALUES(?, ?, ?, ?)"));
    doc->bind(1, unid).bind(2, form).bind(3, created).bind(4, modified).run();
    const qint64 docId = store.lastInsertId();

    Query item(store.statement("INSERT INTO items(doc_id, seq, name, type, value) VALUES(?, ?, ?, ?, ?)"));
    Query object(
        store.statement("INSERT INTO embedded_objects(doc_id, item_seq, seq, name, data) VALUES(?, ?, ?, ?, ?)"));
    qint64 seq = 0;
    for (const ItemToAdd& itemDef : def.items) {
        ++seq;
        if (itemDef.name.trimmed().isEmpty())
            throw DominoError(u"域名不能为空"_s);
        if (!isKnownItemType(itemDef.type))
            throw DominoError(u"域"_s + itemDef.name + u"的类型无效："_s + QString::number(itemDef.type));
        item->bind(1, docId).bind(2, seq).bind(3, itemDef.name).bind(4, qint64(itemDef.type));
        item->bind(5, encodeValues(itemDef.values)).run();
        qint64 objectSeq = 0;
        for (const FileToAdd& file : itemDef.objects) {
            object->bind(1, docId).bind(2, seq).bind(3, ++objectSeq).bind(4, file.name).bindBlob(5, file.data).run();
        }
        if (itemDef.type == RichTextType && !itemDef.dxl.isEmpty())
            writeBody(store, docId, seq, BodyFormat::Dxl, itemDef.dxl);
        else if (itemDef.type == RichTextType && !itemDef.mime.isEmpty())
            writeBody(store, docId, seq, BodyFormat::Mime, itemDef.mime);
    }
    Query attachment(store.statement("INSERT INTO attachments(doc_id, seq, name, data) VALUES(?, ?, ?, ?)"));
    qint64 attachmentSeq = 0;
    for (const FileToAdd& file : def.attachments) {
        if (file.name.isEmpty())
            throw DominoError(u"附件名不能为空"_s);
        attachment->bind(1, docId).bind(2, ++attachmentSeq).bind(3, file.name).bindBlob(4, file.data).run();
    }
}

// Sentences of Chinese words for generated documents: words of one to four of the commonest characters, some far
// more frequent than others as in real text, from a generator seeded alike on every run.
class ChineseText
{
public:
    ChineseText() : m_random(20240501)
    {
        static const QString characters =
            u"的一是在不了有和人这中大为上个国我以要他时来用们生到作地于出就分对成会可主发年动同工也能下过子说产种面而"
            u"方后多定行学法所民得经十三之进着等部度家电力里如水化高自二理起小物现实加量都两体制机当使点从业本去把性好"
            u"应开它合还因由其些然前外天政四日那社义事平形相全表间样与关各重新线内数正心反你明看原又么利比或但质气第向"
            u"道命此变条只没结解问意建月公无系军很情者最立代想已通并提直题党程展五果料象员革位入常文总次品式活设及管特"
            u"件长求老头基资边流路级少图山统接知较将组见计别她手角期根论运农指几九区强放决西被干做必战先回则任取据处队"
            u"南给色光门即保治北造百规热领七海口东导器压志世金增争济阶油思术极交受联什认六共权收证改清美再采转更单风切"
            u"打白教速花带安场身车例真务具万每目至达走积示议声报斗完类八离华名确才科张信马节话米整空元况今集温传土许步"
            u"群广石记需段研界拉林律叫且究观越织装影算低持音众书布复容儿须际商非验连断深难近矿千周委素技备半办青省列习"
            u"响约支般史感劳便团往酸历市克何除消构府称太准精值号率族维划选标写存候毛亲快效斯院查江型眼王按格养易置派层"
            u"片始却专状育厂京识适属圆包火住调满县局照参红细引听该铁价严合同客户销售采购项目财务审批报告会议通知"_s;
        std::uniform_int_distribution<int> length(1, 20);
        std::uniform_int_distribution<qsizetype> character(0, characters.size() - 1);
        for (int n = 0; n < kWords; ++n) {
            // Mostly two characters, as most Chinese words.
            const int pick = length(m_random);
            const int size = pick <= 2 ? 1 : pick <= 14 ? 2 : pick <= 18 ? 3 : 4;
            QString word;
            for (int c = 0; c < size; ++c)
                word += characters[character(m_random)];
            m_words << word;
        }
    }

    QString sentence(int words)
    {
        // The square of a uniform number: the first words of the list come far more often.
        std::uniform_real_distribution<double> uniform(0.0, 1.0);
        QString text;
        for (int n = 0; n < words; ++n) {
            const double u = uniform(m_random);
            text += m_words[qsizetype(u * u * kWords)];
            if (n + 1 < words && n % 7 == 6)
                text += u'，';
        }
        return text + u'。';
    }

private:
    static constexpr int kWords = 5000;
    std::mt19937 m_random;
    QStringList m_words;
};

// Rich text of generated documents with a structure, kept as the DXL import keeps it: the import's own reader
// reads their DXL, some documents at a time, and gives each item's plain text and the <richtext> element it stores.
class GeneratedBodies final : private dxl::Sink
{
public:
    struct Body
    {
        QString text;
        QByteArray dxl;
    };

    // The bodies of consecutive documents, numbered from first, of these ids; each links to the one before it, the
    // first to before.
    std::vector<Body> make(qint64 first, const std::vector<QString>& unids, const QString& before)
    {
        QByteArray source = QByteArray("<database xmlns='") + dxl::kDxlNamespace + "'>";
        for (size_t k = 0; k < unids.size(); ++k) {
            source += "<document form='Memo'><item name='Body'>";
            source += generatedRichBody(first + qint64(k), k == 0 ? before : unids[k - 1]);
            source += "</item></document>";
        }
        source += "</database>";
        m_bodies.clear();
        m_bodies.reserve(unids.size());
        QBuffer input(&source);
        input.open(QIODevice::ReadOnly);
        dxl::Reader(*this).read(input, u"（生成的正文）"_s);
        if (m_bodies.size() != unids.size())
            throw DominoError(u"生成的正文无法按DXL导入读取"_s);
        return std::move(m_bodies);
    }

private:
    void database(const dxl::DatabaseInfo&) override {}
    void aclEntry(const dxl::AclEntry&) override {}
    void view(const dxl::View&) override {}
    void beginDocument(const dxl::NoteInfo&) override {}
    void item(const dxl::Item& item) override
    {
        if (item.kind == dxl::Item::Kind::RichText)
            m_bodies.push_back({item.texts.value(0), item.richText});
    }
    void beginAttachment(const QString&) override {}
    void attachmentData(const char*, qsizetype) override {}
    void endAttachment() override {}
    void endDocument() override {}
    // Nothing of these bodies may be left out.
    void notice(qint64, const QString& message) override
    {
        throw DominoError(u"生成的正文无法按DXL导入读取："_s + message);
    }

    std::vector<Body> m_bodies;
};

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw DominoError(u"无法读取文件："_s + path + u"（"_s + file.errorString() + u"）"_s);
    return file.readAll();
}

// A document's created or modified time: an instant, in local time when the text gives no zone.
qint64 parseInstant(const QString& text)
{
    QDateTime value = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!value.isValid())
        value = QDateTime::fromString(text, Qt::ISODate);
    if (!value.isValid()) {
        throw DominoError(u"日期时间格式无效："_s + text + u"（应为ISO 8601格式，如2024-05-01T08:30:00）"_s);
    }
    return value.toMSecsSinceEpoch();
}

// An ISO 8601 date ("2024-05-01"), time ("08:30", "08:30:00.5"), date and time as a clock shows them
// ("2024-05-01T08:30:00") or date and time in a zone ("…Z", "…+08:00": an instant) as stored. A "date"
// item takes dates only, a "time" item times only.
QJsonValue parseItemDateTime(const QString& text, const QString& typeName)
{
    static const QRegularExpression iso(
        uR"(^(?:(\d{4})-(\d{2})-(\d{2}))?(?:(?:^|T)(\d{2}):(\d{2})(?::(\d{2})(?:[.,](\d{1,3})\d*)?)?)?(?:(Z)|([+-])(\d{2}):?(\d{2})?)?$)"_s);
    const QRegularExpressionMatch m = iso.match(text.trimmed());
    const auto number = [&](int group) { return m.captured(group).toInt(); };
    const QDate date = m.hasCaptured(1) ? QDate(number(1), number(2), number(3)) : QDate();
    const QTime time = m.hasCaptured(4)
                           ? QTime(number(4), number(5), number(6), m.captured(7).leftJustified(3, u'0').toInt())
                           : QTime();
    std::optional<int> offset;
    if (m.hasCaptured(8) || m.hasCaptured(9))
        offset = (m.captured(9) == u"-"_s ? -1 : 1) * (number(10) * 3600 + number(11) * 60);
    const bool valid = m.hasMatch() && date.isValid() == m.hasCaptured(1) && time.isValid() == m.hasCaptured(4) &&
                       (date.isValid() || time.isValid()) && (!offset || (date.isValid() && time.isValid())) &&
                       std::abs(offset.value_or(0)) <= 14 * 3600 && number(11) < 60;
    if (typeName == u"date"_s && (!valid || time.isValid()))
        throw DominoError(u"日期格式无效："_s + text + u"（应为如2024-05-01）"_s);
    if (typeName == u"time"_s && (!valid || date.isValid()))
        throw DominoError(u"时间格式无效："_s + text + u"（应为如08:30:00）"_s);
    if (!valid)
        throw DominoError(u"日期时间格式无效："_s + text + u"（应为ISO 8601格式，如2024-05-01T08:30:00）"_s);
    return storedDateTime(date, time, offset);
}

FileToAdd parseFile(const QJsonValue& value, const QString& baseDir, const QString& what)
{
    const QJsonObject object = value.toObject();
    FileToAdd file;
    file.name = object.value(u"name"_s).toString();
    if (object.contains(u"file"_s)) {
        const QString path = QDir(baseDir).filePath(object.value(u"file"_s).toString());
        file.data = readFile(path);
        if (file.name.isEmpty())
            file.name = QFileInfo(path).fileName();
    } else if (object.contains(u"base64"_s)) {
        file.data = QByteArray::fromBase64(object.value(u"base64"_s).toString().toLatin1());
    } else if (object.contains(u"text"_s)) {
        file.data = object.value(u"text"_s).toString().toUtf8();
    } else {
        throw DominoError(what + u"必须给出file、base64或text之一"_s);
    }
    if (file.name.isEmpty())
        throw DominoError(what + u"缺少name"_s);
    return file;
}

ItemToAdd parseItem(const QJsonObject& object, const QString& baseDir)
{
    ItemToAdd item;
    item.name = object.value(u"name"_s).toString();
    if (item.name.trimmed().isEmpty())
        throw DominoError(u"域缺少name"_s);
    QJsonArray values;
    if (object.contains(u"values"_s))
        values = object.value(u"values"_s).toArray();
    else if (object.contains(u"value"_s))
        values.append(object.value(u"value"_s));
    const QString typeName = object.value(u"type"_s).toString();
    if (typeName.isEmpty())
        item.type = !values.isEmpty() && values.first().isDouble() ? NumberType : TextType;
    else
        item.type = itemTypeFromName(typeName);
    if (item.type == 0)
        throw DominoError(u"域"_s + item.name + u"的类型无效："_s + typeName);

    if (item.type == RichTextType) {
        item.values.append(object.value(u"text"_s).toString(values.isEmpty() ? QString() : values.first().toString()));
        for (const QJsonValue& entry : object.value(u"objects"_s).toArray())
            item.objects.push_back(parseFile(entry, baseDir, u"域"_s + item.name + u"的嵌入对象"_s));
        return item;
    }
    for (const QJsonValue& value : values) {
        if (item.type == NumberType) {
            if (!value.isDouble())
                throw DominoError(u"数字域"_s + item.name + u"的值不是数字"_s);
            item.values.append(value.toDouble());
        } else if (item.type == DateTimeType) {
            if (!value.isString())
                throw DominoError(u"日期时间域"_s + item.name + u"的值不是文本"_s);
            item.values.append(parseItemDateTime(value.toString(), typeName.toLower()));
        } else {
            if (!value.isString())
                throw DominoError(u"文本域"_s + item.name + u"的值不是文本"_s);
            item.values.append(value);
        }
    }
    return item;
}

void createWith(const QString& path, const QString& title, const std::function<void(Store&)>& work)
{
    Store::create(path, [&](Store& store) {
        store.setMeta(u"title"_s, title);
        work(store);
    });
}

} // namespace

qint64 writeView(Store& store, const ViewSpec& view)
{
    if (view.name.trimmed().isEmpty())
        throw DominoError(u"视图名不能为空"_s);
    if (view.sortColumn >= int(view.columns.size()))
        throw DominoError(u"视图"_s + view.name + u"的排序列不存在"_s);
    {
        Query q(store.statement("SELECT 1 FROM views WHERE name = ?"));
        q->bind(1, view.name);
        if (q->step())
            throw DominoError(u"视图已存在："_s + view.name);
    }
    Query q(store.statement(
        "INSERT INTO views(name, form, sort_column, sort_descending, selection) VALUES(?, ?, ?, ?, ?)"));
    q->bind(1, view.name);
    if (view.form.isEmpty())
        q->bindNull(2);
    else
        q->bind(2, view.form);
    q->bind(3, qint64(view.sortColumn)).bind(4, qint64(view.descending ? 1 : 0)).bind(5, view.selection).run();
    const qint64 viewId = store.lastInsertId();
    Query column(store.statement("INSERT INTO view_columns(view_id, seq, title, item, formula) VALUES(?, ?, ?, ?, ?)"));
    qint64 seq = 0;
    for (const ColumnSpec& def : view.columns) {
        if (!def.item.isEmpty() && !def.formula.isEmpty())
            throw DominoError(u"视图列"_s + def.title + u"只能给出域名或公式之一"_s);
        column->bind(1, viewId).bind(2, ++seq).bind(3, def.title).bind(4, def.item).bind(5, def.formula).run();
    }
    Query alias(store.statement("INSERT INTO view_aliases(view_id, seq, alias) VALUES(?, ?, ?)"));
    seq = 0;
    for (const QString& name : view.aliases) {
        if (!name.trimmed().isEmpty())
            alias->bind(1, viewId).bind(2, ++seq).bind(3, name.trimmed()).run();
    }
    return viewId;
}

void createDatabase(const QString& path, const QString& title)
{
    if (!path.endsWith(u".nsf"_s, Qt::CaseInsensitive))
        throw DominoError(u"数据库文件名必须以.nsf结尾："_s + path);
    createWith(path, title, [](Store&) {});
}

ColumnSpec parseColumn(const QString& text)
{
    const qsizetype eq = text.indexOf(u'=');
    if (eq <= 0 || eq == text.size() - 1)
        throw DominoError(u"列的写法应为 标题=域名 或 标题=@公式："_s + text);
    ColumnSpec column;
    column.title = text.left(eq);
    const QString source = text.mid(eq + 1).trimmed();
    // A name without any of the language's signs is an item, as it always was (spaces and all).
    static const QRegularExpression formulaSign(uR"([@"{}()+\-*/=<>!&|:;\[\]])"_s);
    if (!source.contains(formulaSign)) {
        column.item = source;
        return column;
    }
    try {
        const formula::Formula formula = formula::Formula::parse(source);
        if (const auto item = formula.itemName())
            column.item = *item;
        else
            column.formula = source;
    } catch (const formula::FormulaError& e) {
        throw DominoError(u"不支持的列公式："_s + source + u"（"_s + e.message() + u"）"_s);
    }
    return column;
}

void checkSelection(const QString& formula)
{
    try {
        formula::Formula::parse(formula);
    } catch (const formula::FormulaError& e) {
        throw DominoError(u"不支持的选择公式："_s + formula + u"（"_s + e.message() + u"）"_s);
    }
}

qint64 addView(const QString& path, const ViewSpec& view)
{
    // A view without columns comes only from DXL files; one made here shows something.
    if (view.columns.empty())
        throw DominoError(u"视图"_s + view.name + u"至少需要一列"_s);
    qint64 entries = 0;
    Store::update(path, [&](Store& store) { entries = rebuildViewIndex(store, writeView(store, view)); });
    return entries;
}

std::vector<DocumentToAdd> parseDocuments(const QByteArray& json, const QString& baseDir)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError)
        throw DominoError(u"JSON格式错误（第"_s + QString::number(error.offset) + u"字节）："_s + error.errorString());
    if (!document.isArray())
        throw DominoError(u"JSON的顶层必须是文档的数组"_s);
    std::vector<DocumentToAdd> documents;
    int index = 0;
    for (const QJsonValue& value : document.array()) {
        ++index;
        try {
            if (!value.isObject())
                throw DominoError(u"不是JSON对象"_s);
            const QJsonObject object = value.toObject();
            DocumentToAdd doc;
            doc.unid = object.value(u"id"_s).toString();
            if (object.contains(u"created"_s))
                doc.created = parseInstant(object.value(u"created"_s).toString());
            if (object.contains(u"modified"_s))
                doc.modified = parseInstant(object.value(u"modified"_s).toString());
            if (object.contains(u"form"_s)) {
                ItemToAdd form{u"Form"_s, TextType, QJsonArray{object.value(u"form"_s).toString()}, {}};
                doc.items.push_back(std::move(form));
            }
            for (const QJsonValue& item : object.value(u"items"_s).toArray())
                doc.items.push_back(parseItem(item.toObject(), baseDir));
            for (const QJsonValue& file : object.value(u"attachments"_s).toArray())
                doc.attachments.push_back(parseFile(file, baseDir, u"附件"_s));
            documents.push_back(std::move(doc));
        } catch (const DominoError& e) {
            throw DominoError(u"第"_s + QString::number(index) + u"个文档："_s + e.message());
        }
    }
    return documents;
}

void addDocuments(const QString& path, const std::vector<DocumentToAdd>& documents)
{
    Store::update(path, [&](Store& store) {
        for (const DocumentToAdd& doc : documents)
            insertDocument(store, doc);
        rebuildViewIndex(store);
    });
}

QString jsonSchemaHelp()
{
    return uR"(add-docs 的JSON格式（UTF-8）：文档的数组
[
  {
    "id": "可选：32位十六进制的文档编号，缺省时随机生成",
    "form": "可选：表单名，写成第一个文本域 Form（视图按表单选择文档）",
    "created": "可选：创建时间，ISO 8601，如 2024-05-01T08:30:00（缺省为现在）",
    "modified": "可选：修改时间（缺省同创建时间）",
    "items": [
      {"name": "标题", "type": "text", "value": "一个值"},
      {"name": "联系人", "type": "names", "values": ["张三", "李四"]},
      {"name": "金额", "type": "number", "values": [1234.5]},
      {"name": "日期", "type": "date", "value": "2024-05-01"},
      {"name": "时间", "type": "time", "value": "08:30:00"},
      {"name": "会面", "type": "datetime", "value": "2024-05-01T08:30:00"},
      {"name": "发出", "type": "datetime", "value": "2024-05-01T08:30:00+08:00"},
      {"name": "正文", "type": "richtext", "text": "纯文本内容",
       "objects": [{"name": "图.png", "file": "相对于JSON文件的路径"},
                   {"name": "说明.txt", "text": "文本内容"},
                   {"name": "a.bin", "base64": "AAEC"}]}
    ],
    "attachments": [{"file": "报告.pdf"}, {"name": "说明.txt", "text": "附件内容"}]
  }
]
type：text、number、datetime、date、time、names、readers、authors、richtext；缺省时按值推断（数字为number，否则text）。
datetime的值按写法保存：只有日期为日期，只有时间为时间，日期和时间不带时区为墙上时间（在任何时区显示相同），
带时区（Z或+08:00）为确定的时刻（按查看者所在时区显示）。date只收日期，time只收时间。
每个域的值都是列表："value" 是只有一个值的简写。)"_s;
}

bool addUser(const QString& namesPath, const QString& user, const QString& password)
{
    if (user.trimmed().isEmpty())
        throw DominoError(u"用户名不能为空"_s);
    const QByteArray hash = hashPassword(password.toUtf8());
    bool created = false;
    Store::update(namesPath, [&](Store& store) {
        {
            Query known(store.statement("SELECT 1 FROM users WHERE name = ?"));
            known->bind(1, user.trimmed());
            created = !known->step();
        }
        Query q(store.statement("INSERT OR REPLACE INTO users(name, password_hash) VALUES(?, ?)"));
        q->bind(1, user.trimmed()).bind(2, QString::fromLatin1(hash)).run();
    });
    return created;
}

QString roleName(const QString& role)
{
    QString name = role.trimmed();
    if (name.startsWith(u'[') && name.endsWith(u']'))
        name = name.mid(1, name.size() - 2).trimmed();
    if (name.isEmpty() || name.contains(u'[') || name.contains(u']'))
        throw DominoError(u"角色名无效："_s + role + u"（应为如Admin或[Admin]）"_s);
    return u'[' + name + u']';
}

QStringList setAcl(const QString& path, const QString& name, int level, const QStringList& roles)
{
    if (name.trimmed().isEmpty())
        throw DominoError(u"访问控制列表的名称不能为空"_s);
    if (level < NoAccess || level > Manager)
        throw DominoError(u"访问级别必须在0到6之间："_s + QString::number(level));
    QStringList kept;
    for (const QString& role : roles) {
        const QString stored = roleName(role);
        if (!kept.contains(stored, Qt::CaseInsensitive))
            kept << stored;
    }
    Store::update(path, [&](Store& store) {
        Query q(store.statement("INSERT OR REPLACE INTO acl(name, level) VALUES(?, ?)"));
        q->bind(1, name.trimmed()).bind(2, qint64(level)).run();
        if (kept.isEmpty() && !store.hasTable("acl_roles"))
            return;
        store.exec("CREATE TABLE IF NOT EXISTS acl_roles(name TEXT NOT NULL COLLATE NOCASE, "
                   "role TEXT NOT NULL COLLATE NOCASE, PRIMARY KEY(name, role)) WITHOUT ROWID");
        Query clear(store.statement("DELETE FROM acl_roles WHERE name = ?"));
        clear->bind(1, name.trimmed()).run();
        Query add(store.statement("INSERT INTO acl_roles(name, role) VALUES(?, ?)"));
        for (const QString& role : kept)
            add->bind(1, name.trimmed()).bind(2, role).run();
    });
    return kept;
}

QStringList setGroup(const QString& namesPath, const QString& group, const QStringList& members)
{
    const QString name = group.trimmed();
    if (name.isEmpty() || name.startsWith(u'*') || name.startsWith(u'['))
        throw DominoError(u"组名无效："_s + group);
    QStringList kept;
    QSet<QString> keys;
    for (const QString& member : members) {
        const QString key = nameKey(member);
        if (key.isEmpty())
            throw DominoError(u"组"_s + name + u"的成员名不能为空"_s);
        if (member.trimmed().startsWith(u'['))
            throw DominoError(u"角色不能是组的成员："_s + member.trimmed());
        if (!keys.contains(key))
            kept << member.trimmed();
        keys.insert(key);
    }
    Store::update(namesPath, [&](Store& store) {
        store.exec("CREATE TABLE IF NOT EXISTS directory_groups(name TEXT NOT NULL COLLATE NOCASE, "
                   "member TEXT NOT NULL, PRIMARY KEY(name, member)) WITHOUT ROWID");
        // The group under any spelling Domino takes for the same name.
        QStringList spellings;
        {
            Query q(store.statement("SELECT DISTINCT name FROM directory_groups"));
            while (q->step()) {
                if (nameKey(q->text(0)) == nameKey(name))
                    spellings << q->text(0);
            }
        }
        Query clear(store.statement("DELETE FROM directory_groups WHERE name = ?"));
        for (const QString& spelling : spellings)
            clear->bind(1, spelling).run();
        Query add(store.statement("INSERT INTO directory_groups(name, member) VALUES(?, ?)"));
        for (const QString& member : kept)
            add->bind(1, name).bind(2, member).run();
    });
    return kept;
}

bool addServerName(const QString& namesPath, const QString& server)
{
    if (server.trimmed().isEmpty())
        throw DominoError(u"服务器名不能为空"_s);
    bool added = false;
    Store::update(namesPath, [&](Store& store) {
        Query q(store.statement("INSERT OR IGNORE INTO servers(name) VALUES(?)"));
        q->bind(1, server.trimmed()).run();
        added = store.changes() > 0;
    });
    return added;
}

QByteArray generatedRichBody(qint64 n, const QString& linkTarget)
{
    // A 1x1 PNG and a 1x1 GIF, as a DXL export gives small pictures: base64 inside the picture element.
    static const QByteArray png =
        "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8DwHwAFBQIAX8jx0gAAAABJRU5ErkJggg==";
    static const QByteArray gif = "R0lGODlhAQABAIAAAP///wAAACwAAAAAAQABAAACAkQBADs=";
    const QByteArray number = QByteArray::number(n);
    return "<richtext><pardef id='1'/><pardef id='2' list='bullet'/>"
           "<par def='1'><run><font style='bold'/>文档" +
           number +
           "</run> 的正文，带一个表格、两张图片和链接。</par>"
           "<table widthtype='fixedleft'><tablecolumn width='1in'/><tablecolumn width='2in'/>"
           "<tablerow><tablecell><par def='1'>项目</par></tablecell><tablecell><par def='1'>金额</par></tablecell>"
           "</tablerow><tablerow><tablecell><par def='1'>合同" +
           number + "</par></tablecell><tablecell><par def='1'>" + QByteArray::number(n * 7) +
           "</par></tablecell></tablerow></table>"
           "<par def='2'>第一项</par><par def='2'>第二项</par>"
           "<par def='1'><picture width='1px' height='1px'><png>" +
           png + "</png></picture> <picture width='1px' height='1px'><gif>" + gif +
           "</gif></picture></par><par def='1'><urllink href='https://www.example.org/" + number +
           "'>网址</urllink> <doclink document='" + linkTarget.toLatin1() +
           "' database='852566B8:00701B47'>上一个文档</doclink></par></richtext>";
}

void generate(const QString& path, qint64 count, const GenerateOptions& options)
{
    if (count < 0)
        throw DominoError(u"文档数不能为负数"_s);
    if (options.items != 0 && options.items < 5)
        throw DominoError(u"每个文档至少有5个域（Form与视图的四列）"_s);
    if (options.richText && options.items < 6)
        throw DominoError(u"RichText域需要每个文档至少6个域"_s);
    if (options.richBody && !options.richText)
        throw DominoError(u"带格式的正文需要RichText域（--richtext）"_s);
    if (options.attachmentsEvery < 0)
        throw DominoError(u"附件间隔不能为负数"_s);
    if (options.readersEvery < 0)
        throw DominoError(u"读者域间隔不能为负数"_s);
    if (options.words < 0)
        throw DominoError(u"词数不能为负数"_s);
    ChineseText text;
    const qint64 base = QDateTime(QDate(2020, 1, 1), QTime(8, 0)).toMSecsSinceEpoch();
    createWith(path, u"生成的数据库（"_s + QString::number(count) + u"个文档）"_s, [&](Store& store) {
        store.exec("PRAGMA cache_size = -131072");
        ViewSpec view{u"全部"_s,
                      {{u"编号"_s, u"Number"_s, {}},
                       {u"标题"_s, u"Subject"_s, {}},
                       {u"日期"_s, u"Date"_s, {}},
                       {u"状态"_s, u"Status"_s, {}}},
                      {},
                      0,
                      false,
                      {}};
        writeView(store, view);
        static const QString statuses[] = {u"[\"草稿\"]"_s, u"[\"审批中\"]"_s, u"[\"已完成\"]"_s};
        Query doc(store.statement("INSERT INTO documents(id, unid, form, created, modified) VALUES(?, ?, ?, ?, ?)"));
        Query item(store.statement("INSERT INTO items(doc_id, seq, name, type, value) VALUES(?, ?, ?, ?, ?)"));
        Query attachment(store.statement("INSERT INTO attachments(doc_id, seq, name, data) VALUES(?, ?, ?, ?)"));
        const QString form = u"Memo"_s;
        // With structured bodies the ids of a batch of documents are known before their bodies are made.
        constexpr qint64 kBodyBatch = 1024;
        GeneratedBodies generatedBodies;
        std::vector<QString> unids;
        std::vector<GeneratedBodies::Body> bodies;
        const QString lastUnid = options.richBody ? newUniversalId() : QString();
        for (qint64 i = 1; i <= count; ++i) {
            const qint64 created = base + i * 60000;
            const size_t inBatch = size_t((i - 1) % kBodyBatch);
            if (options.richBody && inBatch == 0) {
                const QString before = unids.empty() ? lastUnid : unids.back();
                unids.clear();
                for (qint64 n = i; n <= std::min(count, i + kBodyBatch - 1); ++n)
                    unids.push_back(n == count ? lastUnid : newUniversalId());
                bodies = generatedBodies.make(i, unids, before);
            }
            const QString unid = options.richBody ? unids[inBatch] : newUniversalId();
            doc->bind(1, i).bind(2, unid).bind(3, form).bind(4, created).bind(5, created).run();
            item->bind(1, i).bind(2, qint64(1)).bind(3, u"Form"_s).bind(4, qint64(TextType));
            item->bind(5, u"[\"Memo\"]"_s).run();
            item->bind(1, i).bind(2, qint64(2)).bind(3, u"Number"_s).bind(4, qint64(NumberType));
            item->bind(5, u'[' + QString::number(i) + u']').run();
            item->bind(1, i).bind(2, qint64(3)).bind(3, u"Subject"_s).bind(4, qint64(TextType));
            item->bind(5, u"[\"文档 "_s + QString::number(i) + u"\"]"_s).run();
            item->bind(1, i).bind(2, qint64(4)).bind(3, u"Date"_s).bind(4, qint64(DateTimeType));
            item->bind(5, u'[' + QString::number(created) + u']').run();
            item->bind(1, i).bind(2, qint64(5)).bind(3, u"Status"_s).bind(4, qint64(TextType));
            item->bind(5, statuses[i % 3]).run();
            for (qint64 seq = 6; seq <= options.items; ++seq) {
                item->bind(1, i).bind(2, seq);
                if (options.richText && seq == options.items && options.richBody) {
                    item->bind(3, u"Body"_s).bind(4, qint64(RichTextType));
                    item->bind(5, encodeValues(QJsonArray{bodies[inBatch].text})).run();
                    writeBody(store, i, seq, BodyFormat::Dxl, bodies[inBatch].dxl);
                } else if (options.richText && seq == options.items) {
                    item->bind(3, u"Body"_s).bind(4, qint64(RichTextType));
                    item->bind(5, u"[\"这是第"_s + QString::number(i) + u"个文档的正文，包含一些说明文字。\"]"_s).run();
                } else if (seq % 3 == 0) {
                    item->bind(3, u"Amount"_s + QString::number(seq)).bind(4, qint64(NumberType));
                    item->bind(5, u'[' + QString::number(double(i) * 1.5 + double(seq), 'g', 15) + u']').run();
                } else {
                    item->bind(3, u"Field"_s + QString::number(seq)).bind(4, qint64(TextType));
                    item->bind(5, u"[\"文档"_s + QString::number(i) + u"的第"_s + QString::number(seq) + u"个值\"]"_s)
                        .run();
                }
            }
            qint64 seq = std::max(options.items, 5);
            if (options.readersEvery > 0 && i % options.readersEvery == 0) {
                item->bind(1, i).bind(2, ++seq).bind(3, u"Readers"_s);
                item->bind(4, qint64(ReadersType)).bind(5, u"[\"甲\"]"_s).run();
            }
            if (options.words > 0) {
                item->bind(1, i).bind(2, ++seq).bind(3, u"Text"_s).bind(4, qint64(TextType));
                item->bind(5, encodeValues(QJsonArray{text.sentence(options.words)})).run();
            }
            if (options.attachmentsEvery > 0 && i % options.attachmentsEvery == 0) {
                const QByteArray data = QByteArray::number(i).leftJustified(4096, 'a');
                attachment->bind(1, i).bind(2, qint64(1)).bind(3, u"合同"_s + QString::number(i) + u".txt"_s);
                attachment->bindBlob(4, data).run();
                attachment->bind(1, i).bind(2, qint64(2)).bind(3, u"报价"_s + QString::number(i) + u".csv"_s);
                attachment->bindBlob(4, data).run();
            }
        }
        rebuildViewIndex(store, options.fullText);
    });
}

void updateFullTextIndex(const QString& path, bool rebuild,
                         const std::function<void(qint64 done, qint64 total)>& progress)
{
    fulltext::update(path, true, rebuild, progress);
}

QStringList search(const QString& path, const QString& query, int maxDocs, const QString& view)
{
    if (maxDocs < 0)
        throw DominoError(u"最多文档数不能为负数"_s);
    const domino::FTQuery parsed = domino::FTQuery::parse(query);
    auto store = Store::open(path, Store::Mode::ReadOnly);
    fulltext::prepare(*store);
    const Store::OneRead read(*store);
    std::vector<qint64> found = fulltext::search(*store, parsed, view.isEmpty() ? maxDocs : 0);
    if (!view.isEmpty()) {
        qint64 viewId = -1;
        {
            Query q(store->statement("SELECT id, name FROM views ORDER BY id"));
            while (viewId < 0 && q->step()) {
                if (q->text(1).compare(view, Qt::CaseInsensitive) == 0)
                    viewId = q->int64(0);
            }
        }
        if (viewId < 0 && store->hasTable("view_aliases")) {
            Query q(store->statement("SELECT view_id, alias FROM view_aliases ORDER BY view_id, seq"));
            while (viewId < 0 && q->step()) {
                if (q->text(1).compare(view, Qt::CaseInsensitive) == 0)
                    viewId = q->int64(0);
            }
        }
        if (viewId < 0)
            throw DominoError(u"找不到视图："_s + view);
        std::vector<qint64> ordered;
        Query q(store->statement("SELECT doc_id FROM view_entries WHERE view_id = ? ORDER BY position"));
        q->bind(1, viewId);
        while ((maxDocs == 0 || qint64(ordered.size()) < maxDocs) && q->step()) {
            if (std::binary_search(found.begin(), found.end(), q->int64(0)))
                ordered.push_back(q->int64(0));
        }
        found = std::move(ordered);
    }
    QStringList ids;
    Query unid(store->statement("SELECT unid FROM documents WHERE id = ?"));
    for (const qint64 docId : found) {
        unid->bind(1, docId);
        if (unid->step())
            ids << unid->text(0);
        unid->reset();
    }
    return ids;
}

void install(const InstallOptions& options)
{
    if (options.dominoPath.isEmpty() && options.notesPath.isEmpty())
        throw platform::Error(u"install需要--domino或--notes"_s);
    if (!options.libraryPath.isEmpty())
        domino::verifyComponentLibrary(options.libraryPath);
    platform::Registry registry(options.registryFile);
    if (!options.dominoPath.isEmpty()) {
        registry.writeString(u"\\Software\\Lotus\\Domino"_s, u"Path"_s, options.dominoPath);
        if (!options.dataPath.isEmpty())
            registry.writeString(u"\\Software\\Lotus\\Domino"_s, u"DataPath"_s, options.dataPath);
    }
    if (!options.notesPath.isEmpty()) {
        registry.writeString(u"\\Software\\Lotus\\Notes"_s, u"Path"_s, options.notesPath);
        if (!options.dataPath.isEmpty())
            registry.writeString(u"\\Software\\Lotus\\Notes"_s, u"DataPath"_s, options.dataPath);
    }
    if (!options.libraryPath.isEmpty())
        registry.writeString(QString::fromUtf16(domino::kSessionClassKey), QString(), options.libraryPath);
}

} // namespace quill::component::admin
