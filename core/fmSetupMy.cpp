#include "core/fmSetupMy.h"

#include "core/FormParts.h"
#include "core/Users.h"
#include "core/dm.h"

#include "db/DbError.h"
#include "widgets/DBControls.h"
#include "widgets/Dialogs.h"
#include "widgets/ExceptionHandler.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TfmSetupMy::TfmSetupMy(QWidget* owner) : QDialog(owner), qryUser(this), dsUser(&qryUser, this)
{
    setObjectName("fmSetupMy");
    setWindowTitle("Личные настройки");

    qryUser.setObjectName("qryUser");
    qryUser.setSql({"select *", "from users", "where", "  idUser=:idUser"});
    usqlUser.setModifySql({"update users", "set", "  PASS = :PASS,", "  EMAIL = :EMAIL", "where",
                           "  IDUSER = :OLD_IDUSER"});
    qryUser.setUpdateObject(&usqlUser);
    qryUser.afterPost = [](fw::DataSet& ds) { if (dm) dm->qryAfterPostDelete(ds); };

    auto* layout = new QVBoxLayout(this);
    Panel1 = new QWidget(this);
    Panel1->setObjectName("Panel1");
    auto* gate = new QVBoxLayout(Panel1);
    Label1 = new QLabel("Для доступа к личным настройкам\nвведите свой пароль", Panel1);
    Label1->setObjectName("Label1");
    Label1->setAlignment(Qt::AlignCenter);
    EditPass = new QLineEdit(Panel1);
    EditPass->setObjectName("EditPass");
    PasswordEdit(EditPass);
    gate->addWidget(Label1);
    gate->addWidget(EditPass);
    layout->addWidget(Panel1);

    Panel2 = new QWidget(this);
    Panel2->setObjectName("Panel2");
    auto* form = new QFormLayout(Panel2);
    DBEName = new fw::DBEdit(Panel2);
    DBEName->setObjectName("DBEName");
    DBEName->setDataSource(&dsUser);
    DBEName->setDataField("NAME");
    DBEName->setEnabled(false);
    DBEEmail = new fw::DBEdit(Panel2);
    DBEEmail->setObjectName("DBEEmail");
    DBEEmail->setDataSource(&dsUser);
    DBEEmail->setDataField("EMAIL");
    DBEEmail->setMaxLength(50);
    DBEPass = new fw::DBEdit(Panel2);
    DBEPass->setObjectName("DBEPass");
    DBEPass->setDataSource(&dsUser);
    DBEPass->setDataField("PASS");
    DBEPass->setMaxLength(30);
    PasswordEdit(DBEPass);
    CBoxPass = new QCheckBox("Показать пароль", Panel2);
    CBoxPass->setObjectName("CBoxPass");
    form->addRow("Фамилия", DBEName);
    form->addRow("E-mail", DBEEmail);
    form->addRow("Пароль", DBEPass);
    form->addRow(QString(), CBoxPass);
    Panel2->hide();
    layout->addWidget(Panel2);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    btnOk = new QPushButton("OK", this);
    btnOk->setObjectName("btnOk");
    btnOk->setDefault(true);
    btnCancel = new QPushButton("Отмена", this);
    btnCancel->setObjectName("btnCancel");
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    layout->addLayout(buttons);
    setMinimumWidth(320);

    connect(btnOk, &QPushButton::clicked, this, fw::guarded([this] { BtnOkClick(); }));
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(CBoxPass, &QCheckBox::toggled, this, fw::guarded([this] { CBoxPassClick(); }));

    FormCreate();
}

TfmSetupMy::~TfmSetupMy()
{
    qryUser.close();
}

void TfmSetupMy::FormCreate()
{
    if (!dm) throw fw::Error("TfmSetupMy: the shared data module does not exist");
    qryUser.setDatabase(&dm->db);
    qryUser.paramByName("idUser").setValue(CurrentUser.IdUser);
    qryUser.open();
    // A NULL column reads as empty text.
    readEmail_ = qryUser.fieldByName("EMAIL").isNull() ? QString() : qryUser.fieldByName("EMAIL").asString();
    readPass_ = qryUser.fieldByName("PASS").isNull() ? QString() : qryUser.fieldByName("PASS").asString();
}

void TfmSetupMy::BtnOkClick()
{
    if (!gateOpen_) {
        // Only the user's own password; the master password does not open this.
        if (qryUser.isEmpty() || EditPass->text() != readPass_) {
            fw::dialogs().error("Пароль указан не верно!");
            reject();
            return;
        }
        gateOpen_ = true;
        Panel1->hide();
        Panel2->show();
        DBEEmail->setFocus();
        return;
    }
    if (qryUser.state() == fw::DataSetState::Edit) {
        qryUser.updateRecord();
        auto text = [this](const char* column) {
            const fw::Field& f = qryUser.fieldByName(column);
            return f.isNull() ? QString() : f.asString();
        };
        const QString email = text("EMAIL"), pass = text("PASS");
        if (email == readEmail_ && pass == readPass_) {
            qryUser.cancel();
        } else {
            // A failed write stays in edit with the typed values; the dialog stays open.
            qryUser.post();
            readEmail_ = email;
            readPass_ = pass;
            if (UserRights)
                for (TUserRecord& u : UserRights->Users)
                    if (u.IdUser == CurrentUser.IdUser) {
                        u.Email = email;
                        u.Pass = pass;
                    }
            if (UserRights) UserRights->ApplyFilter();
            dm->qryUser.close();
            dm->qryUser.open();
        }
    }
    accept();
}

void TfmSetupMy::CBoxPassClick()
{
    DBEPass->setEchoMode(CBoxPass->isChecked() ? QLineEdit::Normal : QLineEdit::Password);
}

void TfmSetupMy::FormClose()
{
    qryUser.close();
}

void TfmSetupMy::done(int result)
{
    FormClose();
    QDialog::done(result);
}

void ShowSetupMy(QWidget* owner)
{
    TfmSetupMy dlg(owner);
    dlg.exec();
}
