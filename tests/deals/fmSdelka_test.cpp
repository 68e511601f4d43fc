#include "SdelkaFixture.h"

#include "controls/CalcEdit.h"
#include "controls/DBDateEdit.h"
#include "controls/SpeedButton.h"
#include "core/fmSelectItem.h"
#include "deals/fmSdTovar.h"
#include "deals/fmSdelka.h"
#include "deals/fmSdelkaEnd.h"
#include "db/NumberFormat.h"

#include "widgets/DBControls.h"
#include "widgets/DBGrid.h"
#include "widgets/DBLookupCombo.h"
#include "widgets/ScriptedDialogs.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <memory>

namespace {

using fw::Currency;

Currency Money(const char* text)
{
    return *Currency::parse(text);
}

// --- the money triple, without widgets

TEST(MoneyTriple, TheOtherPartnersFollowTheHold)
{
    // V2 and the rate give V1 unless V1 or V2 is held; 0 where a divisor is 0.
    Currency v1, v2 = Money("12.5"), k = Money("2.5");
    RecalcValutaValues(TValuta::V2, TValuta::Kurs, v1, v2, k);
    EXPECT_EQ(v1, Money("31.25"));
    k = Money("5");
    RecalcValutaValues(TValuta::Kurs, TValuta::V1, v1, v2, k);
    EXPECT_EQ(v2, Money("6.25"));
    v2 = Money("0");
    RecalcValutaValues(TValuta::V2, TValuta::V1, v1, v2, k);
    EXPECT_EQ(k, Currency());
    v1 = Money("2"), v2 = Money("3");
    RecalcValutaValues(TValuta::V1, TValuta::V2, v1, v2, k);
    EXPECT_EQ(k, Money("0.6667"));
}

TEST(MoneyTriple, EnteringAnEditMovesTheHold)
{
    const Currency zero, one = Money("1");
    EXPECT_EQ(ValutaEnterHold(TValuta::V1, TValuta::V2, one, zero, one), TValuta::Kurs);
    EXPECT_EQ(ValutaEnterHold(TValuta::V1, TValuta::V1, one, one, one), TValuta::V2);
    EXPECT_EQ(ValutaEnterHold(TValuta::V2, TValuta::V2, one, one, zero), TValuta::V1);
    EXPECT_EQ(ValutaEnterHold(TValuta::V2, TValuta::V2, one, one, one), TValuta::Kurs);
    EXPECT_EQ(ValutaEnterHold(TValuta::Kurs, TValuta::Kurs, zero, one, one), TValuta::V2);
    EXPECT_EQ(ValutaEnterHold(TValuta::Kurs, TValuta::Kurs, one, one, one), TValuta::V1);
    EXPECT_EQ(ValutaEnterHold(TValuta::Kurs, TValuta::V2, one, one, one), TValuta::V2);
}

// The three edits and hold buttons of a dialog.
struct TripleWidgets {
    QWidget window;
    TBrCalcEdit* e[3];
    TBrSpeedButton* h[3];
    TripleWidgets()
    {
        for (int i = 0; i < 3; ++i) {
            e[i] = new TBrCalcEdit(&window);
            e[i]->SetDecimalPlaces(4);
            e[i]->move(0, i * 30);
            h[i] = new TBrSpeedButton(&window);
            h[i]->SetGroupIndex(1);
            h[i]->move(200, i * 30);
        }
        h[1]->SetDown(true);
    }
    void set(const char* v1, const char* v2, const char* k)
    {
        e[0]->SetValue(Money(v1));
        e[1]->SetValue(Money(v2));
        e[2]->SetValue(Money(k));
    }
    void recalc(int changed) { TfmSdelka::RecalcValuta(e[changed], e[0], e[1], e[2], h[0], h[1], h[2]); }
    void enter(int entered) { TfmSdelka::ValutaEnter(e[entered], e[0], e[1], e[2], h[0], h[1], h[2]); }
    int held() const { return h[0]->Down() ? 0 : h[1]->Down() ? 1 : 2; }
};

TEST(MoneyTripleWidgets, EditsFollowTheRule)
{
    TripleWidgets t;
    t.set("3300", "100", "30");
    t.recalc(0);
    EXPECT_EQ(t.e[2]->Value(), Money("33"));

    t.set("3300", "100", "30");
    t.h[2]->SetDown(true);
    EXPECT_FALSE(t.h[1]->Down());
    t.recalc(0);
    EXPECT_EQ(t.e[1]->Value(), Money("110"));

    t.h[1]->SetDown(true);
    t.set("10", "3", "0");
    t.recalc(0);
    EXPECT_EQ(t.e[2]->Value(), Money("3.3333"));

    // V2 of 0: entering V1 holds the rate, so V1 / K gives V2 (0 with K 0 too).
    t.h[1]->SetDown(true);
    t.set("0", "0", "20");
    t.enter(0);
    EXPECT_EQ(t.held(), 2);
    t.e[0]->SetValue(Money("500"));
    t.recalc(0);
    EXPECT_EQ(t.e[1]->Value(), Money("25"));
    t.set("500", "0", "0");
    t.recalc(0);
    EXPECT_EQ(t.e[1]->Value(), Currency());
}

TEST(MoneyTripleWidgets, HoldOfTheFocusedEditMovesTheFocusOn)
{
    TripleWidgets t;
    t.window.show();
    t.window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&t.window));
    for (int i = 0; i < 3; ++i) {
        t.e[i]->setFocus();
        t.h[i]->SetDown(true);
        TfmSdelka::HoldClick(t.h[i], t.e[0], t.e[1], t.e[2], t.h[0], t.h[1], t.h[2]);
        EXPECT_TRUE(t.e[(i + 1) % 3]->hasFocus()) << i;
    }
    // The hold of another edit leaves the focus where it is.
    t.e[0]->setFocus();
    TfmSdelka::HoldClick(t.h[2], t.e[0], t.e[1], t.e[2], t.h[0], t.h[1], t.h[2]);
    EXPECT_TRUE(t.e[0]->hasFocus());
}

