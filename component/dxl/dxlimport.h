#pragma once

#include <QString>
#include <QStringList>

namespace quill::component::dxl {

struct ImportOptions
{
    QString title; // empty: a new database takes the title of the DXL database, an existing one keeps its own
};

struct ImportReport
{
    bool createdDatabase = false;
    qint64 documents = 0;
    qint64 replacedDocuments = 0; // documents whose universal id was already in the database
    qint64 views = 0;
    qint64 aclEntries = 0;
    qint64 attachments = 0;
    qint64 attachmentBytes = 0;
    QStringList notices; // what was read but could not be kept, and what was made up or left out, counted
    QString madeView;    // the view made for a database of documents without one, or empty
    QStringList madeViewColumns;
};

// Reads a DXL file into a stand-in database, new or existing, in one transaction: on any failure the
// database is left as it was and a database file this call created is removed. Throws platform::Error
// naming the file, the line and what was wrong: a file with two documents of one universal id, or one
// without any document or view to import, is refused.
ImportReport importDxl(const QString& dxlPath, const QString& databasePath, const ImportOptions& options = {});

} // namespace quill::component::dxl
