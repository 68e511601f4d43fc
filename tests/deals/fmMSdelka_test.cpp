#include "core/CoreFixture.h"

#include "core/ModuleWindows.h"
#include "core/Users.h"
#include "deals/SdelkaSearch.h"
#include "deals/fmMSdelka.h"
#include "reports/SelectColumnForm.h"
#include "reports/fmExportTo.h"

#include "controls/DateEdit.h"
#include "db/CodePage.h"
#include "widgets/DBNavigator.h"
#include "widgets/DBControls.h"
#include "widgets/DBGrid.h"
#include "widgets/DBLookupCombo.h"
#include "support/ExportDialogs.h"
#include "widgets/ScriptedDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>
#include <memory>

namespace {

// --- the statement, line by line

TSdelkaSearch Visible(int regim)
{
    TSdelkaSearch f;
    f.Regim = regim;
    f.RecFilter = "idUser is not null";
    return f;
}

TEST(SdelkaSearchSql, NoFilterIsTheVisibilityClauseAlone)
{
    EXPECT_EQ(SdelkaSearchSql(Visible(0)),
              QStringList({"select c.Company, s.*", "from Sdelka s, Customer c",
                           "where c.idCust=s.idCust and s.idUser is not null"}));
    EXPECT_EQ(SdelkaSearchSql(Visible(2)),
              QStringList({"select c.Company, coalesce(t.IdGrTovar, 0) as IdGrTovar, coalesce(t.Tovar, '-') as Tovar, "
                           "l.*, s.*",
                           "from Sdelka s join Sales l on s.idSdelka=l.idSdelka join Customer c on s.idCust=c.idCust "
                           "left join Tovar t on t.idTovar=l.idTovar",
                           "where s.idUser is not null"}));
}

TEST(SdelkaSearchSql, DateRangesRunToBeforeTheDayAfterTheLastDay)
{
    TSdelkaSearch f = Visible(0);
    f.SdTo = QDate(2024, 3, 31);
    f.EtTo = QDate(2024, 3, 31);
    EXPECT_EQ(SdelkaSearchSql(f).mid(3),
              QStringList({"and s.Date_Begin<\"01.04.2024\"", "and exists (select * from etaps where idSdelka=s.idSdelka",
                           "and DateBegin<\"01.04.2024\"", ")"}));

    f = Visible(0);
    f.SdDateColumn = TSdelkaSearch::SdEnd;
    f.SdFrom = QDate(2024, 3, 1);
    f.SdTo = QDate(2024, 12, 31);
    f.EtDateColumn = TSdelkaSearch::EtPlan;
    f.EtFrom = QDate(2024, 3, 5);
    f.EtSdState = TSdelkaSearch::Closed;
    EXPECT_EQ(SdelkaSearchSql(f).mid(3),
              QStringList({"and s.Date_End>=\"01.03.2024\" and s.Date_End<\"01.01.2025\"",
                           "and exists (select * from etaps where idSdelka=s.idSdelka", "and DatePlan>=\"05.03.2024\"",
                           "and DateFact is not null", ")"}));

    // Payments: one line with both exists and the range.
    f = Visible(0);
    f.SdDateColumn = TSdelkaSearch::SdOplata;
    f.SdFrom = QDate(2024, 4, 1);
    f.SdTo = QDate(2024, 4, 30);
    EXPECT_EQ(SdelkaSearchSql(f).mid(3),
              QStringList({"and exists (select * from Sales sl where idSdelka=s.idSdelka and exists (select * from oplata "
                           "where idSale=sl.idSale and DateOpl>=\"01.04.2024\" and DateOpl<\"01.05.2024\"))"}));
}

TEST(SdelkaSearchSql, StageConditionsWrapOnlyOutsideTheStageList)
{
    TSdelkaSearch f = Visible(1);
    f.EtEtEtap = 2;
    f.EtEtUser = 11;
    f.EtEtState = TSdelkaSearch::Open;
    const QStringList direct{"and e.idEtap=2", "and e.idUser=11", "and e.DateBegin is not null and e.DateFact is null"};
    EXPECT_EQ(SdelkaSearchSql(f).mid(3), direct);

    for (int regim : {0, 2}) {
        f.Regim = regim;
        EXPECT_EQ(SdelkaSearchSql(f).mid(3),
                  QStringList{"and exists (select * from etaps e where e.idSdelka=s.idSdelka"} + direct + QStringList{")"});
    }
}

TEST(SdelkaSearchSql, EveryFilterInItsOrderAndNamesQuotedSafely)
{
    TSdelkaSearch f = Visible(2);
    f.IdCust = 1;
    f.IdDog = 7;
    f.Name = "Поставка \"Офис\"";
    f.IdUser = 10;
    f.IdSdelkaSt = 1;
    f.IdPrichina = 0;
    f.IdPrichina2 = 3;
    f.IdSdelkaType = 4;
    f.IdOtkaz = 5;
    f.PlanNotFact = true;
    f.EtSdEtap = 1;
    f.EtSdUser = 11;
    f.EtSdState = TSdelkaSearch::Open;
    f.IdGrTovar = 2;
    f.IdTovar = 6;
    EXPECT_EQ(SdelkaSearchSql(f).mid(3),
              QStringList({"and s.idCust=1", "and s.idDog=7", "and s.Name containing \"Поставка \"\"Офис\"\"\"",
                           "and s.idUser=10", "and s.idSdelka_St=1", "and s.idPrichina=0", "and s.idPrichina2=3",
                           "and s.idSdelkaType=4", "and s.idOtkaz=5", "and s.OplatDP <> s.OplatDF",
                           "and exists (select * from etaps where idSdelka=s.idSdelka", "and idEtap=1",
                           "and idUser=11", "and DateBegin is not null and DateFact is null", ")",
                           "and exists (select * from sales l, tovar t where l.idSdelka = s.idSdelka and t.idTovar = l.idTovar",
                           "and t.idGrTovar = 2", "and t.idTovar = 6", ")"}));
}

// --- the window over a database

QDateTime At(int y, int m, int d, int h = 0, int min = 0)
{
    return QDateTime(QDate(y, m, d), QTime(h, min));
}

using testing_support::chooseTextFile;
using testing_support::whenShown;

void Key(QWidget* w, int key)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
}

