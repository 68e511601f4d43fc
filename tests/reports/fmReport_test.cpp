#include "reports/ReportChart.h"
#include "reports/dmRep.h"
#include "reports/fmReport.h"

#include "controls/DateEdit.h"
#include "core/CoreFixture.h"
#include "core/ModuleWindows.h"
#include "core/Users.h"
#include "widgets/DBControls.h"
#include "widgets/DBGrid.h"
#include "widgets/ScriptedDialogs.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QScrollBar>
#include <QDir>
#include <QTabBar>
#include <QTest>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

QStringList captions(const QList<TIntervalRec>& intervals)
{
    QStringList c;
    for (const TIntervalRec& i : intervals) c << i.Caption;
    return c;
}

TEST(ReportIntervals, ColumnsEndOnPeriodBoundsAndOnTheLastDay)
{
    const auto decades = MakeIntervals(QDate(2024, 3, 5), QDate(2024, 3, 25), ikDecade);
    EXPECT_EQ(captions(decades), (QStringList{"10.03.2024", "20.03.2024", "25.03.2024"}));
    ASSERT_EQ(decades.size(), 3);
    EXPECT_EQ(decades[0].DateFrom, QDate(2024, 3, 5));
    EXPECT_EQ(decades[1].DateFrom, QDate(2024, 3, 11));
    EXPECT_EQ(decades[2].DateFrom, QDate(2024, 3, 21));

    EXPECT_EQ(captions(MakeIntervals(QDate(2023, 11, 15), QDate(2024, 2, 20), ikMonth)),
              (QStringList{"30.11.2023", "31.12.2023", "31.01.2024", "20.02.2024"}));
    EXPECT_EQ(captions(MakeIntervals(QDate(2024, 2, 21), QDate(2024, 2, 29), ikDecade)), QStringList{"29.02.2024"});
    EXPECT_EQ(captions(MakeIntervals(QDate(2023, 2, 15), QDate(2024, 1, 10), ikQuarter)),
              (QStringList{"31.03.2023", "30.06.2023", "30.09.2023", "31.12.2023", "10.01.2024"}));
    EXPECT_EQ(captions(MakeIntervals(QDate(2022, 7, 1), QDate(2024, 1, 1), ikYear)),
              (QStringList{"31.12.2022", "31.12.2023", "01.01.2024"}));

    const auto whole = MakeIntervals(QDate(2024, 3, 1), QDate(2024, 3, 31), ikNone);
    ASSERT_EQ(whole.size(), 1);
    EXPECT_EQ(whole[0].Caption, "01.03.2024 - 31.03.2024");
    EXPECT_EQ(whole[0].DateTo, QDate(2024, 3, 31));
}

TEST(ReportSql, PaymentsAreSummedFirstOverAHalfOpenPeriodAndNamedLast)
{
    TRepParams p;
    p.Razrez = MakeRazrezRecs()[0];   // "Группа товара", through the goods item
    p.Valuta = 0;
    p.From = QDate(2024, 3, 1);
    p.To = QDate(2024, 3, 31);
    p.OgrLines = {"and sl.idTovar in (2, 5)", "and o.idUser in (7, 8)"};
    p.RecFilter = "idUser=7";
    EXPECT_EQ(ItogoSql(p), (QStringList{
        "select t.idGrTovar as idName, iif(n.idGrTovar is null, '-', n.GrTovar) as Name, sum(g.Summa) as Summa",
        "from (select sl.idTovar as k, sum(pl.Summa) as Summa",
        "from (select o.idSale, sum(o.SummaR) as Summa",
        "  from Oplata o",
        "  where o.idUser=7",
        "  and o.DateOpl >= timestamp '2024-03-01' and o.DateOpl < timestamp '2024-04-01'",
        "  and o.idUser in (7, 8)",
        "  group by o.idSale) pl, Sales sl, Sdelka sd, Customer c",
        "where sl.idSale = pl.idSale and sd.idSdelka = sl.idSdelka and c.idCust = sd.idCust",
        "and sl.idTovar in (2, 5)",
        "group by 1) g",
        "left join Tovar t on t.idTovar = g.k",
        "left join GrTovar n on n.idGrTovar = t.idGrTovar",
        "group by t.idGrTovar, n.idGrTovar, n.GrTovar",
        "order by 3 desc"}));

    p.Money = false;
    p.SortByTotal = false;
    p.OgrLines = {"and sl.idTovar in (2, 5)"};
    const TIntervalRec decade{QDate(2024, 3, 11), QDate(2024, 3, 20), "20.03.2024"};
    EXPECT_EQ(IntervalSql(p, decade), (QStringList{
        "select t.idGrTovar, sum(g.Summa) as Summa",
        "from (select sl.idTovar as k, sum(sl.Kolvo) as Summa",
        "from Sdelka sd, Sales sl, Customer c",
        "where sl.idSdelka + 0 = sd.idSdelka + 0 and c.idCust + 0 = sd.idCust + 0 and sd.idUser=7",
        "and sd.DateNakl >= timestamp '2024-03-11' and sd.DateNakl < timestamp '2024-03-21'",
        "and sl.idTovar in (2, 5)",
        "group by 1) g",
        "left join Tovar t on t.idTovar = g.k",
        "group by 1"}));
    EXPECT_EQ(ItogoSql(p).last(), "order by n.GrTovar");
}

