// Two users on one server database, each with an attachment of its own: a
// post that meets the other user's committed change to the same column.

#include "WidgetFixture.h"

#include "widgets/DBControls.h"
#include "widgets/DBGrid.h"
#include "widgets/ExceptionHandler.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

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
        runSqlScript(db, "create table NOTES (ID integer not null primary key, NOTE varchar(100) character set WIN1251,"
                         " IDTYPE integer);\n"
                         "create table TYPES (IDTYPE integer not null primary key, NAME varchar(30) character set WIN1251);\n"
                         "insert into TYPES values (1, 'Звонок');\n"
                         "insert into TYPES values (2, 'Встреча');\n"
                         "insert into TYPES values (3, 'Письмо');\n"
                         "insert into NOTES values (1, 'Позвонить', 1);\n");
    }
    static void TearDownTestSuite() { testing_support::dropDatabase(params_); }

    void SetUp() override
    {
        if (testing_support::serverHost().isEmpty()) GTEST_SKIP() << "no Firebird server for this run";
        other.setParams(params_);
        other.connect();
        db.setParams(params_);
        db.connect();
        types.setDatabase(&db);
        types.setSql({"select * from TYPES order by IDTYPE"});
        types.open();
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
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        grid->setFocus();
    }
    static void type(const QString& text)
    {
        for (QChar ch : text) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
            QApplication::sendEvent(QApplication::focusWidget(), &press);
        }
    }
    static void key(Qt::Key k) { QTest::keyClick(QApplication::focusWidget(), k); }
    QString stored(const char* column) { return other.selectValue(QString("select %1 from NOTES").arg(column)).asString(); }

    static ConnectParams params_;
    Database other;      // the other user's attachment
    Database db;
    Query types, qry;
    UpdateSql usql;
    DataSource src;
    QWidget window;
    DBGrid* grid = nullptr;
};
ConnectParams Conflict::params_;

TEST_F(Conflict, TheMessageNamesTheColumnsWithBothValuesAndReReadsTheRowOnRequest)
{
    grid->setSelectedField("NOTE");
    type("Перезвонить завтра");
    other.execute("update NOTES set NOTE = 'Договор подписан'");
    ScriptedDialogs d;
    d.expectConfirm(false).expectConfirm(true).expectConfirm(true);
    key(Qt::Key_Down);
    ASSERT_EQ(d.shown().size(), 1);
    const QString text = d.shown()[0].text;
    EXPECT_TRUE(text.startsWith("Другой пользователь уже изменил эту запись (Комментарий).\n"
                                "Комментарий: вы ввели «Перезвонить завтра», сохранено «Договор подписан»."))
        << text.toStdString();
    EXPECT_TRUE(text.contains("Обновить запись?"));
    // No keeps the typed text; Yes shows what is stored.
    EXPECT_EQ(qry.state(), DataSetState::Edit);
    EXPECT_EQ(qry.fieldByName("NOTE").asString(), "Перезвонить завтра");
    key(Qt::Key_Down);
    EXPECT_EQ(qry.state(), DataSetState::Browse);
    EXPECT_EQ(grid->model()->index(0, 1).data().toString(), "Договор подписан");
    EXPECT_EQ(stored("NOTE"), "Договор подписан");

    // A key column is named by its lookup's title, its values by the list.
    other.execute("update NOTES set IDTYPE = 2");
    key(Qt::Key_Left);
    type("П");
    key(Qt::Key_Return);
    key(Qt::Key_Down);
    ASSERT_EQ(d.shown().size(), 3);
    EXPECT_TRUE(d.shown()[2].text.contains("Тип: вы ввели «Письмо», сохранено «Встреча».")) << d.shown()[2].text.toStdString();
    EXPECT_EQ(grid->model()->index(0, 0).data().toString(), "Встреча");
}

