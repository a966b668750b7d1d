#include "platform/gbk.h"

#include <QStringDecoder>
#include <algorithm>
#include <array>
#include <cerrno>
#include <iconv.h>
#include <memory>

namespace quill::platform {
namespace {

// An iconv descriptor per direction and thread, opened at first use: opening one reads the
// converter's tables, far more work than converting a line.
class Converter
{
public:
    Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~Converter()
    {
        if (valid())
            iconv_close(m_cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    QByteArray convert(const QByteArray& input) const;

private:
    bool valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t m_cd;
};

QByteArray Converter::convert(const QByteArray& input) const
{
    if (!valid())
        return {};
    iconv(m_cd, nullptr, nullptr, nullptr, nullptr); // back to the initial state
    QByteArray out;
    out.resize(input.size() * 2 + 16);
    char* inPtr = const_cast<char*>(input.constData());
    size_t inLeft = static_cast<size_t>(input.size());
    char* outPtr = out.data();
    size_t outLeft = static_cast<size_t>(out.size());
    while (inLeft > 0) {
        const size_t rc = iconv(m_cd, &inPtr, &inLeft, &outPtr, &outLeft);
        if (rc != static_cast<size_t>(-1))
            continue;
        if (errno == E2BIG) {
            const qsizetype used = outPtr - out.data();
            out.resize(out.size() * 2);
            outPtr = out.data() + used;
            outLeft = static_cast<size_t>(out.size() - used);
        } else {
            // An invalid or cut-off byte sequence: skip one byte rather than lose the rest.
            ++inPtr;
            --inLeft;
        }
    }
    out.resize(outPtr - out.data());
    return out;
}

bool isAscii(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

// The GB18030 bytes of the characters of the Basic Multilingual Plane, each asked of iconv the first
// time it is met: one look-up per character instead of a conversion through UTF-8 for every text.
class GbkEncoder
{
public:
    QByteArray encode(const QString& text);

private:
    static constexpr quint32 kUnknown = 0;
    static constexpr quint32 kUnusable = 0xffffffff;
    // Two bytes as 0x0000XXYY, four as 0xAABBCCDD (the second byte of four is a digit, never zero).
    quint32 bytesOf(char16_t c);

    Converter m_converter{"GB18030", "UTF-8"};
    // In pages of 256 characters, made as first met: a log's text uses few, so the table stays small.
    std::array<std::unique_ptr<quint32[]>, 256> m_pages;
};

quint32 GbkEncoder::bytesOf(char16_t c)
{
    std::unique_ptr<quint32[]>& page = m_pages[c >> 8];
    if (!page)
        page = std::make_unique<quint32[]>(256);
    quint32& entry = page[c & 0xff];
    if (entry == kUnknown) {
        const QByteArray bytes = m_converter.convert(QString(QChar(c)).toUtf8());
        const auto byte = [&](int i) { return quint32(uchar(bytes[i])); };
        if (bytes.size() == 2)
            entry = byte(0) << 8 | byte(1);
        else if (bytes.size() == 4)
            entry = byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3);
        else
            entry = kUnusable;
    }
    return entry;
}

QByteArray GbkEncoder::encode(const QString& text)
{
    QByteArray out(text.size() * 4, Qt::Uninitialized);
    char* p = out.data();
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        if (c < 0x80) {
            *p++ = char(c);
            continue;
        }
        const quint32 bytes = ch.isSurrogate() ? kUnusable : bytesOf(c);
        if (bytes == kUnusable) // a character beyond the plane, or a broken one: iconv decides
            return m_converter.convert(text.toUtf8());
        if (bytes > 0xffff) {
            *p++ = char(bytes >> 24);
            *p++ = char(bytes >> 16);
        }
        *p++ = char(bytes >> 8);
        *p++ = char(bytes);
    }
    out.truncate(p - out.data());
    return out;
}

} // namespace

QByteArray toGbk(const QString& text)
{
    // ASCII is the same in GB18030.
    if (isAscii(text))
        return text.toLatin1();
    thread_local GbkEncoder encoder;
    return encoder.encode(text);
}

QString fromGbk(const QByteArray& bytes)
{
    thread_local const Converter converter("UTF-8", "GB18030");
    return fromUtf8Text(converter.convert(bytes));
}

QString fromUtf8Text(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringConverter::Flag::ConvertInitialBom);
    return decoder.decode(bytes);
}

int gbkLength(const QString& text)
{
    return static_cast<int>(toGbk(text).size());
}

} // namespace quill::platform
