#include "clients/ClientFixture.h"

#include "clients/KlientHost.h"
#include "clients/dmKl.h"
#include "core/Users.h"
#include "db/DbError.h"
#include "support/Refusal.h"
#include "widgets/ScriptedDialogs.h"

#include <gtest/gtest.h>

namespace {

class FakeHost : public TKlientHost {
public:
    QStringList calls;
    bool link = false, onlyContact = false, calendarActive = false;
    void CloseDetails() override { calls << "CloseDetails"; }
    void OpenDetails() override { calls << "OpenDetails"; }
    void ApplyHistFilter() override { calls << "ApplyHistFilter"; }
    bool LinkNewRecordsToContact() const override { return link; }
    bool ShowOnlyCurrentContact() const override { return onlyContact; }
    bool CalendarPageActive() const override { return calendarActive; }
    void SetListPageCaption(const QString& c) override { calls << "list " + c; }
    void SetCalendarPageCaption(const QString& c) override { calls << "cal " + c; }
    void StartBudilCheck() override { calls << "StartBudilCheck"; }
    void SetCardComboAttached(const QString& n, bool on) override { calls << n + (on ? " on" : " off"); }
};

using testing_support::refusal;

class ClientModule : public LoggedInTest {
protected:
    FakeHost host;
    fw::ScriptedDialogs dialogs;
    TdmKl* kl = nullptr;

    ClientModule() : LoggedInTest(true) {}
    void SetUp() override
    {
        LoggedInTest::SetUp();
        start({1001, 1016, 1017, 1018});
    }
    void TearDown() override
    {
        delete kl;
        EXPECT_EQ(dmKl, nullptr);
        LoggedInTest::TearDown();
    }
    // A new module for a user holding exactly these rights.
    void start(const QList<int>& codes)
    {
        delete kl;
        for (const TPravoRecord& p : QList<TPravoRecord>(UserRights->Prava))
            if (p.IdUser == CurrentUser.IdUser && p.IdPravo != 1046) UserRights->DeletePravo(p.IdUser, p.IdPravo);
        for (int c : codes) UserRights->AddPravo(CurrentUser.IdUser, c);
        kl = new TdmKl(&host);
    }
    int addClient(int owner)
    {
        const int id = db.executeProcedure("ID_CUST").asInt();
        db.execute("insert into Customer (idCust, idUser, company) values (:id, :u, 'Альфа')", {{"id", id}, {"u", owner}});
        return id;
    }
    int addHist(int idCust, const QString& history, const QString& access = "+", int owner = -2)
    {
        const int id = db.executeProcedure("ID_HIST").asInt();
        db.execute("insert into history (idHist, idCust, idUser, DateCr, History, Access, Budil, Prior) "
                   "values (:id, :c, :u, :d, :h, :a, '+', '+')",
                   {{"id", id}, {"c", idCust}, {"u", owner == -2 ? me.IdUser : owner},
                    {"d", GetServerDate().addDays(1)}, {"h", history}, {"a", access}});
        return id;
    }
    void openClient(int id)
    {
        kl->qryCust.setSql({"select *", "from Customer", "where idCust = " + QString::number(id)});
        kl->qryCust.open();
    }
    QString stored(const QString& sql) { return db.selectValue(sql).asString(); }
};

} // namespace

