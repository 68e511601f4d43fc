#include "db/Currency.h"
#include "db/DbError.h"
#include "db/NumberFormat.h"
#include "db/Value.h"

#include "support/Printers.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>

using fw::Currency;

TEST(CurrencyValue, DoublesEnterRoundedHalfToEvenAtFourDecimals)
{
    EXPECT_EQ(Currency::fromDouble(0.1 + 0.2).toString(4), "0.3000");
    EXPECT_EQ(Currency::fromDouble(1.00005).scaled(), 10000);   // tie goes to even
    EXPECT_EQ(Currency::fromDouble(1.00015).scaled(), 10002);
    EXPECT_EQ(Currency::fromDouble(-2.5).toString(2), "-2.50");
    EXPECT_EQ(Currency::fromDouble(123456789012.34).toString(2), "123456789012.34");
}

TEST(CurrencyValue, ParsesBothDecimalPointsAndRejectsJunk)
{
    EXPECT_EQ(Currency::parse("12,5")->scaled(), 125000);
    EXPECT_EQ(Currency::parse(" 12.5 ")->scaled(), 125000);
    EXPECT_EQ(Currency::parse("-0.00005")->scaled(), 0);
    EXPECT_EQ(Currency::parse("1e3")->scaled(), 10000000);
    EXPECT_FALSE(Currency::parse("12a").has_value());
    EXPECT_FALSE(Currency::parse("").has_value());
    EXPECT_FALSE(Currency::parse("1.2.3").has_value());
}

TEST(CurrencyValue, ProductsAndQuotientsRoundHalfToEven)
{
    const Currency rate = *Currency::parse("28.5");
    EXPECT_EQ((*Currency::parse("100.01") * rate).toString(4), "2850.2850");
    EXPECT_EQ((Currency::fromInt(10) / Currency::fromInt(3)).toString(4), "3.3333");
    EXPECT_EQ((Currency::fromScaled(1) / Currency::fromInt(2)).scaled(), 0);   // 0.5 unit -> even
    EXPECT_EQ((Currency::fromScaled(3) / Currency::fromInt(2)).scaled(), 2);
    EXPECT_THROW(Currency::fromInt(1) / Currency(), std::domain_error);
    EXPECT_EQ(Currency::fromScaled(150).rounded(2).toString(4), "0.0200");   // ties to even
    EXPECT_EQ(Currency::fromScaled(250).rounded(2).toString(4), "0.0200");
    EXPECT_EQ(Currency::fromScaled(251).rounded(2).toString(4), "0.0300");
}

// A number text at any decimals is rounded once, half to even, from all its
// digits: 0.12505 at two decimals is 0.13, never 0.12 by way of 0.1250.
TEST(CurrencyValue, TextIsRoundedOnceHalfToEvenAtTheDecimalsAsked)
{
    EXPECT_EQ(Currency::parse("0.12505", 2), Currency::parse("0.13"));
    EXPECT_EQ(Currency::parse("27,3456", 2), Currency::parse("27.35"));
    EXPECT_EQ(Currency::parse("0.005", 2), Currency());
    std::mt19937 rng(4123);
    const auto pick = [&](int from, int to) { return std::uniform_int_distribution<int>(from, to)(rng); };
    for (int i = 0; i < 20000; ++i) {
        QString digits;
        const int whole = pick(1, 9), fraction = pick(0, 8);
        for (int k = 0; k < whole + fraction; ++k) digits += QChar('0' + pick(0, 9));
        const bool negative = pick(0, 3) == 0;
        QString text = (negative ? "-" : "") + digits.left(whole);
        if (fraction) text += (pick(0, 1) ? "." : ",") + digits.mid(whole);
        const int decimals = pick(0, 4);
        // The exact value is digits / 10^fraction; rounded to `decimals` by hand.
        __int128 n = digits.toLongLong(), q = n, step = 1;
        if (fraction > decimals) {
            for (int k = decimals; k < fraction; ++k) step *= 10;
            q = n / step;
            const __int128 r = n % step;
            if (2 * r > step || (2 * r == step && q % 2 != 0)) ++q;
        } else {
            for (int k = fraction; k < decimals; ++k) q *= 10;
        }
        for (int k = decimals; k < 4; ++k) q *= 10;
        ASSERT_EQ(Currency::parse(text, decimals)->scaled(), int64_t(negative ? -q : q)) << text.toStdString() << " @" << decimals;
    }
}

