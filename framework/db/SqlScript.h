#pragma once

#include <QString>
#include <QStringList>

namespace fw {

class Database;

// Splits an isql-style script into statements: ";" ends a statement unless
// "SET TERM x ;" chose another terminator; quotes and comments are respected.
// SET TERM lines themselves are not returned.
QStringList splitSqlScript(const QString& script);

// Runs the statements in order, each committed on its own (later DDL needs the
// earlier objects); a failure rethrows with the failing statement appended.
void runSqlScript(Database& db, const QString& script);

} // namespace fw
