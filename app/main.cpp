#include "Modules.h"

#include "core/dm.h"
#include "core/dmUsers.h"
#include "core/fmMain.h"
#include "core/fmSplash.h"

#include "widgets/DBControls.h"
#include "widgets/Dialogs.h"
#include "widgets/ExceptionHandler.h"

#include <QSocketNotifier>
#include <QTimer>
#include <QLibraryInfo>
#include <QTranslator>
#include <memory>

#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

namespace {

// SIGTERM and SIGINT reach the event loop through a pipe: a handler may do
// nothing but write to it.
int signalPipe[2] = {-1, -1};

void onTerminationSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &c, 1);
}

void setTerminationSignalsBlocked(bool blocked)
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    pthread_sigmask(blocked ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}

void installTerminationHandlers()
{
    struct sigaction sa {};
    sa.sa_handler = onTerminationSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
}

// The database engine puts its own handlers in place when it first attaches,
// and they would end the program on their own terms. While a connect runs the
// signals wait (the engine's threads, started then, keep them blocked for
// good); afterwards ours are back in place and take what waited.
void restoreTerminationHandlers()
{
    installTerminationHandlers();
    setTerminationSignalsBlocked(false);
}

void guardConnects(fw::Database& db)
{
    db.beforeConnect = [next = db.beforeConnect](fw::Database& d) {
        setTerminationSignalsBlocked(true);
        // Also when the connect fails and afterConnect never comes.
        QTimer::singleShot(0, [] { restoreTerminationHandlers(); });
        if (next) next(d);
    };
    db.afterConnect = [](fw::Database&) { restoreTerminationHandlers(); };
}

} // namespace

int main(int argc, char** argv)
{
    fw::Application app(argc, argv);
    QCoreApplication::setOrganizationName("Tolmar");
    QCoreApplication::setApplicationName("Brontal");
    QCoreApplication::setApplicationVersion(BRONTAL_VERSION);
    fw::installLengthNotices();

    // Qt's own dialogs (file choice, message box buttons) speak Russian like the rest.
    QTranslator qtRussian;
    if (qtRussian.load(QLocale(QLocale::Russian, QLocale::Russia), "qtbase", "_",
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtRussian);

    std::unique_ptr<QSocketNotifier> notifier;
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        notifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, [] {
            char buf[16];
            while (::read(signalPipe[0], buf, sizeof buf) > 0) {}
            if (fmMain) fmMain->ExitWithoutQuestions();
            else QCoreApplication::exit(0);
        });
        installTerminationHandlers();
    }

    // Before any window: fixed formats, then the users data module.
    FixFormatSettings();
    std::unique_ptr<TdmUsers> users(new TdmUsers);
    dmUsers = users.get();

    fw::setApplicationTitle("Brontal");
    RegisterModules();

    // The main window frees itself when closed, which ends the loop.
    fmMain = new TfmMain;
    std::unique_ptr<Tdm> data(new Tdm);
    dm = data.get();
    if (notifier) guardConnects(dm->db);
    fmSplash = new TfmSplash;
    fmMain->show();
    const int rc = app.exec();
    delete fmMain;
    return rc;
}
