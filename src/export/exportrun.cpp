#include "export/exportrun.h"

#include "domino/sessionservice.h"
#include "domino/value.h"
#include "export/htmlpages.h"
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

// Marks the document in the log; no picture is written.
class PictureStep final : public DocumentStep
{
public:
    void take(const DocumentPass& pass, ExportLog& log, RunResult&) override { log.pictures(pass.documentFolder); }
};

} // namespace

ExportRun::ExportRun(const domino::NotesDatabase& database, domino::NotesSession& session, OutputFormat format,
                     ExportLog& log, RunHost& host)
    : m_database(database), m_session(session), m_format(std::move(format)), m_log(log), m_host(host)
{
    m_steps.push_back(std::make_unique<PictureStep>());
}

ExportRun::~ExportRun() = default;

RunResult ExportRun::run(const ExportRequest& request, const QString& viewName, qint32 docCount,
                         domino::NotesView* view)
{
    m_result = {};
    m_result.start = request.start;
    m_result.viewDocuments = docCount;
    m_result.logFolder = m_log.folder();
    m_log.runStart(viewName, request.workbookName);
    const qint64 linesLostBefore = m_log.linesLost();
    m_workbookName = request.workbookName;
    m_workbookFolder = {};
    m_files = ExportFiles(attachmentFolder(exportFolder(request.workbookName), viewName));
    m_result.attachmentFolder = m_files.attachmentFolder();
    if (m_output.htmlPages && !m_pageStep) {
        auto pages = std::make_unique<HtmlPageStep>(m_output.pageIndex);
        m_pageStep = pages.get();
        m_steps.push_back(std::move(pages));
    }
    m_pageColumn = m_pageStep && m_format.pageColumn;

    std::unique_ptr<workbook::ExcelApplication> excel;
    try {
        if (m_format.makeWriter)
            excel = m_format.makeWriter();
        if (excel)
            excel->StartExcel();
    } catch (const std::exception&) {
        excel.reset();
    }
    if (!excel) {
        m_result.stop = RunResult::Stop::NoWriter;
        return m_result;
    }

    m_host.showProgressWindow();
    Ending ending = Ending::Finished;
    std::exception_ptr failure;
    try {
        m_host.setProgressText(progressText(request));
        m_host.setProgress(docCount, 0);
        ending = body(*excel, request, docCount, viewName, view);
    } catch (...) {
        failure = std::current_exception();
    }
    settleSteps();
    if (ending == Ending::Cancelled) {
        // A workbook cut short at no row of its own choosing is not saved at all.
        quit(std::move(excel));
        m_host.closeProgressWindow();
        m_result.stop = RunResult::Stop::Cancelled;
        return m_result;
    }
    if (ending != Ending::Cancelled && !failure)
        endSteps();
    takeLosses(linesLostBefore);
    if ((ending != Ending::Finished || failure) && !m_output.keepFailedWorkbook)
        quit(std::move(excel)); // never a workbook cut short under the name of a whole one
    else
        m_result.saveError = saveAndQuit(std::move(excel), request.workbookName);
    // No message may appear under the progress window.
    m_host.closeProgressWindow();
    if (ending == Ending::Guarded)
        m_result.stop = RunResult::Stop::Failed;
    if (failure) {
        if (m_result.saveError.isEmpty())
            std::rethrow_exception(failure);
        throw platform::Error(failureMessage(failure) + u'\n' + m_result.saveError);
    }
    return m_result;
}

void ExportRun::takeLosses(qint64 linesLostBefore)
{
    m_result.filesUnsaved = m_files.unsaved();
    m_result.documentsUnlisted = m_files.unlisted();
    m_result.logLinesLost = m_log.linesLost() - linesLostBefore;
    if (!m_files.firstReason().isEmpty())
        m_result.lossReason = m_files.firstReason();
    else if (m_result.lossReason.isEmpty() || !m_log.lastLoss().isEmpty())
        m_result.lossReason = m_log.lastLoss();
}

QString ExportRun::saveAndQuit(std::unique_ptr<workbook::ExcelApplication> excel, const QString& workbookName)
{
    QString saveError;
    try {
        const platform::OutputFolder& folder = workbookFolder();
        // The folder as it was opened, whatever its name leads to by now.
        try {
            excel->SaveWorkbook(folder.pinned(fileNamePart(workbookName)));
        } catch (const std::exception& e) {
            throw platform::Error(folder.unpin(platform::messageOf(e)));
        }
    } catch (const std::exception& e) {
        saveError = platform::messageOf(e);
    }
    quit(std::move(excel));
    return saveError;
}

