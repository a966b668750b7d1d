#pragma once

#include "export/exportrun.h"
#include "export/pagewriter.h"

#include <QHash>
#include <deque>
#include <memory>
#include <optional>

namespace quill::exporting {

// The page each document's folder gets, and the index in the attachment folder.
inline constexpr char16_t kPageName[] = u"文档.html";
inline constexpr char16_t kIndexName[] = u"index.html";
// The index's documents for a later export into the same folder to add to: the page cannot be read back.
inline constexpr char16_t kIndexListName[] = u"index.json";

// Writes every document's items and rendered bodies (rich text, mail) as one HTML page in its folder, the
// pictures and mail parts the page shows beside it, and at the end an index of the documents with responses
// under their parents ($REF), so that the attachment folder opens in a browser as an offline archive. A page
// or file that cannot be written is logged and counted; the run goes on. The files are written beside the run
// (PageWriter) while the run goes on to the next document, whose page step logs them.
class HtmlPageStep final : public DocumentStep
{
public:
    explicit HtmlPageStep(std::shared_ptr<PageIndex> index);
    ~HtmlPageStep() override;

    void begin(const RunBegin& begin) override;
    void take(const DocumentPass& pass, ExportLog& log, RunResult& result) override;
    void settle(ExportLog& log, RunResult& result) override;
    void end(const RunEnd& end, ExportLog& log, RunResult& result) override;
    QStringList reservedNames() const override { return {QString::fromUtf16(kPageName)}; }
    QString pagePath(const QString& documentFolderName) const override;

    // The index page of the entries: responses under their parents in a nested list, the others in their order.
    static QString indexPage(const QString& title, const std::vector<IndexEntry>& entries);
    // The entries as the index's list keeps them, and read back: entries that are not whole are left out.
    static QByteArray indexList(const QString& view, const std::vector<IndexEntry>& entries);
    static std::vector<IndexEntry> readIndexList(const QByteArray& json);
    // The earlier export's entries whose pages are still there, in their order, this export's in place of the
    // same documents', then this export's others.
    static std::vector<IndexEntry> withEarlier(std::vector<IndexEntry> earlier, std::vector<IndexEntry> entries,
                                               const std::function<bool(const IndexEntry&)>& pageThere);

private:
    // The folder of the document with that id when its page is part of the export; empty when it is not.
    QString folderOf(const QString& id);
    // Hands the document's files to the writer, made at the first document; without one (no attachment
    // folder) they are all lost at once, with its reason.
    void submit(const DocumentPass& pass, PageWriter::Job job, IndexEntry entry, ExportLog& log, RunResult& result);
    // Logs and counts what the writer did; a page written puts its document into the index.
    void takeOutcomes(std::vector<PageWriter::Outcome> outcomes, ExportLog& log, RunResult& result);

    std::shared_ptr<PageIndex> m_index;
    const domino::NotesView* m_view = nullptr;
    ExportFiles* m_files = nullptr;
    qint64 m_start = 0;
    qint64 m_passes = 0;
    QString m_viewName;
    // The documents the export writes, by id, read from the view at the first document link.
    std::optional<QHash<QString, QString>> m_exported;
    std::unique_ptr<PageWriter> m_writer;
    // The index entries of the documents handed to the writer, in its order: a page written puts its own in.
    std::deque<IndexEntry> m_submitted;
};

} // namespace quill::exporting
