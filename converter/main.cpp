#include "dm.h"
#include "fmMain.h"

#include "widgets/Dialogs.h"
#include "widgets/ExceptionHandler.h"

int main(int argc, char** argv)
{
    fw::Application app(argc, argv);
    QCoreApplication::setApplicationName("Kestrup");
    QCoreApplication::setApplicationVersion("1.7.0.0");
    fw::setApplicationTitle("Конвертер 17");

    kestrup::fmMain = new kestrup::TfmMain;
    kestrup::fmMain->setAttribute(Qt::WA_DeleteOnClose);
    kestrup::Tdm dataModule;
    kestrup::dm = &dataModule;
    kestrup::fmMain->show();
    const int rc = app.exec();
    kestrup::dm = nullptr;
    return rc;
}
