// GBK text is written by the export log for millions of lines; the encoder's shortcuts must give
// exactly the bytes that iconv gives.
#include "platform/gbk.h"

#include <QTest>
#include <iconv.h>

using namespace Qt::StringLiterals;
using namespace quill::platform;

namespace {

QByteArray iconvGb18030(const QString& text)
{
    const QByteArray in = text.toUtf8();
    QByteArray out(in.size() * 4 + 16, Qt::Uninitialized);
    iconv_t cd = iconv_open("GB18030", "UTF-8");
    char* inPtr = const_cast<char*>(in.constData());
    size_t inLeft = size_t(in.size());
    char* outPtr = out.data();
    size_t outLeft = size_t(out.size());
    while (inLeft > 0 && iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == size_t(-1)) {
        ++inPtr; // as toGbk does: an invalid sequence loses one byte
        --inLeft;
    }
    iconv_close(cd);
    out.truncate(outPtr - out.data());
    return out;
}

} // namespace

class TestGbk : public QObject
{
    Q_OBJECT
private slots:
    void sameBytesAsIconv_data()
    {
        QTest::addColumn<QString>("text");
        QString plane;
        for (char32_t c = 0x80; c <= 0xffff; ++c) {
            if (!QChar::isSurrogate(c))
                plane += QChar(char16_t(c));
        }
        QTest::newRow("every character of the plane") << plane;
        QTest::newRow("ascii") << u"  s=s+abc;2026-12-8 4:24:34"_s;
        QTest::newRow("chinese and digits") << u"完成向excel写入第123个文档;2026-12-8"_s;
        QTest::newRow("beyond the plane") << u"第二行 𠀀 €"_s;
        QTest::newRow("broken surrogate") << (u"前"_s + QChar(char16_t(0xd800)) + u"后"_s);
        QTest::newRow("empty") << QString();
    }
    void sameBytesAsIconv()
    {
        QFETCH(QString, text);
        // Twice: the second time every character is known already.
        QCOMPARE(toGbk(text), iconvGb18030(text));
        QCOMPARE(toGbk(text), iconvGb18030(text));
        if (text.size() < 100 && !text.contains(QChar(char16_t(0xd800))))
            QCOMPARE(fromGbk(toGbk(text)), text);
    }
};

QTEST_GUILESS_MAIN(TestGbk)
#include "test_gbk.moc"
