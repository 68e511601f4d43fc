#include "core/DbLocation.h"
#include "core/dm.h"
#include "db/Database.h"
#include "support/Printers.h"
#include "support/TestDatabase.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
const QString kDir = "/opt/brontal/";

DbLocation withIni(const QByteArray& ini, const QStringList& args = {})
{
    return FindDatabase(kDir, ini, args);
}
} // namespace

TEST(DatabaseLocation, WithoutSettingsFileTheLocalFileNextToTheProgram)
{
    const DbLocation loc = FindDatabase(kDir, std::nullopt, {});
    EXPECT_EQ(loc.path, "/opt/brontal/BR.GDB");
    EXPECT_EQ(loc.user, "SYSDBA");
    EXPECT_EQ(loc.password, "quillbent");
    EXPECT_EQ(FindDatabase("/opt/brontal", std::nullopt, {}).path, "/opt/brontal/BR.GDB");
}

TEST(DatabaseLocation, ProtocolsInAnyCase)
{
    EXPECT_EQ(withIni("[Setup]\nServerName=srv\nDataBaseDir=/data/br.gdb\n").path, "srv:/data/br.gdb");
    EXPECT_EQ(withIni("[setup]\nprotocol=Tcp/Ip\nservername=srv\ndatabasedir=/data/br.gdb\n").path,
              "srv:/data/br.gdb");
    EXPECT_EQ(withIni("[Setup]\nProtocol=ipx\nServerName=srv\nDataBaseDir=D:\\new\\x.gdb\n").path,
              "srv@D:\\new\\x.gdb");
    EXPECT_EQ(withIni("[Setup]\nProtocol=netbeui\nServerName=srv\nDataBaseDir=D:\\db\\br.gdb\n").path,
              "\\\\srv\\D:\\db\\br.gdb");
    EXPECT_EQ(withIni("[Setup]\nProtocol=spx\nServerName=srv\nDataBaseDir=/x.gdb\n").path, "");
}

// Only a plain file is opened by the embedded engine.
TEST(DatabaseLocation, EmbeddedOnlyForAPlainFile)
{
    for (const char* ini : {"[Setup]\nDataBaseDir=/data/br.gdb\n", "[Setup]\n"})
        EXPECT_TRUE(fw::isEmbeddedPath(withIni(ini).path)) << ini;
    for (const char* ini : {"[Setup]\nServerName=srv\nDataBaseDir=/data/br.gdb\n",
                            "[Setup]\nDataBaseDir=localhost:/data/br.gdb\n",
                            "[Setup]\nProtocol=IPX\nServerName=srv\nDataBaseDir=/x.gdb\n",
                            "[Setup]\nProtocol=NETBEUI\nServerName=srv\nDataBaseDir=/x.gdb\n",
                            "[Setup]\nDataBaseDir=inet://srv/x.gdb\n"})
        EXPECT_FALSE(fw::isEmbeddedPath(withIni(ini).path)) << ini;
}

TEST(DatabaseLocation, EmptyServerOrDirectory)
{
    EXPECT_EQ(withIni("[Setup]\nProtocol=IPX\nServerName=\nDataBaseDir=/data/br.gdb\n").path, "/data/br.gdb");
    EXPECT_EQ(withIni("[Setup]\nServerName=srv\nDataBaseDir=\n").path, "srv:/opt/brontal/BR.GDB");
    EXPECT_EQ(withIni("[Setup]\n").path, "/opt/brontal/BR.GDB");
    EXPECT_EQ(withIni("[Other]\nServerName=srv\n").path, "/opt/brontal/BR.GDB");
}

TEST(DatabaseLocation, CommandLineNeedsTwoArguments)
{
    EXPECT_EQ(withIni("", {"UserName=bob"}).user, "SYSDBA");
    const DbLocation two = withIni("", {"UserName=bob", "Password=secret"});
    EXPECT_EQ(two.user, "bob");
    EXPECT_EQ(two.password, "secret");
    const DbLocation other = withIni("", {"x=1", "username=ann"});
    EXPECT_EQ(other.user, "ann");
    EXPECT_EQ(other.password, "quillbent");
}

TEST(DatabaseLocation, SettingsFileFoundInAnyCaseWithCyrillicValue)
{
    QTemporaryDir dir;
    QFile f(dir.filePath("br.ini"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[Setup]\r\nServerName = srv \r\nDataBaseDir=\"/data/\xc1\xc0\xc7\xc0.gdb\"\r\n");   // "БАЗА" in 1251
    f.close();
    EXPECT_EQ(FindDatabase(dir.path(), {}).path, QString::fromUtf8("srv:/data/БАЗА.gdb"));
}

// Some editors save BR.INI with a UTF-8 byte-order mark; its [Setup] still
// names the server's database, never the file next to the program.
TEST(DatabaseLocation, SettingsFileWithByteOrderMarkOpensTheServersDatabase)
{
    if (testing_support::serverHost().isEmpty()) GTEST_SKIP() << "no Firebird server";
    const fw::ConnectParams server = testing_support::createServerDatabase("bom-ini");
    const QString host = testing_support::serverHost();
    const QString file = server.path.mid(host.size() + 1);
    {
        fw::Database setup(server);
        setup.connect();
        setup.execute("create table MARK (N integer)");
    }

    QTemporaryDir dir;
    QFile f(dir.filePath("BR.INI"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("\xEF\xBB\xBF[Setup]\r\nProtocol=tcp/ip\r\nServerName=" + host.toUtf8() + "\r\nDataBaseDir="
            + file.toUtf8() + "\r\n");
    f.close();

    Tdm module;
    module.programDir = dir.path();
    module.db.connect();
    EXPECT_EQ(module.db.params().path, host + ":" + file);
    EXPECT_EQ(module.db.selectValue("select count(*) from RDB$RELATIONS where RDB$RELATION_NAME = 'MARK'").asInt(), 1);
    module.db.drop();
}
