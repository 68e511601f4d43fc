#include "ModuleWindows.h"

QPointer<TfmKlient> fmKlient;
QPointer<TfmMSdelka> fmMSdelka;
QPointer<TfmZakaz> fmZakaz;
QPointer<TfmReport> fmReport;
QPointer<TfmSetupList> fmSetupList;
QPointer<TfmSettings> fmSettings;
QPointer<TfmUsers> fmUsers;

TModuleWindows& ModuleWindows()
{
    static TModuleWindows hooks;
    return hooks;
}
