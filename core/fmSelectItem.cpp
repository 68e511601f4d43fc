#include "core/fmSelectItem.h"

#include "core/dm.h"

#include "widgets/Dialogs.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

QPointer<TfmSelectItem> fmSelectItem;

TfmSelectItem::TfmSelectItem(QWidget* owner) : QDialog(owner), qry(this)
{
    fmSelectItem = this;
    setObjectName("fmSelectItem");
    setWindowTitle("Выбор значения");

    lb = new QListWidget(this);
    lb->setObjectName("lb");
    btnOK = new QPushButton("OK", this);
    btnOK->setObjectName("btnOK");
    btnOK->setDefault(true);
    btnCancel = new QPushButton("Отмена", this);
    btnCancel->setObjectName("btnCancel");
    qry.setObjectName("qry");
    if (dm) qry.setDatabase(&dm->db);

    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(lb, &QListWidget::itemDoubleClicked, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lb, 1);
    layout->addLayout(buttons);
    lb->setMinimumSize(280, 300);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TfmSelectItem::AddItem(const QString& text, int key)
{
    auto* item = new QListWidgetItem(text, lb);
    item->setData(Qt::UserRole, key);
}

void TfmSelectItem::done(int result)
{
    if (result == QDialog::Accepted && lb->selectedItems().isEmpty()) {
        fw::dialogs().warning("Вы не выбрали значение!");
        return;
    }
    QDialog::done(result);
}