// Three goods groups, two clients, three deals and seven payments around March 2024.
class ReportWindowTest : public CoreDatabaseTest {
protected:
    static void SetUpTestSuite()
    {
        DatabaseTest::SetUpTestSuite();
        fw::Database d;
        d.setParams(params());
        d.connect();
        for (const char* sql : {
                 "update VER set VALUTA1 = 'руб', VALUTA2 = 'USD', PRIZNAK1 = 'Учебная', PRIZNAK2 = 'Апгрейд'",
                 "insert into OTDEL (IDOTDEL, OTDEL) values (1, 'Продажи')",
                 "insert into USERS (IDUSER, IDOTDEL, NAME) values (1, 1, 'Иванов')",
                 "insert into USERS (IDUSER, IDOTDEL, NAME) values (2, 1, 'Петров')",
                 "insert into PRAVA (IDPRAVA, IDUSER, IDPRAVO) values (gen_id(GEN_PRAVA, 1), 1, 1023)",
                 "insert into PRAVA (IDPRAVA, IDUSER, IDPRAVO) values (gen_id(GEN_PRAVA, 1), 1, 1056)",
                 "insert into GRTOVAR (IDGRTOVAR, GRTOVAR) values (1, 'Принтеры')",
                 "insert into GRTOVAR (IDGRTOVAR, GRTOVAR) values (2, 'Сканеры')",
                 "insert into GRTOVAR (IDGRTOVAR, GRTOVAR) values (3, 'Бумага')",
                 "insert into TOVAR (IDTOVAR, IDGRTOVAR, TOVAR) values (1, 1, 'Принтер А')",
                 "insert into TOVAR (IDTOVAR, IDGRTOVAR, TOVAR) values (2, 1, 'Принтер Б')",
                 "insert into TOVAR (IDTOVAR, IDGRTOVAR, TOVAR) values (3, 2, 'Сканер В')",
                 "insert into TOVAR (IDTOVAR, IDGRTOVAR, TOVAR) values (4, 3, 'Бумага А4')",
                 "insert into CUSTOMER (IDCUST, IDUSER, COMPANY, IDREGION, IDCOUNTRY) values (1, 1, 'Альфа', 0, 0)",
                 "insert into CUSTOMER (IDCUST, IDUSER, COMPANY, IDREGION, IDCOUNTRY) values (2, 2, 'Бета', 0, 0)",
                 "insert into SDELKA (IDSDELKA, IDCUST, IDUSER, DATENAKL, NAME) values (1, 1, 1, '07.03.2024', 'Первая')",
                 "insert into SDELKA (IDSDELKA, IDCUST, IDUSER, DATENAKL, NAME) values (2, 2, 2, '31.03.2024 14:00', 'Вторая')",
                 "insert into SDELKA (IDSDELKA, IDCUST, IDUSER, DATENAKL, NAME) values (3, 1, 1, '10.04.2024', 'Третья')",
                 "insert into SALES (IDSALE, IDCUST, IDSDELKA, IDTOVAR, KOLVO) values (1, 1, 1, 1, 2)",
                 "insert into SALES (IDSALE, IDCUST, IDSDELKA, IDTOVAR, KOLVO) values (2, 1, 1, 3, 1)",
                 "insert into SALES (IDSALE, IDCUST, IDSDELKA, IDTOVAR, KOLVO) values (3, 2, 2, 2, 5)",
                 "insert into SALES (IDSALE, IDCUST, IDSDELKA, IDTOVAR, KOLVO) values (4, 1, 3, 4, 10)",
                 "insert into OPLATA (IDOPLATA, IDSALE, IDUSER, DATEOPL, SUMMAR, SUMMAD) values (1, 1, 1, '05.03.2024 10:00', 1000, 10)",
                 "insert into OPLATA (IDOPLATA, IDSALE, IDUSER, DATEOPL, SUMMAR, SUMMAD) values (2, 1, 1, '12.03.2024', 500.5, 5)",
                 "insert into OPLATA (IDOPLATA, IDSALE, IDUSER, DATEOPL, SUMMAR, SUMMAD) values (3, 2, 1, '25.03.2024', 300, 3)",
                 "insert into OPLATA (IDOPLATA, IDSALE, IDUSER, DATEOPL, SUMMAR, SUMMAD) values (4, 3, 2, '31.03.2024 14:00', 2000, 20)",
                 "insert into OPLATA (IDOPLATA, IDSALE, IDUSER, DATEOPL, SUMMAR, SUMMAD) values (5, 3, 2, '02.04.2024', 700, 7)",
                 "insert into OPLATA (IDOPLATA, IDSALE, IDUSER, DATEOPL, SUMMAR, SUMMAD) values (6, 2, 1, '10.02.2024', 100, 1)",
                 "insert into OPLATA (IDOPLATA, IDSALE, IDUSER, DATEOPL, SUMMAR, SUMMAD) values (7, 4, 1, '21.03.2024', 50, 0.5)",
                 "insert into LOCGRKL (IDLOCGRKL, LOCGRKL, IDUSER) values (1, 'Мои клиенты', 1)",
                 "insert into LOCGRKL (IDLOCGRKL, LOCGRKL, IDUSER) values (2, 'Чужая группа', 2)",
                 "insert into LOC_KL (IDLOC_KL, IDCUST, IDLOCGRKL) values (1, 1, 1)",
                 "insert into LOC_KL (IDLOC_KL, IDCUST, IDLOCGRKL) values (2, 2, 2)"})
            d.execute(QString::fromUtf8(sql));
        d.disconnect();
    }

