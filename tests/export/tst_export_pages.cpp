#include "export/htmlpages.h"
#include "export/pagewriter.h"
#include "exporttestsupport.h"
#include "richtext/plaintext.h"

#include <QProcess>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace quill::exporting;
using namespace quill::testing;
using Cell = std::pair<int, int>;

namespace {

const QString kNow = u";2026-12-8 4:24:34"_s;
const QString kBudgetId = u"0123456789ABCDEF0123456789ABCDEF"_s; // the target of the sample's document link

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A mail with an HTML body that shows a picture by cid:, and tries a script, an event handler, a remote
// picture and a javascript: link; and an attachment the document also holds.
const QByteArray kMail =
    "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"outer\"\r\n\r\n"
    "--outer\r\nContent-Type: multipart/related; boundary=\"inner\"\r\n\r\n"
    "--inner\r\nContent-Type: text/html; charset=UTF-8\r\n\r\n"
    "<p>各位：<b>季度会议</b>改到周五。</p><img src=\"cid:logo@example.cn\" alt=\"标志\">"
    "<script>alert(1)</script><img src=\"http://evil.example/x.png\" onerror=\"alert(2)\">"
    "<a href=\"javascript:alert(3)\" onclick=\"alert(4)\">点我</a>\r\n"
    "--inner\r\nContent-Type: image/png\r\nContent-ID: <logo@example.cn>\r\n"
    "Content-Transfer-Encoding: base64\r\n\r\n"
    "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8DwHwAFBQIAX8jx0gAAAABJRU5ErkJggg==\r\n"
    "--inner--\r\n"
    "--outer\r\nContent-Type: text/plain; charset=UTF-8\r\n"
    "Content-Disposition: attachment; filename=\"=?UTF-8?B?5ZCI5ZCMLnR4dA==?=\"\r\n\r\n"
    "合同正文\r\n--outer--\r\n";

// Rich text that tries what a hostile database could put in one.
const QByteArray kHostile = "<richtext><pardef id='1'/><par def='1'>&lt;script&gt;alert(1)&lt;/script&gt; "
                            "<urllink href='javascript:alert(1)'>点我</urllink> "
                            "<urllink href='http://example.org/a\" onmouseover=\"alert(1)'>外链</urllink></par>"
                            "</richtext>";

struct Archive
{
    ExportRig rig;
    QString folder; // the attachment folder
    RunResult result;
    QString plainText; // of the sample's rich text
};

// Four documents: the sample's rich text (its document link points at this very document), a response to it
// with an attachment named like the page, a mail, a hostile rich text; Subject is the view's column.
void exportArchive(Archive& a, bool pageColumn = false)
{
    ExportRig& rig = a.rig;
    const QByteArray dxl = readFile(QStringLiteral(QUILL_TEST_DATA) + u"/richtext/constructs.xml"_s);
    QVERIFY(!dxl.isEmpty());
    a.plainText = quill::richtext::richTextPlainText(dxl).text;
    rig.db.addView(u"全部"_s, {{u"主题"_s, u"Subject"_s}});
    FakeDocument& budget = rig.db.addDocument();
    budget.id = kBudgetId;
    budget.text(u"Subject"_s, u"预算"_s)
        .richText(u"Body"_s, a.plainText, {}, dxl)
        .number(u"Count"_s, 3)
        .attachment(u"report.xls"_s, "XLS");
    rig.db.addDocument()
        .text(u"Subject"_s, u"回复"_s)
        .text(u"$REF"_s, kBudgetId)
        .attachment(u"文档.html"_s, "not the page");
    rig.db.addDocument()
        .text(u"Subject"_s, u"会议通知"_s)
        .mail(u"Body"_s, u"各位：季度会议改到周五。"_s, kMail)
        .attachment(u"合同.txt"_s, "合同正文");
    rig.db.addDocument()
        .text(u"Subject"_s, u"恶意"_s)
        .richText(u"Body"_s, u"<script>alert(1)</script> 点我 外链"_s, {}, kHostile);
    rig.output.htmlPages = true;
    rig.pageColumn = pageColumn;
    a.result = rig.run(u"全部"_s, 1, 4, rig.workbook());
    a.folder = rig.out() + u"全部附件"_s;
}

QString page(const Archive& a, int n)
{
    return QString::fromUtf8(readFile(a.folder + u'/' + a.rig.db.documents[size_t(n - 1)]->id + u"/文档.html"_s));
}

} // namespace

