#include "core/CoreFixture.h"

#include "core/ModuleWindows.h"
#include "core/Users.h"
#include "deals/dmZakaz.h"
#include "deals/fmZakaz.h"

#include "widgets/DBGrid.h"
#include "widgets/DBLookupCombo.h"
#include "core/schema/Schema.h"
#include "support/LoopbackSocket.h"
#include "support/TcpProxy.h"
#include "support/TestDatabase.h"
#include "widgets/ScriptedDialogs.h"

#include <QApplication>
#include <QLineEdit>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

#include <memory>
#include <random>

namespace {

using testing_support::LoopbackSocket;
using testing_support::freePort;

// The mail sink of the test run: its port and the folder it stores messages in.
int sinkPort()
{
    return qEnvironmentVariableIntValue("BRONTAL_SMTP_PORT");
}
QString sinkDir()
{
    return qEnvironmentVariable("BRONTAL_SMTP_DIR");
}

// The stored messages (file name order) whose envelope names token, parsed by
// Python's email package: envelope, headers, body text and attachment names.
QJsonArray storedMessages(const QString& token)
{
    static const char* script = R"(
import sys, os, json, email, email.policy
folder, token = sys.argv[1], sys.argv[2]
out = []
for name in sorted(os.listdir(folder)):
    with open(os.path.join(folder, name), "rb") as f:
        m = email.message_from_binary_file(f, policy=email.policy.default)
    if token not in str(m["X-Envelope-To"]):
        continue
    body, files = "", []
    for p in m.walk():
        if p.is_multipart():
            continue
        if p.get_content_disposition() == "attachment":
            files.append(p.get_filename())
        else:
            body = p.get_content()
    out.append({"rcpt": str(m["X-Envelope-To"]), "mailfrom": str(m["X-Envelope-From"]), "from": str(m["from"]),
                "to": str(m["to"]),
                "subject": str(m["subject"]), "body": body, "files": files})
print(json.dumps(out))
)";
    QProcess p;
    p.start("/usr/bin/python3", {"-c", script, sinkDir(), token});
    p.waitForFinished();
    return QJsonDocument::fromJson(p.readAllStandardOutput()).array();
}

QStringList subjects(const QJsonArray& msgs)
{
    QStringList s;
    for (const QJsonValue& m : msgs) s << m["subject"].toString();
    return s;
}

// The departments, users, rights, clients and materials of the tests; the
// material files are looked for in folder.
void SeedReferences(fw::Database& d, const QString& folder)
{
    for (const QString& sql : {
             QString("insert into OTDEL (IDOTDEL, OTDEL) values (1, 'Продажи')"),
             QString("insert into OTDEL (IDOTDEL, OTDEL) values (2, 'Склад')"),
             QString("insert into USERS (IDUSER, IDOTDEL, NAME) values (10, 1, 'Иванов')"),
             QString("insert into USERS (IDUSER, IDOTDEL, NAME, EMAIL) values (11, 1, 'Петров', "
                     "'petrov@firm.ru')"),
             QString("insert into USERS (IDUSER, IDOTDEL, NAME) values (12, 2, 'Сидоров')"),
             QString("insert into PRAVA (IDPRAVA, IDUSER, IDPRAVO) values (1001, 10, 1017)"),
             QString("insert into PRAVA (IDPRAVA, IDUSER, IDPRAVO) values (1002, 10, 1018)"),
             QString("insert into PRAVA (IDPRAVA, IDUSER, IDPRAVO) values (1003, 10, 1020)"),
             QString("insert into CUSTOMER (IDCUST, IDUSER, COMPANY) values (1, 10, 'Ромашка')"),
             QString("insert into CUSTOMER (IDCUST, IDUSER, COMPANY) values (2, 11, 'Лютик')"),
             QString("insert into GRITEM (IDGRITEM, GRITEM) values (1, 'Прайсы')"),
             QString("insert into GRITEM (IDGRITEM, GRITEM) values (2, 'Буклеты')"),
             QString("insert into ITEM (IDITEM, IDGRITEM, ITEM) values (1, 1, 'Прайс')"),
             QString("insert into ITEM (IDITEM, IDGRITEM, ITEM) values (2, 2, 'Буклет')"),
             QString("insert into ITEM (IDITEM, IDGRITEM, ITEM) values (3, 1, 'Пустой')"),
             QString("insert into ITEMPATH (IDPATH, IDITEM, PATH) values (51, 1, '%1')")
                 .arg(folder + "/price*.txt"),
             QString("insert into ITEMPATH (IDPATH, IDITEM, PATH) values (52, 2, '%1')")
                 .arg(folder + "/booklet.pdf"),
             QString("insert into ITEMPATH (IDPATH, IDITEM, PATH) values (53, 3, '%1')")
                 .arg(folder + "/none*.xyz"),
         })
        d.execute(sql);
}

