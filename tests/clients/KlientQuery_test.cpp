#include "clients/ClientFixture.h"

#include "clients/KlientHost.h"
#include "clients/KlientQuery.h"
#include "clients/dmKl.h"
#include "controls/CalcEdit.h"
#include "controls/DateEdit.h"
#include "core/SharedProcs.h"
#include "core/Users.h"
#include "widgets/DBControls.h"
#include "widgets/DBLookupCombo.h"
#include "widgets/ScriptedDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>

namespace {

const QString Cust = "idUser=7";
const QString Rec = "idUser in (select idUser from Users where idOtdel=2)";
const QString First = "select c.* from Customer c where " + Cust;

QStringList Sql(const TKlientQueryInput& in)
{
    return KlientQuerySql(in, Cust, Rec);
}

TEST(KlientQuerySql, NoInputListsEveryVisibleClient)
{
    EXPECT_EQ(Sql({}), QStringList{First});
    EXPECT_EQ(KlientQueryOrderLine(-1), "");
    EXPECT_EQ(KlientQueryOrderLine(1), "order by Company");
    EXPECT_EQ(KlientQueryOrderLine(10), "order by idSegment2");
    EXPECT_EQ(KlientQuerySortItems().size(), 11);
    EXPECT_EQ(MyClientsSql(5), "select * from customer where idUser=5");
}

TEST(KlientQuerySql, CompanyPageQuotesTextsAndClosesTheRegistrationRange)
{
    TKlientQueryInput in;
    in.company = "ООО \"Рога\"";
    in.city = " Тверь";                     // texts are not trimmed
    in.idCountry = 0;                       // key 0 is a choice
    in.idRegion = 12;
    in.idUser = 3;
    in.idOtdel = 4;                         // the curator wins
    in.idSegment2 = 9;
    in.regFrom = QDate(2024, 3, 1);
    in.regTo = QDate(2024, 3, 31);
    EXPECT_EQ(Sql(in), (QStringList{First, "and Company containing \"ООО \"\"Рога\"\"\"", "and idCountry=0",
                                    "and idRegion=12", "and City containing \" Тверь\"", "and idUser=3",
                                    "and idSegment2=9", "and DateCr>=\"01.03.2024\"",
                                    "and DateCr<\"01.04.2024\""}));

    TKlientQueryInput otdel;
    otdel.idOtdel = 4;
    otdel.regTo = QDate(2024, 12, 31);
    EXPECT_EQ(Sql(otdel), (QStringList{First, "and idUser in (select idUser from Users where idOtdel=4)",
                                       "and DateCr<\"01.01.2025\""}));
}

TEST(KlientQuerySql, ContactsAreSoughtAmongVisibleContacts)
{
    TKlientQueryInput in;
    in.phone = "495";
    in.idContactUser = 2;
    in.comm = "VIP";
    EXPECT_EQ(Sql(in), (QStringList{First, "and exists (select 1 from Contacts where idCust=c.idCust", "and " + Rec,
                                    "and Contact_Phone containing \"495\"", "and idUser=2",
                                    "and Contact_Note containing \"VIP\"", ")"}));
}

TEST(KlientQuerySql, GroupsByMode)
{
    TKlientQueryInput in;
    in.glMode = 2;
    in.locMode = 1;
    EXPECT_EQ(Sql(in), QStringList{First});   // nothing checked: no line whatever the mode

    in.glGroups = {1, 5, 8};
    in.glMode = 1;
    in.locGroups = {4};
    in.locMode = 2;
    EXPECT_EQ(Sql(in), (QStringList{
                           First,
                           "and 3 = (select count(*) from Gr_Kl where idCust=c.idCust and idGrKlient in (1,5,8))",
                           "and not exists (select 1 from Loc_Kl where idCust=c.idCust and idLocGrKl in (4))"}));
    in.glMode = 0;
    in.locGroups.clear();
    EXPECT_EQ(Sql(in).last(), "and exists (select 1 from Gr_Kl where idCust=c.idCust and idGrKlient in (1,5,8))");
}

TEST(KlientQuerySql, GoodsBlock)
{
    TKlientQueryInput in;
    in.back = true;
    in.numberBack = true;
    EXPECT_EQ(Sql(in), QStringList{First});   // these two alone start no block

    in.back = false;
    in.idGrTovar = 6;
    in.priznak2 = true;
    in.tovarNumber = "A\"1";
    in.oplachen = true;
    in.tovRegBegin = QDate(2024, 1, 10);
    in.tovRegEnd = QDate(2024, 1, 20);
    EXPECT_EQ(Sql(in), (QStringList{
                           First, "and exists (select 1 from Sales where idCust=c.idCust",
                           "and (idSdelka is null or idSdelka in (select idSdelka from Sdelka where " + Rec + "))",
                           "and idTovar in (select idTovar from Tovar where idGrTovar=6)", "and Upgrade=\"+\"",
                           "and back<>\"+\"",
                           "and ((SerNum containing \"A\"\"1\") or (SerNumInt containing \"A\"\"1\"))",
                           "and ((SummaDF>0) or (SerNum>\"\"))", "and DateReg >= \"10.01.2024\"",
                           "and DateReg < \"21.01.2024\"", ")"}));

    in = {};
    in.tovarNumber = "77";
    in.back = true;
    EXPECT_EQ(Sql(in)[3], "and SerNum containing \"77\"");
}

TEST(KlientQuerySql, DealsBlockWithGoodsInTheDeal)
{
    TKlientQueryInput in;
    in.sdName = "Поставка";
    in.idSdStatus = 2;
    in.idSdOtkaz = 0;
    in.sdByBegin = false;
    in.sdFrom = QDate(2024, 2, 1);
    in.sdTo = QDate(2024, 2, 29);
    in.idSdPrichina2 = 5;
    EXPECT_EQ(Sql(in), (QStringList{First, "and exists (select 1 from sdelka where idCust=c.idCust", "and " + Rec,
                                    "and Name containing \"Поставка\"", "and idSdelka_St=2", "and idOtkaz=0",
                                    "and Date_End>=\"01.02.2024\"", "and Date_End<\"01.03.2024\"",
                                    "and idPrichina2=5", ")"}));

    // The goods inputs move into the deals block, which is built for them alone.
    TKlientQueryInput goods;
    goods.tovarInSdelka = true;
    goods.idTovar = 11;
    goods.sdTo = QDate(2024, 5, 31);
    EXPECT_EQ(Sql(goods), (QStringList{First, "and exists (select 1 from sdelka where idCust=c.idCust",
                                       "and " + Rec, "and Date_Begin<\"01.06.2024\"",
                                       "and exists (select 1 from Sales where idSdelka=Sdelka.idSdelka",
                                       "and idTovar=11", "and back<>\"+\"", ")", ")"}));
}

TEST(KlientQuerySql, ContractsBlock)
{
    TKlientQueryInput in;
    in.dogNum = "Д-1";
    in.dogSkidka = fw::Currency::fromScaled(55000);
    in.idDogUser = 3;
    in.dogComm = "срочно";
    in.dogSrokByBegin = false;
    in.dogSrokBegin = QDate(2024, 1, 1);
    in.dogDateEnd = QDate(2024, 6, 30);
    EXPECT_EQ(Sql(in), (QStringList{First, "and exists (select 1 from dog where idCust=c.idCust",
                                    "and DogNumber containing \"Д-1\"", "and Skidka = 5.5", "and idUser = 3",
                                    "and Note containing \"срочно\"", "and DateEnd >= '01.01.2024'",
                                    "and DateZakl < '01.07.2024'", ")"}));
    TKlientQueryInput zero;
    zero.dogSkidka = fw::Currency();
    EXPECT_EQ(Sql(zero)[2], "and Skidka = 0");
}

class KlientQueryPage : public LoggedInTest {
protected:
    CaptionHost host;
    fw::ScriptedDialogs dialogs;
    TdmKl* kl = nullptr;
    TKlientQuery* page = nullptr;
    QStringList shown;

