#include "clients/ClientFixture.h"

#include "clients/Budil.h"
#include "clients/KlientCalendar.h"
#include "clients/KlientHost.h"
#include "clients/dmKl.h"
#include "controls/DateEdit.h"
#include "core/Users.h"
#include "core/fmSelectItem.h"
#include "db/DbError.h"
#include "widgets/DBControls.h"
#include "widgets/DBGrid.h"
#include "widgets/DBLookupCombo.h"
#include "widgets/ScriptedDialogs.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct CardCall {
    int idCust = 0, idRecord = 0, idContacts = 0;
    QString page;
};

class CalendarPage : public LoggedInTest {
protected:
    CaptionHost host;
    fw::ScriptedDialogs dialogs;
    TdmKl* kl = nullptr;
    TKlientCalendar* cal = nullptr;
    int idCust = 0;
    QDate today;
    QList<CardCall> cardCalls;

    void SetUp() override
    {
        LoggedInTest::SetUp();
        // Department rows visible; add, edit and delete own rows.
        Grant({1020, 1016, 1017, 1018, 1054});
        kl = new TdmKl(&host);
        cal = new TKlientCalendar;
        cal->GoToKar = [this](int c, int r, int k, const QString& p) {
            cardCalls << CardCall{c, r, k, p};
            return true;
        };
        today = GetServerDate().date();
        idCust = db.executeProcedure("ID_CUST").asInt();
        db.execute("insert into Customer (idCust, idUser, company) values (:id, :u, 'Альфа')",
                   {{"id", idCust}, {"u", me.IdUser}});
    }
    void TearDown() override
    {
        delete fmBudil.data();
        delete cal;
        delete kl;
        LoggedInTest::TearDown();
    }
    int addHist(const QDateTime& at, const QString& history, const QString& budil = "-", int owner = -2,
                const QString& note = "", int type = 0)
    {
        const int id = db.executeProcedure("ID_HIST").asInt();
        db.execute("insert into history (idHist, idCust, idUser, DateCr, History, Access, Budil, Prior, Note, "
                   "idHistType) values (:id, :c, :u, :d, :h, '+', :b, '-', :n, :t)",
                   {{"id", id}, {"c", idCust}, {"u", owner == -2 ? me.IdUser : owner}, {"d", at}, {"h", history},
                    {"b", budil}, {"n", note}, {"t", type}});
        return id;
    }
    QList<int> listed()
    {
        QList<int> ids;
        fw::Query& q = kl->qryCal;
        for (q.first(); !q.eof(); q.next()) ids << q.fieldByName("idHist").asInteger();
        return ids;
    }
    void period(const QDate& from, const QDate& to)
    {
        cal->deCalFrom->SetDate(from);
        cal->deCalTo->SetDate(to);
    }
    QString stored(const QString& column, int idHist)
    {
        return db.selectValue(QString("select %1 from history where idHist = %2").arg(column).arg(idHist)).asString();
    }
};

TEST_F(CalendarPage, ListsThePeriodWholeLastDayIncluded)
{
    const QDate from(2024, 3, 1), to(2024, 3, 31);
    const int before = addHist(QDateTime(from.addDays(-1), QTime(23, 59)), "-");
    const int first = addHist(QDateTime(from, QTime(0, 0)), "-");
    const int lastDay = addHist(QDateTime(to, QTime(14, 0)), "-");
    const int after = addHist(QDateTime(to.addDays(1), QTime(0, 0)), "-");
    const int note = addHist(QDateTime(to, QTime(10, 0)), "+");

    // Defaults: today, plans, the current user.
    EXPECT_EQ(cal->deCalFrom->Date(), today);
    EXPECT_EQ(cal->rgCalShow->itemIndex(), 1);
    EXPECT_EQ(cal->dblcCalUser->keyValue(), fw::Value(me.IdUser));

    period(from, to);
    cal->RefreshCalendar();
    EXPECT_EQ(listed(), QList<int>({first, lastDay}));
    cal->rgCalShow->setItemIndex(0);
    cal->RefreshCalendar();
    EXPECT_EQ(listed(), QList<int>({note}));
    cal->rgCalShow->setItemIndex(2);
    cal->RefreshCalendar();
    EXPECT_EQ(listed(), QList<int>({first, note, lastDay}));
    EXPECT_EQ(kl->qryCal.fieldByName("Company").asString(), "Альфа");
    Q_UNUSED(before);
    Q_UNUSED(after);
    cal->tbCalKolvoClick();
    EXPECT_EQ(host.calendarCaptions.last(), "Календарь (3)");
}

