#include "Currency.h"

#include <QLocale>

#include <cmath>
#include <stdexcept>

namespace fw {

int64_t divideHalfEven(__int128 n, __int128 d)
{
    if (d < 0) { n = -n; d = -d; }
    __int128 q = n / d;
    __int128 r = n % d;
    if (r < 0) { r += d; --q; }          // floor division: 0 <= r < d
    const __int128 twice = 2 * r;
    if (twice > d || (twice == d && (q & 1) != 0))
        ++q;
    return static_cast<int64_t>(q);
}

Currency Currency::fromDouble(double value)
{
    if (!std::isfinite(value))
        throw std::domain_error("not a finite number");
    // The nearest decimal of the double, then half-even at four decimals.
    // Working from the shortest round-trip text avoids the binary tail of values
    // like 0.30000000000000004 deciding a tie.
    if (auto c = parse(QString::number(value, 'g', QLocale::FloatingPointShortest)))
        return *c;
    throw std::domain_error("number out of the money range");
}

std::optional<Currency> Currency::parse(const QString& input)
{
    const QString s = input.trimmed();
    if (s.isEmpty())
        return std::nullopt;
    int i = 0;
    bool negative = false;
    if (s[i] == '-' || s[i] == '+') { negative = s[i] == '-'; ++i; }
    __int128 mantissa = 0;
    int fractionDigits = 0;
    bool point = false, digits = false;
    int exponent = 0;
    for (; i < s.size(); ++i) {
        const QChar ch = s[i];
        if (ch.isDigit() && ch.unicode() < 128) {
            digits = true;
            if (mantissa < (__int128(1) << 100)) {
                mantissa = mantissa * 10 + (ch.unicode() - '0');
                if (point) ++fractionDigits;
            } else if (!point) {
                return std::nullopt;     // far beyond any money range
            }
        } else if ((ch == '.' || ch == ',') && !point) {
            point = true;
        } else if ((ch == 'e' || ch == 'E') && digits) {
            bool ok = false;
            exponent = s.mid(i + 1).toInt(&ok);
            if (!ok) return std::nullopt;
            break;
        } else {
            return std::nullopt;
        }
    }
    if (!digits)
        return std::nullopt;
    // value = mantissa * 10^(exponent - fractionDigits); we want it * 10^4
    int shift = exponent - fractionDigits + 4;
    __int128 result;
    if (shift >= 0) {
        if (shift > 30) return std::nullopt;
        result = mantissa;
        for (int k = 0; k < shift; ++k) result *= 10;
    } else {
        if (shift < -38) return fromScaled(0);
        __int128 d = 1;
        for (int k = 0; k < -shift; ++k) d *= 10;
        result = divideHalfEven(mantissa, d);
    }
    if (result > INT64_MAX) return std::nullopt;
    return fromScaled(negative ? -static_cast<int64_t>(result) : static_cast<int64_t>(result));
}

double Currency::toDouble() const
{
    // Through the decimal text so that 0.3 becomes the double nearest to 0.3.
    return toString(4).toDouble();
}

Currency Currency::rounded(int decimals) const
{
    if (decimals >= 4) return *this;
    if (decimals < 0) decimals = 0;
    int64_t step = 1;
    for (int k = decimals; k < 4; ++k) step *= 10;
    return fromScaled(divideHalfEven(units_, step) * step);
}

QString Currency::toString(int decimals) const
{
    if (decimals < 0) decimals = 0;
    if (decimals > 4) decimals = 4;
    const Currency r = rounded(decimals);
    const int64_t u = r.units_;
    const uint64_t a = u < 0 ? uint64_t(0) - uint64_t(u) : uint64_t(u);
    QString out = QString::number(a / Scale);
    if (decimals > 0) {
        QString frac = QString::number(a % Scale).rightJustified(4, '0');
        out += '.' + frac.left(decimals);
    }
    if (u < 0) out.prepend('-');
    return out;
}

QString Currency::toShortString() const
{
    QString s = toString(4);
    while (s.endsWith('0')) s.chop(1);
    if (s.endsWith('.')) s.chop(1);
    return s;
}

Currency Currency::operator*(Currency o) const
{
    return fromScaled(divideHalfEven(__int128(units_) * o.units_, Scale));
}

Currency Currency::operator/(Currency o) const
{
    if (o.units_ == 0)
        throw std::domain_error("division by zero");
    return fromScaled(divideHalfEven(__int128(units_) * Scale, o.units_));
}

} // namespace fw
