// Database files that are refused, the admin tool's writing and the loader's errors.

#include "domino/error.h"
#include "domino/lazysession.h"
#include "domino/loader.h"
#include "domino/richtext.h"
#include "dominoassert.h"
#include "model.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "richtext/richtextrenderer.h"
#include "store.h"
#include "testsupport/sample_installation.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>
#include <variant>

using namespace Qt::StringLiterals;
using namespace quill::domino;
using quill::component::testing::SampleInstallation;

namespace {

QString errorOf(const std::function<void()>& work)
{
    try {
        work();
    } catch (const DominoError& e) {
        return e.message();
    }
    return u"<no error>"_s;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

void sql(const QString& path, const char* statement)
{
    sqlite3* db = nullptr;
    if (sqlite3_open(QFile::encodeName(path).constData(), &db) != SQLITE_OK ||
        sqlite3_exec(db, statement, nullptr, nullptr, nullptr) != SQLITE_OK)
        qFatal("sqlite: %s", sqlite3_errmsg(db));
    sqlite3_close(db);
}

// What a test does with a database altered by hand: open it, its view and first document, then one thing more.
enum class Reading
{
    Walk,
    WalkStill,      // with AutoUpdate false
    ChangedMidWalk, // the change made once AutoUpdate is false
    ItemValue,
    ItemByName,
    FormattedText,
    ExportDXL,
    ColumnValues
};

const struct Tampering
{
    const char* sql;
    Reading reading;
    const char16_t* item;
    const char16_t* fragment;
} kTamperings[] = {
    {"UPDATE items SET value = '[1e19]' WHERE name = 'V'", Reading::ItemValue, u"V", u"中域V存储的值无效"},
    {"UPDATE items SET value = '[-1e19]' WHERE name = 'V'", Reading::ColumnValues, u"V", u"中域V存储的值无效"},
    {"UPDATE items SET value = '[253402387200001]' WHERE name = 'V'", Reading::ItemValue, u"V", u"超出范围"},
    {"UPDATE items SET value = '[1.5]' WHERE name = 'V'", Reading::ItemValue, u"V", u"中域V存储的值无效"},
    {"UPDATE items SET value = '[\"D:1976-02-30\"]' WHERE name = 'V'", Reading::ItemValue, u"V", u"D:1976-02-30"},
    {"UPDATE items SET value = '[true]' WHERE name = 'V'", Reading::ItemValue, u"V", u"中域V存储的值无效"},
    {"UPDATE items SET value = '[NaN]' WHERE name = 'N'", Reading::ItemValue, u"N", u"中域N存储的值无效"},
    {"UPDATE items SET value = '[Infinity]' WHERE name = 'N'", Reading::ItemValue, u"N", u"中域N存储的值无效"},
    {"UPDATE items SET value = '[1e400]' WHERE name = 'N'", Reading::ItemValue, u"N", u"中域N存储的值无效"},
    {"UPDATE items SET value = '[\"3\"]' WHERE name = 'N'", Reading::ItemValue, u"N", u"不是数字"},
    {"UPDATE items SET value = '[3]' WHERE name = 'T'", Reading::ItemValue, u"T", u"中域T存储的值无效"},
    {"UPDATE items SET value = '{}' WHERE name = 'T'", Reading::ItemValue, u"T", u"不是JSON数组"},
    // Bytes that are not UTF-8 would read as other text; control characters are shown escaped.
    {"UPDATE items SET value = CAST(X'5b2261ff225d' AS TEXT) WHERE name = 'T'", Reading::ItemValue, u"T",
     u"中域T存储的值无效：不是UTF-8文本"},
    {"UPDATE items SET value = 'x' || char(10) || 'y' WHERE name = 'T'", Reading::ItemValue, u"T", u"（x\\x0ay）"},
    {"UPDATE items SET value = '[5]' WHERE name = 'R'", Reading::FormattedText, u"R", u"中域R存储的值无效"},
    {"INSERT INTO rich_text SELECT doc_id, seq, 7, 'x' FROM items WHERE name = 'R'", Reading::ExportDXL, u"R",
     u"中域R存储的值无效：富文本的格式编号未知（7）"},
    {"UPDATE items SET type = 12345 WHERE name = 'T'", Reading::ItemValue, u"T", u"类型编号未知（12345）"},
    {"UPDATE items SET type = 12345 WHERE name = 'T'", Reading::ItemByName, u"T", u"类型编号未知（12345）"},
    {"UPDATE items SET type = 1e19 WHERE name = 'T'", Reading::ItemByName, u"T", u"中域T存储的值无效"},
    {"UPDATE items SET type = 'text' WHERE name = 'T'", Reading::ItemValue, u"T", u"中域T存储的值无效"},
    {"UPDATE documents SET created = 1e19", Reading::ColumnValues, u"", u"创建时间存储的值无效"},
    {"UPDATE documents SET created = -9223372036854775808", Reading::ColumnValues, u"", u"创建时间存储的值无效"},
    {"UPDATE documents SET created = 'yesterday'", Reading::ColumnValues, u"", u"创建时间存储的值无效"},
    {"UPDATE views SET entry_count = -1", Reading::Walk, u"", u"索引已损坏"},
    {"UPDATE views SET entry_count = 3000000000", Reading::Walk, u"", u"索引已损坏"},
    {"UPDATE views SET entry_count = 1e19", Reading::Walk, u"", u"索引已损坏"},
    {"UPDATE view_entries SET position = -position", Reading::Walk, u"", u"索引已损坏"},
    {"UPDATE view_entries SET position = -position", Reading::WalkStill, u"", u"文档数与索引中的文档不符"},
    {"UPDATE views SET entry_count = 2", Reading::WalkStill, u"", u"文档数与索引中的文档不符"},
    {"UPDATE views SET entry_count = 0", Reading::WalkStill, u"", u"文档数与索引中的文档不符"},
    {"UPDATE view_entries SET doc_id = 'x'", Reading::WalkStill, u"", u"文档数与索引中的文档不符"},
    {"UPDATE views SET entry_count = 1e19", Reading::WalkStill, u"", u"索引已损坏：文档数无效"},
    {"DELETE FROM views", Reading::ChangedMidWalk, u"", u"<no error>"}, // its entries of that moment are walked
    {"DELETE FROM documents", Reading::ChangedMidWalk, u"", u"视图全部的第1个文档已从数据库中删除"},
};

} // namespace

class TestComponentFiles : public QObject
{
    Q_OBJECT

private:
    std::shared_ptr<NotesDatabase> open(const QString& path)
    {
        auto session = createRegisteredSession(quill::platform::Registry(quill::platform::registryFilePath()));
        session->InitLocalSession(QString());
        m_keep = std::move(session);
        return m_keep->OpenDatabase(QString(), path, false);
    }

