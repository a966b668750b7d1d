#include "fakedomino.h"

#include "domino/error.h"
#include "domino/formula.h"
#include "domino/ftsearch.h"
#include "domino/richtext.h"

#include <QFile>
#include <QSet>
#include <algorithm>
#include <optional>

using namespace Qt::StringLiterals;
using namespace quill::domino;

namespace quill::testing {

namespace {

QString normalise(const QString& path)
{
    QString out = path;
    out.replace(u'\\', u'/');
    return out;
}

// An exact match first, then one without regard to case, as the component finds attachments and objects.
const FakeFile* findFile(const std::vector<FakeFile>& files, const QString& name)
{
    for (const Qt::CaseSensitivity cs : {Qt::CaseSensitive, Qt::CaseInsensitive}) {
        for (const FakeFile& f : files) {
            if (f.name.compare(name, cs) == 0)
                return &f;
        }
    }
    return nullptr;
}

// A name as Domino compares it: parts without their labels, without regard to case.
QString nameKey(const QString& name)
{
    QStringList parts;
    for (QString part : name.trimmed().split(u'/')) {
        part = part.trimmed();
        const qsizetype eq = part.indexOf(u'=');
        if (eq > 0 &&
            QStringList{u"CN"_s, u"OU"_s, u"O"_s, u"C"_s}.contains(part.left(eq).trimmed(), Qt::CaseInsensitive))
            part = part.mid(eq + 1).trimmed();
        parts << part;
    }
    return parts.join(u'/').toCaseFolded();
}

// The names a Readers item may give for a user on a server: full and common name, wildcards, groups (6 levels).
using NamesList = QSet<QString>;

NamesList namesOf(const QString& user, const std::map<QString, QStringList>& groups)
{
    const QString full = nameKey(user);
    NamesList names{full, u"*"_s};
    const QStringList parts = full.split(u'/');
    if (parts.size() > 1)
        names << parts.front();
    for (qsizetype i = 1; i < parts.size(); ++i)
        names << u"*/"_s + parts.mid(i).join(u'/');
    for (int level = 0; level < 6; ++level) {
        NamesList found;
        for (const auto& [group, members] : groups) {
            for (const QString& member : members) {
                if (names.contains(nameKey(member)))
                    found << nameKey(group);
            }
        }
        names += found;
    }
    return names;
}

// A document with a Readers item that names someone is read only by those its Readers and Authors items name.
bool mayRead(const FakeDocument& doc, const NamesList& names)
{
    bool restricted = false;
    bool named = false;
    for (const FakeItem& item : doc.items) {
        if (item.type != domino::NotesItem::Readers && item.type != domino::NotesItem::Authors)
            continue;
        for (const Value& value : item.values) {
            if (value.asText().trimmed().isEmpty())
                continue;
            restricted = restricted || item.type == domino::NotesItem::Readers;
            named = named || names.contains(nameKey(value.asText()));
        }
    }
    return !restricted || named;
}

// Whether a full-text search finds the document: its items' texts and attachment names, as the rules say.
bool searchFinds(const FTQuery& query, const FakeDocument& doc)
{
    const auto itemText = [](const FakeItem& item) {
        return searchItemText(item.type == domino::NotesItem::RichText ? ValueList{Value::text(item.plainText)}
                                                                       : item.values);
    };
    QStringList parts;
    for (const FakeItem& item : doc.items)
        parts << itemText(item);
    for (const FakeFile& file : doc.attachments)
        parts << file.name;
    return query.matches(searchText(parts), [&](const QString& field) {
        std::vector<QByteArray> texts;
        for (const FakeItem& item : doc.items) {
            if (item.name.compare(field, Qt::CaseInsensitive) == 0)
                texts.push_back(foldForSearch(itemText(item)).toUtf8());
        }
        return texts;
    });
}

} // namespace

struct FakeDomino::State
{
    struct Failure
    {
        QString operation;
        QString message;
        int skip = 0;
        int times = -1;
        QString argument;
    };

    std::map<QString, std::shared_ptr<FakeDatabase>> databases;
    std::map<QString, QString> users;
    std::map<QString, QStringList> groups;
    QStringList servers;
    std::vector<Failure> failures;
    QStringList calls;
    int sessions = 0;
    int nextId = 1;
    int readBatches = 0; // open now

