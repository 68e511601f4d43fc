#include "core/schema/Schema.h"
#include "db/Statement.h"
#include "support/schema/DatabaseTest.h"

#include <QCoreApplication>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <gtest/gtest.h>

using fw::Currency;
using fw::Value;
using testing_support::DatabaseTest;

namespace {

Currency money(const char* text) { return *Currency::parse(text); }

QStringList column(fw::Database& db, const QString& sql)
{
    QStringList out;
    db.withTransaction([&](fw::Transaction& tr) {
        fw::Statement s(db, sql);
        s.execute(tr);
        while (s.fetch()) out << s.value(0).asString().trimmed();
    });
    return out;
}

int count(fw::Database& db, const QString& table, const QString& where = "1 = 1")
{
    return db.selectValue(QString("select count(*) from %1 where %2").arg(table, where)).asInt();
}

} // namespace

// Every key provider, with the table and key column whose rows it must avoid.
struct KeyProvider { const char* procedure; const char* table; const char* key; };
const KeyProvider kProviders[] = {
    {"ID_CUST", "CUSTOMER", "IDCUST"}, {"ID_CONTACTS", "CONTACTS", "IDCONTACTS"}, {"ID_HIST", "HISTORY", "IDHIST"},
    {"ID_DOG", "DOG", "IDDOG"}, {"ID_GLGRKL", "GRKLIENT", "IDGRKLIENT"}, {"ID_LOCGRKL", "LOCGRKL", "IDLOCGRKL"},
    {"ID_GLKL", "GR_KL", "IDGR_KL"}, {"ID_LOCKL", "LOC_KL", "IDLOC_KL"},
    {"ID_CUSTOMFIELDS", "CUSTOMFIELDS", "IDCUSTOMFIELDS"}, {"ID_SDELKA", "SDELKA", "IDSDELKA"},
    {"ID_ETAPS", "ETAPS", "IDETAPS"}, {"ID_SALE", "SALES", "IDSALE"}, {"ID_OPLATA", "OPLATA", "IDOPLATA"},
    {"ID_ORDERS", "ORDERS", "IDORDER"}, {"ID_ITEMS", "ITEMS", "IDITEMS"}, {"ID_USER", "USERS", "IDUSER"},
    {"ID_OTDEL", "OTDEL", "IDOTDEL"}, {"ID_PRAVA", "PRAVA", "IDPRAVA"}, {"ID_GRITEM", "GRITEM", "IDGRITEM"},
    {"ID_ITEM", "ITEM", "IDITEM"}, {"ID_ITEM", "ITEMPATH", "IDPATH"}, {"ID_GRTOVAR", "GRTOVAR", "IDGRTOVAR"},
    {"ID_TOVAR", "TOVAR", "IDTOVAR"}, {"ID_COUNTRY", "COUNTRY", "IDCOUNTRY"}, {"ID_REGION", "REGION", "IDREGION"},
    {"ID_DISTRICT", "DISTRICT", "IDDISTRICT"}, {"ID_SEGMENT", "SEGMENTT", "IDSEGMENT"},
    {"ID_SEGMENT2", "SEGMENTT2", "IDSEGMENT2"}, {"ID_REKLAMA", "REKLAMA", "IDREKLAMA"},
    {"ID_REKLAMA2", "REKLAMA2", "IDREKLAMA2"}, {"ID_PRICHINA", "PRICHINA", "IDPRICHINA"},
    {"ID_PRICHINA2", "PRICHINA2", "IDPRICHINA2"}, {"ID_SDELKATYPE", "SDELKATYPE", "IDSDELKATYPE"},
    {"ID_OTKAZ", "OTKAZ", "IDOTKAZ"}, {"ID_HITYPE", "HISTTYPE", "IDHISTTYPE"}, {"ID_ETAP", "ETAP", "IDETAP"},
};

class KeyProviders : public DatabaseTest {};

TEST_F(KeyProviders, GiveKeysThatNoRowHolds)
{
    for (const KeyProvider& k : kProviders) {
        SCOPED_TRACE(std::string(k.procedure) + " for " + k.table);
        const int first = db.executeProcedure(k.procedure).asInt();
        EXPECT_EQ(count(db, k.table, QString("%1 = %2").arg(k.key).arg(first)), 0);
        // Rows written with explicit keys just ahead of the generator are stepped over.
        db.execute(QString("insert into %1 (%2) values (%3)").arg(k.table, k.key).arg(first + 1));
        db.execute(QString("insert into %1 (%2) values (%3)").arg(k.table, k.key).arg(first + 2));
        const int next = db.executeProcedure(k.procedure).asInt();
        EXPECT_GT(next, first + 2);
        EXPECT_EQ(count(db, k.table, QString("%1 = %2").arg(k.key).arg(next)), 0);
    }
}