// The orders every test starts from, addressed to this run only (token); the
// sending settings point at port.
void SeedOrders(fw::Database& db, const QString& token, int port)
{
    for (const QString& sql : {
             QString("delete from ORDERS"),
             QString("update USERS set EMAIL = 'ivanov@firm.ru' where IDUSER = 10"),
             QString("update VER set HOSTTEST = '127.0.0.1', PORTTEST = %1, SUBJTEST = 'Приглашение', "
                     "BODYTEST = '', HOSTINFO = '127.0.0.1', PORTINFO = %1, BODYINFO = 'Материалы во вложении'")
                 .arg(port),
             QString("insert into ORDERS (IDORDER, IDUSER, IDCUST, EMAIL, SUBJECT, DATECR, IDORDERSTATUS) "
                     "values (101, 10, 1, '\"Анна\"<anna-%1@example.ru>', 'Прайс-лист', '05.03.2024', 0)")
                 .arg(token),
             QString("insert into ORDERS (IDORDER, IDUSER, IDCUST, EMAIL, SUBJECT, DATECR, IDORDERSTATUS) "
                     "values (102, 10, 2, 'boris-%1@example.ru', 'Буклет', '04.03.2024', 1)")
                 .arg(token),
             QString("insert into ORDERS (IDORDER, IDUSER, IDCUST, EMAIL, SUBJECT, DATECR, IDORDERSTATUS) "
                     "values (103, 11, 1, 'vera-%1@example.ru', 'Чужой', '03.03.2024', 0)")
                 .arg(token),
             QString("insert into ORDERS (IDORDER, IDUSER, IDCUST, EMAIL, SUBJECT, DATECR, IDORDERSTATUS) "
                     "values (104, 12, 2, 'gleb-%1@example.ru', 'Склад', '02.03.2024', 0)")
                 .arg(token),
             QString("insert into ITEMS (IDITEMS, IDORDER, IDITEM) values (201, 101, 1)"),
             QString("insert into ITEMS (IDITEMS, IDORDER, IDITEM) values (202, 102, 2)"),
         })
        db.execute(sql);
}

// User 10 logged in, and the mailing window listing the orders of all clients.
std::unique_ptr<TfmZakaz> LogInAndOpenTheWindow()
{
    UserRights = new TUsers;
    EXPECT_TRUE(UserRights->GetUser(10, CurrentUser));
    dm->qryMain.open();
    dm->qryUser.open();
    auto w = std::make_unique<TfmZakaz>();
    fmZakaz = w.get();
    w->IdCust = 0;
    w->OpenOrders(-1);
    return w;
}

void CloseTheWindowAndLogOut(std::unique_ptr<TfmZakaz>& w)
{
    w.reset();
    delete UserRights;
    UserRights = nullptr;
    CurrentUser = {};
}

class Mailing : public CoreDatabaseTest {
protected:
    static void SetUpTestSuite()
    {
        CoreDatabaseTest::SetUpTestSuite();
        files_ = new QTemporaryDir;
        for (const char* name : {"price1.txt", "price3.txt", "price2.txt", "other.doc", "booklet.pdf"}) {
            QFile f(files_->filePath(name));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(QByteArray("content of ") + name);
        }
        QDir(files_->path()).mkdir("price4.txt");   // a folder is no file to send

        fw::Database d;
        d.setParams(params());
        d.connect();
        SeedReferences(d, files_->path());
        d.disconnect();
    }
    static void TearDownTestSuite()
    {
        delete files_;
        files_ = nullptr;
        CoreDatabaseTest::TearDownTestSuite();
    }

    void SetUp() override
    {
        CoreDatabaseTest::SetUp();
        // Every test starts from the same orders, addressed to this run only.
        static int run = 0;
        token = QString("z%1n%2").arg(QCoreApplication::applicationPid()).arg(++run);
        SeedOrders(db, token, sinkPort() > 0 ? sinkPort() : freePort());
        w = LogInAndOpenTheWindow();
    }
    void TearDown() override
    {
        CloseTheWindowAndLogOut(w);
        CoreDatabaseTest::TearDown();
    }

    fw::Query& Orders() const { return dmZakaz->qryOrders; }
    QList<int> Listed() const
    {
        QList<int> ids;
        const fw::Field& id = Orders().fieldByName("IDORDER");
        for (int r = 0; r < Orders().rowCount(); ++r) ids << Orders().valueAt(r, id).asInt();
        return ids;
    }
    void Select(int idOrder) { ASSERT_TRUE(Orders().locate("IDORDER", idOrder)); }
    // The order's status as the database has it now.
    int Status(int idOrder)
    {
        fw::Query q(&db);
        q.setSql({"select IDORDERSTATUS from ORDERS where IDORDER = " + QString::number(idOrder)});
        q.open();
        return q.field(0).asInteger();
    }
    QStringList Paths() const
    {
        QStringList p;
        for (int i = 0; i < w->lbPath->count(); ++i) p << QFileInfo(w->lbPath->item(i)->text()).fileName();
        return p;
    }
    bool HaveSink() const { return sinkPort() > 0 && QDir(sinkDir()).exists(); }

