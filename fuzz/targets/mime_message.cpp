// The mail decoder over arbitrary bytes. The first byte says what the rest is: a MIME message, a document's
// MIME_PART items (each behind its length, two bytes), or an RFC 822 header item. Whatever it holds, the
// rendered mail and the sanitized HTML hold nothing that runs script, loads from outside or leads outside.
#include "fuzzinput.h"
#include "richtext/htmlsafety.h"
#include "richtext/htmlsanitizer.h"
#include "richtext/mailrenderer.h"
#include "richtext/mimeitems.h"
#include "richtext/mimemessage.h"

#include <cstddef>
#include <cstdint>

using namespace quill::richtext;

namespace {

void check(const char* what, const QString& html)
{
    if (const QString unsafe = unsafeMarkup(html); !unsafe.isEmpty())
        quill::fuzz::propertyFailed(what, unsafe + u'\n' + html);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray rest = QByteArray::fromRawData(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    QByteArray message = rest;
    switch (data[0] % 3) {
    case 1: {
        QList<QByteArray> items;
        for (qsizetype at = 0; at + 2 <= rest.size();) {
            const qsizetype length = quint8(rest[at]) | (quint8(rest[at + 1]) << 8);
            items << rest.mid(at + 2, length);
            at += 2 + length;
        }
        // A body kept in a file object: the object holds its own name.
        message = assembleMimeMessage(items, [](const QString& name) { return std::optional(name.toUtf8()); }).message;
        break;
    }
    case 2:
        parseRfc822Item(rest);
        break;
    default:
        break;
    }
    const MimeEntity entity = parseMimeEntity(message);
    PageResources resources;
    resources.saveFile = [](const FileToSave& file) { return file.name; };
    check("the rendered mail holds unsafe markup", renderMail(entity, resources).html);
    mailPlainText(entity);
    SanitizeHooks hooks;
    hooks.contentPath = [](const QString& id) { return id; };
    check("the sanitized HTML holds unsafe markup", sanitizeHtml(QString::fromUtf8(rest), hooks));
    return 0;
}
