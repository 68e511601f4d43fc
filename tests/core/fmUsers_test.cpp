#include "CoreFixture.h"

#include "core/Users.h"
#include "core/fmUser.h"
#include "core/fmUsers.h"
#include "db/DbError.h"
#include "widgets/ScriptedDialogs.h"

#include <QApplication>
#include <QLineEdit>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace {

const QString NotAdmin = "Вы не можете выполнять эти действия с Администратором!";

class UsersWindowTest : public CoreDatabaseTest {
protected:
    fw::ScriptedDialogs dialogs;
    TOtdelRecord sales{-1, "Продажи"};
    TOtdelRecord empty{-1, "Склад"};
    TUserRecord ivanov, petrov;

    void SetUp() override
    {
        CoreDatabaseTest::SetUp();
        UserRights = new TUsers;
        UserRights->AddOtdel(sales);
        UserRights->AddOtdel(empty);
        ivanov = {-1, sales.IdOtdel, "Иванов", "", "iv@example.com"};
        petrov = {-1, sales.IdOtdel, "Петров", "", ""};
        UserRights->AddUser(ivanov);
        UserRights->AddUser(petrov);
        for (int code : {1000, 1043, 1046}) UserRights->AddPravo(ivanov.IdUser, code);
        CurrentUser = ivanov;
    }
    void TearDown() override
    {
        delete UserRights;
        UserRights = nullptr;
        CurrentUser = {};
        CoreDatabaseTest::TearDown();
    }
    int count(const QString& sql) { return db.selectValue(sql).asInt(); }
    QList<int> storedCodesOf(int idUser)
    {
        QList<int> codes;
        fw::Query q(&db);
        q.setSql({QString("select idPravo from prava where idUser = %1 order by idPravo").arg(idUser)});
        for (q.open(); !q.eof(); q.next()) codes << q.field(0).asInteger();
        return codes;
    }
    void selectUser(TfmUsers& w, int idOtdel, int idUser)
    {
        w.tvUsers->setCurrentItem(w.UserNode(w.OtdelNode(idOtdel), idUser));
        ASSERT_EQ(w.Mode, 0);
    }
    QStringList childNames(QTreeWidgetItem* node)
    {
        QStringList names;
        for (int i = 0; i < node->childCount(); ++i) names << node->child(i)->text(0);
        return names;
    }
};

TEST_F(UsersWindowTest, OpensOnFirstDepartmentListingItsUsers)
{
    TfmUsers w;
    EXPECT_EQ(w.Mode, 1);
    EXPECT_TRUE(w.btnUsers->isChecked());
    EXPECT_FALSE(w.tbPaste->isEnabled());
    ASSERT_EQ(w.tvUsers->topLevelItemCount(), 3);
    const int firstOtdel = w.tvUsers->topLevelItem(0)->data(0, TfmUsers::IdRole).toInt();
    UserRights->SetFiltered(false);
    int expected = 0;
    for (const TUserRecord& u : UserRights->Users) expected += u.IdOtdel == firstOtdel;
    EXPECT_EQ(w.lvUsers->topLevelItemCount(), expected);
}

TEST_F(UsersWindowTest, NobodyButTheAdministratorActsOnTheAdministrator)
{
    TfmUsers w;
    selectUser(w, 0, 0);
    w.tbCopy->click();   // holding the administrator's rights is allowed
    const QList<int> adminRights = storedCodesOf(0);
    for (QToolButton* b : {w.tbUserEdit, w.tbUserDel, w.tbUserOtdel, w.tbUserPass, w.tbPaste}) {
        ASSERT_TRUE(b->isEnabled()) << b->objectName().toStdString();
        dialogs.expectError(NotAdmin);
        b->click();
    }
    QString shown;
    try {
        w.tvPravaMouseDown(w.PravoNode(1046));
    } catch (const fw::Error& e) {
        shown = e.message();
    }
    EXPECT_EQ(shown, NotAdmin);
    EXPECT_EQ(storedCodesOf(0), adminRights);
    EXPECT_EQ(count("select count(*) from users where idUser = 0"), 1);
    EXPECT_EQ(w.PravoNode(1046)->data(0, TfmUsers::StateRole).toInt(), 1);
}

