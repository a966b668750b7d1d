#include "platform/error.h"
#include "platform/gbk.h"
#include "platform/hostname.h"
#include "platform/profile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace quill::platform;

class TestProfile : public QObject
{
    Q_OBJECT
private slots:
    void lookup_data();
    void lookup();
    void firstSectionAndKeyCount();
    void edit_data();
    void edit();
    void longValuesCutAtCharacterBoundary();
    void quotedValuesRoundTrip_data();
    void quotedValuesRoundTrip();
    void everyWriteReadsBackWhateverTheLineEndings_data();
    void everyWriteReadsBackWhateverTheLineEndings();
    void namesThatCannotReadBackAreRefused_data();
    void namesThatCannotReadBackAreRefused();
    void utf8FileWithByteOrderMark();
    void missingFileYieldsDefault();
    void upperAsciiOnly();
};

void TestProfile::lookup_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << "[domino]\nserver=srv\n"_ba << u"srv"_s;
    QTest::newRow("case of section and key") << "[DoMiNo]\r\nSERVER=srv\r\n"_ba << u"srv"_s;
    QTest::newRow("blanks trimmed") << "  [ domino ]  \n  server  =  a b \t\n"_ba << u"a b"_s;
    QTest::newRow("quotes removed") << "[domino]\nserver=\"a b\"\n"_ba << u"a b"_s;
    QTest::newRow("single quotes removed") << "[domino]\nserver='x'\n"_ba << u"x"_s;
    QTest::newRow("unpaired quote kept") << "[domino]\nserver=\"x\n"_ba << u"\"x"_s;
    QTest::newRow("no final newline") << "[domino]\nserver=last"_ba << u"last"_s;
    QTest::newRow("comment is not a key") << "[domino]\n;server=no\nserver=yes\n"_ba << u"yes"_s;
    QTest::newRow("other section") << "[other]\nserver=no\n[domino]\nserver=yes\n"_ba << u"yes"_s;
    QTest::newRow("equals in value") << "[domino]\nserver=a=b\n"_ba << u"a=b"_s;
    QTest::newRow("gbk") << "[domino]\nserver=\xB7\xFE\xCE\xF1\xC6\xF7\n"_ba << u"服务器"_s;
    // A GBK character whose second byte is "]" in a section name.
    QTest::newRow("trail byte ]") << "[\xB7\x5D]\nserver=x\n[domino]\nserver=yes\n"_ba << u"yes"_s;
    QTest::newRow("missing") << "[domino]\nservers=x\n"_ba << u"<default>"_s;
    QTest::newRow("empty value") << "[domino]\nserver=\n"_ba << QString();
}

void TestProfile::lookup()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"system.ini"_s);
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
    f.close();
    QCOMPARE(readProfileString(path, u"domino"_s, u"server"_s, u"<default>"_s), expected);
}

void TestProfile::firstSectionAndKeyCount()
{
    const QByteArray content = "[a]\nk=1\nk=2\n[A]\nk=3\nj=4\n"_ba;
    bool found = false;
    QCOMPARE(profileValueBytes(content, u"a"_s, u"k"_s, &found), "1"_ba);
    QVERIFY(found);
    // Only the first section of a name is looked at.
    QCOMPARE(profileValueBytes(content, u"a"_s, u"j"_s, &found), QByteArray());
    QVERIFY(!found);
    QCOMPARE(setProfileValue(content, u"A"_s, u"k"_s, u"9"_s), "[a]\nk=9\nk=2\n[A]\nk=3\nj=4\n"_ba);
}

void TestProfile::edit_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("new file") << QByteArray() << u"pwd"_s << u"x"_s << "[domino]\npwd=x\n"_ba;
    QTest::newRow("replace keeps spelling and blanks") << "[domino]\r\n  Pwd =  old  \r\nz=1\r\n"_ba << u"pwd"_s
                                                       << u"new"_s << "[domino]\r\n  Pwd =  new\r\nz=1\r\n"_ba;
    QTest::newRow("append after last line of section")
        << "[domino]\r\na=1\r\n\r\n; about b\r\n[b]\r\n"_ba << u"pwd"_s << u"x"_s
        << "[domino]\r\na=1\r\npwd=x\r\n\r\n; about b\r\n[b]\r\n"_ba;
    QTest::newRow("append in last section without final newline")
        << "[x]\ny=1\n[domino]\na=1"_ba << u"pwd"_s << u"x"_s << "[x]\ny=1\n[domino]\na=1\npwd=x\n"_ba;
    QTest::newRow("empty section") << "[domino]\n[next]\n"_ba << u"pwd"_s << u"x"_s << "[domino]\npwd=x\n[next]\n"_ba;
    QTest::newRow("missing section, crlf file")
        << "[x]\r\ny=1"_ba << u"pwd"_s << u"x"_s << "[x]\r\ny=1\r\n[domino]\r\npwd=x\r\n"_ba;
    QTest::newRow("gbk value") << "[domino]\npwd=a\n"_ba << u"pwd"_s << u"密码"_s
                               << "[domino]\npwd=\xC3\xDC\xC2\xEB\n"_ba;
    QTest::newRow("empty value") << "[domino]\npwd=a\n"_ba << u"pwd"_s << QString() << "[domino]\npwd=\n"_ba;
}

