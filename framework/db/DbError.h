#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <stdexcept>

namespace fw {

// Base of every error that carries a message meant for the user.
class Error : public std::runtime_error {
public:
    explicit Error(const QString& message)
        : std::runtime_error(message.toStdString()), message_(message) {}
    const QString& message() const { return message_; }
private:
    QString message_;
};

// A refusal the system raises itself (a rights check, a validation).
class UserError : public Error {
public:
    using Error::Error;
};

// A value that cannot be converted to the requested type.
class ConvertError : public Error {
public:
    using Error::Error;
};

// Cancels the current operation silently: handlers throw it and nobody shows it.
class Abort : public std::exception {
public:
    const char* what() const noexcept override { return "Operation aborted"; }
};

// What a user can do about an engine error; the kinds a user can meet get a
// Russian message of their own.
enum class DbErrorKind {
    Other,
    Conflict,         // a lock or update conflict with another user's transaction
    ForeignKey,       // the parent row is missing or its children still exist
    ConnectionLost,   // the server went away: reconnect
    CannotOpen,       // the database file cannot be opened or found
    Protocol,         // a wrong protocol or server name in the path
};

// An error reported by the database engine: a message for the user, the
// engine's own text (detail), the SQL code and the first ISC status code.
class DbError : public Error {
public:
    DbError(const QString& message, int sqlCode, long iscCode, DbErrorKind kind = DbErrorKind::Other,
            const QString& detail = {})
        : Error(message), sqlCode_(sqlCode), iscCode_(iscCode), kind_(kind), detail_(detail) {}
    int sqlCode() const { return sqlCode_; }
    long iscCode() const { return iscCode_; }
    DbErrorKind kind() const { return kind_; }
    // The engine's text; empty when message() is that text already.
    const QString& detail() const { return detail_; }
    const QString& engineText() const { return detail_.isEmpty() ? message() : detail_; }
private:
    int sqlCode_;
    long iscCode_;
    DbErrorKind kind_;
    QString detail_;
};

// One column two users changed: named as the user knows it, with what this
// user typed and what the other stored.
struct ConflictField {
    QString label;
    QString typed;
    QString stored;
};

// A modify that would overwrite another user's committed change to a column
// this user changed too, or a row another user deleted. The edit stays; the
// user cancels or re-reads the row to see what is stored now.
class ConflictError : public UserError {
public:
    using UserError::UserError;
    ConflictError(QObject* dataSet, QList<ConflictField> fields)
        : UserError(describe(fields)), dataSet_(dataSet), fields_(std::move(fields)) {}

    // The data set whose row was refused (nullptr once it is gone, and for a deleted row).
    QObject* dataSet() const { return dataSet_; }
    const QList<ConflictField>& fields() const { return fields_; }
    // The message of such a conflict.
    static QString describe(const QList<ConflictField>& fields);

private:
    QPointer<QObject> dataSet_;
    QList<ConflictField> fields_;
};

} // namespace fw
