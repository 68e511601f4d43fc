#pragma once

#include <QDialog>
#include <QPointer>

class QGroupBox;
class QLabel;
class QPushButton;

namespace fw {
class DBLookupCombo;
class DBMemo;
}

// The closing dialog of the deal card: the deal's status with the refusal
// reason, refusal stage and end date that go with it. Edits the deal row of
// dmKlSd in place; the card puts it in edit, posts it on OK, cancels otherwise.
class TfmSdelkaEnd : public QDialog {
    Q_OBJECT
public:
    explicit TfmSdelkaEnd(QWidget* owner = nullptr);
    ~TfmSdelkaEnd() override;

    static constexpr int HelpContext = 36;

    QGroupBox* gbStatus;              // "Статус сделки"
    fw::DBLookupCombo* dblcStatus;    // IDSDELKA_ST
    QGroupBox* gbOtkaz;               // "При отказе"
    QLabel* lbEtap;
    fw::DBLookupCombo* dblcEtap;      // IDETAP, the deal's own stages
    QLabel* lbOtkaz;
    fw::DBLookupCombo* dblcOtkaz;     // IDOTKAZ, reasons of the deal's type
    QLabel* lbNote;
    fw::DBMemo* dbmNote;              // NOTE, "Комментарий к сделке"
    QPushButton* btnOK;
    QPushButton* btnCancel;

    // Handlers.
    void FormCreate();
    // The refusal controls are enabled only for a refused deal (status 3).
    void dblcStatusClick();
    // The rules of OK; throws the refusal and leaves the dialog open.
    void btnOKClick();

protected:
    void done(int result) override;
    void keyPressEvent(QKeyEvent* e) override;
};

extern QPointer<TfmSdelkaEnd> fmSdelkaEnd;
