#include "db/CodePage.h"
#include "db/Database.h"
#include "db/Query.h"
#include "db/SqlScript.h"
#include "db/Statement.h"
#include "db/UpdateSql.h"
#include "support/TcpProxy.h"
#include "support/TestDatabase.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRandomGenerator>
#include <gtest/gtest.h>
#include <future>
#include <numeric>
#include <thread>

using namespace fw;
using testing_support::createEmptyDatabase;

TEST(SqlParams, NamesOutsideLiteralsAndComments)
{
    const ParsedSql p = parseParams(
        "select * from t where a = :ID and b = ':no' and c = \":no\" -- :no\n and d = :id and e = :Other /* :no */");
    EXPECT_EQ(p.occurrences, (QStringList{"ID", "id", "Other"}));
    EXPECT_EQ(p.names, (QStringList{"ID", "Other"}));
    EXPECT_EQ(p.text, "select * from t where a = ? and b = ':no' and c = \":no\" -- :no\n and d = ? and e = ? /* :no */");
    EXPECT_EQ(parseParams("select cast(\"now\" as date) from rdb$database").occurrences.size(), 0);
    EXPECT_EQ(parseParams("x = 'it''s :no' and y = :yes").occurrences, QStringList{"yes"});
}

TEST(SqlScriptSplit, HonoursSetTermQuotesAndComments)
{
    const QStringList s = splitSqlScript(
        "create table a (x int); -- comment; here\n"
        "insert into a values (';');\n"
        "SET TERM ^ ;\n"
        "create procedure p returns (r int) as begin r = 1; suspend; end^\n"
        "SET TERM ; ^\n"
        "/* ; */ commit;");
    ASSERT_EQ(s.size(), 4);
    EXPECT_EQ(s[1], "insert into a values (';')");
    EXPECT_TRUE(s[2].startsWith("create procedure p"));
    EXPECT_TRUE(s[2].endsWith("end"));
    EXPECT_EQ(s[3], "commit");
}

class Client : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        params_ = createEmptyDatabase("client");
        Database db(params_);
        db.connect();
        runSqlScript(db,
            "create table T (ID integer not null primary key, NAME varchar(50) character set WIN1251 collate PXW_CYRL,"
            " FLAG char(1), D date, M numeric(15,2), Q numeric(15,3), N numeric(4,2), F double precision,"
            " MEMO blob sub_type 1, B blob sub_type 0);\n"
            "create generator GEN_T;\n"
            "SET TERM ^ ;\n"
            "create procedure ID_T returns (ID integer) as begin ID = gen_id(GEN_T, 1); end^\n"
            "SET TERM ; ^\n");
    }
    void SetUp() override
    {
        db.setParams(params_);
        db.connect();
        db.execute("delete from T");
    }
    static ConnectParams params_;
    Database db;
};
ConnectParams Client::params_;

TEST_F(Client, DatabaseIsDialectOneWithWin1251)
{
    EXPECT_EQ(db.selectValue("select mon$sql_dialect from mon$database").asInt(), 1);
    EXPECT_EQ(db.selectValue("select rdb$character_set_name from rdb$database").asString(), "WIN1251");
}