// --- the card over a database

class DealCard : public DealCardTest {
protected:
    QString DealValue(const char* column)
    {
        return Stored(QString("select %1 from Sdelka where idSdelka = %2").arg(column).arg(deal)).asString();
    }
};

TEST_F(DealCard, OpensOnTheDealWithCurrencyTitles)
{
    Open();
    EXPECT_EQ(fmSdelka.data(), card.get());
    EXPECT_EQ(card->windowTitle(), "Сделка");
    EXPECT_EQ(card->pcMain->currentWidget(), card->tsAbout);
    EXPECT_EQ(card->pcMain->tabText(2), "Товар и оплата");
    EXPECT_EQ(card->dbedName->text(), "Новая сделка");
    EXPECT_EQ(card->dblcStatus->text(), "Открыта");
    EXPECT_FALSE(card->dblcStatus->isEnabled());
    EXPECT_EQ(card->lbValuta1->text(), "руб");
    EXPECT_EQ(card->lbValuta2->text(), "USD");
    EXPECT_EQ(card->dbgSales->columnTitle(2), "Товар руб (план)");
    EXPECT_EQ(card->dbgSales->columnTitle(5), "Товар USD (факт)");
    EXPECT_EQ(card->dbgSales->columnTitle(8), "Учебный");
    EXPECT_EQ(card->dbgOplata->columnTitle(1), "руб");
    // Rates show the two decimals they are stored with.
    EXPECT_EQ(dmKlSd->qrySales.fieldByName("KURS").displayFormat(), ",0.00");
    EXPECT_EQ(dmKlSd->qryOplata.fieldByName("KURS").displayFormat(), ",0.00");
    EXPECT_TRUE(dmKlSd->SalesLinked);
    // Only the administrator moves the period.
    EXPECT_TRUE(card->dbdeSdBegin->ReadOnly());
    EXPECT_TRUE(card->dbdeSdEnd->ReadOnly());
    card.reset();
    EXPECT_TRUE(fmSdelka.isNull());

    CurrentUser.IdUser = 0;
    Open();
    EXPECT_FALSE(card->dbdeSdBegin->ReadOnly());
    EXPECT_FALSE(card->dbdeSdEnd->ReadOnly());
}

