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

// Text that a file, a letter or the plug-in cannot carry in code page 1251.
class EncodingError : public Error {
public:
    EncodingError(const QString& message, char32_t codePoint) : Error(message), codePoint_(codePoint) {}
    char32_t codePoint() const { return codePoint_; }
private:
    char32_t codePoint_;
};

// A fault of the program itself, nothing the user did or can mend (a
// transaction in the wrong state, a field no statement returns): the user is
// told in Russian that something went wrong inside the program, with the
// programmer's English text below.
class InternalError : public Error {
public:
    explicit InternalError(const QString& detail)
        : Error("Внутренняя ошибка программы: действие не выполнено.\n\nПодробности: " + detail), detail_(detail) {}
    const QString& detail() const { return detail_; }
private:
    QString detail_;
};

// A row was written and committed, and what came after it failed (a detail
// reopened for it, an after-post handler): the user is told that the row is
// saved and the refresh failed, never asked to save again.
class RefreshError : public Error {
public:
    RefreshError(const QString& done, const QString& reason, bool connectionLost)
        : Error(done + "\nОбновить данные в окне не удалось: " + reason), connectionLost_(connectionLost) {}
    // The refresh failed because the connection was lost: the user may reconnect.
    bool connectionLost() const { return connectionLost_; }
private:
    bool connectionLost_;
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
    DiskFull,         // the server's disk (or its temporary space) is full
    CodePage,         // a character the code page (Windows-1251) has not, or a control character typed
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
    // What the user is shown: the message, and the engine's text below it where the
    // message leaves something to tell. A conflict, a missing parent row, a lost
    // connection or a refused character say all there is in Russian.
    QString shownText() const
    {
        const bool said = kind_ == DbErrorKind::Conflict || kind_ == DbErrorKind::ForeignKey
            || kind_ == DbErrorKind::ConnectionLost || kind_ == DbErrorKind::CodePage;
        return said || detail_.isEmpty() ? message() : message() + "\n\nПодробности: " + detail_;
    }
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
    QString name;     // the field's name, for a window that knows a better label
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

    // The row is no longer in the database (another user deleted it, or changed its key).
    static ConflictError rowGone(const QString& message)
    {
        ConflictError e(message);
        e.gone_ = true;
        return e;
    }
    bool isRowGone() const { return gone_; }

private:
    QPointer<QObject> dataSet_;
    QList<ConflictField> fields_;
    bool gone_ = false;
};

// A text holding a character that the code page (Windows-1251) has not, or a
// control character a person typed. Named by the field it was typed into when
// that is known, and by the character; never by the statement that would have
// carried it.
class CodePageError : public DbError {
public:
    // text: the value (not a statement); at: the character's position in it.
    CodePageError(const QString& text, qsizetype at, const QString& label = {}, QObject* dataSet = nullptr,
                  const QString& fieldName = {});

    const QString& text() const { return text_; }
    qsizetype position() const { return at_; }
    // "символ U+20BD «₽», которого нет в кодировке Windows-1251"
    QString character() const;
    // The field's caption, empty when not known.
    const QString& label() const { return label_; }
    // The data set and field the text was to be written into, when it was a field's value.
    QObject* dataSet() const { return dataSet_; }
    const QString& fieldName() const { return fieldName_; }
    // The same refusal named by another label.
    CodePageError relabelled(const QString& label) const
    {
        return CodePageError(text_, at_, label, dataSet_, fieldName_);
    }

    static QString describe(const QString& label, const QString& text, qsizetype at);

private:
    QString text_;
    qsizetype at_;
    QString label_;
    QPointer<QObject> dataSet_;
    QString fieldName_;
};

} // namespace fw
