#pragma once

#include <QString>
#include <QStringList>

namespace fw { class IniFile; }

namespace kestrup {

// The administrator the converter attaches as; the installation's fixed default.
inline const QString kDbUser = QStringLiteral("SYSDBA");
inline const QString kDbPassword = QStringLiteral("quillbent");

// The settings file the user named, found whatever the letter case of its file
// name; empty when there is none.
QString findSettingsFile(const QString& path);

// The database name from section Setup of the settings file at iniPath.
// Throws fw::UserError for a protocol other than TCP/IP, IPX or NETBEUI.
QString databaseName(const fw::IniFile& ini, const QString& iniPath);

// Format 6 to format 7, in the order they run. The first marks the database
// as being converted and the last marks it done.
const QStringList& conversionStatements();

} // namespace kestrup