    void hit(const QString& operation, const QString& argument = {})
    {
        calls << (argument.isEmpty() ? operation : operation + u':' + argument);
        for (Failure& f : failures) {
            if (f.operation != operation || (!f.argument.isEmpty() && f.argument != argument))
                continue;
            if (f.skip > 0) {
                --f.skip;
                continue;
            }
            if (f.times == 0)
                continue;
            if (f.times > 0)
                --f.times;
            throw DominoError(f.message);
        }
    }
};

namespace {

using StatePtr = std::shared_ptr<FakeDomino::State>;

class FakeEmbedded : public domino::NotesEmbeddedObject
{
public:
    FakeEmbedded(StatePtr state, FakeFile file) : m_state(std::move(state)), m_file(std::move(file)) {}
    QString Name() const override { return m_file.name; }
    void SaveToFile(const QString& path) override
    {
        m_state->hit(u"SaveToFile"_s, path);
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            out.write(m_file.contents) != m_file.contents.size() || !out.flush())
            throw DominoError(u"无法写入文件："_s + path);
    }

private:
    StatePtr m_state;
    FakeFile m_file;
};

class FakeRichText : public domino::NotesRichTextItem
{
public:
    FakeRichText(StatePtr state, FakeItem item) : m_state(std::move(state)), m_item(std::move(item)) {}
    QString Name() const override { return m_item.name; }
    int ItemType() const override
    {
        m_state->hit(u"ItemType"_s, m_item.name);
        return m_item.type;
    }
    QString FormattedText(bool tabsToSpaces, int lineLength) const override
    {
        m_state->hit(u"FormattedText"_s, m_item.name);
        return domino::formatPlainText(m_item.plainText, tabsToSpaces, lineLength);
    }
    QStringList EmbeddedObjects() const override
    {
        m_state->hit(u"EmbeddedObjects"_s, m_item.name);
        QStringList names;
        for (const FakeFile& f : m_item.embedded)
            names << f.name;
        return names;
    }
    std::unique_ptr<domino::NotesEmbeddedObject> EmbeddedObjectByName(const QString& name) const override
    {
        m_state->hit(u"EmbeddedObjectByName"_s, name);
        if (const FakeFile* f = findFile(m_item.embedded, name))
            return std::make_unique<FakeEmbedded>(m_state, *f);
        throw DominoError(u"找不到嵌入对象："_s + name);
    }
    std::unique_ptr<domino::NotesEmbeddedObject> EmbeddedObjectAt(int index) const override
    {
        m_state->hit(u"EmbeddedObjectAt"_s, QString::number(index));
        if (index < 0 || size_t(index) >= m_item.embedded.size())
            throw DominoError(u"RTF域"_s + m_item.name + u"中没有第"_s + QString::number(qint64(index) + 1) +
                              u"个嵌入对象"_s);
        return std::make_unique<FakeEmbedded>(m_state, m_item.embedded[size_t(index)]);
    }
    QByteArray ExportDXL() const override
    {
        m_state->hit(u"ExportDXL"_s, m_item.name);
        return m_item.dxl.isEmpty() ? domino::plainTextAsDxl(m_item.plainText) : m_item.dxl;
    }

private:
    StatePtr m_state;
    FakeItem m_item;
};

class FakeMIMEEntity : public domino::NotesMIMEEntity
{
public:
    explicit FakeMIMEEntity(QByteArray message) : m_message(std::move(message)) {}
    QByteArray GetEntityAsText() const override { return m_message; }

private:
    QByteArray m_message;
};

class FakeDocHandle : public domino::NotesDocument
{
public:
    FakeDocHandle(StatePtr state, std::shared_ptr<FakeDatabase> db, int index, const FakeView* view, int position)
        : m_state(std::move(state)), m_db(std::move(db)), m_index(index), m_view(view), m_position(position)
    {
    }

    const FakeDocument& doc() const { return *m_db->documents.at(static_cast<size_t>(m_index)); }
    QStringList attachmentNames() const
    {
        QStringList names;
        for (const FakeFile& f : doc().attachments)
            names << f.name;
        return names;
    }
    int position() const { return m_position; }
    const FakeView* view() const { return m_view; }

