#include "db/DataSource.h"
#include "db/Database.h"
#include "db/NumberFormat.h"
#include "db/Query.h"
#include "db/SqlScript.h"
#include "db/StoredProc.h"
#include "db/UpdateSql.h"
#include "support/TestDatabase.h"

#include <QLocale>
#include <random>
#include <gtest/gtest.h>

using namespace fw;
using testing_support::createEmptyDatabase;

namespace {

// Departments and their items; a trigger fills TOTAL and refuses NAME "bad",
// another refuses to delete a row flagged "L".
const char* kSchema =
    "create table DEPT (IDDEPT integer not null primary key, DEPT varchar(30));\n"
    "create table ITEM (IDITEM integer not null primary key, IDDEPT integer, NAME varchar(20),"
    " QTY numeric(15,3), PRICE numeric(15,2), TOTAL numeric(15,2), DATECR date, FLAG char(1),"
    " NOTE blob sub_type 1);\n"
    "create exception E_BAD 'Bad name';\n"
    "create exception E_LOCKED 'Row is locked';\n"
    "create generator GEN_ITEM;\n"
    "set generator GEN_ITEM to 100;\n"
    "SET TERM ^ ;\n"
    "create procedure ID_ITEM returns (ID integer) as begin ID = gen_id(GEN_ITEM, 1); end^\n"
    "create trigger ITEM_BIU for ITEM before insert or update as begin\n"
    "  if (new.NAME = 'bad') then exception E_BAD;\n"
    "  new.TOTAL = new.QTY * new.PRICE;\n"
    "end^\n"
    "create trigger ITEM_BD for ITEM before delete as begin\n"
    "  if (old.FLAG = 'L') then exception E_LOCKED;\n"
    "end^\n"
    "SET TERM ; ^\n";

const QStringList kItemColumns = {"IDITEM", "IDDEPT", "NAME", "QTY", "PRICE", "DATECR", "FLAG"};

QStringList setList(const QStringList& cols)
{
    QStringList l;
    for (int i = 0; i < cols.size(); ++i) l << "  " + cols[i] + " = :" + cols[i] + (i + 1 < cols.size() ? "," : "");
    return l;
}

class DataSetTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        params_ = createEmptyDatabase("dataset");
        Database db(params_);
        db.connect();
        runSqlScript(db, kSchema);
    }

    void SetUp() override
    {
        QLocale::setDefault(QLocale::c());
        db.setParams(params_);
        db.connect();
        db.execute("update ITEM set FLAG = null where FLAG = 'L'");
        db.execute("delete from ITEM");
        db.execute("delete from DEPT");
        db.execute("insert into DEPT values (1, 'Sales')");
        db.execute("insert into DEPT values (2, 'Service')");
        db.execute("insert into DEPT values (3, 'Empty')");
        db.execute("insert into ITEM (IDITEM, IDDEPT, NAME, QTY, PRICE, FLAG) values (1, 1, 'Apple', 2, 10.5, '+')");
        db.execute("insert into ITEM (IDITEM, IDDEPT, NAME, QTY, PRICE, FLAG) values (2, 1, 'banana', 1, 3, '-')");
        db.execute("insert into ITEM (IDITEM, IDDEPT, NAME, QTY, PRICE, FLAG) values (3, 2, 'Cherry', 5, 7.25, 'L')");
        db.execute("insert into ITEM (IDITEM, IDDEPT, NAME, QTY, PRICE) values (4, 2, null, 1, 0)");

        usql.setModifySql(QStringList{"update ITEM", "set"} + setList(kItemColumns)
                          + QStringList{"where", "  IDITEM = :OLD_IDITEM"});
        usql.setInsertSql({"insert into ITEM", "  (" + kItemColumns.join(", ") + ")", "values",
                           "  (:" + kItemColumns.join(", :") + ")"});
        usql.setDeleteSql({"delete from ITEM", "where", "  IDITEM = :OLD_IDITEM"});
        items.setObjectName("qryItem");
        items.setDatabase(&db);
        items.setSql({"select *", "from ITEM", "order by IDITEM"});
        items.setUpdateObject(&usql);
        depts.setDatabase(&db);
        depts.setSql({"select *", "from DEPT", "order by IDDEPT"});
    }

    int count(const QString& where = "1=1")
    {
        return db.selectValue("select count(*) from ITEM where " + where).asInt();
    }

    // Records the events of a data set in order.
    void trace(DataSet& ds)
    {
        auto rec = [this](const char* name) { return [this, name](DataSet&) { log << name; }; };
        ds.beforeOpen = rec("beforeOpen");
        ds.afterOpen = rec("afterOpen");
        ds.beforeClose = rec("beforeClose");
        ds.afterClose = rec("afterClose");
        ds.beforeInsert = rec("beforeInsert");
        ds.onNewRecord = rec("onNewRecord");
        ds.afterInsert = rec("afterInsert");
        ds.beforeEdit = rec("beforeEdit");
        ds.afterEdit = rec("afterEdit");
        ds.beforePost = rec("beforePost");
        ds.afterPost = rec("afterPost");
        ds.beforeCancel = rec("beforeCancel");
        ds.afterCancel = rec("afterCancel");
        ds.beforeDelete = rec("beforeDelete");
        ds.afterDelete = rec("afterDelete");
        ds.beforeScroll = rec("beforeScroll");
        ds.afterScroll = rec("afterScroll");
    }

    QStringList take() { return std::exchange(log, {}); }

    static ConnectParams params_;
    Database db;
    UpdateSql usql;
    Query items;
    Query depts;
    QStringList log;
};
ConnectParams DataSetTest::params_;

// ---------------------------------------------------------------- events

TEST_F(DataSetTest, EventsComeInTheirClassicOrder)
{
    trace(items);
    items.open();
    EXPECT_EQ(take(), (QStringList{"beforeOpen", "afterOpen", "afterScroll"}));
    items.next();
    EXPECT_EQ(take(), (QStringList{"beforeScroll", "afterScroll"}));

    items.append();
    EXPECT_EQ(take(), (QStringList{"beforeInsert", "beforeScroll", "onNewRecord", "afterInsert", "afterScroll"}));
    items.fieldByName("IDITEM").setValue(50);
    items.fieldByName("NAME").setValue("New");
    items.post();
    EXPECT_EQ(take(), (QStringList{"beforePost", "afterPost"}));

    items.edit();
    items.cancel();
    EXPECT_EQ(take(), (QStringList{"beforeEdit", "afterEdit", "beforeCancel", "afterCancel"}));

    items.remove();
    EXPECT_EQ(take(), (QStringList{"beforeDelete", "beforeScroll", "afterDelete", "afterScroll"}));
    EXPECT_EQ(count("IDITEM = 50"), 0);

    items.close();
    EXPECT_EQ(take(), (QStringList{"beforeClose", "afterClose"}));
}

