#include "export/exportlog.h"

#include "domino/value.h"
#include "platform/error.h"
#include "platform/gbk.h"
#include "platform/outputfolder.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace quill::exporting {

namespace {

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

} // namespace

LogFile::LogFile(QString folder) : m_folder(std::move(folder)) {}

LogFile::~LogFile()
{
    try {
        recoverRemoved();
    } catch (const std::exception&) {
        // Nothing to tell at the end of a run: the lines were written, into a file removed meanwhile.
    }
    close();
}

void LogFile::close()
{
    if (m_fd >= 0)
        ::close(m_fd); // every line is written already; nothing is waiting in the descriptor
    m_fd = -1;
    m_sinceCheck.resize(0);
    m_linesSinceCheck = 0;
}

void LogFile::open(const QString& path)
{
    close();
    const qsizetype cut = std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
    const QString name = path.mid(cut + 1);
    QString target = m_folder;
    if (!target.isEmpty() && !target.endsWith(u'/'))
        target += u'/';
    target += name;
    if (name.isEmpty())
        throw platform::Error(u"无法写入日志文件：“"_s + path + u"”不是文件名"_s);

    const QByteArray nativeTarget = target.toLocal8Bit();
    int fd;
    do
        fd = ::open(nativeTarget.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    while (fd < 0 && errno == EINTR);
    if (fd < 0 && errno == ENOENT) {
        // The folder made at start is gone, or could not be made then: made again, or the reason why not.
        if (const QString reason = platform::makeFolderPath(m_folder); !reason.isEmpty())
            throw platform::Error(u"无法写入日志文件："_s + target + u"（"_s + reason + u"）"_s);
        do
            fd = ::open(nativeTarget.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        while (fd < 0 && errno == EINTR);
    }
    if (fd < 0)
        throw platform::Error(u"无法写入日志文件："_s + target + u"（"_s + systemError(errno) + u"）"_s);
    struct stat st = {};
    ::fstat(fd, &st);
    m_fd = fd;
    m_path = path;
    m_target = target;
    m_nativeTarget = nativeTarget;
    m_device = st.st_dev;
    m_inode = st.st_ino;
    m_linksCounted = st.st_nlink > 0;
}

void LogFile::writeAll(const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        // One write a line; only a short one (a full disk) is followed by a write of the rest, which
        // then says why it cannot be written.
        const ssize_t written = ::write(m_fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            const QString reason = written < 0 ? systemError(errno) : u"只写入了部分内容"_s;
            close(); // the next line opens the file again
            throw platform::Error(u"无法写入日志文件："_s + m_target + u"（"_s + reason + u"）"_s);
        }
        done += written;
    }
}

void LogFile::recoverRemoved()
{
    struct stat st = {};
    if (m_fd >= 0 && m_linksCounted && ::fstat(m_fd, &st) == 0 && st.st_nlink == 0) {
        const QByteArray lines = m_sinceCheck;
        open(m_path);
        writeAll(lines);
    }
    m_sinceCheck.resize(0);
    m_linesSinceCheck = 0;
}

bool LogFile::pathLeadsHere() const
{
    struct stat st = {};
    return ::stat(m_nativeTarget.constData(), &st) == 0 && st.st_dev == m_device && st.st_ino == m_inode;
}

void LogFile::append(const QString& path, const QByteArray& bytes)
{
    if (m_fd >= 0 && (path != m_path || m_checkPath)) {
        recoverRemoved();
        if (path != m_path || !pathLeadsHere())
            close();
    }
    m_checkPath = false;
    if (m_fd < 0)
        open(path);
    writeAll(bytes);
    m_sinceCheck += bytes;
    if (++m_linesSinceCheck >= kCheckEvery)
        recoverRemoved();
}

void AppendLogLine(const QString& path, const QString& line, const QString& folder)
{
    LogFile file(folder);
    file.append(path, platform::toGbk(line) + "\r\n");
}

QString logFileName(const QDate& date)
{
    return u"log"_s + date.toString(u"yyyyMMdd"_s) + u".txt"_s;
}

namespace {

QString num(qint64 n)
{
    return QString::number(n);
}

// The value with its line breaks written out: "\r\n", "\n" and "\r" as two characters each.
QString value(const QString& text)
{
    if (!text.contains(u'\n') && !text.contains(u'\r'))
        return text;
    QString out;
    out.reserve(text.size() + 8);
    for (const QChar c : text) {
        if (c == u'\n')
            out += u"\\n"_s;
        else if (c == u'\r')
            out += u"\\r"_s;
        else
            out += c;
    }
    return out;
}

} // namespace

ExportLog::ExportLog(QString folder, Clock clock) : m_clock(std::move(clock)), m_file(std::move(folder)) {}

void ExportLog::write(const QString& text)
{
    const QDateTime now = m_clock ? m_clock() : m_localClock.now();
    const qint64 second = now.toSecsSinceEpoch();
    if (second != m_cachedSecond || m_cachedEnding.isEmpty()) {
        m_cachedSecond = second;
        m_cachedEnding = platform::toGbk(domino::formatShortDateTime(now)) + "\r\n";
        m_cachedName = logFileName(now.date());
        // Once a second is often enough to notice a file renamed away; its lines are not lost.
        m_file.checkPathAtNextLine();
    }
    // The same bytes as AppendLogLine(name, text + now) writes, in the file held open.
    QByteArray bytes = platform::toGbk(text);
    bytes += m_cachedEnding;
    try {
        m_file.append(m_cachedName, bytes);
    } catch (const platform::Error& e) {
        // Some steps go on without their line; the run still tells that the log is not whole.
        ++m_linesLost;
        m_lastLoss = e.message();
        throw;
    }
}

void ExportLog::note(const QString& text)
{
    try {
        write(text);
    } catch (const platform::Error&) {
        // Counted; the next line the run cannot do without reports the log's failure.
    }
}

void ExportLog::runStart(const QString& viewName, const QString& workbookName)
{
    write(u"开始导出视图"_s + value(viewName) + u"到文件"_s + value(workbookName) + u";"_s);
}

void ExportLog::documentStart(qint64 n)
{
    write(u"完成向excel写入第"_s + num(n) + u"个文档;"_s);
}

void ExportLog::attachmentCheck(qint64 n)
{
    write(u"判断第"_s + num(n) + u"个文档有附件;"_s);
}

void ExportLog::folderFailed(qint64 n, const QString& folder, const QString& reason)
{
    note(u"创建第"_s + num(n) + u"个文档的文件夹出错:"_s + value(folder) + u"，"_s + value(reason) + u";"_s);
}

void ExportLog::attachmentListBefore(qint64 n)
{
    note(u"获取第"_s + num(n) + u"个文档有附件列表;"_s);
}

void ExportLog::attachmentListAfter(qint64 n, qint64 count)
{
    note(u"获取第"_s + num(n) + u"个文档有附件数量为:"_s + num(count) + u";"_s);
}

void ExportLog::attachmentListFailed(qint64 n, const QString& reason)
{
    note(u"获取第"_s + num(n) + u"个文档附件列表出错:"_s + value(reason) + u";"_s);
}

void ExportLog::attachmentFetched(qint64 n, qint64 k, const QString& name)
{
    note(u"获取第"_s + num(n) + u"个文档第"_s + num(k) + u"个附件:"_s + value(name) + u";"_s);
}

void ExportLog::attachmentSaved(qint64 n, qint64 k, const QString& path)
{
    note(u"保存第"_s + num(n) + u"个文档第"_s + num(k) + u"个附件到:"_s + value(path) + u";"_s);
}

void ExportLog::attachmentFailed(qint64 n, qint64 k, const QString& target, const QString& reason)
{
    note(u"保存第"_s + num(n) + u"个文档第"_s + num(k) + u"个附件出错:"_s + value(target) + u"，"_s + value(reason) +
         u";"_s);
}

void ExportLog::pictures(const QString& documentFolder)
{
    try {
        write(u"调用图片导出程序保存到:"_s + value(documentFolder) + u" ;"_s);
        write(u"结束图片导出程序保存到:"_s + value(documentFolder) + u" ;"_s);
    } catch (const platform::Error&) {
        // The step only marks the document in the log.
    }
}

void ExportLog::richTextStart(qint64 n)
{
    note(u"开始分离第"_s + num(n) + u"个文档RichText域;"_s);
}

void ExportLog::richTextSaved(qint64 n, const QString& path)
{
    note(u"分离第"_s + num(n) + u"个文档RichText域到:"_s + value(path) + u";"_s);
}

void ExportLog::richTextFailed(qint64 n, const QString& target, const QString& reason)
{
    note(u"分离第"_s + num(n) + u"个文档RichText域出错:"_s + value(target) + u"，"_s + value(reason) + u";"_s);
}

void ExportLog::valueStep(const QString& text)
{
    note(u"  s=s+"_s + value(text) + u";"_s);
}

void ExportLog::valueFailed(qint64 n, const QString& item, const QString& reason)
{
    note(u"读取第"_s + num(n) + u"个文档的"_s + value(item) + u"域出错:"_s + value(reason) + u";"_s);
}

void ExportLog::writeStep()
{
    note(u" s值写入excel表 ;"_s);
}

void ExportLog::itemsLeftOut(qint64 n, const QStringList& items)
{
    note(u"第"_s + num(n) + u"个文档有"_s + num(items.size()) +
         u"个域起始文档没有，未导出（.xlsx和CSV格式导出全部域）:"_s + value(items.join(u',')) + u";"_s);
}

void ExportLog::wholeTextSaved(qint64 n, const QString& item, qint64 cellText, const QString& path)
{
    note(u"第"_s + num(n) + u"个文档的"_s + value(item) + u"域超过单元格的"_s + num(cellText) +
         u"个字符，全文保存到:"_s + value(path) + u";"_s);
}

void ExportLog::wholeTextFailed(qint64 n, const QString& item, const QString& target, const QString& reason)
{
    note(u"保存第"_s + num(n) + u"个文档的"_s + value(item) + u"域全文出错:"_s + value(target) + u"，"_s +
         value(reason) + u";"_s);
}

void ExportLog::nextDocumentFailed(qint64 n)
{
    write(u"链接第"_s + num(n) + u"个文档出错;"_s);
}

void ExportLog::pageSaved(qint64 n, const QString& path)
{
    note(u"保存第"_s + num(n) + u"个文档的网页到:"_s + value(path) + u";"_s);
}

void ExportLog::pageFailed(qint64 n, const QString& path, const QString& reason)
{
    note(u"保存第"_s + num(n) + u"个文档的网页出错:"_s + value(path) + u"，"_s + value(reason) + u";"_s);
}

void ExportLog::pageFileSaved(qint64 n, const QString& path)
{
    note(u"保存第"_s + num(n) + u"个文档网页中的文件到:"_s + value(path) + u";"_s);
}

void ExportLog::pageFileFailed(qint64 n, const QString& path, const QString& reason)
{
    note(u"保存第"_s + num(n) + u"个文档网页中的文件出错:"_s + value(path) + u"，"_s + value(reason) + u";"_s);
}

void ExportLog::bodyIncomplete(qint64 n, const QString& item, const QString& reason)
{
    note(u"读取第"_s + num(n) + u"个文档的"_s + value(item) + u"域正文出错，网页中只有读出的部分:"_s + value(reason) +
         u";"_s);
}

void ExportLog::indexSaved(const QString& path)
{
    note(u"保存网页索引到:"_s + value(path) + u";"_s);
}

void ExportLog::indexFailed(const QString& path, const QString& reason)
{
    note(u"保存网页索引出错:"_s + value(path) + u"，"_s + value(reason) + u";"_s);
}

} // namespace quill::exporting
