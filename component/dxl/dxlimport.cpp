#include "dxlimport.h"

#include "admin.h"
#include "domino/error.h"
#include "dxlreader.h"
#include "model.h"
#include "platform/error.h"
#include "richtext/mimeitems.h"
#include "richtextbody.h"
#include "store.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QTemporaryFile>
#include <algorithm>
#include <memory>
#include <unordered_map>
#include <utility>

using namespace Qt::StringLiterals;

namespace quill::component::dxl {
namespace {

constexpr qsizetype kMaxNotices = 100;

int accessLevel(const QString& level)
{
    static const std::pair<const char16_t*, int> levels[] = {
        {u"noaccess", NoAccess}, {u"depositor", Depositor}, {u"reader", AccessLevel::Reader},
        {u"author", Author},     {u"editor", Editor},       {u"designer", Designer},
        {u"manager", Manager},
    };
    for (const auto& [name, value] : levels) {
        if (level == QStringView(name))
            return value;
    }
    return -1;
}

// A document's created or modified time is an instant. One given without its zone is taken as UTC, so
// that the database shows the same whatever zone it was imported in; a date without a time is
// midnight and a time without a date falls on 1899-12-30, the day a time-only value has in Notes.
qint64 toMSecs(const DateTimeValue& value)
{
    const QDate date = value.date.isValid() ? value.date : QDate(1899, 12, 30);
    const QTime time = value.time.isValid() ? value.time : QTime(0, 0);
    const bool zoned = value.offsetSeconds && value.date.isValid() && value.time.isValid();
    return QDateTime(date, time, Qt::OffsetFromUTC, zoned ? *value.offsetSeconds : 0).toMSecsSinceEpoch();
}

class StoreSink : public Sink
{
public:
    StoreSink(Store& store, ImportReport& report, QString fileName)
        : m_store(store), m_report(report), m_fileName(std::move(fileName))
    {
    }

    const QString& dxlTitle() const { return m_dxlTitle; }

    void database(const DatabaseInfo& info) override { m_dxlTitle = info.title; }

    void aclEntry(const AclEntry& entry) override
    {
        const int level = accessLevel(entry.level);
        if (entry.name.isEmpty() || level < 0) {
            notice(0, u"访问控制列表中的条目“"_s + entry.name + u"”的级别无法识别（"_s + entry.level + u"），已跳过"_s);
            return;
        }
        Query q(m_store.statement("INSERT OR REPLACE INTO acl(name, level) VALUES(?, ?)"));
        q->bind(1, entry.name).bind(2, qint64(level)).run();
        ++m_report.aclEntries;
    }

    void view(const View& view) override
    {
        admin::ViewSpec def;
        def.name = view.name.isEmpty() ? u"(未命名)"_s : view.name;
        def.selection = view.selection;
        def.sortColumn = view.sortColumn;
        def.descending = view.descending;
        def.aliases = view.aliases;
        for (const ViewColumn& column : view.columns)
            def.columns.push_back(admin::ColumnSpec{column.title, column.item, column.formula});
        {
            Query find(m_store.statement("SELECT id FROM views WHERE name = ?"));
            find->bind(1, def.name);
            if (find->step()) {
                // The DXL holds the view's current design: it replaces one of the same name.
                const qint64 id = find->int64(0);
                find->reset();
                for (const char* sql :
                     {"DELETE FROM view_columns WHERE view_id = ?", "DELETE FROM view_aliases WHERE view_id = ?",
                      "DELETE FROM view_entries WHERE view_id = ?", "DELETE FROM views WHERE id = ?"}) {
                    Query q(m_store.statement(sql));
                    q->bind(1, id).run();
                }
            }
        }
        admin::writeView(m_store, def);
        ++m_report.views;
    }

