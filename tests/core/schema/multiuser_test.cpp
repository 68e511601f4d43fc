// Several users on one server database: the framework's data sets against the
// real schema, each user with an attachment of its own.

#include "core/schema/Schema.h"
#include "db/DataSource.h"
#include "db/Query.h"
#include "db/Statement.h"
#include "db/UpdateSql.h"
#include "support/TcpProxy.h"
#include "support/TestDatabase.h"
#include "widgets/ExceptionHandler.h"
#include "widgets/ScriptedDialogs.h"

#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>
#include <thread>

using fw::Currency;
using fw::DataSetState;
using fw::Database;
using fw::DbError;
using fw::DbErrorKind;
using fw::Query;
using fw::UpdateSql;

namespace {

QStringList assignments(const QStringList& cols)
{
    QStringList l;
    for (int i = 0; i < cols.size(); ++i) l << "  " + cols[i] + " = :" + cols[i] + (i + 1 < cols.size() ? "," : "");
    return l;
}

// An update object in the program's form: every column written, the row found by its key.
UpdateSql updateOf(const QString& table, const QStringList& cols)
{
    return UpdateSql(QStringList{"update " + table, "set"} + assignments(cols)
                         + QStringList{"where", "  " + cols[0] + " = :OLD_" + cols[0]},
                     {"insert into " + table, "  (" + cols.join(", ") + ")", "values", "  (:" + cols.join(", :") + ")"},
                     {"delete from " + table, "where", "  " + cols[0] + " = :OLD_" + cols[0]});
}

const QStringList kCustomerCols{"IDCUST", "COMPANY", "FAX", "ADDRESS", "CITY"};
const QStringList kDealCols{"IDSDELKA", "IDCUST", "NAME", "OPLATDP", "OPLATRP", "OPLATDF", "OPLATRF"};
const QStringList kPaymentCols{"IDOPLATA", "IDSALE", "IDUSER", "DATEOPL", "SUMMAD", "SUMMAR", "KURS"};
const QStringList kContactCols{"IDCONTACTS", "IDCUST", "CONTACT_NAME"};

// One user: an attachment and the data sets of a client card on it.
struct User {
    explicit User(const fw::ConnectParams& p) : db(p)
    {
        db.connect();
        cust.setObjectName("qryCust");
        cust.setDatabase(&db);
        cust.setSql({"select * from CUSTOMER", "order by IDCUST"});
        cust.setUpdateObject(&usqlCust);
        contacts.setObjectName("qryContacts");
        contacts.setDatabase(&db);
        contacts.setSql({"select * from CONTACTS where IDCUST = :IDCUST", "order by IDCONTACTS"});
        contacts.setUpdateObject(&usqlContacts);
        contacts.setMasterSource(&dsCust);
        deal.setObjectName("qrySdelka");
        deal.setDatabase(&db);
        deal.setSql({"select * from SDELKA where IDSDELKA = 1"});
        deal.setUpdateObject(&usqlDeal);
    }
    Database db;
    UpdateSql usqlCust = updateOf("CUSTOMER", kCustomerCols);
    UpdateSql usqlContacts = updateOf("CONTACTS", kContactCols);
    UpdateSql usqlDeal = updateOf("SDELKA", kDealCols);
    Query cust;
    fw::DataSource dsCust{&cust};
    Query contacts;
    Query deal;
};

class MultiUser : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (testing_support::serverHost().isEmpty()) return;
        params_ = testing_support::createServerDatabase("multiuser");
        Database db(params_);
        db.connect();
        schema::createObjects(db);
    }
    static void TearDownTestSuite() { testing_support::dropDatabase(params_); }
    void SetUp() override
    {
        if (testing_support::serverHost().isEmpty()) GTEST_SKIP() << "no Firebird server for this run";
        db.setParams(params_);
        db.connect();
        db.execute("delete from CUSTOMER");
        db.execute("insert into CUSTOMER (IDCUST, COMPANY, FAX, ADDRESS) values (1, 'Ромашка', '111', 'Лесная 1')");
        db.execute("insert into SDELKA (IDSDELKA, IDCUST, NAME) values (1, 1, 'Поставка')");
        db.execute("insert into SALES (IDSALE, IDCUST, IDSDELKA, SUMMADP, SUMMARP) values (1, 1, 1, 1000, 90000)");
        db.execute("insert into SALES (IDSALE, IDCUST, IDSDELKA, SUMMADP, SUMMARP) values (2, 1, 1, 500, 45000)");
    }
    QString stored(const QString& column, int idCust = 1)
    {
        return db.selectValue("select " + column + " from CUSTOMER where IDCUST = :id", {{"id", idCust}}).asString();
    }

    static fw::ConnectParams params_;
    Database db;
};
fw::ConnectParams MultiUser::params_;

