// The stand-in Domino component: NotesSession and the objects reached from it, over the SQLite
// database files of store.h.

#include "domino/error.h"
#include "domino/formula.h"
#include "domino/ftsearch.h"
#include "domino/notes.h"
#include "domino/richtext.h"
#include "fulltext.h"
#include "loginthrottle.h"
#include "model.h"
#include "platform/outputfolder.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "readeraccess.h"
#include "richtextbody.h"
#include "store.h"
#include "storeddocument.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <functional>
#include <limits>
#include <optional>
#include <sodium.h>
#include <vector>

using namespace Qt::StringLiterals;
using quill::domino::DominoError;
using quill::domino::Value;
using quill::domino::ValueList;

namespace quill::component {
namespace {

struct ViewDef
{
    struct Column
    {
        QString title;
        QString item;
        QString formula;
        std::optional<formula::Formula> compiled; // none for a formula outside the language: it shows ""
    };
    qint64 id = 0;
    QString name;
    std::vector<Column> columns;
    qint64 entryCount = 0;
    // In server mode: the entries the user may read.
    std::shared_ptr<const VisibleEntries> visible;
    // The entries of a full-text search (NotesView::FTSearch), which its documents walk.
    bool searched = false;

    qint64 visibleCount() const { return visible ? visible->count() : entryCount; }
};

class DatabaseImpl;
class DocumentImpl;
using DatabasePtr = std::shared_ptr<const DatabaseImpl>;

class DatabaseImpl : public domino::NotesDatabase, public std::enable_shared_from_this<DatabaseImpl>
{
public:
    // readers: in server mode, what the user may read; none for a local file.
    DatabaseImpl(std::unique_ptr<Store> store, std::unique_ptr<ReaderAccess> readers = nullptr)
        : m_store(std::move(store)), m_readers(std::move(readers))
    {
    }

    Store& store() const { return *m_store; }
    QString path() const { return m_store->path(); }

    QStringList Views() const override;
    std::unique_ptr<domino::NotesView> FindView(const QString& name) const override;
    std::unique_ptr<domino::NotesDocument> FindDocumentById(const QString& documentId) const override;
    std::unique_ptr<domino::ReadBatch> beginReadBatch() const override;
    std::unique_ptr<domino::NotesDocumentCollection> FTSearch(const QString& query, int maxDocs) const override;
    bool IsFTIndexed() const override { return fulltext::exists(*m_store); }
    void UpdateFTIndex(bool create, const FTIndexProgress& progress) const override;

    // Before a search: brings the full-text index up to date when the file can be written; once it could not, the
    // searches of this object read the documents instead of trying again (another writer may hold the file).
    void prepareSearch() const;
    // The documents a search finds that the user may read (internal ids, ascending), the first maxDocs (0: all). Within
    // a OneRead, after prepareSearch.
    std::vector<qint64> found(const domino::FTQuery& query, qint64 maxDocs) const;
    // The entries of a view the user may read, in view order, as take() reads them: kept for the view last asked for
    // until the file changes, so that searching a view again (a refined query, a page found anew) need not read its
    // index again.
    std::shared_ptr<const std::vector<qint64>> searchedEntries(qint64 viewId,
                                                               const std::function<std::vector<qint64>()>& take) const;

    // position: the stored one in the view's index. Throws when the database no longer holds the document.
    std::unique_ptr<domino::NotesDocument> document(qint64 docId, std::shared_ptr<const ViewDef> view,
                                                    qint64 position) const;
    // nullptr when the database no longer holds the document.
    std::unique_ptr<DocumentImpl> findDocument(qint64 docId, std::shared_ptr<const ViewDef> view,
                                               qint64 position) const;
    // In server mode, what the user may read; nullptr for a local file.
    const ReaderAccess* readers() const { return m_readers.get(); }

private:
    std::unique_ptr<Store> m_store;
    std::unique_ptr<ReaderAccess> m_readers;
    mutable bool m_indexRefused = false;
    struct KeptEntries
    {
        qint64 viewId = -1;
        qint64 dataVersion = -1;
        std::shared_ptr<const std::vector<qint64>> entries;
    };
    mutable KeptEntries m_keptEntries;
};

void checkMaxDocs(int maxDocs)
{
    if (maxDocs < 0)
        throw DominoError(u"最多文档数不能为负数："_s + QString::number(maxDocs));
}

// One read transaction for the calls made while it is held (Store::holdReads).
class ReadBatchImpl : public domino::ReadBatch
{
public:
    explicit ReadBatchImpl(DatabasePtr db) : m_db(std::move(db)) { m_db->store().holdReads(); }
    ~ReadBatchImpl() override { m_db->store().releaseReads(); }
    ReadBatchImpl(const ReadBatchImpl&) = delete;
    ReadBatchImpl& operator=(const ReadBatchImpl&) = delete;

private:
    DatabasePtr m_db;
};

class EmbeddedObjectImpl : public domino::NotesEmbeddedObject
{
public:
    // itemSeq < 0: an attachment of the document; otherwise an object in that rich-text item.
    EmbeddedObjectImpl(DatabasePtr db, qint64 docId, qint64 itemSeq, qint64 seq, QString name)
        : m_db(std::move(db)), m_docId(docId), m_itemSeq(itemSeq), m_seq(seq), m_name(std::move(name))
    {
    }

