#pragma once

#include "platform/outputfolder.h"

#include <QHash>
#include <QSet>
#include <QString>

namespace quill::exporting {

// The files an export writes beside its workbook: the attachment folder, in it a folder per document,
// in that a file per saved attachment or embedded object. No two documents share a folder and no two
// objects of one document share a file, whatever their names reduce to; names are compared without
// regard to case, so that the tree survives a copy to a file system that ignores case. A file left by
// an earlier export under the same name is replaced, so exporting a view again gives the same files.
class ExportFiles
{
public:
    explicit ExportFiles(QString attachmentFolder = {});

    const QString& attachmentFolder() const { return m_attachmentFolder; }

    // The document's folder, ending in "/": its id made a file name. Ids as the component gives them
    // (hexadecimal digits in upper case) are taken as they are; any other id that reduces to a name
    // that such an id or another document has gets a number.
    QString documentFolder(const QString& documentId);
    // That folder below the workbook's folder, made when missing (the attachment folder too) and never
    // reached through a link; held until the next document. Throws platform::Error.
    const platform::OutputFolder& openDocumentFolder(const platform::OutputFolder& workbookFolder,
                                                     const QString& documentId);
    // The attachment folder below the workbook's folder, made when missing. Throws platform::Error.
    const platform::OutputFolder& openAttachmentFolder(const platform::OutputFolder& workbookFolder);

    // Another document's files begin: the names of the one before are free again.
    void startDocument();
    // The file name the next object of that name gets in the current document's folder: its safe form,
    // or that with " (2)", " (3)", ... before the extension when taken.
    QString nextName(const QString& name) const;
    // nextName, which is then taken.
    QString claim(const QString& name);
    // The file that an object of that name already got in the current document, or empty.
    QString taken(const QString& name) const;

    // What could not be saved: single files, and documents whose attachments could not even be listed;
    // the first reason is kept for the message.
    void countUnsaved(const QString& reason = {});
    void countUnlisted(const QString& reason = {});
    // Keeps the reason of a loss counted elsewhere, when it is the first.
    void noteReason(const QString& reason);
    int unsaved() const { return m_unsaved; }
    int unlisted() const { return m_unlisted; }
    const QString& firstReason() const { return m_firstReason; }

private:
    struct Candidate
    {
        QString file;
        int number; // 1: not numbered
    };
    Candidate candidate(const QString& name) const;
    QString folderName(const QString& documentId);

    QString m_attachmentFolder;
    platform::OutputFolder m_attachments;
    platform::OutputFolder m_documentFolder;
    QString m_documentFolderName;
    // Only documents whose id is not the component's kind: a view may hold hundreds of thousands.
    QHash<QString, QString> m_folderById;
    QSet<QString> m_folderNames; // case-folded
    // The current document's files by their case-folded names, and the next number to try for a name.
    QHash<QString, QString> m_files;
    QHash<QString, int> m_nextNumber;
    int m_unsaved = 0;
    int m_unlisted = 0;
    QString m_firstReason;
};

} // namespace quill::exporting