TEST_F(Client, ValuesRoundTripWithTheirTypes)
{
    const QDateTime at(QDate(2026, 5, 17), QTime(14, 35, 12));
    db.execute("insert into T (ID, NAME, FLAG, D, M, Q, N, F, MEMO, B) values (1, :name, :flag, :d, :m, :q, :n, :f, :memo, :b)",
               {{"name", "Ёжик в тумане"}, {"flag", "+"}, {"d", at},
                {"m", Currency::fromDouble(0.1) + Currency::fromDouble(0.2)},
                {"q", *Currency::parse("1.234")}, {"n", *Currency::parse("12.34")}, {"f", 2.5},
                {"memo", QString("Длинная заметка").repeated(3000)}, {"b", Value::bytes(QByteArray("\0\1\2", 3))}});
    db.withTransaction([&](Transaction& tr) {
        Statement s(db, "select * from T");
        s.execute(tr);
        ASSERT_TRUE(s.fetch());
        EXPECT_EQ(s.value("name").asString(), "Ёжик в тумане");
        EXPECT_EQ(s.value("FLAG").asString(), "+");        // CHAR comes trimmed
        EXPECT_EQ(s.value("D").asDateTime(), at);           // time of day survives
        EXPECT_EQ(s.value("M").type(), Value::Type::Currency);
        EXPECT_EQ(s.value("M").asCurrency().toString(4), "0.3000");
        EXPECT_EQ(s.value("Q").asCurrency().toString(4), "1.2340");
        EXPECT_EQ(s.value("N").asCurrency().toString(4), "12.3400");
        EXPECT_EQ(s.value("F").asDouble(), 2.5);
        EXPECT_EQ(s.value("MEMO").asString().size(), 15 * 3000);
        EXPECT_EQ(s.value("B").asBytes(), QByteArray("\0\1\2", 3));
        EXPECT_EQ(s.columnInfo(s.columnIndex("NAME")).charLength, 50);
        EXPECT_EQ(s.columnInfo(s.columnIndex("M")).kind, FieldKind::Numeric);
        EXPECT_FALSE(s.fetch());
    });
}

TEST_F(Client, RepeatedAndDistinctTextsReadBackExactly)
{
    // Over a thousand rows: a column of few texts, one of all-different texts
    // (sharing gives up on it part-way), one of empty texts.
    const QString sql = "select a.rdb$type, trim(a.rdb$field_name) || '.' || a.rdb$type || '.' || b.n, "
                        "'flag' || mod(b.n, 3), '', b.n, trim(a.rdb$field_name) from rdb$types a cross join "
                        "(select first 8 rdb$type as n from rdb$types where rdb$field_name = 'RDB$OBJECT_TYPE') b";
    int rows = 0;
    db.withTransaction([&](Transaction& tr) {
        Statement s(db, sql);
        s.execute(tr);
        QStringList seen;
        while (s.fetch()) {
            ++rows;
            const int n = s.value(4).asInt();
            EXPECT_EQ(s.value(1).asString(), s.value(5).asString() + '.' + s.value(0).asString() + '.'
                                                 + QString::number(n));
            EXPECT_EQ(s.value(2).asString(), "flag" + QString::number(n % 3));
            EXPECT_EQ(s.value(3).type(), Value::Type::Text);
            EXPECT_TRUE(s.value(3).asString().isEmpty());
            seen << s.value(1).asString();
        }
        seen.removeDuplicates();
        EXPECT_GT(seen.size(), 1100);
    });
    EXPECT_GT(rows, 1100);
}

TEST_F(Client, NullsAndRepeatedParameterNames)
{
    db.execute("insert into T (ID, NAME) values (:id, :name)", {{"id", 7}, {"name", Value()}});
    EXPECT_TRUE(db.selectValue("select NAME from T where ID = :id").isNull());
    EXPECT_EQ(db.selectValue("select count(*) from T where ID = :x or ID + 1 = :x", {{"x", 7}}).asInt(), 1);
}

TEST_F(Client, CharacterOutsideTheCodePageIsAnError)
{
    try {
        db.execute("insert into T (ID, NAME) values (2, :name)", {{"name", QString::fromUtf8("Snow ☃")}});
        FAIL() << "expected a transliteration error";
    } catch (const DbError& e) {
        EXPECT_NE(e.sqlCode(), 0);
        EXPECT_FALSE(e.message().isEmpty());
    }
    EXPECT_EQ(db.selectValue("select count(*) from T").asInt(), 0);
}

