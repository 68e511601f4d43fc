#include "DateUtil.h"

#include "FormatSettings.h"
#include "VclUtils.h"

int CenturyShift = 60;

namespace {
const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
}

bool YearsFourDigit()
{
    static const bool four = FormatSettings().ShortDateFormat.toUpper().contains("YYYY");
    return four;
}

bool YearIsLeap(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int MonthDayCount(int year, int month)
{
    if (month < 1 || month > 12) return 0;
    return month == 2 && YearIsLeap(year) ? 29 : kDays[month - 1];
}

bool DatePartsValid(int year, int month, int day)
{
    return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1
        && day <= MonthDayCount(year, month);
}

bool DateValueValid(const QDate& date)
{
    return date.isValid() && DatePartsValid(date.year(), date.month(), date.day());
}

int LocalYear() { return LocalToday().year(); }

TDateOrderKind DateOrderOf(const QString& format)
{
    for (QChar c : format) {
        const ushort u = c.unicode() < 128 ? (c.unicode() & ~0x20) : c.unicode();
        if (u == 'D') return orderDMY;
        if (u == 'E' || u == 'Y') return orderYMD;
        if (u == 'M') return orderMDY;
    }
    return orderDMY;
}

int WidenYear(int year)
{
    if (year >= 100) return year;
    const int n = LocalYear() - CenturyShift;
    year += (n / 100) * 100;
    if (CenturyShift > 0 && year < n) year += 100;
    return year;
}

int MonthByName(const QString& text, int n)
{
    if (text.isEmpty()) return 0;
    const QLocale loc = BrLocale();
    const QStringList& names = FormatSettings().LongMonthNames;
    for (int m = 1; m <= 12; ++m) {
        const QString& name = names.value(m - 1);
        if (name.isEmpty()) continue;
        if (loc.toUpper(name.left(n)) == loc.toUpper(text.left(n))) return m;
    }
    return 0;
}

int TakeMaskField(const QString& format, const QString& text, QChar letter, int runLength,
                  int blankValue, int defaultValue)
{
    int result = defaultValue;
    letter = letter.toUpper();
    int L = format.size();
    if (text.size() < L) L = text.size();
    else if (text.size() > L) return result;
    const QString upFormat = format.toUpper();
    const int start = upFormat.indexOf(QString(std::max(runLength, 1), letter));
    if (start < 0) return result;
    QString taken;
    for (int i = start; i < L && upFormat[i] == letter; ++i) {
        if (text[i] != ' ' && taken.size() < 20) taken += text[i];
    }
    if (taken.isEmpty()) return blankValue;
    if (runLength < 2) {
        bool ok = false;
        const int v = taken.toInt(&ok);
        return ok ? v : -1;
    }
    const int m = MonthByName(taken, taken.size());
    return m == 0 ? -1 : m;
}

bool ScanMaskedDate(const QString& format, const QString& text, DateParts& parts)
{
    int month = TakeMaskField(format, text, 'm', 3, -1, 0);
    if (month == 0) month = TakeMaskField(format, text, 'm', 1, -1, 0);
    const int day = TakeMaskField(format, text, 'd', 1, -1, 1);
    // A blank year is this year, as in the free reading; an unreadable one stays invalid.
    int year = TakeMaskField(format, text, 'y', 1, LocalYear(), LocalYear());
    if (year >= 0) year = WidenYear(year);
    if (DatePartsValid(year, month, day)) {
        parts = {day, month, year};
        return true;
    }
    return ScanFreeDate(text, format, 1, parts);
}

bool ScanFreeDate(const QString& text, const QString& format, int pos, DateParts& parts)
{
    const QChar sep = FormatSettings().DateSeparator;
    int i = std::max(pos, 1) - 1;
    const int n = text.size();
    auto skipBlanks = [&] { while (i < n && text[i] == ' ') ++i; };
    auto readNumber = [&](quint16& v) {
        skipBlanks();
        int start = i;
        unsigned value = 0;
        while (i < n && text[i].isDigit() && text[i].unicode() < 128 && value < 1000) {
            value = value * 10 + (text[i].unicode() - '0');
            ++i;
        }
        v = static_cast<quint16>(value);
        return i > start;
    };
    auto readSep = [&] {
        skipBlanks();
        if (i < n && text[i] == sep) { ++i; return true; }
        return false;
    };
    const TDateOrderKind order = DateOrderOf(format);
    if (FormatSettings().ShortDateFormat.startsWith('g', Qt::CaseInsensitive))
        while (i < n && !text[i].isDigit()) ++i;
    quint16 n1 = 0, n2 = 0, n3 = 0;
    if (!readNumber(n1) || !readSep() || !readNumber(n2)) return false;
    int y, m, d;
    if (readSep()) {
        if (!readNumber(n3)) return false;
        switch (order) {
        case orderMDY: m = n1; d = n2; y = n3; break;
        case orderDMY: d = n1; m = n2; y = n3; break;
        default: y = n1; m = n2; d = n3; break;
        }
        y = WidenYear(y);
    } else {
        y = LocalYear();
        if (order == orderDMY) { d = n1; m = n2; }
        else { m = n1; d = n2; }
    }
    readSep();
    skipBlanks();
    if (DatePartsValid(y, m, d) && i >= n) {
        parts = {d, m, y};
        return true;
    }
    return false;
}

bool TryTextToDate(const QString& format, const QString& text, QDate& date)
{
    if (text.isEmpty()) {
        date = EmptyDate;
        return true;
    }
    DateParts p;
    if (!ScanMaskedDate(format, text, p)) return false;
    const QDate d(p.year, p.month, p.day);
    if (!d.isValid()) return false;
    date = d;
    return true;
}

QDate TextToDateFmt(const QString& format, const QString& text)
{
    QDate d;
    if (!TryTextToDate(format, text, d))
        throw EConvertError(QStringLiteral("'%1' is not a valid date").arg(text));
    return d;
}

QDate TextToDateFmtOr(const QString& format, const QString& text, const QDate& defaultDate)
{
    QDate d;
    if (!TryTextToDate(format, text, d)) return defaultDate;
    return d;
}

QString DateFormatFor(bool fourDigits)
{
    switch (DateOrderOf(FormatSettings().ShortDateFormat)) {
    case orderMDY: return fourDigits ? "MM/DD/YYYY" : "MM/DD/YY";
    case orderDMY: return fourDigits ? "DD/MM/YYYY" : "DD/MM/YY";
    default: return fourDigits ? "YYYY/MM/DD" : "YY/MM/DD";
    }
}

QString DateMaskFor(QChar blank, bool fourDigits)
{
    QString m;
    switch (DateOrderOf(FormatSettings().ShortDateFormat)) {
    case orderYMD: m = fourDigits ? "!9999/99/99;1;" : "!99/99/99;1;"; break;
    default: m = fourDigits ? "!99/99/9999;1;" : "!99/99/99;1;"; break;
    }
    return m + blank;
}

QString QtInputMaskOf(const QString& vclMask)
{
    const QStringList parts = vclMask.split(';');
    QString body = parts.value(0);
    if (body.startsWith('!')) body.remove(0, 1);
    QString out;
    for (QChar c : body) {
        if (c == '9') out += '0';
        else if (c == '0') out += '9';
        else if (c == '/') out += FormatSettings().DateSeparator;
        else out += c;
    }
    const QString blank = parts.value(2);
    return out + ';' + (blank.isEmpty() ? QStringLiteral(" ") : blank.left(1));
}

QString FormatDateText(const QString& format, const QDate& date)
{
    return FormatDateVcl(format, date);
}