TEST(ValueConversions, FollowTheFieldGetters)
{
    EXPECT_EQ(fw::Value().asInt(), 0);
    EXPECT_EQ(fw::Value().asString(), "");
    EXPECT_EQ(fw::Value("42").asInt(), 42);
    EXPECT_THROW(fw::Value("abc").asInt(), fw::ConvertError);
    EXPECT_TRUE(fw::Value("+").asBool());
    EXPECT_FALSE(fw::Value("-").asBool());
    const QDateTime dt(QDate(2026, 3, 1), QTime(14, 5));
    EXPECT_EQ(fw::Value(dt).asString(), "01.03.2026 14:05");
    EXPECT_EQ(fw::Value(QDate(2026, 3, 1)).asString(), "01.03.2026");
    EXPECT_EQ(fw::strToDateTime("1.3.2026 14:05"), dt);
    EXPECT_FALSE(fw::strToDateTime("31.02.2026").isValid());
    EXPECT_EQ(fw::Value(Currency::fromScaled(30000)), fw::Value(3));
}

TEST(NumberFormats, SectionsSeparatorsAndLiterals)
{
    using fw::formatFloat;
    const QString dot = ".", blank = " ";
    EXPECT_EQ(formatFloat(",0.00", *Currency::parse("1234567.125"), dot, blank), "1 234 567.12");
    EXPECT_EQ(formatFloat("# ### ### ##0.00", *Currency::parse("12.5"), dot, blank), "12.50");
    EXPECT_EQ(formatFloat("# ### ### ##0.00", *Currency::parse("1234567"), dot, blank), "1 234 567.00");
    EXPECT_EQ(formatFloat(",0.00'р.';-,0.00'р.'", *Currency::parse("-5"), ",", blank), "-5,00р.");
    EXPECT_EQ(formatFloat("0.00;(0.00)", *Currency::parse("-5"), dot, blank), "(5.00)");
    EXPECT_EQ(formatFloat("0.00;;'ноль'", Currency(), dot, blank), "ноль");
    EXPECT_EQ(formatFloat(",0.###", *Currency::parse("2.5"), dot, blank), "2.5");
    EXPECT_EQ(formatFloat("0.00", *Currency::parse("-0.001"), dot, blank), "0.00");
}

// ---------------------------------------------------------------- the money range

TEST(CurrencyRange, RoundingNearTheLimitNeverFlipsTheSign)
{
    const Currency top = Currency::fromScaled(Currency::MaxScaled);
    EXPECT_EQ(top.toString(0), "922337203685477");
    EXPECT_EQ((-top).toString(1), "-922337203685477.0");
    EXPECT_EQ(fw::formatFloat("0", -top, ".", " "), "-922337203685477");
    // Raw 64-bit extremes (never made by a conversion) round towards zero rather than wrap.
    for (int64_t raw : {INT64_MAX, -INT64_MAX}) {
        for (int decimals = 0; decimals < 4; ++decimals) {
            const Currency r = Currency::fromScaled(raw).rounded(decimals);
            EXPECT_EQ(r > Currency(), raw > 0) << decimals;
            EXPECT_LT(std::abs(double(r.scaled()) - double(raw)), 10000.0) << decimals;
        }
    }
    EXPECT_EQ(fw::formatFloat("0", Currency::fromScaled(INT64_MAX), ".", " "), "922337203685477");
    EXPECT_EQ(Currency::fromScaled(INT64_MAX).toString(1), "922337203685477.5");
}

