#pragma once

#include "db/Database.h"

#include <QString>

// A format-6 database and the BR.INI that names it, embedded or through the test server.
struct ConverterDatabase {
    fw::ConnectParams params;
    QString iniPath;

    static ConverterDatabase embedded(const QString& name);
    static ConverterDatabase server(const QString& name);

    // Each on an attachment of its own, closed at once.
    int execute(const QString& sql);
    fw::Value value(const QString& sql);
    int ver() { return value("select VER from VER").asInt(); }
    int domains() { return value("select count(*) from RDB$FIELDS where RDB$FIELD_NAME = 'KOLVO'").asInt(); }
    QString kolvoSource()
    {
        return value("select RDB$FIELD_SOURCE from RDB$RELATION_FIELDS"
                     " where RDB$RELATION_NAME = 'SALES' and RDB$FIELD_NAME = 'KOLVO'").asString();
    }
    // User attachments, this query's own included.
    int attachments() { return value("select count(*) from MON$ATTACHMENTS where MON$SYSTEM_FLAG = 0").asInt(); }
};