class DealsList : public CoreDatabaseTest {
protected:
    static void SetUpTestSuite()
    {
        CoreDatabaseTest::SetUpTestSuite();
        fw::Database d;
        d.setParams(params());
        d.connect();
        for (const char* sql : {
                 "update ver set VALUTA1 = 'руб', VALUTA2 = 'USD', PRIZNAK1 = 'Учебный', PRIZNAK2 = 'Апгрейд'",
                 "insert into OTDEL (IDOTDEL, OTDEL) values (1, 'Продажи')",
                 "insert into OTDEL (IDOTDEL, OTDEL) values (2, 'Склад')",
                 "insert into USERS (IDUSER, IDOTDEL, NAME) values (10, 1, 'Иванов')",
                 "insert into USERS (IDUSER, IDOTDEL, NAME) values (11, 1, 'Петров')",
                 "insert into USERS (IDUSER, IDOTDEL, NAME) values (12, 2, 'Сидоров')",
                 "insert into PRAVA (IDPRAVA, IDUSER, IDPRAVO) values (1001, 10, 1020)",
                 "insert into PRAVA (IDPRAVA, IDUSER, IDPRAVO) values (1002, 10, 1055)",
                 "insert into GRTOVAR (IDGRTOVAR, GRTOVAR) values (1, 'Софт')",
                 "insert into GRTOVAR (IDGRTOVAR, GRTOVAR) values (2, 'Железо')",
                 "insert into TOVAR (IDTOVAR, IDGRTOVAR, TOVAR) values (1, 1, 'Офис')",
                 "insert into TOVAR (IDTOVAR, IDGRTOVAR, TOVAR) values (2, 2, 'Сервер')",
                 "insert into ETAP (IDETAP, ETAP) values (1, 'Звонок')",
                 "insert into ETAP (IDETAP, ETAP) values (2, 'Встреча')",
                 "insert into PRICHINA (IDPRICHINA, PRICHINA) values (1, 'Реклама')",
                 "insert into PRICHINA2 (IDPRICHINA2, IDPRICHINA, PRICHINA2) values (1, 1, 'Газета')",
                 "insert into PRICHINA2 (IDPRICHINA2, IDPRICHINA, PRICHINA2) values (2, 1, 'Радио')",
                 "insert into SDELKATYPE (IDSDELKATYPE, SDELKATYPE) values (1, 'Продажа')",
                 "insert into OTKAZ (IDOTKAZ, IDSDELKATYPE, OTKAZ) values (1, 1, 'Дорого')",
                 "insert into CUSTOMER (IDCUST, IDUSER, COMPANY) values (1, 10, 'Ромашка')",
                 "insert into CUSTOMER (IDCUST, IDUSER, COMPANY) values (2, 11, 'Лютик')",
                 "insert into CUSTOMER (IDCUST, IDUSER, COMPANY) values (3, 12, 'Кактус')",
             })
            d.execute(sql);
        const auto deal = [&](int id, int cust, int user, const QString& name, const QDateTime& begin,
                              const fw::Value& end, int status) {
            d.execute("insert into SDELKA (IDSDELKA, IDCUST, IDUSER, NAME, DATE_BEGIN, DATE_END, IDSDELKA_ST, "
                      "IDPRICHINA, IDPRICHINA2, IDSDELKATYPE) values (:id, :cust, :user, :name, :b, :e, :st, 1, 2, 1)",
                      {{"id", id}, {"cust", cust}, {"user", user}, {"name", name}, {"b", begin}, {"e", end},
                       {"st", status}});
        };
        deal(101, 1, 10, "Поставка \"Офис\"", At(2024, 3, 1), At(2024, 3, 31, 14, 0), 1);
        deal(102, 2, 11, "Сервер", At(2024, 3, 10, 14, 0), fw::Value(), 3);
        deal(103, 3, 12, "Чужая", At(2024, 3, 1), fw::Value(), 1);
        const auto stage = [&](int id, int deal, int user, int etap, const QDateTime& begin, const fw::Value& plan,
                               const fw::Value& fact) {
            d.execute("insert into ETAPS (IDETAPS, IDSDELKA, IDUSER, IDETAP, DATEBEGIN, DATEPLAN, DATEFACT) "
                      "values (:id, :sd, :user, :etap, :b, :p, :f)",
                      {{"id", id}, {"sd", deal}, {"user", user}, {"etap", etap}, {"b", begin}, {"p", plan},
                       {"f", fact}});
        };
        stage(201, 101, 10, 1, At(2024, 3, 1), fw::Value(), At(2024, 3, 5));
        stage(202, 101, 11, 2, At(2024, 3, 6), At(2024, 3, 20, 14, 0), fw::Value());
        stage(203, 102, 11, 1, At(2024, 3, 10), fw::Value(), fw::Value());
        stage(204, 103, 12, 1, At(2024, 3, 1), fw::Value(), fw::Value());
        const auto sale = [&](int id, int deal, int cust, int tovar, double plan) {
            d.execute("insert into SALES (IDSALE, IDSDELKA, IDCUST, IDUSER, IDTOVAR, KOLVO, SUMMADP) "
                      "values (:id, :sd, :cust, 10, :t, 2, :p)",
                      {{"id", id}, {"sd", deal}, {"cust", cust}, {"t", tovar}, {"p", plan}});
        };
        sale(301, 101, 1, 1, 100);
        sale(302, 101, 1, 2, 50);
        sale(303, 102, 2, 2, 70);
        sale(304, 103, 3, 1, 10);
        d.execute("insert into OPLATA (IDOPLATA, IDSALE, IDUSER, DATEOPL, SUMMAD) values (401, 301, 10, :d, 100)",
                  {{"d", At(2024, 4, 10, 15, 30)}});
        d.execute("insert into OPLATA (IDOPLATA, IDSALE, IDUSER, DATEOPL, SUMMAD) values (402, 303, 11, :d, 70)",
                  {{"d", At(2024, 4, 2)}});
        d.disconnect();
    }

