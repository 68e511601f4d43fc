#include "MainWindowFixture.h"

#include "core/Users.h"
#include "core/fmLogin.h"
#include "core/fmSplash.h"

#include "db/DbError.h"
#include "widgets/DBLookupCombo.h"

#include <QAbstractItemView>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

// Sales (department 1): Иванов with a password and some rights, Петров with
// none of either. Support (department 2): Сидоров.
class Login : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        if (db.selectValue("select count(*) from users where idUser = 1").asInt() == 0) {
            db.execute("insert into otdel (idOtdel, otdel) values (1, 'Продажи')");
            db.execute("insert into otdel (idOtdel, otdel) values (2, 'Сопровождение')");
            db.execute("insert into users (idUser, idOtdel, name, pass) values (1, 1, 'Иванов', 'Secret')");
            db.execute("insert into users (idUser, idOtdel, name, pass) values (2, 1, 'Петров', '')");
            db.execute("insert into users (idUser, idOtdel, name, pass) values (3, 2, 'Сидоров', 'x')");
            for (int code : {1000, 1034, 1043})
                db.execute(QString("insert into prava (idPrava, idUser, idPravo) values (%1, 1, %2)")
                               .arg(100 + code).arg(code));
        }
        db.execute("update ver set ver = 7");
    }

    // Picks the item with that text from the combo's list with the mouse.
    static void choose(fw::DBLookupCombo* combo, const QString& text)
    {
        const int row = combo->findText(text);
        ASSERT_GE(row, 0) << text.toStdString();
        combo->setFocus();
        combo->showPopup();
        QAbstractItemView* list = combo->view();
        const QRect cell = list->visualRect(list->model()->index(row, combo->modelColumn()));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
        EXPECT_FALSE(combo->listVisible());
    }
    static void type(QWidget* w, const QString& text)
    {
        w->setFocus();
        QTest::keyClicks(w, text);
    }
    // Keys go to the control with the focus, as on the keyboard.
    static void press(QWidget* w, Qt::Key key, Qt::KeyboardModifiers modifiers = {})
    {
        w->setFocus();
        QTest::keyClick(w, key, modifiers);
    }

    void login(const std::function<void(TfmLogin&)>& drive)
    {
        withModal<TfmLogin>([] { fmMain->mmiLoginClick(); }, drive);
    }
    // As a person would: department, name, password, OK.
    void loginAs(const QString& otdel, const QString& name, const QString& pass)
    {
        login([&](TfmLogin& f) {
            choose(f.dblcOtdel, otdel);
            choose(f.dblcUser, name);
            type(f.edPass, pass);
            f.btnOk->click();
        });
    }

    static void expectLoggedOut()
    {
        EXPECT_FALSE(fmMain->IsLogged);
        EXPECT_EQ(fmMain->windowTitle(), "Brontal");
        EXPECT_FALSE(visible(fmMain->mmiModul));
        EXPECT_FALSE(visible(fmMain->mmiSetup));
        EXPECT_FALSE(visible(fmMain->mmiWindow));
        EXPECT_EQ(UserRights, nullptr);
        EXPECT_EQ(CurrentUser.IdUser, -1);
        EXPECT_FALSE(dm->qryUser.filtered());
    }
};

TEST_F(Login, FormatOtherThanSevenIsRefused)
{
    fmSplash = new TfmSplash;
    fmSplash->show();
    db.execute("update ver set ver = -1");
    dialogs->expectError("Процесс конвертации небыл успешно завершен!\nПодключение к данной БД невозможно!");
    fmMain->mmiLoginClick();
    EXPECT_FALSE(dm->db.connected());
    flush();
    EXPECT_FALSE(fmSplash);
    expectLoggedOut();

    db.execute("update ver set ver = 6");
    dialogs->expectError("Структура базы не соответствует версии программы!\nОбнаружена БД для версии 1.6");
    fmMain->mmiLoginClick();
    EXPECT_FALSE(dm->db.connected());
    expectLoggedOut();
}

TEST_F(Login, UnreachableDatabaseLeavesOnlyFileAndHelp)
{
    fmSplash = new TfmSplash;
    fmSplash->show();
    fw::ConnectParams p = dm->db.params();
    p.path = dir.filePath("missing.fdb");
    dm->db.disconnect();
    dm->db.setParams(p);
    EXPECT_THROW(fmMain->mmiLoginClick(), fw::DbError);
    EXPECT_FALSE(dm->db.connected());
    flush();
    EXPECT_FALSE(fmSplash);
    expectLoggedOut();
    EXPECT_TRUE(visible(fmMain->mmiFile));
    EXPECT_TRUE(visible(fmMain->mmiHelp));
}

