#pragma once

#include "db/DataSource.h"
#include "db/Query.h"
#include "db/StoredProc.h"
#include "db/UpdateSql.h"

#include <QDialog>
#include <QPointer>

class QTabWidget;
class QToolBar;
class QToolButton;
class TDBDateEdit;

namespace fw {
class DBCheckBox;
class DBEdit;
class DBGrid;
class DBLookupCombo;
class DBNavigator;
}

// "Регистрация товара": every goods row of one client, and new goods
// registered to it outside any deal, with their place of purchase, goods
// number and registration date.
class TfmReg : public QDialog {
    Q_OBJECT
public:
    explicit TfmReg(QWidget* owner = nullptr);
    ~TfmReg() override;

    static constexpr int HelpContext = 30;

    fw::Query qrySales;      fw::DataSource dsSales;      fw::UpdateSql usqlSales;
    fw::StoredProc spSales;
    fw::Query qryGrTovar;    fw::DataSource dsGrTovar;
    fw::Query qryTovar;      fw::DataSource dsTovar;

    QToolBar* ToolBar;
    fw::DBNavigator* dbnSales;
    QToolButton* tbAdd;                  // "Добавить"
    QToolButton* tbDel;                  // "Удалить"
    QTabWidget* pcReg;
    QWidget* tsTovar;                    // "Товар"
    QWidget* tsList;                     // "Список"
    fw::DBLookupCombo* dblcGrTovar;      // goods group, not bound: filters the goods list
    fw::DBLookupCombo* dblcTovar;        // IDTOVAR
    fw::DBCheckBox* dbcbBack;            // BACK, "Возврат"
    fw::DBCheckBox* dbcbPriznak1;        // UCHEB, captioned by the settings row
    fw::DBCheckBox* dbcbPriznak2;        // UPGRADE, captioned by the settings row
    fw::DBEdit* dbeSerNum;               // "Номер товара"
    fw::DBEdit* dbeSalesCompany;         // "Место покупки"
    fw::DBEdit* dbeNote;                 // "Комментарий"
    TDBDateEdit* dbdeDateReg;            // "Дата регистрации"
    fw::DBEdit* dbeKolvo;                // "Количество"
    fw::DBGrid* dbgSales;

    // The client's goods, on the row of idSale when it is there.
    void OpenSales(int idCust, const fw::Value& idSale);

    // Handlers.
    void FormCreate();
    void qrySalesNewRecord(fw::DataSet& ds);
    void qrySalesBeforePost(fw::DataSet& ds);
    void qrySalesBeforeDelete(fw::DataSet& ds);
    void qrySalesAfterCancel(fw::DataSet& ds);
    void dblcGrTovarClick();
    void tbAddClick();
    void tbDelClick();
    // A pending row is posted first; false keeps the window open.
    bool FormCloseQuery();
    void FormClose();

protected:
    void done(int result) override;

private:
    void ReattachTovar();
    bool closed_ = false;
};

extern QPointer<TfmReg> fmReg;

// The card's "Регистрация": the window over the card's current client, shown
// modally; the card's goods list is read again afterwards. Nothing while the
// card's goods list is closed.
void ShowReg(QWidget* owner);
