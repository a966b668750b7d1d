#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <vector>

namespace quill::cli {

// What became of one view.
struct ViewReport
{
    enum class Status
    {
        NotStarted, // the run was interrupted first
        Exported,
        NothingToExport, // no document from the start number on
        Failed,
        Interrupted
    };

    QString database;
    QString view;
    QString format; // the output format's name
    Status status = Status::NotStarted;
    QStringList workbooks;     // written by this run, relative to the output folder
    QStringList keptWorkbooks; // complete from an earlier run
    qint64 documents = 0;      // written by this run
    qint64 keptDocuments = 0;
    qint64 attachments = 0;
    qint64 pages = 0;        // HTML pages and the files they show, written by this run
    qint64 unreadValues = 0; // item values the database could not give
    qint64 itemsLeftOut = 0; // items without a column in an .xls: the start document lacks them
    qint64 documentsWithItemsLeftOut = 0;
    qint64 textsSavedWhole = 0;  // texts longer than a cell, saved whole beside the attachments
    qint64 bodiesIncomplete = 0; // bodies read only in part, shown so in their pages
    double seconds = 0;
    QStringList errors;
    QStringList notes;

    // How messages name it: the database and the view.
    QString where() const;
    QJsonObject toJson() const;
};

// The exit status of a batch that was not interrupted: 0 when every view was exported whole, 1 when some
// failed or lost files.
int exitStatusOf(const std::vector<ViewReport>& reports);

// The summary printed at the end: a line per view and one for the whole batch.
QString summaryText(const std::vector<ViewReport>& reports, double seconds, bool interrupted);

// The summary as JSON, written atomically to path. Throws platform::Error.
void writeSummaryJson(const QString& path, const std::vector<ViewReport>& reports, double seconds, int exitStatus,
                      const QString& outputFolder);

} // namespace quill::cli