class TestExportPages : public QObject
{
    Q_OBJECT
private slots:
    void archiveOfPages();
    void pagesPassAnIndependentParser();
    void pageColumn();
    void lostPagesAreReported();
    void indexNestsResponses();
    void writerKeepsOrderAndEveryFile();
    void laterExportsAddToTheIndex();
    void damagedBodyIsTold();
};

void TestExportPages::archiveOfPages()
{
    Archive a;
    exportArchive(a);
    const QString id2 = a.rig.db.documents[1]->id;
    const QStringList files = filesBelow(a.folder);
    for (int n = 1; n <= 4; ++n)
        QVERIFY2(files.contains(a.rig.db.documents[size_t(n - 1)]->id + u"/文档.html"_s), qPrintable(files.join(u' ')));
    QVERIFY(files.contains(u"index.html"_s));
    // The attachment named like the page gives way to it.
    QVERIFY(files.contains(id2 + u"/文档 (2).html"_s));
    QCOMPARE(readFile(a.folder + u'/' + id2 + u"/文档 (2).html"_s), QByteArray("not the page"));
    QCOMPARE(a.result.pages, 5);
    QVERIFY(a.result.pageFiles >= 4); // three pictures of the sample, one of the mail
    QCOMPARE(a.result.pagesUnsaved, 0);

    // The constructs as HTML; the document link to a document of the export leads to its page, the other
    // shows its id; the attachment icon leads to the saved file.
    const QString budget = page(a, 1);
    for (const QString& construct :
         {u"<b>bold</b>"_s, u"<table class=\"rt-table\""_s, u"<ul class=\"rt-list"_s, u"<ol class=\"rt-list"_s,
          u"href=\"https://www.example.org/report?q=1&amp;r=2\""_s,
          QString(u"href=\"../"_s + kBudgetId + u"/%E6%96%87%E6%A1%A3.html\""_s), u"FEDCBA9876543210FEDCBA9876543210"_s,
          u"href=\"report.xls\""_s, u"<img "_s, u"<td>预算</td>"_s, u"<th>Count</th><td>3</td>"_s})
        QVERIFY2(budget.contains(construct), qPrintable(construct));
    QVERIFY(!budget.contains(u"href=\"../FEDCBA"_s));
    // The mail: its picture saved, its attachment the one the attachment step saved; nothing hostile left.
    const QString mail = page(a, 3);
    QVERIFY(mail.contains(u"季度会议"_s));
    QVERIFY(mail.contains(u"href=\"%E5%90%88%E5%90%8C.txt\""_s));
    QVERIFY(!files.contains(a.rig.db.documents[2]->id + u"/合同 (2).txt"_s));
    for (const QString& hostile : {mail, page(a, 4)}) {
        QVERIFY(!hostile.contains(u"<script"_s));
        QVERIFY(!hostile.contains(u"evil.example"_s));
        QVERIFY(!hostile.contains(u"javascript:"_s));
    }

    // Log lines in the log's style, and a sentence in the message.
    const QStringList log = readLogLines(a.rig.logPath());
    const QString folder1 = a.folder + u'/' + kBudgetId + u'/';
    QVERIFY(log.contains(u"保存第1个文档的网页到:"_s + folder1 + u"文档.html"_s + kNow));
    QVERIFY(log.contains(u"保存网页索引到:"_s + a.folder + u"/index.html"_s + kNow));
    QVERIFY(std::any_of(log.begin(), log.end(),
                        [&](const QString& l) { return l.startsWith(u"保存第1个文档网页中的文件到:"_s + folder1); }));
    const QString message = a.rig.host.messages().value(0);
    QVERIFY2(message.startsWith(QString::fromUtf16(kFinished) + a.folder + u"\n另外写了5个网页和网页中的"_s),
             qPrintable(message));
    QVERIFY(message.section(u'\n', 1, 1).endsWith(u"，用浏览器打开"_s + a.folder + u"/index.html即可浏览。"_s));
}