    QString DocumentId() const override
    {
        m_state->hit(u"DocumentId"_s);
        return doc().id;
    }
    ValueList ColumnValues() const override
    {
        m_state->hit(u"ColumnValues"_s, doc().id);
        if (!m_view)
            throw DominoError(u"文档"_s + doc().id + u"不是从视图中取得的，没有列值"_s);
        ValueList out;
        for (const FakeColumn& c : m_view->columns) {
            const ValueList v = values(c.itemName);
            out.push_back(v.empty() ? Value::text(QString()) : v.size() == 1 ? v.front() : Value::list(v));
        }
        return out;
    }
    QStringList Items() const override
    {
        m_state->hit(u"Items"_s);
        QStringList names;
        for (const FakeItem& item : doc().items)
            names << item.name;
        return names;
    }
    ValueList ItemValue(const QString& name) const override
    {
        m_state->hit(u"ItemValue"_s, name);
        return values(name);
    }
    bool HasAttachments() const override
    {
        m_state->hit(u"HasAttachments"_s);
        return !doc().attachments.empty();
    }
    std::unique_ptr<domino::NotesEmbeddedObject> AttachmentByName(const QString& fileName) const override
    {
        m_state->hit(u"AttachmentByName"_s, fileName);
        if (const FakeFile* f = findFile(doc().attachments, fileName))
            return std::make_unique<FakeEmbedded>(m_state, *f);
        throw DominoError(u"找不到附件："_s + fileName);
    }
    std::unique_ptr<domino::NotesEmbeddedObject> AttachmentAt(int index) const override
    {
        m_state->hit(u"AttachmentAt"_s, QString::number(index));
        const std::vector<FakeFile>& files = doc().attachments;
        if (index < 0 || size_t(index) >= files.size())
            throw DominoError(u"文档"_s + doc().id + u"中没有第"_s + QString::number(qint64(index) + 1) + u"个附件"_s);
        return std::make_unique<FakeEmbedded>(m_state, files[size_t(index)]);
    }
    std::unique_ptr<domino::NotesItem> ItemByName(const QString& name) const override
    {
        m_state->hit(u"ItemByName"_s, name);
        return std::make_unique<FakeRichText>(m_state, item(name));
    }
    std::unique_ptr<domino::NotesRichTextItem> RichTextItemByName(const QString& name) const override
    {
        m_state->hit(u"RichTextItemByName"_s, name);
        FakeItem found = item(name);
        if (found.type != domino::NotesItem::RichText)
            throw DominoError(u"域不是RTF域："_s + name);
        return std::make_unique<FakeRichText>(m_state, std::move(found));
    }
    std::unique_ptr<domino::NotesMIMEEntity> GetMIMEEntity(const QString& itemName) const override
    {
        m_state->hit(u"GetMIMEEntity"_s, itemName);
        for (const FakeItem& i : doc().items) {
            if (i.name.compare(itemName, Qt::CaseInsensitive) == 0)
                return i.mime.isEmpty() ? nullptr : std::make_unique<FakeMIMEEntity>(i.mime);
        }
        return nullptr;
    }

private:
    FakeItem item(const QString& name) const
    {
        for (const FakeItem& i : doc().items)
            if (i.name.compare(name, Qt::CaseInsensitive) == 0)
                return i;
        throw DominoError(u"找不到域："_s + name);
    }
    ValueList values(const QString& name) const
    {
        for (const FakeItem& i : doc().items) {
            if (i.name.compare(name, Qt::CaseInsensitive) != 0)
                continue;
            if (i.type == domino::NotesItem::RichText)
                return {Value::text(i.plainText)};
            return i.values;
        }
        return {};
    }

