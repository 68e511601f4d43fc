// Raw fetch speed of our client, the rows packed as a data set keeps them,
// against the floor (a bare isc_dsql_fetch loop in C) and isql-fb on the same
// statement and database, each timed from after its attach.
//   bench_fetch DATABASE   (a --demo 100000 database from brontal-db; host:path for a server)
#include "BenchCommon.h"

#include "db/PackedRow.h"
#include "db/Statement.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_fetch DATABASE\n");
        return 2;
    }
    const fw::ConnectParams p = bench::params(QString::fromLocal8Bit(argv[1]));
    const QString sql = "select * from Customer";

    size_t rows = 0;
    long floorRows = 0;
    const auto ours = [&] {
        fw::Database db(p);
        db.connect();
        QElapsedTimer t;
        t.start();
        fw::RowArena arena;
        std::vector<fw::PackedRow> table;
        db.withTransaction([&](fw::Transaction& tr) {
            fw::Statement s(db, sql);
            s.execute(tr);
            fw::RowPacker packer(&arena);
            while (s.fetch()) {
                s.pack(packer);
                table.push_back(packer.take());
            }
        });
        const double ms = bench::ms(t);
        rows = table.size();
        return ms;
    };   // detached: the embedded engine lets one process open the file at a time
    try {
        const bench::Times t = bench::alternate(ours, [&] { return bench::floorMs(p, {sql}, &floorRows); },
                                                [&] { return bench::isqlMs(p, {sql}); });
        if (long(rows) != floorRows) {
            std::fprintf(stderr, "bench_fetch: ours fetched %zu rows, the floor %ld\n", rows, floorRows);
            return 1;
        }
        std::printf("rows: %zu; %d runs, medians\n", rows, bench::runs());
        bench::ratio(QString("fetch %1, %2 rows").arg(sql).arg(rows), bench::engine(p.path), t,
                     QString("peak memory %1 MiB").arg(bench::peakKb() / 1024));
    } catch (const fw::Error& e) {
        std::fprintf(stderr, "bench_fetch: %s\n", e.message().toUtf8().constData());
        return 1;
    }
    return 0;
}