// Every byte is a character of the code page (0x98, which it leaves unused,
// is U+0098), stored as that byte whether it goes as a parameter, a literal or
// a text blob; the engine's own conversion of the column reads the same
// character (it has none for 0x98).
TEST_F(Client, EveryByteIsACharacterStoredAsTheEngineStoresIt)
{
    QString all;
    for (int b = 0; b < 256; ++b) {
        const QChar c(cp1251::toChar(uint8_t(b)));
        all += c;
        db.execute("insert into T (ID, NAME, FLAG) values (:id, :name, :flag)",
                   {{"id", 1000 + b}, {"name", QString("<%1>").arg(c)}, {"flag", QString(c)}});
        // A NUL would end the statement's text.
        if (b > 0)
            db.execute(QString("insert into T (ID, NAME) values (%1, '<%2>')").arg(2000 + b).arg(c == '\'' ? "''" : QString(c)));
    }
    db.execute("insert into T (ID, MEMO) values (1, :memo)", {{"memo", all.repeated(50)}});
    db.withTransaction([&](Transaction& tr) {
        Statement s(db, "select ID, NAME, FLAG, ascii_val(substring(NAME from 2 for 1)),"
                        " cast(NAME as varchar(50) character set utf8) from T where ID >= 1000 order by ID");
        s.execute(tr);
        int rows = 0;
        while (s.fetch()) {
            const int id = s.value(0).asInt(), b = id % 1000;
            const QChar c(cp1251::toChar(uint8_t(b)));
            EXPECT_EQ(s.value(1).asString(), QString("<%1>").arg(c)) << id;
            EXPECT_EQ(s.value(3).asInt(), b) << id;
            if (b != 0x98) {
                EXPECT_EQ(s.value(4).asString(), s.value(1).asString()) << id;
            }
            if (id < 2000 && c != ' ') {
                EXPECT_EQ(s.value(2).asString(), QString(c)) << id;   // CHAR comes trimmed
            }
            ++rows;
        }
        EXPECT_EQ(rows, 256 + 255);
        Statement memo(db, "select MEMO from T where ID = 1");
        memo.execute(tr);
        ASSERT_TRUE(memo.fetch());
        EXPECT_EQ(memo.value(0).asString(), all.repeated(50));
    });
    // Packed by a data set, the same again.
    Query q(&db);
    q.setSql({"select ID, NAME from T where ID >= 1000 order by ID"});
    q.open();
    ASSERT_EQ(q.recordCount(), 256 + 255);
    for (; !q.eof(); q.next())
        EXPECT_EQ(q.fieldByName("NAME").asString(),
                  QString("<%1>").arg(QChar(cp1251::toChar(uint8_t(q.fieldByName("ID").asInteger() % 1000)))));
}

