#pragma once

#include "core/SharedProcs.h"
#include "db/DbError.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace fw {
class Database;
class DBGrid;
class Statement;
class TsvReader;
class Value;
} // namespace fw

// One distinct value of a file column and the reference value it is linked to.
struct TImportValue {
    QString Value;
    int SysIndex = -1;   // index into the field's system values, -1 when not linked
};

// The distinct values of a file column: sorted, and a value that differs from
// one already held only in letter case is the same value.
class TImportValues {
public:
    void Add(const QString& value);
    int IndexOf(const QString& value) const;   // -1 when absent
    int Count() const { return int(items_.size()); }
    TImportValue& operator[](int i) { return items_[i]; }
    const TImportValue& operator[](int i) const { return items_[i]; }
    void Clear() { items_.clear(); }

private:
    int LowerBound(const QString& value) const;
    QList<TImportValue> items_;
};

// One field of the system that a file column can be imported into.
struct TImportField {
    QString FieldName;       // the column; the key column for a reference field
    quint8 DataType = 0;     // 1 text, 3 integer, 11 date and time; anything else gets no value
    int Size = 0;            // longest text; 0: no limit
    QString Caption;
    int FileIndex = -1;      // linked header column, -1 when not linked
    QString FileField;
    int SpravIndex = -1;     // item of the reference choice on the values page
    TImportValues FileValues;
    QStringList SysNames;    // the reference's names with their keys
    QList<int> SysKeys;
    bool IsContact = false;
    bool IsLookup = false;

    bool Linked() const { return FileIndex >= 0; }
};
using TImportFields = QList<TImportField>;

enum : quint8 { idtText = 1, idtInteger = 3, idtDateTime = 11 };

// The grid fields that are references: grid field (exact), the SQL of the
// reference values (key, name), the key column.
struct TLookupRow {
    QString GridField;
    QString Sql;
    QString KeyField;
};
const QList<TLookupRow>& LookupTable();
int FindLookupField(const QString& gridField);   // -1 when the field is no reference

// The fields of the two grids, in column order: the client grid's (without the
// payment flags) and the contact grid's as the template of one contact block.
void BuildSystemFields(const fw::DBGrid& dbgCust, const fw::DBGrid& dbgContacts, TImportFields& fields,
                       TImportFields& contactTemplate);
// Unlinks every client field and appends count numbered copies of the template.
void AddContactFields(TImportFields& fields, const TImportFields& contactTemplate, int count);
void RemoveContactFields(TImportFields& fields);

// Runs of double quotes become one quote; cut to size characters (0: no cut),
// never inside a character.
QString PrepareStringValue(const QString& value, int size);

// The value-count error of one line; the header is line 1.
void CheckValueCount(int headerCount, int valueCount, int lineNumber);

// A date cell as the export writes it ("dd.mm.yyyy", maybe with a time); an
// empty cell is today. Throws, naming the value and the line, when unreadable.
QDateTime ImportDateValue(const QString& value, int lineNumber);

// Checks one data line before anything is inserted: its value count and every
// linked date cell.
void CheckImportLine(const TImportFields& fields, int headerCount, const QStringList& values, int lineNumber);

// The file columns of the contact blocks beyond the count a line can take:
// header names of "k" followed by a contact field's title, k > count, that no
// field is linked to; one list of columns for each such block.
QList<QList<int>> ExtraContactColumns(const QStringList& header, const TImportFields& fields,
                                      const TImportFields& contactTemplate, int count);

// What the linked date columns are, so that a check can be known to still hold.
QList<int> LinkedDateColumns(const TImportFields& fields);

// A line that could not be imported: the lines before it are in the database.
class TImportLineError : public fw::UserError {
public:
    TImportLineError(int imported, int lineNumber, const QString& reason);
    int Imported() const { return imported_; }
    int LineNumber() const { return line_; }

private:
    int imported_;
    int line_;
};

// Inserts the clients of a file with their contact blocks: each line, its
// client and its contacts, in one transaction, so a line is imported whole or
// not at all. A line is one statement, prepared once for the whole file: an
// execute block that takes the keys from ID_CUST and ID_CONTACTS and runs the
// client's insert and each filled contact block's, so that a line costs three
// turns to a server (start, the block, commit) instead of two per row.
class TClientImport {
public:
    TClientImport(fw::Database& db, const TImportFields& fields, const TImportFields& contactTemplate,
                  int contactCount, int idUser);
    ~TClientImport();
    TClientImport(const TClientImport&) = delete;
    TClientImport& operator=(const TClientImport&) = delete;

    QStringList ClientSql() const;
    QStringList ContactSql() const;
    // The execute block a line is written with.
    QStringList LineSql() const;

    // Reads the file from its first data line; after each line imported,
    // progress(count) is called, and returning false stops the import there.
    // Returns the number of lines imported; throws TImportLineError, and
    // FileError for a file without data lines.
    int Run(fw::TsvReader& file, const std::function<bool(int count)>& progress = {});
    // Contact blocks of the imported lines that the contact count left out.
    int LeftOutContacts() const { return leftOut_; }
    // The texts of the imported lines cut to their field's length.
    const TCutValues& CutValues() const { return cut_; }

    void ImportLine(const QStringList& values, int lineNumber);

    // The workstation's date for empty and unlinked dates (tests fix it).
    std::function<QDate()> Today;

private:
    // Fields first..last-1 into the line's parameters from position at on.
    void SetParams(int at, int first, int last, bool contact, const QStringList& values, int lineNumber);
    fw::Value DefaultLookupValue(const QString& name) const;
    int BlockSize() const { return int(template_.size()); }

    fw::Database& db_;
    const TImportFields& fields_;
    TImportFields template_;
    int contactCount_;
    int idUser_;
    int clientFieldCount_ = 0;
    int headerCount_ = -1;
    int leftOut_ = 0;
    TCutValues cut_;
    TCutValues lineCut_;    // the line being written: counted once it is in
    std::unique_ptr<fw::Statement> line_;
};
