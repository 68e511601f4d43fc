// The clients module's grids as a user meets them: a history type picked with
// the keyboard, and a reminder window that shows its columns.

#include "KlientCardFixture.h"

#include "clients/Budil.h"
#include "core/SharedProcs.h"
#include "widgets/DBGrid.h"
#include "widgets/DBNavigator.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QHeaderView>
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

    // The plans grid's type is the same kind of column.
    fm->pcDown->setCurrentWidget(fm->tsPlan);
    dmKl->qryPlan.insert();
    fm->dbgPlan->setFocus();
    fm->dbgPlan->setSelectedField("HistType");
    key(Qt::Key_Down, Qt::AltModifier);
    QTest::qWait(10);
    EXPECT_TRUE(listDropped(fm->dbgPlan));
    key(Qt::Key_Escape);
    key(Qt::Key_Escape);
    key(Qt::Key_Escape);
}

// Each showing of the reminders fits its columns, the company's name included,
// in a window as wide as the screen allows.
TEST_F(KlientGrids, ReminderWindowShowsTheCompany)
{
    const int c = addClient(me.IdUser, "Общество с ограниченной ответственностью «Альфа-Комплект»");
    const int h = db.executeProcedure("ID_HIST").asInt();
    db.execute("insert into history (idHist, idCust, idUser, DateCr, History, Access, Budil, Prior, idHistType, Note) "
               "values (:id, :c, :u, :d, '-', '+', '+', '-', 7, 'Позвонить по договору поставки')",
               {{"id", h}, {"c", c}, {"u", me.IdUser}, {"d", GetServerDate().addSecs(-600)}});
    open();
    dmKl->qryBudil.paramByName("idUser").setValue(me.IdUser);
    dmKl->qryBudil.paramByName("DateCr").setValue(GetServerDate());
    dmKl->qryBudil.open();
    fmBudil = new TfmBudil(fm);
    fmBudil->show();
    QApplication::processEvents();
    fw::DBGrid* g = fmBudil->DBGrid1;
    ASSERT_EQ(g->model()->rowCount(), 1);
    const QFontMetrics metrics = g->fontMetrics();
    for (int col = 0; col < g->columnCount(); ++col) {
        const QString text = g->model()->index(0, col).data().toString();
        EXPECT_GE(g->horizontalHeader()->sectionSize(col), metrics.horizontalAdvance(text) + 6) << text.toStdString();
    }
    EXPECT_GE(fmBudil->width(), std::min(g->columnsWidth(), fmBudil->screen()->availableGeometry().width() - 20));
    if (const QString dir = qEnvironmentVariable("BRONTAL_SHOTS"); !dir.isEmpty())
        fmBudil->grab().save(QDir(dir).filePath("budil-company.png"));
    delete fmBudil.data();
    dmKl->qryBudil.close();
}

} // namespace
