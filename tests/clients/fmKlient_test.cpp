#include "clients/ClientFixture.h"

#include "clients/Budil.h"
#include "clients/KlientQuery.h"
#include "clients/dmKl.h"
#include "clients/fmKlient.h"
#include "clients/fmExpKlDetal.h"
#include "clients/fmPlan.h"
#include "controls/DateEdit.h"
#include "core/ModifySQLForm.h"
#include "core/ModuleWindows.h"
#include "core/SharedProcs.h"
#include "core/Users.h"
#include "core/fmSelectItem.h"
#include "deals/dmZakaz.h"
#include "deals/fmZakaz.h"

#include "os/Shell.h"
#include "reports/fmExportConCount.h"
#include "support/ExportDialogs.h"
#include "widgets/DBControls.h"
#include "widgets/DBGrid.h"
#include "widgets/DBLookupCombo.h"
#include "widgets/ScriptedDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QKeyEvent>
#include <QAbstractItemView>
#include <QTemporaryDir>
#include <QTest>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>
#include <optional>

namespace {

void whenShown(std::function<void()> f)
{
    QTimer::singleShot(0, [f = std::move(f)] { f(); });
}

TEST(FmKlientDialRule, TrimsCutsAndPrefixes)
{
    EXPECT_EQ(PhoneDialNumber(" 123-45-67 x12", "x", "8", "495"), "8495123-45-67 ");
    EXPECT_EQ(PhoneDialNumber("(495) 123", "x", "8", "495"), "8(495) 123");
    EXPECT_EQ(PhoneDialNumber("+7 495 123", "x", "8", "495"), "+7 495 123");
    EXPECT_EQ(PhoneDialNumber("\t555\r\n", "", "8", "495"), "8495555");
    EXPECT_EQ(PhoneDialNumber("  x100", "x", "8", "495"), "");
    EXPECT_EQ(PhoneDialNumber("   ", "", "8", "495"), "");
}

TEST(FmKlientAddresses, MailAndOrderCaptions)
{
    EXPECT_EQ(ContactMailAddress("Смирнова", "s@firm.ru"), "Смирнова <s@firm.ru>");
    EXPECT_EQ(ContactMailAddress("", "s@firm.ru"), "<s@firm.ru>");
    EXPECT_EQ(ZakazAddressCaption("Смирнова", "s@firm.ru"), "\"Смирнова\"<s@firm.ru>");
    EXPECT_EQ(ZakazAddressCaption("", "s@firm.ru"), "<s@firm.ru>");
    EXPECT_EQ(ZakazAddressCaption("Смирнова", ""), "");
}

class FmKlientWindow : public LoggedInTest {
protected:
    fw::ScriptedDialogs dialogs;
    fw::RecordingShell shell;
    TfmKlient* fm = nullptr;

