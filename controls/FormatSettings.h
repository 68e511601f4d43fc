#pragma once

#include "db/Currency.h"

#include <QChar>
#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <functional>

// The process-wide number and date settings that the controls format and read
// with. They are fixed (a Russian locale, dates "dd.mm.yyyy"), so that nothing
// depends on the machine's own locale.
struct TFormatSettings {
    QChar DecimalSeparator = QChar(',');
    QChar ThousandSeparator = QChar(0x00A0);
    QString CurrencyString = QStringLiteral("р.");
    int CurrencyFormat = 1;          // 0 "$1", 1 "1$", 2 "$ 1", 3 "1 $"
    int CurrencyDecimals = 2;
    QString ShortDateFormat = QStringLiteral("dd.mm.yyyy");
    QChar DateSeparator = QChar('.');
    QString ShortTimeFormat = QStringLiteral("hh:mm");
    QString LongTimeFormat = QStringLiteral("hh:mm");
    QChar TimeSeparator = QChar(':');
    QString TimeAMString;
    QString TimePMString;
    QStringList LongMonthNames;      // [0] is January
    QStringList ShortMonthNames;
    QStringList LongDayNames;        // [0] is Sunday
    QStringList ShortDayNames;
};

TFormatSettings& FormatSettings();
// The locale used for case-insensitive comparisons of names.
QLocale BrLocale();

// The local clock of the controls ("today" of a date edit and its calendar);
// tests set their own.
using LocalClockFn = std::function<QDateTime()>;
void SetLocalClock(LocalClockFn clock);   // an empty function restores the system clock
QDateTime LocalNow();
QDate LocalToday();

// Formats a date by a format in the framework's syntax: d dd ddd dddd, m mm mmm mmmm,
// yy yyyy (letters in any case), "/" the date separator, quoted text literal.
// An empty (invalid) date gives an empty text.
QString FormatDateVcl(const QString& format, const QDate& date);

// The framework's number format syntax ("0", "#", ",", ".", quoted literals,
// up to three sections "positive;negative;zero"). An empty format gives the
// general format with 15 digits.
QString FormatFloatVcl(const QString& format, fw::Currency value);
QString FormatFloatVcl(const QString& format, double value);
// General float format with the given significant digits ("1,5", "1E20").
QString FloatToStrG(double value, int digits = 15);
// Reads a float written with the decimal separator (or "."); false when it is none.
bool TextToFloatVcl(const QString& text, double& value);
