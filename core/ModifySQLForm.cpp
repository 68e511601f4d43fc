#include "core/ModifySQLForm.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

QPointer<TModifySQLForm> ModifySQLForm;

TModifySQLForm::TModifySQLForm(QWidget* owner) : QDialog(owner)
{
    setObjectName("ModifySQLForm");
    setWindowTitle("SQL Edit");
    setMinimumSize(338, 196);
    setSizeGripEnabled(true);

    memo = new QPlainTextEdit(this);
    memo->setObjectName("memo");
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);

    cbCopyToClipboard = new QCheckBox("Копировать в буфер", this);
    cbCopyToClipboard->setObjectName("cbCopyToClipboard");
    btnOK = new QPushButton("OK", this);
    btnOK->setObjectName("btnOK");
    btnOK->setDefault(true);
    btnCancel = new QPushButton("Cancel", this);
    btnCancel->setObjectName("btnCancel");
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(cbCopyToClipboard);
    bottom->addStretch();
    bottom->addWidget(btnOK);
    bottom->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(memo, 1);
    layout->addLayout(bottom);
    resize(520, 360);
}