    FmKlientWindow() : LoggedInTest(true) {}
    void SetUp() override
    {
        LoggedInTest::SetUp();
        Grant({1001, 1002, 1016, 1017, 1018, 1038, 1054});
        dm->qryMain.open();
    }
    void TearDown() override
    {
        delete fm;
        EXPECT_TRUE(fmKlient.isNull());
        EXPECT_EQ(dmKl, nullptr);
        delete fmZakaz.data();
        LoggedInTest::TearDown();
    }
    // The window, with the creation's question answered (and the move's, when given).
    void open(bool check = false, std::optional<bool> move = std::nullopt, int overdue = 1)
    {
        dialogs.expectConfirm(check, "Проверить невыполненные планы?");
        if (move)
            dialogs.expectConfirm(*move, QString("Невыполненных планов: %1\rПеренести их на сегодня?").arg(overdue));
        fm = new TfmKlient;
        fm->resize(1100, 720);
    }
    // The window opened and shown active, as a user has it.
    [[nodiscard]] bool openActive()
    {
        open();
        fm->show();
        fm->activateWindow();
        return QTest::qWaitForWindowActive(fm);
    }
    int addClient(int owner, const QString& company = "Альфа")
    {
        const int id = db.executeProcedure("ID_CUST").asInt();
        db.execute("insert into Customer (idCust, idUser, company, DateCr, polzov, regpolzov) "
                   "values (:id, :u, :c, :d, '-', '-')",
                   {{"id", id}, {"u", owner}, {"c", company}, {"d", GetServerDate()}});
        return id;
    }
    int addContact(int idCust, const QString& name, const QString& email = {}, const QString& phone = {})
    {
        const int id = db.executeProcedure("ID_CONTACTS").asInt();
        db.execute("insert into contacts (idContacts, idCust, idUser, contact_name, contact_email, contact_phone) "
                   "values (:k, :c, :u, :n, :e, :p)",
                   {{"k", id}, {"c", idCust}, {"u", me.IdUser}, {"n", name}, {"e", email}, {"p", phone}});
        return id;
    }
    int addHist(int idCust, const QString& history, const QDateTime& when, int owner = -2)
    {
        const int id = db.executeProcedure("ID_HIST").asInt();
        db.execute("insert into history (idHist, idCust, idUser, DateCr, History, Access, Budil, Prior, idHistType, Note) "
                   "values (:id, :c, :u, :d, :h, '+', '+', '-', 0, 'Позвонить')",
                   {{"id", id}, {"c", idCust}, {"u", owner == -2 ? me.IdUser : owner}, {"d", when},
                    {"h", history}});
        return id;
    }
    QString stored(const QString& sql) { return db.selectValue(sql).asString(); }
    int count(const QString& sql) { return db.selectValue(sql).asInt(); }
};

TEST_F(FmKlientWindow, CreationChecksOverduePlansOnRequest)
{
    const int idCust = addClient(me.IdUser);
    const QDateTime lastWeek = GetServerDate().addDays(-7);
    const int overdue = addHist(idCust, "-", lastWeek);
    addHist(idCust, "-", lastWeek, colleague.IdUser);      // someone else's plan stays
    addHist(idCust, "+", lastWeek);                         // history is no plan

    // No skips the check.
    open(false);
    EXPECT_EQ(dialogs.shown().size(), 1);
    EXPECT_EQ(fmKlient.data(), fm);
    EXPECT_TRUE(dmKl->tmrBudil.isActive());
    EXPECT_EQ(fm->pcMain->currentWidget(), fm->tsKar);
    EXPECT_EQ(fm->pcDown->currentWidget(), fm->tsHist);
    EXPECT_TRUE(fm->KlientCard->tbZakaz->isEnabled());
    EXPECT_FALSE(fm->mmiGrOper->isEnabled());
    delete fm;
    fm = nullptr;

    // Yes, then No to the move: nothing changes.
    open(true, false);
    delete fm;
    fm = nullptr;
    EXPECT_EQ(db.selectValue(QString("select DateCr from history where idHist = %1").arg(overdue)).asDateTime().date(),
              lastWeek.date());

    open(true, true);
    const QDate today = GetServerDate().date();
    EXPECT_EQ(db.selectValue(QString("select DateCr from history where idHist = %1").arg(overdue)).asDateTime(),
              QDateTime(today, QTime(0, 0)));
    EXPECT_EQ(count(QString("select count(*) from history where idCust = %1 and DateCr < '%2'")
                        .arg(idCust)
                        .arg(today.toString("dd.MM.yyyy"))), 2);
    delete fm;
    fm = nullptr;

    // Nothing overdue: only the first question.
    open(true);
    EXPECT_EQ(dialogs.pending(), 0);
}

TEST_F(FmKlientWindow, GoToKarOpensVisibleClientsOnTheirRow)
{
    const int idCust = addClient(me.IdUser, "Бета");
    const int first = addContact(idCust, "Первый");
    addContact(idCust, "Второй");
    const int hist = addHist(idCust, "+", GetServerDate());
    addHist(idCust, "+", GetServerDate().addSecs(-3600));
    const int hidden = addClient(stranger.IdUser, "Чужая");
    open();
    fm->pcMain->setCurrentWidget(fm->tsKlList);

    EXPECT_TRUE(fm->GoToKar(idCust, 0, 0));
    EXPECT_EQ(fm->pcMain->currentWidget(), fm->tsKar);
    EXPECT_EQ(dmKl->qryCust.fieldByName("Company").asString(), "Бета");
    EXPECT_TRUE(dmKl->qryContacts.active());
    EXPECT_TRUE(dmKl->qryHist.active());

    // Through the main window's hook, by page name; contact 0 keeps the contact.
    RegisterKlientModule();
    dmKl->qryContacts.last();
    ASSERT_TRUE(ModuleWindows().GoToKar);
    EXPECT_TRUE(ModuleWindows().GoToKar(idCust, hist, 0, "tsHist"));
    EXPECT_EQ(fm->pcDown->currentWidget(), fm->tsHist);
    EXPECT_EQ(dmKl->qryHist.fieldByName("idHist").asInteger(), hist);
    EXPECT_EQ(dmKl->qryContacts.recNo(), 1);
    EXPECT_TRUE(fm->GoToKar(idCust, hist, first, fm->tsHist));
    EXPECT_EQ(dmKl->qryContacts.fieldByName("idContacts").asInteger(), first);

    dialogs.expectInformation("Запись в Планах не найдена\rили у Вас не хватает прав доступа!");
    EXPECT_TRUE(fm->GoToKar(idCust, hist, 0, fm->tsPlan));
    dialogs.expectInformation("Сделка не найдена\rили у Вас не хватает прав доступа!");
    EXPECT_TRUE(fm->GoToKar(idCust, 12345, 0, fm->tsSdelka));

    // A refused jump leaves the user's list, row and page as they were.
    QTest::mouseClick(fm->KlientCard->tbMy, Qt::LeftButton);
    fm->pcMain->setCurrentWidget(fm->tsKlList);
    const int listed = dmKl->qryCust.recordCount();
    ASSERT_GT(listed, 0);
    dialogs.expectInformation("Карточка компании не найдена\rили у Вас не хватает прав доступа!");
    EXPECT_FALSE(fm->GoToKar(hidden, 0, 0));
    EXPECT_EQ(dmKl->qryCust.recordCount(), listed);
    EXPECT_EQ(dmKl->qryCust.fieldByName("Company").asString(), "Бета");
    EXPECT_EQ(fm->pcMain->currentWidget(), fm->tsKlList);
}

TEST_F(FmKlientWindow, AfterAnExportTheListStandsOnTheUsersRow)
{
    for (int i = 0; i < 80; ++i) addClient(me.IdUser, QString("Клиент %1").arg(i, 2, 10, QChar('0')));
    ASSERT_TRUE(openActive());
    QTest::mouseClick(fm->KlientCard->tbMy, Qt::LeftButton);
    fm->pcMain->setCurrentWidget(fm->tsKlList);
    ASSERT_EQ(dmKl->qryCust.recordCount(), 80);
    const QModelIndex second = fm->dbgCust->model()->index(1, 1);
    QTest::mouseClick(fm->dbgCust->viewport(), Qt::LeftButton, {}, fm->dbgCust->visualRect(second).center());
    ASSERT_EQ(dmKl->qryCust.recNo(), 2);
    const QString company = dmKl->qryCust.fieldByName("Company").asString();
    QTemporaryDir dir;
    for (const bool contacts : {false, true}) {
        dialogs.expectConfirm(contacts, "Включить в экспорт контактные лица?");
        if (contacts) {
            testing_support::whenShown<TfmExportConCount>([](TfmExportConCount* d) { d->btnOK->click(); });
            testing_support::keepColumns({"Компания", "Контактные лица"});
        } else {
            testing_support::keepColumns({"Компания"});
        }
        testing_support::chooseTextFile(dir.filePath("list.txt"));
        dialogs.expectInformation("Экспорт успешно завершен.");
        QTest::mouseClick(fm->tbCustExport, Qt::LeftButton);
        EXPECT_EQ(dialogs.pending(), 0);
        EXPECT_EQ(dmKl->qryCust.fieldByName("Company").asString(), company) << contacts;
        EXPECT_EQ(fm->dbgCust->currentIndex().row(), 1) << contacts;
        EXPECT_EQ(fm->pcMain->currentWidget(), fm->tsKlList) << contacts;
        // In sight, where the user left it.
        EXPECT_TRUE(fm->dbgCust->viewport()->rect().contains(fm->dbgCust->visualRect(fm->dbgCust->currentIndex())))
            << contacts;
    }
}

TEST_F(FmKlientWindow, CuratorChangeWritesItsSystemHistoryRow)
{
    const int idCust = addClient(me.IdUser);
    open();
    ASSERT_TRUE(fm->GoToKar(idCust, 0, 0));
    const auto pick = [this](int idUser) {
        whenShown([this, idUser] {
            ASSERT_TRUE(fmSelectItem);
            EXPECT_EQ(fmSelectItem->windowTitle(), "Смена куратора компании");
            QListWidget* lb = fmSelectItem->findChild<QListWidget*>("lb");
            EXPECT_EQ(lb->currentItem()->data(Qt::UserRole).toInt(), me.IdUser);   // the current curator
            for (int i = 0; i < lb->count(); ++i)
                if (lb->item(i)->data(Qt::UserRole).toInt() == idUser) lb->setCurrentRow(i);
            fmSelectItem->btnOK->click();
        });
    };

    // The same curator again: nothing written, the row left for the user.
    pick(me.IdUser);
    fm->KlientCard->tbCurator->click();
    EXPECT_EQ(count(QString("select count(*) from history where idCust = %1").arg(idCust)), 0);
    dmKl->qryCust.cancel();

    pick(colleague.IdUser);
    fm->KlientCard->tbCurator->click();
    EXPECT_EQ(dmKl->qryCust.state(), fw::DataSetState::Browse);
    EXPECT_EQ(count(QString("select idUser from Customer where idCust = %1").arg(idCust)), colleague.IdUser);
    EXPECT_EQ(stored(QString("select Note || '|' || Access || '|' || History from history where idCust = %1").arg(idCust)),
              "Смена куратора компании: Иванов => Петров|-|+");
    EXPECT_EQ(count(QString("select count(*) from history where idCust = %1 and idContacts is null").arg(idCust)), 1);
}

TEST_F(FmKlientWindow, CompletingAPlanGoesThroughThePlanDialog)
{
    const int idCust = addClient(me.IdUser);
    const QDateTime due = QDateTime(GetServerDate().date().addDays(2), QTime(10, 30));
    const int plan = addHist(idCust, "-", due);
    open();
    fm->pcDown->setCurrentWidget(fm->tsPlan);
    ASSERT_TRUE(fm->GoToKar(idCust, plan, 0, fm->tsPlan));
    const QString row = QString("from history where idHist = %1").arg(plan);

    // Cancel leaves the plan as it was.
    whenShown([due] {
        ASSERT_TRUE(fmPlan);
        EXPECT_EQ(fmPlan->edNote->text(), "Позвонить");
        EXPECT_NE(fmPlan->DateTime(), due);                    // completion proposes now
        EXPECT_FALSE(fmPlan->cbBudil->isChecked());
        fmPlan->btnCancel->click();
    });
    fm->tsPlan->tbComplit->click();
    EXPECT_TRUE(fmPlan.isNull());
    EXPECT_EQ(dmKl->qryPlan.state(), fw::DataSetState::Browse);
    EXPECT_EQ(dmKl->qryPlan.fieldByName("History").asString(), "-");
    EXPECT_EQ(stored("select History || Budil " + row), "-+");
    EXPECT_EQ(db.selectValue("select DateCr " + row).asDateTime(), due);

    // OK turns it into history, dated as the dialog says.
    const QDateTime done(GetServerDate().date(), QTime(23, 50));
    whenShown([done] {
        ASSERT_TRUE(fmPlan);
        fmPlan->SetDateTime(done);
        fmPlan->edNote->setText("Позвонили");
        fmPlan->btnOK->click();
    });
    fm->tsPlan->tbComplit->click();
    EXPECT_EQ(stored("select History || Budil || Prior || Note " + row), "+--Позвонили");
    EXPECT_EQ(db.selectValue("select DateCr " + row).asDateTime(), done);
    EXPECT_TRUE(dmKl->qryPlan.isEmpty());
    EXPECT_FALSE(dmKl->qryHist.active());
}

TEST_F(FmKlientWindow, DiallingMailAndWebGoThroughTheShell)
{
    db.execute("update ver set CountryCode = '8', CityCode = '495', EndPhoneChar = 'x'");
    dm->qryMain.close();
    dm->qryMain.open();
    const int idCust = addClient(me.IdUser);
    db.execute(QString("update Customer set Fax = ' +7 812 555 x7', WWW = 'www.firm.ru' where idCust = %1").arg(idCust));
    addContact(idCust, "Смирнова", "s@firm.ru", " 123-45-67 x12");
    const int noName = addContact(idCust, "", "n@firm.ru", "   ");
    open();
    ASSERT_TRUE(fm->GoToKar(idCust, 0, 0));

    fm->KlientCard->sbDialPhone->click();
    fm->KlientCard->sbDialFax->click();
    fm->KlientCard->sbMail->click();
    fm->KlientCard->sbWWW->click();
    ASSERT_EQ(shell.opened.size(), 4);
    EXPECT_EQ(shell.opened[0], fw::telUrl("8495123-45-67 "));
    EXPECT_EQ(shell.opened[1], fw::telUrl("+7 812 555 "));
    EXPECT_EQ(shell.opened[2], fw::mailtoUrl("Смирнова <s@firm.ru>"));
    EXPECT_EQ(shell.opened[3], fw::linkUrl("www.firm.ru"));

    // A blank phone dials nothing; a contact without a name mails the bare address.
    shell.opened.clear();
    ASSERT_TRUE(dmKl->qryContacts.locate("idContacts", noName));
    fm->KlientCard->sbDialPhone->click();
    fm->KlientCard->sbMail->click();
    ASSERT_EQ(shell.opened.size(), 1);
    EXPECT_EQ(shell.opened[0].toString(), "mailto:%3Cn@firm.ru%3E");

    // Without a mail program the user is told the address as the card has it.
    shell.openResult = false;
    ASSERT_TRUE(dmKl->qryContacts.locate("CONTACT_EMAIL", "s@firm.ru"));
    dialogs.expectError("Не удалось открыть почтовую программу для письма:\nСмирнова <s@firm.ru>");
    fm->KlientCard->sbMail->click();
}

TEST_F(FmKlientWindow, OrdersMenuOffersTheContactsAddress)
{
    const int idCust = addClient(me.IdUser);
    const int plain = addContact(idCust, "Смирнова");
    const int mail = addContact(idCust, "Орлов", "o@firm.ru");
    open();

    // An empty list offers nothing.
    emit fm->KlientCard->pmZakaz->aboutToShow();
    EXPECT_EQ(fm->KlientCard->pmZakaz->actions().size(), 2);
    EXPECT_FALSE(fm->KlientCard->miZakazView->isEnabled());

    ASSERT_TRUE(fm->GoToKar(idCust, 0, 0));
    ASSERT_TRUE(dmKl->qryContacts.locate("idContacts", plain));
    emit fm->KlientCard->pmZakaz->aboutToShow();
    EXPECT_EQ(fm->KlientCard->pmZakaz->actions().size(), 2);
    EXPECT_TRUE(fm->KlientCard->miZakazView->isEnabled());

    ASSERT_TRUE(dmKl->qryContacts.locate("idContacts", mail));
    emit fm->KlientCard->pmZakaz->aboutToShow();
    emit fm->KlientCard->pmZakaz->aboutToShow();    // rebuilt, not added twice
    ASSERT_EQ(fm->KlientCard->pmZakaz->actions().size(), 3);
    QAction* address = fm->KlientCard->pmZakaz->actions().last();
    EXPECT_EQ(address->data().toString(), "\"Орлов\"<o@firm.ru>");

    // The item opens the mailing window on this client and adds the order.
    address->trigger();
    ASSERT_TRUE(fmZakaz);
    EXPECT_EQ(fmZakaz->windowTitle(), "Рассылка {Альфа}");
    EXPECT_EQ(fmZakaz->IdCust, idCust);
    EXPECT_EQ(stored(QString("select Email || '|' || idOrderStatus || '|' || idUser from orders where idCust = %1").arg(idCust)),
              QString("\"Орлов\"<o@firm.ru>|0|%1").arg(me.IdUser));
}

// The subject typed in the mailing window's grid for an order made from the
// card is stored once a material is added, whether the card opened the window
// or found it open, with Enter pressed or not.
TEST_F(FmKlientWindow, AnOrdersSubjectTypedInTheGridIsStored)
{
    const int idCust = addClient(me.IdUser);
    addContact(idCust, "Орлов", "o@firm.ru");
    db.execute("update or insert into GrItem (idGrItem, GrItem) values (71, 'Прайсы') matching (idGrItem)");
    db.execute("update or insert into Item (idItem, idGrItem, Item) values (71, 71, 'Прайс-лист') matching (idItem)");
    ASSERT_TRUE(openActive());
    ASSERT_TRUE(fm->GoToKar(idCust, 0, 0));
    for (const bool enter : {true, true, false}) {
        fm->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(fm));
        emit fm->KlientCard->pmZakaz->aboutToShow();
        fm->KlientCard->pmZakaz->actions().last()->trigger();
        ASSERT_TRUE(fmZakaz);
        TfmZakaz* z = fmZakaz;
        z->show();
        z->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(z));
        fw::Query& orders = dmZakaz->qryOrders;
        const int order = orders.fieldByName("IDORDER").asInteger();
        const QString subject = QString("Прайс для Орлова %1").arg(order);