TEST_F(CalendarPage, UserTypeAndTextFilters)
{
    const QDateTime at(today, QTime(12, 0));
    const int mine = addHist(at, "-", "-", -2, "Позвонить директору", 0);
    const int theirs = addHist(at.addSecs(60), "-", "-", colleague.IdUser, "Отправить счёт", 0);
    const int typed = addHist(at.addSecs(120), "-", "-", -2, "Встреча \"в офисе\"", 0);
    db.execute("insert into HistType (idHistType, HistType) values (5, 'Звонок')");
    db.execute(QString("update history set idHistType = 5 where idHist = %1").arg(typed));
    dm->qryHiType.close();
    cal->tsCalShow();
    EXPECT_EQ(listed(), QList<int>({mine, typed}));

    cal->dblcCalUser->setKeyValue(fw::Value());
    cal->RefreshCalendar();
    EXPECT_EQ(listed(), QList<int>({mine, theirs, typed}));

    cal->dblcCalTypeHist->setKeyValue(5);
    cal->RefreshCalendar();
    EXPECT_EQ(listed(), QList<int>({typed}));
    EXPECT_EQ(kl->qryCal.fieldByName("HistType").asString(), "Звонок");

    cal->dblcCalTypeHist->setKeyValue(fw::Value());
    cal->deCalNote->setText("\"в офисе\"");
    cal->RefreshCalendar();
    EXPECT_EQ(listed(), QList<int>({typed}));
    cal->deCalNote->setText("СЧЁТ");
    cal->RefreshCalendar();
    EXPECT_EQ(listed(), QList<int>({theirs}));
}

// Esc empties the user and type filters, so all users' plans can be listed; a click on
// "Фамилия" brings the current user back.
TEST_F(CalendarPage, FiltersAreEmptiedWithEscAndTheUserLabelRestoresTheUser)
{
    const QDateTime at(today, QTime(12, 0));
    const int mine = addHist(at, "-");
    const int theirs = addHist(at.addSecs(60), "-", "-", colleague.IdUser);
    cal->tsCalShow();
    cal->show();
    cal->dblcCalTypeHist->setKeyValue(0);
    for (QWidget* combo : {static_cast<QWidget*>(cal->dblcCalUser), static_cast<QWidget*>(cal->dblcCalTypeHist)}) {
        combo->setFocus();
        QTest::keyClick(combo, Qt::Key_Escape);
    }
    EXPECT_TRUE(cal->dblcCalUser->keyValue().isNull());
    EXPECT_TRUE(cal->dblcCalTypeHist->keyValue().isNull());
    cal->RefreshCalendar();
    EXPECT_EQ(listed(), QList<int>({mine, theirs}));

    QTest::mouseClick(cal->lbCalUser, Qt::LeftButton);
    EXPECT_EQ(cal->dblcCalUser->keyValue(), fw::Value(me.IdUser));
    cal->RefreshCalendar();
    EXPECT_EQ(listed(), QList<int>({mine}));
}