    StatePtr m_state;
    std::shared_ptr<FakeDatabase> m_db;
    int m_index;
    const FakeView* m_view;
    int m_position;
};

class FakeViewHandle : public domino::NotesView
{
public:
    // names: on a server, the user's; the entries the user may not read are left out.
    FakeViewHandle(StatePtr state, std::shared_ptr<FakeDatabase> db, const FakeView* view, const NamesList* names)
        : m_state(std::move(state)), m_db(std::move(db)), m_view(view)
    {
        if (!names)
            return;
        m_readable.emplace();
        for (int index : view->entries) {
            if (mayRead(*m_db->documents.at(size_t(index)), *names))
                m_readable->push_back(index);
        }
    }
    int ColumnCount() const override
    {
        m_state->hit(u"ColumnCount"_s);
        return static_cast<int>(m_view->columns.size());
    }
    QStringList ColumnNames() const override
    {
        m_state->hit(u"ColumnNames"_s);
        QStringList titles;
        for (const FakeColumn& c : m_view->columns)
            titles << c.title;
        return titles;
    }
    int EntryCount() const override
    {
        m_state->hit(u"EntryCount"_s);
        return static_cast<int>(entries().size());
    }
    QString ViewName() const override
    {
        m_state->hit(u"ViewName"_s);
        return m_view->name;
    }
    std::unique_ptr<domino::NotesDocument> NthDocument(int position) const override
    {
        m_state->hit(u"NthDocument"_s, QString::number(position));
        if (position < 1 || position > static_cast<int>(entries().size()))
            throw DominoError(u"视图中没有第"_s + QString::number(position) + u"个文档"_s);
        return std::make_unique<FakeDocHandle>(m_state, m_db, entries()[static_cast<size_t>(position - 1)], m_view,
                                               position);
    }
    std::unique_ptr<domino::NotesDocument> NextDocument(const domino::NotesDocument& document) const override
    {
        m_state->hit(u"NextDocument"_s);
        const auto* handle = dynamic_cast<const FakeDocHandle*>(&document);
        if (!handle || handle->view() != m_view)
            throw DominoError(u"文档不是从视图"_s + m_view->name + u"中取得的，无法取得下一个文档"_s);
        const int next = handle->position() + 1;
        if (next > static_cast<int>(entries().size()))
            return nullptr;
        return std::make_unique<FakeDocHandle>(m_state, m_db, entries()[static_cast<size_t>(next - 1)], m_view, next);
    }
    // Documents are never removed from the stand-in: a frozen view keeps its documents' indexes.
    void SetAutoUpdate(bool autoUpdate) override
    {
        m_state->hit(u"SetAutoUpdate"_s, autoUpdate ? u"true"_s : u"false"_s);
        if (autoUpdate)
            m_frozen.reset();
        else if (!m_frozen)
            m_frozen = entries();
    }
    bool AutoUpdate() const override { return !m_frozen; }
    int FTSearch(const QString& query, int maxDocs) override
    {
        m_state->hit(u"FTSearch"_s, query);
        if (maxDocs < 0)
            throw DominoError(u"最多文档数不能为负数"_s);
        const FTQuery parsed = FTQuery::parse(query);
        std::vector<int> found;
        m_searched.reset(); // a new search replaces the last
        for (int index : entries()) {
            if ((maxDocs == 0 || int(found.size()) < maxDocs) &&
                searchFinds(parsed, *m_db->documents.at(size_t(index))))
                found.push_back(index);
        }
        m_searched = std::move(found);
        return int(m_searched->size());
    }
    void Clear() override
    {
        m_state->hit(u"Clear"_s);
        m_searched.reset();
    }

private:
    // A search's, or else frozen, or else those the user may read on a server, or else every entry as the view holds
    // them now.
    const std::vector<int>& entries() const
    {
        return m_searched ? *m_searched : m_frozen ? *m_frozen : m_readable ? *m_readable : m_view->entries;
    }

