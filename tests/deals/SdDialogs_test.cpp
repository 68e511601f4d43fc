#include "SdelkaFixture.h"

#include "controls/CalcEdit.h"
#include "controls/DBCalcEdit.h"
#include "controls/DateEdit.h"
#include "controls/SpeedButton.h"
#include "deals/fmSdOplata.h"
#include "deals/fmSdTovar.h"
#include "deals/fmSdelka.h"
#include "deals/fmSdelkaEnd.h"

#include "widgets/DBControls.h"
#include "widgets/DBLookupCombo.h"
#include "widgets/ScriptedDialogs.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>
#include <memory>

namespace {

using fw::Currency;

Currency Money(const char* text)
{
    return *Currency::parse(text);
}

TSale Line(int id, const char* rp, const char* dp)
{
    return {id, Money(rp), Money(dp), false};
}

// --- the split, without a database

TEST(SdPaymentSplit, PartsAddUpToThePaymentWithTheRemainderOnTheLargestLine)
{
    QList<TOplataPart> parts = SplitOplata({Line(1, "1", "1"), Line(2, "1", "1"), Line(3, "1", "1")},
                                           Money("100"), Money("10"));
    ASSERT_EQ(parts.size(), 3);
    EXPECT_EQ(parts[0].SummaR, Money("33.3334"));   // the first of equals takes the remainder
    EXPECT_EQ(parts[1].SummaR, Money("33.3333"));
    EXPECT_EQ(parts[2].SummaR, Money("33.3333"));
    EXPECT_EQ(parts[0].SummaD + parts[1].SummaD + parts[2].SummaD, Money("10"));

    // Each currency by its own planned sums; the largest line differs per currency.
    parts = SplitOplata({Line(7, "1000", "10"), Line(8, "2000", "5")}, Money("100"), Money("1"));
    EXPECT_EQ(parts[0].IdSale, 7);
    EXPECT_EQ(parts[0].SummaR, Money("33.3333"));
    EXPECT_EQ(parts[1].SummaR, Money("66.6667"));
    EXPECT_EQ(parts[0].SummaD, Money("0.6667"));
    EXPECT_EQ(parts[1].SummaD, Money("0.3333"));

    // At the two decimals the payment columns keep, the remainder is a cent.
    parts = SplitOplata({Line(1, "1", "1"), Line(2, "1", "1"), Line(3, "1", "1")}, Money("100"), Money("0.01"), 2, 2);
    EXPECT_EQ(parts[0].SummaR, Money("33.34"));
    EXPECT_EQ(parts[1].SummaR, Money("33.33"));
    EXPECT_EQ(parts[2].SummaR, Money("33.33"));
    EXPECT_EQ(parts[0].SummaD, Money("0.01"));
    EXPECT_EQ(parts[1].SummaD, Currency());

    // One line takes the whole payment.
    parts = SplitOplata({Line(4, "3000", "100")}, Money("123.45"), Money("4.115"));
    EXPECT_EQ(parts[0].SummaR, Money("123.45"));
    EXPECT_EQ(parts[0].SummaD, Money("4.115"));
}

TEST(SdPaymentSplit, PlannedSumsOfZeroAreRefused)
{
    EXPECT_EQ(refusal([] { SplitOplata({Line(1, "5", "1"), Line(2, "-5", "1")}, Money("1"), Money("1")); }),
              "Плановая стоимость отмеченных товаров равна нулю!");
    EXPECT_EQ(refusal([] { SplitOplata({}, Money("1"), Money("1")); }),
              "Плановая стоимость отмеченных товаров равна нулю!");
}

// --- the dialogs on the deal card

class SdDialogs : public DealCardTest {
protected:
    // The card on its goods and payments page.
    void Open()
    {
        DealCardTest::Open();
        Page(card->tsTovar);
    }
    // Runs f on the dialog once its modal loop is running; a dialog f leaves open is cancelled.
    template <class D>
    static void WhenShown(QPointer<D>& global, std::function<void(D*)> f)
    {
        QTimer::singleShot(0, [&global, f] {
            D* d = global;
            if (!d) {
                ADD_FAILURE() << "the dialog was not shown";
                return;
            }
            d->activateWindow();
            QApplication::setActiveWindow(d);
            f(d);
            if (global && global->isVisible()) global->reject();
        });
    }
    // Picks the item with that text from the combo's list with the mouse.
    static void Pick(fw::DBLookupCombo* combo, const QString& text)
    {
        const int row = combo->findText(text);
        ASSERT_GE(row, 0) << text.toStdString();
        combo->setFocus();
        combo->showPopup();
        QAbstractItemView* list = combo->view();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualRect(list->model()->index(row, combo->modelColumn())).center());
    }
    static QStringList Items(const QListWidget* list)
    {
        QStringList s;
        for (int i = 0; i < list->count(); ++i) s << list->item(i)->text();
        return s;
    }
    Currency DealMoney(const char* column)
    {
        return StoredMoney(QString("select %1 from Sdelka where idSdelka = %2").arg(column).arg(deal));
    }
    Currency SaleMoney(int sale, const char* column)
    {
        return StoredMoney(QString("select %1 from Sales where idSale = %2").arg(column).arg(sale));
    }
};

