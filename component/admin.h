#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

namespace quill::component {
class Store;
}

namespace quill::component::admin {

// Every operation here writes database files or the registry and throws platform::Error (a
// DominoError for database files) with a clear message; a failed operation leaves a database
// unchanged (one transaction per operation).

// A column shows an item's value, or a formula's, or (neither given) nothing: the place of a column
// whose source could not be kept.
struct ColumnSpec
{
    QString title;
    QString item;    // the item whose value the column shows, or
    QString formula; // @Created, @Modified or @DocumentUniqueID
};

struct ViewSpec
{
    QString name;
    std::vector<ColumnSpec> columns;
    QString form;        // empty: every document
    int sortColumn = -1; // -1: creation order
    bool descending = false;
    QStringList aliases; // other names the view is found by
};

struct FileSpec
{
    QString name;
    QByteArray data;
};

struct ItemSpec
{
    QString name;
    int type = 0;
    QJsonArray values;             // as stored (see model.h)
    std::vector<FileSpec> objects; // rich text only
};

struct DocumentSpec
{
    QString unid;        // empty: a new random one
    qint64 created = -1; // milliseconds since the epoch; -1: now
    qint64 modified = -1;
    std::vector<ItemSpec> items;
    std::vector<FileSpec> attachments;
};

void createDatabase(const QString& path, const QString& title);
void addView(const QString& path, const ViewSpec& view);
// Writes a view's design into an open database (no index; see rebuildViewIndex).
void writeView(Store& store, const ViewSpec& view);
// Parses a column argument: "title=item" or "title=@Formula".
ColumnSpec parseColumn(const QString& text);

// The documents of a JSON array (see jsonSchemaHelp()); relative file names are taken from baseDir.
std::vector<DocumentSpec> parseDocuments(const QByteArray& json, const QString& baseDir);
void addDocuments(const QString& path, const std::vector<DocumentSpec>& documents);
QString jsonSchemaHelp();

void addUser(const QString& namesPath, const QString& user, const QString& password);
void setAcl(const QString& path, const QString& name, int level);
void addServerName(const QString& namesPath, const QString& server);

// What generate puts into each document beyond Form and the four items its view shows.
struct GenerateOptions
{
    int items = 0;            // items per document in all, Form included (0: just the five; else at least 5)
    bool richText = false;    // the last of those items is rich text (needs items of at least 6)
    int attachmentsEvery = 0; // every n-th document carries two attachments of 4 KB (0: none)
};

// A database of count documents with one view "全部" sorted by its number column.
void generate(const QString& path, qint64 count, const GenerateOptions& options = {});

struct InstallOptions
{
    QString registryFile;
    QString dominoPath;
    QString notesPath;
    QString dataPath;
    QString libraryPath; // empty: no registration
};
void install(const InstallOptions& options);

struct SampleInfo
{
    QString dataDir;
    QString serverName;
    QString userName;
    QString password;
    QString guestName; // refused by the access list of 限制/机密.nsf
    QString guestPassword;
};
SampleInfo makeSample(const QString& dataDir);
// What makeSample(dataDir) reports, without writing anything.
SampleInfo sampleInfo(const QString& dataDir);

// Used by the operations above; exposed for tests of the index of positions.
void rebuildViewIndex(Store& store);

} // namespace quill::component::admin
