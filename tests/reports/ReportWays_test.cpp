#include "reports/dmRep.h"

#include "ReportToday.h"
#include "core/CoreFixture.h"
#include "core/schema/DemoData.h"
#include "db/Query.h"

#include <QSet>
#include <gtest/gtest.h>
#include <algorithm>
#include <memory>
#include <random>

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

// A department's user list is read when the report runs: a user another
// workstation has just moved into the department counts, and no longer once
// moved out, as with the sub-select of the users table.
class ReportDepartment : public testing_support::OnServerOrNot<CoreDatabaseTest> {};

TEST_P(ReportDepartment, TheUsersOfTheDepartmentAreThoseOfTheMomentOfTheRun)
{
    for (const char* sql : {
             "insert into OTDEL (IDOTDEL, OTDEL) values (1, 'Продажи')",
             "insert into OTDEL (IDOTDEL, OTDEL) values (2, 'Склад')",
             "insert into USERS (IDUSER, IDOTDEL, NAME) values (1, 1, 'Иванов')",
             "insert into USERS (IDUSER, IDOTDEL, NAME) values (2, 2, 'Петров')",
             "insert into CUSTOMER (IDCUST, IDUSER, COMPANY) values (1, 1, 'Альфа')",
             "insert into SDELKA (IDSDELKA, IDCUST, IDUSER, NAME) values (1, 1, 1, 'Первая')",
             "insert into SALES (IDSALE, IDCUST, IDUSER, IDSDELKA, KOLVO) values (1, 1, 1, 1, 1)",
             "insert into OPLATA (IDOPLATA, IDSALE, IDUSER, DATEOPL, SUMMAR) values (1, 1, 1, '03.03.2025', 100)",
             "insert into OPLATA (IDOPLATA, IDSALE, IDUSER, DATEOPL, SUMMAR) values (2, 1, 2, '04.03.2025', 20)"})
        dm->db.execute(QString::fromUtf8(sql));
    fw::Database other(params());
    other.connect();
    TdmRep rep;
    TRepParams p;
    p.Razrez = MakeRazrezRecs()[3];   // "Фамилия"
    p.Valuta = 0;
    p.From = QDate(2025, 3, 1);
    p.To = QDate(2025, 3, 31);
    const QString department = "idUser in (select idUser from Users where idOtdel=1)";
    const auto names = [&] {
        p.RecFilter = ListedRecFilter(dm->db, department);
        QStringList n;
        for (const TRepRow& r : rep.Run(p, {}).Rows) n << r.Name + " " + r.Total.toString();
        return n;
    };
    EXPECT_EQ(names(), QStringList{"Иванов 100.00"});
    other.execute("update USERS set IDOTDEL = 1 where IDUSER = 2");
    EXPECT_EQ(names(), (QStringList{"Иванов 100.00", "Петров 20.00"}));
    other.execute("update USERS set IDOTDEL = 2 where IDUSER = 2");
    EXPECT_EQ(names(), QStringList{"Иванов 100.00"});
}

INSTANTIATE_TEST_SUITE_P(Embedded, ReportDepartment, testing::Values(false));
INSTANTIATE_TEST_SUITE_P(OnServer, ReportDepartment, testing::Values(true));

// The statements of before (the slice's table joined to every payment) as the
// reference: generated data, the demo's clients, deals, goods lines and
// payments over two years of one seed, and generated runs of it.
class ReportBefore : public testing_support::OnServerOrNot<CoreDatabaseTest> {
protected:
    // A run of random period, intervals, order and restrictions.
    TRepParams randomRun(const TRazrezRec& slice, int kind, const QString& seen)
    {
        // %1 is the alias of the rows the mode counts the user of.
        static const QStringList restrictions[] = {
            {},
            {},
            {"and c.idRegion in (0, 1, 2, 3, 5, 8)"},
            {"and %1.idUser in (1, 2, 4, 6)", "and sd.idPrichina in (0, 1, 2)"},
            {"and exists (select * from Users where idUser=%1.idUser and idOtdel in (1, 3))"},
            {"and exists (select * from Tovar where idTovar=sl.idTovar and idGrTovar in (1, 2))",
             "and c.idReklama in (1, 3)"},
            {"and exists (select * from Gr_Kl where idCust=c.idCust and idGrKlient in (1, 2, 3))"}};
        TRepParams p;
        p.Razrez = slice;
        p.Money = kind < 2;
        p.Valuta = kind;
        p.RecFilter = seen;
        p.SortByTotal = rng() % 2;
        for (const QString& line : restrictions[rng() % std::size(restrictions)])
            p.OgrLines << QString(line).replace("%1", p.Money ? "o" : "sd");
        interval = int(rng() % 5) - 1;
        // Decades over at most a quarter, the others up to a year and a half; over the payments' two years and past them.
        p.From = QDate(2023, 12, 1).addDays(rng() % 800);
        p.To = p.From.addDays(rng() % (interval == ikDecade ? 100 : 550));
        way = rng() % 2 ? TdmRep::IntervalWay::Grouped : TdmRep::IntervalWay::OnePerInterval;
        return p;
    }

