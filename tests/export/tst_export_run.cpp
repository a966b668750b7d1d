#include "domino/error.h"
#include "exporttestsupport.h"
#include "platform/error.h"
#include "platform/outputfolder.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace quill::exporting;
using namespace quill::testing;
using Cell = std::pair<int, int>;

namespace {

const QString kNow = u";2026-12-8 4:24:34"_s;
const QString kAsterisks(45, u'*');

// Three documents: attachments and two embedded objects in the first, none in the others.
void addStandardView(ExportRig& rig, const QString& view = u"全部"_s)
{
    rig.db.addView(view);
    rig.db.addDocument()
        .text(u"Subject"_s, u"s1"_s)
        .richText(u"Body"_s, u"正文1"_s, {{u"o1.png"_s, "o1"}, {u"o2.png"_s, "o2"}})
        .number(u"Count"_s, 1)
        .attachment(u"a.doc"_s, "A")
        .attachment(u"b.pdf"_s, "B")
        .attachment(u"c.txt"_s, "C");
    rig.db.addDocument().text(u"Subject"_s, u"s2"_s).number(u"Count"_s, 2.5);
    rig.db.addDocument().text(u"Subject"_s, u"s3"_s).richText(u"Body"_s, u"正文3"_s).number(u"Count"_s, 3);
}

QString id(ExportRig& rig, int n)
{
    return rig.db.documents[size_t(n - 1)]->id;
}

QString finished(ExportRig& rig, const QString& view = u"全部"_s)
{
    return QString::fromUtf16(kFinished) + rig.out() + view + u"附件"_s;
}

} // namespace

class TestExportRun : public QObject
{
    Q_OBJECT
private slots:
    void wholeRun();
    void duringTheRun();
    void writerDuringTheRunMovesNothing();
    void excelMissing();
    void viewAndStartDocumentFailures_data();
    void viewAndStartDocumentFailures();
    void everyAttachmentSaved();
    void lostFilesAreReported_data();
    void lostFilesAreReported();
    void itemFailures();
    void nextDocumentFailure();
    void escapingFailureSavesRowsSoFar();
    void unguardedFailuresCleanUp();
    void logFailureMidRun();
    void saveFailure();
    void hostileNamesStayInside();
    void plantedLinksAreRefused();
    void sheetLimits();
    void longTextIsCut();
    void everyValueOfAnItem();
    void columnsOfEveryDocument_data();
    void columnsOfEveryDocument();
    void wholeTextBesideTheCell();
    void threeHundredItems_data();
    void threeHundredItems();
    void documentStepsJoinEveryPass();
    void viewShorterThanCount();
    void whereTheRunStopped_data();
    void whereTheRunStopped();
};

void TestExportRun::wholeRun()
{
    ExportRig rig;
    rig.db.addView(u"全部"_s);
    for (int i = 0; i < 5; ++i)
        rig.db.addDocument().text(u"Subject"_s, u"s%1"_s.arg(i + 1)).text(u"2024"_s, u"y"_s).text(u"Body"_s, u"b"_s);
    rig.run(u"全部"_s, 3, 5, rig.workbook());

    QCOMPARE(rig.excel->calls.mid(0, 14),
             (QStringList{u"StartExcel"_s, u"SetColumnWidth(1,40)"_s, u"SetColumnWidth(2,17)"_s, u"SetCellValue(1,2)"_s,
                          u"SetCellValue(1,1)"_s, u"SetColumnWidth(2,40)"_s, u"SetColumnWidth(3,14)"_s,
                          u"SetCellTextFormat(1,3)"_s, u"SetCellValue(1,3)"_s, u"SetCellValue(1,1)"_s,
                          u"SetColumnWidth(3,40)"_s, u"SetColumnWidth(4,14)"_s, u"SetCellValue(1,4)"_s,
                          u"SetCellValue(1,1)"_s}));
    QCOMPARE(rig.excel->calls.mid(rig.excel->calls.size() - 2), (QStringList{u"SaveWorkbook"_s, u"QuitExcel"_s}));
    QCOMPARE(rig.excel->savedAs, rig.workbook());
    QVERIFY(!rig.excel->alive);

    const auto& cells = rig.excel->saved;
    QCOMPARE(cells.at(Cell(1, 1)), u"文档ID"_s);
    QCOMPARE(cells.at(Cell(1, 3)), u"2024"_s);
    for (int j = 0; j < 3; ++j) {
        QCOMPARE(cells.at(Cell(j + 2, 1)), id(rig, 3 + j));
        QCOMPARE(cells.at(Cell(j + 2, 2)), u"s%1"_s.arg(3 + j));
    }
    QVERIFY(!cells.contains(Cell(5, 1)));

    const QString prefix = u"text:正在导出数据到合同_开始为第1个文档.xls..."_s;
    QCOMPARE(rig.host.shown, (QStringList{u"show"_s, prefix, u"progress:0/5"_s, prefix + u"1/5"_s, u"progress:1/5"_s,
                                          prefix + u"2/5"_s, u"progress:2/5"_s, prefix + u"3/5"_s, u"progress:3/5"_s,
                                          u"close"_s, u"message:"_s + finished(rig)}));
    // Once per document and once per written cell.
    QCOMPARE(rig.host.events, 3 + 3 * 3);
}

void TestExportRun::duringTheRun()
{
    // Whenever the run lets the event loop turn, the line of the step before is in the file already,
    // and the run holds one read batch of the database.
    ExportRig rig;
    addStandardView(rig);
    QStringList lastLines;
    rig.host.onEvents = [&] {
        QCOMPARE(rig.domino.openReadBatches(), 1);
        lastLines << readLogLines(rig.logPath()).last();
    };
    rig.run(u"全部"_s, 1, 3, rig.workbook());
    QCOMPARE(rig.domino.openReadBatches(), 0);
    const QString cell = u" s值写入excel表 "_s + kNow;
    const QString att = u"保存第1个文档第3个附件到:"_s + rig.out() + u"全部附件/"_s + id(rig, 1) + u"/c.txt"_s + kNow;
    QCOMPARE(lastLines, (QStringList{att, cell, cell, cell, u"完成向excel写入第2个文档"_s + kNow, cell, cell,
                                     u"完成向excel写入第3个文档"_s + kNow, cell, cell, cell}));
}

