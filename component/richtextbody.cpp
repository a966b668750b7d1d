#include "richtextbody.h"

#include "richtext/mailrenderer.h"
#include "richtext/mimemessage.h"
#include "store.h"

namespace quill::component {

void writeBody(Store& store, qint64 docId, qint64 itemSeq, BodyFormat format, const QByteArray& content)
{
    Query q(store.statement("INSERT OR REPLACE INTO rich_text(doc_id, item_seq, format, content) VALUES(?, ?, ?, ?)"));
    q->bind(1, docId).bind(2, itemSeq).bind(3, qint64(format)).bindBlob(4, content).run();
}

void deleteBodies(Store& store, qint64 docId)
{
    Query q(store.statement("DELETE FROM rich_text WHERE doc_id = ?"));
    q->bind(1, docId).run();
}

std::optional<StoredBody> readBody(Store& store, qint64 docId, qint64 itemSeq)
{
    if (!store.hasRichTextTable())
        return std::nullopt;
    Query q(store.statement("SELECT format, content FROM rich_text WHERE doc_id = ? AND item_seq = ?"));
    q->bind(1, docId).bind(2, itemSeq);
    if (!q->step())
        return std::nullopt;
    return StoredBody{q->integer(0).value_or(0), q->blob(1)};
}

DecodedMail decodeMail(const QByteArray& message)
{
    const richtext::MimeEntity entity = richtext::parseMimeEntity(message);
    DecodedMail mail;
    mail.plainText = richtext::mailPlainText(entity);
    // The attachments are what the mail's page lists as such: rendering it tells, by the same rules.
    richtext::PageResources resources;
    resources.saveFile = [&](const richtext::FileToSave& file) {
        if (file.kind == richtext::FileToSave::Kind::Attachment)
            mail.attachments.emplace_back(file.name, file.bytes);
        return file.name;
    };
    richtext::renderMail(entity, resources);
    return mail;
}

} // namespace quill::component
