// The paged document list: page arithmetic, loading through the main window, and load failures.
#include "browse/paging.h"
#include "browsefixture.h"

#include <QFile>

using namespace Qt::StringLiterals;
using namespace quill;
using browse::PageCommand;
using testing::BrowseFixture;
using testing::idsOf;

namespace {

struct ListedView
{
    BrowseFixture fx;
    testing::FakeDatabase* db = nullptr;

    explicit ListedView(int documents, int columns = 2)
    {
        const QString file = fx.dir.filePath(u"crm.nsf"_s);
        QFile touch(file);
        touch.open(QIODevice::WriteOnly);
        db = &fx.domino.addDatabase(file);
        std::vector<testing::FakeColumn> cols;
        for (int c = 0; c < columns; ++c)
            cols.push_back({u"列"_s + QString::number(c + 1), u"F"_s + QString::number(c + 1)});
        db->addView(u"全部"_s, cols);
        for (int i = 1; i <= documents; ++i)
            db->addDocument().text(u"F1"_s, u"文档"_s + QString::number(i)).number(u"F2"_s, i * 1.5);
        fx.openFileAndList(file, u"全部"_s);
    }

    // Runs a paging command; returns whether the view was read again.
    bool page(shell::Command command)
    {
        const int before = fx.domino.callCount(u"FindView"_s);
        fx.run(command);
        return fx.domino.callCount(u"FindView"_s) > before;
    }
    QStringList expect(int from, int to) const { return idsOf(*db, from, to); }
};

constexpr auto First = shell::Command::FirstPage;
constexpr auto Previous = shell::Command::PreviousPage;
constexpr auto Next = shell::Command::NextPage;
constexpr auto Last = shell::Command::LastPage;

} // namespace

class TestBrowsePaging : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void pagePositions();
    void layoutOfAPage();
    void emptyView();
    void exactlyOnePage();
    void view250();
    void view4500();
    void pagingNeedsAListedView();
    void columnValueFailureKeepsTheRow();
    void readFailureMidPage();
    void quietEndWhenTheFirstDocumentIsMissing();
};

void TestBrowsePaging::pagePositions()
{
    using browse::pagePosition;
    const auto at = [](int pos, int count, int start, bool report = true) {
        return browse::PagingState{pos, count, start, report};
    };
    // Nothing listed, or the list shows a database's views.
    for (PageCommand c : {PageCommand::First, PageCommand::Previous, PageCommand::Next, PageCommand::Last}) {
        QCOMPARE(pagePosition(c, at(0, 0, 0)), std::nullopt);
        QCOMPARE(pagePosition(c, at(100, 250, 0, false)), std::nullopt);
    }
    QCOMPARE(pagePosition(PageCommand::First, at(250, 250, 200)), 0);
    QCOMPARE(pagePosition(PageCommand::Next, at(100, 250, 0)), 100);
    QCOMPARE(pagePosition(PageCommand::Next, at(250, 250, 200)), std::nullopt);
    QCOMPARE(pagePosition(PageCommand::Previous, at(250, 250, 200)), 100);
    QCOMPARE(pagePosition(PageCommand::Previous, at(100, 250, 0)), 0);
    QCOMPARE(pagePosition(PageCommand::Previous, at(4099, 4500, 3999)), 3899); // not a page boundary
    QCOMPARE(pagePosition(PageCommand::Previous, at(60, 250, 30)), 0);
    QCOMPARE(pagePosition(PageCommand::Last, at(100, 250, 0)), 200);
    QCOMPARE(pagePosition(PageCommand::Last, at(100, 4500, 0)), 4400);
    QCOMPARE(pagePosition(PageCommand::Last, at(100, 4501, 0)), 4500);
    QCOMPARE(pagePosition(PageCommand::Last, at(100, 101, 0)), 100);
    QCOMPARE(pagePosition(PageCommand::Last, at(100, 100, 0)), std::nullopt);
}

void TestBrowsePaging::layoutOfAPage()
{
    ListedView v(3);
    shell::ListView* list = v.fx.list();
    QCOMPARE(list->viewStyle(), shell::ListView::Style::Report);
    QCOMPARE(list->columnCount(), 3);
    QCOMPARE(list->columnCaption(0), u"文档ID"_s);
    QCOMPARE(list->columnCaption(2), u"列2"_s);
    QCOMPARE(list->columnWidth(0), list->width() / 3);
    QCOMPARE(list->columnWidth(2), list->width() / 3);
    QCOMPARE(v.fx.listedIds(), v.expect(1, 3));
    QCOMPARE(list->rowSubItems(1), (QStringList{u"文档2"_s, u"3"_s}));
    QCOMPARE(list->rowSubItems(0), (QStringList{u"文档1"_s, u"1.5"_s}));
    QCOMPARE(v.fx.window->statusPanelText(1), u"视图：全部(全部) 共有文档:3"_s);
    QCOMPARE(v.fx.workspace->docCount(), 3);
    QCOMPARE(v.fx.workspace->docPos(), 3);
    QVERIFY(!v.fx.progress.window());
    QVERIFY(v.fx.prompts.shown.mid(1).isEmpty());

    ListedView bare(2, 0);
    QCOMPARE(bare.fx.list()->columnCount(), 1);
    QCOMPARE(bare.fx.list()->columnWidth(0), bare.fx.list()->width());
    QCOMPARE(bare.fx.list()->rowSubItems(0), QStringList());
}

