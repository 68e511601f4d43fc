// The deal card as a user meets it: stage columns that show their texts, a
// date's button from the cell, and a conflict named by the card's own words.

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

class DealCardGrids : public DealCardTest {};

TEST_F(DealCardGrids, StagesShowTheirTextsAndDatesAndAConflictIsNamedByTheCard)
{
    AddEtapKind(8, "Согласование условий поставки");
    Open();
    Page(card->tsEtaps);
    QTimer::singleShot(0, [] {
        fmSelectItem->lb->setCurrentItem(fmSelectItem->lb->findItems("Согласование условий поставки", Qt::MatchExactly)[0]);
        fmSelectItem->btnOK->click();
    });
    card->tbAddEtap->click();
    card->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(card.get()));
    fw::DBGrid* g = card->dbgEtaps;
    const QFontMetrics fm = g->fontMetrics();
    for (int c = 0; c < g->columnCount(); ++c)
        EXPECT_GE(g->horizontalHeader()->sectionSize(c),
                  std::max(fm.horizontalAdvance(g->columnTitle(c)), fm.horizontalAdvance(g->model()->index(0, c).data().toString()) + 6))
            << g->columnTitle(c).toStdString();

    // The focused date cell's button puts today in; the editor shows the whole date.
    g->setFocus();
    g->setSelectedField("DATEPLAN");
    const QRect cell = g->visualRect(g->currentIndex());
    QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, QPoint(cell.right() - 4, cell.center().y()));
    EXPECT_EQ(dmKlSd->qryEtaps.fieldByName("DATEPLAN").asDateTime(), Today());
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr);
    editor->home(false);
    EXPECT_GE(editor->inputMethodQuery(Qt::ImCursorRectangle).toRect().center().x(), 0);
    if (const QString dir = qEnvironmentVariable("BRONTAL_SHOTS"); !dir.isEmpty())
        card->grab().save(QDir(dir).filePath("deal-stages.png"));
    QTest::keyClick(editor, Qt::Key_Return);
    dmKlSd->qryEtaps.post();

    // Another user's attachment renames the deal under the open card.
    fw::Database other(db.params());
    other.connect();
    other.execute(QString("update Sdelka set name = 'Поставка серверов' where idSdelka = %1").arg(deal));
    Page(card->tsAbout);
    card->dbedName->setFocus();
    card->dbedName->selectAll();
    for (QChar ch : QString("Поставка ноутбуков")) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(card->dbedName, &press);
    }
    dialogs.expectConfirm(true);
    card->dbnSdelka->button(fw::DBNavigator::Button::Post)->click();
    ASSERT_EQ(dialogs.shown().size(), 1);
    EXPECT_TRUE(dialogs.shown()[0].text.contains("Название: вы ввели «Поставка ноутбуков», сохранено «Поставка серверов»."))
        << dialogs.shown()[0].text.toStdString();
    EXPECT_EQ(card->dbedName->text(), "Поставка серверов");
}

} // namespace