    void beginDocument(const NoteInfo& info) override
    {
        m_unid = universalId(info);
        m_documentLine = info.line;
        if (!info.created)
            counted(info.line, u"%1个文档没有创建时间，已取导入时的时间，第一个在第%2行"_s);
        if (!info.modified)
            counted(info.line, u"%1个文档没有修改时间，已取其创建时间，第一个在第%2行"_s);
        const qint64 created = info.created ? toMSecs(*info.created) : QDateTime::currentMSecsSinceEpoch();
        const qint64 modified = info.modified ? toMSecs(*info.modified) : created;
        m_form = info.form;
        m_formFromAttribute = !info.form.isEmpty();

        m_docId = -1;
        {
            Query find(m_store.statement("SELECT id FROM documents WHERE unid = ?"));
            find->bind(1, m_unid);
            if (find->step())
                m_docId = find->int64(0);
        }
        if (m_docId >= 0) {
            // The same document exported again: its new state replaces the old one.
            for (const char* sql : {"DELETE FROM items WHERE doc_id = ?", "DELETE FROM attachments WHERE doc_id = ?",
                                    "DELETE FROM embedded_objects WHERE doc_id = ?"}) {
                Query q(m_store.statement(sql));
                q->bind(1, m_docId).run();
            }
            deleteBodies(m_store, m_docId);
            Query q(m_store.statement("UPDATE documents SET form = ?, created = ?, modified = ? WHERE id = ?"));
            q->bind(1, m_form).bind(2, created).bind(3, modified).bind(4, m_docId).run();
            ++m_report.replacedDocuments;
        } else {
            Query q(m_store.statement("INSERT INTO documents(unid, form, created, modified) VALUES(?, ?, ?, ?)"));
            q->bind(1, m_unid).bind(2, m_form).bind(3, created).bind(4, modified).run();
            m_docId = m_store.lastInsertId();
        }
        m_itemSeq = 0;
        m_attachmentSeq = 0;
        m_richObjects.clear();
        m_mails.clear();
        if (m_formFromAttribute)
            insertItem(u"Form"_s, TextType, QJsonArray{m_form});
    }

    void item(const Item& item) override
    {
        QJsonArray values;
        int type = TextType;
        switch (item.kind) {
        case Item::Kind::Text:
            type = item.readers ? ReadersType : item.authors ? AuthorsType : item.names ? NamesType : TextType;
            for (const QString& text : item.texts)
                values.append(text);
            break;
        case Item::Kind::Number:
            type = NumberType;
            for (double number : item.numbers)
                values.append(number);
            break;
        case Item::Kind::DateTime:
            type = DateTimeType;
            for (const DateTimeValue& value : item.dateTimes)
                values.append(storedDateTime(value.date, value.time, value.offsetSeconds));
            break;
        case Item::Kind::RichText:
            type = RichTextType;
            values.append(item.texts.value(0));
            break;
        case Item::Kind::MimePart:
            mimePart(item);
            return;
        case Item::Kind::Rfc822: {
            // A header of the mail: a text item of the name it has in the DXL.
            const std::optional<richtext::Rfc822Header> header = richtext::parseRfc822Item(item.raw);
            if (!header) {
                counted(item.line, u"跳过了%1个数据不完整的RFC 822邮件头项，第一个在第%2行"_s);
                return;
            }
            values.append(header->text);
            break;
        }
        }
        if (item.name.compare(u"Form"_s, Qt::CaseInsensitive) == 0 && item.kind == Item::Kind::Text) {
            if (m_formFromAttribute)
                return; // already written from the <document form=...> attribute
            if (m_form.isEmpty())
                m_form = item.texts.value(0);
        }
        insertItem(item.name, type, values);
        if (!item.objectNames.isEmpty())
            m_richObjects.emplace_back(m_itemSeq, item.objectNames);
        if (type == RichTextType)
            writeBody(m_store, m_docId, m_itemSeq, BodyFormat::Dxl, item.richText);
    }

    // An attachment's size is known only once it is decoded: its bytes wait in a temporary file and
    // then go into a blob of that size piece by piece.
    void beginAttachment(const QString& name) override
    {
        m_attachmentName = name;
        if (name.isEmpty()) {
            m_attachmentName = u"附件"_s + QString::number(m_attachmentSeq + 1);
            counted(m_documentLine, u"%1个附件没有文件名，已按顺序命名为“附件1”等，第一个所在的文档在第%2行"_s);
        }
        m_attachment = std::make_unique<QTemporaryFile>();
        if (!m_attachment->open())
            throw platform::Error(u"无法创建临时文件以导入附件"_s + m_attachmentName + u"："_s +
                                  m_attachment->errorString());
    }

    void attachmentData(const char* data, qsizetype size) override
    {
        if (m_attachment->write(data, size) != size)
            throw platform::Error(u"无法写入附件"_s + m_attachmentName + u"的临时文件："_s +
                                  m_attachment->errorString());
    }

