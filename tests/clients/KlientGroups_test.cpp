#include "clients/KlientCardFixture.h"

#include "clients/KlientGroups.h"
#include "clients/KlientMerge.h"
#include "core/schema/Schema.h"
#include "support/TestDatabase.h"

#include "widgets/DBControls.h"
#include "widgets/DBNavigator.h"

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QToolButton>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

namespace {

// The texts a list shows, top to bottom.
QStringList Items(fw::DBListBox* list)
{
    QStringList items;
    for (int r = 0; r < list->model()->rowCount(); ++r)
        items << list->model()->index(r, 0).data().toString();
    return items;
}

QString Current(fw::DBListBox* list)
{
    return list->currentIndex().data().toString();
}

// A user's double click on the list's current row.
void DoubleClick(fw::DBListBox* list, int row)
{
    const QRect r = list->visualRect(list->model()->index(row, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, r.center());
}

// A user's click on a tab of the page control.
void ClickTab(QTabWidget* tabs, QWidget* page)
{
    QTabBar* bar = tabs->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(tabs->indexOf(page)).center());
}

class KlientGroupsPage : public KlientCardTest {
protected:
    TKlientGroups* groups() { return fm->KlientGroups; }
    // The window's connection moved to a new database on the shared server, which a
    // second attachment (another workstation) may use too; false without a server.
    bool OnServer(const char* name, fw::ConnectParams& p)
    {
        if (testing_support::serverHost().isEmpty()) return false;
        p = testing_support::createServerDatabase(name);
        fw::Database setup(p);
        setup.connect();
        schema::createObjects(setup);
        // The logged-in users and their departments, as in the suite's database.
        for (const TOtdelRecord& o : UserRights->Otdels)
            if (o.IdOtdel != 0)
                setup.execute("insert into Otdel (idOtdel, Otdel) values (:o, :n)", {{"o", o.IdOtdel}, {"n", o.Otdel}});
        for (const TUserRecord& u : UserRights->Users)
            if (u.IdUser != 0)
                setup.execute("insert into Users (idUser, idOtdel, Name) values (:u, :o, :n)",
                              {{"u", u.IdUser}, {"o", u.IdOtdel}, {"n", u.Name}});
        setup.disconnect();
        dm->db.disconnect();
        dm->db.setParams(p);
        dm->db.connect();
        return true;
    }
    int members(int idCust, const char* table = "Gr_Kl")
    {
        return count(QString("select count(*) from %1 where idCust = %2").arg(table).arg(idCust));
    }
};

TEST_F(KlientGroupsPage, CommonGroupsAreMadeJoinedRenamedAndDeleted)
{
    Grant({1026, 1004});
    const int a = addClient(me.IdUser, "Альфа");
    const int b = addClient(me.IdUser, "Бета");
    open();
    fm->show();
    card(a, fm->tsGroup);
    TKlientGroups* g = groups();
    EXPECT_TRUE(g->btnGroupNew->isEnabled());
    EXPECT_TRUE(g->btnAddToGroup->isEnabled());

    dialogs.expectInputQuery("Test", "Название");
    g->btnGroupNew->click();
    ASSERT_EQ(dialogs.shown().last().title, "Новая группа");
    const int test = count("select idGrKlient from GrKlient where GrKlient = 'Test'");
    EXPECT_GT(test, 0);
    EXPECT_EQ(Current(g->dbllGroupList), "Test");

    // Joining twice, by button and by double click, writes one row.
    g->btnAddToGroup->click();
    DoubleClick(g->dbllGroupList, dmKl->qryGrGl.recNo() - 1);
    EXPECT_EQ(members(a), 1);
    EXPECT_EQ(Items(g->dbllGroupList_), QStringList{"Test"});
    EXPECT_EQ(Current(g->dbllGroupList_), "Test");

    dialogs.expectInputBox("Партнеры", "Название");
    g->btnGroupEdit->click();
    EXPECT_EQ(db.selectValue(QString("select GrKlient from GrKlient where idGrKlient = %1").arg(test)).asString(),
              "Партнеры");
    EXPECT_EQ(Items(g->dbllGroupList_), QStringList{"Партнеры"});

    // A double click on a membership leaves the group.
    DoubleClick(g->dbllGroupList_, 0);
    EXPECT_EQ(members(a), 0);
    EXPECT_TRUE(Items(g->dbllGroupList_).isEmpty());

    // Deleting the group takes every client's membership with it.
    g->btnAddToGroup->click();
    db.execute("insert into Gr_Kl (idGr_Kl, idCust, idGrKlient) values (gen_id(GEN_GR_KL, 1), :c, :g)",
               {{"c", b}, {"g", test}});
    dialogs.expectConfirm(false, "Удалить группу \"Партнеры\" ?");
    g->btnGroupDel->click();
    EXPECT_EQ(count("select count(*) from GrKlient where GrKlient = 'Партнеры'"), 1);
    dialogs.expectConfirm(true, "Удалить группу \"Партнеры\" ?");
    g->btnGroupDel->click();
    EXPECT_EQ(count("select count(*) from GrKlient where GrKlient = 'Партнеры'"), 0);
    EXPECT_EQ(members(a) + members(b), 0);
    EXPECT_FALSE(Items(g->dbllGroupList).contains("Партнеры"));
    EXPECT_TRUE(Items(g->dbllGroupList_).isEmpty());
    EXPECT_EQ(dialogs.pending(), 0);
}

TEST_F(KlientGroupsPage, ButtonsFollowTheRightsAndActionsAskThemAgain)
{
    Grant({1006, 1011, 1009, 1027});
    const int own = addClient(me.IdUser, "Своя");
    const int mate = addClient(colleague.IdUser, "Коллеги");
    const int other = addClient(stranger.IdUser, "Чужая");
    db.execute("insert into LocGrKl (idLocGrKl, LocGrKl, idUser) values (gen_id(GEN_LOCGRKL, 1), 'Мои', :u)",
               {{"u", me.IdUser}});
    open();
    TKlientGroups* g = groups();

    // Common memberships by the client's curator; the group list by 1026.
    card(own, fm->tsGroup);
    EXPECT_FALSE(g->btnAddToGroup->isEnabled());
    EXPECT_FALSE(g->btnGroupNew->isEnabled());
    card(mate, fm->tsGroup);
    EXPECT_TRUE(g->btnAddToGroup->isEnabled());
    EXPECT_TRUE(g->btnDelFromGroup->isEnabled());
    card(other, fm->tsGroup);
    EXPECT_FALSE(g->btnAddToGroup->isEnabled());

    // Personal groups by 1027, whoever the curator is.
    fm->rgGroup->setItemIndex(1);
    EXPECT_TRUE(g->btnAddToGroup->isEnabled());
    EXPECT_TRUE(g->btnGroupEdit->isEnabled());
    EXPECT_EQ(Items(g->dbllGroupList), QStringList{"Мои"});

    // Revoked while the window is open: the enabled buttons refuse.
    UserRights->DeletePravo(me.IdUser, 1027);
    dialogs.expectError("У Вас нет права изменять личные группы!");
    g->btnGroupNew->click();
    dialogs.expectError("У Вас нет права изменять личные группы!");
    g->btnAddToGroup->click();
    EXPECT_EQ(members(other, "Loc_Kl"), 0);
    EXPECT_EQ(count("select count(*) from LocGrKl"), 1);

    // An empty client list leaves the membership buttons off.
    dmKl->qryCust.close();
    fm->OpenGroupList();
    EXPECT_FALSE(g->btnAddToGroup->isEnabled());
}

// Two workstations on the shared server: personal groups and memberships are
// their owner's alone, and a membership added elsewhere is not added twice.
TEST_F(KlientGroupsPage, PersonalGroupsStayWithTheirOwnerAcrossWorkstations)
{
    fw::ConnectParams p;
    if (!OnServer("klient-groups", p)) GTEST_SKIP() << "no Firebird server for this run";
    fw::Database other(p);   // the colleague's workstation
    other.connect();

    const int idCust = other.executeProcedure("ID_CUST").asInt();
    other.execute("insert into Customer (idCust, idUser, company, polzov, regpolzov) values (:c, :u, 'Общий', '-', '-')",
                  {{"c", idCust}, {"u", me.IdUser}});
    const int theirs = other.executeProcedure("ID_LOCGRKL").asInt();
    other.execute("insert into LocGrKl (idLocGrKl, LocGrKl, idUser) values (:g, 'Петрова', :u)",
                  {{"g", theirs}, {"u", colleague.IdUser}});
    other.execute("insert into Loc_Kl (idLoc_Kl, idCust, idLocGrKl) values (gen_id(GEN_LOC_KL, 1), :c, :g)",
                  {{"c", idCust}, {"g", theirs}});
    other.execute("insert into GrKlient (idGrKlient, GrKlient) values (77, 'Дилеры')");

    Grant({1027, 1004});
    open();
    card(idCust, fm->tsGroup);
    TKlientGroups* g = groups();

    // The colleague adds the client to the common group while the card shows it.
    EXPECT_TRUE(Items(g->dbllGroupList_).isEmpty());
    other.execute("insert into Gr_Kl (idGr_Kl, idCust, idGrKlient) values (gen_id(GEN_GR_KL, 1), :c, 77)",
                  {{"c", idCust}});
    ASSERT_TRUE(dmKl->qryGrGl.locate("idGrKlient", 77));
    g->btnAddToGroup->click();
    EXPECT_EQ(other.selectValue("select count(*) from Gr_Kl where idGrKlient = 77").asInt(), 1);
    EXPECT_EQ(Items(g->dbllGroupList_), QStringList{"Дилеры"});

    fm->rgGroup->setItemIndex(1);
    EXPECT_TRUE(Items(g->dbllGroupList).isEmpty());
    EXPECT_TRUE(Items(g->dbllGroupList_).isEmpty());
    dialogs.expectInputQuery("Мои", "Название");
    g->btnGroupNew->click();
    g->btnAddToGroup->click();
    EXPECT_EQ(Items(g->dbllGroupList), QStringList{"Мои"});
    EXPECT_EQ(Items(g->dbllGroupList_), QStringList{"Мои"});
    EXPECT_EQ(other.selectValue("select count(*) from Loc_Kl where idCust = :c", {{"c", idCust}}).asInt(), 2);

    // The colleague's own window, on an attachment of its own, sees only the colleague's.
    delete fm;
    fm = nullptr;
    dm->db.disconnect();
    CurrentUser = colleague;
    dm->db.connect();
    UserRights->AddPravo(colleague.IdUser, 1011);
    UserRights->AddPravo(colleague.IdUser, 1027);
    open();
    card(idCust, fm->tsGroup);
    fm->rgGroup->setItemIndex(1);
    EXPECT_EQ(Items(groups()->dbllGroupList), QStringList{"Петрова"});
    EXPECT_EQ(Items(groups()->dbllGroupList_), QStringList{"Петрова"});

    delete fm;
    fm = nullptr;
    dm->db.disconnect();
    other.drop();
}

// Groups another workstation makes or deletes come into the lists when the page is shown
// again or the card moves to another client; a command on a group deleted meanwhile is
// refused with a message and leaves nothing behind.
TEST_F(KlientGroupsPage, GroupsOfAnotherWorkstationShowWhenThePageIsShownAgain)
{
    fw::ConnectParams p;
    if (!OnServer("klient-groups-shown", p)) GTEST_SKIP() << "no Firebird server for this run";
    fw::Database other(p);
    other.connect();
    QList<int> clients;
    for (const char* company : {"Альфа", "Бета"}) {
        clients << other.executeProcedure("ID_CUST").asInt();
        other.execute("insert into Customer (idCust, idUser, company, polzov, regpolzov) "
                      "values (:c, :u, :n, '-', '-')",
                      {{"c", clients.last()}, {"u", me.IdUser}, {"n", QString(company)}});
    }
    other.execute("insert into GrKlient (idGrKlient, GrKlient) values (77, 'Дилеры')");

    Grant({1026, 1004});
    open();
    fm->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(fm));
    QTest::mouseClick(fm->KlientCard->tbMy, Qt::LeftButton);
    ASSERT_EQ(dmKl->qryCust.recordCount(), 2);
    ClickTab(fm->pcMain, fm->tsKar);
    ClickTab(fm->pcDown, fm->tsGroup);
    ASSERT_EQ(fm->pcDown->currentWidget(), fm->tsGroup);
    TKlientGroups* g = groups();
    EXPECT_EQ(Items(g->dbllGroupList), QStringList{"Дилеры"});

