#pragma once

#include "Param.h"

#include <QString>
#include <memory>

namespace fw {

class Database;
class Statement;

// "execute procedure NAME": the key providers. Output parameters are read by
// name (or position) after execProc.
class StoredProc {
public:
    explicit StoredProc(Database* db = nullptr, const QString& name = {});
    ~StoredProc();
    StoredProc(const StoredProc&) = delete;
    StoredProc& operator=(const StoredProc&) = delete;

    void setDatabase(Database* db);
    Database* database() const { return db_; }
    void setStoredProcName(const QString& name);
    const QString& storedProcName() const { return name_; }

    void prepare();
    void unprepare();
    bool prepared() const { return stmt_ != nullptr; }

    // Runs it in the connection's active transaction; while a data set makes
    // ready to write, in the transaction its write then goes on in; else in
    // one of its own committed at once.
    void execProc();

    // The output parameters; asking for them prepares the procedure when needed.
    QList<Param*> params();
    int paramCount();
    Param& param(int i);
    Param& paramByName(const QString& name);

private:
    Database* db_ = nullptr;
    QString name_;
    std::unique_ptr<Statement> stmt_;
    quint64 stmtSerial_ = 0;
    ParamList params_;
};

} // namespace fw