TEST_F(KeyProviders, ItemPathKeysAreFreeInBothTablesThatShareThem)
{
    const int first = db.executeProcedure("ID_ITEM").asInt();
    db.execute(QString("insert into ITEM (IDITEM) values (%1)").arg(first + 1));
    db.execute(QString("insert into ITEMPATH (IDPATH) values (%1)").arg(first + 2));
    EXPECT_EQ(db.executeProcedure("ID_ITEM").asInt(), first + 3);
}

// Deal totals and paid sums of goods lines.
class MoneyTotals : public DatabaseTest {
protected:
    void SetUp() override
    {
        DatabaseTest::SetUp();
        for (const char* t : {"OPLATA", "SALES", "SDELKA"}) db.execute(QString("delete from %1").arg(t));
        // Deals and goods lines belong to a client that exists.
        db.execute("update or insert into CUSTOMER (IDCUST, COMPANY) values (1, 'Клиент') matching (IDCUST)");
    }
    void deal(int id, int idCust = 1)
    {
        db.execute("insert into SDELKA (IDSDELKA, IDCUST, IDSDELKA_ST, OPLATDP, OPLATRP, OPLATDF, OPLATRF)"
                   " values (:id, :cust, 1, 0, 0, 0, 0)", {{"id", id}, {"cust", idCust}});
    }
    void line(int id, const Value& idSdelka, const char* planD, const char* planR, int idCust = 1)
    {
        db.execute("insert into SALES (IDSALE, IDCUST, IDSDELKA, KOLVO, SUMMADP, SUMMARP, SUMMADF, SUMMARF, KURS)"
                   " values (:id, :cust, :deal, 1, :d, :r, 0, 0, 90)",
                   {{"id", id}, {"cust", idCust}, {"deal", idSdelka}, {"d", money(planD)}, {"r", money(planR)}});
    }
    void payment(int id, int idSale, const char* d, const char* r)
    {
        db.execute("insert into OPLATA (IDOPLATA, IDSALE, SUMMAD, SUMMAR, KURS) values (:id, :sale, :d, :r, 90)",
                   {{"id", id}, {"sale", idSale}, {"d", money(d)}, {"r", money(r)}});
    }
    // "DP RP DF RF" of a deal, each with two decimals.
    QString totals(int idSdelka)
    {
        return four(QString("select OPLATDP, OPLATRP, OPLATDF, OPLATRF from SDELKA where IDSDELKA = %1").arg(idSdelka));
    }
    // "DF RF" of a goods line.
    QString paid(int idSale)
    {
        return four(QString("select SUMMADF, SUMMARF from SALES where IDSALE = %1").arg(idSale));
    }
    QString four(const QString& sql)
    {
        QStringList parts;
        db.withTransaction([&](fw::Transaction& tr) {
            fw::Statement s(db, sql);
            s.execute(tr);
            if (s.fetch())
                for (int i = 0; i < s.columnCount(); ++i) parts << s.value(i).asCurrency().toString(2);
        });
        return parts.join(' ');
    }
};

TEST_F(MoneyTotals, PlannedTotalsFollowTheGoodsLines)
{
    deal(1);
    deal(2);
    line(10, 1, "10.00", "900.00");
    line(11, 1, "5.50", "495.00");
    EXPECT_EQ(totals(1), "15.50 1395.00 0.00 0.00");

    db.execute("update SALES set SUMMADP = 6, SUMMARP = 540 where IDSALE = 11");
    EXPECT_EQ(totals(1), "16.00 1440.00 0.00 0.00");

    // Moved to another deal, then out of any deal (goods registered on the client).
    db.execute("update SALES set IDSDELKA = 2 where IDSALE = 11");
    EXPECT_EQ(totals(1), "10.00 900.00 0.00 0.00");
    EXPECT_EQ(totals(2), "6.00 540.00 0.00 0.00");
    db.execute("update SALES set IDSDELKA = null where IDSALE = 11");
    EXPECT_EQ(totals(2), "0.00 0.00 0.00 0.00");

    db.execute("delete from SALES where IDSALE = 10");
    EXPECT_EQ(totals(1), "0.00 0.00 0.00 0.00");
}

