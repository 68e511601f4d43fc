#pragma once

#include "db/Database.h"
#include "db/DataSource.h"
#include "db/Query.h"
#include "db/SqlScript.h"
#include "db/UpdateSql.h"
#include "support/TestDatabase.h"
#include "widgets/ScriptedDialogs.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

// A fresh database per test program with two tables: clients with a trigger
// that refuses one name, and departments for the lookups.
class WidgetTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        fw::ScriptedDialogs::setDefaultFailureHandler([](const QString& m) { ADD_FAILURE() << m.toStdString(); });
        if (!params_.path.isEmpty()) return;
        params_ = testing_support::createEmptyDatabase("widgets");
        fw::Database db(params_);
        db.connect();
        fw::runSqlScript(db,
            "create table KLIENT (ID integer not null primary key, NAME varchar(50) character set WIN1251,"
            " QTY integer, FLAG char(1), SUMMA numeric(15,2), IDOTDEL integer);\n"
            "create table OTDEL (IDOTDEL integer not null primary key, OTDEL varchar(30) character set WIN1251);\n"
            "create generator GEN_KLIENT;\n"
            "create exception E_NAME 'Недопустимое название клиента';\n"
            "SET TERM ^ ;\n"
            "create trigger KLIENT_BIU for KLIENT before insert or update as begin"
            "  if (new.NAME = 'ОШИБКА') then exception E_NAME; end^\n"
            "SET TERM ; ^\n"
            "insert into OTDEL values (1, 'Продажи');\n"
            "insert into OTDEL values (2, 'Склад');\n"
            "insert into OTDEL values (3, 'Бухгалтерия');\n");
    }

    void SetUp() override
    {
        db.setParams(params_);
        db.connect();
        db.execute("delete from KLIENT");
        const char* rows[] = {
            "insert into KLIENT values (1, 'Альфа', 10, '+', 100.50, 1)",
            "insert into KLIENT values (2, 'Бета', 20, '-', 2000, 2)",
            "insert into KLIENT values (3, 'Гамма', 30, '+', 30.25, 1)",
            "insert into KLIENT values (4, 'Дельта', null, null, null, null)",
            "insert into KLIENT values (5, 'Эпсилон', 50, '-', 5, 3)",
        };
        for (const char* r : rows) db.execute(r);
        db.execute("set generator GEN_KLIENT to 100");

        qry.setObjectName("qry");
        qry.setDatabase(&db);
        qry.setSql({"select * from KLIENT", "order by ID"});
        usql.setModifySql({"update KLIENT set NAME = :NAME, QTY = :QTY, FLAG = :FLAG, SUMMA = :SUMMA,",
                           "  IDOTDEL = :IDOTDEL where ID = :OLD_ID"});
        usql.setInsertSql({"insert into KLIENT (ID, NAME, QTY, FLAG, SUMMA, IDOTDEL)",
                           "values (:ID, :NAME, :QTY, :FLAG, :SUMMA, :IDOTDEL)"});
        usql.setDeleteSql({"delete from KLIENT where ID = :OLD_ID"});
        qry.setUpdateObject(&usql);
        qry.beforePost = [this](fw::DataSet& ds) {
            if (ds.fieldByName("ID").isNull())
                ds.fieldByName("ID").setAsInteger(db.selectValue("select gen_id(GEN_KLIENT, 1) from rdb$database").asInt());
        };
        src.setDataSet(&qry);

        otdel.setDatabase(&db);
        otdel.setSql({"select * from OTDEL", "order by IDOTDEL"});
        otdelSrc.setDataSet(&otdel);
    }

    void TearDown() override
    {
        qry.close();
        otdel.close();
    }

    // What the database holds now, read past the data set.
    QString stored(int id, const QString& column)
    {
        return db.selectValue(QString("select %1 from KLIENT where ID = %2").arg(column).arg(id)).asString();
    }
    int storedCount() { return db.selectValue("select count(*) from KLIENT").asInt(); }

    // One key event per character (QTest::keyClicks cannot send Cyrillic), to
    // whatever has the focus in the window, as a user's typing goes.
    static void type(QWidget* w, const QString& text)
    {
        for (QChar ch : text) {
            QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : w;
            int key = 0;
            if (ch.isLetter() && ch.unicode() < 128) key = Qt::Key_A + (ch.toUpper().unicode() - 'A');
            else if (ch.isDigit()) key = Qt::Key_0 + (ch.unicode() - '0');
            else if (ch == ' ') key = Qt::Key_Space;
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(ch));
            QApplication::sendEvent(target, &press);
            QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(ch));
            QApplication::sendEvent(target, &release);
        }
    }
    static void key(int k, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QWidget* target = QApplication::focusWidget();
        ASSERT_NE(target, nullptr) << "nothing has the focus";
        QTest::keyClick(target, Qt::Key(k), mods);
    }
    static void showActive(QWidget& w)
    {
        w.show();
        w.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    }

    static fw::ConnectParams params_;
    fw::Database db;
    fw::Query qry;
    fw::UpdateSql usql;
    fw::DataSource src;
    fw::Query otdel;
    fw::DataSource otdelSrc;
};

inline fw::ConnectParams WidgetTest::params_;