    QString Name() const override { return m_name; }

    void SaveToFile(const QString& path) override
    {
        if (path.isEmpty())
            throw DominoError(u"保存文件"_s + m_name + u"失败：没有给出文件路径"_s);
        qint64 rowId = -1;
        if (m_itemSeq < 0) {
            Query q(m_db->store().statement("SELECT rowid FROM attachments WHERE doc_id = ? AND seq = ?"));
            q->bind(1, m_docId).bind(2, m_seq);
            if (q->step())
                rowId = q->int64(0);
        } else {
            Query q(m_db->store().statement(
                "SELECT rowid FROM embedded_objects WHERE doc_id = ? AND item_seq = ? AND seq = ?"));
            q->bind(1, m_docId).bind(2, m_itemSeq).bind(3, m_seq);
            if (q->step())
                rowId = q->int64(0);
        }
        // Whole into a new temporary file beside it (never through a link), synced, then renamed over path.
        try {
            platform::OutputFolder::writeFileAt(path, [&](QIODevice& file) {
                if (rowId < 0)
                    return true;
                // In pieces: an attachment may be far larger than what is worth holding in memory.
                Blob blob(m_db->store(), m_itemSeq < 0 ? "attachments" : "embedded_objects", "data", rowId, false);
                Blob::copy(
                    blob.size(), [&](qint64 offset, char* data, qint64 length) { blob.read(offset, data, length); },
                    [&](qint64, const char* data, qint64 length) {
                        if (file.write(data, length) != length)
                            throw DominoError(u"无法写入文件："_s + path + u"（"_s + file.errorString() + u"）"_s);
                    });
                return true;
            });
        } catch (const DominoError&) {
            throw;
        } catch (const platform::Error& e) {
            throw DominoError(e.message());
        }
    }

private:
    DatabasePtr m_db;
    qint64 m_docId;
    qint64 m_itemSeq;
    qint64 m_seq;
    QString m_name;
};

class ItemImpl : public domino::NotesItem
{
public:
    ItemImpl(QString name, int type) : m_name(std::move(name)), m_type(type) {}
    QString Name() const override { return m_name; }
    int ItemType() const override { return m_type; }

private:
    QString m_name;
    int m_type;
};

class RichTextItemImpl : public domino::NotesRichTextItem
{
public:
    // read: the item's stored structure when the document has read it already (GetMIMEEntity).
    RichTextItemImpl(DatabasePtr db, qint64 docId, QString unid, StoredItem record,
                     std::optional<std::optional<StoredBody>> read = std::nullopt)
        : m_db(std::move(db)), m_docId(docId), m_unid(std::move(unid)), m_record(std::move(record)),
          m_read(std::move(read))
    {
    }

    QString Name() const override { return m_record.name; }
    int ItemType() const override { return RichTextType; }

    QString FormattedText(bool tabsToSpaces, int lineLength) const override
    {
        return domino::formatPlainText(plainText(), tabsToSpaces, lineLength);
    }

    QStringList EmbeddedObjects() const override
    {
        QStringList names;
        for (const auto& [seq, name] : objects())
            names << name;
        return names;
    }

    std::unique_ptr<domino::NotesEmbeddedObject> EmbeddedObjectByName(const QString& name) const override
    {
        const auto list = objects();
        for (const Qt::CaseSensitivity cs : {Qt::CaseSensitive, Qt::CaseInsensitive}) {
            for (const auto& [seq, objectName] : list) {
                if (objectName.compare(name, cs) == 0)
                    return std::make_unique<EmbeddedObjectImpl>(m_db, m_docId, m_record.seq, seq, objectName);
            }
        }
        throw DominoError(u"RTF域"_s + m_record.name + u"中找不到嵌入对象："_s + name);
    }

    std::unique_ptr<domino::NotesEmbeddedObject> EmbeddedObjectAt(int index) const override
    {
        const auto list = objects();
        if (index < 0 || size_t(index) >= list.size())
            throw DominoError(u"RTF域"_s + m_record.name + u"中没有第"_s + QString::number(qint64(index) + 1) +
                              u"个嵌入对象（共"_s + QString::number(list.size()) + u"个）"_s);
        const auto& [seq, name] = list[size_t(index)];
        return std::make_unique<EmbeddedObjectImpl>(m_db, m_docId, m_record.seq, seq, name);
    }

    QByteArray ExportDXL() const override
    {
        const std::optional<StoredBody> body = m_read ? *m_read : storedBody(m_db->store(), m_docId, m_unid, m_record);
        if (body && body->format == qint64(BodyFormat::Dxl))
            return body->content;
        return domino::plainTextAsDxl(plainText());
    }