void TestBrowsePaging::emptyView()
{
    ListedView v(0);
    QCOMPARE(v.fx.list()->columnCount(), 3);
    QCOMPARE(v.fx.list()->rowCount(), 0);
    QCOMPARE(v.fx.workspace->docCount(), 0);
    QCOMPARE(v.fx.window->statusPanelText(1), u"视图：全部(全部) 共有文档:0"_s);
    for (auto command : {First, Previous, Next, Last})
        QVERIFY(!v.page(command));

    // Listed after a view with documents, it says its own name and count, not the other's.
    ListedView w(3);
    w.db->addEmptyView(u"空"_s);
    w.fx.openFileAndList(w.fx.dir.filePath(u"crm.nsf"_s), u"空"_s);
    QCOMPARE(w.fx.window->statusPanelText(1), u"视图：空(空) 共有文档:0"_s);
    QCOMPARE(w.fx.list()->rowCount(), 0);
}

void TestBrowsePaging::exactlyOnePage()
{
    ListedView v(100);
    QCOMPARE(v.fx.listedIds(), v.expect(1, 100));
    QVERIFY(!v.page(Next));
    QVERIFY(!v.page(Last));
    QVERIFY(v.page(Previous));
    QCOMPARE(v.fx.listedIds(), v.expect(1, 100));
    QVERIFY(v.page(First));
    QCOMPARE(v.fx.listedIds(), v.expect(1, 100));
}

void TestBrowsePaging::view250()
{
    ListedView v(250);
    QCOMPARE(v.fx.listedIds(), v.expect(1, 100));
    QCOMPARE(v.fx.workspace->docPos(), 100);
    QVERIFY(v.page(Next));
    QCOMPARE(v.fx.listedIds(), v.expect(101, 200));
    QVERIFY(v.page(Next));
    QCOMPARE(v.fx.listedIds(), v.expect(201, 250));
    QCOMPARE(v.fx.workspace->docPos(), 250);
    QVERIFY(!v.page(Next));
    QVERIFY(!v.page(Last));
    QVERIFY(v.page(Previous));
    QCOMPARE(v.fx.listedIds(), v.expect(101, 200));
    QVERIFY(v.page(Previous));
    QCOMPARE(v.fx.listedIds(), v.expect(1, 100));
    QVERIFY(v.page(Previous));
    QCOMPARE(v.fx.listedIds(), v.expect(1, 100));
    QVERIFY(v.page(Last));
    QCOMPARE(v.fx.listedIds(), v.expect(201, 250));
    QVERIFY(v.page(First));
    QCOMPARE(v.fx.listedIds(), v.expect(1, 100));
    QCOMPARE(v.fx.window->statusPanelText(1), u"视图：全部(全部) 共有文档:250"_s);
}

void TestBrowsePaging::view4500()
{
    ListedView v(4500, 1);
    QVERIFY(v.page(Last));
    QCOMPARE(v.fx.listedIds(), v.expect(4401, 4500));
    QCOMPARE(v.fx.workspace->docPos(), 4500);
    QVERIFY(v.page(Previous));
    QCOMPARE(v.fx.listedIds(), v.expect(4301, 4400));
    QVERIFY(v.page(Next));
    QCOMPARE(v.fx.listedIds(), v.expect(4401, 4500));
    QVERIFY(!v.page(Next));
    QVERIFY(v.page(First));
    QVERIFY(v.page(Next));
    QCOMPARE(v.fx.listedIds(), v.expect(101, 200));
    QVERIFY(v.page(Previous));
    QCOMPARE(v.fx.listedIds(), v.expect(1, 100));
    // One positioned fetch per page, then the documents in order.
    v.fx.domino.clearCalls();
    QVERIFY(v.page(Next));
    QCOMPARE(v.fx.domino.callCount(u"NthDocument"_s), 1);
    QVERIFY(v.fx.domino.calls().contains(u"NthDocument:101"_s));
}

