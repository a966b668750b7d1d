#pragma once

#include "workspace/workspace.h"

#include <QDialog>
#include <QStringList>

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
};

// Reads the document afresh through a database object of its own, opened at location. Throws on any
// failure.
DetailRows readDocumentDetail(domino::NotesSession& session, const workspace::DatabaseLocation& location,
                              const QString& documentId);

// The read-only two-column grid of a document's items and values.
class DocumentDetailDialog : public QDialog
{
    Q_OBJECT
public:
    explicit DocumentDetailDialog(const DetailRows& rows, QWidget* parent = nullptr);

    QTableWidget* grid() const { return m_grid; }
    QPushButton* okButton() const { return m_ok; }
    // Whether row 0 is drawn as a heading (not when the document has no items).
    bool hasFixedRow() const { return m_fixedRow; }

private:
    QTableWidget* m_grid = nullptr;
    QPushButton* m_ok = nullptr;
    bool m_fixedRow = false;
};

} // namespace quill::browse