// Whatever bytes another program stored, a row is saved with them unchanged
// when the user edits another field or leaves the text as it is; a control
// character the user types (0x98's U+0098 among them) is refused naming the
// field and the character, and nothing is written.
TEST_F(Client, AnyBytesAColumnHoldsAreWrittenBackUnchanged)
{
    QRandomGenerator rng(98);
    QList<int> order(256);
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), rng);
    QList<QByteArray> stored;
    for (int row = 0; row < 32; ++row) {
        // Eight bytes each, so that every byte turns up, and 0x98 in every row.
        QByteArray bytes;
        for (int i = 0; i < 8; ++i) bytes += char(order[row * 8 + i]);
        bytes.insert(int(rng.bounded(9)), char(0x98));
        QStringList chars;
        for (char b : bytes) chars << QString("ascii_char(%1)").arg(uint8_t(b));
        db.execute(QString("insert into T (ID, NAME, MEMO) values (%1, %2, %2)").arg(row).arg(chars.join(" || ")));
        stored << bytes;
    }
    const auto raw = [&](int id, const char* column) {
        return db.selectValue(QString("select cast(%1 as varchar(50) character set octets) from T where ID = %2")
                                  .arg(column).arg(id)).asBytes();
    };
    UpdateSql usql({"update T set NAME = :NAME, MEMO = :MEMO, FLAG = :FLAG where ID = :OLD_ID"}, {}, {});
    Query q(&db);
    q.setSql({"select * from T order by ID"});
    q.setUpdateObject(&usql);
    q.open();
    for (; !q.eof(); q.next()) {
        q.edit();
        q.fieldByName("FLAG").setValue("+");
        if (rng.bounded(2)) q.fieldByName("NAME").setValue(q.fieldByName("NAME").asString());
        q.post();
    }
    for (int row = 0; row < 32; ++row) {
        EXPECT_EQ(raw(row, "NAME"), stored[row]) << row;
        EXPECT_EQ(raw(row, "MEMO"), stored[row]) << row;
    }
    EXPECT_EQ(db.selectValue("select count(*) from T where FLAG = '+'").asInt(), 32);

    for (const char32_t typed : {U'\x98', U'\x01', U'\x7F'}) {
        q.first();
        q.edit();
        const QString text = "Город " + QString::fromUcs4(&typed, 1);
        q.fieldByName(typed == 0x98 ? "NAME" : "MEMO").setValue(text);
        try {
            q.post();
            ADD_FAILURE() << "taken: " << uint(typed);
        } catch (const CodePageError& e) {
            EXPECT_TRUE(e.message().startsWith(QString("В поле «%1» «Город ").arg(typed == 0x98 ? "NAME" : "MEMO")))
                << e.message().toStdString();
            EXPECT_TRUE(e.message().contains("есть управляющий символ U+" + QString("%1.").arg(uint(typed), 4, 16, QChar('0')).toUpper()))
                << e.message().toStdString();
        }
        EXPECT_EQ(q.state(), DataSetState::Edit);
        q.cancel();
    }
    EXPECT_EQ(raw(0, "NAME"), stored[0]);
    EXPECT_EQ(raw(0, "MEMO"), stored[0]);
}

TEST_F(Client, ACharacterOutsideTheCodePageIsRefusedInRussianAndNothingIsStored)
{
    const QString snow = QString::fromUtf8("Snow ☃");
    auto expectRefused = [&](const std::function<void()>& write, const char* what) {
        SCOPED_TRACE(what);
        try {
            write();
            ADD_FAILURE() << "stored";
        } catch (const DbError& e) {
            EXPECT_NE(e.sqlCode(), 0);
            EXPECT_TRUE(e.message().contains("Windows-1251")) << e.message().toStdString();
            EXPECT_TRUE(e.message().contains(QString::fromUtf8("U+2603 «☃»"))) << e.message().toStdString();
        }
    };
    expectRefused([&] { db.execute("insert into T (ID, NAME) values (2, :name)", {{"name", snow}}); }, "parameter");
    expectRefused([&] { db.execute("insert into T (ID, MEMO) values (2, :memo)", {{"memo", snow}}); }, "text blob");
    expectRefused([&] { db.execute("insert into T (ID, NAME) values (2, '" + snow + "')"); }, "literal");
    // A text the engine converts itself is refused by the engine, and told the same way.
    expectRefused([&] {
        db.execute("insert into T (ID, NAME) values (2, cast(:name as varchar(10) character set utf8))", {{"name", snow}});
    }, "converted");
    EXPECT_EQ(db.selectValue("select count(*) from T").asInt(), 0);
    // A text the database has no place for still goes where Unicode is taken.
    EXPECT_EQ(db.selectValue("select cast(:w as varchar(10) character set utf8) from rdb$database", {{"w", snow}})
                  .asString(),
              snow);
}