    static QTemporaryDir* files_;
    QString token;
    fw::ScriptedDialogs dialogs;
    std::unique_ptr<TfmZakaz> w;
};
QTemporaryDir* Mailing::files_ = nullptr;

#define REQUIRE_SINK()                                                                                    \
    if (!HaveSink()) GTEST_SKIP() << "no mail sink (BRONTAL_SMTP_PORT, BRONTAL_SMTP_DIR)"

TEST_F(Mailing, OrdersListByClientOwnerAndStatus)
{
    // From the main menu with "Только свои" checked: exactly four lines.
    EXPECT_TRUE(w->cbOrdersMy->isChecked());
    EXPECT_EQ(Orders().sql(), QStringList({"select * from orders where idOrder is not null", "and idUser=10",
                                           "and idUser in (select idUser from Users where idOtdel=1)",
                                           "order by DateCr desc"}));
    EXPECT_EQ(Listed(), QList<int>({101, 102}));
    EXPECT_EQ(Orders().fieldByName("User").asString(), "Иванов");
    dialogs.expectWarning("Модуль Клиенты не открыт!");
    w->tbGoToKar->click();

    // All of the department; the other department's order stays hidden.
    w->cbOrdersMy->click();
    EXPECT_EQ(Listed(), QList<int>({101, 102, 103}));
    w->OpenOrders(0);
    EXPECT_EQ(Listed(), QList<int>({101, 103}));
    w->IdCust = 2;
    w->OpenOrders(1);
    EXPECT_EQ(Orders().sql().mid(1),
              QStringList({"and idCust=2", "and idUser in (select idUser from Users where idOtdel=1)",
                           "and idOrderStatus=1", "order by DateCr desc"}));
    EXPECT_EQ(Listed(), QList<int>({102}));
    EXPECT_EQ(Orders().fieldByName("OrderStatus").asString(), "тест");
    // The order's materials follow it.
    EXPECT_EQ(dmZakaz->qryItems.fieldByName("Item").asString(), "Буклет");
    EXPECT_EQ(Paths(), QStringList({"booklet.pdf"}));
}

TEST_F(Mailing, MaterialsAreAddedWithTheirFilesAndRemoved)
{
    // The group list filters the materials; Esc shows them all again.
    w->dblcGrItem->setKeyValue(1);
    w->dblcGrItem->click();
    EXPECT_EQ(dmZakaz->qryItem.recordCount(), 2);
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(w->dblcGrItem, &esc);
    EXPECT_EQ(dmZakaz->qryItem.filter(), "");
    EXPECT_EQ(dmZakaz->qryItem.recordCount(), 3);

    // Files of a mask in name order, no folder; a mask matching nothing adds nothing.
    Select(101);
    EXPECT_EQ(Paths(), QStringList({"price1.txt", "price2.txt", "price3.txt"}));
    Select(102);
    ASSERT_TRUE(dmZakaz->qryItem.locate("IDITEM", 1));
    w->tbMatAdd->click();
    EXPECT_EQ(dmZakaz->qryItems.recordCount(), 2);
    EXPECT_EQ(dmZakaz->qryItems.fieldByName("Item").asString(), "Прайс");
    EXPECT_EQ(Paths().size(), 3);
    ASSERT_TRUE(dmZakaz->qryItem.locate("IDITEM", 3));
    w->tbMatAdd->click();
    EXPECT_TRUE(Paths().isEmpty());
    {
        fw::Query q(&db);
        q.setSql({"select IDITEM from ITEMS where IDORDER = 102 order by IDITEM"});
        q.open();
        QList<int> items;
        for (; !q.eof(); q.next()) items << q.field(0).asInteger();
        EXPECT_EQ(items, QList<int>({1, 2, 3}));
    }
    // Deleting a material asks nothing.
    w->tbMatDel->click();
    EXPECT_EQ(dmZakaz->qryItems.recordCount(), 2);

    // Another curator's order of the department: no edit right.
    w->cbOrdersMy->click();
    Select(103);
    dialogs.expectError("У Вас нет права редактировать записи пользователей своего отдела!");
    w->tbMatAdd->click();
    EXPECT_TRUE(dmZakaz->qryItems.isEmpty());
}

