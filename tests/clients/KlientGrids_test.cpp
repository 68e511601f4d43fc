// The client card's history grid as a user meets it: a type picked with the keyboard.

#include "KlientCardFixture.h"

#include "widgets/DBGrid.h"
#include "widgets/DBNavigator.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QTest>
#include <QToolButton>

namespace {

class KlientGrids : public KlientCardTest {
protected:
    void SetUp() override
    {
        KlientCardTest::SetUp();
        Grant({1001, 1002, 1016, 1017, 1018, 1020});
        dm->qryMain.open();
        db.execute("update or insert into HistType (idHistType, HistType) values (7, 'Звонок') matching (idHistType)");
        db.execute("update or insert into HistType (idHistType, HistType) values (8, 'Встреча') matching (idHistType)");
    }
    void showActive()
    {
        open();
        fm->show();
        fm->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(fm));
    }
    static void key(Qt::Key k, Qt::KeyboardModifiers mods = {})
    {
        ASSERT_NE(QApplication::focusWidget(), nullptr);
        QTest::keyClick(QApplication::focusWidget(), k, mods);
    }
    static void type(const QString& text)
    {
        for (QChar ch : text) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
            QApplication::sendEvent(QApplication::focusWidget(), &press);
        }
    }
    static bool listDropped(fw::DBGrid* g)
    {
        auto* combo = qobject_cast<QComboBox*>(g->indexWidget(g->currentIndex()));
        return combo && combo->view()->isVisible();
    }
};

// A new note: its text typed, Shift+Tab back over "Дата" to "Тип", the list dropped and a
// type chosen by its letter; nothing is posted before the user posts.
TEST_F(KlientGrids, NewNotesTypeIsPickedWithTheKeyboard)
{
    const int c = addClient(me.IdUser, "Альфа");
    showActive();
    ASSERT_TRUE(fm->GoToKar(c, 0, 0, nullptr));
    fm->pcDown->setCurrentWidget(fm->tsHist);
    fm->tbHistAdd->click();
    fw::DBGrid* g = fm->dbgHist;
    ASSERT_EQ(g->selectedField()->name(), "NOTE");
    type("Договорились о встрече");
    key(Qt::Key_Backtab, Qt::ShiftModifier);
    key(Qt::Key_Backtab, Qt::ShiftModifier);
    ASSERT_EQ(g->selectedField()->name(), "HistType");
    for (auto [k, mods] : {std::pair{Qt::Key_Down, Qt::AltModifier}, std::pair{Qt::Key_F4, Qt::NoModifier}}) {
        key(k, mods);
        QTest::qWait(10);
        EXPECT_TRUE(listDropped(g)) << k;
        EXPECT_EQ(dmKl->qryHist.state(), fw::DataSetState::Insert) << k;
        key(Qt::Key_Escape);
        EXPECT_FALSE(listDropped(g));
    }
    EXPECT_EQ(count(QString("select count(*) from history where idCust = %1").arg(c)), 0);
    type("В");
    QTest::qWait(10);
    ASSERT_TRUE(listDropped(g));
    key(Qt::Key_Return);
    EXPECT_EQ(g->model()->index(g->currentIndex().row(), 0).data().toString(), "Встреча");
    fm->dbnHist->button(fw::DBNavigator::Button::Post)->click();
    EXPECT_EQ(db.selectValue(QString("select t.HistType from history h join HistType t on t.idHistType = h.idHistType "
                                     "where h.idCust = %1").arg(c)).asString(),
              "Встреча");
    EXPECT_EQ(db.selectValue(QString("select Note from history where idCust = %1").arg(c)).asString(),
              "Договорились о встрече");
}

} // namespace