TEST_F(UsersWindowTest, RightsToggleByClickAndAdministratorKeepsUsersRight)
{
    CurrentUser = {0, 0, "Администратор", "", ""};
    TfmUsers w;
    selectUser(w, sales.IdOtdel, petrov.IdUser);
    QTreeWidgetItem* node = w.PravoNode(1038);
    EXPECT_EQ(node->data(0, TfmUsers::StateRole).toInt(), 2);
    w.tvPravaMouseDown(node);
    EXPECT_EQ(node->data(0, TfmUsers::StateRole).toInt(), 1);
    EXPECT_EQ(storedCodesOf(petrov.IdUser), QList<int>{1038});
    w.tvPravaMouseDown(node);
    EXPECT_TRUE(storedCodesOf(petrov.IdUser).isEmpty());

    selectUser(w, 0, 0);
    EXPECT_THROW(w.tvPravaMouseDown(w.PravoNode(1046)), fw::UserError);
    EXPECT_EQ(w.PravoNode(1046)->data(0, TfmUsers::StateRole).toInt(), 1);
}

TEST_F(UsersWindowTest, OnlyAnEmptyDepartmentIsDeletedAfterConfirmation)
{
    TfmUsers w;
    w.tvUsers->setCurrentItem(w.OtdelNode(sales.IdOtdel));
    dialogs.expectError("Нельзя удалять отдел, в котором есть пользователи!");
    w.tbGroupDel->click();
    EXPECT_NE(w.OtdelNode(sales.IdOtdel), nullptr);

    w.tvUsers->setCurrentItem(w.OtdelNode(empty.IdOtdel));
    dialogs.expectConfirm(false, "Удалить отдел \"Склад\"?");
    w.tbGroupDel->click();
    EXPECT_EQ(count(QString("select count(*) from otdel where idOtdel = %1").arg(empty.IdOtdel)), 1);
    dialogs.expectConfirm(true, "Удалить отдел \"Склад\"?");
    w.tbGroupDel->click();
    EXPECT_EQ(count(QString("select count(*) from otdel where idOtdel = %1").arg(empty.IdOtdel)), 0);
    EXPECT_EQ(w.OtdelNode(empty.IdOtdel), nullptr);

    // Every remaining department still lists its own users.
    w.tvUsers->setCurrentItem(w.OtdelNode(sales.IdOtdel));
    QStringList listed;
    for (int i = 0; i < w.lvUsers->topLevelItemCount(); ++i) listed << w.lvUsers->topLevelItem(i)->text(0);
    listed.sort();
    EXPECT_EQ(listed, (QStringList{"Иванов", "Петров"}));
}

TEST_F(UsersWindowTest, AUserWhoOwnsRowsIsDeletedOnlyByHandingThemToHisDepartment)
{
    TUserRecord keeper{-1, empty.IdOtdel, "Кладовщик", "", ""};
    UserRights->AddUser(keeper);
    db.execute("insert into CUSTOMER (IDCUST, IDUSER, COMPANY) values (901, :u, 'Ромашка')", {{"u", petrov.IdUser}});
    db.execute("insert into CUSTOMER (IDCUST, IDUSER, COMPANY) values (902, :u, 'Лютик')", {{"u", keeper.IdUser}});
    TfmUsers w;

    // Alone in his department: nobody to take his rows.
    selectUser(w, empty.IdOtdel, keeper.IdUser);
    dialogs.expectConfirm(true, "Удалить пользователя \"Кладовщик\"?")
        .expectError("Пользователь «Кладовщик» указан в 1 карточке клиента; удалить его нельзя: в его отделе нет "
                     "другого пользователя, которому их можно передать.");
    w.tbUserDel->click();
    EXPECT_NE(w.UserNode(w.OtdelNode(empty.IdOtdel), keeper.IdUser), nullptr);

    const QString offer = "Пользователь «Петров» указан в 1 карточке клиента.\n"
                          "Передать эти записи другому пользователю его отдела и удалить \"Петров\"?";
    selectUser(w, sales.IdOtdel, petrov.IdUser);
    dialogs.expectConfirm(true, "Удалить пользователя \"Петров\"?").expectConfirm(false, offer);
    w.tbUserDel->click();
    EXPECT_EQ(count(QString("select count(*) from users where idUser = %1").arg(petrov.IdUser)), 1);

    dialogs.expectConfirm(true, "Удалить пользователя \"Петров\"?").expectConfirm(true, offer).expectPickItem(0);
    w.tbUserDel->click();
    EXPECT_EQ(w.UserNode(w.OtdelNode(sales.IdOtdel), petrov.IdUser), nullptr);
    EXPECT_EQ(count(QString("select count(*) from users where idUser = %1").arg(petrov.IdUser)), 0);
    EXPECT_EQ(count(QString("select idUser from customer where idCust = 901")), ivanov.IdUser);
}