TEST_F(SdDialogs, GoodsLineIsEditedInPlaceWithThePriceStep)
{
    const int lathe = AddTovarItem("Станок", 100);
    db.execute("insert into GrTovar (idGrTovar, GrTovar) values (5, 'Инструмент')");
    db.execute("insert into Tovar (idTovar, idGrTovar, tovar, price) values (50, 5, 'Фреза', 7)");
    const int sale = AddSale(lathe, 3000, 100, 30);
    Open();

    WhenShown<TfmSdTovar>(fmSdTovar, [&](TfmSdTovar* d) {
        EXPECT_EQ(d->windowTitle(), "Товар");
        EXPECT_EQ(d->lbVal1->text(), "руб");
        EXPECT_EQ(d->dbcbPriznak2->text(), "Апгрейд");
        EXPECT_EQ(d->dblcTovar->text(), "Станок");
        EXPECT_EQ(d->dbcKurs->DecimalPlaces(), 2);   // the rate takes the decimals its column keeps
        EXPECT_EQ(d->dbcKurs->DisplayFormat(), ",0.00");
        // Typing a quantity prices the line with the rate held: V2 = 100 x 2, V1 = V2 x 30.
        d->dbeKolvo->setFocus();
        d->dbeKolvo->selectAll();
        QTest::keyClick(d->dbeKolvo, Qt::Key_2);
        EXPECT_EQ(d->dbcVal2->Value(), Money("200"));
        EXPECT_EQ(d->dbcVal1->Value(), Money("6000"));
        EXPECT_TRUE(d->sbKurs->Down());

        // A group clears the goods item and both sums; OK then refuses.
        Pick(d->dblcGrTovar, "Инструмент");
        EXPECT_EQ(d->dblcTovar->count(), 1);
        EXPECT_TRUE(dmKlSd->qrySales.fieldByName("IDTOVAR").isNull());
        EXPECT_EQ(d->dbcVal1->Value(), Currency());
        dialogs.expectError("Не указан товар!");
        d->accept();
        ASSERT_TRUE(d->isVisible());

        Pick(d->dblcTovar, "Фреза");
        EXPECT_EQ(d->dbcVal2->Value(), Money("14"));
        EXPECT_EQ(d->dbcVal1->Value(), Money("420"));
        d->dbeNote->setFocus();
        QTest::keyClicks(d->dbeNote, "x-1");
        QTest::keyClick(d->dbeNote, Qt::Key_Return);   // Enter is OK
        EXPECT_FALSE(d->isVisible());
    });
    card->tbEditTovar->click();
    EXPECT_TRUE(card->SdelkaChanged);
    EXPECT_EQ(Stored(QString("select idTovar from Sales where idSale = %1").arg(sale)).asInt(), 50);
    EXPECT_EQ(SaleMoney(sale, "KOLVO"), Money("2"));
    EXPECT_EQ(SaleMoney(sale, "SUMMARP"), Money("420"));
    EXPECT_EQ(SaleMoney(sale, "SUMMADP"), Money("14"));
    EXPECT_EQ(Stored(QString("select note from Sales where idSale = %1").arg(sale)).asString(), "x-1");
    EXPECT_EQ(DealMoney("OPLATRP"), Money("420"));
    EXPECT_TRUE(dmKlSd->qryTovar.filter().isEmpty());

    // Esc after "Добавить товар" leaves no new line.
    WhenShown<TfmSdTovar>(fmSdTovar, [](TfmSdTovar* d) {
        Pick(d->dblcTovar, "Станок");
        QTest::keyClick(d, Qt::Key_Escape);
        EXPECT_FALSE(d->isVisible());
    });
    card->tbAddTovar->click();
    EXPECT_EQ(Stored("select count(*) from Sales").asInt(), 1);
    EXPECT_EQ(dmKlSd->qrySales.recordCount(), 1);
}