void TestExportRun::writerDuringTheRunMovesNothing()
{
    // Another program adds documents that sort first while the run walks the view: by the run's own view, and by
    // one its caller holds still through two workbooks. Each row holds the document the view had there before.
    for (const bool given : {false, true}) {
        ExportRig rig;
        addStandardView(rig);
        const QStringList before = {id(rig, 1), id(rig, 2), id(rig, 3)};
        rig.host.onEvents = [&] {
            if (rig.db.documents.size() < 6)
                rig.db.addDocumentFirst().text(u"Subject"_s, u"new"_s);
        };
        QStringList written;
        const auto takeRows = [&] {
            for (int row = 2; rig.excel->cells.contains(Cell(row, 1)); ++row)
                written << rig.excel->cells.at(Cell(row, 1));
            rig.excel->cells.clear();
        };
        if (given) {
            auto session = rig.domino.sessionFactory()();
            session->InitLocalSession(QString());
            const auto view = session->OpenDatabase(QString(), u"/data/crm.nsf"_s, false)->FindView(u"全部"_s);
            view->SetAutoUpdate(false);
            rig.limits.rows = 3;
            QCOMPARE(rig.run(u"全部"_s, 1, 3, rig.workbook(), view.get()).nextStart, 3);
            takeRows();
            rig.run(u"全部"_s, 3, 3, rig.workbook(), view.get());
        } else {
            rig.run(u"全部"_s, 1, 3, rig.workbook());
        }
        takeRows();
        QCOMPARE(written, before);
        QCOMPARE(rig.db.views[0].entries.size(), size_t(6));
    }
}

void TestExportRun::excelMissing()
{
    for (bool factoryFails : {true, false}) {
        ExportRig rig;
        addStandardView(rig);
        rig.excelMissing = factoryFails;
        if (!factoryFails)
            rig.excel->fail(u"StartExcel"_s);
        rig.run(u"全部"_s, 1, 3, rig.workbook());
        QCOMPARE(rig.host.shown, QStringList{u"message:"_s + QString::fromUtf16(kExcelMissing)});
        QCOMPARE(rig.excel->saves, 0);
        QCOMPARE(readLogLines(rig.logPath()).size(), 1);
        QCOMPARE(rig.domino.calls(), QStringList());
    }
}

void TestExportRun::viewAndStartDocumentFailures_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("start");
    QTest::addColumn<QString>("message");
    QTest::newRow("view") << u"FindView"_s << 1 << u"连接视图出错:坏了"_s;
    QTest::newRow("view held still") << u"SetAutoUpdate"_s << 1 << u"连接视图出错:坏了"_s;
    QTest::newRow("start document") << u"NthDocument"_s << 1 << u"连接文档出错:坏了"_s;
    QTest::newRow("item names") << u"Items"_s << 1 << u"连接文档出错:坏了"_s;
    QTest::newRow("start 0") << QString() << 0 << u"连接文档出错:视图中没有第0个文档"_s;
}

void TestExportRun::viewAndStartDocumentFailures()
{
    QFETCH(QString, operation);
    QFETCH(int, start);
    QFETCH(QString, message);
    ExportRig rig;
    addStandardView(rig);
    if (!operation.isEmpty())
        rig.domino.failOn(operation, u"坏了"_s);
    rig.run(u"全部"_s, start, 3, rig.workbook());
    QCOMPARE(rig.host.shown.mid(rig.host.shown.size() - 2), (QStringList{u"close"_s, u"message:"_s + message}));
    QCOMPARE(rig.excel->saves, 1);
    QVERIFY(rig.excel->saved.empty());
    QCOMPARE(rig.excel->quits, 1);
    QVERIFY(!rig.host.open);
}

void TestExportRun::everyAttachmentSaved()
{
    ExportRig rig;
    rig.db.addView(u"全部"_s);
    FakeDocument& doc = rig.db.addDocument();
    const std::vector<HostileAttachment> attachments = hostileAttachments();
    for (const HostileAttachment& a : attachments)
        doc.attachment(a.name, a.contents);
    // An object that is one of the attachments again is not written twice; another of a taken name is.
    doc.richText(u"Body"_s, u"t"_s, {{u"A.TXT"_s, attachments[15].contents}})
        .richText(u"Other"_s, u"o"_s, {{u"dup.txt"_s, "another object"}});
    // Documents whose ids reduce to one folder name.
    for (const QString& id : {u"../same"_s, u"same"_s, u"SAME"_s})
        rig.db.addDocument().attachment(u"a.txt"_s, id.toUtf8()).id = id;
    rig.run(u"全部"_s, 1, 4, rig.workbook());

    const QString folder = rig.out() + u"全部附件/"_s + doc.id + u'/';
    QStringList expected = {u"dup (6).txt"_s};
    const QStringList log = readLogLines(rig.logPath());
    for (size_t k = 0; k < attachments.size(); ++k) {
        const HostileAttachment& a = attachments[k];
        expected << a.savedAs;
        QFile file(folder + a.savedAs);
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(a.savedAs));
        QCOMPARE(file.readAll(), a.contents);
        QString name = a.name;
        name.replace(u'\n', u"\\n"_s);
        const QString at = u"第1个文档第%1个附件"_s.arg(k + 1);
        QVERIFY2(log.contains(u"获取"_s + at + u':' + name + kNow), qPrintable(name));
        QVERIFY2(log.contains(u"保存"_s + at + u"到:"_s + folder + a.savedAs + kNow), qPrintable(a.savedAs));
    }
    expected.sort();
    QCOMPARE(filesBelow(folder), expected);
    QVERIFY(log.contains(u"分离第1个文档RichText域到:"_s + folder + u"a.txt"_s + kNow));
    QVERIFY(log.contains(u"分离第1个文档RichText域到:"_s + folder + u"dup (6).txt"_s + kNow));
    const QStringList folders = {u"same/a.txt"_s, u"same (2)/a.txt"_s, u"SAME (3)/a.txt"_s};
    for (qsizetype i = 0; i < folders.size(); ++i) {
        QFile file(rig.out() + u"全部附件/"_s + folders[i]);
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(folders[i]));
        QCOMPARE(file.readAll(), rig.db.documents[size_t(i + 1)]->id.toUtf8());
    }
    QCOMPARE(rig.host.messages(), QStringList{finished(rig)});

    // Exported again into the same folders: the same files, replaced, none numbered on top.
    rig.run(u"全部"_s, 1, 4, rig.out() + u"again.xls"_s);
    QCOMPARE(filesBelow(folder), expected);
}