    // What the file keeps of the item's structure; a format it does not know is an error of the item.
    static std::optional<StoredBody> storedBody(Store& store, qint64 docId, const QString& unid, const StoredItem& item)
    {
        std::optional<StoredBody> body = readBody(store, docId, item.seq);
        if (body && body->format != qint64(BodyFormat::Dxl) && body->format != qint64(BodyFormat::Mime))
            throw DominoError(u"文档"_s + unid + u"中域"_s + item.name + u"存储的值无效：富文本的格式编号未知（"_s +
                              QString::number(body->format) + u"）"_s);
        return body;
    }

private:
    QString plainText() const
    {
        const ValueList values = storedValues(m_unid, m_record);
        return values.empty() ? QString() : values.front().asText();
    }

    std::vector<std::pair<qint64, QString>> objects() const
    {
        std::vector<std::pair<qint64, QString>> list;
        Query q(m_db->store().statement(
            "SELECT seq, name FROM embedded_objects WHERE doc_id = ? AND item_seq = ? ORDER BY seq"));
        q->bind(1, m_docId).bind(2, m_record.seq);
        while (q->step())
            list.emplace_back(q->int64(0), q->text(1));
        return list;
    }

    DatabasePtr m_db;
    qint64 m_docId;
    QString m_unid;
    StoredItem m_record;
    std::optional<std::optional<StoredBody>> m_read;
};

class MIMEEntityImpl : public domino::NotesMIMEEntity
{
public:
    explicit MIMEEntityImpl(QByteArray message) : m_message(std::move(message)) {}
    QByteArray GetEntityAsText() const override { return m_message; }

private:
    QByteArray m_message;
};

class DocumentImpl : public domino::NotesDocument
{
public:
    // position: in the view's index; formulas see the document's number among the entries the user may read.
    DocumentImpl(DatabasePtr db, qint64 id, const QString& unid, qint64 created, qint64 modified,
                 std::shared_ptr<const ViewDef> view, qint64 position)
        : m_db(std::move(db)), m_stored(m_db->store(), id, unid, created, modified,
                                        view && view->visible ? view->visible->visiblePosition(position) : position),
          m_view(std::move(view)), m_position(position)
    {
    }

    const DatabasePtr& database() const { return m_db; }
    qint64 id() const { return m_stored.id(); }
    const ViewDef* view() const { return m_view.get(); }
    qint64 position() const { return m_position; }

    QString DocumentId() const override { return m_stored.universalId(); }

    ValueList ColumnValues() const override
    {
        if (!m_view)
            throw DominoError(u"文档"_s + m_stored.universalId() + u"不是从视图中取得的，没有列值"_s);
        ValueList values;
        values.reserve(m_view->columns.size());
        for (const ViewDef::Column& column : m_view->columns)
            values.push_back(columnValue(column));
        return values;
    }

    QStringList Items() const override
    {
        QStringList names;
        for (const StoredItem& item : m_stored.items())
            names << item.name;
        return names;
    }

    ValueList ItemValue(const QString& name) const override
    {
        const StoredItem* item = m_stored.find(name);
        return item ? m_stored.values(*item) : ValueList();
    }

    bool HasAttachments() const override { return !attachments().empty(); }

    std::unique_ptr<domino::NotesEmbeddedObject> AttachmentByName(const QString& fileName) const override
    {
        const auto& list = attachments();
        for (const Qt::CaseSensitivity cs : {Qt::CaseSensitive, Qt::CaseInsensitive}) {
            for (const auto& [seq, name] : list) {
                if (name.compare(fileName, cs) == 0)
                    return std::make_unique<EmbeddedObjectImpl>(m_db, m_stored.id(), -1, seq, name);
            }
        }
        throw DominoError(u"文档"_s + m_stored.universalId() + u"中找不到附件："_s + fileName);
    }

    std::unique_ptr<domino::NotesEmbeddedObject> AttachmentAt(int index) const override
    {
        const auto& list = attachments();
        if (index < 0 || size_t(index) >= list.size())
            throw DominoError(u"文档"_s + m_stored.universalId() + u"中没有第"_s + QString::number(qint64(index) + 1) +
                              u"个附件（共"_s + QString::number(list.size()) + u"个附件）"_s);
        const auto& [seq, name] = list[size_t(index)];
        return std::make_unique<EmbeddedObjectImpl>(m_db, m_stored.id(), -1, seq, name);
    }

    std::unique_ptr<domino::NotesItem> ItemByName(const QString& name) const override
    {
        const StoredItem& item = m_stored.existing(name);
        if (item.type == RichTextType)
            return std::make_unique<RichTextItemImpl>(m_db, m_stored.id(), m_stored.universalId(), item);
        return std::make_unique<ItemImpl>(item.name, int(item.type));
    }

    std::unique_ptr<domino::NotesRichTextItem> RichTextItemByName(const QString& name) const override
    {
        const StoredItem& item = m_stored.existing(name);
        if (item.type != RichTextType)
            throw DominoError(u"域"_s + name + u"不是RTF域"_s);
        std::optional<std::optional<StoredBody>> read;
        if (m_lastBody && m_lastBody->first == item.seq)
            read = m_lastBody->second;
        return std::make_unique<RichTextItemImpl>(m_db, m_stored.id(), m_stored.universalId(), item, std::move(read));
    }

