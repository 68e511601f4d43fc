#include "core/schema/Schema.h"
#include "db/Statement.h"
#include "support/schema/DatabaseTest.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>
#include <map>

using fw::Currency;
using testing_support::createSchemaDatabase;

namespace {

const std::pair<const char*, const char*> kTables[] = {
    {"OTDEL", "IDOTDEL"}, {"USERS", "IDUSER"}, {"PRAVA", "IDPRAVA"}, {"VER", "VER"}, {"COUNTRY", "IDCOUNTRY"},
    {"DISTRICT", "IDDISTRICT"}, {"REGION", "IDREGION"}, {"SEGMENTT2", "IDSEGMENT2"}, {"REKLAMA2", "IDREKLAMA2"},
    {"PRICHINA2", "IDPRICHINA2"}, {"OTKAZ", "IDOTKAZ"}, {"TOVAR", "IDTOVAR"}, {"LOCGRKL", "IDLOCGRKL"},
    {"CUSTOMER", "IDCUST"}, {"CONTACTS", "IDCONTACTS"}, {"HISTORY", "IDHIST"}, {"DOG", "IDDOG"},
    {"GR_KL", "IDGR_KL"}, {"LOC_KL", "IDLOC_KL"}, {"SDELKA", "IDSDELKA"}, {"ETAPS", "IDETAPS"},
    {"SALES", "IDSALE"}, {"OPLATA", "IDOPLATA"}};

// A digest of every row of the tables the demo writes.
QByteArray fingerprint(fw::Database& db)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    db.withTransaction([&](fw::Transaction& tr) {
        for (const auto& [table, key] : kTables) {
            fw::Statement s(db, QString("select * from %1 order by %2").arg(table, key));
            s.execute(tr);
            while (s.fetch())
                for (int i = 0; i < s.columnCount(); ++i) hash.addData((s.value(i).asString() + '\t').toUtf8());
        }
    });
    return hash.result();
}

fw::ConnectParams demoDatabase(const QString& name, int clients, quint32 seed)
{
    const fw::ConnectParams p = createSchemaDatabase(name);
    fw::Database db(p);
    db.connect();
    schema::fillDemo(db, clients, seed);
    return p;
}

} // namespace

TEST(DemoData, TheSameSeedGivesTheSameRows)
{
    fw::Database a(demoDatabase("demo-a", 40, 7)), b(demoDatabase("demo-b", 40, 7)), c(demoDatabase("demo-c", 40, 8));
    a.connect();
    b.connect();
    c.connect();
    const QByteArray fa = fingerprint(a);
    EXPECT_EQ(fa, fingerprint(b));
    EXPECT_NE(fa, fingerprint(c));
}

class DemoConsistency : public ::testing::Test {
protected:
    static void SetUpTestSuite() { params_ = demoDatabase("demo", 400, 1); }
    void SetUp() override
    {
        db.setParams(params_);
        db.connect();
    }
    int count(const QString& sql) { return db.selectValue(sql).asInt(); }

    static fw::ConnectParams params_;
    fw::Database db;
};
fw::ConnectParams DemoConsistency::params_;