    void endAttachment() override
    {
        std::unique_ptr<QTemporaryFile> file = std::move(m_attachment);
        const qint64 size = file->size();
        Query q(m_store.statement("INSERT INTO attachments(doc_id, seq, name, data) VALUES(?, ?, ?, ?)"));
        q->bind(1, m_docId).bind(2, ++m_attachmentSeq).bind(3, m_attachmentName).bindZeroBlob(4, size).run();
        Blob blob(m_store, "attachments", "data", m_store.lastInsertId(), true);
        const auto unreadable = [&] {
            return platform::Error(u"无法读取附件"_s + m_attachmentName + u"的临时文件："_s + file->errorString());
        };
        if (!file->seek(0))
            throw unreadable();
        Blob::copy(
            size,
            [&](qint64, char* data, qint64 length) {
                if (file->read(data, length) != length)
                    throw unreadable();
            },
            [&](qint64 offset, const char* data, qint64 length) { blob.write(offset, data, length); });
        ++m_report.attachments;
        m_report.attachmentBytes += size;
    }

    void endDocument() override
    {
        if (!m_formFromAttribute && !m_form.isEmpty()) {
            Query q(m_store.statement("UPDATE documents SET form = ? WHERE id = ?"));
            q->bind(1, m_form).bind(2, m_docId).run();
        }
        // Objects a rich-text item shows are the document's attachments of those names.
        for (const auto& [itemSeq, names] : m_richObjects) {
            qint64 seq = 0;
            for (const QString& name : names) {
                Query has(m_store.statement(
                    "SELECT rowid FROM attachments WHERE doc_id = ? AND name = ? ORDER BY seq LIMIT 1"));
                has->bind(1, m_docId).bind(2, name);
                if (!has->step()) {
                    notice(0, u"文档"_s + m_unid + u"的富文本引用了附件"_s + name + u"，但文档中没有它的内容"_s);
                    continue;
                }
                const qint64 source = has->int64(0);
                has->reset();
                Blob from(m_store, "attachments", "data", source, false);
                Query insert(m_store.statement(
                    "INSERT INTO embedded_objects(doc_id, item_seq, seq, name, data) VALUES(?, ?, ?, ?, ?)"));
                insert->bind(1, m_docId).bind(2, itemSeq).bind(3, ++seq).bind(4, name).bindZeroBlob(5, from.size());
                insert->run();
                Blob to(m_store, "embedded_objects", "data", m_store.lastInsertId(), true);
                Blob::copy(
                    from.size(), [&](qint64 offset, char* data, qint64 length) { from.read(offset, data, length); },
                    [&](qint64 offset, const char* data, qint64 length) { to.write(offset, data, length); });
            }
        }
        for (const Mail& mail : m_mails)
            finishMail(mail);
        ++m_report.documents;
    }

    void notice(qint64 line, const QString& message) override
    {
        if (m_report.notices.size() < kMaxNotices)
            m_report.notices << (line > 0 ? u"第"_s + QString::number(line) + u"行："_s + message : message);
        else
            ++m_droppedNotices;
    }

    void counted(qint64 line, const QString& what) override
    {
        const auto it = std::find_if(m_tally.begin(), m_tally.end(), [&](const Tally& t) { return t.what == what; });
        if (it == m_tally.end())
            m_tally.push_back(Tally{what, 1, line});
        else
            ++it->count;
    }

    void finish()
    {
        if (m_droppedNotices > 0)
            m_report.notices << u"……另有"_s + QString::number(m_droppedNotices) + u"条提示未列出"_s;
        for (const Tally& t : m_tally)
            m_report.notices << t.what.arg(t.count).arg(t.firstLine);
    }

private:
    struct Tally
    {
        QString what;
        qint64 count;
        qint64 firstLine;
    };
    struct Mail
    {
        QString name;
        qint64 seq;  // of its item
        qint64 line; // of its first part
        QList<QByteArray> parts;
    };