void TestExportRun::lostFilesAreReported_data()
{
    QTest::addColumn<QString>("view");
    QTest::addColumn<QString>("failure"); // "blocked": a regular file where the folder goes; else an operation
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QStringList>("files"); // of document 1
    QTest::addColumn<QString>("lost");      // in the message; empty: a clean run
    QTest::addColumn<QString>("logLine");   // a failure line, without the time
    const QStringList all = {u"a.doc"_s, u"b.pdf"_s, u"c.txt"_s, u"o1.png"_s, u"o2.png"_s};
    const QString longView(300, u'v');
    QTest::newRow("300-character view name") << longView << QString() << QString() << all << QString() << QString();
    QTest::newRow("84 Chinese characters")
        << QString(84, u'视') << QString() << QString() << all << QString() << QString();
    QTest::newRow("folder below a file") << u"全部"_s << u"blocked"_s << QString() << QStringList()
                                         << u"5个附件未能保存"_s << u"创建第1个文档的文件夹出错:"_s;
    QTest::newRow("one save") << u"全部"_s << u"SaveToFile"_s << u"1"_s
                              << QStringList{u"a.doc"_s, u"c.txt"_s, u"o1.png"_s, u"o2.png"_s} << u"1个附件未能保存"_s
                              << u"保存第1个文档第2个附件出错:%1b.pdf，坏了"_s;
    QTest::newRow("link to a full device") << u"全部"_s << u"full"_s << QString() << all << u"1个附件未能保存"_s
                                           << u"保存第1个文档第3个附件出错:%1c.txt，%1c.txt是符号链接"_s;
    QTest::newRow("one look-up") << u"全部"_s << u"AttachmentAt"_s << u"1"_s
                                 << QStringList{u"a.doc"_s, u"c.txt"_s, u"o1.png"_s, u"o2.png"_s}
                                 << u"1个附件未能保存"_s << u"保存第1个文档第2个附件出错:b.pdf，坏了"_s;
    QTest::newRow("list") << u"全部"_s << u"EvaluateFormula"_s << QString() << QStringList{u"o1.png"_s, u"o2.png"_s}
                          << u"1个文档的附件列表未能读取"_s << u"获取第1个文档附件列表出错:坏了"_s;
    // A lost object does not keep the next one from being saved.
    QTest::newRow("embedded object") << u"全部"_s << u"EmbeddedObjectAt"_s << u"0"_s
                                     << QStringList{u"a.doc"_s, u"b.pdf"_s, u"c.txt"_s, u"o2.png"_s}
                                     << u"1个附件未能保存"_s << u"分离第1个文档RichText域出错:o1.png，坏了"_s;
    QTest::newRow("rich-text item") << u"全部"_s << u"RichTextItemByName"_s << QString()
                                    << QStringList{u"a.doc"_s, u"b.pdf"_s, u"c.txt"_s} << u"1个文档的附件列表未能读取"_s
                                    << u"分离第1个文档RichText域出错:Body，坏了"_s;
    QTest::newRow("embedded objects' list")
        << u"全部"_s << u"EmbeddedObjects"_s << QString() << QStringList{u"a.doc"_s, u"b.pdf"_s, u"c.txt"_s}
        << u"1个文档的附件列表未能读取"_s << u"分离第1个文档RichText域出错:Body，坏了"_s;
}

void TestExportRun::lostFilesAreReported()
{
    QFETCH(QString, view);
    QFETCH(QString, failure);
    QFETCH(QString, argument);
    QFETCH(QStringList, files);
    QFETCH(QString, lost);
    QFETCH(QString, logLine);
    ExportRig rig;
    addStandardView(rig, view);
    const QString attachments = attachmentFolder(rig.out(), view);
    QVERIFY(QFileInfo(attachments).fileName().toUtf8().size() <= 255);
    const QString folder = attachments + u'/' + id(rig, 1) + u'/';
    if (failure == u"blocked"_s) {
        QDir().mkpath(rig.out());
        QFile(attachments).open(QIODevice::WriteOnly);
    } else if (failure == u"full"_s) {
        if (!QFileInfo::exists(u"/dev/full"_s))
            QSKIP("no /dev/full");
        QDir().mkpath(folder);
        QVERIFY(QFile::link(u"/dev/full"_s, folder + u"c.txt"_s));
    } else if (failure == u"SaveToFile"_s) {
        rig.domino.failOn(failure, u"坏了"_s, argument.toInt(), 1); // the component is handed temporary files
    } else if (!failure.isEmpty()) {
        rig.domino.failOn(failure, u"坏了"_s, 0, 1, argument.contains(u"%1"_s) ? argument.arg(folder) : argument);
    }
    rig.run(view, 1, 3, rig.workbook());

    QStringList expected;
    for (const QString& f : files)
        expected << id(rig, 1) + u'/' + f;
    QCOMPARE(filesBelow(attachments), expected);
    const QString message = rig.host.messages().value(0);
    if (lost.isEmpty()) {
        QCOMPARE(message, QString::fromUtf16(kFinished) + attachments);
        return;
    }
    QVERIFY2(message.startsWith(QString::fromUtf16(kFinishedWithLosses) + lost), qPrintable(message));
    QVERIFY2(message.contains(rig.logFolder), qPrintable(message));
    QVERIFY2(message.endsWith(attachments), qPrintable(message));
    // The rows are complete, a rich text's object lost or not; each failure has its line.
    QCOMPARE(rig.excel->saved.at(Cell(4, 2)), u"s3"_s);
    QCOMPARE(rig.excel->saved.at(Cell(2, 3)), u"正文1"_s);
    const QString line = logLine.contains(u"%1"_s) ? logLine.arg(folder) : logLine;
    const QStringList log = readLogLines(rig.logPath());
    QVERIFY2(std::any_of(log.begin(), log.end(), [&](const QString& l) { return l.startsWith(line); }),
             qPrintable(log.join(u'\n')));
}