        fw::DBGrid* g = z->dbgOrders;
        QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, g->visualRect(g->model()->index(orders.recNo() - 1, 1)).center());
        QApplication::processEvents();
        for (QChar c : subject) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QApplication::sendEvent(QApplication::focusWidget(), &press);
            QApplication::processEvents();   // the first key opens the cell's editor
        }
        if (enter) QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        ASSERT_TRUE(dmZakaz->qryItem.locate("IDITEM", 71));
        fw::DBGrid* items = z->dbgItem;
        QTest::mouseClick(items->viewport(), Qt::LeftButton, {},
                          items->visualRect(items->model()->index(dmZakaz->qryItem.recNo() - 1, 0)).center());
        QTest::mouseClick(z->tbMatAdd, Qt::LeftButton);
        EXPECT_EQ(stored(QString("select subject from orders where idOrder = %1").arg(order)), subject);
        EXPECT_EQ(count(QString("select count(*) from items where idOrder = %1 and idItem = 71").arg(order)), 1);
    }
    EXPECT_EQ(dialogs.pending(), 0);
}

TEST_F(FmKlientWindow, FiltersOfHistoryAndContacts)
{
    const int idCust = addClient(me.IdUser);
    const int contact = addContact(idCust, "Смирнова");
    open();
    ASSERT_TRUE(fm->GoToKar(idCust, 0, 0));
    fm->mmiOnlyMyRecords->trigger();
    EXPECT_EQ(dmKl->qryHist.filter(), QString("idUser=%1").arg(me.IdUser));
    EXPECT_TRUE(dmKl->qryPlan.filtered());
    fm->mmiOnlyCurContact->trigger();
    EXPECT_EQ(dmKl->qryPlan.filter(), QString("idUser=%1 and idContacts=%2").arg(me.IdUser).arg(contact));
    fm->mmiOnlyMyRecords->trigger();
    EXPECT_EQ(dmKl->qryHist.filter(), QString("idContacts=%1").arg(contact));
    fm->mmiOnlyCurContact->trigger();
    EXPECT_FALSE(dmKl->qryHist.filtered());

    fm->mmiOnlyMyContacts->trigger();
    EXPECT_TRUE(dmKl->qryContacts.filtered());
    EXPECT_EQ(dmKl->qryContacts.filter(), QString("idUser=%1").arg(me.IdUser));
}

