#include "cli/batchplan.h"

#include "export/naming.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/text.h"

#include <QDir>
#include <QFileInfo>
#include <map>

using namespace Qt::StringLiterals;

namespace quill::cli {

namespace {

QString withoutNsf(const QString& name)
{
    return platform::endsWithAsciiNoCase(name, ".nsf"_L1) ? name.chopped(4) : name;
}

// A folder name made of a name from the disk or the server: what a file name cannot hold removed.
QString folderPart(const QString& name)
{
    const QString clean = exporting::CleanFileName(name);
    return platform::trimBlanks(clean).isEmpty() || clean == u"."_s || clean == u".."_s ? u"_"_s : clean;
}

class DatabaseCollector : public platform::FolderTreeVisitor
{
public:
    std::vector<QStringList> found;

    void folderFound(const QString& name, bool entered) override
    {
        if (entered)
            m_folders << name;
    }
    void leaveFolder() override { m_folders.removeLast(); }
    void fileFound(const QString& name) override
    {
        if (platform::endsWithAsciiNoCase(name, ".NSF"_L1))
            found.push_back(m_folders + QStringList{name});
    }

private:
    QStringList m_folders;
};

} // namespace

BatchPlan::BatchPlan(const BatchOptions& options, const QString& dataDirectory)
    : m_options(options), m_dataDirectory(dataDirectory), m_severalSources(options.sources.size() > 1)
{
    for (const QString& source : options.sources) {
        if (options.serverMode())
            addServerSource(source);
        else
            addLocalSource(source);
    }
}

std::vector<QStringList> BatchPlan::databasesBelow(const QString& folder)
{
    DatabaseCollector collector;
    platform::walkFolderTree(folder, collector);
    return collector.found;
}

void BatchPlan::add(DatabaseSource database, const QStringList& folderParts)
{
    // The same database named twice (a file and the folder it lies in) is exported once.
    if (std::any_of(m_databases.begin(), m_databases.end(),
                    [&database](const DatabaseSource& d) { return d.identity == database.identity; }))
        return;
    QStringList parts;
    for (qsizetype i = 0; i < folderParts.size(); ++i)
        parts << folderPart(i + 1 == folderParts.size() ? withoutNsf(folderParts[i]) : folderParts[i]);
    database.folder = parts.join(u'/');
    m_databases.push_back(std::move(database));
}

void BatchPlan::addLocalSource(const QString& source)
{
    const QFileInfo info(source);
    if (info.isFile()) {
        const QString path = info.absoluteFilePath();
        add({QString(), path, source, info.canonicalFilePath(), QString()},
            m_severalSources ? QStringList{info.fileName()} : QStringList());
        return;
    }
    if (!info.isDir())
        throw platform::Error(u"找不到数据库文件或文件夹："_s + source);
    const QString root = QDir::cleanPath(info.absoluteFilePath());
    // A folder's own name, also for "." or a path ending in "/".
    const QStringList prefix =
        m_severalSources ? QStringList{QFileInfo(info.canonicalFilePath()).fileName()} : QStringList();
    for (const QStringList& below : databasesBelow(root)) {
        const QString path = root + u'/' + below.join(u'/');
        add({QString(), path, QDir::cleanPath(source + u'/' + below.join(u'/')), QFileInfo(path).canonicalFilePath(),
             QString()},
            prefix + below);
    }
}

void BatchPlan::addServerSource(const QString& source)
{
    QString relative = source;
    relative.replace(u'\\', u'/');
    const QStringList parts = relative.split(u'/', Qt::SkipEmptyParts);
    if (parts.contains(u".."_s))
        throw platform::Error(u"数据库路径不能离开服务器的数据目录："_s + source);
    const QString local = QDir(m_dataDirectory).filePath(parts.join(u'/'));
    const QFileInfo info(local);
    std::vector<QStringList> found;
    if (info.isFile())
        found.push_back(parts);
    else if (info.isDir())
        for (const QStringList& below : databasesBelow(local))
            found.push_back(parts + below);
    else
        throw platform::Error(u"服务器的数据目录中找不到："_s + source);
    for (const QStringList& path : found) {
        const QString joined = path.join(u'\\');
        const QString label = m_options.server + u"!!"_s + joined;
        const bool alone = info.isFile() && !m_severalSources;
        add({m_options.server, joined, label, label, QString()}, alone ? QStringList() : path);
    }
}

void BatchPlan::listViews(const ViewLister& lister)
{
    std::map<QString, size_t> taken;
    for (size_t d = 0; d < m_databases.size(); ++d) {
        const DatabaseSource& database = m_databases[d];
        QStringList views = m_options.views;
        // No view named: every view, or for a search the database's first.
        if (m_options.allViews || views.isEmpty()) {
            try {
                views = lister(database);
            } catch (const std::exception& e) {
                m_tasks.push_back({d, QString(), QString(), platform::messageOf(e)});
                continue;
            }
            if (!m_options.allViews) {
                if (views.isEmpty()) {
                    m_tasks.push_back({d, QString(), QString(), u"数据库没有视图，无法搜索"_s});
                    continue;
                }
                views = views.mid(0, 1);
            }
        }
        const QString folder = database.folder.isEmpty() ? m_options.output : m_options.output + u'/' + database.folder;
        for (const QString& view : views) {
            ViewTask task{d, view, folder + u'/' + exporting::CleanFileName(view), QString()};
            const auto [it, fresh] = taken.try_emplace(exporting::workbookStem(task.fileName), m_tasks.size());
            if (!fresh) {
                const ViewTask& first = m_tasks[it->second];
                task.problem = u"工作簿会与数据库"_s + m_databases[first.database].label + u"视图“"_s + first.view +
                               u"”的同名，没有导出"_s;
            }
            m_tasks.push_back(std::move(task));
        }
    }
}

} // namespace quill::cli