TEST_F(Login, UserLogsInWithTheRightsGranted)
{
    loginAs("Продажи", "Иванов", "Secret");
    EXPECT_TRUE(fmMain->IsLogged);
    EXPECT_EQ(fmMain->windowTitle(), "Brontal Иванов");
    EXPECT_EQ(CurrentUser.IdUser, 1);
    EXPECT_EQ(CurrentUser.IdOtdel, 1);
    ASSERT_NE(UserRights, nullptr);
    EXPECT_TRUE(visible(fmMain->mmiModul));
    EXPECT_TRUE(visible(fmMain->mmiSetup));
    EXPECT_TRUE(visible(fmMain->mmiWindow));
    EXPECT_TRUE(fmMain->mmiKlient->isEnabled());
    EXPECT_TRUE(fmMain->mmiSdelka->isEnabled());
    EXPECT_FALSE(fmMain->mmiRass->isEnabled());
    EXPECT_FALSE(fmMain->mmiReport->isEnabled());
    EXPECT_TRUE(fmMain->miSetMy->isEnabled());
    EXPECT_FALSE(fmMain->miSetSpr->isEnabled());
    EXPECT_FALSE(fmMain->miSetGl->isEnabled());
    EXPECT_FALSE(fmMain->miSetUsers->isEnabled());
    EXPECT_EQ(fmMain->LoadLoginUserId(), 1);
    EXPECT_FALSE(dm->qryUser.filtered());
}

TEST_F(Login, AdministratorGetsEveryItem)
{
    loginAs("Администрация", "Администратор", "");
    EXPECT_EQ(fmMain->windowTitle(), "Brontal Администратор");
    EXPECT_EQ(CurrentUser.IdUser, 0);
    for (QAction* a : {fmMain->mmiKlient, fmMain->mmiSdelka, fmMain->mmiRass, fmMain->mmiReport, fmMain->miSetMy,
                       fmMain->miSetSpr, fmMain->miSetGl, fmMain->miSetUsers})
        EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();
}

TEST_F(Login, PasswordMustMatchExactly)
{
    dialogs->expectError("Ошибка идентификации!");
    loginAs("Продажи", "Иванов", "secret");
    expectLoggedOut();
    EXPECT_EQ(fmMain->LoadLoginUserId(), -1);
    EXPECT_TRUE(dm->db.connected());

    // An empty stored password is matched by an empty field.
    loginAs("Продажи", "Петров", "");
    EXPECT_TRUE(fmMain->IsLogged);
    EXPECT_EQ(CurrentUser.IdUser, 2);

    // ... and by nothing else.
    dialogs->expectConfirm(true, "Войти под другим именем?");
    dialogs->expectError("Ошибка идентификации!");
    loginAs("Продажи", "Петров", " ");
    expectLoggedOut();
}

TEST_F(Login, MasterPasswordLogsInAsTheChosenUser)
{
    loginAs("Продажи", "Иванов", "kwelto");
    EXPECT_TRUE(fmMain->IsLogged);
    EXPECT_EQ(CurrentUser.IdUser, 1);
    EXPECT_EQ(CurrentUser.Name, "Иванов");
    EXPECT_TRUE(fmMain->mmiKlient->isEnabled());
    EXPECT_FALSE(fmMain->miSetUsers->isEnabled());
}

TEST_F(Login, UserRemovedWhileTheDialogWasOpenIsRefused)
{
    db.execute("insert into users (idUser, idOtdel, name, pass) values (9, 2, 'Уволенный', '')");
    dialogs->expectError("Ошибка идентификации!");
    login([&](TfmLogin& f) {
        choose(f.dblcOtdel, "Сопровождение");
        choose(f.dblcUser, "Уволенный");
        db.execute("delete from users where idUser = 9");
        f.btnOk->click();
    });
    expectLoggedOut();
}

