#pragma once

#include <QString>

namespace quill::richtext {

// The Content-Security-Policy of every page: nothing is loaded but the page's own pictures beside it, and
// no script runs; the only styles are the page's own.
QString contentSecurityPolicy();

// The style sheet the fragments of the renderers rely on (classes "rt", "rt-p", "rt-table"...).
QString pageStyleSheet();

// A whole HTML5 page in UTF-8 around fragments of the renderers: the policy above as a meta element, the
// style sheet, no referrer; the title escaped.
QString htmlPage(const QString& title, const QString& bodyHtml);

} // namespace quill::richtext
