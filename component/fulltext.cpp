#include "fulltext.h"

#include "domino/error.h"
#include "store.h"
#include "storeddocument.h"

#include <algorithm>
#include <chrono>
#include <limits>

using namespace Qt::StringLiterals;
using quill::domino::DominoError;
using quill::domino::FTQuery;

namespace quill::component::fulltext {
namespace {

// Marks a document as written since it was indexed; the table's key takes whatever a writer gives.
#define QUILL_WAIT(id)                                                                                                 \
    "INSERT INTO fulltext_waiting(doc_id) SELECT " id " WHERE NOT EXISTS(SELECT 1 FROM fulltext_waiting "              \
    "WHERE doc_id = " id "); "

const char* const kSchema[] = {
    "CREATE TABLE fulltext_text(doc_id INTEGER PRIMARY KEY, text TEXT NOT NULL)",
    // The text is folded already: the tokenizer compares it as it stands. detail=none keeps only which documents
    // hold a trigram, which is all a candidate needs.
    "CREATE VIRTUAL TABLE fulltext USING fts5(text, content='fulltext_text', content_rowid='doc_id', "
    "tokenize='trigram case_sensitive 1', detail=none)",
    "CREATE TABLE fulltext_waiting(doc_id INTEGER NOT NULL PRIMARY KEY) WITHOUT ROWID",
    "CREATE TRIGGER fulltext_document_added AFTER INSERT ON documents BEGIN " QUILL_WAIT("NEW.id") "END",
    "CREATE TRIGGER fulltext_document_removed AFTER DELETE ON documents BEGIN " QUILL_WAIT("OLD.id") "END",
    "CREATE TRIGGER fulltext_document_renumbered AFTER UPDATE OF id ON documents BEGIN " QUILL_WAIT("OLD.id")
        QUILL_WAIT("NEW.id") "END",
    "CREATE TRIGGER fulltext_item_added AFTER INSERT ON items BEGIN " QUILL_WAIT("NEW.doc_id") "END",
    "CREATE TRIGGER fulltext_item_removed AFTER DELETE ON items BEGIN " QUILL_WAIT("OLD.doc_id") "END",
    "CREATE TRIGGER fulltext_item_changed AFTER UPDATE ON items BEGIN " QUILL_WAIT("OLD.doc_id")
        QUILL_WAIT("NEW.doc_id") "END",
    "CREATE TRIGGER fulltext_attachment_added AFTER INSERT ON attachments BEGIN " QUILL_WAIT("NEW.doc_id") "END",
    "CREATE TRIGGER fulltext_attachment_removed AFTER DELETE ON attachments BEGIN " QUILL_WAIT("OLD.doc_id") "END",
    "CREATE TRIGGER fulltext_attachment_changed AFTER UPDATE OF doc_id, name ON attachments BEGIN " QUILL_WAIT(
        "OLD.doc_id") QUILL_WAIT("NEW.doc_id") "END",
};

#undef QUILL_WAIT

// Triggers first: one left behind its table would make every write of the file fail.
const char* const kDrop[] = {
    "DROP TRIGGER IF EXISTS fulltext_document_added",
    "DROP TRIGGER IF EXISTS fulltext_document_removed",
    "DROP TRIGGER IF EXISTS fulltext_document_renumbered",
    "DROP TRIGGER IF EXISTS fulltext_item_added",
    "DROP TRIGGER IF EXISTS fulltext_item_removed",
    "DROP TRIGGER IF EXISTS fulltext_item_changed",
    "DROP TRIGGER IF EXISTS fulltext_attachment_added",
    "DROP TRIGGER IF EXISTS fulltext_attachment_removed",
    "DROP TRIGGER IF EXISTS fulltext_attachment_changed",
    "DROP TABLE IF EXISTS fulltext",
    "DROP TABLE IF EXISTS fulltext_text",
    "DROP TABLE IF EXISTS fulltext_waiting",
};

// How long one transaction of update() writes: readers wait only while it commits, other writers for all of it.
constexpr std::chrono::milliseconds kWriteSlice{400};

void createIndex(Store& store)
{
    for (const char* sql : kDrop)
        store.exec(sql);
    for (const char* sql : kSchema)
        store.exec(sql);
}

// Replaces what the index holds of a document by its text now (none when it is gone). fresh: the index holds
// nothing of it yet and it is not waiting.
void indexDocument(Store& store, qint64 docId, bool fresh)
{
    if (!fresh) {
        Query old(store.statement("SELECT text FROM fulltext_text WHERE doc_id = ?"));
        old->bind(1, docId);
        if (old->step()) {
            // An external-content index forgets a row only when told the text it indexed.
            Query forget(store.statement("INSERT INTO fulltext(fulltext, rowid, text) VALUES('delete', ?, ?)"));
            forget->bind(1, docId).bindUtf8(2, old->bytes(0)).run();
            Query remove(store.statement("DELETE FROM fulltext_text WHERE doc_id = ?"));
            remove->bind(1, docId).run();
        }
        Query done(store.statement("DELETE FROM fulltext_waiting WHERE doc_id = ?"));
        done->bind(1, docId).run();
    }
    const std::optional<QByteArray> text = documentText(store, docId);
    if (!text)
        return;
    Query keep(store.statement("INSERT INTO fulltext_text(doc_id, text) VALUES(?, ?)"));
    keep->bind(1, docId).bindUtf8(2, *text).run();
    Query index(store.statement("INSERT INTO fulltext(rowid, text) VALUES(?, ?)"));
    index->bind(1, docId).bindUtf8(2, *text).run();
}

// The documents waiting, as integers in order; up to limit of them (-1: all). A key that is no integer (a damaged
// file) is no document: it is dropped when writing, skipped when reading.
std::vector<qint64> waitingDocuments(Store& store, qint64 limit)
{
    std::vector<qint64> ids;
    Query q(store.statement("SELECT doc_id FROM fulltext_waiting ORDER BY doc_id LIMIT ?"));
    q->bind(1, limit);
    while (q->step()) {
        if (const std::optional<qint64> id = q->integer(0))
            ids.push_back(*id);
    }
    return ids;
}

bool anyWaiting(Store& store)
{
    Query q(store.statement("SELECT EXISTS(SELECT 1 FROM fulltext_waiting)"));
    return q->step() && q->int64(0) != 0;
}

std::vector<QByteArray> fieldTexts(Store& store, qint64 docId, const QString& field)
{
    std::vector<QByteArray> texts;
    const StoredDocument document(store, docId, QString::number(docId), 0, 0);
    for (const StoredItem& item : document.items()) {
        if (item.name.compare(field, Qt::CaseInsensitive) != 0)
            continue;
        try {
            texts.push_back(domino::foldForSearch(domino::searchItemText(document.values(item))).toUtf8());
        } catch (const DominoError&) {
            // a value the file cannot give has no text
        }
    }
    return texts;
}

QByteArray quoted(QByteArray text)
{
    return '"' + text.replace('"', "\"\"") + '"';
}

QByteArray joined(const std::vector<QByteArray>& parts, const char* op)
{
    if (parts.size() == 1)
        return parts.front();
    QByteArray out = "(";
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0)
            out += op;
        out += parts[i];
    }
    return out + ')';
}

