// The document detail dialog: what the grid holds, how it looks, which database it reads, failures.
#include "browse/documentdetaildialog.h"
#include "browsefixture.h"

#include <QFile>
#include <QHeaderView>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QTextBrowser>

using namespace Qt::StringLiterals;
using namespace quill;
using testing::BrowseFixture;

namespace {

QStringList column(const QTableWidget* grid, int c)
{
    QStringList out;
    for (int r = 0; r < grid->rowCount(); ++r)
        out << grid->item(r, c)->text();
    return out;
}

int openDetailDialogs()
{
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<browse::DocumentDetailDialog*>(w))
            ++n;
    return n;
}

} // namespace

class TestBrowseDetail : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void gridContents();
    void dialogLayout();
    void longValuesReadFromTooltips();
    void documentWithoutItems();
    void fileModeShowsTheSelectedDocument();
    void serverModeOpensOnTheServer();
    void detailReadsTheListedDatabase();
    void nothingWithoutExactlyOneListedRow();
    void failuresLeaveNoDialog();
    void bodiesOpenInTheViewer();
};

void TestBrowseDetail::gridContents()
{
    testing::FakeDomino domino;
    auto& db = domino.addDatabase(u"mail/abc.nsf"_s);
    auto& doc = db.addDocument()
                    .text(u"Subject"_s, u"季度报告"_s)
                    .texts(u"To"_s, {u"张三"_s, u"李四"_s})
                    .number(u"Amount"_s, 0.1 + 0.2)
                    .values(u"Scores"_s, {domino::Value::number(1.5), domino::Value::integer(-2)})
                    .values(u"Dates"_s, {domino::Value::date(QDate(1976, 3, 3)),
                                         domino::Value::dateTime(QDateTime(QDate(2026, 12, 8), QTime(4, 24, 34)))})
                    .dateTime(u"Due"_s, QDateTime(QDate(2026, 12, 8), QTime(0, 0)))
                    .date(u"Signed"_s, QDate(1976, 3, 3))
                    .time(u"At"_s, QTime(0, 0))
                    .text(u"subject"_s, u"第二个同名域"_s)
                    .richText(u"Body"_s, u"正文"_s);
    domino.addServer(u"srv"_s);
    domino.addUser(u"张三"_s, u"pw"_s);
    auto session = domino.sessionFactory()();
    session->InitUserSession(u"张三"_s, u"pw"_s);
    const browse::DetailRows rows = browse::readDocumentDetail(*session, {u"srv"_s, u"mail\\abc.nsf"_s}, doc.id);
    QCOMPARE(rows.names, (QStringList{u"Subject"_s, u"To"_s, u"Amount"_s, u"Scores"_s, u"Dates"_s, u"Due"_s,
                                      u"Signed"_s, u"At"_s, u"subject"_s, u"Body"_s}));
    // Every value, joined as the list joins them; a shared name shows the value the lookup by name finds; a time
    // without a date shows its time at midnight too.
    QCOMPARE(rows.values,
             (QStringList{u"季度报告"_s, u"张三, 李四"_s, u"0.3"_s, u"1.5, -2"_s, u"1976-3-3, 2026-12-8 4:24:34"_s,
                          u"2026-12-8"_s, u"1976-3-3"_s, u"0:00:00"_s, u"季度报告"_s, u"正文"_s}));
}

void TestBrowseDetail::dialogLayout()
{
    browse::DetailRows rows{{u"A"_s, u"B"_s, u"C"_s}, {u"1"_s, u"2"_s, u"3"_s}};
    QWidget corner;
    corner.setGeometry(0, 0, 300, 200);
    browse::DocumentDetailDialog dialog(rows, &corner);
    QVERIFY((dialog.geometry().center() - QGuiApplication::primaryScreen()->availableGeometry().center())
                .manhattanLength() <= 2);
    QCOMPARE(dialog.windowTitle(), u"文档详细资料"_s);
    QCOMPARE(dialog.size(), QSize(568, 493));
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
    QTableWidget* grid = dialog.grid();
    QCOMPARE(grid->geometry(), QRect(56, 16, 465, 409));
    QCOMPARE(grid->rowCount(), 4);
    QCOMPARE(grid->columnCount(), 2);
    QCOMPARE(grid->columnWidth(0), 64);
    QCOMPARE(grid->columnWidth(1), 248);
    QCOMPARE(grid->rowHeight(0), 24);
    QCOMPARE(grid->rowHeight(1), 22);
    QCOMPARE(grid->rowHeight(3), 24);
    QCOMPARE(column(grid, 0), (QStringList{u"文档域名"_s, u"A"_s, u"B"_s, u"C"_s}));
    QCOMPARE(column(grid, 1), (QStringList{u"域值"_s, u"1"_s, u"2"_s, u"3"_s}));
    QCOMPARE(grid->editTriggers(), QAbstractItemView::NoEditTriggers);
    QVERIFY(!(grid->item(2, 1)->flags() & Qt::ItemIsEditable));
    QCOMPARE(grid->horizontalHeader()->sectionResizeMode(0), QHeaderView::Fixed);
    QVERIFY(dialog.hasFixedRow());
    QVERIFY(grid->item(0, 1)->background() != grid->item(1, 1)->background());
    // Short texts need no tooltip.
    QVERIFY(grid->item(1, 1)->toolTip().isEmpty());
    QVERIFY(grid->item(1, 0)->toolTip().isEmpty());
    QCOMPARE(dialog.okButton()->text(), u"确   定"_s);
    QCOMPARE(dialog.okButton()->geometry(), QRect(208, 440, 121, 33));
}

