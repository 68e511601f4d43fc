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

// How a read-committed transaction treats a row that another transaction has
// written and not committed yet.
enum class Isolation {
    RecordVersion,     // reads the row as last committed (a new row is not there yet)
    NoRecordVersion,   // refuses to read it (a conflict), so a check misses nothing being written
};

struct ConnectParams {
    QString path;          // "host:path" for a server, a file path for the embedded engine
    QString user = "SYSDBA";
    QString password;
    std::optional<bool> forcedWrites;   // when set, switches the file's forced writes at attach (owner only)
    // Cache pages written into a new file's header (create only); unset: the engine's default.
    std::optional<int> pageBuffers;
};

// A plain file path, opened by the embedded engine: no host part of any protocol.
bool isEmbeddedPath(const QString& path);

// The text of a statement, in code page 1251; a character outside it is
// refused (outsideCodePageInSql).
QByteArray encodeSql(const QString& text);
// The error for a value whose character at `at` code page 1251 lacks: a text is
// refused rather than stored with "?".
CodePageError outsideCodePage(const QString& text, qsizetype at);
// The same for a character in a statement's text: the refusal names the quoted
// value that holds it, never the statement.
CodePageError outsideCodePageInSql(const QString& sql, qsizetype at);
// Throws CodePageError, naming the label, when a text a person typed holds a
// character outside code page 1251 or a control character.
void checkCodePage(const QString& text, const QString& label);

// Whether the status vector holds that error code anywhere in its chain.
bool hasStatusCode(const ISC_STATUS* status, ISC_STATUS code);
// Throws DbError built from a status vector when it holds an error.
void checkStatus(const ISC_STATUS* status);
// Conflicts, foreign key refusals and a lost connection get a Russian message
// with the engine's text as detail; other errors carry the engine's text.
DbError errorFromStatus(const ISC_STATUS* status);

// One attachment, with lc_ctype NONE: the engine hands every text over in its
// column's own character set, which the descriptions name, so the code page
// 1251 columns travel as stored, unconverted; statements go in code page 1251.
// Statements outside an explicit transaction run in a transaction of their own
// that is committed at once ("autocommit").
class Database {
public:
    Database();
    explicit Database(ConnectParams params);
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
    // True after a call found the server gone: the dead attachment was dropped
    // (connected() is false) without closing anything, so data sets keep their
    // rows and pending edits until reconnect() attaches again.
    bool connectionLost() const { return lostBy_ != nullptr; }
    // Attaches again with the same parameters, without the connect handlers.
    void reconnect();
    // Reconnects every database of the calling thread whose connection was lost;
    // returns how many it reconnected (throws when one cannot attach).
    static int reconnectLost();
    // Throws unless connected: the lost-connection error when the connection was lost.
    void checkConnected() const;
    // Throws the status vector's error; a lost connection drops the attachment first.
    void check(const ISC_STATUS* status);
    [[noreturn]] void fail(const ISC_STATUS* status);
    // Changes with every connect: a statement prepared on an earlier attachment
    // must neither be used nor freed on this one.
    quint64 attachmentSerial() const { return serial_; }
    // Changes with every DDL statement run here: a statement prepared before
    // may describe the tables as they were.
    quint64 schemaVersion() const { return schema_; }
    void noteSchemaChange() { ++schema_; }
    // Statements prepared through this object so far.
    quint64 prepareCount() const { return prepares_; }
    void notePrepare() { ++prepares_; }

    // A dialect-1 database with WIN1251 as its default character set.
    static void create(const ConnectParams& p, int pageSize = 8192);
    // Drops the connected database (tests and the demo tool only).
    void drop();

    // The explicit transaction of this connection (the framework's StartTransaction).
    void startTransaction(Isolation isolation = Isolation::RecordVersion);
    void commit();
    void rollback();
    bool inTransaction() const;
    // The explicit transaction, else the one withTransaction runs fn in;
    // nullptr while neither is: a statement then runs in autocommit.
    Transaction* activeTransaction() const { return inTransaction() ? explicit_.get() : own_; }

    // Runs fn inside the active transaction when there is one, else in a
    // transaction of its own that is committed after fn (rolled back on
    // failure); what runs inside fn on this connection, a prepare or a key
    // provider included, goes into that transaction.
    void withTransaction(const std::function<void(Transaction&)>& fn,
                         Isolation isolation = Isolation::RecordVersion);
    // The same for a write: in a transaction of its own, a lock or update
    // conflict with another user's transaction is retried for a few seconds
    // (fn runs again in a new transaction) before it is reported.
    void withWriteTransaction(const std::function<void(Transaction&)>& fn,
                              Isolation isolation = Isolation::RecordVersion);
    // How long withWriteTransaction keeps retrying a conflict.
    static constexpr int kConflictRetryMs = 5000;

    // While a data set makes ready to write a row (its before-post handlers):
    // a key provider run then starts the transaction the write goes on in,
    // with the write's isolation; one the write did not take is rolled back
    // when the last hold is released.
    void holdForWrite(Isolation isolation);
    void releaseHold() noexcept;
    // Runs fn in the active transaction; else, under a hold, in the held one
    // (starting it); else as withTransaction.
    void withHeldTransaction(const std::function<void(Transaction&)>& fn);

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
    void attach();
    void dropLostAttachment() noexcept;
    void setLostBy(const void* thread) noexcept;
    // Runs fn in tr, which is started, as this connection's own transaction:
    // committed after fn, rolled back on failure.
    void runOwn(Transaction& tr, const std::function<void(Transaction&)>& fn);

    ConnectParams params_;
    isc_db_handle handle_ = 0;
    quint64 serial_ = 0;
    quint64 schema_ = 0;
    quint64 prepares_ = 0;
    // The thread that found the connection lost, nullptr while it is not. The
    // owning thread writes it under the registry's lock, which reconnectLost
    // holds to read it from any thread (the reminder thread's attachment is
    // in the registry too).
    const void* lostBy_ = nullptr;
    std::unique_ptr<Transaction> explicit_;
    Transaction* own_ = nullptr;   // withTransaction's own, while fn runs
    std::unique_ptr<Transaction> held_;
    int holds_ = 0;
    Isolation heldIsolation_ = Isolation::RecordVersion;
};

// A transaction: read committed, no wait; record versions unless told otherwise.
class Transaction {
public:
    explicit Transaction(Database& db, Isolation isolation = Isolation::RecordVersion)
        : db_(&db), isolation_(isolation) {}
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    ~Transaction();                      // rolls back when still active, never throws

    void start();
    void commit();
    void commitRetaining();
    void rollback();
    bool active() const { return handle_ != 0; }
    // Forgets a transaction of a lost attachment (nothing can be rolled back there).
    void abandon() noexcept;
    Database& database() const { return *db_; }
    isc_tr_handle* handle() { return &handle_; }
    Isolation isolation() const { return isolation_; }
    // For the next start() of an inactive transaction.
    void setIsolation(Isolation isolation) { isolation_ = isolation; }

private:
    Database* db_;
    Isolation isolation_;
    isc_tr_handle handle_ = 0;
};

} // namespace fw