TEST_F(ClientModule, NewRowsGetTheirDefaultsAndKeys)
{
    EXPECT_EQ(dmKl, kl);
    EXPECT_EQ(kl->tmrBudil.interval(), 300000);
    EXPECT_FALSE(kl->tmrBudil.isActive());
    const QDateTime now = GetServerDate();
    openClient(0);
    kl->qryCust.append();
    EXPECT_EQ(kl->qryCust.fieldByName("DateCr").asDateTime(), QDateTime(now.date(), QTime(0, 0)));
    EXPECT_EQ(kl->qryCust.fieldByName("idUser").asInteger(), me.IdUser);
    EXPECT_EQ(kl->qryCust.fieldByName("idSegment2").value(), fw::Value(0));
    EXPECT_EQ(kl->qryCust.fieldByName("RegPolzov").asString(), "-");

    // A detail row of an unsaved client saves the client first, with its key.
    kl->qryHist.open();
    kl->qryHist.insert();
    EXPECT_EQ(kl->qryCust.state(), fw::DataSetState::Browse);
    const int idCust = kl->qryCust.fieldByName("idCust").asInteger();
    EXPECT_EQ(stored(QString("select polzov from Customer where idCust = %1").arg(idCust)), "-");
    EXPECT_EQ(kl->qryHist.fieldByName("idCust").asInteger(), idCust);
    EXPECT_LE(qAbs(kl->qryHist.fieldByName("DateCr").asDateTime().secsTo(now)), 60);
    EXPECT_EQ(kl->qryHist.fieldByName("History").asString(), "+");
    kl->qryHist.post();
    EXPECT_FALSE(kl->qryHist.fieldByName("idHist").isNull());

    kl->qryPlan.open();
    kl->qryPlan.insert();
    EXPECT_EQ(kl->qryPlan.fieldByName("DateCr").asDateTime(), QDateTime(now.date().addDays(1), QTime(9, 0)));
    EXPECT_EQ(kl->qryPlan.fieldByName("History").asString(), "-");
    kl->qryContacts.open();
    kl->qryContacts.insert();
    EXPECT_EQ(kl->qryContacts.fieldByName("DateCr").asDateTime(), QDateTime(now.date(), QTime(0, 0)));
    kl->qryContacts.post();
    kl->qryDog.open();
    kl->qryDog.insert();
    kl->qryDog.post();
    const int idDog = kl->qryDog.fieldByName("idDog").asInteger();
    EXPECT_EQ(stored(QString("select skidka from Dog where idDog = %1 and idUser = %2").arg(idDog).arg(me.IdUser)),
              "0");
    for (fw::Query* q : {&kl->qryGrGl_, &kl->qryGrLoc_}) {
        q->open();
        q->insert();
        q->post();
        EXPECT_FALSE(q->field(0).isNull());
    }
    EXPECT_EQ(db.selectValue(QString("select count(*) from Gr_Kl where idCust = %1").arg(idCust)).asInt(), 1);
    EXPECT_EQ(db.selectValue(QString("select count(*) from Loc_Kl where idCust = %1").arg(idCust)).asInt(), 1);

    // No detail without a client.
    kl->qryCust.close();
    EXPECT_EQ(refusal([&] { kl->qryHist.insert(); }), "abort");
    EXPECT_EQ(kl->qryHist.state(), fw::DataSetState::Browse);
}

TEST_F(ClientModule, BackDatingNeedsItsRightAndCompletionClearsMarks)
{
    openClient(addClient(me.IdUser));
    kl->qryPlan.open();
    kl->qryPlan.insert();
    kl->qryPlan.fieldByName("Note").setAsString("Позвонить");
    kl->qryPlan.fieldByName("DateCr").setAsDateTime(GetServerDate().addDays(-1));
    EXPECT_EQ(refusal([&] { kl->qryPlan.post(); }), "Запрещено вводить план или историю задним числом!");
    EXPECT_EQ(kl->qryPlan.state(), fw::DataSetState::Insert);
    EXPECT_EQ(kl->qryPlan.fieldByName("Note").asString(), "Позвонить");
    kl->qryPlan.fieldByName("DateCr").setAsDateTime(QDateTime(GetServerDate().date(), QTime(0, 0)));
    kl->qryPlan.fieldByName("Budil").setAsString("+");
    kl->qryPlan.fieldByName("Prior").setAsString("+");
    kl->qryPlan.post();
    const QString row = "from history where idHist = " + kl->qryPlan.fieldByName("idHist").asString();
    EXPECT_EQ(stored("select budil || prior " + row), "++");

    kl->qryPlan.edit();
    kl->qryPlan.fieldByName("History").setAsString("+");
    kl->qryPlan.post();
    EXPECT_EQ(stored("select history || budil || prior " + row), "+--");

    start({1016, 1029});
    openClient(addClient(me.IdUser));
    kl->qryHist.open();
    kl->qryHist.insert();
    kl->qryHist.fieldByName("DateCr").setAsDateTime(GetServerDate().addYears(-1));
    kl->qryHist.post();
    EXPECT_EQ(kl->qryHist.state(), fw::DataSetState::Browse);
}