// The period of a user who may not change it looks read-only: the window's colour behind
// the dates and a greyed calendar button; typing and the button change nothing. The
// administrator's period looks and works as any date edit.
TEST_F(DealCard, PeriodLooksReadOnlyUnlessTheUserMayChangeIt)
{
    const auto background = [](QWidget* w) { return w->grab().toImage().pixelColor(w->width() / 2, 3); };
    for (const int user : {CurrentUser.IdUser, 0}) {
        CurrentUser.IdUser = user;
        Open();
        card->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(card.get()));
        const bool admin = user == 0;
        const QPalette pal = card->palette();
        for (TDBDateEdit* e : {card->dbdeSdBegin, card->dbdeSdEnd}) {
            EXPECT_EQ(background(e), pal.color(admin ? QPalette::Base : QPalette::Window)) << user;
            EXPECT_EQ(e->Button()->isEnabled(), admin);
            EXPECT_EQ(background(card->dbedSchetDate), pal.color(QPalette::Base));
        }
        if (!admin) {
            if (const QString dir = qEnvironmentVariable("BRONTAL_SHOTS"); !dir.isEmpty())
                card->grab().save(QDir(dir).filePath("deal-period-read-only.png"));
        }
        TDBDateEdit* begin = card->dbdeSdBegin;
        const QString before = begin->text();
        QTest::mouseClick(begin->Button(), Qt::LeftButton);
        EXPECT_EQ(begin->PopupVisible(), admin);
        if (begin->PopupVisible()) QTest::keyClick(begin, Qt::Key_Escape);
        QTest::mouseClick(begin, Qt::LeftButton, {}, QPoint(4, begin->height() / 2));
        begin->selectAll();
        QTest::keyClicks(begin, "07052024");
        if (admin) {
            EXPECT_EQ(begin->text(), "07.05.2024");
        } else {
            EXPECT_EQ(begin->text(), before);
        }
        card.reset();
    }
}

TEST_F(DealCard, ClosingPostsTheTypedNameAndClosesTheDeal)
{
    Open();
    card->activateWindow();
    card->dbedName->setFocus();
    card->dbedName->selectAll();
    QTest::keyClicks(card->dbedName, "Big order");
    EXPECT_EQ(dmKlSd->qrySdelka.state(), fw::DataSetState::Edit);
    card->btnOK->click();
    EXPECT_EQ(card->result(), QDialog::Accepted);
    EXPECT_EQ(DealValue("NAME"), "Big order");
    for (fw::Query* q : {&dmKlSd->qrySdelka, &dmKlSd->qryEtaps, &dmKlSd->qrySales, &dmKlSd->qryOplata})
        EXPECT_FALSE(q->active()) << q->objectName().toStdString();
    // The module stays with its lists open between cards.
    EXPECT_TRUE(dmKlSd->qryPrichina.active());
}

TEST_F(DealCard, ARefusedPendingEditKeepsTheCardOpen)
{
    Open();
    Page(card->tsEtaps);
    dmKlSd->qryEtaps.append();   // a stage without its kind cannot be written
    dmKlSd->qryEtaps.fieldByName("NOTE").setAsString("x");
    dialogs.expectError("Не указан этап!");
    card->btnOK->click();
    EXPECT_TRUE(card->isVisible());
    EXPECT_TRUE(dmKlSd->qrySdelka.active());
    dmKlSd->qryEtaps.cancel();
    card->btnOK->click();
    EXPECT_FALSE(card->isVisible());
}

