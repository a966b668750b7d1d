#include "dxltext.h"

using namespace Qt::StringLiterals;

namespace quill::component::dxl {
namespace {

bool digitsAt(QStringView text, qsizetype at, qsizetype count, int* value)
{
    if (at + count > text.size())
        return false;
    int result = 0;
    for (qsizetype i = at; i < at + count; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return false;
        result = result * 10 + (c - u'0');
    }
    *value = result;
    return true;
}

int base64Value(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

bool isXmlSpace(char c)
{
    return c == ' ' || c == '\n' || c == '\r' || c == '\t';
}

} // namespace

std::optional<DateTimeValue> parseDateTime(QStringView text)
{
    text = text.trimmed();
    DateTimeValue value;
    qsizetype at = 0;
    if (!text.startsWith(u'T')) {
        int year = 0, month = 0, day = 0;
        if (!digitsAt(text, 0, 4, &year) || !digitsAt(text, 4, 2, &month) || !digitsAt(text, 6, 2, &day))
            return std::nullopt;
        value.date = QDate(year, month, day);
        if (!value.date.isValid())
            return std::nullopt;
        at = 8;
        if (at == text.size())
            return value;
        if (text[at] != u'T')
            return std::nullopt;
    }
    ++at; // 'T'
    int hour = 0, minute = 0, second = 0, hundredths = 0;
    if (!digitsAt(text, at, 2, &hour) || !digitsAt(text, at + 2, 2, &minute))
        return std::nullopt;
    at += 4;
    if (digitsAt(text, at, 2, &second))
        at += 2;
    if (at < text.size() && (text[at] == u',' || text[at] == u'.')) {
        int digits = 0;
        ++at;
        while (at < text.size() && text[at].isDigit()) {
            if (digits < 2)
                hundredths = hundredths * 10 + text[at].digitValue();
            ++digits;
            ++at;
        }
        if (digits == 0)
            return std::nullopt;
        if (digits == 1)
            hundredths *= 10;
    }
    value.time = QTime(hour, minute, second, hundredths * 10);
    if (!value.time.isValid())
        return std::nullopt;
    if (at == text.size())
        return value;
    if (text[at] == u'Z' && at + 1 == text.size()) {
        value.offsetSeconds = 0;
        return value;
    }
    if (text[at] != u'+' && text[at] != u'-')
        return std::nullopt;
    const int sign = text[at] == u'-' ? -1 : 1;
    ++at;
    int zoneHours = 0, zoneMinutes = 0;
    if (!digitsAt(text, at, 2, &zoneHours))
        return std::nullopt;
    at += 2;
    if (at < text.size() && text[at] == u':')
        ++at;
    if (at < text.size()) {
        if (!digitsAt(text, at, 2, &zoneMinutes) || at + 2 != text.size())
            return std::nullopt;
    }
    if (zoneHours > 14 || zoneMinutes > 59)
        return std::nullopt;
    value.offsetSeconds = sign * (zoneHours * 3600 + zoneMinutes * 60);
    return value;
}

bool Base64Decoder::feed(const char* data, qsizetype size, QByteArray& out, qsizetype* badOffset)
{
    for (qsizetype i = 0; i < size; ++i) {
        const char c = data[i];
        if (isXmlSpace(c))
            continue;
        if (c == '=') {
            // Padding completes a group of two or three characters.
            if (m_count + m_padding < 2 || m_count + m_padding >= 4) {
                *badOffset = i;
                return false;
            }
            ++m_padding;
            if (m_count + m_padding == 4) {
                if (m_count == 2)
                    out.append(char(m_bits >> 4));
                else
                    out.append(char(m_bits >> 10)).append(char(m_bits >> 2));
                m_count = 4; // closed: only whitespace may follow
            }
            continue;
        }
        const int v = base64Value(c);
        if (v < 0 || m_padding > 0) {
            *badOffset = i;
            return false;
        }
        m_bits = (m_bits << 6) | quint32(v);
        if (++m_count == 4) {
            out.append(char(m_bits >> 16)).append(char(m_bits >> 8)).append(char(m_bits));
            m_bits = 0;
            m_count = 0;
        }
    }
    return true;
}

bool Base64Decoder::finish() const
{
    return m_padding == 0 ? m_count == 0 : m_count == 4;
}

} // namespace quill::component::dxl
