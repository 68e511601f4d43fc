#include "reports/fmExportConCount.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

QPointer<TfmExportConCount> fmExportConCount;

TfmExportConCount::TfmExportConCount(QWidget* owner) : QDialog(owner)
{
    fmExportConCount = this;
    setObjectName("fmExportConCount");
    setWindowTitle("Экспорт");

    Label1 = new QLabel("Укажите количество контактных лиц для экспорта", this);
    Label1->setObjectName("Label1");
    seCount = new QSpinBox(this);
    seCount->setObjectName("seCount");
    seCount->setRange(1, 20);
    seCount->setValue(5);
    Label1->setBuddy(seCount);
    btnOK = new QPushButton("ОК", this);
    btnOK->setObjectName("btnOK");
    btnOK->setDefault(true);
    btnCancel = new QPushButton("Отмена", this);
    btnCancel->setObjectName("btnCancel");
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* count = new QHBoxLayout;
    count->addWidget(seCount);
    count->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addLayout(count);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

TfmExportConCount::~TfmExportConCount()
{
    if (fmExportConCount == this) fmExportConCount = nullptr;
}