// The quantity is a calculator edit with three decimals.
TEST_F(SdDialogs, QuantityTakesThreeDecimalsAndTheCalculator)
{
    const int sale = AddSale(AddTovarItem("Кабель", 10), 300, 10, 30);
    Open();
    WhenShown<TfmSdTovar>(fmSdTovar, [&](TfmSdTovar* d) {
        d->activateWindow();
        d->dbeKolvo->setFocus();
        d->dbeKolvo->selectAll();
        QTest::keyClicks(d->dbeKolvo, "1,2345");   // taken, and read half to even at three decimals
        EXPECT_EQ(d->dbeKolvo->Value(), Money("1.234"));
        EXPECT_EQ(d->dbcVal2->Value(), Money("12.34"));
        QTest::keyClick(d->dbeKolvo, Qt::Key_Down, Qt::AltModifier);
        ASSERT_TRUE(d->dbeKolvo->PopupVisible());
        QTest::keyClicks(d->dbeKolvo, "*2=");
        QApplication::processEvents();
        EXPECT_FALSE(d->dbeKolvo->PopupVisible());
        EXPECT_EQ(d->dbeKolvo->text(), "2,468");
        EXPECT_EQ(d->dbcVal2->Value(), Money("24.68"));
        d->accept();
    });
    card->tbEditTovar->click();
    EXPECT_EQ(SaleMoney(sale, "KOLVO"), Money("2.468"));
    EXPECT_EQ(SaleMoney(sale, "SUMMADP"), Money("24.68"));
}

