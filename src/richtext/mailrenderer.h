#pragma once

#include "richtext/mimemessage.h"
#include "richtext/pageresources.h"

namespace quill::richtext {

// A mail's MIME message as an HTML fragment, <div class="rt rt-mail">:
//   multipart/alternative   the richest part that can be shown (HTML before plain text)
//   multipart/related       its root part; the other parts are what the root refers to by cid:
//   other multiparts        every part in order
//   message/rfc822          its From, To, Cc, Date and Subject in a small table, then its body
//   text/html               sanitized (htmlsanitizer.h), its cid: pictures and links pointing at the saved parts
//   text/plain and other text   escaped paragraphs, one per run of lines between empty lines
//   an inline picture       <img> of the saved file (PNG, JPEG, GIF, WebP or BMP by its bytes)
//   anything else           a link to the saved file in the list of attachments at the end, as is every part
//                           that is neither shown nor referred to
// Files are saved through the resources: pictures as pictures, the rest as attachments under their names.
RenderedHtml renderMail(const MimeEntity& message, const PageResources& resources);

// The text a reader sees in the mail: the plain text of each part shown (plain text before HTML here),
// parts separated by an empty line.
QString mailPlainText(const MimeEntity& message);

} // namespace quill::richtext
