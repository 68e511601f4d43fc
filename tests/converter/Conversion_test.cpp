#include "converter/Conversion.h"
#include "converter/dm.h"

#include "os/IniFile.h"
#include "support/Printers.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
QString nameFrom(const QByteArray& ini)
{
    return kestrup::databaseName(fw::IniFile::fromBytes(ini), "/srv/brontal/BR.INI");
}
} // namespace

TEST(DatabasePath, FormsOfTheSettingsFile)
{
    EXPECT_EQ(nameFrom("[Setup]\n"), "/srv/brontal/BR.GDB");
    EXPECT_EQ(nameFrom("[Setup]\nDataBaseDir=\nServerName=db1\n"), "db1:/srv/brontal/BR.GDB");
    EXPECT_EQ(nameFrom("[SETUP]\nPROTOCOL=ipx\nservername=nw\ndatabasedir=SYS:\\BR\\BR.GDB\n"), "nw@SYS:\\BR\\BR.GDB");
    EXPECT_EQ(nameFrom("[Setup]\nProtocol=NetBeui\nServerName=pc7\nDataBaseDir=C:\\new\\BR.GDB\n"),
              "\\\\pc7\\C:\\new\\BR.GDB");
    // Without a server the protocol is not looked at.
    EXPECT_EQ(nameFrom("[Setup]\nProtocol=spx\nDataBaseDir=/data/br.gdb\n"), "/data/br.gdb");
    try {
        nameFrom("[Setup]\nProtocol=spx\nServerName=db1\n");
        FAIL() << "an unknown protocol must be refused";
    } catch (const fw::UserError& e) {
        EXPECT_EQ(e.message(), "Неверно указан протокол!");
    }
}

TEST(DatabasePath, SettingsFileFoundWhateverTheCaseOfItsName)
{
    QTemporaryDir dir;
    QFile f(dir.filePath("BR.INI"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[Setup]\nDataBaseDir=/data/x.gdb\n");
    f.close();
    EXPECT_TRUE(kestrup::findSettingsFile(dir.path()).isEmpty());
    EXPECT_TRUE(kestrup::findSettingsFile(dir.filePath("br.ini.old")).isEmpty());

    kestrup::Tdm d;
    d.FileIni = dir.filePath("br.ini");
    d.dbBeforeConnect();
    EXPECT_EQ(d.db.params().path, "/data/x.gdb");

    // Saved by an editor that starts UTF-8 with a byte-order mark.
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("\xEF\xBB\xBF[Setup]\r\nProtocol=tcp/ip\r\nServerName=db1\r\nDataBaseDir=/data/x.gdb\r\n");
    f.close();
    d.dbBeforeConnect();
    EXPECT_EQ(d.db.params().path, "db1:/data/x.gdb");
}
