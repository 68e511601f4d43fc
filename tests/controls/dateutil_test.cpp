#include "ControlsTestUtil.h"
#include "controls/DateUtil.h"
#include "controls/VclUtils.h"

#include <gtest/gtest.h>

TEST(DateUtil, PartsValidity)
{
    EXPECT_TRUE(DatePartsValid(2024, 2, 29));
    EXPECT_FALSE(DatePartsValid(2023, 2, 29));
    EXPECT_FALSE(DatePartsValid(2024, 4, 31));
    EXPECT_FALSE(DatePartsValid(2024, 1, 0));
    EXPECT_FALSE(DatePartsValid(0, 1, 1));
    EXPECT_FALSE(DatePartsValid(10000, 1, 1));
    EXPECT_TRUE(YearIsLeap(2000));
    EXPECT_FALSE(YearIsLeap(1900));
    EXPECT_EQ(MonthDayCount(2024, 2), 29);
}

TEST(DateUtil, DateOrder)
{
    EXPECT_EQ(DateOrderOf("dd.mm.yyyy"), orderDMY);
    EXPECT_EQ(DateOrderOf("MM/DD/YY"), orderMDY);
    EXPECT_EQ(DateOrderOf("yyyy-mm-dd"), orderYMD);
    EXPECT_EQ(DateOrderOf("..."), orderDMY);
}

TEST(DateUtil, CenturyRule)
{
    FixedClock clock(QDate(2026, 6, 1));
    EXPECT_EQ(WidenYear(66), 1966);
    EXPECT_EQ(WidenYear(99), 1999);
    EXPECT_EQ(WidenYear(0), 2000);
    EXPECT_EQ(WidenYear(65), 2065);
    EXPECT_EQ(WidenYear(2024), 2024);
}

TEST(DateUtil, FreeReading)
{
    FixedClock clock(QDate(2026, 6, 1));
    const QString fmt = DateFormatFor(true);
    EXPECT_EQ(fmt, "DD/MM/YYYY");
    EXPECT_EQ(TextToDateFmt(fmt, "5.3.24"), QDate(2024, 3, 5));
    EXPECT_EQ(TextToDateFmt(fmt, "5.3"), QDate(2026, 3, 5));
    // longer than the format: only the free reading applies
    EXPECT_EQ(TextToDateFmt(fmt, "  05.03.2024   "), QDate(2024, 3, 5));
}

TEST(DateUtil, MaskedReading)
{
    FixedClock clock(QDate(2026, 6, 1));
    const QString fmt = DateFormatFor(true);
    EXPECT_EQ(TextToDateFmt(fmt, "12.05.2024"), QDate(2024, 5, 12));
    EXPECT_EQ(TextToDateFmt(fmt, "12.05.24  "), QDate(2024, 5, 12));
    // a blank year is this year
    EXPECT_EQ(TextToDateFmt(fmt, "12.05.    "), QDate(2026, 5, 12));
}

TEST(DateUtil, EmptyAndUnreadableTexts)
{
    FixedClock clock(QDate(2026, 6, 1));
    const QString fmt = DateFormatFor(true);
    QDate d(2000, 1, 1);
    EXPECT_TRUE(TryTextToDate(fmt, "", d));
    EXPECT_FALSE(d.isValid());
    EXPECT_EQ(TextToDateFmtOr(fmt, "31.02.2024", QDate(2020, 7, 8)), QDate(2020, 7, 8));
    try {
        TextToDateFmt(fmt, "31.02.2024");
        FAIL() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.message(), "'31.02.2024' is not a valid date");
    }
}

TEST(DateUtil, MonthNamesInTheFormat)
{
    FixedClock clock(QDate(2026, 6, 1));
    EXPECT_EQ(MonthByName("мар", 3), 3);
    EXPECT_EQ(MonthByName("МАЙ", 3), 5);
    EXPECT_EQ(MonthByName("xyz", 3), 0);
    EXPECT_EQ(TextToDateFmt("DD/MMM/YYYY", "05.Мар.2024"), QDate(2024, 3, 5));
}

TEST(DateUtil, FormatAndMask)
{
    EXPECT_EQ(DateMaskFor(' ', true), "!99/99/9999;1; ");
    EXPECT_EQ(DateMaskFor(' ', false), "!99/99/99;1; ");
    EXPECT_EQ(QtInputMaskOf(DateMaskFor(' ', true)), "00.00.0000; ");
    EXPECT_EQ(FormatDateText("DD/MM/YYYY", QDate(2024, 3, 5)), "05.03.2024");
    EXPECT_EQ(FormatDateVcl("MMMM, YYYY", QDate(2024, 3, 5)), "Март, 2024");
    // An empty date has nothing to show in any format, month names included.
    for (const char* format : {"dd.mm.yyyy", "d mmm yy", "MMMM, YYYY", "dddd"})
        EXPECT_EQ(FormatDateVcl(format, QDate()), "") << format;
}
