#include "browse/richtextviewer.h"

#include "domino/notes.h"
#include "richtext/htmlpage.h"
#include "richtext/mailrenderer.h"
#include "richtext/mimemessage.h"
#include "richtext/richtextrenderer.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace quill::browse {

namespace {

// Answers a page's requests from the body's files alone: a missing picture stays missing, and nothing
// is read from a disk or a network whatever the page names.
class MemoryBrowser final : public QTextBrowser
{
public:
    MemoryBrowser(const QHash<QString, QByteArray>& files, QWidget* parent) : QTextBrowser(parent), m_files(files)
    {
        setOpenLinks(false);
        setOpenExternalLinks(false);
        setSearchPaths({});
    }

    QVariant loadResource(int type, const QUrl& name) override
    {
        if (type != QTextDocument::ImageResource || !name.scheme().isEmpty() || !name.host().isEmpty())
            return {};
        const auto found = m_files.constFind(name.path(QUrl::FullyDecoded));
        return found == m_files.cend() ? QVariant() : QVariant(*found);
    }

private:
    QHash<QString, QByteArray> m_files;
};

} // namespace

std::optional<RenderedBody> renderBody(const domino::NotesDocument& document, const QString& itemName)
{
    const std::unique_ptr<domino::NotesItem> item = document.ItemByName(itemName);
    if (!item || item->ItemType() != domino::NotesItem::RichText)
        return std::nullopt;
    RenderedBody body;
    body.title = itemName;
    richtext::PageResources resources;
    // Each file under a name of its own; the page refers to it by that name alone.
    resources.saveFile = [&body](const richtext::FileToSave& file) {
        QString name = file.name.isEmpty() ? u"file"_s : file.name;
        for (int n = 2; body.files.contains(name); ++n)
            name = QString::number(n) + u'-' + file.name;
        body.files.insert(name, file.bytes);
        return name;
    };
    richtext::RenderedHtml rendered;
    if (const std::unique_ptr<domino::NotesMIMEEntity> mime = document.GetMIMEEntity(itemName))
        rendered = richtext::renderMail(richtext::parseMimeEntity(mime->GetEntityAsText()), resources);
    else
        rendered = richtext::renderRichText(document.RichTextItemByName(itemName)->ExportDXL(), resources);
    body.html = richtext::htmlPage(itemName, rendered.html);
    body.error = rendered.error;
    return body;
}

RichTextViewer::RichTextViewer(RenderedBody body, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(body.title);
    resize(720, 560);
    auto* layout = new QVBoxLayout(this);
    m_browser = new MemoryBrowser(body.files, this);
    m_browser->setObjectName(u"bodyBrowser"_s);
    m_browser->setHtml(body.html);
    layout->addWidget(m_browser);
    if (!body.error.isEmpty()) {
        // What could be read is shown; the reader learns that it is not all.
        auto* note = new QLabel(u"正文未能完整读取，只显示了读出的部分："_s + body.error, this);
        note->setWordWrap(true);
        layout->addWidget(note);
    }
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* close = buttons->addButton(u"关   闭"_s, QDialogButtonBox::AcceptRole);
    close->setAutoDefault(false);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}

} // namespace quill::browse
