#pragma once

#include "DbError.h"
#include "Value.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

#include <ibase.h>

namespace fw {

class Transaction;

struct ConnectParams {
    QString path;          // "host:path" for a server, a file path for the embedded engine
    QString user = "SYSDBA";
    QString password;
    QString charset = "UTF8";
    std::optional<bool> forcedWrites;   // when set, switches the file's forced writes at attach (owner only)
};

// Throws DbError built from a status vector when it holds an error.
void checkStatus(const ISC_STATUS* status);
DbError errorFromStatus(const ISC_STATUS* status);

// One attachment. Statements outside an explicit transaction run in a
// transaction of their own that is committed at once ("autocommit").
class Database {
public:
    Database() = default;
    explicit Database(ConnectParams params) : params_(std::move(params)) {}
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;
    ~Database();

    void setParams(const ConnectParams& p) { params_ = p; }
    const ConnectParams& params() const { return params_; }

    // Called at the start of every connect(); may change the parameters.
    std::function<void(Database&)> beforeConnect;
    std::function<void(Database&)> afterConnect;
    std::function<void(Database&)> beforeDisconnect;

    void connect();
    void disconnect();        // rolls back an open explicit transaction
    bool connected() const { return handle_ != 0; }
    // Changes with every connect: a statement prepared on an earlier attachment
    // must neither be used nor freed on this one.
    quint64 attachmentSerial() const { return serial_; }

    // A dialect-1 database with WIN1251 as its default character set.
    static void create(const ConnectParams& p, int pageSize = 8192);
    // Drops the connected database (tests and the demo tool only).
    void drop();

    // The explicit transaction of this connection (the framework's StartTransaction).
    void startTransaction();
    void commit();
    void rollback();
    bool inTransaction() const;
    // The explicit transaction, or nullptr while autocommit is in force.
    Transaction* activeTransaction() const { return inTransaction() ? explicit_.get() : nullptr; }

    // Runs fn inside the explicit transaction when there is one, else in a
    // transaction of its own that is committed after fn (rolled back on failure).
    void withTransaction(const std::function<void(Transaction&)>& fn);

    // Executes one statement with named parameters; returns the rows affected.
    int execute(const QString& sql, const QList<QPair<QString, Value>>& params = {});
    // First column of the first row (NULL when there is none).
    Value selectValue(const QString& sql, const QList<QPair<QString, Value>>& params = {});
    // "execute procedure NAME" and its first output parameter (the key providers).
    Value executeProcedure(const QString& name);

    // The user names attached to this database (isc_info_user_names).
    QStringList attachedUserNames();

    isc_db_handle* handle() { return &handle_; }

private:
    ConnectParams params_;
    isc_db_handle handle_ = 0;
    quint64 serial_ = 0;
    std::unique_ptr<Transaction> explicit_;
};

// A transaction: read committed, record versions, no wait.
class Transaction {
public:
    explicit Transaction(Database& db) : db_(&db) {}
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    ~Transaction();                      // rolls back when still active, never throws

    void start();
    void commit();
    void commitRetaining();
    void rollback();
    bool active() const { return handle_ != 0; }
    Database& database() const { return *db_; }
    isc_tr_handle* handle() { return &handle_; }

private:
    Database* db_;
    isc_tr_handle handle_ = 0;
};

} // namespace fw
