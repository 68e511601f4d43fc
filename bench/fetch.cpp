// Raw fetch speed of our client against isql on the same query and database:
// the rows packed as a data set keeps them.
//   bench_fetch DATABASE   (a --demo 100000 database from brontal-db)
#include "BenchCommon.h"

#include "db/Database.h"
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
    const QString path = QString::fromLocal8Bit(argv[1]);
    const QString sql = "select * from Customer";

    // isql-fb first: a child's peak counts the memory it was forked with.
    const qint64 isqlMs = bench::isqlMs(path, {sql});
    const long isqlPeakKb = bench::childPeakKb();

    qint64 ourMs = 0;
    size_t rows = 0;
    {
        fw::Database db(fw::ConnectParams{path, "SYSDBA", "quillbent", "UTF8"});
        db.connect();
        QElapsedTimer t;
        t.start();
        std::vector<fw::PackedRow> table;
        db.withTransaction([&](fw::Transaction& tr) {
            fw::Statement s(db, sql);
            s.execute(tr);
            fw::RowPacker packer;
            while (s.fetch()) {
                s.pack(packer);
                table.push_back(packer.take());
            }
        });
        ourMs = t.elapsed();
        rows = table.size();
    }   // detached: the embedded engine lets one process open the file at a time

    const long ourPeakKb = bench::peakKb();

    std::printf("rows: %zu\nour client: %lld ms, peak %ld kB\nisql-fb:    %lld ms, peak %ld kB\n", rows,
                static_cast<long long>(ourMs), ourPeakKb, static_cast<long long>(isqlMs), isqlPeakKb);
    bench::ratio(QString("fetch %1, %2 rows").arg(sql).arg(rows), ourMs, isqlMs,
                 QString("peak memory %1 MiB against %2 MiB").arg(ourPeakKb / 1024).arg(isqlPeakKb / 1024));
    return 0;
}
