#include "clients/KlientCardFixture.h"

#include "clients/Budil.h"
#include "clients/KlientQuery.h"
#include "clients/fmReg.h"

#include "widgets/DBControls.h"
#include "widgets/DBLookupCombo.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

namespace {

class RegWindow : public KlientCardTest {
protected:
    void SetUp() override
    {
        KlientCardTest::SetUp();
        // Before the window opens: it reads the goods names once.
        db.execute("update or insert into GrTovar (idGrTovar, GrTovar) values (501, 'Принтеры')");
        db.execute("update or insert into GrTovar (idGrTovar, GrTovar) values (502, 'Сканеры')");
        db.execute("update or insert into Tovar (idTovar, idGrTovar, Tovar) values (601, 501, 'Принтер А4')");
        db.execute("update or insert into Tovar (idTovar, idGrTovar, Tovar) values (602, 502, 'Сканер')");
        db.execute("update ver set Priznak1 = 'Учебный', Priznak2 = 'Обновление'");
        Grant({1028});
    }
    void chooseGroup(int idGrTovar)
    {
        fmReg->dblcGrTovar->setKeyValue(idGrTovar);
        fmReg->dblcGrTovar->click();
    }
    static void type(QWidget* edit, const QString& text)
    {
        if (auto* e = qobject_cast<QLineEdit*>(edit)) e->selectAll();
        QTest::keyClicks(edit, text);
    }
};

TEST_F(RegWindow, NewGoodsAreCheckedRegisteredShownAndFound)
{
    const int idCust = addClient(me.IdUser, "Альфа");
    addClient(me.IdUser, "Бета");
    open();
    ASSERT_TRUE(fm->tsSales->sbReg->isEnabled());

    // Without a client the card's goods list is closed: no window.
    QTimer::singleShot(0, [] {
        if (!fmReg) return;
        ADD_FAILURE() << "registration opened without a client";
        fmReg->reject();
    });
    fm->pcDown->setCurrentWidget(fm->tsSales);
    fm->tsSales->sbReg->click();
    QCoreApplication::processEvents();

    card(idCust, fm->tsSales);
    const QDateTime today(GetServerDate().date(), QTime(0, 0));
    whenModal([&] {
        ASSERT_TRUE(fmReg);
        EXPECT_EQ(fmReg->windowTitle(), "Регистрация товара");
        EXPECT_EQ(fmReg->pcReg->currentWidget(), fmReg->tsTovar);
        EXPECT_EQ(fmReg->dbcbPriznak1->text(), "Учебный");
        EXPECT_EQ(fmReg->dbcbPriznak2->text(), "Обновление");
        EXPECT_TRUE(TBudilCheck::IsModalBusy());
        fw::Query& s = fmReg->qrySales;
        EXPECT_TRUE(s.isEmpty());

        // A group chosen on the empty list starts a row with the defaults and that group's goods.
        chooseGroup(501);
        EXPECT_EQ(s.state(), fw::DataSetState::Insert);
        EXPECT_EQ(s.fieldByName("DATEREG").asDateTime(), today);
        EXPECT_EQ(s.fieldByName("KOLVO").asInteger(), 1);
        EXPECT_EQ(s.fieldByName("BACK").asString() + s.fieldByName("UCHEB").asString()
                      + s.fieldByName("UPGRADE").asString(), "---");
        EXPECT_TRUE(s.fieldByName("IDTOVAR").isNull());
        EXPECT_EQ(s.fieldByName("IDCUST").asInteger(), idCust);
        EXPECT_EQ(s.fieldByName("IDUSER").asInteger(), me.IdUser);
        EXPECT_EQ(fmReg->dblcTovar->count(), 1);

        // Closing posts first; a refused row keeps the window open.
        dialogs.expectError("Не указан товар!");
        fmReg->accept();
        EXPECT_TRUE(fmReg->isVisible());
        s.fieldByName("IDTOVAR").setAsInteger(601);
        type(fmReg->dbeKolvo, "0");
        dialogs.expectError("Количество не может быть меньше 1!");
        fmReg->accept();
        EXPECT_EQ(s.state(), fw::DataSetState::Insert);
        type(fmReg->dbeKolvo, "2");
        type(fmReg->dbeSerNum, "SN-77");
        fmReg->accept();
    });
    fm->tsSales->sbReg->click();
    EXPECT_TRUE(fmReg.isNull());
    EXPECT_FALSE(TBudilCheck::IsModalBusy());
    EXPECT_EQ(db.selectValue(QString("select Kolvo || '|' || SerNum || '|' || coalesce(idSdelka, 0) || '|' || SummaDP "
                                     "from Sales where idCust = %1").arg(idCust)).asString(),
              "2.000|SN-77|0|0.00");

    // The card's goods list was read again, and the search finds the client by those goods.
    ASSERT_EQ(dmKl->qrySales.recordCount(), 1);
    EXPECT_EQ(dmKl->qrySales.fieldByName("Tovar").asString(), "Принтер А4");
    fm->KlientQuery->dblcZTovar->setKeyValue(601);
    fm->KlientQuery->RunQuery();
    ASSERT_EQ(dmKl->qryCust.recordCount(), 1);
    EXPECT_EQ(dmKl->qryCust.fieldByName("Company").asString(), "Альфа");
    EXPECT_EQ(dialogs.pending(), 0);
}

TEST_F(RegWindow, DealGoodsStayInTheirDealRegisteredOnesCanGo)
{
    const int idCust = addClient(me.IdUser, "Альфа");
    const QList<QPair<QString, fw::Value>> c{{"c", idCust}, {"u", me.IdUser}};
    db.execute("insert into Sdelka (idSdelka, idCust, idUser, Name) values (701, :c, :u, 'Поставка')", c);
    db.execute("insert into Sales (idSale, idCust, idUser, idSdelka, idTovar, Kolvo, SerNum, SummaDP, back) "
               "values (801, :c, :u, 701, 601, 1, 'D-1', 100, '-')", c);
    db.execute("insert into Oplata (idOplata, idSale, idUser, SummaD, SummaR) values (901, 801, :u, 40, 0)",
               {{"u", me.IdUser}});
    db.execute("insert into Sales (idSale, idCust, idUser, idTovar, Kolvo, SerNum, back) "
               "values (802, :c, :u, 602, 1, 'R-1', '-')", c);
    open();
    card(idCust, fm->tsSales);
    ASSERT_TRUE(dmKl->qrySales.locate("idSale", 801));

    whenModal([&] {
        ASSERT_TRUE(fmReg);
        fw::Query& s = fmReg->qrySales;
        EXPECT_EQ(s.recordCount(), 2);
        EXPECT_EQ(s.fieldByName("idSale").asInteger(), 801);   // the card's row

        dialogs.expectError("Этот товар входит в сделку и здесь не удаляется.\rУдалите его на карточке сделки.");
        fmReg->tbDel->click();
        EXPECT_EQ(s.recordCount(), 2);
        s.edit();
        s.fieldByName("NOTE").setAsString("Гарантия");
        s.post();

        // Another group's goods asked for: the row is edited with no goods, and a
        // cancel offers every goods again.
        const int allGoods = fmReg->dblcTovar->count();
        chooseGroup(502);
        EXPECT_EQ(s.state(), fw::DataSetState::Edit);
        EXPECT_TRUE(s.fieldByName("IDTOVAR").isNull());
        s.cancel();
        EXPECT_EQ(s.fieldByName("IDTOVAR").asInteger(), 601);
        EXPECT_TRUE(fmReg->dblcGrTovar->keyValue().isNull());
        EXPECT_EQ(fmReg->dblcTovar->count(), allGoods);
        EXPECT_EQ(fmReg->dblcTovar->text(), "Принтер А4");

        ASSERT_TRUE(s.locate("idSale", 802));
        dialogs.expectConfirm(false, "Удалить товар?");
        fmReg->tbDel->click();
        dialogs.expectConfirm(true, "Удалить товар?");
        fmReg->tbDel->click();
        EXPECT_EQ(s.recordCount(), 1);
        fmReg->reject();
    });
    fm->tsSales->sbReg->click();
    EXPECT_EQ(db.selectValue("select idSdelka || '|' || SummaDP || '|' || SummaDF || '|' || Note from Sales "
                             "where idSale = 801").asString(),
              "701|100.00|40.00|Гарантия");
    EXPECT_EQ(count("select count(*) from Oplata where idSale = 801"), 1);
    EXPECT_EQ(count("select count(*) from Sales where idSale = 802"), 0);
    EXPECT_EQ(dialogs.pending(), 0);

    // A right revoked since the window opened is refused.
    UserRights->DeletePravo(me.IdUser, 1028);
    dialogs.expectError("У Вас нет права регистрировать товар!");
    fm->tsSales->sbReg->click();
}

} // namespace