TEST_F(MultiUser, ChangesToDifferentColumnsBothSurvive)
{
    User a(params_), b(params_);
    a.cust.open();
    b.cust.open();   // B's card was opened before A's change
    a.cust.edit();
    a.cust.fieldByName("FAX").setValue("222");
    a.cust.post();
    b.cust.edit();
    b.cust.fieldByName("ADDRESS").setValue("Полевая 2");
    b.cust.post();
    EXPECT_EQ(stored("FAX"), "222");
    EXPECT_EQ(stored("ADDRESS"), "Полевая 2");
    // B's card shows what it wrote, A's fax included, and B's next edit builds on it.
    EXPECT_EQ(b.cust.fieldByName("FAX").asString(), "222");
    b.cust.edit();
    b.cust.fieldByName("CITY").setValue("Тверь");
    b.cust.post();
    EXPECT_EQ(stored("FAX"), "222");
    EXPECT_EQ(stored("CITY"), "Тверь");
}

TEST_F(MultiUser, ChangingTheSameColumnIsAConflictThatKeepsTheTypedValue)
{
    User a(params_), b(params_);
    a.cust.open();
    b.cust.open();
    a.cust.edit();
    a.cust.fieldByName("FAX").setValue("222");
    a.cust.post();
    b.cust.edit();
    b.cust.fieldByName("FAX").setValue("333");
    b.cust.fieldByName("ADDRESS").setValue("Полевая 2");
    try {
        b.cust.post();
        FAIL() << "the second post was accepted";
    } catch (const fw::ConflictError& e) {
        EXPECT_TRUE(e.message().contains("Другой пользователь уже изменил эту запись (FAX)")) << e.message().toStdString();
    }
    EXPECT_EQ(b.cust.state(), DataSetState::Edit);
    EXPECT_EQ(b.cust.fieldByName("FAX").asString(), "333");
    EXPECT_EQ(stored("FAX"), "222");
    EXPECT_EQ(stored("ADDRESS"), "Лесная 1");

    // Cancel and refresh show what is stored; typing the same value again is no conflict.
    b.cust.cancel();
    b.cust.refresh();
    EXPECT_EQ(b.cust.fieldByName("FAX").asString(), "222");
    b.cust.edit();
    b.cust.fieldByName("FAX").setValue("333");
    b.cust.post();
    EXPECT_EQ(stored("FAX"), "333");

    // A row deleted by the other user is refused too, with the edit kept.
    a.cust.edit();
    a.cust.fieldByName("CITY").setValue("Орёл");
    db.execute("delete from CUSTOMER where IDCUST = 1");
    EXPECT_THROW(a.cust.post(), fw::ConflictError);
    EXPECT_EQ(a.cust.state(), DataSetState::Edit);
}