    void SetUp() override
    {
        CoreDatabaseTest::SetUp();
        UserRights = new TUsers;
        ASSERT_TRUE(UserRights->GetUser(10, CurrentUser));
        dm->qryMain.open();
        dm->qryUser.open();
        w = std::make_unique<TfmMSdelka>();
    }
    void TearDown() override
    {
        w.reset();
        delete UserRights;
        UserRights = nullptr;
        CurrentUser = {};
        CoreDatabaseTest::TearDown();
    }

    // One column of the listed rows, as the grid shows it.
    QStringList Listed(const QString& field)
    {
        QStringList out;
        fw::DataSet* ds = w->dbg->dataSet();
        if (!ds) return {"<closed>"};
        for (int row = 0; row < ds->rowCount(); ++row) out << ds->displayTextAt(row, ds->fieldByName(field));
        out.sort();
        return out;
    }
    QStringList Search(int regim, const QString& field)
    {
        w->rgRegim->setItemIndex(regim);
        w->tbZapros->click();
        return Listed(field);
    }
    QString ListCaption() const { return w->pcMain->tabText(w->pcMain->indexOf(w->tsList)); }
    QStringList Titles() const
    {
        QStringList t;
        for (int i = 0; i < w->dbg->columnCount(); ++i) t << w->dbg->columnTitle(i);
        return t;
    }
    static void Choose(fw::DBLookupCombo* c, int key)
    {
        c->setKeyValue(key);
        c->click();
    }

