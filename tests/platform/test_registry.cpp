#include "platform/error.h"
#include "platform/registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using quill::platform::Registry;

class TestRegistry : public QObject
{
    Q_OBJECT

private:
    QString writeStore(const QByteArray& text)
    {
        const QString path = m_dir.filePath(u"registry.reg"_s);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size())
            qFatal("cannot write the test store");
        return path;
    }

    static QByteArray sample()
    {
        return "Windows Registry Editor Version 5.00\r\n\r\n"
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lotus\\Domino]\r\n"
               "\"Path\"=\"C:\\\\Lotus\\\\Domino\"\r\n"
               "\"DataPath\"=hex(2):25,00,44,00,\\\r\n"
               "  41,00,25,00,00,00\r\n"
               "\"Quoted\"=\"say \\\"hi\\\"\"\r\n"
               "\"Count\"=dword:00000001\r\n"
               "@=\"默认值\"\r\n"
               "\r\n"
               "[HKEY_CURRENT_USER\\Software\\Lotus\\Domino]\r\n"
               "\"Path\"=\"other root\"\r\n"
               "\r\n"
               "[HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\{X}\\InprocServer32]\r\n"
               "@=\"/opt/lib/libnlsxbe.so\"\r\n";
    }

    QTemporaryDir m_dir;

