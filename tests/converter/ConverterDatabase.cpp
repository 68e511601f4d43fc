#include "ConverterDatabase.h"

#include "core/schema/Schema.h"
#include "support/TestDatabase.h"

#include <QDir>
#include <QFile>
#include <QUuid>

namespace {

ConverterDatabase make(fw::ConnectParams p, const QString& setup)
{
    fw::Database db(p);
    db.connect();
    schema::createObjects(db, schema::PreviousFormat);
    db.disconnect();
    ConverterDatabase c;
    c.params = p;
    const QString folder = testing_support::scratchDir() + "/" + QUuid::createUuid().toString(QUuid::Id128);
    QDir().mkpath(folder);
    c.iniPath = folder + "/BR.INI";
    QFile f(c.iniPath);
    if (!f.open(QIODevice::WriteOnly)) throw fw::Error("cannot write " + c.iniPath);
    f.write(("[Setup]\r\n" + setup).toLatin1());
    return c;
}

} // namespace

ConverterDatabase ConverterDatabase::embedded(const QString& name)
{
    const fw::ConnectParams p = testing_support::createEmptyDatabase(
        name + QUuid::createUuid().toString(QUuid::Id128).left(8));
    return make(p, "DataBaseDir=" + p.path + "\r\n");
}

ConverterDatabase ConverterDatabase::server(const QString& name)
{
    const fw::ConnectParams p = testing_support::createServerDatabase(name);
    const QString host = testing_support::serverHost();
    return make(p, "Protocol=tcp/ip\r\nServerName=" + host + "\r\nDataBaseDir=" + p.path.mid(host.size() + 1) + "\r\n");
}

int ConverterDatabase::execute(const QString& sql)
{
    fw::Database db(params);
    db.connect();
    return db.execute(sql);
}

fw::Value ConverterDatabase::value(const QString& sql)
{
    fw::Database db(params);
    db.connect();
    return db.selectValue(sql);
}
