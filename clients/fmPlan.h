#pragma once

#include "widgets/Dialogs.h"

#include <QDateTime>
#include <QDialog>
#include <QPointer>
#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimeEdit;
class TDateEdit;

namespace fw {
class DataSet;
class DBLookupCombo;
}

// The history/plan dialog: one history note or plan, edited on its own
// controls. The caller fills the controls before exec() and reads them after
// OK; the dialog itself writes nothing to the database. Created per use.
class TfmPlan : public QDialog {
    Q_OBJECT
public:
    explicit TfmPlan(QWidget* owner = nullptr);
    ~TfmPlan() override;

    TDateEdit* deDate;                   // "Дата" (picker only)
    QLabel* lblDate;
    QTimeEdit* dtpTime;                  // "Время" (time of day only)
    QLabel* lblTime;
    QLineEdit* edNote;                   // "План", up to 255 characters
    QLabel* lblNote;
    fw::DBLookupCombo* dblcHistType;     // "Тип" over dm->dsHiType (key IDHISTTYPE)
    QLabel* lblHistType;
    fw::DBLookupCombo* dblcUser;         // "Куратор" over dm->dsUser (key IDUSER)
    QLabel* lblUser;
    QCheckBox* cbBudil;                  // "Будильник"
    QCheckBox* cbPrior;                  // "Приоритет"
    QLineEdit* edLink;                   // "Ссылка", up to 255 characters
    QLabel* lblLink;
    QPushButton* btnSetHistLink;         // "Добавить ссылку"
    QPushButton* btnOK;                  // "OK"
    QPushButton* btnCancel;              // "Отмена"
    fw::FileDialog odLink;

    // The date of deDate with the time of day of dtpTime (seconds dropped).
    QDateTime DateTime() const;
    // Sets deDate to the date and dtpTime to the time of day of value.
    void SetDateTime(const QDateTime& value);

    void FormCreate();
    void btnSetHistLinkClick();

protected:
    void keyPressEvent(QKeyEvent* e) override;
};

// Set while a plan dialog exists (the reminder check waits for it).
extern QPointer<TfmPlan> fmPlan;

// The row being edited in ds goes through dialog until it is posted or the user
// cancels: a refused post shows its message and the dialog comes back with the
// typed values, so no row is left in edit for some later command to post.
// True when the row was posted.
bool EditUntilPosted(fw::DataSet& ds, const std::function<bool()>& dialog);
// The row being edited in ds takes what edit writes into it and is posted when edit returns true,
// cancelled when it returns false or throws.
void EditAndPost(fw::DataSet& ds, const std::function<bool()>& edit);

// The whole day of date plus the time of day of time, to the minute.
QDateTime PlanDateTime(const QDate& date, const QTime& time);