TEST_F(FmKlientWindow, NewClientAndLinkedHistory)
{
    UserRights->AddPravo(me.IdUser, 1020);   // the department's history is visible
    open();
    fm->KlientCard->tbNewCust->click();
    EXPECT_EQ(dmKl->qryCust.state(), fw::DataSetState::Insert);
    dmKl->qryCust.fieldByName("Company").setAsString("Гамма");
    fm->KlientCard->tbNewContact->click();     // saves the client first
    EXPECT_EQ(dmKl->qryContacts.state(), fw::DataSetState::Insert);
    dmKl->qryContacts.fieldByName("Contact_Name").setAsString("Белова");
    fm->tsHist->tbAdd->click();        // saves the contact and links the note to it
    dmKl->qryHist.fieldByName("Note").setAsString("Знакомство");
    dmKl->qryHist.post();
    const int idCust = dmKl->qryCust.fieldByName("idCust").asInteger();
    EXPECT_EQ(stored(QString("select c.contact_name from history h join contacts c on c.idContacts = h.idContacts "
                             "where h.idCust = %1").arg(idCust)),
              "Белова");

    // Someone else's row cannot be linked.
    db.execute(QString("update history set idUser = %1 where idCust = %2").arg(colleague.IdUser).arg(idCust));
    dmKl->qryHist.close();
    dmKl->qryHist.open();
    dialogs.expectError("Вы не можете связывать чужую запись!");
    fm->mmiLinkRecord->trigger();
}