TEST_F(DataSetTest, AfterPostRunsOnlyOnceTheRowIsCommitted)
{
    int seen = -1;
    Database other(params_);
    other.connect();
    items.afterPost = [&](DataSet&) { seen = other.selectValue("select count(*) from ITEM where IDITEM = 60").asInt(); };
    items.open();
    items.append();
    items.fieldByName("IDITEM").setValue(60);
    items.fieldByName("NAME").setValue("bad");
    EXPECT_THROW(items.post(), DbError);
    EXPECT_EQ(seen, -1);
    items.fieldByName("NAME").setValue("good");
    items.post();
    EXPECT_EQ(seen, 1);     // another attachment already sees it

    // What fails after the commit is told as that: the row is saved.
    items.afterPost = [](DataSet&) { throw DbError("Invalid request BLR", -104, isc_req_sync); };
    items.edit();
    items.fieldByName("NAME").setValue("kept");
    try {
        items.post();
        FAIL() << "the failure after the commit was not told";
    } catch (const RefreshError& e) {
        EXPECT_EQ(e.message(), "Запись сохранена.\nОбновить данные в окне не удалось: Invalid request BLR");
        EXPECT_FALSE(e.connectionLost());
    }
    EXPECT_EQ(items.state(), DataSetState::Browse);
    EXPECT_EQ(other.selectValue("select NAME from ITEM where IDITEM = 60").asString(), "kept");
    // Inside the caller's transaction nothing is saved yet: the failure is his.
    db.startTransaction();
    items.edit();
    items.fieldByName("NAME").setValue("later");
    EXPECT_THROW(items.post(), DbError);
    db.rollback();
    EXPECT_EQ(other.selectValue("select NAME from ITEM where IDITEM = 60").asString(), "kept");
}

TEST_F(DataSetTest, AbortInAHandlerRefusesSilentlyAndNeverEntersTheState)
{
    items.open();
    items.beforeEdit = [](DataSet&) { throw Abort(); };
    EXPECT_THROW(items.edit(), Abort);
    EXPECT_EQ(items.state(), DataSetState::Browse);

    items.beforeInsert = [](DataSet&) { throw UserError("no right"); };
    EXPECT_THROW(items.append(), UserError);
    EXPECT_EQ(items.state(), DataSetState::Browse);
    EXPECT_EQ(items.rowCount(), 4);

    items.beforeInsert = nullptr;
    items.onNewRecord = [](DataSet&) { throw Abort(); };
    items.last();
    EXPECT_THROW(items.insert(), Abort);
    EXPECT_EQ(items.state(), DataSetState::Browse);
    EXPECT_EQ(items.rowCount(), 4);
    EXPECT_EQ(items.fieldByName("IDITEM").asInteger(), 4);   // back on the row it came from

    items.onNewRecord = nullptr;
    items.beforeEdit = nullptr;
    items.beforePost = [](DataSet&) { throw UserError("Не указан этап!"); };
    items.edit();
    items.fieldByName("NAME").setValue("Changed");
    EXPECT_THROW(items.post(), UserError);
    EXPECT_EQ(items.state(), DataSetState::Edit);
    EXPECT_EQ(items.fieldByName("NAME").asString(), "Changed");
}

TEST_F(DataSetTest, DisableControlsSilencesViewsButNotEvents)
{
    DataSource ds(&items);
    int notes = 0, scrolls = 0;
    QObject::connect(&items, &DataSet::currentChanged, [&] { ++notes; });
    QObject::connect(&ds, &DataSource::recordChanged, [&] { ++notes; });
    items.afterScroll = [&](DataSet&) { ++scrolls; };
    items.open();
    notes = scrolls = 0;
    items.disableControls();
    items.disableControls();
    items.next();
    items.next();
    items.enableControls();
    EXPECT_EQ(notes, 0);          // still one level disabled
    items.enableControls();
    EXPECT_EQ(scrolls, 2);
    EXPECT_EQ(notes, 1);          // one "everything changed" at the end
}

// ---------------------------------------------------------------- writing

TEST_F(DataSetTest, RefusedPostKeepsTypedValuesAndLeavesNothingQueued)
{
    items.open();
    items.append();
    items.fieldByName("IDITEM").setValue(70);
    items.fieldByName("NAME").setValue("bad");
    items.fieldByName("QTY").setAsString("1.5");
    try {
        items.post();
        FAIL() << "the trigger should refuse";
    } catch (const DbError& e) {
        EXPECT_TRUE(e.message().contains("Bad name"));
    }
    EXPECT_EQ(items.state(), DataSetState::Insert);
    EXPECT_EQ(items.fieldByName("NAME").asString(), "bad");
    EXPECT_EQ(items.fieldByName("QTY").asCurrency(), *Currency::parse("1.5"));
    EXPECT_EQ(count(), 4);

    // Giving up on that row and saving another one writes only the other one.
    items.cancel();
    items.append();
    items.fieldByName("IDITEM").setValue(71);
    items.fieldByName("NAME").setValue("fine");
    items.post();
    items.applyUpdates();
    items.commitUpdates();
    EXPECT_FALSE(items.updatesPending());
    EXPECT_EQ(count(), 5);
    EXPECT_EQ(count("IDITEM = 70"), 0);

    // A refused edit stays in edit; the database keeps the old text.
    items.first();
    items.edit();
    items.fieldByName("NAME").setValue("bad");
    EXPECT_THROW(items.post(), DbError);
    EXPECT_EQ(items.state(), DataSetState::Edit);
    EXPECT_EQ(db.selectValue("select NAME from ITEM where IDITEM = 1").asString(), "Apple");
}