TEST_F(Client, TextLengthsCountCharacters)
{
    const QString fifty = QStringLiteral("Ж").repeated(50);
    db.execute("insert into T (ID, NAME, FLAG) values (1, :name, :flag)", {{"name", fifty}, {"flag", "Ё"}});
    EXPECT_THROW(db.execute("insert into T (ID, NAME) values (2, :name)", {{"name", fifty + "Ж"}}), DbError);
    db.withTransaction([&](Transaction& tr) {
        Statement s(db, "select t.NAME, t.FLAG, r.RDB$RELATION_NAME from T t, RDB$RELATIONS r"
                        " where r.RDB$RELATION_NAME = 'T'");
        s.execute(tr);
        ASSERT_TRUE(s.fetch());
        EXPECT_EQ(s.columnInfo(0).charLength, 50);
        EXPECT_EQ(s.columnInfo(1).charLength, 1);
        EXPECT_EQ(s.columnInfo(2).charLength, 31);
        EXPECT_EQ(s.columnInfo(2).name, "RDB$RELATION_NAME");
        EXPECT_EQ(s.value(0).asString(), fifty);
        EXPECT_EQ(s.value(1).asString(), "Ё");
        EXPECT_EQ(s.value(2).asString(), "T");
    });
    Query q(&db);
    q.setSql({"select NAME, FLAG from T"});
    q.open();
    EXPECT_EQ(q.fieldByName("NAME").size(), 50);
    EXPECT_EQ(q.fieldByName("FLAG").size(), 1);
    EXPECT_EQ(q.fieldByName("NAME").asString(), fifty);
}

// A statement outlives the transaction it ran in (a query keeps it prepared):
// its row's text blob read afterwards is an error, never a read through a
// transaction that is gone.
TEST_F(Client, ABlobReadAfterItsTransactionEndedIsAnError)
{
    db.execute("insert into T (ID, MEMO) values (1, 'Заметка')");
    Statement s(db, "select MEMO from T");
    db.withTransaction([&](Transaction& tr) {
        s.execute(tr);
        ASSERT_TRUE(s.fetch());
        EXPECT_EQ(s.value(0).asString(), "Заметка");
    });
    EXPECT_THROW(s.value(0), Error);
}

TEST_F(Client, DialectOneNowAndToday)
{
    const QDateTime now = db.selectValue("select cast(\"now\" as date) from rdb$database").asDateTime();
    const QDateTime today = db.selectValue("select cast(\"today\" as date) from rdb$database").asDateTime();
    EXPECT_EQ(today.time(), QTime(0, 0));
    EXPECT_EQ(today.date(), now.date());
    EXPECT_LT(qAbs(now.secsTo(QDateTime::currentDateTime())), 120);
}

TEST_F(Client, ExplicitTransactionRollsBackTogether)
{
    db.startTransaction();
    db.execute("insert into T (ID) values (10)");
    db.execute("insert into T (ID) values (11)");
    EXPECT_EQ(db.selectValue("select count(*) from T").asInt(), 2);
    db.rollback();
    EXPECT_FALSE(db.inTransaction());
    EXPECT_EQ(db.selectValue("select count(*) from T").asInt(), 0);
    EXPECT_THROW(db.execute("insert into T (ID) values ('x')"), DbError);
}

TEST_F(Client, ErrorsCarryEngineTextAndSqlCode)
{
    db.execute("insert into T (ID) values (1)");
    try {
        db.execute("insert into T (ID) values (1)");
        FAIL();
    } catch (const DbError& e) {
        EXPECT_EQ(e.sqlCode(), -803);
        EXPECT_TRUE(e.message().contains("PRIMARY", Qt::CaseInsensitive) || e.message().contains("unique", Qt::CaseInsensitive));
    }
    EXPECT_THROW(Statement(db, "select nothing from nowhere"), DbError);
    // A value in the engine's text reads as the column's code page: «ЖЁ» is C6 A8, valid UTF-8 as well.
    try {
        db.execute("insert into T (ID) values (:id)", {{"id", "ЖЁ"}});
        FAIL();
    } catch (const DbError& e) {
        EXPECT_TRUE(e.message().contains("\"ЖЁ\"")) << e.message().toStdString();
    }
}