// Both lists begin with an empty entry; picking it, with the mouse or the keyboard, empties the
// filter, so every user's plans and every type are listed.
TEST_F(CalendarPage, EmptyEntryOfTheListsListsEveryUserAndType)
{
    db.execute("update or insert into HistType (idHistType, HistType) values (5, 'Звонок') matching (idHistType)");
    const QDateTime at(today, QTime(12, 0));
    const int mine = addHist(at, "-");
    const int theirs = addHist(at.addSecs(60), "-", "-", colleague.IdUser, "", 5);
    cal->tsCalShow();
    cal->show();
    QApplication::processEvents();
    EXPECT_EQ(listed(), QList<int>({mine}));
    fw::DBLookupCombo* user = cal->dblcCalUser;
    fw::DBLookupCombo* type = cal->dblcCalTypeHist;
    EXPECT_EQ(user->itemText(0), "");
    EXPECT_EQ(user->count(), 1 + db.selectValue("select count(*) from users").asInt());
    EXPECT_EQ(QStringList({type->itemText(0), type->itemText(1), type->itemText(2)}),
              QStringList({"", "-", "Звонок"}));

    // The mouse: open the user list and pick its first, empty entry.
    QTest::mouseClick(user, Qt::LeftButton);
    ASSERT_TRUE(user->listVisible());
    QAbstractItemView* view = user->view();
    // The list takes no click in the first moments after it opens.
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    if (const QString dir = qEnvironmentVariable("BRONTAL_SHOTS"); !dir.isEmpty())
        view->window()->grab().save(QDir(dir).filePath("calendar-users.png"));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(view->model()->index(0, 0)).center());
    EXPECT_FALSE(user->listVisible());
    EXPECT_EQ(user->currentText(), "");
    EXPECT_EQ(cal->Filter().idUser, -1);
    QTest::mouseClick(cal->tbCalRefresh, Qt::LeftButton);
    EXPECT_EQ(listed(), QList<int>({mine, theirs}));

    // The keyboard: the last type, then back to the empty entry, then past it.
    type->setFocus();
    QTest::keyClick(type, Qt::Key_End);
    EXPECT_EQ(type->keyValue(), fw::Value(5));
    cal->RefreshCalendar();
    EXPECT_EQ(listed(), QList<int>({theirs}));
    QTest::keyClick(type, Qt::Key_Home);
    EXPECT_EQ(type->currentText(), "");
    EXPECT_EQ(cal->Filter().idHistType, -1);
    cal->RefreshCalendar();
    EXPECT_EQ(listed(), QList<int>({mine, theirs}));
    QTest::keyClick(type, Qt::Key_Down);
    EXPECT_EQ(type->keyValue(), fw::Value(0));

    // "Фамилия" brings the current user back; "Очистить" the defaults.
    QTest::mouseClick(cal->lbCalUser, Qt::LeftButton);
    EXPECT_EQ(user->keyValue(), fw::Value(me.IdUser));
    EXPECT_EQ(user->currentText(), me.Name);
    QTest::mouseClick(cal->tbCalClear, Qt::LeftButton);
    EXPECT_EQ(cal->Filter().idHistType, -1);
    EXPECT_EQ(cal->Filter().idUser, me.IdUser);
}

TEST_F(CalendarPage, CompleteEditAndDelete)
{
    const QDateTime at(today.addDays(1), QTime(9, 0));
    const int plan = addHist(at, "-", "+");
    const int other = addHist(at.addSecs(3600), "-");
    db.execute(QString("update history set Prior = '+' where idHist = %1").arg(plan));
    period(today, today.addDays(1));
    cal->RefreshCalendar();
    ASSERT_EQ(listed(), QList<int>({plan, other}));   // priority first: "+" sorts before "-"

    // Without the dialog hook nothing is touched.
    cal->tbCalPlanComplitClick();
    EXPECT_EQ(kl->qryCal.state(), fw::DataSetState::Browse);

    // Cancel in the dialog leaves the plan as it was.
    QString seenHistory;
    cal->EditHistRecord = [&](fw::DataSet& ds) {
        seenHistory = ds.fieldByName("History").asString();
        return false;
    };
    kl->qryCal.locate("idHist", plan);
    cal->tbCalPlanComplitClick();
    EXPECT_EQ(seenHistory, "+");
    EXPECT_EQ(kl->qryCal.state(), fw::DataSetState::Browse);
    EXPECT_EQ(stored("History", plan), "-");
    EXPECT_EQ(kl->qryCal.fieldByName("History").asString(), "-");

    kl->qryHist.open();
    cal->EditHistRecord = [](fw::DataSet& ds) {
        ds.fieldByName("Note").setAsString("Сделано");
        return true;
    };
    kl->qryCal.locate("idHist", plan);
    const QDateTime now = GetServerDate();
    cal->tbCalPlanComplitClick();
    EXPECT_EQ(stored("History", plan), "+");
    EXPECT_EQ(stored("Budil", plan), "-");
    EXPECT_EQ(stored("Prior", plan), "-");
    EXPECT_EQ(stored("Note", plan), "Сделано");
    EXPECT_LE(qAbs(db.selectValue(QString("select DateCr from history where idHist = %1").arg(plan))
                       .asDateTime()
                       .secsTo(now)),
              60);
    EXPECT_FALSE(kl->qryHist.active());   // the card re-reads it

    kl->qryCal.locate("idHist", other);
    cal->EditHistRecord = [](fw::DataSet& ds) {
        ds.fieldByName("Note").setAsString("Перенесено");
        return true;
    };
    cal->tbCalPlanEditClick();
    EXPECT_EQ(stored("Note", other), "Перенесено");
    EXPECT_EQ(stored("History", other), "-");

    dialogs.expectConfirm(false, "Удалить?").expectConfirm(true, "Удалить?");
    EXPECT_THROW(cal->tbCalPlanDelClick(), fw::Abort);
    EXPECT_EQ(db.selectValue(QString("select count(*) from history where idHist = %1").arg(other)).asInt(), 1);
    cal->tbCalPlanDelClick();
    EXPECT_EQ(db.selectValue(QString("select count(*) from history where idHist = %1").arg(other)).asInt(), 0);
    EXPECT_EQ(listed(), QList<int>({plan}));
}

