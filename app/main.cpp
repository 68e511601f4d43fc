#include "Modules.h"

#include "core/dm.h"
#include "core/dmUsers.h"
#include "core/fmMain.h"
#include "core/fmSplash.h"

#include "widgets/Dialogs.h"
#include "widgets/ExceptionHandler.h"

#include <QSocketNotifier>
#include <memory>

#include <csignal>
#include <fcntl.h>
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

// The database engine puts its own handlers in place when it first attaches,
// and they keep the program running: ours go back in after every connect.
void installTerminationHandlers()
{
    struct sigaction sa {};
    sa.sa_handler = onTerminationSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
}

} // namespace

int main(int argc, char** argv)
{
    fw::Application app(argc, argv);
    QCoreApplication::setOrganizationName("Tolmar");
    QCoreApplication::setApplicationName("Brontal");
    QCoreApplication::setApplicationVersion(BRONTAL_VERSION);

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
    if (notifier) dm->db.afterConnect = [](fw::Database&) { installTerminationHandlers(); };
    fmSplash = new TfmSplash;
    fmMain->show();
    const int rc = app.exec();
    delete fmMain;
    return rc;
}