// Shift held at login and on "Запрос": only the administrator gets the SQL editor;
// anyone else runs the ordinary search, kept to the clients he may see.
TEST_F(FmKlientWindow, SqlEditorIsArmedForTheAdministratorOnly)
{
    addClient(me.IdUser, "Своя SQL");
    addClient(stranger.IdUser, "Чужая SQL");
    open();
    fm->show();
    fm->pcMain->setCurrentWidget(fm->tsQuery);
    QPushButton* query = fm->KlientQuery->btnZQuery;
    const auto shiftClick = [&] {
        QTest::keyPress(query, Qt::Key_Shift);
        QTest::mouseClick(query, Qt::LeftButton, Qt::ShiftModifier);
        QTest::keyRelease(query, Qt::Key_Shift, Qt::ShiftModifier);
    };
    const auto companies = [] {
        QStringList c;
        for (dmKl->qryCust.first(); !dmKl->qryCust.eof(); dmKl->qryCust.next())
            c << dmKl->qryCust.fieldByName("Company").asString();
        return c.filter(" SQL");
    };
    ShiftPressed = true;
    bool editorShown = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!ModifySQLForm || !ModifySQLForm->isVisible()) return;
        editorShown = true;
        ModifySQLForm->memo->setPlainText("select c.* from Customer c where idUser<>-1");
        ModifySQLForm->btnOK->click();
    });
    watch.start(10);

    shiftClick();
    EXPECT_FALSE(editorShown);
    EXPECT_EQ(companies(), QStringList{"Своя SQL"});

    CurrentUser = {0, 0, "Администратор", "", ""};
    shiftClick();
    EXPECT_TRUE(editorShown);
    EXPECT_EQ(companies().size(), 2);
    ShiftPressed = SqlEditArmed = false;
    delete ModifySQLForm.data();
}