TEST_F(Mailing, OrdersAreDeletedOnConfirmationAndNeverAddedFromTheGrid)
{
    w->show();
    QApplication::setActiveWindow(w.get());
    w->dbgOrders->setFocus();
    ASSERT_TRUE(w->dbgOrders->hasFocus());
    EXPECT_THROW(Orders().append(), fw::Abort);
    for (int key : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Insert, Qt::Key_Return}) {
        QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(w->dbgOrders, &e);
    }
    EXPECT_EQ(Listed(), QList<int>({101, 102}));
    EXPECT_EQ(Orders().state(), fw::DataSetState::Browse);

    Select(101);
    dialogs.expectConfirm(false, "Удалить запись?").expectConfirm(true, "Удалить запись?");
    w->tbOrderDel->click();
    EXPECT_EQ(Listed(), QList<int>({101, 102}));
    w->tbOrderDel->click();
    EXPECT_EQ(Listed(), QList<int>({102}));
    fw::Query q(&db);
    q.setSql({"select count(*) from ITEMS where IDORDER = 101"});
    q.open();
    EXPECT_EQ(q.field(0).asInteger(), 0);
}

TEST_F(Mailing, TestLetterGoesToTheOrderAddressAndMarksIt)
{
    REQUIRE_SINK();
    Select(101);
    w->tbSendTest->click();
    const QJsonArray msgs = storedMessages(token);
    ASSERT_EQ(msgs.size(), 1);
    const QJsonObject m = msgs[0].toObject();
    EXPECT_EQ(m["rcpt"].toString(), "anna-" + token + "@example.ru");
    EXPECT_EQ(m["to"].toString(), "Анна <anna-" + token + "@example.ru>");   // the display name is kept
    EXPECT_EQ(m["mailfrom"].toString(), "ivanov@firm.ru");
    EXPECT_EQ(m["from"].toString(), "Иванов <ivanov@firm.ru>");
    EXPECT_EQ(m["subject"].toString(), "Приглашение");
    EXPECT_EQ(m["body"].toString(), " ");   // an empty test body is sent as one blank
    EXPECT_TRUE(m["files"].toArray().isEmpty());

    EXPECT_EQ(Status(101), 1);
    EXPECT_EQ(Orders().fieldByName("IDORDERSTATUS").asInteger(), 1);
    EXPECT_EQ(w->lblStatus->text(), "Отправка завершена");
    EXPECT_FALSE(SendingMail);
    EXPECT_FALSE(w->Sending());
    EXPECT_TRUE(w->pnlTop->isEnabled());
    EXPECT_TRUE(w->pnlOrders->isEnabled());
}

