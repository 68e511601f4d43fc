// The pivot report by month over a year through the report's data module (no
// window), for the administrator and for a user who sees his department's rows:
// its statements against today's (the slice's table joined to every payment,
// kept in ReportToday.h), against the floor (a bare isc_dsql_fetch loop in C)
// and isql-fb on the same text; and says where their numbers part.
//   bench_report DATABASE [SLICE...]   (brontal-db create DATABASE --demo 100000 --payments 1000000)
//   BRONTAL_BENCH_PERIOD=month         one month instead of the year
#include "BenchCommon.h"
#include "ReportToday.h"

#include "db/Database.h"

#include <QCoreApplication>
#include <QHash>

namespace {

QDate kFrom(2025, 1, 1), kTo(2025, 12, 31);   // inside the demo payments' two years

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

struct Viewer {
    QString name;
    QString recFilter;   // GetRecFilter() of such a user
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_report DATABASE [SLICE...]\n");
        return 2;
    }
    const fw::ConnectParams params = bench::params(QString::fromLocal8Bit(argv[1]));
    QStringList slices{"Товар (детально)", "Фамилия", "Клиент", "Регион"};
    if (argc > 2) {
        slices.clear();
        for (int i = 2; i < argc; ++i) slices << QString::fromLocal8Bit(argv[i]);
    }
    if (qEnvironmentVariable("BRONTAL_BENCH_PERIOD") == "month") kTo = QDate(2025, 1, 31);
    const QString engine = bench::engine(params.path);
    try {
        const QList<TIntervalRec> months = MakeIntervals(kFrom, kTo, ikMonth);
        QList<Viewer> viewers{{"administrator", "idUser is not null"}};
        {
            fw::Database db(params);
            db.connect();
            const int otdel = db.selectValue("select min(idOtdel) from Users where idOtdel > 0").asInt();
            viewers << Viewer{"department user",
                              QString("idUser in (select idUser from Users where idOtdel=%1)").arg(otdel)};
            std::printf("payments: %lld in all, %lld in %s..%s; %lld intervals; %d runs each, medians\n",
                        static_cast<long long>(db.selectValue("select count(*) from Oplata").asInt64()),
                        static_cast<long long>(db.selectValue("select count(*) from Oplata where DateOpl >= "
                                                              + SqlTimestamp(kFrom) + " and DateOpl < "
                                                              + SqlTimestamp(kTo.addDays(1))).asInt64()),
                        qPrintable(kFrom.toString("dd.MM.yyyy")), qPrintable(kTo.toString("dd.MM.yyyy")),
                        static_cast<long long>(months.size()), bench::runs());
        }
        struct Line {
            QString work;
            double fresh, today, ratio, isql;
        };
        QList<Line> lines;
        for (const TRazrezRec& slice : MakeRazrezRecs()) {
            if (!slices.contains(slice.Caption)) continue;
            for (const Viewer& viewer : viewers) {
                TRepParams p;
                p.Razrez = slice;
                p.From = kFrom;
                p.To = kTo;
                p.RecFilter = viewer.recFilter;

                int rows = 0;
                TRepTable tables[2];
                QString listed;
                // A run as the window makes it: the visibility clause listed, then one statement.
                const auto ours = [&](bool fresh) {
                    fw::Database db(params);
                    db.connect();
                    TdmRep rep;
                    for (fw::Query* q : {&rep.qryItogo, &rep.qryInterval}) q->setDatabase(&db);
                    QElapsedTimer t;
                    t.start();
                    TRepParams run = p;
                    if (fresh) listed = run.RecFilter = ListedRecFilter(db, p.RecFilter);
                    TRepTable& table = tables[fresh ? 0 : 1];
                    table = fresh ? rep.Run(run, months)
                                  : rep.Run(run, months, TdmRep::IntervalWay::Grouped,
                                            {reportToday::ItogoSql, reportToday::IntervalSql});
                    const double ms = bench::ms(t);
                    rows = int(table.Rows.size());
                    for (fw::Query* q : {&rep.qryItogo, &rep.qryInterval}) q->close();
                    return ms;
                };   // detached before isql-fb opens the file: the embedded engine lets one process in
                ours(true);   // the listed clause for the floor and isql-fb
                TRepParams fresh = p;
                fresh.RecFilter = listed;
                const QStringList statement{ItogoSql(fresh, months).join("\n")};
                // The ratio of each round's pair, run one after the other, shifts less
                // with the machine's other work than the ratio of two medians.
                std::vector<double> oursFresh, oursToday, pairs, floor, isql;
                for (int i = 0; i < bench::runs(); ++i) {
                    oursFresh.push_back(ours(true));
                    oursToday.push_back(ours(false));
                    pairs.push_back(oursFresh.back() / oursToday.back());
                    floor.push_back(bench::floorMs(params, statement));
                    isql.push_back(bench::isqlMs(params, statement));
                }
                const QString work = "report \"" + slice.Caption + "\" by month, " + viewer.name + ", "
                                     + QString::number(rows) + " rows";
                const Line line{slice.Caption + ", " + viewer.name, bench::median(oursFresh),
                                bench::median(oursToday), bench::median(pairs), bench::median(isql)};
                bench::ratio(work, engine, {line.fresh, bench::median(floor), line.isql},
                             QString("today's statement %1 s, new/today %2; %3 numbers differ")
                                 .arg(line.today / 1000.0, 0, 'f', 3)
                                 .arg(line.ratio, 0, 'f', 2)
                                 .arg(differences(tables[0], tables[1])));
                lines.append(line);
            }
        }
        std::printf("\nreport by month, %s: new statement against today's (goal: at most 0.5 for the "
                    "administrator, 0.7 for a department user)\n",
                    qPrintable(engine));
        std::printf("%s %9s %9s %9s %9s\n", QString("slice, user").leftJustified(40).toUtf8().constData(), "new",
                    "today", "new/today", "isql-fb");
        for (const Line& l : lines)
            std::printf("%s %8.3fs %8.3fs %9.2f %8.3fs\n", l.work.leftJustified(40).toUtf8().constData(),
                        l.fresh / 1000.0, l.today / 1000.0, l.ratio, l.isql / 1000.0);
        std::printf("new and today: medians of the runs; new/today: the median of each round's ratio\n");
    } catch (const fw::Error& e) {
        std::fprintf(stderr, "bench_report: %s\n", e.message().toUtf8().constData());
        return 1;
    }
    return 0;
}