    // Runs the admin tool; the exit code, with stderr in *error and stdout in *output.
    int admin(const QStringList& arguments, QString* error = nullptr, QString* output = nullptr)
    {
        QProcess process;
        process.start(quill::component::testing::adminToolPath(), arguments);
        if (!process.waitForFinished(60000))
            return -1;
        if (error)
            *error = QString::fromUtf8(process.readAllStandardError());
        if (output)
            *output = QString::fromUtf8(process.readAllStandardOutput());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    QString path(const QString& name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
    SampleInstallation m_sample;
    std::unique_ptr<NotesSession> m_keep;

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        m_sample = quill::component::testing::makeSampleInstallation(m_dir.path());
    }

    void refusesFilesThatAreNotDatabases()
    {
        const QString crm = m_sample.dataDir + u"/crm.nsf"_s;
        writeFile(path(u"text.nsf"_s), "just some text, long enough to fill a header of a hundred bytes or so. "
                                       "just some text, long enough to fill a header.");
        writeFile(path(u"empty.nsf"_s), QByteArray());
        QFile source(crm);
        QVERIFY(source.open(QIODevice::ReadOnly));
        const QByteArray bytes = source.readAll();
        writeFile(path(u"truncated.nsf"_s), bytes.left(bytes.size() / 2));
        writeFile(path(u"stub.nsf"_s), bytes.left(60));
        sql(path(u"foreign.nsf"_s), "CREATE TABLE t(x)");
        QVERIFY(QFile::copy(crm, path(u"newer.nsf"_s)));
        sql(path(u"newer.nsf"_s), "UPDATE meta SET value = '4' WHERE key = 'schema_version'");
        QVERIFY(QFile::copy(crm, path(u"otherformat.nsf"_s)));
        sql(path(u"otherformat.nsf"_s), "UPDATE meta SET value = 'something-else' WHERE key = 'format'");

        const struct
        {
            const char16_t* file;
            const char16_t* fragment;
        } cases[] = {
            {u"text.nsf", u"不是Domino数据库文件"}, {u"empty.nsf", u"不是Domino数据库文件"},
            {u"stub.nsf", u"不是Domino数据库文件"}, {u"truncated.nsf", u"截断"},
            {u"foreign.nsf", u"缺少格式标记"},      {u"otherformat.nsf", u"格式标记不符"},
            {u"newer.nsf", u"格式版本4过新"},       {u"missing.nsf", u"找不到数据库文件"},
        };
        for (const auto& c : cases) {
            const QString file = path(QString::fromUtf16(c.file));
            const QString message = errorOf([&] { open(file)->Views(); });
            QVERIFY2(message.contains(QString::fromUtf16(c.fragment)) && message.contains(file), qPrintable(message));
        }
        QVERIFY(errorOf([&] { open(m_dir.path()); }).contains(u"不是Domino数据库文件"_s));
        // Refused files stay as they were.
        QCOMPARE(QFileInfo(path(u"empty.nsf"_s)).size(), 0);
    }

    void filesWithoutViewAliasesStillOpen()
    {
        // A database made before views had aliases: read as it is, given the table when written to.
        const QString db = path(u"noaliases.nsf"_s);
        QVERIFY(QFile::copy(m_sample.dataDir + u"/crm.nsf"_s, db));
        sql(db, "DROP TABLE view_aliases");
        const QString first = open(db)->Views().at(0);
        QCOMPARE(open(db)->FindView(first.toUpper())->ViewName(), first);
        QVERIFY(errorOf([&] { open(db)->FindView(u"别名"_s); }).contains(u"找不到视图：别名"_s));
        m_keep.reset();

        QCOMPARE(admin({u"add-view"_s, db, u"--name"_s, u"Named"_s, u"--column"_s, u"T=Subject"_s, u"--alias"_s,
                        u"别名"_s, u"--alias"_s, u"Other"_s}),
                 0);
        auto database = open(db);
        QCOMPARE(database->FindView(u"别名"_s)->ViewName(), u"Named"_s);
        QCOMPARE(database->FindView(u"OTHER"_s)->ViewName(), u"Named"_s);
        QCOMPARE(database->FindView(first)->ViewName(), first);
    }

    void versionOneFilesOpenAsTheyWere()
    {
        // Before version 2 every date-time was an instant: it still shows in local time.
        const QString db = path(u"version1.nsf"_s);
        QVERIFY(QFile::copy(m_sample.dataDir + u"/crm.nsf"_s, db));
        sql(db, "UPDATE meta SET value = '1' WHERE key = 'schema_version';"
                "UPDATE items SET value = '[196650000000]' WHERE name = '签约日期'");
        QCOMPARE(open(db)->FindView(u"全部"_s)->NthDocument(1)->ItemValue(u"签约日期"_s),
                 ValueList{Value::dateTime(QDateTime::fromMSecsSinceEpoch(196650000000))});
        m_keep.reset();
        // Once this program has written to it, a program that knows only version 1 refuses it.
        QCOMPARE(admin({u"set-acl"_s, db, u"--name"_s, u"x"_s, u"--level"_s, u"6"_s}), 0);
        using quill::component::Store;
        QCOMPARE(Store::open(db, Store::Mode::ReadOnly)->meta(u"schema_version"_s), u"3"_s);
    }

    void versionTwoFilesGiveTheirRichTextAsParagraphs()
    {
        // Before version 3 rich text kept only its plain text: as DXL it is that text's paragraphs.
        const QString db = path(u"version2.nsf"_s);
        QVERIFY(QFile::copy(m_sample.dataDir + u"/业务/归档/2025归档.nsf"_s, db));
        sql(db, "UPDATE meta SET value = '2' WHERE key = 'schema_version'; DROP TABLE rich_text");
        const auto check = [&] {
            auto view = open(db)->FindView(u"归档文档"_s);
            auto memo = view->NthDocument(1)->RichTextItemByName(u"正文"_s);
            const QString text = memo->FormattedText(false, 0);
            QVERIFY(text.contains(u"部门\t人数\n"_s));
            QCOMPARE(memo->ExportDXL(), quill::domino::plainTextAsDxl(text));
            QVERIFY(!view->NthDocument(2)->GetMIMEEntity(u"正文"_s));
        };
        check();
        m_keep.reset();
        // Written by this program it is version 3, and still gives what it has.
        QCOMPARE(admin({u"set-acl"_s, db, u"--name"_s, u"x"_s, u"--level"_s, u"6"_s}), 0);
        using quill::component::Store;
        QCOMPARE(Store::open(db, Store::Mode::ReadOnly)->meta(u"schema_version"_s), u"3"_s);
        check();
    }

    void generatedRichBodiesAreKeptAsAnImportKeepsThem()
    {
        const QString db = path(u"richbody.nsf"_s);
        QString error;
        QCOMPARE(admin({u"generate"_s, db, u"--count"_s, u"3"_s, u"--items"_s, u"6"_s, u"--rich-body"_s}, &error), 1);
        QVERIFY2(error.contains(u"--richtext"_s), qPrintable(error));
        QCOMPARE(admin({u"generate"_s, db, u"--count"_s, u"3"_s, u"--items"_s, u"6"_s, u"--richtext"_s,
                        u"--rich-body"_s, u"--no-index"_s},
                       &error),
                 0);
        const auto view = open(db)->FindView(u"全部"_s);
        const auto second = view->NthDocument(2);
        const QByteArray dxl = second->RichTextItemByName(u"Body"_s)->ExportDXL();
        QStringList pictures, links;
        quill::richtext::PageResources resources;
        resources.saveFile = [&](const quill::richtext::FileToSave& file) {
            pictures << file.extension;
            return file.name;
        };
        resources.documentPath = [&](const quill::richtext::DocumentLink& link) {
            links << link.unid;
            return u"../1/page.html"_s;
        };
        const quill::richtext::RenderedHtml page = quill::richtext::renderRichText(dxl, resources);
        QVERIFY2(page.error.isEmpty(), qPrintable(page.error));
        QCOMPARE(pictures, (QStringList{u"png"_s, u"gif"_s}));
        // Each document links to the one before it, the first to the last.
        QCOMPARE(links, QStringList{view->NthDocument(1)->DocumentId()});
        links.clear();
        quill::richtext::renderRichText(view->NthDocument(1)->RichTextItemByName(u"Body"_s)->ExportDXL(), resources);
        QCOMPARE(links, QStringList{view->NthDocument(3)->DocumentId()});
        for (const char16_t* part :
             {u"<b>文档2</b>", u"<col style=\"width:2in\">", u"<td><div class=\"rt-p\">合同2</div>",
              u"<ul class=\"rt-list\"><li class=\"rt-p\">第一项</li>", u"href=\"https://www.example.org/2\"",
              u"href=\"../1/page.html\""})
            QVERIFY2(page.html.contains(QString::fromUtf16(part)), qPrintable(page.html));

        // Imported from that DXL, the item has the same text and keeps the same structure.
        QFile source(path(u"richbody.xml"_s));
        QVERIFY(source.open(QIODevice::WriteOnly));
        source.write("<document xmlns='http://www.lotus.com/dxl' form='Memo'><item name='Body'>" + dxl +
                     "</item></document>");
        source.close();
        QCOMPARE(admin({u"import-dxl"_s, source.fileName(), path(u"imported.nsf"_s)}, &error), 0);
        auto imported = open(path(u"imported.nsf"_s));
        const auto copy = imported->FindView(imported->Views().at(0))->NthDocument(1);
        const ValueList text = second->ItemValue(u"Body"_s);
        QVERIFY(text.at(0).asText().contains(u"合同2\t14\n第一项\n"_s));
        QCOMPARE(copy->ItemValue(u"Body"_s), text);
        QCOMPARE(copy->RichTextItemByName(u"Body"_s)->ExportDXL(), dxl);
    }

    // Numbers and values of a file altered by hand: each an error of what holds it, never undefined behaviour.
    void tamperedStoredValuesAreErrors()
    {
        const QString base = path(u"tampered-base.nsf"_s);
        QCOMPARE(admin({u"create-db"_s, base}), 0);
        QCOMPARE(admin({u"add-view"_s, base, u"--name"_s, u"全部"_s, u"--column"_s, u"V=V"_s, u"--column"_s,
                        u"C=@Created"_s}),
                 0);
        writeFile(path(u"tampered.json"_s), R"([{"items": [{"name": "V", "type": "datetime", "value": "2024-05-01"},
            {"name": "N", "value": 1}, {"name": "T", "value": "a"}, {"name": "R", "type": "richtext", "text": "r"}]}])");
        QCOMPARE(admin({u"add-docs"_s, base, path(u"tampered.json"_s)}), 0);