    // Made elsewhere: there once the page is shown again.
    other.execute("insert into GrKlient (idGrKlient, GrKlient) values (78, 'Партнеры')");
    ClickTab(fm->pcDown, fm->tsHist);
    ClickTab(fm->pcDown, fm->tsGroup);
    EXPECT_EQ(Items(g->dbllGroupList), (QStringList{"Дилеры", "Партнеры"}));
    // The same after the card was left for the list and shown again.
    other.execute("insert into GrKlient (idGrKlient, GrKlient) values (79, 'Архив')");
    ClickTab(fm->pcMain, fm->tsKlList);
    ClickTab(fm->pcMain, fm->tsKar);
    EXPECT_EQ(Items(g->dbllGroupList), (QStringList{"Архив", "Дилеры", "Партнеры"}));

    // Deleted elsewhere, with a new membership of the next client in another group:
    // the next client shows today's groups and names its membership.
    const int next = dmKl->qryCust.recNo() == 1 ? 1 : 0;
    other.execute("insert into Gr_Kl (idGr_Kl, idCust, idGrKlient) values (gen_id(GEN_GR_KL, 1), :c, 78)",
                  {{"c", clients[next]}});
    other.execute("delete from GrKlient where idGrKlient = 77");
    ASSERT_TRUE(dmKl->qryGrGl.locate("idGrKlient", 79));
    fw::DBNavigator* nav = fm->KlientCard->dbnCust;
    QToolButton* move = nav->button(next == 1 ? fw::DBNavigator::Button::Next : fw::DBNavigator::Button::Prior);
    QTest::mouseClick(move, Qt::LeftButton);
    ASSERT_EQ(dmKl->qryCust.fieldByName("idCust").asInteger(), clients[next]);
    EXPECT_EQ(Items(g->dbllGroupList), (QStringList{"Архив", "Партнеры"}));
    EXPECT_EQ(Current(g->dbllGroupList), "Архив");
    EXPECT_EQ(Items(g->dbllGroupList_), QStringList{"Партнеры"});
    if (const QString dir = qEnvironmentVariable("BRONTAL_SHOTS"); !dir.isEmpty())
        fm->grab().save(QDir(dir).filePath("card-groups-next-client.png"));

