#include "richtext/cssvalues.h"

using namespace Qt::StringLiterals;

namespace quill::richtext {
namespace {

// The blanks of a pattern's \s: ASCII only.
bool isAsciiBlank(QChar c)
{
    return c == u' ' || (c.unicode() >= u'\t' && c.unicode() <= u'\r');
}

bool isDigit(QChar c)
{
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

struct Measure
{
    double number;
    QStringView unit; // lower case, empty for none
};

// Blanks, a number of up to six digits before and after an optional point, blanks, an optional unit in any
// case (in, cm, mm, pt, pc, px, em or %), blanks.
std::optional<Measure> measure(QStringView value)
{
    static constexpr QStringView units[] = {u"in", u"cm", u"mm", u"pt", u"pc", u"px", u"em"};
    qsizetype i = 0;
    const qsizetype size = value.size();
    while (i < size && isAsciiBlank(value[i]))
        ++i;
    const qsizetype begin = i;
    while (i < size && isDigit(value[i]))
        ++i;
    const qsizetype whole = i - begin;
    if (whole > 6)
        return std::nullopt;
    if (i < size && value[i] == u'.') {
        const qsizetype point = ++i;
        while (i < size && isDigit(value[i]))
            ++i;
        if (i == point || i - point > 6)
            return std::nullopt;
    } else if (whole == 0) {
        return std::nullopt;
    }
    const QStringView number = value.mid(begin, i - begin);
    while (i < size && isAsciiBlank(value[i]))
        ++i;
    QStringView unit;
    if (i < size && value[i] == u'%') {
        unit = u"%";
        ++i;
    } else if (i + 1 < size) {
        const auto lower = [](QChar c) {
            return c.unicode() >= u'A' && c.unicode() <= u'Z' ? c.unicode() + 32 : c.unicode();
        };
        for (const QStringView u : units) {
            if (lower(value[i]) == u[0].unicode() && lower(value[i + 1]) == u[1].unicode()) {
                unit = u;
                i += 2;
                break;
            }
        }
    }
    while (i < size && isAsciiBlank(value[i]))
        ++i;
    if (i != size)
        return std::nullopt;
    return Measure{number.toDouble(), unit};
}

QString number(double value)
{
    return QString::number(value, 'g', 6);
}

} // namespace

QString cssColor(QStringView value)
{
    static constexpr QStringView names[] = {u"aqua",   u"black",  u"blue",  u"fuchsia", u"gray",   u"green",
                                            u"lime",   u"maroon", u"navy",  u"olive",   u"purple", u"red",
                                            u"silver", u"teal",   u"white", u"yellow"};
    const QStringView trimmed = value.trimmed();
    QString v;
    bool ascii = true;
    for (QChar c : trimmed)
        ascii = ascii && c.unicode() < 0x80;
    if (ascii) {
        v.resize(trimmed.size());
        for (qsizetype i = 0; i < trimmed.size(); ++i) {
            const char16_t c = trimmed[i].unicode();
            v[i] = QChar(c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c);
        }
    } else {
        v = trimmed.toString().toLower();
    }
    const auto isHex = [&v] {
        if (!(v.size() == 4 || v.size() == 7) || v[0] != u'#')
            return false;
        for (qsizetype i = 1; i < v.size(); ++i) {
            const char16_t c = v[i].unicode();
            if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f')))
                return false;
        }
        return true;
    };
    if (isHex())
        return v;
    for (const QStringView name : names) {
        if (v == name)
            return v;
    }
    return {};
}

QString cssLength(QStringView value)
{
    const auto m = measure(value);
    if (!m || m->unit.isEmpty())
        return {};
    return number(m->number) + m->unit;
}

std::optional<double> inches(QStringView value)
{
    const auto m = measure(value);
    if (!m)
        return std::nullopt;
    if (m->unit == u"in" || m->unit.isEmpty())
        return m->number;
    if (m->unit == u"cm")
        return m->number / 2.54;
    if (m->unit == u"mm")
        return m->number / 25.4;
    if (m->unit == u"pt")
        return m->number / 72;
    if (m->unit == u"pc")
        return m->number / 6;
    if (m->unit == u"px")
        return m->number / 96;
    return std::nullopt;
}

QString cssFontFamily(QStringView name)
{
    const QStringView n = name.trimmed();
    if (n == u"monospace" || n == u"serif" || n == u"sans-serif")
        return n.toString();
    if (n.isEmpty() || n.size() > 64 || n == u"multilingual" || n == u"user-interface")
        return {};
    for (QChar c : n) {
        if (!(c.isLetterOrNumber() || c == u' ' || c == u'-' || c == u'_' || c == u'.'))
            return {};
    }
    return u"'"_s + n + u"'"_s;
}

QString cssFontSize(QStringView value)
{
    const auto m = measure(value);
    if (!m || m->number <= 0 || m->number > 500)
        return {};
    return number(m->number) + (m->unit.isEmpty() ? u"pt"_s : m->unit.toString());
}

std::optional<int> boundedInteger(QStringView value, int min, int max)
{
    bool ok = false;
    const int v = value.trimmed().toInt(&ok);
    if (!ok || v < min || v > max)
        return std::nullopt;
    return v;
}

} // namespace quill::richtext
