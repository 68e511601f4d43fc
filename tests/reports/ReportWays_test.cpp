#include "reports/dmRep.h"

#include "bench/ReportToday.h"
#include "core/CoreFixture.h"
#include "core/dm.h"
#include "core/schema/DemoData.h"
#include "db/Query.h"

#include <QProcess>
#include <gtest/gtest.h>
#include <algorithm>
#include <random>

namespace {

// A demo database with many payments over two years, and rows at the edges where
// the one statement could part from the totals and one statement per interval:
// afternoons of an interval's last day, the first and last moments of the
// period and the moments just outside it, rows without date or user, slice
// values that are NULL or lead nowhere (a client's region, source and segment,
// a payment's user, and a goods item removed by isql-fb, as a database made
// before the reference keys may hold them), a payment in one currency only.
class ReportWaysTest : public CoreDatabaseTest {
protected:
    static void SetUpTestSuite()
    {
        DatabaseTest::SetUpTestSuite();
        fw::Database d(DatabaseTest::params());
        d.connect();
        schema::fillDemo(d, 120, 5);
        schema::fillPayments(d, 6000, 5);
        // Only the keys from a detail row to its parent stay.
        QStringList referenceKeys;
        d.withTransaction([&](fw::Transaction& tr) {
            fw::Statement s(d, "select trim(fk.RDB$RELATION_NAME), trim(fk.RDB$CONSTRAINT_NAME)"
                               " from RDB$RELATION_CONSTRAINTS fk"
                               " join RDB$REF_CONSTRAINTS r on r.RDB$CONSTRAINT_NAME = fk.RDB$CONSTRAINT_NAME"
                               " join RDB$RELATION_CONSTRAINTS pk on pk.RDB$CONSTRAINT_NAME = r.RDB$CONST_NAME_UQ"
                               " where pk.RDB$RELATION_NAME not in ('CUSTOMER', 'SDELKA', 'SALES', 'ORDERS',"
                               " 'GRKLIENT', 'LOCGRKL')");
            s.execute(tr);
            while (s.fetch())
                referenceKeys << "alter table " + s.value(0).asString() + " drop constraint " + s.value(1).asString();
        });
        for (const QString& sql : referenceKeys) d.execute(sql);
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
                 "insert into SALES (IDSALE, IDCUST, IDUSER, IDSDELKA, IDTOVAR, KOLVO) values (900008, 900002, 2, 900008, 1, 400)",
                 // A payment of a user who is no more.
                 "insert into CUSTOMER (IDCUST, IDUSER, COMPANY) values (900003, 1, 'Ушедший куратор')",
                 "insert into SDELKA (IDSDELKA, IDCUST, IDUSER, DATENAKL, NAME) values (900009, 900003, 77, '12.04.2025 11:00', 'Без куратора')",
                 "insert into SALES (IDSALE, IDCUST, IDUSER, IDSDELKA, IDTOVAR, KOLVO) values (900009, 900003, 77, 900009, 2, 6)",
                 "insert into OPLATA (IDOPLATA, IDSALE, IDUSER, DATEOPL, SUMMAR, SUMMAD) values (900014, 900009, 77, '12.04.2025 11:00', 140, 1.4)"})
            d.execute(QString::fromUtf8(sql));
        removedTovar = d.selectValue("select first 1 sl.idTovar from Sales sl join Oplata o on o.idSale = sl.idSale"
                                     " where sl.idTovar > 2 group by 1 order by count(*) desc").asInt();
        d.disconnect();
        QProcess isql;
        isql.setProcessChannelMode(QProcess::MergedChannels);
        // The embedded engine asks for no password.
        isql.start("isql-fb", {"-q", "-user", params().user.isEmpty() ? "SYSDBA" : params().user, params().path});
        isql.write(QString("delete from Tovar where idTovar = %1;\ncommit;\n").arg(removedTovar).toUtf8());
        isql.closeWriteChannel();
        isql.waitForFinished(60000);
        if (isql.exitCode() != 0) ADD_FAILURE() << isql.readAll().toStdString();
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
    static inline int removedTovar = 0;
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

// The statements that sum the payments first give every number the statements
// of before gave, for every slice, mode, interval, order, restriction and for
// a user who sees his department's rows; the payments those left out because
// their key leads nowhere make a row "-" of their own, so every slice totals
// what the "Клиент" slice does; and the detail list holds the same rows.
TEST_F(ReportWaysTest, EverySliceGivesTheNumbersOfBeforeAndTotalsTheSameMoney)
{
    const TRepStatements before{reportToday::ItogoSql, reportToday::IntervalSql};
    const QList<TRazrezRec> slices = MakeRazrezRecs();
    const QString department = "idUser in (select idUser from Users where idOtdel=1)";
    // %1 is the alias of the rows the mode counts the user of.
    const QStringList restrictions[] = {
        {},
        {"and c.idRegion in (0, 1, 2, 3, 99999)"},
        {"and %1.idUser in (1, 2, 4, 77)", "and sd.idPrichina in (0, 1, 2)"},
        {"and exists (select * from Users where idUser=%1.idUser and idOtdel in (1, 3))"},
        {"and exists (select * from Tovar where idTovar=sl.idTovar and idGrTovar in (1, 2))", "and c.idReklama in (1, 3)"},
        {"and exists (select * from Gr_Kl where idCust=c.idCust and idGrKlient in (1, 2, 3))"}};
    const auto detailRows = [this](const QStringList& sql) {
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
    };
    std::mt19937 rng(34);
    int orphanRows = 0, detailLists = 0;
    for (const TRazrezRec& slice : slices)
        for (int kind : {0, 1, 2})
            for (const QString& seen : {QString("idUser is not null"), department}) {
                TRepParams old = reportParams(slice, kind);
                old.RecFilter = seen;
                old.SortByTotal = rng() % 2;
                for (const QString& line : restrictions[rng() % std::size(restrictions)])
                    old.OgrLines << QString(line).replace("%1", old.Money ? "o" : "sd");
                const int intervalKind = int(rng() % 5) - 1;
                if (intervalKind == ikDecade) old.From = QDate(2025, 2, 25);
                const QList<TIntervalRec> intervals = MakeIntervals(old.From, old.To, intervalKind);
                TRepParams now = old;
                now.RecFilter = ListedRecFilter(dm->db, seen);
                const std::string what = (slice.Caption + QString(" money %1 valuta %2 interval %3 by total %4 %5 %6")
                                              .arg(old.Money).arg(old.Valuta).arg(intervalKind).arg(old.SortByTotal)
                                              .arg(seen, old.OgrLines.join(' ')))
                                             .toStdString();
                SCOPED_TRACE(what);

                const TRepTable fresh = rep->Run(now, intervals);
                const TRepTable then = rep->Run(old, intervals, TdmRep::IntervalWay::Grouped, before);
                TRepParams byClient = old;
                byClient.Razrez = slices[13];
                const TRepTable all = rep->Run(byClient, intervals, TdmRep::IntervalWay::Grouped, before);

                QHash<int, const TRepRow*> thenRows;
                for (const TRepRow& r : then.Rows) thenRows.insert(r.Id, &r);
                QStringList freshNames;
                for (const TRepRow& r : fresh.Rows) {
                    const TRepRow* t = thenRows.value(r.Id);
                    if (!t) {
                        EXPECT_EQ(r.Name, "-") << "row " << r.Id;
                        ++orphanRows;
                        continue;
                    }
                    freshNames << r.Name;
                    EXPECT_EQ(r.Name, t->Name) << "row " << r.Id;
                    EXPECT_EQ(r.Total, t->Total) << "row " << r.Id;
                    EXPECT_EQ(r.Sums, t->Sums) << "row " << r.Id;
                }
                EXPECT_EQ(freshNames.size(), then.Rows.size());
                EXPECT_EQ(fresh.ColumnTotals, all.ColumnTotals);
                EXPECT_EQ(fresh.Total, all.Total);
                if (old.SortByTotal) {
                    EXPECT_TRUE(std::is_sorted(fresh.Rows.cbegin(), fresh.Rows.cend(),
                                               [](const TRepRow& a, const TRepRow& b) { return a.Total > b.Total; }));
                } else {
                    QStringList thenNames;
                    for (const TRepRow& r : then.Rows) thenNames << r.Name;
                    EXPECT_EQ(freshNames, thenNames);
                }
                if (slice.Caption == "Товар (детально)") {
                    EXPECT_EQ(detailRows(DetalSql(now)), detailRows(reportToday::DetalSql(byClient)));
                    ++detailLists;
                }
            }
    EXPECT_GT(orphanRows, 30);
    EXPECT_EQ(detailLists, 6);

    // The goods lines of the removed goods item, by their key.
    const TRepTable goods = rep->Run(reportParams(slices[1], 0), {});
    const auto removed = std::find_if(goods.Rows.cbegin(), goods.Rows.cend(),
                                      [](const TRepRow& r) { return r.Id == removedTovar; });
    ASSERT_NE(removed, goods.Rows.cend());
    EXPECT_EQ(removed->Name, "-");
    EXPECT_GT(removed->Total, fw::Currency());
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

} // namespace