// The check is the framework's, however the modify statement is worded: an
// edit of the column another user changed is refused, and his change to a
// column this user left alone is kept.
TEST_F(MultiUser, AConflictIsFoundHoweverTheModifyIsWorded)
{
    const QStringList wordings = {
        "UPDATE customer c SET c.FAX = :FAX, c.CITY = :CITY WHERE c.IDCUST = :OLD_IDCUST",
        "update CUSTOMER set CITY = trim(:CITY), -- the city\n FAX = coalesce(:FAX, FAX)\nwhere IDCUST + 0 = :OLD_IDCUST",
        "update CUSTOMER set FAX = :FAX,CITY=:CITY where IDCUST = :OLD_IDCUST and COMPANY = :OLD_COMPANY",
        "/* one line */ update CUSTOMER\nset\n  CITY = :CITY\n, FAX = upper(:FAX)\nwhere\n  (IDCUST = :OLD_IDCUST)",
    };
    int n = 0;
    for (const QString& wording : wordings) {
        SCOPED_TRACE(wording.toStdString());
        const QString fax = QString::number(++n * 100), city = "Город " + QString::number(n);
        User a(params_), b(params_);
        b.usqlCust.setModifySql({wording});
        a.cust.open();
        b.cust.open();
        a.cust.edit();
        a.cust.fieldByName("FAX").setValue(fax);
        a.cust.fieldByName("ADDRESS").setValue(city);
        a.cust.post();
        b.cust.edit();
        b.cust.fieldByName("FAX").setValue("мой");
        EXPECT_THROW(b.cust.post(), fw::ConflictError);
        EXPECT_EQ(stored("FAX"), fax);
        b.cust.fieldByName("FAX").setValue(b.cust.fieldByName("FAX").oldValue());
        b.cust.fieldByName("CITY").setValue(city);
        b.cust.post();
        EXPECT_EQ(stored("FAX"), fax);
        EXPECT_EQ(stored("CITY"), city);
        EXPECT_EQ(stored("ADDRESS"), city);
    }
}

TEST_F(MultiUser, TotalsKeptByTheDatabaseNeverConflict)
{
    User a(params_), b(params_);
    a.deal.open();
    EXPECT_EQ(a.deal.fieldByName("OPLATDP").asCurrency(), Currency::fromInt(1500));
    // Payments by both users move the deal's totals under A's open deal.
    Query pay(&a.db);
    UpdateSql usqlPay = updateOf("OPLATA", kPaymentCols);
    pay.setSql({"select * from OPLATA where IDSALE = 1"});
    pay.setUpdateObject(&usqlPay);
    pay.open();
    pay.append();
    pay.fieldByName("IDOPLATA").setValue(1);
    pay.fieldByName("IDSALE").setValue(1);
    pay.fieldByName("SUMMAD").setValue(Currency::fromInt(300));
    pay.post();
    b.db.execute("insert into OPLATA (IDOPLATA, IDSALE, SUMMAD, SUMMAR) values (2, 2, 100, 9000)");

    a.deal.edit();
    a.deal.fieldByName("NAME").setValue("Поставка 2");
    a.deal.post();
    EXPECT_EQ(db.selectValue("select NAME from SDELKA where IDSDELKA = 1").asString(), "Поставка 2");
    EXPECT_EQ(db.selectValue("select OPLATDF from SDELKA where IDSDELKA = 1").asCurrency(), Currency::fromInt(400));
    EXPECT_EQ(a.deal.fieldByName("OPLATDF").asCurrency(), Currency::fromInt(400));
}

TEST_F(MultiUser, PaymentsOfTwoUsersToOneDealAtOnceAreAllStored)
{
    constexpr int kEach = 100;
    std::atomic<int> failures{0};
    auto payer = [&](int first) {
        try {
            Database own(params_);
            own.connect();
            UpdateSql usql = updateOf("OPLATA", kPaymentCols);
            Query pay(&own);
            pay.setSql({"select * from OPLATA where IDOPLATA = -1"});
            pay.setUpdateObject(&usql);
            pay.open();
            for (int i = 0; i < kEach; ++i) {
                pay.append();
                pay.fieldByName("IDOPLATA").setValue(first + i);
                pay.fieldByName("IDSALE").setValue(1 + i % 2);
                pay.fieldByName("SUMMAD").setValue(Currency::fromInt(1 + i % 7));
                pay.fieldByName("SUMMAR").setValue(Currency::fromInt(90 * (1 + i % 7)));
                pay.post();
            }
        } catch (const std::exception& e) {
            ++failures;
            ADD_FAILURE() << e.what();
        }
    };
    std::thread one(payer, 1000), two(payer, 2000);
    one.join();
    two.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(db.selectValue("select count(*) from OPLATA").asInt(), 2 * kEach);
    EXPECT_EQ(db.selectValue("select OPLATDF - (select sum(SUMMAD) from OPLATA) from SDELKA where IDSDELKA = 1")
                  .asCurrency(), Currency());
    EXPECT_EQ(db.selectValue("select OPLATRF - (select sum(SUMMAR) from OPLATA) from SDELKA where IDSDELKA = 1")
                  .asCurrency(), Currency());
}

