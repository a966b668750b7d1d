// Mail bodies: Domino's MIME items put together, the MIME message read, headers decoded, and the HTML made safe.

#include "richtext/htmlpage.h"
#include "richtext/htmlsafety.h"
#include "richtext/htmlsanitizer.h"
#include "richtext/mailrenderer.h"
#include "richtext/mimeitems.h"
#include "richtext/mimemessage.h"
#include "richtext/raster.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace quill::richtext;

namespace {

QByteArray le(quint32 value, int size)
{
    QByteArray out;
    for (int i = 0; i < size; ++i)
        out += char(value >> (8 * i));
    return out;
}

// A MIME_PART item's value: its header, then boundary, headers and body.
QByteArray mimePart(quint32 flags, int type, const QByteArray& boundary, const QByteArray& headers,
                    const QByteArray& body)
{
    const QByteArray data = boundary + headers + body;
    return le(2, 2) + le(flags, 4) + char(type) + char(0) + le(quint32(data.size()), 2) +
           le(quint32(boundary.size()), 2) + le(quint32(headers.size()), 2) + le(0, 2) + le(0, 4) + data;
}

// An RFC822_TEXT item's value.
QByteArray rfc822(quint32 flags, const QByteArray& native, const QByteArray& name, const QByteArray& body)
{
    const QByteArray delimiter = name.isEmpty() ? QByteArray() : QByteArray(": ");
    return le(14, 2) + le(flags, 4) + le(quint32(native.size()), 2) + le(quint32(name.size()), 2) +
           le(quint32(delimiter.size()), 2) + le(quint32(body.size()), 2) + native + name + delimiter + body;
}

QByteArray gbk(const QString& text)
{
    QStringEncoder encoder("GB18030");
    return encoder.encode(text);
}

QByteArray quotedPrintable(const QByteArray& bytes)
{
    QByteArray out;
    int column = 0;
    for (char c : bytes) {
        const bool plain = c >= 33 && c <= 126 && c != '=';
        const QByteArray piece = plain ? QByteArray(1, c) : "=" + QByteArray(1, c).toHex().toUpper();
        if (column + piece.size() > 72) {
            out += "=\r\n";
            column = 0;
        }
        out += piece;
        column += int(piece.size());
    }
    return out;
}

QByteArray png()
{
    Raster raster;
    raster.width = raster.height = 2;
    raster.pixels = {0xffff0000, 0xff00ff00, 0xff0000ff, 0x80ffffff};
    return encodePng(raster);
}

// Markup that would run or load anything, or a script scheme, anywhere in the output.
bool looksDangerous(const QString& html)
{
    static const QRegularExpression pattern(
        u"<\\s*(script|iframe|object|embed|svg|style|form|base|link|meta)|\\son\\w+\\s*=|"
        "javascript:|vbscript:|data:text|url\\(|expression\\("_s,
        QRegularExpression::CaseInsensitiveOption);
    return pattern.match(html).hasMatch() || !unsafeMarkup(html).isEmpty();
}

} // namespace