    fw::ScriptedDialogs dialogs;
    std::unique_ptr<TfmMSdelka> w;
};

TEST_F(DealsList, OpensOnTheQueryPageWithExportByRight)
{
    EXPECT_EQ(w->windowTitle(), "Сделки");
    EXPECT_EQ(w->pcMain->currentWidget(), w->tsZapros);
    EXPECT_EQ(w->pcZapros->currentWidget(), w->tsZapSdelka);
    EXPECT_EQ(w->pcZapros->tabText(1), "Этапы");
    EXPECT_TRUE(w->tbExport->isEnabled());
    EXPECT_TRUE(w->qryTovar.active());
    EXPECT_TRUE(dm->qryEtap.active());
    for (fw::Query* q : {&w->qrySdelka, &w->qryEtaps, &w->qrySales}) EXPECT_FALSE(q->canModify());
    // Read-only results: the navigator offers no insert, delete or edit.
    using B = fw::DBNavigator::Button;
    for (B b : {B::Insert, B::Delete, B::Edit, B::Post, B::Cancel})
        EXPECT_FALSE(w->DBNavigator1->visibleButtons().testFlag(b));
    EXPECT_TRUE(w->DBNavigator1->visibleButtons().testFlag(B::Next));

    ASSERT_TRUE(UserRights->GetUser(11, CurrentUser));
    TfmMSdelka other;
    EXPECT_FALSE(other.tbExport->isEnabled());
}