TEST_F(SdDialogs, PaymentIsSplitOverTheCheckedLinesInBothCurrencies)
{
    const int s1 = AddSale(AddTovarItem("Станок", 100), 1000, 10, 100);
    const int s2 = AddSale(AddTovarItem("Дрель", 50), 1000, 10, 100);
    const int s3 = AddSale(AddTovarItem("Пила", 50), 1000, 10, 100);
    AddSale(AddTovarItem("Гарантия", 0), 0, 0, 0);
    Open();

    WhenShown<TfmSdOplata>(fmSdOplata, [&](TfmSdOplata* d) {
        EXPECT_EQ(Items(d->cblTovar), QStringList({"Станок", "Дрель", "Пила"}));   // no line with a zero plan
        EXPECT_EQ(d->DateOpl(), Today().date());
        EXPECT_EQ(d->dblcUser->text(), "Иванов");
        d->SetValues(Money("100"), Money("0"), Money("100"));
        dialogs.expectError("Не правильно указана сумма!");
        d->accept();
        d->SetValues(Money("100"), Money("1"), Money("100"));
        dialogs.expectError("Не отмечены товары!");
        d->accept();
        d->sbCheckAll->Click();
        EXPECT_EQ(d->CheckedSales().size(), 3);
        d->accept();
        EXPECT_FALSE(d->isVisible());
    });
    card->tbAddOplata->click();
    EXPECT_EQ(dialogs.pending(), 0);

    // The stored parts add up to the payment: the first line takes the cent.
    EXPECT_EQ(SaleMoney(s1, "SUMMARF"), Money("33.34"));
    EXPECT_EQ(SaleMoney(s2, "SUMMARF"), Money("33.33"));
    EXPECT_EQ(SaleMoney(s3, "SUMMARF"), Money("33.33"));
    EXPECT_EQ(SaleMoney(s1, "SUMMADF"), Money("0.34"));
    EXPECT_EQ(SaleMoney(s3, "SUMMADF"), Money("0.33"));
    EXPECT_EQ(DealMoney("OPLATRF"), Money("100"));
    EXPECT_EQ(DealMoney("OPLATDF"), Money("1"));
    EXPECT_EQ(Stored(QString("select count(*) from Oplata where kurs = 100 and access = '+' and idSale in (%1, %2, %3)")
                         .arg(s1).arg(s2).arg(s3)).asInt(), 3);
    // The card shows the first line with its own payment and the new paid sums.
    EXPECT_EQ(dmKlSd->qrySales.fieldByName("IDSALE").asInteger(), s1);
    EXPECT_EQ(dmKlSd->qrySales.fieldByName("SUMMARF").asCurrency(), Money("33.34"));
    EXPECT_EQ(dmKlSd->qryOplata.recordCount(), 1);
    EXPECT_TRUE(card->SdelkaChanged);

    // A department filters the users; checking one line puts everything on it.
    WhenShown<TfmSdOplata>(fmSdOplata, [&](TfmSdOplata* d) {
        Pick(d->dblcOtdel, "Администрация");
        EXPECT_EQ(d->IdUser(), -1);
        dialogs.expectError("Не указана Фамилия!");
        d->accept();
        Pick(d->dblcUser, "Администратор");
        d->SetValues(Money("300"), Money("3"), Money("100"));
        d->cblTovar->item(1)->setCheckState(Qt::Checked);
        d->accept();
    });
    card->tbAddOplata->click();
    EXPECT_EQ(SaleMoney(s2, "SUMMARF"), Money("333.33"));
    EXPECT_EQ(Stored(QString("select idUser from Oplata where idSale = %1 and summaR = 300").arg(s2)).asInt(), 0);
    EXPECT_TRUE(dmKlSd->qryUser.filter().isEmpty());
}

TEST_F(SdDialogs, AFailedPaymentOfASplitWritesNothing)
{
    const int s1 = AddSale(AddTovarItem("Станок", 100), 3000, 100, 30);
    const int s2 = AddSale(AddTovarItem("Дрель", 50), 1500, 50, 30);
    db.execute("create exception NO_PAYMENT 'Оплата запрещена'");
    db.execute(QString("create trigger OPLATA_REFUSE for OPLATA before insert as begin "
                       "if (new.idSale = %1) then exception NO_PAYMENT; end").arg(s2));
    Open();

    WhenShown<TfmSdOplata>(fmSdOplata, [&](TfmSdOplata* d) {
        d->SetValues(Money("900"), Money("30"), Money("30"));
        d->sbCheckAll->Click();
        dialogs.expectError();
        d->accept();
        EXPECT_TRUE(d->isVisible());   // the entry stays for another try
        EXPECT_EQ(d->Val1(), Money("900"));
    });
    card->tbAddOplata->click();
    ASSERT_EQ(dialogs.shown().size(), 1);
    EXPECT_TRUE(dialogs.shown()[0].text.contains("NO_PAYMENT") || dialogs.shown()[0].text.contains("Оплата"));
    EXPECT_EQ(Stored(QString("select count(*) from Oplata where idSale in (%1, %2)").arg(s1).arg(s2)).asInt(), 0);
    EXPECT_EQ(SaleMoney(s1, "SUMMARF"), Currency());
    EXPECT_EQ(DealMoney("OPLATRF"), Currency());
    EXPECT_EQ(dmKlSd->qryOplata.recordCount(), 0);
    EXPECT_FALSE(dm->db.inTransaction());
}

