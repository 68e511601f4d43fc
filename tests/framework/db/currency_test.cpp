#include "db/Currency.h"
#include "db/DbError.h"
#include "db/NumberFormat.h"
#include "db/Value.h"

#include "support/Printers.h"

#include <gtest/gtest.h>

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
