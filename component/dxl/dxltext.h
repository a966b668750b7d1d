#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QStringList>
#include <QTime>
#include <optional>

namespace quill::component::dxl {

// A DXL date-time: "19990713" (date only), "T060306,52" (time only) or "19990713T060306,52+05" (with
// the zone's offset from UTC). The date or the time is invalid when the text leaves it out.
struct DateTimeValue
{
    QDate date;
    QTime time;
    std::optional<int> offsetSeconds;

    bool operator==(const DateTimeValue&) const = default;
};

// nullopt when the text is not a DXL date-time.
std::optional<DateTimeValue> parseDateTime(QStringView text);

// Base64 fed in pieces of any size, as an XML parser hands them over. Whitespace is skipped;
// anything else outside the alphabet, or data after the padding, is an error.
class Base64Decoder
{
public:
    // Appends the decoded bytes to out. On bad input returns false and sets badOffset to the
    // offending character's index in data.
    bool feed(const char* data, qsizetype size, QByteArray& out, qsizetype* badOffset);
    // False when the data ended in the middle of a group of four characters.
    bool finish() const;
    void reset() { *this = Base64Decoder(); }

private:
    quint32 m_bits = 0;
    int m_count = 0;   // characters in the current group of four
    int m_padding = 0; // '=' seen; nothing but '=' and whitespace may follow
};

} // namespace quill::component::dxl
