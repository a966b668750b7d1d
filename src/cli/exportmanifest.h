#pragma once

#include "platform/outputfolder.h"

#include <QMutex>
#include <QString>
#include <map>
#include <optional>

namespace quill::cli {

// One workbook the batch exporter started or finished, as the manifest keeps it.
struct ManifestEntry
{
    QString file; // relative to the output folder
    QString database;
    QString view;
    QString format = QStringLiteral("xls"); // the output format's name; a record from before formats is an .xls one
    qint64 start = 0;
    qint64 viewDocuments = 0;  // the view's documents when it was exported
    qint64 sheetDocuments = 0; // documents a workbook holds at most
    qint64 documents = 0;
    qint64 size = 0;
    QString sha256;
    bool complete = false;
    QString search = {}; // the full-text query the view's documents were found by; empty: the whole view
};

// What the manifest says of a workbook about to be written.
enum class WorkbookState
{
    Absent,   // no file, no record
    Complete, // written for the same database, view, start, view size and workbook size, unchanged since
    Ours,     // written or begun by an earlier run, for another request or cut short: written again
    Changed,  // complete once, but the file changed since: left alone
    Foreign,  // a file of that name that no run of ours wrote: left alone
};

// quillmere-export.json in the output folder: the workbooks begun and finished there, rewritten whole
// and atomically (a temporary file synced and renamed) after each change, so that a killed run or a
// crash leaves the last good one. Nothing of it is read or written through a link. Safe to use from
// several threads.
class ExportManifest
{
public:
    static constexpr char16_t kFileName[] = u"quillmere-export.json";

    explicit ExportManifest(QString outputFolder);

    // Reads the manifest; none (or no output folder yet) is an empty one. Throws platform::Error for one
    // that cannot be read.
    void load();
    // Holds the output folder, which is there by now, for everything that follows. Throws platform::Error.
    void openFolder();
    const platform::OutputFolder& folder() const { return m_output; }
    // Records the entry in place of the one for the same file and saves. Throws platform::Error.
    void record(const ManifestEntry& entry);

    // Compares what is wanted (file, database, view, start, viewDocuments, sheetDocuments) with the
    // record and the file; complete gets the record when the workbook can be kept. Throws platform::Error
    // for a link under the workbook's name.
    WorkbookState check(const ManifestEntry& wanted, ManifestEntry* complete) const;

    // Size and SHA-256 of a written workbook, relative to the output folder. Throws platform::Error.
    void measure(ManifestEntry& entry) const;

    QString path() const;

private:
    void save() const;
    bool unchanged(const ManifestEntry& entry) const;

    QString m_folder;
    platform::OutputFolder m_output;
    mutable QMutex m_mutex;
    std::map<QString, ManifestEntry> m_entries;
};

} // namespace quill::cli
