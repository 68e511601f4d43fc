#include "clients/fmExpKlDetal.h"

#include "core/FormParts.h"

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

    QHBoxLayout* buttons = OkCancelRow(this, btnOK, btnCancel, "ОК");
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);

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