void TestBrowseDetail::longValuesReadFromTooltips()
{
    const QString longName = u"合同签订日期及备注说明"_s;
    const QString longValue = u"这是一个很长的域值，远远超过了表格第二列的宽度，用户只能从提示里读到它的全部内容"_s;
    const QString lines = u"客户备注\n第二行"_s;
    browse::DetailRows rows{{longName, u"B"_s}, {longValue, lines}};
    browse::DocumentDetailDialog dialog(rows);
    QTableWidget* grid = dialog.grid();
    QCOMPARE(grid->item(1, 0)->toolTip(), longName);
    QCOMPARE(grid->item(1, 1)->toolTip(), longValue);
    QCOMPARE(grid->item(2, 1)->toolTip(), lines);
    QVERIFY(grid->item(2, 0)->toolTip().isEmpty());
    QCOMPARE(grid->item(1, 1)->text(), longValue);
}

void TestBrowseDetail::documentWithoutItems()
{
    browse::DocumentDetailDialog dialog(browse::DetailRows{});
    QTableWidget* grid = dialog.grid();
    QCOMPARE(grid->rowCount(), 1);
    QCOMPARE(column(grid, 0), QStringList{u"文档域名"_s});
    QCOMPARE(column(grid, 1), QStringList{u"域值"_s});
    QVERIFY(!dialog.hasFixedRow());
    QCOMPARE(grid->item(0, 1)->background(), QBrush());
}

void TestBrowseDetail::fileModeShowsTheSelectedDocument()
{
    BrowseFixture fx;
    const QString file = fx.dir.filePath(u"crm.nsf"_s);
    QFile(file).open(QIODevice::WriteOnly);
    auto& db = fx.domino.addDatabase(file);
    db.addView(u"全部"_s, {{u"主题"_s, u"Subject"_s}});
    db.addDocument().text(u"Subject"_s, u"第一封"_s);
    db.addDocument().text(u"Subject"_s, u"第二封"_s).number(u"Size"_s, 42).texts(u"Cc"_s, {u"甲"_s, u"乙"_s});
    fx.openFileAndList(file, u"全部"_s);
    fx.setServerName(u"not-a-server"_s); // file mode never goes to a server
    fx.list()->selectRow(1);
    fx.domino.clearCalls();

    QStringList names;
    QStringList values;
    fx.window->activateWindow();
    testing::whenModal([&](QDialog* dialog) {
        auto* detail = qobject_cast<browse::DocumentDetailDialog*>(dialog);
        QVERIFY(detail);
        names = column(detail->grid(), 0);
        values = column(detail->grid(), 1);
        QTest::mouseClick(detail->okButton(), Qt::LeftButton);
    });
    fx.window->trigger(shell::Command::ShowDetail);
    QCOMPARE(names, (QStringList{u"文档域名"_s, u"Subject"_s, u"Size"_s, u"Cc"_s}));
    QCOMPARE(values, (QStringList{u"域值"_s, u"第二封"_s, u"42"_s, u"甲, 乙"_s}));
    QCOMPARE(fx.domino.calls().mid(0, 2),
             (QStringList{u"OpenDatabase:"_s + file, u"FindDocumentById:"_s + db.documents[1]->id}));
    QVERIFY(fx.prompts.shown.mid(1).isEmpty());
    QCOMPARE(openDetailDialogs(), 0);

    // The double-click does the same.
    bool shown = false;
    testing::whenModal(
        [&](QDialog* dialog) { shown = qobject_cast<browse::DocumentDetailDialog*>(dialog) != nullptr; });
    fx.window->trigger(shell::Command::ShowDetail);
    QVERIFY(shown);
}

