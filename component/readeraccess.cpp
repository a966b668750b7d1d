#include "readeraccess.h"

#include "domino/error.h"
#include "model.h"
#include "store.h"

#include <algorithm>
#include <map>

using namespace Qt::StringLiterals;
using quill::domino::DominoError;

namespace quill::component {
namespace {

// Set while view_restricted and readers_documents are in step; the triggers below remove it when any writer, an
// older tool among them, changes a Readers item or indexes or removes a view (a view added has no entries until it
// is indexed).
const QString kPositionsKept = u"readers_positions"_s;

const char* const kReaderSchema[] = {
    "CREATE TABLE IF NOT EXISTS readers_documents(doc_id INTEGER PRIMARY KEY)",
    "CREATE TABLE IF NOT EXISTS view_restricted(view_id INTEGER NOT NULL, position INTEGER NOT NULL, "
    "doc_id INTEGER NOT NULL, PRIMARY KEY(view_id, position)) WITHOUT ROWID",
    "CREATE TRIGGER IF NOT EXISTS readers_item_added AFTER INSERT ON items WHEN NEW.type = 1075 "
    "BEGIN DELETE FROM meta WHERE key = 'readers_positions'; END",
    "CREATE TRIGGER IF NOT EXISTS readers_item_removed AFTER DELETE ON items WHEN OLD.type = 1075 "
    "BEGIN DELETE FROM meta WHERE key = 'readers_positions'; END",
    "CREATE TRIGGER IF NOT EXISTS readers_item_changed AFTER UPDATE ON items WHEN OLD.type = 1075 OR NEW.type = 1075 "
    "BEGIN DELETE FROM meta WHERE key = 'readers_positions'; END",
    "CREATE TRIGGER IF NOT EXISTS readers_view_indexed AFTER UPDATE OF entry_count ON views "
    "BEGIN DELETE FROM meta WHERE key = 'readers_positions'; END",
    "CREATE TRIGGER IF NOT EXISTS readers_view_removed AFTER DELETE ON views "
    "BEGIN DELETE FROM meta WHERE key = 'readers_positions'; END",
};

} // namespace

QString nameKey(const QString& name)
{
    const QString trimmed = name.trimmed();
    if (!trimmed.contains(u'/') && !trimmed.contains(u'='))
        return trimmed.toCaseFolded();
    QStringList parts = trimmed.split(u'/');
    for (QString& part : parts) {
        part = part.trimmed();
        const qsizetype equals = part.indexOf(u'=');
        const QStringView label = QStringView(part).left(equals).trimmed();
        if (equals > 0 &&
            (label.compare(u"CN", Qt::CaseInsensitive) == 0 || label.compare(u"OU", Qt::CaseInsensitive) == 0 ||
             label.compare(u"O", Qt::CaseInsensitive) == 0 || label.compare(u"C", Qt::CaseInsensitive) == 0))
            part = part.mid(equals + 1).trimmed();
    }
    return parts.join(u'/').toCaseFolded();
}

NamesList::NamesList(const QString& userName, Store* directory) : m_fullName(userName), m_fullKey(nameKey(userName))
{
    m_keys.insert(m_fullKey);
    m_keys.insert(u"*"_s);
    const QStringList parts = m_fullKey.split(u'/');
    if (parts.size() > 1) {
        m_keys.insert(parts.front());
        for (qsizetype i = 1; i < parts.size(); ++i)
            m_keys.insert(u"*/"_s + parts.mid(i).join(u'/'));
    }
    if (!directory || !directory->hasTable("directory_groups"))
        return;
    // Which groups each name is a member of.
    std::multimap<QString, QString> groupsOf;
    {
        Query q(directory->statement("SELECT name, member FROM directory_groups"));
        while (q->step())
            groupsOf.emplace(nameKey(q->text(1)), nameKey(q->text(0)));
    }
    QSet<QString> level = m_keys;
    for (int depth = 0; depth < kGroupDepth && !level.isEmpty(); ++depth) {
        QSet<QString> next;
        for (const QString& member : level) {
            const auto [from, to] = groupsOf.equal_range(member);
            for (auto it = from; it != to; ++it) {
                if (!m_keys.contains(it->second))
                    next.insert(it->second);
            }
        }
        for (const QString& group : next) {
            m_keys.insert(group);
            m_groups.insert(group);
        }
        level = next;
    }
}

bool NamesList::isGroupOrWildcard(const QString& key) const
{
    return m_groups.contains(key) || (key.startsWith(u"*/"_s) && m_keys.contains(key));
}

DatabaseAccess databaseAccess(Store& store, const NamesList& names)
{
    const QString own = nameKey(names.fullName());
    const QString fallback = nameKey(QString::fromUtf16(kDefaultAclEntry));
    std::optional<std::pair<QString, int>> person;
    std::optional<std::pair<QString, int>> standard;
    std::vector<std::pair<QString, int>> groups;
    {
        Query q(store.statement("SELECT name, level FROM acl"));
        while (q->step()) {
            const QString name = q->text(0);
            const QString key = nameKey(name);
            const bool isPerson = key == own;
            const bool isDefault = key == fallback;
            if (!isPerson && !isDefault && !names.isGroupOrWildcard(key))
                continue;
            const std::optional<qint64> stored = q->integer(1);
            if (!stored || *stored < NoAccess || *stored > Manager)
                throw DominoError(u"数据库"_s + store.path() + u"的访问控制列表已损坏：条目"_s + name +
                                  u"的级别无效"_s);
            const std::pair<QString, int> entry{name, int(*stored)};
            if (isPerson)
                person = entry;
            else if (isDefault)
                standard = entry;
            else
                groups.push_back(entry);
        }
    }
    std::vector<std::pair<QString, int>> applied;
    if (person)
        applied = {*person};
    else if (!groups.empty())
        applied = groups;
    else if (standard)
        applied = {*standard};
    DatabaseAccess access;
    QSet<QString> entryKeys;
    for (const auto& [name, level] : applied) {
        access.level = std::max(access.level, level);
        entryKeys.insert(nameKey(name));
    }
    if (!applied.empty() && store.hasTable("acl_roles")) {
        Query q(store.statement("SELECT name, role FROM acl_roles ORDER BY name, role"));
        while (q->step()) {
            if (entryKeys.contains(nameKey(q->text(0))) && !access.roles.contains(q->text(1), Qt::CaseInsensitive))
                access.roles << q->text(1);
        }
    }
    return access;
}

VisibleEntries::VisibleEntries(qint64 storedCount, std::vector<qint64> hidden)
    : m_storedCount(storedCount), m_hidden(std::move(hidden))
{
}

qint64 VisibleEntries::storedPosition(qint64 n) const
{
    // Before the i-th hidden entry (from 0) lie hidden[i] - 1 - i readable ones; those of them fewer than n are
    // the hidden entries that come before the n-th readable one.
    qsizetype low = 0;
    qsizetype high = qsizetype(m_hidden.size());
    while (low < high) {
        const qsizetype middle = low + (high - low) / 2;
        if (m_hidden[size_t(middle)] - middle <= n)
            low = middle + 1;
        else
            high = middle;
    }
    return n + low;
}

qint64 VisibleEntries::visiblePosition(qint64 stored) const
{
    return stored - (std::lower_bound(m_hidden.begin(), m_hidden.end(), stored) - m_hidden.begin());
}

qint64 VisibleEntries::nextStored(qint64 stored) const
{
    const qint64 before = stored - (std::upper_bound(m_hidden.begin(), m_hidden.end(), stored) - m_hidden.begin());
    return before < count() ? storedPosition(before + 1) : 0;
}

bool ReaderAccess::mayRead(Store& store, qint64 docId) const
{
    forgetOnChange(store);
    if (const auto known = m_documents.find(docId); known != m_documents.end())
        return known->second;
    QString content;
    Query q(store.statement("SELECT type, value FROM items WHERE doc_id = ? AND type IN (1075, 1076) ORDER BY seq"));
    q->bind(1, docId);
    while (q->step())
        appendItem(content, q->int64(0), q->text(1));
    const bool readable = decide(content);
    m_documents.emplace(docId, readable);
    return readable;
}

void ReaderAccess::appendItem(QString& content, qint64 type, const QString& stored)
{
    content += (type == ReadersType ? u'R' : u'A') + QString::number(stored.size()) + u':' + stored;
}

bool ReaderAccess::decide(const QString& content) const
{
    // Documents mostly share a few lists of readers: each is matched once.
    if (const auto known = m_decisions.find(content); known != m_decisions.end())
        return known->second;
    bool restricted = false;
    bool named = false;
    for (qsizetype at = 0; at < content.size();) {
        const bool readers = content[at] == u'R';
        const qsizetype colon = content.indexOf(u':', at);
        const qsizetype length = QStringView(content).sliced(at + 1, colon - at - 1).toLongLong();
        const QString stored = content.sliced(colon + 1, length);
        at = colon + 1 + length;
        domino::ValueList values;
        try {
            values = decodeValues(readers ? ReadersType : AuthorsType, stored);
        } catch (const DominoError&) {
            restricted = restricted || readers;
            continue;
        }
        for (const domino::Value& value : values) {
            const QString key = nameKey(value.asText());
            if (key.isEmpty())
                continue;
            restricted = restricted || readers;
            named = named || m_names.contains(key);
        }
    }
    const bool readable = !restricted || named;
    m_decisions.emplace(content, readable);
    return readable;
}

std::shared_ptr<const VisibleEntries> ReaderAccess::visibleEntries(Store& store, qint64 viewId,
                                                                   qint64 storedCount) const
{
    forgetOnChange(store);
    if (const auto known = m_views.find(viewId); known != m_views.end() && known->second->storedCount() == storedCount)
        return known->second;
    std::vector<qint64> hidden;
    if (readerPositionsKept(store)) {
        // The Readers and Authors items of the restricted entries in one pass, entry by entry.
        Query q(store.statement("SELECT r.position, r.doc_id, i.type, i.value FROM view_restricted r "
                                "JOIN items i ON i.doc_id = r.doc_id AND i.type IN (1075, 1076) "
                                "WHERE r.view_id = ? ORDER BY r.position, i.seq"));
        q->bind(1, viewId);
        bool started = false;
        qint64 position = 0;
        qint64 docId = 0;
        QString content;
        const auto decideEntry = [&] {
            const bool readable = decide(content);
            m_documents.emplace(docId, readable);
            if (!readable && position >= 1 && position <= storedCount)
                hidden.push_back(position);
        };
        while (q->step()) {
            if (started && q->int64(0) != position) {
                decideEntry();
                content.clear();
            }
            started = true;
            position = q->int64(0);
            docId = q->int64(1);
            appendItem(content, q->int64(2), q->text(3));
        }
        if (started)
            decideEntry();
    } else {
        const std::vector<qint64>& unreadable = unreadableDocuments(store);
        if (!unreadable.empty()) {
            Query q(store.statement("SELECT position, doc_id FROM view_entries WHERE view_id = ?"));
            q->bind(1, viewId);
            while (q->step()) {
                const qint64 position = q->int64(0);
                if (position >= 1 && position <= storedCount &&
                    std::binary_search(unreadable.begin(), unreadable.end(), q->int64(1)))
                    hidden.push_back(position);
            }
        }
    }
    std::sort(hidden.begin(), hidden.end());
    hidden.erase(std::unique(hidden.begin(), hidden.end()), hidden.end());
    auto entries = std::make_shared<const VisibleEntries>(storedCount, std::move(hidden));
    m_views[viewId] = entries;
    return entries;
}

const std::vector<qint64>& ReaderAccess::hiddenDocuments(Store& store) const
{
    forgetOnChange(store);
    return unreadableDocuments(store);
}

const std::vector<qint64>& ReaderAccess::unreadableDocuments(Store& store) const
{
    if (m_unreadable)
        return *m_unreadable;
    // Every Readers and Authors item once, in the order of the items table.
    std::vector<qint64> unreadable;
    Query q(store.statement("SELECT doc_id, type, value FROM items WHERE type IN (1075, 1076) ORDER BY doc_id, seq"));
    bool started = false;
    qint64 docId = 0;
    QString content;
    const auto decideDocument = [&] {
        const bool readable = decide(content);
        m_documents.emplace(docId, readable);
        if (!readable)
            unreadable.push_back(docId);
    };
    while (q->step()) {
        if (started && q->int64(0) != docId) {
            decideDocument();
            content.clear();
        }
        started = true;
        docId = q->int64(0);
        appendItem(content, q->int64(1), q->text(2));
    }
    if (started)
        decideDocument();
    m_unreadable = std::move(unreadable);
    return *m_unreadable;
}

void ReaderAccess::forgetOnChange(Store& store) const
{
    Query q(store.statement("PRAGMA data_version"));
    const qint64 version = q->step() ? q->int64(0) : -1;
    if (m_dataVersion == version)
        return;
    m_dataVersion = version;
    m_documents.clear();
    m_decisions.clear();
    m_views.clear();
    m_unreadable.reset();
}

bool readerPositionsKept(Store& store)
{
    return store.meta(kPositionsKept) == u"1"_s && store.hasTable("view_restricted");
}

void refreshReaderPositions(Store& store, qint64 viewId)
{
    for (const char* sql : kReaderSchema)
        store.exec(sql);
    if (viewId < 0) {
        store.exec("DELETE FROM readers_documents");
        store.exec("INSERT INTO readers_documents(doc_id) SELECT DISTINCT doc_id FROM items WHERE type = 1075");
        store.exec("DELETE FROM view_restricted");
    } else {
        Query clear(store.statement("DELETE FROM view_restricted WHERE view_id = ?"));
        clear->bind(1, viewId).run();
    }
    bool any = false;
    {
        Query q(store.statement("SELECT EXISTS(SELECT 1 FROM readers_documents)"));
        any = q->step() && q->int64(0) != 0;
    }
    if (any) {
        // IN keeps the entries the outer loop, each looked up among the documents with Readers items.
        Query fill(
            store.statement("INSERT INTO view_restricted(view_id, position, doc_id) "
                            "SELECT view_id, position, doc_id FROM view_entries "
                            "WHERE (?1 < 0 OR view_id = ?1) AND doc_id IN (SELECT doc_id FROM readers_documents)"));
        fill->bind(1, viewId).run();
    }
    store.setMeta(kPositionsKept, u"1"_s);
}

} // namespace quill::component
