// Dates, times and date-times of a DXL import, through the list, the detail dialog and the export, under
// every pair of zones the import and the viewing ran in.
#include "app/exportcommand.h"
#include "browse/documentdetaildialog.h"
#include "browsefixture.h"
#include "domino/loader.h"
#include "export/runmessages.h"
#include "exporttestsupport.h"
#include "testsupport/sample_installation.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTableWidget>
#include <ctime>
#include <map>
#include <sqlite3.h>

using namespace Qt::StringLiterals;
using namespace quill;

namespace {

// The view sorts by 日期: the document with every kind comes first although it was written last.
const QByteArray kDxl = R"(<?xml version='1.0' encoding='utf-8'?>
<database xmlns='http://www.lotus.com/dxl' title='时区'>
<view name='全部'><code event='selection'><formula>SELECT @All</formula></code>
<column itemname='日期' sort='ascending'><columnheader title='日期'/></column>
<column itemname='时间'><columnheader title='时间'/></column>
<column itemname='午夜'><columnheader title='午夜'/></column>
<column itemname='墙上'><columnheader title='墙上'/></column>
<column itemname='夏令'><columnheader title='夏令'/></column>
<column itemname='纽约'><columnheader title='纽约'/></column>
<column itemname='时刻'><columnheader title='时刻'/></column>
<column itemname='列表'><columnheader title='列表'/></column>
<column itemname='名单'><columnheader title='名单'/></column>
<column itemname='数'><columnheader title='数'/></column></view>
<document form='F'><noteinfo unid='00000000000000000000000000000003'/>
<item name='日期'><datetime>20240101</datetime></item></document>
<document form='F'><noteinfo unid='00000000000000000000000000000002'/>
<item name='日期'><datetime>19760303</datetime></item></document>
<document form='F'><noteinfo unid='00000000000000000000000000000001'/>
<item name='日期'><datetime>19400601</datetime></item>
<item name='时间'><datetime>T083000,00</datetime></item>
<item name='午夜'><datetime>T000000,00</datetime></item>
<item name='墙上'><datetime>19760303T083000,00</datetime></item>
<item name='夏令'><datetime>19860504T023000,00</datetime></item>
<item name='纽约'><datetime>20240310T023000,00</datetime></item>
<item name='时刻'><datetime dst='true'>19760303T083000,00+08</datetime></item>
<item name='列表'><datetimelist><datetime>19760303</datetime><datetime>19760304</datetime></datetimelist></item>
<item name='名单'><textlist><text>张三</text><text>李四</text></textlist></item>
<item name='数'><numberlist><number>1.5</number><number>-2</number><number>0.1</number></numberlist></item>
</document></database>
)";

const QStringList kZones = {u"UTC"_s, u"Asia/Shanghai"_s, u"America/New_York"_s};

// The offset of each zone at the epoch, which tells that Qt follows a change of TZ.
const std::map<QString, int> kEpochOffsets = {
    {u"UTC"_s, 0}, {u"Asia/Shanghai"_s, 8 * 3600}, {u"America/New_York"_s, -5 * 3600}};

// The instant 1976-03-03 00:30 UTC in each zone; everything else shows the same everywhere.
const std::map<QString, QString> kInstant = {{u"UTC"_s, u"1976-3-3 0:30:00"_s},
                                             {u"Asia/Shanghai"_s, u"1976-3-3 8:30:00"_s},
                                             {u"America/New_York"_s, u"1976-3-2 19:30:00"_s}};

// The first document's items in order (Form first) with their texts: a list's values joined, as the list,
// the detail dialog and the export show them.
QStringList expectedTexts(const QString& zone)
{
    return {u"F"_s,
            u"1940-6-1"_s,
            u"8:30:00"_s,
            u"0:00:00"_s,
            u"1976-3-3 8:30:00"_s,
            u"1986-5-4 2:30:00"_s,
            u"2024-3-10 2:30:00"_s,
            kInstant.at(zone),
            u"1976-3-3, 1976-3-4"_s,
            u"张三, 李四"_s,
            u"1.5, -2, 0.1"_s};
}

void setZone(const QString& zone)
{
    if (zone.isEmpty())
        qunsetenv("TZ");
    else
        qputenv("TZ", zone.toUtf8());
    tzset();
}

} // namespace

class TestTimeZones : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void sameTextWhateverTheZones_data();
    void sameTextWhateverTheZones();
    void tamperedValueIsAnItemError();