    // Deleted while the list still shows it: joining it is refused in Russian alone,
    // and the list is read again; renaming and deleting it are refused too.
    ASSERT_TRUE(dmKl->qryGrGl.locate("idGrKlient", 79));
    other.execute("delete from GrKlient where idGrKlient = 79");
    dialogs.expectError("Группа \"Архив\" удалена другим пользователем.\nСписок групп прочитан заново.");
    QTest::mouseClick(g->btnAddToGroup, Qt::LeftButton);
    EXPECT_EQ(other.selectValue("select count(*) from Gr_Kl where idGrKlient = 79").asInt(), 0);
    EXPECT_EQ(Items(g->dbllGroupList_), QStringList{"Партнеры"});
    EXPECT_EQ(Items(g->dbllGroupList), QStringList{"Партнеры"});
    // A group made and deleted again elsewhere, the list still showing it.
    const auto archive = [&] {
        other.execute("insert into GrKlient (idGrKlient, GrKlient) values (79, 'Архив')");
        ClickTab(fm->pcDown, fm->tsHist);
        ClickTab(fm->pcDown, fm->tsGroup);
        ASSERT_TRUE(dmKl->qryGrGl.locate("idGrKlient", 79));
        other.execute("delete from GrKlient where idGrKlient = 79");
    };
    archive();
    dialogs.expectInputBox("Старый архив", "Название").expectError();
    QTest::mouseClick(g->btnGroupEdit, Qt::LeftButton);
    EXPECT_EQ(other.selectValue("select count(*) from GrKlient where idGrKlient = 79").asInt(), 0);
    // The refused rename is cancelled, and the list lets the group go.
    EXPECT_FALSE(Items(g->dbllGroupList).contains("Архив"));
    archive();
    dialogs.expectConfirm(true, "Удалить группу \"Архив\" ?").expectError();
    QTest::mouseClick(g->btnGroupDel, Qt::LeftButton);
    for (const qsizetype i : {1, 3, 5})
        EXPECT_TRUE(dialogs.shown().at(i).text.contains("другим пользователем")) << dialogs.shown().at(i).text.toStdString();
    for (const auto& shown : dialogs.shown()) EXPECT_FALSE(shown.text.contains("FOREIGN KEY"));
    EXPECT_EQ(other.selectValue("select GrKlient from GrKlient").asString(), "Партнеры");
    // Shown again, the list has let it go.
    ClickTab(fm->pcDown, fm->tsHist);
    ClickTab(fm->pcDown, fm->tsGroup);
    EXPECT_FALSE(Items(g->dbllGroupList).contains("Архив"));