class TestMail : public QObject
{
    Q_OBJECT

private:
    // A mail with an HTML body in GBK, a picture it shows by cid:, a remote picture, and an attachment whose
    // bytes Domino keeps in a file object.
    QList<QByteArray> dominoMail(const QString& html)
    {
        const QByteArray encodedHtml = quotedPrintable(gbk(html));
        return {
            mimePart(0x02, 1, {}, "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"outer\"\r\n",
                     "This is a multi-part message in MIME format."),
            mimePart(0x03, 2, "\r\n--outer\r\n", "Content-Type: multipart/related;\r\n\tboundary=\"inner\"\r\n\r\n",
                     {}),
            mimePart(0x03, 2, "\r\n--inner\r\n",
                     "Content-Type: text/html; charset=GB2312\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n",
                     encodedHtml),
            mimePart(
                0x03, 2, "\r\n--inner\r\n",
                "Content-Type: image/png\r\nContent-ID: <logo@example.cn>\r\nContent-Transfer-Encoding: base64\r\n\r\n",
                png().toBase64()),
            mimePart(0x01, 3, "\r\n--inner--\r\n", {}, {}),
            mimePart(0x07, 2, "\r\n--outer\r\n",
                     "Content-Type: text/plain; charset=UTF-8\r\nContent-Disposition: attachment;\r\n"
                     " filename*=UTF-8''%E6%8A%A5%E5%91%8A.txt\r\nContent-Transfer-Encoding: base64\r\n\r\n",
                     QByteArray("ATT0001.TXT\0", 12)),
            mimePart(0x01, 3, "\r\n--outer--\r\n", {}, "epilogue"),
        };
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void dominoMailWithPictureAndAttachment()
    {
        const QString html =
            u"<html><head><title>t</title><style>body{background:url(http://evil.example/b.png)}</style>"
            "</head><body><p>各位：<b>季度会议</b>改到周五。</p><img src=\"cid:logo@example.cn\" alt=\"标志\">"
            "<img src=\"http://tracker.example/pixel.gif\"><script>alert(1)</script>"
            "<a "
            "href=\"https://example.cn/会议\">会议页面</a><p>议程<ul><li>一<li>二</ul><table><tr><td>甲<td>乙</table>"
            "</body></html>"_s;
        const QByteArray attachment = QByteArray("报告正文\r\n").toBase64();
        const AssembledMessage assembled =
            assembleMimeMessage(dominoMail(html), [&](const QString& name) -> std::optional<QByteArray> {
                if (name == u"ATT0001.TXT")
                    return attachment;
                return std::nullopt;
            });
        QVERIFY2(assembled.problems.isEmpty(), qPrintable(assembled.problems.join(u'\n')));

        const MimeEntity message = parseMimeEntity(assembled.message);
        QCOMPARE(message.type, u"multipart/mixed"_s);
        QCOMPARE(message.parts.size(), size_t(2));
        const MimeEntity& related = message.parts[0];
        QCOMPARE(related.type, u"multipart/related"_s);
        QCOMPARE(related.parts.size(), size_t(2));
        QVERIFY(related.parts[0].text().contains(u"<b>季度会议</b>改到周五"_s));
        QCOMPARE(related.parts[1].contentId, u"logo@example.cn"_s);
        QCOMPARE(related.parts[1].body, png());
        QCOMPARE(message.parts[1].fileName, u"报告.txt"_s);
        QCOMPARE(message.parts[1].body, QByteArray("报告正文\r\n"));

        QTemporaryDir dir;
        QList<FileToSave> saved;
        PageResources resources;
        resources.saveFile = [&](const FileToSave& file) {
            saved << file;
            QFile out(dir.filePath(file.name));
            out.open(QIODevice::WriteOnly);
            out.write(file.bytes);
            return file.name;
        };
        const RenderedHtml rendered = renderMail(message, resources);
        QVERIFY(rendered.error.isEmpty());
        const QString& page = rendered.html;
        QVERIFY2(!looksDangerous(page), qPrintable(page));
        QVERIFY2(page.contains(u"<p>各位：<b>季度会议</b>改到周五。</p><img src=\"picture1.png\" alt=\"标志\">"_s),
                 qPrintable(page));
        QVERIFY(page.contains(u"<span class=\"rt-added rt-placeholder\">[图片未加载]</span>"_s));
        QVERIFY(!page.contains(u"tracker.example"_s) && !page.contains(u"alert"_s));
        QVERIFY(page.contains(u"<a href=\"https://example.cn/会议\" rel=\"noopener noreferrer\">会议页面</a>"_s));
        QVERIFY2(page.contains(u"<a class=\"rt-attachment\" href=\"%E6%8A%A5%E5%91%8A.txt\">报告.txt</a>"_s),
                 qPrintable(page));
        QCOMPARE(saved.size(), 2);
        QCOMPARE(saved[0].kind, FileToSave::Kind::Picture);
        QCOMPARE(saved[0].bytes, png());
        QCOMPARE(saved[1].kind, FileToSave::Kind::Attachment);
        QCOMPARE(saved[1].name, u"报告.txt"_s);
        QCOMPARE(saved[1].bytes, QByteArray("报告正文\r\n"));
        QCOMPARE(mailPlainText(message), u"各位：季度会议改到周五。\n会议页面\n议程\n一\n二\n甲\t乙"_s);

        // The page as html5lib reads it.
        QFile out(dir.filePath(u"mail.html"_s));
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(htmlPage(u"邮件"_s, page).toUtf8());
        out.close();
        QProcess python;
        python.start(u"/usr/bin/python3"_s, {QStringLiteral(QUILL_PAGE_CHECK), dir.path()});
        QVERIFY(python.waitForFinished(60000));
        QVERIFY2(python.exitCode() == 0, python.readAllStandardOutput().constData());

        // Without the object that holds the attachment, the rest is still read and the loss is told.
        const AssembledMessage lost = assembleMimeMessage(dominoMail(html), {});
        QCOMPARE(lost.problems, QStringList{u"MIME部分的正文存放在附件“ATT0001.TXT”中，但文档中没有这个附件"_s});
        QCOMPARE(parseMimeEntity(lost.message).parts.size(), size_t(2));
        QList<QByteArray> broken = dominoMail(html);
        broken[3].chop(10);
        QCOMPARE(assembleMimeMessage(broken, {}).problems.first(), u"第4个MIME部分项的数据不完整，已跳过"_s);
    }

    void rfc822Items_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        const QByteArray zhang = gbk(u"张三"_s).toBase64();
        const QByteArray subject = u"会议纪要"_s.toUtf8();
        QTest::newRow("address in GB2312 words")
            << rfc822(0, "zhang@example.cn", "From", "=?GB2312?B?" + zhang + "?= <zhang@example.cn>") << u"From"_s
            << u"张三 <zhang@example.cn>"_s;
        // A character split between two encoded words.
        QTest::newRow("subject split inside a character")
            << rfc822(2, {}, "Subject",
                      "=?UTF-8?B?" + subject.left(4).toBase64() + "?=\r\n =?UTF-8?B?" + subject.mid(4).toBase64() +
                          "?=")
            << u"Subject"_s << u"会议纪要"_s;
        // 2024-01-05 10:15:00 UTC: Julian day 2460315, 3 690 000 hundredths.
        QTest::newRow("date kept only as Notes made it")
            << rfc822(1, le(3690000, 4) + le(2460315, 4), "Date", {}) << u"Date"_s << u"2024-01-05 10:15:00 UTC"_s;
        QTest::newRow("text kept only as Notes made it")
            << rfc822(2, QByteArray("Re: hello\0", 10), {}, {}) << QString() << u"Re: hello"_s;
    }
    void rfc822Items()
    {
        QFETCH(QByteArray, value);
        QFETCH(QString, name);
        QFETCH(QString, text);
        const auto header = parseRfc822Item(value);
        QVERIFY(header);
        QCOMPARE(header->name, name);
        QCOMPARE(header->text, text);
        QVERIFY(!parseRfc822Item(value.chopped(1)));
    }