TEST_F(DealsList, EachModeListsWhatTheUserMaySee)
{
    // Deals of the user's department only; Сидоров's are not shown.
    EXPECT_EQ(Search(0, "IDSDELKA"), QStringList({"101", "102"}));
    EXPECT_EQ(w->pcMain->currentWidget(), w->tsList);
    EXPECT_EQ(w->dbg->dataSource(), &w->dsSdelka);
    EXPECT_EQ(Titles().mid(0, 13),
              QStringList({"Компания", "Название сделки", "Куратор сделки", "Статус сделки", "Дата начала сделки",
                           "Дата окончания сделки", "Причина сделки", "Причина сделки2", "Тип сделки",
                           "Сделка USD (план)", "Сделка USD (факт)", "Сделка руб (план)", "Сделка руб (факт)"}));
    EXPECT_EQ(Titles().size(), 22);
    EXPECT_EQ(Listed("SdUser"), QStringList({"Иванов", "Петров"}));
    EXPECT_EQ(Listed("SdStatus"), QStringList({"Отказ", "Открыта"}));
    EXPECT_EQ(Listed("SdPrichina2"), QStringList({"Радио", "Радио"}));
    EXPECT_EQ(Listed("OPLATDF"), QStringList({"100.00", "70.00"}));

    EXPECT_EQ(Search(1, "IDETAPS"), QStringList({"201", "202", "203"}));
    EXPECT_EQ(w->dbg->dataSource(), &w->dsEtaps);
    EXPECT_FALSE(w->qrySdelka.active());
    EXPECT_EQ(Titles().size(), 28);
    EXPECT_EQ(Listed("EtUser"), QStringList({"Иванов", "Петров", "Петров"}));
    EXPECT_EQ(Listed("SdUser"), QStringList({"Иванов", "Иванов", "Петров"}));

    EXPECT_EQ(Search(2, "IDSALE"), QStringList({"301", "302", "303"}));
    EXPECT_EQ(Titles().size(), 38);
    EXPECT_TRUE(Titles().contains("Апгрейд"));
    EXPECT_TRUE(Titles().contains("Товар USD (план)"));
    EXPECT_EQ(Listed("GrTovar"), QStringList({"Железо", "Железо", "Софт"}));
    EXPECT_EQ(Listed("Tovar"), QStringList({"Офис", "Сервер", "Сервер"}));
}

// A database made before goods items could not be deleted while used.
class DealsListWithAMissingGoodsItem : public DealsList {
protected:
    static void SetUpTestSuite()
    {
        DealsList::SetUpTestSuite();
        fw::Database d(params());
        d.connect();
        d.execute("alter table SALES drop constraint FK_SALES_IDTOVAR");
        d.execute("insert into TOVAR (IDTOVAR, IDGRTOVAR, TOVAR) values (3, 1, 'Снятый')");
        d.execute("insert into SALES (IDSALE, IDSDELKA, IDCUST, IDUSER, IDTOVAR, KOLVO, SUMMADP) "
                  "values (305, 102, 2, 10, 3, 1, 30)");
        d.execute("delete from TOVAR where IDTOVAR = 3");
    }
};

TEST_F(DealsListWithAMissingGoodsItem, ItsGoodsLineIsListedUnderNone)
{
    EXPECT_EQ(Search(2, "IDSALE"), QStringList({"301", "302", "303", "305"}));
    EXPECT_EQ(Listed("GrTovar"), QStringList({"-", "Железо", "Железо", "Софт"}));
    EXPECT_EQ(Listed("Tovar"), QStringList({"-", "Офис", "Сервер", "Сервер"}));
    EXPECT_EQ(Listed("SUMMADP"), QStringList({"100.00", "30.00", "50.00", "70.00"}));
}

TEST_F(DealsList, LastDayOfARangeKeepsItsAfternoon)
{
    // Deal 101 ends on 31.03 at 14:00, its payment was on 10.04 at 15:30,
    // and its open stage is planned for 20.03 at 14:00.
    w->rgSdEnd->setChecked(true);
    w->deSdDateFrom->SetDate(QDate(2024, 3, 31));
    w->deSdDateTo->SetDate(QDate(2024, 3, 31));
    EXPECT_EQ(Search(0, "IDSDELKA"), QStringList({"101"}));

    w->rgSdOplata->setChecked(true);
    w->deSdDateFrom->SetDate(QDate(2024, 4, 10));
    w->deSdDateTo->SetDate(QDate(2024, 4, 10));
    EXPECT_EQ(Search(0, "IDSDELKA"), QStringList({"101"}));
    w->deSdDateFrom->SetDate(QDate());
    w->deSdDateTo->SetDate(QDate(2024, 4, 9));
    EXPECT_EQ(Search(0, "IDSDELKA"), QStringList({"102"}));

    w->deSdDateTo->SetDate(QDate());
    w->dblcEtPlan->setChecked(true);
    w->deEtTo->SetDate(QDate(2024, 3, 20));
    EXPECT_EQ(Search(0, "IDSDELKA"), QStringList({"101"}));
}

