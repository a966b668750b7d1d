#include "export/runmessages.h"

#include "domino/sessionservice.h"

using namespace Qt::StringLiterals;

namespace quill::exporting {

namespace {

QString num(qint64 n)
{
    return QString::number(n);
}

QString unsavedNote(const RunResult& r)
{
    QStringList lost;
    if (r.filesUnsaved > 0)
        lost << num(r.filesUnsaved) + u"个附件未能保存"_s;
    if (r.pagesUnsaved > 0)
        lost << num(r.pagesUnsaved) + u"个网页或网页中的文件未能保存"_s;
    if (r.documentsUnlisted > 0)
        lost << num(r.documentsUnlisted) + u"个文档的附件列表未能读取"_s;
    if (r.logLinesLost > 0)
        lost << num(r.logLinesLost) + u"行导出日志未能写入"_s;
    if (lost.isEmpty())
        return {};
    const QString reason = r.lossReason.isEmpty() ? QString() : r.lossReason + u"；"_s;
    return lost.join(u'，') + u"（"_s + reason + u"详见导出日志，在"_s + r.logFolder + u"）。"_s;
}

QString unreadNote(const RunResult& r, bool besideUnsaved)
{
    if (r.valuesUnread == 0)
        return {};
    const QString unread = num(r.valuesUnread) + u"个域的值未能读取，单元格留空"_s;
    // Beside the note on files, which names the log already.
    if (besideUnsaved)
        return u"另有"_s + unread + u"（原因也见导出日志）。"_s;
    return unread + u"（原因见导出日志，在"_s + r.logFolder + u"）。"_s;
}

} // namespace

QString lossesNote(const RunResult& result)
{
    const QString unsaved = unsavedNote(result);
    return unsaved + unreadNote(result, !unsaved.isEmpty());
}

QString finishedLine(const RunResult& result)
{
    const QString unsaved = unsavedNote(result);
    const QString unread = unreadNote(result, !unsaved.isEmpty());
    if (unsaved.isEmpty() && unread.isEmpty())
        return QString::fromUtf16(kFinished) + result.attachmentFolder;
    return QString::fromUtf16(kFinishedWithLosses) + unsaved + unread +
           (unsaved.isEmpty() ? u"导出的附件文档存放在Excel文件的同一目录下，文件夹名为："_s
                              : u"已保存的附件文档存放在Excel文件的同一目录下，文件夹名为："_s) +
           result.attachmentFolder;
}

QString columnsNote(const RunResult& result)
{
    if (result.columnsLeftOut == 0)
        return {};
    const QString columns = num(result.startItems - result.columnsLeftOut);
    return (result.completeColumns ? u"导出的文档共有"_s : u"起始文档有"_s) + num(result.startItems) +
           u"个域，工作表最多只能容纳"_s + columns + u"个域列，只导出了前"_s + columns + u"个域。"_s;
}

QString itemsLeftOutNote(const RunResult& result)
{
    if (result.itemsLeftOut == 0)
        return {};
    return num(result.documentsWithItemsLeftOut) + u"个文档共有"_s + num(result.itemsLeftOut) +
           u"个域起始文档没有，工作表没有它们的列，未导出（详见导出日志；导出为.xlsx或CSV格式可包含全部文档的全部域）。"_s;
}

QString wholeTextNote(const RunResult& result)
{
    if (result.textsSavedWhole == 0)
        return {};
    return num(result.textsSavedWhole) +
           u"个域的文本超过单元格的容量，单元格中只保留了前一部分，全文另存为文本文件，在各文档的附件文件夹中（详见导出日志）。"_s;
}

QString pagesNote(const RunResult& result)
{
    if (result.pages == 0)
        return {};
    QString note = u"另外写了"_s + num(result.pages) + u"个网页"_s;
    if (result.pageFiles > 0)
        note += u"和网页中的"_s + num(result.pageFiles) + u"个图片等文件"_s;
    return note + u"，用浏览器打开"_s + result.attachmentFolder + u"/index.html即可浏览。"_s;
}

QString bodiesNote(const RunResult& result)
{
    if (result.bodiesIncomplete == 0)
        return {};
    return num(result.bodiesIncomplete) +
           u"个富文本或邮件正文未能完整读出，网页中只有读出的部分，单元格中的文本不受影响（详见导出日志）。"_s;
}

QString endingNote(const RunResult& result)
{
    if (result.stop == RunResult::Stop::ViewEnded)
        return u"视图在第"_s + num(result.start + result.documents - 1) + u"个文档之后已没有文档，共导出了"_s +
               num(result.documents) + u"个文档。"_s;
    if (result.stop != RunResult::Stop::SheetFull)
        return {};
    const qint64 last = result.nextStart - 1;
    return u"工作表最多只能容纳"_s + num(result.documents) + u"个文档，本次导出了第"_s + num(result.start) + u"到第"_s +
           num(last) + u"个文档；其余的文档请从第"_s + num(last + 1) + u"个文档开始再导出一次。"_s;
}

QString failureText(const RunResult& result)
{
    using Failure = RunResult::Failure;
    switch (result.failure) {
    case Failure::View:
        return domino::SessionError::sentence(domino::SessionError::Step::FindView, result.reason);
    case Failure::Document:
        return u"连接文档出错:"_s + result.reason;
    case Failure::ViewShort:
        return u"连接文档出错:视图在第"_s + num(result.start + result.documents - 1) +
               u"个文档之后已没有文档，少于视图的文档数"_s + num(result.viewDocuments);
    case Failure::None:
        break;
    }
    return {};
}

QString runMessage(const RunResult& result)
{
    using Stop = RunResult::Stop;
    switch (result.stop) {
    case Stop::NoWriter:
        return QString::fromUtf16(kExcelMissing);
    case Stop::Failed: {
        const QString losses = lossesNote(result);
        return failureText(result) + (losses.isEmpty() ? QString() : u"\n另外，"_s + losses);
    }
    case Stop::Cancelled:
        return {};
    case Stop::Finished:
    case Stop::SheetFull:
    case Stop::ViewEnded:
        break;
    }
    QString message = finishedLine(result);
    for (const QString& note : {pagesNote(result), bodiesNote(result), columnsNote(result), itemsLeftOutNote(result),
                                wholeTextNote(result), endingNote(result)})
        if (!note.isEmpty())
            message += u'\n' + note;
    return message;
}

} // namespace quill::exporting