const platform::OutputFolder& ExportRun::workbookFolder()
{
    if (m_workbookFolder.isOpen())
        return m_workbookFolder;
    const QString folder = exportFolder(m_workbookName);
    const QString below = m_output.folder
                              ? QDir(m_output.folder->path()).relativeFilePath(folder.isEmpty() ? u"."_s : folder)
                              : QString();
    if (!m_output.folder || below == u".."_s || below.startsWith(u"../"_s) || QDir::isAbsolutePath(below))
        m_workbookFolder = platform::OutputFolder::open(folder);
    else
        m_workbookFolder = m_output.folder->folder(below, true);
    return m_workbookFolder;
}

bool ExportRun::saveFile(const domino::NotesDocument& document, domino::NotesEmbeddedObject& object,
                         const QString& name, const QString& sameAs)
{
    const platform::OutputFolder& folder = m_files.openDocumentFolder(workbookFolder(), document.DocumentId());
    const QString temporary = platform::OutputFolder::temporaryName();
    try {
        // The component takes a path: one that leads to this very folder, never through a link.
        object.SaveToFile(folder.pinned(temporary));
    } catch (const std::exception& e) {
        folder.remove(temporary);
        throw platform::Error(folder.unpin(platform::messageOf(e), temporary, name));
    }
    if (!sameAs.isEmpty() && folder.sameContents(sameAs, temporary)) {
        folder.remove(temporary);
        return false;
    }
    folder.place(temporary, name);
    return true;
}

void ExportRun::quit(std::unique_ptr<workbook::ExcelApplication> excel)
{
    try {
        excel->QuitExcel();
    } catch (const std::exception&) {
        // The writer is released here in any case; nothing the user could act on.
    }
}

QString ExportRun::progressText(const ExportRequest& request)
{
    return u"正在导出数据到"_s + fileNamePart(request.workbookName) + u"..."_s;
}

void ExportRun::guarded(RunResult::Failure failure, const std::function<void()>& step)
{
    try {
        step();
    } catch (const std::exception& e) {
        throw GuardedFailure{failure, platform::messageOf(e)};
    }
}

ExportRun::Ending ExportRun::body(workbook::ExcelApplication& excel, const ExportRequest& request, qint32 docCount,
                                  const QString& viewName, domino::NotesView* givenView)
{
    using Failure = RunResult::Failure;
    try {
        // One read of the database for the whole walk instead of one per call.
        const std::unique_ptr<domino::ReadBatch> batch = m_database.beginReadBatch();
        domino::HeldView found;
        domino::NotesView* view = givenView;
        if (!view) {
            guarded(Failure::View, [&] {
                found = domino::SessionService::findView(m_database, viewName);
                view = found.view.get();
            });
        }
        std::unique_ptr<domino::NotesDocument> document;
        QStringList allNames;
        guarded(Failure::Document, [&] {
            document = view->NthDocument(request.start);
            if (!document)
                throw platform::Error(u"视图中没有第"_s + QString::number(request.start) + u"个文档"_s);
            allNames = document->Items();
        });
        m_foldedStartNames.clear();
        for (const QString& name : allNames)
            m_foldedStartNames.insert(name.toCaseFolded());
        m_result.completeColumns = m_format.completeColumns;
        if (m_format.completeColumns)
            allNames = everyItemName(*view, *document, allNames, request, docCount);
        const QStringList names = header(excel, allNames);
        m_foldedColumns.clear();
        for (const QString& name : names)
            m_foldedColumns << name.toCaseFolded();
        writeDocuments(excel, *view, std::move(document), names, request, docCount);
        return Ending::Finished;
    } catch (const GuardedFailure& failure) {
        m_result.failure = failure.failure;
        m_result.reason = failure.reason;
        return Ending::Guarded;
    } catch (const Cancelled&) {
        return Ending::Cancelled;
    }
}