TEST_F(UsersWindowTest, RightViewShowsHoldersUnderEveryDepartment)
{
    TfmUsers w;
    w.btnPrava->click();
    ASSERT_EQ(w.Mode, 2);
    EXPECT_EQ(w.tvPrava->parentWidget(), w.Panel1);
    EXPECT_EQ(w.tvUsers->parentWidget(), w.Panel2);
    for (QToolButton* b : {w.tbGroupAdd, w.tbUserAdd, w.tbUserEdit, w.tbCopy, w.tbPaste}) EXPECT_FALSE(b->isEnabled());

    w.tvPrava->setCurrentItem(w.PravoNode(1043));
    EXPECT_EQ(childNames(w.OtdelNode(sales.IdOtdel)), QStringList{"Иванов"});
    ASSERT_NE(w.OtdelNode(empty.IdOtdel), nullptr);
    EXPECT_EQ(w.OtdelNode(empty.IdOtdel)->childCount(), 0);

    w.btnUsers->click();
    EXPECT_EQ(w.Mode, 1);
    EXPECT_EQ(w.OtdelNode(sales.IdOtdel)->childCount(), 2);
}

TEST_F(UsersWindowTest, PastedRightsReplaceTheTargetsRights)
{
    UserRights->AddPravo(petrov.IdUser, 1038);
    TfmUsers w;
    selectUser(w, sales.IdOtdel, ivanov.IdUser);
    EXPECT_FALSE(w.tbPaste->isEnabled());
    w.tbCopy->click();
    selectUser(w, sales.IdOtdel, petrov.IdUser);
    ASSERT_TRUE(w.tbPaste->isEnabled());

    dialogs.expectConfirm(false, "Установить новые права?");
    w.tbPaste->click();
    EXPECT_EQ(storedCodesOf(petrov.IdUser), QList<int>{1038});

    dialogs.expectConfirm(true, "Установить новые права?");
    w.tbPaste->click();
    EXPECT_EQ(storedCodesOf(petrov.IdUser), (QList<int>{1000, 1043, 1046}));
    EXPECT_EQ(w.PravoNode(1043)->data(0, TfmUsers::StateRole).toInt(), 1);
    EXPECT_EQ(w.PravoNode(1038)->data(0, TfmUsers::StateRole).toInt(), 2);
}

TEST_F(UsersWindowTest, MovingToTheSameDepartmentIsRefused)
{
    TfmUsers w;
    selectUser(w, sales.IdOtdel, petrov.IdUser);
    int index = 0;
    for (const TOtdelRecord& o : UserRights->GetOtdels()) {
        if (o.IdOtdel == sales.IdOtdel) break;
        ++index;
    }
    dialogs.expectPickItem(index).expectError("Пользователь уже находится в этом отделе!");
    w.tbUserOtdel->click();
}

TEST_F(UsersWindowTest, EditingNameAndEmailKeepsAPasswordChangedElsewhere)
{
    TfmUsers w;
    selectUser(w, sales.IdOtdel, petrov.IdUser);
    db.execute(QString("update users set pass = 'secret' where idUser = %1").arg(petrov.IdUser));
    QTimer::singleShot(0, [] {
        auto* dlg = qobject_cast<TfmUser*>(QApplication::activeModalWidget());
        ASSERT_NE(dlg, nullptr);
        EXPECT_EQ(dlg->edOtdel->text(), "Продажи");
        dlg->edName->setText("Петров П.");
        dlg->edEmail->setText("pp@example.com");
        dlg->accept();
    });
    w.tbUserEdit->click();
    fw::Query q(&db);
    q.setSql({QString("select name, email, pass from users where idUser = %1").arg(petrov.IdUser)});
    q.open();
    EXPECT_EQ(q.field(0).asString(), "Петров П.");
    EXPECT_EQ(q.field(1).asString(), "pp@example.com");
    EXPECT_EQ(q.field(2).asString(), "secret");
    EXPECT_EQ(w.tvUsers->currentItem()->text(0), "Петров П.");
}

TEST_F(UsersWindowTest, TooLongValuesAreRefusedBeforeAnythingChanges)
{
    TUserRecord u = petrov;
    u.Name = QString(31, QChar(0x0416));
    EXPECT_THROW(UserRights->UpdateUserColumns(u, {"NAME", "EMAIL"}), fw::UserError);
    u = petrov;
    u.Pass = QString(31, 'x');
    EXPECT_THROW(UserRights->UpdateUserColumns(u, {"PASS"}), fw::UserError);
    TUserRecord read;
    UserRights->GetUser(petrov.IdUser, read);
    EXPECT_EQ(read.Name, "Петров");
    EXPECT_EQ(read.Pass, "");
    EXPECT_EQ(db.selectValue(QString("select name from users where idUser = %1").arg(petrov.IdUser)).asString(),
              "Петров");
}

} // namespace
