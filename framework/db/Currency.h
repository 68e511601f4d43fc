#pragma once

#include "DbError.h"

#include <QMetaType>
#include <QString>
#include <compare>
#include <cstdint>
#include <optional>

namespace fw {

// A number that money cannot hold (a ConvertError, so that whoever refuses an
// unreadable value refuses this one too).
class CurrencyRangeError : public ConvertError {
public:
    using ConvertError::ConvertError;
};

// Fixed-point money and quantity value: an integer count of 1/10000.
// Doubles from the database are rounded half to even at four decimals once,
// when they enter; arithmetic afterwards is exact or rounded the same way.
// The money range is at most MaxWhole in magnitude: whatever would leave it is
// refused with CurrencyRangeError, never wrapped or cut.
class Currency {
public:
    static constexpr int64_t Scale = 10000;
    // Chosen so that every value in range can be rounded to any number of
    // decimals and negated within 64 bits.
    static constexpr int64_t MaxWhole = 922337203685477;
    static constexpr int64_t MaxScaled = MaxWhole * Scale;

    constexpr Currency() = default;

    // Raw units as stored; no range check.
    static constexpr Currency fromScaled(int64_t units) { Currency c; c.units_ = units; return c; }
    static Currency fromInt(int64_t whole);
    // Throws ConvertError for infinity and NaN, CurrencyRangeError outside the range.
    static Currency fromDouble(double value);
    // Accepts "." or "," as the decimal point, an optional sign, an exponent and
    // blanks around; the number is rounded half to even at `decimals` (0..4),
    // once, from all the digits of the text: the one rounding of a number typed,
    // pasted or read from a file to the decimals a column keeps. Gives nullopt
    // for a text that is no number and throws CurrencyRangeError naming the
    // text for a number outside the money range.
    static std::optional<Currency> parse(const QString& text, int decimals = 4);
    // parse() that also refuses a text that is no number, with ConvertError.
    static Currency fromText(const QString& text);

    constexpr int64_t scaled() const { return units_; }
    double toDouble() const;
    // Fixed number of decimals (0..4), "." as the point, rounded half to even.
    QString toString(int decimals = 2) const;
    // Decimals only as needed ("12.5", "3"), "." as the point.
    QString toShortString() const;

    // Half to even; never overflows (a raw value beyond the range that cannot be
    // rounded up within 64 bits is rounded towards zero instead).
    Currency rounded(int decimals) const;

    // Sums, differences, products and quotients outside the range throw
    // CurrencyRangeError. Products and quotients are exact in 128 bits, then
    // rounded half to even.
    Currency operator-() const;
    Currency operator+(Currency o) const;
    Currency operator-(Currency o) const;
    Currency& operator+=(Currency o) { return *this = *this + o; }
    Currency& operator-=(Currency o) { return *this = *this - o; }
    Currency operator*(Currency o) const;
    Currency operator/(Currency o) const;  // throws std::domain_error on zero
    constexpr bool isZero() const { return units_ == 0; }

    constexpr auto operator<=>(const Currency&) const = default;

private:
    int64_t units_ = 0;
};

// Rounds n/d to the nearest integer, ties to even; d != 0 and the result fits 64 bits.
int64_t divideHalfEven(__int128 n, __int128 d);

} // namespace fw

Q_DECLARE_METATYPE(fw::Currency)
