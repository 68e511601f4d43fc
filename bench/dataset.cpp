// Open time and memory of a 100 000-row query in a Query, and its open time
// against the floor (a bare isc_dsql_fetch loop in C) and isql-fb.
//   bench_dataset [DATABASE]   without a database, one is generated in a temporary folder
#include "BenchCommon.h"

#include "db/Database.h"
#include "db/Query.h"
#include "db/SqlScript.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <malloc.h>

namespace {

size_t heapBytes() { return mallinfo2().uordblks; }

// A client table shaped like CUSTOMER: 18 columns, texts of typical lengths.
void generate(const QString& path, int rows)
{
    fw::ConnectParams p = bench::params(path);
    fw::Database::create(p);
    fw::Database db(p);
    db.connect();
    fw::runSqlScript(db,
        "create table CUSTOMER (IDCUST integer not null primary key, IDUSER integer, DATECR date,"
        " COMPANY varchar(100), FAX varchar(50), ADDRESS varchar(150), CITY varchar(50),"
        " IDREGION integer, IDCOUNTRY integer, IDREKLAMA integer, IDSEGMENT integer,"
        " POLZOV char(1), REGPOLZOV char(1), OTHER varchar(200), IDREKLAMA2 integer,"
        " IDSEGMENT2 integer, IDPERSP integer, WWW varchar(50));\n"
        "SET TERM ^ ;\n"
        "create procedure FILL_CUSTOMER (N integer) as\n"
        "declare variable I integer = 0;\n"
        "begin\n"
        "  while (I < N) do begin\n"
        "    I = I + 1;\n"
        "    insert into CUSTOMER values (:I, mod(:I, 20), cast('2020-01-01' as date) + mod(:I, 1500),\n"
        "      cast('ООО Торговый дом ' as varchar(100)) || :I, cast('(495) 123-' as varchar(50)) || mod(:I, 10000),\n"
        "      cast('ул. Садовая-Кудринская, д. ' as varchar(150)) || mod(:I, 200) || ', офис ' || mod(:I, 50),\n"
        "      'Москва', mod(:I, 80), 1, mod(:I, 7), mod(:I, 5),\n"
        "      iif(mod(:I, 3) = 0, '+', '-'), '-',\n"
        "      iif(mod(:I, 4) = 0, null, cast('Постоянный клиент, работаем с ' as varchar(200)) || (2000 + mod(:I, 20)) || ' года'),\n"
        "      0, 0, mod(:I, 4), cast('www.client' as varchar(50)) || :I || '.ru');\n"
        "  end\n"
        "end^\n"
        "SET TERM ; ^\n");
    db.execute(QString("execute procedure FILL_CUSTOMER %1").arg(rows));
    db.disconnect();
}

// Two opens on one attachment: time, memory, moves, locates and close.
void details(const fw::ConnectParams& params)
{
    fw::Database db(params);
    db.connect();
    fw::Query q(&db);
    q.setSql({"select *", "from Customer"});

    for (int run = 1; run <= 2; ++run) {
        malloc_trim(0);
        const size_t heap0 = heapBytes();
        const long rss0 = bench::rssKb();
        QElapsedTimer t;
        t.start();
        q.open();
        const qint64 openMs = t.elapsed();
        const size_t heap = heapBytes() - heap0;
        const long rss = bench::rssKb() - rss0;
        const int rows = q.recordCount();
        t.restart();
        q.last();
        const fw::Value lastId = q.fieldByName("IDCUST").value();
        const fw::Value lastCompany = q.fieldByName("COMPANY").value();
        q.first();
        const qint64 moveMs = t.elapsed();
        // Locate reads every row up to the match: the last row by number, by
        // text, and a partial text that matches nothing.
        t.restart();
        const bool found = q.locate("IDCUST", lastId) && q.locate("COMPANY", lastCompany)
            && !q.locate("COMPANY", "zzz", fw::LocateOption::PartialKey | fw::LocateOption::CaseInsensitive);
        const qint64 locateMs = t.elapsed();
        q.first();
        t.restart();
        q.close();
        const qint64 closeMs = t.elapsed();
        std::printf("run %d: rows %d, columns %d\n"
                    "  open:  %lld ms\n"
                    "  heap:  %.1f MB (%.0f bytes per row)\n"
                    "  rss:   +%.1f MB\n"
                    "  first/last: %lld ms, close: %lld ms\n"
                    "  three locates over all rows: %lld ms%s\n",
                    run, rows, q.fieldCount(), static_cast<long long>(openMs), double(heap) / 1048576.0,
                    rows > 0 ? double(heap) / rows : 0.0, double(rss) / 1024.0,
                    static_cast<long long>(moveMs), static_cast<long long>(closeMs),
                    static_cast<long long>(locateMs), found ? "" : "  (NOT FOUND)");
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir(QDir::tempPath() + "/brontal-bench-XXXXXX");
    QString path;
    if (argc >= 2) {
        path = QString::fromLocal8Bit(argv[1]);
    } else {
        path = dir.path() + "/dataset.fdb";
        QElapsedTimer g;
        g.start();
        generate(path, 100000);
        std::printf("generated 100000 rows in %lld ms\n", static_cast<long long>(g.elapsed()));
    }

    const fw::ConnectParams params = bench::params(path);
    details(params);   // detached after: the embedded engine lets one process open the file at a time

    int rows = 0;
    const auto ours = [&] {
        fw::Database db(params);
        db.connect();
        fw::Query q(&db);
        q.setSql({"select *", "from Customer"});
        QElapsedTimer t;
        t.start();
        q.open();
        const double ms = bench::ms(t);
        rows = q.recordCount();
        return ms;
    };
    const QString sql = "select *\nfrom Customer";
    const bench::Times t = bench::alternate(ours, [&] { return bench::floorMs(params, {sql}); },
                                            [&] { return bench::isqlMs(params, {sql}); });
    bench::ratio(QString("data set open, %1 rows").arg(rows), bench::engine(params.path), t);
    return 0;
}