TEST_F(Mailing, MaterialSendsOneLetterPerFileAndTheOrderIsMarkedSent)
{
    REQUIRE_SINK();
    Select(101);
    // The material alone leaves the status as it is.
    w->tbSendMaterial->click();
    QJsonArray msgs = storedMessages(token);
    const QStringList expected{"Прайс-лист //Прайс (1 of 3)", "Прайс-лист //Прайс (2 of 3)",
                               "Прайс-лист //Прайс (3 of 3)"};
    EXPECT_EQ(subjects(msgs), expected);
    ASSERT_EQ(msgs.size(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(msgs[i].toObject()["files"].toArray(), QJsonArray({QString("price%1.txt").arg(i + 1)}));
        EXPECT_EQ(msgs[i].toObject()["body"].toString(), "Материалы во вложении");
    }
    EXPECT_EQ(Status(101), 0);

    // "Отправить файл" without a chosen file says so and sends nothing.
    w->lbPath->setCurrentRow(-1);
    dialogs.expectWarning("Выберите файл в списке файлов материала!");
    w->tbSendFile->click();
    EXPECT_EQ(storedMessages(token).size(), 3);

    // One file of the list.
    w->lbPath->setCurrentRow(1);
    w->tbSendFile->click();
    msgs = storedMessages(token);
    ASSERT_EQ(msgs.size(), 4);
    EXPECT_EQ(msgs[3].toObject()["subject"].toString(), "Прайс-лист /Прайс");
    EXPECT_EQ(msgs[3].toObject()["files"].toArray(), QJsonArray({"price2.txt"}));
    EXPECT_EQ(Status(101), 0);

    w->tbSendZakaz->click();
    EXPECT_EQ(subjects(storedMessages(token)).mid(4), expected);
    EXPECT_EQ(Status(101), 2);
}

TEST_F(Mailing, FailedSendsLeaveTheStatusAsItWas)
{
    fw::Query& ver = dm->qryMain;
    ver.edit();
    ver.fieldByName("PORTTEST").setAsInteger(freePort());
    ver.post();
    Select(101);
    dialogs.expectError();
    w->tbSendTest->click();
    ASSERT_EQ(dialogs.shown().size(), 1);
    EXPECT_TRUE(dialogs.shown()[0].text.startsWith("Ошибка подключения к серверу")) << dialogs.shown()[0].text.toStdString();
    EXPECT_EQ(w->lblStatus->text(), "Ошибка подключения к серверу!");
    EXPECT_EQ(Status(101), 0);
    EXPECT_FALSE(SendingMail);
    EXPECT_TRUE(w->pnlTop->isEnabled());

    // Without the curator's own address nothing is sent.
    db.execute("update USERS set EMAIL = '' where IDUSER = 10");
    dialogs.expectWarning("Отправка невозможна!\nНе указан обратный e-mail пользователя - Иванов\n"
                          "Зайдите в личные настройки и укажите его!");
    w->tbSendTest->click();
    EXPECT_EQ(Status(101), 0);
    EXPECT_FALSE(SendingMail);
}

// A material without files sends no letter, yet its order counts as sent:
// alone, and in the middle of a batch that goes on past it.
TEST_F(Mailing, AnOrderWhoseMaterialHasNoFilesIsMarkedSentAndTheBatchGoesOn)
{
    Select(101);
    ASSERT_TRUE(dmZakaz->qryItem.locate("IDITEM", 3));
    w->tbMatAdd->click();
    dmZakaz->qryItems.first();
    w->tbMatDel->click();   // only the empty material is left
    EXPECT_EQ(dmZakaz->qryItems.fieldByName("Item").asString(), "Пустой");
    w->tbSendZakaz->click();
    EXPECT_EQ(Status(101), 2);
    EXPECT_EQ(dialogs.shown().size(), 0);

    REQUIRE_SINK();
    EXPECT_TRUE(storedMessages(token).isEmpty());
    db.execute("update ORDERS set IDORDERSTATUS = 1 where IDORDER = 101");
    db.execute("update ITEMS set IDITEM = 1 where IDORDER = 101");
    db.execute("update ITEMS set IDITEM = 3 where IDORDER = 102");
    db.execute(QString("insert into ORDERS (IDORDER, IDUSER, IDCUST, EMAIL, SUBJECT, DATECR, IDORDERSTATUS) "
                       "values (105, 10, 2, 'dina-%1@example.ru', 'Каталог', '01.03.2024', 1)")
                   .arg(token));
    db.execute("insert into ITEMS (IDITEMS, IDORDER, IDITEM) values (205, 105, 2)");
    w->tbSendZakazes->click();
    const QJsonArray msgs = storedMessages(token);
    EXPECT_EQ(subjects(msgs), QStringList({"Прайс-лист //Прайс (1 of 3)", "Прайс-лист //Прайс (2 of 3)",
                                           "Прайс-лист //Прайс (3 of 3)", "Каталог //Буклет (1 of 1)"}));
    for (const QJsonValue& m : msgs) EXPECT_FALSE(m["rcpt"].toString().startsWith("boris")) << m["rcpt"].toString().toStdString();
    for (int id : {101, 102, 105}) EXPECT_EQ(Status(id), 2) << id;
    EXPECT_EQ(dialogs.shown().size(), 0);
    EXPECT_EQ(Listed(), QList<int>({105, 102, 101}));   // the last sent comes first
    EXPECT_FALSE(SendingMail);
}

TEST_F(Mailing, ClosingOrDestroyingTheWindowCutsATransfer)
{
    LoopbackSocket silent(true);
    db.execute("update VER set PORTTEST = " + QString::number(silent.port));
    dm->qryMain.refresh();
    Select(101);

    // Closing waits for the transfer to be cut, then the window goes.
    QPointer<TfmZakaz> p = w.release();
    bool sendingWhenClosed = false;
    QTimer::singleShot(200, p, [&] {
        sendingWhenClosed = p->Sending();
        p->close();
    });
    p->tbSendTest->click();
    EXPECT_TRUE(sendingWhenClosed);
    EXPECT_FALSE(SendingMail);
    for (int i = 0; i < 100 && p; ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    EXPECT_TRUE(p.isNull());
    EXPECT_TRUE(fmZakaz.isNull());
    EXPECT_EQ(Status(101), 0);

    // Destroyed in the middle of a transfer: nothing is touched afterwards.
    p = new TfmZakaz;
    p->OpenOrders(-1);
    QTimer::singleShot(200, p, [&] { delete p; });
    p->tbSendTest->click();
    EXPECT_TRUE(p.isNull());
    EXPECT_EQ(dmZakaz, nullptr);
    EXPECT_FALSE(SendingMail);
    EXPECT_EQ(Status(101), 0);
}

TEST_F(Mailing, BatchOfTestsStopsAtTheOrderWithoutEditRight)
{
    // Nothing of status 0 among the user's own orders but 101; with the
    // department's, 103 of another curator comes after it and stops the batch.
    w->cbOrdersMy->click();
    if (HaveSink()) {
        dialogs.expectError("У Вас нет права редактировать записи пользователей своего отдела!");
        w->tbSendTests->click();
        EXPECT_EQ(subjects(storedMessages(token)), QStringList({"Приглашение"}));
        EXPECT_EQ(Status(101), 1);
        EXPECT_EQ(Status(103), 0);
        EXPECT_EQ(Listed(), QList<int>({101, 102, 103}));
        EXPECT_FALSE(SendingMail);
    }

    // No order of status 0 left that the user may see: nothing is sent, all are listed.
    db.execute("update ORDERS set IDORDERSTATUS = 2 where IDORDER in (101, 103)");
    w->tbSendTests->click();
    EXPECT_EQ(Orders().sql().size(), 3);
    EXPECT_EQ(Listed(), QList<int>({101, 102, 103}));
    EXPECT_EQ(dialogs.pending(), 0);
}

TEST_F(Mailing, MainWindowHooksOpenAllClientsAndWatchTheSending)
{
    w.reset();
    EXPECT_TRUE(fmZakaz.isNull());
    EXPECT_EQ(dmZakaz, nullptr);
    RegisterZakazModule();
    TModuleWindows& m = ModuleWindows();
    ASSERT_TRUE(bool(m.Zakaz));
    EXPECT_EQ(m.Zakaz.window(), nullptr);
    QWidget* created = m.Zakaz.create(nullptr);
    std::unique_ptr<QWidget> owner(created);
    ASSERT_EQ(m.Zakaz.window(), created);
    fmZakaz->IdCust = 1;
    m.ZakazOpenAll(created);
    EXPECT_EQ(fmZakaz->IdCust, 0);
    EXPECT_FALSE(m.ZakazSending());
    ASSERT_NE(dmZakaz, nullptr);
    EXPECT_EQ(dmZakaz->qryOrders.recordCount(), 2);

    if (!qEnvironmentVariableIsEmpty("BRONTAL_SCREENSHOT_DIR")) {
        created->show();
        dmZakaz->qryOrders.first();
        QApplication::processEvents();
        created->grab().save(QDir(qEnvironmentVariable("BRONTAL_SCREENSHOT_DIR")).filePath("fmZakaz.png"));
    }
    owner.reset();
    EXPECT_TRUE(fmZakaz.isNull());
    m.Zakaz = {};
    m.ZakazSending = nullptr;
    m.ZakazOpenAll = nullptr;
}

// A material added in the reference lists while the window is open shows up
// when the user comes back to the window, and an order takes it with its name.
TEST_F(Mailing, MaterialsAddedMeanwhileAppearWithTheirNames)
{
    w->show();
    QLineEdit elsewhere;
    elsewhere.show();
    QApplication::setActiveWindow(&elsewhere);
    elsewhere.setFocus();
    db.execute("insert into ITEM (IDITEM, IDGRITEM, ITEM) values (4, 2, 'Каталог')");
    QApplication::setActiveWindow(w.get());
    w->dbgItem->setFocus();
    ASSERT_TRUE(dmZakaz->qryItem.locate("IDITEM", 4));
    Select(102);
    w->tbMatAdd->click();
    EXPECT_EQ(dmZakaz->qryItems.fieldByName("Item").asString(), "Каталог");
    db.execute("delete from ITEMS where IDITEM = 4");
    db.execute("delete from ITEM where IDITEM = 4");
}

// The mailing window on the database server, reached through a proxy that can
// cut the connection between a letter going out and whatever comes next. Four
// orders of the user wait for their material, one letter each.
class MailingOnServer : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (testing_support::serverHost().isEmpty()) GTEST_SKIP() << "no Firebird server for this run";
        if (sinkPort() <= 0 || !QDir(sinkDir()).exists()) GTEST_SKIP() << "no mail sink";
        params = testing_support::createServerDatabase("mailing");
        static int run = 0;
        token = QString("s%1n%2").arg(QCoreApplication::applicationPid()).arg(++run);
        QFile booklet(files.filePath("booklet.pdf"));
        ASSERT_TRUE(booklet.open(QIODevice::WriteOnly));
        booklet.write("booklet");
        booklet.close();
        {
            fw::Database d(params);
            d.connect();
            schema::createObjects(d);
            SeedReferences(d, files.path());
            SeedOrders(d, token, sinkPort());
            d.execute("update ORDERS set IDORDERSTATUS = 1, IDUSER = 10");
            d.execute("delete from ITEMS");
            for (int id : {101, 102, 103, 104})
                d.execute(QString("insert into ITEMS (IDITEMS, IDORDER, IDITEM) values (%1, %2, 2)").arg(id + 100).arg(id));
        }
        proxy = std::make_unique<testing_support::TcpProxy>(3050);
        fw::ConnectParams viaProxy = params;
        viaProxy.path = QString("127.0.0.1/%1:%2").arg(proxy->port()).arg(params.path.mid(params.path.indexOf(':') + 1));
        dm = new Tdm;
        dm->db.beforeConnect = nullptr;
        dm->db.setParams(viaProxy);
        dm->db.connect();
        dmUsers = new TdmUsers;
        w = LogInAndOpenTheWindow();
    }
    void TearDown() override
    {
        if (!proxy) return;
        CloseTheWindowAndLogOut(w);
        delete dmUsers;
        delete dm;
        dm = nullptr;
        proxy.reset();
        fw::Database d(params);
        d.connect();
        d.drop();
    }
    // The orders' statuses as the server has them, read past the proxy.
    QList<int> Statuses()
    {
        fw::Database d(params);
        d.connect();
        QList<int> s;
        for (int id : {101, 102, 103, 104})
            s << d.selectValue("select IDORDERSTATUS from ORDERS where IDORDER = " + QString::number(id)).asInt();
        return s;
    }
    QStringList Recipients()
    {
        QStringList r;
        for (const QJsonValue& m : storedMessages(token)) r << m["rcpt"].toString().section('-', 0, 0);
        return r;
    }
    int Listed() const { return dmZakaz->qryOrders.active() ? dmZakaz->qryOrders.rowCount() : 0; }
    // Cuts the connection to the server once the server has taken the n-th
    // letter from now on; restore: the server is back at once.
    void CutAfterLetter(int n, bool restore = true)
    {
        auto count = std::make_shared<int>(0);
        auto once = std::make_shared<QMetaObject::Connection>();
        *once = QObject::connect(&dmZakaz->Smtp, &fw::SmtpClient::succeeded, [this, count, once, n, restore] {
            if (++*count < n) return;
            QObject::disconnect(*once);
            proxy->cut();
            if (restore) proxy->restore();
        });
    }
    // An order as the messages name it: its address as typed, and its subject.
    QString Order(const char* name, const char* subject) const
    {
        const QString address = QString("%1-%2@example.ru").arg(name, token);
        return (QString(name) == "anna" ? "\"Анна\"<" + address + ">" : address) + ", тема «" + subject + "»";
    }

    // The connection lost right after the server took letter 2 of 4: one offer
    // to connect again, naming what went out; whichever way the user goes on,
    // every address gets its letter once and every order ends sent.
    void LoseTheConnectionAfterLetterTwo(bool reconnect)
    {
        CutAfterLetter(2);
        dialogs.expectConfirm(reconnect);
        w->tbSendZakazes->click();
        ASSERT_EQ(dialogs.shown().size(), 1);
        const QString told = dialogs.shown()[0].text;
        EXPECT_TRUE(told.startsWith("Соединение с сервером базы данных потеряно.")) << told.toStdString();
        EXPECT_TRUE(told.contains("Отправлены заказы, их статус записан:\n" + Order("anna", "Прайс-лист") + "\n"
                                  + Order("boris", "Буклет") + "\n\nОстальные заказы не отправлены."))
            << told.toStdString();
        EXPECT_TRUE(told.endsWith("Подключиться к серверу заново?"));
        EXPECT_EQ(Recipients(), QStringList({"anna", "boris"}));
        EXPECT_EQ(Statuses(), QList<int>({2, 2, 1, 1}));
        EXPECT_FALSE(SendingMail);
        EXPECT_TRUE(w->pnlTop->isEnabled());
        // Connected again, the list shows every order as it is now; declined, as it was,
        // and coming back to the window asks nothing more.
        EXPECT_EQ(dm->db.connected(), reconnect);
        EXPECT_EQ(Listed(), 4);
        w->show();
        QLineEdit elsewhere;
        elsewhere.show();
        QApplication::setActiveWindow(&elsewhere);
        elsewhere.setFocus();
        QApplication::setActiveWindow(w.get());
        w->dbgOrders->setFocus();
        QApplication::processEvents();
        EXPECT_EQ(dialogs.shown().size(), 1);

        // The user sends what is left, and once more to be sure.
        w->tbSendZakazes->click();
        w->tbSendZakazes->click();
        EXPECT_EQ(dialogs.shown().size(), 1);
        EXPECT_EQ(Recipients(), QStringList({"anna", "boris", "vera", "gleb"}));
        EXPECT_EQ(Statuses(), QList<int>({2, 2, 2, 2}));
        EXPECT_EQ(Listed(), 4);
    }

    QTemporaryDir files;
    fw::ConnectParams params;
    QString token;
    std::unique_ptr<testing_support::TcpProxy> proxy;
    fw::ScriptedDialogs dialogs;
    std::unique_ptr<TfmZakaz> w;
};