void ExportRun::writeDocuments(workbook::ExcelApplication& excel, const domino::NotesView& view,
                               std::unique_ptr<domino::NotesDocument> document, const QStringList& names,
                               const ExportRequest& request, qint32 docCount)
{
    using Failure = RunResult::Failure;
    const qint64 passes = sheetDocuments(request, docCount);
    const bool rowLimited = qint64(docCount) - request.start + 1 > passes;

    beginSteps(view, request.start, passes);
    const QString text = progressText(request);
    const QString ofCount = u"/"_s + QString::number(docCount);
    for (qint64 j = 0; j < passes; ++j) {
        if (m_host.cancelRequested())
            throw Cancelled{};
        const qint64 position = request.start + j;
        const int row = static_cast<int>(j + 2);
        startDocument(excel, row, *document, position);
        m_host.setProgressText(text + QString::number(j + 1) + ofCount);
        m_host.setProgress(docCount, static_cast<qint32>(j + 1));
        m_host.processEvents();
        documentSteps(*document, position);

        guarded(Failure::Document, [&] { writeItems(excel, row, *document, position, names); });
        if (m_pageColumn)
            guarded(Failure::Document,
                    [&] { excel.SetCellValue(row, int(names.size()) + 2, cell(pageCell(*document))); });
        m_result.documents = j + 1;
        std::unique_ptr<domino::NotesDocument> next;
        guarded(Failure::Document, [&] {
            try {
                next = view.NextDocument(*document);
            } catch (const std::exception&) {
                m_log.nextDocumentFailed(position);
                // After the last pass the result is not used. Before it, writing this document again
                // in the next row would hide a damaged view: the run fails instead.
                if (j + 1 < passes)
                    throw;
            }
        });
        if (next) {
            document = std::move(next);
        } else if (j + 1 < passes) {
            // The view has fewer documents than it had when it was listed: stop instead of
            // writing the last document again and again.
            m_log.nextDocumentFailed(position);
            if (!m_output.keepFailedWorkbook)
                throw GuardedFailure{Failure::ViewShort, QString()};
            m_result.stop = RunResult::Stop::ViewEnded;
            return;
        }
    }
    if (rowLimited) {
        m_result.stop = RunResult::Stop::SheetFull;
        m_result.nextStart = request.start + passes;
    }
}

qint64 ExportRun::sheetDocuments(const ExportRequest& request, qint32 docCount) const
{
    return std::min(qint64(docCount) - request.start + 1, qint64(m_format.limits.rows) - 1);
}

QStringList ExportRun::everyItemName(const domino::NotesView& view, const domino::NotesDocument& start,
                                     const QStringList& startNames, const ExportRequest& request, qint32 docCount)
{
    QStringList names;
    QSet<QString> seen;
    const auto take = [&](const QStringList& items) {
        for (const QString& name : items)
            if (!seen.contains(name.toCaseFolded())) {
                seen.insert(name.toCaseFolded());
                names << name;
            }
    };
    take(startNames);
    const qint64 passes = sheetDocuments(request, docCount);
    // A document that cannot be reached here is reported by the pass that writes the rows.
    try {
        std::unique_ptr<domino::NotesDocument> next = view.NextDocument(start);
        for (qint64 j = 1; j < passes && next; ++j) {
            if (m_host.cancelRequested())
                throw Cancelled{};
            take(next->Items());
            if ((j & 0xFF) == 0)
                m_host.processEvents();
            next = view.NextDocument(*next);
        }
    } catch (const std::exception&) {
    }
    return names;
}

std::optional<QStringList> ExportRun::itemNames(const domino::NotesDocument& document)
{
    try {
        return document.Items();
    } catch (const std::exception&) {
        return std::nullopt; // every column is then looked up, as the start document's items always are
    }
}

void ExportRun::countItemsLeftOut(const QStringList& own, qint64 position)
{
    QStringList leftOut;
    QSet<QString> counted;
    for (const QString& name : own) {
        const QString folded = name.toCaseFolded();
        if (!m_foldedStartNames.contains(folded) && !counted.contains(folded)) {
            counted.insert(folded);
            leftOut << name;
        }
    }
    if (leftOut.isEmpty())
        return;
    m_result.itemsLeftOut += leftOut.size();
    ++m_result.documentsWithItemsLeftOut;
    m_log.itemsLeftOut(position, leftOut);
}