    void headerText_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<QString>("text");
        QTest::newRow("Q words") << QByteArray("=?utf-8?q?caf=C3=A9_au_lait?=") << u"café au lait"_s;
        QTest::newRow("a word between plain text") << QByteArray("a =?ISO-8859-1?Q?Andr=E9?= b") << u"a André b"_s;
        QTest::newRow("blanks between words dropped") << QByteArray("=?utf-8?B?5Lit?=  =?utf-8?B?5paH?=") << u"中文"_s;
        QTest::newRow("blanks beside plain text kept")
            << QByteArray("=?utf-8?Q?a?= plain =?utf-8?Q?b?=") << u"a plain b"_s;
        QTest::newRow("language suffix") << QByteArray("=?GBK*zh-CN?B?") + gbk(u"报告"_s).toBase64() + "?="
                                         << u"报告"_s;
        QTest::newRow("raw GBK bytes") << gbk(u"中文标题"_s) << u"中文标题"_s;
        QTest::newRow("raw UTF-8 bytes") << u"中文标题"_s.toUtf8() << u"中文标题"_s;
        QTest::newRow("not a word: unknown encoding") << QByteArray("=?utf-8?X?abc?=") << u"=?utf-8?X?abc?="_s;
        QTest::newRow("not a word: blank inside") << QByteArray("=?utf-8?Q?a b?=") << u"=?utf-8?Q?a b?="_s;
        QTest::newRow("unknown charset") << QByteArray("=?x-unknown?B?5Lit?=") << u"中"_s;
    }
    void headerText()
    {
        QFETCH(QByteArray, raw);
        QFETCH(QString, text);
        QCOMPARE(decodeHeaderText(raw), text);
    }

    void entities_data()
    {
        QTest::addColumn<QByteArray>("entity");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("text");
        QTest::newRow("RFC 2231 continuations")
            << QByteArray(
                   "Content-Disposition: attachment; filename*0*=UTF-8''%E6%8A%A5; filename*1*=%E5%91%8A.txt\r\n\r\nx")
            << u"报告.txt"_s << QString();
        QTest::newRow("encoded word in a quoted name")
            << QByteArray("Content-Type: application/pdf; name=\"=?GB2312?B?") + gbk(u"合同"_s).toBase64() +
                   "?=.pdf\"\r\n\r\nx"
            << u"合同.pdf"_s << QString();
        QTest::newRow("quotes and semicolons inside a quoted name")
            << QByteArray("Content-Disposition: attachment; filename=\"a \\\"b\\\"; c.txt\"; size=3\r\n\r\nx")
            << u"a \"b\"; c.txt"_s << QString();
        QTest::newRow("quoted-printable GBK") << QByteArray("Content-Type: text/plain; charset=\"gb2312\"\r\n"
                                                            "Content-Transfer-Encoding: Quoted-Printable\r\n\r\n") +
                                                     quotedPrintable(gbk(u"你好，世界 = 1"_s))
                                              << QString() << u"你好，世界 = 1"_s;
        QTest::newRow("base64 Big5")
            << QByteArray("Content-Type: text/plain; charset=big5\nContent-Transfer-Encoding: base64\n\n") +
                   QByteArray("\xa4\xa4\xa4\xe5").toBase64()
            << QString() << u"中文"_s;
        QTest::newRow("ISO-8859-1 read as browsers do")
            << QByteArray("Content-Type: text/plain; charset=iso-8859-1\r\n\r\n\x80 caf\xe9") << QString()
            << u"€ café"_s;
        QTest::newRow("no charset, GBK bytes")
            << QByteArray("Subject: x\r\n\r\n") + gbk(u"中文"_s) << QString() << u"中文"_s;
        QTest::newRow("no headers at all") << QByteArray("\r\nplain body") << QString() << u"plain body"_s;
        QTest::newRow("body without the empty line before it")
            << QByteArray("Dear all, see below:\r\nsecond") << QString() << u"Dear all, see below:\r\nsecond"_s;
    }
    void entities()
    {
        QFETCH(QByteArray, entity);
        QFETCH(QString, fileName);
        QFETCH(QString, text);
        const MimeEntity parsed = parseMimeEntity(entity);
        QCOMPARE(parsed.fileName, fileName);
        if (!text.isEmpty())
            QCOMPARE(parsed.text(), text);
    }

    void multipartShapes()
    {
        // LF line ends, a preamble, a nested alternative, a missing closing delimiter, a forwarded message.
        const QByteArray message =
            "Content-Type: multipart/mixed; boundary=b1\n\npreamble\n--b1\n"
            "Content-Type: multipart/alternative; boundary=\"b2\"\n\n--b2\nContent-Type: text/plain\n\n"
            "plain version\n--b2\nContent-Type: text/html\n\n<p>html version</p>\n--b2--\n"
            "--b1 \nContent-Type: message/rfc822\n\nFrom: =?utf-8?B?5byg5LiJ?= <a@b.c>\n"
            "Subject: fwd\nContent-Type: text/plain\n\ninner body\n"
            "--b1\nContent-Type: application/octet-stream\nContent-Disposition: attachment; filename=x.bin\n\n"
            "\x01\x02";
        const MimeEntity parsed = parseMimeEntity(message);
        QCOMPARE(parsed.parts.size(), size_t(3));
        QCOMPARE(parsed.parts[0].parts.size(), size_t(2));
        QCOMPARE(parsed.parts[0].parts[1].text(), u"<p>html version</p>"_s);
        QCOMPARE(parsed.parts[1].parts.front().header(u"from"), u"张三 <a@b.c>"_s);
        QCOMPARE(parsed.parts[2].body, QByteArray("\x01\x02"));
        PageResources resources;
        resources.saveFile = [](const FileToSave& file) { return file.name; };
        const QString html = renderMail(parsed, resources).html;
        QVERIFY2(html.contains(u"<div class=\"rt-mail-html\"><p>html version</p></div>"_s), qPrintable(html));
        QVERIFY(!html.contains(u"plain version"_s) && !html.contains(u"preamble"_s));
        QVERIFY(html.contains(u"<tr><th>From</th><td>张三 &lt;a@b.c&gt;</td></tr>"_s));
        QVERIFY(html.contains(u"<div class=\"rt-p\">inner body</div>"_s));
        QVERIFY(html.contains(u"<a class=\"rt-attachment\" href=\"x.bin\">x.bin</a>（2字节）"_s));
        QCOMPARE(mailPlainText(parsed), u"plain version\n\ninner body"_s);
    }

    void sanitizerKeeps_data()
    {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("sanitized");
        QTest::newRow("harmless style declarations only")
            << u"<p style=\"color:red; background:url(x); font-size: 12px !important\">a</p>"_s
            << u"<p style=\"color:red;font-size:12px\">a</p>"_s;
        QTest::newRow("links lose what they do not need")
            << u"<a href=\" https://e.org/?a=1&amp;b=2\" target=_blank onclick=x id=i class=c>l</a>"_s
            << u"<a href=\"https://e.org/?a=1&amp;b=2\" rel=\"noopener noreferrer\">l</a>"_s;
        QTest::newRow("tables closed, spans and sizes checked")
            << u"<TABLE border=1 width=\"100%\"><tr><td colspan=2 width=\"50%;x\">x<td>y<tr><td>z"_s
            << u"<table border=\"1\" width=\"100%\"><tr><td colspan=\"2\">x</td><td>y</td></tr><tr><td>z</td></tr></table>"_s;
        QTest::newRow("paragraphs, items and cells end as a browser ends them")
            << u"<p>a<p>b<ul><li>c<b>e<li>d</ul><p>f<table><tr><td>g<td><p>h<tr><td>i</table>"_s
            << u"<p>a</p><p>b</p><ul><li>c<b>e</b></li><li>d</li></ul><p>f</p><table><tr><td>g</td><td><p>h</p></td></"
               u"tr>"
               u"<tr><td>i</td></tr></table>"_s;
        QTest::newRow("font") << u"<font face=\"宋体, SimSun\" color=\"#FF0000\" size=\"+1\" style=\"x:y\">f</font>"_s
                              << u"<font face=\"宋体, SimSun\" color=\"#FF0000\" size=\"+1\">f</font>"_s;
        QTest::newRow("character references") << u"&lt;b&gt; &amp;amp; &#x4e2d;&#20013;&nbsp&copy;&#128;&#0;&bogus;"_s
                                              << u"&lt;b&gt; &amp;amp; 中中\u00a0©€\ufffd&amp;bogus;"_s;
        QTest::newRow("unknown elements unwrapped, comments gone")
            << u"<o:p>x</o:p><center>c</center><!-- <b>no</b> --><blink>y</blink>"_s << u"x<center>c</center>y"_s;
        QTest::newRow("pictures by cid")
            << u"<img src=\"cid:logo\" width=10><img src=\"CID:%3Cgone%3E\">"_s
            << u"<img src=\"saved/logo.png\" width=\"10\"><span class=\"rt-added rt-placeholder\">[图片未加载]</span>"_s;
    }
    void sanitizerKeeps()
    {
        QFETCH(QString, html);
        QFETCH(QString, sanitized);
        SanitizeHooks hooks;
        hooks.contentPath = [](const QString& id) { return id == u"logo" ? u"saved/logo.png"_s : QString(); };
        QCOMPARE(sanitizeHtml(html, hooks), sanitized);
    }

    void sanitizerRefuses_data()
    {
        QTest::addColumn<QString>("html");
        const QStringList vectors = {
            u"<script>alert(1)</script>"_s,
            u"<SCRIPT SRC=//evil.example/x.js></SCRIPT>"_s,
            u"<img src=x onerror=alert(1)>"_s,
            u"<svg/onload=alert(1)><circle/></svg>"_s,
            u"<a href=\"jav&#x09;ascript:alert(1)\">a</a><a href=\"&#106;&#97;vascript:alert(1)\">b</a>"_s,
            u"<a href=\"javascript&colon;alert(1)\">c</a><a href=\"  JAVASCRIPT:alert(1)\">d</a>"_s,
            u"<a href=\"vbscript:msgbox(1)\">e</a><a href=\"data:text/html;base64,PHNjcmlwdD4=\">f</a>"_s,
            u"<iframe src=//evil.example></iframe><object data=x></object><embed src=x><applet code=x></applet>"_s,
            u"<form action=//evil.example><input name=x><button formaction=//evil.example>b</button></form>"_s,
            u"<style>@import 'x'; body{background:url(x)}</style><link rel=stylesheet href=//evil.example>"_s,
            u"<div style=\"background-image: url(javascript:alert(1))\">x</div><div style=\"width: expression(alert(1))\">y</div>"_s,
            u"<div style=\"b\\61ckground:u\\72l(x)\">x</div><p style=\"color:red;behavior:url(x.htc)\">y</p>"_s,
            u"<meta http-equiv=\"refresh\" content=\"0;url=//evil.example\"><base href=//evil.example/>"_s,
            u"<!--<script>x</script>--><![CDATA[<script>]]><?php echo 1 ?>"_s,
            u"<scr<script>ipt>alert(1)</scr</script>ipt>"_s,
            u"<img \"\"\"><script>alert(1)</script>\">"_s,
            u"<math><mtext><table><mglyph><style><img src=x onerror=alert(1)>"_s,
            u"<noscript><p title=\"</noscript><img src=x onerror=alert(1)>\">"_s,
            u"<textarea><img src=x onerror=alert(1)></textarea><title><script>x</script></title>"_s,
            u"<div title=\"never closed><script>alert(1)</script>"_s,
            u"<a href=\"https://ok.example/\" style=\"position:fixed;top:0\" onmouseover=\"alert(1)\">ok</a>"_s,
            u"<img src=\"https://tracker.example/p.gif\"><img src=\"data:image/png;base64,iVBORw0KGgo=\">"_s,
            QString(u"<div>"_s).repeated(5000) + u"<script>x</script>"_s,
        };
        for (const QString& v : vectors)
            QTest::newRow(qPrintable(v.left(60))) << v;
    }
    void sanitizerRefuses()
    {
        QFETCH(QString, html);
        const QString out = sanitizeHtml(html, SanitizeHooks());
        QVERIFY2(!looksDangerous(out), qPrintable(out));
        QVERIFY2(!out.contains(u"evil.example"_s) && !out.contains(u"tracker.example"_s), qPrintable(out));
    }

    void htmlText()
    {
        QCOMPARE(htmlPlainText(u"<style>p{}</style><p>Hello <b>big</b>\n  world</p><table><tr><td>a<td>b</table>"
                               "<pre>x  y\nz</pre>line<br>next &amp; last"_s),
                 u"Hello big world\na\tb\nx  y\nz\nline\nnext & last"_s);
    }
};

QTEST_GUILESS_MAIN(TestMail)
#include "tst_mail.moc"
