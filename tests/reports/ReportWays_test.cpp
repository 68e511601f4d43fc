#include "reports/dmRep.h"

#include "core/CoreFixture.h"
#include "core/schema/DemoData.h"

#include <gtest/gtest.h>
#include <algorithm>

namespace {

// A demo database with many payments over two years, and rows at the edges where
// the grouped statement could part from one statement per interval: afternoons
// of an interval's last day, the first and last moments of the period, slice
// values that are NULL or lead nowhere, a payment in one currency only.
class ReportWaysTest : public CoreDatabaseTest {
protected:
    static void SetUpTestSuite()
    {
        DatabaseTest::SetUpTestSuite();
        fw::Database d(DatabaseTest::params());
        d.connect();
        schema::fillDemo(d, 120, 5);
        schema::fillPayments(d, 6000, 5);
        for (const char* sql : {
                 "insert into CUSTOMER (IDCUST, IDUSER, COMPANY) values (900001, 1, 'Без справочников')",
                 "insert into CUSTOMER (IDCUST, IDUSER, COMPANY, IDREGION, IDREKLAMA, IDSEGMENT) values (900002, 2, 'Никуда', 99999, 99999, 99999)",
                 "insert into SDELKA (IDSDELKA, IDCUST, IDUSER, DATENAKL, NAME) values (900001, 900001, 1, '31.03.2025 14:00', 'Край квартала')",
                 "insert into SDELKA (IDSDELKA, IDCUST, IDUSER, DATENAKL, NAME) values (900002, 900002, 2, '10.05.2025 14:00', 'Край декады')",
                 "insert into SDELKA (IDSDELKA, IDCUST, IDUSER, NAME) values (900003, 900001, 1, 'Без накладной')",
                 "insert into SALES (IDSALE, IDCUST, IDUSER, IDSDELKA, IDTOVAR, KOLVO) values (900001, 900001, 1, 900001, 1, 2)",
                 "insert into SALES (IDSALE, IDCUST, IDUSER, IDSDELKA, KOLVO) values (900002, 900002, 2, 900002, 3)",
                 "insert into SALES (IDSALE, IDCUST, IDUSER, IDSDELKA, IDTOVAR, KOLVO) values (900003, 900001, 1, 900003, 2, 4)",
                 "insert into OPLATA (IDOPLATA, IDSALE, IDUSER, DATEOPL, SUMMAR, SUMMAD) values (900001, 900001, 1, '31.03.2025 14:00', 1000.25, 10.5)",
                 "insert into OPLATA (IDOPLATA, IDSALE, IDUSER, DATEOPL, SUMMAR, SUMMAD) values (900002, 900001, 1, '31.12.2024 14:00', 200, 2)",
                 "insert into OPLATA (IDOPLATA, IDSALE, IDUSER, DATEOPL, SUMMAR, SUMMAD) values (900003, 900002, 2, '10.05.2025 14:00', 300.1, 3.1)",
                 "insert into OPLATA (IDOPLATA, IDSALE, IDUSER, DATEOPL, SUMMAR, SUMMAD) values (900004, 900001, 1, '30.11.2024 23:59', 40, 0.4)",
                 "insert into OPLATA (IDOPLATA, IDSALE, IDUSER, DATEOPL, SUMMAR, SUMMAD) values (900005, 900001, 1, '05.11.2024 00:00', 50, 0.5)",
                 "insert into OPLATA (IDOPLATA, IDSALE, IDUSER, DATEOPL, SUMMAR, SUMMAD) values (900006, 900001, 1, '15.12.2025 14:00', 60, 0.6)",
                 "insert into OPLATA (IDOPLATA, IDSALE, IDUSER, DATEOPL, SUMMAR, SUMMAD) values (900007, 900001, 1, '16.12.2025 00:00', 70, 0.7)",
                 "insert into OPLATA (IDOPLATA, IDSALE, IDUSER, DATEOPL, SUMMAR) values (900008, 900003, 1, '20.06.2025 14:00', 80)",
                 "insert into OPLATA (IDOPLATA, IDSALE, IDUSER, SUMMAR, SUMMAD) values (900009, 900003, 1, 90, 0.9)",
                 "insert into OPLATA (IDOPLATA, IDSALE, DATEOPL, SUMMAR, SUMMAD) values (900010, 900003, '20.06.2025', 100, 1)"})
            d.execute(QString::fromUtf8(sql));
    }

    void SetUp() override
    {
        CoreDatabaseTest::SetUp();
        rep = new TdmRep;
    }
    void TearDown() override
    {
        delete rep;
        CoreDatabaseTest::TearDown();
    }

    TRepParams reportParams(const TRazrezRec& slice, int kind) const
    {
        TRepParams p;
        p.Razrez = slice;
        p.Money = kind < 2;
        p.Valuta = kind;
        p.From = QDate(2024, 11, 5);
        p.To = QDate(2025, 12, 15);
        p.RecFilter = "idUser is not null";
        return p;
    }