TEST_F(ClientModule, NewHistoryLinksToTheCurrentContact)
{
    host.link = true;
    openClient(addClient(me.IdUser));
    kl->qryContacts.open();
    kl->qryContacts.insert();
    kl->qryContacts.fieldByName("Contact_Name").setAsString("Смирнова");
    kl->qryHist.open();
    kl->qryHist.insert();
    EXPECT_EQ(kl->qryContacts.state(), fw::DataSetState::Browse);
    const int idContacts = kl->qryContacts.fieldByName("idContacts").asInteger();
    EXPECT_EQ(stored(QString("select contact_name from contacts where idContacts = %1").arg(idContacts)), "Смирнова");
    EXPECT_EQ(kl->qryHist.fieldByName("idContacts").asInteger(), idContacts);

    host.onlyContact = true;
    host.calls.clear();
    kl->qryContacts.close();
    kl->qryContacts.open();
    EXPECT_TRUE(host.calls.contains("ApplyHistFilter"));
}

TEST_F(ClientModule, DetailRightsAndSystemRows)
{
    const int idCust = addClient(me.IdUser);
    addHist(idCust, "+", "-");
    openClient(idCust);
    kl->qryHist.open();
    const QString system = "Вы не можете изменять или удалять системную запись!";
    EXPECT_EQ(refusal([&] { kl->qryHist.edit(); }), system);
    EXPECT_EQ(refusal([&] { kl->qryHist.remove(); }), system);
    db.execute(QString("update history set access = '+' where idCust = %1").arg(idCust));
    kl->qryHist.close();
    kl->qryHist.open();
    kl->qryHist.edit();
    kl->qryHist.cancel();
    dialogs.expectConfirm(false, "Удалить?");
    EXPECT_EQ(refusal([&] { kl->qryHist.remove(); }), "abort");
    EXPECT_EQ(kl->qryHist.recordCount(), 1);

    start({});
    openClient(idCust);
    kl->qryHist.open();
    EXPECT_EQ(refusal([&] { kl->qryHist.edit(); }), "У Вас нет права редактировать свои записи!");
    EXPECT_EQ(refusal([&] { kl->qryHist.insert(); }), "У Вас нет права добавлять новые записи!");
    db.execute("insert into contacts (idContacts, idCust, idUser) values (:k, :c, :u)",
               {{"k", db.executeProcedure("ID_CONTACTS")}, {"c", idCust}, {"u", me.IdUser}});
    db.execute("insert into Sdelka (idSdelka, idCust, idUser) values (:k, :c, :u)",
               {{"k", db.executeProcedure("ID_SDELKA")}, {"c", idCust}, {"u", me.IdUser}});
    kl->qryContacts.open();
    kl->qrySdelka.open();
    EXPECT_EQ(refusal([&] { kl->qryContacts.edit(); }), "У Вас нет права редактировать свои контактные лица!");
    EXPECT_EQ(refusal([&] { kl->qryDownBeforeEdit(kl->qrySdelka); }), "У Вас нет права редактировать свои сделки!");

    // The administrator edits system rows.
    CurrentUser = {0, 0, "Администратор", "", ""};
    start({1023, 1024});
    db.execute(QString("update history set access = '-' where idCust = %1").arg(idCust));
    openClient(idCust);
    kl->qryHist.open();
    kl->qryHist.edit();
    EXPECT_EQ(kl->qryHist.state(), fw::DataSetState::Edit);
}