void TestExportRun::itemFailures()
{
    struct Case
    {
        QString operation;
        QString argument;
        Cell cell;
        std::optional<QString> text; // nullopt: not written
        bool unread;                 // a value the database holds but cannot give: counted and logged
    };
    const QList<Case> cases = {
        // A look-up fails, the value can be read: as a document without the item.
        {u"ItemByName"_s, u"Count"_s, {2, 4}, std::nullopt, false},
        // Without its rich-text form the item's value still gives the plain text, once.
        {u"FormattedText"_s, {}, {2, 3}, u"正文1"_s, false},
        {u"ItemValue"_s, u"Count"_s, {2, 4}, QString(), true},
        {u"ItemValue"_s, u"Subject"_s, {2, 2}, QString(), true},
        // Neither the rich text nor its value can be read; its objects are saved all the same.
        {u"ItemValue"_s, u"Body"_s, {2, 3}, QString(), true},
    };
    for (const Case& c : cases) {
        ExportRig rig;
        addStandardView(rig);
        rig.domino.failOn(c.operation, u"坏了"_s, 0, 1, c.argument);
        if (c.argument == u"Body"_s)
            rig.domino.failOn(u"FormattedText"_s, u"坏了"_s, 0, 1);
        const RunResult result = rig.run(u"全部"_s, 1, 3, rig.workbook());
        const auto& cells = rig.excel->saved;
        QCOMPARE(cells.contains(c.cell), c.text.has_value());
        if (c.text)
            QCOMPARE(cells.at(c.cell), *c.text);
        QCOMPARE(cells.at(Cell(4, 2)), u"s3"_s);
        QCOMPARE(filesBelow(rig.out() + u"全部附件"_s).size(), 5);
        QCOMPARE(result.valuesUnread, c.unread ? 1 : 0);
        const QStringList log = readLogLines(rig.logPath());
        QCOMPARE(log.contains(u"读取第1个文档的"_s + c.argument + u"域出错:坏了"_s + kNow), c.unread);
        QCOMPARE(rig.host.messages(),
                 QStringList{c.unread ? QString::fromUtf16(kFinishedWithLosses) +
                                            u"1个域的值未能读取，单元格留空（原因见导出日志，在"_s + rig.logFolder +
                                            u"）。导出的附件文档存放在Excel文件的同一目录下，文件夹名为："_s +
                                            rig.out() + u"全部附件"_s
                                      : finished(rig)});
    }

    {
        // Files lost and values unread: one sentence each, the log named once.
        ExportRig rig;
        addStandardView(rig);
        rig.domino.failOn(u"ItemValue"_s, u"坏了"_s, 0, 2, u"Count"_s);
        rig.domino.failOn(u"AttachmentAt"_s, u"坏了"_s, 0, 1);
        rig.run(u"全部"_s, 1, 3, rig.workbook());
        QCOMPARE(rig.host.messages(),
                 QStringList{QString::fromUtf16(kFinishedWithLosses) + u"1个附件未能保存（坏了；详见导出日志，在"_s +
                             rig.logFolder + u"）。另有2个域的值未能读取，单元格留空（原因也见导出日志）。"_s +
                             u"已保存的附件文档存放在Excel文件的同一目录下，文件夹名为："_s + rig.out() +
                             u"全部附件"_s});
    }

    // A failed cell write gets the asterisks.
    ExportRig rig;
    addStandardView(rig);
    rig.excel->fail(u"SetCellValue"_s, 6 + 1, 1); // header, then row 2's id, then Subject
    rig.run(u"全部"_s, 1, 3, rig.workbook());
    QCOMPARE(rig.excel->saved.at(Cell(2, 2)), kAsterisks);
    QCOMPARE(rig.excel->saved.at(Cell(2, 3)), u"正文1"_s);
    // Eight cells (the second document has no Body), the failed one without its line.
    QCOMPARE(readLogLines(rig.logPath()).count(u" s值写入excel表 "_s + kNow), 7);
}

void TestExportRun::nextDocumentFailure()
{
    // A view that cannot go on is a failure, never the same document again in the next row.
    ExportRig rig;
    addStandardView(rig);
    rig.domino.failOn(u"NextDocument"_s, u"坏了"_s, 0, 1);
    rig.run(u"全部"_s, 1, 3, rig.workbook());
    QCOMPARE(readLogLines(rig.logPath()).count(u"链接第1个文档出错"_s + kNow), 1);
    QCOMPARE(rig.excel->saved.at(Cell(2, 1)), id(rig, 1));
    QVERIFY(!rig.excel->saved.contains(Cell(3, 1)));
    QCOMPARE(rig.host.messages(), QStringList{u"连接文档出错:坏了"_s});
}

