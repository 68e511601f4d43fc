#include "Modules.h"

#include "core/ModuleWindows.h"

// The module windows that this program is built with.
void RegisterModules()
{
    TModuleWindows& m = ModuleWindows();
    (void)m;
    // users and rights
    // settings
    // reference lists
}
