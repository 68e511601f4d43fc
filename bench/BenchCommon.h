#pragma once
// What the benchmarks share: peak memory, the engine a path goes to, the floor
// of a fetch (a bare isc_dsql_fetch loop in C), timed isql-fb runs on the same
// database, medians of alternating runs and the ratio lines bench/run.sh gathers.
#include "Floor.h"

#include "db/Database.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sys/resource.h>
#include <vector>

namespace bench {

// The most memory this process has held, in kB.
inline long peakKb()
{
    QFile f("/proc/self/status");
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

// The memory this process holds now, in kB: the heap and the mapped chunks rows live in.
inline long rssKb()
{
    QFile f("/proc/self/status");
    if (!f.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
    return 0;
}

// The most memory any finished child (an isql-fb run) has held, in kB; a child
// counts what it was forked with, so this is only isql-fb's before large allocations.
inline long childPeakKb()
{
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return u.ru_maxrss;
}

// "embedded" for a file the engine in this process opens, "server" for host:path.
inline QString engine(const QString& path)
{
    return fw::isEmbeddedPath(path) ? "embedded" : "server";
}

// A benchmark's database: SYSDBA with the server's password.
inline fw::ConnectParams params(const QString& path)
{
    fw::ConnectParams p;
    p.path = path;
    p.user = "SYSDBA";
    p.password = qEnvironmentVariable("ISC_PASSWORD", "quillbent");
    return p;
}

// Milliseconds since t started, to the nanosecond.
inline double ms(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

// The bare fetch of the statements on an attachment of its own with our
// parameters, timed as ours is: from after the attach to the commit.
inline double floorMs(const fw::ConnectParams& p, const QStringList& statements, long* rows = nullptr)
{
    std::vector<QByteArray> texts;
    std::vector<const char*> pointers;
    for (const QString& s : statements) texts.push_back(fw::encodeSql(s));
    for (const QByteArray& t : texts) pointers.push_back(t.constData());
    floor_run run{};
    if (floor_fetch(QFile::encodeName(p.path).constData(), p.user.toUtf8().constData(),
                    p.password.toUtf8().constData(), "NONE", pointers.data(),
                    int(pointers.size()), &run)
        != 0) {
        std::fprintf(stderr, "floor fetch failed: %s\n", run.error);
        std::exit(1);
    }
    if (rows) *rows = run.rows;
    return run.ms;
}

// Runs the statements in isql-fb (dialect 1, output to /dev/null) on the
// database the caller has detached from; returns the wall time in ms.
inline double isqlRunMs(const fw::ConnectParams& p, const QStringList& statements)
{
    QString script = "SET SQL DIALECT 1;\n";
    for (const QString& s : statements) script += s + ";\n";
    QProcess isql;
    isql.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer t;
    t.start();
    isql.start("isql-fb", {"-b", "-q", "-user", p.user, "-password", p.password, "-ch", "NONE", p.path});
    isql.write(fw::encodeSql(script));
    isql.closeWriteChannel();
    if (!isql.waitForFinished(-1) || isql.exitCode() != 0) {
        std::fprintf(stderr, "isql-fb failed: %s\n", isql.readAllStandardError().constData());
        std::exit(1);
    }
    return ms(t);
}

// isql-fb's time for the statements less that of a run of one empty select:
// without its own start, attach and detach, as the floor and ours are timed.
inline double isqlMs(const fw::ConnectParams& p, const QStringList& statements)
{
    const double all = isqlRunMs(p, statements);
    const double empty = isqlRunMs(p, {"select 1 from rdb$database"});
    return std::max(all - empty, 0.0);
}

inline double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// How many alternating runs a comparison takes (BRONTAL_BENCH_RUNS, default 3).
inline int runs()
{
    const int n = qEnvironmentVariableIntValue("BRONTAL_BENCH_RUNS");
    return n > 0 ? n : 3;
}

// Medians of runs; a reference that is not measured stays negative.
struct Times {
    double ours = 0;
    double floor = -1;
    double isql = -1;
};

// Ours, the floor and isql-fb in turn, runs() times; the medians. An empty
// function is not measured.
inline Times alternate(const std::function<double()>& ours, const std::function<double()>& floor,
                       const std::function<double()>& isql)
{
    std::vector<double> a, b, c;
    for (int i = 0; i < runs(); ++i) {
        a.push_back(ours());
        if (floor) b.push_back(floor());
        if (isql) c.push_back(isql());
    }
    return {median(a), floor ? median(b) : -1, isql ? median(c) : -1};
}

// One line of the table bench/run.sh prints:
// work (with its engine) | ours | floor | ours/floor | isql-fb | ours/isql-fb | note.
inline void ratio(const QString& work, const QString& engine, const Times& t, const QString& note = {})
{
    auto time = [](double ms) { return ms < 0 ? QString("-") : QString::number(ms / 1000.0, 'f', 3) + " s"; };
    auto part = [&t](double ref) { return ref <= 0 ? QString("-") : QString::number(t.ours / ref, 'f', 2); };
    std::printf("RATIO|%s, %s|%s|%s|%s|%s|%s|%s\n", work.toUtf8().constData(), engine.toUtf8().constData(),
                time(t.ours).toUtf8().constData(), time(t.floor).toUtf8().constData(),
                part(t.floor).toUtf8().constData(), time(t.isql).toUtf8().constData(),
                part(t.isql).toUtf8().constData(), note.toUtf8().constData());
    std::fflush(stdout);
}

} // namespace bench