    void SetUp() override
    {
        CoreDatabaseTest::SetUp();
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
        dm->qryMain.open();
        UserRights = new TUsers;
        UserRights->GetUser(1, CurrentUser);
        w = new TfmReport;
        fmReport = w;
        w->show();
        w->deFrom->SetDate(QDate(2024, 3, 1));
        w->deTo->SetDate(QDate(2024, 3, 31));
        w->rgMoney->setItemIndex(0);
    }
    void TearDown() override
    {
        delete w;
        delete UserRights;
        UserRights = nullptr;
        CurrentUser = {};
        QLocale::setDefault(QLocale::c());
        CoreDatabaseTest::TearDown();
    }

    QString cell(int row, int col) const
    {
        const QTableWidgetItem* item = w->sgRazrez->item(row, col);
        return item ? item->text() : QString("<none>");
    }
    QStringList column(int col) const
    {
        QStringList c;
        for (int r = 0; r < w->sgRazrez->rowCount(); ++r) c << cell(r, col);
        return c;
    }
    QStringList items(QListWidget* list) const
    {
        QStringList names;
        for (int i = 0; i < list->count(); ++i) names << list->item(i)->text();
        return names;
    }
    void showOgrTab(int tab)
    {
        w->pcMain->setCurrentWidget(w->tsOgr);
        w->tcOgr->setCurrentIndex(tab);
    }
    void choose(const QString& name)
    {
        const QList<QListWidgetItem*> found = w->lbFrom->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << name.toStdString();
        found[0]->setSelected(true);
        w->btnAdd->click();
    }

