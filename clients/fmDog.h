#pragma once

#include "widgets/Dialogs.h"

#include <QDialog>
#include <QPointer>

class QGroupBox;
class QLabel;
class QPushButton;
class TBrDBCalcEdit;
class TDBDateEdit;

namespace fw {
class DBEdit;
class DBLookupCombo;
}

// The contract card over the current row of dmKl->qryDog, which the caller
// has put into edit or insert. OK posts the row and closes; a refused post is
// shown and the dialog stays open with what was typed. The caller cancels
// when the dialog was not accepted (a post after OK finds nothing to write).
class TfmDog : public QDialog {
    Q_OBJECT
public:
    explicit TfmDog(QWidget* owner = nullptr);
    ~TfmDog() override;

    fw::DBEdit* dbeDogNumber;            // "Номер договора"
    TDBDateEdit* dbdeDateZakl;           // "Дата заключения"
    QGroupBox* gbSroki;                  // "Сроки договора"
    TDBDateEdit* dbdeDateBegin;          // "Дата начала"
    TDBDateEdit* dbdeDateEnd;            // "Дата завершения"
    fw::DBLookupCombo* dblcUser;         // "Куратор"
    fw::DBEdit* dbeNote;                 // "Комментарий"
    TBrDBCalcEdit* dbceSkidka;           // "Скидка"
    fw::DBEdit* dbeFilePath;             // "Ссылка"
    QPushButton* btnAddLink;             // "Добавить ссылку"
    QPushButton* btnOK;
    QPushButton* btnCancel;
    fw::FileDialog odLink;

    void btnAddLinkClick();
    void btnOKClick();
};

extern QPointer<TfmDog> fmDog;

// Shows the contract card modally on the current row of dmKl->qryDog; posts
// on OK, cancels otherwise. True when the row was posted.
bool ShowDog(QWidget* owner);