TEST_F(ClientModule, ClientRightsFollowTheOwner)
{
    start({});
    openClient(addClient(me.IdUser));
    EXPECT_EQ(refusal([&] { kl->qryCust.append(); }), "У Вас нет права добавлять новые компании!");
    const struct { int owner, edit, del; const char *editText, *delText; } cases[] = {
        {me.IdUser, 1002, 1003, "У Вас нет права редактировать свою компанию!", "У Вас нет права удалять свои компании!"},
        {colleague.IdUser, 1007, 1008, "У Вас нет права редактировать компании пользователей своего отдела!",
         "У Вас нет права удалять компании пользователей своего отдела!"},
        {stranger.IdUser, 1012, 1013, "У Вас нет права редактировать компании пользователей чужого отдела!",
         "У Вас нет права удалять компании пользователей чужого отдела!"}};
    for (const auto& c : cases) {
        start({});
        openClient(addClient(c.owner));
        EXPECT_EQ(refusal([&] { kl->qryCust.edit(); }), c.editText);
        EXPECT_EQ(refusal([&] { kl->qryCust.remove(); }), c.delText);
        start({c.edit});
        openClient(addClient(c.owner));
        kl->qryCust.edit();
        kl->qryCust.cancel();
    }

    start({1003});
    const int idCust = addClient(me.IdUser);
    addHist(idCust, "+");
    openClient(idCust);
    const QString warning = "В Н И М А Н И Е !\nВы пытаетесь удалить карточку компании!\n"
                            "Также будет удалена вся информация с ней связанная:\n"
                            "контактные лица, история, сделки, и т.п.\nВы действительно хотите удалить компанию?";
    dialogs.expectConfirm(false, warning).expectConfirm(true, warning);
    EXPECT_EQ(refusal([&] { kl->qryCust.remove(); }), "abort");
    kl->qryCust.remove();
    EXPECT_EQ(db.selectValue(QString("select count(*) from history where idCust = %1").arg(idCust)).asInt(), 0);
}

TEST_F(ClientModule, CardChangesInvalidateTheCalendar)
{
    const int idCust = addClient(me.IdUser);
    const int h1 = addHist(idCust, "-"), h2 = addHist(idCust, "-"), h3 = addHist(idCust, "+");
    openClient(idCust);
    const QStringList calSql = kl->qryCal.sql() + QStringList{QString("and idCust = %1 order by idHist").arg(idCust)};
    const auto openCal = [&] {
        kl->qryCal.setSql(calSql);
        kl->qryCal.open();
    };
    openCal();
    kl->qryPlan.open();
    kl->qryPlan.locate("idHist", h1);
    dialogs.expectConfirm(true, "Удалить?");
    kl->qryPlan.remove();
    EXPECT_EQ(kl->CalendarRowId, h2);
    EXPECT_FALSE(kl->qryCal.active());
    EXPECT_TRUE(host.calls.contains("cal Календарь"));

    openCal();
    kl->qryHist.open();
    kl->qryHist.edit();
    kl->qryHist.post();
    EXPECT_EQ(kl->CalendarRowId, h3);

    host.calendarActive = true;
    kl->CalendarRowId = -1;
    openCal();
    kl->qryHist.edit();
    kl->qryHist.post();
    EXPECT_EQ(kl->CalendarRowId, -1);

    // A calendar edit is written and the card re-reads its lists; the calendar never inserts.
    kl->qryCal.locate("idHist", h2);
    kl->qryCal.edit();
    kl->qryCal.fieldByName("Note").setAsString("Из календаря");
    kl->qryCal.post();
    EXPECT_EQ(stored(QString("select note from history where idHist = %1").arg(h2)), "Из календаря");
    EXPECT_FALSE(kl->qryPlan.active());
    EXPECT_EQ(refusal([&] { kl->qryCal.insert(); }), "abort");
}