// Without the right to back-date, editing an overdue plan is refused; the dialog
// comes back with what was typed, and once cancelled nothing posts it again.
TEST_F(CalendarPage, ARefusedEditComesBackToTheUserAndIsNeverPostedLater)
{
    const int overdue = addHist(QDateTime(today.addDays(-3), QTime(9, 0)), "-", "+", -2, "Позвонить");
    period(today.addDays(-7), today);
    cal->RefreshCalendar();
    ASSERT_TRUE(kl->qryCal.locate("idHist", overdue));
    QStringList seen;
    cal->EditHistRecord = [&](fw::DataSet& ds) {
        seen << ds.fieldByName("Note").asString();
        if (seen.size() == 1) {
            ds.fieldByName("Note").setAsString("Перезвонить");
            return true;
        }
        return false;   // the user gives up
    };
    dialogs.expectError("Запрещено вводить план или историю задним числом!");
    cal->tbCalPlanEditClick();
    EXPECT_EQ(seen, (QStringList{"Позвонить", "Перезвонить"}));
    EXPECT_EQ(kl->qryCal.state(), fw::DataSetState::Browse);
    EXPECT_EQ(stored("Note", overdue), "Позвонить");
    cal->sbCalenRefreshClick();   // no refusal again
    EXPECT_EQ(dialogs.pending(), 0);
}

TEST_F(CalendarPage, CardEntryAndReturnToTheRememberedRow)
{
    const QDateTime at(today, QTime(15, 0));
    const int a = addHist(at, "-");
    const int b = addHist(at.addSecs(60), "-");
    const int c = addHist(at.addSecs(120), "-");
    db.execute(QString("update history set idContacts = null where idHist = %1").arg(b));

    // The first showing fills the calendar; later showings keep it.
    cal->tsCalShow();
    ASSERT_EQ(listed(), QList<int>({a, b, c}));
    EXPECT_EQ(kl->CalendarRowId, -1);
    kl->qryCal.locate("idHist", b);
    cal->SpeedButtonGoKartClick();
    ASSERT_EQ(cardCalls.size(), 1);
    EXPECT_EQ(cardCalls[0].idCust, idCust);
    EXPECT_EQ(cardCalls[0].idRecord, b);
    EXPECT_EQ(cardCalls[0].idContacts, 0);
    EXPECT_EQ(cardCalls[0].page, "tsPlan");

    const int later = addHist(at.addSecs(180), "-");
    // The card deleted b: the calendar closed and remembers the row after it.
    kl->InvalidateCalendar(b, true);
    EXPECT_FALSE(kl->qryCal.active());
    EXPECT_EQ(kl->CalendarRowId, c);
    db.execute(QString("delete from history where idHist = %1").arg(b));
    cal->tsCalShow();
    EXPECT_EQ(listed(), QList<int>({a, c, later}));
    kl->qryCal.locate("idHist", a);
    kl->InvalidateCalendar(c, false);
    cal->tsCalShow();
    EXPECT_EQ(kl->qryCal.fieldByName("idHist").asInteger(), c);
    EXPECT_EQ(kl->CalendarRowId, -1);

    // A history row opens the history sub-page.
    db.execute(QString("update history set History = '+' where idHist = %1").arg(c));
    cal->rgCalShow->setItemIndex(0);
    cal->RefreshCalendar();
    cal->SpeedButtonGoKartClick();
    EXPECT_EQ(cardCalls.last().page, "tsHist");
    EXPECT_EQ(cardCalls.last().idRecord, c);
}

// Runs until the check has ended, answering the reminder window with tbGoToKar
// (or closing it) and noting what it listed.
struct BudilRun {
    QList<int> listed;
    bool shown = false;
};