TEST_F(DataSetTest, FailedDeleteKeepsTheRow)
{
    items.open();
    ASSERT_TRUE(items.locate("IDITEM", 3));
    int afterDelete = 0;
    items.afterDelete = [&](DataSet&) { ++afterDelete; };
    EXPECT_THROW(items.remove(), DbError);
    EXPECT_EQ(items.recordCount(), 4);
    EXPECT_EQ(items.fieldByName("IDITEM").asInteger(), 3);
    EXPECT_EQ(count("IDITEM = 3"), 1);
    EXPECT_EQ(afterDelete, 0);
    // The next delete works and the cursor lands on the following row.
    items.prior();
    items.remove();
    EXPECT_EQ(items.fieldByName("IDITEM").asInteger(), 3);
    EXPECT_EQ(count(), 3);
}

TEST_F(DataSetTest, ModifyFindsTheRowByItsOldKeyAndAVanishedRowIsAnError)
{
    items.open();
    items.edit();
    items.fieldByName("IDITEM").setValue(11);
    items.post();
    EXPECT_EQ(count("IDITEM = 11"), 1);
    EXPECT_EQ(count("IDITEM = 1"), 0);

    db.execute("delete from ITEM where IDITEM = 2");
    items.next();
    items.edit();
    items.fieldByName("NAME").setValue("ghost");
    EXPECT_THROW(items.post(), Error);     // zero rows written is never a success
    EXPECT_EQ(items.state(), DataSetState::Edit);
}

TEST_F(DataSetTest, PostJoinsTheCallersExplicitTransaction)
{
    items.open();
    db.startTransaction();
    items.append();
    items.fieldByName("IDITEM").setValue(80);
    items.post();
    db.rollback();
    EXPECT_EQ(count("IDITEM = 80"), 0);
}

TEST_F(DataSetTest, RequiredFieldsAreCheckedAfterBeforePost)
{
    StoredProc sp(&db, "ID_ITEM");
    items.open();
    items.append();
    items.fieldByName("NAME").setValue("no key");
    try {
        items.post();
        FAIL();
    } catch (const UserError& e) {
        EXPECT_EQ(e.message(), "Поле «IDITEM» должно быть заполнено.");
    }
    // The key provider in beforePost satisfies it.
    items.beforePost = [&](DataSet& ds) {
        if (ds.fieldByName("IDITEM").isNull()) {
            sp.execProc();
            ds.fieldByName("IDITEM").setValue(sp.paramByName("ID").asInteger());
        }
    };
    items.post();
    EXPECT_GT(items.fieldByName("IDITEM").asInteger(), 100);
    EXPECT_EQ(count("NAME = 'no key'"), 1);
}

TEST_F(DataSetTest, PostedRowKeepsItsValuesUntilRefreshRecordReadsTheTrigger)
{
    items.open();
    items.append();
    items.fieldByName("IDITEM").setValue(90);
    items.fieldByName("QTY").setValue(*Currency::parse("2"));
    items.fieldByName("PRICE").setAsString("1.25");
    items.post();
    EXPECT_TRUE(items.fieldByName("TOTAL").isNull());
    EXPECT_EQ(items.recNo(), 5);
    items.refreshRecord();
    EXPECT_EQ(items.fieldByName("TOTAL").asCurrency().toString(2), "2.50");
    EXPECT_EQ(items.fieldByName("IDITEM").asInteger(), 90);

    // refresh re-reads everything and stays on the same row.
    db.execute("update ITEM set NAME = 'outside' where IDITEM = 90");
    db.execute("insert into ITEM (IDITEM, NAME) values (0, 'first')");
    items.refresh();
    EXPECT_EQ(items.fieldByName("NAME").asString(), "outside");
    EXPECT_EQ(items.recordCount(), 6);
    EXPECT_EQ(items.recNo(), 6);
}

TEST_F(DataSetTest, RefreshRecordOfAJoinWithRepeatedColumnNames)
{
    Query q(&db);
    q.setSql({"select i.IDITEM, i.TOTAL, d.DEPT as NAME, i.NAME", "from ITEM i join DEPT d on d.IDDEPT = i.IDDEPT",
              "where i.IDDEPT = :D", "order by i.IDITEM"});
    q.paramByName("D").setValue(2);
    q.open();
    EXPECT_EQ(q.fieldByName("NAME_1").asString(), "Cherry");
    q.last();
    db.execute("update ITEM set QTY = 3, PRICE = 2 where IDITEM = 4");
    q.refreshRecord();
    EXPECT_EQ(q.fieldByName("TOTAL").asCurrency(), Currency::fromInt(6));
    EXPECT_EQ(q.fieldByName("IDITEM").asInteger(), 4);
}

TEST_F(DataSetTest, ReadOnlyQueryAndBrowseStateRefuseChanges)
{
    depts.open();
    try {
        depts.edit();
        FAIL();
    } catch (const InternalError& e) {
        // A programmer's error reaches the user as such, his detail below.
        EXPECT_EQ(e.message(), "Внутренняя ошибка программы: действие не выполнено.\n\nПодробности: " + e.detail());
        EXPECT_TRUE(e.detail().endsWith("Cannot modify a read-only dataset"));
    }
    EXPECT_THROW(depts.append(), Error);
    EXPECT_THROW(depts.remove(), Error);
    try {
        depts.fieldByName("DEPT").setValue("x");
        FAIL();
    } catch (const InternalError& e) {
        EXPECT_EQ(e.detail(), "Dataset not in edit or insert mode");
    }
}

// ---------------------------------------------------------------- new rows

TEST_F(DataSetTest, DefaultsOfANewRowAreNoModification)
{
    items.onNewRecord = [](DataSet& ds) {
        ds.fieldByName("IDITEM").setValue(95);
        ds.fieldByName("FLAG").setValue("-");
    };
    items.open();
    items.append();
    EXPECT_FALSE(items.modified());
    EXPECT_EQ(items.rowCount(), 5);
    items.checkBrowseMode();                       // an untouched new row goes away
    EXPECT_EQ(items.state(), DataSetState::Browse);
    EXPECT_EQ(items.rowCount(), 4);
    EXPECT_EQ(count("IDITEM = 95"), 0);

    items.append();
    items.first();                                 // leaving it does the same
    EXPECT_EQ(items.rowCount(), 4);
    EXPECT_EQ(items.fieldByName("IDITEM").asInteger(), 1);

    items.append();
    items.post();                                  // posting it explicitly writes it
    EXPECT_EQ(count("IDITEM = 95 and FLAG = '-'"), 1);

    items.edit();
    items.fieldByName("NAME").setValue("typed");
    EXPECT_TRUE(items.modified());
    items.prior();                                 // a modified row is posted on leaving
    EXPECT_EQ(count("IDITEM = 95 and NAME = 'typed'"), 1);
}