TEST_F(MultiUser, NoDetailForAClientAnotherUserDeleted)
{
    User a(params_);
    a.cust.open();
    a.contacts.open();
    db.execute("delete from CUSTOMER where IDCUST = 1");
    a.contacts.append();
    a.contacts.fieldByName("IDCONTACTS").setValue(7);
    a.contacts.fieldByName("IDCUST").setValue(1);
    a.contacts.fieldByName("CONTACT_NAME").setValue("Петров");
    try {
        a.contacts.post();
        FAIL() << "an orphan contact was accepted";
    } catch (const DbError& e) {
        EXPECT_EQ(e.kind(), DbErrorKind::ForeignKey);
        EXPECT_TRUE(e.message().startsWith("Запись нельзя сохранить")) << e.message().toStdString();
        EXPECT_TRUE(e.detail().contains("FOREIGN KEY")) << e.detail().toStdString();
    }
    EXPECT_EQ(a.contacts.state(), DataSetState::Insert);
    EXPECT_EQ(a.contacts.fieldByName("CONTACT_NAME").asString(), "Петров");

    // The database itself refuses it, whoever writes.
    QProcess isql;
    isql.setProcessChannelMode(QProcess::MergedChannels);
    isql.start("isql-fb", {"-user", params_.user, "-password", params_.password, params_.path});
    ASSERT_TRUE(isql.waitForStarted(10000));
    isql.write("insert into CONTACTS (IDCONTACTS, IDCUST) values (8, 12345);\ncommit;\n");
    isql.closeWriteChannel();
    ASSERT_TRUE(isql.waitForFinished(20000));
    EXPECT_TRUE(isql.readAll().contains("FOREIGN KEY"));
    EXPECT_EQ(db.selectValue("select count(*) from CONTACTS").asInt(), 0);
}

TEST_F(MultiUser, AnEditSurvivesALostServerAndIsWrittenAfterReconnecting)
{
    // The server's port behind a proxy that can be cut, as a server that stops and starts.
    testing_support::TcpProxy proxy(3050);
    User a(testing_support::throughPort(params_, proxy.port()));
    a.cust.open();
    a.cust.edit();
    a.cust.fieldByName("FAX").setValue("999");

    proxy.cut();
    try {
        a.cust.post();
        FAIL() << "a post without a server succeeded";
    } catch (const DbError& e) {
        EXPECT_EQ(e.kind(), DbErrorKind::ConnectionLost);
        EXPECT_TRUE(e.message().startsWith("Соединение с сервером базы данных потеряно")) << e.message().toStdString();
    }
    EXPECT_TRUE(a.db.connectionLost());
    EXPECT_EQ(a.cust.state(), DataSetState::Edit);
    EXPECT_EQ(a.cust.fieldByName("FAX").asString(), "999");
    // Still away: every call says so, and nothing is lost.
    EXPECT_THROW(a.cust.post(), DbError);
    EXPECT_THROW(Database::reconnectLost(), DbError);
    // Yes while it is still away: the server cannot be reached (the settings are not the
    // matter, they worked before), and the question comes again.
    {
        fw::ScriptedDialogs dialogs;
        dialogs.expectConfirm(true).expectConfirm(false);
        try {
            a.cust.post();
        } catch (...) {
            fw::showException(std::current_exception());
        }
        ASSERT_EQ(dialogs.shown().size(), 2);
        const QString& again = dialogs.shown()[1].text;
        EXPECT_TRUE(again.startsWith("Сервер базы данных недоступен: нет связи с ним по сети, или сервер остановлен."))
            << again.toStdString();
        EXPECT_FALSE(again.contains("BR.INI"));
        EXPECT_TRUE(again.endsWith("Подключиться к серверу заново?"));
    }

    // The user is told in Russian and asked; Yes attaches again with the same parameters.
    proxy.restore();
    {
        fw::ScriptedDialogs dialogs;
        dialogs.expectConfirm(true);
        try {
            a.cust.post();
        } catch (...) {
            fw::showException(std::current_exception());
        }
        ASSERT_EQ(dialogs.shown().size(), 1);
        EXPECT_TRUE(dialogs.shown()[0].text.startsWith("Соединение с сервером базы данных потеряно."));
        EXPECT_TRUE(dialogs.shown()[0].text.endsWith("Подключиться к серверу заново?"));
    }
    EXPECT_TRUE(a.db.connected());
    a.cust.post();
    EXPECT_EQ(stored("FAX"), "999");
    a.cust.refresh();
    EXPECT_EQ(a.cust.fieldByName("FAX").asString(), "999");
}

