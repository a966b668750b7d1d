#pragma once

#include "domino/loader.h"
#include "domino/notes.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <map>
#include <memory>
#include <vector>

namespace quill::testing {

// An in-memory stand-in for the Domino component, for tests of the layers above it. A test builds
// databases, views and documents, then hands sessionFactory() to the code under test; failOn()
// makes a chosen operation throw DominoError with a chosen message.

struct FakeFile
{
    QString name;
    QByteArray contents;
};

struct FakeItem
{
    QString name;
    int type = domino::NotesItem::Text;
    domino::ValueList values;
    // Rich text only.
    QString plainText;
    std::vector<FakeFile> embedded;
    QByteArray dxl = {};  // its <richtext> element; empty: ExportDXL gives the plain text as paragraphs
    QByteArray mime = {}; // a mail body's MIME message (GetMIMEEntity); empty: none
};

class FakeDocument
{
public:
    QString id;
    std::vector<FakeItem> items;
    std::vector<FakeFile> attachments;

    FakeDocument& text(const QString& name, const QString& value);
    FakeDocument& texts(const QString& name, const QStringList& values);
    FakeDocument& number(const QString& name, double value);
    FakeDocument& dateTime(const QString& name, const QDateTime& value);
    FakeDocument& date(const QString& name, QDate value); // a date-time item holding a date without a time
    FakeDocument& time(const QString& name, QTime value); // one holding a time without a date
    FakeDocument& values(const QString& name, domino::ValueList values, int type = domino::NotesItem::Text);
    FakeDocument& richText(const QString& name, const QString& plainText, std::vector<FakeFile> embedded = {},
                           const QByteArray& dxl = {});
    // A rich-text item that keeps a mail body as MIME; plainText is what ItemValue gives of it.
    FakeDocument& mail(const QString& name, const QString& plainText, const QByteArray& mime);
    FakeDocument& attachment(const QString& name, const QByteArray& contents);
};

struct FakeColumn
{
    QString title;
    QString itemName;
};

struct FakeView
{
    QString name;
    std::vector<FakeColumn> columns;
    // Indexes into the database's documents, in view order.
    std::vector<int> entries;
};

class FakeDatabase
{
public:
    std::vector<std::unique_ptr<FakeDocument>> documents;
    std::vector<FakeView> views;
    // The roles ("[Admin]") of access list entries (users, groups, wildcards, -Default-), by entry name.
    std::map<QString, QStringList> roles;
    // Whether it has a full-text index: made by UpdateFTIndex or a first FTSearch. A search reads every document.
    bool ftIndexed = false;

    // A document with a fresh 32-hex-digit id, added to every view that selects all.
    FakeDocument& addDocument();
    // One that every view selecting all shows first, as another program's new document that sorts first.
    FakeDocument& addDocumentFirst();
    // A view selecting every document added so far and later.
    FakeView& addView(const QString& name, std::vector<FakeColumn> columns = {});
    // A view selecting nothing unless entries are added by hand.
    FakeView& addEmptyView(const QString& name, std::vector<FakeColumn> columns = {});

private:
    friend class FakeDomino;
    std::vector<bool> m_selectsAll;
};

class FakeDomino
{
public:
    FakeDomino();
    ~FakeDomino();

    // Databases by path: absolute for local files, relative ("mail/abc.nsf") below the data
    // directory for server access; "\" and "/" are the same.
    FakeDatabase& addDatabase(const QString& path);
    void addUser(const QString& name, const QString& password);
    void addServer(const QString& name);
    // A group of the directory. On a server a document whose Readers items (then Authors items) do not name the
    // user, by name, group or role, is left out of views and look-ups; local files show everything.
    void addGroup(const QString& name, const QStringList& members);

    // The next calls of an operation (by its name, e.g. "NthDocument", "ColumnValues") throw.
    // skip: calls that still succeed first; times: how many fail then (-1: all); argument: only calls
    // whose first text argument equals it (empty: any).
    void failOn(const QString& operation, const QString& message, int skip = 0, int times = -1,
                const QString& argument = {});
    void clearFailures();

    // Every operation called, in order, with its first text argument when it has one.
    QStringList calls() const;
    int callCount(const QString& operation) const;
    void clearCalls();

    // Read batches begun and not yet released.
    int openReadBatches() const;
    int sessionsCreated() const;
    domino::SessionFactory sessionFactory();

    struct State;

private:
    std::shared_ptr<State> m_state;
};

} // namespace quill::testing