    std::unique_ptr<domino::NotesMIMEEntity> GetMIMEEntity(const QString& itemName) const override
    {
        const StoredItem* item = m_stored.find(itemName);
        if (!item || item->type != RichTextType)
            return nullptr;
        const std::optional<StoredBody> body =
            RichTextItemImpl::storedBody(m_db->store(), m_stored.id(), m_stored.universalId(), *item);
        // The page asks for the item's DXL next when the body is no mail: read once.
        m_lastBody.emplace(item->seq, body);
        if (!body || body->format != qint64(BodyFormat::Mime))
            return nullptr;
        return std::make_unique<MIMEEntityImpl>(body->content);
    }

    QStringList attachmentNames() const
    {
        QStringList names;
        for (const auto& [seq, name] : attachments())
            names << name;
        return names;
    }

private:
    const std::vector<std::pair<qint64, QString>>& attachments() const
    {
        if (!m_attachments) {
            std::vector<std::pair<qint64, QString>> list;
            Query q(m_db->store().statement("SELECT seq, name FROM attachments WHERE doc_id = ? ORDER BY seq"));
            q->bind(1, m_stored.id());
            while (q->step())
                list.emplace_back(q->int64(0), q->text(1));
            m_attachments = std::move(list);
        }
        return *m_attachments;
    }

    Value columnValue(const ViewDef::Column& column) const
    {
        if (column.compiled)
            return component::columnValue(*column.compiled, m_stored);
        if (!column.formula.isEmpty())
            return Value::text(QString());
        return component::columnValue(ItemValue(column.item));
    }

    DatabasePtr m_db;
    StoredDocument m_stored;
    std::shared_ptr<const ViewDef> m_view;
    qint64 m_position;
    // The export asks for the list, then for each attachment by position: read it once.
    mutable std::optional<std::vector<std::pair<qint64, QString>>> m_attachments;
    // The last body GetMIMEEntity read, by item.
    mutable std::optional<std::pair<qint64, std::optional<StoredBody>>> m_lastBody;
};

class ViewImpl : public domino::NotesView
{
public:
    ViewImpl(DatabasePtr db, std::shared_ptr<const ViewDef> def) : m_db(std::move(db)), m_def(std::move(def)) {}

    int ColumnCount() const override { return int(m_def->columns.size()); }

    QStringList ColumnNames() const override
    {
        QStringList names;
        for (const ViewDef::Column& column : m_def->columns)
            names << column.title;
        return names;
    }

    int EntryCount() const override { return int(entryCount()); }
    QString ViewName() const override { return m_def->name; }

    std::unique_ptr<domino::NotesDocument> NthDocument(int position) const override
    {
        if (position < 1 || position > entryCount()) {
            throw DominoError(u"视图"_s + m_def->name + u"中没有第"_s + QString::number(position) + u"个文档（共"_s +
                              QString::number(entryCount()) + u"个文档）"_s);
        }
        if (held())
            return heldAt(position);
        return at(m_def->visible ? m_def->visible->storedPosition(position) : position);
    }

    std::unique_ptr<domino::NotesDocument> NextDocument(const domino::NotesDocument& document) const override
    {
        const auto* doc = dynamic_cast<const DocumentImpl*>(&document);
        if (!doc || doc->database().get() != m_db.get() || !doc->view() || doc->view()->id != m_def->id)
            throw DominoError(u"文档不是从视图"_s + m_def->name + u"中取得的，无法取得下一个文档"_s);
        // Positions in the search results and in the whole view are not the same.
        if (m_searched && doc->view() != m_searchDef.get())
            throw DominoError(u"文档不是从视图"_s + m_def->name + u"的搜索结果中取得的，无法取得下一个文档"_s);
        if (!m_searched && doc->view()->searched)
            throw DominoError(u"文档取自视图"_s + m_def->name + u"已清除的搜索结果，无法取得下一个文档"_s);
        if (held())
            return doc->position() < entryCount() ? heldAt(doc->position() + 1) : nullptr;
        const qint64 next = m_def->visible ? m_def->visible->nextStored(doc->position()) : doc->position() + 1;
        if (next < 1 || next > m_def->entryCount)
            return nullptr;
        return at(next);
    }

    void SetAutoUpdate(bool autoUpdate) override
    {
        if (autoUpdate) {
            m_frozen.reset();
            m_frozenDef.reset();
        } else if (!m_frozen) {
            m_frozen = frozenEntries();
            // Its documents' positions are their numbers in the list, which shows only what the user may read.
            auto def = std::make_shared<ViewDef>(*m_def);
            def->visible.reset();
            def->entryCount = qint64(m_frozen->size());
            m_frozenDef = std::move(def);
        }
    }

    bool AutoUpdate() const override { return !m_frozen; }

