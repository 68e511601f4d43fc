// The client search with three sets of criteria: the statement the search page
// builds, opened in a Query as the client list does, against the floor (a bare
// isc_dsql_fetch loop in C) and isql-fb.
//   bench_search DATABASE   (a demo database from brontal-db)
#include "BenchCommon.h"

#include "clients/KlientQuery.h"

#include "db/Database.h"
#include "db/Query.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_search DATABASE\n");
        return 2;
    }
    const fw::ConnectParams params = bench::params(QString::fromLocal8Bit(argv[1]));

    // A company name part; deals closed in a year; a goods group with a contact's phone part.
    TKlientQueryInput byName;
    byName.company = "Торг";
    TKlientQueryInput byDeals;
    byDeals.idSdStatus = 2;
    byDeals.sdFrom = QDate(2025, 1, 1);
    byDeals.sdTo = QDate(2025, 12, 31);
    TKlientQueryInput byGoods;
    byGoods.idGrTovar = 1;
    byGoods.phone = "495";
    const std::pair<const char*, TKlientQueryInput> sets[] = {
        {"company name part", byName}, {"closed deals of a year", byDeals}, {"goods group and contact phone", byGoods}};

    std::printf("%d runs each, medians\n", bench::runs());
    try {
        for (const auto& [caption, input] : sets) {
            const QStringList sql = KlientQuerySql(input, "idUser is not null", "idUser is not null");
            int rows = 0;
            const auto ours = [&] {
                fw::Database db(params);
                db.connect();
                fw::Query q(&db);
                q.setSql(sql);
                QElapsedTimer t;
                t.start();
                q.open();
                const double ms = bench::ms(t);
                rows = q.recordCount();
                q.close();
                return ms;
            };
            const QString text = sql.join("\n");
            const bench::Times t = bench::alternate(ours, [&] { return bench::floorMs(params, {text}); },
                                                    [&] { return bench::isqlMs(params, {text}); });
            bench::ratio(QString("client search, %1, %2 clients").arg(caption).arg(rows), bench::engine(params.path), t);
        }
    } catch (const fw::Error& e) {
        std::fprintf(stderr, "bench_search: %s\n", e.message().toUtf8().constData());
        return 1;
    }
    return 0;
}