TEST_F(DealsList, NameWithAQuoteStageAndGoodsConditions)
{
    w->edSdName->setText("\"Офис\"");
    EXPECT_EQ(Search(0, "NAME"), QStringList({"Поставка \"Офис\""}));
    w->edSdName->clear();

    // Petrov's open stages: the rows themselves in mode 1, their deals otherwise.
    Choose(w->dblcEtEtUser, 11);
    w->rbEtEtOpen->setChecked(true);
    EXPECT_EQ(Search(1, "IDETAPS"), QStringList({"202", "203"}));
    EXPECT_EQ(Search(0, "IDSDELKA"), QStringList({"101", "102"}));
    // A deal having a closed stage, listed with all its stages.
    w->tbCrear->click();
    w->rbEtSdClose->setChecked(true);
    EXPECT_EQ(Search(1, "IDETAPS"), QStringList({"201", "202"}));

    w->tbCrear->click();
    Choose(w->cbGrTovar, 1);
    EXPECT_EQ(Search(0, "IDSDELKA"), QStringList({"101"}));
    EXPECT_EQ(Search(2, "IDSALE"), QStringList({"301", "302"}));
    Choose(w->cbGrTovar, 2);
    EXPECT_EQ(Search(0, "IDSDELKA"), QStringList({"101", "102"}));
    w->cbPlanFact->setChecked(true);   // 102 is paid in full
    EXPECT_EQ(Search(0, "IDSDELKA"), QStringList({"101"}));
}

TEST_F(DealsList, CountShowsInTheCaptionUntilTheNextSearch)
{
    w->tbKolvo->click();
    EXPECT_EQ(ListCaption(), "Список");
    Search(1, "IDETAPS");
    w->tbKolvo->click();
    EXPECT_EQ(ListCaption(), "Список (3)");
    Search(0, "IDSDELKA");
    EXPECT_EQ(ListCaption(), "Список");
}

TEST_F(DealsList, PickListsCascadeAndEscClears)
{
    Choose(w->dblcSdPrichina, 1);
    EXPECT_EQ(w->qryPrichina2.filter(), "idPrichina=1");
    EXPECT_EQ(w->qryPrichina2.recordCount(), 2);
    Choose(w->dblcSdType, 1);
    EXPECT_EQ(w->qryOtkaz.filter(), "idSdelkaType=1");
    Choose(w->cbGrTovar, 2);
    EXPECT_EQ(w->qryTovar.filter(), "idGrTovar=2");
    Choose(w->cbTovar, 2);

    Key(w->dblcSdPrichina, Qt::Key_Escape);
    EXPECT_TRUE(w->dblcSdPrichina->keyValue().isNull());
    EXPECT_EQ(w->qryPrichina2.filter(), "");
    Key(w->cbTovar, Qt::Key_Escape);
    EXPECT_TRUE(w->cbTovar->keyValue().isNull());
    EXPECT_EQ(w->qryTovar.filter(), "idGrTovar=2");

    // A click on a "Куратор" label picks the current user.
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(2, 2), QPointF(2, 2), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(w->Label12, &press);
    EXPECT_EQ(w->dblcEtSdUser->keyValue().asInt(), 10);
    EXPECT_TRUE(w->dblcSdUser->keyValue().isNull());
}