void TestBrowseDetail::serverModeOpensOnTheServer()
{
    BrowseFixture fx;
    fx.domino.addServer(u"srv"_s);
    auto& db = fx.domino.addDatabase(u"mail/abc.nsf"_s);
    db.addView(u"全部"_s);
    auto& doc = db.addDocument().text(u"Subject"_s, u"服务器上的"_s);
    fx.domino.addUser(u"张三"_s, u"pw"_s);
    fx.workspace->session().InitUserSession(u"张三"_s, u"pw"_s);
    fx.workspace->setTreeMode(workspace::TreeMode::Server);
    fx.setServerName(u"srv"_s);
    fx.workspace->setDbPath(u"mail\\abc.nsf"_s);

    QStringList values;
    testing::whenModal([&](QDialog* dialog) {
        values = column(qobject_cast<browse::DocumentDetailDialog*>(dialog)->grid(), 1);
        dialog->accept();
    });
    fx.browser->ShowDocumentDetail(fx.workspace->rowsLocation(), doc.id);
    QCOMPARE(values, (QStringList{u"域值"_s, u"服务器上的"_s}));

    // The server name is used: an unknown server fails.
    fx.setServerName(u"other"_s);
    QVERIFY(!fx.window->runCommand([&] { fx.browser->ShowDocumentDetail(fx.workspace->rowsLocation(), doc.id); }));
    QCOMPARE(fx.prompts.errors(), QStringList{u"无法连接服务器：other."_s});
}

void TestBrowseDetail::detailReadsTheListedDatabase()
{
    // Opening another file lists nothing of the view listed before: no page of it, no detail. A row listed from
    // the new file has its detail from there.
    BrowseFixture fx;
    const QString listed = fx.dir.filePath(u"listed.nsf"_s);
    const QString other = fx.dir.filePath(u"other.nsf"_s);
    QFile(listed).open(QIODevice::WriteOnly);
    QFile(other).open(QIODevice::WriteOnly);
    auto& db = fx.domino.addDatabase(listed);
    db.addView(u"全部"_s);
    auto& doc = db.addDocument().text(u"Subject"_s, u"列出的"_s);
    auto& copy = fx.domino.addDatabase(other);
    copy.addView(u"全部"_s);
    copy.addDocument() = doc; // the same id with another value, as in a copy of the database
    copy.documents.back()->items.front().values = {domino::Value::text(u"另一个文件的"_s)};
    fx.openFileAndList(listed, u"全部"_s);

    fx.prompts.openAnswers.push_back(other);
    fx.window->trigger(shell::Command::OpenFile);
    QCOMPARE(fx.workspace->dbPath(), other);
    fx.window->trigger(shell::Command::FirstPage);
    QCOMPARE(fx.listedIds(), QStringList());
    const int finds = fx.domino.callCount(u"FindDocumentById"_s);
    fx.window->trigger(shell::Command::ShowDetail);
    QCOMPARE(fx.domino.callCount(u"FindDocumentById"_s), finds);

    fx.openFileAndList(other, u"全部"_s);
    QCOMPARE(fx.listedIds(), QStringList{doc.id});
    fx.list()->selectRow(0);

    QStringList values;
    testing::whenModal([&](QDialog* dialog) {
        values = column(qobject_cast<browse::DocumentDetailDialog*>(dialog)->grid(), 1);
        dialog->accept();
    });
    fx.window->trigger(shell::Command::ShowDetail);
    QCOMPARE(values, (QStringList{u"域值"_s, u"另一个文件的"_s}));
}

void TestBrowseDetail::nothingWithoutExactlyOneListedRow()
{
    BrowseFixture fx;
    const QString file = fx.dir.filePath(u"crm.nsf"_s);
    QFile(file).open(QIODevice::WriteOnly);
    auto& db = fx.domino.addDatabase(file);
    db.addView(u"全部"_s);
    db.addDocument();
    db.addDocument();
    fx.openFileAndList(file, u"全部"_s);
    fx.domino.clearCalls();

    bool shown = false;
    const auto watch = [&] { testing::whenModal([&](QDialog*) { shown = true; }, 5); };
    watch();
    fx.window->trigger(shell::Command::ShowDetail); // nothing selected
    fx.list()->reportWidget()->setSelectionMode(QAbstractItemView::MultiSelection);
    fx.list()->selectRow(0);
    fx.list()->selectRow(1);
    fx.window->trigger(shell::Command::ShowDetail); // two selected
    fx.list()->setViewStyle(shell::ListView::Style::Icon);
    fx.window->trigger(shell::Command::ShowDetail); // views shown
    QTest::qWait(100);
    QVERIFY(!shown);
    QVERIFY(fx.domino.calls().isEmpty());
}

