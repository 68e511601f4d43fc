#include "ConverterDatabase.h"

#include "converter/Conversion.h"
#include "converter/dm.h"

#include "support/TestDatabase.h"

#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

namespace {

// The refusal's message, or empty when it converted; steps counts the statements run.
QString convert(kestrup::Tdm& d, int* steps = nullptr)
{
    int n = 0;
    QString message;
    try {
        d.Convert([&n] { ++n; });
    } catch (const fw::UserError& e) {
        message = e.message();
    }
    if (steps) *steps = n;
    return message;
}

void gbak(const QStringList& args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start("/usr/bin/gbak", QStringList{"-user", "SYSDBA"} + args);
    EXPECT_TRUE(p.waitForFinished(120000) && p.exitCode() == 0) << p.readAll().toStdString();
}

} // namespace

class Conversion : public ::testing::Test {
protected:
    void SetUp() override { d.FileIni = base.iniPath; }
    ConverterDatabase base = ConverterDatabase::embedded("conv");
    kestrup::Tdm d;
};

TEST_F(Conversion, RefusesAnyFormatButSix)
{
    const QList<QPair<int, QString>> cases{
        {7, "Не соответствует версия Базы Данных!"},
        {-1, "Предыдущая попытка конвертации не была завершена успешно.\nКонвертация этого файла невозможна."}};
    for (const auto& [ver, message] : cases) {
        base.execute(QString("update VER set VER = %1").arg(ver));
        int steps = -1;
        EXPECT_EQ(convert(d, &steps), message);
        EXPECT_EQ(steps, 0);
        EXPECT_EQ(base.attachments(), 1);
        EXPECT_EQ(base.ver(), ver);
    }
}

TEST_F(Conversion, ReachesFormatSevenWithEmptyQuantitiesAsZero)
{
    base.execute("insert into SALES (IDSALE, KOLVO) values (1, null)");
    base.execute("insert into SALES (IDSALE, KOLVO) values (2, 2.5)");
    int steps = 0;
    EXPECT_EQ(convert(d, &steps), "");
    EXPECT_EQ(steps, int(kestrup::conversionStatements().size()));
    EXPECT_EQ(base.attachments(), 1);
    EXPECT_EQ(base.ver(), 7);
    EXPECT_EQ(base.kolvoSource(), "KOLVO");
    EXPECT_EQ(base.value("select count(*) from SALES where KOLVO = 0").asInt(), 1);
    EXPECT_EQ(base.value("select count(*) from SALES where KOLVO = 2.5").asInt(), 1);
    EXPECT_THROW(base.execute("insert into SALES (IDSALE, KOLVO) values (3, null)"), fw::DbError);
    EXPECT_EQ(base.value("select trim(f.RDB$FIELD_SOURCE) || ' ' || trim(c.RDB$COLLATION_NAME) from RDB$RELATION_FIELDS f"
                         " join RDB$COLLATIONS c on c.RDB$COLLATION_ID = f.RDB$COLLATION_ID"
                         "  and c.RDB$CHARACTER_SET_ID = 52"   // WIN1251
                         " where f.RDB$RELATION_NAME = 'DOG' and f.RDB$FIELD_NAME = 'FILEPATH'").asString(),
              "VAR255 PXW_CYRL");
    EXPECT_EQ(base.value("select count(*) from RDB$INDICES where RDB$INDEX_NAME = 'IX_OPLATA_DATEOPL'").asInt(), 1);

    const QString backup = base.params.path + ".fbk";
    gbak({"-b", base.params.path, backup});
    gbak({"-c", backup, base.params.path + ".restored"});
    fw::ConnectParams p = base.params;
    p.path += ".restored";
    fw::Database restored(p);
    restored.connect();
    EXPECT_EQ(restored.selectValue("select VER from VER").asInt(), 7);
    restored.drop();
    QFile::remove(backup);
}

TEST_F(Conversion, FailedStatementLeavesFormatSixAndTheSchemaAsItWas)
{
    base.execute("ALTER TABLE DOG ADD FILEPATH VAR255 COLLATE PXW_CYRL");
    base.execute("insert into SALES (IDSALE, KOLVO) values (1, null)");
    const QString source = base.kolvoSource();
    int steps = 0;
    try {
        d.Convert([&steps] { ++steps; });
        ADD_FAILURE() << "the column exists already";
    } catch (const kestrup::StatementError& e) {
        EXPECT_EQ(e.sql(), kestrup::conversionStatements()[4]);
        EXPECT_TRUE(e.sql().startsWith("ALTER TABLE DOG"));
    }
    EXPECT_EQ(steps, 4);
    EXPECT_EQ(base.attachments(), 1);
    EXPECT_EQ(base.ver(), 6);
    EXPECT_EQ(base.domains(), 0);
    EXPECT_EQ(base.kolvoSource(), source);
    EXPECT_TRUE(base.value("select KOLVO from SALES").isNull());

    // Nothing was left half done, so it can simply be run again.
    base.execute("ALTER TABLE DOG DROP FILEPATH");
    EXPECT_EQ(convert(d), "");
    EXPECT_EQ(base.ver(), 7);
}

TEST(ServerConversion, SecondAttachmentStopsItBeforeAnyStatement)
{
    if (testing_support::serverHost().isEmpty()) GTEST_SKIP() << "no Firebird server for this run";
    ConverterDatabase base = ConverterDatabase::server("kestrup");
    kestrup::Tdm d;
    d.FileIni = base.iniPath;
    auto other = std::make_unique<fw::Database>(base.params);
    other->connect();
    EXPECT_EQ(convert(d), "Обнаружены подключения к базе!\n"
                          "Конвертирование возможно только при полном отсутствии подключений.");
    EXPECT_EQ(base.attachments(), 2);   // the other one and this query
    EXPECT_EQ(base.domains(), 0);
    EXPECT_EQ(base.ver(), 6);
    other.reset();

    // Alone on the server, the converter counts only itself.
    EXPECT_EQ(convert(d), "");
    EXPECT_EQ(base.ver(), 7);
    other = std::make_unique<fw::Database>(base.params);
    other->connect();
    other->drop();
}
