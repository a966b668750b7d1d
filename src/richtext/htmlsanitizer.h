#pragma once

#include <QString>
#include <QStringView>
#include <functional>

namespace quill::richtext {

// What the sanitizer does with a picture or link it meets.
struct SanitizeHooks
{
    // The path, relative to the page, of the saved part of the mail with this Content-ID (without "<>");
    // empty when there is none. A cid: picture or link without one is left out.
    std::function<QString(const QString& contentId)> contentPath;
};

// The HTML of a mail, made safe to show as part of a page: it is read as a browser reads it and written anew
// from what is kept, every text and attribute escaped and every element closed.
//   kept          formatting, lists, tables, headings, links, pictures (a, b, i, u, s, p, div, span, font,
//                 table..., img) with the harmless attributes (alignment, sizes, colours, spans, title, alt)
//   style         only declarations of a list of properties whose value loads nothing (no url(), no
//                 expression, no escapes)
//   dropped with  script, style, iframe, object, embed, applet, svg, math, template, noscript, form controls
//   content       (input, button, select, textarea), head elements (title, meta, link, base)
//   unwrapped     every other element (html, body, form, unknown ones): its content stays
//   links         http, https and mailto; cid: to the saved part; anything else loses its href
//   pictures      cid: to the saved part; a remote one (http, https) or any other becomes a marked
//                 placeholder, so nothing is loaded from outside
//   event handler attributes (on...), id, class, target and every attribute not named above are dropped.
QString sanitizeHtml(QStringView html, const SanitizeHooks& hooks = {});

// The text a reader sees in HTML: blocks and line breaks on lines of their own, table cells separated by
// tabs, runs of blanks as one (except in <pre>), nothing of what the sanitizer drops with its content.
QString htmlPlainText(QStringView html);

} // namespace quill::richtext
