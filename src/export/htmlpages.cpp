#include "export/htmlpages.h"

#include "domino/value.h"
#include "platform/error.h"
#include "richtext/htmlpage.h"
#include "richtext/htmltext.h"
#include "richtext/mailrenderer.h"
#include "richtext/mimemessage.h"
#include "richtext/richtextrenderer.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

using namespace Qt::StringLiterals;

namespace quill::exporting {

namespace {

using richtext::escapeHtml;

QString valuesText(const domino::ValueList& values)
{
    QStringList texts;
    for (const domino::Value& value : values)
        texts << domino::ValueToText(value);
    return texts.join(u", "_s);
}

// What the index and the page's heading call the document: its first column with a text, else its id.
QString titleOf(const domino::NotesDocument& document, const QString& id)
{
    try {
        for (const domino::Value& value : document.ColumnValues()) {
            const QString text = domino::ValueToText(value).trimmed();
            if (!text.isEmpty())
                return text;
        }
    } catch (const std::exception&) {
        // A document reached otherwise than through a view has no columns.
    }
    return id;
}

// An item of the page: its row in the table, and its rendered body for rich text and mail.
struct PageItem
{
    QString name;
    QString text;
    QString body; // HTML; empty: no body
};

} // namespace

HtmlPageStep::HtmlPageStep(std::shared_ptr<PageIndex> index)
    : m_index(index ? std::move(index) : std::make_shared<PageIndex>())
{
}

HtmlPageStep::~HtmlPageStep() = default;

void HtmlPageStep::begin(const RunBegin& begin)
{
    m_writer.reset();
    m_submitted.clear();
    m_view = &begin.view;
    m_files = &begin.files;
    m_start = begin.start;
    m_passes = begin.passes;
    m_exported.reset();
    try {
        m_viewName = begin.view.ViewName();
    } catch (const std::exception&) {
        m_viewName.clear();
    }
}

QString HtmlPageStep::pagePath(const QString& documentFolderName) const
{
    return documentFolderName + u'/' + QString::fromUtf16(kPageName);
}

QString HtmlPageStep::folderOf(const QString& id)
{
    if (!m_exported) {
        // Walked once, ids alone: a link may point at a document the walk has not reached yet.
        QHash<QString, QString> exported;
        for (const IndexEntry& entry : m_index->entries)
            exported.insert(entry.id, entry.folder);
        try {
            std::unique_ptr<domino::NotesDocument> document = m_view->NthDocument(static_cast<int>(m_start));
            for (qint64 i = 0; document && i < m_passes; ++i) {
                const QString documentId = document->DocumentId();
                const QString folder = m_files->documentFolder(documentId);
                const QString trimmed = folder.chopped(1);
                exported.insert(documentId, trimmed.mid(trimmed.lastIndexOf(u'/') + 1));
                if (i + 1 < m_passes)
                    document = m_view->NextDocument(*document);
            }
        } catch (const std::exception&) {
            // The walk itself tells what is wrong with the view; links to the rest show their ids.
        }
        m_exported = std::move(exported);
    }
    const auto found = m_exported->constFind(id.toUpper());
    if (found != m_exported->cend())
        return *found;
    return m_exported->value(id);
}

void HtmlPageStep::take(const DocumentPass& pass, ExportLog& log, RunResult& result)
{
    const domino::NotesDocument& document = pass.document;
    const qint64 n = pass.position;
    QString id;
    QStringList names;
    try {
        id = document.DocumentId();
        names = document.Items();
    } catch (const std::exception& e) {
        ++result.pagesUnsaved;
        log.pageFailed(n, pass.documentFolder + QString::fromUtf16(kPageName), platform::messageOf(e));
        return;
    }
    const QString folderPath = pass.documentFolder.chopped(1);
    const QString folderName = folderPath.mid(folderPath.lastIndexOf(u'/') + 1);
    PageWriter::Job job{n, folderName, pass.documentFolder, {}};

    richtext::PageResources resources;
    resources.saveFile = [&](const richtext::FileToSave& file) -> QString {
        if (file.kind == richtext::FileToSave::Kind::Attachment) {
            // A mail's attachment is one of the document's attachments, saved already by that step.
            if (const QString earlier = pass.files.taken(file.name); !earlier.isEmpty()) {
                try {
                    const std::unique_ptr<QFile> saved = pass.openFolder().openFile(earlier);
                    if (saved && saved->readAll() == file.bytes)
                        return earlier;
                } catch (const std::exception&) {
                    // Saved again under a name of its own.
                }
            }
        }
        const QString name = pass.files.claim(file.name);
        job.files.push_back({name, file.bytes});
        return name;
    };
    resources.attachmentPath = [&](const QString& name) { return pass.files.taken(name); };
    resources.documentPath = [&](const richtext::DocumentLink& link) -> QString {
        const QString folder = folderOf(link.unid);
        return folder.isEmpty() ? QString() : u"../"_s + pagePath(folder);
    };

    std::vector<PageItem> items;
    QString parent;
    for (const QString& name : std::as_const(names)) {
        PageItem item{name, {}, {}};
        try {
            const std::unique_ptr<domino::NotesItem> found = document.ItemByName(name);
            richtext::RenderedHtml rendered;
            bool isBody = false;
            if (found && found->ItemType() == domino::NotesItem::RichText) {
                isBody = true;
                if (const std::unique_ptr<domino::NotesMIMEEntity> mime = document.GetMIMEEntity(name)) {
                    rendered = richtext::renderMail(richtext::parseMimeEntity(mime->GetEntityAsText()), resources);
                } else {
                    const std::unique_ptr<domino::NotesRichTextItem> richText = document.RichTextItemByName(name);
                    rendered = richtext::renderRichText(richText->ExportDXL(), resources);
                }
            }
            if (isBody) {
                item.text = u"（正文见下）"_s;
                item.body = rendered.html;
                if (!rendered.error.isEmpty()) {
                    ++result.bodiesIncomplete;
                    log.bodyIncomplete(n, name, rendered.error);
                }
            } else {
                const domino::ValueList values = document.ItemValue(name);
                item.text = valuesText(values);
                if (name.compare(u"$REF"_s, Qt::CaseInsensitive) == 0 && !values.empty())
                    parent = domino::ValueToText(values.front());
            }
        } catch (const std::exception& e) {
            // The cell step tells an unread value in the log; the page says it too.
            item.text = u"（无法读取："_s + platform::messageOf(e) + u"）"_s;
            item.body.clear();
        }
        items.push_back(std::move(item));
    }

    const QString title = titleOf(document, id);
    QString html;
    html.reserve(4096);
    html += u"<p class=\"doc-nav\"><a href=\"../"_s + QString::fromUtf16(kIndexName) + u"\">返回文档索引</a></p>\n"_s;
    html += u"<h1 class=\"doc-title\">"_s + escapeHtml(title) + u"</h1>\n<p class=\"doc-id\">文档ID："_s +
            escapeHtml(id) +
            u"</p>\n<table class=\"doc-items\">\n<thead><tr><th>文档域名</th><th>域值</th></tr></thead>\n<tbody>\n"_s;
    for (const PageItem& item : items)
        html += u"<tr><th>"_s + escapeHtml(item.name) + u"</th><td>"_s + escapeHtml(item.text) + u"</td></tr>\n"_s;
    html += u"</tbody>\n</table>\n"_s;
    for (const PageItem& item : items) {
        if (item.body.isEmpty())
            continue;
        html += u"<section class=\"doc-body\">\n<h2>"_s + escapeHtml(item.name) + u"</h2>\n"_s + item.body +
                u"\n</section>\n"_s;
    }

    job.files.push_back({QString::fromUtf16(kPageName), richtext::htmlPage(title, html).toUtf8()});
    submit(pass, std::move(job), {id, folderName, title, parent}, log, result);
}

void HtmlPageStep::submit(const DocumentPass& pass, PageWriter::Job job, IndexEntry entry, ExportLog& log,
                          RunResult& result)
{
    if (!m_writer) {
        try {
            m_writer = std::make_unique<PageWriter>(pass.openAttachmentFolder().folder(QString(), false));
        } catch (const std::exception& e) {
            PageWriter::Outcome lost{job.position, {}};
            for (const PageWriter::File& file : job.files)
                lost.files.push_back({job.documentFolder + file.name, platform::messageOf(e)});
            m_submitted.push_back(std::move(entry));
            takeOutcomes({std::move(lost)}, log, result);
            return;
        }
    }
    // The document before is written meanwhile: its lines come now, at the same place in every run's log, and
    // no more than one document's files wait in memory.
    takeOutcomes(m_writer->takeWritten(), log, result);
    m_submitted.push_back(std::move(entry));
    m_writer->submit(std::move(job));
}

void HtmlPageStep::takeOutcomes(std::vector<PageWriter::Outcome> outcomes, ExportLog& log, RunResult& result)
{
    for (const PageWriter::Outcome& outcome : outcomes) {
        IndexEntry entry = std::move(m_submitted.front());
        m_submitted.pop_front();
        // The page is each job's last file; the pictures and mail parts it shows come before it.
        for (size_t i = 0; i < outcome.files.size(); ++i) {
            const PageWriter::Written& file = outcome.files[i];
            const bool page = i + 1 == outcome.files.size();
            if (!file.error.isEmpty()) {
                ++result.pagesUnsaved;
                m_files->noteReason(file.error);
                if (page)
                    log.pageFailed(outcome.position, file.target, file.error);
                else
                    log.pageFileFailed(outcome.position, file.target, file.error);
            } else if (page) {
                ++result.pages;
                log.pageSaved(outcome.position, file.target);
                m_index->entries.push_back(std::move(entry));
            } else {
                ++result.pageFiles;
                log.pageFileSaved(outcome.position, file.target);
            }
        }
    }
}

void HtmlPageStep::settle(ExportLog& log, RunResult& result)
{
    if (!m_writer)
        return;
    takeOutcomes(m_writer->takeWritten(), log, result);
    m_writer.reset();
}

void HtmlPageStep::end(const RunEnd& end, ExportLog& log, RunResult& result)
{
    settle(log, result);
    if (m_index->entries.empty())
        return;
    const QString target = result.attachmentFolder + u'/' + QString::fromUtf16(kIndexName);
    try {
        const platform::OutputFolder& folder = end.openAttachmentFolder();
        if (!m_index->earlierTaken) {
            // Earlier exports of the view into this folder (other start numbers, an earlier batch) stay listed.
            std::vector<IndexEntry> earlier;
            if (const std::unique_ptr<QFile> list = folder.openFile(QString::fromUtf16(kIndexListName)))
                earlier = readIndexList(list->readAll());
            m_index->entries = withEarlier(std::move(earlier), std::move(m_index->entries), [&](const IndexEntry& e) {
                return folder.entry(pagePath(e.folder)) == platform::OutputFolder::Entry::File;
            });
            m_index->earlierTaken = true;
        }
        folder.writeFile(QString::fromUtf16(kIndexListName), indexList(m_viewName, m_index->entries),
                         platform::OutputFolder::Sync::No);
        folder.writeFile(QString::fromUtf16(kIndexName), indexPage(m_viewName, m_index->entries).toUtf8(),
                         platform::OutputFolder::Sync::No);
    } catch (const std::exception& e) {
        ++result.pagesUnsaved;
        if (result.lossReason.isEmpty())
            result.lossReason = platform::messageOf(e);
        log.indexFailed(target, platform::messageOf(e));
        return;
    }
    ++result.pages;
    log.indexSaved(target);
}

QByteArray HtmlPageStep::indexList(const QString& view, const std::vector<IndexEntry>& entries)
{
    QJsonArray documents;
    for (const IndexEntry& entry : entries)
        documents.append(QJsonObject{
            {u"id"_s, entry.id}, {u"folder"_s, entry.folder}, {u"title"_s, entry.title}, {u"parent"_s, entry.parent}});
    return QJsonDocument(QJsonObject{{u"view"_s, view}, {u"documents"_s, documents}}).toJson(QJsonDocument::Compact);
}

std::vector<IndexEntry> HtmlPageStep::readIndexList(const QByteArray& json)
{
    std::vector<IndexEntry> entries;
    // A list that cannot be read is as none: the index then lists this export's documents.
    const QJsonArray documents = QJsonDocument::fromJson(json).object().value(u"documents"_s).toArray();
    for (const QJsonValue& value : documents) {
        const QJsonObject document = value.toObject();
        IndexEntry entry{document.value(u"id"_s).toString(), document.value(u"folder"_s).toString(),
                         document.value(u"title"_s).toString(), document.value(u"parent"_s).toString()};
        // A folder name leads nowhere but into the attachment folder.
        const bool plainFolder = !entry.folder.isEmpty() && !entry.folder.contains(u'/') &&
                                 !entry.folder.contains(u'\\') && entry.folder != u"."_s && entry.folder != u".."_s;
        if (!entry.id.isEmpty() && plainFolder)
            entries.push_back(std::move(entry));
    }
    return entries;
}

std::vector<IndexEntry> HtmlPageStep::withEarlier(std::vector<IndexEntry> earlier, std::vector<IndexEntry> entries,
                                                  const std::function<bool(const IndexEntry&)>& pageThere)
{
    QHash<QString, size_t> current;
    for (size_t i = 0; i < entries.size(); ++i)
        current.insert(entries[i].id.toUpper(), i);
    std::vector<bool> placed(entries.size(), false);
    std::vector<IndexEntry> merged;
    merged.reserve(earlier.size() + entries.size());
    QSet<QString> seen;
    for (IndexEntry& entry : earlier) {
        const QString key = entry.id.toUpper();
        if (seen.contains(key))
            continue;
        seen.insert(key);
        if (const auto found = current.constFind(key); found != current.cend()) {
            placed[*found] = true;
            merged.push_back(entries[*found]);
        } else if (pageThere(entry)) {
            merged.push_back(std::move(entry));
        }
    }
    for (size_t i = 0; i < entries.size(); ++i)
        if (!placed[i])
            merged.push_back(std::move(entries[i]));
    return merged;
}

QString HtmlPageStep::indexPage(const QString& title, const std::vector<IndexEntry>& entries)
{
    const int count = static_cast<int>(entries.size());
    QHash<QString, int> byId;
    for (int i = 0; i < count; ++i)
        byId.insert(entries[size_t(i)].id.toUpper(), i);
    std::vector<std::vector<int>> children(static_cast<size_t>(count));
    std::vector<int> roots;
    for (int i = 0; i < count; ++i) {
        const IndexEntry& entry = entries[size_t(i)];
        const auto parent = entry.parent.isEmpty() ? byId.cend() : byId.constFind(entry.parent.toUpper());
        if (parent != byId.cend() && *parent != i)
            children[size_t(*parent)].push_back(i);
        else
            roots.push_back(i);
    }

    QString html = u"<h1 class=\"doc-title\">"_s + escapeHtml(title) + u"</h1>\n<p class=\"doc-id\">共"_s +
                   QString::number(count) + u"个文档</p>\n"_s;
    std::vector<bool> shown(static_cast<size_t>(count), false);
    struct Level
    {
        int entry;
        size_t next;
        bool listOpen;
    };
    std::vector<Level> stack;
    const auto open = [&](int i) {
        shown[size_t(i)] = true;
        const IndexEntry& entry = entries[size_t(i)];
        const QString href = richtext::relativeHref(QString(entry.folder + u'/' + QString::fromUtf16(kPageName)));
        html += u"<li><a href=\""_s + escapeHtml(href) + u"\">"_s + escapeHtml(entry.title) +
                u"</a> <span class=\"doc-id\">"_s + escapeHtml(entry.id) + u"</span>"_s;
        stack.push_back({i, 0, false});
    };
    // Depth first without recursion: a long chain of responses must not exhaust the stack, and a loop of $REF
    // items ends where a document comes round again.
    const auto walk = [&](int root) {
        open(root);
        while (!stack.empty()) {
            Level& level = stack.back();
            const std::vector<int>& below = children[size_t(level.entry)];
            while (level.next < below.size() && shown[size_t(below[level.next])])
                ++level.next;
            if (level.next < below.size()) {
                const int child = below[level.next++];
                if (!level.listOpen)
                    html += u"\n<ul>\n"_s;
                level.listOpen = true;
                open(child);
                continue;
            }
            html += level.listOpen ? u"</ul>\n</li>\n"_s : u"</li>\n"_s;
            stack.pop_back();
        }
    };
    html += u"<ul class=\"doc-index\">\n"_s;
    for (const int root : roots)
        if (!shown[size_t(root)])
            walk(root);
    // Documents whose $REF items only point at each other: listed at the end, each with what is under it.
    for (int i = 0; i < count; ++i)
        if (!shown[size_t(i)])
            walk(i);
    html += u"</ul>\n"_s;
    return richtext::htmlPage(title, html);
}

} // namespace quill::exporting
