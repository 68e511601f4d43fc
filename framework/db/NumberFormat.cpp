#include "NumberFormat.h"

#include <QLocale>
#include <QStringList>
#include <cmath>

namespace fw {

QString decimalSeparator() { return QLocale().decimalPoint(); }
QString thousandSeparator() { return QLocale().groupSeparator(); }

namespace {

struct Pattern {
    QString prefix, suffix;        // literals before the first and after the last placeholder
    QString intPart;               // placeholders and literals of the integer part
    int minInt = 0;                // '0's before the point
    int minDec = 0, maxDec = 0;    // '0's and all placeholders after the point
    bool grouping = false;
    bool hasDigits = false;
};

// "positive;negative;zero", semicolons inside quotes excepted.
QStringList splitSections(const QString& format)
{
    QStringList out;
    QString cur;
    QChar quote;
    for (const QChar c : format) {
        if (!quote.isNull()) {
            if (c == quote) quote = QChar();
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == ';') {
            out << cur;
            cur.clear();
            continue;
        }
        cur += c;
    }
    out << cur;
    return out;
}

Pattern parse(const QString& format)
{
    Pattern p;
    bool seenDigit = false, afterPoint = false;
    QString pendingLiteral;        // literal text not yet known to be inside the number
    for (int i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c == '\'' || c == '"') {
            const int j = format.indexOf(c, i + 1);
            const QString lit = format.mid(i + 1, (j < 0 ? format.size() : j) - i - 1);
            (seenDigit ? pendingLiteral : p.prefix) += lit;
            i = j < 0 ? int(format.size()) : j;
        } else if (c == '0' || c == '#') {
            seenDigit = true;
            if (afterPoint) {
                p.suffix.clear();
                pendingLiteral.clear();
                ++p.maxDec;
                if (c == '0') p.minDec = p.maxDec;
            } else {
                p.intPart += pendingLiteral;
                pendingLiteral.clear();
                p.intPart += c;
                if (c == '0') ++p.minInt;
            }
        } else if (c == '.' && !afterPoint) {
            afterPoint = true;
            if (seenDigit) { p.intPart += pendingLiteral; pendingLiteral.clear(); }
            seenDigit = true;
        } else if (c == ',' && !afterPoint) {
            p.grouping = true;
        } else {
            (seenDigit ? pendingLiteral : p.prefix) += c;
        }
    }
    p.suffix = pendingLiteral;
    p.hasDigits = seenDigit;
    return p;
}

} // namespace

QString groupThousands(const QString& digits, const QString& sep)
{
    QString out;
    const int n = int(digits.size());
    for (int i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0) out += sep;
        out += digits[i];
    }
    return out;
}

QString formatFloat(const QString& format, Currency value)
{
    return formatFloat(format, value, decimalSeparator(), thousandSeparator());
}

QString formatFloat(const QString& format, Currency value, const QString& decimalSep,
                    const QString& thousandSep)
{
    const QStringList sections = splitSections(format);
    bool signShown = true;
    QString section = sections[0];
    if (value.isZero() && sections.size() >= 3 && !sections[2].isEmpty()) {
        section = sections[2];
    } else if (value < Currency() && sections.size() >= 2 && !sections[1].isEmpty()) {
        section = sections[1];
        signShown = false;
    }
    const Pattern p = parse(section);
    if (!p.hasDigits) return p.prefix;
    const int dec = std::min(p.maxDec, 4);
    const Currency r = value.rounded(dec);
    int64_t units = r.scaled();
    const bool negative = units < 0;
    if (negative) units = -units;
    QString intDigits = QString::number(units / Currency::Scale);
    QString frac = QString::number(units % Currency::Scale).rightJustified(4, '0').left(dec);
    while (frac.size() > p.minDec && frac.endsWith('0')) frac.chop(1);
    if (intDigits == "0" && p.minInt == 0) intDigits.clear();
    if (intDigits.size() < p.minInt) intDigits = intDigits.rightJustified(p.minInt, '0');

    QString intText;
    if (p.grouping) {
        intText = groupThousands(intDigits, thousandSep);
    } else {
        // Literals between placeholders (spaces in "# ### ##0") separate the digits
        // they stand between, counted from the right; extra digits go in front.
        int d = int(intDigits.size()) - 1;
        QString out;
        for (int i = int(p.intPart.size()) - 1; i >= 0 && d >= 0; --i) {
            const QChar c = p.intPart[i];
            if (c == '0' || c == '#') out.prepend(intDigits[d--]);
            else out.prepend(c);
        }
        if (d >= 0) out.prepend(intDigits.left(d + 1));
        while (!out.isEmpty() && !out[0].isDigit()) out.remove(0, 1);
        intText = out;
    }
    const bool zero = r.isZero();
    QString s = intText;
    if (!frac.isEmpty()) s += decimalSep + frac;
    if (s.isEmpty()) s = zero ? QString() : QString("0");
    return p.prefix + (negative && !zero && signShown ? "-" : "") + s + p.suffix;
}

QString formatFloat(const QString& format, double value)
{
    if (!std::isfinite(value) || std::fabs(value) >= 9e14) return numberText(value);
    return formatFloat(format, Currency::fromDouble(value));
}

QString numberText(Currency value)
{
    QString s = value.toShortString();
    return s.replace('.', decimalSeparator());
}

QString numberText(double value)
{
    QString s = QString::number(value, 'g', 15);
    return s.replace('.', decimalSeparator());
}

} // namespace fw
