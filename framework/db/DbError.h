#pragma once

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

// An error reported by the database engine: its interpreted text, SQL code and
// the first ISC status code.
class DbError : public Error {
public:
    DbError(const QString& message, int sqlCode, long iscCode)
        : Error(message), sqlCode_(sqlCode), iscCode_(iscCode) {}
    int sqlCode() const { return sqlCode_; }
    long iscCode() const { return iscCode_; }
private:
    int sqlCode_;
    long iscCode_;
};

} // namespace fw