TEST(CurrencyRange, NumbersMoneyCannotHoldAreRefusedNamingTheText)
{
    for (const char* text : {"922337203685477,5807", "99999999999999999", "99999999999999999e20",
                             "1267650600228229401496703205376e26", "1e2147483647", "-1e2147483647",
                             "-922337203685477.0001", "0.000000000000000000001e40"}) {
        try {
            Currency::parse(text);
            ADD_FAILURE() << text << " was taken";
        } catch (const fw::CurrencyRangeError& e) {
            EXPECT_TRUE(e.message().contains(text)) << e.message().toStdString();
            EXPECT_TRUE(e.message().contains("вне диапазона")) << e.message().toStdString();
        }
    }
    EXPECT_EQ(Currency::parse("922337203685477")->scaled(), Currency::MaxScaled);
    EXPECT_EQ(Currency::parse("-922337203685477,0000")->scaled(), -Currency::MaxScaled);
    // Tiny and zero values are exact or rounded as usual, whatever the exponent.
    EXPECT_EQ(Currency::parse("1e-2147483647")->scaled(), 0);
    EXPECT_EQ(Currency::parse("0e2147483647")->scaled(), 0);
    EXPECT_EQ(Currency::parse("000000000000000000000000012,5")->scaled(), 125000);
    EXPECT_EQ(Currency::parse("123456789e-5")->scaled(), 12345679);
    EXPECT_EQ(Currency::parse("0.00015")->scaled(), 2);         // tie to even
    EXPECT_EQ(Currency::parse("0.00025")->scaled(), 2);
    EXPECT_EQ(Currency::parse("0.000250000000000000000001")->scaled(), 3);
    EXPECT_EQ(Currency::parse("1.5e-4")->scaled(), 2);
    EXPECT_EQ(Currency::parse("12345678901234567890123e-10")->scaled(), 12345678901234568);
    EXPECT_FALSE(Currency::parse("1e").has_value());
    EXPECT_FALSE(Currency::parse("1e+").has_value());
    EXPECT_FALSE(Currency::parse("e5").has_value());
    EXPECT_FALSE(Currency::parse("1e5x").has_value());
    EXPECT_THROW(Currency::fromText("abc"), fw::ConvertError);
}

TEST(CurrencyRange, EveryRouteIntoMoneyRefusesInsteadOfWrapping)
{
    // Database doubles, database and import text, integers, calculator doubles.
    EXPECT_THROW(Currency::fromDouble(1e20), fw::CurrencyRangeError);
    EXPECT_THROW(Currency::fromDouble(-1e15), fw::CurrencyRangeError);
    EXPECT_THROW(Currency::fromDouble(std::numeric_limits<double>::infinity()), fw::ConvertError);
    EXPECT_EQ(Currency::fromDouble(9e14).toString(0), "900000000000000");
    EXPECT_THROW(fw::Value("99999999999999999").asCurrency(), fw::CurrencyRangeError);
    EXPECT_THROW(fw::Value(1e20).asCurrency(), fw::CurrencyRangeError);
    EXPECT_THROW(fw::Value(int64_t(1) << 60).asCurrency(), fw::CurrencyRangeError);
    // Arithmetic leaving the range is refused too, never wrapped.
    const Currency top = Currency::fromScaled(Currency::MaxScaled);
    EXPECT_THROW(top + Currency::fromScaled(1), fw::CurrencyRangeError);
    EXPECT_THROW(-top - Currency::fromInt(1), fw::CurrencyRangeError);
    EXPECT_THROW(Currency::fromInt(1000000000) * Currency::fromInt(1000000000), fw::CurrencyRangeError);
    EXPECT_THROW(top / *Currency::parse("0.5"), fw::CurrencyRangeError);
    EXPECT_EQ((top - top).scaled(), 0);
}