void TestBrowsePaging::pagingNeedsAListedView()
{
    ListedView v(250);
    // A click on a node that leads nowhere leaves the rows but stops paging.
    v.fx.tree()->setCurrentItem(v.fx.tree()->topLevelItem(0));
    v.fx.window->trigger(shell::Command::TreeClick);
    QCOMPARE(v.fx.list()->rowCount(), 100);
    for (auto command : {First, Previous, Next, Last})
        QVERIFY(!v.page(command));

    // While a database's views are shown as icons, paging does nothing either.
    ListedView w(250);
    w.fx.workspace->showDatabaseViews({u"全部"_s});
    QCOMPARE(w.fx.list()->viewStyle(), shell::ListView::Style::Icon);
    for (auto command : {First, Previous, Next, Last})
        QVERIFY(!w.page(command));
}

void TestBrowsePaging::columnValueFailureKeepsTheRow()
{
    BrowseFixture fx;
    const QString file = fx.dir.filePath(u"crm.nsf"_s);
    QFile(file).open(QIODevice::WriteOnly);
    auto& db = fx.domino.addDatabase(file);
    db.addView(u"全部"_s, {{u"标题"_s, u"F1"_s}, {u"值"_s, u"F2"_s}});
    for (int i = 1; i <= 150; ++i) {
        auto& doc = db.addDocument().text(u"F1"_s, u"文档"_s + QString::number(i));
        if (i == 70)
            doc.values(u"F2"_s, {domino::Value::null()}); // no text form
        else
            doc.number(u"F2"_s, i);
    }
    fx.domino.failOn(u"ColumnValues"_s, u"列值读取失败"_s, 49, 1);
    fx.openFileAndList(file, u"全部"_s);
    QCOMPARE(fx.listedIds(), idsOf(db, 1, 100));
    QCOMPARE(fx.list()->rowSubItems(48), (QStringList{u"文档49"_s, u"49"_s}));
    QCOMPARE(fx.list()->rowSubItems(49), QStringList());
    QCOMPARE(fx.list()->rowSubItems(50), (QStringList{u"文档51"_s, u"51"_s}));
    QCOMPARE(fx.list()->rowSubItems(69), QStringList());
    QCOMPARE(fx.list()->rowSubItems(99), (QStringList{u"文档100"_s, u"100"_s}));
    QCOMPARE(fx.workspace->docPos(), 100);
    QCOMPARE(fx.prompts.shown, QStringList{u"open:NSF文件|*.nsf"_s});
}

void TestBrowsePaging::readFailureMidPage()
{
    ListedView v(250);
    v.fx.domino.failOn(u"DocumentId"_s, u"文档标识读不出"_s, 30, 1);
    v.fx.prompts.shown.clear();
    bool restoredBeforeMessage = false;
    v.fx.prompts.onMessage = [&](const QString&) {
        restoredBeforeMessage = !v.fx.progress.window() && v.fx.list()->reportWidget()->updatesEnabled();
    };
    QVERIFY(v.page(Next));
    QVERIFY(restoredBeforeMessage);
    v.fx.prompts.onMessage = nullptr;
    QCOMPARE(v.fx.prompts.shown, QStringList{u"message:读取数据出错:文档标识读不出"_s});
    QCOMPARE(v.fx.listedIds(), v.expect(101, 130));
    QCOMPARE(v.fx.workspace->docPos(), 131); // counts the row being added
    QCOMPARE(v.fx.workspace->docCount(), 250);
    QVERIFY(!v.fx.progress.window());
    QVERIFY(v.fx.list()->reportWidget()->updatesEnabled());

    // Previous goes back from the first document listed, not from docPos.
    v.fx.prompts.shown.clear();
    QVERIFY(v.page(Previous));
    QCOMPARE(v.fx.listedIds(), v.expect(1, 100));

    v.fx.domino.failOn(u"FindView"_s, u"视图不见了"_s);
    QVERIFY(v.page(Next));
    QCOMPARE(v.fx.prompts.messages(), QStringList{u"读取数据出错:视图不见了"_s});
    QCOMPARE(v.fx.workspace->docCount(), 0);
    QCOMPARE(v.fx.list()->rowCount(), 0);
    QVERIFY(!v.fx.progress.window());
}

void TestBrowsePaging::quietEndWhenTheFirstDocumentIsMissing()
{
    ListedView v(250);
    v.fx.domino.failOn(u"NthDocument"_s, u"没有这个文档"_s);
    v.fx.prompts.shown.clear();
    QVERIFY(v.page(Next));
    QVERIFY(v.fx.prompts.shown.isEmpty());
    QCOMPARE(v.fx.workspace->docCount(), 0);
    QCOMPARE(v.fx.list()->rowCount(), 0);
    QCOMPARE(v.fx.list()->columnCount(), 3);
    QCOMPARE(v.fx.window->statusPanelText(1), QString()); // nothing counted, as export and paging see it
    QVERIFY(!v.fx.progress.window());
}

QTEST_MAIN(TestBrowsePaging)
#include "tst_browse_paging.moc"
