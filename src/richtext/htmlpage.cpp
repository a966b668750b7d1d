#include "richtext/htmlpage.h"

#include "richtext/htmltext.h"

using namespace Qt::StringLiterals;

namespace quill::richtext {

QString contentSecurityPolicy()
{
    return u"default-src 'none'; img-src 'self'; style-src 'unsafe-inline'; base-uri 'none'; form-action 'none'"_s;
}

QString pageStyleSheet()
{
    return uR"(body{font-family:sans-serif;margin:1em 2em;color:#000;background:#fff}
.rt{margin:0.5em 0}
.rt-p{margin:0;min-height:1.2em;white-space:pre-wrap;tab-size:4}
.rt-list{margin:0;padding-left:1.75em}
.rt-check{list-style-type:"\2611  "}
.rt-uncheck{list-style-type:"\2610  "}
.rt-table{border-collapse:collapse;margin:0.25em 0}
.rt-table td{border:1px solid #999;padding:2px 6px;vertical-align:top}
.rt-hr{border:0;border-top:1px solid #888;margin:0.5em 0}
.rt-section{margin:0.25em 0}
.rt-section-title{font-weight:bold;cursor:pointer}
.rt-img{max-width:100%;vertical-align:baseline}
.rt-attachment{white-space:nowrap}
.rt-attachment .rt-img{vertical-align:middle;margin-right:0.25em}
.rt-placeholder{color:#777;border:1px dashed #aaa;padding:0 0.25em;font-size:90%}
.rt-missing{color:#777}
.rt-caption{font-size:90%;color:#555;margin:0 0.25em}
.rt-mail-headers{border-collapse:collapse;margin:0.5em 0}
.rt-mail-headers th{text-align:left;padding-right:1em;color:#555;font-weight:normal}
.rt-attachments{margin:0.5em 0;padding-left:1.5em}
.rt-mail-html{margin:0.5em 0}
)"_s;
}

QString htmlPage(const QString& title, const QString& bodyHtml)
{
    // Everything but the title and the body is the same on every page.
    static const QString head = u"<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n"_s
                                u"<meta http-equiv=\"Content-Security-Policy\" content=\""_s +
                                escapeHtml(contentSecurityPolicy()) +
                                u"\">\n<meta name=\"referrer\" content=\"no-referrer\">\n"_s
                                u"<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>"_s;
    static const QString style = u"</title>\n<style>\n"_s + pageStyleSheet() + u"</style>\n</head>\n<body>\n"_s;
    static constexpr QStringView tail = u"</body>\n</html>\n";
    QString page;
    page.reserve(head.size() + title.size() + title.size() / 8 + style.size() + bodyHtml.size() + tail.size());
    page += head;
    appendEscapedHtml(page, title);
    page += style;
    page += bodyHtml;
    page += tail;
    return page;
}

} // namespace quill::richtext