// Opening the lists of the "Информация" page moves them to the client's row;
// only a source the user picks resets the second source.
TEST_F(FmKlientWindow, SecondSourceChangesOnlyWithTheUsersChoice)
{
    for (const char* sql : {"insert into Reklama (idReklama, Reklama) values (71, 'Выставка')",
                            "insert into Reklama (idReklama, Reklama) values (72, 'Журнал')",
                            "insert into Reklama2 (idReklama2, idReklama, Reklama2) values (81, 71, 'Павильон А')",
                            "insert into Reklama2 (idReklama2, idReklama, Reklama2) values (82, 72, 'Весенний номер')"})
        db.execute(sql);
    const int idCust = addClient(me.IdUser);
    db.execute(QString("update Customer set idReklama = 71, idReklama2 = 81 where idCust = %1").arg(idCust));
    open();
    fm->show();
    ASSERT_TRUE(fm->GoToKar(idCust, 0, 0));
    ASSERT_NE(fm->pcDown->currentWidget(), fm->tsInfo);
    QTest::keyClick(fm->KlientCard->dbeCompany, Qt::Key_End);
    QTest::keyClick(fm->KlientCard->dbeCompany, Qt::Key_1);
    ASSERT_EQ(dmKl->qryCust.state(), fw::DataSetState::Edit);
    QTabBar* tabs = fm->pcDown->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(fm->pcDown->indexOf(fm->tsInfo)).center());
    ASSERT_EQ(fm->pcDown->currentWidget(), fm->tsInfo);
    EXPECT_EQ(fm->tsInfo->dblcReklama2->text(), "Павильон А");
    dmKl->qryCust.post();
    EXPECT_EQ(count(QString("select idReklama2 from Customer where idCust = %1").arg(idCust)), 81);

    // Picking the same source keeps the second one; another source resets it.
    fm->tsInfo->dblcReklama->setFocus();
    QTest::keyClick(fm->tsInfo->dblcReklama, Qt::Key_Down);   // "Журнал" follows "Выставка"
    QTest::keyClick(fm->tsInfo->dblcReklama, Qt::Key_Up);
    EXPECT_EQ(dmKl->qryCust.fieldByName("idReklama2").asInteger(), 0);
    dmKl->qryCust.cancel();
    dmKl->qryCust.edit();
    fm->tsInfo->dblcReklama->setCurrentIndex(fm->tsInfo->dblcReklama->currentIndex());
    emit fm->tsInfo->dblcReklama->QComboBox::activated(fm->tsInfo->dblcReklama->currentIndex());
    EXPECT_EQ(dmKl->qryCust.fieldByName("idReklama2").asInteger(), 81);
}

} // namespace