    // Both ways give the same table, and the intervals add up to the totals.
    void expectSameBothWays(const TRepParams& p, int intervalKind)
    {
        TRepParams q = p;
        // Decades over a shorter stretch that still holds month and quarter ends.
        if (intervalKind == ikDecade) {
            q.From = QDate(2025, 2, 25);
            q.To = QDate(2025, 5, 10);
        }
        const QList<TIntervalRec> intervals = MakeIntervals(q.From, q.To, intervalKind);
        const TRepTable grouped = rep->Run(q, intervals, TdmRep::IntervalWay::Grouped);
        const TRepTable each = rep->Run(q, intervals, TdmRep::IntervalWay::OnePerInterval);
        const std::string what = (p.Razrez.Caption + QString(" money %1 valuta %2 interval %3 %4")
                                      .arg(p.Money).arg(p.Valuta).arg(intervalKind).arg(p.OgrLines.join(' ')))
                                     .toStdString();
        ASSERT_EQ(grouped.Rows.size(), each.Rows.size()) << what;
        for (qsizetype r = 0; r < grouped.Rows.size(); ++r) {
            const TRepRow& g = grouped.Rows[r];
            const TRepRow& e = each.Rows[r];
            ASSERT_EQ(g.Id, e.Id) << what;
            EXPECT_EQ(g.Name, e.Name) << what;
            EXPECT_EQ(g.Total, e.Total) << what;
            EXPECT_EQ(g.Sums, e.Sums) << what << " row " << g.Id;
            fw::Currency sum;
            for (const fw::Currency& c : g.Sums) sum += c;
            EXPECT_EQ(sum, g.Total) << what << " row " << g.Id;
        }
        EXPECT_EQ(grouped.ColumnTotals, each.ColumnTotals) << what;
        EXPECT_EQ(grouped.Total, each.Total) << what;
        fw::Currency sum;
        for (const fw::Currency& c : grouped.ColumnTotals) sum += c;
        EXPECT_EQ(sum, grouped.Total) << what;
        ++compared;
        if (!grouped.Rows.isEmpty()) ++withRows;
    }

    TdmRep* rep = nullptr;
    int compared = 0;
    int withRows = 0;
};

TEST_F(ReportWaysTest, OneGroupedStatementGivesTheNumbersOfOneStatementPerInterval)
{
    for (const TRazrezRec& slice : MakeRazrezRecs())
        for (int kind : {0, 1, 2})   // the first currency, the second, quantities
            for (int interval : {ikNone, ikDecade, ikMonth, ikQuarter, ikYear})
                expectSameBothWays(reportParams(slice, kind), interval);
    EXPECT_EQ(compared, 15 * 3 * 5);
    EXPECT_GE(withRows, compared - 5);   // only slices the demo leaves empty may have no rows
}

TEST_F(ReportWaysTest, RestrictionsAndTheOwnRowsNarrowBothWaysAlike)
{
    const QStringList restrictions[] = {
        {"and c.idRegion in (1, 2, 3)"},
        {"and exists (select * from Tovar where idTovar=sl.idTovar and idGrTovar in (1, 2))", "and c.idReklama in (1, 3)"},
        {"and exists (select * from Gr_Kl where idCust=c.idCust and idGrKlient in (1, 2, 3))"}};
    for (const TRazrezRec& slice : MakeRazrezRecs())
        for (const QStringList& ogr : restrictions)
            for (int kind : {1, 2}) {
                TRepParams p = reportParams(slice, kind);
                p.OgrLines = ogr;
                p.RecFilter = "idUser in (select idUser from Users where idOtdel=1)";
                expectSameBothWays(p, ikQuarter);
            }
}

TEST_F(ReportWaysTest, EdgeRowsLandInTheirInterval)
{
    TRepParams p = reportParams(MakeRazrezRecs()[13], 0);   // "Клиент", the first currency
    const QList<TIntervalRec> quarters = MakeIntervals(p.From, p.To, ikQuarter);
    const TRepTable t = rep->Run(p, quarters);
    const auto row = std::find_if(t.Rows.cbegin(), t.Rows.cend(), [](const TRepRow& r) { return r.Id == 900001; });
    ASSERT_NE(row, t.Rows.cend());
    // 05.11 00:00, 30.11 23:59 and 31.12 14:00 of 2024; 31.03 14:00; 20.06 14:00 (one currency only); 15.12.2025 14:00.
    EXPECT_EQ(row->Sums, (QList<fw::Currency>{fw::Currency::fromInt(290), *fw::Currency::parse("1000.25"),
                                              fw::Currency::fromInt(80), {}, fw::Currency::fromInt(60)}));
    EXPECT_EQ(row->Total, *fw::Currency::parse("1430.25"));

    p.Valuta = 1;
    const TRepTable d = rep->Run(p, quarters);
    const auto drow = std::find_if(d.Rows.cbegin(), d.Rows.cend(), [](const TRepRow& r) { return r.Id == 900001; });
    ASSERT_NE(drow, d.Rows.cend());
    EXPECT_EQ(drow->Sums[2], fw::Currency()) << "a payment without the second currency adds nothing to it";
}

} // namespace
