#include "export/exportrun.h"

#include "domino/value.h"
#include "platform/error.h"
#include "platform/gbk.h"

#include <QDir>

using namespace Qt::StringLiterals;

namespace quill::exporting {

namespace {

QString failureMessage(const std::exception_ptr& failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& e) {
        return platform::messageOf(e);
    } catch (...) {
        return u"未知错误"_s;
    }
}

} // namespace

ExportRun::ExportRun(const domino::NotesDatabase& database, domino::NotesSession& session, ExcelFactory excelFactory,
                     ExportLog& log, RunHost& host, SheetLimits limits)
    : m_database(database), m_session(session), m_excelFactory(std::move(excelFactory)), m_log(log), m_host(host),
      m_limits(limits)
{
}

void ExportRun::run(const ExportRequest& request, const QString& viewName, qint32 docCount)
{
    m_log.write(loglines::runStart(viewName, request.workbookName));
    m_attachmentFolder = attachmentFolder(exportFolder(request.workbookName), viewName);

    std::unique_ptr<workbook::ExcelApplication> excel;
    try {
        excel = m_excelFactory();
        if (!excel)
            throw platform::Error(QString::fromUtf16(kExcelMissing));
        excel->StartExcel();
    } catch (const std::exception&) {
        m_host.showMessage(QString::fromUtf16(kExcelMissing));
        return;
    }

    m_host.showProgressWindow();
    Outcome outcome;
    std::exception_ptr failure;
    try {
        m_host.setProgressText(progressText(request));
        m_host.setProgress(docCount, 0);
        outcome = body(*excel, request, docCount, viewName);
    } catch (...) {
        failure = std::current_exception();
    }
    if (outcome.ending == Ending::Guarded)
        m_host.showMessage(outcome.guardedMessage);

    const QString saveError = saveAndQuit(std::move(excel), request.workbookName);
    m_host.closeProgressWindow();

    if (failure) {
        if (saveError.isEmpty())
            std::rethrow_exception(failure);
        throw platform::Error(failureMessage(failure) + u'\n' + saveError);
    }
    if (!saveError.isEmpty())
        throw platform::Error(saveError);
    if (outcome.ending == Ending::Finished)
        m_host.showMessage(QString::fromUtf16(kFinished) + m_attachmentFolder + outcome.notes);
}

QString ExportRun::saveAndQuit(std::unique_ptr<workbook::ExcelApplication> excel, const QString& workbookName)
{
    QString saveError;
    try {
        excel->SaveWorkbook(workbookName);
    } catch (const std::exception& e) {
        saveError = platform::messageOf(e);
    }
    try {
        excel->QuitExcel();
    } catch (const std::exception&) {
        // The writer is released below in any case; nothing the user could act on.
    }
    return saveError;
}

QString ExportRun::progressText(const ExportRequest& request)
{
    return u"正在导出数据到"_s + fileNamePart(request.workbookName) + u"..."_s;
}

void ExportRun::guarded(const QString& prefix, const std::function<void()>& step)
{
    try {
        step();
    } catch (const std::exception& e) {
        throw GuardedFailure{prefix + platform::messageOf(e)};
    }
}

ExportRun::Outcome ExportRun::body(workbook::ExcelApplication& excel, const ExportRequest& request, qint32 docCount,
                                   const QString& viewName)
{
    try {
        std::unique_ptr<domino::NotesView> view;
        guarded(u"连接视图出错:"_s, [&] {
            view = m_database.FindView(viewName);
            if (!view)
                throw platform::Error(u"找不到视图："_s + viewName);
        });
        std::unique_ptr<domino::NotesDocument> document;
        QStringList allNames;
        guarded(u"连接文档出错:"_s, [&] {
            document = view->NthDocument(request.start);
            if (!document)
                throw platform::Error(u"视图中没有第"_s + QString::number(request.start) + u"个文档"_s);
            allNames = document->Items();
        });
        const Header head = header(excel, allNames);
        const QString notes = writeDocuments(excel, *view, std::move(document), head.names, request, docCount);
        return {Ending::Finished, head.note + notes, QString()};
    } catch (const GuardedFailure& failure) {
        return {Ending::Guarded, QString(), failure.message};
    }
}