TEST_F(DataSetTest, EditOfAnEmptySetInserts)
{
    items.setSql({"select * from ITEM where IDITEM < 0"});
    items.open();
    items.edit();
    EXPECT_EQ(items.state(), DataSetState::Insert);
    EXPECT_TRUE(items.fieldByName("IDITEM").oldValue().isNull());
}

// ---------------------------------------------------------------- master-detail

TEST_F(DataSetTest, DetailFollowsItsMaster)
{
    DataSource dsDept(&depts);
    items.setSql({"select *", "from ITEM", "where IDDEPT = :IDDEPT", "order by IDITEM"});
    items.setMasterSource(&dsDept);
    depts.open();
    items.open();
    EXPECT_EQ(items.recordCount(), 2);
    depts.next();
    EXPECT_EQ(items.recordCount(), 2);
    EXPECT_EQ(items.fieldByName("NAME").asString(), "Cherry");
    depts.next();
    EXPECT_TRUE(items.isEmpty());
    EXPECT_TRUE(items.active());

    // Moving the master while the detail is closed leaves it closed.
    items.close();
    depts.first();
    EXPECT_FALSE(items.active());
    items.open();
    EXPECT_EQ(items.recordCount(), 2);

    // A posted master reopens the detail with the new values.
    db.execute("update ITEM set IDDEPT = 9 where IDDEPT = 2");
    depts.locate("IDDEPT", 3);
    int reopened = 0;
    items.afterOpen = [&](DataSet&) { ++reopened; };
    UpdateSql usqlDept({"update DEPT set IDDEPT = :IDDEPT where IDDEPT = :OLD_IDDEPT"}, {}, {});
    depts.setUpdateObject(&usqlDept);
    depts.edit();
    depts.fieldByName("IDDEPT").setValue(9);
    depts.post();
    EXPECT_GE(reopened, 1);
    EXPECT_EQ(items.recordCount(), 2);

    depts.close();
    EXPECT_FALSE(items.active());
}

TEST_F(DataSetTest, DetailReopensWithoutPreparingAgainUntilItsStatementIsStale)
{
    DataSource dsDept(&depts);
    items.setSql({"select *", "from ITEM", "where IDDEPT = :IDDEPT", "order by IDITEM"});
    items.setMasterSource(&dsDept);
    depts.open();
    items.open();
    const quint64 prepared = db.prepareCount();
    depts.next();
    depts.next();
    depts.first();
    items.close();
    items.open();
    EXPECT_EQ(db.prepareCount(), prepared);
    EXPECT_EQ(items.recordCount(), 2);

    // DDL may change what "select *" returns: the next open prepares again.
    db.execute("alter table ITEM add EXTRA integer");
    depts.next();
    EXPECT_NE(items.findField("EXTRA"), nullptr);
    db.execute("alter table ITEM drop EXTRA");
    depts.first();
    EXPECT_EQ(items.findField("EXTRA"), nullptr);
    EXPECT_EQ(items.recordCount(), 2);

    // A new text, and a new attachment after a lost or closed connection.
    items.setSql({"select IDITEM, NAME", "from ITEM", "where IDDEPT = :IDDEPT"});
    items.open();
    EXPECT_EQ(items.fieldCount(), 2);
    db.disconnect();
    db.connect();
    depts.open();
    items.open();
    EXPECT_EQ(items.recordCount(), 2);
}

TEST_F(DataSetTest, MasterMovesOnlyAfterItsDetailsPendingRowIsWritten)
{
    DataSource dsDept(&depts);
    items.setSql({"select *", "from ITEM", "where IDDEPT = :IDDEPT", "order by IDITEM"});
    items.setMasterSource(&dsDept);
    depts.open();
    items.open();

    // A new detail row, then the master moves: the row is written first.
    items.append();
    items.fieldByName("IDITEM").setValue(20);
    items.fieldByName("IDDEPT").setValue(1);
    items.fieldByName("NAME").setValue("Z1");
    depts.next();
    EXPECT_EQ(count("IDITEM = 20 and NAME = 'Z1'"), 1);
    depts.first();
    EXPECT_TRUE(items.locate("IDITEM", 20));

    // An edit of an existing row is written the same way, by every kind of move.
    items.edit();
    items.fieldByName("NAME").setValue("Z2");
    EXPECT_TRUE(depts.locate("IDDEPT", 3));
    EXPECT_EQ(count("IDITEM = 20 and NAME = 'Z2'"), 1);

    // A detail row the database refuses keeps the master where it is and the typed values.
    depts.first();
    items.edit();
    items.fieldByName("NAME").setValue("bad");
    EXPECT_THROW(depts.next(), DbError);
    EXPECT_EQ(depts.fieldByName("IDDEPT").asInteger(), 1);
    EXPECT_THROW(depts.setCurrentRow(2), DbError);
    EXPECT_EQ(depts.fieldByName("IDDEPT").asInteger(), 1);
    EXPECT_EQ(items.state(), DataSetState::Edit);
    EXPECT_EQ(items.fieldByName("NAME").asString(), "bad");

    // Corrected, the same move goes through; an untouched new row is simply dropped.
    items.fieldByName("NAME").setValue("good");
    depts.next();
    EXPECT_EQ(count("NAME = 'good'"), 1);
    items.append();
    depts.prior();
    EXPECT_EQ(items.state(), DataSetState::Browse);
    EXPECT_EQ(count(), 5);
}

// ---------------------------------------------------------------- lookup and calculated fields

