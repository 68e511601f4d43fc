#pragma once

#include "db/Currency.h"

#include <QDateTime>
#include <QDialog>
#include <QPointer>
#include <memory>

class QGroupBox;
class QLabel;
class QPushButton;
class QTabWidget;
class QToolBar;
class QToolButton;
class TBrSpeedButton;
class TCustomNumEdit;
class TDBDateEdit;
class TPlugin1C;

namespace fw {
class DBEdit;
class DBGrid;
class DBLookupCombo;
class DBNavigator;
}

// The three parts of a sum in two currencies: V1 = V2 x K.
enum class TValuta { V1, V2, Kurs };

// The money triple rule without widgets: the value the user changed, the one
// held, and what is recomputed (rounded to four decimals, half to even).
// A division by zero gives 0.
void RecalcValutaValues(TValuta changed, TValuta held, fw::Currency& v1, fw::Currency& v2, fw::Currency& kurs);
// Where the hold moves when the user enters an edit (held unchanged otherwise).
TValuta ValutaEnterHold(TValuta entered, TValuta held, fw::Currency v1, fw::Currency v2, fw::Currency kurs);

// The deal card: heading data, stages, goods lines with their payments and the
// closing of the one deal of dmKlSd. Modal; created and freed by its caller.
class TfmSdelka : public QDialog {
    Q_OBJECT
public:
    explicit TfmSdelka(QWidget* owner = nullptr);
    ~TfmSdelka() override;

    // The money triple of the goods-line and payment dialogs: three number edits
    // (V1 first-currency sum, V2 second-currency sum, K rate) with a hold button
    // under each; exactly one hold is down.
    // RecalcValuta: `changed` was changed; recomputes its partner by the hold.
    // Call it from an edit's change only while that edit has the focus, so
    // values set by code never trigger it; code may call it directly to
    // recompute "as for a change of" an edit.
    static void RecalcValuta(TCustomNumEdit* changed, TCustomNumEdit* v1, TCustomNumEdit* v2, TCustomNumEdit* kurs,
                             TBrSpeedButton* hold1, TBrSpeedButton* hold2, TBrSpeedButton* holdKurs);
    // `entered` got the focus: moves the hold so typing recomputes a sensible partner.
    static void ValutaEnter(TCustomNumEdit* entered, TCustomNumEdit* v1, TCustomNumEdit* v2, TCustomNumEdit* kurs,
                            TBrSpeedButton* hold1, TBrSpeedButton* hold2, TBrSpeedButton* holdKurs);
    // `pressed` was clicked: when its own edit has the focus, the focus moves on
    // (V1 to V2, V2 to K, K to V1).
    static void HoldClick(TBrSpeedButton* pressed, TCustomNumEdit* v1, TCustomNumEdit* v2, TCustomNumEdit* kurs,
                          TBrSpeedButton* hold1, TBrSpeedButton* hold2, TBrSpeedButton* holdKurs);

    // Rereads the goods lines (their paid sums), back on the same line; marks the deal changed.
    void RefreshSales();
    // Appends and posts one payment of the current goods line's deal.
    void AddOplata(int idSale, int idUser, const QDateTime& dateOpl, fw::Currency summaR, fw::Currency summaD,
                   fw::Currency kurs);
    // The second reason list follows the first; a second reason outside it becomes 0.
    void dblcPrichinaClick();

    // The accounting plug-in, loaded on first use and freed with the card. A
    // library that cannot be loaded is reported and the operation stops (Abort).
    TPlugin1C& Load1CPlugin();
    void Free1CPlugin();
    bool Plugin1CLoaded() const { return plugin1C_ != nullptr; }
    // Refuses an invoice the plug-in cannot make (no company, no goods, two rates).
    void CheckCanInvoice();
    // Writes the document file for the deal's goods and has the plug-in create
    // the document; the number it returns ("0" or empty: none).
    QString Create1CDoc(int kind, const QString& date);