    fw::ScriptedDialogs dialogs;
    TfmReport* w = nullptr;
};

TEST_F(ReportWindowTest, OpensOnTheServersMonthWithTheSettingsCurrencies)
{
    delete w;
    w = new TfmReport;
    TfmReport& fresh = *w;
    const QDate today = GetServerDate().date();
    EXPECT_EQ(fresh.deFrom->Date(), QDate(today.year(), today.month(), 1));
    EXPECT_EQ(fresh.deTo->Date().addDays(1), QDate(today.year(), today.month(), 1).addMonths(1));
    EXPECT_EQ(fresh.rgMoney->items(), (QStringList{"руб", "USD"}));
    EXPECT_EQ(fresh.rgMoney->itemIndex(), 1);
    EXPECT_EQ(fresh.rgSort->itemIndex(), 1);
    EXPECT_EQ(fresh.cbInterval->currentIndex(), -1);
    EXPECT_EQ(fresh.cbRazrez->count(), 15);
    EXPECT_TRUE(fresh.tbExport->isEnabled());
    fresh.rgType->setItemIndex(1);
    EXPECT_FALSE(fresh.rgMoney->isEnabled());
}

TEST_F(ReportWindowTest, MoneyTableByDecadesWithTotalsAndZeroCells)
{
    w->cbInterval->setCurrentIndex(ikDecade);
    w->tbZapros->click();
    EXPECT_EQ(w->pcMain->currentWidget(), w->tsResult);
    ASSERT_EQ(w->sgRazrez->rowCount(), 5);
    ASSERT_EQ(w->sgRazrez->columnCount(), 5);
    EXPECT_EQ(column(0), (QStringList{"Группа товара", "Принтеры", "Сканеры", "Бумага", "Итого:"}));
    EXPECT_EQ(column(1), (QStringList{"10.03.2024", "1000,00", "0,00", "0,00", "1000,00"}));
    EXPECT_EQ(column(2), (QStringList{"20.03.2024", "500,50", "0,00", "0,00", "500,50"}));
    EXPECT_EQ(column(3), (QStringList{"31.03.2024", "2000,00", "300,00", "50,00", "2350,00"}));
    EXPECT_EQ(column(4), (QStringList{"Итого:", "3500,50", "300,00", "50,00", "3850,50"}));
    EXPECT_TRUE(w->ReportChart->tbLine->isEnabled());

    w->rgMoney->setItemIndex(1);
    w->tbZapros->click();
    EXPECT_EQ(column(4), (QStringList{"Итого:", "35,00", "3,00", "0,50", "38,50"}));
}

TEST_F(ReportWindowTest, QuantityFollowsTheWaybillDateAndSortsByName)
{
    w->rgType->setItemIndex(1);
    w->rgSort->setItemIndex(0);
    w->tbZapros->click();
    ASSERT_EQ(w->sgRazrez->columnCount(), 3);
    EXPECT_EQ(cell(0, 1), "01.03.2024 - 31.03.2024");
    // The deal at 14:00 on the last day is counted; the April one is not.
    EXPECT_EQ(column(0), (QStringList{"Группа товара", "Принтеры", "Сканеры", "Итого:"}));
    EXPECT_EQ(column(2), (QStringList{"Итого:", "7,00", "1,00", "8,00"}));

    w->rgType->setItemIndex(0);
    w->tbZapros->click();
    EXPECT_EQ(column(0), (QStringList{"Группа товара", "Бумага", "Принтеры", "Сканеры", "Итого:"}));
}

