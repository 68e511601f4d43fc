#include "core/FormParts.h"

#include "controls/DateEdit.h"
#include "core/SharedProcs.h"

#include "widgets/DBLookupCombo.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolBar>
#include <QVBoxLayout>

fw::DBLookupCombo* LookupCombo(QWidget* parent, const char* name, fw::DataSource* list, const char* keyField,
                               const char* listField, fw::DataSource* data, const char* dataField)
{
    auto* c = new fw::DBLookupCombo(parent);
    c->setObjectName(name);
    c->setListSource(list);
    c->setKeyField(keyField);
    c->setListField(listField);
    if (data) {
        c->setDataSource(data);
        c->setDataField(dataField);
    }
    return c;
}

fw::DBLookupCombo* FilterLookup(QWidget* parent, const char* name, fw::DataSource* list, const char* keyField,
                                const char* listField, int minWidth)
{
    fw::DBLookupCombo* c = LookupCombo(parent, name, list, keyField, listField);
    c->setMinimumWidth(minWidth);
    return c;
}

QLabel* Caption(QWidget* parent, const QString& text, const char* name)
{
    auto* l = new QLabel(text, parent);
    if (name) l->setObjectName(name);
    return l;
}

QRadioButton* Radio(QWidget* parent, const char* name, const QString& text)
{
    auto* r = new QRadioButton(text, parent);
    r->setObjectName(name);
    return r;
}

void SetupDateEdit(TCustomDateEdit* edit)
{
    edit->SetWeekends(DaySet({Sun, Sat}));
    edit->SetYearDigits(dyFour);
    edit->SetCheckOnExit(true);
}

TDateEdit* DateEdit(QWidget* parent, const char* name)
{
    auto* d = new TDateEdit(parent);
    d->setObjectName(name);
    SetupDateEdit(d);
    d->setFixedWidth(120);
    return d;
}

QHBoxLayout* OkCancelRow(QDialog* dialog, QPushButton*& ok, QPushButton*& cancel, const QString& okCaption)
{
    ok = new QPushButton(okCaption, dialog);
    ok->setObjectName("btnOK");
    ok->setDefault(true);
    cancel = new QPushButton("Отмена", dialog);
    cancel->setObjectName("btnCancel");
    cancel->setAutoDefault(false);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(ok);
    row->addWidget(cancel);
    return row;
}

bool DialogKey(QDialog* dialog, QKeyEvent* e)
{
    const int key = e->key();
    if (key != Qt::Key_Return && key != Qt::Key_Enter && key != Qt::Key_Escape) return false;
    DialogKeyDown(dialog, key);
    e->accept();
    return true;
}

QVBoxLayout* ToolBarColumn(QWidget* window, QToolBar*& toolBar, const char* name)
{
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    toolBar = new QToolBar(window);
    toolBar->setObjectName(name);
    toolBar->setIconSize(QSize(16, 16));
    layout->addWidget(toolBar);
    return layout;
}

void PasswordEdit(QLineEdit* edit)
{
    edit->setEchoMode(QLineEdit::Password);
    // The style's own mask is a dot; the program's password fields show "*".
    edit->setStyleSheet("lineedit-password-character: 42");
}