TEST_F(DealsList, ClearEmptiesTheFiltersButKeepsModeAndDateColumn)
{
    w->rgRegim->setItemIndex(2);
    w->rgSdEnd->setChecked(true);
    w->edSdName->setText("x");
    Choose(w->dblcSdPrichina, 1);
    Choose(w->dblcSdType, 1);
    Choose(w->cbGrTovar, 1);
    Choose(w->dblcEtEtEtap, 2);
    w->deSdDateTo->SetDate(QDate(2024, 3, 1));
    w->cbPlanFact->setChecked(true);
    w->rbEtSdOpen->setChecked(true);
    w->rbEtEtClose->setChecked(true);

    w->tbCrear->click();
    EXPECT_TRUE(w->edSdName->text().isEmpty());
    for (fw::DBLookupCombo* c : {w->dblcSdPrichina, w->dblcSdType, w->cbGrTovar, w->dblcEtEtEtap})
        EXPECT_TRUE(c->keyValue().isNull()) << c->objectName().toStdString();
    EXPECT_FALSE(w->deSdDateTo->Date().isValid());
    EXPECT_FALSE(w->cbPlanFact->isChecked());
    EXPECT_TRUE(w->rbEtSdAny->isChecked());
    EXPECT_TRUE(w->rbEtEtAny->isChecked());
    EXPECT_EQ(w->qryPrichina2.filter(), "");
    EXPECT_EQ(w->qryOtkaz.filter(), "");
    EXPECT_EQ(w->qryTovar.filter(), "");
    EXPECT_EQ(w->rgRegim->itemIndex(), 2);
    EXPECT_TRUE(w->rgSdEnd->isChecked());
    EXPECT_EQ(SdelkaSearchSql(w->SearchFilter()).size(), 3);
}

TEST_F(DealsList, EnterOnTheQueryPageSearches)
{
    Key(w->edSdName, Qt::Key_Return);
    EXPECT_EQ(w->pcMain->currentWidget(), w->tsList);
    EXPECT_EQ(Listed("IDSDELKA"), QStringList({"101", "102"}));
    // On the list page Enter is the grid's.
    w->qrySdelka.close();
    Key(w->dbg, Qt::Key_Return);
    EXPECT_FALSE(w->qrySdelka.active());
}

TEST_F(DealsList, WithoutTheClientsWindowNoCurrentClientNoContractNoCard)
{
    w->cbCurrent->setEnabled(true);
    w->cbCurrent->setChecked(true);
    w->dblcDog->setKeyValue(5);
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(w.get(), &activate);
    EXPECT_FALSE(w->cbCurrent->isEnabled());
    EXPECT_FALSE(w->cbCurrent->isChecked());
    EXPECT_TRUE(w->dblcDog->keyValue().isNull());

    w->tbGoToKar->click();   // nothing listed: nothing to do
    Search(0, "IDSDELKA");
    dialogs.expectWarning("Модуль Клиенты не открыт!");
    w->tbGoToKar->click();
    EXPECT_EQ(dialogs.pending(), 0);
}

TEST_F(DealsList, ExportWritesTheListedDeals)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("deals.txt");
    Search(0, "IDSDELKA");
    whenShown<TSelectColumnForm>([](TSelectColumnForm* d) {
        EXPECT_EQ(d->windowTitle(), "Выбор столбцов - Сделки");
        d->InvertChecks();
        d->clbColumns->item(0)->setCheckState(Qt::Checked);
        d->clbColumns->item(2)->setCheckState(Qt::Checked);
        d->btnOK->click();
    });
    chooseTextFile(file);
    dialogs.expectInformation("Экспорт успешно завершен.");
    w->tbExport->click();
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString text = fw::fromCp1251(f.readAll());
    QStringList lines = text.split("\r\n");
    ASSERT_EQ(lines.takeLast(), "");
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines.takeFirst(), "Компания\tКуратор сделки");
    lines.sort();
    EXPECT_EQ(lines, QStringList({"Лютик\tПетров", "Ромашка\tИванов"}));
}

} // namespace
