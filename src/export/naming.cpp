#include "export/naming.h"

#include "platform/text.h"

#include <QFile>

using namespace Qt::StringLiterals;

namespace quill::exporting {

std::optional<qint32> textToInteger(const QString& text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text[i] == u' ')
        ++i;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    int base = 10;
    if (i < n && text[i] == u'$') {
        base = 16;
        ++i;
    } else if (i < n && (text[i] == u'x' || text[i] == u'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        base = 16;
        i += 2;
    }
    if (i == n)
        return std::nullopt;
    const qint64 limit = negative ? qint64(2147483648LL) : qint64(2147483647LL);
    qint64 value = 0;
    for (; i < n; ++i) {
        const char16_t c = text[i].unicode();
        int digit;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (base == 16 && c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (base == 16 && c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        else
            return std::nullopt;
        value = value * base + digit;
        if (value > limit)
            return std::nullopt;
    }
    return static_cast<qint32>(negative ? -value : value);
}

bool IsIntegerText(const QString& text)
{
    return textToInteger(text).has_value();
}

QString CleanFileName(const QString& text)
{
    QString out = text;
    for (const char16_t c : {u'"', u'\\', u':', u'>', u'<', u'|', u'*', u'?', u'/'})
        out.remove(QChar(c));
    return out;
}

QString fileNamePart(const QString& fileName)
{
    return fileName.mid(fileName.lastIndexOf(u'/') + 1);
}

QString exportFolder(const QString& workbookName)
{
    return workbookName.left(workbookName.lastIndexOf(u'/') + 1);
}

namespace {

// NAME_MAX counts bytes of the file system's encoding.
constexpr qsizetype kMaxNameBytes = 255;

qsizetype nameBytes(const QString& name)
{
    return QFile::encodeName(name).size();
}

// The longest start of text that keeps text + tail within a file name's bytes; never half a pair.
QString cutToName(QString text, const QString& tail)
{
    while (!text.isEmpty() && nameBytes(text + tail) > kMaxNameBytes) {
        text.chop(1);
        if (!text.isEmpty() && text.back().isHighSurrogate())
            text.chop(1);
    }
    return text + tail;
}

// The extension is kept when a name is cut or numbered; a long "extension" is part of the stem.
qsizetype extensionStart(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot > 0 && name.size() - dot <= 16 ? dot : name.size();
}

} // namespace

QString workbookName(const QString& fileName, const QString& startNo, const OutputFormat& format)
{
    QString base = fileName;
    const QString extension = format.extension;
    if (base.right(extension.size()).toUpper() == extension.toUpper())
        base.chop(extension.size());
    // A long name (a view's, say) is cut to keep the file's own name within 255 bytes; the tail that tells
    // the workbooks apart stays whole.
    const QString folder = exportFolder(base);
    return folder + cutToName(base.mid(folder.size()), u"_开始为第"_s + startNo + u"个文档"_s + extension);
}

QString workbookStem(const QString& fileName)
{
    // The longest tail a workbook name gets: the lowest start number and an extension of a format to come.
    const QString longestTail = u"_开始为第-2147483648个文档"_s + QString(16, u'x');
    const QString folder = exportFolder(fileName);
    return cutToName(fileName.mid(folder.size()), longestTail).chopped(longestTail.size()).prepend(folder);
}

QString attachmentFolder(const QString& exportFolder, const QString& viewName)
{
    return exportFolder + cutToName(CleanFileName(viewName), u"附件"_s);
}

QString safeFileName(const QString& name)
{
    const qsizetype cut = std::max(name.lastIndexOf(u'/'), name.lastIndexOf(u'\\'));
    QString out;
    for (const QChar c : QStringView(name).mid(cut + 1))
        if (c.category() != QChar::Other_Control)
            out += c;
    if (out.trimmed().isEmpty() || out == u"."_s || out == u".."_s)
        return u"_"_s;
    if (nameBytes(out) > kMaxNameBytes) {
        const qsizetype dot = extensionStart(out);
        out = cutToName(out.left(dot), out.mid(dot));
    }
    return out;
}

QString numberedFileName(const QString& safeName, int number)
{
    const qsizetype dot = extensionStart(safeName);
    return cutToName(safeName.left(dot), u" ("_s + QString::number(number) + u')' + safeName.mid(dot));
}

OpeningResult checkExportRequest(const QString& fileName, const QString& startNo, qint32 docCount,
                                 const QString& viewName, const std::function<bool(const QString&)>& fileExists,
                                 const OutputFormat& format)
{
    if (platform::trimBlanks(fileName).isEmpty())
        return {};

    const QString workbook = workbookName(fileName, startNo, format);
    if (fileExists(workbook))
        return {std::nullopt, workbook + u"文件已存在!"_s};

    const std::optional<qint32> start = textToInteger(startNo);
    if (!start)
        return {std::nullopt, u"'"_s + startNo + u"' is not a valid integer value"_s, true};
    // Positions count from 1: a run from below would find no first document and leave an empty workbook.
    if (*start < 1)
        return {std::nullopt, u"开始导出的文档序号不能小于1"_s};

    if (qint64(docCount) - qint64(*start) < 0)
        return {std::nullopt, u"当前没有可导出的内容"_s};
    if (viewName.isEmpty())
        return {};
    return {ExportRequest{workbook, *start}, QString()};
}

} // namespace quill::exporting
