#include "ModuleWindows.h"

#include "widgets/Dialogs.h"

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

TKlientSets& KlientSets()
{
    static TKlientSets sets;
    return sets;
}

bool GoToKarFromList(int idCust, int idRecord, int idContacts, const QString& page)
{
    TModuleWindows& m = ModuleWindows();
    if (fmKlient.isNull() || !m.GoToKar) {
        fw::dialogs().warning("Модуль Клиенты не открыт!");
        return false;
    }
    return m.GoToKar(idCust, idRecord, idContacts, page);
}
