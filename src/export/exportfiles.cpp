#include "export/exportfiles.h"

#include "export/naming.h"

#include <QFile>
#include <filesystem>
#include <system_error>

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

QString ExportFiles::documentFolder(const QString& documentId)
{
    QString name;
    if (isComponentId(documentId)) {
        name = documentId;
    } else if (const auto known = m_folderById.constFind(documentId); known != m_folderById.cend()) {
        name = *known;
    } else {
        const QString base = safeFileName(documentId);
        name = base;
        for (int number = 2; couldBeComponentId(name) || m_folderNames.contains(name.toCaseFolded()); ++number)
            name = numberedFileName(base, number);
        m_folderById.insert(documentId, name);
        m_folderNames.insert(name.toCaseFolded());
    }
    return m_attachmentFolder + u'/' + name + u'/';
}

QString ExportFiles::makeFolder(const QString& folder)
{
    QString path = folder;
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    std::error_code error;
    std::filesystem::create_directories(QFile::encodeName(path).toStdString(), error);
    if (!error && !std::filesystem::is_directory(QFile::encodeName(path).toStdString(), error))
        error = std::make_error_code(std::errc::not_a_directory);
    if (!error)
        return {};
    return u"无法创建文件夹（"_s + QString::fromLocal8Bit(error.message()) + u"）"_s;
}

void ExportFiles::startDocument()
{
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

bool sameContents(const QString& a, const QString& b)
{
    QFile first(a);
    QFile second(b);
    if (!first.open(QIODevice::ReadOnly) || !second.open(QIODevice::ReadOnly) || first.size() != second.size())
        return false;
    constexpr qint64 kChunk = 1 << 16;
    while (!first.atEnd()) {
        const QByteArray left = first.read(kChunk);
        if (left.isEmpty() || left != second.read(left.size()))
            return false;
    }
    return true;
}

} // namespace quill::exporting
