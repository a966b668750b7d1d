// Full-text search through the component: what it finds against a plain substring scan, the index kept in step with
// every write, the first index of a file made before it, and a file its user cannot write.

#include "admin.h"
#include "domino/error.h"
#include "domino/ftsearch.h"
#include "domino/loader.h"
#include "dominoassert.h"
#include "fulltext.h"
#include "model.h"
#include "platform/registry.h"
#include "store.h"
#include "testsupport/sample_installation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <set>
#include <sqlite3.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace quill::domino;
namespace admin = quill::component::admin;
namespace component = quill::component;

namespace {

void sql(const QString& path, const char* statement)
{
    sqlite3* db = nullptr;
    if (sqlite3_open(QFile::encodeName(path).constData(), &db) != SQLITE_OK ||
        sqlite3_exec(db, statement, nullptr, nullptr, nullptr) != SQLITE_OK)
        qFatal("sqlite: %s", sqlite3_errmsg(db));
    sqlite3_close(db);
}

// As a file made before the index: its tables and triggers gone.
void dropIndex(const QString& path)
{
    sqlite3* db = nullptr;
    QByteArray drops;
    const auto collect = [](void* out, int, char** values, char**) {
        *static_cast<QByteArray*>(out) += values[0];
        return 0;
    };
    if (sqlite3_open(QFile::encodeName(path).constData(), &db) != SQLITE_OK ||
        sqlite3_exec(db,
                     "SELECT 'DROP ' || type || ' ' || name || ';' FROM sqlite_master WHERE (type = 'trigger' AND "
                     "name LIKE 'fulltext%') OR name IN ('fulltext', 'fulltext_text', 'fulltext_waiting') "
                     "ORDER BY type = 'table'",
                     collect, &drops, nullptr) != SQLITE_OK ||
        sqlite3_exec(db, drops.constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
        qFatal("sqlite: %s", sqlite3_errmsg(db));
    sqlite3_close(db);
}

qint64 count(const QString& path, const char* statement)
{
    const auto store = component::Store::open(path, component::Store::Mode::ReadOnly);
    component::Query q(store->statement(statement));
    return q->step() ? q->int64(0) : -1;
}

admin::DocumentToAdd document(const QString& id, const std::vector<std::pair<QString, QString>>& items,
                              const QStringList& attachments = {})
{
    admin::DocumentToAdd doc;
    doc.unid = id;
    for (const auto& [name, value] : items)
        doc.items.push_back({name, component::TextType, QJsonArray{value}, {}});
    for (const QString& name : attachments)
        doc.attachments.push_back({name, "x"});
    return doc;
}

QString idOf(int n)
{
    return u"%1"_s.arg(0xF00 + n, 32, 16, QLatin1Char('0')).toUpper();
}

// Pieces of a mixed corpus: Latin in both cases, Greek, full-width forms, signs of the query language and of SQL,
// characters beyond the BMP.
const QStringList kPieces = {u"合同"_s,      u"Straße"_s, u"STRASSE"_s, u"ΣΊΣΥΦΟΣ"_s, u"σίσυφος"_s, u"Ｆｕｌｌ"_s,
                             u"C++"_s,       u"SQL;--"_s, u"a\"b"_s,    u"x^y*z"_s,   u"NEAR(3)"_s, u"😀合"_s,
                             u"𠀀𠀁"_s,      u"北京"_s,   u"Annual"_s,  u"report"_s,  u"审批中"_s,  u"采购"_s,
                             u"'or'1'='1"_s, u" "_s,      u"，"_s,      u"100%"_s,    u"ǅemal"_s,   u"İstanbul"_s};

} // namespace

class TestComponentSearch : public QObject
{
    Q_OBJECT

private:
    std::shared_ptr<NotesDatabase> open(const QString& path)
    {
        auto session = createRegisteredSession(quill::platform::Registry(m_registry));
        session->InitLocalSession(QString());
        return session->OpenDatabase(QString(), path, false);
    }

    static QStringList ids(const NotesDocumentCollection& found)
    {
        QStringList list;
        for (auto doc = found.GetFirstDocument(); doc; doc = found.GetNextDocument(*doc))
            list << doc->DocumentId();
        return list;
    }

    QStringList search(const QString& path, const QString& query) { return ids(*open(path)->FTSearch(query, 0)); }

    // The ids an index-free reading of the file finds (a file nobody may write is searched so).
    static QStringList scanned(const QString& path, const QString& query)
    {
        const auto store = component::Store::open(path, component::Store::Mode::ReadOnly);
        QStringList list;
        for (const qint64 docId : component::fulltext::search(*store, FTQuery::parse(query), 0)) {
            component::Query q(store->statement("SELECT unid FROM documents WHERE id = ?"));
            q->bind(1, docId);
            list << (q->step() ? q->text(0) : QString());
        }
        return list;
    }

    QString path(const QString& name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
    QString m_registry;

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_dir.isValid());
        QDir().mkpath(path(u"data"_s));
        m_registry = component::testing::registerComponent(m_dir.path(), path(u"data"_s));
    }

    // For terms of one to four characters taken from the documents (and made-up ones), in other letter cases too, the
    // search finds exactly the documents in which a plain scan of every value, rich text and attachment name finds
    // the term without regard to case; with the index and without it.
    void findsWhatAPlainScanFinds()
    {
        const QString file = path(u"corpus.nsf"_s);
        admin::GenerateOptions options;
        options.words = 12;
        options.attachmentsEvery = 7;
        admin::generate(file, 300, options);
        QRandomGenerator random(7);
        std::vector<admin::DocumentToAdd> mixed;
        for (int n = 0; n < 40; ++n) {
            QString text;
            for (int piece = 0; piece < 4; ++piece)
                text += kPieces[random.bounded(int(kPieces.size()))];
            admin::DocumentToAdd doc =
                document(QString(), {{u"Subject"_s, text}}, {kPieces[random.bounded(int(kPieces.size()))] + u".TXT"_s});
            doc.items.push_back({u"Body"_s, component::RichTextType, QJsonArray{text.toUpper()}, {}});
            doc.items.push_back({u"Names"_s, component::NamesType, QJsonArray{u"张三"_s, text.left(3)}, {}});
            mixed.push_back(std::move(doc));
        }
        admin::addDocuments(file, mixed);

        // The scan, through the Domino interfaces.
        auto session = createRegisteredSession(quill::platform::Registry(m_registry));
        session->InitLocalSession(QString());
        auto db = session->OpenDatabase(QString(), file, false);
        auto view = db->FindView(u"全部"_s);
        std::vector<std::pair<QString, QStringList>> documents; // id, texts
        for (auto doc = view->NthDocument(1); doc; doc = view->NextDocument(*doc)) {
            QStringList texts;
            for (const QString& item : doc->Items())
                texts << searchItemText(doc->ItemValue(item));
            for (const Value& name : session->EvaluateFormula(u"@AttachmentNames"_s, *doc))
                texts << name.asText();
            documents.emplace_back(doc->DocumentId(), texts);
        }
        QCOMPARE(documents.size(), size_t(340));
        std::set<QString> terms = {u"没有"_s, u"ß"_s, u"Ｆ"_s, u"😀"_s, u"𠀁"_s, u"STRAẞE"_s, u"ǆ"_s};
        for (int length = 1; length <= 4; ++length) {
            for (int n = 0; n < 30; ++n) {
                const QStringList& texts = documents[size_t(random.bounded(int(documents.size())))].second;
                const QList<uint> text = texts[random.bounded(int(texts.size()))].toUcs4();
                if (text.size() < length)
                    continue;
                const QList<uint> part = text.mid(random.bounded(int(text.size()) - length + 1), length);
                const QString term = QString::fromUcs4(reinterpret_cast<const char32_t*>(part.constData()), length);
                terms.insert(term);
                terms.insert(n % 2 ? term.toUpper() : term.toLower());
            }
        }
        const QString copy = path(u"corpus-unindexed.nsf"_s);
        QFile::copy(file, copy);
        dropIndex(copy);
        int found = 0;
        for (const QString& term : terms) {
            if (term.contains(u'"') || term.contains(u'“') || term.contains(u'”') || term.trimmed().isEmpty())
                continue;
            QStringList expected;
            for (const auto& [id, texts] : documents) {
                if (std::any_of(texts.begin(), texts.end(),
                                [&](const QString& t) { return t.contains(term, Qt::CaseInsensitive); }))
                    expected << id;
            }
            expected.sort();
            const QString query = u'"' + term + u'"';
            QStringList indexed = ids(*db->FTSearch(query, 0));
            QStringList read = scanned(copy, query);
            indexed.sort();
            read.sort();
            QVERIFY2(indexed == expected, qPrintable(query));
            QVERIFY2(read == expected, qPrintable(query));
            found += expected.isEmpty() ? 0 : 1;
        }
        QVERIFY(found > 100);
        QVERIFY(!component::fulltext::exists(*component::Store::open(copy, component::Store::Mode::ReadOnly)));
    }

    // Documents added, changed and removed by the admin tool are found as they are now; so are those another program
    // wrote without bringing the index up to date, which wait to be indexed until the next search can write.
    void followsEveryWrite()
    {
        const QString file = path(u"writes.nsf"_s);
        admin::createDatabase(file, u"写入"_s);
        admin::addDocuments(file,
                            {document(idOf(1), {{u"主题"_s, u"甲乙丙"_s}}), document(idOf(2), {{u"主题"_s, u"丁"_s}})});
        admin::addView(file, {u"倒序"_s, {{u"主题"_s, u"主题"_s, {}}}, {}, 0, true, {}});
        QCOMPARE(search(file, u"甲乙丙"_s), QStringList{idOf(1)});
        auto view = open(file)->FindView(u"倒序"_s);
        QCOMPARE(view->FTSearch(u"甲乙丙 OR 丁"_s, 0), 2);

        admin::addDocuments(file, {document(idOf(3), {{u"主题"_s, u"甲乙丙丁"_s}}, {u"合同.PDF"_s})});
        QCOMPARE(search(file, u"甲乙丙"_s), (QStringList{idOf(1), idOf(3)}));
        QCOMPARE(search(file, u"合同.pdf"_s), QStringList{idOf(3)});
        // A view answers in its own order, descending by 主题, as its index stands now.
        QCOMPARE(view->FTSearch(u"甲乙丙 OR 丁"_s, 0), 3);
        QCOMPARE(view->NthDocument(1)->DocumentId(), idOf(3));
        QCOMPARE(view->NthDocument(3)->DocumentId(), idOf(2));

        component::Store::update(file, [](component::Store& store) {
            store.exec("UPDATE items SET value = '[\"戊己庚\"]' WHERE doc_id = 1");
            store.exec("DELETE FROM items WHERE doc_id = 3");
            store.exec("DELETE FROM attachments WHERE doc_id = 3");
            store.exec("DELETE FROM documents WHERE id = 3");
            admin::rebuildViewIndex(store);
        });
        QVERIFY(search(file, u"甲乙丙"_s).isEmpty());
        QCOMPARE(search(file, u"戊己庚"_s), QStringList{idOf(1)});
        QCOMPARE(count(file, "SELECT count(*) FROM fulltext_waiting"), 0);

        // Another program, as the index does not know it.
        sql(file, "UPDATE items SET value = '[\"辛壬癸\"]' WHERE doc_id = 2; "
                  "INSERT INTO attachments(doc_id, seq, name, data) VALUES(1, 1, '报价.xls', x'00')");
        QCOMPARE(count(file, "SELECT count(*) FROM fulltext_waiting"), 2);
        QCOMPARE(scanned(file, u"辛壬癸 OR 报价.XLS"_s), (QStringList{idOf(1), idOf(2)}));
        QVERIFY(scanned(file, u"丁"_s).isEmpty());
        QCOMPARE(search(file, u"辛壬癸"_s), QStringList{idOf(2)});
        QCOMPARE(count(file, "SELECT count(*) FROM fulltext_waiting"), 0);
        QCOMPARE(count(file, "SELECT count(*) FROM fulltext_text WHERE text LIKE '%报价.xls%'"), 1);

        // The tool's search and index commands.
        const auto tool = [](const QStringList& arguments, QString* out) {
            QProcess process;
            process.start(component::testing::adminToolPath(), arguments);
            process.waitForFinished(60000);
            *out = QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
            return process.exitCode();
        };
        QString out;
        QCOMPARE(tool({u"search"_s, file, u"戊己庚 OR 辛壬癸"_s}, &out), 0);
        QCOMPARE(out, idOf(1) + u'\n' + idOf(2) + u"\n找到2个文档\n"_s);
        QCOMPARE(tool({u"search"_s, file, u"戊己庚 OR 辛壬癸"_s, u"--view"_s, u"倒序"_s, u"--max"_s, u"1"_s}, &out), 0);
        QCOMPARE(out, idOf(1) + u"\n找到1个文档\n"_s); // the view's order as the tool last indexed it: 戊己庚, 丁
        QCOMPARE(tool({u"search"_s, file, u"NEAR(x)"_s}, &out), 1);
        QVERIFY2(out.startsWith(u"nlsxbe-admin: 搜索条件有误（第1个字符处）：不支持运算符NEAR"_s), qPrintable(out));
        QCOMPARE(tool({u"index"_s, file, u"--rebuild"_s}, &out), 0);
        QVERIFY2(out.startsWith(u"已更新全文索引：索引了2个文档"_s), qPrintable(out));
    }

    // A walk of a narrowed view goes on within the search results only, and one of the whole view only there.
    void walksDoNotMixResultsAndView()
    {
        auto view = open(path(u"writes.nsf"_s))->FindView(u"倒序"_s);
        auto whole = view->NthDocument(1);
        QCOMPARE(view->FTSearch(u"戊己庚"_s, 0), 1);
        QVERIFY_DOMINO_ERROR(view->NextDocument(*whole), u"的搜索结果中取得的"_s);
        auto result = view->NthDocument(1);
        view->Clear();
        QVERIFY_DOMINO_ERROR(view->NextDocument(*result), u"已清除的搜索结果"_s);
        QCOMPARE(view->NextDocument(*whole)->DocumentId(), view->NthDocument(2)->DocumentId());
    }

    // A file made before the index: UpdateFTIndex makes it telling its progress, or a first search does.
    void firstIndexOfAnOlderFile()
    {
        admin::GenerateOptions options;
        options.words = 8;
        options.fullText = false;
        const QString file = path(u"older.nsf"_s);
        admin::generate(file, 500, options);
        const QString second = path(u"older2.nsf"_s);
        QFile::copy(file, second);
        const QStringList expected = scanned(file, u"NOT 合同"_s);

        auto db = open(file);
        QVERIFY(!db->IsFTIndexed());
        std::vector<std::pair<qint64, qint64>> told;
        db->UpdateFTIndex(true, [&](qint64 done, qint64 total) { told.emplace_back(done, total); });
        QVERIFY(db->IsFTIndexed());
        QVERIFY(told.size() >= 2);
        QCOMPARE(told.front(), std::make_pair(qint64(0), qint64(500)));
        QCOMPARE(told.back(), std::make_pair(qint64(500), qint64(500)));
        QCOMPARE(ids(*db->FTSearch(u"NOT 合同"_s, 0)), expected);

        auto other = open(second);
        QCOMPARE(ids(*other->FTSearch(u"NOT 合同"_s, 0)), expected);
        QVERIFY(other->IsFTIndexed());
        QCOMPARE(count(second, "SELECT count(*) FROM fulltext_text"), 500);
    }

    // A user who may not write the file or its folder searches it all the same, by reading every document; the file
    // stays as it was.
    void searchesAFileItsUserCannotWrite()
    {
        if (::geteuid() != 0 || QStandardPaths::findExecutable(u"setpriv"_s).isEmpty())
            QSKIP("needs root and setpriv to run the tool as another user");
        const QString folder = path(u"readonly"_s);
        QDir().mkpath(folder);
        const QString file = folder + u"/older.nsf"_s;
        QVERIFY(QFile::copy(path(u"corpus-unindexed.nsf"_s), file));
        for (const QString& p : {m_dir.path(), folder})
            QFile::setPermissions(p, QFile::permissions(p) | QFile::ReadOther | QFile::ExeOther);
        QFile::setPermissions(file, QFile::permissions(file) | QFile::ReadOther);
        const QByteArray before = [&] {
            QFile f(file);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        QProcess process;
        process.start(u"setpriv"_s, {u"--reuid=65534"_s, u"--regid=65534"_s, u"--clear-groups"_s,
                                     component::testing::adminToolPath(), u"search"_s, file, u"\"合同\" OR 北京"_s});
        QVERIFY(process.waitForFinished(60000));
        const QString err = QString::fromUtf8(process.readAllStandardError());
        if (err.contains(u"Permission denied"_s))
            QSKIP("the tool cannot be run by another user here");
        QCOMPARE(process.exitCode(), 0);
        QStringList printed = QString::fromUtf8(process.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(printed, search(path(u"corpus.nsf"_s), u"\"合同\" OR 北京"_s));
        QVERIFY(!printed.isEmpty());
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.readAll() == before);
        QVERIFY(!QFileInfo::exists(file + u"-journal"_s));
    }
};

QTEST_GUILESS_MAIN(TestComponentSearch)
#include "test_component_search.moc"