void TestExportRun::escapingFailureSavesRowsSoFar()
{
    ExportRig rig;
    addStandardView(rig);
    rig.excel->fail(u"SetCellValue"_s, 6 + 1 + 3 + 1, 2); // row 3's Subject and its asterisks
    rig.domino.failOn(u"ItemValue"_s, u"坏了"_s, 0, 1, u"Subject"_s);
    rig.run(u"全部"_s, 1, 3, rig.workbook());
    // The values lost in the rows saved are told as well.
    QCOMPARE(rig.host.messages(), QStringList{u"连接文档出错:SetCellValue失败\n另外，1个域的值未能读取，单元格留空"_s
                                              u"（原因见导出日志，在"_s +
                                              rig.logFolder + u"）。"_s});
    QCOMPARE(rig.excel->saves, 1);
    QCOMPARE(rig.excel->saved.at(Cell(2, 4)), u"1"_s);
    QCOMPARE(rig.excel->saved.at(Cell(3, 1)), id(rig, 2));
    QVERIFY(!rig.excel->saved.contains(Cell(3, 2)));
    QVERIFY(!rig.excel->saved.contains(Cell(4, 1)));
    QCOMPARE(rig.excel->quits, 1);
    QVERIFY(!rig.host.open);
}

void TestExportRun::unguardedFailuresCleanUp()
{
    struct Case
    {
        QString domino; // operation of the fake component, or of the workbook when workbook is set
        bool workbook;
        int skip;
        QString message;
        int rowsWithId; // data rows in the saved workbook
    };
    const QList<Case> cases = {
        {u"HasAttachments"_s, false, 1, u"坏了"_s, 2},
        {u"DocumentId"_s, false, 0, u"坏了"_s, 0},
        {u"SetColumnWidth"_s, true, 2, u"SetColumnWidth失败"_s, 0},
    };
    for (const Case& c : cases) {
        ExportRig rig;
        addStandardView(rig);
        if (c.workbook)
            rig.excel->fail(c.domino, c.skip, 1);
        else
            rig.domino.failOn(c.domino, u"坏了"_s, c.skip, 1);
        try {
            rig.run(u"全部"_s, 1, 3, rig.workbook());
            QFAIL("the failure did not reach the general error handler");
        } catch (const quill::platform::Error& e) {
            QCOMPARE(e.message(), c.message);
        }
        QCOMPARE(rig.excel->saves, 1);
        int rows = 0;
        for (const auto& [cell, text] : rig.excel->saved)
            rows += cell.first > 1 && cell.second == 1;
        QCOMPARE(rows, c.rowsWithId);
        QCOMPARE(rig.excel->quits, 1);
        QVERIFY(!rig.excel->alive);
        QVERIFY(!rig.host.open);
        QVERIFY(rig.host.messages().isEmpty());
    }
}

void TestExportRun::logFailureMidRun()
{
    ExportRig rig;
    addStandardView(rig);
    // The second document's lines fall on the next day, whose file cannot be written.
    QDir().mkpath(rig.logFolder + u"log20261209.txt"_s);
    int calls = 0;
    rig.clock = [&] {
        // The first document writes 23 lines; the second one's first line is not guarded.
        return ++calls > 23 ? QDateTime(QDate(2026, 12, 9), QTime(1, 0, 0)) : fixedNow();
    };
    QVERIFY_THROWS_EXCEPTION(quill::platform::Error, rig.run(u"全部"_s, 1, 3, rig.workbook()));
    QCOMPARE(rig.excel->saves, 1);
    QCOMPARE(rig.excel->saved.at(Cell(2, 4)), u"1"_s);
    QVERIFY(!rig.excel->saved.contains(Cell(3, 1)));
    QCOMPARE(readLogLines(rig.logPath()).size(), 23);
    QVERIFY(!rig.host.open);
}

void TestExportRun::saveFailure()
{
    {
        ExportRig rig;
        addStandardView(rig);
        rig.excel->fail(u"SaveWorkbook"_s);
        try {
            rig.run(u"全部"_s, 1, 3, rig.workbook());
            QFAIL("a failed save was reported as success");
        } catch (const quill::platform::Error& e) {
            QCOMPARE(e.message(), u"SaveWorkbook失败"_s);
        }
        QCOMPARE(rig.excel->quits, 1);
        QVERIFY(!rig.host.open);
        QVERIFY(rig.host.messages().isEmpty());
    }
    {
        // Both failures are reported.
        ExportRig rig;
        addStandardView(rig);
        rig.excel->fail(u"SaveWorkbook"_s);
        rig.domino.failOn(u"HasAttachments"_s, u"坏了"_s);
        try {
            rig.run(u"全部"_s, 1, 3, rig.workbook());
            QFAIL("no error");
        } catch (const quill::platform::Error& e) {
            QCOMPARE(e.message(), u"坏了\nSaveWorkbook失败"_s);
        }
    }
}

void TestExportRun::hostileNamesStayInside()
{
    ExportRig rig;
    rig.db.addView(u"../v"_s);
    FakeDocument& doc = rig.db.addDocument();
    doc.id = u"../../../escape"_s;
    const QString absolute = rig.tmp.path() + u"/abs.txt"_s;
    doc.text(u"Subject"_s, u"x"_s)
        .richText(u"Body"_s, u"t"_s, {{u"../rt.png"_s, "R"}})
        .attachment(u"../../evil.txt"_s, "E")
        .attachment(absolute, "A")
        .attachment(u"a\\b"_s, "B")
        .attachment(u".."_s, "D")
        .attachment(u"x\ny.txt"_s, "X");
    rig.run(u"../v"_s, 1, 1, rig.workbook());

    const QString folder = rig.out() + u"..v附件/escape/"_s;
    QCOMPARE(filesBelow(rig.tmp.path()).filter(u"state/"_s).size(), 1);
    QStringList outside = filesBelow(rig.tmp.path());
    outside.removeIf(
        [](const QString& f) { return f.startsWith(u"state/"_s) || f.startsWith(u"out/..v附件/escape/"_s); });
    QCOMPARE(outside, QStringList());
    QCOMPARE(filesBelow(folder), (QStringList{u"_"_s, u"abs.txt"_s, u"b"_s, u"evil.txt"_s, u"rt.png"_s, u"xy.txt"_s}));

    const QStringList log = readLogLines(rig.logPath());
    QVERIFY(log.contains(u"保存第1个文档第1个附件到:"_s + folder + u"evil.txt"_s + kNow));
    QVERIFY(log.contains(u"获取第1个文档第1个附件:../../evil.txt"_s + kNow));
    QVERIFY(log.contains(u"分离第1个文档RichText域到:"_s + folder + u"rt.png"_s + kNow));
    QCOMPARE(rig.excel->saved.at(Cell(2, 1)), doc.id);
}