TEST_F(SdDialogs, AnExistingPaymentIsChangedOnItsOwnLine)
{
    const int s1 = AddSale(AddTovarItem("Станок", 100), 3000, 100, 30);
    const int s2 = AddSale(AddTovarItem("Дрель", 50), 1500, 50, 30);
    Open();
    dialogs.expectError("Список оплат пуст!");
    card->tbEditOplata->click();

    ASSERT_TRUE(dmKlSd->qrySales.locate("IDSALE", s2));
    card->AddOplata(s2, me.IdUser, Today().addDays(-3), Money("600"), Money("20"), Money("30"));
    card->RefreshSales();
    ASSERT_EQ(dmKlSd->qryOplata.recordCount(), 1);

    WhenShown<TfmSdOplata>(fmSdOplata, [&](TfmSdOplata* d) {
        EXPECT_EQ(Items(d->cblTovar), QStringList({"Станок", "Дрель"}));
        EXPECT_EQ(d->cblTovar->item(1)->checkState(), Qt::Checked);
        EXPECT_EQ(d->cblTovar->item(0)->checkState(), Qt::Unchecked);
        EXPECT_FALSE(d->cblTovar->isEnabled());
        EXPECT_FALSE(d->sbCheckAll->isEnabled());
        EXPECT_EQ(d->Val1(), Money("600"));
        EXPECT_EQ(d->DateOpl(), Today().addDays(-3).date());
        d->SetIdUser(colleague.IdUser);   // names repeat over the suite's tests
        // Typing V1 with V2 held recomputes the rate: 900 / 20.
        d->ceVal1->setFocus();
        d->ceVal1->selectAll();
        QTest::keyClicks(d->ceVal1, "900");
        EXPECT_EQ(d->Kurs(), Money("45"));
        d->SetValues(Money("750"), Money("25"), Money("30"));
        d->accept();
    });
    card->tbEditOplata->click();
    const QString payment = QString(" from Oplata where idSale = %1").arg(s2);
    EXPECT_EQ(Stored("select idUser" + payment).asInt(), colleague.IdUser);
    EXPECT_EQ(SaleMoney(s2, "SUMMARF"), Money("750"));
    EXPECT_EQ(SaleMoney(s1, "SUMMARF"), Currency());
    EXPECT_EQ(DealMoney("OPLATDF"), Money("25"));
    EXPECT_EQ(dmKlSd->qrySales.fieldByName("IDSALE").asInteger(), s2);
    EXPECT_TRUE(dmKlSd->SalesLinked);

    // Cancelled: the payment keeps its values.
    WhenShown<TfmSdOplata>(fmSdOplata, [](TfmSdOplata* d) { d->SetValues(Money("1"), Money("1"), Money("1")); });
    card->tbEditOplata->click();
    EXPECT_EQ(dmKlSd->qryOplata.state(), fw::DataSetState::Browse);
    EXPECT_EQ(dmKlSd->qryOplata.fieldByName("SUMMAR").asCurrency(), Money("750"));
    EXPECT_EQ(StoredMoney("select summaR" + payment), Money("750"));
}

// Rates are kept with two decimals: what the dialogs take and show is what is
// stored, and the sums follow the rate as stored. Embedded and on the server.
class SdRates : public testing_support::OnServerOrNot<SdDialogs> {
protected:
    static void Type(TCustomNumEdit* e, const char* text)
    {
        e->setFocus();
        e->selectAll();
        QTest::keyClicks(e, text);
    }
    static void Paste(TCustomNumEdit* e, const char* text)
    {
        e->setFocus();
        e->selectAll();
        QApplication::clipboard()->setText(text);
        QTest::keyClick(e, Qt::Key_V, Qt::ControlModifier);
    }
};