void TestProfile::edit()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, after);
    QCOMPARE(setProfileValue(before, u"domino"_s, key, value), after);
    bool found = false;
    QCOMPARE(fromGbk(profileValueBytes(after, u"domino"_s, key, &found)), value);
    QVERIFY(found);
}

void TestProfile::longValuesCutAtCharacterBoundary()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"system.ini"_s);
    const QString ascii(3000, u'a');
    writeProfileStrings(path, u"domino"_s, {{u"a"_s, ascii}});
    QCOMPARE(readProfileString(path, u"domino"_s, u"a"_s), QString(kProfileValueMaxBytes, u'a'));

    // 2046 bytes, then a two-byte character that would end at byte 2048: dropped whole.
    const QString mixed = QString(2046, u'b') + u"中文"_s;
    writeProfileStrings(path, u"domino"_s, {{u"b"_s, mixed}});
    QCOMPARE(readProfileString(path, u"domino"_s, u"b"_s), QString(2046, u'b'));
    // A four-byte GB18030 character at the end is not split either.
    const QString four = QString(2045, u'c') + u"𠀀"_s;
    writeProfileStrings(path, u"domino"_s, {{u"c"_s, four}});
    QCOMPARE(readProfileString(path, u"domino"_s, u"c"_s), QString(2045, u'c'));
    const QString fits = QString(2043, u'd') + u"𠀀"_s;
    writeProfileStrings(path, u"domino"_s, {{u"d"_s, fits}});
    QCOMPARE(readProfileString(path, u"domino"_s, u"d"_s), fits);
}

void TestProfile::quotedValuesRoundTrip_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("leading blank") << u" pw"_s;
    QTest::newRow("trailing tab") << u"pw\t"_s;
    QTest::newRow("quoted") << u"\"pw\""_s;
    QTest::newRow("single quoted") << u"'pw'"_s;
    QTest::newRow("one quote") << u"\""_s;
    QTest::newRow("inner quotes") << u"a\"b\"c"_s;
    QTest::newRow("semicolon") << u";not a comment"_s;
    QTest::newRow("leading U+FEFF") << u"\uFEFFpw"_s;
}

void TestProfile::quotedValuesRoundTrip()
{
    QFETCH(QString, value);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"system.ini"_s);
    writeProfileStrings(path, u"domino"_s, {{u"pwd"_s, value}});
    QCOMPARE(readProfileString(path, u"domino"_s, u"pwd"_s), value);
}

void TestProfile::everyWriteReadsBackWhateverTheLineEndings_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QByteArray>("replaced"); // the old value's bytes, empty when a line is added
    const std::pair<const char*, QByteArray> endings[] = {{"LF", "\n"_ba}, {"CRLF", "\r\n"_ba}, {"CR", "\r"_ba}};
    struct Operation
    {
        const char* name;
        QString section;
        QString key;
    };
    const Operation operations[] = {
        {"new key in first section", u"domino"_s, u"pwd"_s},
        {"new key in last section", u"other"_s, u"new"_s},
        {"new section", u"fresh"_s, u"pwd"_s},
        {"replace in first section", u"domino"_s, u"server"_s},
        {"replace on last line", u"other"_s, u"k"_s},
    };
    for (const auto& [style, eol] : endings) {
        for (const bool finalEnding : {true, false}) {
            const QByteArray file = "; note"_ba + eol + "[domino]" + eol + "server=a" + eol + eol + "[other]" + eol +
                                    "k=\xC3\xDC" + (finalEnding ? eol : QByteArray());
            for (const Operation& op : operations) {
                const QByteArray replaced = op.key == u"server"_s ? "a"_ba : op.key == u"k"_s ? "\xC3\xDC"_ba : "";
                QTest::addRow("%s, %s, %s", style, finalEnding ? "final ending" : "no final ending", op.name)
                    << file << op.section << op.key << replaced;
            }
        }
    }
    // As reported: a file of LF lines whose last line ends in a lone CR.
    QTest::newRow("last line a header ending in CR")
        << "[x]\nk=1\n[domino]\r"_ba << u"domino"_s << u"pwd"_s << QByteArray();
    QTest::newRow("last line an entry ending in CR")
        << "[domino]\nserver=a\r"_ba << u"domino"_s << u"pwd"_s << QByteArray();
    QTest::newRow("lone CR before an LF line")
        << "[domino]\rserver=a\r\n\n[x]\n"_ba << u"domino"_s << u"pwd"_s << QByteArray();
}

