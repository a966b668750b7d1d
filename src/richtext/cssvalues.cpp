#include "richtext/cssvalues.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace quill::richtext {
namespace {

struct Measure
{
    double number;
    QString unit;
};

std::optional<Measure> measure(QStringView value)
{
    static const QRegularExpression pattern(
        u"^\\s*([0-9]{1,6}(?:\\.[0-9]{1,6})?|\\.[0-9]{1,6})\\s*(in|cm|mm|pt|pc|px|em|%)?\\s*$"_s,
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = pattern.match(value.toString());
    if (!m.hasMatch())
        return std::nullopt;
    return Measure{m.captured(1).toDouble(), m.captured(2).toLower()};
}

QString number(double value)
{
    return QString::number(value, 'g', 6);
}

} // namespace

QString cssColor(QStringView value)
{
    static const QRegularExpression hex(u"^#(?:[0-9a-f]{3}|[0-9a-f]{6})$"_s, QRegularExpression::CaseInsensitiveOption);
    static const QStringList names = {u"aqua"_s,   u"black"_s,  u"blue"_s,  u"fuchsia"_s, u"gray"_s,   u"green"_s,
                                      u"lime"_s,   u"maroon"_s, u"navy"_s,  u"olive"_s,   u"purple"_s, u"red"_s,
                                      u"silver"_s, u"teal"_s,   u"white"_s, u"yellow"_s};
    const QString v = value.trimmed().toString().toLower();
    if (hex.match(v).hasMatch() || names.contains(v))
        return v;
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
    const QString n = name.trimmed().toString();
    if (n == u"monospace" || n == u"serif" || n == u"sans-serif")
        return n;
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
    return number(m->number) + (m->unit.isEmpty() ? u"pt"_s : m->unit);
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
