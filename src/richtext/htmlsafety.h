#pragma once

#include <QString>
#include <QStringView>

namespace quill::richtext {

// What in a page or fragment would run script, load something from outside or lead outside the export, read
// as a browser reads it; empty when there is nothing. Unsafe: script, frames, objects, forms, SVG and the
// like; a <base>, <link> or <meta> other than the page's charset, policy, referrer and viewport; an event
// handler attribute (on...); an href that is not http, https, mailto or a relative path; a src that is not a
// relative path; srcset, background, action, formaction, poster, data and xlink:href; url(), expression()
// or @import in a style. For tests, the fuzz targets, and the checks of whoever puts these fragments in pages.
QString unsafeMarkup(QStringView html);

} // namespace quill::richtext