TEST_F(MoneyTotals, PaidSumsFollowThePayments)
{
    deal(1);
    line(10, 1, "10.00", "900.00");
    line(11, 1, "5.00", "450.00");
    payment(100, 10, "4.00", "360.00");
    EXPECT_EQ(paid(10), "4.00 360.00");
    EXPECT_EQ(totals(1), "15.00 1350.00 4.00 360.00");

    payment(101, 11, "5.00", "450.00");
    // Each currency on its own.
    db.execute("update OPLATA set SUMMAD = 6 where IDOPLATA = 100");
    EXPECT_EQ(totals(1), "15.00 1350.00 11.00 810.00");
    db.execute("update OPLATA set SUMMAR = 540 where IDOPLATA = 100");
    EXPECT_EQ(paid(10), "6.00 540.00");
    EXPECT_EQ(totals(1), "15.00 1350.00 11.00 990.00");

    db.execute("delete from OPLATA where IDOPLATA = 101");
    EXPECT_EQ(paid(11), "0.00 0.00");
    EXPECT_EQ(totals(1), "15.00 1350.00 6.00 540.00");

    // A deleted goods line takes its payments along.
    db.execute("delete from SALES where IDSALE = 10");
    EXPECT_EQ(count(db, "OPLATA", "IDSALE = 10"), 0);
    EXPECT_EQ(totals(1), "5.00 450.00 0.00 0.00");
}

TEST_F(MoneyTotals, PaymentMovedToALineOfAnotherDeal)
{
    deal(1);
    deal(2);
    line(10, 1, "10.00", "900.00");
    line(20, 2, "10.00", "900.00");
    payment(100, 10, "3.00", "270.00");
    db.execute("update OPLATA set IDSALE = 20 where IDOPLATA = 100");
    EXPECT_EQ(paid(10), "0.00 0.00");
    EXPECT_EQ(paid(20), "3.00 270.00");
    EXPECT_EQ(totals(1), "10.00 900.00 0.00 0.00");
    EXPECT_EQ(totals(2), "10.00 900.00 3.00 270.00");
}

TEST_F(MoneyTotals, DerivedColumnsCannotBeWrittenStale)
{
    // The program's insert statements carry these columns; whatever they hold, the database's sums win.
    db.execute("insert into SDELKA (IDSDELKA, OPLATDP, OPLATRP, OPLATDF, OPLATRF) values (1, 7, 7, 7, 7)");
    line(10, 1, "2.00", "180.00");
    db.execute("update SALES set SUMMADF = 99 where IDSALE = 10");
    db.execute("update SDELKA set OPLATDF = 99, NOTE = 'x' where IDSDELKA = 1");
    EXPECT_EQ(paid(10), "0.00 0.00");
    EXPECT_EQ(totals(1), "2.00 180.00 0.00 0.00");
}

TEST_F(MoneyTotals, ADealPaidInPartsComparesEqualToItsPlan)
{
    // Dialect 1 keeps money as doubles: 0.1 + 0.2 must still equal 0.3 for the unpaid-deals search.
    deal(1);
    line(10, 1, "0.30", "0.30");
    line(11, 1, "0.60", "0.60");
    payment(100, 10, "0.10", "0.10");
    payment(101, 10, "0.20", "0.20");
    payment(102, 11, "0.60", "0.60");
    EXPECT_EQ(count(db, "SALES", "IDSDELKA = 1 and SUMMADP = SUMMADF and SUMMARP = SUMMARF"), 2);
    EXPECT_EQ(count(db, "SDELKA", "IDSDELKA = 1 and OPLATDP = OPLATDF and OPLATRP = OPLATRF"), 1);
}

