#include "richtext/mailrenderer.h"

#include "richtext/htmlsanitizer.h"
#include "richtext/htmltext.h"

#include <QHash>
#include <QSet>

using namespace Qt::StringLiterals;

namespace quill::richtext {
namespace {

// The format of picture bytes a browser shows, by the bytes; empty for anything else (SVG is no picture
// here: as a file of its own it could run script).
QString pictureFormat(const QByteArray& bytes)
{
    if (bytes.startsWith("\x89PNG\r\n\x1a\n"))
        return u"png"_s;
    if (bytes.startsWith("\xff\xd8\xff"))
        return u"jpg"_s;
    if (bytes.startsWith("GIF87a") || bytes.startsWith("GIF89a"))
        return u"gif"_s;
    if (bytes.startsWith("RIFF") && bytes.mid(8, 4) == "WEBP")
        return u"webp"_s;
    if (bytes.startsWith("BM") && bytes.size() > 26)
        return u"bmp"_s;
    return {};
}

bool isAttachment(const MimeEntity& entity)
{
    if (entity.disposition == u"attachment")
        return true;
    if (entity.type == u"text/plain" || entity.type == u"text/html")
        return false;
    return !entity.type.startsWith(u"image/") || pictureFormat(entity.body).isEmpty();
}

// How well a part of an alternative can be shown.
int richness(const MimeEntity& entity)
{
    if (entity.type == u"text/html")
        return 3;
    if (entity.type == u"multipart/related" || entity.type == u"multipart/mixed") {
        int best = 0;
        for (const MimeEntity& part : entity.parts)
            best = std::max(best, richness(part));
        return best;
    }
    if (entity.type == u"text/plain")
        return 2;
    if (entity.type.startsWith(u"text/") || entity.isMultipart())
        return 1;
    return 0;
}

const MimeEntity* chosenAlternative(const MimeEntity& entity, bool preferText)
{
    const MimeEntity* best = nullptr;
    int bestScore = -1;
    for (const MimeEntity& part : entity.parts) {
        int score = richness(part);
        if (preferText && part.type == u"text/plain")
            score = 4;
        // Of equal parts the last is the one the sender prefers.
        if (score >= bestScore) {
            best = &part;
            bestScore = score;
        }
    }
    return best;
}

const MimeEntity* relatedRoot(const MimeEntity& entity)
{
    QString start = entity.parameters.value(u"start"_s);
    start.remove(u'<').remove(u'>');
    for (const MimeEntity& part : entity.parts) {
        if (!start.isEmpty() && part.contentId == start)
            return &part;
    }
    return entity.parts.empty() ? nullptr : &entity.parts.front();
}

QString paragraphs(const QString& text)
{
    QString out;
    QString normalized = text;
    normalized.replace(u"\r\n"_s, u"\n"_s).replace(u'\r', u'\n');
    for (const QString& paragraph : normalized.split(u"\n\n"_s, Qt::SkipEmptyParts)) {
        QString trimmedLines = paragraph;
        while (trimmedLines.startsWith(u'\n'))
            trimmedLines.remove(0, 1);
        if (trimmedLines.trimmed().isEmpty())
            continue;
        out += u"<div class=\"rt-p\">"_s + escapeHtml(trimmedLines).replace(u"\n"_s, u"<br>"_s) + u"</div>\n"_s;
    }
    return out;
}

class MailRenderer
{
public:
    explicit MailRenderer(const PageResources& resources) : m_resources(resources) {}

    RenderedHtml render(const MimeEntity& message);

private:
    void collect(const MimeEntity& entity);
    QString entityHtml(const MimeEntity& entity);
    QString leafHtml(const MimeEntity& entity);
    QString save(const MimeEntity& entity, bool picture);
    void listAttachments(const MimeEntity& entity);

