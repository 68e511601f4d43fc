// The client card's history grid as a user meets it: a type picked with the keyboard.

#include "KlientCardFixture.h"

#include "widgets/DBGrid.h"
#include "widgets/DBNavigator.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QKeyEvent>
#include <QTest>
#include <QToolButton>

namespace {

class KlientGrids : public KlientCardTest {};

// A new note: its text typed, Shift+Tab back over "Дата" to "Тип", Alt+Down drops
// the list (no post, no move), a letter picks the type; the note posts with it.
TEST_F(KlientGrids, NewNotesTypeIsPickedWithTheKeyboard)
{
    Grant({1001, 1002, 1016, 1017, 1018, 1020});
    dm->qryMain.open();
    db.execute("update or insert into HistType (idHistType, HistType) values (8, 'Встреча') matching (idHistType)");
    const int c = addClient(me.IdUser, "Альфа");
    open();
    fm->show();
    fm->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(fm));
    ASSERT_TRUE(fm->GoToKar(c, 0, 0, nullptr));
    fm->pcDown->setCurrentWidget(fm->tsHist);
    fm->tsHist->tbAdd->click();
    fw::DBGrid* g = fm->tsHist->dbg;
    const auto key = [](Qt::Key k, Qt::KeyboardModifiers mods = {}) { QTest::keyClick(QApplication::focusWidget(), k, mods); };
    const auto type = [](const QString& text) {
        for (QChar ch : text) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
            QApplication::sendEvent(QApplication::focusWidget(), &press);
        }
    };
    const auto dropped = [g] {
        QTest::qWait(10);
        auto* combo = qobject_cast<QComboBox*>(g->indexWidget(g->currentIndex()));
        return combo && combo->view()->isVisible();
    };
    type("Договорились о встрече");
    key(Qt::Key_Backtab, Qt::ShiftModifier);
    key(Qt::Key_Backtab, Qt::ShiftModifier);
    ASSERT_EQ(g->selectedField()->name(), "HistType");
    key(Qt::Key_Down, Qt::AltModifier);
    EXPECT_TRUE(dropped());
    EXPECT_EQ(dmKl->qryHist.state(), fw::DataSetState::Insert);
    EXPECT_EQ(count(QString("select count(*) from history where idCust = %1").arg(c)), 0);
    key(Qt::Key_Escape);
    type("В");
    ASSERT_TRUE(dropped());
    key(Qt::Key_Return);
    fm->tsHist->dbn->button(fw::DBNavigator::Button::Post)->click();
    EXPECT_EQ(db.selectValue(QString("select t.HistType || ': ' || h.Note from history h join HistType t "
                                     "on t.idHistType = h.idHistType where h.idCust = %1").arg(c)).asString(),
              "Встреча: Договорились о встрече");
}

// The contracts grid keeps no keyboard: it holds nothing to edit, so Tab and
// Shift+Tab go on to the next and previous control at once.
TEST_F(KlientGrids, TabLeavesTheContractsGrid)
{
    Grant({1001, 1002});
    const int c = addClient(me.IdUser, "Альфа");
    for (const char* number : {"Д-1", "Д-2"})
        db.execute(QString("insert into Dog (idDog, idCust, idUser, DogNumber, Access) "
                           "values (gen_id(GEN_DOG, 1), %1, %2, '%3', '+')").arg(c).arg(me.IdUser).arg(number));
    open();
    fm->show();
    fm->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(fm));
    card(c, fm->tsDog);
    fw::DBGrid* g = fm->tsDog->dbgDog;
    ASSERT_EQ(g->dataSet()->recordCount(), 2);
    const auto inGrid = [g] { QWidget* f = QApplication::focusWidget(); return f == g || g->isAncestorOf(f); };
    for (Qt::KeyboardModifiers mods : {Qt::KeyboardModifiers(), Qt::KeyboardModifiers(Qt::ShiftModifier),
                                       Qt::KeyboardModifiers(Qt::ControlModifier)}) {
        g->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(g, Qt::Key_Tab, mods);
        EXPECT_FALSE(inGrid()) << mods;
        EXPECT_NE(QApplication::focusWidget(), nullptr);
    }
    const QString dir = qEnvironmentVariable("BRONTAL_SHOTS");
    if (!dir.isEmpty()) fm->grab().save(QDir(dir).filePath("contracts-grid.png"));
}

} // namespace