void TestExportRun::plantedLinksAreRefused()
{
    // A link where the run makes a folder or a file sends nothing elsewhere; the message names it.
    const QList<std::pair<QString, int>> cases = {
        {u"全部附件"_s, 5}, {u"全部附件/%1"_s, 5}, {u"全部附件/%1/b.pdf"_s, 1}, {u"全部附件/%1/o1.png"_s, 1}};
    for (const auto& [planted, lost] : cases) {
        ExportRig rig;
        addStandardView(rig);
        const QString link = rig.out() + QString(planted).replace(u"%1"_s, id(rig, 1));
        const QString elsewhere = rig.tmp.filePath(u"elsewhere"_s);
        QDir().mkpath(elsewhere);
        QFile victim(elsewhere + u"/victim"_s);
        QVERIFY(victim.open(QIODevice::WriteOnly) && victim.write("precious") == 8);
        victim.close();
        QDir().mkpath(QFileInfo(link).path());
        QVERIFY(QFile::link(planted.contains(u'.') ? victim.fileName() : elsewhere, link));
        rig.run(u"全部"_s, 1, 3, rig.workbook());
        QCOMPARE(filesBelow(elsewhere), QStringList{u"victim"_s});
        QVERIFY(victim.open(QIODevice::ReadOnly));
        QCOMPARE(victim.readAll(), QByteArray("precious"));
        const QString message = rig.host.messages().value(0);
        QVERIFY2(message.startsWith(QString::fromUtf16(kFinishedWithLosses) + QString::number(lost) + u"个附件"_s),
                 qPrintable(message));
        QVERIFY2(message.contains(quill::platform::linkRefused(link)), qPrintable(message));
        QVERIFY(QFileInfo(link).isSymLink());
    }
}

void TestExportRun::sheetLimits()
{
    ExportRig rig;
    rig.limits.rows = 5;
    rig.limits.columns = 4;
    rig.db.addView(u"v"_s);
    for (int i = 0; i < 6; ++i)
        rig.db.addDocument()
            .text(u"a"_s, u"1"_s)
            .text(u"b"_s, u"2"_s)
            .text(u"c"_s, u"3"_s)
            .text(u"d"_s, u"4"_s)
            .text(u"e"_s, u"5"_s);
    const RunResult result = rig.run(u"v"_s, 1, 6, rig.workbook());
    QCOMPARE(result.startItems, 5);
    QCOMPARE(result.columnsLeftOut, 2);
    const auto& cells = rig.excel->saved;
    QCOMPARE(cells.at(Cell(5, 4)), u"3"_s);
    QVERIFY(!cells.contains(Cell(6, 1)));
    QVERIFY(!cells.contains(Cell(1, 5)));
    QCOMPARE(rig.excel->saves, 1);
    const QString message = rig.host.messages().value(0);
    QVERIFY2(message.startsWith(finished(rig, u"v"_s) + u'\n'), qPrintable(message));
    QVERIFY2(message.contains(u"起始文档有5个域"_s) && message.contains(u"只导出了前3个域"_s), qPrintable(message));
    QVERIFY2(message.contains(u"本次导出了第1到第4个文档"_s) && message.contains(u"请从第5个文档开始再导出"_s),
             qPrintable(message));
}

void TestExportRun::longTextIsCut()
{
    // A text cut is counted for the front ends; a multi-value item's cell holds every value.
    ExportRig rig;
    rig.db.addView(u"v"_s);
    const QString longText = QString(40000, u'长');
    using quill::domino::Value;
    rig.db.addDocument()
        .text(u"a"_s, longText)
        .values(u"b"_s, {Value::text(u"x"_s), Value::text(u"y"_s), Value::text(u"z"_s)});
    const RunResult result = rig.run(u"v"_s, 1, 1, rig.workbook());
    QCOMPARE(rig.excel->saved.at(Cell(2, 2)), longText.left(defaultFormat().limits.cellText));
    QCOMPARE(rig.excel->saved.at(Cell(2, 3)), u"x, y, z"_s);
    QCOMPARE(result.cellsCut, 1);
}

void TestExportRun::everyValueOfAnItem()
{
    // Every value of an item goes into its cell and its log line, joined as the list joins a multi-value
    // column; a single value gives what it always gave, a null value no text.
    using quill::domino::Value;
    struct Case
    {
        quill::domino::ValueList values;
        QString text;
    };
    const QList<Case> cases = {
        {{Value::text(u"张三"_s)}, u"张三"_s},
        {{Value::number(0.1 + 0.2)}, u"0.3"_s},
        {{Value::text(u"张三"_s), Value::text(u"李四"_s)}, u"张三, 李四"_s},
        {{Value::number(1.5), Value::integer(-2), Value::number(1e20)}, u"1.5, -2, 1E20"_s},
        {{Value::date(QDate(1976, 3, 3)), Value::dateTime(QDateTime(QDate(2026, 12, 8), QTime(4, 24, 34)))},
         u"1976-3-3, 2026-12-8 4:24:34"_s},
        {{Value::null(), Value::text(u"B"_s), Value::null(), Value::text(u"C"_s)}, u"B, C"_s},
        {{Value::null()}, QString()},
    };
    ExportRig rig;
    rig.db.addView(u"v"_s);
    auto& doc = rig.db.addDocument();
    for (qsizetype i = 0; i < cases.size(); ++i)
        doc.values(u"F"_s + QString::number(i), cases[i].values);
    rig.run(u"v"_s, 1, 1, rig.workbook());
    const QStringList log = readLogLines(rig.logPath());
    for (qsizetype i = 0; i < cases.size(); ++i) {
        QCOMPARE(rig.excel->saved.at(Cell(2, int(i) + 2)), cases[i].text);
        QCOMPARE(log.count(u"  s=s+"_s + cases[i].text + kNow), cases[i].text.isEmpty() ? 0 : 1);
    }
}