// What goes with a deleted row.
class Cascades : public DatabaseTest {
protected:
    // A client with one row of every kind that belongs to it; keys are client * 100 + n.
    void client(int id)
    {
        const int k = id * 100;
        // The material and the stage the rows below point to.
        db.execute("update or insert into ITEM (IDITEM, IDGRITEM, ITEM) values (1, 0, 'Буклет') matching (IDITEM)");
        db.execute("update or insert into ETAP (IDETAP, ETAP) values (1, 'Звонок') matching (IDETAP)");
        db.execute(QString("insert into CUSTOMER (IDCUST, COMPANY) values (%1, 'Клиент %1')").arg(id));
        db.execute(QString("insert into CONTACTS (IDCONTACTS, IDCUST) values (%1, %2)").arg(k).arg(id));
        db.execute(QString("insert into HISTORY (IDHIST, IDCUST, HISTORY) values (%1, %2, '+')").arg(k).arg(id));
        db.execute(QString("insert into HISTORY (IDHIST, IDCUST, HISTORY) values (%1, %2, '-')").arg(k + 1).arg(id));
        db.execute(QString("insert into DOG (IDDOG, IDCUST) values (%1, %2)").arg(k).arg(id));
        db.execute(QString("insert into GRKLIENT (IDGRKLIENT, GRKLIENT) values (%1, 'Общая %1')").arg(k));
        db.execute(QString("insert into GR_KL (IDGR_KL, IDCUST, IDGRKLIENT) values (%1, %2, %1)").arg(k).arg(id));
        db.execute(QString("insert into LOCGRKL (IDLOCGRKL, LOCGRKL, IDUSER) values (%1, 'Личная %1', 0)").arg(k));
        db.execute(QString("insert into LOC_KL (IDLOC_KL, IDCUST, IDLOCGRKL) values (%1, %2, %1)").arg(k).arg(id));
        db.execute(QString("insert into ORDERS (IDORDER, IDCUST, IDORDERSTATUS) values (%1, %2, 0)").arg(k).arg(id));
        db.execute(QString("insert into ITEMS (IDITEMS, IDORDER, IDITEM) values (%1, %1, 1)").arg(k));
        db.execute(QString("insert into SDELKA (IDSDELKA, IDCUST) values (%1, %2)").arg(k).arg(id));
        db.execute(QString("insert into ETAPS (IDETAPS, IDSDELKA, IDETAP) values (%1, %1, 1)").arg(k));
        db.execute(QString("insert into SALES (IDSALE, IDCUST, IDSDELKA, SUMMADP, SUMMARP) values (%1, %2, %1, 1, 90)")
                       .arg(k).arg(id));
        db.execute(QString("insert into OPLATA (IDOPLATA, IDSALE, SUMMAD, SUMMAR) values (%1, %1, 1, 90)").arg(k));
        // goods registered outside deals, with a payment of their own
        db.execute(QString("insert into SALES (IDSALE, IDCUST) values (%1, %2)").arg(k + 1).arg(id));
        db.execute(QString("insert into OPLATA (IDOPLATA, IDSALE, SUMMAD, SUMMAR) values (%1, %1, 1, 90)").arg(k + 1));
    }

    // The rows of every table that belong to client id, by the keys client() gave them.
    QMap<QString, int> rowsOf(int id)
    {
        QMap<QString, int> r{{"CUSTOMER", count(db, "CUSTOMER", QString("IDCUST = %1").arg(id))}};
        for (const auto& [table, key] : std::initializer_list<std::pair<const char*, const char*>>{
                 {"CONTACTS", "IDCONTACTS"}, {"HISTORY", "IDHIST"}, {"DOG", "IDDOG"}, {"GRKLIENT", "IDGRKLIENT"},
                 {"GR_KL", "IDGR_KL"}, {"LOCGRKL", "IDLOCGRKL"}, {"LOC_KL", "IDLOC_KL"}, {"ORDERS", "IDORDER"},
                 {"ITEMS", "IDITEMS"}, {"SDELKA", "IDSDELKA"}, {"ETAPS", "IDETAPS"}, {"SALES", "IDSALE"},
                 {"OPLATA", "IDOPLATA"}})
            r[table] = count(db, table, QString("%1 between %2 and %2 + 99").arg(key).arg(id * 100));
        return r;
    }
};

TEST_F(Cascades, DeletingAClientRemovesWhatBelongsToIt)
{
    client(1);
    client(2);
    const QMap<QString, int> before = rowsOf(2);
    db.execute("delete from CUSTOMER where IDCUST = 1");

    QMap<QString, int> left = rowsOf(1);
    // Groups are not the client's: they stay, only the memberships go.
    EXPECT_EQ(left.take("GRKLIENT"), 1);
    EXPECT_EQ(left.take("LOCGRKL"), 1);
    for (auto it = left.cbegin(); it != left.cend(); ++it) EXPECT_EQ(it.value(), 0) << it.key().toStdString();
    EXPECT_EQ(rowsOf(2), before);
    EXPECT_EQ(db.selectValue("select OPLATDF from SDELKA where IDSDELKA = 200").asCurrency(), Currency::fromInt(1));
}

