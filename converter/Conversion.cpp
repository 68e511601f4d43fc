#include "Conversion.h"

#include "db/DbError.h"
#include "os/IniFile.h"

#include <QFileInfo>

namespace kestrup {

QString findSettingsFile(const QString& path)
{
    if (path.trimmed().isEmpty()) return {};
    const QFileInfo fi(path);
    if (fi.isFile()) return fi.filePath();
    const QString found = fw::findFileNoCase(fi.path(), fi.fileName());
    return QFileInfo(found).isFile() ? found : QString();
}

QString databaseName(const fw::IniFile& ini, const QString& iniPath)
{
    const QString server = ini.readString("Setup", "ServerName", "");
    QString dir = ini.readString("Setup", "DataBaseDir", "");
    const QString protocol = ini.readString("Setup", "Protocol", "tcp/ip");
    // The same default file name as the main program.
    if (dir.isEmpty()) dir = QFileInfo(iniPath).absolutePath() + "/BR.GDB";
    if (server.isEmpty()) return dir;
    const QString p = protocol.toUpper();
    if (p == "TCP/IP") return server + ":" + dir;
    if (p == "IPX") return server + "@" + dir;
    if (p == "NETBEUI") return "\\\\" + server + "\\" + dir;
    throw fw::UserError("Неверно указан протокол!");
}

const QStringList& conversionStatements()
{
    // The engine refuses writes to system tables, so SALES.KOLVO moves to the
    // new domain by ALTER; the domain is NOT NULL, so empty quantities become 0 first.
    static const QStringList statements{
        "update ver set ver=-1",
        "CREATE DOMAIN KOLVO AS\nNUMERIC(15,3)\nDEFAULT 0\nNOT NULL",
        "update SALES set KOLVO = 0 where KOLVO is null",
        "ALTER TABLE SALES ALTER COLUMN KOLVO TYPE KOLVO",
        "ALTER TABLE DOG\nADD FILEPATH VAR255\nCOLLATE PXW_CYRL",
        "CREATE INDEX IX_OPLATA_DATEOPL ON OPLATA (DATEOPL)",
        "update ver set ver=7",
    };
    return statements;
}

} // namespace kestrup
