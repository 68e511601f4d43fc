// The data grid over a large data set, offscreen: open time of the query, time
// to the first paint of the grid, time to scroll to the last row, peak memory;
// the open and first paint against the floor (a bare isc_dsql_fetch loop in C)
// and isql-fb on the same statement.
//   bench_grid DATABASE            (a --demo 100000 database from brontal-db)
//   bench_grid --make DATABASE     (creates the database with its own 100 000 clients)
#include "BenchCommon.h"

#include "db/Database.h"
#include "db/DataSource.h"
#include "db/Query.h"
#include "widgets/DBGrid.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QScrollBar>
#include <cstdio>

namespace {

constexpr int kRows = 100000;   // what make() writes

void make(const fw::ConnectParams& p)
{
    QFile::remove(p.path);
    fw::Database::create(p);
    fw::Database db(p);
    db.connect();
    db.execute("create table CUSTOMER (IDCUST integer not null primary key, IDUSER integer, DATECR date,"
               " COMPANY varchar(100), FAX varchar(50), ADDRESS varchar(150), CITY varchar(50),"
               " IDREGION integer, IDCOUNTRY integer, IDREKLAMA integer, IDSEGMENT integer, POLZOV char(1),"
               " REGPOLZOV char(1), OTHER varchar(200), IDREKLAMA2 integer, IDSEGMENT2 integer,"
               " IDPERSP integer, WWW varchar(50))");
    // One statement: three crossed copies of 0..99 give the numbers 1..100000.
    db.execute("insert into CUSTOMER"
               " with recursive R (N) as (select 0 from rdb$database union all select N + 1 from R where N < 99),"
               " K (I) as (select A.N * 10000 + B.N * 100 + C.N + 1 from R A, R B, R C where A.N < 10)"
               " select I, mod(I, 20), cast('now' as date) - mod(I, 900), 'Company ' || I,"
               "  '+7 495 ' || (1000000 + I), 'Street ' || mod(I, 500) || ', ' || I, 'City ' || mod(I, 300),"
               "  mod(I, 80), mod(I, 10), mod(I, 12), mod(I, 9), iif(mod(I, 3) = 0, '+', '-'),"
               "  iif(mod(I, 7) = 0, '+', '-'), 'Note about client ' || I, 0, 0, mod(I, 4),"
               "  'www.client' || I || '.example'"
               " from K");
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool makeIt = args.removeAll("--make") > 0;
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: bench_grid [--make] DATABASE\n");
        return 2;
    }
    const fw::ConnectParams params = bench::params(args[0]);
    try {
        if (makeIt) {
            QElapsedTimer t;
            t.start();
            make(params);
            std::printf("made %d clients: %lld ms\n", kRows, static_cast<long long>(t.elapsed()));
        }
        fw::Database db(params);
        db.connect();
        fw::Query q(&db);
        q.setSql({"select * from Customer"});
        fw::DataSource src(&q);
        const long beforeKb = bench::peakKb();

        QElapsedTimer t;
        t.start();
        q.open();
        const double openMs = bench::ms(t);
        const long openedKb = bench::peakKb();

        fw::DBGrid grid;
        grid.resize(1200, 800);
        bool painted = false;
        struct PaintSpy : QObject {
            bool* flag;
            explicit PaintSpy(bool* f) : flag(f) {}
            bool eventFilter(QObject*, QEvent* e) override
            {
                if (e->type() == QEvent::Paint) *flag = true;
                return false;
            }
        } spy(&painted);
        grid.viewport()->installEventFilter(&spy);
        t.restart();
        grid.setDataSource(&src);
        grid.show();
        while (!painted) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        const double paintMs = bench::ms(t);

        t.restart();
        q.last();
        grid.viewport()->repaint();
        const qint64 lastMs = t.elapsed();
        const bool atLast = grid.currentIndex().row() == q.recordCount() - 1
            && grid.verticalScrollBar()->value() == grid.verticalScrollBar()->maximum();

        t.restart();
        for (int i = 0; i < 200; ++i) {
            grid.verticalScrollBar()->setValue(grid.verticalScrollBar()->maximum() * i / 200);
            grid.viewport()->repaint();
        }
        const qint64 pagesMs = t.elapsed();

        std::printf("rows: %d, columns: %d\n", q.recordCount(), grid.columnCount());
        std::printf("open:                  %.0f ms\n", openMs);
        std::printf("first paint:           %.0f ms\n", paintMs);
        std::printf("scroll to last row:    %lld ms%s\n", static_cast<long long>(lastMs),
                    atLast ? "" : "  (NOT at the last row)");
        std::printf("200 jumps and repaints: %lld ms\n", static_cast<long long>(pagesMs));
        std::printf("peak memory (VmHWM):   %ld kB (%ld kB before the open, %ld kB after it)\n", bench::peakKb(),
                    beforeKb, openedKb);
        const long peak = bench::peakKb();
        const double oursMs = openMs + paintMs;
        const int rows = q.recordCount();
        q.close();
        db.disconnect();   // the embedded engine lets one process open the file at a time
        const QString sql = "select * from Customer";
        std::vector<double> floor, isql;
        for (int i = 0; i < bench::runs(); ++i) {
            floor.push_back(bench::floorMs(params, {sql}));
            isql.push_back(bench::isqlMs(params, {sql}));
        }
        bench::ratio(QString("clients grid: open and first paint, %1 rows").arg(rows), bench::engine(params.path),
                     {oursMs, bench::median(floor), bench::median(isql)},
                     QString("ours: one run; floor and isql-fb: the fetch alone; peak memory %1 MiB").arg(peak / 1024));
        return atLast ? 0 : 1;
    } catch (const fw::Error& e) {
        std::fprintf(stderr, "bench_grid: %s\n", e.message().toUtf8().constData());
        return 1;
    }
}