TEST_F(ReportWindowTest, LastDayKeepsAnAfternoonPaymentAndOnlyTheOwnRowsAreSeen)
{
    w->deFrom->SetDate(QDate(2024, 3, 31));
    w->tbZapros->click();
    EXPECT_EQ(column(0), (QStringList{"Группа товара", "Принтеры", "Итого:"}));
    EXPECT_EQ(column(2), (QStringList{"Итого:", "2000,00", "2000,00"}));

    // Petrov has no right to see others' rows: only his own payments count.
    UserRights->GetUser(2, CurrentUser);
    w->deFrom->SetDate(QDate(2024, 3, 1));
    w->tbZapros->click();
    EXPECT_EQ(column(2), (QStringList{"Итого:", "2000,00", "2000,00"}));
}

TEST_F(ReportWindowTest, NoIntervalLeavesOnlyPieAndBarCharts)
{
    w->ReportChart->Kind = 2;
    // Enter on the parameters page runs the report.
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w));
    w->cbRazrez->setFocus();
    QTest::keyClick(w->cbRazrez, Qt::Key_Return);
    EXPECT_EQ(w->pcMain->currentWidget(), w->tsResult);
    EXPECT_EQ(w->sgRazrez->columnCount(), 3);
    EXPECT_FALSE(w->ReportChart->tbLine->isEnabled());
    EXPECT_FALSE(w->ReportChart->tbArea->isEnabled());
    EXPECT_EQ(w->ReportChart->Kind, 0);
}

TEST_F(ReportWindowTest, RestrictionNarrowsRowsAndClearingAllRestoresThem)
{
    showOgrTab(1);
    EXPECT_EQ(w->tcOgr->count(), 16);
    ASSERT_TRUE(w->cbFilter->isEnabled());
    EXPECT_EQ(w->lbFrom->count(), 4);
    w->cbFilter->setCurrentIndex(w->cbFilter->findText("Принтеры"));
    emit w->cbFilter->activated(w->cbFilter->currentIndex());
    EXPECT_EQ(items(w->lbFrom), (QStringList{"Принтер А", "Принтер Б"}));
    choose("Принтер Б");
    EXPECT_EQ(items(w->lbTo), QStringList{"Принтер Б"});
    EXPECT_EQ(items(w->lbFrom), QStringList{"Принтер А"});
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(w->cbFilter, &esc);
    EXPECT_EQ(w->cbFilter->currentIndex(), -1);
    EXPECT_EQ(items(w->lbFrom), (QStringList{"Бумага А4", "Принтер А", "Сканер В"}));

    w->tbZapros->click();
    EXPECT_EQ(column(0), (QStringList{"Группа товара", "Принтеры", "Итого:"}));
    EXPECT_EQ(column(2), (QStringList{"Итого:", "2000,00", "2000,00"}));

    showOgrTab(1);
    w->ToolButton1->click();
    EXPECT_EQ(w->lbTo->count(), 0);
    EXPECT_EQ(items(w->lbFrom), (QStringList{"Бумага А4", "Принтер А", "Принтер Б", "Сканер В"}));
    w->tbZapros->click();
    EXPECT_EQ(w->sgRazrez->rowCount(), 5);
}

// Every slice and every restriction is valid SQL in both modes, detail list included.
TEST_F(ReportWindowTest, EverySliceAndRestrictionRunsInBothModes)
{
    w->cbInterval->setCurrentIndex(ikMonth);
    qsizetype lines[2] = {};   // of the last slice's statement without restrictions
    for (int type : {0, 1}) {
        w->rgType->setItemIndex(type);
        for (int i = 0; i < w->cbRazrez->count(); ++i) {
            w->cbRazrez->setCurrentIndex(i);
            w->tbZapros->click();
            ASSERT_TRUE(dmRep->qryItogo.active()) << i;
            EXPECT_GE(w->sgRazrez->rowCount(), 2) << i;
            w->pcResult->setCurrentWidget(w->tsDetal);
            EXPECT_TRUE(dmRep->qryDetal.active()) << i;
        }
        lines[type] = dmRep->qryItogo.sql().count();
    }
    int chosen = 0;
    for (int tab = 0; tab < 16; ++tab) {
        showOgrTab(tab);
        if (w->lbFrom->count() == 0) continue;
        w->MoveToSelected(0);
        ++chosen;
    }
    EXPECT_GE(chosen, 14);
    for (int type : {0, 1}) {
        w->rgType->setItemIndex(type);
        w->tbZapros->click();
        EXPECT_EQ(dmRep->qryItogo.sql().count(), lines[type] + chosen);
        w->pcResult->setCurrentWidget(w->tsDetal);
        EXPECT_TRUE(dmRep->qryDetal.active());
    }
}