TEST_F(DealCard, SecondReasonOutsideTheFirstBecomesZero)
{
    db.execute("insert into Prichina (idPrichina, prichina) values (1, 'Реклама')");
    db.execute("insert into Prichina (idPrichina, prichina) values (2, 'Звонок')");
    db.execute("insert into Prichina2 (idPrichina2, idPrichina, prichina2) values (11, 1, 'Газета')");
    db.execute("insert into Prichina2 (idPrichina2, idPrichina, prichina2) values (12, 1, 'Радио')");
    db.execute("insert into Prichina2 (idPrichina2, idPrichina, prichina2) values (21, 2, 'Входящий')");
    db.execute(QString("update Sdelka set idPrichina = 1, idPrichina2 = 12 where idSdelka = %1").arg(deal));
    dmKlSd->qryPrichina.close();
    dmKlSd->qryPrichina.open();
    dmKlSd->qryPrichina2.close();
    dmKlSd->qryPrichina2.open();
    Open();
    fw::Query& d = dmKlSd->qrySdelka;
    EXPECT_EQ(d.state(), fw::DataSetState::Browse);   // its second reason belongs to the first
    EXPECT_EQ(card->dblcPrichina2->text(), "Радио");
    EXPECT_EQ(dmKlSd->qryPrichina2.recordCount(), 2);

    d.edit();
    d.fieldByName("IDPRICHINA").setAsInteger(2);
    card->dblcPrichina->click();
    EXPECT_EQ(d.fieldByName("IDPRICHINA2").asInteger(), 0);
    EXPECT_EQ(dmKlSd->qryPrichina2.recordCount(), 1);

    d.fieldByName("IDPRICHINA2").setAsInteger(21);
    card->dblcPrichina->click();
    EXPECT_EQ(d.fieldByName("IDPRICHINA2").asInteger(), 21);

    // A cancel of the deal row brings the list back to the stored first reason.
    d.cancel();
    EXPECT_EQ(dmKlSd->qryPrichina2.recordCount(), 2);
    EXPECT_EQ(card->dblcPrichina2->text(), "Радио");
}

TEST_F(DealCard, EscInTheContractComboUnlinksTheContract)
{
    db.execute(QString("insert into Dog (idDog, idCust, idUser, dogNumber) values (5, %1, %2, 'Д-5')")
                   .arg(idCust)
                   .arg(me.IdUser));
    db.execute(QString("update Sdelka set idDog = 5 where idSdelka = %1").arg(deal));
    Open();
    EXPECT_EQ(card->dblcDog->text(), "Д-5");
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(card->dblcDog, &esc);
    EXPECT_EQ(dmKlSd->qrySdelka.state(), fw::DataSetState::Edit);
    EXPECT_TRUE(dmKlSd->qrySdelka.fieldByName("IDDOG").isNull());
    card->btnOK->click();
    EXPECT_EQ(DealValue("IDDOG"), "");
}

TEST_F(DealCard, AddsAStageAndCopiesItsNoteToTheHistory)
{
    AddEtapKind(7, "Переговоры");
    Open();
    Page(card->tsEtaps);
    EXPECT_TRUE(dmKlSd->qryEtaps.active());
    EXPECT_EQ(refusal([&] { card->tbEtapToHistClick(); }), "Нет этапов!");

    QTimer::singleShot(0, [] {
        ASSERT_TRUE(fmSelectItem);
        EXPECT_EQ(fmSelectItem->windowTitle(), "Выбор этапа");
        const auto items = fmSelectItem->lb->findItems("Переговоры", Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1);
        fmSelectItem->lb->setCurrentItem(items.first());
        fmSelectItem->btnOK->click();
    });
    card->tbAddEtap->click();
    fw::Query& e = dmKlSd->qryEtaps;
    ASSERT_EQ(e.recordCount(), 1);
    EXPECT_EQ(e.state(), fw::DataSetState::Browse);
    EXPECT_EQ(Stored(QString("select idEtap from Etaps where idSdelka = %1").arg(deal)).asInt(), 7);
    EXPECT_EQ(e.fieldByName("Etap").asString(), "Переговоры");
    EXPECT_TRUE(e.fieldByName("DATEPLAN").isNull());

    // The ellipsis of a date column puts today in.
    card->dbgEtaps->setSelectedField("DATEPLAN");
    card->dbgEtapsEditButtonClick();
    EXPECT_EQ(e.fieldByName("DATEPLAN").asDateTime(), Today());

    EXPECT_EQ(refusal([&] { card->tbEtapToHistClick(); }), "Комментарий по данному этапу пуст!");
    EXPECT_EQ(e.state(), fw::DataSetState::Browse);   // the pending date was posted first
    EXPECT_EQ(Stored(QString("select count(*) from History where idCust = %1").arg(idCust)).asInt(), 0);

    e.edit();
    e.fieldByName("NOTE").setAsString("Клиент просит скидку");
    dialogs.expectInformation("Заметка в историю добавлена");
    card->tbEtapToHistClick();
    EXPECT_EQ(Stored(QString("select note from History where idCust = %1").arg(idCust)).asString(), "Клиент просит скидку");
}