    StatePtr m_state;
    std::shared_ptr<FakeDatabase> m_db;
    const FakeView* m_view;
    std::optional<std::vector<int>> m_readable;
    std::optional<std::vector<int>> m_frozen;
    std::optional<std::vector<int>> m_searched;
};

class FakeCollection : public domino::NotesDocumentCollection
{
public:
    FakeCollection(StatePtr state, std::shared_ptr<FakeDatabase> db, std::vector<int> found)
        : m_state(std::move(state)), m_db(std::move(db)), m_found(std::move(found))
    {
    }
    int Count() const override { return int(m_found.size()); }
    std::unique_ptr<domino::NotesDocument> GetFirstDocument() const override { return GetNthDocument(1); }
    std::unique_ptr<domino::NotesDocument> GetNextDocument(const domino::NotesDocument& document) const override
    {
        const auto* handle = dynamic_cast<const FakeDocHandle*>(&document);
        const auto it =
            handle
                ? std::find_if(m_found.begin(), m_found.end(),
                               [&](int index) { return m_db->documents.at(size_t(index))->id == handle->DocumentId(); })
                : m_found.end();
        if (it == m_found.end())
            throw DominoError(u"文档不在搜索结果中，无法取得下一个文档"_s);
        return GetNthDocument(int(it - m_found.begin()) + 2);
    }
    std::unique_ptr<domino::NotesDocument> GetNthDocument(int position) const override
    {
        if (position < 1 || size_t(position) > m_found.size())
            return nullptr;
        return std::make_unique<FakeDocHandle>(m_state, m_db, m_found[size_t(position - 1)], nullptr, 0);
    }

private:
    StatePtr m_state;
    std::shared_ptr<FakeDatabase> m_db;
    std::vector<int> m_found;
};

// The stand-in has nothing to hold open; it counts the batches so that tests see where they are held.
class FakeReadBatch : public domino::ReadBatch
{
public:
    explicit FakeReadBatch(StatePtr state) : m_state(std::move(state)) { ++m_state->readBatches; }
    ~FakeReadBatch() override { --m_state->readBatches; }
    FakeReadBatch(const FakeReadBatch&) = delete;
    FakeReadBatch& operator=(const FakeReadBatch&) = delete;

private:
    StatePtr m_state;
};

class FakeDbHandle : public domino::NotesDatabase
{
public:
    FakeDbHandle(StatePtr state, std::shared_ptr<FakeDatabase> db, std::optional<NamesList> names)
        : m_state(std::move(state)), m_db(std::move(db)), m_names(std::move(names))
    {
    }
    QStringList Views() const override
    {
        m_state->hit(u"Views"_s);
        QStringList names;
        for (const FakeView& v : m_db->views)
            names << v.name;
        return names;
    }
    std::unique_ptr<domino::NotesView> FindView(const QString& name) const override
    {
        m_state->hit(u"FindView"_s, name);
        for (const FakeView& v : m_db->views)
            if (v.name.compare(name, Qt::CaseInsensitive) == 0)
                return std::make_unique<FakeViewHandle>(m_state, m_db, &v, m_names ? &*m_names : nullptr);
        throw DominoError(u"找不到视图："_s + name);
    }
    std::unique_ptr<domino::NotesDocument> FindDocumentById(const QString& documentId) const override
    {
        m_state->hit(u"FindDocumentById"_s, documentId);
        for (size_t i = 0; i < m_db->documents.size(); ++i)
            if (m_db->documents[i]->id.compare(documentId.trimmed(), Qt::CaseInsensitive) == 0 &&
                (!m_names || mayRead(*m_db->documents[i], *m_names)))
                return std::make_unique<FakeDocHandle>(m_state, m_db, static_cast<int>(i), nullptr, 0);
        throw DominoError(u"找不到文档："_s + documentId);
    }
    std::unique_ptr<domino::ReadBatch> beginReadBatch() const override
    {
        return std::make_unique<FakeReadBatch>(m_state);
    }
    std::unique_ptr<domino::NotesDocumentCollection> FTSearch(const QString& query, int maxDocs) const override
    {
        m_state->hit(u"FTSearch"_s, query);
        if (maxDocs < 0)
            throw DominoError(u"最多文档数不能为负数"_s);
        const FTQuery parsed = FTQuery::parse(query);
        m_db->ftIndexed = true;
        std::vector<int> found;
        for (size_t i = 0; i < m_db->documents.size() && (maxDocs == 0 || int(found.size()) < maxDocs); ++i) {
            const FakeDocument& doc = *m_db->documents[i];
            if ((!m_names || mayRead(doc, *m_names)) && searchFinds(parsed, doc))
                found.push_back(int(i));
        }
        return std::make_unique<FakeCollection>(m_state, m_db, std::move(found));
    }
    bool IsFTIndexed() const override { return m_db->ftIndexed; }
    void UpdateFTIndex(bool create, const FTIndexProgress& progress) const override
    {
        m_state->hit(u"UpdateFTIndex"_s);
        if (!create && !m_db->ftIndexed)
            return;
        m_db->ftIndexed = true;
        if (progress)
            progress(qint64(m_db->documents.size()), qint64(m_db->documents.size()));
    }

private:
    StatePtr m_state;
    std::shared_ptr<FakeDatabase> m_db;
    std::optional<NamesList> m_names;
};

class FakeSession : public domino::NotesSession
{
public:
    explicit FakeSession(StatePtr state) : m_state(std::move(state)) {}
    // User names compare trimmed and without regard to case; a failed login ends the one before.
    void InitUserSession(const QString& userName, const QString& password) override
    {
        m_state->hit(u"InitUserSession"_s, userName);
        m_loggedIn = false;
        const auto it = std::find_if(m_state->users.begin(), m_state->users.end(), [&](const auto& user) {
            return user.first.compare(userName.trimmed(), Qt::CaseInsensitive) == 0;
        });
        if (it == m_state->users.end() || it->second != password)
            throw DominoError(u"用户名或密码错误"_s);
        m_loggedIn = true;
        m_user = it->first;
    }
    void InitLocalSession(const QString& text) override
    {
        m_state->hit(u"InitLocalSession"_s, text);
        m_local = true;
    }
    // A local file needs an initialised session, a server a login; server names compare trimmed and without
    // regard to case.
    std::shared_ptr<domino::NotesDatabase> OpenDatabase(const QString& server, const QString& path, bool) override
    {
        m_state->hit(u"OpenDatabase"_s, path);
        const QString serverName = server.trimmed();
        if (serverName.isEmpty() && !m_local && !m_loggedIn)
            throw DominoError(u"会话尚未初始化：请先调用InitLocalSession或InitUserSession"_s);
        if (!serverName.isEmpty())
            requireServer(serverName, server);
        const auto it = m_state->databases.find(normalise(path));
        if (it == m_state->databases.end())
            throw DominoError(u"找不到数据库："_s + path);
        if (serverName.isEmpty())
            return std::make_shared<FakeDbHandle>(m_state, it->second, std::nullopt);
        // The roles of the entries that take the user in, -Default-'s when none does.
        NamesList names = namesOf(m_user, m_state->groups);
        NamesList roles;
        bool named = false;
        for (const auto& [entry, entryRoles] : it->second->roles) {
            if (entry != u"-Default-"_s && names.contains(nameKey(entry))) {
                named = true;
                for (const QString& role : entryRoles)
                    roles << nameKey(role);
            }
        }
        if (const auto fallback = it->second->roles.find(u"-Default-"_s);
            !named && fallback != it->second->roles.end()) {
            for (const QString& role : fallback->second)
                roles << nameKey(role);
        }
        names += roles;
        return std::make_shared<FakeDbHandle>(m_state, it->second, std::move(names));
    }
    void pingServer(const QString& server) override
    {
        m_state->hit(u"pingServer"_s, server);
        requireServer(server.trimmed(), server);
    }
    ValueList EvaluateFormula(const QString& formula, const domino::NotesDocument& document) override
    {
        m_state->hit(u"EvaluateFormula"_s, formula);
        const auto* handle = dynamic_cast<const FakeDocHandle*>(&document);
        return EvaluateAttachmentNames(
            formula, handle ? std::function<QStringList()>([handle] { return handle->attachmentNames(); }) : nullptr);
    }

private:
    void requireServer(const QString& serverName, const QString& asGiven) const
    {
        if (!m_loggedIn)
            throw DominoError(u"尚未登录服务器"_s + serverName + u"：请先调用InitUserSession"_s);
        if (!m_state->servers.contains(serverName, Qt::CaseInsensitive))
            throw DominoError(u"无法连接服务器："_s + asGiven);
    }

