// The pivot report by month over a year through the report's data module (no
// window) against the floor (a bare isc_dsql_fetch loop in C) and isql-fb
// running the report's statements: the totals and one statement per month. Ours runs both ways, one statement with the totals and
// the months side by side, and the thirteen, and says where their numbers part.
//   bench_report DATABASE   (brontal-db create DATABASE --demo 100000 --payments 1000000)
#include "BenchCommon.h"

#include "reports/dmRep.h"

#include "db/Database.h"

#include <QCoreApplication>
#include <QHash>

namespace {

const QDate kFrom(2025, 1, 1), kTo(2025, 12, 31);   // inside the demo payments' two years

// The cells of two runs that differ, matching rows by key (rows of equal sums
// may come in either order).
int differences(const TRepTable& a, const TRepTable& b)
{
    QHash<int, const TRepRow*> rowsOfB;
    for (const TRepRow& r : b.Rows) rowsOfB.insert(r.Id, &r);
    int n = int(std::abs(a.Rows.size() - b.Rows.size()));
    for (const TRepRow& r : a.Rows) {
        const TRepRow* other = rowsOfB.value(r.Id);
        if (!other) {
            ++n;
            continue;
        }
        n += r.Total != other->Total;
        for (qsizetype i = 0; i < r.Sums.size(); ++i) n += r.Sums[i] != other->Sums.value(i);
    }
    for (qsizetype i = 0; i < a.ColumnTotals.size(); ++i) n += a.ColumnTotals[i] != b.ColumnTotals.value(i);
    return n + (a.Total != b.Total);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_report DATABASE\n");
        return 2;
    }
    const fw::ConnectParams params = bench::params(QString::fromLocal8Bit(argv[1]));
    try {
        const QList<TIntervalRec> months = MakeIntervals(kFrom, kTo, ikMonth);
        {
            fw::Database db(params);
            db.connect();
            std::printf("payments: %lld in all, %lld in %s..%s; %lld intervals; %d runs each, medians\n",
                        static_cast<long long>(db.selectValue("select count(*) from Oplata").asInt64()),
                        static_cast<long long>(db.selectValue("select count(*) from Oplata where DateOpl >= "
                                                              + SqlDate(kFrom) + " and DateOpl < "
                                                              + SqlDate(kTo.addDays(1))).asInt64()),
                        qPrintable(kFrom.toString("dd.MM.yyyy")), qPrintable(kTo.toString("dd.MM.yyyy")),
                        static_cast<long long>(months.size()), bench::runs());
        }
        for (const TRazrezRec& slice : MakeRazrezRecs()) {
            if (slice.Caption != "Фамилия" && slice.Caption != "Клиент" && slice.Caption != "Товар (детально)")
                continue;
            TRepParams p;
            p.Razrez = slice;
            p.From = kFrom;
            p.To = kTo;
            p.RecFilter = "idUser is not null";   // a user who sees every row

            int rows = 0;
            TRepTable tables[2];
            const auto ours = [&](TdmRep::IntervalWay way) {
                fw::Database db(params);
                db.connect();
                TdmRep rep;
                for (fw::Query* q : {&rep.qryItogo, &rep.qryInterval}) q->setDatabase(&db);
                QElapsedTimer t;
                t.start();
                TRepTable& table = tables[way == TdmRep::IntervalWay::Grouped ? 0 : 1];
                table = rep.Run(p, months, way);
                const double ms = bench::ms(t);
                rows = int(table.Rows.size());
                for (fw::Query* q : {&rep.qryItogo, &rep.qryInterval}) q->close();
                return ms;
            };   // detached before isql-fb opens the file: the embedded engine lets one process in
            QStringList statements{ItogoSql(p).join("\n")};
            for (const TIntervalRec& m : months) statements << IntervalSql(p, m).join("\n");

            // The floor and isql-fb fetch the thirteen statements; the one statement too, for the floor.
            const QStringList grouped{ItogoSql(p, months).join("\n")};
            std::vector<double> oursGrouped, oursEach, floorEach, floorGrouped, isql;
            for (int i = 0; i < bench::runs(); ++i) {
                oursGrouped.push_back(ours(TdmRep::IntervalWay::Grouped));
                floorGrouped.push_back(bench::floorMs(params, grouped));
                oursEach.push_back(ours(TdmRep::IntervalWay::OnePerInterval));
                floorEach.push_back(bench::floorMs(params, statements));
                isql.push_back(bench::isqlMs(params, statements));
            }
            const QString work = "report \"" + slice.Caption + "\" by month, " + QString::number(rows) + " rows";
            const QString engine = bench::engine(params.path);
            bench::ratio(work + ", one statement per month", engine,
                         {bench::median(oursEach), bench::median(floorEach), bench::median(isql)},
                         "floor and isql-fb: the same 13 statements");
            bench::ratio(work + ", one statement", engine,
                         {bench::median(oursGrouped), bench::median(floorGrouped), bench::median(isql)},
                         "floor: the same statement; isql-fb: the 13 statements; "
                             + QString::number(differences(tables[0], tables[1])) + " numbers differ");
        }
    } catch (const fw::Error& e) {
        std::fprintf(stderr, "bench_report: %s\n", e.message().toUtf8().constData());
        return 1;
    }
    return 0;
}
