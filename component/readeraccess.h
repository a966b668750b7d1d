#pragma once

// Document security in server mode: a document with Readers items is read only by the people those items (and
// then its Authors items) name, directly, by a group of the directory or by a role in the database's access list.
// A Readers item without a name in it restricts nothing. Local files are not checked (Domino's local access).

#include <QSet>
#include <QString>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

namespace quill::component {

class Store;

// A name as Domino compares it: the parts of a hierarchical name without their labels ("CN=王芳/OU=销售/O=Quill"
// and "王芳/销售/Quill" are one name), each trimmed, without regard to case. A role keeps its brackets.
QString nameKey(const QString& name);

// Groups nest this deep: a group that names the user is the first level, a group naming that one the second.
inline constexpr int kGroupDepth = 6;

// Every name a Readers entry may give for the signed-in user, as nameKey forms: the full name; its common name
// (a hierarchical name's first part); "*" and the wildcards of its organisation ("*/销售/quill", "*/quill"); the
// groups of the directory that contain any of these, nested up to kGroupDepth levels (a loop ends where a group
// comes round again); and, for one database, the roles its access list gives the user.
class NamesList
{
public:
    // directory: names.nsf; none for no groups.
    NamesList(const QString& userName, Store* directory);

    const QString& fullName() const { return m_fullName; }
    bool contains(const QString& key) const { return m_keys.contains(key); }
    // A group or a wildcard: the access list entries that stand for several people.
    bool isGroupOrWildcard(const QString& key) const;
    void addRole(const QString& role) { m_keys.insert(nameKey(role)); }

private:
    QString m_fullName; // as stored in the directory
    QString m_fullKey;
    QSet<QString> m_keys;
    QSet<QString> m_groups;
};

// The user's level in a database's access list and the roles it gives: the user's own entry when there is one;
// otherwise the highest of the entries of the groups and wildcards that take the user in, with all their roles;
// otherwise -Default-. Throws DominoError for an entry whose level is damaged.
struct DatabaseAccess
{
    int level = 0;
    QStringList roles;
};
DatabaseAccess databaseAccess(Store& store, const NamesList& names);

// The entries of a view the user may read, by the stored positions (from 1) of the ones hidden.
class VisibleEntries
{
public:
    // hidden: within 1..storedCount, in order, each once.
    VisibleEntries(qint64 storedCount, std::vector<qint64> hidden);

    qint64 storedCount() const { return m_storedCount; }
    qint64 count() const { return m_storedCount - qint64(m_hidden.size()); }
    // The stored position of the n-th readable entry, 1 <= n <= count().
    qint64 storedPosition(qint64 n) const;
    // The number among the readable entries of one at a stored position that is not hidden.
    qint64 visiblePosition(qint64 stored) const;
    // The stored position of the first readable entry after a stored position; 0 after the last.
    qint64 nextStored(qint64 stored) const;

private:
    qint64 m_storedCount;
    std::vector<qint64> m_hidden;
};

// What the signed-in user may read of one open database. Answers are kept until the file changes (SQLite's
// data_version), so that paging through a view checks its restricted documents once.
class ReaderAccess
{
public:
    explicit ReaderAccess(NamesList names) : m_names(std::move(names)) {}

    // False for a document with Readers items of which none, nor an Authors item, names the user. A Readers item
    // whose stored value cannot be read names nobody.
    bool mayRead(Store& store, qint64 docId) const;
    std::shared_ptr<const VisibleEntries> visibleEntries(Store& store, qint64 viewId, qint64 storedCount) const;
    // The documents the user may not read, in order: what a search leaves out.
    const std::vector<qint64>& hiddenDocuments(Store& store) const;

private:
    void forgetOnChange(Store& store) const;
    // A document's Readers and Authors items, in order, as one text that decide() reads.
    static void appendItem(QString& content, qint64 type, const QString& stored);
    bool decide(const QString& content) const;
    // Without kept positions (a file an older tool wrote): the documents the user may not read, in order.
    const std::vector<qint64>& unreadableDocuments(Store& store) const;

    NamesList m_names;
    mutable std::optional<qint64> m_dataVersion;
    mutable std::unordered_map<qint64, bool> m_documents;
    mutable std::unordered_map<QString, bool> m_decisions;
    mutable std::unordered_map<qint64, std::shared_ptr<const VisibleEntries>> m_views;
    mutable std::optional<std::vector<qint64>> m_unreadable;
};

// For the admin tool, after views were indexed: remembers which entries' documents have Readers items, so that the
// component finds them without reading every item. viewId: the one view indexed while the positions were kept
// (readerPositionsKept before it); -1: everything anew. The file's own triggers mark the positions out of date when
// any writer, an older tool among them, changes a Readers item or indexes a view.
void refreshReaderPositions(Store& store, qint64 viewId);
// True while the positions are in step with the items and the view index.
bool readerPositionsKept(Store& store);

} // namespace quill::component