    StatePtr m_state;
    bool m_local = false;
    bool m_loggedIn = false;
    QString m_user;
};

} // namespace

FakeDocument& FakeDocument::text(const QString& name, const QString& value)
{
    return values(name, {Value::text(value)});
}

FakeDocument& FakeDocument::texts(const QString& name, const QStringList& list)
{
    ValueList v;
    for (const QString& s : list)
        v.push_back(Value::text(s));
    return values(name, std::move(v));
}

FakeDocument& FakeDocument::number(const QString& name, double value)
{
    return values(name, {Value::number(value)}, domino::NotesItem::Number);
}

FakeDocument& FakeDocument::dateTime(const QString& name, const QDateTime& value)
{
    return values(name, {Value::dateTime(value)}, domino::NotesItem::DateTime);
}

FakeDocument& FakeDocument::date(const QString& name, QDate value)
{
    return values(name, {Value::date(value)}, domino::NotesItem::DateTime);
}

FakeDocument& FakeDocument::time(const QString& name, QTime value)
{
    return values(name, {Value::time(value)}, domino::NotesItem::DateTime);
}

FakeDocument& FakeDocument::values(const QString& name, ValueList list, int type)
{
    items.push_back(FakeItem{name, type, std::move(list), {}, {}});
    return *this;
}

