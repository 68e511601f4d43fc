// Two users on one server database, each with an attachment of its own: a
// post that meets the other user's committed change to the same column.

#include "db/Database.h"
#include "db/DataSource.h"
#include "db/Query.h"
#include "db/SqlScript.h"
#include "db/UpdateSql.h"
#include "support/TestDatabase.h"
#include "widgets/DBGrid.h"
#include "widgets/ScriptedDialogs.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTest>
#include <gtest/gtest.h>

using namespace fw;

namespace {

class Conflict : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ScriptedDialogs::setDefaultFailureHandler([](const QString& m) { ADD_FAILURE() << m.toStdString(); });
        if (testing_support::serverHost().isEmpty()) return;
        params_ = testing_support::createServerDatabase("widgets-conflict");
        Database db(params_);
        db.connect();
        runSqlScript(db,
            "create table NOTES (ID integer not null primary key, NOTE varchar(100) character set WIN1251,"
            " IDTYPE integer);\n"
            "create table TYPES (IDTYPE integer not null primary key, NAME varchar(30) character set WIN1251);\n"
            "insert into TYPES values (1, 'Звонок');\n"
            "insert into TYPES values (2, 'Встреча');\n"
            "insert into TYPES values (3, 'Письмо');\n");
    }
    static void TearDownTestSuite() { testing_support::dropDatabase(params_); }

    void SetUp() override
    {
        if (testing_support::serverHost().isEmpty()) GTEST_SKIP() << "no Firebird server for this run";
        other.setParams(params_);
        other.connect();
        other.execute("delete from NOTES");
        other.execute("insert into NOTES values (1, 'Позвонить', 1)");
        other.execute("insert into NOTES values (2, 'Отправить счет', 3)");

        db.setParams(params_);
        db.connect();
        types.setDatabase(&db);
        types.setSql({"select * from TYPES order by IDTYPE"});
        types.open();
        qry.setObjectName("qryNotes");
        qry.setDatabase(&db);
        qry.setSql({"select * from NOTES order by ID"});
        usql.setModifySql({"update NOTES set NOTE = :NOTE, IDTYPE = :IDTYPE where ID = :OLD_ID"});
        qry.setUpdateObject(&usql);
        qry.addLookupField("Type", "IDTYPE", &types, "IDTYPE", "NAME");
        qry.open();
        src.setDataSet(&qry);

        grid = new DBGrid(&window);
        grid->setDataSource(&src);
        grid->setColumns({{"Type", "Тип"}, {"NOTE", "Комментарий", 200}});
        grid->resize(420, 200);
        window.resize(440, 220);
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        grid->setFocus();
    }
    void TearDown() override
    {
        qry.close();
        types.close();
    }

    static void type(const QString& text)
    {
        for (QChar ch : text) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
            QApplication::sendEvent(QApplication::focusWidget(), &press);
        }
    }
    static void key(Qt::Key k) { QTest::keyClick(QApplication::focusWidget(), k); }
    QString stored(const char* column, int id = 1)
    {
        return other.selectValue(QString("select %1 from NOTES where ID = %2").arg(column).arg(id)).asString();
    }

    static ConnectParams params_;
    Database other;      // the other user's attachment
    Database db;
    Query types;
    Query qry;
    UpdateSql usql;
    DataSource src;
    QWidget window;
    DBGrid* grid = nullptr;
};
ConnectParams Conflict::params_;

TEST_F(Conflict, TheMessageNamesTheColumnWithBothValuesAndReloadsTheRowOnRequest)
{
    grid->setSelectedField("NOTE");
    type("Перезвонить завтра");
    other.execute("update NOTES set NOTE = 'Договор подписан' where ID = 1");

    // No: the typed text stays, nothing is written.
    ScriptedDialogs d;
    d.expectConfirm(false).expectConfirm(true);
    key(Qt::Key_Down);
    ASSERT_EQ(d.shown().size(), 1);
    const QString text = d.shown()[0].text;
    EXPECT_TRUE(text.startsWith("Другой пользователь уже изменил эту запись (Комментарий).")) << text.toStdString();
    EXPECT_TRUE(text.contains("Комментарий: вы ввели «Перезвонить завтра», сохранено «Договор подписан».")) << text.toStdString();
    EXPECT_TRUE(text.contains("Обновить запись?"));
    EXPECT_EQ(qry.state(), DataSetState::Edit);
    EXPECT_EQ(qry.currentRow(), 0);
    EXPECT_EQ(qry.fieldByName("NOTE").asString(), "Перезвонить завтра");
    EXPECT_EQ(stored("NOTE"), "Договор подписан");

    // Yes: the row shows what is stored now, in the grid too.
    key(Qt::Key_Down);
    EXPECT_EQ(qry.state(), DataSetState::Browse);
    EXPECT_EQ(qry.fieldByName("NOTE").asString(), "Договор подписан");
    EXPECT_EQ(grid->model()->index(0, 1).data().toString(), "Договор подписан");
    EXPECT_EQ(stored("NOTE"), "Договор подписан");

    // The next edit builds on the stored row and is written.
    grid->setFocus();
    type("Договор подписан, ждем оплату");
    key(Qt::Key_Down);
    EXPECT_EQ(stored("NOTE"), "Договор подписан, ждем оплату");
}

TEST_F(Conflict, AKeyColumnIsNamedByItsLookupAndShownByItsList)
{
    grid->setSelectedField("Type");
    other.execute("update NOTES set IDTYPE = 2 where ID = 1");
    key(Qt::Key_F4);
    QTest::qWait(10);
    type("П");
    ScriptedDialogs d;
    d.expectConfirm(true);
    key(Qt::Key_Return);
    key(Qt::Key_Down);
    ASSERT_EQ(d.shown().size(), 1);
    EXPECT_TRUE(d.shown()[0].text.contains("Тип: вы ввели «Письмо», сохранено «Встреча».")) << d.shown()[0].text.toStdString();
    EXPECT_EQ(qry.fieldByName("IDTYPE").asInteger(), 2);
    EXPECT_EQ(grid->model()->index(0, 0).data().toString(), "Встреча");
    EXPECT_EQ(stored("IDTYPE"), "2");
}

} // namespace
