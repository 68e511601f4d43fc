// Timestamps read from the database: the compact local time must be exactly
// the QDateTime the reader made before, skipped hours included. CTest runs
// this once more under zones with clock changes (TZ).
#include "db/Value.h"

#include <gtest/gtest.h>

using fw::Value;

namespace {

void expectSameAsQt(QDate d, int msecs)
{
    const QDateTime qt(d, QTime::fromMSecsSinceStartOfDay(msecs));
    const Value v = Value::localTime(d, msecs);
    const Value old(qt);
    SCOPED_TRACE(d.toString(Qt::ISODate).toStdString() + " " + std::to_string(msecs));
    ASSERT_EQ(v.isNull(), old.isNull());
    if (old.isNull()) return;
    EXPECT_EQ(v.asDateTime(), qt);
    EXPECT_EQ(v.asDateTime().timeSpec(), Qt::LocalTime);
    EXPECT_EQ(v.asDateTime().toMSecsSinceEpoch(), qt.toMSecsSinceEpoch());
    EXPECT_EQ(v.asString(), old.asString());
    EXPECT_EQ(v.asInt64(), old.asInt64());
    EXPECT_TRUE(v == old);
    EXPECT_TRUE(old == v);
}

} // namespace

TEST(LocalTime, MatchesQtAroundClockChanges)
{
    // Every half hour of the days around the usual change dates since 1916,
    // the Moscow changes of 2011 and 2014 among them.
    for (int year = 1916; year <= 2060; ++year)
        for (int month : {3, 4, 9, 10, 11})
            for (int day = 1; day <= QDate(year, month, 1).daysInMonth(); ++day) {
                if (QDate(year, month, day).dayOfWeek() != Qt::Sunday && day != 1 && day != 27) continue;
                for (int m = 0; m < 24 * 60; m += 30) expectSameAsQt(QDate(year, month, day), m * 60000);
            }
    expectSameAsQt(QDate(2026, 3, 29), (2 * 60 + 30) * 60000);
    expectSameAsQt(QDate(2026, 10, 25), (2 * 60 + 30) * 60000 + 123);
    expectSameAsQt(QDate(1850, 6, 1), 0);
    expectSameAsQt(QDate(2200, 3, 30), (2 * 60 + 30) * 60000);
}

TEST(LocalTime, OutOfRangePartsAreNull)
{
    EXPECT_TRUE(Value::localTime(QDate(), 0).isNull());
    EXPECT_TRUE(Value::localTime(QDate(2024, 1, 1), 86400000).isNull());
    EXPECT_EQ(Value::localTime(QDate(2024, 1, 1), 86399999).asDateTime(),
              QDateTime(QDate(2024, 1, 1), QTime(23, 59, 59, 999)));
}
