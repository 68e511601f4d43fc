#pragma once

#include "DataSet.h"
#include "DataSource.h"
#include "Param.h"
#include "Statement.h"

#include <QStringList>
#include <memory>

namespace fw {

class Database;
class Statement;
class Transaction;
class UpdateSql;
enum class UpdateKind;

// A data set over one select statement. Without an update object it is
// read-only; with one, every post and delete is written through the object's
// statements and committed at once (Database::withTransaction: inside the
// caller's explicit transaction when there is one).
class Query : public DataSet {
    Q_OBJECT
public:
    explicit Query(QObject* parent = nullptr);
    explicit Query(Database* db, QObject* parent = nullptr);
    ~Query() override;

    void setDatabase(Database* db);
    Database* database() const { return db_; }

    // Changing the text closes and unprepares; parameters of the same name keep their values.
    void setSql(const QStringList& lines);
    void setSqlText(const QString& text);         // split at CR, LF or CR LF
    const QStringList& sql() const { return sql_; }
    QString sqlText() const { return sql_.join('\n'); }
    void addSql(const QString& line);
    void clearSql() { setSql({}); }

    QList<Param*> params() const { return params_.list(); }
    int paramCount() const { return params_.count(); }
    Param& paramByName(const QString& name) const { return params_.byName(name); }
    Param* findParam(const QString& name) const { return params_.find(name); }

    // A query stays prepared across close and open until its text, its database
    // or the attachment changes, or DDL runs on it; prepared() tells whether
    // prepare() was called.
    void prepare();
    void unprepare();
    bool prepared() const { return explicitPrepare_ && stmt_ != nullptr; }

    // Runs a statement that returns no rows (update, delete, DDL); returns the rows affected.
    int execSql();
    int rowsAffected() const { return rowsAffected_; }

    void setUpdateObject(UpdateSql* u) { update_ = u; }
    UpdateSql* updateObject() const { return update_; }
    bool canModify() const override { return update_ != nullptr; }

    // Runs in the transaction that writes a row, before the update object's
    // statement (during it the fields hold the values being written; a delete's
    // are the stored ones): a guard that throws refuses the write, and what it
    // writes is committed or rolled back with the row. A guarded write in a
    // transaction of its own reads with Isolation::NoRecordVersion, so a row
    // another user is writing at that moment is a conflict (retried, then
    // reported), never missed by a check; a foreign key refusal of a delete
    // (a use added since the check) is retried the same way.
    using WriteGuard = std::function<void(UpdateKind, DataSet&, Transaction&)>;
    void setWriteGuard(WriteGuard guard) { writeGuard_ = std::move(guard); }

    // Master-detail: parameters named like a master field take its value at
    // open; the query reopens when the master moves, posts or reopens, and
    // closes when the master closes.
    void setMasterSource(DataSource* master);
    DataSource* masterSource() const { return master_; }

protected:
    void fetchRows(const RowSink& sink) override;
    bool writeRow(WriteKind kind) override;
    void beginWrite() override;
    void endWrite() noexcept override;
    std::optional<std::vector<Value>> fetchRecord(const QStringList& keyNames,
                                                  const QList<Value>& keyValues) override;
    void autoDescribe() override;

private:
    Database& db() const;
    Statement& statement();
    void bindParams(Statement& s);
    void takeMasterParams();
    friend class DataSource;
    void masterRecordChanged();
    void masterStateChanged();

    Database* db_ = nullptr;
    QStringList sql_;
    ParamList params_;
    std::unique_ptr<Statement> stmt_;
    quint64 stmtSerial_ = 0;      // the attachment the statement was prepared on
    quint64 stmtSchema_ = 0;      // Database::schemaVersion() at prepare
    bool explicitPrepare_ = false;
    int rowsAffected_ = 0;
    UpdateSql* update_ = nullptr;
    StatementCache writeStatements_;   // the update object's, prepared once
    WriteGuard writeGuard_;
    Database* holding_ = nullptr;     // the connection held for this post's write
    QPointer<DataSource> master_;
};

} // namespace fw
