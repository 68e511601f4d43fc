#include "ControlsTestUtil.h"
#include "controls/DBCalcEdit.h"
#include "controls/DBDateEdit.h"
#include "widgets/ScriptedDialogs.h"
#include "controls/VclUtils.h"
#include "db/Query.h"
#include "db/SqlScript.h"
#include "db/UpdateSql.h"
#include "support/TestDatabase.h"

#include <QFormLayout>
#include <QLineEdit>
#include <gtest/gtest.h>
#include <memory>

using fw::Currency;
using fw::DataSetState;

namespace {

const QDateTime kMay5(QDate(2024, 5, 5), QTime(14, 30));

// One document row bound to a date edit and three calculator edits.
class DBEdits : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        params_ = testing_support::createEmptyDatabase("dbedits");
        fw::Database db(params_);
        db.connect();
        fw::runSqlScript(db, "create table DOC (ID integer not null primary key, DATECR date,"
                             " SUMMA numeric(15,2), QTY numeric(15,3), N integer);");
    }

    void SetUp() override
    {
        db.setParams(params_);
        db.connect();
        db.execute("delete from DOC");
        db.execute("insert into DOC values (1, :D, 10.5, 2.5, 3)", {{"D", fw::Value(kMay5)}});
        db.execute("insert into DOC values (2, null, null, null, null)");
        usql.setModifySql({"update DOC set DATECR = :DATECR, SUMMA = :SUMMA, QTY = :QTY, N = :N",
                           "where ID = :OLD_ID"});
        q.setDatabase(&db);
        q.setSql({"select * from DOC", "order by ID"});
        q.setUpdateObject(&usql);
        q.open();
        src.setDataSet(&q);

        auto* l = new QFormLayout(form.get());
        de = new TDBDateEdit(form.get());
        de->SetYearDigits(dyFour);
        sum = new TBrDBCalcEdit(form.get());
        qty = new TBrDBCalcEdit(form.get());
        qty->SetDecimalPlaces(3);
        qty->SetDisplayFormat(",0.###");
        num = new TBrDBCalcEdit(form.get());
        other = new QLineEdit(form.get());
        l->addRow("Дата:", de);
        l->addRow("Сумма:", sum);
        l->addRow("Количество:", qty);
        l->addRow("Номер:", num);
        l->addRow("", other);
        const std::pair<TBrDBCalcEdit*, const char*> numbers[] = {{sum, "SUMMA"}, {qty, "QTY"}, {num, "N"}};
        for (auto [e, name] : numbers) {
            e->SetZeroEmpty(false);
            e->SetDataSource(&src);
            e->SetDataField(name);
        }
        de->SetDataSource(&src);
        de->SetDataField("DATECR");
        form->resize(260, 150);
        form->show();
        form->activateWindow();
        QApplication::processEvents();
        SetControlErrorHandler([this](QWidget*, const QString& m) { errors << m; });
    }

    void TearDown() override { SetControlErrorHandler({}); }

    void focus(QWidget* w)
    {
        w->setFocus(Qt::TabFocusReason);
        QApplication::processEvents();
    }
    // Types into an edit with all its text selected, then leaves it.
    void enter(QLineEdit* e, const QString& text)
    {
        focus(e);
        e->selectAll();
        typeText(e, text);
        focus(other);
    }
    fw::Value stored(const QString& column, int id = 1)
    {
        return db.selectValue(QString("select %1 from DOC where ID = %2").arg(column).arg(id));
    }
    fw::Field& field(const char* name) { return q.fieldByName(name); }

    static fw::ConnectParams params_;
    fw::Database db;
    fw::UpdateSql usql;
    fw::Query q;
    fw::DataSource src;
    std::unique_ptr<QWidget> form = std::make_unique<QWidget>();
    TDBDateEdit* de;
    TBrDBCalcEdit *sum, *qty, *num;
    QLineEdit* other;
    QStringList errors;
};
fw::ConnectParams DBEdits::params_;

} // namespace

