#pragma once

#include "Currency.h"

#include <QString>

namespace fw {

// Separators of displayed numbers: those of the default QLocale.
QString decimalSeparator();
QString thousandSeparator();

// Display formats of number fields: "0" a digit always shown, "#" a digit shown
// when significant, "." the decimal separator, "," anywhere before it groups the
// integer part by thousands; other characters, and text in quotes, are literal
// (a literal inside the integer digits, as in "# ### ##0.00", appears only
// between digits). Up to three sections "positive;negative;zero": the negative
// section shows no sign of its own. Rounds half to even.
QString formatFloat(const QString& format, Currency value);
QString formatFloat(const QString& format, double value);
// The same with the given separators instead of the locale's.
QString formatFloat(const QString& format, Currency value, const QString& decimalSep,
                    const QString& thousandSep);

// "1234567" -> "1 234 567" with sep between groups of three, from the right.
QString groupThousands(const QString& digits, const QString& sep);

// Shortest decimal text with the locale's separator ("12.5", "3").
QString numberText(Currency value);
QString numberText(double value);

} // namespace fw