    // Set by every change of goods lines or payments; the first page rereads the deal then.
    bool SdelkaChanged = false;

    QTabWidget* pcMain;

    // "О сделке"
    QWidget* tsAbout;
    QGroupBox* gbSdelka;
    fw::DBEdit* dbedName;
    fw::DBLookupCombo* dblcUser;
    fw::DBLookupCombo* dblcSdType;
    fw::DBLookupCombo* dblcStatus;
    QGroupBox* gbPeriod;
    TDBDateEdit* dbdeSdBegin;
    TDBDateEdit* dbdeSdEnd;
    QGroupBox* gbSumma;
    QLabel* lbValuta1;
    QLabel* lbValuta2;
    fw::DBEdit* dbeOplatRP;
    fw::DBEdit* dbeOplatDP;
    fw::DBEdit* dbeOplatRF;
    fw::DBEdit* dbeOplatDF;
    QGroupBox* gbPrichina;
    fw::DBLookupCombo* dblcPrichina;
    fw::DBLookupCombo* dblcPrichina2;
    QGroupBox* gbDog;
    fw::DBLookupCombo* dblcDog;
    QGroupBox* gbDocs;
    fw::DBEdit* dbedSchetNo;
    fw::DBEdit* dbedNaklNo;
    fw::DBEdit* dbedSchetFNo;
    TDBDateEdit* dbedSchetDate;
    TDBDateEdit* dbedNaklDate;
    TDBDateEdit* dbedSchetFDate;
    QPushButton* sbSchet1C;       // "1C" buttons of the three documents
    QPushButton* sbNakl1C;
    QPushButton* sbSchetF1C;
    fw::DBNavigator* dbnSdelka;
    QPushButton* tbOtkaz;

    // "Этапы"
    QWidget* tsEtaps;
    QToolBar* tbrEtaps;
    QToolButton* tbAddEtap;
    QToolButton* tbDelEtap;
    QToolButton* tbEtapToHist;
    fw::DBGrid* dbgEtaps;

    // "Товар и оплата"
    QWidget* tsTovar;
    QToolBar* tbrSales;
    QToolButton* tbAddTovar;
    QToolButton* tbEditTovar;
    QToolButton* tbDelTovar;
    fw::DBGrid* dbgSales;
    QToolBar* tbrOplata;
    QToolButton* tbAddOplata;
    QToolButton* tbEditOplata;
    QToolButton* tbDelOplata;
    QToolButton* tbMoney1C;
    fw::DBGrid* dbgOplata;

    QPushButton* btnOK;

    // Handlers.
    void FormCreate();
    void FormShow();
    void FormClose();
    void pcMainChange();
    void dblcDogKeyDown(int key);
    void tbAddEtapClick();
    void tbDelEtapClick();
    void tbEtapToHistClick();
    void dbgEtapsEditButtonClick();
    void tbAddTovarClick();
    void tbEditTovarClick();
    void tbDelTovarClick();
    void tbAddOplataClick();
    void tbEditOplataClick();
    void tbDelOplataClick();
    void tbOtkazClick();
    void sbSchet1CClick();
    void sbNakl1CClick();
    void sbSchetF1CClick();
    void tbMoney1CClick();

protected:
    void showEvent(QShowEvent* e) override;
    void done(int result) override;

private:
    // The pages, each with its controls and their connections.
    void BuildAbout();
    void BuildEtaps();
    void BuildTovar();
    // Shows the goods-line dialog on the row the caller put in edit or insert; true on OK.
    bool ShowTovarDialog();

    // Writes a document number from the plug-in into the deal and posts it at
    // once, so the only link to the new document cannot be lost.
    void Store1CDoc(const char* numberField, const QString& number, const char* dateField, bool dateToday);

    bool closed_ = false;
    std::unique_ptr<TPlugin1C> plugin1C_;
};

// The deal card; nullptr while none is open.
extern QPointer<TfmSdelka> fmSdelka;
