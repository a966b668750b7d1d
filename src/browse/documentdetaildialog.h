#pragma once

#include "browse/richtextviewer.h"
#include "workspace/workspace.h"

#include <QDialog>
#include <QStringList>
#include <map>

class QPushButton;
class QTableWidget;

namespace quill::domino {
class NotesSession;
}

namespace quill::browse {

// Item names of a document and the text of each one's values (joined as the list joins them), in the document's order.
struct DetailRows
{
    QStringList names;
    QStringList values;
    // The rendered bodies of the rich-text and mail items, by their index in names.
    std::map<int, RenderedBody> bodies = {};
};

// Reads the document afresh, rendering its rich-text and mail bodies, through a database object of its own, opened at
// location. Throws on any failure.
DetailRows readDocumentDetail(domino::NotesSession& session, const workspace::DatabaseLocation& location,
                              const QString& documentId);

// The read-only two-column grid of a document's items and values. A double click on the row of a rich-text or
// mail item opens its rendered body.
class DocumentDetailDialog : public QDialog
{
    Q_OBJECT
public:
    explicit DocumentDetailDialog(const DetailRows& rows, QWidget* parent = nullptr);

    QTableWidget* grid() const { return m_grid; }
    QPushButton* okButton() const { return m_ok; }
    // Whether row 0 is drawn as a heading (not when the document has no items).
    bool hasFixedRow() const { return m_fixedRow; }
    // Opens the body of the item at that index (from 0) in a viewer of its own; nullptr when it has none.
    RichTextViewer* openBody(int itemIndex);

private:
    QTableWidget* m_grid = nullptr;
    QPushButton* m_ok = nullptr;
    bool m_fixedRow = false;
    std::map<int, RenderedBody> m_bodies;
};

} // namespace quill::browse
