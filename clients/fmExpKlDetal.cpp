#include "clients/fmExpKlDetal.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

QPointer<TfmExpKlDetal> fmExpKlDetal;

TfmExpKlDetal::TfmExpKlDetal(QWidget* owner) : QDialog(owner)
{
    fmExpKlDetal = this;
    setObjectName("fmExpKlDetal");
    setWindowTitle("Детальный экспорт клиента");
    setProperty("HelpContext", HelpContext);

    gbExport = new QGroupBox("Экспортировать", this);
    gbExport->setObjectName("gbExport");
    auto* sections = new QVBoxLayout(gbExport);
    auto box = [&](const char* name, const QString& caption) {
        auto* cb = new QCheckBox(caption, gbExport);
        cb->setObjectName(name);
        sections->addWidget(cb);
        connect(cb, &QCheckBox::clicked, this, &TfmExpKlDetal::cbClick);
        return cb;
    };
    cbKar = box("cbKar", "Компания");
    cbHist = box("cbHist", "История");
    cbPlan = box("cbPlan", "Планы");
    cbContacts = box("cbContacts", "Контактные лица");
    cbSales = box("cbSales", "Товар");
    cbSdelka = box("cbSdelka", "Сделки");
    cbDog = box("cbDog", "Договора");
    cbKar->setChecked(true);

    cbAll = new QCheckBox("Всю выборку", this);
    cbAll->setObjectName("cbAll");

    btnOK = new QPushButton("ОК", this);
    btnOK->setObjectName("btnOK");
    btnOK->setDefault(true);
    btnCancel = new QPushButton("Отмена", this);
    btnCancel->setObjectName("btnCancel");
    btnCancel->setAutoDefault(false);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(gbExport);
    layout->addWidget(cbAll);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    cbClick();
}

TfmExpKlDetal::~TfmExpKlDetal()
{
    if (fmExpKlDetal == this) fmExpKlDetal = nullptr;
}

void TfmExpKlDetal::cbClick()
{
    bool any = false;
    for (QCheckBox* cb : {cbKar, cbHist, cbPlan, cbContacts, cbSales, cbSdelka, cbDog})
        any = any || cb->isChecked();
    btnOK->setEnabled(any);
}