    const PageResources& m_resources;
    QHash<QString, const MimeEntity*> m_byContentId;
    QHash<const MimeEntity*, QString> m_saved;
    QSet<const MimeEntity*> m_used; // shown, referred to, or an alternative not chosen
    QString m_attachments;
    int m_pictures = 0;
    int m_files = 0;
};

RenderedHtml MailRenderer::render(const MimeEntity& message)
{
    collect(message);
    const QString body = entityHtml(message);
    listAttachments(message);
    QString html = u"<div class=\"rt rt-mail\">\n"_s + body;
    if (!m_attachments.isEmpty())
        html += u"<ul class=\"rt-attachments\">\n"_s + m_attachments + u"</ul>\n"_s;
    return RenderedHtml{html + u"</div>\n"_s, QString()};
}

void MailRenderer::collect(const MimeEntity& entity)
{
    if (!entity.contentId.isEmpty() && !m_byContentId.contains(entity.contentId))
        m_byContentId.insert(entity.contentId, &entity);
    for (const MimeEntity& part : entity.parts)
        collect(part);
}

QString MailRenderer::entityHtml(const MimeEntity& entity)
{
    if (entity.type == u"multipart/alternative") {
        const MimeEntity* chosen = chosenAlternative(entity, false);
        for (const MimeEntity& part : entity.parts) {
            if (&part != chosen) {
                // What the chosen part says too is no attachment.
                QList<const MimeEntity*> pending{&part};
                while (!pending.isEmpty()) {
                    const MimeEntity* e = pending.takeLast();
                    m_used.insert(e);
                    for (const MimeEntity& p : e->parts)
                        pending << &p;
                }
            }
        }
        return chosen ? entityHtml(*chosen) : QString();
    }
    if (entity.type == u"multipart/related") {
        const MimeEntity* root = relatedRoot(entity);
        return root ? entityHtml(*root) : QString();
    }
    if (entity.type == u"message/rfc822" && !entity.parts.empty()) {
        const MimeEntity& inner = entity.parts.front();
        QString table = u"<table class=\"rt-mail-headers\">\n"_s;
        static const QStringList names = {u"From"_s, u"To"_s, u"Cc"_s, u"Date"_s, u"Subject"_s};
        for (const QString& name : names) {
            const QString value = inner.header(name);
            if (!value.isEmpty())
                table += u"<tr><th>"_s + name + u"</th><td>"_s + escapeHtml(value) + u"</td></tr>\n"_s;
        }
        return table + u"</table>\n"_s + entityHtml(inner);
    }
    if (entity.isMultipart()) {
        QString html;
        for (const MimeEntity& part : entity.parts)
            html += entityHtml(part);
        return html;
    }
    return leafHtml(entity);
}

QString MailRenderer::leafHtml(const MimeEntity& entity)
{
    if (isAttachment(entity))
        return {};
    m_used.insert(&entity);
    if (entity.type == u"text/html") {
        SanitizeHooks hooks;
        hooks.contentPath = [this](const QString& id) -> QString {
            const MimeEntity* part = m_byContentId.value(id);
            if (!part || part->isMultipart())
                return {};
            m_used.insert(part);
            return save(*part, !pictureFormat(part->body).isEmpty());
        };
        return u"<div class=\"rt-mail-html\">"_s + sanitizeHtml(entity.text(), hooks) + u"</div>\n"_s;
    }
    if (entity.type.startsWith(u"text/"))
        return paragraphs(entity.text());
    const QString path = save(entity, true);
    if (path.isEmpty())
        return u"<span class=\"rt-added rt-placeholder\">[图片未保存]</span>"_s;
    return u"<div class=\"rt-p\"><img class=\"rt-img\" src=\""_s + escapeHtml(path) + u"\" alt=\""_s +
           escapeHtml(entity.fileName) + u"\"></div>\n"_s;
}

QString MailRenderer::save(const MimeEntity& entity, bool picture)
{
    if (m_saved.contains(&entity))
        return m_saved.value(&entity);
    QString path;
    if (m_resources.saveFile) {
        FileToSave file;
        file.bytes = entity.body;
        if (picture) {
            file.kind = FileToSave::Kind::Picture;
            file.extension = pictureFormat(entity.body);
            file.name = u"picture"_s + QString::number(++m_pictures) + u'.' + file.extension;
        } else {
            file.kind = FileToSave::Kind::Attachment;
            file.name = entity.fileName.isEmpty() ? u"附件"_s + QString::number(++m_files) : entity.fileName;
            const qsizetype dot = file.name.lastIndexOf(u'.');
            file.extension = dot > 0 ? file.name.mid(dot + 1).toLower() : QString();
        }
        path = relativeHref(m_resources.saveFile(file));
    }
    m_saved.insert(&entity, path);
    return path;
}

void MailRenderer::listAttachments(const MimeEntity& entity)
{
    if (m_used.contains(&entity))
        return;
    if (entity.isMultipart() || (entity.type == u"message/rfc822" && !entity.parts.empty())) {
        for (const MimeEntity& part : entity.parts)
            listAttachments(part);
        return;
    }
    m_used.insert(&entity);
    const QString path = save(entity, false);
    const QString name = entity.fileName.isEmpty() ? u"附件"_s : entity.fileName;
    const QString size = u"（"_s + QString::number(entity.body.size()) + u"字节）"_s;
    if (path.isEmpty()) {
        m_attachments += u"<li class=\"rt-added rt-missing\">"_s + escapeHtml(name) + u"（附件未保存）</li>\n"_s;
        return;
    }
    m_attachments += u"<li class=\"rt-added\"><a class=\"rt-attachment\" href=\""_s + escapeHtml(path) + u"\">"_s +
                     escapeHtml(name) + u"</a>"_s + escapeHtml(size) + u"</li>\n"_s;
}

QString plainText(const MimeEntity& entity)
{
    if (entity.type == u"multipart/alternative") {
        const MimeEntity* chosen = chosenAlternative(entity, true);
        return chosen ? plainText(*chosen) : QString();
    }
    if (entity.type == u"multipart/related") {
        const MimeEntity* root = relatedRoot(entity);
        return root ? plainText(*root) : QString();
    }
    if (entity.isMultipart() || entity.type == u"message/rfc822") {
        QStringList texts;
        for (const MimeEntity& part : entity.parts) {
            const QString text = plainText(part);
            if (!text.isEmpty())
                texts << text;
        }
        return texts.join(u"\n\n"_s);
    }
    if (isAttachment(entity))
        return {};
    if (entity.type == u"text/html")
        return htmlPlainText(entity.text());
    if (entity.type.startsWith(u"text/"))
        return entity.text().replace(u"\r\n"_s, u"\n"_s).trimmed();
    return {};
}

} // namespace

RenderedHtml renderMail(const MimeEntity& message, const PageResources& resources)
{
    return MailRenderer(resources).render(message);
}

QString mailPlainText(const MimeEntity& message)
{
    return plainText(message);
}

} // namespace quill::richtext
