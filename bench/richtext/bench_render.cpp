// What rendering one document's body costs the export's thread: the rich text of the export benchmark (a bold
// run, a 2x2 table, a bulleted list, two pictures, a URL link and a document link) and a MIME mail with an inline
// picture and an attachment, each rendered many times with resources that only note the files' names. Prints
// microseconds of processor time per body as figures.
#include "admin.h"
#include "richtext/htmlpage.h"
#include "richtext/mailrenderer.h"
#include "richtext/mimemessage.h"
#include "richtext/richtextrenderer.h"

#include <QFile>
#include <cstdio>
#include <ctime>

using namespace Qt::StringLiterals;
using namespace quill::richtext;

namespace {

double processorSeconds()
{
    timespec t = {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Microseconds per call of body, the best of five rounds of count calls: the least disturbed by other work.
template <typename Body> double microseconds(int count, const Body& body)
{
    double best = 1e30;
    for (int round = 0; round < 5; ++round) {
        const double before = processorSeconds();
        for (int i = 0; i < count; ++i)
            body(i);
        best = std::min(best, (processorSeconds() - before) / count * 1e6);
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::max(1, atoi(argv[1])) : 20000;
    QFile mailFile(QStringLiteral(QUILL_MAIL_SAMPLE));
    if (!mailFile.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", QUILL_MAIL_SAMPLE);
        return 1;
    }
    const QByteArray mail = mailFile.readAll();

    // The export saves each file and hands back its name; here only the name is noted.
    qsizetype saved = 0;
    PageResources resources;
    resources.saveFile = [&saved](const FileToSave& file) {
        saved += file.bytes.size();
        return file.name;
    };
    resources.attachmentPath = [](const QString& name) -> QString { return u"../附件/"_s + name; };
    resources.documentPath = [](const DocumentLink& link) -> QString {
        return u"../"_s + link.unid + u"/index.html"_s;
    };

    std::vector<QByteArray> bodies;
    for (int n = 0; n < 100; ++n)
        bodies.push_back(quill::component::admin::generatedRichBody(n + 1, u"0123456789ABCDEF0123456789ABCDEF"_s));
    qsizetype length = 0;
    const double rich = microseconds(count, [&](int i) {
        const RenderedHtml html = renderRichText(bodies[size_t(i % 100)], resources);
        length += html.html.size();
    });
    const double richPage = microseconds(count, [&](int i) {
        const RenderedHtml html = renderRichText(bodies[size_t(i % 100)], resources);
        length += htmlPage(u"合同"_s + QString::number(i), html.html).size();
    });
    const double mailed = microseconds(count, [&](int) {
        const RenderedHtml html = renderMail(parseMimeEntity(mail), resources);
        length += html.html.size();
    });
    if (length == 0 || saved == 0)
        return 1;
    std::printf("figure\tQuillmere\trendering a rich-text body (table, list, 2 pictures, 2 links) (µs)\t%.1f\n", rich);
    std::printf("figure\tQuillmere\tthat body as a whole page (µs)\t%.1f\n", richPage);
    std::printf("figure\tQuillmere\tparsing and rendering a MIME mail (HTML, inline picture, attachment) (µs)\t%.1f\n",
                mailed);
    return 0;
}
