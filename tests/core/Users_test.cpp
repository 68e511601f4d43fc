#include "CoreFixture.h"

#include "core/Users.h"
#include "core/schema/References.h"
#include "db/DbError.h"
#include "support/Refusal.h"

#include <gtest/gtest.h>

namespace {

class UsersTest : public CoreDatabaseTest {
protected:
    int count(const QString& sql) { return db.selectValue(sql).asInt(); }
    QList<int> codesOf(const TUsers& u, int idUser)
    {
        QList<int> codes;
        for (const TPravoRecord& p : u.Prava)
            if (p.IdUser == idUser) codes << p.IdPravo;
        std::sort(codes.begin(), codes.end());
        return codes;
    }
    QList<int> storedCodesOf(int idUser)
    {
        QList<int> codes;
        fw::Query q(&db);
        q.setSql({QString("select idPravo from prava where idUser = %1 order by idPravo").arg(idUser)});
        for (q.open(); !q.eof(); q.next()) codes << q.field(0).asInteger();
        return codes;
    }
    TUserRecord addUser(TUsers& users, const QString& name, int otdel = 0)
    {
        TUserRecord u{-1, otdel, name, "", ""};
        users.AddUser(u);
        return u;
    }
    void ensureFailException()
    {
        if (count("select count(*) from rdb$exceptions where rdb$exception_name = 'FAIL_WRITE'") == 0)
            db.execute("create exception FAIL_WRITE 'Сбой записи'");
    }
    // A trigger that refuses writes whose column holds "Сбой".
    void refuse(const QString& table, const QString& column, const QString& when)
    {
        db.execute(QString("create trigger FAIL_%1 for %1 before %2 as begin"
                           " if (new.%3 = 'Сбой') then exception FAIL_WRITE; end").arg(table, when, column));
    }
};

using testing_support::refusal;

TEST_F(UsersTest, DepartmentsAndUsersAreWrittenAndMirrored)
{
    TUsers users;
    TOtdelRecord otdel{-1, "Продажи"};
    users.AddOtdel(otdel);
    EXPECT_GT(otdel.IdOtdel, 0);
    EXPECT_EQ(db.selectValue(QString("select otdel from otdel where idOtdel = %1").arg(otdel.IdOtdel)).asString(),
              "Продажи");
    otdel.Otdel = "Отдел продаж";
    users.UpdateOtdel(otdel);
    TOtdelRecord read;
    users.GetOtdel(otdel.IdOtdel, read);
    EXPECT_EQ(read.Otdel, "Отдел продаж");

    TUserRecord user{-1, otdel.IdOtdel, "Петров", "", "p@firm.ru"};
    users.AddUser(user);
    EXPECT_GT(user.IdUser, 0);
    EXPECT_EQ(count(QString("select count(*) from users where idUser = %1 and pass is null").arg(user.IdUser)), 1);
    user.Pass = "Секрет";
    users.UpdateUser(user);

    // A fresh load reads back what was written.
    TUsers again;
    TUserRecord stored;
    ASSERT_TRUE(again.GetUser(user.IdUser, stored));
    EXPECT_EQ(stored.Name, "Петров");
    EXPECT_EQ(stored.Pass, "Секрет");
    EXPECT_EQ(stored.Email, "p@firm.ru");
    EXPECT_TRUE(again.UserInOtdel(user.IdUser, otdel.IdOtdel));

    users.AddPravo(user.IdUser, 1000);
    users.DeleteUser(user.IdUser);
    // A missing user is reported and leaves the record alone; an empty one is nobody.
    EXPECT_FALSE(users.GetUser(user.IdUser, stored));
    EXPECT_EQ(stored.Name, "Петров");
    EXPECT_NE(TUserRecord{}.IdUser, 0);
    for (const TUserRecord& u : users.FilteredUsers) EXPECT_NE(u.IdUser, user.IdUser);
    EXPECT_EQ(count(QString("select count(*) from users where idUser = %1").arg(user.IdUser)), 0);
    EXPECT_TRUE(storedCodesOf(user.IdUser).isEmpty());   // his rights went with him
    EXPECT_TRUE(codesOf(users, user.IdUser).isEmpty());

    users.DeleteOtdel(otdel.IdOtdel);
    EXPECT_EQ(refusal([&] { users.GetOtdel(otdel.IdOtdel, read); }), "Отдел не найден!");
    EXPECT_EQ(count(QString("select count(*) from otdel where idOtdel = %1").arg(otdel.IdOtdel)), 0);
}

TEST_F(UsersTest, RightsAreGrantedOnceAndTheAdministratorIsProtected)
{
    TUsers users;
    const TUserRecord user = addUser(users, "Сидоров");

    users.AddPravo(user.IdUser, 1046);
    users.AddPravo(user.IdUser, 1046);
    EXPECT_EQ(storedCodesOf(user.IdUser), QList<int>{1046});
    EXPECT_EQ(codesOf(users, user.IdUser), QList<int>{1046});
    users.DeletePravo(user.IdUser, 1046);
    EXPECT_FALSE(users.IsGranted(user.IdUser, 1046));
    EXPECT_TRUE(storedCodesOf(user.IdUser).isEmpty());
    users.DeletePravo(user.IdUser, 1046);   // nothing left to revoke

    EXPECT_EQ(refusal([&] { users.DeletePravo(0, 1046); }), "Удалять это право нельзя!");
    EXPECT_EQ(refusal([&] { users.DeleteUser(0); }), "Нельзя удалять администратора!");
    EXPECT_TRUE(users.IsGranted(0, 1046));
    EXPECT_EQ(count("select count(*) from prava where idUser = 0 and idPravo = 1046"), 1);
    EXPECT_EQ(count("select count(*) from users where idUser = 0"), 1);
}

TEST_F(UsersTest, AUserWhoOwnsRowsGoesOnlyWhenHisDepartmentTakesThemOver)
{
    TUsers users;
    TOtdelRecord sales{-1, "Продажи"}, stock{-1, "Склад"};
    users.AddOtdel(sales);
    users.AddOtdel(stock);
    const TUserRecord leaving = addUser(users, "Уходящий", sales.IdOtdel);
    const TUserRecord heir = addUser(users, "Преемник", sales.IdOtdel);
    const TUserRecord outsider = addUser(users, "Чужой", stock.IdOtdel);
    users.AddPravo(leaving.IdUser, 1000);
    users.AddPravo(leaving.IdUser, 1034);
    const QList<QPair<QString, fw::Value>> u{{"u", leaving.IdUser}, {"h", heir.IdUser}, {"x", outsider.IdUser}};
    for (const char* sql : {"insert into CUSTOMER (IDCUST, IDUSER, COMPANY) values (901, :u, 'Ромашка')",
                            "insert into CUSTOMER (IDCUST, IDUSER, COMPANY) values (902, :u, 'Лютик')",
                            "insert into CUSTOMER (IDCUST, IDUSER, COMPANY) values (903, :h, 'Кактус')",
                            "insert into CONTACTS (IDCONTACTS, IDCUST, IDUSER) values (901, 903, :u)",
                            "insert into DOG (IDDOG, IDCUST, IDUSER) values (901, 901, :u)",
                            "insert into SDELKA (IDSDELKA, IDCUST, IDUSER) values (901, 901, :u)",
                            "insert into SDELKA (IDSDELKA, IDCUST, IDUSER) values (902, 903, :u)",
                            "insert into ETAPS (IDETAPS, IDSDELKA, IDUSER) values (901, 902, :u)",
                            "insert into SALES (IDSALE, IDCUST, IDSDELKA, IDUSER) values (901, 901, 901, :u)",
                            "insert into SALES (IDSALE, IDCUST, IDSDELKA, IDUSER) values (902, 903, 902, :h)",
                            "insert into SALES (IDSALE, IDCUST, IDSDELKA, IDUSER) values (903, 901, 901, :u)",
                            "insert into SALES (IDSALE, IDCUST, IDUSER) values (904, 902, :u)",
                            "insert into ORDERS (IDORDER, IDCUST, IDUSER) values (901, 902, :u)",
                            "insert into LOCGRKL (IDLOCGRKL, LOCGRKL, IDUSER) values (901, 'Мои', :u)"})
        db.execute(sql, u);
    for (int i = 0; i < 24; ++i)
        db.execute("insert into HISTORY (IDHIST, IDCUST, IDUSER, HISTORY) values (:k, 901, :u, :h)",
                   {{"k", 901 + i}, {"u", leaving.IdUser}, {"h", i < 21 ? "+" : "-"}});
    for (int i = 0; i < 5; ++i)
        db.execute("insert into OPLATA (IDOPLATA, IDSALE, IDUSER, SUMMAR) values (:k, :s, :u, :r)",
                   {{"k", 901 + i}, {"s", 901 + i % 3}, {"u", i < 3 ? leaving.IdUser : outsider.IdUser},
                    {"r", 1000 * (i + 1)}});
    const auto byDepartment = [&] {
        QStringList sums;
        fw::Query q(&db);
        q.setSql({"select u.idOtdel || ':' || sum(o.SummaR) from Oplata o join Users u on u.idUser = o.idUser"
                  " group by u.idOtdel order by 1"});
        for (q.open(); !q.eof(); q.next()) sums << q.field(0).asString();
        return sums;
    };
    const QString seenBySales = QString("select count(*) from Customer where idUser in "
                                        "(select idUser from Users where idOtdel=%1)").arg(sales.IdOtdel);
    const QStringList sums = byDepartment();
    const int clients = count(seenBySales);
    const QString owned = "Пользователь «Уходящий» указан в 2 карточках клиентов, 1 контактном лице, 21 записи истории, "
                          "3 планах, 1 договоре, 2 сделках, 1 этапе сделки, 2 строках товара сделок, 1 строке товара "
                          "клиента, 3 оплатах, 1 заказе рассылки и 1 личной группе";

    EXPECT_EQ(refusal([&] { users.DeleteUser(leaving.IdUser); }), owned + "; удалить его нельзя.");
    EXPECT_EQ(refusal([&] { users.DeleteUser(leaving.IdUser, outsider.IdUser); }),
              "Пользователь, которому передаются записи, удалён или переведён в другой отдел.\nНичего не изменено.");
    try {
        users.DeleteUser(leaving.IdUser);
    } catch (const schema::InUseError& e) {
        EXPECT_EQ(e.usedIn(), owned);
    }
    EXPECT_EQ(count(QString("select count(*) from users where idUser = %1").arg(leaving.IdUser)), 1);
    EXPECT_EQ(storedCodesOf(leaving.IdUser), (QList<int>{1000, 1034}));
    EXPECT_EQ(count(QString("select count(*) from history where idUser = %1").arg(leaving.IdUser)), 24);

    CurrentUser = heir;
    EXPECT_EQ(refusal([&] { users.DeleteUser(heir.IdUser); }),
              "Нельзя удалить пользователя, под именем которого Вы работаете!");
    CurrentUser = {};

    users.DeleteUser(leaving.IdUser, heir.IdUser);
    TUserRecord gone;
    EXPECT_FALSE(users.GetUser(leaving.IdUser, gone));
    EXPECT_EQ(count(QString("select count(*) from users where idUser = %1").arg(leaving.IdUser)), 0);
    EXPECT_TRUE(storedCodesOf(leaving.IdUser).isEmpty());
    for (const schema::Use& use : schema::uses()) {
        if (QString(use.table) != "USERS") continue;
        EXPECT_EQ(count(QString("select count(*) from %1 where %2 = %3").arg(use.usingTable, use.column)
                            .arg(leaving.IdUser)), 0) << use.usingTable;
    }
    EXPECT_EQ(count(QString("select count(*) from history where idUser = %1").arg(heir.IdUser)), 24);
    EXPECT_EQ(byDepartment(), sums);
    EXPECT_EQ(count(seenBySales), clients);
}

TEST_F(UsersTest, PasteOntoTheAdministratorKeepsTheUsersRight)
{
    TUsers users;
    const TUserRecord source = addUser(users, "Образец");
    users.AddPravo(source.IdUser, 1000);
    users.AddPravo(source.IdUser, 1016);
    users.CopyPrava(source.IdUser);

    users.PastePrava(0);
    EXPECT_EQ(codesOf(users, 0), (QList<int>{1000, 1016, 1046}));
    EXPECT_EQ(storedCodesOf(0), (QList<int>{1000, 1016, 1046}));
    EXPECT_FALSE(dm->db.inTransaction());
}

TEST_F(UsersTest, FailedPasteChangesNothing)
{
    ensureFailException();
    db.execute("create trigger FAIL_PRAVA for prava before insert as begin"
               " if (new.idPravo = 1999) then exception FAIL_WRITE; end");
    TUsers users;
    const TUserRecord target = addUser(users, "Приёмник");
    users.AddPravo(target.IdUser, 1016);
    users.CopyPrava(0);
    users.CopiedPrava << 1999;

    EXPECT_THROW(users.PastePrava(target.IdUser), fw::DbError);
    EXPECT_FALSE(dm->db.inTransaction());
    EXPECT_EQ(storedCodesOf(target.IdUser), QList<int>{1016});
    EXPECT_EQ(codesOf(users, target.IdUser), QList<int>{1016});
    EXPECT_EQ(codesOf(users, 0), storedCodesOf(0));

    // The rights query was read again and still writes.
    users.DeletePravo(target.IdUser, 1016);
    users.AddPravo(target.IdUser, 1017);
    EXPECT_EQ(storedCodesOf(target.IdUser), QList<int>{1017});
    db.execute("drop trigger FAIL_PRAVA");
}

TEST_F(UsersTest, FailedWritesLeaveTheArraysAsTheTables)
{
    ensureFailException();
    refuse("OTDEL", "OTDEL", "insert or update");
    refuse("USERS", "NAME", "insert or update");
    TUsers users;
    const auto otdels = users.Otdels.size();
    TOtdelRecord bad{-1, "Сбой"};
    EXPECT_THROW(users.AddOtdel(bad), fw::DbError);
    EXPECT_EQ(users.Otdels.size(), otdels);

    const TUserRecord user = addUser(users, "Иванов");
    TUserRecord changed = user;
    changed.Name = "Сбой";
    EXPECT_THROW(users.UpdateUser(changed), fw::DbError);
    TUserRecord now;
    users.GetUser(user.IdUser, now);
    EXPECT_EQ(now.Name, "Иванов");
    EXPECT_EQ(users.FilteredUsers.size(), users.Users.size());
    EXPECT_EQ(dmUsers->qryUsers.state(), fw::DataSetState::Browse);

    // The refused row is not written again by the next change.
    changed.Name = "Иванов-Петров";
    users.UpdateUser(changed);
    EXPECT_EQ(db.selectValue(QString("select name from users where idUser = %1").arg(user.IdUser)).asString(),
              "Иванов-Петров");
    db.execute("drop trigger FAIL_OTDEL");
    db.execute("drop trigger FAIL_USERS");
}

TEST_F(UsersTest, FilterByDepartmentAndRight)
{
    TUsers users;
    TOtdelRecord o{-1, "Фильтр"};
    users.AddOtdel(o);
    const TUserRecord a = addUser(users, "А", o.IdOtdel);
    const TUserRecord b = addUser(users, "Б", o.IdOtdel);
    users.AddPravo(b.IdUser, 1034);

    users.SetFilter(o.IdOtdel, -1);
    EXPECT_EQ(users.FilteredUsers.size(), users.Users.size());   // filter still off
    users.SetFiltered(true);
    ASSERT_EQ(users.FilteredUsers.size(), 2);
    users.SetFilter(o.IdOtdel, 1034);
    ASSERT_EQ(users.FilteredUsers.size(), 1);
    EXPECT_EQ(users.FilteredUsers[0].IdUser, b.IdUser);
    users.SetFilter(-1, 1034);
    for (const TUserRecord& u : users.FilteredUsers) EXPECT_TRUE(users.IsGranted(u.IdUser, 1034));
    users.SetFilter(o.IdOtdel, -1);
    users.DeleteUser(a.IdUser);
    ASSERT_EQ(users.FilteredUsers.size(), 1);
    users.SetFiltered(false);
    EXPECT_EQ(users.FilteredUsers.size(), users.Users.size());
}

TEST_F(UsersTest, RightsTree)
{
    TUsers users;
    EXPECT_EQ(PravaTree.size(), 56u);
    users.GetChildPrava(0);
    QStringList roots;
    for (const TPravoTreeRecord& r : users.ChildPrava) roots << r.Caption;
    EXPECT_EQ(roots, (QStringList{"Модуль Клиенты", "Модуль Сделки", "Модуль Рассылка", "Модуль Отчеты", "Настройки"}));
    EXPECT_EQ(users.ChildParent, 0);
    users.GetChildPrava(19);
    ASSERT_EQ(users.ChildPrava.size(), 5);
    EXPECT_EQ(users.ChildPrava[2].Pravo, 1047);
    // The administrator holds every right, but grouping nodes grant nothing.
    EXPECT_FALSE(users.IsGranted(0, NoPravo));
}

// Checks and visibility work on the arrays alone.
class RightsChecks : public UsersTest {
protected:
    void SetUp() override
    {
        UsersTest::SetUp();
        rights = std::make_unique<TUsers>();
        rights->Users = {{10, 1, "Я", "", ""}, {11, 1, "Коллега", "", ""}, {20, 2, "Чужой", "", ""},
                         {30, 0, "Админ-отдел", "", ""}};
        rights->Prava.clear();
        me = rights->Users[0];
    }
    void grant(std::initializer_list<int> codes)
    {
        rights->Prava.clear();
        for (int c : codes) rights->Prava.append({c, c, me.IdUser});
    }
    std::unique_ptr<TUsers> rights;
    TUserRecord me;
};

TEST_F(RightsChecks, OwnDepartmentAndOtherOwner)
{
    grant({});
    EXPECT_EQ(refusal([&] { rights->CheckEditRecord(me, 10); }), "У Вас нет права редактировать свои записи!");
    EXPECT_EQ(refusal([&] { rights->CheckEditRecord(me, 11); }),
              "У Вас нет права редактировать записи пользователей своего отдела!");
    EXPECT_EQ(refusal([&] { rights->CheckEditRecord(me, 20); }),
              "У Вас нет права редактировать записи пользователей чужого отдела!");
    EXPECT_EQ(refusal([&] { rights->CheckAddRecord(me.IdUser); }), "У Вас нет права добавлять новые записи!");

    using Check = bool (TUsers::*)(const TUserRecord&, int) const;
    const std::pair<Check, std::array<int, 3>> checks[] = {
        {&TUsers::CheckEditRecord, {1017, 1021, 1024}},
        {&TUsers::CheckDeleteRecord, {1018, 1022, 1025}},
        {&TUsers::CheckEditSdelka, {1047, 1048, 1049}},
        {&TUsers::CheckEditContacts, {1050, 1051, 1052}},
    };
    for (const auto& [check, codes] : checks) {
        for (int i = 0; i < 3; ++i) {
            const int owner = std::array{10, 11, 20}[size_t(i)];
            grant({codes[size_t(i)]});
            EXPECT_TRUE((rights.get()->*check)(me, owner)) << codes[size_t(i)];
            grant({codes[0], codes[1], codes[2]});
            rights->Prava.removeAt(i);
            EXPECT_THROW((rights.get()->*check)(me, owner), fw::UserError) << codes[size_t(i)];
        }
    }
    grant({1016});
    EXPECT_TRUE(rights->CheckAddRecord(me.IdUser));
}

TEST_F(RightsChecks, UnknownOwnerCountsAsDepartmentZero)
{
    me = rights->Users[3];   // department 0
    rights->Prava = {{1, 1022, me.IdUser}};
    EXPECT_TRUE(rights->CheckDeleteRecord(me, 4242));
    me = rights->Users[0];   // department 1: the unknown owner is another department's
    rights->Prava = {{1, 1025, me.IdUser}};
    EXPECT_TRUE(rights->CheckDeleteRecord(me, 4242));
}

TEST_F(RightsChecks, VisibilityClauses)
{
    TUsers* saved = UserRights;
    const TUserRecord savedUser = CurrentUser;
    UserRights = rights.get();
    CurrentUser = me;
    grant({});
    EXPECT_EQ(GetCustFilter(), "idUser=10");
    EXPECT_EQ(GetRecFilter(), "idUser=10");
    grant({1006, 1020});
    EXPECT_EQ(GetCustFilter(), "idUser in (select idUser from Users where idOtdel=1)");
    EXPECT_EQ(GetRecFilter(), "idUser in (select idUser from Users where idOtdel=1)");
    grant({1006, 1011, 1023});
    EXPECT_EQ(GetCustFilter(), "idUser is not null");
    EXPECT_EQ(GetRecFilter(), "idUser is not null");
    grant({1011, 1020});   // each clause asks only its own rights
    EXPECT_EQ(GetCustFilter(), "idUser is not null");
    EXPECT_EQ(GetRecFilter(), "idUser in (select idUser from Users where idOtdel=1)");
    UserRights = saved;
    CurrentUser = savedUser;
}

} // namespace