TEST_F(ClientModule, DetailsBindTheCurrentClient)
{
    const int a = addClient(me.IdUser), b = addClient(me.IdUser);
    addHist(a, "+");
    addHist(a, "+", "+", colleague.IdUser);   // not visible with own rows only
    addHist(b, "+");
    // Two goods with serial numbers outside deals; the second was returned.
    for (const QString sernum : {"N1", "N2"})
        db.execute("insert into Sales (idSale, idCust, sernum, back) values (:k, :c, :n, :b)",
                   {{"k", db.executeProcedure("ID_SALE")}, {"c", a}, {"n", sernum}, {"b", sernum == "N1" ? "-" : "+"}});
    kl->qryCust.setSql({"select *", "from Customer", QString("where idCust in (%1, %2) order by idCust").arg(a).arg(b)});
    kl->qryCust.open();
    EXPECT_EQ(host.calls.last(), "OpenDetails");
    kl->qryHist.open();
    kl->qrySales.open();
    EXPECT_EQ(kl->qryHist.recordCount(), 1);
    EXPECT_EQ(kl->qrySales.recordCount(), 1);
    EXPECT_EQ(kl->qrySales.fieldByName("sernum").asString(), "N1");
    host.calls.clear();
    kl->qryCust.next();
    EXPECT_EQ(host.calls, (QStringList{"CloseDetails", "OpenDetails"}));
    kl->qryHist.close();
    kl->qryHist.open();
    EXPECT_EQ(kl->qryHist.fieldByName("idCust").asInteger(), b);
    kl->qryCust.close();
    EXPECT_EQ(host.calls.mid(2), (QStringList{"CloseDetails", "list Список"}));
    kl->qryHist.close();
    kl->qryHist.open();
    EXPECT_TRUE(kl->qryHist.isEmpty());
}

// Moving the country list only narrows the regions; the user's choice of
// another country resets the client's region.
TEST_F(ClientModule, ChoosingACountryResetsTheRegion)
{
    db.execute("insert into Country (idCountry, Country) values (901, 'Норвегия')");
    db.execute("insert into Region (idRegion, idCountry, Region) values (902, 901, 'Тромсё')");
    db.execute("insert into Region (idRegion, idCountry, Region) values (903, 0, 'Прочее')");
    start({1002});
    const int idCust = addClient(me.IdUser);
    db.execute(QString("update Customer set idRegion = 903 where idCust = %1").arg(idCust));
    openClient(idCust);
    kl->qryRegion.open();
    kl->qryCountry.open();
    kl->qryCust.edit();
    host.calls.clear();
    ASSERT_TRUE(kl->qryCountry.locate("idCountry", 901));
    EXPECT_EQ(host.calls, (QStringList{"dblcRegion off", "dblcRegion on"}));
    EXPECT_EQ(kl->qryCust.fieldByName("idRegion").asInteger(), 903);
    EXPECT_EQ(kl->qryRegion.recordCount(), 1);
    EXPECT_EQ(kl->qryRegion.fieldByName("Region").asString(), "Тромсё");
    kl->FirstLevelChosen(kl->qryCountry);
    EXPECT_EQ(kl->qryCust.fieldByName("idRegion").asInteger(), 0);
    kl->qryCust.cancel();
    kl->qryCountry.locate("idCountry", 0);
    EXPECT_EQ(kl->qryCust.fieldByName("idRegion").asInteger(), 903);
    kl->qryCust.edit();
    kl->FirstLevelChosen(kl->qryCountry);   // the region's own country again
    EXPECT_EQ(kl->qryCust.fieldByName("idRegion").asInteger(), 903);
}

TEST_F(ClientModule, ReminderQueryUsesItsOwnConnection)
{
    const int idCust = addClient(me.IdUser);
    addHist(idCust, "-");
    kl->qryBudil.paramByName("idUser").setValue(me.IdUser);
    kl->qryBudil.paramByName("DateCr").setValue(GetServerDate().addDays(2));
    kl->qryBudil.open();
    EXPECT_TRUE(kl->dbBudil.connected());
    EXPECT_EQ(kl->qryBudil.recordCount(), 1);
    EXPECT_EQ(kl->qryBudil.fieldByName("Company").asString(), "Альфа");
}
