#include "core/FormParts.h"

#include "controls/DBDateEdit.h"
#include "controls/DateEdit.h"
#include "core/SharedProcs.h"

#include "widgets/DBControls.h"
#include "widgets/DBGrid.h"
#include "widgets/DBLookupCombo.h"

#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
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

fw::DBLookupCombo* Lookup(QWidget* parent, const char* name, fw::DataSource* list, const char* keyField,
                          const char* listField, int minWidth, fw::DataSource* data)
{
    fw::DBLookupCombo* c = LookupCombo(parent, name, list, keyField, listField, data, keyField);
    c->setMinimumWidth(minWidth);
    return c;
}

fw::DBEdit* FieldEdit(QWidget* parent, const char* name, fw::DataSource* data, const char* field, int maxLength)
{
    auto* e = new fw::DBEdit(parent);
    e->setObjectName(name);
    e->setDataSource(data);
    e->setDataField(field);
    if (maxLength > 0) e->setMaxLength(maxLength);
    return e;
}

TDBDateEdit* FieldDateEdit(QWidget* parent, const char* name, fw::DataSource* data, const char* field)
{
    auto* e = new TDBDateEdit(parent);
    e->setObjectName(name);
    SetupDateEdit(e);
    e->SetDataSource(data);
    e->SetDataField(field);
    return e;
}

fw::DBGrid* Grid(QWidget* parent, const char* name, fw::DataSource* source, const QList<fw::GridColumn>& columns)
{
    auto* g = new fw::DBGrid(parent);
    g->setObjectName(name);
    g->setDataSource(source);
    g->setColumns(columns);
    return g;
}

fw::GridColumn ReadOnlyColumn(const QString& field, const QString& title, int width)
{
    fw::GridColumn c{field, title, width};
    c.readOnly = true;
    return c;
}

fw::DBNavigator* Navigator(QWidget* parent, const char* name, fw::DataSource* source,
                           fw::DBNavigator::Buttons buttons, const QString& postHint, const QString& cancelHint)
{
    auto* n = new fw::DBNavigator(parent);
    n->setObjectName(name);
    n->setDataSource(source);
    n->setVisibleButtons(buttons);
    n->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    n->setHint(fw::DBNavigator::Button::Post, postHint);
    n->setHint(fw::DBNavigator::Button::Cancel, cancelHint);
    return n;
}

QToolBar* ToolBar(QWidget* parent, const char* name)
{
    auto* t = new QToolBar(parent);
    t->setObjectName(name);
    t->setIconSize(QSize(16, 16));
    return t;
}

QToolButton* SideButton(QWidget* parent, const char* name, const QString& hint, const QString& text)
{
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setText(text);
    b->setToolTip(hint);
    b->setAutoRaise(true);
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

QHBoxLayout* Pair(QWidget* edit, QWidget* button)
{
    auto* h = new QHBoxLayout;
    h->setSpacing(2);
    h->addWidget(edit, 1);
    h->addWidget(button);
    return h;
}

void FormField(QGridLayout* grid, QWidget* parent, int row, int column, const QString& caption, QWidget* field,
               int span)
{
    grid->addWidget(new QLabel(caption, parent), row, column);
    grid->addWidget(field, row, column + 1, 1, span);
}

void FormField(QGridLayout* grid, QWidget* parent, int row, int column, const QString& caption, QLayout* field,
               int span)
{
    grid->addWidget(new QLabel(caption, parent), row, column);
    grid->addLayout(field, row, column + 1, 1, span);
}

QGroupBox* Group(QWidget* parent, const char* name, const QString& caption)
{
    auto* g = new QGroupBox(caption, parent);
    g->setObjectName(name);
    return g;
}

QWidget* Page(QTabWidget* pages, const char* name, const QString& caption)
{
    auto* w = new QWidget(pages);
    w->setObjectName(name);
    pages->addTab(w, caption);
    return w;
}

QVBoxLayout* PageLayout(QWidget* page)
{
    auto* l = new QVBoxLayout(page);
    l->setContentsMargins(2, 2, 2, 2);
    l->setSpacing(2);
    return l;
}

QWidget* PageByName(QTabWidget* pages, const QString& name)
{
    for (int i = 0; i < pages->count(); ++i)
        if (pages->widget(i)->objectName() == name) return pages->widget(i);
    return nullptr;
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
    toolBar = ToolBar(window, name);
    layout->addWidget(toolBar);
    return layout;
}

void PasswordEdit(QLineEdit* edit)
{
    edit->setEchoMode(QLineEdit::Password);
    // The style's own mask is a dot; the program's password fields show "*".
    edit->setStyleSheet("lineedit-password-character: 42");
}
