#pragma once

#include <QByteArray>
#include <QDialog>
#include <QHash>
#include <QString>
#include <optional>

class QTextBrowser;

namespace quill::domino {
class NotesDocument;
}

namespace quill::browse {

// A rich-text or mail body rendered as a page, with the pictures it shows held in memory by the names the page
// uses.
struct RenderedBody
{
    QString title;
    QString html;
    QHash<QString, QByteArray> files;
    QString error; // what kept the renderer from reading the whole body; empty when it read it all
};

// The body of the document's item when it is rich text or a mail; nullopt for any other item. Throws what the
// document throws.
std::optional<RenderedBody> renderBody(const domino::NotesDocument& document, const QString& itemName);

// Shows a rendered body: nothing is loaded but its own pictures from memory (no file, no network), and a link
// is not followed.
class RichTextViewer : public QDialog
{
    Q_OBJECT
public:
    explicit RichTextViewer(RenderedBody body, QWidget* parent = nullptr);

    QTextBrowser* browser() const { return m_browser; }

private:
    QTextBrowser* m_browser = nullptr;
};

} // namespace quill::browse