private:
    void openAndList(const QString& nsf);
    QStringList listedRow(int row) const { return m_window->documentList()->rowSubItems(row); }
    // The detail dialog's values of the first row, or what was shown instead.
    QStringList detailOfFirstRow();
    // Exports the view; the sheet's rows and the first document's value-step log texts. The final message
    // begins with messageStart.
    void exportView(const QString& name, QJsonArray& rows, QStringList& loggedValues,
                    const QString& messageStart = QString::fromUtf16(exporting::kFinished));

    QTemporaryDir m_dir;
    QString m_registryPath;
    QString m_logFolder;
    std::map<QString, QString> m_imported; // zone -> database imported under it
    QString m_startZone;
    testing::ScriptedPrompts m_prompts;
    shell::ProgressDisplay m_progress;
    std::unique_ptr<platform::Registry> m_registry;
    std::unique_ptr<workspace::Workspace> m_workspace;
    std::unique_ptr<shell::MainWindow> m_window;
    std::unique_ptr<browse::Browser> m_browser;
    std::unique_ptr<app::ExportCommand> m_exporter;
};

void TestTimeZones::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    m_startZone = qEnvironmentVariable("TZ");
    QDir().mkpath(m_dir.filePath(u"data"_s));
    m_registryPath = component::testing::registerComponent(m_dir.path(), m_dir.filePath(u"data"_s));
    m_logFolder = m_dir.filePath(u"state/"_s);
    QDir().mkpath(m_logFolder);
    const QString dxl = m_dir.filePath(u"zones.xml"_s);
    QFile file(dxl);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(kDxl) == kDxl.size());
    file.close();
    // Each import runs as its own process, in its zone.
    for (const QString& zone : kZones) {
        const QString nsf = m_dir.filePath(u"data/"_s + QString(zone).replace(u'/', u'-') + u".nsf"_s);
        QProcess admin;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"TZ"_s, zone);
        admin.setProcessEnvironment(environment);
        admin.start(component::testing::adminToolPath(), {u"import-dxl"_s, dxl, nsf});
        QVERIFY(admin.waitForFinished(60000));
        QVERIFY2(admin.exitCode() == 0, admin.readAllStandardError().constData());
        m_imported[zone] = nsf;
    }
}

void TestTimeZones::init()
{
    m_prompts = testing::ScriptedPrompts();
    m_registry = std::make_unique<platform::Registry>(m_registryPath);
    m_workspace = std::make_unique<workspace::Workspace>(domino::registeredSessionFactory(*m_registry),
                                                         m_dir.filePath(u"app/"_s));
    shell::Environment env;
    env.prompts = &m_prompts;
    env.registry = m_registry.get();
    env.leftButtonDown = [] { return false; };
    m_window = std::make_unique<shell::MainWindow>(*m_workspace, std::move(env));
    m_browser = std::make_unique<browse::Browser>(*m_window, *m_workspace, m_progress);
    app::ExportCommandOptions options;
    options.logFolder = m_logFolder;
    options.clock = testing::fixedNow;
    m_exporter = std::make_unique<app::ExportCommand>(*m_window, *m_workspace, m_progress, options);
    m_browser->attachCommands();
    m_exporter->attachCommands();
    m_window->show();
}

void TestTimeZones::cleanup()
{
    m_window.reset();
    m_exporter.reset();
    m_browser.reset();
    m_workspace.reset();
    QFile::remove(m_logFolder + u"log20261208.txt"_s);
    setZone(m_startZone);
}

void TestTimeZones::openAndList(const QString& nsf)
{
    m_prompts.openAnswers.push_back(nsf);
    m_window->trigger(shell::Command::OpenFile);
    QTreeWidgetItem* root = m_window->databaseTree()->topLevelItem(0);
    QVERIFY(root && root->childCount() == 1);
    m_window->databaseTree()->setCurrentItem(root->child(0));
    m_window->trigger(shell::Command::TreeClick);
    QCOMPARE(m_window->documentList()->rowCount(), 3);
}

QStringList TestTimeZones::detailOfFirstRow()
{
    m_window->documentList()->selectRow(0);
    QStringList values;
    testing::whenModal([&](QDialog* dialog) {
        if (auto* detail = qobject_cast<browse::DocumentDetailDialog*>(dialog)) {
            for (int r = 1; r < detail->grid()->rowCount(); ++r)
                values << detail->grid()->item(r, 1)->text();
            detail->accept();
        }
    });
    m_prompts.shown.clear();
    m_window->trigger(shell::Command::ShowDetail);
    return values.isEmpty() ? m_prompts.shown : values;
}

