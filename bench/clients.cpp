// The whole program, offscreen, with the clients window open on a large
// database: the user logs in, opens "Клиенты" and searches with no conditions.
// Prints the time from the menu pick to the painted list and the peak memory.
//   bench_clients DATABASE     (a --demo 100000 database from brontal-db)
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
#include <malloc.h>
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
    const QString path = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QTemporaryDir dir;
    QFile ini(dir.filePath("BR.INI"));
    if (!ini.open(QIODevice::WriteOnly)) return 1;
    ini.write(("[Setup]\nDataBaseDir=" + path + "\n").toUtf8());
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
    const size_t loggedHeap = mallinfo2().uordblks;
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
    const qint64 openMs = t.elapsed();
    if (!open) {
        std::fprintf(stderr, "bench_clients: the clients window did not open (window %d, data %d, list %d)\n",
                     fmKlient ? 1 : 0, dmKl ? 1 : 0, dmKl && dmKl->qryCust.active() ? 1 : 0);
        return 1;
    }
    const int rows = dmKl->qryCust.recordCount();
    const long peak = bench::peakKb();
    std::printf("clients listed: %d\n", rows);
    std::printf("heap in use: %zu kB more than after the login\n", (mallinfo2().uordblks - loggedHeap) / 1024);
    std::printf("menu pick to painted list: %lld ms\n", static_cast<long long>(openMs));
    std::printf("peak memory (VmHWM): %ld kB (%ld kB at start, %ld kB after the login)\n", peak, startKb, loggedKb);

    fmMain->ExitWithoutQuestions();
    QCoreApplication::processEvents();
    delete fmMain;
    bench::ratio(QString("clients window, whole program, %1 clients").arg(rows), openMs,
                 bench::isqlMs(path, {"select * from Customer"}),
                 QString("isql-fb: the raw fetch; peak memory %1 MiB").arg(peak / 1024));
    return 0;
}
