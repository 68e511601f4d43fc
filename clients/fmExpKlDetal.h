#pragma once

#include <QDialog>
#include <QPointer>

class QCheckBox;
class QGroupBox;
class QPushButton;

// Which sections of the card the detailed export writes, and whether for the
// whole client list.
class TfmExpKlDetal : public QDialog {
    Q_OBJECT
public:
    explicit TfmExpKlDetal(QWidget* owner = nullptr);
    ~TfmExpKlDetal() override;

    static constexpr int HelpContext = 76;

    QGroupBox* gbExport;                 // "Экспортировать"
    QCheckBox* cbKar;                    // "Компания"
    QCheckBox* cbHist;                   // "История"
    QCheckBox* cbPlan;                   // "Планы"
    QCheckBox* cbContacts;               // "Контактные лица"
    QCheckBox* cbSales;                  // "Товар"
    QCheckBox* cbSdelka;                 // "Сделки"
    QCheckBox* cbDog;                    // "Договора"
    QCheckBox* cbAll;                    // "Всю выборку"
    QPushButton* btnOK;
    QPushButton* btnCancel;

    // OK is enabled while at least one section is checked.
    void cbClick();
};

extern QPointer<TfmExpKlDetal> fmExpKlDetal;
