#include "Schema.h"

#include "References.h"

#include "db/SqlScript.h"

#include <QFile>

// Q_INIT_RESOURCE must be used outside any namespace; the resources of a static
// library are not registered until something calls it.
static void initSchemaResources() { Q_INIT_RESOURCE(schema); }

namespace schema {

namespace {

QString readScript(const QString& name)
{
    static const bool registered = [] { initSchemaResources(); return true; }();
    Q_UNUSED(registered);
    QFile f(":/schema/sql/" + name);
    if (!f.open(QIODevice::ReadOnly))
        throw fw::Error(QString("Schema script %1 is missing").arg(name));
    return QString::fromUtf8(f.readAll());
}

void checkFormat(int format)
{
    if (format != CurrentFormat && format != PreviousFormat)
        throw fw::Error(QString("Unknown database format %1 (only %2 and %3 can be made)")
                            .arg(format).arg(PreviousFormat).arg(CurrentFormat));
}

} // namespace

void createObjects(fw::Database& db, int format)
{
    checkFormat(format);
    QStringList names{"tables.sql"};
    if (format == CurrentFormat) names << "format7.sql";
    names << "keys.sql" << "triggers.sql" << "references.sql" << "seed.sql";
    for (const QString& name : names) fw::runSqlScript(db, readScript(name));
    // Format 7 as made here: nothing points at a missing reference row. Databases
    // converted from format 6 have no such keys and are checked when a row is deleted.
    if (format == CurrentFormat) fw::runSqlScript(db, foreignKeyStatements().join(";\n") + ";\n");
    db.execute("insert into VER (VER) values (:VER)", {{"VER", format}});
}

void createDatabase(const fw::ConnectParams& p, int format)
{
    checkFormat(format);
    fw::ConnectParams made = p;
    // The embedded engine's cache is the program's own memory: its default
    // (2048 pages) would be a sixth of what a large client list needs, and the
    // pages it misses come from the system's file cache. A server keeps its own.
    if (!made.pageBuffers && fw::isEmbeddedPath(p.path)) made.pageBuffers = 256;
    fw::Database::create(made);
    fw::Database db(p);
    db.connect();
    try {
        createObjects(db, format);
    } catch (...) {
        // A half-built database is worse than none.
        try { db.drop(); } catch (...) {}
        throw;
    }
    db.disconnect();
}

} // namespace schema
