#pragma once

#include "db/Currency.h"

#include <QDate>
#include <QDialog>
#include <QList>
#include <QPointer>
#include <functional>

class QGroupBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class TBrCalcEdit;
class TBrSpeedButton;
class TCustomNumEdit;
class TDateEdit;
class TfmSdelka;

namespace fw {
class DBLookupCombo;
}

// One goods line offered for a payment split: its key and planned sums.
// The check state itself is held by the dialog's list.
class TSale {
public:
    int IdSale = 0;
    fw::Currency SummaRP;   // planned, first currency
    fw::Currency SummaDP;   // planned, second currency
    bool Checked = false;
};

// One payment of a split.
struct TOplataPart {
    int IdSale = 0;
    fw::Currency SummaR;
    fw::Currency SummaD;
};

// Spreads V1 over the lines in proportion to their planned first-currency
// sums and V2 in proportion to the second-currency ones. Each part is rounded
// half to even at the decimals its column keeps (four at most); what the
// rounding leaves over goes to the line with the largest planned sum (the first
// of equals), so the stored parts add up to V1 and V2 exactly. Throws a
// UserError when the planned sums add up to zero.
QList<TOplataPart> SplitOplata(const QList<TSale>& lines, fw::Currency v1, fw::Currency v2, int decimalsR = 4,
                               int decimalsD = 4);

// The payment dialog of the deal card: one payment spread over the checked
// goods lines, or one existing payment changed. No control is bound; the card
// fills it and writes the payments.
class TfmSdOplata : public QDialog {
    Q_OBJECT
public:
    explicit TfmSdOplata(QWidget* owner = nullptr);
    ~TfmSdOplata() override;

    static constexpr int HelpContext = 41;

    QGroupBox* gbOwner;               // "Владелец суммы"
    fw::DBLookupCombo* dblcOtdel;     // "Отдел"
    fw::DBLookupCombo* dblcUser;      // "Фамилия"
    QGroupBox* gbSumma;               // "Сумма"
    QLabel* lbVal1;
    QLabel* lbVal2;
    QLabel* lbKurs;
    TBrCalcEdit* ceVal1;
    TBrCalcEdit* ceVal2;
    TBrCalcEdit* ceKurs;
    TBrSpeedButton* sbVal1;           // hold buttons "Не изменять", one group
    TBrSpeedButton* sbVal2;
    TBrSpeedButton* sbKurs;
    TDateEdit* deDateOpl;             // "Дата оплаты", picked from the calendar
    QGroupBox* gbTovar;               // "Товар"
    QLabel* lbTovar;
    TBrSpeedButton* sbCheckAll;       // "Отметить все"
    TBrSpeedButton* sbUncheckAll;     // "Сбросить все"
    QListWidget* cblTovar;
    QPushButton* btnOK;
    QPushButton* btnCancel;

    // Filling by the card. A sale stays the caller's; the item only points to it.
    QListWidgetItem* AddTovar(const QString& name, TSale* sale = nullptr);
    TSale* SaleOf(int row) const;
    // The sales of the checked items, in list order.
    QList<TSale> CheckedSales() const;
    // Changing one payment: its own line checked, the list and its buttons disabled.
    void SetEditMode(int checkedRow);

    int IdUser() const;
    void SetIdUser(int idUser);
    QDate DateOpl() const;
    void SetDateOpl(const QDate& d);
    fw::Currency Val1() const;
    fw::Currency Val2() const;
    fw::Currency Kurs() const;
    void SetValues(fw::Currency v1, fw::Currency v2, fw::Currency kurs);

    // Handlers.
    void FormCreate();
    void dblcOtdelClick();
    void sbCheckAllClick();
    void sbUncheckAllClick();
    void ValutaChange(TCustomNumEdit* changed);
    void ValutaEnter(TCustomNumEdit* entered);
    void HoldClick(TBrSpeedButton* pressed);
    // The checks of OK; throws the refusal.
    void FormCloseQuery();

    // Run at OK after the checks; when it throws, the error is shown and the
    // dialog stays open with what the user entered.
    std::function<void()> OnPost;

protected:
    void done(int result) override;
    void keyPressEvent(QKeyEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    bool editMode_ = false;
};

extern QPointer<TfmSdOplata> fmSdOplata;

// The card's "Добавить оплату": one payment on the checked goods lines of the
// deal of dmKlSd, written in one transaction (all or none).
void SdOplataAdd(TfmSdelka& card);
// The card's "Редактировать оплату": the current payment of the current line.
void SdOplataEdit(TfmSdelka& card);
// Appends one payment per part (the card's AddOplata) in one transaction: on
// any failure nothing of the split stays in the database, the payments are
// read again and the error is raised.
void PostOplataSplit(TfmSdelka& card, const QList<TOplataPart>& parts, int idUser, const QDate& dateOpl,
                     fw::Currency kurs);
