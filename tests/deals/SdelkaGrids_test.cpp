// The deal card's grids as a user meets them: columns that show their texts,
// a date cell's button from the start, and a conflict with another user named
// by the card's own words.

#include "SdelkaFixture.h"

#include "core/fmSelectItem.h"
#include "widgets/DBControls.h"
#include "widgets/DBGrid.h"
#include "widgets/DBNavigator.h"

#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {

class DealCardGrids : public DealCardTest {
protected:
    void ShowActive()
    {
        Open();
        card->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(card.get()));
    }
    void AddEtap(const QString& name)
    {
        QTimer::singleShot(0, [name] {
            ASSERT_TRUE(fmSelectItem);
            const auto items = fmSelectItem->lb->findItems(name, Qt::MatchExactly);
            ASSERT_EQ(items.size(), 1);
            fmSelectItem->lb->setCurrentItem(items.first());
            fmSelectItem->btnOK->click();
        });
        card->tbAddEtap->click();
        // The window system gives the card back its activation when the pick dialog closes.
        card->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(card.get()));
    }
    // Every text of the column is in sight in its cells.
    static void ExpectTextsFit(fw::DBGrid* g, int column)
    {
        const QFontMetrics fm = g->fontMetrics();
        const int width = g->horizontalHeader()->sectionSize(column);
        EXPECT_GE(width, fm.horizontalAdvance(g->columnTitle(column))) << g->columnTitle(column).toStdString();
        for (int r = 0; r < g->model()->rowCount(); ++r) {
            const QString text = g->model()->index(r, column).data().toString();
            EXPECT_GE(width, fm.horizontalAdvance(text) + 6) << text.toStdString();
        }
    }
    void Shoot(const QString& name)
    {
        if (const QString dir = qEnvironmentVariable("BRONTAL_SHOTS"); !dir.isEmpty())
            card->grab().save(QDir(dir).filePath(name + ".png"));
    }
};

TEST_F(DealCardGrids, StagesGoodsAndPaymentsShowTheirTexts)
{
    AddEtapKind(7, "Первый контакт");
    AddEtapKind(8, "Согласование условий поставки");
    AddSale(AddTovarItem("Программа учета продаж, сетевая версия на 10 мест", 100), 3000, 100, 30);
    ShowActive();
    Page(card->tsEtaps);
    AddEtap("Первый контакт");
    AddEtap("Согласование условий поставки");
    fw::DBGrid* etaps = card->dbgEtaps;
    for (int c = 0; c < etaps->columnCount(); ++c) ExpectTextsFit(etaps, c);
    // The card takes the room the screen has for the stage columns.
    EXPECT_GE(card->width(), std::min(etaps->columnsWidth() + 20, card->screen()->availableGeometry().width() - 20));
    Shoot("deal-stages");

    Page(card->tsTovar);
    for (fw::DBGrid* g : {card->dbgSales, card->dbgOplata})
        for (int c = 0; c < g->columnCount(); ++c) ExpectTextsFit(g, c);
    Shoot("deal-goods");
}

TEST_F(DealCardGrids, DateCellShowsItsButtonAndTheWholeDate)
{
    AddEtapKind(7, "Первый контакт");
    ShowActive();
    Page(card->tsEtaps);
    AddEtap("Первый контакт");
    fw::DBGrid* g = card->dbgEtaps;
    g->setFocus();
    for (int i = 0; i < 3; ++i) QTest::keyClick(g, Qt::Key_Right);
    ASSERT_EQ(g->selectedField()->name(), "DATEPLAN");
    ASSERT_FALSE(g->editorMode());
    Shoot("deal-stage-date-focused");

    // A click on the button of the focused cell puts today in, without F2 first.
    const QRect cell = g->visualRect(g->currentIndex());
    QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, QPoint(cell.right() - 4, cell.center().y()));
    fw::Query& e = dmKlSd->qryEtaps;
    EXPECT_EQ(e.fieldByName("DATEPLAN").asDateTime(), Today());
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), Today().toString("dd.MM.yyyy"));
    editor->home(false);
    EXPECT_GE(editor->inputMethodQuery(Qt::ImCursorRectangle).toRect().center().x(), 0);
    Shoot("deal-stage-date-editor");
    QTest::keyClick(editor, Qt::Key_Return);
    e.post();
    EXPECT_EQ(Stored(QString("select datePlan from Etaps where idSdelka = %1").arg(deal)).asDateTime(), Today());
}

// The other user's attachment changes the deal's name under the open card.
TEST_F(DealCardGrids, ConflictNamesTheEditsLabelAndReReadsTheDeal)
{
    ShowActive();
    fw::Database other(db.params());
    other.connect();
    other.execute(QString("update Sdelka set name = 'Поставка серверов' where idSdelka = %1").arg(deal));
    card->dbedName->setFocus();
    card->dbedName->selectAll();
    for (QChar ch : QString("Поставка ноутбуков")) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(card->dbedName, &press);
    }
    dialogs.expectConfirm(true);
    card->dbnSdelka->button(fw::DBNavigator::Button::Post)->click();
    ASSERT_EQ(dialogs.shown().size(), 1);
    const QString text = dialogs.shown()[0].text;
    EXPECT_TRUE(text.contains("Название: вы ввели «Поставка ноутбуков», сохранено «Поставка серверов».")) << text.toStdString();
    EXPECT_EQ(dmKlSd->qrySdelka.state(), fw::DataSetState::Browse);
    EXPECT_EQ(card->dbedName->text(), "Поставка серверов");
}

} // namespace