    delete fm;
    fm = nullptr;
    dm->db.disconnect();
    other.drop();
}

TEST(KlientMergeCaption, ThirtyCharactersShowWholeALongerNameIsCut)
{
    const QString thirty = QString("Ж").repeated(30);
    EXPECT_EQ(MergeSourceCaption(thirty), "Откуда (" + thirty + ")");
    EXPECT_EQ(MergeSourceCaption(thirty + "Z"), "Откуда (" + thirty + "...)");
    EXPECT_EQ(MergeStatements(5, 7).first(), "update History set idCust=5 where idCust=7");
    EXPECT_EQ(MergeStatements(5, 7).size(), 6);
}

class KlientMerge : public KlientCardTest {
protected:
    // One row of everything merging moves, and one membership of each kind.
    void fill(int idCust)
    {
        const QList<QPair<QString, fw::Value>> c{{"c", idCust}, {"u", me.IdUser}};
        db.execute("insert into history (idHist, idCust, idUser, History, Access) "
                   "values (gen_id(GEN_HISTORY, 1), :c, :u, '+', '+')", c);
        db.execute("insert into history (idHist, idCust, idUser, History, Access) "
                   "values (gen_id(GEN_HISTORY, 1), :c, :u, '-', '+')", c);
        db.execute("insert into contacts (idContacts, idCust, idUser, contact_name) "
                   "values (gen_id(GEN_CONTACTS, 1), :c, :u, 'Смирнова')", c);
        db.execute("insert into Sdelka (idSdelka, idCust, idUser, Name) values (gen_id(GEN_SDELKA, 1), :c, :u, 'Поставка')", c);
        db.execute("insert into Sales (idSale, idCust, idUser, back) values (gen_id(GEN_SALES, 1), :c, :u, '-')", c);
        db.execute("insert into Dog (idDog, idCust, idUser, DogNumber) values (gen_id(GEN_DOG, 1), :c, :u, '1')", c);
        db.execute("insert into Orders (idOrder, idCust, idUser, idOrderStatus) values (gen_id(GEN_ORDERS, 1), :c, :u, 0)", c);
        // Memberships need real groups: the database refuses one to a missing group.
        db.execute("update or insert into GrKlient (idGrKlient, GrKlient) values (1, 'Общая') matching (idGrKlient)");
        db.execute("update or insert into LocGrKl (idLocGrKl, LocGrKl, idUser) values (1, 'Личная', :u) "
                   "matching (idLocGrKl)", {{"u", me.IdUser}});
        db.execute("insert into Gr_Kl (idGr_Kl, idCust, idGrKlient) values (gen_id(GEN_GR_KL, 1), :c, 1)", c);
        db.execute("insert into Loc_Kl (idLoc_Kl, idCust, idLocGrKl) values (gen_id(GEN_LOC_KL, 1), :c, 1)", c);
    }
    // Rows per table of the client, in the order of the tables.
    QList<int> rows(int idCust)
    {
        QList<int> n;
        for (const char* t : {"history", "contacts", "Sales", "Sdelka", "Dog", "Orders", "Gr_Kl", "Loc_Kl", "Customer"})
            n << count(QString("select count(*) from %1 where idCust = %2").arg(t).arg(idCust));
        return n;
    }
    static QString question(const QString& from, const QString& to)
    {
        return "Перенести Историю, Планы, Контактные лица, Товары, Сделки, Договора, Рассылку\r"
               "С карточки: \t" + from + "\rНа карточку: \t" + to + " ?";
    }
};

