#include "fmLogin.h"

#include "FormParts.h"
#include "SharedProcs.h"
#include "dm.h"

#include "widgets/DBLookupCombo.h"
#include "widgets/ExceptionHandler.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TfmLogin::TfmLogin(QWidget* owner) : QDialog(owner)
{
    setObjectName("fmLogin");
    setWindowTitle("Идентификация");
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                   | Qt::WindowCloseButtonHint);

    dblcOtdel = new fw::DBLookupCombo(this);
    dblcOtdel->setObjectName("dblcOtdel");
    dblcOtdel->setListSource(&dm->dsOtdel);
    dblcOtdel->setKeyField("IDOTDEL");
    dblcOtdel->setListField("OTDEL");

    dblcUser = new fw::DBLookupCombo(this);
    dblcUser->setObjectName("dblcUser");
    dblcUser->setListSource(&dm->dsUser);
    dblcUser->setKeyField("IDUSER");
    dblcUser->setListField("NAME");

    edPass = new QLineEdit(this);
    edPass->setObjectName("edPass");
    edPass->setMaxLength(30);
    PasswordEdit(edPass);

    Label1 = new QLabel("&Отдел", this);
    Label1->setObjectName("Label1");
    Label1->setBuddy(dblcOtdel);
    Label2 = new QLabel("&Фамилия", this);
    Label2->setObjectName("Label2");
    Label2->setBuddy(dblcUser);
    Label3 = new QLabel("&Пароль", this);
    Label3->setObjectName("Label3");
    Label3->setBuddy(edPass);

    btnOk = new QPushButton("OK", this);
    btnOk->setObjectName("btnOk");
    btnOk->setEnabled(false);
    btnOk->setDefault(true);
    btnCancel = new QPushButton("Отмена", this);
    btnCancel->setObjectName("btnCancel");
    connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    connect(dblcOtdel, &fw::DBLookupCombo::activated, this, fw::guarded([this] { dblcOtdelClick(); }));
    connect(dblcUser, &fw::DBLookupCombo::activated, this, fw::guarded([this] { dblcUserClick(); }));

    auto* fields = new QGridLayout;
    fields->setHorizontalSpacing(10);
    fields->addWidget(Label1, 0, 0);
    fields->addWidget(dblcOtdel, 0, 1);
    fields->addWidget(Label2, 1, 0);
    fields->addWidget(dblcUser, 1, 1);
    fields->addWidget(Label3, 2, 0);
    fields->addWidget(edPass, 2, 1);
    fields->setColumnMinimumWidth(1, 240);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(16, 16, 16, 12);
    root->addLayout(fields);
    root->addSpacing(8);
    root->addLayout(buttons);
    root->setSizeConstraint(QLayout::SetFixedSize);

    dblcOtdel->setFocus();
    qApp->installEventFilter(this);
}

void TfmLogin::dblcOtdelClick()
{
    const fw::Value key = dblcOtdel->keyValue();
    if (key.isNull()) return;
    dm->qryUser.setFilter(QString("idOtdel=%1").arg(key.asInt()));
    dm->qryUser.setFiltered(true);
    dblcUser->setKeyValue(-1);
    btnOk->setEnabled(false);
}

void TfmLogin::dblcUserClick()
{
    btnOk->setEnabled(true);
}

void TfmLogin::FormKeyDown(QKeyEvent* e)
{
    DialogKeyDown(this, e->key());
    if (e->modifiers() & Qt::ShiftModifier) ShiftPressed = true;
}

void TfmLogin::FormKeyUp(QKeyEvent* e)
{
    if (!(e->modifiers() & Qt::ShiftModifier)) ShiftPressed = false;
}

bool TfmLogin::FormCloseQuery(int result)
{
    return result != QDialog::Accepted || btnOk->isEnabled();
}

void TfmLogin::done(int result)
{
    if (!FormCloseQuery(result)) return;
    QDialog::done(result);
}

bool TfmLogin::eventFilter(QObject* watched, QEvent* e)
{
    // A closed form sees no more keys, the release of Shift+Enter included.
    if ((e->type() != QEvent::KeyPress && e->type() != QEvent::KeyRelease) || !isVisible()) return false;
    // A key travels up from the focus widget; the form looks at it once, first.
    auto* w = qobject_cast<QWidget*>(watched);
    QWidget* first = focusWidget() ? focusWidget() : this;
    if (!w || w != first) return false;
    auto* key = static_cast<QKeyEvent*>(e);
    if (e->type() == QEvent::KeyRelease) {
        FormKeyUp(key);
        return false;
    }
    fw::runGuarded([&] { FormKeyDown(key); });
    const bool enterOrEsc = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter
                         || key->key() == Qt::Key_Escape;
    // Enter or Esc that closed the form is used up; one that was refused goes on.
    return enterOrEsc && !isVisible();
}