TEST_F(DataSetTest, LookupAndCalculatedFields)
{
    Field& dept = items.addLookupField("Dept", "IDDEPT", &depts, "IDDEPT", "DEPT", 30);
    Field& sum = items.addCalcField("SUM", FieldType::Currency, 2);
    items.onCalcFields = [](DataSet& ds) {
        ds.fieldByName("SUM").setValue(ds.fieldByName("QTY").asCurrency() * ds.fieldByName("PRICE").asCurrency());
    };
    items.open();
    EXPECT_TRUE(dept.isNull());            // the list is closed
    depts.open();
    EXPECT_EQ(dept.asString(), "Sales");
    EXPECT_EQ(sum.asCurrency().toString(2), "21.00");
    EXPECT_EQ(items.displayTextAt(2, dept), "Service");   // without moving
    EXPECT_EQ(items.recNo(), 1);
    EXPECT_TRUE(dept.readOnly());
    EXPECT_THROW(dept.setValue("x"), Error);

    items.edit();
    items.fieldByName("IDDEPT").setValue(3);
    items.fieldByName("QTY").setValue(4);
    EXPECT_EQ(dept.asString(), "Empty");
    EXPECT_EQ(sum.asCurrency().toString(2), "42.00");
    items.cancel();
    EXPECT_EQ(dept.asString(), "Sales");
    EXPECT_EQ(items.fieldByName("Dept").index(), items.fieldCount() - 2);

    // A lookup sees only the rows that pass the list's filter.
    depts.setFilter("IDDEPT<>1");
    depts.setFiltered(true);
    EXPECT_TRUE(dept.isNull());
}

// Rows are kept packed: what the database returned, what a post wrote and what
// a calculated field made must all read back unchanged, row by row.
TEST_F(DataSetTest, StoredRowsReadBackExactly)
{
    QString note;
    for (int i = 0; i < 3000; ++i) note += QStringLiteral("Ёж №%1 ").arg(i);
    db.execute("insert into ITEM (IDITEM, IDDEPT, NAME, QTY, PRICE, DATECR, FLAG, NOTE)"
               " values (5, -2147483647, :NAME, 1234567.891, -0.01, '2024-02-29 13:45:10', '', :NOTE)",
               {{"NAME", QStringLiteral("«Ёлка» — №1")}, {"NOTE", note}});
    items.setSql({"select I.*, cast(:WIDE as varchar(20) character set utf8) as WIDE,",
                  "  cast('' as varchar(5)) as EMPTY",
                  "from ITEM I", "order by IDITEM"});
    items.paramByName("WIDE").setValue(QStringLiteral("日本 café"));
    Field& label = items.addCalcField("LABEL", FieldType::String, 40);
    Field& sum = items.addCalcField("SUM", FieldType::Currency, 2);
    int calcs = 0;
    items.onCalcFields = [&](DataSet& ds) {
        ++calcs;
        label.setValue(ds.fieldByName("NAME").asString() + QStringLiteral(" · ü"));
        sum.setValue(ds.fieldByName("QTY").asCurrency() * ds.fieldByName("PRICE").asCurrency());
    };
    items.open();
    EXPECT_EQ(calcs, 5);

    ASSERT_TRUE(items.locate("IDITEM", 5));
    EXPECT_EQ(items.fieldByName("NAME").asString(), QStringLiteral("«Ёлка» — №1"));
    EXPECT_EQ(items.fieldByName("IDDEPT").asInteger(), -2147483647);
    EXPECT_EQ(items.fieldByName("QTY").asCurrency().toString(3), "1234567.891");
    EXPECT_EQ(items.fieldByName("PRICE").asCurrency().toString(2), "-0.01");
    EXPECT_EQ(items.fieldByName("DATECR").asDateTime(), QDateTime(QDate(2024, 2, 29), QTime(13, 45, 10)));
    EXPECT_EQ(items.fieldByName("NOTE").asString(), note);
    EXPECT_EQ(items.fieldByName("WIDE").asString(), QStringLiteral("日本 café"));
    EXPECT_EQ(label.asString(), QStringLiteral("«Ёлка» — №1 · ü"));
    EXPECT_EQ(sum.asCurrency().toString(2), "-12345.68");
    // An empty text is not NULL, whether stored ('' in FLAG) or computed.
    EXPECT_FALSE(items.fieldByName("FLAG").isNull());
    EXPECT_EQ(items.fieldByName("FLAG").asString(), "");
    EXPECT_FALSE(items.fieldByName("EMPTY").isNull());
    ASSERT_TRUE(items.locate("IDITEM", 4));
    EXPECT_TRUE(items.fieldByName("NAME").isNull());
    EXPECT_TRUE(items.fieldByName("FLAG").isNull());
    EXPECT_TRUE(items.fieldByName("DATECR").isNull());
    EXPECT_EQ(label.asString(), QStringLiteral(" · ü"));
    EXPECT_TRUE(items.locate("NAME", QStringLiteral("«ёлка»"), LocateOption::CaseInsensitive | LocateOption::PartialKey));
    EXPECT_TRUE(items.locate("NAME;WIDE", QList<Value>{"Cherry", QStringLiteral("日本 café")}));

    // An edited row is stored again at post, with its calculated fields; a
    // cancelled edit leaves the stored row as it was.
    items.locate("IDITEM", 2);
    items.edit();
    items.fieldByName("NAME").setValue(QStringLiteral("Банан"));
    items.fieldByName("DATECR").setValue(QDateTime(QDate(2025, 12, 31), QTime(23, 59, 59, 999)));
    items.fieldByName("PRICE").setValue(Currency::fromScaled(Currency::MaxScaled / 10000 * 100));
    items.fieldByName("QTY").clear();
    items.post();
    items.first();
    items.edit();
    items.fieldByName("NAME").setValue("changed");
    items.cancel();
    EXPECT_EQ(items.fieldByName("NAME").asString(), "Apple");
    items.locate("IDITEM", 2);
    EXPECT_EQ(items.fieldByName("NAME").asString(), QStringLiteral("Банан"));
    EXPECT_EQ(items.fieldByName("NAME").oldValue().asString(), QStringLiteral("Банан"));
    EXPECT_EQ(items.fieldByName("DATECR").asDateTime(), QDateTime(QDate(2025, 12, 31), QTime(23, 59, 59, 999)));
    EXPECT_EQ(items.fieldByName("PRICE").asCurrency(), Currency::fromScaled(Currency::MaxScaled / 10000 * 100));
    EXPECT_TRUE(items.fieldByName("QTY").isNull());
    EXPECT_EQ(items.fieldByName("WIDE").asString(), QStringLiteral("日本 café"));
    EXPECT_EQ(label.asString(), QStringLiteral("Банан · ü"));
    EXPECT_EQ(sum.asCurrency(), Currency());

    // What another user stored reads the same way after a refresh.
    Database other(params_);
    other.connect();
    other.execute("update ITEM set NAME = 'Вишня' where IDITEM = 3");
    items.refresh();
    EXPECT_EQ(items.fieldByName("IDITEM").asInteger(), 2);
    EXPECT_EQ(items.displayTextAt(2, label), QStringLiteral("Вишня · ü"));
    EXPECT_EQ(items.displayTextAt(4, items.fieldByName("NOTE")), note);
}