void TestTimeZones::exportView(const QString& name, QJsonArray& rows, QStringList& loggedValues,
                               const QString& messageStart)
{
    const QString out = m_dir.filePath(u"out/"_s);
    QDir().mkpath(out);
    m_prompts.shown.clear();
    m_prompts.saveAnswers.push_back(out + name + u".xls"_s);
    m_prompts.inputAnswers.push_back(u"1"_s);
    m_window->trigger(shell::Command::Export);
    QCOMPARE(m_prompts.errors(), QStringList());
    QCOMPARE(m_prompts.messages().size(), 1);
    QVERIFY2(m_prompts.messages()[0].startsWith(messageStart), qPrintable(m_prompts.messages()[0]));

    QProcess python;
    python.start(u"/usr/bin/python3"_s,
                 {u"-c"_s,
                  u"import json,sys,xlrd\n"
                  "s=xlrd.open_workbook(sys.argv[1]).sheet_by_index(0)\n"
                  "print(json.dumps([[s.cell_value(r,c) for c in range(s.ncols)] for r in range(s.nrows)]))"_s,
                  out + name + u"_开始为第1个文档.xls"_s});
    QVERIFY(python.waitForFinished(60000));
    QVERIFY2(python.exitCode() == 0, python.readAllStandardError().constData());
    rows = QJsonDocument::fromJson(python.readAllStandardOutput()).array();

    const QStringList log = testing::readLogLines(m_logFolder + u"log20261208.txt"_s);
    const qsizetype first = log.indexOf(u"完成向excel写入第1个文档;2026-12-8 4:24:34"_s);
    const qsizetype second = log.indexOf(u"完成向excel写入第2个文档;2026-12-8 4:24:34"_s);
    QVERIFY(first >= 0 && second > first);
    for (qsizetype i = first; i < second; ++i) {
        if (log[i].startsWith(u"  s=s+"_s))
            loggedValues << log[i].mid(6).section(u';', 0, 0);
    }
}

void TestTimeZones::sameTextWhateverTheZones_data()
{
    QTest::addColumn<QString>("importZone");
    QTest::addColumn<QString>("viewZone");
    for (const QString& importZone : kZones) {
        for (const QString& viewZone : kZones)
            QTest::addRow("imported in %s, viewed in %s", qPrintable(importZone), qPrintable(viewZone))
                << importZone << viewZone;
    }
}

void TestTimeZones::sameTextWhateverTheZones()
{
    QFETCH(QString, importZone);
    QFETCH(QString, viewZone);
    setZone(viewZone);
    QCOMPARE(QDateTime::fromMSecsSinceEpoch(0).offsetFromUtc(), kEpochOffsets.at(viewZone));

    openAndList(m_imported.at(importZone));
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(listedRow(0), expectedTexts(viewZone).mid(1));
    QCOMPARE(listedRow(1).at(0), u"1976-3-3"_s);
    QCOMPARE(listedRow(2).at(0), u"2024-1-1"_s);

    QCOMPARE(detailOfFirstRow(), expectedTexts(viewZone));

    QJsonArray rows;
    QStringList logged;
    exportView(importZone.section(u'/', -1) + u'_' + viewZone.section(u'/', -1), rows, logged);
    if (QTest::currentTestFailed())
        return;
    QStringList cells;
    for (const QJsonValue& cell : rows.at(1).toArray())
        cells << cell.toString();
    QCOMPARE(cells, QStringList{u"00000000000000000000000000000001"_s} + expectedTexts(viewZone));
    QCOMPARE(logged, expectedTexts(viewZone));
}

void TestTimeZones::tamperedValueIsAnItemError()
{
    const QString nsf = m_dir.filePath(u"data/tampered.nsf"_s);
    QVERIFY(QFile::copy(m_imported.at(u"UTC"_s), nsf));
    sqlite3* db = nullptr;
    QCOMPARE(sqlite3_open(QFile::encodeName(nsf).constData(), &db), SQLITE_OK);
    QCOMPARE(sqlite3_exec(db, "UPDATE items SET value = '[1e19]' WHERE name = '时刻'", nullptr, nullptr, nullptr),
             SQLITE_OK);
    sqlite3_close(db);
    QStringList expected = expectedTexts(u"UTC"_s);

    // The list shows the row's id without its values, as for any document whose values cannot be read.
    openAndList(nsf);
    QCOMPARE(m_window->documentList()->rowCaption(0), u"00000000000000000000000000000001"_s);
    QCOMPARE(listedRow(0), QStringList());
    QCOMPARE(listedRow(1).at(0), u"1976-3-3"_s);
    // The detail dialog is not shown; the error is.
    const QStringList detail = detailOfFirstRow();
    QCOMPARE(detail.size(), 1);
    QVERIFY2(detail[0].startsWith(u"error:"_s) && detail[0].contains(u"中域时刻存储的值无效"_s), qPrintable(detail[0]));
    // The export leaves that cell empty, logs why and counts it in its message.
    QJsonArray rows;
    QStringList logged;
    exportView(u"损坏"_s, rows, logged,
               QString::fromUtf16(exporting::kFinishedWithLosses) + u"1个域的值未能读取，单元格留空"_s);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(rows.at(1).toArray().at(8).toString(), QString());
    expected.removeAt(7);
    QCOMPARE(logged, expected);
    const QStringList log = testing::readLogLines(m_logFolder + u"log20261208.txt"_s);
    QVERIFY(log.contains(u"读取第1个文档的时刻域出错:文档00000000000000000000000000000001中域时刻存储的值无效："_s
                         u"日期时间无效或超出范围（1e+19）;2026-12-8 4:24:34"_s));
}

QTEST_MAIN(TestTimeZones)
#include "tst_time_zones.moc"
