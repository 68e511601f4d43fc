#pragma once

#include <QMetaType>
#include <QString>
#include <compare>
#include <cstdint>
#include <optional>

namespace fw {

// Fixed-point money and quantity value: an integer count of 1/10000.
// Doubles from the database are rounded half to even at four decimals once,
// when they enter; arithmetic afterwards is exact or rounded the same way.
class Currency {
public:
    static constexpr int64_t Scale = 10000;

    constexpr Currency() = default;

    static constexpr Currency fromScaled(int64_t units) { Currency c; c.units_ = units; return c; }
    static constexpr Currency fromInt(int64_t whole) { return fromScaled(whole * Scale); }
    static Currency fromDouble(double value);
    // Accepts "." or "," as the decimal point, an optional sign and blanks around;
    // more than four decimals are rounded half to even.
    static std::optional<Currency> parse(const QString& text);

    constexpr int64_t scaled() const { return units_; }
    double toDouble() const;
    // Fixed number of decimals (0..4), "." as the point, rounded half to even.
    QString toString(int decimals = 2) const;
    // Decimals only as needed ("12.5", "3"), "." as the point.
    QString toShortString() const;

    Currency rounded(int decimals) const;

    constexpr Currency operator-() const { return fromScaled(-units_); }
    constexpr Currency operator+(Currency o) const { return fromScaled(units_ + o.units_); }
    constexpr Currency operator-(Currency o) const { return fromScaled(units_ - o.units_); }
    Currency& operator+=(Currency o) { units_ += o.units_; return *this; }
    Currency& operator-=(Currency o) { units_ -= o.units_; return *this; }
    // Products and quotients are exact in 128 bits, then rounded half to even.
    Currency operator*(Currency o) const;
    Currency operator/(Currency o) const;  // throws std::domain_error on zero
    constexpr bool isZero() const { return units_ == 0; }

    constexpr auto operator<=>(const Currency&) const = default;

private:
    int64_t units_ = 0;
};

// Rounds n/d to the nearest integer, ties to even; d != 0.
int64_t divideHalfEven(__int128 n, __int128 d);

} // namespace fw

Q_DECLARE_METATYPE(fw::Currency)