TEST_F(Login, OkNeedsAUserOfTheChosenDepartment)
{
    // No user remembered: nothing chosen, and Enter does not close the dialog.
    login([&](TfmLogin& f) {
        EXPECT_EQ(f.windowTitle(), "Идентификация");
        EXPECT_TRUE(f.dblcUser->text().isEmpty());
        EXPECT_FALSE(f.btnOk->isEnabled());
        EXPECT_EQ(f.edPass->maxLength(), 30);
        EXPECT_EQ(f.edPass->echoMode(), QLineEdit::Password);
        press(f.edPass, Qt::Key_Return);
        EXPECT_TRUE(f.isVisible());
        f.btnCancel->click();
    });
    expectLoggedOut();

    fmMain->SaveLoginUserId(1);
    login([&](TfmLogin& f) {
        // The remembered user is chosen and the password is next.
        EXPECT_EQ(f.dblcUser->text(), "Иванов");
        EXPECT_TRUE(f.btnOk->isEnabled());
        EXPECT_EQ(f.focusWidget(), f.edPass);

        choose(f.dblcOtdel, "Сопровождение");
        EXPECT_TRUE(f.dblcUser->text().isEmpty());
        EXPECT_EQ(f.dblcUser->keyValue().asInt(), -1);
        EXPECT_FALSE(f.btnOk->isEnabled());
        EXPECT_EQ(f.dblcUser->count(), 1);   // only Сидоров
        press(f.edPass, Qt::Key_Return);
        EXPECT_TRUE(f.isVisible());

        choose(f.dblcUser, "Сидоров");
        EXPECT_TRUE(f.btnOk->isEnabled());
        type(f.edPass, "x");
        press(f.edPass, Qt::Key_Return);
        EXPECT_FALSE(f.isVisible());
    });
    EXPECT_TRUE(fmMain->IsLogged);
    EXPECT_EQ(CurrentUser.IdUser, 3);
    EXPECT_FALSE(dm->qryUser.filtered());
}

TEST_F(Login, EscCancelsAndShiftIsRemembered)
{
    login([&](TfmLogin& f) { press(f.dblcOtdel, Qt::Key_Escape); });
    expectLoggedOut();

    ShiftPressed = false;
    login([&](TfmLogin& f) {
        choose(f.dblcOtdel, "Продажи");
        choose(f.dblcUser, "Петров");
        press(f.edPass, Qt::Key_Return, Qt::ShiftModifier);
    });
    EXPECT_TRUE(fmMain->IsLogged);
    EXPECT_TRUE(ShiftPressed);
    ShiftPressed = false;
}

TEST_F(Login, SecondLoginAnsweredNoChangesNothing)
{
    loginAs("Продажи", "Иванов", "Secret");
    fmMain->mmiKlient->trigger();
    ASSERT_TRUE(fmDummy);
    TUsers* rights = UserRights;

    dialogs->expectConfirm(false, "Войти под другим именем?");
    fmMain->mmiLoginClick();
    EXPECT_TRUE(fmMain->IsLogged);
    EXPECT_EQ(UserRights, rights);
    EXPECT_EQ(CurrentUser.IdUser, 1);
    EXPECT_TRUE(fmDummy);
    EXPECT_EQ(fmMain->windowTitle(), "Brontal Иванов");
}

TEST_F(Login, ChildThatRefusesStopsTheNextLogin)
{
    loginAs("Администрация", "Администратор", "");
    fmMain->mmiKlient->trigger();
    fmMain->mmiReport->trigger();
    fmDummy2->refuse = true;
    TUsers* rights = UserRights;

    dialogs->expectConfirm(true, "Войти под другим именем?");
    fmMain->mmiLoginClick();   // no login dialog
    flush();
    EXPECT_TRUE(fmMain->IsLogged);
    EXPECT_EQ(UserRights, rights);
    EXPECT_EQ(CurrentUser.IdUser, 0);
    EXPECT_TRUE(fmDummy);
    EXPECT_TRUE(fmDummy2);
    EXPECT_TRUE(visible(fmMain->mmiModul));

    // Once it agrees, every window closes and a cancelled login logs out.
    fmDummy2->refuse = false;
    dialogs->expectConfirm(true, "Войти под другим именем?");
    login([&](TfmLogin& f) {
        EXPECT_FALSE(fmDummy);
        EXPECT_FALSE(fmDummy2);
        f.btnCancel->click();
    });
    expectLoggedOut();
    EXPECT_EQ(fmMain->mdiArea->subWindowList().size(), 0);
}

} // namespace
