#pragma once

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
    // Creates the folder with its missing parents; why it could not, or empty.
    static QString makeFolder(const QString& folder);

    // Another document's files begin: the names of the one before are free again.
    void startDocument();
    // The file name the next object of that name gets in the current document's folder: its safe form,
    // or that with " (2)", " (3)", ... before the extension when taken.
    QString nextName(const QString& name) const;
    // nextName, which is then taken.
    QString claim(const QString& name);
    // The file that an object of that name already got in the current document, or empty.
    QString taken(const QString& name) const;

    // What could not be saved: single files, and documents whose attachments could not even be listed.
    void countUnsaved() { ++m_unsaved; }
    void countUnlisted() { ++m_unlisted; }
    int unsaved() const { return m_unsaved; }
    int unlisted() const { return m_unlisted; }

private:
    struct Candidate
    {
        QString file;
        int number; // 1: not numbered
    };
    Candidate candidate(const QString& name) const;

    QString m_attachmentFolder;
    // Only documents whose id is not the component's kind: a view may hold hundreds of thousands.
    QHash<QString, QString> m_folderById;
    QSet<QString> m_folderNames; // case-folded
    // The current document's files by their case-folded names, and the next number to try for a name.
    QHash<QString, QString> m_files;
    QHash<QString, int> m_nextNumber;
    int m_unsaved = 0;
    int m_unlisted = 0;
};

// Whether two files hold the same bytes.
bool sameContents(const QString& a, const QString& b);

} // namespace quill::exporting
