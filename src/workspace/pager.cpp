#include "workspace/pager.h"

#include "domino/error.h"
#include "domino/value.h"

#include <QScopeGuard>

namespace quill::workspace {

Pager::Pager(QObject* parent) : QObject(parent) {}

void Pager::clearRows()
{
    emit aboutToChange();
    m_rows.clear();
    emit changed();
}

void Pager::load(const Listing& listing, PageProgress& progress)
{
    emit aboutToChange();
    const auto shown = qScopeGuard([this] { emit changed(); });
    m_pageStart = m_docPos;
    m_docCount = 0;
    m_titles.reset();
    m_rows.clear();

    const std::unique_ptr<domino::ReadBatch> batch = listing.database().beginReadBatch();
    const std::shared_ptr<domino::NotesView> view = listing.open();
    const int columns = std::max(0, view->ColumnCount());
    const QStringList titles = view->ColumnNames();
    QStringList shownTitles;
    for (int c = 0; c < columns; ++c)
        shownTitles << (c < titles.size() ? titles.at(c) : QString());
    m_titles = shownTitles;

    progress.begin();
    const auto endProgress = qScopeGuard([&progress] { progress.end(); });

    std::unique_ptr<domino::NotesDocument> document;
    try {
        document = view->NthDocument(m_docPos + 1);
    } catch (const domino::DominoError&) {
        return; // past the view's end, or the view went away: an empty page, said nowhere
    }

    const qint32 count = view->EntryCount();
    const QString name = view->ViewName();
    m_docCount = count;
    emit counted(name, count);

    int k = 1;
    if (view->EntryCount() <= 0)
        return;
    while (document && k <= kPageSize && view->EntryCount() > m_docPos) {
        ++k;
        ++m_docPos;
        Row row{document->DocumentId(), {}};
        try {
            const domino::ValueList values = document->ColumnValues();
            for (int c = 0; c < columns; ++c)
                row.cells << (static_cast<size_t>(c) < values.size() ? domino::ValueToText(values[c]) : QString());
        } catch (const domino::DominoError&) {
            row.cells.clear(); // the row keeps its id; the page goes on
        }
        m_rows.push_back(std::move(row));
        document = view->NextDocument(*document);
        progress.step(k, view->EntryCount());
    }
}

} // namespace quill::workspace