TEST_F(MailingOnServer, LettersTakenBeforeTheConnectionWasLostAreNotSentAgainAfterReconnecting)
{
    LoseTheConnectionAfterLetterTwo(true);
}

TEST_F(MailingOnServer, LettersTakenBeforeTheConnectionWasLostAreNotSentAgainAfterDeclining)
{
    LoseTheConnectionAfterLetterTwo(false);
}

// Lost after the last letter: all went out and are marked; nothing is sent again.
TEST_F(MailingOnServer, LostAfterTheLastLetterTheBatchIsComplete)
{
    CutAfterLetter(4);
    dialogs.expectConfirm(true);
    w->tbSendZakazes->click();
    ASSERT_EQ(dialogs.shown().size(), 1);
    EXPECT_TRUE(dialogs.shown()[0].text.contains(Order("boris", "Буклет") + "\n" + Order("vera", "Чужой") + "\n"
                                                 + Order("gleb", "Склад")))
        << dialogs.shown()[0].text.toStdString();
    EXPECT_EQ(Statuses(), QList<int>({2, 2, 2, 2}));
    EXPECT_EQ(Listed(), 4);
    w->tbSendZakazes->click();
    EXPECT_EQ(Recipients(), QStringList({"anna", "boris", "vera", "gleb"}));
    EXPECT_EQ(dialogs.shown().size(), 1);
}

