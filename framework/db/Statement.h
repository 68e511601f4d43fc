#pragma once

#include "Database.h"
#include "Value.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

namespace fw {

class RowPacker;

// SQL text with ":name" parameters turned into "?" for the engine. A name may
// occur several times; nothing inside '...', "...", or comments is a parameter.
struct ParsedSql {
    QString text;               // with "?" in place of each parameter
    QStringList occurrences;    // parameter name at each "?", as written
    QStringList names;          // distinct names in order of first use
};
ParsedSql parseParams(const QString& sql);

enum class FieldKind { Integer, Double, Numeric, Text, FixedText, DateTime, TextBlob, Binary, Boolean };

struct ColumnInfo {
    QString name;         // alias as the statement gives it
    QString field;        // the underlying column, when any
    QString relation;
    FieldKind kind = FieldKind::Text;
    short sqlType = 0;    // without the nullable bit
    short scale = 0;
    short subType = 0;
    int byteLength = 0;
    int charLength = 0;   // characters for text columns
    bool nullable = true;
    bool cp1251 = false;  // a text in code page 1251, fetched as the bytes its column holds
};

enum class StatementType { Select, Insert, Update, Delete, Ddl, ExecProcedure, Other };

// A prepared dialect-1 statement. Move-only; frees its handle on destruction.
class Statement {
public:
    Statement(Database& db, const QString& sql);
    // Parameters are the text's "?" alone, set by position; ":name" stays the
    // engine's own (the variables of an execute block).
    struct Positional {};
    Statement(Database& db, const QString& sql, Positional);
    Statement(Statement&&) noexcept;
    Statement& operator=(Statement&&) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement();

    StatementType type() const { return type_; }
    const QStringList& paramNames() const { return parsed_.names; }
    bool hasParam(const QString& name) const;
    // Sets every occurrence of the name (case-insensitive); unknown names are ignored.
    void setParam(const QString& name, const Value& v);
    void setParam(int occurrence, const Value& v);
    void clearParams();

    // Runs the statement in tr; a select opens its cursor, an executed
    // procedure makes its output row current.
    void execute(Transaction& tr);
    // Convenience: runs in the connection's explicit transaction or in autocommit.
    void execute();
    bool fetch();            // false at the end of the cursor
    void closeCursor();
    int rowsAffected();

    int columnCount() const { return int(columns_.size()); }
    const ColumnInfo& columnInfo(int i) const { return columns_[size_t(i)]; }
    int columnIndex(const QString& name) const;   // -1 when absent
    Value value(int i) const;
    Value value(const QString& name) const;
    // Appends every column of the current row to a packed row.
    void pack(RowPacker& packer) const;

private:
    // How a column's fetched bytes become a value, chosen once when described.
    enum class Decode : uint8_t;
    struct OutColumn {
        const char* data;
        const short* null;    // below 0 for NULL
        Decode how;
        short scale;
        int length;           // bytes of a CHAR
    };
    static Decode decodeOf(const ColumnInfo& c);
    // Hands the column's value to out (a RowPacker, or a Value maker).
    template <class Out>
    void decode(const OutColumn& c, Out& out) const;
    Statement(Database& db, ParsedSql parsed);
    void free() noexcept;
    void describe();
    void bindInputs(Transaction& tr);
    [[noreturn]] void failExecute(const ISC_STATUS* status);
    // The bytes of a text parameter and the character set they are in.
    QByteArray paramText(int i, const QString& text, short& charset) const;
    QByteArray blobText(int i, const QString& text) const;

    Database* db_ = nullptr;
    quint64 serial_ = 0;              // the attachment the handle belongs to
    isc_stmt_handle handle_ = 0;
    ParsedSql parsed_;
    StatementType type_ = StatementType::Other;
    XSQLDA* in_ = nullptr;
    XSQLDA* out_ = nullptr;
    std::vector<Value> params_;           // per occurrence
    std::vector<short> inCharsets_;       // each parameter's character set as described
    std::vector<QByteArray> inBuffers_;
    std::vector<short> inNulls_;
    std::vector<QByteArray> outBuffers_;
    std::vector<short> outNulls_;
    std::vector<ColumnInfo> columns_;
    std::vector<OutColumn> decoders_;     // per column, aimed at outBuffers_ and outNulls_
    // The transaction of the open cursor or pending procedure row, for reading
    // its blobs: the engine's handle, so that a transaction ended meanwhile is
    // an error of the engine's rather than a dangling pointer.
    isc_tr_handle cursorTr_ = 0;
    bool cursorOpen_ = false;
    bool procRowPending_ = false;
};

// Statements prepared once and run again, by their text: all are dropped
// when the connection was made again or DDL ran since they were prepared.
// Its Database must outlive it.
class StatementCache {
public:
    Statement& get(Database& db, const QString& sql);
    void clear();

private:
    Database* db_ = nullptr;
    quint64 serial_ = 0;
    quint64 schema_ = 0;
    QHash<QString, std::shared_ptr<Statement>> statements_;
};

} // namespace fw
