#include "workbook/excel.h"

#include "platform/outputfolder.h"

#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace quill::workbook {

WorkbookError::WorkbookError(const QString& message) : platform::Error(message) {}

WorkbookError::~WorkbookError() = default;

void requireStarted(bool started, const char* operation)
{
    if (!started)
        throw WorkbookError(u"Excel未启动或已退出，无法执行%1：请先调用StartExcel"_s.arg(QLatin1StringView(operation)));
}

void checkCellPosition(int row, int column, int maxRows, int maxColumns)
{
    if (row < 1 || row > maxRows)
        throw WorkbookError(u"行号超出范围：%1（应为1到%2）"_s.arg(row).arg(maxRows));
    if (column < 1 || column > maxColumns)
        throw WorkbookError(u"列号超出范围：%1（应为1到%2）"_s.arg(column).arg(maxColumns));
}

void checkColumnWidth(int column, int width, int maxColumns, int maxWidth)
{
    if (column < 1 || column > maxColumns)
        throw WorkbookError(u"列号超出范围：%1（应为1到%2）"_s.arg(column).arg(maxColumns));
    if (width < 0 || width > maxWidth)
        throw WorkbookError(u"列宽超出范围：%1（应为0到%2个字符）"_s.arg(width).arg(maxWidth));
}

void checkCellText(const QString& text, int maxLength, int row, int column)
{
    if (text.size() > maxLength)
        throw WorkbookError(u"文本过长：%1个字符（单元格最多%2个字符），位于第%3行第%4列"_s.arg(text.size())
                                .arg(maxLength)
                                .arg(row)
                                .arg(column));
}

void saveWorkbookFile(const QString& fileName, const std::function<bool(QIODevice&)>& write)
{
    if (fileName.isEmpty())
        throw WorkbookError(u"保存工作簿失败：文件名为空"_s);
    const QFileInfo target(fileName);
    if (target.isSymLink())
        throw WorkbookError(u"保存工作簿失败："_s + platform::linkRefused(fileName));
    // Renaming over a device or other special file would replace it; refuse instead.
    if (target.exists() && !target.isFile())
        throw WorkbookError(u"保存工作簿失败：“%1”不是普通文件"_s.arg(fileName));
    try {
        platform::OutputFolder::writeFileAt(fileName, write);
    } catch (const WorkbookError&) {
        throw;
    } catch (const platform::Error& e) {
        throw WorkbookError(u"保存工作簿失败："_s + e.message());
    }
}

bool copyFileInto(const QString& path, QIODevice& out)
{
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 got = in.read(chunk.data(), chunk.size());
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        if (out.write(chunk.constData(), got) != got)
            return false;
    }
}

} // namespace quill::workbook