void ExportRun::saveWholeText(const domino::NotesDocument& document, qint64 n, const QString& name, const QString& text)
{
    QString target = name;
    try {
        const QString folder = documentFolder(document);
        // An item name may hold what a file name cannot: the same cleaning as the view's folder name.
        const QString file = m_files.claim(CleanFileName(name) + u".txt"_s);
        target = folder + file;
        m_files.openDocumentFolder(workbookFolder(), document.DocumentId()).writeFile(file, text.toUtf8());
    } catch (const std::exception& e) {
        m_files.countUnsaved(platform::messageOf(e));
        m_log.wholeTextFailed(n, name, target, platform::messageOf(e));
        return;
    }
    ++m_result.textsSavedWhole;
    m_log.wholeTextSaved(n, name, m_format.limits.cellText, target);
}

void ExportRun::startDocument(workbook::ExcelApplication& excel, int row, const domino::NotesDocument& document,
                              qint64 position)
{
    m_log.documentStart(position);
    m_files.startDocument();
    // Names the steps' files keep in every folder, whatever the attachments are called.
    for (const std::unique_ptr<DocumentStep>& step : m_steps)
        for (const QString& name : step->reservedNames())
            m_files.claim(name);
    excel.SetCellValue(row, 1, cell(document.DocumentId()));
    if (document.HasAttachments())
        attachmentStep(document, position);
}

void ExportRun::documentSteps(const domino::NotesDocument& document, qint64 position)
{
    QString folder;
    try {
        folder = documentFolder(document);
    } catch (const std::exception&) {
        return; // a document whose id cannot be read has no folder for its steps to name
    }
    const DocumentPass pass{
        document,
        position,
        folder,
        m_files,
        [this, &document]() -> const platform::OutputFolder& {
            return m_files.openDocumentFolder(workbookFolder(), document.DocumentId());
        },
        [this]() -> const platform::OutputFolder& { return m_files.openAttachmentFolder(workbookFolder()); }};
    for (const std::unique_ptr<DocumentStep>& step : m_steps)
        step->take(pass, m_log, m_result);
}

void ExportRun::beginSteps(const domino::NotesView& view, qint64 start, qint64 passes)
{
    const RunBegin begin{view, start, passes, m_files};
    for (const std::unique_ptr<DocumentStep>& step : m_steps)
        step->begin(begin);
}

void ExportRun::settleSteps()
{
    for (const std::unique_ptr<DocumentStep>& step : m_steps)
        step->settle(m_log, m_result);
}

void ExportRun::endSteps()
{
    const RunEnd end{
        [this]() -> const platform::OutputFolder& { return m_files.openAttachmentFolder(workbookFolder()); }};
    for (const std::unique_ptr<DocumentStep>& step : m_steps)
        step->end(end, m_log, m_result);
}

QString ExportRun::pageCell(const domino::NotesDocument& document)
{
    const QString folder = documentFolder(document).chopped(1);
    const QString attachments = m_files.attachmentFolder();
    return attachments.mid(attachments.lastIndexOf(u'/') + 1) + u'/' +
           m_pageStep->pagePath(folder.mid(folder.lastIndexOf(u'/') + 1));
}

void ExportRun::writeItems(workbook::ExcelApplication& excel, int row, const domino::NotesDocument& document,
                           qint64 position, const QStringList& names)
{
    const std::optional<QStringList> items = itemNames(document);
    QSet<QString> own;
    if (items && m_format.completeColumns) {
        for (const QString& item : *items)
            own.insert(item.toCaseFolded());
    } else if (items) {
        countItemsLeftOut(*items, position);
    }
    for (int i = 0; i < names.size(); ++i) {
        const QString& name = names[i];
        // Complete columns: an item the document does not have leaves its cell empty without a step.
        if (m_format.completeColumns && items && !own.contains(m_foldedColumns[i]))
            continue;
        const RichTextPart part = richTextStep(document, position, name);
        if (!part.found)
            continue;
        // A rich-text item's first value is its plain text again; it goes into the cell once.
        const QString text = part.isRichText ? part.text : valueStep(document, position, name);
        if (text.size() > m_format.limits.cellText)
            saveWholeText(document, position, name, text);
        try {
            excel.SetCellValue(row, i + 2, cell(text));
        } catch (const std::exception&) {
            // The cell shows that this value could not be written; the row goes on.
            excel.SetCellValue(row, i + 2, QString::fromUtf16(kCellFailed));
            m_host.processEvents();
            continue;
        }
        m_log.writeStep(); // the cell holds its value whether or not the log takes the line
        m_host.processEvents();
    }
}

