#pragma once

#include "cli/batchoptions.h"

#include <functional>
#include <vector>

namespace quill::cli {

// A database to export from.
struct DatabaseSource
{
    QString server;   // empty: a local file
    QString path;     // the local file, or the path below the server's data directory joined by "\"
    QString label;    // how messages name it: the file as found, or server!!path
    QString identity; // the same for every way of naming it: the canonical file, or server!!path
    QString folder;   // its workbooks' folder relative to the output folder; empty: the output folder
};

// One view of one database, with the name its workbooks are formed from (as the window forms them
// from the name the user chose: the view's name through CleanFileName, in the database's folder).
struct ViewTask
{
    size_t database = 0;
    QString view;
    QString fileName;
    QString problem; // not exported, for this reason
};

// The databases the sources hold and the views to export of each. Folders are walked as the
// database tree walks the data directory (links into the tree entered once); files are taken as
// databases whatever their names.
class BatchPlan
{
public:
    // Lists a database's views; throws platform::Error when it cannot be opened.
    using ViewLister = std::function<QStringList(const DatabaseSource&)>;

    // dataDirectory: the server's, for server mode. Throws platform::Error for a source that is not
    // there (a usage error: nothing is exported).
    BatchPlan(const BatchOptions& options, const QString& dataDirectory);

    // The views, in the order of the databases; every view when the options say so (listed through
    // lister). Two views whose workbooks would have the same name: the second is not exported.
    void listViews(const ViewLister& lister);

    const std::vector<DatabaseSource>& databases() const { return m_databases; }
    const std::vector<ViewTask>& tasks() const { return m_tasks; }

private:
    void addLocalSource(const QString& source);
    void addServerSource(const QString& source);
    // The databases below folder: path parts below it, in the order of the walk.
    static std::vector<QStringList> databasesBelow(const QString& folder);
    void add(DatabaseSource database, const QStringList& folderParts);

    const BatchOptions& m_options;
    QString m_dataDirectory;
    bool m_severalSources;
    std::vector<DatabaseSource> m_databases;
    std::vector<ViewTask> m_tasks;
};

} // namespace quill::cli