    int FTSearch(const QString& query, int maxDocs) override
    {
        checkMaxDocs(maxDocs);
        const domino::FTQuery parsed = domino::FTQuery::parse(query);
        m_db->prepareSearch();
        std::vector<qint64> results;
        {
            const Store::OneRead read(m_db->store());
            const std::vector<qint64> matching = m_db->found(parsed, 0);
            // The entries the view holds still, or else those it has now that the user may read, in view order.
            if (!matching.empty()) {
                std::shared_ptr<const std::vector<qint64>> now;
                if (!m_frozen)
                    now = m_db->searchedEntries(m_def->id, [this] { return frozenEntries(); });
                const std::vector<qint64>& entries = m_frozen ? *m_frozen : *now;
                // Ids are small numbers in a file the tool wrote: a bit each then, else a binary search.
                const qint64 largest = matching.back();
                std::vector<bool> bits;
                if (largest >= 0 && largest <= 8 * qint64(entries.size()) + 65536) {
                    bits.resize(size_t(largest) + 1);
                    for (const qint64 docId : matching) {
                        if (docId >= 0)
                            bits[size_t(docId)] = true;
                    }
                }
                const auto matches = [&](qint64 docId) {
                    if (!bits.empty())
                        return docId >= 0 && docId < qint64(bits.size()) && bits[size_t(docId)];
                    return std::binary_search(matching.begin(), matching.end(), docId);
                };
                for (const qint64 docId : entries) {
                    if (maxDocs > 0 && qint64(results.size()) >= maxDocs)
                        break;
                    if (matches(docId))
                        results.push_back(docId);
                }
            }
        }
        auto def = std::make_shared<ViewDef>(*m_def);
        def->visible.reset();
        def->entryCount = qint64(results.size());
        def->searched = true;
        m_searchDef = std::move(def);
        m_searched = std::move(results);
        return int(m_searched->size());
    }

    void Clear() override
    {
        m_searched.reset();
        m_searchDef.reset();
    }

private:
    // The entries answered from instead of the index: a search's, else those held still; nullptr for neither.
    const std::vector<qint64>* held() const { return m_searched ? &*m_searched : m_frozen ? &*m_frozen : nullptr; }

    qint64 entryCount() const
    {
        const std::vector<qint64>* list = held();
        return list ? qint64(list->size()) : m_def->visibleCount();
    }

    std::unique_ptr<domino::NotesDocument> heldAt(qint64 position) const
    {
        std::unique_ptr<domino::NotesDocument> document =
            m_db->findDocument((*held())[size_t(position - 1)], m_searched ? m_searchDef : m_frozenDef, position);
        if (!document)
            throw DominoError(u"视图"_s + m_def->name + u"的第"_s + QString::number(position) +
                              u"个文档已从数据库中删除"_s);
        return document;
    }

    // The documents of the view the user may read, in order, as the index holds them now. The index, its count
    // and what the user may read of it are taken in one read of the file, so that a writer cannot get in between.
    // Eight bytes a document.
    std::vector<qint64> frozenEntries() const
    {
        Store& store = m_db->store();
        const Store::OneRead read(store);
        std::vector<qint64> entries = storedEntries();
        if (const ReaderAccess* readers = m_db->readers()) {
            const auto visible = readers->visibleEntries(store, m_def->id, qint64(entries.size()));
            std::vector<qint64> readable;
            readable.reserve(size_t(visible->count()));
            for (qint64 n = 1; n <= visible->count(); ++n)
                readable.push_back(entries[size_t(visible->storedPosition(n) - 1)]);
            entries = std::move(readable);
        }
        return entries;
    }

    // Every entry of the index, in order; its count and its entries read in one statement.
    std::vector<qint64> storedEntries() const
    {
        Query q(m_db->store().statement("SELECT v.entry_count, e.position, e.doc_id FROM views v "
                                        "LEFT JOIN view_entries e ON e.view_id = v.id WHERE v.id = ? "
                                        "ORDER BY e.position"));
        q->bind(1, m_def->id);
        const auto damaged = [&] {
            return DominoError(u"视图"_s + m_def->name + u"的索引已损坏：文档数与索引中的文档不符"_s);
        };
        std::vector<qint64> entries;
        std::optional<qint64> count;
        while (q->step()) {
            if (!count) {
                count = q->integer(0);
                if (!count || *count < 0 || *count > std::numeric_limits<int>::max())
                    throw DominoError(u"视图"_s + m_def->name + u"的索引已损坏：文档数无效"_s);
            }
            if (q->isNull(1))
                break; // a view without entries
            const std::optional<qint64> position = q->integer(1);
            const std::optional<qint64> docId = q->integer(2);
            if (position != qint64(entries.size()) + 1 || !docId || qint64(entries.size()) >= *count)
                throw damaged();
            entries.push_back(*docId);
        }
        if (!count)
            throw DominoError(u"找不到视图："_s + m_def->name); // replaced or removed since it was found
        if (qint64(entries.size()) != *count)
            throw damaged();
        return entries;
    }

    std::unique_ptr<domino::NotesDocument> at(qint64 position) const
    {
        Query q(m_db->store().statement("SELECT doc_id FROM view_entries WHERE view_id = ? AND position = ?"));
        q->bind(1, m_def->id).bind(2, position);
        if (!q->step())
            throw DominoError(u"视图"_s + m_def->name + u"的索引已损坏：找不到第"_s + QString::number(position) +
                              u"个文档"_s);
        const qint64 docId = q->int64(0);
        return m_db->document(docId, m_def, position);
    }

