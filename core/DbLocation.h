#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

// Where the database is and who connects to it, from the program's folder,
// the settings file BR.INI (absent: nullopt) and the command line.
struct DbLocation {
    QString path;
    QString user;
    QString password;
};

// The database administrator's fixed default password.
inline const QString kDefaultDbPassword = QStringLiteral("quillbent");

DbLocation FindDatabase(const QString& programDir, const std::optional<QByteArray>& iniText,
                        const QStringList& args);
// The same, reading BR.INI (found in any letter case) from programDir.
DbLocation FindDatabase(const QString& programDir, const QStringList& args);