TEST_F(Client, KeyProviderReturnsDistinctKeys)
{
    const int a = db.executeProcedure("ID_T").asInt();
    const int b = db.executeProcedure("ID_T").asInt();
    EXPECT_NE(a, b);
    Statement s(db, "update T set NAME = 'x' where ID < 0");
    db.withTransaction([&](Transaction& tr) { s.execute(tr); EXPECT_EQ(s.rowsAffected(), 0); });
}

TEST_F(Client, SecondAttachmentWithSameParametersIsIndependent)
{
    Database second(db.params());
    second.connect();
    db.startTransaction();
    db.execute("insert into T (ID) values (20)");
    EXPECT_EQ(second.selectValue("select count(*) from T").asInt(), 0);   // not committed yet
    db.commit();
    EXPECT_EQ(second.selectValue("select count(*) from T").asInt(), 1);
}

TEST_F(Client, AttachedUserNamesListsThisAttachment)
{
    const QStringList names = db.attachedUserNames();
    EXPECT_TRUE(names.contains("SYSDBA"));
    Database closed;
    EXPECT_THROW(closed.attachedUserNames(), Error);
}

// Multi-user work goes through the server; these run when the test command started one.
class ServerClient : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (testing_support::serverHost().isEmpty()) GTEST_SKIP() << "no Firebird server for this run";
        params_ = testing_support::createServerDatabase("server-client");
        db.setParams(params_);
        db.connect();
        db.execute("create table T (ID integer not null primary key, NAME varchar(40))");
    }
    void TearDown() override
    {
        if (db.connected()) db.drop();
    }
    ConnectParams params_;
    Database db;
};

TEST_F(ServerClient, SecondProcessSeesCommittedRowsAndAppearsAmongAttachedUsers)
{
    db.execute("insert into T (ID, NAME) values (1, :n)", {{"n", "Иванов"}});
    QProcess isql;
    isql.setProcessChannelMode(QProcess::MergedChannels);
    isql.start("isql-fb", {"-user", params_.user, "-password", params_.password, "-ch", "UTF8", params_.path});
    ASSERT_TRUE(isql.waitForStarted(10000));
    isql.write("select 'rows=' || count(*) from T;\n");
    QByteArray out;
    for (int i = 0; i < 100 && !out.contains("rows="); ++i) {
        isql.waitForReadyRead(100);
        out += isql.readAll();
    }
    EXPECT_TRUE(out.contains("rows=1")) << out.constData();
    const QStringList users = db.attachedUserNames();
    EXPECT_GE(users.count("SYSDBA"), 2) << users.join(",").toStdString();
    EXPECT_EQ(db.selectValue("select count(*) from mon$attachments where mon$remote_pid <> :me "
                             "and mon$system_flag = 0", {{"me", int(QCoreApplication::applicationPid())}}).asInt(), 1);
    isql.closeWriteChannel();
    EXPECT_TRUE(isql.waitForFinished(10000));
}

TEST_F(ServerClient, TwoAttachmentsConflictOnTheSameRowWithoutWaiting)
{
    db.execute("insert into T (ID) values (5)");
    Database other(params_);
    other.connect();
    db.startTransaction();
    db.execute("update T set NAME = 'a' where ID = 5");
    EXPECT_THROW(other.execute("update T set NAME = 'b' where ID = 5"), DbError);
    db.commit();
    EXPECT_EQ(other.execute("update T set NAME = 'b' where ID = 5"), 1);
    EXPECT_EQ(db.selectValue("select NAME from T where ID = 5").asString(), "b");
}