    static std::string describe(const TRepParams& p, int interval, TdmRep::IntervalWay way)
    {
        return (p.Razrez.Caption
                + QString(" money %1 valuta %2 %3..%4 interval %5 %6 by total %7 %8 %9")
                      .arg(p.Money).arg(p.Valuta).arg(p.From.toString(Qt::ISODate), p.To.toString(Qt::ISODate))
                      .arg(interval).arg(way == TdmRep::IntervalWay::Grouped ? "grouped" : "one per interval")
                      .arg(p.SortByTotal).arg(p.RecFilter, p.OgrLines.join(' ')))
            .toStdString();
    }

    QStringList detailRows(const QStringList& sql)
    {
        fw::Query q;
        q.setDatabase(&dm->db);
        q.setSql(sql);
        q.open();
        QStringList rows;
        for (; !q.eof(); q.next()) {
            QStringList row;
            for (const fw::Field* f : q.fields()) row << (f->isNull() ? "NULL" : f->asString());
            rows << row.join('|');
        }
        rows.sort();
        return rows;
    }

    std::mt19937 rng{34};
    int interval = ikNone;
    TdmRep::IntervalWay way = TdmRep::IntervalWay::Grouped;
};

// Every cell the statements of before gave, for every slice, mode, interval
// kind and way of reading intervals, order, restriction, and for a user who
// sees his department's rows; the detail list holds the same rows. Then keys
// that lead nowhere, as a database made before the reference keys may hold
// (a removed goods item, region, district's region, user, department, reason):
// the statements of before lose their money, ours count it as "-", so every
// slice totals all the payments (goods) the user sees.
TEST_P(ReportBefore, EveryCellIsThatOfBeforeAndEveryPaymentCounts)
{
    schema::fillDemo(dm->db, 60, 34);
    schema::fillPayments(dm->db, 2500, 34);
    const QList<TRazrezRec> slices = MakeRazrezRecs();
    const int otdel = dm->db.selectValue("select min(idOtdel) from Otdel where idOtdel > 0").asInt();
    const QStringList seers{"idUser is not null",
                            QString("idUser in (select idUser from Users where idOtdel=%1)").arg(otdel)};
    const TRepStatements before{reportToday::ItogoSql, reportToday::IntervalSql};
    auto rep = std::make_unique<TdmRep>();
    int cells = 0;
    QSet<int> kinds;   // of intervals, and the way of reading them

    for (const TRazrezRec& slice : slices)
        for (int kind : {0, 1, 2})   // the first currency, the second, quantities
            for (const QString& seen : seers) {
                const TRepParams then = randomRun(slice, kind, seen);
                TRepParams now = then;
                now.RecFilter = ListedRecFilter(dm->db, seen);
                SCOPED_TRACE(describe(then, interval, way));
                const QList<TIntervalRec> intervals = MakeIntervals(then.From, then.To, interval);
                kinds << interval + 10 * int(way);
                const TRepTable fresh = rep->Run(now, intervals, way);
                const TRepTable old = rep->Run(then, intervals, TdmRep::IntervalWay::Grouped, before);
                ASSERT_EQ(fresh.Rows.size(), old.Rows.size());
                QHash<int, const TRepRow*> oldRows;
                for (const TRepRow& r : old.Rows) oldRows.insert(r.Id, &r);
                for (qsizetype i = 0; i < fresh.Rows.size(); ++i) {
                    const TRepRow& r = fresh.Rows[i];
                    const TRepRow* o = oldRows.value(r.Id);
                    ASSERT_TRUE(o) << "row " << r.Id << " " << r.Name.toStdString();
                    EXPECT_EQ(r.Name, o->Name);
                    EXPECT_EQ(r.Total, o->Total) << "row " << r.Id;
                    EXPECT_EQ(r.Sums, o->Sums) << "row " << r.Id;
                    // Rows of equal sums (or names) may come in either order.
                    EXPECT_EQ(then.SortByTotal ? r.Total.toString() : r.Name,
                              then.SortByTotal ? old.Rows[i].Total.toString() : old.Rows[i].Name);
                    cells += int(r.Sums.size()) + 1;
                }
                EXPECT_EQ(fresh.ColumnTotals, old.ColumnTotals);
                EXPECT_EQ(fresh.Total, old.Total);
                if (slice.Caption == "Товар (детально)") {
                    EXPECT_EQ(detailRows(DetalSql(now)), detailRows(reportToday::DetalSql(then)));
                }
            }
    EXPECT_GT(cells, 2000);
    EXPECT_EQ(kinds.size(), 10);
    rep.reset();

    // Keys that lead nowhere, as a database made before the reference keys may hold; on an attachment
    // of its own, as the keys' indexes are in use where statements ran.
    dm->db.disconnect();
    dm->db.connect();
    QStringList referenceKeys;
    dm->db.withTransaction([&](fw::Transaction& tr) {
        fw::Statement s(dm->db, "select trim(fk.RDB$RELATION_NAME), trim(fk.RDB$CONSTRAINT_NAME)"
                                " from RDB$RELATION_CONSTRAINTS fk"
                                " join RDB$REF_CONSTRAINTS r on r.RDB$CONSTRAINT_NAME = fk.RDB$CONSTRAINT_NAME"
                                " join RDB$RELATION_CONSTRAINTS pk on pk.RDB$CONSTRAINT_NAME = r.RDB$CONST_NAME_UQ"
                                " where pk.RDB$RELATION_NAME not in ('CUSTOMER', 'SDELKA', 'SALES', 'ORDERS',"
                                " 'GRKLIENT', 'LOCGRKL')");
        s.execute(tr);
        while (s.fetch())
            referenceKeys << "alter table " + s.value(0).asString() + " drop constraint " + s.value(1).asString();
    });
    for (const QString& sql : referenceKeys) dm->db.execute(sql);
    // The key most rows of the table use, the first of them past "skip".
    const auto mostUsed = [&](const QString& key, const QString& table, int skip = 0) {
        return dm->db.selectValue(QString("select first 1 skip %1 %2 from %3 where %2 > 0 group by 1"
                                          " order by count(*) desc, 1").arg(skip).arg(key, table)).asInt();
    };
    const int user = dm->db.selectValue(QString("select first 1 o.idUser from Oplata o join Users u on u.idUser ="
                                                " o.idUser where u.idOtdel <> %1 group by 1 order by count(*) desc")
                                            .arg(otdel)).asInt();
    for (const QString& sql : {
             QString("delete from Tovar where idTovar = %1").arg(mostUsed("idTovar", "Sales")),
             QString("delete from GrTovar where idGrTovar = %1").arg(mostUsed("idGrTovar", "Tovar")),
             QString("delete from Region where idRegion = %1").arg(mostUsed("idRegion", "Customer")),
             QString("update Region set idDistrict = 999 where idRegion = %1").arg(mostUsed("idRegion", "Customer", 1)),
             QString("update Customer set idReklama = 999, idSegment = null where idCust in (select first 20 idCust from Customer)"),
             QString("delete from Prichina where idPrichina = %1").arg(mostUsed("idPrichina", "Sdelka")),
             QString("delete from Users where idUser = %1").arg(user),
             QString("update Users set idOtdel = 999 where idUser = (select min(idUser) from Users where idUser > 0"
                     " and idUser <> %1 and idOtdel <> %2)").arg(user).arg(otdel),
             QString("update Oplata set idUser = 777 where idOplata in (select first 50 idOplata from Oplata)")})
        dm->db.execute(sql);
    int orphans = 0;
    for (const TRazrezRec& slice : slices)
        for (int kind : {0, 1, 2})
            for (const QString& seen : seers) {
                TRepParams p = randomRun(slice, kind, seen);
                p.OgrLines.clear();
                p.RecFilter = ListedRecFilter(dm->db, seen);
                SCOPED_TRACE(describe(p, interval, way));
                const QList<TIntervalRec> intervals = MakeIntervals(p.From, p.To, interval);
                const TRepTable t = TdmRep().Run(p, intervals, way);
                const QString counted = p.Money ? QString(p.Valuta == 0 ? "o.SummaR" : "o.SummaD") : "sl.Kolvo";
                const QString rows = p.Money ? "Oplata o join Sales sl on sl.idSale = o.idSale" : "Sales sl";
                const QString date = p.Money ? "o.DateOpl" : "sd.DateNakl";
                const fw::Currency all =
                    dm->db.selectValue("select coalesce(sum(" + counted + "), 0) from " + rows
                                       + " join Sdelka sd on sd.idSdelka = sl.idSdelka where "
                                       + (p.Money ? "o." : "sd.") + p.RecFilter + " and " + date + " >= "
                                       + SqlTimestamp(p.From) + " and " + date + " < " + SqlTimestamp(p.To.addDays(1)))
                        .asCurrency();
                fw::Currency rowTotals;
                QList<fw::Currency> columns(intervals.size());
                for (const TRepRow& r : t.Rows) {
                    rowTotals += r.Total;
                    for (qsizetype i = 0; i < r.Sums.size(); ++i) columns[i] += r.Sums[i];
                    orphans += r.Name == "-";
                }
                EXPECT_EQ(rowTotals, all);
                EXPECT_EQ(t.Total, all);
                EXPECT_EQ(columns, t.ColumnTotals);
                fw::Currency byColumns;
                for (const fw::Currency& c : t.ColumnTotals) byColumns += c;
                EXPECT_EQ(byColumns, all);
            }
    EXPECT_GT(orphans, 20);
}

INSTANTIATE_TEST_SUITE_P(Embedded, ReportBefore, testing::Values(false));
INSTANTIATE_TEST_SUITE_P(OnServer, ReportBefore, testing::Values(true));

} // namespace
