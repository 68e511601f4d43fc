#include "CoreFixture.h"

#include "core/Users.h"
#include "core/fmLogin.h"
#include "core/fmSettings.h"
#include "widgets/FieldLabels.h"
#include "core/fmSetupMy.h"
#include "db/DbError.h"
#include "widgets/DBControls.h"
#include "widgets/ScriptedDialogs.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QtTest/QTest>

#include <gtest/gtest.h>

namespace {

class SettingsTest : public CoreDatabaseTest {
protected:
    fw::ScriptedDialogs dialogs;
    TUserRecord user;

    void SetUp() override
    {
        CoreDatabaseTest::SetUp();
        UserRights = new TUsers;
        user = {-1, 0, "Иванов", "", "old@example.com"};
        UserRights->AddUser(user);   // the password column stays NULL
        CurrentUser = user;
        if (db.selectValue("select count(*) from rdb$exceptions where rdb$exception_name = 'FAIL_WRITE'").asInt() == 0)
            db.execute("create exception FAIL_WRITE 'Сбой записи'");
    }
    void TearDown() override
    {
        delete UserRights;
        UserRights = nullptr;
        CurrentUser = {};
        CoreDatabaseTest::TearDown();
    }
    // Any write of that table fails: a test that expects no write shows no error.
    void refuseWrites(const QString& table, const QString& name)
    {
        db.execute(QString("create trigger %1 for %2 before update as begin exception FAIL_WRITE; end")
                       .arg(name, table));
    }
    void dropTrigger(const QString& name) { db.execute("drop trigger " + name); }
    void type(QLineEdit* edit, const QString& text)
    {
        edit->setFocus();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }
    QString stored(const char* column)
    {
        return db.selectValue(QString("select %1 from users where idUser = %2").arg(column).arg(user.IdUser)).asString();
    }
};

TEST_F(SettingsTest, GeneralSettingsAreWrittenOnlyWhenEditedAndStayOpenOnFailure)
{
    dm->qryMain.open();
    refuseWrites("VER", "FAIL_VER");
    {
        auto* w = new TfmSettings;
        QPointer<TfmSettings> guard(w);
        EXPECT_EQ(w->pcMain->currentIndex(), 0);
        w->show();
        EXPECT_TRUE(w->close());   // nothing edited: no write, so no refusal
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(guard.isNull());
    }
    auto* w = new TfmSettings;
    w->show();
    // Messages about the settings row name its fields as the window does.
    EXPECT_EQ(fw::fieldCaption(dm->qryMain, "COMPANY"), "Название компании");
    EXPECT_EQ(fw::fieldCaption(dm->qryMain, "BODYINFO"), "Тело письма");
    EXPECT_EQ(fw::fieldCaption(dm->qryMain, "ENDPHONECHAR"), "Символ окончания телефонного номера");
    type(w->dbeCompany, "Tolmar");
    ASSERT_EQ(dm->qryMain.state(), fw::DataSetState::Edit);
    dialogs.expectError();
    EXPECT_FALSE(w->close());
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->dbeCompany->text(), "Tolmar");

    dropTrigger("FAIL_VER");
    EXPECT_TRUE(w->close());
    EXPECT_EQ(db.selectValue("select company from ver").asString(), "Tolmar");
    delete w;
}

TEST_F(SettingsTest, WrongGatePasswordClosesAtOnce)
{
    db.execute(QString("update users set pass = 'Secret' where idUser = %1").arg(user.IdUser));
    TfmSetupMy dlg;
    dlg.show();
    type(dlg.EditPass, "secret");
    dialogs.expectError("Пароль указан не верно!");
    dlg.btnOk->click();
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_FALSE(dlg.Panel2->isVisible());
}

TEST_F(SettingsTest, UnchangedPersonalSettingsWriteNothing)
{
    refuseWrites("USERS", "FAIL_USERS");
    TfmSetupMy dlg;
    dlg.show();
    dlg.btnOk->click();   // the stored NULL password is the empty one
    ASSERT_TRUE(dlg.Panel2->isVisible());
    type(dlg.DBEEmail, "new@example.com");
    type(dlg.DBEEmail, "old@example.com");
    dlg.btnOk->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    dropTrigger("FAIL_USERS");
}

TEST_F(SettingsTest, SavedPersonalSettingsReachTheUsersObject)
{
    TfmSetupMy dlg;
    dlg.show();
    dlg.btnOk->click();
    ASSERT_TRUE(dlg.Panel2->isVisible());
    EXPECT_EQ(dlg.DBEPass->echoMode(), QLineEdit::Password);
    dlg.CBoxPass->click();
    EXPECT_EQ(dlg.DBEPass->echoMode(), QLineEdit::Normal);
    type(dlg.DBEEmail, "new@example.com");
    type(dlg.DBEPass, "pw1");
    dlg.btnOk->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(stored("email"), "new@example.com");
    EXPECT_EQ(stored("pass"), "pw1");
    TUserRecord read;
    ASSERT_TRUE(UserRights->GetUser(user.IdUser, read));
    EXPECT_EQ(read.Email, "new@example.com");
    EXPECT_EQ(read.Pass, "pw1");
}

// Every password field of the program masks with "*", as the login does.
TEST_F(SettingsTest, PasswordFieldsShowStars)
{
    const auto mask = [](QLineEdit* e) { return QChar(e->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, e)); };
    TfmLogin login;
    EXPECT_EQ(mask(login.edPass), '*');

    TfmSetupMy dlg;
    dlg.show();
    EXPECT_EQ(mask(dlg.EditPass), '*');
    dlg.btnOk->click();
    ASSERT_TRUE(dlg.Panel2->isVisible());
    EXPECT_EQ(mask(dlg.DBEPass), '*');
    QTest::mouseClick(dlg.CBoxPass, Qt::LeftButton);
    EXPECT_EQ(dlg.DBEPass->echoMode(), QLineEdit::Normal);
    dlg.btnCancel->click();
}

TEST_F(SettingsTest, FailedSaveKeepsTheDialogOpenWithTypedValues)
{
    refuseWrites("USERS", "FAIL_USERS");
    TfmSetupMy dlg;
    int finished = 0;
    QObject::connect(&dlg, &QDialog::finished, [&] { ++finished; });
    dlg.show();
    dlg.btnOk->click();
    type(dlg.DBEEmail, "new@example.com");
    dialogs.expectError();
    dlg.btnOk->click();
    EXPECT_EQ(finished, 0);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(dlg.DBEEmail->text(), "new@example.com");
    EXPECT_EQ(stored("email"), "old@example.com");
    TUserRecord read;
    UserRights->GetUser(user.IdUser, read);
    EXPECT_EQ(read.Email, "old@example.com");

    dropTrigger("FAIL_USERS");
    dlg.btnOk->click();
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(stored("email"), "new@example.com");
}

} // namespace