TEST_F(Cascades, DeletingADealRemovesItsStagesLinesAndPayments)
{
    client(3);
    db.execute("delete from SDELKA where IDSDELKA = 300");
    EXPECT_EQ(count(db, "ETAPS", "IDSDELKA = 300"), 0);
    EXPECT_EQ(count(db, "SALES", "IDSALE = 300"), 0);
    EXPECT_EQ(count(db, "OPLATA", "IDOPLATA = 300"), 0);
    // The client's goods outside deals are not the deal's.
    EXPECT_EQ(count(db, "SALES", "IDSALE = 301"), 1);
    EXPECT_EQ(count(db, "OPLATA", "IDOPLATA = 301"), 1);
}

TEST_F(Cascades, DeletingAnOrderOrAGroupRemovesItsItemsOrMemberships)
{
    client(4);
    db.execute("delete from ORDERS where IDORDER = 400");
    EXPECT_EQ(count(db, "ITEMS", "IDORDER = 400"), 0);
    db.execute("delete from GRKLIENT where IDGRKLIENT = 400");
    EXPECT_EQ(count(db, "GR_KL", "IDGRKLIENT = 400"), 0);
    db.execute("delete from LOCGRKL where IDLOCGRKL = 400");
    EXPECT_EQ(count(db, "LOC_KL", "IDLOCGRKL = 400"), 0);
    EXPECT_EQ(count(db, "CUSTOMER", "IDCUST = 4"), 1);
}

TEST_F(Cascades, NoDetailRowWithoutItsParent)
{
    client(5);
    for (const char* sql : {"insert into CONTACTS (IDCONTACTS, IDCUST) values (900, 99)",
                            "insert into HISTORY (IDHIST, IDCUST) values (900, 99)",
                            "insert into DOG (IDDOG, IDCUST) values (900, 99)",
                            "insert into GR_KL (IDGR_KL, IDCUST, IDGRKLIENT) values (900, 5, 99)",
                            "insert into GR_KL (IDGR_KL, IDCUST, IDGRKLIENT) values (900, 99, 500)",
                            "insert into LOC_KL (IDLOC_KL, IDCUST, IDLOCGRKL) values (900, 5, 99)",
                            "insert into ORDERS (IDORDER, IDCUST) values (900, 99)",
                            "insert into ITEMS (IDITEMS, IDORDER) values (900, 99)",
                            "insert into SDELKA (IDSDELKA, IDCUST) values (900, 99)",
                            "insert into ETAPS (IDETAPS, IDSDELKA) values (900, 99)",
                            "insert into SALES (IDSALE, IDCUST, IDSDELKA) values (900, 5, 99)",
                            "insert into OPLATA (IDOPLATA, IDSALE) values (900, 99)",
                            "update CONTACTS set IDCUST = 99 where IDCUST = 5"}) {
        SCOPED_TRACE(sql);
        try {
            db.execute(sql);
            ADD_FAILURE() << "accepted";
        } catch (const fw::DbError& e) {
            EXPECT_EQ(e.kind(), fw::DbErrorKind::ForeignKey) << e.engineText().toStdString();
        }
    }
    // The cascades are the keys' own: no trigger deletes anything.
    EXPECT_EQ(column(db, "select trim(rdb$trigger_name) from rdb$triggers where coalesce(rdb$system_flag, 0) = 0"
                         " and rdb$trigger_type = 6 order by 1"),
              QStringList{});
}