std::optional<QByteArray> candidateQuery(const FTQuery::Node& node)
{
    using Kind = FTQuery::Node::Kind;
    switch (node.kind) {
    case Kind::Term:
    case Kind::Field: {
        // Where each character begins in the UTF-8 bytes: SQLite's tokenizer counts characters as they come.
        std::vector<qsizetype> starts;
        for (qsizetype i = 0; i < node.term.size(); ++i) {
            if ((uchar(node.term[i]) & 0xC0) != 0x80)
                starts.push_back(i);
        }
        if (starts.size() < 3)
            return std::nullopt;
        starts.push_back(node.term.size());
        const size_t characters = starts.size() - 1;
        // Trigrams that cover the term, the last one ending with it; each must be in a document that holds it.
        std::vector<QByteArray> trigrams;
        for (size_t at = 0;; at += 3) {
            const size_t from = std::min(at, characters - 3);
            trigrams.push_back(quoted(node.term.mid(starts[from], starts[from + 3] - starts[from])));
            if (from + 3 >= characters)
                break;
        }
        return joined(trigrams, " AND ");
    }
    case Kind::And: {
        std::vector<QByteArray> parts;
        for (const FTQuery::Node& child : node.children) {
            if (std::optional<QByteArray> part = candidateQuery(child))
                parts.push_back(std::move(*part));
        }
        if (parts.empty())
            return std::nullopt;
        return joined(parts, " AND ");
    }
    case Kind::Or: {
        std::vector<QByteArray> parts;
        for (const FTQuery::Node& child : node.children) {
            std::optional<QByteArray> part = candidateQuery(child);
            if (!part)
                return std::nullopt;
            parts.push_back(std::move(*part));
        }
        return joined(parts, " OR ");
    }
    case Kind::Not:
        return std::nullopt;
    }
    return std::nullopt;
}

} // namespace

bool exists(Store& store)
{
    return store.hasTable("fulltext_text") && store.hasTable("fulltext") && store.hasTable("fulltext_waiting");
}

std::optional<QByteArray> documentText(Store& store, qint64 docId)
{
    QString unid;
    {
        Query q(store.statement("SELECT unid FROM documents WHERE id = ?"));
        q->bind(1, docId);
        if (!q->step())
            return std::nullopt;
        unid = q->text(0);
    }
    QStringList parts;
    const StoredDocument document(store, docId, unid, 0, 0);
    for (const StoredItem& item : document.items()) {
        try {
            parts << domino::searchItemText(document.values(item));
        } catch (const DominoError&) {
            // a value the file cannot give has no text
        }
    }
    Query q(store.statement("SELECT name FROM attachments WHERE doc_id = ? ORDER BY seq"));
    q->bind(1, docId);
    while (q->step())
        parts << q->text(0);
    return domino::searchText(parts);
}