// ---------------------------------------------------------------- filters

TEST_F(DataSetTest, FilterTexts)
{
    items.open();
    auto ids = [&] {
        QList<int> out;
        for (items.first(); !items.eof(); items.next()) out << items.fieldByName("IDITEM").asInteger();
        return out;
    };
    items.setFiltered(true);
    EXPECT_EQ(ids(), (QList<int>{1, 2, 3, 4}));                 // empty = every row
    items.setFilter("IDDEPT=1");
    EXPECT_EQ(ids(), (QList<int>{1, 2}));
    items.setFilter("iddept<>1");
    EXPECT_EQ(ids(), (QList<int>{3, 4}));
    items.setFilter("IDDEPT=2 and FLAG='L'");
    EXPECT_EQ(ids(), (QList<int>{3}));
    items.setFilter("IDDEPT=1 or IDDEPT = -1");
    EXPECT_EQ(ids(), (QList<int>{1, 2}));
    // A NULL text is empty; a NULL number equals nothing.
    items.setFilter("(price>5 or name<>'') and flag<>'+'");
    EXPECT_EQ(ids(), (QList<int>{2, 3}));
    items.setFilter("NAME = \"Cherry\" or QTY >= 2.5");
    EXPECT_EQ(ids(), (QList<int>{3}));

    EXPECT_THROW(items.setFilter("IDDEPT = = 1"), Error);
    EXPECT_THROW(items.setFilter("NAME = 'open"), Error);
    EXPECT_EQ(items.filter(), "NAME = \"Cherry\" or QTY >= 2.5");   // kept
    EXPECT_THROW(items.setFilter("NOSUCH = 1"), Error);
    EXPECT_EQ(ids(), (QList<int>{3}));

    items.setFiltered(false);
    EXPECT_EQ(items.recordCount(), 4);

    // Long chains are flat and deep nesting is refused, so no filter text can exhaust the stack.
    items.setFiltered(true);
    QStringList terms;
    for (int i = 0; i < 60000; ++i) terms << QString("IDITEM=%1").arg(i % 2 ? 1000 + i : 2);
    items.setFilter(terms.join(" or "));
    EXPECT_EQ(ids(), (QList<int>{2}));
    items.setFilter(terms.join(" and "));
    EXPECT_EQ(ids(), (QList<int>{}));
    items.setFilter(QString(100, '(') + "IDDEPT=2" + QString(100, ')'));
    EXPECT_EQ(ids(), (QList<int>{3, 4}));
    try {
        items.setFilter(QString(20000, '(') + "IDDEPT=1" + QString(20000, ')'));
        ADD_FAILURE() << "deep nesting taken";
    } catch (const Error& e) {
        EXPECT_TRUE(e.message().contains("вложенных скобок")) << e.message().toStdString();
    }
    EXPECT_EQ(ids(), (QList<int>{3, 4}));   // the previous filter stays
    EXPECT_THROW(items.setFilter("PRICE = 99999999999999999.5"), Error);
    items.setFiltered(false);

    // The predicate, alone or with a text.
    items.onFilterRecord = [](DataSet& ds, bool& accept) { accept = ds.fieldByName("QTY").asCurrency() < Currency::fromInt(2); };
    items.setFilter("");
    items.setFiltered(true);
    EXPECT_EQ(ids(), (QList<int>{2, 4}));
    items.setFilter("IDDEPT=2");
    EXPECT_EQ(ids(), (QList<int>{4}));
}

TEST_F(DataSetTest, FilterOnAClosedSetAppliesAtOpen)
{
    items.setFilter("IDDEPT=2");
    items.setFiltered(true);
    items.open();
    EXPECT_EQ(items.recordCount(), 2);
    EXPECT_EQ(items.fieldByName("IDITEM").asInteger(), 3);
}

// ---------------------------------------------------------------- navigation

TEST_F(DataSetTest, NavigationLocateLookupAndBookmarks)
{
    items.open();
    EXPECT_TRUE(items.bof());
    EXPECT_FALSE(items.eof());
    int n = 0;
    while (!items.eof()) { ++n; items.next(); }
    EXPECT_EQ(n, 4);
    EXPECT_EQ(items.recNo(), 4);
    EXPECT_EQ(items.moveBy(-10), -3);
    EXPECT_TRUE(items.bof());

    EXPECT_FALSE(items.locate("NAME", "BANANA"));
    EXPECT_TRUE(items.locate("name", "BANANA", LocateOption::CaseInsensitive));
    EXPECT_EQ(items.recNo(), 2);
    EXPECT_TRUE(items.locate("NAME", "Che", LocateOption::PartialKey));
    EXPECT_EQ(items.recNo(), 3);
    EXPECT_TRUE(items.locate("IDDEPT;FLAG", QList<Value>{2, "L"}));
    EXPECT_TRUE(items.locate("IDITEM", "4"));            // a text key for a number field
    EXPECT_TRUE(items.locate("NAME", Value()));          // NULL finds NULL
    EXPECT_EQ(items.recNo(), 4);

    EXPECT_EQ(items.lookup("IDITEM", 1, "NAME").asString(), "Apple");
    EXPECT_EQ(items.lookup("IDITEM", Currency::fromInt(2), "NAME").asString(), "banana");
    EXPECT_TRUE(items.lookup("IDITEM", 99, "NAME").isNull());
    EXPECT_EQ(items.recNo(), 4);                         // lookup never moves

    items.locate("IDITEM", 2);
    const Bookmark b = items.bookmark();
    items.first();
    items.insert();                                      // rows before it do not matter
    items.fieldByName("IDITEM").setValue(0);
    items.post();
    items.last();
    items.gotoBookmark(b);
    EXPECT_EQ(items.fieldByName("IDITEM").asInteger(), 2);
    EXPECT_EQ(items.recNo(), 3);
    items.remove();
    EXPECT_FALSE(items.bookmarkValid(b));
    EXPECT_THROW(items.gotoBookmark(b), Error);
}