    // The document's own id; a missing or invalid one is replaced by a new one and counted. An id seen
    // before in the same file is refused.
    QString universalId(const NoteInfo& info)
    {
        QString unid = info.unid;
        if (unid.isEmpty()) {
            counted(info.line, u"%1个文档没有文档编号，已生成新编号，第一个在第%2行"_s);
            return newUniversalId();
        }
        if (!isUniversalId(unid)) {
            counted(info.line, u"%1个文档的编号无效，已换成新编号，第一个在第%2行"_s);
            return newUniversalId();
        }
        const auto [seen, added] = m_seenUnids.try_emplace(unid, info.line);
        if (!added) {
            throw platform::Error(u"DXL文件"_s + m_fileName + u"第"_s + QString::number(info.line) + u"行：文档编号"_s +
                                  unid + u"在文件中重复出现（第一次在第"_s + QString::number(seen->second) +
                                  u"行），没有导入任何内容"_s);
        }
        return unid;
    }

    // The parts of a mail body come one item each, all of the body's name; the first holds its place.
    void mimePart(const Item& item)
    {
        const auto it = std::find_if(m_mails.begin(), m_mails.end(), [&](const Mail& mail) {
            return mail.name.compare(item.name, Qt::CaseInsensitive) == 0;
        });
        if (it != m_mails.end()) {
            it->parts << item.raw;
            return;
        }
        insertItem(item.name, RichTextType, QJsonArray{QString()});
        m_mails.push_back(Mail{item.name, m_itemSeq, item.line, {item.raw}});
    }

    // The mail body whole, once the document's objects are there: its MIME message kept for its page, its text as
    // the item's plain text, its attachments as the document's. The objects that held its parts' bodies are in the
    // message now, and no attachments of the document.
    void finishMail(const Mail& mail)
    {
        std::vector<qint64> usedObjects;
        const richtext::AssembledMessage assembled =
            richtext::assembleMimeMessage(mail.parts, [&](const QString& name) -> std::optional<QByteArray> {
                Query find(m_store.statement(
                    "SELECT rowid FROM attachments WHERE doc_id = ? AND name = ? ORDER BY seq LIMIT 1"));
                find->bind(1, m_docId).bind(2, name);
                if (!find->step())
                    return std::nullopt;
                const qint64 rowId = find->int64(0);
                find->reset();
                Blob blob(m_store, "attachments", "data", rowId, false);
                QByteArray bytes(blob.size(), Qt::Uninitialized);
                blob.read(0, bytes.data(), bytes.size());
                usedObjects.push_back(rowId);
                return bytes;
            });
        for (const QString& problem : assembled.problems)
            notice(mail.line, u"文档"_s + m_unid + u"的邮件正文"_s + mail.name + u"："_s + problem);
        const DecodedMail decoded = decodeMail(assembled.message);
        {
            Query q(m_store.statement("UPDATE items SET value = ? WHERE doc_id = ? AND seq = ?"));
            q->bind(1, encodeValues(QJsonArray{decoded.plainText})).bind(2, m_docId).bind(3, mail.seq).run();
        }
        writeBody(m_store, m_docId, mail.seq, BodyFormat::Mime, assembled.message);
        for (const qint64 rowId : usedObjects) {
            Query size(m_store.statement("SELECT length(data) FROM attachments WHERE rowid = ?"));
            size->bind(1, rowId);
            if (!size->step())
                continue; // used by two parts
            m_report.attachmentBytes -= size->int64(0);
            size->reset();
            --m_report.attachments;
            Query remove(m_store.statement("DELETE FROM attachments WHERE rowid = ?"));
            remove->bind(1, rowId).run();
        }
        for (const auto& [name, bytes] : decoded.attachments) {
            Query q(m_store.statement("INSERT INTO attachments(doc_id, seq, name, data) VALUES(?, ?, ?, ?)"));
            q->bind(1, m_docId).bind(2, ++m_attachmentSeq).bind(3, name).bindBlob(4, bytes).run();
            ++m_report.attachments;
            m_report.attachmentBytes += bytes.size();
        }
    }

    void insertItem(const QString& name, int type, const QJsonArray& values)
    {
        Query q(m_store.statement("INSERT INTO items(doc_id, seq, name, type, value) VALUES(?, ?, ?, ?, ?)"));
        q->bind(1, m_docId).bind(2, ++m_itemSeq).bind(3, name).bind(4, qint64(type)).bind(5, encodeValues(values));
        q->run();
    }

