// brontal-db: makes a database of the current format (or of the previous one,
// for the converter's tests), with generated demo data on request.

#include "core/schema/DemoData.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

namespace {

void say(const QString& text)
{
    std::fputs((text + "\n").toUtf8().constData(), stderr);
}

// "host:path" goes through a server; anything else is a file for the embedded engine.
bool isServerPath(const QString& path)
{
    const qsizetype colon = path.indexOf(':');
    return colon > 0 && !path.left(colon).contains('/');
}

void dropQuietly(const fw::ConnectParams& p)
{
    try {
        fw::Database db(p);
        db.connect();
        db.drop();
    } catch (const fw::Error&) {
    }
}

QString seconds(const QElapsedTimer& t) { return QString::number(double(t.elapsed()) / 1000.0, 'f', 1) + " s"; }

// Says how far a fill got, about twenty times in all.
schema::DemoProgress reporter(const QString& what, int total, const QElapsedTimer& timer)
{
    const int step = std::max(total / 20, 1);
    return [what, step, &timer, shown = 0](int done, int all) mutable {
        if (done - shown < step && done != all) return;
        shown = done;
        say(QString("brontal-db: %1 of %2 %3 (%4)").arg(done).arg(all).arg(what, seconds(timer)));
    };
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("brontal-db");

    QCommandLineParser parser;
    parser.setApplicationDescription("Creates a Brontal database:\n"
                                     "  brontal-db create PATH [--format 6] [--demo N [--payments M]] [--seed S]\n"
                                     "PATH is a file (embedded engine) or host:path (server, user SYSDBA).");
    parser.addHelpOption();
    parser.addPositionalArgument("create", "The command.");
    parser.addPositionalArgument("PATH", "The database to create.");
    const QCommandLineOption formatOption("format", "Database format: 7 (default) or 6.", "N", "7");
    const QCommandLineOption demoOption("demo", "Add N generated clients with their details.", "N", "0");
    const QCommandLineOption paymentsOption(
        "payments", "Add M payments over two years to a quarter of the demo clients.", "M", "0");
    const QCommandLineOption seedOption("seed", "Seed of the generated data (default 1).", "S", "1");
    const QCommandLineOption passwordOption(
        "password", "SYSDBA password for a server (default: $ISC_PASSWORD, else the installation's default).", "P");
    const QCommandLineOption forceOption("force", "Replace an existing database file.");
    parser.addOptions({formatOption, demoOption, paymentsOption, seedOption, passwordOption, forceOption});
    parser.process(app);

    const QStringList args = parser.positionalArguments();
    if (args.size() != 2 || args[0] != "create") {
        say("brontal-db: expected: create PATH (see --help)");
        return 2;
    }
    bool formatOk = false, demoOk = false, paymentsOk = false, seedOk = false;
    const int format = parser.value(formatOption).toInt(&formatOk);
    const int demo = parser.value(demoOption).toInt(&demoOk);
    const int payments = parser.value(paymentsOption).toInt(&paymentsOk);
    const quint32 seed = parser.value(seedOption).toUInt(&seedOk);
    if (!formatOk || (format != schema::CurrentFormat && format != schema::PreviousFormat)) {
        say("brontal-db: --format must be 6 or 7");
        return 2;
    }
    if (!demoOk || demo < 0 || !paymentsOk || payments < 0 || !seedOk) {
        say("brontal-db: --demo, --payments and --seed take non-negative whole numbers");
        return 2;
    }
    if (payments > 0 && demo == 0) {
        say("brontal-db: --payments needs --demo clients to pay");
        return 2;
    }

    fw::ConnectParams p;
    p.user = "SYSDBA";
    // Nothing is synced to disk while the file is made and filled; the last attach switches it back.
    p.forcedWrites = false;
    const bool server = isServerPath(args[1]);
    if (server) {
        p.path = args[1];
        p.password = parser.isSet(passwordOption) ? parser.value(passwordOption)
                                                  : qEnvironmentVariable("ISC_PASSWORD", "quillbent");
    } else {
        p.path = QFileInfo(args[1]).absoluteFilePath();
    }

    try {
        if (server) {
            if (parser.isSet(forceOption)) dropQuietly(p);
        } else if (QFileInfo::exists(p.path)) {
            if (!parser.isSet(forceOption)) {
                say("brontal-db: " + p.path + " exists; --force replaces it");
                return 1;
            }
            if (!QFile::remove(p.path)) {
                say("brontal-db: cannot remove " + p.path);
                return 1;
            }
        }

        QElapsedTimer timer;
        timer.start();
        schema::createDatabase(p, format);
        say(QString("brontal-db: created %1, format %2 (%3)").arg(p.path).arg(format).arg(seconds(timer)));

        if (demo > 0) {
            try {
                fw::Database db(p);
                db.connect();
                schema::fillDemo(db, demo, seed, reporter("clients", demo, timer));
                if (payments > 0) schema::fillPayments(db, payments, seed, reporter("payments", payments, timer));
                db.disconnect();
            } catch (...) {
                // Leave nothing half-filled behind.
                dropQuietly(p);
                throw;
            }
            say(QString("brontal-db: demo data written (%1)").arg(seconds(timer)));
        }
        fw::ConnectParams synced = p;
        synced.forcedWrites = true;
        fw::Database last(synced);
        last.connect();
        last.disconnect();
    } catch (const fw::Error& e) {
        say("brontal-db: " + e.message());
        return 1;
    }
    return 0;
}