TEST_F(ReportWindowTest, PersonalGroupsListOnlyTheUsersOwn)
{
    showOgrTab(15);
    EXPECT_EQ(w->tcOgr->tabText(15), "Личная группа");
    EXPECT_FALSE(w->cbFilter->isEnabled());
    EXPECT_EQ(items(w->lbFrom), QStringList{"Мои клиенты"});
    choose("Мои клиенты");
    w->tbZapros->click();
    EXPECT_EQ(column(2), (QStringList{"Итого:", "1500,50", "300,00", "50,00", "1850,50"}));
}

TEST_F(ReportWindowTest, WrongPeriodWarnsAndRunsNothing)
{
    w->deFrom->SetDate(QDate(2024, 4, 1));
    dialogs.expectWarning("Неверно указан период!");
    w->tbZapros->click();
    EXPECT_EQ(w->pcMain->currentWidget(), w->tsParams);
    EXPECT_EQ(w->sgRazrez->rowCount(), 0);
    EXPECT_FALSE(dmRep->qryItogo.active());
}

TEST_F(ReportWindowTest, DetailListIsLabelledAndOpenedOnItsPage)
{
    w->tbZapros->click();
    EXPECT_FALSE(dmRep->qryDetal.active());
    w->pcResult->setCurrentWidget(w->tsDetal);
    fw::Query& q = dmRep->qryDetal;
    ASSERT_TRUE(q.active());
    EXPECT_EQ(q.fieldCount(), 54);
    EXPECT_EQ(q.recordCount(), 5);
    EXPECT_EQ(q.fieldByName("cidCust").displayLabel(), "Код компании");
    EXPECT_EQ(q.fieldByName("sdUser").displayLabel(), "Куратор сделки");
    EXPECT_EQ(q.fieldByName("sdSummaDP").displayLabel(), "Сумма сделки USD(план)");
    EXPECT_EQ(q.fieldByName("slPriznak1").displayLabel(), "Учебная");
    EXPECT_EQ(q.fieldByName("oSummaR").displayLabel(), "Сумма оплаты руб");
    EXPECT_EQ(q.fieldByName("oSummaR").displayFormat(), "# ### ### ##0.00");
    EXPECT_LE(q.fieldByName("sdNote").displayWidth(), 50);
    EXPECT_EQ(w->dbgDetal->columnTitle(0), "Код компании");

    // A new run goes back to the table; the quantity detail has no payment columns.
    w->rgType->setItemIndex(1);
    w->tbZapros->click();
    EXPECT_EQ(w->pcResult->currentWidget(), w->tsSvod);
    w->pcResult->setCurrentWidget(w->tsDetal);
    EXPECT_EQ(q.fieldCount(), 49);
    EXPECT_EQ(q.findField("oDateOpl"), nullptr);
}

TEST_F(ReportWindowTest, CardNeedsDetailRowsAndTheClientsWindow)
{
    w->deFrom->SetDate(QDate(2020, 1, 1));
    w->deTo->SetDate(QDate(2020, 1, 31));
    w->tbZapros->click();
    w->pcResult->setCurrentWidget(w->tsDetal);
    dialogs.expectError("На вкладке \"Детальный\" нет информации!");
    w->tbGoToKar->click();

    w->deFrom->SetDate(QDate(2024, 3, 1));
    w->deTo->SetDate(QDate(2024, 3, 31));
    w->tbZapros->click();
    w->pcResult->setCurrentWidget(w->tsDetal);
    ASSERT_FALSE(dmRep->qryDetal.isEmpty());
    dialogs.expectWarning("Модуль Клиенты не открыт!");
    w->tbGoToKar->click();
}