void TestExportRun::columnsOfEveryDocument_data()
{
    QTest::addColumn<bool>("complete");
    QTest::newRow("start document's (.xls)") << false;
    QTest::newRow("every document's (.xlsx, CSV)") << true;
}

void TestExportRun::columnsOfEveryDocument()
{
    // A view of two forms: the .xls has the start document's columns and says what it left out; the
    // complete formats have a column for every item, in the order first met, names compared without case.
    QFETCH(bool, complete);
    ExportRig rig;
    rig.completeColumns = complete;
    rig.db.addView(u"v"_s);
    rig.db.addDocument().text(u"Form"_s, u"订单"_s).text(u"Subject"_s, u"s1"_s).number(u"Amount"_s, 5);
    rig.db.addDocument()
        .text(u"Form"_s, u"客户"_s)
        .text(u"subject"_s, u"s2"_s)
        .text(u"Customer"_s, u"张三"_s)
        .text(u"Phone"_s, u"123"_s);
    rig.db.addDocument().text(u"Form"_s, u"订单"_s).text(u"Subject"_s, u"s3"_s).text(u"Phone"_s, u"456"_s);
    const RunResult result = rig.run(u"v"_s, 1, 3, rig.workbook());
    const auto& cells = rig.excel->saved;
    const QStringList header =
        complete ? QStringList{u"文档ID"_s, u"Form"_s, u"Subject"_s, u"Amount"_s, u"Customer"_s, u"Phone"_s}
                 : QStringList{u"文档ID"_s, u"Form"_s, u"Subject"_s, u"Amount"_s};
    for (int c = 0; c < header.size(); ++c)
        QCOMPARE(cells.at(Cell(1, c + 1)), header[c]);
    QVERIFY(!cells.contains(Cell(1, int(header.size()) + 1)));
    QCOMPARE(cells.at(Cell(3, 3)), u"s2"_s);
    QCOMPARE(result.completeColumns, complete);
    const QString message = rig.host.messages().value(0);
    const QStringList log = readLogLines(rig.logPath());
    if (complete) {
        QCOMPARE(cells.at(Cell(3, 5)), u"张三"_s);
        QCOMPARE(cells.at(Cell(4, 6)), u"456"_s);
        QVERIFY(!cells.contains(Cell(2, 5))); // an item the document lacks has no cell
        QCOMPARE(result.itemsLeftOut, 0);
        QCOMPARE(message, finished(rig, u"v"_s));
    } else {
        QCOMPARE(result.itemsLeftOut, 3);
        QCOMPARE(result.documentsWithItemsLeftOut, 2);
        QVERIFY2(message.contains(u"\n2个文档共有3个域起始文档没有"_s) && message.contains(u".xlsx或CSV"_s),
                 qPrintable(message));
        QVERIFY(
            log.contains(u"第2个文档有2个域起始文档没有，未导出（.xlsx和CSV格式导出全部域）:Customer,Phone"_s + kNow));
    }
}

void TestExportRun::wholeTextBesideTheCell()
{
    // A text longer than a cell holds is cut in its cell and saved whole beside the attachments.
    ExportRig rig;
    rig.db.addView(u"v"_s);
    QString longText;
    for (int i = 0; longText.size() < 100000; ++i)
        longText += u"第%1段。"_s.arg(i);
    rig.db.addDocument().text(u"备注:全文"_s, longText).text(u"b"_s, u"短"_s);
    const RunResult result = rig.run(u"v"_s, 1, 1, rig.workbook());
    QCOMPARE(rig.excel->saved.at(Cell(2, 2)), longText.left(defaultFormat().limits.cellText));
    QCOMPARE(result.cellsCut, 1);
    QCOMPARE(result.textsSavedWhole, 1);
    const QString file = rig.out() + u"v附件/"_s + id(rig, 1) + u"/备注全文.txt"_s;
    QFile saved(file);
    QVERIFY2(saved.open(QIODevice::ReadOnly), qPrintable(file));
    QCOMPARE(QString::fromUtf8(saved.readAll()), longText);
    const QString message = rig.host.messages().value(0);
    QVERIFY2(message.contains(u"1个域的文本超过单元格的容量"_s), qPrintable(message));
    QVERIFY(readLogLines(rig.logPath())
                .contains(u"第1个文档的备注:全文域超过单元格的32767个字符，全文保存到:"_s + file + kNow));
}

void TestExportRun::threeHundredItems_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<int>("columns");
    QTest::newRow("xls") << u"xls"_s << 255;
    QTest::newRow("xlsx") << u"xlsx"_s << 300;
    QTest::newRow("csv") << u"csv"_s << 300;
}

void TestExportRun::threeHundredItems()
{
    // 300 items: the .xls has columns for 255 and says so, .xlsx and CSV for all of them.
    QFETCH(QString, format);
    QFETCH(int, columns);
    ExportRig rig;
    rig.limits = formatNamed(format)->limits;
    rig.completeColumns = formatNamed(format)->completeColumns;
    rig.db.addView(u"v"_s);
    FakeDocument& doc = rig.db.addDocument();
    for (int i = 1; i <= 300; ++i)
        doc.text(u"item%1"_s.arg(i), u"v%1"_s.arg(i));
    const RunResult result = rig.run(u"v"_s, 1, 1, rig.workbook());
    QCOMPARE(result.columnsLeftOut, 300 - columns);
    QCOMPARE(rig.excel->saved.at(Cell(2, columns + 1)), u"v%1"_s.arg(columns));
    QVERIFY(!rig.excel->saved.contains(Cell(2, columns + 2)));
}

