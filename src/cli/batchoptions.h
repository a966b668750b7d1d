#pragma once

#include "export/outputformat.h"

#include <QString>
#include <QStringList>

namespace quill::cli {

// What one call of quillmere-export asks for.
struct BatchOptions
{
    QStringList sources; // .nsf files or folders; with a server, paths below its data directory
    QString output;
    QStringList views; // empty with allViews, or with a search in each database's first view
    bool allViews = false;
    QString search; // a full-text query: only the documents of each view it finds are exported
    qint32 from = 1;
    int jobs = 1;
    QString jsonFile;
    bool continuePastSheet = true;
    bool htmlPages = true; // each document's page and the view's index beside the workbook
    QString server;        // empty: local files
    QString user;
    int passwordFd = -1;
    QString format = exporting::defaultFormat().name;
    // Documents a workbook holds at most: a sheet's rows but the header.
    int sheetDocuments = exporting::defaultFormat().limits.rows - 1;

    bool serverMode() const { return !server.isEmpty() || !user.isEmpty(); }
};

} // namespace quill::cli