TEST_F(DealCard, FirstPageRereadsTheTotalsOnlyAfterAChange)
{
    const int tovar = AddTovarItem("Станок", 100);
    Open();
    Page(card->tsTovar);
    AddSale(tovar, 3000, 100, 30);
    const int second = AddSale(tovar, 600, 20, 30);
    card->SdelkaChanged = true;   // as the goods-line dialog's OK leaves it
    Page(card->tsAbout);
    EXPECT_FALSE(card->SdelkaChanged);
    EXPECT_EQ(dmKlSd->qrySdelka.fieldByName("OPLATRP").asCurrency(), Currency::fromInt(3600));
    EXPECT_EQ(card->dbeOplatRP->text(), fw::formatFloat(",0.00", Currency::fromInt(3600)));

    // A change behind the card's back is not reread without a change of the card's own.
    db.execute(QString("update Sales set summarp = 1 where idSale = %1").arg(second));
    Page(card->tsTovar);
    Page(card->tsAbout);
    EXPECT_EQ(dmKlSd->qrySdelka.fieldByName("OPLATRP").asCurrency(), Currency::fromInt(3600));

    // Deleting a goods line marks the deal changed.
    Page(card->tsTovar);
    ASSERT_TRUE(dmKlSd->qrySales.locate("IDSALE", second));
    dialogs.expectConfirm(true, "Удалить?");
    card->tbDelTovar->click();
    EXPECT_TRUE(card->SdelkaChanged);
    Page(card->tsAbout);
    EXPECT_EQ(dmKlSd->qrySdelka.fieldByName("OPLATRP").asCurrency(), Currency::fromInt(3000));
}

TEST_F(DealCard, PaymentsAreAddedOnTheLineAndDeletedWithARefresh)
{
    const int tovar = AddTovarItem("Станок", 100);
    const int sale = AddSale(tovar, 3000, 100, 30);
    Open();
    Page(card->tsTovar);
    ASSERT_TRUE(dmKlSd->qrySales.locate("IDSALE", sale));
    card->AddOplata(sale, colleague.IdUser, Today(), Money("1500"), Money("50"), Money("30"));
    EXPECT_EQ(Stored(QString("select idUser from Oplata where idSale = %1").arg(sale)).asInt(), colleague.IdUser);
    EXPECT_EQ(Stored(QString("select access from Oplata where idSale = %1").arg(sale)).asString(), "+");
    EXPECT_EQ(Stored(QString("select dateCr from Oplata where idSale = %1").arg(sale)).asDateTime(), Today());

    card->RefreshSales();
    EXPECT_EQ(dmKlSd->qrySales.fieldByName("IDSALE").asInteger(), sale);
    EXPECT_EQ(dmKlSd->qrySales.fieldByName("SUMMARF").asCurrency(), Money("1500"));
    EXPECT_EQ(dmKlSd->qryOplata.recordCount(), 1);
    EXPECT_EQ(dmKlSd->qryOplata.fieldByName("User").asString(), "Петров");
    card->SdelkaChanged = false;

    dialogs.expectConfirm(true, "Удалить?");
    card->tbDelOplata->click();
    EXPECT_TRUE(card->SdelkaChanged);
    EXPECT_EQ(dmKlSd->qrySales.fieldByName("SUMMARF").asCurrency(), Currency());
    EXPECT_EQ(dmKlSd->qryOplata.recordCount(), 0);
}

