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

void Pager::stop()
{
    m_docCount = 0;
    if (m_counted) {
        m_counted = false;
        emit uncounted();
    }
}

void Pager::reset()
{
    emit aboutToChange();
    m_docPos = 0;
    m_pageStart = 0;
    m_titles.reset();
    m_rows.clear();
    stop();
    emit changed();
}

void Pager::load(const Listing& listing, PageProgress& progress)
{
    emit aboutToChange();
    const auto shown = qScopeGuard([this] { emit changed(); });
    m_pageStart = m_docPos;
    stop();
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

    const auto count = [this, &view] {
        const qint32 documents = view->EntryCount();
        const QString name = view->ViewName();
        m_docCount = documents;
        m_counted = true;
        emit counted(name, documents);
    };
    std::unique_ptr<domino::NotesDocument> document;
    try {
        document = view->NthDocument(m_docPos + 1);
    } catch (const domino::DominoError&) {
        // A page past the view's end (an empty view's first) is an empty page of a counted view; any other
        // failure to get its first document ends it quietly, with nothing counted.
        try {
            if (view->EntryCount() <= m_docPos)
                count();
        } catch (const domino::DominoError&) {
        }
        return;
    }
    count();

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