namespace {

// The type of a note is picked in the grid with the mouse or the keyboard.
TEST_F(FmKlientWindow, HistoryTypeIsPickedInTheGrid)
{
    db.execute("insert into HistType (idHistType, HistType) values (7, 'Звонок')");
    db.execute("insert into HistType (idHistType, HistType) values (8, 'Встреча')");
    const int c = addClient(me.IdUser);
    const int h = addHist(c, "+", GetServerDate());
    ASSERT_TRUE(openActive());
    ASSERT_TRUE(fm->GoToKarByName(c, h, 0, "tsHist"));
    fw::DBGrid* g = fm->tsHist->dbg;
    const QRect cell = g->visualRect(g->model()->index(0, 0));
    const auto typeOfNote = [&] {
        return stored(QString("select t.HistType from history h join HistType t on t.idHistType = h.idHistType "
                              "where h.idHist = %1").arg(h));
    };

    // Alt+Down drops the list; the keys of the list pick.
    QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, cell.center());
    auto* combo = qobject_cast<QComboBox*>(QApplication::focusWidget());
    ASSERT_TRUE(combo);
    QTest::keyClick(combo, Qt::Key_Down, Qt::AltModifier);
    QTest::qWait(20);
    ASSERT_TRUE(combo->view()->isVisible());
    combo->view()->setCurrentIndex(combo->model()->index(combo->findText("Встреча"), 0));
    QTest::keyClick(combo->view(), Qt::Key_Return);
    EXPECT_FALSE(combo->view()->isVisible());
    QTest::keyClick(combo, Qt::Key_Return);
    EXPECT_EQ(dmKl->qryHist.recordCount(), 1);
    dmKl->qryHist.post();
    EXPECT_EQ(typeOfNote(), "Встреча");

    // A click on the open editor drops the list too; typing picks by the first letter.
    QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, cell.center());
    combo = qobject_cast<QComboBox*>(QApplication::focusWidget());
    ASSERT_TRUE(combo);
    QTest::mouseClick(combo, Qt::LeftButton, {}, combo->rect().center());
    QTest::qWait(20);
    EXPECT_TRUE(combo->view()->isVisible());
    QTest::keyClick(combo->view(), Qt::Key_Escape);
    QKeyEvent letter(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(QChar(0x0417)));   // "З"
    QApplication::sendEvent(combo, &letter);
    QTest::keyClick(combo, Qt::Key_Return);
    dmKl->qryHist.post();
    EXPECT_EQ(typeOfNote(), "Звонок");
}

// After "На карточку" of a reminder the search page gets back the control that had the focus.
TEST_F(FmKlientWindow, SearchPageKeepsItsFocusAcrossAReminder)
{
    const int c = addClient(me.IdUser);
    addHist(c, "-", GetServerDate().addSecs(-600));
    ASSERT_TRUE(openActive());
    fm->pcMain->setCurrentWidget(fm->tsQuery);
    fm->KlientQuery->edZCity->setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(fm->KlientQuery->edZCity->hasFocus());

    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (fmBudil && fmBudil->isVisible()) fmBudil->tbGoToKar->click();
    });
    poll.start(20);
    fm->StartBudilCheck();
    for (int i = 0; i < 500 && fm->pcMain->currentWidget() != fm->tsKar; ++i) QTest::qWait(20);
    poll.stop();
    ASSERT_EQ(fm->pcMain->currentWidget(), fm->tsKar);
    fm->activateWindow();
    fm->pcMain->setCurrentWidget(fm->tsQuery);
    QApplication::processEvents();
    EXPECT_TRUE(fm->KlientQuery->edZCity->hasFocus());
}


// Tab goes from an edit of the card to the next edit, past the buttons beside them: a
// user who types his e-mail after Tab from the phone finds it in the e-mail edit. The
// buttons still answer the mouse.
TEST_F(FmKlientWindow, TabPassesTheButtonsBesideTheEditsWhichAnswerTheMouse)
{
    Grant({1050});   // edit own contacts
    const int c = addClient(me.IdUser);
    addContact(c, "Смирнова", "", "123-45-67");
    ASSERT_TRUE(openActive());
    ASSERT_TRUE(fm->GoToKar(c, 0, 0));

    QTest::mouseClick(fm->KlientCard->dbeContactPhone, Qt::LeftButton);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), fm->KlientCard->dbeContactEmail);
    QTest::keyClicks(QApplication::focusWidget(), "s@firm.ru");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    dmKl->qryContacts.post();
    EXPECT_EQ(stored(QString("select contact_email from contacts where idCust = %1").arg(c)), "s@firm.ru");

    QTest::mouseClick(fm->KlientCard->dbeFax, Qt::LeftButton);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), fm->KlientCard->dbeWWW);

    for (QToolButton* b : {fm->KlientCard->sbDialPhone, fm->KlientCard->sbMail}) QTest::mouseClick(b, Qt::LeftButton);
    ASSERT_EQ(shell.opened.size(), 2);
    EXPECT_EQ(shell.opened[1], fw::mailtoUrl("Смирнова <s@firm.ru>"));
}