        int n = 0;
        for (const Tampering& c : kTamperings) {
            const QString file = path(u"tampered%1.nsf"_s.arg(++n));
            QVERIFY(QFile::copy(base, file));
            if (c.reading != Reading::ChangedMidWalk)
                sql(file, c.sql);
            const QString message = errorOf([&] {
                auto view = open(file)->FindView(u"全部"_s);
                if (c.reading == Reading::WalkStill || c.reading == Reading::ChangedMidWalk) {
                    view->SetAutoUpdate(false);
                    if (c.reading == Reading::ChangedMidWalk)
                        sql(file, c.sql);
                    for (auto doc = view->NthDocument(1); doc; doc = view->NextDocument(*doc))
                        doc->ItemValue(u"T"_s);
                    return;
                }
                auto doc = view->NthDocument(1);
                const QString item = QString::fromUtf16(c.item);
                if (c.reading == Reading::ItemValue)
                    doc->ItemValue(item);
                else if (c.reading == Reading::ItemByName)
                    doc->ItemByName(item);
                else if (c.reading == Reading::FormattedText)
                    doc->RichTextItemByName(item)->FormattedText(true, 80);
                else if (c.reading == Reading::ExportDXL)
                    doc->RichTextItemByName(item)->ExportDXL();
                else if (c.reading == Reading::ColumnValues)
                    doc->ColumnValues();
            });
            QVERIFY2(message.contains(QString::fromUtf16(c.fragment)),
                     qPrintable(QString::fromUtf8(c.sql) + u": "_s + message));
        }

