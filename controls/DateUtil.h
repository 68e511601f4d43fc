#pragma once

#include <QDate>
#include <QString>

// Date routines of the date edits. Dates are QDate; the null QDate is the empty
// date (the date value 0 of the framework).
inline const QDate EmptyDate{};

enum TDateOrderKind { orderMDY, orderDMY, orderYMD };

// Library-wide century setting of the two-digit year rule.
extern int CenturyShift;
// Whether the short date format in force when the library started had four-digit years.
bool YearsFourDigit();

bool YearIsLeap(int year);
int MonthDayCount(int year, int month);
bool DatePartsValid(int year, int month, int day);
bool DateValueValid(const QDate& date);
int LocalYear();
TDateOrderKind DateOrderOf(const QString& format);
int WidenYear(int year);
int MonthByName(const QString& text, int n);
int TakeMaskField(const QString& format, const QString& text, QChar letter, int runLength,
                  int blankValue, int defaultValue);

struct DateParts {
    int day = 0, month = 0, year = 0;
};
bool ScanMaskedDate(const QString& format, const QString& text, DateParts& parts);
// pos is 1-based, as the position in the text where reading starts.
bool ScanFreeDate(const QString& text, const QString& format, int pos, DateParts& parts);

bool TryTextToDate(const QString& format, const QString& text, QDate& date);
// Raises EConvertError "'text' is not a valid date".
QDate TextToDateFmt(const QString& format, const QString& text);
QDate TextToDateFmtOr(const QString& format, const QString& text, const QDate& defaultDate);

QString DateFormatFor(bool fourDigits);
QString DateMaskFor(QChar blank, bool fourDigits);
// The framework's edit mask "!99/99/9999;1; " as a QLineEdit input mask ("00.00.0000; ").
QString QtInputMaskOf(const QString& vclMask);
// A date in a format of DateFormatFor ("/" is the date separator).
QString FormatDateText(const QString& format, const QDate& date);