void TestExportRun::documentStepsJoinEveryPass()
{
    // A step the run is given takes every document after its attachments and before its cells, with the
    // document's folder, and writes its own lines.
    struct Recording final : DocumentStep
    {
        QStringList& seen;
        explicit Recording(QStringList& s) : seen(s) {}
        void take(const DocumentPass& pass, ExportLog& log, RunResult&) override
        {
            seen << QString::number(pass.position) + u' ' + pass.documentFolder;
            log.write(u"step;"_s);
        }
    };
    ExportRig rig;
    addStandardView(rig);
    QStringList seen;
    rig.beforeRun = [&](ExportRun& run) { run.addStep(std::make_unique<Recording>(seen)); };
    rig.run(u"全部"_s, 2, 3, rig.workbook());
    const QString folder = rig.out() + u"全部附件/"_s;
    QCOMPARE(seen, (QStringList{u"2 "_s + folder + id(rig, 2) + u'/', u"3 "_s + folder + id(rig, 3) + u'/'}));
    const QStringList log = readLogLines(rig.logPath());
    const qsizetype step = log.indexOf(u"step"_s + kNow);
    QCOMPARE(log.mid(step - 1, 3), (QStringList{u"结束图片导出程序保存到:"_s + folder + id(rig, 2) + u"/ "_s + kNow,
                                                u"step"_s + kNow, u"开始分离第2个文档RichText域"_s + kNow}));
}

void TestExportRun::viewShorterThanCount()
{
    ExportRig rig;
    addStandardView(rig);
    rig.run(u"全部"_s, 1, 5, rig.workbook());
    QCOMPARE(rig.excel->saved.at(Cell(4, 1)), id(rig, 3));
    QVERIFY(!rig.excel->saved.contains(Cell(5, 1)));
    QVERIFY(readLogLines(rig.logPath()).contains(u"链接第3个文档出错"_s + kNow));
    QVERIFY(rig.host.messages().value(0).contains(u"视图在第3个文档之后已没有文档"_s));
}

void TestExportRun::whereTheRunStopped_data()
{
    QTest::addColumn<QString>("view");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("docCount");
    QTest::addColumn<int>("sheetRows");
    QTest::addColumn<int>("cancelBefore");
    QTest::addColumn<bool>("keepFailed"); // false: the batch's run
    QTest::addColumn<bool>("nextFails");
    QTest::addColumn<RunResult::Stop>("stop");
    QTest::addColumn<qint64>("documents");
    QTest::addColumn<qint64>("nextStart");
    QTest::addColumn<qint64>("attachments");
    QTest::addColumn<int>("saves");
    using Stop = RunResult::Stop;
    // The first document has three attachments and a rich-text item with two objects.
    QTest::newRow("to the end") << u"全部"_s << 1 << 3 << 65536 << -1 << true << false << Stop::Finished << 3LL << 0LL
                                << 5LL << 1;
    QTest::newRow("sheet full") << u"全部"_s << 1 << 3 << 3 << -1 << true << false << Stop::SheetFull << 2LL << 3LL
                                << 5LL << 1;
    QTest::newRow("the rest fits") << u"全部"_s << 2 << 3 << 3 << -1 << true << false << Stop::Finished << 2LL << 0LL
                                   << 0LL << 1;
    QTest::newRow("view shorter") << u"全部"_s << 1 << 5 << 65536 << -1 << true << false << Stop::ViewEnded << 3LL
                                  << 0LL << 5LL << 1;
    QTest::newRow("cancelled") << u"全部"_s << 1 << 3 << 65536 << 1 << true << false << Stop::Cancelled << 1LL << 0LL
                               << 5LL << 0;
    QTest::newRow("no view") << u"无"_s << 1 << 3 << 65536 << -1 << true << false << Stop::Failed << 0LL << 0LL << 0LL
                             << 1;
    QTest::newRow("next document fails") << u"全部"_s << 1 << 3 << 65536 << -1 << true << true << Stop::Failed << 1LL
                                         << 0LL << 5LL << 1;
    // The batch keeps no workbook of a failed run; a view shorter than its count is one.
    QTest::newRow("batch: to the end") << u"全部"_s << 1 << 3 << 65536 << -1 << false << false << Stop::Finished << 3LL
                                       << 0LL << 5LL << 1;
    QTest::newRow("batch: view shorter") << u"全部"_s << 1 << 5 << 65536 << -1 << false << false << Stop::Failed << 3LL
                                         << 0LL << 5LL << 0;
    QTest::newRow("batch: no view") << u"无"_s << 1 << 3 << 65536 << -1 << false << false << Stop::Failed << 0LL << 0LL
                                    << 0LL << 0;
    QTest::newRow("batch: next document fails")
        << u"全部"_s << 1 << 3 << 65536 << -1 << false << true << Stop::Failed << 1LL << 0LL << 5LL << 0;
}

void TestExportRun::whereTheRunStopped()
{
    QFETCH(QString, view);
    QFETCH(int, start);
    QFETCH(int, docCount);
    QFETCH(int, sheetRows);
    QFETCH(int, cancelBefore);
    QFETCH(bool, keepFailed);
    QFETCH(bool, nextFails);
    ExportRig rig;
    addStandardView(rig);
    rig.limits.rows = sheetRows;
    rig.host.cancelBefore = cancelBefore;
    rig.output.keepFailedWorkbook = keepFailed;
    if (nextFails)
        rig.domino.failOn(u"NextDocument"_s, u"坏了"_s, 0, 1);
    const RunResult result = rig.run(view, start, docCount, rig.workbook());
    QTEST(result.stop, "stop");
    QTEST(result.documents, "documents");
    QTEST(result.nextStart, "nextStart");
    QTEST(result.attachments, "attachments");
    QTEST(rig.excel->saves, "saves");
    QCOMPARE(rig.excel->quits, 1);
    QVERIFY(!rig.host.open);
}

QTEST_GUILESS_MAIN(TestExportRun)
#include "tst_export_run.moc"