// Generated: one or two letters an order, the connection lost after any
// letter, the offer to connect again taken or declined, then the rest sent as
// the user would. No letter goes to an order whose status is not written, the
// message names exactly the orders marked sent, and in the end every address
// has each of its letters once and every order is sent.
TEST_F(MailingOnServer, ALostConnectionAfterAnyLetterNeverSendsALetterTwice)
{
    const QStringList names{"anna", "boris", "vera", "gleb"};
    std::mt19937 random(2131);
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(round);
        const QString run = QString("%1r%2").arg(token).arg(round);
        QList<int> letters;
        int total = 0;
        {
            fw::Database d(params);
            d.connect();
            d.execute("delete from ITEMS");
            for (int k = 0; k < 4; ++k) {
                letters << 1 + int(random() % 2);
                d.execute(QString("update ORDERS set IDORDERSTATUS = 1, EMAIL = '%1-%2@example.ru' where IDORDER = %3")
                              .arg(names[k], run)
                              .arg(101 + k));
                for (int m = 0; m < letters[k]; ++m)
                    d.execute(QString("insert into ITEMS (IDITEMS, IDORDER, IDITEM) values (%1, %2, 2)")
                                  .arg(300 + ++total)
                                  .arg(101 + k));
            }
        }
        const auto received = [&] {
            QList<int> n(4, 0);
            for (const QJsonValue& m : storedMessages(run)) ++n[names.indexOf(m["rcpt"].toString().section('-', 0, 0))];
            return n;
        };

        CutAfterLetter(1 + int(random() % total));
        const qsizetype before = dialogs.shown().size();
        dialogs.expectConfirm(random() % 2 == 0);
        w->tbSendZakazes->click();
        ASSERT_EQ(dialogs.shown().size(), before + 1);
        const QString told = dialogs.shown().back().text;
        const QString named = told.section("Отправлены заказы, их статус записан:\n", 1).section("\n\n", 0, 0);
        const QList<int> status = Statuses();
        const QList<int> got = received();
        for (int k = 0; k < 4; ++k) {
            const bool marked = status[k] == 2;
            EXPECT_EQ(got[k], marked ? letters[k] : 0) << names[k].toStdString();
            EXPECT_EQ(named.contains(names[k] + "-" + run), marked) << told.toStdString();
        }

        for (int clicks = 0; clicks < 3; ++clicks) w->tbSendZakazes->click();
        EXPECT_EQ(dialogs.shown().size(), before + 1);
        EXPECT_EQ(received(), letters);
        EXPECT_EQ(Statuses(), QList<int>({2, 2, 2, 2}));
    }
}

