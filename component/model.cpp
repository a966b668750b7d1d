#include "model.h"

#include "domino/error.h"

#include <QJsonDocument>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>
#include <sodium.h>

using namespace Qt::StringLiterals;

namespace quill::component {

namespace {

constexpr qint64 kDayMSecs = 86400000;
// 0001-01-01T00:00Z and 9999-12-31T23:59:59.999Z, a day wider for the zones' offsets.
constexpr qint64 kFirstInstant = -62135596800000LL - kDayMSecs;
constexpr qint64 kLastInstant = 253402300799999LL + kDayMSecs;

constexpr QStringView kDateTag = u"D:";
constexpr QStringView kTimeTag = u"T:";
constexpr QStringView kWallClockTag = u"L:";

QString dateText(QDate date)
{
    return date.toString(u"yyyy-MM-dd"_s);
}

QString timeText(QTime time)
{
    return time.toString(u"HH:mm:ss.zzz"_s);
}

// True when text has a digit wherever pattern has '0' and pattern's other characters elsewhere.
bool hasForm(QStringView text, QStringView pattern)
{
    if (text.size() != pattern.size())
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= u'0' && text[i] <= u'9';
        if (pattern[i] == u'0' ? !digit : text[i] != pattern[i])
            return false;
    }
    return true;
}

int digits(QStringView text, qsizetype at, qsizetype count)
{
    int value = 0;
    for (qsizetype i = at; i < at + count; ++i)
        value = value * 10 + (text[i].unicode() - u'0');
    return value;
}

// By hand rather than by a format: an export reads every stored value.
QDate parseDate(QStringView text)
{
    if (!hasForm(text, u"0000-00-00"))
        return {};
    return QDate(digits(text, 0, 4), digits(text, 5, 2), digits(text, 8, 2));
}

QTime parseTime(QStringView text)
{
    if (!hasForm(text, u"00:00:00.000"))
        return {};
    return QTime(digits(text, 0, 2), digits(text, 3, 2), digits(text, 6, 2), digits(text, 9, 3));
}

// Up to 40 characters of stored text for a message, control characters as \xNN: a damaged value may hold
// any, and the message goes into a log line.
QString excerpt(const QString& text)
{
    QString out;
    for (const QChar c : QStringView(text).left(40))
        out += c.unicode() < 0x20 || c.unicode() == 0x7F ? u"\\x%1"_s.arg(c.unicode(), 2, 16, QChar(u'0')) : QString(c);
    return out;
}

// A stored element as the file has it, for a message.
QString shown(const QJsonValue& element)
{
    if (element.isString())
        return u'"' + excerpt(element.toString()) + u'"';
    const QByteArray json = QJsonDocument(QJsonArray{element}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(json.mid(1, json.size() - 2));
}

std::optional<domino::Value> dateTimeValue(const QJsonValue& element)
{
    using domino::Value;
    if (element.isDouble()) {
        // Compared as a double first: a qint64 conversion of a value out of its range is undefined.
        const double msecs = element.toDouble();
        if (!(msecs >= double(kFirstInstant) && msecs <= double(kLastInstant)) || msecs != std::trunc(msecs))
            return std::nullopt;
        return Value::dateTime(*instantAt(qint64(msecs)));
    }
    const QString text = element.toString();
    const QStringView rest = QStringView(text).mid(2);
    if (text.startsWith(kDateTag)) {
        if (const QDate date = parseDate(rest); date.isValid())
            return Value::date(date);
    } else if (text.startsWith(kTimeTag)) {
        if (const QTime time = parseTime(rest); time.isValid())
            return Value::time(time);
    } else if (text.startsWith(kWallClockTag) && rest.size() == 23 && rest[10] == u'T') {
        const QDate date = parseDate(rest.left(10));
        const QTime time = parseTime(rest.mid(11));
        if (date.isValid() && time.isValid())
            return Value::dateTime(domino::wallClockDateTime(date, time));
    }
    return std::nullopt;
}

domino::Value decodeValue(qint64 type, const QJsonValue& element)
{
    using domino::DominoError;
    using domino::Value;
    if (type == NumberType) {
        if (!element.isDouble())
            throw DominoError(u"数字域的值不是数字（"_s + shown(element) + u"）"_s);
        return Value::number(element.toDouble());
    }
    if (type == DateTimeType) {
        std::optional<Value> value = dateTimeValue(element);
        if (!value)
            throw DominoError(u"日期时间无效或超出范围（"_s + shown(element) + u"）"_s);
        return std::move(*value);
    }
    if (!element.isString())
        throw DominoError(u"文本的值不是文本（"_s + shown(element) + u"）"_s);
    return Value::text(element.toString());
}

// A number as JSON writes it (and nothing else), with the value the JSON parser gives it: it keeps
// whole numbers as integers, so -0 comes back as 0.
std::optional<double> jsonNumber(QStringView text)
{
    qsizetype i = 0;
    const auto digits = [&] {
        const qsizetype from = i;
        while (i < text.size() && text[i] >= u'0' && text[i] <= u'9')
            ++i;
        return i - from;
    };
    const auto next = [&](char16_t c) { return i < text.size() && text[i] == c; };
    if (next(u'-'))
        ++i;
    if (next(u'0'))
        ++i;
    else if (digits() == 0)
        return std::nullopt;
    if (next(u'.')) {
        ++i;
        if (digits() == 0)
            return std::nullopt;
    }
    if (next(u'e') || next(u'E')) {
        ++i;
        if (next(u'+') || next(u'-'))
            ++i;
        if (digits() == 0)
            return std::nullopt;
    }
    // Correctly rounded like the parser's conversion; what it cannot read (too long, out of range)
    // is left to the parser.
    char ascii[64];
    if (i != text.size() || text.size() >= qsizetype(sizeof ascii))
        return std::nullopt;
    std::transform(text.begin(), text.end(), ascii, [](QChar c) { return char(c.unicode()); });
    double d = 0;
    const std::from_chars_result result = std::from_chars(ascii, ascii + text.size(), d);
    if (result.ec != std::errc() || result.ptr != ascii + text.size())
        return std::nullopt;
    return d == 0 ? 0.0 : d;
}

// What the component stores nearly always, ["text"] or [number], read without the JSON parser into
// the element the parser would give; nullopt for anything else.
std::optional<QJsonValue> singleElement(const QString& stored)
{
    if (stored.size() < 3 || stored.front() != u'[' || stored.back() != u']')
        return std::nullopt;
    const QStringView inner = QStringView(stored).sliced(1, stored.size() - 2);
    if (inner.front() != u'"') {
        const std::optional<double> number = jsonNumber(inner);
        return number ? std::optional<QJsonValue>(*number) : std::nullopt;
    }
    if (inner.size() < 2 || inner.back() != u'"')
        return std::nullopt;
    const QStringView text = inner.sliced(1, inner.size() - 2);
    const bool plain = std::none_of(text.begin(), text.end(), [](QChar c) {
        return c == u'"' || c == u'\\' || c.unicode() < 0x20 || c.isSurrogate();
    });
    return plain ? std::optional<QJsonValue>(text.toString()) : std::nullopt;
}

} // namespace

bool isTextListType(qint64 type)
{
    return type == TextType || type == NamesType || type == ReadersType || type == AuthorsType;
}

bool isKnownItemType(qint64 type)
{
    return isTextListType(type) || type == RichTextType || type == NumberType || type == DateTimeType;
}

domino::ValueList decodeValues(qint64 type, const QString& stored)
{
    if (!isKnownItemType(type))
        throw domino::DominoError(u"类型编号未知（"_s + QString::number(type) + u"）"_s);
    if (const std::optional<QJsonValue> element = singleElement(stored))
        return {decodeValue(type, *element)};
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(stored.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        throw domino::DominoError(u"不是JSON数组（"_s + excerpt(stored) + u"）"_s);
    const QJsonArray array = document.array();
    domino::ValueList values;
    values.reserve(size_t(array.size()));
    for (const QJsonValue& element : array)
        values.push_back(decodeValue(type, element));
    return values;
}

QString encodeValues(const QJsonArray& values)
{
    return QString::fromUtf8(QJsonDocument(values).toJson(QJsonDocument::Compact));
}

QJsonValue storedDateTime(QDate date, QTime time, std::optional<int> offsetSeconds)
{
    if (!date.isValid())
        return storedTime(time);
    if (!time.isValid())
        return storedDate(date);
    if (!offsetSeconds)
        return storedWallClock(date, time);
    return storedInstant(QDateTime(date, time, Qt::OffsetFromUTC, *offsetSeconds).toMSecsSinceEpoch());
}

QJsonValue storedInstant(qint64 msecs)
{
    return double(msecs);
}

QJsonValue storedDate(QDate date)
{
    return QString(kDateTag + dateText(date));
}

QJsonValue storedTime(QTime time)
{
    return QString(kTimeTag + timeText(time));
}

QJsonValue storedWallClock(QDate date, QTime time)
{
    return QString(kWallClockTag + dateText(date) + u'T' + timeText(time));
}

std::optional<QDateTime> instantAt(qint64 msecs)
{
    if (msecs < kFirstInstant || msecs > kLastInstant)
        return std::nullopt;
    return QDateTime::fromMSecsSinceEpoch(msecs);
}

int itemTypeFromName(const QString& name)
{
    static const std::pair<const char16_t*, int> names[] = {
        {u"text", TextType},     {u"number", NumberType},   {u"datetime", DateTimeType},
        {u"date", DateTimeType}, {u"time", DateTimeType},   {u"richtext", RichTextType},
        {u"names", NamesType},   {u"readers", ReadersType}, {u"authors", AuthorsType},
    };
    for (const auto& [text, type] : names) {
        if (name.compare(QStringView(text), Qt::CaseInsensitive) == 0)
            return type;
    }
    return 0;
}

QByteArray hashPassword(const QByteArray& password)
{
    if (sodium_init() < 0)
        throw domino::DominoError(u"无法初始化libsodium"_s);
    char hash[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(hash, password.constData(), quint64(password.size()), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        throw domino::DominoError(u"无法计算密码的散列值（内存不足）"_s);
    return QByteArray(hash);
}

} // namespace quill::component