QString ExportRun::writeDocuments(workbook::ExcelApplication& excel, const domino::NotesView& view,
                                  std::unique_ptr<domino::NotesDocument> document, const QStringList& names,
                                  const ExportRequest& request, qint32 docCount)
{
    qint64 passes = qint64(docCount) - request.start + 1;
    const qint64 maxDocuments = m_limits.rows - 1;
    const bool rowLimited = passes > maxDocuments;
    if (rowLimited)
        passes = maxDocuments;

    const QString text = progressText(request);
    const QString ofCount = u"/"_s + QString::number(docCount);
    for (qint64 j = 0; j < passes; ++j) {
        const qint64 position = request.start + j;
        const int row = static_cast<int>(j + 2);
        startDocument(excel, row, *document, position);
        m_host.setProgressText(text + QString::number(j + 1) + ofCount);
        m_host.setProgress(docCount, static_cast<qint32>(j + 1));
        m_host.processEvents();
        pictureStep(*document);

        bool viewEnded = false;
        guarded(u"连接文档出错:"_s, [&] {
            writeItems(excel, row, *document, position, names);
            try {
                std::unique_ptr<domino::NotesDocument> next = view.NextDocument(*document);
                if (next)
                    document = std::move(next);
                else if (j + 1 < passes)
                    viewEnded = true;
            } catch (const std::exception&) {
                // The next row holds this document again; the log says where the view failed.
                m_log.write(loglines::nextDocumentFailed(position));
            }
        });
        if (viewEnded) {
            // The view has fewer documents than it had when it was listed: stop instead of
            // writing the last document again and again.
            m_log.write(loglines::nextDocumentFailed(position));
            return u"\n视图在第"_s + QString::number(position) + u"个文档之后已没有文档，共导出了"_s +
                   QString::number(j + 1) + u"个文档。"_s;
        }
    }
    if (!rowLimited)
        return QString();
    const qint64 last = request.start + passes - 1;
    return u"\n工作表最多只能容纳"_s + QString::number(maxDocuments) + u"个文档，本次导出了第"_s +
           QString::number(request.start) + u"到第"_s + QString::number(last) + u"个文档；其余的文档请从第"_s +
           QString::number(last + 1) + u"个文档开始再导出一次。"_s;
}

void ExportRun::startDocument(workbook::ExcelApplication& excel, int row, const domino::NotesDocument& document,
                              qint64 position)
{
    m_log.write(loglines::documentStart(position));
    excel.SetCellValue(row, 1, cutToCell(document.DocumentId()));
    if (document.HasAttachments())
        attachmentStep(document, position);
}

void ExportRun::writeItems(workbook::ExcelApplication& excel, int row, const domino::NotesDocument& document,
                           qint64 position, const QStringList& names)
{
    for (int i = 0; i < names.size(); ++i) {
        const QString& name = names[i];
        const RichTextPart part = richTextStep(document, position, name);
        if (!part.found)
            continue;
        // A rich-text item's first value is its plain text again; it goes into the cell once.
        const QString text = part.isRichText ? part.text : valueStep(document, name);
        try {
            excel.SetCellValue(row, i + 2, cutToCell(text));
            m_log.write(loglines::writeStep());
        } catch (const std::exception&) {
            // The cell shows that this value could not be written; the row goes on.
            excel.SetCellValue(row, i + 2, QString::fromUtf16(kCellFailed));
        }
        m_host.processEvents();
    }
}

ExportRun::Header ExportRun::header(workbook::ExcelApplication& excel, const QStringList& allNames)
{
    const int maxNames = m_limits.columns - 1;
    Header head{allNames, QString()};
    if (head.names.size() > maxNames) {
        head.names = allNames.mid(0, maxNames);
        head.note = u"\n起始文档有"_s + QString::number(allNames.size()) + u"个域，工作表最多只能容纳"_s +
                    QString::number(maxNames) + u"个域列，只导出了前"_s + QString::number(maxNames) + u"个域。"_s;
    }
    for (int i = 0; i < head.names.size(); ++i) {
        const QString& name = head.names[i];
        excel.SetColumnWidth(i + 1, 40);
        // A column is at most 255 characters wide; a longer name must not end the export.
        excel.SetColumnWidth(i + 2, std::min(platform::gbkLength(name) + 10, 255));
        if (IsIntegerText(name))
            excel.SetCellTextFormat(1, i + 2);
        excel.SetCellValue(1, i + 2, cutToCell(name));
        excel.SetCellValue(1, 1, u"文档ID"_s);
    }
    return head;
}