TEST_F(DBEdits, TypedDateKeepsTheTimeOfDay)
{
    EXPECT_EQ(de->Text(), "05.05.2024");
    EXPECT_TRUE(de->isReadOnly());   // browsing: no typing until editing starts
    enter(de, "07052024");
    EXPECT_EQ(q.state(), DataSetState::Edit);
    EXPECT_EQ(field("DATECR").asDateTime(), QDateTime(QDate(2024, 5, 7), QTime(14, 30)));
    q.post();
    EXPECT_EQ(stored("DATECR").asDateTime(), QDateTime(QDate(2024, 5, 7), QTime(14, 30)));
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(DBEdits, EmptiedDateStoresNullOrTodayWithDefaultToday)
{
    FixedClock clock(QDate(2026, 6, 10));
    focus(de);
    de->selectAll();
    sendKey(de, Qt::Key_Delete);   // starts editing
    focus(other);
    EXPECT_TRUE(field("DATECR").isNull());
    q.cancel();
    de->SetDefaultToday(true);
    focus(de);
    de->selectAll();
    sendKey(de, Qt::Key_Delete);
    focus(other);
    EXPECT_EQ(field("DATECR").asDateTime(), QDateTime(QDate(2026, 6, 10), QTime(14, 30)));
}

TEST_F(DBEdits, DefaultTodayFillsANullDateWhenEditingStarts)
{
    FixedClock clock(QDate(2026, 6, 10), QTime(9, 15));
    q.next();
    q.edit();
    EXPECT_TRUE(field("DATECR").isNull());   // not without DefaultToday
    q.cancel();
    de->SetDefaultToday(true);
    q.edit();
    EXPECT_EQ(field("DATECR").asDateTime(), QDateTime(QDate(2026, 6, 10), QTime(9, 15)));
    EXPECT_EQ(de->Text(), "10.06.2026");
}

TEST_F(DBEdits, UnreadableDateKeepsTheFieldAndTheFocus)
{
    enter(de, "31022024");
    ASSERT_EQ(errors, QStringList{"'31.02.2024' is not a valid date"});
    EXPECT_TRUE(de->hasFocus());
    EXPECT_EQ(de->selectedText(), "31.02.2024");
    EXPECT_EQ(field("DATECR").asDateTime(), kMay5);
    // a post asks the edit first and is stopped the same way
    EXPECT_THROW(q.post(), EConvertError);
    EXPECT_EQ(q.state(), DataSetState::Edit);
    EXPECT_EQ(stored("DATECR").asDateTime(), kMay5);
    // Esc brings the field's date back
    sendKey(de, Qt::Key_Escape, Qt::NoModifier, "\x1b");
    EXPECT_EQ(de->Text(), "05.05.2024");
    focus(other);
    EXPECT_EQ(errors.size(), 1);
}

TEST_F(DBEdits, CalendarChoiceStartsEditingAndKeepsTheTime)
{
    focus(de);
    sendKey(de, Qt::Key_Down, Qt::AltModifier);
    ASSERT_TRUE(de->PopupVisible());
    sendKey(de, Qt::Key_PageDown);
    sendKey(de, Qt::Key_Return, Qt::NoModifier, "\r");
    EXPECT_EQ(q.state(), DataSetState::Edit);
    EXPECT_EQ(field("DATECR").asDateTime(), QDateTime(QDate(2024, 6, 5), QTime(14, 30)));
}

TEST_F(DBEdits, ProtectedEditsCannotChange)
{
    de->SetReadOnly(true);
    focus(de);
    sendKey(de, Qt::Key_Down, Qt::AltModifier);
    EXPECT_FALSE(de->PopupVisible());
    sendKey(de, Qt::Key_T, Qt::NoModifier, "t");
    sendKey(de, Qt::Key_Plus, Qt::KeypadModifier, "+");
    typeText(de, "1");
    sendKey(de, Qt::Key_Delete);
    sum->SetReadOnly(true);
    sendKey(sum, Qt::Key_Down, Qt::AltModifier);
    EXPECT_FALSE(sum->PopupVisible());
    typeText(sum, "5");
    sendKey(sum, Qt::Key_Delete);
    EXPECT_EQ(sum->Text(), "10,5");
    // protected while the calendar is open: the choice is refused
    de->SetReadOnly(false);
    sendKey(de, Qt::Key_Down, Qt::AltModifier);
    ASSERT_TRUE(de->PopupVisible());
    de->SetReadOnly(true);
    sendKey(de, Qt::Key_PageDown);
    sendKey(de, Qt::Key_Return, Qt::NoModifier, "\r");
    EXPECT_EQ(q.state(), DataSetState::Browse);
    EXPECT_EQ(de->Text(), "05.05.2024");
    // a read-only field protects it in the same way, also in edit mode
    de->SetReadOnly(false);
    field("DATECR").setReadOnly(true);
    q.edit();
    EXPECT_TRUE(de->isReadOnly());
    sendKey(de, Qt::Key_T, Qt::NoModifier, "t");
    EXPECT_EQ(de->Text(), "05.05.2024");
}

TEST_F(DBEdits, RefusedEditModeDropsTheKey)
{
    fw::ScriptedDialogs dialogs;
    dialogs.expectError("Нет прав");     // an Abort shows nothing, a refusal its message
    q.beforeEdit = [](fw::DataSet&) { throw fw::Abort(); };
    focus(de);
    de->setCursorPosition(0);
    typeText(de, "1");
    q.beforeEdit = [](fw::DataSet&) { throw fw::UserError("Нет прав"); };
    typeText(num, "5");
    EXPECT_EQ(q.state(), DataSetState::Browse);
    EXPECT_EQ(de->Text(), "05.05.2024");
    EXPECT_EQ(num->Text(), "3");
    EXPECT_EQ(dialogs.pending(), 0);
    // a letter in the date edit, and a key the number refuses, never start editing
    q.beforeEdit = nullptr;
    typeText(de, "x");
    typeText(num, "x");
    EXPECT_EQ(q.state(), DataSetState::Browse);
}

TEST_F(DBEdits, IntegerFieldTakesWholeNumbers)
{
    focus(num);
    sendKey(num, Qt::Key_Down, Qt::AltModifier);
    typeText(num, "7/2=");
    QApplication::processEvents();
    EXPECT_EQ(field("N").value(), fw::Value(3));   // truncated
    num->SetDefaultParams(true);
    EXPECT_EQ(num->DecimalPlaces(), 0);
    enter(num, "12,5");
    EXPECT_EQ(num->Text(), "125");
    q.post();
    EXPECT_EQ(stored("N").asInt(), 125);
}

TEST_F(DBEdits, ZeroClearsTheFieldOnlyWithZeroEmpty)
{
    enter(sum, "0");
    EXPECT_EQ(field("SUMMA").asCurrency(), Currency());
    EXPECT_FALSE(field("SUMMA").isNull());
    sum->SetZeroEmpty(true);
    enter(sum, "0");
    EXPECT_TRUE(field("SUMMA").isNull());
    q.post();
    EXPECT_TRUE(stored("SUMMA").isNull());
}

TEST_F(DBEdits, MoneyFromTheCalculatorIsExact)
{
    focus(sum);
    sendKey(sum, Qt::Key_Down, Qt::AltModifier);
    typeText(sum, "0,1+0,2=");
    QApplication::processEvents();
    ASSERT_FALSE(sum->PopupVisible());
    EXPECT_EQ(field("SUMMA").asCurrency(), *Currency::parse("0.3"));
    enter(qty, "1,005");
    q.post();
    EXPECT_EQ(db.selectValue("select count(*) from DOC where SUMMA = 0.3 and QTY = 1.005").asInt(), 1);
    EXPECT_EQ(sum->Text(), "0,3");

    // Typing over a calculator result in the same edit stores what was typed.
    focus(sum);
    sendKey(sum, Qt::Key_Down, Qt::AltModifier);
    typeText(sum, "2*3=");
    QApplication::processEvents();
    enter(sum, "7,25");
    q.post();
    EXPECT_EQ(stored("SUMMA").asCurrency(), *Currency::parse("7.25"));
}

TEST_F(DBEdits, MoneyTheFieldCannotHoldIsRefusedAloud)
{
    sum->SetBeepOnError(false);
    enter(sum, QString(16, '9'));
    ASSERT_EQ(errors.size(), 2);
    EXPECT_TRUE(errors[0].contains("вне диапазона денежных сумм")) << errors[0].toStdString();
    EXPECT_EQ(field("SUMMA").asCurrency(), *Currency::parse("99999999999999"));
    q.cancel();

    errors.clear();
    focus(sum);
    sendKey(sum, Qt::Key_Down, Qt::AltModifier);
    typeText(sum, "1000000000*1000000=");
    QApplication::processEvents();
    ASSERT_FALSE(sum->PopupVisible());
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains("1E15")) << errors[0].toStdString();
    EXPECT_EQ(field("SUMMA").asCurrency(), *Currency::parse("10.5"));
}

TEST_F(DBEdits, Picture)
{
    focus(other);
    EXPECT_TRUE(form->grab().save("/tmp/dbedits.png"));
}

TEST_F(DBEdits, ClickedIntoAnEmptyDateThenTyped)
{
    q.next();
    QTest::mouseClick(de, Qt::LeftButton, {}, QPoint(de->width() - 30, de->height() / 2));
    typeText(de, "07052024");
    focus(other);
    EXPECT_EQ(field("DATECR").asDateTime().date(), QDate(2024, 5, 7));
}
