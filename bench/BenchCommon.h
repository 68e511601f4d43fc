#pragma once
// What the benchmarks share: peak memory, timed isql-fb runs on the same file,
// medians of alternating runs and the ratio lines bench/run.sh gathers.
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

// The most memory any finished child (an isql-fb run) has held, in kB; a child
// counts what it was forked with, so this is only isql-fb's before large allocations.
inline long childPeakKb()
{
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return u.ru_maxrss;
}

// Runs the statements in isql-fb (dialect 1, output to /dev/null) on the
// database the caller has detached from; returns the wall time in ms.
inline qint64 isqlMs(const QString& path, const QStringList& statements)
{
    QString script = "SET SQL DIALECT 1;\n";
    for (const QString& s : statements) script += s + ";\n";
    QProcess isql;
    isql.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer t;
    t.start();
    isql.start("isql-fb", {"-b", "-q", "-user", "SYSDBA", "-password", "quillbent", "-ch", "UTF8", path});
    isql.write(script.toUtf8());
    isql.closeWriteChannel();
    if (!isql.waitForFinished(-1) || isql.exitCode() != 0) {
        std::fprintf(stderr, "isql-fb failed: %s\n", isql.readAllStandardError().constData());
        std::exit(1);
    }
    return t.elapsed();
}

inline qint64 median(std::vector<qint64> v)
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

struct Pair {
    qint64 ours = 0;
    qint64 isql = 0;
};

// Medians of alternating runs: ours, then isql-fb, runs() times.
inline Pair alternate(const std::function<qint64()>& ours, const std::function<qint64()>& isql)
{
    std::vector<qint64> a, b;
    for (int i = 0; i < runs(); ++i) {
        a.push_back(ours());
        b.push_back(isql());
    }
    return {median(a), median(b)};
}

// One line of the table bench/run.sh prints: work | ours | isql-fb | ratio.
inline void ratio(const QString& work, qint64 oursMs, qint64 isqlMs, const QString& note = {})
{
    std::printf("RATIO|%s|%.2f s|%.2f s|%.2f|%s\n", work.toUtf8().constData(), double(oursMs) / 1000.0,
                double(isqlMs) / 1000.0, isqlMs > 0 ? double(oursMs) / double(isqlMs) : 0.0,
                note.toUtf8().constData());
    std::fflush(stdout);
}

} // namespace bench
