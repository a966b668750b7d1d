// The rich-text renderer and its plain text over arbitrary bytes: an error or a fragment, and whatever the
// input holds, the fragment holds nothing that runs script, loads from outside or leads outside the export.
#include "fuzzinput.h"
#include "richtext/htmlsafety.h"
#include "richtext/plaintext.h"
#include "richtext/richtextrenderer.h"

#include <cstddef>
#include <cstdint>

using namespace quill::richtext;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    // Callbacks that hand back what the input says, as a careless export would.
    PageResources resources;
    resources.saveFile = [](const FileToSave& file) { return file.name; };
    resources.attachmentPath = [](const QString& name) { return name; };
    resources.documentPath = [](const DocumentLink& link) { return link.unid; };
    const RenderedHtml rendered = renderRichText(bytes, resources);
    if (const QString unsafe = unsafeMarkup(rendered.html); !unsafe.isEmpty())
        quill::fuzz::propertyFailed("the rendered rich text holds unsafe markup", unsafe + u'\n' + rendered.html);
    const PlainText plain = richTextPlainText(bytes);
    if (plain.error.isEmpty() != rendered.error.isEmpty())
        quill::fuzz::propertyFailed("the renderer and the plain text read the input differently",
                                    rendered.error + u" / " + plain.error);
    return 0;
}
