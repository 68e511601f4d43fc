#include "reports/fmExportTo.h"

#include "core/SharedProcs.h"

#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

QPointer<TfmExportTo> fmExportTo;

TfmExportTo::TfmExportTo(QWidget* owner) : QDialog(owner)
{
    fmExportTo = this;
    setObjectName("fmExportTo");
    setWindowTitle("Экпорт");
    setProperty("HelpContext", HelpContext);

    rb1 = new QRadioButton("Excel", this);
    rb1->setObjectName("rb1");
    rb1->setChecked(true);
    rb2 = new QRadioButton("Текстовый файл", this);
    rb2->setObjectName("rb2");
    edPath = new QLineEdit(this);
    edPath->setObjectName("edPath");
    edPath->setMinimumWidth(320);
    edPath->setText(QDir(QDir::tempPath()).filePath("table.txt"));
    edPath->setEnabled(false);
    btnPath = new QPushButton("...", this);
    btnPath->setObjectName("btnPath");
    btnPath->setFixedWidth(28);
    btnPath->setEnabled(false);
    btnOK = new QPushButton("OK", this);
    btnOK->setObjectName("btnOK");
    btnOK->setDefault(true);
    btnCancel = new QPushButton("Отмена", this);
    btnCancel->setObjectName("btnCancel");

    sd.defaultExt = "txt";
    sd.fileName = "Table";
    sd.filter = "Все файлы (*.*)|*.*|Текстовые файлы (*.txt)|*.txt";
    sd.filterIndex = 2;
    sd.overwritePrompt = false;

    connect(rb1, &QRadioButton::toggled, this, &TfmExportTo::rbClick);
    connect(rb2, &QRadioButton::toggled, this, &TfmExportTo::rbClick);
    connect(btnPath, &QPushButton::clicked, this, &TfmExportTo::btnPathClick);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* path = new QHBoxLayout;
    path->setContentsMargins(20, 0, 0, 0);
    path->addWidget(edPath, 1);
    path->addWidget(btnPath);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(rb1);
    layout->addWidget(rb2);
    layout->addLayout(path);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    adjustSize();
    if (QScreen* s = screen())
        move(s->availableGeometry().center() - rect().center());
}

TfmExportTo::~TfmExportTo()
{
    if (fmExportTo == this) fmExportTo = nullptr;
}

void TfmExportTo::rbClick()
{
    const bool text = rb2->isChecked();
    edPath->setEnabled(text);
    btnPath->setEnabled(text);
}

void TfmExportTo::btnPathClick()
{
    fw::FileDialog dialog = sd;
    if (fw::dialogs().saveFile(dialog)) {
        sd = dialog;
        edPath->setText(dialog.fileName);
    }
}

void TfmExportTo::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F1 && event->modifiers() == Qt::NoModifier) {
        OpenHelp();
        return;
    }
    QDialog::keyPressEvent(event);
}
