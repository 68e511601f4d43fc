// Raw fetch speed of our client against isql on the same query and database.
//   bench_fetch DATABASE   (a --demo 100000 database from brontal-db)
#include "db/Database.h"
#include "db/Statement.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <cstdio>
#include <vector>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_fetch DATABASE\n");
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    const QString sql = "select * from Customer";

    qint64 ourMs = 0;
    size_t rows = 0;
    {
        fw::Database db(fw::ConnectParams{path, "SYSDBA", "quillbent", "UTF8"});
        db.connect();
        QElapsedTimer t;
        t.start();
        std::vector<std::vector<fw::Value>> table;
        db.withTransaction([&](fw::Transaction& tr) {
            fw::Statement s(db, sql);
            s.execute(tr);
            const int n = s.columnCount();
            while (s.fetch()) {
                std::vector<fw::Value> row;
                row.reserve(size_t(n));
                for (int i = 0; i < n; ++i) row.push_back(s.value(i));
                table.push_back(std::move(row));
            }
        });
        ourMs = t.elapsed();
        rows = table.size();
    }   // detached: the embedded engine lets one process open the file at a time

    QProcess isql;
    isql.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer t;
    t.start();
    isql.start("isql-fb", {"-user", "SYSDBA", "-password", "quillbent", "-ch", "UTF8", "-q", path});
    isql.write((sql + ";\n").toUtf8());
    isql.closeWriteChannel();
    if (!isql.waitForFinished(600000) || isql.exitCode() != 0) {
        std::fprintf(stderr, "isql-fb failed: %s\n", isql.readAllStandardError().constData());
        return 1;
    }
    const qint64 isqlMs = t.elapsed();

    std::printf("rows: %zu\nour client: %lld ms\nisql-fb:    %lld ms\nratio (ours / isql): %.2f\n", rows,
                static_cast<long long>(ourMs), static_cast<long long>(isqlMs),
                isqlMs > 0 ? double(ourMs) / double(isqlMs) : 0.0);
    return 0;
}