TEST_F(DataSetTest, GridAccessSeesTheInsertedRowWithoutMoving)
{
    DataSource src(&items);
    QList<int> inserted, removed;
    QObject::connect(&src, &DataSource::rowInserted, [&](int r) { inserted << r; });
    QObject::connect(&src, &DataSource::rowRemoved, [&](int r) { removed << r; });
    items.open();
    Field& name = items.fieldByName("NAME");
    EXPECT_EQ(items.valueAt(2, name).asString(), "Cherry");
    items.setCurrentRow(1);
    items.insert();
    EXPECT_EQ(inserted, QList<int>{1});
    EXPECT_EQ(items.rowCount(), 5);
    EXPECT_EQ(items.currentRow(), 1);
    EXPECT_EQ(items.rowState(1), RowState::Inserted);
    EXPECT_EQ(items.valueAt(2, name).asString(), "banana");
    name.setValue("typed");
    items.fieldByName("IDITEM").setValue(55);
    items.setCurrentRow(3);                  // the grid leaves the row: it is posted
    EXPECT_EQ(count("IDITEM = 55"), 1);
    EXPECT_EQ(items.fieldByName("NAME").asString(), "Cherry");
    EXPECT_EQ(items.valueAt(1, name).asString(), "typed");

    items.append();
    items.setCurrentRow(0);                  // an untouched one is dropped
    EXPECT_EQ(removed, QList<int>{5});
    EXPECT_EQ(items.rowCount(), 5);
    items.edit();
    EXPECT_EQ(items.rowState(0), RowState::Edited);
}

TEST_F(DataSetTest, ControlWriteBackCanStopAPost)
{
    DataSource src(&items);
    QObject control;
    QString typed = "12x";
    src.addUpdateHandler(&control, [&] { items.fieldByName("QTY").setAsString(typed); });
    items.open();
    items.edit();
    EXPECT_THROW(items.post(), ConvertError);
    EXPECT_EQ(items.state(), DataSetState::Edit);
    typed = "12";
    items.post();
    EXPECT_EQ(db.selectValue("select QTY from ITEM where IDITEM = 1").asCurrency(), Currency::fromInt(12));
}

// ---------------------------------------------------------------- fields and display

TEST_F(DataSetTest, FieldsDescribeTheColumnsAndSurviveReopen)
{
    // A query that was never opened describes its fields; they read as NULL.
    EXPECT_EQ(items.fieldByName("iditem").asInteger(), 0);
    try {
        items.fieldByName("NOPE");
        FAIL();
    } catch (const InternalError& e) {
        EXPECT_EQ(e.detail(), "qryItem: Field 'NOPE' not found");
    }
    items.open();
    Field* name = &items.fieldByName("name");
    EXPECT_EQ(name->type(), FieldType::String);
    EXPECT_EQ(name->size(), 20);
    EXPECT_FALSE(name->required());
    EXPECT_TRUE(items.fieldByName("IDITEM").required());
    EXPECT_EQ(items.fieldByName("QTY").type(), FieldType::Currency);
    EXPECT_EQ(items.fieldByName("QTY").size(), 3);
    EXPECT_EQ(items.fieldByName("DATECR").type(), FieldType::DateTime);
    EXPECT_EQ(items.fieldByName("NOTE").type(), FieldType::Memo);
    EXPECT_EQ(items.fieldByName("FLAG").asString(), "+");     // CHAR arrives trimmed
    name->setDisplayLabel("Имя");
    items.close();
    EXPECT_TRUE(name->isNull());
    items.open();
    EXPECT_EQ(&items.fieldByName("NAME"), name);
    EXPECT_EQ(name->displayLabel(), "Имя");

    items.edit();
    name->setAsString("a text longer than twenty characters");
    EXPECT_EQ(name->asString().size(), 20);
    items.fieldByName("PRICE").setAsString("1,005");        // rounded to the column's decimals
    EXPECT_EQ(items.fieldByName("PRICE").asCurrency().toString(4), "1.0000");
    items.fieldByName("QTY").setAsString("");
    EXPECT_TRUE(items.fieldByName("QTY").isNull());
    EXPECT_THROW(items.fieldByName("IDDEPT").setAsString("x"), ConvertError);
    items.fieldByName("DATECR").setAsString("05.05.2024 14:30");
    EXPECT_EQ(items.fieldByName("DATECR").displayText(), "05.05.2024 14:30");
    EXPECT_EQ(items.fieldByName("NAME").oldValue().asString(), "Apple");
}

TEST_F(DataSetTest, MoneyAndQuantitiesDisplayExactly)
{
    items.open();
    Field& qty = items.fieldByName("QTY");
    Field& price = items.fieldByName("PRICE");
    items.locate("IDITEM", 3);
    EXPECT_EQ(price.displayText(), "7.25");
    price.setDisplayFormat("# ### ### ##0.00");
    qty.setDisplayFormat(",0.###");
    EXPECT_EQ(price.displayText(), "7.25");
    EXPECT_EQ(qty.displayText(), "5");
    items.edit();
    price.setValue(*Currency::parse("1234567.5"));
    qty.setValue(*Currency::parse("1234.125"));
    EXPECT_EQ(price.displayText(), "1 234 567.50");
    EXPECT_EQ(qty.displayText(), "1,234.125");
}

TEST(NumberFormat, FormatsTheDisplayPatterns)
{
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(formatFloat("# ### ### ##0.00", *Currency::parse("0.5")), "0.50");
    EXPECT_EQ(formatFloat("# ### ### ##0.00", *Currency::parse("-12345.678")), "-12 345.68");
    EXPECT_EQ(formatFloat(",0.###", *Currency::parse("0.1")), "0.1");
    EXPECT_EQ(formatFloat(",#", Currency::fromInt(1234567)), "1,234,567");
    EXPECT_EQ(formatFloat("0.00", 2.345), "2.34");                 // half to even
    EXPECT_EQ(formatFloat("0.00 'руб.'", Currency::fromInt(3)), "3.00 руб.");
    QLocale::setDefault(QLocale(QLocale::German));
    EXPECT_EQ(formatFloat(",0.00", *Currency::parse("1234.5")), "1.234,50");
    EXPECT_EQ(numberText(*Currency::parse("2.5")), "2,5");
    QLocale::setDefault(QLocale::c());
}

// ---------------------------------------------------------------- procedures and connections