QStringList ExportRun::header(workbook::ExcelApplication& excel, const QStringList& allNames)
{
    // The id column, and the page column when there is one.
    const int maxNames = m_format.limits.columns - (m_pageColumn ? 2 : 1);
    m_result.startItems = allNames.size();
    QStringList names = allNames;
    if (names.size() > maxNames) {
        names = allNames.mid(0, maxNames);
        m_result.columnsLeftOut = allNames.size() - maxNames;
    }
    for (int i = 0; i < names.size(); ++i) {
        const QString& name = names[i];
        excel.SetColumnWidth(i + 1, 40);
        // A column is at most 255 characters wide; a longer name must not end the export.
        excel.SetColumnWidth(i + 2, std::min(platform::gbkLength(name) + 10, 255));
        if (IsIntegerText(name))
            excel.SetCellTextFormat(1, i + 2);
        excel.SetCellValue(1, i + 2, cell(name));
        excel.SetCellValue(1, 1, u"文档ID"_s);
    }
    if (m_pageColumn) {
        const int column = int(names.size()) + 2;
        excel.SetColumnWidth(column, 60);
        excel.SetCellValue(1, column, u"网页"_s);
    }
    return names;
}

QString ExportRun::cell(const QString& text)
{
    QString cut = m_format.cutToCell(text);
    if (cut.size() != text.size())
        ++m_result.cellsCut;
    return cut;
}

QString ExportRun::documentFolder(const domino::NotesDocument& document)
{
    return m_files.documentFolder(document.DocumentId());
}

void ExportRun::attachmentStep(const domino::NotesDocument& document, qint64 n)
{
    m_log.attachmentCheck(n);
    const QString folder = documentFolder(document);
    try {
        m_files.openDocumentFolder(workbookFolder(), document.DocumentId());
    } catch (const std::exception& e) {
        m_log.folderFailed(n, folder, platform::messageOf(e)); // each save below fails and is counted
    }
    m_log.attachmentListBefore(n);
    QStringList names;
    try {
        for (const domino::Value& name : m_session.EvaluateFormula(u"@AttachmentNames"_s, document))
            names << domino::ValueToText(name);
    } catch (const std::exception& e) {
        m_files.countUnlisted(platform::messageOf(e));
        m_log.attachmentListFailed(n, platform::messageOf(e));
        return;
    }
    m_log.attachmentListAfter(n, names.size());
    // Each attachment by its position: names may repeat, and every one is saved that can be.
    for (int k = 0; k < names.size(); ++k)
        saveAttachment(document, n, k, names[k], folder);
}

void ExportRun::saveAttachment(const domino::NotesDocument& document, qint64 n, int k, const QString& listedName,
                               const QString& folder)
{
    QString target = listedName;
    try {
        const std::unique_ptr<domino::NotesEmbeddedObject> object = document.AttachmentAt(k);
        if (!object)
            throw platform::Error(u"找不到附件："_s + listedName);
        m_log.attachmentFetched(n, k + 1, object->Name());
        const QString name = m_files.claim(object->Name());
        target = folder + name;
        saveFile(document, *object, name);
        ++m_result.attachments;
    } catch (const std::exception& e) {
        m_files.countUnsaved(platform::messageOf(e));
        m_log.attachmentFailed(n, k + 1, target, platform::messageOf(e));
        return;
    }
    m_log.attachmentSaved(n, k + 1, target);
}

