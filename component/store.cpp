#include "store.h"

#include "domino/error.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <fcntl.h>
#include <sqlite3.h>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;
using quill::domino::DominoError;

namespace quill::component {
namespace {

// Other names FindView knows a view by. Files made before it existed are read without it and get it
// when opened for writing, as they get views.selection.
const char kViewAliasesTable[] = "CREATE TABLE view_aliases(view_id INTEGER NOT NULL, seq INTEGER NOT NULL, "
                                 "alias TEXT NOT NULL, PRIMARY KEY(view_id, seq)) WITHOUT ROWID";

// A rich-text item's structure beside its plain text: format 1 its DXL <richtext> element, 2 a mail body's MIME
// message (richtextbody.h). Files of version 2 and older have none.
const char kRichTextTable[] = "CREATE TABLE rich_text(doc_id INTEGER NOT NULL, item_seq INTEGER NOT NULL, "
                              "format INTEGER NOT NULL, content BLOB NOT NULL, PRIMARY KEY(doc_id, item_seq))";

const char* const kSchema[] = {
    "CREATE TABLE meta(key TEXT PRIMARY KEY, value TEXT NOT NULL) WITHOUT ROWID",
    "CREATE TABLE documents(id INTEGER PRIMARY KEY, unid TEXT NOT NULL UNIQUE, form TEXT NOT NULL DEFAULT '', "
    "created INTEGER NOT NULL, modified INTEGER NOT NULL)",
    // value: a JSON array; numbers for number items, milliseconds since the epoch for date-times.
    "CREATE TABLE items(doc_id INTEGER NOT NULL, seq INTEGER NOT NULL, name TEXT NOT NULL, type INTEGER NOT NULL, "
    "value TEXT NOT NULL, PRIMARY KEY(doc_id, seq)) WITHOUT ROWID",
    "CREATE TABLE attachments(doc_id INTEGER NOT NULL, seq INTEGER NOT NULL, name TEXT NOT NULL, data BLOB NOT NULL, "
    "PRIMARY KEY(doc_id, seq))",
    "CREATE TABLE embedded_objects(doc_id INTEGER NOT NULL, item_seq INTEGER NOT NULL, seq INTEGER NOT NULL, "
    "name TEXT NOT NULL, data BLOB NOT NULL, PRIMARY KEY(doc_id, item_seq, seq))",
    kRichTextTable,
    // sort_column: index of the column whose value orders the view, -1 for creation order. A view selects the
    // documents of its form (NULL: all) for which its selection formula (empty: none) is true.
    "CREATE TABLE views(id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE COLLATE NOCASE, form TEXT, "
    "sort_column INTEGER NOT NULL DEFAULT -1, sort_descending INTEGER NOT NULL DEFAULT 0, "
    "entry_count INTEGER NOT NULL DEFAULT 0, selection TEXT NOT NULL DEFAULT '')",
    kViewAliasesTable,
    "CREATE TABLE view_columns(view_id INTEGER NOT NULL, seq INTEGER NOT NULL, title TEXT NOT NULL, "
    "item TEXT NOT NULL DEFAULT '', formula TEXT NOT NULL DEFAULT '', PRIMARY KEY(view_id, seq)) WITHOUT ROWID",
    // The index of positions: rebuilt by the admin tool whenever documents or views change.
    "CREATE TABLE view_entries(view_id INTEGER NOT NULL, position INTEGER NOT NULL, doc_id INTEGER NOT NULL, "
    "PRIMARY KEY(view_id, position)) WITHOUT ROWID",
    "CREATE TABLE acl(name TEXT PRIMARY KEY COLLATE NOCASE, level INTEGER NOT NULL) WITHOUT ROWID",
    // Used in the directory database names.nsf only.
    "CREATE TABLE users(name TEXT PRIMARY KEY COLLATE NOCASE, password_hash TEXT NOT NULL) WITHOUT ROWID",
    "CREATE TABLE servers(name TEXT PRIMARY KEY COLLATE NOCASE) WITHOUT ROWID",
};

quint32 bigEndian32(const QByteArray& bytes, int at)
{
    return (quint32(uchar(bytes[at])) << 24) | (quint32(uchar(bytes[at + 1])) << 16) |
           (quint32(uchar(bytes[at + 2])) << 8) | quint32(uchar(bytes[at + 3]));
}

// SQLite's readers lock this byte for reading to start a read, and wait while another program holds it
// for writing.
constexpr off_t kPendingByte = 0x40000000;
// How long a writer waits for the readers of the file to finish their reads (they let go at least every
// Store::kReadSlice).
constexpr std::chrono::seconds kReaderWait{5};
// How long a read waits for a writer to finish: adding a view or documents to a large database, or importing
// one, keeps readers out for seconds.
constexpr std::chrono::seconds kWriterWait{30};

[[noreturn]] void fail(sqlite3* db, int rc, const QString& path)
{
    if (rc == SQLITE_CORRUPT || rc == SQLITE_NOTADB)
        throw DominoError(u"数据库文件已损坏："_s + path);
    if (rc == SQLITE_BUSY && db && sqlite3_db_readonly(db, "main") == 1)
        throw DominoError(u"数据库正被其它程序写入，等待"_s + QString::number(kWriterWait.count()) +
                          u"秒后仍无法读取："_s + path);
    if (rc == SQLITE_BUSY && db)
        throw DominoError(u"数据库正被其它程序读取，等待"_s + QString::number(kReaderWait.count()) +
                          u"秒后仍无法写入："_s + path);
    if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
        throw DominoError(u"数据库正被其它程序使用："_s + path);
    if (rc == SQLITE_READONLY)
        throw DominoError(u"数据库文件只读，无法写入："_s + path);
    throw DominoError(u"访问数据库文件"_s + path + u"出错："_s +
                      QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)));
}