TEST_F(ReportWindowTest, ClosingClearsTheGlobalsAndTheRestrictionLists)
{
    showOgrTab(0);
    ASSERT_TRUE(OgrRecs[0].Loaded);
    delete w;
    w = nullptr;
    EXPECT_TRUE(fmReport.isNull());
    EXPECT_EQ(dmRep, nullptr);
    EXPECT_FALSE(OgrRecs[0].Loaded);
    EXPECT_TRUE(OgrRecs[0].AllItems.isEmpty());
}

} // namespace

namespace {

TEST_F(ReportWindowTest, EnterInAnOpenDropDownOnlyPicks)
{
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w));
    // The period's calendar: Enter takes the day, the report does not run.
    w->deTo->setFocus();
    QTest::keyClick(w->deTo, Qt::Key_Down, Qt::AltModifier);
    ASSERT_TRUE(w->deTo->PopupVisible());
    QTest::keyClick(w->deTo, Qt::Key_Left);
    QTest::keyClick(w->deTo, Qt::Key_Return);
    EXPECT_FALSE(w->deTo->PopupVisible());
    EXPECT_EQ(w->deTo->Date(), QDate(2024, 3, 30));
    EXPECT_EQ(w->pcMain->currentWidget(), w->tsParams);

    // The interval list: Enter picks the month.
    w->cbInterval->setFocus();
    w->cbInterval->showPopup();
    ASSERT_TRUE(w->cbInterval->view()->isVisible());
    w->cbInterval->view()->setCurrentIndex(w->cbInterval->model()->index(ikMonth, 0));
    QTest::keyClick(w->cbInterval->view(), Qt::Key_Return);
    EXPECT_EQ(w->cbInterval->currentIndex(), int(ikMonth));
    EXPECT_EQ(w->pcMain->currentWidget(), w->tsParams);

    // Closed, Enter runs the report.
    QTest::keyClick(w->cbInterval, Qt::Key_Return);
    EXPECT_EQ(w->pcMain->currentWidget(), w->tsResult);
    EXPECT_EQ(cell(0, 1), "30.03.2024");
}

} // namespace

namespace {

// Scrolled to its far corner, the table still shows its titles and its names.
TEST_F(ReportWindowTest, TitleRowAndNameColumnStayWhileScrolling)
{
    w->cbInterval->setCurrentIndex(ikDecade);
    w->deFrom->SetDate(QDate(2023, 1, 1));
    w->tbZapros->click();
    w->resize(520, 260);
    w->pcResult->setCurrentWidget(w->tsSvod);
    QApplication::processEvents();
    QTableWidget* t = w->sgRazrez;
    t->horizontalScrollBar()->setValue(t->horizontalScrollBar()->maximum());
    t->verticalScrollBar()->setValue(t->verticalScrollBar()->maximum());
    ASSERT_GT(t->horizontalScrollBar()->value(), 0);
    QApplication::processEvents();
    const auto shownAt = [&](QPoint p) {
        auto* view = qobject_cast<QTableView*>(t->childAt(p)->parentWidget());
        return view ? view->indexAt(view->viewport()->mapFrom(t, p)) : QModelIndex();
    };
    const QPoint origin = t->viewport()->geometry().topLeft();
    const QModelIndex title = shownAt(origin + QPoint(t->columnWidth(0) + 5, 3));
    EXPECT_EQ(title.row(), 0);
    EXPECT_GT(title.column(), 1);
    const QModelIndex name = shownAt(origin + QPoint(5, t->rowViewportPosition(t->rowCount() - 1) + 3));
    EXPECT_EQ(name.column(), 0);
    EXPECT_EQ(name.data().toString(), "Итого:");
    EXPECT_TRUE(w->grab().save(QDir::temp().filePath("report-fixed.png")));
}

} // namespace
