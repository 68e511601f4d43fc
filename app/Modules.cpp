#include "Modules.h"

#include "core/ModuleWindows.h"
#include "core/fmSettings.h"
#include "core/fmSetupList.h"
#include "core/fmSetupMy.h"
#include "core/fmUsers.h"

// The module windows that this program is built with.
void RegisterModules()
{
    TModuleWindows& m = ModuleWindows();
    (void)m;
    // users and rights
    ModuleWindows().Users = ModuleWindow(fmUsers);
    // settings
    ModuleWindows().Settings = ModuleWindow(fmSettings);
    ModuleWindows().SetupMy = [](QWidget* owner) { ShowSetupMy(owner); };
    // reference lists
    ModuleWindows().SetupList = ModuleWindow(fmSetupList);
}