ExportRun::RichTextPart ExportRun::richTextStep(const domino::NotesDocument& document, qint64 n, const QString& name)
{
    RichTextPart part;
    m_log.richTextStart(n); // without its line the step still gives the cell its text
    std::unique_ptr<domino::NotesItem> item;
    try {
        item = document.ItemByName(name);
    } catch (const std::exception&) {
        part.found = false; // the item cannot be had: its cell is left empty, the row goes on
        lookUpFailed(document, n, name);
        return part;
    }
    try {
        if (!item || item->ItemType() != domino::NotesItem::RichText)
            return part;
        item.reset();
        std::unique_ptr<domino::NotesRichTextItem> richText;
        try {
            richText = document.RichTextItemByName(name);
            if (!richText)
                throw platform::Error(u"找不到RTF域："_s + name);
        } catch (const std::exception& e) {
            // Its objects cannot even be listed; the value step still gives the plain text.
            m_files.countUnlisted();
            m_log.richTextFailed(n, name, platform::messageOf(e));
            return part;
        }
        try {
            part.text = richText->FormattedText(true, 80);
            part.isRichText = true;
        } catch (const std::exception&) {
            // The value step gives the plain text or says why it cannot; the objects are saved either way.
        }
        saveEmbeddedObjects(document, n, *richText);
    } catch (const std::exception&) {
        // The plain text already taken still goes into the cell.
    }
    return part;
}

void ExportRun::lookUpFailed(const domino::NotesDocument& document, qint64 n, const QString& name)
{
    // A later document without the item is no fault; an item the database holds but cannot give (a damaged
    // type, say) is a value lost.
    try {
        document.ItemValue(name);
    } catch (const std::exception& e) {
        unreadValue(n, name, platform::messageOf(e));
    }
}

void ExportRun::unreadValue(qint64 n, const QString& name, const QString& reason)
{
    ++m_result.valuesUnread;
    m_log.valueFailed(n, name, reason);
}

void ExportRun::saveEmbeddedObjects(const domino::NotesDocument& document, qint64 n,
                                    const domino::NotesRichTextItem& richText)
{
    QStringList objects;
    try {
        objects = richText.EmbeddedObjects();
    } catch (const std::exception& e) {
        m_files.countUnlisted();
        m_log.richTextFailed(n, richText.Name(), platform::messageOf(e));
        return;
    }
    // Each object by its position: names may repeat, and every one is saved that can be.
    for (int k = 0; k < objects.size(); ++k) {
        std::unique_ptr<domino::NotesEmbeddedObject> object;
        try {
            object = richText.EmbeddedObjectAt(k);
            if (!object)
                throw platform::Error(u"找不到嵌入对象："_s + objects[k]);
        } catch (const std::exception& e) {
            // Listed but not to be had: a file that is lost, unlike an item without objects.
            m_files.countUnsaved();
            m_log.richTextFailed(n, objects[k], platform::messageOf(e));
            continue;
        }
        saveEmbeddedObject(document, n, *object, objects[k]);
    }
}

void ExportRun::saveEmbeddedObject(const domino::NotesDocument& document, qint64 n, domino::NotesEmbeddedObject& object,
                                   const QString& name)
{
    QString target = name;
    try {
        const QString folder = documentFolder(document);
        target = folder;
        // An object that a rich-text item shows is often one of the document's attachments (a DXL import
        // stores it twice): the same bytes under the same name are not written a second time. The
        // document's folder is made here when the attachment step did not: an object must not be lost.
        const QString earlier = m_files.taken(name);
        const QString next = m_files.nextName(name);
        target = folder + next;
        if (saveFile(document, object, next, earlier)) {
            m_files.claim(name);
            ++m_result.attachments;
        } else {
            target = folder + earlier;
        }
    } catch (const std::exception& e) {
        m_files.countUnsaved(platform::messageOf(e));
        m_log.richTextFailed(n, target, platform::messageOf(e));
        return;
    }
    m_log.richTextSaved(n, target);
}

QString ExportRun::valueStep(const domino::NotesDocument& document, qint64 n, const QString& name)
{
    domino::ValueList values;
    try {
        values = document.ItemValue(name);
    } catch (const std::exception& e) {
        unreadValue(n, name, platform::messageOf(e)); // a damaged value: the cell stays empty, and says so
        return QString();
    }
    // A null value has no text: the item's other values still go into the cell.
    std::erase_if(values, [](const domino::Value& value) { return value.isNull(); });
    if (values.empty())
        return QString();
    try {
        // The rule of a multi-value column: the values' texts joined by ", ".
        const QString text = domino::ValueToText(domino::Value::list(std::move(values)));
        m_log.valueStep(text); // a line the log cannot take costs the cell nothing
        return text;
    } catch (const std::exception&) {
        return QString(); // a null inside a nested list: no text, the cell stays empty
    }
}

} // namespace quill::exporting
