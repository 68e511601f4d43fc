#pragma once

#include <QWidget>

class QCheckBox;
class QTabWidget;
class QToolBar;
class QToolButton;
class TDBDateEdit;

namespace fw {
class DataSet;
class DBGrid;
class DBLookupCombo;
class DBMemo;
class DBNavigator;
class Query;
class Value;
}

// A sub-page of the client card: a tab of the card's page control, named as the card names it
// ("tsHist"), with its own tool bar, grid and commands over dmKl.
class TKlientPage : public QWidget {
    Q_OBJECT
public:
    TKlientPage(QTabWidget* pages, const char* name, const QString& caption);

    // Opens what the page shows of the current client; the card calls it while the page is visible.
    virtual void OpenDetails() {}
    // The card was opened on the page at that row (and contact, 0: keep the current one); a row that is
    // not there is reported.
    virtual void LocateRecord(int idRecord, int idContacts);

protected:
    // Makes the card's sub-page of that name the visible one.
    void ShowPage(const QString& name);
    // Shows the page of that name at the row whose key is id, or warns that it is missing.
    void JumpTo(fw::Query& list, const char* key, const fw::Value& id, const QString& page, const QString& missing);

private:
    QTabWidget* pages_;
};

// "История" and "Планы": the same columns and link commands over dmKl->qryHist or qryPlan. Notes are
// added in the grid; plans are added, edited and completed in the plan dialog.
class THistPage : public TKlientPage {
    Q_OBJECT
public:
    THistPage(QTabWidget* pages, bool plans);

    QToolBar* tbr;
    fw::DBNavigator* dbn;                // post and cancel
    QToolButton* tbAdd = nullptr;        // history: "Заметка"
    QToolButton* tbDel;                  // "Удалить"
    QToolButton* tbComplit = nullptr;    // plans: "Выполнено"
    QToolButton* tbEdit = nullptr;       // plans: "Изменить"
    QToolButton* tbAddLink;              // "Добавить ссылку"
    QToolButton* tbOpenLink;             // "Открыть ссылку"
    QToolButton* tbToContact;            // "На контактное лицо"
    fw::DBGrid* dbg;

    fw::Query& Data() const;
    void OpenDetails() override;
    void LocateRecord(int idRecord, int idContacts) override;

    // Edits the current row of a history or plan data set in the plan dialog; true on OK (the caller
    // posts or cancels).
    static bool EditHistRecord(QWidget* owner, fw::DataSet& ds);
    // "Запланировать": a new plan of the current client, through the plan dialog.
    void NewPlan();
    // "Связать запись с текущим контактным лицом".
    void LinkRecordToContact();

    void tbAddClick();
    void tbEditClick();
    void tbComplitClick();
    void ToContact();

private:
    bool plans_;
};

// "Контактные лица": the current client's contacts, edited in the grid.
class TContactsPage : public TKlientPage {
    Q_OBJECT
public:
    explicit TContactsPage(QTabWidget* pages);

    fw::DBGrid* dbgContacts;
};

// "Информация": the client's source and segment, each with its second level, what is known of the
// company, its registration and curator.
class TInfoPage : public TKlientPage {
    Q_OBJECT
public:
    explicit TInfoPage(QTabWidget* pages);

    fw::DBLookupCombo* dblcReklama;
    fw::DBLookupCombo* dblcReklama2;
    fw::DBLookupCombo* dblcSegment;
    fw::DBLookupCombo* dblcSegment2;
    QToolButton* tbSegmentFind;          // "Контекстный поиск"
    fw::DBMemo* dbmOther;
    TDBDateEdit* dbdeDateCr;
    fw::DBLookupCombo* dblcUser;         // the curator, shown only

    // Opens the source and segment lists.
    void OpenDetails() override;
};

// "Товар": the goods registered to the client.
class TSalesPage : public TKlientPage {
    Q_OBJECT
public:
    explicit TSalesPage(QTabWidget* pages);

    QToolBar* tbrSales;
    QToolButton* sbReg;                  // "Регистрация"
    QToolButton* tbSalesToSdelka;        // "На сделку"
    QCheckBox* cbSalesFilter;            // "(Оплаченные или регистрированные) и не возврат"
    fw::DBGrid* dbgSales;

    void OpenDetails() override;
    void SBRegClick();
    void tbSalesToSdelkaClick();
};

// "Сделки": the client's deals, each edited in the deal card.
class TSdelkaPage : public TKlientPage {
    Q_OBJECT
public:
    explicit TSdelkaPage(QTabWidget* pages);

    QToolBar* tbrSdelka;
    QToolButton* tbSdelkaAdd;            // "Новая"
    QToolButton* tbSdelkaEdit;           // "Изменить"
    QToolButton* tbSdelkaDel;            // "Удалить"
    QToolButton* tbSdelkaToDog;          // "На договор"
    fw::DBGrid* dbgSdelka;

    void OpenDetails() override;
    void LocateRecord(int idRecord, int idContacts) override;
    void tbSdelkaAddClick();
    void tbSdelkaEditClick();
    void tbSdelkaDelClick();
    void tbSdelkaToDogClick();
};

// "Договора": the client's contracts, each edited in the contract dialog.
class TDogPage : public TKlientPage {
    Q_OBJECT
public:
    explicit TDogPage(QTabWidget* pages);

    QToolBar* tbrDog;
    QToolButton* tbDogAdd;               // "Новый"
    QToolButton* tbDogEdit;              // "Изменить"
    QToolButton* tbDogDel;               // "Удалить"
    QToolButton* tbDogAddLink;
    QToolButton* tbDogOpenLink;
    fw::DBGrid* dbgDog;

    void OpenDetails() override;
    void tbDogAddClick();
    void tbDogEditClick();
};