QString ExportRun::documentFolder(const domino::NotesDocument& document) const
{
    return exporting::documentFolder(m_attachmentFolder, document.DocumentId());
}

void ExportRun::attachmentStep(const domino::NotesDocument& document, qint64 n)
{
    m_log.write(loglines::attachmentCheck(n));
    const QString folder = documentFolder(document);
    if (!QDir(folder).exists())
        QDir().mkpath(folder);
    try {
        m_log.write(loglines::attachmentListBefore(n));
        const domino::ValueList names = m_session.EvaluateFormula(u"@AttachmentNames"_s, document);
        m_log.write(loglines::attachmentListAfter(n, static_cast<qint64>(names.size())));
        for (size_t k = 0; k < names.size(); ++k) {
            const QString name = domino::ValueToText(names[k]);
            const std::unique_ptr<domino::NotesEmbeddedObject> object = document.AttachmentByName(name);
            if (!object)
                throw platform::Error(u"找不到附件："_s + name);
            m_log.write(loglines::attachmentFetched(n, static_cast<qint64>(k + 1), name));
            const QString path = folder + safeFileName(name);
            object->SaveToFile(path);
            m_log.write(loglines::attachmentSaved(n, static_cast<qint64>(k + 1), path));
        }
    } catch (const std::exception&) {
        // Ends this document's attachments; what was saved stays and the run goes on.
    }
}

void ExportRun::pictureStep(const domino::NotesDocument& document)
{
    try {
        const QString folder = documentFolder(document);
        m_log.write(loglines::pictureStart(folder));
        m_log.write(loglines::pictureEnd(folder));
    } catch (const std::exception&) {
        // Only marks the document in the log.
    }
}

ExportRun::RichTextPart ExportRun::richTextStep(const domino::NotesDocument& document, qint64 n, const QString& name)
{
    RichTextPart part;
    try {
        m_log.write(loglines::richTextStart(n));
    } catch (const std::exception&) {
        return part; // the step is skipped; the item's value still goes into the cell
    }
    std::unique_ptr<domino::NotesItem> item;
    try {
        item = document.ItemByName(name);
    } catch (const std::exception&) {
        part.found = false; // the item cannot be had: its cell is left empty, the row goes on
        return part;
    }
    try {
        if (!item || item->ItemType() != domino::NotesItem::RichText)
            return part;
        item.reset();
        const std::unique_ptr<domino::NotesRichTextItem> richText = document.RichTextItemByName(name);
        if (!richText)
            return part;
        part.text = richText->FormattedText(true, 80);
        part.isRichText = true;
        const QStringList objects = richText->EmbeddedObjects();
        if (objects.isEmpty())
            return part;
        const std::unique_ptr<domino::NotesEmbeddedObject> object = richText->EmbeddedObjectByName(objects.first());
        if (!object)
            return part;
        const QString folder = documentFolder(document);
        // Without this the object of a document that has no attachments would be silently lost.
        if (!QDir(folder).exists())
            QDir().mkpath(folder);
        const QString path = folder + safeFileName(objects.first());
        object->SaveToFile(path);
        m_log.write(loglines::richTextSaved(n, path));
    } catch (const std::exception&) {
        // The plain text already taken still goes into the cell.
    }
    return part;
}

QString ExportRun::valueStep(const domino::NotesDocument& document, const QString& name)
{
    try {
        const domino::ValueList values = document.ItemValue(name);
        if (values.empty())
            return QString();
        const QString text = domino::ValueToText(values.front());
        m_log.write(loglines::valueStep(text));
        return text;
    } catch (const std::exception&) {
        return QString(); // a null first value has no text, or its log line failed: the cell stays empty
    }
}

} // namespace quill::exporting
