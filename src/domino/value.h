#pragma once

#include <QDateTime>
#include <QString>
#include <variant>
#include <vector>

namespace quill::domino {

class Value;
using ValueList = std::vector<Value>;

// A Domino value as the objects hand it over: empty, null, text, a whole number, a floating
// number, a date-time (an instant), a date without a time, a time without a date, or a list of these
// (a multi-value column or item).
class Value
{
public:
    enum class Kind
    {
        Empty,
        Null,
        Text,
        Integer,
        Number,
        DateTime,
        Date,
        Time,
        List
    };

    Value() = default;
    static Value null();
    static Value text(QString text);
    static Value integer(qint64 value);
    static Value number(double value);
    static Value dateTime(QDateTime value);
    static Value date(QDate value); // a date without a time
    static Value time(QTime value); // a time without a date
    static Value list(ValueList values);

    Kind kind() const;
    bool isEmpty() const { return kind() == Kind::Empty; }
    bool isNull() const { return kind() == Kind::Null; }

    // Accessors for the matching kind; calling one for another kind is a programming error.
    const QString& asText() const { return std::get<QString>(m_data); }
    qint64 asInteger() const { return std::get<qint64>(m_data); }
    double asNumber() const { return std::get<double>(m_data); }
    const QDateTime& asDateTime() const { return std::get<QDateTime>(m_data); }
    const QDate& asDate() const { return std::get<QDate>(m_data); }
    const QTime& asTime() const { return std::get<QTime>(m_data); }
    const ValueList& asList() const { return std::get<ValueList>(m_data); }

    friend bool operator==(const Value& a, const Value& b) { return a.m_data == b.m_data; }

private:
    struct NullTag
    {
        friend bool operator==(NullTag, NullTag) { return true; }
    };
    using Data = std::variant<std::monostate, NullTag, QString, qint64, double, QDateTime, QDate, QTime, ValueList>;
    explicit Value(Data data) : m_data(std::move(data)) {}
    Data m_data;
};

// The standard conversion of a value to text, shared by the document list, the detail dialog and
// the export: text unchanged; empty gives ""; whole numbers in decimal; other numbers in general
// format with up to 15 significant digits; date-times as short date and time ("2026-12-8 4:24:34"),
// the time left out at midnight; a date as its short date ("1976-3-3"); a time as its time, midnight
// too ("0:00:00": it has no date to show instead); a list as its elements' texts joined by ", ".
// A null value has no text form: throws DominoError.
QString ValueToText(const Value& value);

// Number in general format, 15 significant digits, the shortest form that shows the value:
// 3, -7, 0.1, 0.333333333333333, 0.00001, 1E-6, 1E20, 1.23456789012346E17.
QString formatGeneralNumber(double value);

// "2026-12-8 4:24:34"; "2026-12-8" when the time is exactly 0:00:00; the date and the time as the
// value holds them (an instant in local time shows local time). Empty for an invalid value.
QString formatShortDateTime(const QDateTime& value);
QString formatShortDate(QDate value); // "1976-3-3"
QString formatShortTime(QTime value); // "8:30:00", "0:00:00"

// A date and time of day as a clock on the wall shows them, in no zone: a local date-time with these
// fields, so that it shows the same text in every zone. A time that the local zone skips (a clock
// change) keeps its fields at the offset in force just before.
QDateTime wallClockDateTime(QDate date, QTime time);

} // namespace quill::domino