// A client another program stored with the byte 0x98 (no letter of the code
// page) in its name is saved when the user changes only its city, the name
// written back byte for byte.
TEST_F(MultiUser, AClientWhoseNameHoldsByte98IsSavedWhenItsCityIsEdited)
{
    // From a file: isql-fb's line editing would drop the byte from its standard input.
    QFile script(testing_support::scratchDir() + "/x98.sql");
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("update CUSTOMER set COMPANY = 'X\x98 end' where IDCUST = 1;\ncommit;\n");
    script.close();
    QProcess isql;
    isql.setProcessChannelMode(QProcess::MergedChannels);
    isql.start("isql-fb", {"-q", "-ch", "NONE", "-user", params_.user, "-password", params_.password, "-i",
                           script.fileName(), params_.path});
    ASSERT_TRUE(isql.waitForFinished(20000));
    ASSERT_EQ(db.selectValue("select ascii_val(substring(COMPANY from 2 for 1)) from CUSTOMER").asInt(), 0x98)
        << isql.readAll().constData();

    User a(params_);
    a.cust.open();
    EXPECT_EQ(a.cust.fieldByName("COMPANY").asString(), QString("X%1 end").arg(QChar(0x98)));
    a.cust.edit();
    a.cust.fieldByName("CITY").setValue("Тула");
    a.cust.post();
    EXPECT_EQ(stored("CITY"), "Тула");
    EXPECT_EQ(db.selectValue("select cast(COMPANY as varchar(20) character set octets) from CUSTOMER").asBytes(),
              QByteArray("X\x98 end"));
}

// The connection is cut after the post committed its row, while the client's
// contacts are read again for it: the user is told that the row is saved and
// the refresh failed, and may reconnect; nothing asks to save again.
TEST_F(MultiUser, ARefreshThatFailsAfterThePostReportsTheRowAsSaved)
{
    testing_support::TcpProxy proxy(3050);
    User a(testing_support::throughPort(params_, proxy.port()));
    a.cust.open();
    a.contacts.open();
    a.contacts.beforeOpen = [&](fw::DataSet&) { proxy.cut(); };
    a.cust.edit();
    a.cust.fieldByName("FAX").setValue("999");
    {
        fw::ScriptedDialogs dialogs;
        dialogs.expectConfirm(false);
        EXPECT_TRUE(fw::runGuarded([&] { a.cust.post(); }));   // done: a dialog's OK closes it
        ASSERT_EQ(dialogs.shown().size(), 1);
        EXPECT_EQ(dialogs.shown()[0].text, "Запись сохранена.\nОбновить данные в окне не удалось: соединение с сервером "
                                           "базы данных потеряно.\n\nПодключиться к серверу заново?");
    }
    EXPECT_EQ(stored("FAX"), "999");
    EXPECT_EQ(a.cust.state(), DataSetState::Browse);
    EXPECT_EQ(a.cust.fieldByName("FAX").asString(), "999");
    EXPECT_TRUE(a.db.connectionLost());

    a.contacts.beforeOpen = nullptr;
    proxy.restore();
    EXPECT_EQ(Database::reconnectLost(), 1);
    a.contacts.open();
    a.cust.edit();
    a.cust.fieldByName("FAX").setValue("1000");
    a.cust.post();
    EXPECT_EQ(stored("FAX"), "1000");
}

} // namespace