TEST_P(SdRates, AGoodsLineKeepsTheRateItShowsWithItsSum)
{
    const int sale = AddSale(AddTovarItem("Станок", 100), 0, 0, 0);
    Open();
    WhenShown<TfmSdTovar>(fmSdTovar, [&](TfmSdTovar* d) {
        Type(d->dbcVal2, "33,33");
        // Typed or pasted, the rate is the one that will be stored, and V1 follows it.
        for (const auto& enter : {Type, Paste}) {
            enter(d->dbcKurs, "27,3456");
            EXPECT_EQ(d->dbcKurs->Value(), Money("27.35"));
            EXPECT_EQ(d->dbcVal1->Value(), Money("911.58"));   // 33.33 x 27.35 = 911.5755
        }
        d->accept();
    });
    card->tbEditTovar->click();
    EXPECT_EQ(SaleMoney(sale, "KURS"), Money("27.35"));
    EXPECT_EQ(SaleMoney(sale, "SUMMARP"), Money("911.58"));
    EXPECT_EQ(SaleMoney(sale, "SUMMADP"), Money("33.33"));

    // Read again, the grid and the dialog show the stored rate, and V1 = V2 x K as stored.
    card->RefreshSales();
    EXPECT_EQ(dmKlSd->qrySales.fieldByName("KURS").displayText(), "27.35");
    WhenShown<TfmSdTovar>(fmSdTovar, [&](TfmSdTovar* d) {
        EXPECT_EQ(d->dbcKurs->DisplayText(), "27,35");
        EXPECT_EQ(d->dbcVal1->Value(), (d->dbcVal2->Value() * d->dbcKurs->Value()).rounded(2));
    });
    card->tbEditTovar->click();
}

TEST_P(SdRates, APaymentKeepsTheRateItShowsWithItsSum)
{
    const int sale = AddSale(AddTovarItem("Станок", 100), 1000, 40, 25);
    Open();
    WhenShown<TfmSdOplata>(fmSdOplata, [&](TfmSdOplata* d) {
        Type(d->ceVal2, "33,33");
        Type(d->ceKurs, "27,3456");
        EXPECT_EQ(d->Kurs(), Money("27.35"));
        EXPECT_EQ(d->Val1(), Money("911.58"));
        d->sbCheckAll->Click();
        d->accept();
    });
    card->tbAddOplata->click();
    const QString payment = QString(" from Oplata where idSale = %1").arg(sale);
    EXPECT_EQ(StoredMoney("select kurs" + payment), Money("27.35"));
    EXPECT_EQ(StoredMoney("select summaR" + payment), Money("911.58"));
    EXPECT_EQ(StoredMoney("select summaD" + payment), Money("33.33"));
    EXPECT_EQ(dmKlSd->qryOplata.fieldByName("KURS").displayText(), "27.35");

    WhenShown<TfmSdOplata>(fmSdOplata, [&](TfmSdOplata* d) {
        EXPECT_EQ(d->ceKurs->DisplayText(), "27,35");
        EXPECT_EQ(d->Val1(), (d->Val2() * d->Kurs()).rounded(2));
        Paste(d->ceKurs, "27.344");
        d->accept();
    });
    card->tbEditOplata->click();
    EXPECT_EQ(StoredMoney("select kurs" + payment), Money("27.34"));
    EXPECT_EQ(StoredMoney("select summaR" + payment), Money("911.24"));   // 33.33 x 27.34 = 911.2422
}

INSTANTIATE_TEST_SUITE_P(Embedded, SdRates, testing::Values(false));
INSTANTIATE_TEST_SUITE_P(OnServer, SdRates, testing::Values(true));

