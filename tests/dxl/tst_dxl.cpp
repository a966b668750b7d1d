// DXL import: the reader's pieces, every sample export through the real component, and bad input.

#include "domino/error.h"
#include "domino/notes.h"
#include "domino/richtext.h"
#include "dxlimport.h"
#include "dxltext.h"
#include "platform/error.h"
#include "richtext/htmlpage.h"
#include "richtext/htmlsafety.h"
#include "richtext/mailrenderer.h"
#include "richtext/plaintext.h"
#include "richtext/richtextrenderer.h"
#include "store.h"
#include "testsupport/sample_installation.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLibrary>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <numeric>

using namespace Qt::StringLiterals;
using namespace quill::component::dxl;
using quill::domino::NotesDatabase;
using quill::domino::NotesItem;
using quill::domino::Value;

namespace {

QString samples()
{
    return QStringLiteral(QUILL_DXL_SAMPLES);
}

QString sample(const QString& name)
{
    return samples() + u'/' + name;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(data), data.size());
}

QByteArray dxl(const QByteArray& body)
{
    return "<?xml version='1.0' encoding='utf-8'?>\n<database xmlns='http://www.lotus.com/dxl' title='内联'>\n" + body +
           "\n</database>\n";
}

QByteArray document(const QByteArray& unid, const QByteArray& form, const QByteArray& items)
{
    return "<document form='" + form + "'><noteinfo unid='" + unid +
           "'><created><datetime>20240105T101500,00+00</datetime></created></noteinfo>" + items + "</document>\n";
}

// The ids of a database's documents, in the order they were imported.
QStringList documentIds(const QString& database)
{
    auto store = quill::component::Store::open(database, quill::component::Store::Mode::ReadOnly);
    quill::component::Query q(store->statement("SELECT unid FROM documents ORDER BY id"));
    QStringList ids;
    while (q->step())
        ids << q->text(0);
    return ids;
}

// By position, until there is none.
QStringList attachmentNames(const quill::domino::NotesDocument& doc)
{
    QStringList names;
    try {
        for (int i = 0;; ++i)
            names << doc.AttachmentAt(i)->Name();
    } catch (const quill::domino::DominoError&) {
    }
    return names;
}

} // namespace

class TestDxl : public QObject
{
    Q_OBJECT

private:
    std::shared_ptr<NotesDatabase> open(const QString& path)
    {
        auto session = std::unique_ptr<quill::domino::NotesSession>(m_create());
        session->InitLocalSession(QString());
        return session->OpenDatabase(QString(), path, false);
    }

    QString importSample(const QString& name)
    {
        const QString db = m_dir.filePath(QFileInfo(name).completeBaseName() + u".nsf"_s);
        QFile::remove(db);
        importDxl(sample(name), db);
        return db;
    }

    QString importInline(const QByteArray& content, const QString& db)
    {
        const QString file = m_dir.filePath(u"inline.xml"_s);
        writeFile(file, content);
        importDxl(file, db);
        return db;
    }

    // The import must fail naming the file and the line, and leave the database as it was.
    void expectFailure(const QByteArray& content, const QString& expected)
    {
        const QString file = m_dir.filePath(u"bad.xml"_s);
        writeFile(file, content);

        const QString fresh = m_dir.filePath(u"fresh.nsf"_s);
        QFile::remove(fresh);
        try {
            importDxl(file, fresh);
            QFAIL("a bad file was imported");
        } catch (const quill::platform::Error& e) {
            QVERIFY2(e.message().contains(file), qPrintable(e.message()));
            QVERIFY2(e.message().contains(expected), qPrintable(e.message()));
            QVERIFY2(QRegularExpression(u"第\\d+行"_s).match(e.message()).hasMatch(), qPrintable(e.message()));
        }
        QVERIFY(!QFile::exists(fresh));
        QVERIFY(!QFile::exists(fresh + u"-journal"_s));

        const QString existing = m_dir.filePath(u"existing.nsf"_s);
        QFile::remove(existing);
        importDxl(sample(u"plomino/test_documents.xml"_s), existing);
        const QByteArray before = readAll(existing);
        QVERIFY_THROWS_EXCEPTION(quill::platform::Error, importDxl(file, existing));
        QVERIFY(readAll(existing) == before);
        QVERIFY(!QFile::exists(existing + u"-journal"_s));
        QCOMPARE(open(existing)->FindView(u"tous"_s)->EntryCount(), 2);
    }