    Store& m_store;
    ImportReport& m_report;
    QString m_fileName;
    QString m_dxlTitle;
    qint64 m_droppedNotices = 0;
    std::vector<Tally> m_tally;
    std::unordered_map<QString, qint64> m_seenUnids; // and the line of each

    qint64 m_documentLine = 0;

    qint64 m_docId = -1;
    QString m_unid;
    QString m_form;
    bool m_formFromAttribute = false;
    qint64 m_itemSeq = 0;
    qint64 m_attachmentSeq = 0;
    std::vector<std::pair<qint64, QStringList>> m_richObjects;
    std::vector<Mail> m_mails;
    QString m_attachmentName;
    std::unique_ptr<QTemporaryFile> m_attachment;
};

// A database of documents without a view shows nothing: it gets one of every document in creation order, whose
// columns are the items most documents carry (at least half of them; rich text and $ items left out), the
// twelve most common in the order they first appear.
std::optional<admin::ViewSpec> allDocumentsView(Store& store)
{
    {
        Query views(store.statement("SELECT 1 FROM views LIMIT 1"));
        if (views->step())
            return std::nullopt;
    }
    qint64 documents = 0;
    {
        Query count(store.statement("SELECT count(*) FROM documents"));
        if (count->step())
            documents = count->int64(0);
    }
    if (documents == 0)
        return std::nullopt;
    constexpr int kMaxColumns = 12;
    Query common(store.statement(
        "SELECT name FROM (SELECT name, first FROM (SELECT min(name) AS name, count(DISTINCT doc_id) AS carriers, "
        "   min(doc_id * 1048576 + seq) AS first FROM items WHERE type <> ? AND substr(name, 1, 1) <> '$' "
        "   GROUP BY name COLLATE QUILL_NOCASE) WHERE carriers * 2 >= ? ORDER BY carriers DESC, first LIMIT ?) "
        "ORDER BY first"));
    common->bind(1, qint64(RichTextType)).bind(2, documents).bind(3, qint64(kMaxColumns));
    admin::ViewSpec view;
    view.name = u"全部文档"_s;
    while (common->step())
        view.columns.push_back(admin::ColumnSpec{common->text(0), common->text(0), {}});
    if (view.columns.empty())
        view.columns.push_back(admin::ColumnSpec{u"创建时间"_s, {}, u"@Created"_s});
    return view;
}

} // namespace

ImportReport importDxl(const QString& dxlPath, const QString& databasePath, const ImportOptions& options)
{
    QFile input(dxlPath);
    if (!input.open(QIODevice::ReadOnly))
        throw platform::Error(u"无法打开DXL文件"_s + dxlPath + u"："_s + input.errorString());
    if (QFileInfo(dxlPath).isDir())
        throw platform::Error(u"DXL文件"_s + dxlPath + u"是一个文件夹"_s);

    ImportReport report;
    report.createdDatabase = !QFileInfo::exists(databasePath);
    if (report.createdDatabase && !databasePath.endsWith(u".nsf"_s, Qt::CaseInsensitive))
        throw domino::DominoError(u"数据库文件名必须以.nsf结尾："_s + databasePath);
    const auto import = [&](Store& store) {
        StoreSink sink(store, report, dxlPath);
        Reader(sink).read(input, dxlPath);
        sink.finish();
        if (report.documents == 0 && report.views == 0) {
            throw platform::Error(
                u"DXL文件"_s + dxlPath + u"中没有可导入的文档或视图，没有导入任何内容"_s +
                (report.notices.isEmpty() ? QString() : u"（"_s + report.notices.join(u"；"_s) + u"）"_s));
        }
        if (!options.title.isEmpty())
            store.setMeta(u"title"_s, options.title);
        else if (report.createdDatabase)
            store.setMeta(u"title"_s,
                          sink.dxlTitle().isEmpty() ? QFileInfo(databasePath).completeBaseName() : sink.dxlTitle());
        if (auto view = allDocumentsView(store)) {
            admin::writeView(store, *view);
            report.madeView = view->name;
            for (const admin::ColumnSpec& column : view->columns)
                report.madeViewColumns << column.title;
        }
        admin::rebuildViewIndex(store);
    };
    if (report.createdDatabase)
        Store::create(databasePath, import);
    else
        Store::update(databasePath, import);
    return report;
}

} // namespace quill::component::dxl