BudilRun RunCheck(TBudilCheck& check, bool goToKar)
{
    BudilRun run;
    QSignalSpy done(&check, &TBudilCheck::finished);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!fmBudil || !fmBudil->isVisible()) return;
        run.shown = true;
        fw::DataSet* ds = fmBudil->DBGrid1->dataSet();
        if (ds)
            for (int r = 0; r < ds->rowCount(); ++r) run.listed << ds->valueAt(r, ds->fieldByName("idHist")).asInt();
        if (goToKar) fmBudil->tbGoToKar->click();
        else fmBudil->reject();
    });
    poll.start(20);
    check.StartBudilCheck();
    if (done.isEmpty()) done.wait(15000);
    std::sort(run.listed.begin(), run.listed.end());
    return run;
}

TEST_F(CalendarPage, ReminderListsOnlyTheUsersDueMarkedPlans)
{
    const QDateTime now = GetServerDate();
    const int due = addHist(now.addSecs(-3600), "-", "+");
    const int due2 = addHist(now.addDays(-2), "-", "+");
    addHist(now.addSecs(-3600), "-", "-");                       // no reminder mark
    addHist(now.addSecs(3600), "-", "+");                        // not yet due
    addHist(now.addSecs(-3600), "-", "+", colleague.IdUser);     // someone else's
    addHist(now.addSecs(-3600), "+", "+");                       // a history note
    db.execute(QString("update history set idContacts = null where idHist = %1").arg(due));

    TBudilCheck check(nullptr);
    QList<CardCall> calls;
    check.GoToKar = [&](int c, int r, int k, const QString& p) {
        calls << CardCall{c, r, k, p};
        return true;
    };
    QSignalSpy running(&check, &TBudilCheck::runningChanged);
    const BudilRun run = RunCheck(check, true);
    EXPECT_TRUE(run.shown);
    EXPECT_EQ(run.listed, QList<int>({due, due2}));
    ASSERT_EQ(calls.size(), 1);
    EXPECT_EQ(calls[0].idCust, idCust);
    EXPECT_EQ(calls[0].page, "tsPlan");
    EXPECT_TRUE(calls[0].idRecord == due || calls[0].idRecord == due2);
    EXPECT_FALSE(check.BudilRunning());
    ASSERT_EQ(running.size(), 2);
    EXPECT_TRUE(running[0][0].toBool());
    EXPECT_FALSE(running[1][0].toBool());
    EXPECT_FALSE(kl->dbBudil.connected());   // "На карточку" lets the connection go
    EXPECT_EQ(kl->tmrBudil.interval(), 300000);

    // Closed the other way: nothing happens, and the reminders come again.
    const BudilRun again = RunCheck(check, false);
    EXPECT_EQ(again.listed, QList<int>({due, due2}));
    EXPECT_EQ(calls.size(), 1);

    // Nothing due: no window.
    db.execute("update history set Budil = '-'");
    delete fmBudil.data();
    const BudilRun none = RunCheck(check, true);
    EXPECT_FALSE(none.shown);
    EXPECT_FALSE(fmBudil);
}

TEST_F(CalendarPage, ReminderWaitsForDialogsAndRunsOncePerCheck)
{
    addHist(GetServerDate().addSecs(-60), "-", "+");
    TBudilCheck check(nullptr);
    QSignalSpy done(&check, &TBudilCheck::finished);

    // A pick dialog is open: the check is put off in 3-second steps.
    fmSelectItem = new TfmSelectItem;
    fmSelectItem->setWindowModality(Qt::ApplicationModal);   // as its caller shows it
    fmSelectItem->show();
    check.StartBudilCheck();
    EXPECT_FALSE(check.BudilRunning());
    EXPECT_EQ(kl->tmrBudil.interval(), 3000);
    delete fmSelectItem.data();

    // Running: a second start does nothing.
    QTimer poll;
    int windows = 0;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (fmBudil && fmBudil->isVisible()) {
            ++windows;
            fmBudil->reject();
        }
    });
    poll.start(20);
    check.StartBudilCheck();
    EXPECT_TRUE(check.BudilRunning());
    check.StartBudilCheck();
    ASSERT_TRUE(done.wait(15000));
    QApplication::processEvents();
    EXPECT_EQ(done.size(), 1);
    EXPECT_EQ(windows, 1);
    EXPECT_EQ(kl->tmrBudil.interval(), 300000);
}