TEST_F(DemoConsistency, TotalsMatchTheSumsOfLinesAndPayments)
{
    std::map<int, std::pair<Currency, Currency>> paidByLine, planByDeal, paidByDeal;
    std::map<int, int> dealOfLine;
    db.withTransaction([&](fw::Transaction& tr) {
        fw::Statement pay(db, "select IDSALE, SUMMAD, SUMMAR from OPLATA");
        pay.execute(tr);
        while (pay.fetch()) {
            auto& p = paidByLine[pay.value(0).asInt()];
            p.first += pay.value(1).asCurrency();
            p.second += pay.value(2).asCurrency();
        }
        fw::Statement lines(db, "select IDSALE, IDSDELKA, SUMMADP, SUMMARP, SUMMADF, SUMMARF from SALES");
        lines.execute(tr);
        while (lines.fetch()) {
            const int sale = lines.value(0).asInt();
            const auto paid = paidByLine[sale];
            EXPECT_EQ(lines.value(4).asCurrency(), paid.first) << "line " << sale;
            EXPECT_EQ(lines.value(5).asCurrency(), paid.second) << "line " << sale;
            if (lines.value(1).isNull()) continue;
            auto& plan = planByDeal[lines.value(1).asInt()];
            plan.first += lines.value(2).asCurrency();
            plan.second += lines.value(3).asCurrency();
            auto& dealPaid = paidByDeal[lines.value(1).asInt()];
            dealPaid.first += paid.first;
            dealPaid.second += paid.second;
        }
        fw::Statement deals(db, "select IDSDELKA, OPLATDP, OPLATRP, OPLATDF, OPLATRF from SDELKA");
        deals.execute(tr);
        while (deals.fetch()) {
            const int id = deals.value(0).asInt();
            EXPECT_EQ(deals.value(1).asCurrency(), planByDeal[id].first) << "deal " << id;
            EXPECT_EQ(deals.value(2).asCurrency(), planByDeal[id].second) << "deal " << id;
            EXPECT_EQ(deals.value(3).asCurrency(), paidByDeal[id].first) << "deal " << id;
            EXPECT_EQ(deals.value(4).asCurrency(), paidByDeal[id].second) << "deal " << id;
        }
    });
    // Closed deals are paid in full, refused ones not at all.
    EXPECT_EQ(count("select count(*) from SDELKA where IDSDELKA_ST = 2 and (OPLATDF <> OPLATDP or OPLATRF <> OPLATRP)"), 0);
    EXPECT_EQ(count("select count(*) from SDELKA where IDSDELKA_ST = 3 and OPLATRF <> 0"), 0);
    EXPECT_GT(count("select count(*) from SDELKA where IDSDELKA_ST = 2"), 0);
    EXPECT_GT(count("select count(*) from OPLATA where SUMMAD > 0 and SUMMAR > 0"), 0);
}

TEST_F(DemoConsistency, EveryReferenceLeadsToARow)
{
    // Each query counts rows whose reference goes nowhere.
    for (const char* orphans : {
             "select count(*) from CUSTOMER c where not exists (select 1 from USERS where IDUSER = c.IDUSER)",
             "select count(*) from CUSTOMER c where not exists (select 1 from REGION r where r.IDREGION = c.IDREGION and r.IDCOUNTRY = c.IDCOUNTRY)",
             "select count(*) from CUSTOMER c where not exists (select 1 from SEGMENTT2 s where s.IDSEGMENT2 = c.IDSEGMENT2 and (s.IDSEGMENT = c.IDSEGMENT or c.IDSEGMENT2 = 0)) or not exists (select 1 from SEGMENTT where IDSEGMENT = c.IDSEGMENT)",
             "select count(*) from CUSTOMER c where not exists (select 1 from REKLAMA2 s where s.IDREKLAMA2 = c.IDREKLAMA2 and (s.IDREKLAMA = c.IDREKLAMA or c.IDREKLAMA2 = 0)) or not exists (select 1 from REKLAMA where IDREKLAMA = c.IDREKLAMA)",
             "select count(*) from CUSTOMER c where not exists (select 1 from PERSP where IDPERSP = c.IDPERSP)",
             "select count(*) from CONTACTS x where not exists (select 1 from CUSTOMER where IDCUST = x.IDCUST)",
             "select count(*) from HISTORY h where not exists (select 1 from CONTACTS where IDCONTACTS = h.IDCONTACTS and IDCUST = h.IDCUST)",
             "select count(*) from HISTORY h where not exists (select 1 from HISTTYPE where IDHISTTYPE = h.IDHISTTYPE)",
             "select count(*) from DOG x where not exists (select 1 from CUSTOMER where IDCUST = x.IDCUST)",
             "select count(*) from GR_KL x where not exists (select 1 from GRKLIENT where IDGRKLIENT = x.IDGRKLIENT)",
             "select count(*) from LOC_KL x where not exists (select 1 from LOCGRKL g join CUSTOMER c on c.IDUSER = g.IDUSER where g.IDLOCGRKL = x.IDLOCGRKL and c.IDCUST = x.IDCUST)",
             "select count(*) from SDELKA d where not exists (select 1 from CUSTOMER where IDCUST = d.IDCUST)",
             "select count(*) from SDELKA d where d.IDDOG is not null and not exists (select 1 from DOG where IDDOG = d.IDDOG and IDCUST = d.IDCUST)",
             "select count(*) from SDELKA d where not exists (select 1 from PRICHINA2 p where p.IDPRICHINA2 = d.IDPRICHINA2 and (p.IDPRICHINA = d.IDPRICHINA or d.IDPRICHINA2 = 0))",
             "select count(*) from SDELKA d where d.IDSDELKA_ST = 3 and not exists (select 1 from OTKAZ where IDOTKAZ = d.IDOTKAZ and IDSDELKATYPE = d.IDSDELKATYPE)",
             "select count(*) from SDELKA d where d.IDSDELKA_ST = 3 and not exists (select 1 from ETAPS where IDSDELKA = d.IDSDELKA and IDETAP = d.IDETAP)",
             "select count(*) from SDELKA d where not exists (select 1 from SDELKA_ST where IDSDELKA_ST = d.IDSDELKA_ST) or (d.IDSDELKA_ST = 1) <> (d.DATE_END is null)",
             "select count(*) from ETAPS e where not exists (select 1 from SDELKA where IDSDELKA = e.IDSDELKA) or not exists (select 1 from ETAP where IDETAP = e.IDETAP)",
             "select count(*) from SALES s where not exists (select 1 from TOVAR where IDTOVAR = s.IDTOVAR)",
             "select count(*) from SALES s where s.IDSDELKA is not null and not exists (select 1 from SDELKA where IDSDELKA = s.IDSDELKA and IDCUST = s.IDCUST)",
             "select count(*) from OPLATA p where not exists (select 1 from SALES where IDSALE = p.IDSALE and IDSDELKA is not null)",
             "select count(*) from USERS u where not exists (select 1 from OTDEL where IDOTDEL = u.IDOTDEL)"})
        EXPECT_EQ(count(orphans), 0) << orphans;
    EXPECT_GT(count("select count(*) from SALES where IDSDELKA is null"), 0);
    EXPECT_GT(count("select count(*) from HISTORY where HISTORY = '-'"), 0);
    EXPECT_GT(count("select count(*) from GR_KL"), 0);
    EXPECT_GT(count("select count(*) from LOC_KL"), 0);
}

