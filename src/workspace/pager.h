#pragma once

#include "workspace/listing.h"

#include <QObject>
#include <QStringList>
#include <optional>
#include <vector>

namespace quill::workspace {

inline constexpr int kPageSize = 100;

// How far the reading of a page has got, for the progress window.
class PageProgress
{
public:
    virtual ~PageProgress() = default;
    virtual void begin() = 0;
    // k rows read (counted as the page's loop counts them, from 2), of the listing's count.
    virtual void step(int k, int count) = 0;
    virtual void end() = 0;
};

// The document list's cursor and the rows of its page: LoadViewPage's reading of what is listed, at most
// kPageSize documents at a time, the document ids kept as data. A model (DocumentListModel) shows them.
class Pager : public QObject
{
    Q_OBJECT
public:
    struct Row
    {
        QString documentId;
        QStringList cells; // one per column, or none when the document's column values could not be read
    };

    explicit Pager(QObject* parent = nullptr);

    // Documents passed; after a page is read, the position of the last one listed.
    qint32 docPos() const { return m_docPos; }
    // Documents passed before the first one now listed.
    qint32 pageStart() const { return m_pageStart; }
    // The listing's documents; 0 while none is counted, which stops paging and export.
    qint32 docCount() const { return m_docCount; }
    // The listing's column titles; nullopt when there are no columns at all (before a listing is opened).
    const std::optional<QStringList>& columnTitles() const { return m_titles; }
    const std::vector<Row>& rows() const { return m_rows; }

    // Whether a page found the listing's documents (perhaps none) since the count was last dropped.
    bool isCounted() const { return m_counted; }

    // The next page is read from docPos on.
    void setDocPos(qint32 position) { m_docPos = position; }
    // Nothing counted any more: paging and export do nothing until a page is read again. The rows stay.
    void stop();
    // The rows go; columns and cursor stay.
    void clearRows();
    // As before anything was listed: no rows, no columns, nothing counted, the cursor at the start.
    void reset();

    // Reads the page that starts after docPos. A document whose column values cannot be read keeps its row
    // without cells; the listing failing before the first document is had ends the page quietly. Any other
    // failure is thrown (domino::DominoError) once the rows so far are kept and the progress has ended.
    void load(const Listing& listing, PageProgress& progress);

signals:
    void aboutToChange();
    void changed();
    // A page found its listing's documents: name is the listing's own name (the view's ViewName).
    void counted(const QString& name, qint32 count);
    // What was counted no longer is (stop, reset, a page that starts reading).
    void uncounted();

private:
    qint32 m_docPos = 0;
    qint32 m_pageStart = 0;
    qint32 m_docCount = 0;
    bool m_counted = false;
    std::optional<QStringList> m_titles;
    std::vector<Row> m_rows;
};

} // namespace quill::workspace
