// The whole program, offscreen, with the clients window open on a large
// database: the user logs in, opens "Клиенты" and searches with no conditions.
// Prints the time from the menu pick to the painted list and the peak memory;
// the time against the floor (a bare isc_dsql_fetch loop in C) and isql-fb
// fetching every client.
//   bench_clients DATABASE     (a --demo 100000 database from brontal-db; host:path for a server)
#include "BenchCommon.h"

#include "../app/Modules.h"
#include "clients/dmKl.h"
#include "clients/KlientQuery.h"
#include "clients/fmKlient.h"
#include "core/dm.h"
#include "core/dmUsers.h"
#include "core/fmLogin.h"
#include "core/fmMain.h"
#include "core/fmSplash.h"
#include "core/ModuleWindows.h"
#include "os/UserSettings.h"
#include "widgets/DBLookupCombo.h"
#include "widgets/ExceptionHandler.h"

#include <QDialog>
#include <QDir>
#include <QPushButton>
#include <QToolButton>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>

namespace {

template <class Done>
bool waitFor(Done done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// The first department and its first user, as a person picks them.
void login(TfmLogin& f)
{
    f.dblcOtdel->setKeyValue(dm->qryOtdel.fieldByName("IDOTDEL").value());
    emit f.dblcOtdel->activated();
    dm->qryUser.first();
    f.dblcUser->setKeyValue(dm->qryUser.fieldByName("IDUSER").value());
    emit f.dblcUser->activated();
    f.btnOk->click();
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // The program reads a single argument as nothing; the database comes from BR.INI.
    fw::Application app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_clients DATABASE\n");
        return 2;
    }
    const QString arg = QString::fromLocal8Bit(argv[1]);
    const bool embedded = fw::isEmbeddedPath(arg);
    const QString path = embedded ? QDir(arg).absolutePath() : arg;
    QTemporaryDir dir;
    QFile ini(dir.filePath("BR.INI"));
    if (!ini.open(QIODevice::WriteOnly)) return 1;
    const qsizetype colon = path.indexOf(':');
    ini.write((embedded ? "[Setup]\nDataBaseDir=" + path + "\n"
                        : "[Setup]\nProtocol=TCP/IP\nServerName=" + path.left(colon) + "\nDataBaseDir="
                              + path.mid(colon + 1) + "\n")
                  .toUtf8());
    ini.close();
    fw::UserSettingsScope settings(dir.filePath("user.ini"));

    FixFormatSettings();
    auto users = std::make_unique<TdmUsers>();
    dmUsers = users.get();
    RegisterModules();
    fmMain = new TfmMain;
    auto data = std::make_unique<Tdm>();
    dm = data.get();
    dm->programDir = dir.path();
    fmSplash = new TfmSplash;

    // Modal dialogs are answered from the event loop they run: the login as a
    // person would, every question ("Проверить невыполненные планы?") with no.
    bool answered = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* f = qobject_cast<TfmLogin*>(modal)) {
            if (!answered) login(*f);
            answered = true;
        } else if (auto* d = qobject_cast<QDialog*>(modal)) {
            d->reject();
        }
    });
    poll.start(20);
    const long startKb = bench::peakKb();
    fmMain->show();
    if (!waitFor([] { return fmMain->IsLogged; }, 60000)) {
        std::fprintf(stderr, "bench_clients: the login did not succeed\n");
        return 1;
    }
    const long loggedKb = bench::peakKb();
    const long loggedRss = bench::rssKb();
    std::printf("engine cache: %d pages\n", dm->db.selectValue("select mon$page_buffers from mon$database").asInt());

    QElapsedTimer t;
    t.start();
    fmMain->mmiKlient->trigger();
    // The window opens without a list: a search with no conditions lists every client.
    if (waitFor([] { return fmKlient && fmKlient->isVisible(); }, 60000)) {
        fmKlient->KlientQuery->SBClear->click();
        fmKlient->KlientQuery->btnZQuery->click();
    }
    const bool open = waitFor([] { return fmKlient && dmKl && dmKl->qryCust.active(); }, 120000);
    QCoreApplication::processEvents();
    const double openMs = bench::ms(t);
    if (!open) {
        std::fprintf(stderr, "bench_clients: the clients window did not open (window %d, data %d, list %d)\n",
                     fmKlient ? 1 : 0, dmKl ? 1 : 0, dmKl && dmKl->qryCust.active() ? 1 : 0);
        return 1;
    }
    const int rows = dmKl->qryCust.recordCount();
    const long peak = bench::peakKb();
    std::printf("clients listed: %d\n", rows);
    std::printf("memory in use (VmRSS): %ld kB more than after the login\n", bench::rssKb() - loggedRss);
    std::printf("menu pick to painted list: %.0f ms\n", openMs);
    std::printf("peak memory (VmHWM): %ld kB (%ld kB at start, %ld kB after the login)\n", peak, startKb, loggedKb);

    fmMain->ExitWithoutQuestions();
    QCoreApplication::processEvents();
    delete fmMain;
    const fw::ConnectParams p = bench::params(path);
    const QString sql = "select * from Customer";
    std::vector<double> floor, isql;
    for (int i = 0; i < bench::runs(); ++i) {
        floor.push_back(bench::floorMs(p, {sql}));
        isql.push_back(bench::isqlMs(p, {sql}));
    }
    bench::ratio(QString("clients window, whole program, %1 clients").arg(rows), bench::engine(path),
                 {openMs, bench::median(floor), bench::median(isql)},
                 QString("ours: one run; floor and isql-fb: the fetch alone; peak memory %1 MiB").arg(peak / 1024));
    return 0;
}