TEST_F(CalendarPage, FailedReminderCheckEndsQuietly)
{
    addHist(GetServerDate().addSecs(-60), "-", "+");
    fw::ConnectParams bad = kl->dbBudil.params();
    bad.path = QDir::temp().filePath("no-such-brontal-db.fdb");
    kl->dbBudil.setParams(bad);
    TBudilCheck check(nullptr);
    const BudilRun run = RunCheck(check, true);
    EXPECT_FALSE(run.shown);
    EXPECT_FALSE(check.BudilRunning());
    EXPECT_EQ(kl->tmrBudil.interval(), 300000);
    EXPECT_TRUE(dialogs.shown().isEmpty());
}

// Offscreen pictures of the page and the reminder window (BRONTAL_SHOTS=folder).
// A keyboard user finishes an edit in the calendar without the mouse: the note is
// typed, Tab runs past the last cell on to the next control, Shift+Tab before the
// first back to the previous one, and the row is stored without "Запомнить".
TEST_F(CalendarPage, TheKeyboardLeavesTheGridAndTheRowIsStored)
{
    const QDateTime at(today, QTime(11, 0));
    const int first = addHist(at, "-", "-", -2, "Позвонить");
    const int last = addHist(at.addSecs(60), "-", "-", -2, "Написать");
    cal->tsCalShow();
    ASSERT_EQ(listed(), QList<int>({first, last}));
    cal->resize(1000, 420);
    cal->show();
    cal->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(cal));
    fw::DBGrid* g = cal->dbgCal;
    const auto inGrid = [g] { QWidget* f = QApplication::focusWidget(); return f == g || g->isAncestorOf(f); };
    const auto press = [](Qt::Key k, Qt::KeyboardModifiers mods = {}) { QTest::keyClick(QApplication::focusWidget(), k, mods); };

    kl->qryCal.locate("idHist", last);
    g->setFocus(Qt::OtherFocusReason);
    g->setSelectedField("NOTE");
    for (QChar ch : QString("Отправить письмо")) {
        QKeyEvent key(QEvent::KeyPress, ch == ' ' ? Qt::Key_Space : Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(QApplication::focusWidget(), &key);
    }
    const QImage editing = cal->grab().toImage();
    int presses = 0;
    while (inGrid() && presses++ < 10) press(Qt::Key_Tab);
    EXPECT_FALSE(inGrid());
    EXPECT_EQ(presses, 4) << "Компания, Фамилия and Ссылка follow the note";
    EXPECT_NE(QApplication::focusWidget(), nullptr);
    EXPECT_EQ(kl->qryCal.state(), fw::DataSetState::Browse);
    EXPECT_EQ(stored("Note", last), "Отправить письмо");

    kl->qryCal.locate("idHist", first);
    g->setFocus(Qt::OtherFocusReason);
    g->setSelectedField("HistType");
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_TRUE(inGrid()) << "on to the date";
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_FALSE(inGrid());
    g->setFocus(Qt::OtherFocusReason);
    press(Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_FALSE(inGrid());
    const QString dir = qEnvironmentVariable("BRONTAL_SHOTS");
    if (!dir.isEmpty()) editing.save(QDir(dir).filePath("calendar-keyboard.png"));
}

TEST_F(CalendarPage, RendersItsControls)
{
    const QDateTime at(today, QTime(10, 0));
    addHist(at, "-", "+");
    const int prior = addHist(at.addSecs(600), "-", "+");
    addHist(at.addSecs(1200), "+");
    db.execute(QString("update history set Prior = '+', Note = 'Срочно перезвонить' where idHist = %1").arg(prior));
    cal->rgCalShow->setItemIndex(2);
    cal->tsCalShow();
    cal->resize(1000, 420);
    cal->show();
    QApplication::processEvents();
    const QImage page = cal->grab().toImage();

    kl->qryBudil.paramByName("idUser").setValue(me.IdUser);
    kl->qryBudil.paramByName("DateCr").setValue(GetServerDate().addDays(1));
    kl->qryBudil.open();
    fmBudil = new TfmBudil;
    fmBudil->show();
    QApplication::processEvents();
    EXPECT_EQ(fmBudil->DBGrid1->dataSet()->recordCount(), 2);
    const QString dir = qEnvironmentVariable("BRONTAL_SHOTS");
    if (!dir.isEmpty()) {
        page.save(QDir(dir).filePath("calendar.png"));
        fmBudil->grab().save(QDir(dir).filePath("budil.png"));
    }
    fmBudil->hide();
    kl->qryBudil.close();
}

} // namespace
