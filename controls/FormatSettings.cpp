#include "FormatSettings.h"

#include "db/NumberFormat.h"

#include <QRegularExpression>
#include <cmath>

namespace {

TFormatSettings makeRussian()
{
    TFormatSettings s;
    s.LongMonthNames = {"Январь", "Февраль", "Март", "Апрель", "Май", "Июнь", "Июль",
                        "Август", "Сентябрь", "Октябрь", "Ноябрь", "Декабрь"};
    s.ShortMonthNames = {"янв", "фев", "мар", "апр", "май", "июн", "июл", "авг", "сен",
                         "окт", "ноя", "дек"};
    s.LongDayNames = {"воскресенье", "понедельник", "вторник", "среда", "четверг",
                      "пятница", "суббота"};
    s.ShortDayNames = {"Вс", "Пн", "Вт", "Ср", "Чт", "Пт", "Сб"};
    return s;
}

LocalClockFn& clockFn()
{
    static LocalClockFn fn;
    return fn;
}

} // namespace

TFormatSettings& FormatSettings()
{
    static TFormatSettings s = makeRussian();
    return s;
}

QLocale BrLocale() { return QLocale(QLocale::Russian, QLocale::Russia); }

void SetLocalClock(LocalClockFn clock) { clockFn() = std::move(clock); }

QDateTime LocalNow()
{
    if (clockFn())
        return clockFn()();
    return QDateTime::currentDateTime();
}

QDate LocalToday() { return LocalNow().date(); }

QString FormatDateVcl(const QString& format, const QDate& date)
{
    // An empty date has no day, month or year to show in any format.
    if (!date.isValid()) return QString();
    const TFormatSettings& fs = FormatSettings();
    QString out;
    const int n = format.size();
    int i = 0;
    auto run = [&](QChar c) {
        int k = 0;
        while (i + k < n && format[i + k].toUpper() == c) ++k;
        return k;
    };
    while (i < n) {
        const QChar ch = format[i];
        const QChar up = ch.toUpper();
        if (ch == '"' || ch == '\'') {
            int j = format.indexOf(ch, i + 1);
            if (j < 0) j = n;
            out += format.mid(i + 1, j - i - 1);
            i = j + 1;
        } else if (ch == '/') {
            out += fs.DateSeparator;
            ++i;
        } else if (up == 'D') {
            int k = run('D');
            i += k;
            if (k == 1) out += QString::number(date.day());
            else if (k == 2) out += QString::number(date.day()).rightJustified(2, '0');
            else if (k == 3) out += fs.ShortDayNames[date.dayOfWeek() % 7];
            else out += fs.LongDayNames[date.dayOfWeek() % 7];
        } else if (up == 'M') {
            int k = run('M');
            i += k;
            if (k == 1) out += QString::number(date.month());
            else if (k == 2) out += QString::number(date.month()).rightJustified(2, '0');
            else if (k == 3) out += fs.ShortMonthNames[date.month() - 1];
            else out += fs.LongMonthNames[date.month() - 1];
        } else if (up == 'Y') {
            int k = run('Y');
            i += k;
            if (k <= 2) out += QString::number(date.year() % 100).rightJustified(2, '0');
            else out += QString::number(date.year()).rightJustified(4, '0');
        } else {
            out += ch;
            ++i;
        }
    }
    return out;
}

QString FormatFloatVcl(const QString& format, fw::Currency value)
{
    if (format.isEmpty())
        return FloatToStrG(value.toDouble(), 15);
    const TFormatSettings& fs = FormatSettings();
    return fw::formatFloat(format, value, QString(fs.DecimalSeparator), QString(fs.ThousandSeparator));
}

QString FormatFloatVcl(const QString& format, double value)
{
    if (format.isEmpty() || !std::isfinite(value) || std::fabs(value) >= 9e14)
        return FloatToStrG(value, 15);
    return FormatFloatVcl(format, fw::Currency::fromDouble(value));
}

QString FloatToStrG(double value, int digits)
{
    if (std::isnan(value)) return QStringLiteral("NAN");
    if (std::isinf(value)) return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    QString s = QString::number(value, 'g', digits);
    // "1e+20" -> "1E20", "1e-07" -> "1E-7"
    static const QRegularExpression exp(QStringLiteral("e([+-])0*(\\d+)"));
    auto m = exp.match(s);
    if (m.hasMatch())
        s.replace(m.capturedStart(), m.capturedLength(),
                  QStringLiteral("E") + (m.captured(1) == "-" ? "-" : "") + m.captured(2));
    s.replace('.', FormatSettings().DecimalSeparator);
    return s;
}

bool TextToFloatVcl(const QString& text, double& value)
{
    QString t = text.trimmed();
    t.replace(FormatSettings().DecimalSeparator, '.');
    if (t.isEmpty()) return false;
    for (QChar c : t)
        if (!(c.isDigit() || c == '.' || c == '+' || c == '-' || c == 'e' || c == 'E'))
            return false;
    bool ok = false;
    value = t.toDouble(&ok);
    return ok;
}