void TestProfile::everyWriteReadsBackWhateverTheLineEndings()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QByteArray, replaced);
    const QString value = u"新 值"_s;
    const QByteArray after = setProfileValue(before, section, key, value);
    bool found = false;
    QCOMPARE(fromGbk(profileValueBytes(after, section, key, &found)), value);
    QVERIFY(found);
    // What is not the written value is kept byte for byte: only the old value goes, only the new line
    // (with an ending for a last line that had none) comes.
    qsizetype prefix = 0;
    while (prefix < before.size() && prefix < after.size() && before[prefix] == after[prefix])
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < before.size() - prefix && suffix < after.size() - prefix &&
           before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
        ++suffix;
    QCOMPARE(before.sliced(prefix, before.size() - prefix - suffix), replaced);
    QVERIFY(after.sliced(prefix, after.size() - prefix - suffix).contains(toGbk(value)));
    for (const auto& [otherSection, otherKey] : {std::pair{u"domino"_s, u"server"_s}, {u"other"_s, u"k"_s}}) {
        if (otherSection == section && otherKey == key)
            continue;
        bool was = false;
        bool is = false;
        QCOMPARE(profileValueBytes(after, otherSection, otherKey, &is),
                 profileValueBytes(before, otherSection, otherKey, &was));
        QCOMPARE(is, was);
        QVERIFY(was || !before.contains("[other]"));
    }
}

void TestProfile::namesThatCannotReadBackAreRefused_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::newRow("line break in value") << u"domino"_s << u"pwd"_s << u"a\rb"_s;
    QTest::newRow("line break in key") << u"domino"_s << u"p\nwd"_s << u"x"_s;
    QTest::newRow("= in key") << u"domino"_s << u"p=w"_s << u"x"_s;
    QTest::newRow("key reads as a header") << u"domino"_s << u"[x"_s << u"y]"_s;
    QTest::newRow("key reads as a comment") << u"domino"_s << u";pwd"_s << u"x"_s;
    QTest::newRow("blank around key") << u"domino"_s << u" pwd"_s << u"x"_s;
    QTest::newRow("empty key") << u"domino"_s << QString() << u"x"_s;
    QTest::newRow("] in section") << u"dom]ino"_s << u"pwd"_s << u"x"_s;
    QTest::newRow("line break in section") << u"dom\rino"_s << u"pwd"_s << u"x"_s;
    QTest::newRow("blank around section") << u"domino\t"_s << u"pwd"_s << u"x"_s;
    QTest::newRow("white space around section") << u"\fdomino"_s << u"pwd"_s << u"x"_s;
}

void TestProfile::namesThatCannotReadBackAreRefused()
{
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QVERIFY_THROWS_EXCEPTION(Error, setProfileValue("[domino]\nserver=a\n"_ba, section, key, value));
    QTemporaryDir dir;
    const QString path = dir.filePath(u"system.ini"_s);
    writeProfileStrings(path, u"domino"_s, {{u"server"_s, u"a"_s}});
    try {
        writeProfileStrings(path, section, {{u"server"_s, u"b"_s}, {key, value}});
        QFAIL("written");
    } catch (const Error& e) {
        QVERIFY(e.message().startsWith(u"Unable to write to "_s + path + u": "_s));
    }
    QCOMPARE(readProfileString(path, u"domino"_s, u"server"_s), u"a"_s);
}

void TestProfile::utf8FileWithByteOrderMark()
{
    const QByteArray bom = "\xEF\xBB\xBF"_ba;
    const QByteArray before = bom + "[domino]\r\nserver=服务器\r\n[x]\r\n"_ba;
    bool found = false;
    QCOMPARE(QString::fromUtf8(profileValueBytes(before, u"domino"_s, u"server"_s, &found)), u"服务器"_s);
    QVERIFY(found);
    // Edited in place, the mark and the encoding stay.
    QCOMPARE(setProfileValue(before, u"domino"_s, u"pwd"_s, u"密码"_s),
             bom + "[domino]\r\nserver=服务器\r\npwd=密码\r\n[x]\r\n"_ba);
    QCOMPARE(setProfileValue(bom, u"domino"_s, u"pwd"_s, u"x"_s), bom + "[domino]\npwd=x\n"_ba);

    QTemporaryDir dir;
    const QString path = dir.filePath(u"system.ini"_s);
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    // 2046 bytes, then a three-byte character that would end past byte 2047: dropped whole.
    f.write(bom + "[domino]\nserver="_ba + QByteArray(2046, 'a') + "中\n"_ba);
    f.close();
    QCOMPARE(readProfileString(path, u"domino"_s, u"server"_s), QString(2046, u'a'));
    writeProfileStrings(path, u"domino"_s, {{u"server"_s, u"服务器"_s}});
    QCOMPARE(readProfileString(path, u"domino"_s, u"server"_s), u"服务器"_s);
}

void TestProfile::missingFileYieldsDefault()
{
    QCOMPARE(readProfileString(u"/nonexistent-dir/system.ini"_s, u"domino"_s, u"server"_s, u"d"_s), u"d"_s);
    QVERIFY_THROWS_EXCEPTION(Error,
                             writeProfileStrings(u"/nonexistent-dir/system.ini"_s, u"domino"_s, {{u"a"_s, u"b"_s}}));
}

void TestProfile::upperAsciiOnly()
{
    QCOMPARE(upperAsciiLetters(u"host-01.example.com"_s), u"HOST-01.EXAMPLE.COM"_s);
    QCOMPARE(upperAsciiLetters(u"straße-ä"_s), u"STRAßE-ä"_s);
}

QTEST_MAIN(TestProfile)
#include "test_profile.moc"
