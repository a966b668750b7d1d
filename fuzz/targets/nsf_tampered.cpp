// A valid small database whose stored values the input changes with SQLite (numbers, texts, blobs,
// JSON, NULL, deleted rows), then opened and walked through the component: a tampered file must give
// errors, never undefined behaviour.
//
// Input: a byte choosing the base database, then edits of [table][column][row][kind][payload]:
// kind 0 integer (8 bytes), 1 real (8 bytes), 2 text and 3 blob ([length][bytes]), 4 NULL, 5 JSON
// ([form][8 bytes]), 6 deletes the row.
#include "fuzzdatabase.h"
#include "fuzzinput.h"
#include "walkdatabase.h"

#include <QDir>
#include <QFile>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <sqlite3.h>
#include <string>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

struct Table
{
    std::string name;
    std::vector<std::string> columns;
    std::string key; // the primary key's columns, joined by ","
    int rows = 0;
};

struct Base
{
    QByteArray bytes;
    std::vector<Table> tables;
};

class Input
{
public:
    Input(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    bool atEnd() const { return m_pos >= m_size; }
    uint8_t byte() { return atEnd() ? 0 : m_data[m_pos++]; }
    uint64_t word()
    {
        uint64_t value = 0;
        for (int i = 0; i < 8; ++i)
            value |= uint64_t(byte()) << (8 * i);
        return value;
    }
    std::string bytes()
    {
        const size_t length = std::min<size_t>(byte(), m_size - std::min(m_pos, m_size));
        std::string out(reinterpret_cast<const char*>(m_data + m_pos), length);
        m_pos += length;
        return out;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

std::vector<std::string> column(sqlite3* db, const std::string& sql, int index)
{
    std::vector<std::string> out;
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr);
    while (stmt && sqlite3_step(stmt) == SQLITE_ROW)
        out.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(stmt, index)));
    sqlite3_finalize(stmt);
    return out;
}

std::vector<Table> describe(sqlite3* db)
{
    std::vector<Table> tables;
    for (const std::string& name : column(db, "SELECT name FROM sqlite_schema WHERE type = 'table' ORDER BY name", 0)) {
        Table table;
        table.name = name;
        table.columns = column(db, "SELECT name FROM pragma_table_info('" + name + "') ORDER BY cid", 0);
        for (const std::string& key : column(db,
                                             "SELECT name FROM pragma_table_info('" + name +
                                                 "') WHERE pk > 0 "
                                                 "ORDER BY pk",
                                             0))
            table.key += (table.key.empty() ? "" : ",") + key;
        table.rows = std::stoi(column(db, "SELECT count(*) FROM " + name, 0).front());
        if (!table.key.empty() && table.rows > 0)
            tables.push_back(std::move(table));
    }
    return tables;
}

const std::vector<Base>& bases()
{
    static const std::vector<Base> made = [] {
        std::vector<Base> out;
        for (int variant = 0; variant < quill::fuzz::kFuzzDatabaseVariants; ++variant) {
            const QString path = QDir(quill::fuzz::scratchFolder()).filePath(u"base%1.nsf"_s.arg(variant));
            quill::fuzz::makeFuzzDatabase(path, variant);
            Base base;
            base.bytes = quill::fuzz::readWholeFile(path);
            sqlite3* db = nullptr;
            sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
            base.tables = describe(db);
            sqlite3_close(db);
            out.push_back(std::move(base));
        }
        return out;
    }();
    return made;
}

std::string json(Input& in)
{
    const uint8_t form = in.byte();
    const uint64_t bits = in.word();
    double real = 0;
    std::memcpy(&real, &bits, sizeof real);
    switch (form % 6) {
    case 0:
        return "[" + std::to_string(int64_t(bits)) + "]";
    case 1:
        return "[" + std::to_string(real) + "," + std::to_string(int64_t(bits)) + "]";
    case 2:
        return "[1e" + std::to_string(int(int8_t(bits))) + "]";
    case 3:
        return "[\"" + std::string(bits % 5, 'x') + "\"," + std::to_string(int(bits >> 56)) + "]";
    case 4:
        return "[[],{},null,true]";
    default:
        return "{\"a\":" + std::to_string(int64_t(bits)) + "}";
    }
}

void edit(sqlite3* db, const Base& base, Input& in)
{
    const Table& table = base.tables[in.byte() % base.tables.size()];
    const std::string& col = table.columns[in.byte() % table.columns.size()];
    const int row = in.byte() % table.rows;
    const uint8_t kind = in.byte() % 7;
    const std::string where = " WHERE (" + table.key + ") IN (SELECT " + table.key + " FROM " + table.name +
                              " ORDER BY " + table.key + " LIMIT 1 OFFSET " + std::to_string(row) + ")";
    const std::string sql =
        kind == 6 ? "DELETE FROM " + table.name + where : "UPDATE " + table.name + " SET " + col + " = ?" + where;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return;
    }
    std::string payload;
    if (kind == 0) {
        sqlite3_bind_int64(stmt, 1, sqlite3_int64(in.word()));
    } else if (kind == 1) {
        const uint64_t bits = in.word();
        double real = 0;
        std::memcpy(&real, &bits, sizeof real);
        sqlite3_bind_double(stmt, 1, real);
    } else if (kind == 2 || kind == 5) {
        payload = kind == 2 ? in.bytes() : json(in);
        sqlite3_bind_text(stmt, 1, payload.data(), int(payload.size()), SQLITE_TRANSIENT);
    } else if (kind == 3) {
        payload = in.bytes();
        sqlite3_bind_blob(stmt, 1, payload.data(), int(payload.size()), SQLITE_TRANSIENT);
    } else if (kind == 4) {
        sqlite3_bind_null(stmt, 1);
    }
    sqlite3_step(stmt); // a constraint may refuse the change: the next edit goes on
    sqlite3_finalize(stmt);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in(data, size);
    const Base& base = bases()[in.byte() % bases().size()];
    const QDir scratch(quill::fuzz::scratchFolder());
    const QString path = scratch.filePath(u"tampered.nsf"_s);
    quill::fuzz::writeWholeFile(path, base.bytes);
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        sqlite3_exec(db, "PRAGMA synchronous = OFF; PRAGMA journal_mode = MEMORY", nullptr, nullptr, nullptr);
        for (int n = 0; n < 16 && !in.atEnd(); ++n)
            edit(db, base, in);
    }
    sqlite3_close(db);
    quill::fuzz::walkDatabase(path, scratch.path());
    QFile::remove(path);
    return 0;
}
