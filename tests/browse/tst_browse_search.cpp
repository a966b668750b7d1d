// The search box of the main window on the in-memory Domino: where Enter searches, the index made first with its
// progress, the narrowed view kept while paging, and the box emptied.
#include "browsefixture.h"

#include <QFile>
#include <QLineEdit>

using namespace Qt::StringLiterals;
using namespace quill;
using testing::BrowseFixture;

namespace {

// A file database of 250 documents in two views (the second in reverse order), opened; nothing listed yet.
struct SearchFixture
{
    BrowseFixture fx;
    testing::FakeDatabase* db = nullptr;
    QString file;

    SearchFixture()
    {
        file = fx.dir.filePath(u"crm.nsf"_s);
        QFile touch(file);
        touch.open(QIODevice::WriteOnly);
        db = &fx.domino.addDatabase(file);
        db->addView(u"全部"_s, {{u"名称"_s, u"F1"_s}});
        for (int i = 1; i <= 250; ++i)
            db->addDocument().text(u"F1"_s, (i % 2 ? u"单数"_s : u"双数"_s) + QString::number(i));
        testing::FakeView& reversed = db->addEmptyView(u"倒序"_s, {{u"名称"_s, u"F1"_s}});
        for (int i = 249; i >= 0; --i)
            reversed.entries.push_back(i);
        fx.prompts.openAnswers.push_back(file);
        fx.run(shell::Command::OpenFile);
        fx.prompts.shown.clear();
    }

    QTreeWidgetItem* node(const QString& view)
    {
        QTreeWidgetItem* root = fx.tree()->topLevelItem(0);
        for (int i = 0; i < root->childCount(); ++i)
            if (root->child(i)->text(0) == view)
                return root->child(i);
        return root;
    }
    void search(const QString& query)
    {
        fx.window->searchBox()->setText(query);
        QTest::keyClick(fx.window->searchBox(), Qt::Key_Return);
    }
    // Ids of the documents numbered (from 1) in order.
    QStringList ids(const QList<int>& numbers) const
    {
        QStringList out;
        for (int n : numbers)
            out << db->documents.at(size_t(n - 1))->id;
        return out;
    }
    QString status() const { return fx.window->statusPanelText(1); }
};

QList<int> odd(int from, int to, int step = 2)
{
    QList<int> out;
    for (int n = from; step > 0 ? n <= to : n >= to; n += step)
        out << n;
    return out;
}

} // namespace

class TestBrowseSearch : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void selectedDatabaseIsSearchedInItsFirstViewAfterItsIndexIsMade();
    void listedViewIsSearchedAndPagedOnTheSameNarrowedView();
    void aDatabaseThatCannotBeIndexedIsSearchedAllTheSame();
    void emptyingTheBoxListsTheViewAgain();
    void aListLeftFromAnotherFileIsNotSearched();
};

void TestBrowseSearch::selectedDatabaseIsSearchedInItsFirstViewAfterItsIndexIsMade()
{
    SearchFixture s;
    // The root selected: the database, in its first view.
    s.fx.tree()->setCurrentItem(s.fx.tree()->topLevelItem(0));
    s.fx.domino.clearCalls();
    QVERIFY(!s.db->ftIndexed);
    s.search(u"单数"_s);
    QCOMPARE(s.fx.prompts.shown, QStringList());
    QVERIFY(s.db->ftIndexed);
    QCOMPARE(s.fx.domino.callCount(u"UpdateFTIndex"_s), 1);
    QCOMPARE(s.fx.progress.window(), nullptr);
    QCOMPARE(s.status(), u"搜索“单数”：125个文档"_s);
    QCOMPARE(s.fx.listedIds(), s.ids(odd(1, 199)));

    // Indexed now: the next search makes nothing.
    s.search(u"双数1"_s);
    QCOMPARE(s.fx.domino.callCount(u"UpdateFTIndex"_s), 1);
    QCOMPARE(s.status(), u"搜索“双数1”：55个文档"_s);
}

