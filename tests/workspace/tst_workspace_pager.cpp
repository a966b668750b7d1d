// The document list without a window: the pager's pages through its table model, rows and ids across pages.
#include "fakedomino.h"
#include "workspace/workspace.h"
#include "workspacesupport.h"

#include <QAbstractItemModelTester>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace quill;

class TestWorkspacePager : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void rowsAndIdsAcrossPages();
};

void TestWorkspacePager::rowsAndIdsAcrossPages()
{
    QTemporaryDir tmp;
    testing::FakeDomino domino;
    testing::FakeDatabase& db = domino.addDatabase(u"/data/crm.nsf"_s);
    db.addView(u"全部"_s, {{u"标题"_s, u"F1"_s}, {u"金额"_s, u"F2"_s}});
    for (int i = 1; i <= 250; ++i)
        db.addDocument().text(u"F1"_s, u"文档"_s + QString::number(i)).number(u"F2"_s, i);
    workspace::Workspace ws(domino.sessionFactory(), tmp.path());
    const workspace::DocumentListModel& model = ws.documentModel();
    // Every reset and every question the view asks, checked against the model's promises.
    QAbstractItemModelTester tester(&ws.documentModel(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    const auto listed = [&] {
        QStringList ids;
        for (int row = 0; row < model.rowCount(); ++row) {
            const QString id = model.index(row, 0).data(workspace::DocumentListModel::DocumentIdRole).toString();
            // The caption shows the id; the id is data of its own.
            if (id != model.index(row, 0).data().toString())
                return QStringList{u"caption differs in row %1"_s.arg(row)};
            ids << id;
        }
        return ids;
    };
    const auto ids = [&](int from, int to) {
        QStringList out;
        for (int i = from; i <= to; ++i)
            out << db.documents[size_t(i - 1)]->id;
        return out;
    };

    QCOMPARE(model.columnCount(), 0);
    std::unique_ptr<domino::NotesSession> session = domino.sessionFactory()();
    session->InitLocalSession(QString());
    // The second page's 20th document cannot give its column values.
    domino.failOn(u"ColumnValues"_s, u"坏了"_s, 100 + 19, 1);
    testing::listAndLoad(ws, session->OpenDatabase(QString(), u"/data/crm.nsf"_s, false), u"全部"_s, {});
    QCOMPARE(model.columnCount(), 3);
    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), u"文档ID"_s);
    QCOMPARE(model.headerData(2, Qt::Horizontal).toString(), u"金额"_s);
    QCOMPARE(listed(), ids(1, 100));
    QCOMPARE(model.index(99, 1).data().toString(), u"文档100"_s);

    testing::QuietPageProgress progress;
    ws.pager().setDocPos(100);
    ws.loadPage(progress);
    QCOMPARE(listed(), ids(101, 200));
    QCOMPARE(model.index(18, 2).data().toString(), u"119"_s);
    // A row without its values keeps its id and has no cells at all.
    QCOMPARE(model.index(19, 0).data(workspace::DocumentListModel::DocumentIdRole).toString(), ids(120, 120)[0]);
    QVERIFY(!model.index(19, 1).data().isValid());
    QCOMPARE(model.index(20, 1).data().toString(), u"文档121"_s);
    ws.loadPage(progress);
    QCOMPARE(listed(), ids(201, 250));
    QCOMPARE(ws.docPos(), 250);

    // A document that cannot be reached mid-page: the rows before it stay, with their ids, and the failure is told.
    ws.pager().setDocPos(0);
    domino.failOn(u"DocumentId"_s, u"读不出"_s, 30, 1);
    QVERIFY_THROWS_EXCEPTION(domino::DominoError, ws.loadPage(progress));
    QCOMPARE(listed(), ids(1, 30));
    QCOMPARE(ws.docCount(), 250);

    // Nothing listed any more (the tree was rebuilt): as at start, and said once.
    int uncounted = 0;
    QObject::connect(&ws, &workspace::Workspace::listingUncounted, [&] { ++uncounted; });
    ws.clearListing();
    ws.clearListing();
    QCOMPARE(uncounted, 1);
    QCOMPARE(model.columnCount(), 0);
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(ws.docCount(), 0);
    QCOMPARE(ws.docPos(), 0);
    QVERIFY(ws.viewName().isEmpty());
    QVERIFY(!ws.documentsShown());
    QVERIFY(!ws.database().isConnected());
}

QTEST_GUILESS_MAIN(TestWorkspacePager)
#include "tst_workspace_pager.moc"