    QTemporaryDir m_dir;
    QLibrary m_library;
    NlsxbeCreateSessionFn m_create = nullptr;

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY2(QFileInfo(sample(u"plomino/test1.xml"_s)).isFile(),
                 qPrintable(u"DXL samples missing: expected them in "_s + samples()));
        QVERIFY(m_dir.isValid());
        m_library.setFileName(quill::component::testing::componentLibraryPath());
        QVERIFY2(m_library.load(), qPrintable(m_library.errorString()));
        m_create = reinterpret_cast<NlsxbeCreateSessionFn>(m_library.resolve(QUILL_NLSXBE_ENTRY_POINT));
        QVERIFY(m_create);
    }

    void dateTimeForms()
    {
        const auto dateOnly = parseDateTime(u"19990713");
        QVERIFY(dateOnly);
        QCOMPARE(dateOnly->date, QDate(1999, 7, 13));
        QVERIFY(!dateOnly->time.isValid());
        QVERIFY(!dateOnly->offsetSeconds);

        const auto timeOnly = parseDateTime(u"T060306,52");
        QVERIFY(timeOnly);
        QVERIFY(!timeOnly->date.isValid());
        QCOMPARE(timeOnly->time, QTime(6, 3, 6, 520));

        const auto full = parseDateTime(u"19990713T060306,52+05");
        QVERIFY(full);
        QCOMPARE(full->date, QDate(1999, 7, 13));
        QCOMPARE(full->time, QTime(6, 3, 6, 520));
        QCOMPARE(*full->offsetSeconds, 5 * 3600);
        QCOMPARE(*parseDateTime(u"20010424T132608,39-04")->offsetSeconds, -4 * 3600);
        QCOMPARE(*parseDateTime(u"20010424T132608,39+0530")->offsetSeconds, 5 * 3600 + 30 * 60);

        for (const auto bad : {u"", u"1999071", u"19991345", u"19990713T2561", u"19990713T060306,52+5", u"19990713X",
                               u"T0603xx", u"abc"})
            QVERIFY2(!parseDateTime(QStringView(bad)), qPrintable(QStringView(bad).toString()));
    }

    void base64InPieces()
    {
        QByteArray bytes;
        for (int i = 0; i < 1000; ++i)
            bytes.append(char(i * 7 + i / 13));
        for (int cut : {0, 1, 2}) {
            const QByteArray data = bytes.left(bytes.size() - cut);
            QByteArray encoded = data.toBase64();
            for (qsizetype at = 76; at < encoded.size(); at += 77)
                encoded.insert(at, '\n');
            Base64Decoder decoder;
            QByteArray out;
            qsizetype bad = -1;
            // One character at a time, as a parser may hand it over.
            for (char c : std::as_const(encoded))
                QVERIFY(decoder.feed(&c, 1, out, &bad));
            QVERIFY(decoder.finish());
            QCOMPARE(out, data);
        }

        const auto rejects = [](const char* text, qsizetype expectedOffset) {
            Base64Decoder decoder;
            QByteArray out;
            qsizetype bad = -1;
            const bool ok = decoder.feed(text, qsizetype(strlen(text)), out, &bad);
            return !ok && bad == expectedOffset;
        };
        QVERIFY(rejects("QUJD*RE", 4));
        QVERIFY(rejects("QQ==QUJD", 4));
        QVERIFY(rejects("Q===", 1));

        Base64Decoder cutOff;
        QByteArray out;
        qsizetype bad = -1;
        QVERIFY(cutOff.feed("QUJDRE", 6, out, &bad));
        QVERIFY(!cutOff.finish());
    }

    void everySampleImports_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("documents");
        // -1: design notes only, nothing to import.
        const QList<std::pair<QString, int>> files = {
            {u"plomino/dxlDocument.xml"_s, 2},      {u"plomino/test1.xml"_s, 2},
            {u"plomino/test_100docs.xml"_s, 100},   {u"plomino/test_binaries.xml"_s, 5},
            {u"plomino/test_binary_1.xml"_s, 1},    {u"plomino/test_datetime_type.xml"_s, 1},
            {u"plomino/test_documents.xml"_s, 2},   {u"plomino/test_formulas.xml"_s, 4},
            {u"plomino/test_names_type.xml"_s, 4},  {u"plomino/test_number_type.xml"_s, 1},
            {u"plomino/test_text_type.xml"_s, 1},   {u"domino-jnx/basicnote.xml"_s, 1},
            {u"domino-jnx/document.xml"_s, 1},      {u"domino-jnx/view.xml"_s, 0},
            {u"domino-jnx/discuss-2186.xml"_s, -1}, {u"domino-jnx/discuss-2190.xml"_s, -1},
            {u"domino-jnx/discuss-2194.xml"_s, -1},
        };
        for (const auto& [file, count] : files)
            QTest::newRow(qPrintable(file)) << file << count;
        QTest::newRow("quillmere/richtext.xml") << u"quillmere/richtext.xml"_s << 2;
        QTest::newRow("quillmere/mail.xml") << u"quillmere/mail.xml"_s << 3;
        QTest::newRow("quillmere/bare.xml") << u"quillmere/bare.xml"_s << 1;
        // Every sample is listed above, except the one that is malformed on purpose.
        int found = 0;
        for (const QString& folder : {u"plomino"_s, u"domino-jnx"_s, u"quillmere"_s})
            found += int(QDir(sample(folder)).entryList({u"*.xml"_s}).size());
        QCOMPARE(found, int(files.size()) + 4);
    }

    void everySampleImports()
    {
        QFETCH(QString, file);
        QFETCH(int, documents);
        const QString db = m_dir.filePath(u"every.nsf"_s);
        QFile::remove(db);
        if (documents < 0) {
            QVERIFY_THROWS_EXCEPTION(quill::platform::Error, importDxl(sample(file), db));
            QVERIFY(!QFile::exists(db));
            return;
        }
        const ImportReport report = importDxl(sample(file), db);
        QCOMPARE(report.documents, documents);
        // Every column and selection of the samples computes.
        QVERIFY2(!report.notices.join(u'\n').contains(u"公式"_s), qPrintable(report.notices.join(u'\n')));
        const auto database = open(db);
        for (const QString& name : database->Views())
            QVERIFY(database->FindView(name)->EntryCount() <= documents);
        // Each rich-text item keeps its DXL, which gives the plain text the item has.
        for (const QString& id : documentIds(db)) {
            const auto doc = database->FindDocumentById(id);
            for (const QString& name : doc->Items()) {
                if (doc->ItemByName(name)->ItemType() != NotesItem::RichText)
                    continue;
                const auto item = doc->RichTextItemByName(name);
                const QByteArray dxl = item->ExportDXL();
                QVERIFY2(dxl.startsWith("<richtext") && !dxl.contains("xmlns"), dxl.constData());
                const quill::richtext::PlainText plain = quill::richtext::richTextPlainText(dxl);
                QVERIFY2(plain.error.isEmpty(), qPrintable(plain.error));
                QCOMPARE(plain.text, item->FormattedText(false, 0));
            }
        }
    }

    void malformedSampleFailsCleanly()
    {
        const QString db = m_dir.filePath(u"bad.nsf"_s);
        try {
            importDxl(sample(u"plomino/dxlDatabaseBadXML.xml"_s), db);
            QFAIL("imported a malformed file");
        } catch (const quill::platform::Error& e) {
            QVERIFY2(e.message().contains(u"dxlDatabaseBadXML.xml"_s) && e.message().contains(u"第15行"_s),
                     qPrintable(e.message()));
        }
        QVERIFY(!QFile::exists(db));
    }

    void itemTypesAndValues()
    {
        auto names = open(importSample(u"plomino/test_names_type.xml"_s));
        auto doc = names->FindDocumentById(u"B4885CC537C3C6B8C12575C50041CD8B"_s);
        QCOMPARE(doc->Items(), (QStringList{u"Form"_s, u"article"_s, u"auteur"_s, u"contributeur"_s, u"auteur2"_s,
                                            u"contributeurs2"_s, u"auteur3"_s, u"contributeurs3"_s, u"$Revisions"_s}));
        QCOMPARE(doc->ItemByName(u"auteur"_s)->ItemType(), NotesItem::Names);
        QCOMPARE(doc->ItemByName(u"auteur2"_s)->ItemType(), NotesItem::Authors);
        QCOMPARE(doc->ItemByName(u"contributeurs3"_s)->ItemType(), NotesItem::Readers);
        QCOMPARE(doc->ItemByName(u"article"_s)->ItemType(), NotesItem::RichText);
        QCOMPARE(doc->ItemValue(u"contributeurs3"_s),
                 (quill::domino::ValueList{Value::text(u"CN=Eric BREHAULT/O=Eric BREHAULT"_s),
                                           Value::text(u"OtherDomainServers"_s)}));
        // noteinfo times with their zone: 20090529T135844,59+02.
        auto listed = names->FindDocumentById(u"27CF070394A919C9C12575C5003E92F5"_s);
        QCOMPARE(listed->ItemValue(u"contributeur"_s).size(), size_t(3));
        QCOMPARE(listed->RichTextItemByName(u"article"_s)->FormattedText(false, 0),
                 u"blah blah blah blah blah blah \n\nblah blah blah blah \nblah blah "_s);

        // Paragraphs as lines, a table row as one line of tab-separated cells.
        auto civil =
            open(importSample(u"plomino/test1.xml"_s))->FindDocumentById(u"8FAFEA17124D221DC12575C300355976"_s);
        const QString biography = civil->RichTextItemByName(u"biography"_s)->FormattedText(false, 0);
        QVERIFY2(biography.contains(u"\ntitre\tauteur\nLondon Calling\tThe Clash\n"_s), qPrintable(biography));
        QVERIFY(biography.contains(u"\nfaire un serveur\nfaire les courses\n"_s));
        QVERIFY(!biography.contains(u"lQAmAAAA"_s)); // no picture data

        auto numbers = open(importSample(u"plomino/test_number_type.xml"_s));
        doc = numbers->FindDocumentById(u"C18E432776C6B522C12575CA002BEF3C"_s);
        QCOMPARE(doc->ItemValue(u"nb1"_s), quill::domino::ValueList{Value::number(12.5)});
        QCOMPARE(doc->ItemByName(u"nb5"_s)->ItemType(), NotesItem::Number);

        auto text = open(importSample(u"plomino/test_text_type.xml"_s));
        doc = text->FindDocumentById(u"1442C2F472378BE1C12575CA002B4A72"_s);
        QCOMPARE(doc->ItemValue(u"text3"_s), quill::domino::ValueList{Value::text(u"text 3\ntextarea"_s)});

        auto dates = open(importSample(u"plomino/test_datetime_type.xml"_s));
        doc = dates->FindDocumentById(u"9F74D5E602DEA75DC12575E0002CC9EF"_s);
        QCOMPARE(doc->ItemByName(u"birthdate"_s)->ItemType(), NotesItem::DateTime);
        QCOMPARE(doc->ItemValue(u"birthdate"_s), quill::domino::ValueList{Value::date(QDate(1975, 5, 21))});
    }

    void dateFormsListsAndZones()
    {
        const QString db = m_dir.filePath(u"dates.nsf"_s);
        QFile::remove(db);
        importInline(dxl(document("00000000000000000000000000000001", "Dates",
                                  "<item name='Zoned'><datetime>19990713T060306,52+05</datetime></item>"
                                  "<item name='TimeOnly'><datetime>T060306,52</datetime></item>"
                                  "<item name='Local'><datetime>19990713T060306,52</datetime></item>"
                                  "<item name='Range'><datetimelist><datetime>20240101</datetime><datetimepair>"
                                  "<datetime>20240301</datetime><datetime>20240331</datetime></datetimepair>"
                                  "</datetimelist></item>"
                                  "<item name='Numbers'><numberlist><number>1</number><number>-2.5E3</number>"
                                  "</numberlist></item>")),
                     db);
        auto doc = open(db)->FindDocumentById(u"00000000000000000000000000000001"_s);
        const QDateTime zoned = doc->ItemValue(u"Zoned"_s).at(0).asDateTime();
        QCOMPARE(zoned.toUTC(), QDateTime(QDate(1999, 7, 13), QTime(1, 3, 6, 520), Qt::UTC));
        QCOMPARE(doc->ItemValue(u"TimeOnly"_s), quill::domino::ValueList{Value::time(QTime(6, 3, 6, 520))});
        // Without a zone: the writer's clock, whatever the zone here.
        const QDateTime local = doc->ItemValue(u"Local"_s).at(0).asDateTime();
        QCOMPARE(local.date(), QDate(1999, 7, 13));
        QCOMPARE(local.time(), QTime(6, 3, 6, 520));
        // A range is kept as its start.
        QCOMPARE(doc->ItemValue(u"Range"_s),
                 (quill::domino::ValueList{Value::date(QDate(2024, 1, 1)), Value::date(QDate(2024, 3, 1))}));
        QCOMPARE(doc->ItemValue(u"Numbers"_s), (quill::domino::ValueList{Value::number(1), Value::number(-2500)}));
        QCOMPARE(doc->ItemValue(u"Form"_s), quill::domino::ValueList{Value::text(u"Dates"_s)});
    }

    void attachmentsAndEmbeddedObjects()
    {
        // The test decodes the file's base64 itself and compares it with what the component saves.
        const QByteArray source = readAll(sample(u"plomino/test_binary_1.xml"_s));
        const qsizetype begin = source.indexOf("<filedata");
        const qsizetype start = source.indexOf('>', begin) + 1;
        const QByteArray expected = QByteArray::fromBase64(
            source.mid(start, source.indexOf("</filedata>") - start).simplified().replace(' ', ""));
        QVERIFY(expected.startsWith("\x89PNG"));

        auto database = open(importSample(u"plomino/test_binary_1.xml"_s));
        auto view = database->FindView(database->Views().at(0));
        QCOMPARE(view->EntryCount(), 1);
        auto doc = view->NthDocument(1);
        QVERIFY(doc->HasAttachments());
        const QString name = u"overlord59-tux-samourai-1773.png"_s;
        const QString saved = m_dir.filePath(u"saved.png"_s);
        doc->AttachmentByName(name)->SaveToFile(saved);
        QCOMPARE(readAll(saved), expected);

        auto rich = doc->RichTextItemByName(u"article"_s);
        QCOMPARE(rich->EmbeddedObjects(), QStringList{name});
        QFile::remove(saved);
        rich->EmbeddedObjectByName(name)->SaveToFile(saved);
        QCOMPARE(readAll(saved), expected);

        // An OLE object shown in rich text is the attachment of its name.
        auto binaries = open(importSample(u"plomino/test_binaries.xml"_s));
        auto objects = binaries->FindDocumentById(u"7F6DA2761FCEFFF4C12575CB004437CF"_s);
        QCOMPARE(objects->RichTextItemByName(u"article"_s)->EmbeddedObjects(), QStringList{u"EXT14519"_s});
    }

    void compressedAttachmentIsSkipped()
    {
        const QString db = m_dir.filePath(u"compressed.nsf"_s);
        QFile::remove(db);
        const QString file = m_dir.filePath(u"compressed.xml"_s);
        writeFile(file, dxl(document("00000000000000000000000000000002", "F",
                                     "<item name='$FILE'><object><file compression='huffman' name='packed.doc'>"
                                     "<created><datetime>20240101</datetime></created><modified><datetime>20240101"
                                     "</datetime></modified><filedata>AAECAwQF</filedata></file></object></item>"
                                     "<item name='$FILE'><object><file name='plain.txt'><created><datetime>20240101"
                                     "</datetime></created><modified><datetime>20240101</datetime></modified>"
                                     "<filedata>aGVsbG8=</filedata></file></object></item>")));
        const ImportReport report = importDxl(file, db);
        QCOMPARE(report.attachments, 1);
        QVERIFY(report.notices.join(u'\n').contains(u"packed.doc"_s));
        auto doc = open(db)->FindDocumentById(u"00000000000000000000000000000002"_s);
        const QString saved = m_dir.filePath(u"plain.txt"_s);
        doc->AttachmentByName(u"plain.txt"_s)->SaveToFile(saved);
        QCOMPARE(readAll(saved), QByteArray("hello"));
        QVERIFY_THROWS_EXCEPTION(quill::platform::Error, doc->AttachmentByName(u"packed.doc"_s));
    }

    void viewsSelectSortAndShowColumns()
    {
        auto documents = open(importSample(u"plomino/test_documents.xml"_s));
        auto all = documents->FindView(u"tous"_s);
        QCOMPARE(all->ColumnNames(), (QStringList{u"Name"_s, u"Age"_s}));
        QCOMPARE(all->EntryCount(), 2);
        QCOMPARE(all->NthDocument(1)->ColumnValues(),
                 (quill::domino::ValueList{Value::text(u"Joe Strummer"_s), Value::number(58)}));

        // The view of view.xml selects by form; documents come from a second file into the same database.
        const QString db = m_dir.filePath(u"byform.nsf"_s);
        QFile::remove(db);
        importDxl(sample(u"domino-jnx/view.xml"_s), db);
        importInline(
            dxl("<view name='Sorted|sorted-alias'><code event='selection'><formula>@All</formula></code>"
                "<column itemname='StringField' sort='descending'><columnheader title='S'/></column>"
                "<column itemname='$1'><columnheader title='Len'/><code event='value'><formula>@Length(StringField)"
                "</formula></code></column></view>" +
                document("0000000000000000000000000000000A", "Conversion Doc",
                         "<item name='StringField'><text>b</text></item><item name='NumberField'><number>2</number>"
                         "</item>") +
                document("0000000000000000000000000000000B", "Other",
                         "<item name='StringField'><text>c</text></item>") +
                document("0000000000000000000000000000000C", "Conversion Doc",
                         "<item name='StringField'><text>a</text></item>")),
            db);
        auto database = open(db);
        auto byForm = database->FindView(u"Conversion Docs"_s);
        QCOMPARE(byForm->EntryCount(), 2);
        QCOMPARE(byForm->NthDocument(1)->ColumnValues().at(0), Value::text(u"b"_s));
        QCOMPARE(byForm->NthDocument(1)->ColumnValues().at(1), Value::number(2));
        auto sorted = database->FindView(u"Sorted"_s);
        QCOMPARE(sorted->EntryCount(), 3);
        QStringList order;
        for (auto doc = sorted->NthDocument(1); doc; doc = sorted->NextDocument(*doc)) {
            order << doc->ColumnValues().at(0).asText();
            QCOMPARE(doc->ColumnValues().at(1), Value::text(QString())); // a formula column shows empty
        }
        QCOMPARE(order, (QStringList{u"c"_s, u"b"_s, u"a"_s}));

        // A view is found by its aliases too, still after its design was imported again.
        QCOMPARE(database->FindView(u"SORTED-ALIAS"_s)->ViewName(), u"Sorted"_s);
        importInline(dxl("<view name='Sorted|sorted-alias|Zweite'><column itemname='StringField'>"
                         "<columnheader title='S'/></column></view>"),
                     db);
        auto reopened = open(db);
        QCOMPARE(reopened->FindView(u"sorted-alias"_s)->EntryCount(), 3);
        QCOMPARE(reopened->FindView(u"zweite"_s)->ViewName(), u"Sorted"_s);
        QCOMPARE(reopened->Views().count(u"Sorted"_s), 1);
    }

    void formulaColumnsAndSelectionsCompute()
    {
        auto hundred = open(importSample(u"plomino/test_100docs.xml"_s))->FindView(u"all_files"_s);
        for (int position : {1, 57, 100}) {
            const quill::domino::ValueList values = hundred->NthDocument(position)->ColumnValues();
            QCOMPARE(values.at(0), Value::text(QString::number(position)));                     // @DocNumber
            QVERIFY(values.at(1).kind() == Value::Kind::Number && values.at(1).asNumber() > 0); // @DocLength
        }
        auto older = open(importSample(u"plomino/test_formulas.xml"_s))->FindView(u"biographie"_s); // (age > 5)
        QStringList names;
        for (auto doc = older->NthDocument(1); doc; doc = older->NextDocument(*doc))
            names << doc->ColumnValues().at(0).asText();
        names.sort();
        QCOMPARE(names, (QStringList{u"erwan"_s, u"retdy"_s, u"sartre"_s}));

        // A sorted formula column, one outside the language (reported once) and one that fails on every document:
        // both show empty, and the view pages on.
        const QString file = m_dir.filePath(u"mixed.xml"_s);
        writeFile(file,
                  dxl("<view name='Mixed'><code event='selection'><formula>SELECT Form = \"A\" | Form = \"B\""
                      "</formula></code><column sort='ascending'><columnheader title='Key'/><code event='value'>"
                      "<formula>@If(Form = \"B\"; \"0\"; \"1\") + S</formula></code></column><column>"
                      "<columnheader title='Unsupported'/><code event='value'><formula>@Length(S)</formula></code>"
                      "</column><column><columnheader title='Fails'/><code event='value'><formula>S + 1</formula>"
                      "</code></column></view>" +
                      document("000000000000000000000000000000A1", "A", "<item name='S'><text>b</text></item>") +
                      document("000000000000000000000000000000B1", "B", "<item name='S'><text>z</text></item>") +
                      document("000000000000000000000000000000C1", "C", "<item name='S'><text>a</text></item>") +
                      document("000000000000000000000000000000A2", "A", "<item name='S'><text>a</text></item>")));
        const QString db = m_dir.filePath(u"mixed.nsf"_s);
        QFile::remove(db);
        const ImportReport report = importDxl(file, db);
        QCOMPARE(report.notices.filter(u"@Length"_s).size(), 1);
        auto mixed = open(db)->FindView(u"Mixed"_s);
        QCOMPARE(mixed->EntryCount(), 3);
        QStringList keys;
        for (auto doc = mixed->NthDocument(1); doc; doc = mixed->NextDocument(*doc)) {
            const quill::domino::ValueList values = doc->ColumnValues();
            keys << values.at(0).asText();
            QCOMPARE(values.at(1), Value::text(QString()));
            QCOMPARE(values.at(2), Value::text(QString()));
        }
        QCOMPARE(keys, (QStringList{u"0z"_s, u"1a"_s, u"1b"_s}));
    }

    void documentsWithoutAViewGetOne()
    {
        const QString file = m_dir.filePath(u"noview.xml"_s);
        writeFile(file,
                  dxl(document("00000000000000000000000000000011", "A",
                               "<item name='Title'><text>t1</text></item><item name='Amount'><number>1</number>"
                               "</item><item name='Body'><richtext><par>x</par></richtext></item>"
                               "<item name='$Ref'><text>r</text></item><item name='OnlyA'><text>o</text></item>") +
                      document("00000000000000000000000000000012", "B",
                               "<item name='title'><text>t2</text></item><item name='Amount'><number>2</number>"
                               "</item><item name='OnlyB'><text>o</text></item>") +
                      document("00000000000000000000000000000013", "C",
                               "<item name='Title'><text>t3</text></item><item name='Body'><richtext><par>y"
                               "</par></richtext></item>")));
        const QString db = m_dir.filePath(u"noview.nsf"_s);
        QFile::remove(db);
        const ImportReport report = importDxl(file, db);
        QCOMPARE(report.madeView, u"全部文档"_s);
        // Carried by at least half of the documents, in the order they first appear; no rich text, no $ items.
        QCOMPARE(report.madeViewColumns, (QStringList{u"Form"_s, u"Title"_s, u"Amount"_s}));
        auto view = open(db)->FindView(u"全部文档"_s);
        QCOMPARE(view->ColumnNames(), report.madeViewColumns);
        QCOMPARE(view->EntryCount(), 3);
        QCOMPARE(view->NthDocument(2)->ColumnValues(),
                 (quill::domino::ValueList{Value::text(u"B"_s), Value::text(u"t2"_s), Value::number(2)}));

        // A dozen columns at most.
        QByteArray items;
        for (int i = 1; i <= 14; ++i)
            items += "<item name='I" + QByteArray::number(i) + "'><text>v</text></item>";
        QFile::remove(db);
        const ImportReport wide =
            importDxl((writeFile(file, dxl(document("00000000000000000000000000000014", "W", items))), file), db);
        QCOMPARE(wide.madeViewColumns.size(), 12);
        QCOMPARE(wide.madeViewColumns.last(), u"I11"_s);
        // A database that has a view keeps to it.
        QVERIFY(importDxl(sample(u"plomino/test_documents.xml"_s), db).madeView.isEmpty());
    }

    // The structure of rich text is kept as DXL: its page has the words of the plain text, its pictures and
    // links as HTML (html5lib reads the page), and the DXL is that of the file, namespaces left out.
    void richTextIsKeptAsDxl()
    {
        const QString db = importSample(u"quillmere/richtext.xml"_s);
        auto database = open(db);
        auto doc = database->FindDocumentById(u"5A0B1C2D3E4F50617283940A1B2C3D01"_s);
        auto body = doc->RichTextItemByName(u"Body"_s);
        const QByteArray bodyDxl = body->ExportDXL();
        for (const char* kept :
             {"<par def=\"2\"><run><font size=\"14pt\" style=\"bold\" color=\"#1f4e79\"/>季度报告 &amp; "
              "计划</run></par>",
              "成本\n<run>", "<break/>第二行\t带制表符", "<tablecell columnspan=\"2\">", "<gif>\nR0lGODlh",
              "<urllink href=\"https://www.example.cn/report?a=1&amp;b=2\">",
              "<attachmentref name=\"明细.csv\" displayname=\"明细.csv\"/>", "<formula>@Created</formula>"})
            QVERIFY2(bodyDxl.contains(kept), kept);
        QCOMPARE(body->EmbeddedObjects(), QStringList{u"明细.csv"_s});
        QCOMPARE(quill::richtext::richTextPlainText(bodyDxl).objectNames, body->EmbeddedObjects());
        // A document cut from an export without its namespace declaration: other namespaces are left out.
        const QString bare = importSample(u"quillmere/bare.xml"_s);
        const QByteArray bareDxl = open(bare)
                                       ->FindDocumentById(u"5A0B1C2D3E4F50617283940A1B2C3D09"_s)
                                       ->RichTextItemByName(u"Body"_s)
                                       ->ExportDXL();
        QCOMPARE(bareDxl, QByteArray("<richtext><par>正文<run><font style=\"bold\"/>加粗</run></par></richtext>"));
        // What XML would read otherwise is escaped; a prefix and attributes of other namespaces are left out.
        const QString tricky = m_dir.filePath(u"tricky.nsf"_s);
        QFile::remove(tricky);
        importInline(
            dxl(document("00000000000000000000000000000021", "F",
                         "<item name='T'><richtext><par a=\"x&quot;y&#9;z&#10;w&#13;\" b='&lt;&amp;'>1 &lt; 2 "
                         "&amp;&amp; 3 &gt; 2<![CDATA[<b>]]>&#13;r</par><d:par xmlns:d='http://www.lotus.com/dxl' "
                         "xml:space='preserve' o:x='1' xmlns:o='urn:o'>p</d:par></richtext></item>")),
            tricky);
        const auto trickyItem =
            open(tricky)->FindDocumentById(u"00000000000000000000000000000021"_s)->RichTextItemByName(u"T"_s);
        QCOMPARE(trickyItem->ExportDXL(), QByteArray("<richtext><par a=\"x&quot;y&#9;z&#10;w&#13;\" b=\"&lt;&amp;\">1 "
                                                     "&lt; 2 &amp;&amp; 3 &gt; 2&lt;b&gt;&#13;r</par><par>p</par>"
                                                     "</richtext>"));
        QCOMPARE(quill::richtext::richTextPlainText(trickyItem->ExportDXL()).text, trickyItem->FormattedText(false, 0));

        QTemporaryDir pages;
        const auto page = [&](const QString& name, const quill::domino::NotesRichTextItem& item) {
            quill::richtext::PageResources resources;
            int saved = 0;
            resources.saveFile = [&](const quill::richtext::FileToSave& file) {
                const QString fileName = name + QString::number(++saved) + u'.' + file.extension;
                writeFile(pages.filePath(fileName), file.bytes);
                return fileName;
            };
            resources.attachmentPath = [&](const QString& attachment) {
                doc->AttachmentByName(attachment)->SaveToFile(pages.filePath(attachment));
                return attachment;
            };
            const quill::richtext::RenderedHtml html = quill::richtext::renderRichText(item.ExportDXL(), resources);
            QVERIFY2(html.error.isEmpty(), qPrintable(html.error));
            for (const QString& construct : {u"<b>"_s, u"<table"_s, u"<ul"_s, u"<ol"_s, u"<img"_s, u"<a "_s})
                QVERIFY2(html.html.contains(construct) || name != u"report"_s, qPrintable(construct));
            writeFile(pages.filePath(name + u".html"_s), quill::richtext::htmlPage(name, html.html).toUtf8());
            writeFile(pages.filePath(name + u".txt"_s), item.FormattedText(false, 0).toUtf8());
        };
        page(u"report"_s, *body);
        page(u"minutes"_s,
             *database->FindDocumentById(u"5A0B1C2D3E4F50617283940A1B2C3D02"_s)->RichTextItemByName(u"Body"_s));
        QProcess python;
        python.start(u"/usr/bin/python3"_s, {QStringLiteral(QUILL_PAGE_CHECK), pages.path()});
        QVERIFY(python.waitForFinished(60000));
        const QByteArray report = python.readAllStandardOutput() + python.readAllStandardError();
        QVERIFY2(python.exitCode() == 0 && report.contains("2 pages checked"), report.constData());
    }

    // Mail kept as MIME: headers as text items, its text as the body's plain text, its attachments the document's
    // (the objects that held parts of it are not), its inline picture kept in the message for its page.
    void mailIsDecodedAtImport()
    {
        const QString db = m_dir.filePath(u"mail.nsf"_s);
        QFile::remove(db);
        const ImportReport report = importDxl(sample(u"quillmere/mail.xml"_s), db);
        QCOMPARE(report.attachments, 3);
        QVERIFY2(report.notices.join(u'\n').contains(u"邮件正文Body：第7个MIME部分项的数据不完整，已跳过"_s),
                 qPrintable(report.notices.join(u'\n')));
        auto database = open(db);
        const struct
        {
            const char16_t* id;
            QStringList texts; // name, value
            QString plainText;
            QStringList attachments;
        } mails[] = {
            {u"9F3A0C2E6B1D4E58AC0E1F2A3B4C5D01",
             {u"From"_s, u"张三 <zhang@example.cn>"_s, u"To"_s, u"team@example.cn"_s, u"Subject"_s, u"季度会议改期"_s,
              u"PostedDate"_s, u"2024-01-05 10:15:00 UTC"_s},
             u"各位：季度会议改到周五下午。\n会议资料见附件。"_s,
             {u"季度报告.txt"_s}},
            {u"9F3A0C2E6B1D4E58AC0E1F2A3B4C5D02",
             {u"Subject"_s, u"周报"_s},
             u"本周完成：\n一、合同录入\n二、客户回访"_s,
             {u"notes.txt"_s}},
            {u"9F3A0C2E6B1D4E58AC0E1F2A3B4C5D03", {}, u"纯文本的正文"_s, {u"data.bin"_s}},
        };
        for (const auto& mail : mails) {
            auto doc = database->FindDocumentById(QString::fromUtf16(mail.id));
            for (qsizetype i = 0; i < mail.texts.size(); i += 2) {
                QCOMPARE(doc->ItemByName(mail.texts[i])->ItemType(), NotesItem::Text);
                QCOMPARE(doc->ItemValue(mail.texts[i]), quill::domino::ValueList{Value::text(mail.texts[i + 1])});
            }
            QCOMPARE(doc->ItemByName(u"Body"_s)->ItemType(), NotesItem::RichText);
            QCOMPARE(doc->Items().count(u"Body"_s), 1);
            QCOMPARE(doc->ItemValue(u"Body"_s), quill::domino::ValueList{Value::text(mail.plainText)});
            QCOMPARE(doc->RichTextItemByName(u"Body"_s)->ExportDXL(), quill::domino::plainTextAsDxl(mail.plainText));
            QCOMPARE(attachmentNames(*doc), mail.attachments);
            QVERIFY(doc->GetMIMEEntity(u"body"_s));
            QVERIFY(!doc->GetMIMEEntity(u"Subject"_s));
        }

        auto first = database->FindDocumentById(u"9F3A0C2E6B1D4E58AC0E1F2A3B4C5D01"_s);
        const QString saved = m_dir.filePath(u"report.txt"_s);
        first->AttachmentByName(u"季度报告.txt"_s)->SaveToFile(saved);
        QCOMPARE(readAll(saved), u"季度报告：收入增长百分之十二。\r\n"_s.toUtf8());
        auto data = database->FindDocumentById(u"9F3A0C2E6B1D4E58AC0E1F2A3B4C5D03"_s);
        data->AttachmentAt(0)->SaveToFile(saved);
        QByteArray bytes(256, 0);
        std::iota(bytes.begin(), bytes.end(), char(0));
        QCOMPARE(readAll(saved), bytes);

        // The message is whole: its page shows the picture by cid:, the attachment listed, no script.
        const quill::richtext::MimeEntity message =
            quill::richtext::parseMimeEntity(first->GetMIMEEntity(u"Body"_s)->GetEntityAsText());
        QList<quill::richtext::FileToSave> files;
        quill::richtext::PageResources resources;
        resources.saveFile = [&](const quill::richtext::FileToSave& file) -> QString {
            files << file;
            return u"f"_s + QString::number(files.size());
        };
        const QString html = quill::richtext::renderMail(message, resources).html;
        QVERIFY2(html.contains(u"<img src=\"f1\" alt=\"图表\">"_s), qPrintable(html));
        QVERIFY(quill::richtext::unsafeMarkup(html).isEmpty() && !html.contains(u"alert"_s));
        QCOMPARE(files.size(), 2);
        QCOMPARE(files[0].kind, quill::richtext::FileToSave::Kind::Picture);
        QVERIFY(files[0].bytes.startsWith("\x89PNG"));
        QCOMPARE(files[1].name, u"季度报告.txt"_s);

        // The mail imported again as rich text keeps nothing of the mail.
        importInline(dxl(document("9F3A0C2E6B1D4E58AC0E1F2A3B4C5D01", "Memo",
                                  "<item name='Body'><richtext><par>改写</par></richtext></item>")),
                     db);
        first = open(db)->FindDocumentById(u"9F3A0C2E6B1D4E58AC0E1F2A3B4C5D01"_s);
        QVERIFY(!first->GetMIMEEntity(u"Body"_s));
        QCOMPARE(first->RichTextItemByName(u"Body"_s)->ExportDXL(), QByteArray("<richtext><par>改写</par></richtext>"));
        QVERIFY(!first->HasAttachments());
        auto store = quill::component::Store::open(db, quill::component::Store::Mode::ReadOnly);
        quill::component::Query kept(store->statement("SELECT count(*) FROM rich_text WHERE doc_id = 1"));
        QVERIFY(kept->step());
        QCOMPARE(kept->int64(0), 1);
    }

    void madeUpAndLeftOutValuesAreCounted()
    {
        const QString file = m_dir.filePath(u"madeup.xml"_s);
        writeFile(file, dxl("<document form='F'><item name='a'><text>1</text></item></document>\n"
                            "<document form='F'><noteinfo unid='0000000000000000000000000000000E'><created><datetime/>"
                            "</created></noteinfo><item name='d'><datetimelist><datetime/><datetimepair><datetime>"
                            "20240301</datetime><datetime>20240331</datetime></datetimepair></datetimelist></item>"
                            "</document>\n"
                            "<document form='F'><noteinfo unid='not-an-id'/></document>"));
        const QString db = m_dir.filePath(u"madeup.nsf"_s);
        QFile::remove(db);
        const ImportReport report = importDxl(file, db);
        QCOMPARE(report.documents, 3);
        const QString notices = report.notices.join(u'\n');
        for (const char16_t* expected :
             {u"3个文档没有创建时间，已取导入时的时间，第一个在第3行",
              u"3个文档没有修改时间，已取其创建时间，第一个在第3行",
              u"1个文档没有文档编号，已生成新编号，第一个在第3行", u"1个文档的编号无效，已换成新编号，第一个在第5行",
              u"略去了1个空的日期时间值，第一个在第4行", u"1个日期时间范围只保留了开始时间，第一个在第4行"})
            QVERIFY2(notices.contains(QStringView(expected)), qPrintable(notices));
    }

    void attachmentLargerThanOnePiece()
    {
        // Several of the pieces the attachment is written and read in, and one odd byte.
        QByteArray data(3 * 1024 * 1024 + 1, Qt::Uninitialized);
        for (qsizetype i = 0; i < data.size(); ++i)
            data[i] = char((i * 7919) >> 3);
        const QString db = m_dir.filePath(u"large.nsf"_s);
        QFile::remove(db);
        const QString file = m_dir.filePath(u"large.xml"_s);
        writeFile(file, dxl(document(
                            "0000000000000000000000000000000D", "F",
                            "<item name='$FILE'><object><file name='big.bin'><filedata>" + data.toBase64() +
                                "</filedata></file></object></item>"
                                "<item name='Body'><richtext><par><attachmentref name='big.bin' displayname='big.bin'/>"
                                "</par></richtext></item>")));
        const ImportReport report = importDxl(file, db);
        QCOMPARE(report.attachmentBytes, data.size());
        auto doc = open(db)->FindDocumentById(u"0000000000000000000000000000000D"_s);
        const QString saved = m_dir.filePath(u"big.bin"_s);
        doc->AttachmentByName(u"big.bin"_s)->SaveToFile(saved);
        QVERIFY(readAll(saved) == data);
        QFile::remove(saved);
        doc->RichTextItemByName(u"Body"_s)->EmbeddedObjectByName(u"big.bin"_s)->SaveToFile(saved);
        QVERIFY(readAll(saved) == data);
    }

    void reimportReplacesDocuments()
    {
        const QString db = importSample(u"plomino/test_documents.xml"_s);
        const ImportReport again = importDxl(sample(u"plomino/test_documents.xml"_s), db);
        QCOMPARE(again.replacedDocuments, 2);
        auto database = open(db);
        QCOMPARE(database->FindView(u"tous"_s)->EntryCount(), 2);
        QCOMPARE(database->FindDocumentById(u"B152B61013440583C12575C90051910C"_s)->Items().size(), 3);
    }

    void badInputLeavesDatabaseAlone_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("expected");
        const QByteArray good = readAll(sample(u"plomino/test_binary_1.xml"_s));
        QTest::newRow("not xml") << QByteArray("PK\x03\x04 this is a zip, not XML\n") << u"XML"_s;
        QTest::newRow("not dxl") << QByteArray("<?xml version='1.0'?>\n<html><body/></html>") << u"不是DXL文件"_s;
        QTest::newRow("truncated") << good.left(good.size() / 2) << u"文件不完整"_s;
        QByteArray broken = good;
        broken.insert(broken.indexOf("<filedata") + 200, '*');
        QTest::newRow("broken base64") << broken << u"base64"_s;
        QByteArray cut = good;
        const qsizetype end = cut.indexOf("</filedata>");
        cut.remove(end - 5, 1);
        QTest::newRow("base64 cut short") << cut << u"base64"_s;
        QTest::newRow("one id twice")
            << dxl(document("00000000000000000000000000000005", "F", "") +
                   document("00000000000000000000000000000005", "G", ""))
            << u"第4行：文档编号00000000000000000000000000000005在文件中重复出现（第一次在第3行）"_s;
        QTest::newRow("broken mail part") << dxl(document("00000000000000000000000000000006", "F",
                                                          "<item name='Body'><rawitemdata type='19'>AgAC*AAA"
                                                          "</rawitemdata></item>"))
                                          << u"项Body的base64数据有误"_s;
        QTest::newRow("bad number") << dxl(document("00000000000000000000000000000003", "F",
                                                    "<item name='n'><number>twelve</number></item>"))
                                    << u"twelve"_s;
        QTest::newRow("entity bomb") << QByteArray("<?xml version='1.0'?>\n<!DOCTYPE database [\n"
                                                   "<!ENTITY a \"aaaaaaaaaa\">\n<!ENTITY b \"&a;&a;&a;&a;&a;&a;\">\n"
                                                   "]>\n<database xmlns='http://www.lotus.com/dxl'>&b;</database>")
                                     << u"实体"_s;
        QTest::newRow("external entity")
            << QByteArray("<?xml version='1.0'?>\n<!DOCTYPE database [\n<!ENTITY x SYSTEM \"file:///etc/passwd\">\n]>"
                          "\n<database xmlns='http://www.lotus.com/dxl'>" +
                          document("00000000000000000000000000000004", "F", "<item name='t'><text>&x;</text></item>") +
                          "</database>")
            << u"实体"_s;
    }

    void badInputLeavesDatabaseAlone()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, expected);
        expectFailure(content, expected);
    }

    void writeFailureIsReported()
    {
        QVERIFY_THROWS_EXCEPTION(quill::platform::Error,
                                 importDxl(sample(u"plomino/test1.xml"_s), u"/nonexistent-dir/x.nsf"_s));
        QVERIFY_THROWS_EXCEPTION(quill::platform::Error,
                                 importDxl(m_dir.filePath(u"missing.xml"_s), m_dir.filePath(u"never.nsf"_s)));
        QVERIFY(!QFile::exists(m_dir.filePath(u"never.nsf"_s)));
    }
};

QTEST_GUILESS_MAIN(TestDxl)
#include "tst_dxl.moc"
