#include "platform/error.h"
#include "platform/registry.h"

#include <QFile>
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
