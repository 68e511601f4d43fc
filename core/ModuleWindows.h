#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>

// The module windows are single instances; a destroyed window reads as nil.
class TfmKlient;
class TfmMSdelka;
class TfmZakaz;
class TfmReport;
class TfmSetupList;
class TfmSettings;
class TfmUsers;

namespace fw {
class DataSource;
class Query;
}

extern QPointer<TfmKlient> fmKlient;
extern QPointer<TfmMSdelka> fmMSdelka;
extern QPointer<TfmZakaz> fmZakaz;
extern QPointer<TfmReport> fmReport;
extern QPointer<TfmSetupList> fmSetupList;
extern QPointer<TfmSettings> fmSettings;
extern QPointer<TfmUsers> fmUsers;

// A child window that may refuse to close. The main window asks every child
// before it closes any, so a refusal leaves all of them open.
class TCloseQuery {
public:
    virtual ~TCloseQuery() = default;
    virtual bool FormCloseQuery() = 0;   // false refuses
};

// How the main window reaches one module's window: the module fills it in
// when it is linked into the program (see ModuleWindow below).
struct TModuleWindow {
    std::function<QWidget*()> window;                  // its global; nullptr while there is none
    std::function<QWidget*(QWidget* owner)> create;    // creates it and stores it in its global
    explicit operator bool() const { return window && create; }
};

// The hooks of the main window's module items. An empty hook makes its item
// open nothing.
struct TModuleWindows {
    TModuleWindow Klient;
    TModuleWindow MSdelka;
    TModuleWindow Report;
    TModuleWindow SetupList;
    TModuleWindow Settings;
    TModuleWindow Users;
    // The mailing window, and what its item does after showing it: all clients
    // (IdCust 0) and OpenOrders(-1). Nothing is done while a mailing is sent.
    TModuleWindow Zakaz;
    std::function<bool()> ZakazSending;
    std::function<void(QWidget* window)> ZakazOpenAll;
    // The personal settings dialog: create with that owner, show modally, free.
    std::function<void(QWidget* owner)> SetupMy;
    // The clients window's card entry: client, row to locate, contact (0: none)
    // and the card's sub-page by object name (empty: keep it).
    std::function<bool(int idCust, int idRecord, int idContacts, const QString& page)> GoToKar;
};

TModuleWindows& ModuleWindows();

// The client data module's sets that the deal windows work with, filled in by the module while it
// exists (all null otherwise): the clients window's selection, whose current row is the current
// client, and that client's contracts and history.
struct TKlientSets {
    fw::Query* qryCust = nullptr;
    fw::Query* qryDog = nullptr;
    fw::DataSource* dsDog = nullptr;
    fw::Query* qryHist = nullptr;
};

TKlientSets& KlientSets();

// "На карточку" of the lists outside the clients window: the card when that
// window is open, else the warning "Модуль Клиенты не открыт!".
bool GoToKarFromList(int idCust, int idRecord, int idContacts, const QString& page);

// The hook for a window class T held in global: new T(owner) on first use.
template <class T>
TModuleWindow ModuleWindow(QPointer<T>& global)
{
    return {[&global]() -> QWidget* { return global.data(); },
            [&global](QWidget* owner) -> QWidget* {
                global = new T(owner);
                return global.data();
            }};
}