void TestBrowseSearch::listedViewIsSearchedAndPagedOnTheSameNarrowedView()
{
    SearchFixture s;
    s.fx.tree()->setCurrentItem(s.node(u"倒序"_s));
    s.fx.run(shell::Command::TreeClick);
    s.search(u"单数"_s);
    QCOMPARE(s.status(), u"搜索“单数”：125个文档"_s);
    QCOMPARE(s.fx.listedIds(), s.ids(odd(249, 51, -2)));
    s.fx.domino.clearCalls();
    // A document added meanwhile is not among the results of the moment of the search.
    s.db->addDocument().text(u"F1"_s, u"单数新"_s);
    s.db->views[1].entries.insert(s.db->views[1].entries.begin(), 250);
    s.fx.run(shell::Command::NextPage);
    QCOMPARE(s.fx.listedIds(), s.ids(odd(49, 1, -2)));
    s.fx.run(shell::Command::FirstPage);
    QCOMPARE(s.fx.listedIds(), s.ids(odd(249, 51, -2)));
    QCOMPARE(s.fx.domino.callCount(u"FindView"_s), 0);
    QCOMPARE(s.fx.domino.callCount(u"FTSearch"_s), 0);
    QCOMPARE(s.status(), u"搜索“单数”：125个文档"_s);

    // A query the language refuses: said, and what is listed stays.
    s.search(u"单数 NEAR 双数"_s);
    QCOMPARE(s.fx.prompts.messages().size(), 1);
    QVERIFY(s.fx.prompts.messages().front().startsWith(u"搜索条件有误"_s));
    QCOMPARE(s.fx.listedIds(), s.ids(odd(249, 51, -2)));
    QCOMPARE(s.fx.window->searchBox()->text(), u"单数 NEAR 双数"_s);
}

void TestBrowseSearch::aDatabaseThatCannotBeIndexedIsSearchedAllTheSame()
{
    SearchFixture s;
    s.fx.domino.failOn(u"UpdateFTIndex"_s, u"数据库文件是只读的"_s);
    s.fx.tree()->setCurrentItem(s.node(u"全部"_s));
    s.fx.run(shell::Command::TreeClick);
    s.search(u"双数25"_s);
    QCOMPARE(s.fx.prompts.shown, QStringList());
    QCOMPARE(s.fx.progress.window(), nullptr);
    QCOMPARE(s.status(), u"搜索“双数25”：1个文档"_s);
    QCOMPARE(s.fx.listedIds(), s.ids({250}));
}

void TestBrowseSearch::emptyingTheBoxListsTheViewAgain()
{
    SearchFixture s;
    // Nothing selected and nothing listed: nothing to search.
    s.search(u"单数"_s);
    QCOMPARE(s.fx.prompts.messages(), QStringList{u"请先在左边选择要搜索的数据库或视图"_s});
    s.fx.prompts.shown.clear();

    s.fx.tree()->setCurrentItem(s.node(u"全部"_s));
    s.fx.run(shell::Command::TreeClick);
    s.search(u"没有这个词"_s);
    QCOMPARE(s.status(), u"搜索“没有这个词”：0个文档"_s);
    QCOMPARE(s.fx.listedIds(), QStringList());
    s.fx.run(shell::Command::NextPage);
    QCOMPARE(s.fx.listedIds(), QStringList());

    s.fx.domino.clearCalls();
    QLineEdit* box = s.fx.window->searchBox();
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Delete);
    QCOMPARE(s.fx.domino.callCount(u"Clear"_s), 1);
    QCOMPARE(s.status(), u"视图：全部(全部) 共有文档:250"_s);
    QCOMPARE(s.fx.listedIds(), s.ids(odd(1, 100, 1)));
    QCOMPARE(s.fx.prompts.shown, QStringList());
    // Enter on an empty box with a whole view listed changes nothing.
    s.fx.domino.clearCalls();
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(s.fx.domino.callCount(u"FindView"_s), 0);
}

void TestBrowseSearch::aListLeftFromAnotherFileIsNotSearched()
{
    SearchFixture s;
    s.fx.tree()->setCurrentItem(s.node(u"全部"_s));
    s.fx.run(shell::Command::TreeClick);
    const QString other = s.fx.dir.filePath(u"other.nsf"_s);
    QFile touch(other);
    touch.open(QIODevice::WriteOnly);
    testing::FakeDatabase& db = s.fx.domino.addDatabase(other);
    db.addView(u"其它"_s);
    for (int i = 0; i < 3; ++i)
        db.addDocument().text(u"F1"_s, u"单数"_s);
    s.fx.prompts.openAnswers.push_back(other);
    s.fx.run(shell::Command::OpenFile);
    s.fx.tree()->setCurrentItem(s.fx.tree()->topLevelItem(0));
    s.search(u"单数"_s);
    QCOMPARE(s.status(), u"搜索“单数”：3个文档"_s);
    QCOMPARE(s.fx.workspace->rowsLocation().path, other);
}

QTEST_MAIN(TestBrowseSearch)
#include "tst_browse_search.moc"