void TestExportPages::pagesPassAnIndependentParser()
{
    // html5lib reads every page as a browser would: no parse error, the policy, no script or handler, every
    // picture and link a file of the export; the sample's page holds the words of its plain text.
    Archive a;
    exportArchive(a);
    QVERIFY(QFile::remove(a.folder + u'/' + a.rig.db.documents[1]->id + u"/文档 (2).html"_s)); // an attachment
    QFile text(a.folder + u'/' + kBudgetId + u"/文档.txt"_s);
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write(a.plainText.toUtf8());
    text.close();
    QProcess python;
    python.start(u"/usr/bin/python3"_s, {QStringLiteral(QUILL_PAGE_CHECK), a.folder});
    QVERIFY(python.waitForFinished(60000));
    const QString report = QString::fromUtf8(python.readAllStandardOutput() + python.readAllStandardError());
    QVERIFY2(python.exitStatus() == QProcess::NormalExit && python.exitCode() == 0, qPrintable(report));
    QVERIFY2(report.contains(u"5 pages checked"_s), qPrintable(report));
}

void TestExportPages::pageColumn()
{
    // A format that asks for it gets the page's path beside the items; .xls does not ask.
    Archive a;
    exportArchive(a, true);
    const auto& cells = a.rig.excel->saved;
    QCOMPARE(cells.at(Cell(1, 5)), u"网页"_s); // after 文档ID, Subject, Body, Count
    QCOMPARE(cells.at(Cell(2, 5)), u"全部附件/"_s + kBudgetId + u"/文档.html"_s);
    QCOMPARE(cells.at(Cell(3, 5)), u"全部附件/"_s + a.rig.db.documents[1]->id + u"/文档.html"_s);
    Archive plain;
    exportArchive(plain);
    QVERIFY(!plain.rig.excel->saved.contains(Cell(1, 5)));
}

void TestExportPages::lostPagesAreReported()
{
    // A page that cannot be written is a lost file: logged with its reason, counted and told; the others are written.
    ExportRig rig;
    rig.db.addView(u"全部"_s);
    const QString id1 = rig.db.addDocument().text(u"Subject"_s, u"s1"_s).id;
    rig.db.addDocument().text(u"Subject"_s, u"s2"_s);
    const QString blocked = rig.out() + u"全部附件/"_s + id1 + u"/文档.html"_s;
    QVERIFY(QDir().mkpath(blocked));
    rig.output.htmlPages = true;
    const RunResult result = rig.run(u"全部"_s, 1, 2, rig.workbook());
    QCOMPARE(result.pagesUnsaved, 1);
    QCOMPARE(result.pages, 2); // the second document's and the index
    QVERIFY(result.filesLost() > 0);
    const QStringList log = readLogLines(rig.logPath());
    QVERIFY(std::any_of(log.begin(), log.end(), [&](const QString& l) {
        return l.startsWith(u"保存第1个文档的网页出错:"_s + blocked + u"，"_s) && l.contains(u"已有同名的文件夹"_s);
    }));
    const QString message = rig.host.messages().value(0);
    QVERIFY2(message.startsWith(QString::fromUtf16(kFinishedWithLosses) + u"1个网页或网页中的文件未能保存"_s),
             qPrintable(message));
    // The index lists only the pages there are.
    const QString index = QString::fromUtf8(readFile(rig.out() + u"全部附件/index.html"_s));
    QVERIFY(!index.contains(id1));
    QVERIFY(index.contains(rig.db.documents[1]->id));
}

