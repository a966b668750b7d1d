// The rich-text renderer: each construct as HTML, the plain text exactly as the DXL import gives it, hostile
// input, Notes bitmaps, and the pages read by html5lib.

#include "dxlreader.h"
#include "platform/error.h"
#include "richtext/htmlpage.h"
#include "richtext/htmlsafety.h"
#include "richtext/notesbitmap.h"
#include "richtext/plaintext.h"
#include "richtext/richtextrenderer.h"

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace quill::richtext;

namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(data), data.size());
}

// The <richtext> elements of a file, as text: the samples carry them inside documents and forms.
QList<QByteArray> richTextElements(const QByteArray& file)
{
    QList<QByteArray> found;
    for (qsizetype at = file.indexOf("<richtext"); at >= 0; at = file.indexOf("<richtext", at + 1)) {
        const qsizetype end = file.indexOf("</richtext>", at);
        if (end < 0)
            break;
        found << file.mid(at, end + 11 - at);
    }
    return found;
}

// Saves into a folder, as an export would; knows one other document and one attachment.
class Export
{
public:
    explicit Export(const QString& folder) : m_folder(folder) {}

    PageResources resources()
    {
        PageResources r;
        r.saveFile = [this](const FileToSave& file) -> QString {
            QString name = file.name;
            for (int n = 2; QFile::exists(m_folder + u'/' + name); ++n)
                name = QString::number(n) + u'-' + file.name;
            writeFile(m_folder + u'/' + name, file.bytes);
            saved << name;
            return name;
        };
        r.attachmentPath = [this](const QString& name) -> QString {
            if (name != u"report.xls" && name != u"Sample Pictures.lnk" && !name.startsWith(u"overlord"))
                return {};
            writeFile(m_folder + u"/attachments/"_s + name, "attachment");
            return u"attachments/"_s + name;
        };
        r.documentPath = [this](const DocumentLink& link) -> QString {
            if (link.unid != u"0123456789ABCDEF0123456789ABCDEF")
                return {};
            writeFile(m_folder + u"/../0123456789ABCDEF/index.html"_s, htmlPage(u"x"_s, QString()).toUtf8());
            return u"../0123456789ABCDEF/index.html"_s;
        };
        return r;
    }

    QStringList saved;

private:
    QString m_folder;
};

// A <richtext> around the content, in the DXL namespace; content that is a whole element stays as it is.
QByteArray richText(const QByteArray& content)
{
    if (content.startsWith("<richtext"))
        return content;
    return "<richtext xmlns='http://www.lotus.com/dxl'><pardef id='1'/>" + content + "</richtext>";
}

// The DXL import's view of a rich-text element: the item's text and object names as its reader gives them.
class ItemSink : public quill::component::dxl::Sink
{
public:
    void database(const quill::component::dxl::DatabaseInfo&) override {}
    void aclEntry(const quill::component::dxl::AclEntry&) override {}
    void view(const quill::component::dxl::View&) override {}
    void beginDocument(const quill::component::dxl::NoteInfo&) override {}
    void item(const quill::component::dxl::Item& item) override
    {
        text = item.texts.value(0);
        objects = item.objectNames;
    }
    void beginAttachment(const QString&) override {}
    void attachmentData(const char*, qsizetype) override {}
    void endAttachment() override {}
    void endDocument() override {}
    void notice(qint64, const QString&) override {}

    QString text;
    QStringList objects;
};

ItemSink importedItem(const QByteArray& element)
{
    QByteArray dxl =
        "<document xmlns='http://www.lotus.com/dxl' form='F'><item name='Body'>" + element + "</item></document>";
    QBuffer buffer(&dxl);
    buffer.open(QIODevice::ReadOnly);
    ItemSink sink;
    quill::component::dxl::Reader(sink).read(buffer, u"sample"_s);
    return sink;
}

// Notes bitmap records: a long signature, its length, its data.
QByteArray record(quint8 signature, const QByteArray& data)
{
    QByteArray r;
    r += char(signature);
    r += char(0);
    const quint32 length = quint32(6 + data.size());
    r += char(length) + QByteArray(1, char(length >> 8)) + char(length >> 16) + char(length >> 24);
    return r + data;
}

