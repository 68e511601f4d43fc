#pragma once

#include "db/Database.h"
#include "db/Statement.h"
#include "widgets/Dialogs.h"

#include <QString>
#include <functional>
#include <optional>

namespace kestrup {

// A conversion statement failed. The database is back at format 6 and detached;
// the message is the engine's, sql() the statement that failed.
class StatementError : public fw::DbError {
public:
    StatementError(const fw::DbError& cause, QString sql)
        : fw::DbError(cause.message(), cause.sqlCode(), cause.iscCode()), sql_(std::move(sql)) {}
    const QString& sql() const { return sql_; }
private:
    QString sql_;
};

class Tdm {
public:
    Tdm();
    Tdm(const Tdm&) = delete;
    Tdm& operator=(const Tdm&) = delete;
    ~Tdm();

    // The settings file that names the database, as the user gave it.
    QString FileIni;

    fw::Database db;
    fw::FileDialog odFileIni;
    fw::Transaction tr{db};
    std::optional<fw::Statement> sql1;

    void dbBeforeConnect();

    // Converts the database to format 7; step runs after each statement.
    // Refusals and failures raise, with the database detached.
    void Convert(const std::function<void()>& step);

private:
    void ExecStep(const QString& sql);
    void CheckDatabase();
    void RestoreVersion();
    void Detach() noexcept;
};

extern Tdm* dm;

} // namespace kestrup
