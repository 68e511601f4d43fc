#include "FormatSettings.h"

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

namespace {

struct Section {
    QString prefix, suffix;
    bool grouping = false;
    int minInt = 0;          // '0' placeholders before the point
    int minFrac = 0;         // up to the last '0' after the point
    int maxFrac = 0;         // all placeholders after the point
    bool hasDigits = false;
};

QStringList splitSections(const QString& f)
{
    QStringList out;
    QString cur;
    QChar quote;
    for (QChar c : f) {
        if (!quote.isNull()) {
            cur += c;
            if (c == quote) quote = QChar();
        } else if (c == '"' || c == '\'') {
            quote = c;
            cur += c;
        } else if (c == ';') {
            out << cur;
            cur.clear();
        } else {
            cur += c;
        }
    }
    out << cur;
    return out;
}

Section parseSection(const QString& f)
{
    Section s;
    bool point = false;
    bool seenDigit = false;
    bool afterDigits = false;
    int fracPos = 0;
    for (int i = 0; i < f.size(); ++i) {
        const QChar c = f[i];
        if (c == '"' || c == '\'') {
            int j = f.indexOf(c, i + 1);
            if (j < 0) j = f.size();
            (seenDigit ? s.suffix : s.prefix) += f.mid(i + 1, j - i - 1);
            i = j;
            continue;
        }
        if (c == '0' || c == '#') {
            if (afterDigits) { s.suffix.clear(); afterDigits = false; }
            seenDigit = true;
            if (point) {
                ++fracPos;
                if (c == '0') s.minFrac = fracPos;
                s.maxFrac = fracPos;
            } else if (c == '0') {
                ++s.minInt;
            }
        } else if (c == '.' && !point) {
            point = true;
        } else if (c == ',') {
            s.grouping = true;
        } else {
            if (seenDigit) { s.suffix += c; afterDigits = true; }
            else s.prefix += c;
        }
    }
    s.hasDigits = seenDigit;
    return s;
}

// value as exact decimal digits: integral digits and 4 fraction digits (Currency)
QString applySection(const Section& s, fw::Currency absValue, bool minus)
{
    const TFormatSettings& fs = FormatSettings();
    const fw::Currency r = absValue.rounded(std::min(s.maxFrac, 4));
    QString text = r.toString(std::min(s.maxFrac, 4));   // "1234.50"
    QString ip = text.section('.', 0, 0);
    QString fp = text.contains('.') ? text.section('.', 1) : QString();
    while (fp.size() < s.maxFrac) fp += '0';
    while (fp.size() > s.minFrac && fp.endsWith('0')) fp.chop(1);
    if (ip == "0" && s.minInt == 0) ip.clear();
    while (ip.size() < s.minInt) ip.prepend('0');
    if (s.grouping && ip.size() > 3) {
        QString g;
        int cnt = 0;
        for (int i = ip.size() - 1; i >= 0; --i) {
            g.prepend(ip[i]);
            if (++cnt % 3 == 0 && i > 0) g.prepend(fs.ThousandSeparator);
        }
        ip = g;
    }
    QString num = ip;
    if (!fp.isEmpty()) num += fs.DecimalSeparator + fp;
    if (!s.hasDigits) num.clear();
    return (minus ? QStringLiteral("-") : QString()) + s.prefix + num + s.suffix;
}

} // namespace

QString FormatFloatVcl(const QString& format, fw::Currency value)
{
    if (format.isEmpty())
        return FloatToStrG(value.toDouble(), 15);
    const QStringList secs = splitSections(format);
    int idx = 0;
    if (value.isZero() && secs.size() >= 3 && !secs[2].isEmpty()) idx = 2;
    else if (value < fw::Currency() && secs.size() >= 2 && !secs[1].isEmpty()) idx = 1;
    const Section s = parseSection(secs[idx]);
    const fw::Currency a = value < fw::Currency() ? -value : value;
    bool minus = value < fw::Currency() && idx == 0;
    if (minus && a.rounded(std::min(s.maxFrac, 4)).isZero()) minus = false;
    return applySection(s, a, minus);
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
