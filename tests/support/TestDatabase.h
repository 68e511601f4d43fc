#pragma once

#include "db/Database.h"
#include "Printers.h"

#include <QString>
#include <QTemporaryDir>
#include <memory>

namespace testing_support {

// A folder for one test program's databases, removed at exit.
QString scratchDir();

// Parameters of a new, empty dialect-1 WIN1251 database opened by the embedded engine.
fw::ConnectParams createEmptyDatabase(const QString& name);

// The Firebird server for multi-user tests: BRONTAL_FB_SERVER (host) and
// BRONTAL_FB_DIR (a folder the server's user may write). Empty when not set.
QString serverHost();
QString serverDir();
// Parameters of a database on the server that does not exist yet (a unique file name).
fw::ConnectParams serverDatabaseParams(const QString& name);
// Parameters of a new, empty database created through the server.
fw::ConnectParams createServerDatabase(const QString& name);
// The same server database reached through a local port (a TcpProxy's) instead.
fw::ConnectParams throughPort(const fw::ConnectParams& server, int port);
// Drops a database a suite made (nothing when it made none).
void dropDatabase(const fw::ConnectParams& params);

} // namespace testing_support
