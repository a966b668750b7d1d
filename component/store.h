#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

struct sqlite3;
struct sqlite3_blob;
struct sqlite3_stmt;

namespace quill::component {

// The file format of a database (.nsf): one SQLite file. The meta table names the format and its
// schema version; a file without them, or with a newer version, is refused.
inline constexpr char kFormatName[] = "quillmere-nsf";
// Version 2 added the date-time kinds of model.h; version 3 the structure of rich text beside its plain text
// (the table rich_text, richtextbody.h). A file of an older version is read as it was (its rich text as its
// plain text) and becomes the current version when written.
inline constexpr int kSchemaVersion = 3;

// Access levels of an access list entry.
enum AccessLevel
{
    NoAccess = 0,
    Depositor = 1,
    Reader = 2,
    Author = 3,
    Editor = 4,
    Designer = 5,
    Manager = 6
};
inline constexpr char16_t kDefaultAclEntry[] = u"-Default-";

class Statement
{
public:
    Statement(sqlite3* db, sqlite3_stmt* stmt, const QString* path) : m_db(db), m_stmt(stmt), m_path(path) {}
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement();

    Statement& bind(int index, const QString& value);
    // Text given as UTF-8 bytes.
    Statement& bindUtf8(int index, QByteArrayView value);
    Statement& bind(int index, qint64 value);
    Statement& bind(int index, double value);
    Statement& bindBlob(int index, const QByteArray& value);
    // A blob of size zero bytes, to be filled piece by piece through Blob.
    Statement& bindZeroBlob(int index, qint64 size);
    Statement& bindNull(int index);
    // True while a row is available; throws on errors (a damaged file among them).
    bool step();
    // Runs a statement that returns no rows.
    void run();
    void reset();

    QString text(int column) const;
    // The column's text, or nullopt when its bytes are not UTF-8 (a damaged or altered file).
    std::optional<QString> exactText(int column) const;
    qint64 int64(int column) const;
    // The column's value when the file holds an integer there; nullopt for anything else.
    std::optional<qint64> integer(int column) const;
    double real(int column) const;
    QByteArray blob(int column) const;
    // The column's bytes as the file holds them, valid until the next step.
    QByteArrayView bytes(int column) const;
    bool isNull(int column) const;

private:
    sqlite3* m_db;
    sqlite3_stmt* m_stmt;
    const QString* m_path;
};

// A reset-on-exit use of a cached statement.
class Query
{
public:
    explicit Query(Statement& statement) : m_statement(statement) { m_statement.reset(); }
    ~Query() { m_statement.reset(); }
    Statement* operator->() { return &m_statement; }
    Statement& operator*() { return m_statement; }

private:
    Statement& m_statement;
};

class Store;

// One blob value read or written in pieces, so that a large attachment never sits whole in memory.
class Blob
{
public:
    Blob(Store& store, const char* table, const char* column, qint64 rowId, bool writable);
    ~Blob();
    Blob(const Blob&) = delete;
    Blob& operator=(const Blob&) = delete;

    qint64 size() const;
    void read(qint64 offset, char* data, qint64 size);
    void write(qint64 offset, const char* data, qint64 size);

    // Moves size bytes from read to write a megabyte at a time. Each is given an offset, a buffer and a
    // length, and throws when it fails.
    static void copy(qint64 size, const std::function<void(qint64, char*, qint64)>& read,
                     const std::function<void(qint64, const char*, qint64)>& write);

private:
    Store& m_store;
    sqlite3_blob* m_blob = nullptr;
};

// Every connection has the collation QUILL_NOCASE: text compared as the component compares names
// (Unicode, without regard to case), for ordering in SQL.
class Store
{
public:
    enum class Mode
    {
        ReadOnly,  // the component: never writes
        ReadWrite, // the admin tool: holds a whole-file write lock while open
        Create,    // a new file; refuses an existing one
        // Short transactions with SQLite's own locks only, which readers wait for only while one commits: the
        // full-text index that the component writes (fulltext.h).
        ShortWrites
    };

    // Checks the file and opens it. Throws DominoError with a Chinese message naming the file.
    static std::unique_ptr<Store> open(const QString& path, Mode mode);
    // Writes to an existing database in one transaction (ReadWrite); a failure leaves it as it was.
    static void update(const QString& path, const std::function<void(Store&)>& work);
    // Makes a new database and fills it in one transaction; on a failure nothing of it stays behind.
    static void create(const QString& path, const std::function<void(Store&)>& work);
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    const QString& path() const { return m_path; }
    // Cached per SQL text, which must be a literal.
    Statement& statement(const char* sql);
    // While held (the holds nest), the statements share one read transaction instead of starting one
    // each: begun at the first statement, ended when the last hold is released, and renewed at a
    // statement once it is kReadSlice old, so that a writer waiting for the file gets it. For a store
    // that does not write.
    void holdReads();
    void releaseReads();
    static constexpr std::chrono::milliseconds kReadSlice{100};
    // While it lives the statements share one read that is not renewed, so that what they read agrees: for a few
    // statements in a row, which a writer then waits for.
    class OneRead
    {
    public:
        explicit OneRead(Store& store) : m_store(store)
        {
            m_store.holdReads();
            ++m_store.m_unrenewedHolds;
        }
        ~OneRead()
        {
            --m_store.m_unrenewedHolds;
            m_store.releaseReads();
        }
        OneRead(const OneRead&) = delete;
        OneRead& operator=(const OneRead&) = delete;

    private:
        Store& m_store;
    };
    // Ends a read transaction held for holdReads now rather than at the next statement, so that a writer in this
    // process can commit. False inside a OneRead or while a statement is being stepped: the read goes on.
    bool letGoOfRead();
    void exec(const char* sql);
    qint64 lastInsertId() const;
    // Rows the last statement inserted, changed or deleted.
    qint64 changes() const;

    // Runs work in one transaction; a failure rolls it back and is passed on.
    void transaction(const std::function<void()>& work);

    QString meta(const QString& key) const;
    void setMeta(const QString& key, const QString& value);

    bool hasTable(const char* name);
    // hasTable("rich_text"), asked for every body read: once there, the table stays (no version drops it).
    bool hasRichTextTable();
    bool hasColumn(const char* table, const char* column);

    // Checks the header of a file: SQLite magic and a page count that the file's length holds.
    // Throws DominoError for an empty, foreign or truncated file.
    static void checkFileHeader(const QString& path);

private:
    friend class Blob;
    Store(QString path, sqlite3* db, int lockFd);
    void createSchema();
    void checkSchema(Mode mode);
    void renewRead();
    bool statementsBusy() const;

    QString m_path;
    sqlite3* m_db;
    int m_lockFd;
    std::map<const char*, std::unique_ptr<Statement>> m_statements;
    int m_readHolds = 0;
    int m_unrenewedHolds = 0;
    std::chrono::steady_clock::time_point m_readSince;
    bool m_richTextTableSeen = false;
};

// Upper-case 32 hex digits, random.
QString newUniversalId();
// 32 hex digits: what a document's id must be. Ids are stored in upper case.
bool isUniversalId(QStringView id);

} // namespace quill::component
