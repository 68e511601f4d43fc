#pragma once

#include "db/Value.h"

#include <QDialog>
#include <QList>
#include <QPointer>
#include <QString>

class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QButtonGroup;

namespace fw {
class DataSet;
class DBLookupCombo;
}

// One value to write into a field of each new row.
struct TFieldValueItem {
    QString FieldName;
    fw::Value Value;
};

// The values a group operation writes, in the order added.
class TFieldValue {
public:
    QList<TFieldValueItem> Items;
    void Add(const TFieldValueItem& item) { Items.append(item); }
    void Add(const QString& fieldName, const fw::Value& value) { Items.append({fieldName, value}); }
    void Clear() { Items.clear(); }
};

// One action over every client of the current selection (dmKl->qryCust).
// The whole run is one transaction: when one client fails, nothing of the run
// is kept and the user is told so.
class TGrOper {
public:
    enum Kind : quint8 { Hist = 0, Plan = 1, GlGroup = 2, LocGroup = 3, Sdelka = 4, Email = 5 };

    TGrOper() = default;
    explicit TGrOper(quint8 operType) : OperType(operType) {}

    quint8 OperType = Hist;
    TFieldValue FieldValues;

    // Shows the kind's dialog and fills FieldValues; false on cancel.
    bool GetParams();
    // Runs the kind over the selection; the selection's current row is kept.
    // False when the run failed (after its error box) and was rolled back.
    bool Execute();

    // Kind 5: the addresses gathered by the last Execute (also put on the clipboard).
    QString EmailText;
    // Clients processed by the last Execute.
    int Processed = 0;

private:
    fw::DataSet& TargetDataSet() const;
    void ShowTargetPages() const;
    void ProcessClient(fw::DataSet& ds, const QString& separator, int allContacts);
};

// Deal parameters of the group operation "Создать сделку...".
class TfmSdelkaGroup : public QDialog {
    Q_OBJECT
public:
    explicit TfmSdelkaGroup(QWidget* owner = nullptr);

    QLineEdit* edName;                   // "Название"
    fw::DBLookupCombo* dblcType;         // "Тип" over dm->dsSdType
    fw::DBLookupCombo* dblcUser;         // "Куратор" over dm->dsUser
    QGroupBox* gbPrichina;               // "Причина"
    fw::DBLookupCombo* dblcPrichina;     // over dmKlSd->dsPrichina
    fw::DBLookupCombo* dblcPrichina2;    // over dmKlSd->dsPrichina2
    QPushButton* btnOK;                  // "ОК"
    QPushButton* btnCancel;              // "Отмена"

    // The second-level reasons of the chosen reason; the second reason back to 0.
    void dblcPrichinaClick();

protected:
    void keyPressEvent(QKeyEvent* e) override;
};

// Parameters of the group operation "Создать письмо...".
class TfmGroupEmail : public QDialog {
    Q_OBJECT
public:
    explicit TfmGroupEmail(QWidget* owner = nullptr);

    QLineEdit* edSeparator;              // "Разделитель адресов", ";"
    QGroupBox* rgAllContacts;            // "Контактные лица"
    QRadioButton* rbAll;                 // "Все"
    QRadioButton* rbFirst;               // "Первые"
    QButtonGroup* bgAllContacts;
    QPushButton* btnOK;                  // "ОК"
    QPushButton* btnCancel;              // "Отмена"

    // 0 all contacts, 1 the first only.
    int AllContacts() const;
    void SetAllContacts(int index);
};

// The borderless progress window of a running group operation.
class TfmGrOperProc : public QDialog {
    Q_OBJECT
public:
    explicit TfmGrOperProc(QWidget* owner = nullptr);
    ~TfmGrOperProc() override;

    QGroupBox* gbProgress;               // "Ход выполнения задачи"
    QLabel* lblCurCount;
    QLabel* lblAllCount;
    QProgressBar* pb;

    void SetCount(int current);
};

// Set while the progress window exists (the reminder check waits for it).
extern QPointer<TfmGrOperProc> fmGrOperProc;
