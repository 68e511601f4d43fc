#include "reports/dmRep.h"

#include "core/CoreFixture.h"
#include "core/schema/DemoData.h"

#include <gtest/gtest.h>
#include <algorithm>

namespace {

// A demo database with many payments over two years, and rows at the edges where
// the one statement could part from the totals and one statement per interval:
// afternoons of an interval's last day, the first and last moments of the
// period and the moments just outside it, rows without date or user, slice
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
        // A client whose references lead nowhere, as a database made before the keys may hold.
        for (const char* column : {"IDREGION", "IDREKLAMA", "IDSEGMENT"})
            d.execute(QString("alter table CUSTOMER drop constraint FK_CUSTOMER_%1").arg(column));
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
                 "insert into OPLATA (IDOPLATA, IDSALE, DATEOPL, SUMMAR, SUMMAD) values (900010, 900003, '20.06.2025', 100, 1)",
                 "insert into OPLATA (IDOPLATA, IDSALE, IDUSER, DATEOPL, SUMMAR, SUMMAD) values (900011, 900001, 1, '04.11.2024 23:59:59', 11, 0.11)",
                 // Just outside the shorter stretch of the decades, inside the long period.
                 "insert into OPLATA (IDOPLATA, IDSALE, IDUSER, DATEOPL, SUMMAR, SUMMAD) values (900012, 900002, 2, '24.02.2025 23:59:59', 12, 0.12)",
                 "insert into OPLATA (IDOPLATA, IDSALE, IDUSER, DATEOPL, SUMMAR, SUMMAD) values (900013, 900002, 2, '11.05.2025 00:00', 13, 0.13)",
                 // Goods by the delivery date: the edges of the period and a deal without user.
                 "insert into SDELKA (IDSDELKA, IDCUST, IDUSER, DATENAKL, NAME) values (900004, 900002, 2, '05.11.2024 00:00', 'Первый миг')",
                 "insert into SDELKA (IDSDELKA, IDCUST, IDUSER, DATENAKL, NAME) values (900005, 900002, 2, '15.12.2025 23:59:59', 'Последний миг')",
                 "insert into SDELKA (IDSDELKA, IDCUST, IDUSER, DATENAKL, NAME) values (900006, 900002, 2, '04.11.2024 23:59:59', 'Накануне')",
                 "insert into SDELKA (IDSDELKA, IDCUST, IDUSER, DATENAKL, NAME) values (900007, 900002, 2, '16.12.2025 00:00', 'Назавтра')",
                 "insert into SDELKA (IDSDELKA, IDCUST, DATENAKL, NAME) values (900008, 900002, '20.06.2025', 'Ничья')",
                 "insert into SALES (IDSALE, IDCUST, IDUSER, IDSDELKA, IDTOVAR, KOLVO) values (900004, 900002, 2, 900004, 1, 5)",
                 "insert into SALES (IDSALE, IDCUST, IDUSER, IDSDELKA, IDTOVAR, KOLVO) values (900005, 900002, 2, 900005, 2, 7)",
                 "insert into SALES (IDSALE, IDCUST, IDUSER, IDSDELKA, IDTOVAR, KOLVO) values (900006, 900002, 2, 900006, 1, 100)",
                 "insert into SALES (IDSALE, IDCUST, IDUSER, IDSDELKA, IDTOVAR, KOLVO) values (900007, 900002, 2, 900007, 2, 200)",
                 "insert into SALES (IDSALE, IDCUST, IDUSER, IDSDELKA, IDTOVAR, KOLVO) values (900008, 900002, 2, 900008, 1, 400)"})
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

    // The rows in a fixed order: the statements order by the sum and leave rows
    // of equal sums in any order.
    static QList<TRepRow> byTotal(QList<TRepRow> rows)
    {
        std::sort(rows.begin(), rows.end(), [](const TRepRow& a, const TRepRow& b) {
            return a.Total != b.Total ? a.Total > b.Total : a.Id < b.Id;
        });
        return rows;
    }

    // Both ways give the same table: the one statement's totals are those of the
    // totals statement, its interval sums those of one statement per interval,
    // and the intervals add up to the totals.
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
        const auto largestFirst = [](const TRepRow& a, const TRepRow& b) { return a.Total > b.Total; };
        EXPECT_TRUE(std::is_sorted(grouped.Rows.cbegin(), grouped.Rows.cend(), largestFirst)) << what;
        EXPECT_TRUE(std::is_sorted(each.Rows.cbegin(), each.Rows.cend(), largestFirst)) << what;
        const QList<TRepRow> groupedRows = byTotal(grouped.Rows);
        const QList<TRepRow> eachRows = byTotal(each.Rows);
        for (qsizetype r = 0; r < groupedRows.size(); ++r) {
            const TRepRow& g = groupedRows[r];
            const TRepRow& e = eachRows[r];
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
    const auto rowOf = [](const TRepTable& t, int id) {
        const auto row = std::find_if(t.Rows.cbegin(), t.Rows.cend(), [id](const TRepRow& r) { return r.Id == id; });
        return row == t.Rows.cend() ? TRepRow{} : *row;
    };
    const fw::Currency none;
    TRepParams p = reportParams(MakeRazrezRecs()[13], 0);   // "Клиент", the first currency
    const QList<TIntervalRec> quarters = MakeIntervals(p.From, p.To, ikQuarter);
    for (TdmRep::IntervalWay way : {TdmRep::IntervalWay::Grouped, TdmRep::IntervalWay::OnePerInterval}) {
        SCOPED_TRACE(way == TdmRep::IntervalWay::Grouped ? "one statement" : "one per interval");
        p.Money = true;
        p.Valuta = 0;
        const TRepTable t = rep->Run(p, quarters, way);
        // 05.11 00:00, 30.11 23:59 and 31.12 14:00 of 2024; 31.03 14:00; 20.06 14:00 (one currency only); 15.12.2025 14:00.
        // Not 04.11.2024 23:59:59 nor 16.12.2025 00:00, nor a payment without date or without user.
        const TRepRow edges = rowOf(t, 900001);
        EXPECT_EQ(edges.Sums, (QList<fw::Currency>{fw::Currency::fromInt(290), *fw::Currency::parse("1000.25"),
                                                   fw::Currency::fromInt(80), none, fw::Currency::fromInt(60)}));
        EXPECT_EQ(edges.Total, *fw::Currency::parse("1430.25"));
        const TRepRow nowhere = rowOf(t, 900002);
        EXPECT_EQ(nowhere.Sums, (QList<fw::Currency>{none, fw::Currency::fromInt(12), *fw::Currency::parse("313.1"),
                                                     none, none}));
        EXPECT_EQ(nowhere.Total, *fw::Currency::parse("325.1"));

        p.Valuta = 1;
        EXPECT_EQ(rowOf(rep->Run(p, quarters, way), 900001).Sums[2], none)
            << "a payment without the second currency adds nothing to it";

        // Goods by delivery date: the first and last moments count, the moments
        // just outside and a deal without user do not.
        p.Money = false;
        const TRepRow goods = rowOf(rep->Run(p, quarters, way), 900002);
        EXPECT_EQ(goods.Sums, (QList<fw::Currency>{fw::Currency::fromInt(5), none, fw::Currency::fromInt(3), none,
                                                   fw::Currency::fromInt(7)}));
        EXPECT_EQ(goods.Total, fw::Currency::fromInt(15));
    }
}

} // namespace