// A letter the mail server did not take puts the order's status back; when
// the server of the database is gone by then too, the user is told the order
// is marked sent but did not go.
TEST_F(MailingOnServer, AnOrderMarkedButNotSentIsNamed)
{
    {
        fw::Database d(params);
        d.connect();
        d.execute("update VER set PORTINFO = " + QString::number(freePort()));
    }
    dm->qryMain.refresh();
    ASSERT_TRUE(dmZakaz->qryOrders.locate("IDORDER", 102));
    dialogs.expectError();
    w->tbSendZakaz->click();
    EXPECT_EQ(Statuses(), QList<int>({1, 1, 1, 1}));
    EXPECT_EQ(dmZakaz->qryOrders.fieldByName("IDORDERSTATUS").asInteger(), 1);

    QObject::connect(&dmZakaz->Smtp, &fw::SmtpClient::sendStarted, [this] { proxy->cut(); });
    dialogs.expectError();
    w->tbSendZakaz->click();
    ASSERT_EQ(dialogs.shown().size(), 2);
    const QString told = dialogs.shown()[1].text;
    EXPECT_TRUE(told.contains("Заказ " + Order("boris", "Буклет") + " отмечен отправленным, но не отправлен"))
        << told.toStdString();
    EXPECT_EQ(Statuses(), QList<int>({1, 2, 1, 1}));
    EXPECT_TRUE(Recipients().isEmpty());
}

} // namespace