    DatabasePtr m_db;
    std::shared_ptr<const ViewDef> m_def;
    // While AutoUpdate is false: the documents' ids in view order, and the view its documents name.
    std::optional<std::vector<qint64>> m_frozen;
    std::shared_ptr<const ViewDef> m_frozenDef;
    // After FTSearch until Clear: the documents found, in view order, and the view its documents name.
    std::optional<std::vector<qint64>> m_searched;
    std::shared_ptr<const ViewDef> m_searchDef;
};

class CollectionImpl : public domino::NotesDocumentCollection
{
public:
    // ids: internal, ascending.
    CollectionImpl(DatabasePtr db, std::vector<qint64> ids) : m_db(std::move(db)), m_ids(std::move(ids)) {}

    int Count() const override { return int(m_ids.size()); }
    std::unique_ptr<domino::NotesDocument> GetFirstDocument() const override { return GetNthDocument(1); }

    std::unique_ptr<domino::NotesDocument> GetNextDocument(const domino::NotesDocument& document) const override
    {
        const auto* doc = dynamic_cast<const DocumentImpl*>(&document);
        const auto it = doc && doc->database().get() == m_db.get()
                            ? std::lower_bound(m_ids.begin(), m_ids.end(), doc->id())
                            : m_ids.end();
        if (it == m_ids.end() || *it != doc->id())
            throw DominoError(u"文档不在搜索结果中，无法取得下一个文档"_s);
        return it + 1 == m_ids.end() ? nullptr : GetNthDocument(int(it + 1 - m_ids.begin()) + 1);
    }