TEST_F(KlientMerge, MovesEveryRecordButTheGroupsToTheTargetIncludingANewOne)
{
    Grant({1001, 1031});
    const int source = addClient(me.IdUser, "Альфа");
    db.execute("update Customer set City = 'Омск' where idCust = :c", {{"c", source}});
    fill(source);
    open();
    EXPECT_TRUE(fm->mmiMerge->isEnabled());

    // Nothing is remembered yet, and an empty list remembers nothing.
    fm->mmiMergeTo->trigger();
    fm->mmiMergeFrom->trigger();
    EXPECT_EQ(fm->mmiMergeFrom->text(), "Откуда");

    ASSERT_TRUE(fm->GoToKar(source, 0, 0));
    fm->mmiMergeFrom->trigger();
    EXPECT_EQ(fm->mmiMergeFrom->text(), "Откуда (Альфа)");
    // Onto itself: nothing asked, nothing moved.
    fm->mmiMergeTo->trigger();

    // The target is typed and not yet saved: it is saved first. Two clients of one
    // name are told apart by their cities and keys.
    fm->KlientCard->tbNewCust->click();
    dmKl->qryCust.fieldByName("Company").setAsString("Альфа");
    const QString from = "Альфа (г. Омск, код " + QString::number(source) + ")";
    dialogs.expectConfirm(false);
    fm->mmiMergeTo->trigger();
    const int target = dmKl->qryCust.fieldByName("idCust").asInteger();
    ASSERT_GT(target, 0);
    const QString to = "Альфа (код " + QString::number(target) + ")";
    EXPECT_EQ(dialogs.shown().last().text, question(from, to));
    EXPECT_EQ(rows(target), (QList<int>{0, 0, 0, 0, 0, 0, 0, 0, 1}));

    dialogs.expectConfirm(true, question(from, to))
        .expectInformation("Карточки объединены.\rС карточки: \t" + from + "\rНа карточку: \t" + to);
    fm->mmiMergeTo->trigger();
    EXPECT_EQ(rows(source), (QList<int>{0, 0, 0, 0, 0, 0, 1, 1, 1}));
    EXPECT_EQ(rows(target), (QList<int>{2, 1, 1, 1, 1, 1, 0, 0, 1}));
    EXPECT_EQ(dmKl->qryContacts.recordCount(), 1);   // the card shows what it received
    EXPECT_EQ(dialogs.pending(), 0);
}