void TestBrowseDetail::failuresLeaveNoDialog()
{
    BrowseFixture fx;
    const QString file = fx.dir.filePath(u"crm.nsf"_s);
    QFile(file).open(QIODevice::WriteOnly);
    auto& db = fx.domino.addDatabase(file);
    db.addView(u"全部"_s);
    db.addDocument().text(u"A"_s, u"1"_s).values(u"Empty"_s, {}).text(u"B"_s, u"2"_s);
    db.addDocument().values(u"Null"_s, {domino::Value::null()});
    db.addDocument().text(u"A"_s, u"ok"_s);
    fx.openFileAndList(file, u"全部"_s);
    fx.prompts.shown.clear();

    for (int row : {0, 1}) {
        fx.list()->selectRow(row);
        fx.window->trigger(shell::Command::ShowDetail);
        QCOMPARE(openDetailDialogs(), 0);
    }
    QCOMPARE(fx.prompts.errors().size(), 2);
    QCOMPARE(fx.prompts.errors().at(0), u"域Empty没有值."_s);

    fx.prompts.shown.clear();
    fx.domino.failOn(u"FindDocumentById"_s, u"找不到该文档"_s);
    fx.list()->selectRow(2);
    fx.window->trigger(shell::Command::ShowDetail);
    QCOMPARE(fx.prompts.errors(), QStringList{u"找不到该文档."_s});
    QCOMPARE(openDetailDialogs(), 0);
}

void TestBrowseDetail::bodiesOpenInTheViewer()
{
    // A rich-text row and a mail row open their rendered bodies; the picture comes from memory, nothing from
    // a disk or a network, and a link is not followed. Other rows open nothing; the grid is as before.
    const QByteArray png = QByteArray::fromBase64(
        "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8DwHwAFBQIAX8jx0gAAAABJRU5ErkJggg==");
    const QByteArray dxl = "<richtext><pardef id='1'/><par def='1'><run><font style='bold'/>粗体</run> "
                           "<urllink href='https://example.org/'>外链</urllink><picture><png>" +
                           png.toBase64() + "</png></picture></par></richtext>";
    const QByteArray mail = "Content-Type: text/html; charset=UTF-8\r\n\r\n<p>邮件<img src=\"/etc/passwd\">"
                            "<img src=\"http://evil.example/x.png\"></p>";
    testing::FakeDomino domino;
    auto& doc = domino.addDatabase(u"/data/a.nsf"_s)
                    .addDocument()
                    .text(u"Subject"_s, u"主题"_s)
                    .richText(u"Body"_s, u"粗体 外链"_s, {}, dxl)
                    .mail(u"Mail"_s, u"邮件"_s, mail);
    auto session = domino.sessionFactory()();
    session->InitLocalSession(QString());
    const browse::DetailRows rows = browse::readDocumentDetail(*session, {QString(), u"/data/a.nsf"_s}, doc.id);
    QCOMPARE(rows.values, (QStringList{u"主题"_s, u"粗体 外链"_s, u"邮件"_s}));
    QCOMPARE(rows.bodies.size(), size_t(2));
    browse::DocumentDetailDialog dialog(rows);
    QCOMPARE(dialog.grid()->rowCount(), 4);
    QVERIFY(!dialog.openBody(0));

    browse::RichTextViewer* viewer = dialog.openBody(1);
    QVERIFY(viewer);
    QTextBrowser* browser = viewer->browser();
    QVERIFY(!browser->openLinks() && !browser->openExternalLinks());
    QVERIFY(browser->toHtml().contains(u"font-weight"_s));
    QVERIFY(browser->toPlainText().contains(u"粗体"_s));
    const QString picture = rows.bodies.at(1).files.keys().value(0);
    QCOMPARE(browser->loadResource(QTextDocument::ImageResource, QUrl(picture)).toByteArray(), png);
    QVERIFY(!browser->loadResource(QTextDocument::ImageResource, QUrl(u"https://example.org/x.png"_s)).isValid());
    QVERIFY(!browser->loadResource(QTextDocument::ImageResource, QUrl(u"/etc/passwd"_s)).isValid());

    browse::RichTextViewer* mailViewer = dialog.openBody(2);
    QVERIFY(mailViewer && mailViewer->browser()->toPlainText().contains(u"邮件"_s));
    QVERIFY(!mailViewer->browser()->toHtml().contains(u"evil.example"_s));
}

QTEST_MAIN(TestBrowseDetail)
#include "tst_browse_detail.moc"