private slots:
    void readsBothTextTypesAsStoredWithoutRegardToCase()
    {
        const Registry registry(writeStore(sample()));
        QCOMPARE(registry.readString(u"\\Software\\Lotus\\Domino"_s, u"path"_s), u"C:\\Lotus\\Domino"_s);
        QCOMPARE(registry.readString(u"software\\LOTUS\\domino"_s, u"DATAPATH"_s), u"%DA%"_s);
        QCOMPARE(registry.readString(u"\\Software\\Lotus\\Domino"_s, u"Quoted"_s), u"say \"hi\""_s);
        QCOMPARE(registry.readString(u"\\Software\\Lotus\\Domino"_s, QString()), u"默认值"_s);
        QCOMPARE(registry.readString(u"\\Software\\Classes\\CLSID\\{x}\\InprocServer32"_s, QString()),
                 u"/opt/lib/libnlsxbe.so"_s);
    }

    void missingKeysValuesAndOtherTypesReadAsAbsent()
    {
        const Registry registry(writeStore(sample()));
        QCOMPARE(registry.readString(u"\\Software\\Lotus\\Domino"_s, u"Count"_s), std::nullopt);
        QCOMPARE(registry.readString(u"\\Software\\Lotus\\Domino"_s, u"Missing"_s), std::nullopt);
        QCOMPARE(registry.readString(u"\\Software\\Lotus\\Notes"_s, u"Path"_s), std::nullopt);
        QVERIFY(registry.openKey(u"\\Software\\Lotus\\Domino"_s));
        QVERIFY(registry.openKey(u"\\Software\\Lotus"_s)); // a parent of a key exists too
        QVERIFY(!registry.openKey(u"\\Software\\Lotus\\Notes"_s));
        QVERIFY(!registry.openKey(u"\\Software\\Lotus\\Dom"_s));

        const Registry absent(m_dir.filePath(u"none/registry.reg"_s));
        QVERIFY(!absent.openKey(u"\\Software\\Lotus\\Domino"_s));
        QCOMPARE(absent.readString(u"\\Software\\Lotus\\Domino"_s, u"Path"_s), std::nullopt);
    }

    void writeReplacesOneValueAndKeepsTheRest()
    {
        const QString path = writeStore(sample());
        Registry registry(path);
        registry.writeString(u"\\software\\lotus\\domino"_s, u"PATH"_s, u"/opt/domino \"x\" \\y"_s);
        registry.writeString(u"\\Software\\Lotus\\Notes"_s, u"Path"_s, u"/opt/notes"_s);
        registry.writeString(u"\\Software\\Lotus\\Notes"_s, QString(), u"默认"_s);

        const Registry again(path);
        QCOMPARE(again.readString(u"\\Software\\Lotus\\Domino"_s, u"Path"_s), u"/opt/domino \"x\" \\y"_s);
        QCOMPARE(again.readString(u"\\Software\\Lotus\\Domino"_s, u"DataPath"_s), u"%DA%"_s);
        QCOMPARE(again.readString(u"\\Software\\Lotus\\Notes"_s, u"Path"_s), u"/opt/notes"_s);
        QCOMPARE(again.readString(u"\\Software\\Lotus\\Notes"_s, QString()), u"默认"_s);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        QVERIFY(text.contains("dword:00000001"));
        QVERIFY(text.contains("[HKEY_CURRENT_USER\\Software\\Lotus\\Domino]"));
        QCOMPARE(text.count("\"Path\"=\"/opt/domino"), 1);
    }

    void writeCreatesTheFolderAndTheKeysAbove()
    {
        const QString path = m_dir.filePath(u"new/folder/registry.reg"_s);
        Registry registry(path);
        registry.writeString(u"\\Software\\Lotus\\Domino\\Sub"_s, u"A"_s, u"1"_s);
        registry.writeString(u"\\Software\\Lotus\\DominoOther"_s, u"A"_s, u"2"_s);
        QVERIFY(registry.openKey(u"\\Software\\Lotus\\Domino"_s, Registry::Access::ReadWrite));
        QVERIFY(!registry.openKey(u"\\Software\\Lotus\\Dom"_s));
        QCOMPARE(registry.readString(u"\\Software\\Lotus\\Domino\\Sub"_s, u"A"_s), u"1"_s);
        QCOMPARE(registry.readString(u"\\Software\\Lotus\\DominoOther"_s, u"A"_s), u"2"_s);
    }

    void everyWriteReadsBackOrIsRefusedAndMakesNoOtherEntry_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("refused");
        const QString injected = u"x\n[HKEY_LOCAL_MACHINE\\Software\\Lotus\\Notes]\n\"Path\"=\"evil\"\n@=\"evil\""_s;
        QTest::newRow("LF in value") << u"Path"_s << u"a\nb"_s << false;
        QTest::newRow("CRLF in value") << u"Path"_s << u"a\r\nb"_s << false;
        QTest::newRow("value ends in CR") << u"Path"_s << u"line\r"_s << false;
        QTest::newRow("injected lines") << u"Path"_s << injected << false;
        QTest::newRow("quotes and backslashes") << u"Path"_s << u"\"q\" \\ \\\"\\"_s << false;
        QTest::newRow("brackets, = and @") << u"Path"_s << u"]=[x]@"_s << false;
        QTest::newRow("odd Unicode") << u"Path"_s << u"\uFEFF\uFFFE\u2028\u0085\U0001F600\u3000"_s << false;
        QTest::newRow("byte-order marks and a line break") << u"Path"_s << u"\uFFFE\uFEFFa\nb"_s << false;
        QTest::newRow("tab and empty") << u"Path"_s << u"\t"_s << false;
        QTest::newRow("new value, injected lines") << u"Other"_s << injected << false;
        QTest::newRow("odd name") << u"\"[HKEY_LOCAL_MACHINE\\X]\" = @ \\"_s << u"v"_s << false;
        QTest::newRow("name @") << u"@"_s << u"v"_s << false;
        QTest::newRow("default value") << QString() << u"a\nb"_s << false;
        QTest::newRow("LF in name") << u"a\nb"_s << u"v"_s << true;
        QTest::newRow("CR in name") << u"Path\r"_s << u"v"_s << true;
        QTest::newRow("NUL in value") << u"Path"_s << u"a\0b"_s << true;
    }

    void everyWriteReadsBackOrIsRefusedAndMakesNoOtherEntry()
    {
        QFETCH(QString, name);
        QFETCH(QString, value);
        QFETCH(bool, refused);
        const QString key = u"\\Software\\Lotus\\Domino"_s;
        const QString path = writeStore(sample());
        Registry registry(path);
        const auto snapshot = [&] {
            QStringList entries;
            for (const QString& k : registry.keys())
                for (const QString& n : registry.valueNames(k))
                    entries << k + u'|' + n + u'=' + registry.readString(k, n).value_or(u"<none>"_s);
            return entries;
        };
        const QStringList before = snapshot();
        if (refused) {
            QVERIFY_THROWS_EXCEPTION(quill::platform::Error, registry.writeString(key, name, value));
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), sample());
            return;
        }
        registry.writeString(key, name, value);
        // A later rewrite of the store must keep it as it is.
        registry.writeString(u"\\Software\\Lotus\\Notes"_s, u"Later"_s, u"1"_s);
        QCOMPARE(registry.readString(key, name), value);
        QStringList expected = before;
        expected.removeIf([&](const QString& e) { return e.startsWith(u"SOFTWARE\\Lotus\\Domino|"_s + name + u'='); });
        expected << u"SOFTWARE\\Lotus\\Domino|"_s + name + u'=' + value << u"Software\\Lotus\\Notes|Later=1"_s;
        QStringList after = snapshot();
        after.sort();
        expected.sort();
        QCOMPARE(after, expected);
    }

    void unreadableStoresAreNeverRewritten_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        QByteArray random;
        for (int i = 0; i < 512; ++i)
            random += char(1 + (i * 167 + 13) % 255); // no NUL: that has a reason of its own
        const QString text = QString::fromUtf8(sample());
        QByteArray utf16("\xFF\xFE");
        utf16 += QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
        QTest::newRow("random bytes") << random << u"不是UTF-8编码的文本"_s;
        QTest::newRow("UTF-16") << utf16 << u"UTF-16编码"_s;
        QTest::newRow("trailing garbage") << sample() + "garbage" << u"第16行无法识别：“garbage”"_s;
        QTest::newRow("trailing bytes") << sample() + "\x01\x02\x80" << u"不是UTF-8编码的文本"_s;
        QTest::newRow("NUL") << sample() + QByteArray(1, '\0') << u"NUL字节"_s;
        QTest::newRow("text before the first key") << "notes\n" + sample() << u"第1行无法识别"_s;
        QTest::newRow("value with trailing text")
            << sample().replace("\"Quoted\"=\"say \\\"hi\\\"\"", "\"Q\"=\"a\" b") << u"第7行无法识别"_s;
        QTest::newRow("a folder") << QByteArray() << u"无法打开"_s;
    }

    void unreadableStoresAreNeverRewritten()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        QString path;
        if (QTest::currentDataTag() == QByteArray("a folder")) {
            path = m_dir.filePath(u"folder.reg"_s);
            QVERIFY(QDir().mkpath(path));
        } else {
            path = writeStore(bytes);
        }
        Registry registry(path);
        try {
            registry.writeString(u"\\Software\\Lotus\\Domino"_s, u"Path"_s, u"/opt/domino"_s);
            QFAIL("no error");
        } catch (const quill::platform::Error& e) {
            QVERIFY2(e.message().startsWith(u"无法读取注册表文件"_s + path + u"："_s), qPrintable(e.message()));
            QVERIFY2(e.message().contains(reason), qPrintable(e.message()));
        }
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            QCOMPARE(file.readAll(), bytes);
        else
            QVERIFY(QFileInfo(path).isDir());
    }

    void commentsAndLineEndingsSurviveARewrite()
    {
        // Lines ended by CR alone (an old Mac's) are read as lines; comments stay where they were.
        QByteArray text = "REGEDIT4\r; made by hand\r[HKEY_LOCAL_MACHINE\\Software\\Lotus\\Domino]\r"
                          "; the server\r\"Path\"=\"/opt/domino\"\r";
        const QString path = writeStore(text);
        Registry registry(path);
        QCOMPARE(registry.readString(u"\\Software\\Lotus\\Domino"_s, u"Path"_s), u"/opt/domino"_s);
        registry.writeString(u"\\Software\\Lotus\\Domino"_s, u"DataPath"_s, u"/data"_s);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(),
                 QByteArray("REGEDIT4\n; made by hand\n\n[HKEY_LOCAL_MACHINE\\Software\\Lotus\\Domino]\n"
                            "; the server\n\"Path\"=\"/opt/domino\"\n\"DataPath\"=\"/data\"\n"));
    }

    void failedWriteThrowsAndLeavesNothing()
    {
        const QString blocker = writeStore("plain file");
        Registry registry(blocker + u"/registry.reg"_s);
        try {
            registry.writeString(u"\\Software\\Lotus\\Domino"_s, u"Path"_s, u"x"_s);
            QFAIL("no error");
        } catch (const quill::platform::Error& e) {
            QCOMPARE(e.message(), u"Unable to write to "_s + blocker + u"/registry.reg"_s);
        }
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("plain file"));
    }
};

QTEST_GUILESS_MAIN(TestRegistry)
#include "test_registry.moc"