TEST_F(DealCard, GoodsLineAndClosingDialogsWorkOnTheCardsRows)
{
    const int tovar = AddTovarItem("Станок", 100);
    Open();
    Page(card->tsTovar);
    fw::Query& s = dmKlSd->qrySales;

    // Cancelled: no new line, nothing changed.
    QTimer::singleShot(0, [] {
        auto* d = qobject_cast<TfmSdTovar*>(QApplication::activeModalWidget());
        ASSERT_TRUE(d);
        EXPECT_EQ(dmKlSd->qrySales.state(), fw::DataSetState::Insert);
        d->btnCancel->click();
    });
    card->tbAddTovar->click();
    EXPECT_EQ(s.recordCount(), 0);
    EXPECT_FALSE(card->SdelkaChanged);

    QTimer::singleShot(0, [tovar] {
        auto* d = qobject_cast<TfmSdTovar*>(QApplication::activeModalWidget());
        ASSERT_TRUE(d);
        dmKlSd->qrySales.fieldByName("IDTOVAR").setAsInteger(tovar);
        d->btnOK->click();
    });
    card->tbAddTovar->click();
    EXPECT_EQ(s.recordCount(), 1);
    EXPECT_EQ(s.state(), fw::DataSetState::Browse);
    EXPECT_TRUE(card->SdelkaChanged);

    // Closing: cancelled leaves the deal as it was, OK posts the new status.
    Page(card->tsAbout);
    fw::Query& d = dmKlSd->qrySdelka;
    QTimer::singleShot(0, [] {
        auto* end = qobject_cast<TfmSdelkaEnd*>(QApplication::activeModalWidget());
        ASSERT_TRUE(end);
        EXPECT_EQ(dmKlSd->qrySdelka.state(), fw::DataSetState::Edit);
        dmKlSd->qrySdelka.fieldByName("IDSDELKA_ST").setAsInteger(2);
        end->btnCancel->click();
    });
    card->tbOtkaz->click();
    EXPECT_EQ(d.state(), fw::DataSetState::Browse);
    EXPECT_EQ(d.fieldByName("IDSDELKA_ST").asInteger(), 1);

    QTimer::singleShot(0, [] {
        auto* end = qobject_cast<TfmSdelkaEnd*>(QApplication::activeModalWidget());
        ASSERT_TRUE(end);
        dmKlSd->qrySdelka.fieldByName("IDSDELKA_ST").setAsInteger(2);
        end->btnOK->click();
    });
    card->tbOtkaz->click();
    EXPECT_EQ(d.state(), fw::DataSetState::Browse);
    EXPECT_EQ(DealValue("IDSDELKA_ST"), "2");
    EXPECT_EQ(Stored(QString("select date_end from Sdelka where idSdelka = %1").arg(deal)).asDateTime(), Today());
}

} // namespace

TEST_F(DealCard, EscWhileTypingADateTakesTheTypingBack)
{
    Open();
    card->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(card.get()));
    TDBDateEdit* nakl = card->dbedNaklDate;
    const QString before = nakl->text();
    QTest::mouseClick(nakl, Qt::LeftButton, {}, QPoint(nakl->width() - 30, nakl->height() / 2));
    QTest::keyClicks(nakl, "07052024");
    ASSERT_EQ(nakl->text(), "07.05.2024");
    QTest::keyClick(nakl, Qt::Key_Escape);
    EXPECT_TRUE(card->isVisible());
    EXPECT_EQ(nakl->text(), before);
    card->btnOK->click();
    EXPECT_EQ(card->result(), QDialog::Accepted);
    EXPECT_EQ(DealValue("DATENAKL"), QString());
}