// A column named after another table's key is a reference to that table, and
// a new database keeps it pointing at a row: the detail rows' parents, the
// reference lists, users and departments alike.
TEST_F(Cascades, EveryColumnNamedAfterAnotherTablesKeyHasAForeignKey)
{
    QMap<QString, QString> keyOf;   // table -> its one-column primary key
    for (const QString& row : column(db, "select trim(c.rdb$relation_name) || ' ' || trim(s.rdb$field_name)"
                                         " from rdb$relation_constraints c join rdb$index_segments s"
                                         " on s.rdb$index_name = c.rdb$index_name"
                                         " where c.rdb$constraint_type = 'PRIMARY KEY'"))
        keyOf[row.section(' ', 0, 0)] = row.section(' ', 1, 1);
    QMap<QString, QString> tableOfKey;
    for (auto it = keyOf.cbegin(); it != keyOf.cend(); ++it) tableOfKey[it.value()] = it.key();
    const QStringList foreign = column(
        db, "select trim(c.rdb$relation_name) || '.' || trim(s.rdb$field_name) || ' ' || trim(p.rdb$relation_name)"
            " from rdb$relation_constraints c join rdb$index_segments s on s.rdb$index_name = c.rdb$index_name"
            " join rdb$ref_constraints r on r.rdb$constraint_name = c.rdb$constraint_name"
            " join rdb$relation_constraints p on p.rdb$constraint_name = r.rdb$const_name_uq"
            " where c.rdb$constraint_type = 'FOREIGN KEY'");
    // A contact or contract a history row or deal mentions is the client's own
    // row, which the client card deletes; not a list.
    const QStringList notReferences{"HISTORY.IDCONTACTS", "SDELKA.IDDOG"};
    QStringList missing;
    int references = 0;
    for (const QString& row : column(db, "select trim(rf.rdb$relation_name) || '.' || trim(rf.rdb$field_name)"
                                         " from rdb$relation_fields rf join rdb$relations r"
                                         " on r.rdb$relation_name = rf.rdb$relation_name"
                                         " where coalesce(r.rdb$system_flag, 0) = 0")) {
        const QString table = row.section('.', 0, 0), field = row.section('.', 1, 1);
        const QString target = tableOfKey.value(field);
        if (target.isEmpty() || target == table || notReferences.contains(row)) continue;
        ++references;
        if (!foreign.contains(row + " " + target)) missing << row;
    }
    EXPECT_EQ(missing, QStringList{});
    EXPECT_GT(references, 40);
}

// The rows a new database starts with.
class SeedRows : public DatabaseTest {};

TEST_F(SeedRows, AdministratorWithEveryRightAndAnEmptySettingsRow)
{
    EXPECT_EQ(column(db, "select OTDEL from OTDEL"), QStringList{"Администрация"});
    EXPECT_EQ(column(db, "select NAME || '|' || IDOTDEL || '|' || PASS from USERS"), QStringList{"Администратор|0|"});
    const QStringList rights = column(db, "select IDPRAVO from PRAVA where IDUSER = 0 order by IDPRAVO");
    EXPECT_EQ(rights.size(), 47);
    EXPECT_TRUE(rights.contains("1046"));
    for (const char* missing : {"1005", "1010", "1015", "1019", "1035", "1036", "1037", "1039", "1040", "1041"})
        EXPECT_FALSE(rights.contains(missing)) << missing;

    EXPECT_EQ(count(db, "VER"), 1);
    EXPECT_EQ(count(db, "VER", "VER = 7 and COMPANY is null and VALUTA1 is null and VALUTA2 is null"
                               " and HOSTTEST is null and PORTTEST is null and BODYINFO is null"), 1);
}

TEST_F(SeedRows, StatusesAndTheNoneRowsOfTheReferenceLists)
{
    EXPECT_EQ(column(db, "select IDSDELKA_ST || ' ' || SDELKA_ST from SDELKA_ST order by 1"),
              (QStringList{"1 Открыта", "2 Завершена", "3 Отказ"}));
    EXPECT_EQ(column(db, "select IDORDERSTATUS || ' ' || ORDERSTATUS from ORDERSTATUS order by 1"),
              (QStringList{"0", "1 тест", "2 заказ"}));
    for (const auto& [table, key] : std::initializer_list<std::pair<const char*, const char*>>{
             {"GRITEM", "IDGRITEM"}, {"GRTOVAR", "IDGRTOVAR"}, {"COUNTRY", "IDCOUNTRY"}, {"DISTRICT", "IDDISTRICT"},
             {"REGION", "IDREGION"}, {"SEGMENTT", "IDSEGMENT"}, {"SEGMENTT2", "IDSEGMENT2"}, {"REKLAMA", "IDREKLAMA"},
             {"REKLAMA2", "IDREKLAMA2"}, {"PRICHINA", "IDPRICHINA"}, {"PRICHINA2", "IDPRICHINA2"},
             {"SDELKATYPE", "IDSDELKATYPE"}, {"OTKAZ", "IDOTKAZ"}, {"HISTTYPE", "IDHISTTYPE"}, {"ETAP", "IDETAP"},
             {"PERSP", "IDPERSP"}})
        EXPECT_EQ(count(db, table, QString("%1 = 0").arg(key)), 1) << table;
    // A region added without a district belongs to none.
    db.execute("insert into REGION (IDREGION, IDCOUNTRY, REGION) values (900, 0, 'Новый')");
    EXPECT_EQ(db.selectValue("select IDDISTRICT from REGION where IDREGION = 900").asInt(), 0);
    EXPECT_GE(count(db, "PERSP", "IDPERSP > 0"), 3);
}