TEST_F(DemoConsistency, KeyProvidersContinueAfterTheDemoRows)
{
    for (const auto& [procedure, table, key] : std::initializer_list<std::tuple<const char*, const char*, const char*>>{
             {"ID_CUST", "CUSTOMER", "IDCUST"}, {"ID_SALE", "SALES", "IDSALE"}, {"ID_OPLATA", "OPLATA", "IDOPLATA"},
             {"ID_PRAVA", "PRAVA", "IDPRAVA"}, {"ID_HIST", "HISTORY", "IDHIST"}})
        EXPECT_EQ(db.executeProcedure(procedure).asInt(),
                  db.selectValue(QString("select max(%1) + 1 from %2").arg(key, table)).asInt()) << procedure;
}

// The command-line tool.
TEST(BrontalDb, CreatesRefusesToOverwriteAndMakesFormatSix)
{
    const QString path = testing_support::scratchDir() + "/tool.fdb";
    const auto run = [](const QStringList& args) {
        QProcess p;
        p.start(BRONTAL_DB_TOOL, args);
        p.waitForFinished(120000);
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    };
    EXPECT_EQ(run({"create", path, "--demo", "20", "--seed", "3"}), 0);
    {
        fw::Database db({path});
        db.connect();
        EXPECT_EQ(db.selectValue("select count(*) from CUSTOMER").asInt(), 20);
    }
    EXPECT_EQ(run({"create", path}), 1);
    EXPECT_EQ(run({"create", path, "--format", "6", "--force"}), 0);
    {
        fw::Database db({path});
        db.connect();
        EXPECT_EQ(db.selectValue("select VER from VER").asInt(), 6);
        EXPECT_EQ(db.selectValue("select count(*) from CUSTOMER").asInt(), 0);
    }
    EXPECT_EQ(run({"create", path, "--format", "5", "--force"}), 2);
    EXPECT_EQ(run({"make", path}), 2);
}