        // A sort column out of every range sorts in creation order when the admin tool rebuilds the index.
        sql(base, "UPDATE views SET sort_column = 9223372036854775807");
        QCOMPARE(admin({u"add-docs"_s, base, path(u"tampered.json"_s)}), 0);
        QCOMPARE(open(base)->FindView(u"全部"_s)->EntryCount(), 2);
    }

    void adminToolWritesDocumentsFromJson()
    {
        const QString db = path(u"json.nsf"_s);
        writeFile(path(u"photo.bin"_s), QByteArray("\x00\x01\x02\xff", 4));
        QCOMPARE(admin({u"create-db"_s, db, u"--title"_s, u"测试"_s}), 0);
        QCOMPARE(admin({u"add-view"_s, db, u"--name"_s, u"按编号"_s, u"--column"_s, u"编号=No"_s, u"--column"_s,
                        u"编号=@DocumentUniqueID"_s, u"--sort"_s, u"1"_s, u"--descending"_s, u"--form"_s, u"Item"_s}),
                 0);
        writeFile(path(u"docs.json"_s), uR"([
            {"form": "Item", "id": "00000000000000000000000000000abc", "created": "2024-01-02T03:04:05",
             "items": [{"name": "No", "value": 2},
                       {"name": "When", "type": "datetime", "value": "2024-05-01T08:30:00"},
                       {"name": "Day", "type": "date", "value": "2024-05-01"},
                       {"name": "At", "type": "time", "value": "08:30"},
                       {"name": "Forms", "type": "datetime",
                        "values": ["2024-05-01", "08:30:00.5", "2024-05-01T08:30:00Z", "2024-05-01T08:30+0800"]},
                       {"name": "Tags", "type": "text", "values": ["a", "b"]},
                       {"name": "Body", "type": "richtext", "text": "plain",
                        "objects": [{"file": "photo.bin", "name": "p.bin"}, {"name": "n.txt", "text": "注"}]}],
             "attachments": [{"file": "photo.bin"}, {"name": "b.txt", "base64": "aGk="}]},
            {"form": "Item", "items": [{"name": "No", "type": "number", "values": [3]}]},
            {"form": "Item", "items": [{"name": "No", "value": 1}]},
            {"form": "Other", "items": []}
        ])"_s.toUtf8());
        QCOMPARE(admin({u"add-docs"_s, db, path(u"docs.json"_s)}), 0);

        auto view = open(db)->FindView(u"按编号"_s);
        QCOMPARE(view->EntryCount(), 3);
        QCOMPARE(view->NthDocument(1)->ColumnValues().at(0), Value::number(3));
        QCOMPARE(view->NthDocument(3)->ColumnValues().at(0), Value::number(1));
        auto doc = view->NthDocument(2);
        QCOMPARE(doc->DocumentId(), u"00000000000000000000000000000ABC"_s);
        QCOMPARE(doc->ItemValue(u"When"_s), ValueList{Value::dateTime(QDateTime(QDate(2024, 5, 1), QTime(8, 30)))});
        QCOMPARE(doc->ItemValue(u"Day"_s), ValueList{Value::date(QDate(2024, 5, 1))});
        QCOMPARE(doc->ItemValue(u"At"_s), ValueList{Value::time(QTime(8, 30))});
        const QDateTime utc(QDate(2024, 5, 1), QTime(8, 30), Qt::UTC);
        QCOMPARE(
            doc->ItemValue(u"Forms"_s),
            (ValueList{Value::date(QDate(2024, 5, 1)), Value::time(QTime(8, 30, 0, 500)),
                       Value::dateTime(utc.toLocalTime()), Value::dateTime(utc.addSecs(-8 * 3600).toLocalTime())}));
        QCOMPARE(doc->ColumnValues().at(1), Value::text(doc->DocumentId()));
        QCOMPARE(doc->ItemValue(u"Tags"_s).size(), size_t(2));
        QCOMPARE(doc->RichTextItemByName(u"Body"_s)->EmbeddedObjects(), (QStringList{u"p.bin"_s, u"n.txt"_s}));
        const QString saved = path(u"saved.bin"_s);
        doc->AttachmentByName(u"photo.bin"_s)->SaveToFile(saved);
        QFile file(saved);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("\x00\x01\x02\xff", 4));
        // A link under the name is refused, not followed: what it leads to stays as it was.
        const QString link = path(u"link.bin"_s);
        QVERIFY(QFile::link(path(u"docs.json"_s), link));
        const auto contents = [&] {
            QFile json(path(u"docs.json"_s));
            return json.open(QIODevice::ReadOnly) ? json.readAll() : QByteArray();
        };
        const QByteArray before = contents();
        QVERIFY_DOMINO_ERROR(doc->AttachmentByName(u"photo.bin"_s)->SaveToFile(link), link + u"是符号链接"_s);
        QCOMPARE(contents(), before);

        // A bad document anywhere in the file adds nothing.
        writeFile(path(u"bad.json"_s), R"([{"form": "Item", "items": [{"name": "No", "value": 9}]},
                                          {"items": [{"name": "D", "type": "datetime", "value": "not a date"}]}])");
        QString error;
        QCOMPARE(admin({u"add-docs"_s, db, path(u"bad.json"_s)}, &error), 1);
        QVERIFY2(error.contains(u"第2个文档"_s) && error.contains(u"日期时间格式无效"_s), qPrintable(error));
        writeFile(path(u"bad.json"_s), R"([{"items": [{"name": "D", "type": "date", "value": "2024-05-01T08:00"}]}])");
        QCOMPARE(admin({u"add-docs"_s, db, path(u"bad.json"_s)}, &error), 1);
        QVERIFY2(error.contains(u"日期格式无效"_s), qPrintable(error));
        writeFile(path(u"dup.json"_s), R"([{"id": "00000000000000000000000000000ABC"}])");
        QCOMPARE(admin({u"add-docs"_s, db, path(u"dup.json"_s)}, &error), 1);
        QVERIFY2(error.contains(u"文档编号已存在"_s), qPrintable(error));
        QCOMPARE(open(db)->FindView(u"按编号"_s)->EntryCount(), 3);
        QCOMPARE(admin({u"create-db"_s, db}, &error), 1);
        QCOMPARE(open(db)->Views(), QStringList{u"按编号"_s});
    }

    void adminToolMakesFormulaViewsAndSaysWhatItMade()
    {
        const QString db = path(u"made.nsf"_s);
        writeFile(path(u"made.json"_s), R"([{"form": "A", "items": [{"name": "Subject", "value": "big"},
                                                                   {"name": "Amount", "value": 500}]},
                                            {"form": "C", "items": [{"name": "Subject", "value": "other"}]},
                                            {"form": "b", "items": [{"name": "Subject", "value": "small"},
                                                                   {"name": "Amount", "value": 5}]}])");
        const struct
        {
            QStringList arguments;
            const char16_t* said;
        } steps[] = {
            {{u"create-db"_s, db, u"--title"_s, u"账目"_s}, u"已新建数据库"},
            {{u"add-docs"_s, db, path(u"made.json"_s)}, u"已添加3个文档"},
            {{u"add-view"_s, db, u"--name"_s, u"AB"_s, u"--column"_s, u"号=@DocNumber"_s, u"--column"_s,
              u"摘要=@If(Amount > 100; @UpperCase(Subject); Subject + \"!\")"_s, u"--select"_s,
              u"SELECT Form = \"A\" | Form = \"B\""_s},
             u"已添加视图AB：共2列"},
            {{u"add-user"_s, db, u"--name"_s, u"张三"_s, u"--password"_s, u"x"_s}, u"已添加用户张三"},
            {{u"add-user"_s, db, u"--name"_s, u"张三"_s, u"--password"_s, u"y"_s}, u"已更新用户的密码：张三"},
            {{u"set-acl"_s, db, u"--name"_s, u"张三"_s, u"--level"_s, u"3"_s},
             u"已设置访问控制条目张三的级别为3（作者）"},
            {{u"add-server-name"_s, db, u"S1"_s}, u"已添加服务器名S1"},
            {{u"set-acl"_s, db, u"--name"_s, u"张三"_s, u"--level"_s, u"2"_s, u"--role"_s, u"Admin"_s, u"--role"_s,
              u"[admin]"_s, u"--role"_s, u"[审批]"_s},
             u"已设置访问控制条目张三的级别为2（读者），角色：[Admin]、[审批]"},
            {{u"set-group"_s, db, u"--name"_s, u"组"_s, u"--member"_s, u"张三"_s, u"--member"_s, u"CN=李四/O=Q"_s,
              u"--member"_s, u"李四/q"_s},
             u"组组的成员：张三、CN=李四/O=Q"},
            {{u"set-group"_s, db, u"--name"_s, u"组"_s}, u"已删除组组"},
        };
        for (const auto& step : steps) {
            QString output;
            QCOMPARE(admin(step.arguments, nullptr, &output), 0);
            QVERIFY2(output.contains(QStringView(step.said)), qPrintable(output));
        }
        auto view = open(db)->FindView(u"AB"_s);
        QCOMPARE(view->EntryCount(), 2);
        QCOMPARE(view->NthDocument(1)->ColumnValues(), (ValueList{Value::text(u"1"_s), Value::text(u"BIG"_s)}));
        QCOMPARE(view->NthDocument(2)->ColumnValues(), (ValueList{Value::text(u"2"_s), Value::text(u"small!"_s)}));
        m_keep.reset();

        // A stored value the file cannot hold fails the selection on its document only: the index is still made.
        sql(db, "UPDATE items SET value = '[1]' WHERE name = 'Form' AND doc_id = 1");
        QCOMPARE(admin({u"add-docs"_s, db, path(u"made.json"_s)}), 0);
        QCOMPARE(open(db)->FindView(u"AB"_s)->EntryCount(), 3);
        m_keep.reset();

        QString error;
        QCOMPARE(admin({u"add-view"_s, db, u"--name"_s, u"X"_s, u"--column"_s, u"x=@Length(Subject)"_s}, &error), 1);
        QVERIFY2(error.contains(u"不支持的列公式：@Length(Subject)"_s), qPrintable(error));
        QCOMPARE(admin({u"add-view"_s, db, u"--name"_s, u"X"_s, u"--column"_s, u"x=Subject"_s, u"--select"_s,
                        u"SELECT Form = "_s},
                       &error),
                 1);
        QVERIFY2(error.contains(u"不支持的选择公式"_s), qPrintable(error));
        QCOMPARE(open(db)->Views(), QStringList{u"AB"_s});
        QCOMPARE(admin({u"set-acl"_s, db, u"--name"_s, u"x"_s, u"--level"_s, u"2"_s, u"--role"_s, u"[a]b]"_s}, &error),
                 1);
        QVERIFY2(error.contains(u"角色名无效"_s), qPrintable(error));
    }

    void adminToolLocksTheFileWhileWriting()
    {
        const QString db = path(u"locked.nsf"_s);
        QCOMPARE(admin({u"create-db"_s, db}), 0);
        // Another program holding a write lock: the tool refuses and changes nothing.
        const int fd = ::open(QFile::encodeName(db).constData(), O_RDWR);
        QVERIFY(fd >= 0);
        struct flock lock = {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        QCOMPARE(::fcntl(fd, F_SETLK, &lock), 0);
        QString error;
        QCOMPARE(admin({u"set-acl"_s, db, u"--name"_s, u"x"_s, u"--level"_s, u"6"_s}, &error), 1);
        QVERIFY2(error.contains(u"正被其它程序使用"_s), qPrintable(error));
        ::close(fd);
        QCOMPARE(admin({u"set-acl"_s, db, u"--name"_s, u"x"_s, u"--level"_s, u"6"_s}), 0);
        QCOMPARE(admin({u"set-acl"_s, db, u"--name"_s, u"x"_s, u"--level"_s, u"9"_s}, &error), 1);
    }

    void writerKeepsItsLockAcrossTransactions()
    {
        const QString db = path(u"held.nsf"_s);
        QCOMPARE(admin({u"create-db"_s, db}), 0);
        {
            auto store = quill::component::Store::open(db, quill::component::Store::Mode::ReadWrite);
            // SQLite takes and drops its own locks on the file during a transaction; ours must survive.
            store->transaction([&] { store->setMeta(u"title"_s, u"changed"_s); });
            QString error;
            QCOMPARE(admin({u"set-acl"_s, db, u"--name"_s, u"x"_s, u"--level"_s, u"6"_s}, &error), 1);
            QVERIFY2(error.contains(u"正被其它程序使用"_s), qPrintable(error));
        }
        QCOMPARE(admin({u"set-acl"_s, db, u"--name"_s, u"x"_s, u"--level"_s, u"6"_s}), 0);
    }

    void writerGetsInWhileAReadBatchIsHeld()
    {
        // A reader holds a batch and walks a view again and again while another program adds documents:
        // the writer waits for the reader's read to end instead of failing or waiting for the batch to end,
        // the reader's walk stays whole, and the next page load sees the new documents.
        const QString db = path(u"shared.nsf"_s);
        QCOMPARE(admin({u"create-db"_s, db}), 0);
        QCOMPARE(admin({u"add-view"_s, db, u"--name"_s, u"全部"_s, u"--column"_s, u"编号=No"_s}), 0);
        const auto documents = [](int from, int count) {
            QStringList list;
            for (int n = from; n < from + count; ++n)
                list << u"{\"items\": [{\"name\": \"No\", \"value\": %1}]}"_s.arg(n);
            return (u'[' + list.join(u',') + u']').toUtf8();
        };
        writeFile(path(u"first.json"_s), documents(1, 50));
        writeFile(path(u"more.json"_s), documents(51, 2));
        QCOMPARE(admin({u"add-docs"_s, db, path(u"first.json"_s)}), 0);

        auto database = open(db);
        auto batch = database->beginReadBatch();
        auto view = database->FindView(u"全部"_s);
        QCOMPARE(view->EntryCount(), 50);
        QProcess writer;
        writer.start(quill::component::testing::adminToolPath(), {u"add-docs"_s, db, path(u"more.json"_s)});
        QVERIFY(writer.waitForStarted());
        const auto walk = [&] {
            auto doc = view->NthDocument(1);
            for (int n = 1; n <= 50; ++n, doc = view->NextDocument(*doc)) {
                QVERIFY(doc);
                QCOMPARE(doc->ItemValue(u"No"_s), ValueList{Value::number(n)});
            }
            QVERIFY(!doc);
        };
        QElapsedTimer waited;
        waited.start();
        while (writer.state() != QProcess::NotRunning && waited.elapsed() < 60000 && !QTest::currentTestFailed()) {
            walk();
            writer.waitForFinished(1);
        }
        QCOMPARE(writer.exitStatus(), QProcess::NormalExit);
        QCOMPARE(writer.exitCode(), 0);
        walk(); // the batch is still held
        batch.reset();
        QCOMPARE(database->FindView(u"全部"_s)->EntryCount(), 52);
        QCOMPARE(database->FindView(u"全部"_s)->NthDocument(52)->ItemValue(u"No"_s), ValueList{Value::number(52)});
    }

    void aReadWaitsForAWriterThatTakesSeconds()
    {
        // Another program keeps readers out for three seconds (adding to a large database does): a read waits for
        // it instead of failing.
        const QString db = path(u"slow.nsf"_s);
        QVERIFY(QFile::copy(m_sample.dataDir + u"/crm.nsf"_s, db));
        auto database = open(db);
        QProcess writer;
        writer.start(u"/usr/bin/python3"_s, {u"-c"_s,
                                             u"import sqlite3, sys, time\n"
                                             "c = sqlite3.connect(sys.argv[1], isolation_level=None)\n"
                                             "c.execute('BEGIN EXCLUSIVE')\n"
                                             "print('locked', flush=True)\n"
                                             "time.sleep(3)\n"
                                             "c.execute('COMMIT')"_s,
                                             db});
        QVERIFY(writer.waitForReadyRead(30000));
        QElapsedTimer waited;
        waited.start();
        int count = 0;
        const QString message = errorOf([&] { count = database->FindView(u"全部"_s)->EntryCount(); });
        QVERIFY(writer.waitForFinished(30000));
        QCOMPARE(writer.exitCode(), 0);
        QCOMPARE(message, u"<no error>"_s);
        QCOMPARE(count, 250);
        QVERIFY(waited.elapsed() > 2500);
    }

    // Sorted, selecting and formula views on a server, and the positions of restricted entries the admin tool
    // keeps: followed when another writer (an older tool, here SQL) changes a Readers item.
    void readersItemsOnServerViewsFollowEveryWriter()
    {
        const QString data = path(u"readers-data"_s);
        QVERIFY(QDir().mkpath(data));
        const QString names = data + u"/names.nsf"_s;
        const QString db = data + u"/db.nsf"_s;
        writeFile(path(u"readers.json"_s), uR"([
            {"items": [{"name": "No", "value": 1}]},
            {"items": [{"name": "No", "value": 2}, {"name": "R", "type": "readers", "value": "甲"}]},
            {"items": [{"name": "No", "value": 3}]},
            {"items": [{"name": "No", "value": 4}, {"name": "R", "type": "readers", "value": "组"}]},
            {"items": [{"name": "No", "value": 5}, {"name": "R", "type": "readers", "value": "乙"}]},
            {"items": [{"name": "No", "value": 6}]}])"_s.toUtf8());
        for (const QStringList& step : {QStringList{u"create-db"_s, names},
                                        {u"add-server-name"_s, names, u"S"_s},
                                        {u"add-user"_s, names, u"--name"_s, u"甲"_s, u"--password"_s, u"p"_s},
                                        {u"add-user"_s, names, u"--name"_s, u"乙"_s, u"--password"_s, u"p"_s},
                                        {u"set-group"_s, names, u"--name"_s, u"组"_s, u"--member"_s, u"甲"_s},
                                        {u"create-db"_s, db},
                                        {u"add-docs"_s, db, path(u"readers.json"_s)},
                                        {u"add-view"_s, db, u"--name"_s, u"降序"_s, u"--column"_s, u"No=No"_s,
                                         u"--column"_s, u"号=@DocNumber"_s, u"--sort"_s, u"1"_s, u"--descending"_s},
                                        {u"add-view"_s, db, u"--name"_s, u"选择"_s, u"--column"_s, u"No=@Text(No)"_s,
                                         u"--select"_s, u"SELECT No > 2"_s}})
            QCOMPARE(admin(step), 0);
        const QString registry = quill::component::testing::registerComponent(m_dir.path(), data);
        // Each view's first column, and the formula column's numbers.
        const auto listed = [&](const QString& user, const QString& viewName) {
            auto session = createRegisteredSession(quill::platform::Registry(registry));
            session->InitUserSession(user, u"p"_s);
            auto view = session->OpenDatabase(u"S"_s, u"db.nsf"_s, false)->FindView(viewName);
            QStringList shown;
            for (int n = 1; n <= view->EntryCount(); ++n) {
                const ValueList values = view->NthDocument(n)->ColumnValues();
                shown << ValueToText(values.at(0)) + (values.size() > 1 ? u'#' + ValueToText(values.at(1)) : QString());
            }
            return shown.join(u' ');
        };
        QCOMPARE(listed(u"甲"_s, u"降序"_s), u"6#1 4#2 3#3 2#4 1#5"_s);
        QCOMPARE(listed(u"乙"_s, u"降序"_s), u"6#1 5#2 3#3 1#4"_s);
        QCOMPARE(listed(u"乙"_s, u"选择"_s), u"3 5 6"_s);

        sql(db, "INSERT INTO items(doc_id, seq, name, type, value) VALUES(3, 9, 'R', 1075, '[\"甲\"]')");
        QCOMPARE(listed(u"乙"_s, u"降序"_s), u"6#1 5#2 1#3"_s);
        QCOMPARE(listed(u"甲"_s, u"选择"_s), u"3 4 6"_s);
        // The tool's next write keeps the positions again.
        QCOMPARE(admin({u"add-docs"_s, db, path(u"readers.json"_s)}), 0);
        QCOMPARE(listed(u"乙"_s, u"选择"_s), u"5 6 3 5 6"_s);
        QCOMPARE(
            quill::component::Store::open(db, quill::component::Store::Mode::ReadOnly)->meta(u"readers_positions"_s),
            u"1"_s);
    }

    void storedValuesReadAsTheJsonParserReadsThem()
    {
        using namespace quill::component;
        // A leading space keeps a stored value from the short way round, not from the JSON parser.
        const auto decoded = [](qint64 type, const QString& stored) -> std::variant<ValueList, QString> {
            try {
                return decodeValues(type, stored);
            } catch (const quill::domino::DominoError& e) {
                return QString(e.message())
                    .replace(u"（ "_s, u"（"_s); // the stored text in the message, without the space
            }
        };
        const std::pair<qint64, QString> cases[] = {
            {TextType, u"[\"文档1的第7个值\"]"_s},
            {TextType, u"[\"\"]"_s},
            {TextType, u"[\"a\\\"b\"]"_s},
            {TextType, u"[\"\\u0041\\n\"]"_s},
            {TextType, u"[\"a\",\"b\"]"_s},
            {TextType, u"[1]"_s},
            {RichTextType, u"[\"正文\"]"_s},
            {NamesType, u"[\"\t\"]"_s},
            {NumberType, u"[1]"_s},
            {NumberType, u"[-0]"_s},
            {NumberType, u"[-0.0]"_s},
            {NumberType, u"[1.5e3]"_s},
            {NumberType, u"[0.1]"_s},
            {NumberType, u"[12345678901234567890]"_s},
            {NumberType, u"[9007199254740993]"_s},
            {NumberType, u"[1.]"_s},
            {NumberType, u"[01]"_s},
            {NumberType, u"[ 2 ]"_s},
            {NumberType, u"[1E400]"_s},
            {NumberType, u"[\"3\"]"_s},
            {DateTimeType, u"[1700000000123]"_s},
            {DateTimeType, u"[1.7e12]"_s},
            {DateTimeType, u"[1.5]"_s},
            {DateTimeType, u"[1e300]"_s},
            {DateTimeType, u"[\"D:2024-02-29\"]"_s},
            {DateTimeType, u"[\"T:00:00:00.000\"]"_s},
            {DateTimeType, u"[\"L:2024-03-31T02:30:00.000\"]"_s},
            {DateTimeType, u"[\"D:2023-02-29\"]"_s},
            {99, u"[\"x\"]"_s},
            {TextType, u"[]"_s},
            {TextType, u"not json"_s},
        };
        std::vector<std::pair<qint64, QString>> all(std::begin(cases), std::end(cases));
        // Numbers as the admin tool writes them: any bit pattern, and amounts with a few decimals.
        QRandomGenerator random(5);
        for (int i = 0; i < 20000; ++i) {
            double value = double(random.bounded(100000000)) / 100;
            if (i % 2 == 0) {
                const quint64 bits = random.generate64();
                std::memcpy(&value, &bits, sizeof value);
            }
            if (std::isfinite(value))
                all.emplace_back(NumberType, encodeValues(QJsonArray{value}));
        }
        for (const auto& [type, stored] : all) {
            const auto actual = decoded(type, stored);
            const auto expected = decoded(type, u' ' + stored);
            QVERIFY2(actual == expected, qPrintable(stored));
            if (const auto* values = std::get_if<ValueList>(&actual)) {
                for (size_t i = 0; i < values->size(); ++i) {
                    if ((*values)[i].kind() == Value::Kind::Number)
                        QCOMPARE(std::signbit((*values)[i].asNumber()),
                                 std::signbit(std::get<ValueList>(expected)[i].asNumber()));
                }
            }
        }
    }

    void installLeavesARegistryItCannotReadAlone()
    {
        for (const QByteArray& bytes : {QByteArray("\xFF\xFEW\0i\0n\0"), QByteArray("REGEDIT4\n\x80\x81"),
                                        QByteArray("REGEDIT4\n[HKEY_LOCAL_MACHINE\\X]\n\"A\"=\"1\"\ntrailing")}) {
            const QString file = path(u"unreadable.reg"_s);
            writeFile(file, bytes);
            QString error;
            QCOMPARE(admin({u"install"_s, u"--registry"_s, file, u"--data"_s, m_sample.dataDir}, &error), 1);
            QVERIFY2(error.startsWith(u"nlsxbe-admin: 无法读取注册表文件"_s + file), qPrintable(error));
            QFile after(file);
            QVERIFY(after.open(QIODevice::ReadOnly));
            QCOMPARE(after.readAll(), bytes);
        }
    }

    void unknownOptionsNeverShowAPassword()
    {
        const QString names = m_sample.dataDir + u"/names.nsf"_s;
        const QList<std::pair<QStringList, QString>> cases = {
            {{u"install"_s, u"-pquill123"_s}, u"无法识别的参数：-p…"_s},
            {{u"install"_s, u"--passwd=quill123"_s, u"extra"_s}, u"无法识别的参数：--pass… extra"_s},
            {{u"add-user"_s, names, u"--name"_s, u"x"_s, u"--passwrd"_s, u"quill123"_s}, u"无法识别的参数：--pass…"_s},
            {{u"add-user"_s, names, u"--pwd"_s, u"quill123"_s, u"--bogus"_s}, u"无法识别的参数：--p… --bogus"_s},
        };
        for (const auto& [arguments, message] : cases) {
            QString error;
            QCOMPARE(admin(arguments, &error), 1);
            QCOMPARE(error.trimmed(), u"nlsxbe-admin: "_s + message);
        }
    }

    void loaderErrorsAtFirstUse()
    {
        const QString registryPath = path(u"loader/registry.reg"_s);
        quill::platform::Registry registry(registryPath);
        const QString key = QString::fromUtf16(kSessionClassKey);

        // Creating the session object loads nothing; the first operation reports the missing key.
        LazySession session(registeredSessionFactory(registry));
        QVERIFY(!session.isConnected());
        QVERIFY(errorOf([&] { session.InitLocalSession(QString()); }).contains(u"没有注册"_s));

        registry.writeString(key, QString(), path(u"nowhere/libnlsxbe.so"_s));
        QVERIFY(errorOf([&] { createRegisteredSession(registry); }).contains(u"找不到Domino组件库文件"_s));

        registry.writeString(key, QString(), QString::fromUtf8(QUILL_NOENTRY_LIBRARY));
        QVERIFY(errorOf([&] { createRegisteredSession(registry); }).contains(u"nlsxbe_create_session"_s));

        writeFile(path(u"garbage.so"_s), "not a shared object");
        QVERIFY(errorOf([&] { verifyComponentLibrary(path(u"garbage.so"_s)); }).contains(u"无法加载"_s));

        registry.writeString(key, QString(), quill::component::testing::componentLibraryPath());
        session.InitLocalSession(QString());
        QVERIFY(session.isConnected());
    }
};

QTEST_GUILESS_MAIN(TestComponentFiles)
#include "test_component_files.moc"