TEST_F(SeedRows, NameColumnsSortCyrillicAndKeepWin1251)
{
    EXPECT_EQ(db.selectValue("select rdb$character_set_name from rdb$database").asString().trimmed(), "WIN1251");
    // Every text column a user types into is WIN1251 with the Cyrillic collation.
    const QStringList plain = column(db,
        "select trim(rf.rdb$relation_name) || '.' || trim(rf.rdb$field_name)"
        " from rdb$relation_fields rf join rdb$fields f on f.rdb$field_name = rf.rdb$field_source"
        " join rdb$relations r on r.rdb$relation_name = rf.rdb$relation_name"
        " left join rdb$collations c on c.rdb$collation_id = rf.rdb$collation_id"
        "   and c.rdb$character_set_id = f.rdb$character_set_id"
        " where coalesce(r.rdb$system_flag, 0) = 0 and f.rdb$field_type = 37"
        "   and coalesce(c.rdb$collation_name, '') <> 'PXW_CYRL' order by 1");
    EXPECT_EQ(plain, (QStringList{"CUSTOMFIELDS.ENTITY", "CUSTOMFIELDS.FIELDNAME", "CUSTOMFIELDS.FIELDTYPE"}));

    // Dictionary order, not the code page's, which puts every capital first.
    for (const char* name : {"Япония", "австрия", "Бразилия"})
        db.execute("insert into COUNTRY (IDCOUNTRY, COUNTRY) values (gen_id(GEN_COUNTRY, 1), :n)", {{"n", name}});
    EXPECT_EQ(column(db, "select COUNTRY from COUNTRY where IDCOUNTRY > 0 order by COUNTRY"),
              (QStringList{"австрия", "Бразилия", "Япония"}));
}

// Format 6, which the converter upgrades, against format 7.
class Formats : public DatabaseTest {
protected:
    static void SetUpTestSuite()
    {
        DatabaseTest::SetUpTestSuite();
        format6_ = testing_support::createFormat6Database("format6");
    }
    static fw::ConnectParams format6_;

    // Every column of the user tables: table.column type scale length nullability domain-or-own.
    static QStringList columns(fw::Database& db)
    {
        return column(db,
            "select trim(rf.rdb$relation_name) || '.' || trim(rf.rdb$field_name) || ' ' || f.rdb$field_type"
            "   || ' ' || coalesce(f.rdb$field_scale, 0) || ' ' || coalesce(f.rdb$character_length, 0)"
            "   || ' ' || coalesce(rf.rdb$null_flag, f.rdb$null_flag, 0) || ' ' || rf.rdb$field_position"
            "   || ' ' || iif(rf.rdb$field_source starting with 'RDB$', '-', trim(rf.rdb$field_source))"
            " from rdb$relation_fields rf join rdb$fields f on f.rdb$field_name = rf.rdb$field_source"
            " join rdb$relations r on r.rdb$relation_name = rf.rdb$relation_name"
            " where coalesce(r.rdb$system_flag, 0) = 0 order by 1");
    }
};
fw::ConnectParams Formats::format6_;

