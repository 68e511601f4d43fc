#include "Currency.h"

#include <QLocale>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace fw {

namespace {

__int128 divideHalfEven128(__int128 n, __int128 d)
{
    if (d < 0) { n = -n; d = -d; }
    __int128 q = n / d;
    __int128 r = n % d;
    if (r < 0) { r += d; --q; }          // floor division: 0 <= r < d
    const __int128 twice = 2 * r;
    if (twice > d || (twice == d && (q & 1) != 0))
        ++q;
    return q;
}

QString rangeText()
{
    return QStringLiteral("по модулю не более 922 337 203 685 477");
}

[[noreturn]] void refuseText(const QString& text)
{
    throw CurrencyRangeError(QStringLiteral("Число «%1» вне диапазона денежных сумм: %2").arg(text, rangeText()));
}

Currency checked(__int128 units)
{
    if (units > Currency::MaxScaled || units < -Currency::MaxScaled)
        throw CurrencyRangeError(QStringLiteral("Результат вычисления вне диапазона денежных сумм: %1").arg(rangeText()));
    return Currency::fromScaled(static_cast<int64_t>(units));
}

enum class Read { Ok, NotANumber, OutOfRange };

// The text's exact value rounded half to even at `decimals` (0..4) and given in
// units of 1/10000; digits are taken as text, so neither the mantissa nor the
// exponent can overflow, and the value is rounded once, from all its digits.
Read readScaled(const QString& s, int64_t& units, int decimals)
{
    const qsizetype n = s.size();
    qsizetype i = 0;
    bool negative = false;
    if (i < n && (s[i] == '-' || s[i] == '+')) { negative = s[i] == '-'; ++i; }
    QByteArray digits;              // significant digits, leading zeros dropped
    int64_t pointShift = 0;         // minus the digits after the point
    bool point = false, any = false;
    for (; i < n; ++i) {
        const char16_t ch = s[i].unicode();
        if (ch >= '0' && ch <= '9') {
            any = true;
            if (point) --pointShift;
            if (!digits.isEmpty() || ch != '0') digits += char(ch);
        } else if ((ch == '.' || ch == ',') && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (!any) return Read::NotANumber;
    int64_t exponent = 0;
    if (i < n && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        bool expNegative = false;
        if (i < n && (s[i] == '-' || s[i] == '+')) { expNegative = s[i] == '-'; ++i; }
        bool expDigits = false;
        for (; i < n && s[i] >= '0' && s[i] <= '9'; ++i) {
            expDigits = true;
            // Far beyond any range already; stop growing.
            if (exponent < 100000000) exponent = exponent * 10 + (s[i].unicode() - '0');
        }
        if (!expDigits) return Read::NotANumber;
        if (expNegative) exponent = -exponent;
    }
    if (i != n) return Read::NotANumber;
    units = 0;
    if (digits.isEmpty()) return Read::Ok;
    // value = digits * 10^(exponent + pointShift); q = value * 10^decimals, whose
    // integer part has intLen digits.
    const char* d = digits.constData();
    const int64_t size = digits.size();
    const int64_t intLen = size + exponent + pointShift + decimals;
    if (intLen > 19) return Read::OutOfRange;
    __int128 q = 0;
    for (int64_t k = 0; k < std::min(intLen, size); ++k) q = q * 10 + (d[k] - '0');
    for (int64_t k = size; k < intLen; ++k) q *= 10;
    if (intLen >= 0 && intLen < size) {
        const int r = d[intLen] - '0';
        bool beyond = false;
        for (int64_t k = intLen + 1; k < size && !beyond; ++k) beyond = d[k] != '0';
        if (r > 5 || (r == 5 && (beyond || (q & 1) != 0))) ++q;
    }
    for (int k = decimals; k < 4; ++k) q *= 10;
    if (q > Currency::MaxScaled) return Read::OutOfRange;
    units = negative ? -static_cast<int64_t>(q) : static_cast<int64_t>(q);
    return Read::Ok;
}

} // namespace

int64_t divideHalfEven(__int128 n, __int128 d)
{
    return static_cast<int64_t>(divideHalfEven128(n, d));
}

Currency Currency::fromInt(int64_t whole)
{
    return checked(__int128(whole) * Scale);
}

Currency Currency::fromDouble(double value)
{
    // The nearest decimal of the double, then half-even at four decimals.
    // Working from the shortest round-trip text avoids the binary tail of values
    // like 0.30000000000000004 deciding a tie.
    const QString text = QString::number(value, 'g', QLocale::FloatingPointShortest);
    if (!std::isfinite(value))
        throw ConvertError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
    return fromText(text);
}

std::optional<Currency> Currency::parse(const QString& input, int decimals)
{
    const QString s = input.trimmed();
    int64_t units = 0;
    switch (readScaled(s, units, std::clamp(decimals, 0, 4))) {
    case Read::Ok: return fromScaled(units);
    case Read::NotANumber: return std::nullopt;
    case Read::OutOfRange: break;
    }
    refuseText(s);
}

Currency Currency::fromText(const QString& text)
{
    if (const auto c = parse(text)) return *c;
    throw ConvertError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
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
    __int128 r = divideHalfEven128(units_, step) * step;
    if (r > INT64_MAX) r -= step;
    if (r < INT64_MIN) r += step;
    return fromScaled(static_cast<int64_t>(r));
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

Currency Currency::operator-() const
{
    return checked(-__int128(units_));
}

Currency Currency::operator+(Currency o) const
{
    return checked(__int128(units_) + o.units_);
}

Currency Currency::operator-(Currency o) const
{
    return checked(__int128(units_) - o.units_);
}

Currency Currency::operator*(Currency o) const
{
    return checked(divideHalfEven128(__int128(units_) * o.units_, Scale));
}

Currency Currency::operator/(Currency o) const
{
    if (o.units_ == 0)
        throw std::domain_error("division by zero");
    return checked(divideHalfEven128(__int128(units_) * Scale, o.units_));
}

} // namespace fw