TEST_F(ServerClient, AConflictWithATransactionThatCommitsIsRetried)
{
    db.execute("insert into T (ID) values (6)");
    Database other(params_);
    other.connect();
    db.startTransaction();
    db.execute("update T set NAME = 'a' where ID = 6");
    std::thread later([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        db.commit();
    });
    EXPECT_EQ(other.execute("update T set NAME = 'b' where ID = 6"), 1);
    later.join();
    EXPECT_EQ(db.selectValue("select NAME from T where ID = 6").asString(), "b");

    // One that lasts is reported in Russian, with the engine's words as detail.
    db.startTransaction();
    db.execute("update T set NAME = 'c' where ID = 6");
    try {
        other.execute("update T set NAME = 'd' where ID = 6");
        FAIL() << "a lasting conflict was not reported";
    } catch (const DbError& e) {
        EXPECT_EQ(e.kind(), DbErrorKind::Conflict);
        EXPECT_TRUE(e.message().startsWith("Эти данные сейчас изменяет другой пользователь")) << e.message().toStdString();
        EXPECT_TRUE(e.detail().contains("conflict", Qt::CaseInsensitive)) << e.detail().toStdString();
    }
    db.rollback();
}

// The reminder's attachment lives on a thread of its own: a reconnect after a
// lost connection takes the calling thread's attachments and leaves the others
// to their own thread, while that thread finds its own connection lost.
TEST_F(ServerClient, AReconnectTakesOnlyTheCallingThreadsLostAttachments)
{
    testing_support::TcpProxy proxy(3050);
    const ConnectParams viaProxy = testing_support::throughPort(params_, proxy.port());
    Database mine(viaProxy);
    mine.connect();
    std::promise<void> attached, cut, reconnected;
    std::thread worker([&] {
        Database theirs(viaProxy);
        theirs.connect();
        attached.set_value();
        cut.get_future().wait();
        EXPECT_THROW(theirs.selectValue("select count(*) from T"), DbError);
        reconnected.get_future().wait();
        EXPECT_TRUE(theirs.connectionLost());
        EXPECT_EQ(Database::reconnectLost(), 1);
        EXPECT_EQ(theirs.selectValue("select count(*) from T").asInt(), 0);
    });
    attached.get_future().wait();
    proxy.cut();
    cut.set_value();
    EXPECT_THROW(mine.selectValue("select count(*) from T"), DbError);
    proxy.restore();
    // Ask while the other thread may be finding its own connection lost.
    int reconnects = 0;
    for (int i = 0; i < 50; ++i) reconnects += Database::reconnectLost();
    EXPECT_EQ(reconnects, 1);
    EXPECT_TRUE(mine.connected());
    reconnected.set_value();
    worker.join();
}

TEST(EngineErrors, ADatabaseThatCannotBeOpenedNamesThePathAndTheSettings)
{
    Database missing(ConnectParams{testing_support::scratchDir() + "/nowhere/BR.GDB"});
    try {
        missing.connect();
        FAIL() << "attached to a missing file";
    } catch (const DbError& e) {
        EXPECT_EQ(e.kind(), DbErrorKind::CannotOpen);
        EXPECT_TRUE(e.message().contains(testing_support::scratchDir() + "/nowhere/BR.GDB")) << e.message().toStdString();
        EXPECT_TRUE(e.message().contains("BR.INI"));
        EXPECT_FALSE(e.detail().isEmpty());
    }
    // The paths of the protocols this system has not (NETBEUI, IPX) are named as such.
    for (const QString& path : {QString("\\\\server\\BR.GDB"), QString("server@/data/BR.GDB")}) {
        Database foreign(ConnectParams{path});
        try {
            foreign.connect();
            ADD_FAILURE() << "attached to " << path.toStdString();
        } catch (const DbError& e) {
            EXPECT_EQ(e.kind(), DbErrorKind::Protocol) << path.toStdString();
            EXPECT_TRUE(e.message().contains("Protocol")) << e.message().toStdString();
        }
    }
}

