#pragma once

#include <QDialog>
#include <QStringList>

class QPushButton;
class QTableWidget;

namespace quill::domino {
class NotesSession;
}

namespace quill::browse {

// Item names of a document and the text of each one's first value, in the document's order.
struct DetailRows
{
    QStringList names;
    QStringList values;
};

// Reads the document afresh through a database object of its own: on serverName when treeMode is 1
// (dbPath below the data directory), otherwise the local file dbPath. Throws on any failure.
DetailRows readDocumentDetail(domino::NotesSession& session, int treeMode, const QString& serverName,
                              const QString& dbPath, const QString& documentId);

// The read-only two-column grid of a document's items and values.
class TfrmdocDetail : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmdocDetail(const DetailRows& rows, QWidget* parent = nullptr);

    QTableWidget* StringGrid1() const { return m_grid; }
    QPushButton* BitBtn1() const { return m_ok; }
    // Whether row 0 is drawn as a heading (not when the document has no items).
    bool hasFixedRow() const { return m_fixedRow; }

    void BitBtn1Click();

private:
    QTableWidget* m_grid = nullptr;
    QPushButton* m_ok = nullptr;
    bool m_fixedRow = false;
};

} // namespace quill::browse
