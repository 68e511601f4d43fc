#include "DbLocation.h"

#include "os/IniFile.h"

#include <QDir>
#include <QFile>

namespace {

QString withSeparator(QString dir)
{
    if (!dir.isEmpty() && !dir.endsWith('/') && !dir.endsWith('\\')) dir += '/';
    return dir;
}

// name=value arguments; names compared in any case, the first occurrence wins.
std::optional<QString> argValue(const QStringList& args, const QString& name)
{
    for (const QString& a : args) {
        const int eq = a.indexOf('=');
        if (eq > 0 && a.left(eq).compare(name, Qt::CaseInsensitive) == 0) return a.mid(eq + 1);
    }
    return std::nullopt;
}

} // namespace

DbLocation FindDatabase(const QString& programDir, const std::optional<QByteArray>& iniText,
                        const QStringList& args)
{
    const QString d = withSeparator(programDir);
    DbLocation loc;
    if (iniText) {
        const fw::IniFile ini = fw::IniFile::fromBytes(*iniText);
        const QString protocol = ini.readString("Setup", "Protocol", "tcp/ip").toUpper();
        const QString server = ini.readString("Setup", "ServerName", "");
        QString dir = ini.readString("Setup", "DataBaseDir", d + "BR.GDB");
        if (dir.isEmpty()) dir = d + "BR.GDB";
        if (server.isEmpty())
            loc.path = dir;
        else if (protocol == "NETBEUI")
            loc.path = "\\\\" + server + "\\" + dir;
        else if (protocol == "IPX")
            loc.path = server + "@" + dir;
        else if (protocol == "TCP/IP")
            loc.path = server + ":" + dir;
        // any other protocol with a server: an empty path, and the connect fails
    } else {
        loc.path = d + "BR.GDB";
    }
    loc.user = "SYSDBA";
    loc.password = kDefaultDbPassword;
    // A single argument is not looked at.
    if (args.size() >= 2) {
        if (auto u = argValue(args, "UserName")) loc.user = *u;
        if (auto p = argValue(args, "Password")) loc.password = *p;
    }
    return loc;
}

DbLocation FindDatabase(const QString& programDir, const QStringList& args)
{
    const QString ini = fw::findFileNoCase(programDir, "BR.INI");
    std::optional<QByteArray> text;
    if (!ini.isEmpty()) {
        QFile f(ini);
        if (f.open(QIODevice::ReadOnly)) text = f.readAll();
    }
    return FindDatabase(programDir, text, args);
}