QByteArray words(std::initializer_list<quint16> values)
{
    QByteArray out;
    for (quint16 v : values)
        out += char(v & 0xff) + QByteArray(1, char(v >> 8));
    return out;
}

QByteArray bitmapHeader(quint16 width, quint16 height, quint16 bits, quint16 segments, quint16 colors, quint16 patterns)
{
    return record(0x95, QByteArray(8, '\0') + words({1, 0}) + QByteArray(4, '\0') +
                            words({width, height, bits, quint16(bits == 16 ? 3 : 1), quint16(bits == 16 ? 5 : bits),
                                   segments, colors, patterns}));
}

QByteArray segment(quint16 lines, const QByteArray& data)
{
    return record(0x96, QByteArray(8, '\0') + words({lines, quint16(data.size())}) + data);
}

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out += char(v);
    return out;
}

} // namespace

class TestRichText : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void constructs_data()
    {
        QTest::addColumn<QByteArray>("dxl");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QStringList>("absent");
        QTest::newRow("font styles")
            << QByteArray("<par><run><font style='bold italic underline strikethrough superscript'/>x</run>"
                          "<run><font style='subscript'/>y</run></par>")
            << QStringList{u"<b><i><u><s><sup>x</sup></s></u></i></b>"_s, u"<sub>y</sub>"_s} << QStringList{};
        QTest::newRow("font colour, size and name")
            << QByteArray("<par><run><font color='#FF0000' size='9pt' name='Arial'/>x</run>"
                          "<run><font size='12' name='monospace' color='system'/>y</run></par>")
            << QStringList{u"<span style=\"color:#ff0000;font-size:9pt;font-family:&#39;Arial&#39;\">x</span>"_s,
                           u"<span style=\"font-size:12pt;font-family:monospace\">y</span>"_s}
            << QStringList{};
        QTest::newRow("alignment and indents, inherited by the next paragraph")
            << QByteArray("<pardef id='2' align='center' leftmargin='1.5in' firstlineleftmargin='2in' spaceafter='2'/>"
                          "<par def='2'>a</par><par>b</par><pardef id='3' align='full'/><par def='3'>c</par>")
            << QStringList{u"<div class=\"rt-p\" style=\"text-align:center;text-indent:0.5in;margin-bottom:1em;margin-left:0.5in\">a</div>"_s,
                           u"margin-left:0.5in\">b</div>"_s,
                           u"<div class=\"rt-p\" style=\"text-align:justify\">c</div>"_s}
            << QStringList{};
        QTest::newRow("lists, closed by the next paragraph")
            << QByteArray("<pardef id='2' list='bullet'/><pardef id='3' list='number' leftmargin='1.75in'/>"
                          "<pardef id='4' list='alphaupper'/><par def='2'>a</par><par>b</par><par def='3'>c</par>"
                          "<par def='4'>d</par><par def='1'>e</par>")
            << QStringList{u"<ul class=\"rt-list\"><li class=\"rt-p\">a</li>\n<li class=\"rt-p\">b</li>\n</ul>"_s,
                           u"<ol class=\"rt-list\" style=\"margin-left:0.5in\"><li class=\"rt-p\">c</li>\n</ol>"_s,
                           u"<ol class=\"rt-list\" type=\"A\"><li class=\"rt-p\">d</li>\n</ol>\n<div class=\"rt-p\">e</div>"_s}
            << QStringList{};
        QTest::newRow("table with widths and spans")
            << QByteArray("<table widthtype='fitwindow'><tablecolumn width='2in'/><tablecolumn width='50%'/>"
                          "<tablerow><tablecell columnspan='2' bgcolor='yellow'><par>a</par></tablecell></tablerow>"
                          "<tablerow><tablecell rowspan='3'><par>b</par><par>c</par></tablecell><tablecell/></tablerow>"
                          "</table>")
            << QStringList{u"<table class=\"rt-table\" style=\"width:100%\"><colgroup><col style=\"width:2in\"><col style=\"width:50%\"></colgroup>"_s,
                           u"<tr><td colspan=\"2\" style=\"background-color:yellow\"><div class=\"rt-p\">a</div>\n</td>\n</tr>"_s,
                           u"<td rowspan=\"3\"><div class=\"rt-p\">b</div>\n<div class=\"rt-p\">c</div>\n</td>"_s}
            << QStringList{};
        QTest::newRow("horizontal rule")
            << QByteArray("<par><horizrule height='2px' width='80%' color='gray'/></par>")
            << QStringList{u"<hr class=\"rt-hr\" style=\"height:2px;width:80%;background-color:gray\">"_s}
            << QStringList{};
        QTest::newRow("section")
            << QByteArray(
                   "<section><sectiontitle><font style='bold'/><text>T</text></sectiontitle><par>body</par></section>")
            << QStringList{u"<details class=\"rt-section\" open><summary class=\"rt-section-title\"><b>T</b></summary>"_s,
                           u"<div class=\"rt-p\">body</div>\n</details>"_s}
            << QStringList{};
        QTest::newRow("links: web, mail, others as text")
            << QByteArray("<par><urllink href=' https://example.org/a?b=1&amp;c=2 '>web</urllink>"
                          "<urllink href='mailto:a@example.org'>mail</urllink>"
                          "<urllink href='notes://server/db.nsf'>notes</urllink><urllink href='https://e.org/'/></par>")
            << QStringList{u"<a class=\"rt-link\" href=\"https://example.org/a?b=1&amp;c=2\" rel=\"noopener noreferrer\">web</a>"_s,
                           u"<a class=\"rt-link\" href=\"mailto:a@example.org\" rel=\"noopener noreferrer\">mail</a>notes"_s,
                           u"rel=\"noopener noreferrer\"><span class=\"rt-added\">https://e.org/</span></a>"_s}
            << QStringList{u"notes://"_s};
        QTest::newRow("document links: in the export, and not")
            << QByteArray("<par><doclink document='0123456789ABCDEF0123456789ABCDEF' description='d'>x</doclink>"
                          "<doclink document='FEDCBA9876543210FEDCBA9876543210'/></par>")
            << QStringList{u"<a class=\"rt-doclink\" href=\"../0123456789ABCDEF/index.html\" rel=\"noopener noreferrer\">x</a>"_s,
                           u"<span class=\"rt-doclink rt-missing\"><span class=\"rt-added rt-placeholder\">[文档链接 FEDCBA9876543210FEDCBA9876543210]</span></span>"_s}
            << QStringList{};
        QTest::newRow("pictures")
            << QByteArray("<par><picture width='12px' height='8px' "
                          "alttext='a&lt;b'><gif>R0lGODlhAQABAAAAACw=</gif><caption>c</caption></picture>"
                          "<picture scaledwidth='1in' scaledheight='0.5in'><png>iVBORw0KGgo=</png></picture>"
                          "<picture><jpeg>not base64!</jpeg></picture><picture><gif>PHN2Zz4=</gif></picture>"
                          "<picture><imageref name='logo.gif'/></picture><picture><cgm>AAAA</cgm></picture></par>")
            << QStringList{u"<img class=\"rt-img\" src=\"picture1.gif\" alt=\"a&lt;b\" width=\"12\" height=\"8\"><span class=\"rt-added rt-caption\">c</span>"_s,
                           u"<img class=\"rt-img\" src=\"picture2.png\" alt=\"\" style=\"width:1in;height:0.5in\">"_s,
                           u"[图片：数据无法解码]"_s,
                           u"[图片：无法识别的图片数据]"_s,
                           u"[图片：引用的图像资源“logo.gif”]"_s,
                           u"[图片：无法显示的格式]"_s}
            << QStringList{u"picture3"_s};
        QTest::newRow("attachment icons")
            << QByteArray("<par><attachmentref name='report.xls' displayname='报告.xls'>text</attachmentref>"
                          "<attachmentref name='gone.doc'/></par>")
            << QStringList{u"<a class=\"rt-attachment\" href=\"attachments/report.xls\"><span class=\"rt-added\">报告.xls</span></a>"_s,
                           u"<span class=\"rt-attachment rt-missing\"><span class=\"rt-added\">gone.doc</span><span class=\"rt-added\">（附件未保存）</span></span>"_s}
            << QStringList{u"text"_s};
        QTest::newRow("computed text, breaks, tabs, unknown and foreign elements")
            << QByteArray("<par>a<computedtext><code "
                          "event='value'><formula>@Now</formula></code></computedtext>b<break/>c<tab/>d\te"
                          "<future>f</future><x:y xmlns:x='urn:x'>gone</x:y></par>")
            << QStringList{u"<div class=\"rt-p\">ab<br>c\td\tef</div>"_s} << QStringList{u"@Now"_s, u"gone"_s};
        QTest::newRow("text outside paragraphs and line ends inside them, as the import")
            << QByteArray("stray<par>one\ntwo\r\nthree</par><table>loose<tablerow><tablecell>cell<par>in</par></"
                          "tablecell></tablerow></table>")
            << QStringList{u"<div class=\"rt-p\">onetwothree</div>"_s, u"<td><div class=\"rt-p\">in</div>"_s}
            << QStringList{u"stray"_s, u"loose"_s, u"cell"_s};
        QTest::newRow("without the DXL namespace")
            << QByteArray("<richtext><pardef id='1' align='right'/><par def='1'><run><font "
                          "style='bold'/>x</run></par></richtext>")
            << QStringList{u"<div class=\"rt-p\" style=\"text-align:right\"><b>x</b></div>"_s} << QStringList{};
    }
    void constructs()
    {
        QFETCH(QByteArray, dxl);
        QFETCH(QStringList, expected);
        QFETCH(QStringList, absent);
        QTemporaryDir dir;
        Export out(dir.path() + u"/doc"_s);
        const RenderedHtml rendered = renderRichText(richText(dxl), out.resources());
        const QString& html = rendered.html;
        QVERIFY2(rendered.error.isEmpty(), qPrintable(rendered.error));
        for (const QString& piece : expected)
            QVERIFY2(html.contains(piece), qPrintable(u"missing "_s + piece + u"\nin\n"_s + html));
        for (const QString& piece : absent)
            QVERIFY2(!html.contains(piece), qPrintable(u"unexpected "_s + piece + u"\nin\n"_s + html));
        QVERIFY2(unsafeMarkup(html).isEmpty(), qPrintable(unsafeMarkup(html)));
    }

    // Every rich-text element of the samples gives the text and objects the import gives, and the words of
    // its page are those words (checked by the page test below).
    void plainTextAsTheImport()
    {
        int compared = 0;
        QDirIterator files(QStringLiteral(QUILL_TEST_DATA), {u"*.xml"_s}, QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString path = files.next();
            for (const QByteArray& element : richTextElements(readAll(path))) {
                ItemSink imported;
                try {
                    imported = importedItem(element);
                } catch (const quill::platform::Error&) {
                    continue; // the malformed sample
                }
                const PlainText plain = richTextPlainText(element);
                QVERIFY2(plain.error.isEmpty(), qPrintable(path + u": "_s + plain.error));
                QCOMPARE(plain.text, imported.text);
                QCOMPARE(plain.objectNames, imported.objects);
                QCOMPARE(richTextPlainText(QString::fromUtf8(element)).text, imported.text);
                ++compared;
            }
        }
        QVERIFY2(compared >= 70, qPrintable(QString::number(compared)));
    }

    // Plain XML is read without QXmlStreamReader, anything else by it (as is input behind an XML declaration):
    // both readings give the same page and plain text.
    void plainXmlReadAsQtReadsIt()
    {
        QList<QByteArray> inputs;
        QDirIterator files(QStringLiteral(QUILL_TEST_DATA), {u"*.xml"_s}, QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext())
            inputs << richTextElements(readAll(files.next()));
        for (const char* edge :
             {"<par def=\"1\" >a &amp; b &lt; c &gt; d &quot;e&quot; &apos;f&apos; > ]</par>",
              "<par\n def = '1'\t>x</par\n>",
              "<par><run><font style='bold' name='a&amp;b'/>x&#13;\ny&#x1F600;&#9;</run></par>",
              "<par><urllink href='https://e.org/?a=1&amp;b=2&#38;c&#10;'>l</urllink></par>",
              "<par a='1' a='2'>x</par>",
              "<par a='1'b='2'>x</par>",
              "<par a='<'>x</par>",
              "<par>]]&gt; ]]></par>",
              "<par>\r\nx</par>",
              "<par a='x\ty'>x</par>",
              "<par>&#xfffe;</par>",
              "<par>&#0;</par>",
              "<par>&#X41;</par>",
              "<par>&#x110000;</par>",
              "<par>&#000000065;</par>",
              "<par>&#xD800;</par>",
              "<par>&nbsp;</par>",
              "<par>&amp</par>",
              "<par>\xef\xbf\xbe</par>",
              "<par>\xed\xa0\x80</par>",
              "<par>\xff</par>",
              "<par>\x01</par>",
              "<par>a</par><!-- c --><par>b<![CDATA[<c>]]></par>",
              "<par>x</para>",
              "<par:x>y</par:x>",
              "<richtext/>",
              "<richtext xmlns='http://www.lotus.com/dxl'/>",
              "<richtext xmlns=''><par>x</par></richtext>",
              "<richtext xmlns=\"http://www.lotus.com/dxl\"><par xmlns='http://www.lotus.com/dxl'>x</par></richtext>",
              "<richtext><par xmlns='http://www.lotus.com/dxl'>x</par></richtext>",
              "<richtext><par>x</par></richtext>after <junk &",
              "<richtext><par>x</par></richtext \n>",
              "<richtext><par>x</par>",
              "<richtextx/>",
              "<richtext a='1' a='1'/>"}) {
            inputs << richText(edge);
        }
        inputs << "<richtext>" + QByteArray("<run>").repeated(1200) + "x" + QByteArray("</run>").repeated(1200) +
                      "</richtext>";
        PageResources r;
        r.saveFile = [](const FileToSave& file) { return file.name; };
        r.attachmentPath = [](const QString& name) { return name; };
        r.documentPath = [](const DocumentLink& link) { return link.unid; };
        const QByteArray declaration = "<?xml version='1.0'?>";
        for (const QByteArray& input : std::as_const(inputs)) {
            const RenderedHtml rendered = renderRichText(input, r), byQt = renderRichText(declaration + input, r);
            QCOMPARE(rendered.html, byQt.html);
            QCOMPARE(rendered.error.isEmpty(), byQt.error.isEmpty());
            QCOMPARE(renderRichText(QString::fromUtf8(input), r).html,
                     renderRichText(QString::fromUtf8(declaration + input), r).html);
            const PlainText plain = richTextPlainText(input), plainByQt = richTextPlainText(declaration + input);
            QCOMPARE(plain.text, plainByQt.text);
            QCOMPARE(plain.objectNames, plainByQt.objectNames);
        }
    }

    void hostileInput_data()
    {
        QTest::addColumn<QByteArray>("dxl");
        QTest::newRow("script schemes in links") << QByteArray(
            "<par><urllink href='javascript:alert(1)'>a</urllink><urllink href=' JaVaScRiPt:alert(1)'>b</urllink>"
            "<urllink href='java&#9;script:alert(1)'>c</urllink><urllink href='&#106;avascript:alert(1)'>d</urllink>"
            "<urllink href='vbscript:msgbox(1)'>e</urllink><urllink "
            "href='data:text/html;base64,PHNjcmlwdD4='>f</urllink>"
            "<urllink href='//evil.example/x'>g</urllink><urllink href='file:///etc/passwd'>h</urllink>"
            "<urllink href='javascript:alert(1)'/></par>");
        QTest::newRow("markup as text") << QByteArray(
            "<par><![CDATA[<script>alert(1)</script>]]><run html='true'>&lt;img src=x onerror=alert(1)&gt;</run>"
            "&lt;iframe src=&quot;http://evil.example/&quot;&gt;</par>");
        QTest::newRow("styles that would load or break out") << QByteArray(
            "<pardef id='2' leftmargin='1in;background:url(http://evil.example/)' align='center;x:url(y)'/>"
            "<par def='2'><run><font name=\"x';background:url(http://evil.example/)\" color='red;background:url(x)'"
            " size='9pt;behavior:url(x)'/>a</run></par><table bgcolor='url(http://evil.example/)'>"
            "<tablecolumn width='1in;background:url(http://evil.example/)'/><tablerow><tablecell "
            "bgcolor='expression(alert(1))' columnspan='2\" "
            "onmouseover=\"alert(1)'><par>b</par></tablecell></tablerow></table>"
            "<par><horizrule color='#fff;background-image:url(x)' width='1px\" onclick=\"x'/></par>");
        QTest::newRow("attributes and paths that are not what they claim") << QByteArray(
            "<par htmlstyle='background:url(http://evil.example/)' extrahtmlattrs='onclick=alert(1)'>"
            "<picture alttext='\"&gt;&lt;script&gt;alert(1)&lt;/script&gt;' width='1px\" "
            "onerror=\"x'><gif>R0lGODlhAQABAAAAACw=</gif></picture>"
            "<picture><png>PHN2ZyBvbmxvYWQ9YWxlcnQoMSk+PC9zdmc+</png></picture>"
            "<doclink document='EVIL'/><attachmentref name='evil' displayname='&lt;b onmouseover=x&gt;'/></par>");
        QTest::newRow("deep nesting") << QByteArray("<par>") + QByteArray("<run>").repeated(3000) +
                                             "x<picture><gif>R0lGODlhAQABAAAAACw=</gif></picture>" +
                                             QByteArray("</run>").repeated(3000) + "</par>";
    }
    void hostileInput()
    {
        QFETCH(QByteArray, dxl);
        QTemporaryDir dir;
        Export out(dir.path());
        PageResources r = out.resources();
        // Callbacks that answer with paths no page may use.
        r.documentPath = [](const DocumentLink&) { return u"javascript:alert(1)"_s; };
        r.attachmentPath = [](const QString&) { return u"/etc/passwd"_s; };
        const QString html = renderRichText(richText(dxl), r).html;
        QVERIFY2(unsafeMarkup(html).isEmpty(), qPrintable(unsafeMarkup(html) + u"\n"_s + html));
        static const QRegularExpression markup(u"<(script|iframe|img src=x)|url\\(|javascript:|vbscript:|data:text"_s,
                                               QRegularExpression::CaseInsensitiveOption);
        QVERIFY2(!markup.match(html).hasMatch(), qPrintable(html));
        QVERIFY(!html.contains(u"evil.example/\""_s));
        QVERIFY(!html.contains(u"R0lGOD"_s)); // a picture's data never shows as text
        r.documentPath = [](const DocumentLink&) { return u"a/../../x"_s; };
        r.saveFile = [](const FileToSave&) { return u"https://evil.example/x.gif"_s; };
        const QString again = renderRichText(richText(dxl), r).html;
        QVERIFY2(unsafeMarkup(again).isEmpty(), qPrintable(unsafeMarkup(again)));
    }

    void readErrors_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("kept");
        QTest::newRow("cut short") << QByteArray("<richtext><par>kept<run>x") << u"不是格式正确的XML"_s << u"kept"_s;
        QTest::newRow("not rich text") << QByteArray("<item name='x'/>") << u"根元素是<item>"_s << QString();
        QTest::newRow("other namespace") << QByteArray("<richtext xmlns='urn:x'/>") << u"不在DXL命名空间"_s
                                         << QString();
        QTest::newRow("entity declaration")
            << QByteArray("<!DOCTYPE richtext [<!ENTITY big 'x'>]><richtext><par>&big;</par></richtext>") << u"DTD"_s
            << QString();
        QTest::newRow("nothing") << QByteArray() << u"不是格式正确的XML"_s << QString();
        QTest::newRow("undeclared entity")
            << QByteArray("<richtext><par>a&nbsp;b</par></richtext>") << u"不是格式正确的XML"_s << u"a"_s;
    }
    void readErrors()
    {
        QFETCH(QByteArray, input);
        QFETCH(QString, error);
        QFETCH(QString, kept);
        const RenderedHtml rendered = renderRichText(input, PageResources());
        QVERIFY2(rendered.error.contains(error), qPrintable(rendered.error));
        QVERIFY(rendered.html.startsWith(u"<div class=\"rt\">"_s) && rendered.html.endsWith(u"</div>\n"_s));
        if (!kept.isEmpty())
            QVERIFY2(rendered.html.contains(kept), qPrintable(rendered.html));
        const PlainText plain = richTextPlainText(input);
        QVERIFY(plain.error.contains(error));
    }

    void notesBitmaps_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("width");
        QTest::addColumn<QList<quint32>>("pixels"); // empty: nothing can be decoded
        const QByteArray colors = record(0x97, bytes({0x10, 0x20, 0x30, 0xff, 0x00, 0x00}));
        // 8 bits: a raw run of two elements, then a run of one repeated twice.
        QTest::newRow("8 bits, colour table")
            << bitmapHeader(2, 2, 8, 1, 2, 0) + segment(2, bytes({0x02, 0, 1, 0xc2, 1})) + colors << 2
            << QList<quint32>{0xff102030, 0xffff0000, 0xffff0000, 0xffff0000};
        QTest::newRow("8 bits, the Windows colours, a pattern, a transparent colour, two segments")
            << bitmapHeader(8, 2, 8, 2, 0, 1) +
                   record(0x98, bytes({9, 12, 9, 12, 0, 15, 0, 15}) + QByteArray(16, '\0')) +
                   record(0xc5, words({0, 1}) + bytes({0, 0, 0})) + segment(1, bytes({0x40, 0x01, 0})) +
                   segment(1, bytes({0xc8, 15}))
            << 8 << QList<quint32>{0xffff0000, 0xff0000ff, 0xffff0000, 0xff0000ff, 0x00000000, 0xffffffff,
                                   0x00000000, 0xffffffff, 0xffffffff, 0xffffffff, 0xffffffff, 0xffffffff,
                                   0xffffffff, 0xffffffff, 0xffffffff, 0xffffffff};
        QTest::newRow("1 bit, ten pixels a line")
            << bitmapHeader(10, 1, 1, 1, 0, 0) + segment(1, bytes({0x02, 0b10100000, 0b01000000})) << 10
            << QList<quint32>{0xffffffff, 0xff000000, 0xffffffff, 0xff000000, 0xff000000,
                              0xff000000, 0xff000000, 0xff000000, 0xff000000, 0xffffffff};
        QTest::newRow("16 bits, a 14-bit run")
            << bitmapHeader(3, 1, 16, 1, 0, 0) + segment(1, bytes({0x80, 0x03}) + words({0x7c00})) << 3
            << QList<quint32>{0xffff0000, 0xffff0000, 0xffff0000};
        QTest::newRow("after a metafile, packed with a pad byte")
            << record(0x9f, QByteArray(16, 'm')) + QByteArray(1, '\0') + bitmapHeader(1, 1, 8, 1, 2, 0) +
                   segment(1, bytes({0xc1, 1})) + colors
            << 1 << QList<quint32>{0xffff0000};
        const QByteArray good = bitmapHeader(2, 2, 8, 1, 2, 0);
        QTest::newRow("no header") << segment(1, bytes({0xc2, 1})) << 0 << QList<quint32>{};
        QTest::newRow("fewer lines than the height")
            << good + segment(1, bytes({0xc2, 1})) + colors << 0 << QList<quint32>{};
        QTest::newRow("a run beyond the line")
            << good + segment(2, bytes({0xc3, 1, 0xc1, 1})) + colors << 0 << QList<quint32>{};
        QTest::newRow("segment data cut short")
            << good + segment(2, bytes({0x02, 0})) + colors << 0 << QList<quint32>{};
        QTest::newRow("record longer than the data")
            << QByteArray(good + segment(2, bytes({0xc2, 1, 0xc2, 1}))).chopped(2) << 0 << QList<quint32>{};
        QTest::newRow("pattern beyond the table")
            << bitmapHeader(8, 1, 8, 1, 0, 1) + segment(1, bytes({0x40, 0x01, 3})) << 0 << QList<quint32>{};
        QTest::newRow("4 bits a pixel") << bitmapHeader(2, 1, 4, 1, 0, 0) + segment(1, bytes({0xc2, 1})) << 0
                                        << QList<quint32>{};
        QTest::newRow("more than 16 million pixels") << bitmapHeader(5000, 5000, 8, 1, 0, 0) << 0 << QList<quint32>{};
    }
    void notesBitmaps()
    {
        QFETCH(QByteArray, data);
        QFETCH(int, width);
        QFETCH(QList<quint32>, pixels);
        const auto raster = decodeNotesBitmap(data);
        if (pixels.isEmpty()) {
            QVERIFY(!raster);
            return;
        }
        QVERIFY(raster);
        QCOMPARE(raster->width, width);
        QCOMPARE(raster->pixels, pixels);
        // The PNG holds the same pixels.
        const QImage image = QImage::fromData(encodePng(*raster), "PNG").convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(image.width(), raster->width);
        for (int y = 0; y < raster->height; ++y) {
            for (int x = 0; x < raster->width; ++x) {
                const quint32 p = raster->pixel(x, y);
                QCOMPARE(image.pixel(x, y) | (p >> 24 == 0 ? 0xffffffffu : 0), p | (p >> 24 == 0 ? 0xffffffffu : 0));
                QCOMPARE(qAlpha(image.pixel(x, y)), int(p >> 24));
            }
        }
    }

    // The attachment icons of the samples, as Notes made them.
    void realNotesBitmaps()
    {
        QStringList sizes;
        for (const QString& name : {u"plomino/test1.xml"_s, u"plomino/test_binaries.xml"_s}) {
            const QString file = QString::fromUtf8(readAll(QStringLiteral(QUILL_TEST_DATA) + u"/dxl/"_s + name));
            static const QRegularExpression bitmap(u"<notesbitmap>([^<]*)</notesbitmap>"_s);
            for (const QRegularExpressionMatch& m : bitmap.globalMatch(file)) {
                const auto raster = decodeNotesBitmap(QByteArray::fromBase64(m.captured(1).toLatin1()));
                QVERIFY(raster);
                sizes << QString::number(raster->width) + u'x' + QString::number(raster->height);
                const QImage image = QImage::fromData(encodePng(*raster), "PNG");
                QCOMPARE(image.size(), QSize(raster->width, raster->height));
                QSet<QRgb> colours;
                for (int y = 0; y < image.height(); ++y)
                    for (int x = 0; x < image.width(); ++x)
                        colours.insert(image.pixel(x, y));
                QVERIFY(colours.size() > 20); // a drawn icon, not a blank or a smear
            }
        }
        QCOMPARE(sizes, (QStringList{u"101x47"_s, u"168x47"_s, u"67x68"_s}));
    }

    // The pages of every sample, the constructs and the hostile input, read by html5lib (check_pages.py).
    void pagesPassIndependentReaders()
    {
        QTemporaryDir dir;
        int n = 0;
        const auto page = [&](const QByteArray& element, bool withWords) {
            const QString folder = dir.path() + u"/doc"_s + QString::number(++n);
            Export out(folder);
            const RenderedHtml rendered = renderRichText(element, out.resources());
            QVERIFY2(rendered.error.isEmpty(), qPrintable(rendered.error));
            writeFile(folder + u"/index.html"_s, htmlPage(u"文档 "_s + QString::number(n), rendered.html).toUtf8());
            if (withWords)
                writeFile(folder + u"/index.txt"_s, richTextPlainText(element).text.toUtf8());
        };
        QDirIterator files(QStringLiteral(QUILL_TEST_DATA), {u"*.xml"_s}, QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString path = files.next();
            if (path.contains(u"BadXML"_s))
                continue;
            for (const QByteArray& element : richTextElements(readAll(path)))
                page(element, true);
        }
        const QByteArray hostile =
            "<richtext><par><urllink href='javascript:alert(1)'>a</urllink><run html='true'>"
            "&lt;script&gt;alert(1)&lt;/script&gt;</run><picture alttext='\"&gt;&lt;svg onload=x&gt;'>"
            "<gif>R0lGODlhAQABAAAAACw=</gif></picture></par></richtext>";
        page(hostile, true);
        QProcess python;
        python.start(u"/usr/bin/python3"_s, {QStringLiteral(QUILL_PAGE_CHECK), dir.path()});
        QVERIFY(python.waitForFinished(120000));
        const QString report = QString::fromUtf8(python.readAllStandardOutput() + python.readAllStandardError());
        QVERIFY2(python.exitStatus() == QProcess::NormalExit && python.exitCode() == 0, qPrintable(report));
        // The pages, and the page of the document that one of them links to.
        QVERIFY2(report.contains(QString::number(n + 1) + u" pages checked"_s), qPrintable(report));
    }
};

QTEST_GUILESS_MAIN(TestRichText)
#include "tst_richtext.moc"
