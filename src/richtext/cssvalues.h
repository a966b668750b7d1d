#pragma once

#include <QString>
#include <QStringView>
#include <optional>

namespace quill::richtext {

// Values taken from DXL attributes into the style attributes of a page, each checked against what it may
// be so that nothing else (no url(), no other declaration) can reach a style. Empty when the value is not
// one.

// "#rgb", "#rrggbb" or one of the sixteen colour names, in lower case; "none" and "system" give nothing.
QString cssColor(QStringView value);
// A length ("1.25in", "9pt", "12px", "2cm", "1.5em") or a percentage, as CSS writes it.
QString cssLength(QStringView value);
// A length in inches ("1in", "2.54cm", "72pt", "96px"); nullopt for a percentage or anything else.
std::optional<double> inches(QStringView value);
// A font family: a generic name, or a font's name in quotes.
QString cssFontFamily(QStringView name);
// A font size: a length, or a bare number of points.
QString cssFontSize(QStringView value);
// A whole number within [min, max].
std::optional<int> boundedInteger(QStringView value, int min, int max);

} // namespace quill::richtext
