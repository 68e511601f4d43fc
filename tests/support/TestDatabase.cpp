#include "TestDatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QUuid>

namespace testing_support {

QString scratchDir()
{
    static QTemporaryDir dir(QDir::tempPath() + "/brontal-test-XXXXXX");
    return dir.path();
}

fw::ConnectParams createEmptyDatabase(const QString& name)
{
    fw::ConnectParams p;
    p.path = scratchDir() + "/" + name + ".fdb";
    QFile::remove(p.path);
    p.user = "SYSDBA";
    fw::Database::create(p);
    return p;
}

void dropDatabase(const fw::ConnectParams& params)
{
    if (params.path.isEmpty()) return;
    fw::Database db(params);
    db.connect();
    db.drop();
}

QString serverHost() { return qEnvironmentVariable("BRONTAL_FB_SERVER"); }
QString serverDir() { return qEnvironmentVariable("BRONTAL_FB_DIR"); }

fw::ConnectParams serverDatabaseParams(const QString& name)
{
    fw::ConnectParams p;
    const QString file = serverDir() + "/" + name + "-"
        + QUuid::createUuid().toString(QUuid::Id128).left(8) + ".fdb";
    p.path = serverHost() + ":" + file;
    p.user = "SYSDBA";
    p.password = qEnvironmentVariable("BRONTAL_FB_PASSWORD", "quillbent");
    return p;
}

fw::ConnectParams throughPort(const fw::ConnectParams& server, int port)
{
    fw::ConnectParams p = server;
    p.path = QString("127.0.0.1/%1:%2").arg(port).arg(server.path.mid(server.path.indexOf(':') + 1));
    return p;
}

fw::ConnectParams createServerDatabase(const QString& name)
{
    const fw::ConnectParams p = serverDatabaseParams(name);
    fw::Database::create(p);
    return p;
}

} // namespace testing_support
