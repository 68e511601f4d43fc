#include "reports/SelectColumnForm.h"

#include "core/FormParts.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

TSelectColumnForm::TSelectColumnForm(QWidget* owner) : QDialog(owner)
{
    setObjectName("SelectColumnForm");
    setWindowTitle("Выбор столбцов");

    clbColumns = new QListWidget(this);
    clbColumns->setObjectName("clbColumns");
    clbColumns->installEventFilter(this);
    QHBoxLayout* buttons = OkCancelRow(this, btnOK, btnCancel, "ОК");
    // Here a focused Cancel keeps Enter to itself.
    btnCancel->setAutoDefault(true);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(clbColumns, 1);
    layout->addLayout(buttons);
    resize(320, 400);
}

void TSelectColumnForm::InvertChecks()
{
    for (int i = 0; i < clbColumns->count(); ++i) {
        QListWidgetItem* item = clbColumns->item(i);
        item->setCheckState(item->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    }
}

bool TSelectColumnForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == clbColumns && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent*>(event)->text() == QLatin1String("*")) {
        InvertChecks();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