FakeDocument& FakeDocument::richText(const QString& name, const QString& plainText, std::vector<FakeFile> embedded,
                                     const QByteArray& dxl)
{
    items.push_back(FakeItem{name, domino::NotesItem::RichText, {}, plainText, std::move(embedded), dxl});
    return *this;
}

FakeDocument& FakeDocument::mail(const QString& name, const QString& plainText, const QByteArray& mime)
{
    items.push_back(FakeItem{name, domino::NotesItem::RichText, {}, plainText, {}, {}, mime});
    return *this;
}

FakeDocument& FakeDocument::attachment(const QString& name, const QByteArray& contents)
{
    attachments.push_back(FakeFile{name, contents});
    return *this;
}

FakeDocument& FakeDatabase::addDocument()
{
    static int counter = 0;
    auto doc = std::make_unique<FakeDocument>();
    doc->id = QStringLiteral("%1").arg(++counter, 32, 16, QLatin1Char('0')).toUpper();
    const int index = static_cast<int>(documents.size());
    documents.push_back(std::move(doc));
    for (size_t v = 0; v < views.size(); ++v)
        if (m_selectsAll[v])
            views[v].entries.push_back(index);
    return *documents.back();
}

FakeDocument& FakeDatabase::addDocumentFirst()
{
    FakeDocument& doc = addDocument();
    for (size_t v = 0; v < views.size(); ++v) {
        if (m_selectsAll[v])
            std::rotate(views[v].entries.begin(), views[v].entries.end() - 1, views[v].entries.end());
    }
    return doc;
}

FakeView& FakeDatabase::addView(const QString& name, std::vector<FakeColumn> columns)
{
    FakeView view{name, std::move(columns), {}};
    for (size_t i = 0; i < documents.size(); ++i)
        view.entries.push_back(static_cast<int>(i));
    views.push_back(std::move(view));
    m_selectsAll.push_back(true);
    return views.back();
}

FakeView& FakeDatabase::addEmptyView(const QString& name, std::vector<FakeColumn> columns)
{
    views.push_back(FakeView{name, std::move(columns), {}});
    m_selectsAll.push_back(false);
    return views.back();
}

FakeDomino::FakeDomino() : m_state(std::make_shared<State>()) {}

FakeDomino::~FakeDomino() = default;

FakeDatabase& FakeDomino::addDatabase(const QString& path)
{
    auto db = std::make_shared<FakeDatabase>();
    // Views are kept by address in handles: reserve so that adding views does not move them.
    db->views.reserve(64);
    m_state->databases[normalise(path)] = db;
    return *db;
}

void FakeDomino::addUser(const QString& name, const QString& password)
{
    m_state->users[name] = password;
}

void FakeDomino::addGroup(const QString& name, const QStringList& members)
{
    m_state->groups[name] = members;
}

void FakeDomino::addServer(const QString& name)
{
    m_state->servers << name;
}

void FakeDomino::failOn(const QString& operation, const QString& message, int skip, int times, const QString& argument)
{
    m_state->failures.push_back(State::Failure{operation, message, skip, times, argument});
}

void FakeDomino::clearFailures()
{
    m_state->failures.clear();
}

QStringList FakeDomino::calls() const
{
    return m_state->calls;
}

int FakeDomino::callCount(const QString& operation) const
{
    int n = 0;
    for (const QString& c : m_state->calls)
        if (c == operation || c.startsWith(operation + u':'))
            ++n;
    return n;
}

void FakeDomino::clearCalls()
{
    m_state->calls.clear();
}

int FakeDomino::openReadBatches() const
{
    return m_state->readBatches;
}

int FakeDomino::sessionsCreated() const
{
    return m_state->sessions;
}

domino::SessionFactory FakeDomino::sessionFactory()
{
    StatePtr state = m_state;
    return [state]() -> std::unique_ptr<domino::NotesSession> {
        ++state->sessions;
        return std::make_unique<FakeSession>(state);
    };
}

} // namespace quill::testing