std::optional<QString> candidates(const FTQuery::Node& node)
{
    if (std::optional<QByteArray> query = candidateQuery(node))
        return QString::fromUtf8(*query);
    return std::nullopt;
}

void refresh(Store& store)
{
    if (!exists(store)) {
        createIndex(store);
        Query all(store.statement("SELECT id FROM documents ORDER BY id"));
        while (all->step())
            indexDocument(store, all->int64(0), true);
        return;
    }
    store.exec("DELETE FROM fulltext_waiting WHERE typeof(doc_id) <> 'integer'");
    for (const qint64 docId : waitingDocuments(store, -1))
        indexDocument(store, docId, false);
}

void update(const QString& path, bool create, bool rebuild, const Progress& progress)
{
    auto store = Store::open(path, Store::Mode::ShortWrites);
    // A slice's changes stay in memory until it commits: spilled to the file earlier, they would keep readers out
    // for the rest of the slice.
    store->exec("PRAGMA cache_size = -65536");
    store->exec("PRAGMA cache_spill = OFF");
    if (rebuild || !exists(*store)) {
        if (!create && !rebuild)
            return;
        // Every document waits: the slices below index them as they index documents written later. Another writer
        // may have made the index meanwhile: it is used then.
        store->transaction([&] {
            if (!rebuild && exists(*store))
                return;
            createIndex(*store);
            store->exec("INSERT INTO fulltext_waiting(doc_id) SELECT id FROM documents");
        });
    }
    qint64 total = 0;
    store->transaction([&] {
        store->exec("DELETE FROM fulltext_waiting WHERE typeof(doc_id) <> 'integer'");
        Query q(store->statement("SELECT count(*) FROM fulltext_waiting"));
        total = q->step() ? q->int64(0) : 0;
    });
    qint64 done = 0;
    if (progress)
        progress(done, total);
    for (;;) {
        qint64 slice = 0;
        store->transaction([&] {
            const auto until = std::chrono::steady_clock::now() + kWriteSlice;
            do {
                const std::vector<qint64> ids = waitingDocuments(*store, 64);
                if (ids.empty())
                    break;
                for (const qint64 docId : ids)
                    indexDocument(*store, docId, false);
                slice += qint64(ids.size());
            } while (std::chrono::steady_clock::now() < until);
        });
        if (slice == 0)
            break;
        done += slice;
        total = std::max(total, done);
        if (progress)
            progress(done, total);
    }
}

bool prepare(Store& reader)
{
    if (exists(reader) && !anyWaiting(reader))
        return true;
    if (!reader.letGoOfRead())
        return false;
    try {
        update(reader.path(), true, false, {});
        return true;
    } catch (const DominoError&) {
        return false;
    }
}

std::vector<qint64> search(Store& store, const FTQuery& query, qint64 maxDocs, const std::vector<qint64>& hidden)
{
    std::vector<qint64> found;
    const auto full = [&] { return maxDocs > 0 && qint64(found.size()) >= maxDocs; };
    const auto decide = [&](qint64 docId, QByteArrayView text) {
        if (std::binary_search(hidden.begin(), hidden.end(), docId))
            return;
        if (query.matches(text, [&](const QString& field) { return fieldTexts(store, docId, field); }))
            found.push_back(docId);
    };
    // Documents the index does not hold (yet) are read from their items.
    const auto decideFromItems = [&](qint64 docId) {
        if (const std::optional<QByteArray> text = documentText(store, docId))
            decide(docId, *text);
    };
    if (!exists(store)) {
        Query all(store.statement("SELECT id FROM documents ORDER BY id"));
        while (!full() && all->step())
            decideFromItems(all->int64(0));
        return found;
    }

    const std::vector<qint64> waiting = waitingDocuments(store, -1);
    size_t next = 0;
    const auto decideWaiting = [&](qint64 upTo) {
        for (; next < waiting.size() && waiting[next] < upTo && !full(); ++next)
            decideFromItems(waiting[next]);
    };
    const std::optional<QByteArray> narrowed = candidateQuery(query.root());
    Query q(narrowed ? store.statement("SELECT t.doc_id, t.text FROM fulltext JOIN fulltext_text t "
                                       "ON t.doc_id = fulltext.rowid WHERE fulltext MATCH ? ORDER BY fulltext.rowid")
                     : store.statement("SELECT doc_id, text FROM fulltext_text ORDER BY doc_id"));
    if (narrowed)
        q->bindUtf8(1, *narrowed);
    while (!full() && q->step()) {
        const qint64 docId = q->int64(0);
        // In order with the waiting ones, which are decided from their items instead.
        decideWaiting(docId == std::numeric_limits<qint64>::max() ? docId : docId + 1);
        if (!full() && !std::binary_search(waiting.begin(), waiting.end(), docId))
            decide(docId, q->bytes(1));
    }
    decideWaiting(std::numeric_limits<qint64>::max());
    return found;
}

} // namespace quill::component::fulltext
