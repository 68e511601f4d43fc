#include "Modules.h"

#include "clients/fmKlient.h"
#include "core/ModuleWindows.h"
#include "core/fmSettings.h"
#include "core/fmSetupList.h"
#include "core/fmSetupMy.h"
#include "core/fmUsers.h"
#include "deals/fmMSdelka.h"
#include "deals/fmZakaz.h"
#include "reports/fmReport.h"

// The module windows that this program is built with.
void RegisterModules()
{
    TModuleWindows& m = ModuleWindows();
    m.Users = ModuleWindow(fmUsers);
    m.Settings = ModuleWindow(fmSettings);
    m.SetupMy = [](QWidget* owner) { ShowSetupMy(owner); };
    m.SetupList = ModuleWindow(fmSetupList);
    m.MSdelka = ModuleWindow(fmMSdelka);
    m.Report = ModuleWindow(fmReport);
    RegisterKlientModule();
    RegisterZakazModule();
}