void TestExportPages::indexNestsResponses()
{
    // Responses under their parents however deep, a loop of $REF items and a parent outside the export listed
    // all the same, each once.
    std::vector<IndexEntry> entries;
    entries.push_back({u"A"_s, u"A"_s, u"甲"_s, {}});
    entries.push_back({u"B"_s, u"B"_s, u"乙"_s, u"A"_s});
    entries.push_back({u"C"_s, u"C"_s, u"丙"_s, u"OUTSIDE"_s});
    entries.push_back({u"D"_s, u"D"_s, u"丁"_s, u"E"_s});
    entries.push_back({u"E"_s, u"E"_s, u"戊"_s, u"D"_s});
    const int chain = 20000;
    for (int i = 0; i < chain; ++i)
        entries.push_back({u"L%1"_s.arg(i), u"L%1"_s.arg(i), u"链%1"_s.arg(i), i ? u"L%1"_s.arg(i - 1) : u"B"_s});
    const QString html = HtmlPageStep::indexPage(u"视图"_s, entries);
    QVERIFY(html.contains(u"甲</a> <span class=\"doc-id\">A</span>\n<ul>\n<li><a href=\"B/"_s));
    QVERIFY(html.contains(u"<li><a href=\"C/%E6%96%87%E6%A1%A3.html\">丙</a>"_s));
    for (const QString& title : {u"丁"_s, u"戊"_s, u"链19999"_s})
        QCOMPARE(html.count(u">"_s + title + u"</a>"_s), 1);
    QCOMPARE(html.count(u"<ul"_s), html.count(u"</ul>"_s));
    QCOMPARE(html.count(u"<li>"_s), html.count(u"</li>"_s));
}

void TestExportPages::writerKeepsOrderAndEveryFile()
{
    // Outcomes in the order of the jobs, each file's own; a folder that cannot be made loses its job's files
    // with its reason and no other's; what is still queued when the writer goes is written all the same.
    QTemporaryDir tmp;
    QVERIFY(QDir(tmp.path()).mkpath(u"B/文档.html"_s)); // a folder where B's page would be
    QFile blocker(tmp.filePath(u"C"_s));                // a file where C's folder would be
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const auto job = [&](qint64 n, const QString& folder) {
        return PageWriter::Job{n,
                               folder,
                               tmp.path() + u'/' + folder + u'/',
                               {{u"图片.png"_s, "png" + folder.toUtf8()}, {u"文档.html"_s, "<p>" + folder.toUtf8()}}};
    };
    std::vector<PageWriter::Outcome> outcomes;
    {
        PageWriter writer(quill::platform::OutputFolder::open(tmp.path()));
        for (const auto& [n, folder] : {std::pair{1, u"A"_s}, {2, u"B"_s}, {3, u"C"_s}})
            writer.submit(job(n, folder));
        outcomes = writer.takeWritten();
        QVERIFY(writer.takeWritten().empty());
        for (qint64 n = 4; n < 40; ++n)
            writer.submit(job(n, u"D%1"_s.arg(n)));
    }
    QCOMPARE(outcomes.size(), size_t(3));
    const QStringList expected[] = {{{}, {}}, {{}, u"已有同名的文件夹"_s}, {u"无法创建文件夹"_s, u"无法创建文件夹"_s}};
    for (size_t i = 0; i < outcomes.size(); ++i) {
        QCOMPARE(outcomes[i].position, qint64(i + 1));
        QCOMPARE(outcomes[i].files.size(), size_t(2));
        for (int f = 0; f < 2; ++f) {
            const PageWriter::Written& written = outcomes[i].files[size_t(f)];
            QVERIFY2(expected[i][f].isEmpty() ? written.error.isEmpty() : written.error.contains(expected[i][f]),
                     qPrintable(written.error));
        }
    }
    QCOMPARE(outcomes[0].files[1].target, tmp.path() + u"/A/文档.html"_s);
    QCOMPARE(readFile(tmp.filePath(u"A/文档.html"_s)), QByteArray("<p>A"));
    QCOMPARE(readFile(tmp.filePath(u"B/图片.png"_s)), QByteArray("pngB"));
    QCOMPARE(readFile(tmp.filePath(u"D39/文档.html"_s)), QByteArray("<p>D39"));
}