    std::unique_ptr<domino::NotesDocument> GetNthDocument(int position) const override
    {
        if (position < 1 || size_t(position) > m_ids.size())
            return nullptr;
        std::unique_ptr<domino::NotesDocument> document = m_db->findDocument(m_ids[size_t(position - 1)], nullptr, 0);
        if (!document)
            throw DominoError(u"搜索结果中的第"_s + QString::number(position) + u"个文档已从数据库中删除"_s);
        return document;
    }

private:
    DatabasePtr m_db;
    std::vector<qint64> m_ids;
};

QStringList DatabaseImpl::Views() const
{
    QStringList names;
    Query q(m_store->statement("SELECT name FROM views ORDER BY id"));
    while (q->step())
        names << q->text(0);
    return names;
}

std::unique_ptr<domino::NotesView> DatabaseImpl::FindView(const QString& name) const
{
    auto def = std::make_shared<ViewDef>();
    // A view's name first, then its aliases, each compared without regard to case.
    qint64 id = -1;
    {
        Query q(m_store->statement("SELECT id, name FROM views ORDER BY id"));
        while (id < 0 && q->step()) {
            if (q->text(1).compare(name, Qt::CaseInsensitive) == 0)
                id = q->int64(0);
        }
    }
    if (id < 0 && m_store->hasTable("view_aliases")) {
        Query q(m_store->statement("SELECT view_id, alias FROM view_aliases ORDER BY view_id, seq"));
        while (id < 0 && q->step()) {
            if (q->text(1).compare(name, Qt::CaseInsensitive) == 0)
                id = q->int64(0);
        }
    }
    {
        Query q(m_store->statement("SELECT name, entry_count FROM views WHERE id = ?"));
        q->bind(1, id);
        if (id < 0 || !q->step())
            throw DominoError(u"找不到视图："_s + name);
        def->id = id;
        def->name = q->text(0);
        const std::optional<qint64> count = q->integer(1);
        if (!count || *count < 0 || *count > std::numeric_limits<int>::max())
            throw DominoError(u"视图"_s + def->name + u"的索引已损坏：文档数无效"_s);
        def->entryCount = *count;
    }
    if (m_readers)
        def->visible = m_readers->visibleEntries(*m_store, def->id, def->entryCount);
    Query q(m_store->statement("SELECT title, item, formula FROM view_columns WHERE view_id = ? ORDER BY seq"));
    q->bind(1, def->id);
    while (q->step()) {
        ViewDef::Column column{q->text(0), q->text(1), q->text(2), std::nullopt};
        if (!column.formula.isEmpty()) {
            try {
                column.compiled = formula::Formula::parse(column.formula);
            } catch (const formula::FormulaError&) {
                // reported when the view was made; the column shows ""
            }
        }
        def->columns.push_back(std::move(column));
    }
    return std::make_unique<ViewImpl>(shared_from_this(), std::move(def));
}

std::unique_ptr<domino::NotesDocument> DatabaseImpl::FindDocumentById(const QString& documentId) const
{
    const QString unid = documentId.trimmed().toUpper();
    Query q(m_store->statement("SELECT id FROM documents WHERE unid = ?"));
    q->bind(1, unid);
    // A document the user may not read is not there for them.
    if (unid.isEmpty() || !q->step() || (m_readers && !m_readers->mayRead(*m_store, q->int64(0))))
        throw DominoError(u"找不到文档："_s + documentId);
    return document(q->int64(0), nullptr, 0);
}

std::unique_ptr<domino::ReadBatch> DatabaseImpl::beginReadBatch() const
{
    return std::make_unique<ReadBatchImpl>(shared_from_this());
}

std::unique_ptr<domino::NotesDocumentCollection> DatabaseImpl::FTSearch(const QString& query, int maxDocs) const
{
    checkMaxDocs(maxDocs);
    const domino::FTQuery parsed = domino::FTQuery::parse(query);
    prepareSearch();
    std::vector<qint64> ids;
    {
        const Store::OneRead read(*m_store);
        ids = found(parsed, maxDocs);
    }
    return std::make_unique<CollectionImpl>(shared_from_this(), std::move(ids));
}

void DatabaseImpl::UpdateFTIndex(bool create, const FTIndexProgress& progress) const
{
    if (!create && !fulltext::exists(*m_store))
        return;
    // The writer below is another connection to the file: this one's read must end for it to commit.
    if (!m_store->letGoOfRead())
        throw DominoError(u"数据库"_s + path() + u"正在读取中，无法更新全文索引"_s);
    fulltext::update(path(), create, false, progress);
    m_indexRefused = false;
}

std::shared_ptr<const std::vector<qint64>>
DatabaseImpl::searchedEntries(qint64 viewId, const std::function<std::vector<qint64>()>& take) const
{
    qint64 version = -1;
    {
        Query q(m_store->statement("PRAGMA data_version"));
        version = q->step() ? q->int64(0) : -1;
    }
    if (m_keptEntries.viewId != viewId || m_keptEntries.dataVersion != version || !m_keptEntries.entries)
        m_keptEntries = {viewId, version, std::make_shared<const std::vector<qint64>>(take())};
    return m_keptEntries.entries;
}

void DatabaseImpl::prepareSearch() const
{
    if (!m_indexRefused && !fulltext::prepare(*m_store))
        m_indexRefused = true;
}

std::vector<qint64> DatabaseImpl::found(const domino::FTQuery& query, qint64 maxDocs) const
{
    if (!m_readers)
        return fulltext::search(*m_store, query, maxDocs);
    return fulltext::search(*m_store, query, maxDocs, m_readers->hiddenDocuments(*m_store));
}

std::unique_ptr<domino::NotesDocument> DatabaseImpl::document(qint64 docId, std::shared_ptr<const ViewDef> view,
                                                              qint64 position) const
{
    std::unique_ptr<DocumentImpl> found = findDocument(docId, std::move(view), position);
    if (!found)
        throw DominoError(u"数据库"_s + path() + u"中找不到文档（内部编号"_s + QString::number(docId) + u"）"_s);
    return found;
}

std::unique_ptr<DocumentImpl> DatabaseImpl::findDocument(qint64 docId, std::shared_ptr<const ViewDef> view,
                                                         qint64 position) const
{
    Query q(m_store->statement("SELECT unid, created, modified FROM documents WHERE id = ?"));
    q->bind(1, docId);
    if (!q->step())
        return nullptr;
    // A time that is not an integer is out of every range: its column values say so.
    constexpr qint64 invalid = std::numeric_limits<qint64>::min();
    return std::make_unique<DocumentImpl>(shared_from_this(), docId, q->text(0), q->integer(1).value_or(invalid),
                                          q->integer(2).value_or(invalid), std::move(view), position);
}

// The hash an unknown user name is checked against: a random password's, with the parameters of the
// stored ones, made once per process.
const QByteArray& dummyPasswordHash()
{
    static const QByteArray hash = [] {
        unsigned char password[32];
        randombytes_buf(password, sizeof password);
        return hashPassword(QByteArray(reinterpret_cast<const char*>(password), sizeof password));
    }();
    return hash;
}

class SessionImpl : public domino::NotesSession
{
public:
    void InitUserSession(const QString& userName, const QString& password) override
    {
        m_user.clear();
        const QString name = userName.trimmed();
        if (name.isEmpty())
            throw DominoError(u"用户名不能为空"_s);
        const QString dataDir = dataDirectory();
        const QString namesPath = QDir(dataDir).filePath(u"names.nsf"_s);
        if (!QFileInfo::exists(namesPath))
            throw DominoError(u"找不到Domino目录数据库："_s + namesPath);
        if (sodium_init() < 0)
            throw DominoError(u"无法初始化密码校验"_s);
        // Made before the look-up, so that the first login of a process costs the same for any name.
        const QByteArray& unknownNameHash = dummyPasswordHash();
        auto names = Store::open(namesPath, Store::Mode::ReadOnly);
        QString storedName;
        QByteArray hash;
        {
            Query q(names->statement("SELECT name, password_hash FROM users WHERE name = ?"));
            q->bind(1, name);
            if (q->step()) {
                storedName = q->text(0);
                hash = q->text(1).toUtf8();
            }
        }
        const QByteArray pwd = password.toUtf8();
        // Repeated failures to one name wait first, known name or not.
        LoginThrottle& throttle = loginThrottle();
        throttle.beforeCheck(name);
        // An unknown name is checked against a random password's hash: it takes as long as a known one, so the
        // time of the answer does not tell which names exist.
        const QByteArray& against = storedName.isEmpty() ? unknownNameHash : hash;
        const bool matches = crypto_pwhash_str_verify(against.constData(), pwd.constData(), quint64(pwd.size())) == 0;
        if (storedName.isEmpty() || !matches) {
            throttle.failed(name);
            throw DominoError(u"用户名或密码错误，无法登录"_s);
        }
        throttle.succeeded(name);
        QStringList servers;
        Query q(names->statement("SELECT name FROM servers ORDER BY name"));
        while (q->step())
            servers << q->text(0);
        m_user = storedName;
        m_dataDir = dataDir;
        m_servers = servers;
    }