TEST_F(SdDialogs, ClosingTiesStatusReasonStageAndEndDate)
{
    db.execute("insert into SdelkaType (idSdelkaType, SdelkaType) values (1, 'Поставка')");
    db.execute("insert into Otkaz (idOtkaz, idSdelkaType, Otkaz) values (11, 0, 'Дорого')");
    db.execute("insert into Otkaz (idOtkaz, idSdelkaType, Otkaz) values (12, 1, 'Нет бюджета')");
    db.execute("insert into Etap (idEtap, Etap) values (21, 'Презентация')");
    const auto deal = [&](const char* column) {
        return Stored(QString("select %1 from Sdelka where idSdelka = %2").arg(column).arg(this->deal));
    };
    Open();
    card->pcMain->setCurrentWidget(card->tsAbout);

    // Refused without stages: a reason is enough.
    WhenShown<TfmSdelkaEnd>(fmSdelkaEnd, [&](TfmSdelkaEnd* d) {
        EXPECT_EQ(d->windowTitle(), "Завершение сделки");
        EXPECT_FALSE(d->dblcOtkaz->isEnabled());
        EXPECT_EQ(d->dblcOtkaz->count(), 2);   // the reasons of type 0
        Pick(d->dblcStatus, "Отказ");
        EXPECT_TRUE(d->dblcOtkaz->isEnabled());
        dialogs.expectError("Не указана причина отказа!");
        d->accept();
        Pick(d->dblcOtkaz, "Дорого");
        d->accept();
    });
    card->tbOtkaz->click();
    EXPECT_EQ(deal("idSdelka_st").asInt(), 3);
    EXPECT_EQ(deal("idOtkaz").asInt(), 11);
    EXPECT_TRUE(deal("idEtap").isNull());
    EXPECT_EQ(deal("date_end").asDateTime(), Today());

    // With stages the refusal stage is needed; the stage list shows the stage names.
    db.execute(QString("insert into Etaps (idEtaps, idSdelka, idEtap) values (1, %1, 21)").arg(this->deal));
    dmKlSd->qryEtaps.close();
    db.execute(QString("update Sdelka set date_end = null where idSdelka = %1").arg(this->deal));
    dmKlSd->qrySdelka.close();
    dmKlSd->qrySdelka.open();
    WhenShown<TfmSdelkaEnd>(fmSdelkaEnd, [&](TfmSdelkaEnd* d) {
        dialogs.expectError("Не указан этап отказа!");
        d->accept();
        Pick(d->dblcEtap, "Презентация");
        d->accept();
    });
    card->tbOtkaz->click();
    EXPECT_EQ(deal("idEtap").asInt(), 21);
    db.execute(QString("update Sdelka set date_end = '01.02.2024' where idSdelka = %1").arg(this->deal));
    dmKlSd->qrySdelka.close();
    dmKlSd->qrySdelka.open();

    // Another closed status clears the refusal and keeps the end date.
    WhenShown<TfmSdelkaEnd>(fmSdelkaEnd, [&](TfmSdelkaEnd* d) {
        Pick(d->dblcStatus, "Завершена");
        EXPECT_FALSE(d->dblcEtap->isEnabled());
        d->accept();
    });
    card->tbOtkaz->click();
    EXPECT_EQ(deal("idSdelka_st").asInt(), 2);
    EXPECT_TRUE(deal("idOtkaz").isNull());
    EXPECT_TRUE(deal("idEtap").isNull());
    EXPECT_EQ(deal("date_end").asDateTime().date(), QDate(2024, 2, 1));

    // Cancel drops the typed comment; reopening the deal clears the end date.
    WhenShown<TfmSdelkaEnd>(fmSdelkaEnd, [&](TfmSdelkaEnd* d) {
        d->dbmNote->setFocus();
        QTest::keyClicks(d->dbmNote, "lost");
        QTest::keyClick(d, Qt::Key_Escape);
    });
    card->tbOtkaz->click();
    EXPECT_TRUE(deal("note").isNull());
    WhenShown<TfmSdelkaEnd>(fmSdelkaEnd, [&](TfmSdelkaEnd* d) {
        Pick(d->dblcStatus, "Открыта");
        d->accept();
    });
    card->tbOtkaz->click();
    EXPECT_EQ(deal("idSdelka_st").asInt(), 1);
    EXPECT_TRUE(deal("date_end").isNull());

    // A deal of type 1 is offered the reasons of type 1 only.
    db.execute(QString("update Sdelka set idSdelkaType = 1 where idSdelka = %1").arg(this->deal));
    dmKlSd->qrySdelka.close();
    dmKlSd->qrySdelka.open();
    WhenShown<TfmSdelkaEnd>(fmSdelkaEnd, [](TfmSdelkaEnd* d) {
        EXPECT_EQ(d->dblcOtkaz->count(), 1);
        EXPECT_EQ(d->dblcOtkaz->itemText(0), "Нет бюджета");
    });
    card->tbOtkaz->click();
}

} // namespace
