#include "export/exportfiles.h"

#include "export/naming.h"

using namespace Qt::StringLiterals;

namespace quill::exporting {

namespace {

bool isComponentId(const QString& id)
{
    if (id.isEmpty())
        return false;
    for (const QChar c : id)
        if (!((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F')))
            return false;
    return true;
}

// A name that some component id could have on a file system that ignores case.
bool couldBeComponentId(const QString& name)
{
    return isComponentId(name.toUpper());
}

} // namespace

ExportFiles::ExportFiles(QString attachmentFolder) : m_attachmentFolder(std::move(attachmentFolder)) {}

QString ExportFiles::folderName(const QString& documentId)
{
    if (isComponentId(documentId))
        return documentId;
    if (const auto known = m_folderById.constFind(documentId); known != m_folderById.cend())
        return *known;
    const QString base = safeFileName(documentId);
    QString name = base;
    for (int number = 2; couldBeComponentId(name) || m_folderNames.contains(name.toCaseFolded()); ++number)
        name = numberedFileName(base, number);
    m_folderById.insert(documentId, name);
    m_folderNames.insert(name.toCaseFolded());
    return name;
}

QString ExportFiles::documentFolder(const QString& documentId)
{
    return m_attachmentFolder + u'/' + folderName(documentId) + u'/';
}

const platform::OutputFolder& ExportFiles::openDocumentFolder(const platform::OutputFolder& workbookFolder,
                                                              const QString& documentId)
{
    const QString name = folderName(documentId);
    if (m_documentFolder.isOpen() && m_documentFolderName == name)
        return m_documentFolder;
    m_documentFolder = openAttachmentFolder(workbookFolder).folder(name, true);
    m_documentFolderName = name;
    return m_documentFolder;
}

const platform::OutputFolder& ExportFiles::openAttachmentFolder(const platform::OutputFolder& workbookFolder)
{
    if (!m_attachments.isOpen())
        m_attachments = workbookFolder.folder(m_attachmentFolder.mid(m_attachmentFolder.lastIndexOf(u'/') + 1), true);
    return m_attachments;
}

void ExportFiles::noteReason(const QString& reason)
{
    if (m_firstReason.isEmpty())
        m_firstReason = reason;
}

void ExportFiles::countUnsaved(const QString& reason)
{
    if (m_firstReason.isEmpty())
        m_firstReason = reason;
    ++m_unsaved;
}

void ExportFiles::countUnlisted(const QString& reason)
{
    if (m_firstReason.isEmpty())
        m_firstReason = reason;
    ++m_unlisted;
}

void ExportFiles::startDocument()
{
    m_documentFolder = {};
    m_files.clear();
    m_nextNumber.clear();
}

ExportFiles::Candidate ExportFiles::candidate(const QString& name) const
{
    Candidate next{safeFileName(name), 1};
    const QString base = next.file;
    for (int number = m_nextNumber.value(base.toCaseFolded(), 2); m_files.contains(next.file.toCaseFolded()); ++number)
        next = {numberedFileName(base, number), number};
    return next;
}

QString ExportFiles::nextName(const QString& name) const
{
    return candidate(name).file;
}

QString ExportFiles::claim(const QString& name)
{
    const Candidate next = candidate(name);
    m_files.insert(next.file.toCaseFolded(), next.file);
    if (next.number > 1)
        m_nextNumber.insert(safeFileName(name).toCaseFolded(), next.number + 1);
    return next.file;
}

QString ExportFiles::taken(const QString& name) const
{
    return m_files.value(safeFileName(name).toCaseFolded());
}

} // namespace quill::exporting
