// The HTML pages' share of an export: one view of rich-text documents (a table, two pictures, a URL link and a
// document link each) exported through the run with the .xls writer, pages off and then on, in the same process
// on the in-memory stand-in. Prints both times and their ratio as figures.
#include "export/exportrun.h"
#include "fakedomino.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <ctime>

using namespace Qt::StringLiterals;
using namespace quill;

namespace {

class QuietHost final : public exporting::RunHost
{
public:
    void showProgressWindow() override {}
    void setProgressText(const QString&) override {}
    void setProgress(qint32, qint32) override {}
    void closeProgressWindow() override {}
    void processEvents() override {}
};

QByteArray richText(int n, const QString& linkTarget, const QByteArray& png, const QByteArray& gif)
{
    const QByteArray number = QByteArray::number(n);
    return "<richtext><pardef id='1'/><pardef id='2' list='bullet'/>"
           "<par def='1'><run><font style='bold'/>文档" +
           number +
           "</run> 的正文，带一个表格、两张图片和链接。</par>"
           "<table widthtype='fixedleft'><tablecolumn width='1in'/><tablecolumn width='2in'/>"
           "<tablerow><tablecell><par def='1'>项目</par></tablecell><tablecell><par def='1'>金额</par></tablecell>"
           "</tablerow><tablerow><tablecell><par def='1'>合同" +
           number + "</par></tablecell><tablecell><par def='1'>" + QByteArray::number(n * 7) +
           "</par></tablecell></tablerow></table>"
           "<par def='2'>第一项</par><par def='2'>第二项</par>"
           "<par def='1'><picture width='1px' height='1px'><png>" +
           png.toBase64() + "</png></picture> <picture width='1px' height='1px'><gif>" + gif.toBase64() +
           "</gif></picture></par><par def='1'><urllink href='https://www.example.org/" + number +
           "'>网址</urllink> <doclink document='" + linkTarget.toLatin1() +
           "' database='852566B8:00701B47'>上一个文档</doclink></par></richtext>";
}

// This process's processor time: on a machine shared with other work the wall-clock time says little.
double processorSeconds()
{
    timespec t = {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

struct Times
{
    double wall;
    double processor;
};

Times exportOnce(testing::FakeDomino& domino, const QString& folder, int documents, bool pages)
{
    std::unique_ptr<domino::NotesSession> session = domino.sessionFactory()();
    session->InitLocalSession(QString());
    const std::shared_ptr<domino::NotesDatabase> database =
        session->OpenDatabase(QString(), u"/data/pages.nsf"_s, false);
    exporting::ExportLog log(folder + u"/log/"_s);
    QuietHost host;
    const exporting::OutputFormat format = exporting::defaultFormat(); // the .xls writer
    exporting::ExportRun run(*database, *session, format, log, host);
    exporting::RunOutput output;
    output.htmlPages = pages;
    run.setOutput(output);
    QElapsedTimer timer;
    timer.start();
    const double processorBefore = processorSeconds();
    const exporting::RunResult result = run.run({folder + u"/正文.xls"_s, 1}, u"全部"_s, documents);
    const Times seconds{double(timer.nsecsElapsed()) / 1e9, processorSeconds() - processorBefore};
    if (result.documents != documents || (pages && result.pages != documents + 1) || result.filesLost() > 0) {
        std::fprintf(stderr, "export incomplete: %lld documents, %lld pages\n", qint64(result.documents),
                     qint64(result.pages));
        std::exit(1);
    }
    return seconds;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int documents = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 65535;
    QTemporaryDir tmp(argc > 2 ? QString::fromLocal8Bit(argv[2]) + u"/pages-XXXXXX"_s : QString());
    const QByteArray png = QByteArray::fromBase64(
        "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8DwHwAFBQIAX8jx0gAAAABJRU5ErkJggg==");
    const QByteArray gif = QByteArray::fromBase64("R0lGODlhAQABAIAAAP///wAAACwAAAAAAQABAAACAkQBADs=");

    testing::FakeDomino domino;
    testing::FakeDatabase& db = domino.addDatabase(u"/data/pages.nsf"_s);
    db.addView(u"全部"_s, {{u"主题"_s, u"Subject"_s}});
    QString previous = u"00000000000000000000000000000000"_s;
    for (int n = 1; n <= documents; ++n) {
        testing::FakeDocument& doc = db.addDocument();
        const QByteArray dxl = richText(n, previous, png, gif);
        doc.text(u"Subject"_s, u"合同%1"_s.arg(n))
            .number(u"Amount"_s, n * 7)
            .richText(u"Body"_s, u"文档%1 的正文"_s.arg(n), {}, dxl);
        previous = doc.id;
    }

    const QString without = tmp.filePath(u"without"_s), with = tmp.filePath(u"with"_s);
    QDir().mkpath(without);
    QDir().mkpath(with);
    const Times off = exportOnce(domino, without, documents, false);
    const Times on = exportOnce(domino, with, documents, true);
    const QString what = u"export of %1 rich-text documents (stand-in)"_s.arg(documents);
    std::printf("figure\tQuillmere\t%s without pages (s, processor s)\t%.2f, %.2f\n", qPrintable(what), off.wall,
                off.processor);
    std::printf("figure\tQuillmere\t%s with pages (s, processor s)\t%.2f, %.2f\n", qPrintable(what), on.wall,
                on.processor);
    std::printf("figure\tQuillmere\t%s, pages on / off (wall)\t%.2f\n", qPrintable(what), on.wall / off.wall);
    return 0;
}
