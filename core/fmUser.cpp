#include "core/fmUser.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TfmUser::TfmUser(QWidget* owner) : QDialog(owner)
{
    setObjectName("fmUser");
    setWindowTitle("Пользователь");
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    edOtdel = new QLineEdit(this);
    edOtdel->setObjectName("edOtdel");
    edOtdel->setEnabled(false);
    edName = new QLineEdit(this);
    edName->setObjectName("edName");
    edName->setMaxLength(30);
    edEmail = new QLineEdit(this);
    edEmail->setObjectName("edEmail");
    edEmail->setMaxLength(50);
    form->addRow("Отдел", edOtdel);
    form->addRow("Фамилия", edName);
    form->addRow("Email", edEmail);
    layout->addLayout(form);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    btnOK = new QPushButton("OK", this);
    btnOK->setObjectName("btnOK");
    btnOK->setDefault(true);
    btnCancel = new QPushButton("Отмена", this);
    btnCancel->setObjectName("btnCancel");
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    layout->addLayout(buttons);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    setMinimumWidth(340);
}