TEST_F(DataSetTest, StoredProcAndPreparedQueriesSurviveAReconnect)
{
    StoredProc sp(&db, "ID_ITEM");
    sp.execProc();
    const int a = sp.paramByName("ID").asInteger();
    items.setSql({"select * from ITEM where IDDEPT = :IDDEPT"});
    items.paramByName("iddept").setValue(1);
    items.prepare();
    items.open();
    EXPECT_EQ(items.recordCount(), 2);
    items.close();

    db.disconnect();
    db.connect();
    sp.execProc();
    EXPECT_EQ(sp.param(0).asInteger(), a + 1);
    items.paramByName("IDDEPT").setValue(2);
    items.open();
    EXPECT_EQ(items.recordCount(), 2);
    EXPECT_EQ(items.fieldByName("IDITEM").asInteger(), 3);

    Query q(&db);
    q.setSql({"select * from ITEM where IDITEM = :ID"});
    try {
        q.open();
        FAIL();
    } catch (const InternalError& e) {
        EXPECT_EQ(e.detail(), "No value for parameter 'ID'");
    }
    q.setSql({"update ITEM set FLAG = :F where IDDEPT = 1"});
    q.paramByName("F").setValue("*");
    EXPECT_EQ(q.execSql(), 2);
}

} // namespace

// The update object's statements are prepared once while the connection lives,
// and again after it was made anew.
TEST_F(DataSetTest, WriteStatementsArePreparedOnceAConnection)
{
    items.open();
    const auto rename = [&](const char* name) {
        items.edit();
        items.fieldByName("NAME").setValue(name);
        items.post();
    };
    rename("Pear");
    const quint64 prepared = db.prepareCount();
    rename("Plum");
    items.append();
    items.fieldByName("IDITEM").setValue(7);
    items.post();
    items.remove();
    const quint64 insertAndDelete = 2;
    EXPECT_EQ(db.prepareCount() - prepared, insertAndDelete);

    db.disconnect();
    db.connect();
    items.first();
    rename("Quince");
    EXPECT_EQ(db.selectValue("select NAME from ITEM where IDITEM = 1").asString(), "Quince");
    EXPECT_GT(db.prepareCount(), prepared + insertAndDelete);
}

// The rows a modify wrote are counted unless it finds its row by exactly the
// columns the check read and locked it by: however its condition is worded,
// a modify that finds no row is never told as saved.
TEST_F(DataSetTest, AModifyThatFindsNoRowIsNeverToldAsSavedHoweverItIsWorded)
{
    struct Term {
        const char* text;
        bool holds;   // for item 2 of department 1
    };
    const Term terms[] = {{"IDITEM = :OLD_IDITEM", true},   {"iditem=:old_iditem", true},
                          {"IDDEPT = :OLD_IDDEPT", true},   {"IDDEPT = :OLD_IDITEM", false},
                          {"1 = 0", false},                 {"IDITEM = :OLD_IDITEM + 0", true},
                          {"NAME = 'nobody'", false},       {"(IDITEM = :OLD_IDITEM)", true}};
    const char* const ands[] = {" and ", "\n  AND ", " And\n  "};
    std::mt19937 rng(3407);
    items.open();
    ASSERT_TRUE(items.locate("IDITEM", 2));
    for (int round = 0; round < 60; ++round) {
        QStringList where{terms[0].text};   // the key is always there
        bool holds = true;
        for (int n = int(rng() % 3); n > 0; --n) {
            const Term& t = terms[rng() % std::size(terms)];
            where.insert(int(rng() % (where.size() + 1)), t.text);
            holds = holds && t.holds;
        }
        QString condition = where.first();
        for (int i = 1; i < where.size(); ++i) condition += ands[rng() % std::size(ands)] + where[i];
        usql.setModifySql({"update ITEM", "set", "  NAME = :NAME", "where", "  " + condition});
        const QString name = QString("n%1").arg(round);
        items.edit();
        items.fieldByName("NAME").setValue(name);
        bool saved = true;
        try {
            items.post();
        } catch (const ConflictError&) {
            saved = false;
            items.cancel();   // the row leaves the list as gone: read it again
            items.refresh();
            ASSERT_TRUE(items.locate("IDITEM", 2));
        }
        const QString stored = db.selectValue("select NAME from ITEM where IDITEM = 2").asString();
        EXPECT_EQ(saved, holds) << condition.toStdString();
        EXPECT_EQ(stored == name, saved) << condition.toStdString();
    }
}

// A key taken before the write is taken in the transaction that writes the
// row; a post refused after the key leaves no transaction open.
TEST_F(DataSetTest, AKeyGoesIntoTheWritesTransactionAndARefusalLeavesNoneOpen)
{
    // The key's transaction leaves the key in a variable only that transaction sees.
    db.execute("create or alter procedure ID_ITEM_MARKED returns (ID integer) as begin "
               "ID = gen_id(GEN_ITEM, 1); rdb$set_context('USER_TRANSACTION', 'KEY', ID); end");
    usql.setInsertSql({"insert into ITEM (IDITEM, NAME)",
                       "values (:IDITEM, coalesce(:NAME, rdb$get_context('USER_TRANSACTION', 'KEY')))"});
    StoredProc sp(&db, "ID_ITEM_MARKED");
    items.beforePost = [&](DataSet& ds) {
        if (!ds.fieldByName("IDITEM").isNull()) return;
        sp.execProc();
        ds.fieldByName("IDITEM").setValue(sp.paramByName("ID").value());
    };
    const auto transactions = [&] {
        // The count's own transaction is one of them.
        return db.selectValue("select count(*) from mon$transactions where mon$attachment_id = current_connection")
                   .asInt()
            - 1;
    };
    items.open();
    items.fieldByName("FLAG").setRequired(true);
    items.append();
    EXPECT_THROW(items.post(), UserError);   // refused after the key
    EXPECT_EQ(transactions(), 0);
    items.cancel();
    items.append();
    items.fieldByName("FLAG").setValue("+");
    items.fieldByName("NAME").setValue("bad");
    EXPECT_THROW(items.post(), DbError);     // refused by the database
    EXPECT_EQ(transactions(), 0);
    items.cancel();

    items.append();
    items.fieldByName("FLAG").setValue("+");
    items.post();
    const int key = items.fieldByName("IDITEM").asInteger();
    EXPECT_EQ(db.selectValue("select NAME from ITEM where IDITEM = :k", {{"k", key}}).asString(), QString::number(key));
    EXPECT_EQ(transactions(), 0);
}