// A character the code page lacks, written into a statement's text (a search
// value, a caption): the refusal names the value that holds it, never the statement.
TEST(EngineErrors, ARefusedCharacterInAStatementNamesItsValue)
{
    QRandomGenerator rng(1251);
    const QStringList pieces = {"Рубль", "ООО \"Ромашка\"", "it's", "abc", "", "Ёж 5"};
    const QStringList bad = {QString::fromUtf8("₽"), QString::fromUtf8("☃"), QString::fromUcs4(U"\U0001F600")};
    for (int round = 0; round < 200; ++round) {
        QString sql = "select c.* from Customer c where IDUSER = 3";
        QString expected;
        qsizetype at = -1;
        const int values = 1 + int(rng.bounded(4));
        const int chosen = int(rng.bounded(values));
        for (int v = 0; v < values; ++v) {
            const QChar quote = rng.bounded(2) ? '"' : '\'';
            const QString value = pieces[int(rng.bounded(pieces.size()))];
            sql += "\nand Company containing " + QString(quote);
            if (v == chosen) {
                const QString c = bad[int(rng.bounded(bad.size()))];
                const qsizetype where = rng.bounded(value.size() + 1);
                // The value as the database takes it, its quotes doubled in the text.
                QString written = value;
                written.replace(quote, QString(2, quote));
                qsizetype inText = 0;
                for (qsizetype i = 0; i < where; ++i) inText += value.at(i) == quote ? 2 : 1;
                at = sql.size() + inText;
                sql += written.left(inText) + c + written.mid(inText);
                expected = value.left(where) + c + value.mid(where);
            } else {
                sql += QString(value).replace(quote, QString(2, quote));
            }
            sql += quote;
        }
        const CodePageError e = outsideCodePageInSql(sql, at);
        EXPECT_EQ(e.text(), expected) << sql.toStdString();
        EXPECT_FALSE(e.message().contains("Company")) << e.message().toStdString();
        EXPECT_TRUE(e.message().contains(e.character())) << e.message().toStdString();
    }
    // Named by the field it is typed into, when that is known; no engine text under it.
    try {
        checkCodePage("Рубль ₽", "Название");
        FAIL() << "taken";
    } catch (const CodePageError& e) {
        EXPECT_EQ(e.message(), QString::fromUtf8("В поле «Название» «Рубль ₽» есть символ U+20BD «₽», которого нет в "
                                                 "кодировке Windows-1251.\nЗамените или удалите этот символ."));
        EXPECT_EQ(e.shownText(), e.message());
    }
}

// A write the server's disk has no room for is told in Russian, the engine's text below it.
TEST(EngineErrors, AFullDiskIsToldInRussianWithTheEngineTextAsDetail)
{
    const char* op = "write";
    const char* file = "/var/lib/firebird/data/BR.GDB";
    const auto status = [&](std::initializer_list<ISC_STATUS> tail) {
        std::vector<ISC_STATUS> s = {isc_arg_gds, isc_io_error, isc_arg_string, ISC_STATUS(op), isc_arg_string,
                                     ISC_STATUS(file)};
        s.insert(s.end(), tail);
        s.push_back(isc_arg_end);
        return s;
    };
    const std::vector<ISC_STATUS> full[] = {
        status({isc_arg_gds, isc_io_write_err, isc_arg_unix, 28}),
        status({isc_arg_gds, isc_io_write_err, isc_arg_unix, 122}),
        {isc_arg_gds, isc_out_of_temp_space, isc_arg_end},
    };
    for (const auto& s : full) {
        const DbError e = errorFromStatus(s.data());
        EXPECT_EQ(e.kind(), DbErrorKind::DiskFull);
        EXPECT_TRUE(e.message().startsWith("На диске сервера нет места")) << e.message().toStdString();
        EXPECT_TRUE(e.shownText().contains("\n\nПодробности: " + e.detail())) << e.shownText().toStdString();
        EXPECT_FALSE(e.detail().isEmpty());
    }
    const DbError denied = errorFromStatus(status({isc_arg_gds, isc_io_write_err, isc_arg_unix, 13}).data());
    EXPECT_NE(denied.kind(), DbErrorKind::DiskFull);
}