class KlientMergeFailure : public KlientMerge {};

TEST_F(KlientMergeFailure, AFailingStatementMovesNothingAndIsNamed)
{
    Grant({1031});
    db.execute("create exception E_NO_MOVE 'Заказы не переносятся'");
    db.execute("create trigger ORDERS_NO_MOVE for Orders before update as begin exception E_NO_MOVE; end");
    const int source = addClient(me.IdUser, "Альфа");
    const int target = addClient(me.IdUser, "Бета");
    fill(source);
    const QList<int> before = rows(source);
    open();
    ASSERT_TRUE(fm->GoToKar(source, 0, 0));
    fm->mmiMergeFrom->trigger();
    ASSERT_TRUE(fm->GoToKar(target, 0, 0));
    dialogs.expectConfirm(true, question("Альфа (код " + QString::number(source) + ")",
                                         "Бета (код " + QString::number(target) + ")"))
        .expectError();
    fm->mmiMergeTo->trigger();
    const QString error = dialogs.shown().last().text;
    EXPECT_TRUE(error.contains("update Orders set idCust=" + QString::number(target))) << error.toStdString();
    EXPECT_TRUE(error.contains("Заказы не переносятся")) << error.toStdString();
    EXPECT_EQ(rows(source), before);
    EXPECT_EQ(rows(target), (QList<int>{0, 0, 0, 0, 0, 0, 0, 0, 1}));
    EXPECT_FALSE(dm->db.inTransaction());
    EXPECT_TRUE(dmKl->qryContacts.active());

    // Without the right any more, "Куда" refuses.
    UserRights->DeletePravo(me.IdUser, 1031);
    dialogs.expectError("У Вас нет права объединять карточки!");
    fm->mmiMergeTo->trigger();
}

} // namespace
