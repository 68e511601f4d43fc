#include "Modules.h"

#include "core/dm.h"
#include "core/dmUsers.h"
#include "core/fmMain.h"
#include "core/fmSplash.h"

#include "widgets/Dialogs.h"
#include "widgets/ExceptionHandler.h"

#include <QLibraryInfo>
#include <QTranslator>
#include <memory>

int main(int argc, char** argv)
{
    fw::Application app(argc, argv);
    QCoreApplication::setOrganizationName("Tolmar");
    QCoreApplication::setApplicationName("Brontal");
    QCoreApplication::setApplicationVersion(BRONTAL_VERSION);

    // Qt's own dialogs (file choice, message box buttons) speak Russian like the rest.
    QTranslator qtRussian;
    if (qtRussian.load(QLocale(QLocale::Russian, QLocale::Russia), "qtbase", "_",
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtRussian);

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
    fmSplash = new TfmSplash;
    fmMain->show();
    const int rc = app.exec();
    delete fmMain;
    return rc;
}