// A reminder that comes due while a dialog of the window asks (the kept detailed-export
// dialog, the column choice after it) waits for it: no reminder stands over the dialog,
// whose buttons answer the mouse, and the postponed check shows it afterwards.
TEST_F(FmKlientWindow, ReminderWaitsWhileADialogOfTheWindowIsOpen)
{
    const int c = addClient(me.IdUser);
    addHist(c, "-", GetServerDate().addSecs(-600));
    ASSERT_TRUE(openActive());
    ASSERT_TRUE(fm->GoToKar(c, 0, 0));
    const auto reminderShown = [] { return fmBudil && fmBudil->isVisible(); };
    bool overDialog = false;

    testing_support::whenShown<TfmExpKlDetal>([&](TfmExpKlDetal* d) {
        // The check started just before the dialog opened ends while it is open.
        for (int i = 0; i < 500 && fm->BudilCheck->BudilRunning() && !reminderShown(); ++i) QTest::qWait(10);
        overDialog = reminderShown();
        if (overDialog) fmBudil->reject();
        // A tick while it is open puts the check off.
        fm->StartBudilCheck();
        EXPECT_FALSE(fm->BudilCheck->BudilRunning());
        EXPECT_EQ(dmKl->tmrBudil.interval(), 3000);
        const QString dir = qEnvironmentVariable("BRONTAL_SHOTS");
        if (!dir.isEmpty()) d->grab().save(QDir(dir).filePath("detailed-export-open.png"));
        testing_support::whenShown<TSelectColumnForm>([&](TSelectColumnForm* columns) {
            fm->StartBudilCheck();
            EXPECT_FALSE(fm->BudilCheck->BudilRunning());
            QTest::mouseClick(columns->btnCancel, Qt::LeftButton);
        });
        QTest::mouseClick(d->btnOK, Qt::LeftButton);
    });
    fm->StartBudilCheck();
    fm->mmiExpDetal->trigger();
    EXPECT_FALSE(overDialog) << "the reminder stood over the dialog";
    EXPECT_FALSE(fmExpKlDetal->isVisible());

    // The next tick after the dialogs closed shows the reminder.
    QSignalSpy ended(fm->BudilCheck, &TBudilCheck::finished);
    QTimer poll;
    bool shown = false;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!reminderShown()) return;
        shown = true;
        fmBudil->reject();
    });
    poll.start(20);
    fm->StartBudilCheck();
    ASSERT_TRUE(ended.wait(15000));
    EXPECT_TRUE(shown);
    EXPECT_EQ(dmKl->tmrBudil.interval(), 300000);
}

// Narrowed or lowered, the card scrolls instead of crushing its fields: the edits and the
// sub-pages keep a readable size, and the card page itself stays the page of its tab.
TEST_F(FmKlientWindow, NarrowCardScrollsAndKeepsItsFieldsReadable)
{
    Grant({1050});   // edit own contacts
    const int c = addClient(me.IdUser, "Альфа и партнёры");
    addContact(c, "Смирнова Анна", "anna@alfa.ru", "+7 495 123-45-67");
    open();
    fm->show();
    ASSERT_TRUE(fm->GoToKar(c, 0, 0, nullptr));
    EXPECT_EQ(fm->pcMain->currentWidget(), fm->tsKar);
    QApplication::processEvents();
    const QString dir = qEnvironmentVariable("BRONTAL_SHOTS");
    if (!dir.isEmpty()) fm->grab().save(QDir(dir).filePath("card-wide.png"));

    fm->resize(420, 300);
    QApplication::processEvents();
    if (!dir.isEmpty()) fm->grab().save(QDir(dir).filePath("card-narrow.png"));
    const QFontMetrics fmx(fm->KlientCard->dbeCompany->font());
    const int readable = fmx.horizontalAdvance("Альфа и партнёры");
    for (QWidget* edit : std::initializer_list<QWidget*>{fm->KlientCard->dbeCompany, fm->KlientCard->dbeAddress, fm->KlientCard->dbeCity, fm->KlientCard->dbeFax,
                                                          fm->KlientCard->dbeWWW, fm->KlientCard->dbeContactName, fm->KlientCard->dbeContactPhone,
                                                          fm->KlientCard->dbeContactEmail})
        EXPECT_GE(edit->width(), readable) << edit->objectName().toStdString();
    EXPECT_GE(fm->pcDown->height(), 150);
    auto* scroll = fm->tsKar->findChild<QScrollArea*>("scrlboxKar");
    ASSERT_NE(scroll, nullptr);
    EXPECT_TRUE(scroll->horizontalScrollBar()->isVisible());

    // A field out of sight is scrolled to, clicked and typed into.
    scroll->ensureWidgetVisible(fm->KlientCard->dbeContactEmail);
    QApplication::processEvents();
    const QRect seen(fm->KlientCard->dbeContactEmail->mapTo(scroll->viewport(), QPoint(0, 0)), fm->KlientCard->dbeContactEmail->size());
    EXPECT_TRUE(scroll->viewport()->rect().contains(seen));
    if (!dir.isEmpty()) fm->grab().save(QDir(dir).filePath("card-narrow-scrolled.png"));
    QTest::mouseClick(fm->KlientCard->dbeContactEmail, Qt::LeftButton);
    fm->KlientCard->dbeContactEmail->selectAll();
    QTest::keyClicks(fm->KlientCard->dbeContactEmail, "a.smirnova@alfa.ru");
    QTest::keyClick(fm->KlientCard->dbeContactEmail, Qt::Key_Tab);
    dmKl->qryContacts.post();
    EXPECT_EQ(stored(QString("select contact_email from contacts where idCust = %1").arg(c)), "a.smirnova@alfa.ru");

    // Wide again, no scroll bars remain.
    fm->resize(1100, 720);
    QApplication::processEvents();
    EXPECT_FALSE(scroll->horizontalScrollBar()->isVisible());
    EXPECT_FALSE(scroll->verticalScrollBar()->isVisible());
    EXPECT_EQ(fm->pcMain->currentWidget(), fm->tsKar);
}

} // namespace