TEST_F(Conflict, ARowAnotherUserDeletedLeavesTheGridAtCancel)
{
    other.execute("insert into NOTES values (10, 'Удалить', 1)");
    other.execute("insert into NOTES values (11, 'Оставить', 1)");
    qry.refresh();
    const int rows = qry.recordCount();
    ASSERT_TRUE(qry.locate("ID", 10));
    grid->setSelectedField("NOTE");
    type("Позже");
    other.execute("delete from NOTES where ID = 10");
    ScriptedDialogs d;
    d.expectError("Запись удалена другим пользователем.\nОтмените изменения: запись будет убрана из списка.");
    key(Qt::Key_Down);
    EXPECT_EQ(qry.state(), DataSetState::Edit);
    EXPECT_EQ(qry.recordCount(), rows);
    key(Qt::Key_Escape);
    key(Qt::Key_Escape);
    EXPECT_EQ(qry.state(), DataSetState::Browse);
    EXPECT_EQ(qry.recordCount(), rows - 1);
    EXPECT_EQ(grid->model()->rowCount(), rows - 1);
    EXPECT_FALSE(qry.locate("ID", 10));
    EXPECT_TRUE(qry.locate("ID", 11));
}

// Edits outside any grid are named by the labels beside them, in the conflict
// message and in the refusal of a character the database cannot store; a value
// written into a statement (a search) is named by its edit's label too.
TEST_F(Conflict, EditsAndSearchValuesAreNamedAsTheWindowNamesThem)
{
    other.execute("insert into NOTES values (20, 'Заметка', 2)");
    Query card;
    card.setDatabase(&db);
    card.setSql({"select * from NOTES where ID = 20"});
    UpdateSql cardSql;
    cardSql.setModifySql({"update NOTES set NOTE = :NOTE where ID = :OLD_ID"});
    card.setUpdateObject(&cardSql);
    card.open();
    DataSource cardSrc;
    cardSrc.setDataSet(&card);
    auto* panel = new QWidget(&window);
    panel->setGeometry(0, 210, 420, 90);
    auto* form = new QFormLayout(panel);
    auto* edit = new DBEdit(panel);
    edit->setDataSource(&cardSrc);
    edit->setDataField("NOTE");
    form->addRow("Текст заметки", edit);
    auto* row = new QGridLayout;
    auto* search = new QLineEdit(panel);
    row->addWidget(new QLabel("Компания", panel), 0, 0);
    row->addWidget(search, 0, 1);
    form->addRow(row);
    panel->show();

    ScriptedDialogs d;
    edit->setFocus();
    edit->selectAll();
    type("Рубль ₽");
    d.expectError();
    runGuarded([&] { card.post(); });
    ASSERT_EQ(d.shown().size(), 1);
    EXPECT_EQ(d.shown()[0].text, "В поле «Текст заметки» «Рубль ₽» есть символ U+20BD «₽», которого нет в кодировке "
                                 "Windows-1251.\nЗамените или удалите этот символ.");
    EXPECT_EQ(card.state(), DataSetState::Edit);
    card.cancel();

    edit->setFocus();
    edit->selectAll();
    type("Моя");
    other.execute("update NOTES set NOTE = 'Чужая' where ID = 20");
    d.expectConfirm(false);
    runGuarded([&] { card.post(); });
    ASSERT_EQ(d.shown().size(), 2);
    EXPECT_TRUE(d.shown()[1].text.startsWith("Другой пользователь уже изменил эту запись (Текст заметки).\n"
                                             "Текст заметки: вы ввели «Моя», сохранено «Чужая»."))
        << d.shown()[1].text.toStdString();
    card.cancel();

    search->setText("Рога ₽");
    d.expectError();
    runGuarded([&] { db.selectValue("select count(*) from NOTES where NOTE containing \"" + search->text() + "\""); });
    ASSERT_EQ(d.shown().size(), 3);
    EXPECT_TRUE(d.shown()[2].text.startsWith("В поле «Компания» «Рога ₽» есть символ U+20BD «₽»"))
        << d.shown()[2].text.toStdString();
    EXPECT_FALSE(d.shown()[2].text.contains("NOTE"));
    EXPECT_TRUE(search->hasFocus());
}

} // namespace
