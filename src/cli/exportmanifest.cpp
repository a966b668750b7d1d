#include "cli/exportmanifest.h"

#include "platform/error.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cerrno>

using namespace Qt::StringLiterals;

namespace quill::cli {

namespace {

constexpr int kFormat = 1;

QJsonObject toJson(const ManifestEntry& e)
{
    QJsonObject o{{u"file"_s, e.file},
                  {u"database"_s, e.database},
                  {u"view"_s, e.view},
                  {u"format"_s, e.format},
                  {u"start"_s, e.start},
                  {u"viewDocuments"_s, e.viewDocuments},
                  {u"sheetDocuments"_s, e.sheetDocuments},
                  {u"documents"_s, e.documents},
                  {u"size"_s, e.size},
                  {u"sha256"_s, e.sha256},
                  {u"complete"_s, e.complete}};
    // Absent for a whole view, as manifests written before searches were exported have it.
    if (!e.search.isEmpty())
        o.insert(u"search"_s, e.search);
    return o;
}

ManifestEntry fromJson(const QJsonObject& o)
{
    const auto integer = [&o](const QString& key) { return o.value(key).toInteger(); };
    ManifestEntry e{o.value(u"file"_s).toString(),
                    o.value(u"database"_s).toString(),
                    o.value(u"view"_s).toString(),
                    o.value(u"format"_s).toString(u"xls"_s),
                    integer(u"start"_s),
                    integer(u"viewDocuments"_s),
                    integer(u"sheetDocuments"_s),
                    integer(u"documents"_s),
                    integer(u"size"_s),
                    o.value(u"sha256"_s).toString(),
                    o.value(u"complete"_s).toBool()};
    e.search = o.value(u"search"_s).toString();
    return e;
}

bool sameRequest(const ManifestEntry& a, const ManifestEntry& b)
{
    return a.database == b.database && a.view == b.view && a.format == b.format && a.start == b.start &&
           a.viewDocuments == b.viewDocuments && a.sheetDocuments == b.sheetDocuments && a.search == b.search;
}

} // namespace

ExportManifest::ExportManifest(QString outputFolder) : m_folder(std::move(outputFolder)) {}

QString ExportManifest::path() const
{
    return QDir(m_folder).filePath(QString::fromUtf16(kFileName));
}

void ExportManifest::load()
{
    const QMutexLocker locker(&m_mutex);
    m_entries.clear();
    if (!QFileInfo(m_folder).isDir())
        return;
    if (!m_output.isOpen())
        m_output = platform::OutputFolder::open(m_folder);
    const std::unique_ptr<QFile> file = m_output.openFile(QString::fromUtf16(kFileName));
    if (!file)
        return;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file->readAll(), &error);
    const QJsonObject root = document.object();
    if (file->error() != QFileDevice::NoError)
        throw platform::Error(u"无法读取"_s + path() + u"（"_s + file->errorString() + u"）"_s);
    if (error.error != QJsonParseError::NoError || root.value(u"format"_s).toInt() != kFormat)
        throw platform::Error(path() + u"不是quillmere-export的记录文件，或已损坏：请移走它再导出"_s);
    for (const QJsonValue& value : root.value(u"workbooks"_s).toArray()) {
        const ManifestEntry entry = fromJson(value.toObject());
        if (!entry.file.isEmpty())
            m_entries[entry.file] = entry;
    }
}

void ExportManifest::openFolder()
{
    const QMutexLocker locker(&m_mutex);
    if (!m_output.isOpen())
        m_output = platform::OutputFolder::open(m_folder);
}

void ExportManifest::record(const ManifestEntry& entry)
{
    const QMutexLocker locker(&m_mutex);
    m_entries[entry.file] = entry;
    save();
}

void ExportManifest::save() const
{
    QJsonArray workbooks;
    for (const auto& [file, entry] : m_entries)
        workbooks.append(toJson(entry));
    const QByteArray bytes =
        QJsonDocument(QJsonObject{{u"format"_s, kFormat}, {u"workbooks"_s, workbooks}}).toJson(QJsonDocument::Indented);
    m_output.writeFile(QString::fromUtf16(kFileName), bytes);
    // The rename itself on the disk: a record said once is not taken back by a crash.
    m_output.syncFolder();
}

void ExportManifest::measure(ManifestEntry& entry) const
{
    const std::unique_ptr<QFile> file = m_output.openFile(entry.file);
    if (!file)
        throw platform::Error(u"无法读取"_s + m_output.shown(entry.file) + u"（"_s + platform::systemErrorText(ENOENT) +
                              u"）"_s);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(file.get()) || file->error() != QFileDevice::NoError)
        throw platform::Error(u"无法读取"_s + m_output.shown(entry.file) + u"（"_s + file->errorString() + u"）"_s);
    entry.size = file->size();
    entry.sha256 = QString::fromLatin1(hash.result().toHex());
}

bool ExportManifest::unchanged(const ManifestEntry& entry) const
{
    ManifestEntry now = entry;
    try {
        // A different size tells without reading the whole workbook.
        const std::unique_ptr<QFile> file = m_output.openFile(entry.file);
        if (!file || file->size() != entry.size)
            return false;
        measure(now);
    } catch (const platform::Error&) {
        return false;
    }
    return now.size == entry.size && now.sha256 == entry.sha256;
}

WorkbookState ExportManifest::check(const ManifestEntry& wanted, ManifestEntry* complete) const
{
    std::optional<ManifestEntry> recorded;
    {
        const QMutexLocker locker(&m_mutex);
        if (const auto it = m_entries.find(wanted.file); it != m_entries.end())
            recorded = it->second;
    }
    const platform::OutputFolder::Entry found = m_output.entry(wanted.file);
    if (found == platform::OutputFolder::Entry::Link)
        throw platform::Error(platform::linkRefused(m_output.shown(wanted.file)));
    const bool exists = found != platform::OutputFolder::Entry::Missing;
    if (!recorded)
        return exists ? WorkbookState::Foreign : WorkbookState::Absent;
    if (!exists)
        return WorkbookState::Ours;
    if (!recorded->complete)
        return WorkbookState::Ours;
    if (!unchanged(*recorded))
        return WorkbookState::Changed;
    if (!sameRequest(*recorded, wanted))
        return WorkbookState::Ours;
    if (complete)
        *complete = *recorded;
    return WorkbookState::Complete;
}

} // namespace quill::cli