TEST_F(Formats, SixLacksTheQuantityDomainAndTheContractLink)
{
    fw::Database six(format6_);
    six.connect();
    EXPECT_EQ(db.selectValue("select VER from VER").asInt(), 7);
    EXPECT_EQ(six.selectValue("select VER from VER").asInt(), 6);

    const auto source = [](fw::Database& d, const char* table, const char* field) {
        return d.selectValue(QString("select rdb$field_source from rdb$relation_fields"
                                     " where rdb$relation_name = '%1' and rdb$field_name = '%2'").arg(table, field))
            .asString().trimmed();
    };
    EXPECT_EQ(source(db, "SALES", "KOLVO"), "KOLVO");
    EXPECT_TRUE(source(six, "SALES", "KOLVO").startsWith("RDB$"));
    EXPECT_EQ(source(db, "DOG", "FILEPATH"), "VAR255");
    EXPECT_EQ(source(six, "DOG", "FILEPATH"), "");
    EXPECT_EQ(count(db, "rdb$fields", "rdb$field_name = 'KOLVO'"), 1);
    EXPECT_EQ(count(six, "rdb$fields", "rdb$field_name = 'KOLVO'"), 0);
    EXPECT_EQ(count(six, "rdb$fields", "rdb$field_name = 'VAR255'"), 1);   // the converter relies on it

    // Quantities: 7 fills in 0 and refuses null, 6 keeps null.
    db.execute("insert into SALES (IDSALE) values (1)");
    EXPECT_EQ(db.selectValue("select KOLVO from SALES where IDSALE = 1").asCurrency(), Currency());
    EXPECT_THROW(db.execute("insert into SALES (IDSALE, KOLVO) values (2, null)"), fw::DbError);
    six.execute("insert into SALES (IDSALE, KOLVO) values (2, null)");
    EXPECT_TRUE(six.selectValue("select KOLVO from SALES where IDSALE = 2").isNull());
    db.execute("delete from SALES");
}

TEST_F(Formats, EverythingElseIsTheSame)
{
    fw::Database six(format6_);
    six.connect();
    QStringList seven = columns(db);
    const QStringList sixColumns = columns(six);
    const auto dropped = [&](const QString& prefix) {
        const qsizetype i = seven.indexOf(QRegularExpression("^" + QRegularExpression::escape(prefix) + " .*"));
        return i < 0 ? QString() : seven.takeAt(i);
    };
    EXPECT_TRUE(dropped("DOG.FILEPATH").endsWith(" VAR255"));
    const QString kolvo7 = dropped("SALES.KOLVO");
    const QString kolvo6 = sixColumns.filter(QRegularExpression("^SALES\\.KOLVO ")).value(0);
    EXPECT_EQ(kolvo7, "SALES.KOLVO 27 -3 0 1 5 KOLVO");   // dialect 1 keeps NUMERIC(15,3) as a double
    EXPECT_EQ(kolvo6, "SALES.KOLVO 27 -3 0 0 5 -");
    QStringList rest6 = sixColumns;
    rest6.removeAll(kolvo6);
    EXPECT_EQ(seven, rest6);

    const QString routines = "select trim(rdb$procedure_name) from rdb$procedures order by 1";
    const QString triggers = "select trim(rdb$trigger_name) from rdb$triggers where coalesce(rdb$system_flag, 0) = 0 order by 1";
    EXPECT_EQ(column(db, routines), column(six, routines));
    EXPECT_EQ(column(db, triggers), column(six, triggers));
    EXPECT_EQ(column(db, routines).size(), 35);
}

TEST(CreateDatabase, RefusesUnknownFormatsAndExistingFiles)
{
    fw::ConnectParams p;
    p.path = testing_support::scratchDir() + "/bad.fdb";
    EXPECT_THROW(schema::createDatabase(p, 5), fw::Error);
    EXPECT_FALSE(QFile::exists(p.path));
    schema::createDatabase(p, 7);
    EXPECT_THROW(schema::createDatabase(p, 7), fw::DbError);
    fw::Database db(p);
    db.connect();   // the first one is untouched
    EXPECT_EQ(db.selectValue("select VER from VER").asInt(), 7);
}

// A file for the embedded engine gets a small cache of its own (it is the
// program's memory); a database made through a server keeps the server's.
TEST(CreateDatabase, SmallCacheOnlyForTheEmbeddedEngine)
{
    const QString buffers = "select mon$page_buffers from mon$database";
    fw::ConnectParams p;
    p.path = testing_support::scratchDir() + "/cache.fdb";
    QFile::remove(p.path);
    schema::createDatabase(p);
    fw::Database db(p);
    db.connect();
    EXPECT_EQ(db.selectValue(buffers).asInt(), 256);
    db.drop();

    if (testing_support::serverHost().isEmpty()) return;
    fw::ConnectParams s = p;
    s.path = testing_support::serverHost() + ":" + testing_support::serverDir() + "/cache-"
        + QString::number(QCoreApplication::applicationPid()) + ".fdb";
    s.password = qEnvironmentVariable("BRONTAL_FB_PASSWORD", "quillbent");
    schema::createDatabase(s);
    fw::Database server(s);
    server.connect();
    EXPECT_NE(server.selectValue(buffers).asInt(), 256);
    server.drop();
}