    void InitLocalSession(const QString&) override { m_local = true; }

    std::shared_ptr<domino::NotesDatabase> OpenDatabase(const QString& server, const QString& path, bool) override
    {
        const QString serverName = server.trimmed();
        if (serverName.isEmpty()) {
            if (!m_local && m_user.isEmpty())
                throw DominoError(u"会话尚未初始化：请先调用InitLocalSession或InitUserSession"_s);
            if (path.trimmed().isEmpty())
                throw DominoError(u"数据库文件名为空"_s);
            return std::make_shared<DatabaseImpl>(Store::open(path, Store::Mode::ReadOnly));
        }
        requireServer(serverName);
        const QString file = resolveServerPath(path);
        auto store = Store::open(file, Store::Mode::ReadOnly);
        // Read anew for every database: a group changed in the directory counts from the next open.
        NamesList names(m_user, Store::open(QDir(m_dataDir).filePath(u"names.nsf"_s), Store::Mode::ReadOnly).get());
        const DatabaseAccess access = databaseAccess(*store, names);
        if (access.level < Reader)
            throw DominoError(u"用户"_s + m_user + u"无权访问服务器"_s + serverName + u"上的数据库"_s + path);
        for (const QString& role : access.roles)
            names.addRole(role);
        return std::make_shared<DatabaseImpl>(std::move(store), std::make_unique<ReaderAccess>(std::move(names)));
    }

    void pingServer(const QString& server) override
    {
        requireServer(server.trimmed());
        // The directory database answers for the server: one that went away since the login does not.
        Store::open(QDir(m_dataDir).filePath(u"names.nsf"_s), Store::Mode::ReadOnly);
    }

    ValueList EvaluateFormula(const QString& formula, const domino::NotesDocument& document) override
    {
        const auto* doc = dynamic_cast<const DocumentImpl*>(&document);
        return domino::EvaluateAttachmentNames(
            formula, doc ? std::function<QStringList()>([doc] { return doc->attachmentNames(); }) : nullptr);
    }

private:
    static QString dataDirectory()
    {
        const platform::Registry registry(platform::registryFilePath());
        std::optional<QString> dir = registry.readString(u"\\Software\\Lotus\\Domino"_s, u"DataPath"_s);
        if (!dir || dir->isEmpty())
            dir = registry.readString(u"\\Software\\Lotus\\Notes"_s, u"DataPath"_s);
        if (!dir || dir->isEmpty())
            throw DominoError(u"找不到Domino数据目录：注册表中没有DataPath"_s);
        if (!QFileInfo(*dir).isDir())
            throw DominoError(u"Domino数据目录不存在："_s + *dir);
        return *dir;
    }

    // A signed-in session and a server this installation serves.
    void requireServer(const QString& serverName) const
    {
        if (m_user.isEmpty())
            throw DominoError(u"尚未登录服务器"_s + serverName + u"：请先调用InitUserSession"_s);
        if (!servesName(serverName))
            throw DominoError(u"无法连接服务器"_s + serverName + u"：服务器不存在或无法访问"_s);
    }

    bool servesName(const QString& server) const
    {
        for (const QString& name : m_servers) {
            if (name.compare(server, Qt::CaseInsensitive) == 0)
                return true;
        }
        return false;
    }

    QString resolveServerPath(const QString& path) const
    {
        QString relative = path.trimmed();
        relative.replace(u'\\', u'/');
        const auto refuse = [&] {
            return DominoError(u"数据库路径"_s + path + u"不在服务器的数据目录之内，拒绝访问"_s);
        };
        if (relative.isEmpty())
            throw DominoError(u"数据库文件名为空"_s);
        if (relative.startsWith(u'/') || (relative.size() >= 2 && relative[1] == u':'))
            throw refuse();
        QStringList parts;
        for (const QString& part : relative.split(u'/', Qt::SkipEmptyParts)) {
            if (part == u".."_s)
                throw refuse();
            if (part != u"."_s)
                parts << part;
        }
        const QString full = QDir(m_dataDir).filePath(parts.join(u'/'));
        const QFileInfo info(full);
        if (!info.exists())
            throw DominoError(u"服务器上找不到数据库："_s + path);
        const QString root = QFileInfo(m_dataDir).canonicalFilePath();
        if (!info.canonicalFilePath().startsWith(root + u'/'))
            throw refuse();
        return full;
    }

    bool m_local = false;
    QString m_user;
    QString m_dataDir;
    QStringList m_servers;
};

} // namespace
} // namespace quill::component

extern "C" __attribute__((visibility("default"))) quill::domino::NotesSession* nlsxbe_create_session()
{
    try {
        return new quill::component::SessionImpl();
    } catch (...) {
        return nullptr;
    }
}