void TestExportPages::laterExportsAddToTheIndex()
{
    // Two exports of one view into one folder from different start numbers: the index lists both; a page removed
    // meanwhile is no longer listed, a document exported again is listed once, where it was.
    ExportRig rig;
    rig.db.addView(u"全部"_s);
    QStringList ids;
    for (int i = 1; i <= 5; ++i)
        ids << rig.db.addDocument().text(u"Subject"_s, u"主题%1"_s.arg(i)).id;
    rig.output.htmlPages = true;
    rig.run(u"全部"_s, 1, 3, rig.workbook()); // the first three, as if the view had held three
    const QString folder = rig.out() + u"全部附件/"_s;
    QVERIFY(QDir(folder + ids[0]).removeRecursively());
    rig.run(u"全部"_s, 3, 5, rig.out() + u"合同_开始为第3个文档.xls"_s);
    const QString index = QString::fromUtf8(readFile(folder + u"index.html"_s));
    QVERIFY(!index.contains(ids[0]));
    qsizetype at = 0;
    for (int i = 1; i < 5; ++i) {
        const QString shown = u"<span class=\"doc-id\">"_s + ids[i] + u"</span>"_s;
        QCOMPARE(index.count(shown), 1);
        QVERIFY(index.indexOf(shown) > at);
        at = index.indexOf(shown);
    }
    QVERIFY(index.contains(u"共4个文档"_s));

    // The list read back: entries whose folder would lead elsewhere, or that are not whole, are left out; a list
    // that is not JSON is none.
    const std::vector<IndexEntry> read = HtmlPageStep::readIndexList(
        R"({"documents":[{"id":"A","folder":"A","title":"甲"},{"id":"B","folder":"../B"},{"id":"C","folder":"x/C"},
            {"id":"","folder":"D"},{"id":"E","folder":".."},{"id":"F","folder":"F","parent":"A"},7]})");
    QCOMPARE(read.size(), size_t(2));
    QCOMPARE(read[1].parent, u"A"_s);
    QVERIFY(HtmlPageStep::readIndexList("{\"documents\":").empty());
    const std::vector<IndexEntry> again = HtmlPageStep::readIndexList(HtmlPageStep::indexList(u"视图"_s, read));
    QCOMPARE(again.size(), size_t(2));
    QCOMPARE(again[0].title, u"甲"_s);
}

void TestExportPages::damagedBodyIsTold()
{
    // A body whose stored structure breaks off: the page shows what was read, the log line and the message say
    // so, the cell keeps the whole plain text.
    ExportRig rig;
    rig.db.addView(u"全部"_s);
    rig.db.addDocument().richText(u"Body"_s, u"完整的正文"_s, {},
                                  "<richtext><pardef id='1'/><par def='1'>前半段</par><par");
    rig.output.htmlPages = true;
    const RunResult result = rig.run(u"全部"_s, 1, 1, rig.workbook());
    QCOMPARE(result.bodiesIncomplete, 1);
    QCOMPARE(result.pagesUnsaved, 0);
    const QStringList log = readLogLines(rig.logPath());
    QVERIFY(std::any_of(log.begin(), log.end(), [](const QString& l) {
        return l.startsWith(u"读取第1个文档的Body域正文出错，网页中只有读出的部分:"_s);
    }));
    const QString message = rig.host.messages().value(0);
    QVERIFY2(message.contains(u"\n1个富文本或邮件正文未能完整读出，网页中只有读出的部分"_s), qPrintable(message));
    const QString page =
        QString::fromUtf8(readFile(rig.out() + u"全部附件/"_s + rig.db.documents[0]->id + u"/文档.html"_s));
    QVERIFY(page.contains(u"前半段"_s));
}

QTEST_GUILESS_MAIN(TestExportPages)
#include "tst_export_pages.moc"
