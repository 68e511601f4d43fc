#pragma once

#include "clients/Budil.h"
#include "clients/KlientCard.h"
#include "clients/KlientHost.h"
#include "clients/KlientPages.h"
#include "core/ModuleWindows.h"

#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

class QAction;
class QMenu;
class QMenuBar;
class QScrollArea;
class QTabWidget;
class QToolBar;
class QToolButton;
class TKlientCalendar;
class TKlientGroups;
class TKlientMerge;
class TKlientQuery;

namespace fw {
class DataSet;
class DBGrid;
class DBRadioGroup;
}

// The clients window: the client card with its contacts and detail pages, the
// client list, the calendar and the search page, all over dmKl, which the
// window creates first and frees last. Other windows reach a client card
// through GoToKar.
class TfmKlient : public QWidget, public TKlientHost, public TCloseQuery {
    Q_OBJECT
public:
    explicit TfmKlient(QWidget* owner = nullptr);
    ~TfmKlient() override;

    // The card entry: client, row to locate on the given sub-page (tsHist,
    // tsPlan, tsSdelka), contact (0: keep). False, after its message, when the
    // client is missing or invisible.
    bool GoToKar(int idCust, int idRecord, int idContacts, QWidget* page = nullptr);
    // The same with the sub-page given by object name ("tsSdelka", "tsHist", ...).
    bool GoToKarByName(int idCust, int idRecord, int idContacts, const QString& pageName);
    // The mailing window for the current client; a non-empty address adds an order.
    void ShowZakaz(const QString& address);
    // Edits the current row of a history or plan data set in the plan dialog;
    // true on OK (the caller posts or cancels).
    bool EditHistRecord(fw::DataSet& ds);
    void DialNumber(const QString& number, const QString& calledParty);
    void ShowMyClients();

    // TKlientHost
    void CloseDetails() override;
    void OpenDetails() override;
    void ApplyHistFilter() override;
    bool LinkNewRecordsToContact() const override;
    bool ShowOnlyCurrentContact() const override;
    bool CalendarPageActive() const override;
    void SetListPageCaption(const QString& caption) override;
    void SetCalendarPageCaption(const QString& caption) override;
    void StartBudilCheck() override;
    void SetCardComboAttached(const QString& comboName, bool attached) override;

    // TCloseQuery: refused while a reminder check runs.
    bool FormCloseQuery() override;
    bool BudilRunning() const;
    // A dialog other than the reminder is open, or mail is being sent: the reminder waits.
    static bool IsModalBusy() { return TBudilCheck::IsModalBusy(); }

    // Menu "Клиенты".
    QMenuBar* mmKlient;
    QMenu* mmiKlient;
    QMenu* mmiBudil;
    QAction* mmiBudilCheck;          // "Проверять (5мин)"
    QAction* mmiBudilCheckNow;       // "Проверить сейчас"
    QMenu* mmiMerge;                 // "Объединение"
    QAction* mmiMergeFrom;           // "Откуда"
    QAction* mmiMergeTo;             // "Куда"
    QMenu* mmiHistPlan;
    QAction* mmiLinkNewRecords;      // "Связывать новые записи с текущим контактным лицом"
    QAction* mmiLinkRecord;          // "Связать запись с текущим контактным лицом"
    QAction* mmiOnlyMyRecords;       // "Показывать только свои записи"
    QAction* mmiOnlyCurContact;      // "Показывать записи только по текущему контактному лицу"
    QMenu* mmiContacts;
    QAction* mmiOnlyMyContacts;      // "Показывать только свои контактные лица"
    QMenu* mmiGrOper;                // "Групповые операции"
    QAction* mmiGrOperHist;
    QAction* mmiGrOperPlan;
    QAction* mmiGrOperGlGroup;
    QAction* mmiGrOperLocGroup;
    QAction* mmiGrOperSdelka;
    QAction* mmiGrOperEmail;
    QAction* mmiExpDetal;            // "Детальный экспорт..."
    QAction* mmiCustomField;         // "Настройка полей..."
    QAction* mmiImport;              // "Импорт..."

    QTabWidget* pcMain;
    QWidget* tsKar;
    QWidget* tsKlList;
    QWidget* tsCal;
    QWidget* tsQuery;

    // The card's contents scroll inside its page.
    QScrollArea* scrlboxKar;
    QWidget* pnlKar;

    // The card's upper area: the company and its contact person (KlientCard.h).
    TKlientCard* KlientCard;

    // The card's sub-pages, each its own class (KlientPages.h), and "Прочее" with the
    // user-defined fields' edits.
    QTabWidget* pcDown;
    THistPage* tsHist;
    THistPage* tsPlan;
    TContactsPage* tsContacts;
    TInfoPage* tsInfo;
    QWidget* tsOther;
    QScrollArea* scrlboxOther;
    QWidget* tsGroup;
    TSalesPage* tsSales;
    TSdelkaPage* tsSdelka;
    TDogPage* tsDog;

    // The membership kind of "Группы": "Общие" 0, "Личные" 1 (on KlientGroups).
    fw::DBRadioGroup* rgGroup;

    // The list page.
    QToolBar* tbrCust;
    QToolButton* ToolButton21;       // "Количество"
    QToolButton* tbCustExport;       // "Экспорт"
    fw::DBGrid* dbgCust;

    // The pages of other classes.
    TKlientQuery* KlientQuery;
    TKlientCalendar* KlientCalendar;
    TBudilCheck* BudilCheck;
    TKlientGroups* KlientGroups;
    TKlientMerge* KlientMerge;

    // Handlers.
    void FormCreate();
    void FormClose();
    void FormDestroy();
    void pcMainChange();
    void pcDownChange();
    void tsKarShow();
    void tbNewCustClick();
    void mmiLinkRecordClick();
    void mmiOnlyMyContactsClick();
    // The "Группы" page: its lists for the chosen kind, and its buttons by the rights.
    void OpenGroupList();
    void UpdateGroupButtons();
    void GrOperClick(int kind);
    void tbCustExportClick();
    void mmiExpDetalClick();
    void mmiImportClick();
    void mmiBudilCheckClick();

    // User-defined client fields: the fields dialog, then the controls that
    // show the fields on the card, the search page and the list, and the
    // fields' part of the client update statements.
    void mmiCustomFieldClick();
    void CreateCustomFieldControls();
    void FreeCustomFieldControls();

protected:
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void BuildMenu(QWidget* parent);
    // The card's page: its upper area, then its sub-pages.
    void BuildCard();
    void BuildList();

    // The control that had focus on the search page when it was left.
    QPointer<QWidget> queryFocus_;
    // What the last build of the user-defined field controls created, first
    // to last: labels and edits, and the fields of the list's columns.
    QList<QPointer<QWidget>> customFieldControls_;
    QStringList customFieldColumns_;
    // The client modify and insert statements as loaded, without user-defined fields.
    QStringList savedCustModifySql_, savedCustInsertSql_;
    bool creating_ = true;
};

// Fills ModuleWindows().Klient and ModuleWindows().GoToKar.
void RegisterKlientModule();
