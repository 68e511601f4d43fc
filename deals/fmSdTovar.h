#pragma once

#include <QDialog>
#include <QPointer>

class QGroupBox;
class QLabel;
class QPushButton;
class TBrDBCalcEdit;
class TBrSpeedButton;
class TCustomNumEdit;

namespace fw {
class DBCheckBox;
class DBEdit;
class DBLookupCombo;
}

// The goods-line dialog of the deal card: edits the current row of
// dmKlSd.qrySales in place. The card appends or edits the row before showing
// it; the dialog posts it on OK and cancels it otherwise.
class TfmSdTovar : public QDialog {
    Q_OBJECT
public:
    explicit TfmSdTovar(QWidget* owner = nullptr);
    ~TfmSdTovar() override;

    static constexpr int HelpContext = 40;

    QGroupBox* gbTovar;               // "Товар"
    fw::DBLookupCombo* dblcGrTovar;   // goods group, not bound
    fw::DBLookupCombo* dblcTovar;     // IDTOVAR
    fw::DBCheckBox* dbcbBack;         // BACK, "Возврат"
    fw::DBCheckBox* dbcbPriznak1;     // UCHEB, caption from the settings row
    fw::DBCheckBox* dbcbPriznak2;     // UPGRADE, caption from the settings row
    fw::DBEdit* dbeSerNumInt;         // SERNUMINT, "Номер отгрузки"
    TBrDBCalcEdit* dbeKolvo;          // KOLVO, "Количество"
    QGroupBox* gbSumma;               // "Стоимость (с учетом количества)"
    QLabel* lbVal1;
    QLabel* lbVal2;
    QLabel* lbKurs;
    TBrDBCalcEdit* dbcVal1;           // SUMMARP
    TBrDBCalcEdit* dbcVal2;           // SUMMADP
    TBrDBCalcEdit* dbcKurs;           // KURS
    TBrSpeedButton* sbVal1;           // hold buttons "Не изменять", one group
    TBrSpeedButton* sbVal2;
    TBrSpeedButton* sbKurs;
    fw::DBEdit* dbeNote;              // NOTE, "Комментарий"
    QPushButton* btnOK;
    QPushButton* btnCancel;

    // Handlers.
    void FormCreate();
    void dblcGrTovarClick();
    void dblcTovarClick();
    void dbeKolvoChange();
    // V2 := price x quantity with the rate held, then V1 := V2 x K.
    void CalcPrice();
    void ValutaChange(TCustomNumEdit* changed);
    void ValutaEnter(TCustomNumEdit* entered);
    void HoldClick(TBrSpeedButton* pressed);
    void btnOKClick();
    void FormClose();

protected:
    void done(int result) override;
    void keyPressEvent(QKeyEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    bool closed_ = false;
};

extern QPointer<TfmSdTovar> fmSdTovar;