// Locks a range of fd for writing. A reader in the way is waited for until deadline (it lets go at the
// end of its read); another writer refuses at once.
bool lockRange(int fd, off_t start, off_t length, std::chrono::steady_clock::time_point deadline)
{
    for (;;) {
        struct flock lock = {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        lock.l_start = start;
        lock.l_len = length;
        if (::fcntl(fd, F_SETLK, &lock) == 0)
            return true;
        if (errno != EACCES && errno != EAGAIN && errno != EINTR)
            return false;
        struct flock holder = lock;
        if (::fcntl(fd, F_GETLK, &holder) == 0 && holder.l_type == F_WRLCK)
            return false;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

// The whole file, for the writer's lifetime. The pending byte comes first: readers cannot start new
// reads meanwhile, so the reads in progress end and none overtakes the writer.
bool lockForWriting(int fd)
{
    const auto deadline = std::chrono::steady_clock::now() + kReaderWait;
    return lockRange(fd, kPendingByte, 1, deadline) && lockRange(fd, 0, 0, deadline);
}

int compareNoCase(void*, int lengthA, const void* a, int lengthB, const void* b)
{
    const QString left = QString::fromUtf8(static_cast<const char*>(a), lengthA);
    const QString right = QString::fromUtf8(static_cast<const char*>(b), lengthB);
    return left.compare(right, Qt::CaseInsensitive);
}

} // namespace

Blob::Blob(Store& store, const char* table, const char* column, qint64 rowId, bool writable) : m_store(store)
{
    const int rc = sqlite3_blob_open(store.m_db, "main", table, column, rowId, writable ? 1 : 0, &m_blob);
    if (rc != SQLITE_OK) {
        sqlite3_blob_close(m_blob);
        m_blob = nullptr;
        fail(store.m_db, rc, store.m_path);
    }
}

Blob::~Blob()
{
    sqlite3_blob_close(m_blob);
}

qint64 Blob::size() const
{
    return sqlite3_blob_bytes(m_blob);
}

void Blob::read(qint64 offset, char* data, qint64 size)
{
    const int rc = sqlite3_blob_read(m_blob, data, int(size), int(offset));
    if (rc != SQLITE_OK)
        fail(m_store.m_db, rc, m_store.m_path);
}

void Blob::write(qint64 offset, const char* data, qint64 size)
{
    const int rc = sqlite3_blob_write(m_blob, data, int(size), int(offset));
    if (rc != SQLITE_OK)
        fail(m_store.m_db, rc, m_store.m_path);
}

void Blob::copy(qint64 size, const std::function<void(qint64, char*, qint64)>& read,
                const std::function<void(qint64, const char*, qint64)>& write)
{
    constexpr qint64 kPiece = 1024 * 1024;
    QByteArray piece(std::min(kPiece, size), Qt::Uninitialized);
    for (qint64 offset = 0; offset < size; offset += kPiece) {
        const qint64 length = std::min(kPiece, size - offset);
        read(offset, piece.data(), length);
        write(offset, piece.constData(), length);
    }
}

Statement::~Statement()
{
    sqlite3_finalize(m_stmt);
}

Statement& Statement::bind(int index, const QString& value)
{
    const QByteArray utf8 = value.toUtf8();
    sqlite3_bind_text(m_stmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    return *this;
}

Statement& Statement::bindUtf8(int index, QByteArrayView value)
{
    // A null pointer would bind NULL, not empty text.
    sqlite3_bind_text64(m_stmt, index, value.data() ? value.data() : "", sqlite3_uint64(value.size()), SQLITE_TRANSIENT,
                        SQLITE_UTF8);
    return *this;
}

Statement& Statement::bind(int index, qint64 value)
{
    sqlite3_bind_int64(m_stmt, index, value);
    return *this;
}

Statement& Statement::bind(int index, double value)
{
    sqlite3_bind_double(m_stmt, index, value);
    return *this;
}

Statement& Statement::bindBlob(int index, const QByteArray& value)
{
    sqlite3_bind_blob64(m_stmt, index, value.constData(), sqlite3_uint64(value.size()), SQLITE_TRANSIENT);
    return *this;
}

Statement& Statement::bindZeroBlob(int index, qint64 size)
{
    sqlite3_bind_zeroblob64(m_stmt, index, sqlite3_uint64(size));
    return *this;
}

Statement& Statement::bindNull(int index)
{
    sqlite3_bind_null(m_stmt, index);
    return *this;
}

bool Statement::step()
{
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    fail(m_db, rc, *m_path);
}

void Statement::run()
{
    while (step()) {
    }
    reset();
}

void Statement::reset()
{
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

QString Statement::text(int column) const
{
    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    return QString::fromUtf8(data, sqlite3_column_bytes(m_stmt, column));
}

std::optional<QString> Statement::exactText(int column) const
{
    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    const QByteArrayView bytes(data, sqlite3_column_bytes(m_stmt, column));
    if (!bytes.isValidUtf8())
        return std::nullopt;
    return QString::fromUtf8(bytes);
}

qint64 Statement::int64(int column) const
{
    return sqlite3_column_int64(m_stmt, column);
}

std::optional<qint64> Statement::integer(int column) const
{
    if (sqlite3_column_type(m_stmt, column) != SQLITE_INTEGER)
        return std::nullopt;
    return sqlite3_column_int64(m_stmt, column);
}

double Statement::real(int column) const
{
    return sqlite3_column_double(m_stmt, column);
}

QByteArray Statement::blob(int column) const
{
    const auto* data = static_cast<const char*>(sqlite3_column_blob(m_stmt, column));
    return QByteArray(data, sqlite3_column_bytes(m_stmt, column));
}

QByteArrayView Statement::bytes(int column) const
{
    const auto* data = static_cast<const char*>(sqlite3_column_blob(m_stmt, column));
    return QByteArrayView(data, sqlite3_column_bytes(m_stmt, column));
}

bool Statement::isNull(int column) const
{
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

void Store::checkFileHeader(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw DominoError(u"无法读取数据库文件："_s + path + u"（"_s + file.errorString() + u"）"_s);
    const QByteArray header = file.read(100);
    if (header.size() < 100 || !header.startsWith(QByteArrayView("SQLite format 3\0", 16)))
        throw DominoError(u"不是Domino数据库文件："_s + path);
    quint32 pageSize = (quint32(uchar(header[16])) << 8) | quint32(uchar(header[17]));
    if (pageSize == 1)
        pageSize = 65536;
    const quint32 pageCount = bigEndian32(header, 28);
    // The header's page count is valid only while its version stamp matches the change counter.
    const bool countValid = pageCount != 0 && bigEndian32(header, 24) == bigEndian32(header, 92);
    if (pageSize < 512 || (countValid && qint64(pageCount) * pageSize > file.size()))
        throw DominoError(u"数据库文件不完整（已被截断或损坏）："_s + path);
}

std::unique_ptr<Store> Store::open(const QString& path, Mode mode)
{
    const QFileInfo info(path);
    if (mode == Mode::Create) {
        if (info.exists())
            throw DominoError(u"文件已存在："_s + path);
    } else {
        if (!info.exists())
            throw DominoError(u"找不到数据库文件："_s + path);
        if (!info.isFile())
            throw DominoError(u"不是Domino数据库文件："_s + path);
        checkFileHeader(path);
    }

    int lockFd = -1;
    const QByteArray nativePath = QFile::encodeName(path);
    const bool toolLock = mode == Mode::ReadWrite || mode == Mode::Create;
    if (toolLock) {
        // A whole-file write lock on our own descriptor tells other programs that the file is in use.
        // It stays open until after SQLite has closed the file: closing any descriptor of the file
        // would drop this process's locks, SQLite's among them.
        lockFd =
            ::open(nativePath.constData(), O_RDWR | O_CLOEXEC | (mode == Mode::Create ? O_CREAT | O_EXCL : 0), 0644);
        if (lockFd < 0)
            throw DominoError(u"无法打开数据库文件进行写入："_s + path + u"（"_s +
                              QString::fromLocal8Bit(strerror(errno)) + u"）"_s);
        if (!lockForWriting(lockFd)) {
            ::close(lockFd);
            throw DominoError(u"数据库文件正被其它程序使用："_s + path);
        }
    }

    sqlite3* db = nullptr;
    const int flags = (mode == Mode::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_NOMUTEX;
    const int rc = sqlite3_open_v2(nativePath.constData(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close(db);
        if (lockFd >= 0)
            ::close(lockFd);
        throw DominoError(u"无法打开数据库文件："_s + path + u"（"_s + QString::fromUtf8(sqlite3_errstr(rc)) + u"）"_s);
    }
    std::unique_ptr<Store> store(new Store(path, db, lockFd));
    sqlite3_busy_timeout(db,
                         int(std::chrono::milliseconds(mode == Mode::ReadOnly ? kWriterWait : kReaderWait).count()));
    sqlite3_create_collation_v2(db, "QUILL_NOCASE", SQLITE_UTF8, nullptr, compareNoCase, nullptr);
    // SQLite drops every lock of this process on the file (ours too) whenever its own lock falls back
    // to none; in exclusive mode it keeps its locks until it closes.
    if (toolLock)
        store->exec("PRAGMA locking_mode = EXCLUSIVE");
    if (mode == Mode::Create)
        store->createSchema();
    else
        store->checkSchema(mode);
    return store;
}

Store::Store(QString path, sqlite3* db, int lockFd) : m_path(std::move(path)), m_db(db), m_lockFd(lockFd) {}

Store::~Store()
{
    m_statements.clear();
    sqlite3_close(m_db);
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

Statement& Store::statement(const char* sql)
{
    if (m_readHolds > 0)
        renewRead();
    auto it = m_statements.find(sql);
    if (it != m_statements.end())
        return *it->second;
    sqlite3_stmt* stmt = nullptr;
    const int rc = sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(stmt);
        fail(m_db, rc, m_path);
    }
    return *m_statements.emplace(sql, std::make_unique<Statement>(m_db, stmt, &m_path)).first->second;
}

void Store::holdReads()
{
    ++m_readHolds;
}

void Store::releaseReads()
{
    if (--m_readHolds == 0 && !sqlite3_get_autocommit(m_db))
        sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr); // a read: nothing to lose if it fails
}

bool Store::letGoOfRead()
{
    if (m_unrenewedHolds > 0 || statementsBusy())
        return false;
    if (!sqlite3_get_autocommit(m_db))
        sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr); // a read: nothing to lose if it fails
    return true;
}

void Store::renewRead()
{
    const auto now = std::chrono::steady_clock::now();
    if (!sqlite3_get_autocommit(m_db)) {
        if (m_unrenewedHolds > 0 || now - m_readSince < kReadSlice || statementsBusy())
            return;
        exec("COMMIT");
    }
    exec("BEGIN");
    m_readSince = now;
}

bool Store::statementsBusy() const
{
    for (sqlite3_stmt* stmt = sqlite3_next_stmt(m_db, nullptr); stmt; stmt = sqlite3_next_stmt(m_db, stmt)) {
        if (sqlite3_stmt_busy(stmt))
            return true;
    }
    return false;
}

void Store::exec(const char* sql)
{
    const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        fail(m_db, rc, m_path);
}

qint64 Store::lastInsertId() const
{
    return sqlite3_last_insert_rowid(m_db);
}

qint64 Store::changes() const
{
    return sqlite3_changes64(m_db);
}

void Store::transaction(const std::function<void()>& work)
{
    exec("BEGIN IMMEDIATE");
    try {
        work();
        exec("COMMIT");
    } catch (...) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

void Store::update(const QString& path, const std::function<void(Store&)>& work)
{
    auto store = open(path, Mode::ReadWrite);
    store->transaction([&] {
        // What is written now may be what an older program cannot read: it then refuses the file.
        store->setMeta(u"schema_version"_s, QString::number(kSchemaVersion));
        work(*store);
    });
}

void Store::create(const QString& path, const std::function<void(Store&)>& work)
{
    auto store = open(path, Mode::Create);
    try {
        store->transaction([&] { work(*store); });
    } catch (...) {
        store.reset();
        QFile::remove(path);
        QFile::remove(path + u"-journal"_s);
        throw;
    }
}

QString Store::meta(const QString& key) const
{
    auto& self = const_cast<Store&>(*this);
    Query q(self.statement("SELECT value FROM meta WHERE key = ?"));
    q->bind(1, key);
    return q->step() ? q->text(0) : QString();
}

void Store::setMeta(const QString& key, const QString& value)
{
    Query q(statement("INSERT OR REPLACE INTO meta(key, value) VALUES(?, ?)"));
    q->bind(1, key).bind(2, value).run();
}

void Store::createSchema()
{
    transaction([this] {
        for (const char* sql : kSchema)
            exec(sql);
        setMeta(u"format"_s, QString::fromLatin1(kFormatName));
        setMeta(u"schema_version"_s, QString::number(kSchemaVersion));
        setMeta(u"title"_s, QString());
        Query acl(statement("INSERT INTO acl(name, level) VALUES(?, ?)"));
        acl->bind(1, QString::fromUtf16(kDefaultAclEntry)).bind(2, qint64(Reader)).run();
    });
}

void Store::checkSchema(Mode mode)
{
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(m_db, "SELECT key, value FROM meta WHERE key IN ('format', 'schema_version')", -1,
                                &stmt, nullptr);
    if (rc == SQLITE_NOTADB)
        throw DominoError(u"不是Domino数据库文件："_s + m_path);
    if (rc == SQLITE_CORRUPT)
        throw DominoError(u"数据库文件已损坏："_s + m_path);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(stmt);
        throw DominoError(u"不是Domino数据库文件（缺少格式标记）："_s + m_path);
    }
    QString format;
    QString version;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        const QString key = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
        const QString value = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1)));
        (key == u"format"_s ? format : version) = value;
    }
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE)
        fail(m_db, rc, m_path);
    if (format != QLatin1StringView(kFormatName))
        throw DominoError(u"不是Domino数据库文件（格式标记不符）："_s + m_path);
    bool ok = false;
    const int number = version.toInt(&ok);
    if (!ok || number < 1)
        throw DominoError(u"数据库文件的格式版本无效："_s + m_path);
    if (number > kSchemaVersion)
        throw DominoError(u"数据库文件的格式版本"_s + QString::number(number) + u"过新，本组件只支持版本"_s +
                          QString::number(kSchemaVersion) + u"："_s + m_path);
    if (mode == Mode::ReadWrite && !hasTable("view_aliases"))
        exec(kViewAliasesTable);
    if (mode == Mode::ReadWrite && !hasColumn("views", "selection"))
        exec("ALTER TABLE views ADD COLUMN selection TEXT NOT NULL DEFAULT ''");
    if (mode == Mode::ReadWrite && !hasTable("rich_text"))
        exec(kRichTextTable);
}

bool Store::hasColumn(const char* table, const char* column)
{
    Query q(statement("SELECT 1 FROM pragma_table_info(?) WHERE name = ?"));
    q->bind(1, QString::fromLatin1(table)).bind(2, QString::fromLatin1(column));
    return q->step();
}

bool Store::hasRichTextTable()
{
    if (!m_richTextTableSeen)
        m_richTextTableSeen = hasTable("rich_text");
    return m_richTextTableSeen;
}

bool Store::hasTable(const char* name)
{
    Query q(statement("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?"));
    q->bind(1, QString::fromLatin1(name));
    return q->step();
}

QString newUniversalId()
{
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    QString id;
    for (quint32 word : words)
        id += QStringLiteral("%1").arg(word, 8, 16, QLatin1Char('0'));
    return id.toUpper();
}

bool isUniversalId(QStringView id)
{
    return id.size() == 32 && std::all_of(id.begin(), id.end(), [](QChar c) {
               return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f');
           });
}

} // namespace quill::component
