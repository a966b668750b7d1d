#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QString>
#include <QStringList>
#include <functional>
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
// whose source could not be kept. A formula outside the language the component evaluates shows "".
struct ColumnSpec
{
    QString title;
    QString item;    // the item whose value the column shows, or
    QString formula; // the formula that computes it (formula/README.md)
};

struct ViewSpec
{
    QString name;
    std::vector<ColumnSpec> columns;
    QString form;        // empty: every document
    int sortColumn = -1; // -1: creation order
    bool descending = false;
    QStringList aliases; // other names the view is found by
    // A selection formula (SELECT ...); empty: the documents of form. Initialised, so that a brace list of the
    // fields before it need not name it.
    QString selection = {};
};

struct FileToAdd
{
    QString name;
    QByteArray data;
};

struct ItemToAdd
{
    QString name;
    int type = 0;
    QJsonArray values;              // as stored (see model.h)
    std::vector<FileToAdd> objects; // rich text only
    // Rich text only, at most one: its DXL <richtext> element, or a mail body's MIME message (richtextbody.h).
    QByteArray dxl = {};
    QByteArray mime = {};
};

struct DocumentToAdd
{
    QString unid;        // empty: a new random one
    qint64 created = -1; // milliseconds since the epoch; -1: now
    qint64 modified = -1;
    std::vector<ItemToAdd> items;
    std::vector<FileToAdd> attachments;
};

void createDatabase(const QString& path, const QString& title);
// Returns the number of documents the view shows.
qint64 addView(const QString& path, const ViewSpec& view);
// Writes a view's design into an open database (no index; see rebuildViewIndex); returns its id.
qint64 writeView(Store& store, const ViewSpec& view);
// Parses a column argument: "title=item" or "title=formula". A formula outside the language is refused.
ColumnSpec parseColumn(const QString& text);
// Checks a selection formula given to add-view; throws DominoError for one outside the language.
void checkSelection(const QString& formula);

// The documents of a JSON array (see jsonSchemaHelp()); relative file names are taken from baseDir.
std::vector<DocumentToAdd> parseDocuments(const QByteArray& json, const QString& baseDir);
void addDocuments(const QString& path, const std::vector<DocumentToAdd>& documents);
QString jsonSchemaHelp();

// True when the user is new, false when an existing user's password was replaced.
bool addUser(const QString& namesPath, const QString& user, const QString& password);
// Sets an access list entry: its level and its roles ("Admin" or "[Admin]"), which replace those it had. Returns the
// roles kept, each once.
QStringList setAcl(const QString& path, const QString& name, int level, const QStringList& roles = {});
// A role as the access list keeps it: in brackets. Throws DominoError for an empty one or one with brackets inside.
QString roleName(const QString& role);
// Makes the group of the directory hold exactly these members (names of people, other groups or wildcards such as
// "*/O=Quill"); no members removes it. Returns the members kept, each once.
QStringList setGroup(const QString& namesPath, const QString& group, const QStringList& members);
// False when the directory already held the name.
bool addServerName(const QString& namesPath, const QString& server);

// What generate puts into each document beyond Form and the four items its view shows.
struct GenerateOptions
{
    int items = 0;         // items per document in all, Form included (0: just the five; else at least 5)
    bool richText = false; // the last of those items is rich text (needs items of at least 6)
    // That rich text has a structure, kept as the DXL import keeps it: a bold run, a table, a list, two pictures, a
    // URL link and a link to the document before (the first document's to the last).
    bool richBody = false;
    int attachmentsEvery = 0; // every n-th document carries two attachments of 4 KB (0: none)
    int readersEvery = 0;     // every n-th document has a Readers item that names only 甲 (0: none)
    int words = 0;            // a text item Text of that many Chinese words, the same on every run (0: none)
    bool fullText = true;     // false: no full-text index, as older versions of the tool made files
};

// Makes the full-text index of a database, or brings it up to date (rebuild: anew), in short transactions that
// other programs' reads wait for only while one commits (fulltext::update). progress may be empty.
void updateFullTextIndex(const QString& path, bool rebuild,
                         const std::function<void(qint64 done, qint64 total)>& progress);
// The ids of the documents a full-text search finds in a local file, as FTSearch finds them: in the order they were
// added, or with a view in the view's order; the first maxDocs (0: all). Makes or updates the index first when the
// file can be written.
QStringList search(const QString& path, const QString& query, int maxDocs, const QString& view);

// The rich text generate --rich-body gives document n, its document link to linkTarget; the benchmarks render it.
QByteArray generatedRichBody(qint64 n, const QString& linkTarget);

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

// The index of positions of every view (viewindex.cpp), or of one view, whose number of documents is returned.
// Selections and sort keys that are formulas are evaluated here. After documents were written, every view's index
// and the full-text index (fulltext.h: made when the file has none) are brought up to date; fullText false leaves
// the full-text index out, as older versions of the tool did.
void rebuildViewIndex(Store& store, bool fullText = true);
qint64 rebuildViewIndex(Store& store, qint64 viewId);

} // namespace quill::component::admin