    KlientQueryPage() : LoggedInTest(true) {}
    void SetUp() override
    {
        LoggedInTest::SetUp();
        // The database lives for the suite: every test starts without clients.
        for (const char* table : {"Sales", "Sdelka", "Gr_Kl", "GrKlient", "Customer", "Region", "Country"})
            db.execute(QString("delete from %1").arg(table));
        kl = new TdmKl(&host);
        page = new TKlientQuery;
        page->ShowClientList = [this] { shown << "list"; };
    }
    void TearDown() override
    {
        delete page;
        delete kl;
        LoggedInTest::TearDown();
    }
    int addClient(int owner, const QString& company, const QDateTime& created = QDateTime())
    {
        const int id = db.executeProcedure("ID_CUST").asInt();
        db.execute("insert into Customer (idCust, idUser, company, DateCr) values (:id, :u, :c, :d)",
                   {{"id", id}, {"u", owner}, {"c", company}, {"d", created.isValid() ? fw::Value(created) : fw::Value()}});
        return id;
    }
    QStringList companies()
    {
        QStringList names;
        for (kl->qryCust.first(); !kl->qryCust.eof(); kl->qryCust.next())
            names << kl->qryCust.fieldByName("Company").asString();
        names.sort();
        return names;
    }
};

TEST_F(KlientQueryPage, SearchListsMatchingVisibleClientsAndShowsTheList)
{
    addClient(me.IdUser, "ООО \"Рога\"", QDateTime(QDate(2024, 3, 31), QTime(14, 0)));
    addClient(me.IdUser, "Рогатка", QDateTime(QDate(2024, 4, 1), QTime(0, 0)));
    addClient(stranger.IdUser, "Рога чужие", QDateTime(QDate(2024, 3, 5), QTime(9, 0)));

    page->edZCompany->setText("\"Рога\"");
    page->RunQuery();
    EXPECT_EQ(companies(), QStringList{"ООО \"Рога\""});
    EXPECT_EQ(shown, QStringList{"list"});

    // Only the user's own clients are visible without the rights to see more;
    // a client registered at 14:00 on the last day of the range still counts.
    page->edZCompany->setText("Рога");
    page->deZKarRegFrom->SetDate(QDate(2024, 3, 1));
    page->deZKarRegTo->SetDate(QDate(2024, 3, 31));
    page->cbZSort->setCurrentIndex(1);
    page->btnZQueryClick();
    EXPECT_EQ(companies(), QStringList{"ООО \"Рога\""});
    EXPECT_EQ(kl->qryCust.sql().last(), "order by Company");

    UserRights->AddPravo(me.IdUser, 1011);
    page->deZKarRegFrom->SetDate(QDate());
    page->deZKarRegTo->SetDate(QDate());
    page->RunQuery();
    EXPECT_EQ(companies(), (QStringList{"ООО \"Рога\"", "Рога чужие", "Рогатка"}));

    page->ToolButton21Click();
    EXPECT_EQ(host.listCaptions.last(), "Список (3)");
    page->SetListPageCaption = [this](const QString& c) { shown << c; };
    page->ToolButton21Click();
    EXPECT_EQ(shown.last(), "Список (3)");
}

TEST_F(KlientQueryPage, SearchByGroupGoodsAndDeal)
{
    UserRights->AddPravo(me.IdUser, 1011);
    UserRights->AddPravo(me.IdUser, 1023);
    const int a = addClient(me.IdUser, "Альфа"), b = addClient(stranger.IdUser, "Бета");
    addClient(me.IdUser, "Гамма");
    db.execute("insert into GrKlient (idGrKlient, GrKlient) values (901, 'Дилеры')");
    db.execute("insert into Gr_Kl (idGr_Kl, idCust, idGrKlient) values (1, :c, 901)", {{"c", a}});
    db.execute("insert into Sdelka (idSdelka, idCust, idUser, Name) values (501, :c, :u, 'Поставка')",
               {{"c", b}, {"u", stranger.IdUser}});
    db.execute("insert into Sales (idSale, idCust, idSdelka, SerNum, back) values (1, :c, 501, 'SN-1', '-')",
               {{"c", b}});

    page->tsZGroupShow();
    ASSERT_EQ(page->clbZGlGr->count(), 1);
    EXPECT_EQ(page->clbZGlGr->item(0)->text(), "Дилеры");
    page->clbZGlGr->item(0)->setCheckState(Qt::Checked);
    page->RunQuery();
    EXPECT_EQ(companies(), QStringList{"Альфа"});
    page->rgAll->setItemIndex(2);
    page->RunQuery();
    EXPECT_EQ(companies(), (QStringList{"Бета", "Гамма"}));

    UncheckAll(page->clbZGlGr);
    page->edZTovarNumber->setText("SN");
    page->RunQuery();
    EXPECT_EQ(companies(), QStringList{"Бета"});
    page->cbTovarInSdelka->setChecked(true);
    page->edZSdName->setText("Пост");
    page->RunQuery();
    EXPECT_EQ(companies(), QStringList{"Бета"});
    page->edZSdName->setText("Ремонт");
    page->RunQuery();
    EXPECT_EQ(companies(), QStringList{});
}

TEST_F(KlientQueryPage, ShowMyClientsIgnoresTheSearchAndTheVisibility)
{
    UserRights->AddPravo(me.IdUser, 1011);
    addClient(me.IdUser, "Своя");
    addClient(stranger.IdUser, "Чужая");
    page->edZCompany->setText("Чуж");
    page->ShowMyClients();
    EXPECT_EQ(companies(), QStringList{"Своя"});
    EXPECT_EQ(kl->qryCust.sql(), QStringList{MyClientsSql(me.IdUser)});
    EXPECT_TRUE(shown.isEmpty());
}

TEST_F(KlientQueryPage, FailedOpenLeavesTheSelectionClosedAndThePageShown)
{
    kl->qryCust.beforeOpen = [](fw::DataSet&) { throw std::runtime_error("engine refused"); };
    page->edZCompany->setText("x");
    EXPECT_THROW(page->RunQuery(), std::runtime_error);
    EXPECT_FALSE(kl->qryCust.active());
    EXPECT_TRUE(shown.isEmpty());
}

TEST_F(KlientQueryPage, ClearingEmptiesInputsFiltersAndSortButKeepsModes)
{
    kl->qryZRegion.open();
    page->edZCompany->setText("Альфа");
    page->dblcZPersp->setKeyValue(0);
    page->deTovRegEnd->SetDate(QDate(2024, 1, 1));
    page->cbZBack->setChecked(true);
    page->ceZapDogSkid->SetText("5,5");
    page->rbZSdEnd->setChecked(true);
    page->rgPerson->setItemIndex(2);
    page->cbZSort->setCurrentIndex(3);
    page->dblcZCountry->setKeyValue(0);
    page->dblcZCountry->click();
    EXPECT_EQ(kl->qryZRegion.filter(), "idCountry=0");
    page->tsZGroupShow();

    page->SBClearClick();
    EXPECT_EQ(page->BuildQuerySQL(), QStringList{"select c.* from Customer c where " + GetCustFilter()});
    EXPECT_EQ(kl->qryZRegion.filter(), "");
    EXPECT_EQ(page->cbZSort->currentIndex(), -1);
    EXPECT_EQ(page->rgPerson->itemIndex(), 2);
    EXPECT_TRUE(page->rbZSdEnd->isChecked());
}

TEST_F(KlientQueryPage, CascadesEscAndCuratorLabels)
{
    db.execute("insert into Country (idCountry, Country) values (10, 'Россия')");
    db.execute("insert into Region (idRegion, idCountry, Region) values (20, 10, 'Тверская')");
    db.execute("insert into Country (idCountry, Country) values (11, 'Беларусь')");
    db.execute("insert into Region (idRegion, idCountry, Region) values (21, 11, 'Минская')");
    page->tsZKarShow();
    page->dblcZRegion->setKeyValue(21);
    page->dblcZCountry->setKeyValue(10);
    page->dblcZCountry->click();
    EXPECT_EQ(kl->qryZRegion.filter(), "idCountry=10");
    EXPECT_TRUE(page->dblcZRegion->keyValue().isNull());
    EXPECT_EQ(kl->qryZRegion.recordCount(), 1);

    page->dblcZRegion->setKeyValue(20);
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(page->dblcZCountry, &esc);
    EXPECT_TRUE(page->dblcZCountry->keyValue().isNull());
    EXPECT_EQ(kl->qryZRegion.filter(), "");
    EXPECT_EQ(page->dblcZRegion->keyValue(), fw::Value(20));

    page->cbZSort->setCurrentIndex(2);
    QApplication::sendEvent(page->cbZSort, &esc);
    EXPECT_EQ(page->cbZSort->currentIndex(), -1);

    for (QLabel* l : {page->lblZUser, page->lblZContactKurator, page->lblZSdUser, page->lblZapDogUser})
        page->lblUserClick(l);
    TKlientQueryInput in = page->QueryInput();
    EXPECT_EQ(in.idUser, me.IdUser);
    EXPECT_EQ(in.idContactUser, me.IdUser);
    EXPECT_EQ(in.idSdUser, me.IdUser);
    EXPECT_EQ(in.idDogUser, me.IdUser);
}

TEST_F(KlientQueryPage, DiscountTypedWithACommaIsWrittenWithAPoint)
{
    page->ceZapDogSkid->SetText("5,5");
    EXPECT_EQ(page->BuildQuerySQL()[2], "and Skidka = 5.5");
    page->ceZapDogSkid->SetText("");
    EXPECT_EQ(page->BuildQuerySQL().size(), 1);
}

// Overtyping "с" with a date that does not exist is refused on leaving the
// edit, and the search never runs with the date that was there before.
TEST_F(KlientQueryPage, AnUnreadableDateIsRefusedAndNeverSearchedAsTheOldOne)
{
    addClient(me.IdUser, "Ранняя", QDateTime(QDate(2024, 1, 10), QTime(10, 0)));
    page->show();
    QApplication::setActiveWindow(page);
    page->deZKarRegFrom->SetDate(QDate(2024, 4, 14));
    page->deZKarRegFrom->setFocus();
    page->deZKarRegFrom->selectAll();
    for (Qt::Key k : {Qt::Key_3, Qt::Key_1, Qt::Key_0, Qt::Key_2, Qt::Key_2, Qt::Key_0, Qt::Key_2, Qt::Key_5})
        QTest::keyClick(page->deZKarRegFrom, k);
    ASSERT_EQ(page->deZKarRegFrom->Text(), "31.02.2025");
    dialogs.expectError("'31.02.2025' is not a valid date");
    QTest::keyClick(page->deZKarRegFrom, Qt::Key_Tab);
    QApplication::processEvents();
    EXPECT_TRUE(page->deZKarRegFrom->hasFocus());
    page->RunQuery();
    EXPECT_FALSE(kl->qryCust.sql().join("\n").contains("14.04.2024"));
    EXPECT_EQ(companies(), QStringList{"Ранняя"});
}

} // namespace
