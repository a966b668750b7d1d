#include "domino/value.h"

#include "domino/error.h"

#include <QStringList>
#include <charconv>
#include <cmath>

using namespace Qt::StringLiterals;

namespace quill::domino {

Value Value::null()
{
    return Value(Data(NullTag{}));
}
Value Value::text(QString text)
{
    return Value(Data(std::move(text)));
}
Value Value::integer(qint64 value)
{
    return Value(Data(value));
}
Value Value::number(double value)
{
    return Value(Data(value));
}
Value Value::dateTime(QDateTime value)
{
    return Value(Data(std::move(value)));
}
Value Value::date(QDate value)
{
    return Value(Data(value));
}
Value Value::time(QTime value)
{
    return Value(Data(value));
}
Value Value::list(ValueList values)
{
    return Value(Data(std::move(values)));
}

Value::Kind Value::kind() const
{
    return static_cast<Kind>(m_data.index());
}

QString formatGeneralNumber(double value)
{
    if (std::isnan(value))
        return u"NAN"_s;
    if (std::isinf(value))
        return value < 0 ? u"-INF"_s : u"INF"_s;
    if (value == 0.0)
        return u"0"_s;
    // A whole number of at most 15 digits is just its digits; the general way below gives the same.
    if (std::fabs(value) < 1e15 && value == std::trunc(value))
        return QString::number(qint64(value));

    // Round to 15 significant digits first; the decision between fixed and scientific is made on
    // the rounded value, so 999999999999999.9 becomes 1E15. to_chars writes what printf's "%.14e" does.
    char buffer[64];
    const char* end =
        std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::scientific, 14).ptr;
    const QByteArray repr(buffer, end - buffer);
    const qsizetype ePos = repr.indexOf('e');
    QByteArray digits = repr.left(ePos);
    digits.remove(1, 1); // the decimal point after the first digit
    const int exponent = repr.mid(ePos + 1).toInt();
    while (digits.size() > 1 && digits.endsWith('0'))
        digits.chop(1);

    QString out = value < 0 ? u"-"_s : QString();
    const bool scientific = exponent >= 15 || exponent < -5;
    if (scientific) {
        out += QLatin1Char(digits.at(0));
        if (digits.size() > 1)
            out += u'.' + QString::fromLatin1(digits.mid(1));
        out += u'E' + QString::number(exponent);
        return out;
    }
    if (exponent >= 0) {
        const qsizetype intDigits = exponent + 1;
        QByteArray intPart = digits.left(intDigits);
        while (intPart.size() < intDigits)
            intPart.append('0');
        out += QString::fromLatin1(intPart);
        if (digits.size() > intDigits)
            out += u'.' + QString::fromLatin1(digits.mid(intDigits));
        return out;
    }
    out += u"0."_s + QString(-exponent - 1, u'0') + QString::fromLatin1(digits);
    return out;
}

QString formatShortDate(QDate value)
{
    if (!value.isValid())
        return {};
    return QString::number(value.year()) + u'-' + QString::number(value.month()) + u'-' + QString::number(value.day());
}

QString formatShortTime(QTime value)
{
    if (!value.isValid())
        return {};
    return QString::number(value.hour()) + u':' + QString::asprintf("%02d:%02d", value.minute(), value.second());
}

QString formatShortDateTime(const QDateTime& value)
{
    if (!value.isValid())
        return {};
    const QTime time = value.time();
    if (time.hour() == 0 && time.minute() == 0 && time.second() == 0)
        return formatShortDate(value.date());
    return formatShortDate(value.date()) + u' ' + formatShortTime(time);
}

QDateTime wallClockDateTime(QDate date, QTime time)
{
    const QDateTime local(date, time, Qt::LocalTime);
    if (local.isValid() && local.date() == date && local.time() == time)
        return local;
    // Skipped here by a clock change: the same fields at the offset of the day before.
    const qint64 asUtc = QDateTime(date, time, Qt::UTC).toMSecsSinceEpoch();
    const int offset = QDateTime::fromMSecsSinceEpoch(asUtc - 86400000, Qt::LocalTime).offsetFromUtc();
    return QDateTime(date, time, Qt::OffsetFromUTC, offset);
}

QString ValueToText(const Value& value)
{
    switch (value.kind()) {
    case Value::Kind::Empty:
        return {};
    case Value::Kind::Null:
        throw DominoError(u"无法把空值(Null)转换为文本"_s);
    case Value::Kind::Text:
        return value.asText();
    case Value::Kind::Integer:
        return QString::number(value.asInteger());
    case Value::Kind::Number:
        return formatGeneralNumber(value.asNumber());
    case Value::Kind::DateTime:
        return formatShortDateTime(value.asDateTime());
    case Value::Kind::Date:
        return formatShortDate(value.asDate());
    case Value::Kind::Time:
        return formatShortTime(value.asTime());
    case Value::Kind::List: {
        QStringList parts;
        for (const Value& element : value.asList())
            parts << ValueToText(element);
        return parts.join(u", "_s);
    }
    }
    return {};
}

} // namespace quill::domino
