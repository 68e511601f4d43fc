#pragma once

#include "deals/SdelkaSearch.h"

#include "db/DataSource.h"
#include "db/Query.h"

#include <QWidget>

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QTabWidget;
class QToolBar;
class QToolButton;
class TDateEdit;

namespace fw {
class DBGrid;
class DBLookupCombo;
class DBNavigator;
class DBRadioGroup;
}

// The deals list, a module window: searches every deal the user may see and
// lists the deals, their stages or their goods lines. It writes nothing.
class TfmMSdelka : public QWidget {
    Q_OBJECT
public:
    explicit TfmMSdelka(QWidget* owner = nullptr);
    ~TfmMSdelka() override;

    // Results of the three modes (read-only) and the filtered pick lists.
    fw::Query qrySdelka;     fw::DataSource dsSdelka;
    fw::Query qryEtaps;      fw::DataSource dsEtaps;
    fw::Query qrySales;      fw::DataSource dsSales;
    fw::Query qryPrichina2;  fw::DataSource dsPrichina2;
    fw::Query qryOtkaz;      fw::DataSource dsOtkaz;
    fw::Query qryTovar;      fw::DataSource dsTovar;

    QWidget* pnlTop;
    fw::DBRadioGroup* rgRegim;
    QCheckBox* cbCurrent;
    fw::DBLookupCombo* dblcDog;

    QToolBar* ToolBar;
    QToolButton* tbZapros;
    QToolButton* tbCrear;
    QToolButton* tbKolvo;
    QToolButton* tbGoToKar;
    QToolButton* tbExport;
    fw::DBNavigator* DBNavigator1;

    QTabWidget* pcMain;
    QWidget* tsList;
    fw::DBGrid* dbg;
    QWidget* tsZapros;
    QTabWidget* pcZapros;

    // "Сделка"
    QWidget* tsZapSdelka;
    QLineEdit* edSdName;
    QLabel* Label7;
    fw::DBLookupCombo* dblcSdUser;
    fw::DBLookupCombo* dblcSdStatus;
    QGroupBox* gbSdPrichina;
    fw::DBLookupCombo* dblcSdPrichina;
    fw::DBLookupCombo* dblcSdPrichina2;
    QGroupBox* gbSdDate;
    QRadioButton* rgSdBegin;
    QRadioButton* rgSdEnd;
    QRadioButton* rgSdOplata;
    TDateEdit* deSdDateFrom;
    TDateEdit* deSdDateTo;
    QGroupBox* gbSdType;
    fw::DBLookupCombo* dblcSdType;
    fw::DBLookupCombo* dblcSdOtkaz;
    QCheckBox* cbPlanFact;

    // "Этапы"
    QWidget* tsZapEtaps;
    QGroupBox* gbEtSd;
    fw::DBLookupCombo* dblcEtSdEtap;
    QLabel* Label12;
    fw::DBLookupCombo* dblcEtSdUser;
    QRadioButton* rgEtBegin;
    QRadioButton* dblcEtPlan;
    QRadioButton* dblcEtEnd;
    TDateEdit* deEtFrom;
    TDateEdit* deEtTo;
    QRadioButton* rbEtSdAny;
    QRadioButton* rbEtSdOpen;
    QRadioButton* rbEtSdClose;
    QGroupBox* gbEtEt;
    fw::DBLookupCombo* dblcEtEtEtap;
    QLabel* Label14;
    fw::DBLookupCombo* dblcEtEtUser;
    QRadioButton* rbEtEtAny;
    QRadioButton* rbEtEtOpen;
    QRadioButton* rbEtEtClose;

    // "Товары"
    QWidget* tsZapTovar;
    QGroupBox* gbTovar;
    fw::DBLookupCombo* cbGrTovar;
    fw::DBLookupCombo* cbTovar;

    void FormCreate();
    void FormActivate();
    void tsZaprosShow();
    void tbZaprosClick();
    void tbCrearClick();
    // True when it took the key (a failed search is shown, not thrown).
    bool FormKeyDown(int key);
    void dblcDogKeyPress(fw::DBLookupCombo* sender, int key);
    void dblcSdPrichinaClick(fw::DBLookupCombo* sender);
    void Label7Click();
    void Label12Click();
    void Label14Click();
    void tbKolvoClick();
    void tbGoToKarClick();
    void tbExportClick();
    void FormClose();
    void FormDestroy();

    // The filters as the controls hold them now.
    TSdelkaSearch SearchFilter() const;
    // The result query of a mode (0 deals, 1 stages, 2 goods lines).
    fw::Query& ResultQuery(int regim);

protected:
    bool event(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    fw::DataSource& ResultSource(int regim);
    void DefineResultFields();
    void OpenLookupLists();
    void FitColumns();
    void WatchSubWindow();
    QList<fw::DBLookupCombo*> LookupCombos() const;

    QButtonGroup* bgSdDate;
    QButtonGroup* bgEtDate;
    QButtonGroup* bgEtSd;
    QButtonGroup* bgEtEt;
    QObject* watchedSubWindow_ = nullptr;
};
