#pragma once

#include "export/exportrun.h"

#include <QHash>
#include <memory>
#include <optional>

namespace quill::exporting {

// The page each document's folder gets, and the index in the attachment folder.
inline constexpr char16_t kPageName[] = u"文档.html";
inline constexpr char16_t kIndexName[] = u"index.html";

// Writes every document's items and rendered bodies (rich text, mail) as one HTML page in its folder, the
// pictures and mail parts the page shows beside it, and at the end an index of the documents with responses
// under their parents ($REF), so that the attachment folder opens in a browser as an offline archive. A page
// or file that cannot be written is logged and counted; the run goes on.
class HtmlPageStep final : public DocumentStep
{
public:
    explicit HtmlPageStep(std::shared_ptr<PageIndex> index);

    void begin(const RunBegin& begin) override;
    void take(const DocumentPass& pass, ExportLog& log, RunResult& result) override;
    void end(const RunEnd& end, ExportLog& log, RunResult& result) override;
    QStringList reservedNames() const override { return {QString::fromUtf16(kPageName)}; }
    QString pagePath(const QString& documentFolderName) const override;

    // The index page of the entries: responses under their parents in a nested list, the others in their order.
    static QString indexPage(const QString& title, const std::vector<IndexEntry>& entries);

private:
    // The folder of the document with that id when its page is part of the export; empty when it is not.
    QString folderOf(const QString& id);

    std::shared_ptr<PageIndex> m_index;
    const domino::NotesView* m_view = nullptr;
    ExportFiles* m_files = nullptr;
    qint64 m_start = 0;
    qint64 m_passes = 0;
    QString m_viewName;
    // The documents the export writes, by id, read from the view at the first document link.
    std::optional<QHash<QString, QString>> m_exported;
};

} // namespace quill::exporting
