#pragma once

#include "db/DbError.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace fw { class Transaction; }

namespace schema {

// A table whose rows other rows point to (a reference list, users,
// departments), named as the user knows it.
struct Referenced {
    const char* table;
    const char* key;
    const char* nameColumn;   // what a refusal calls the row by
    const char* title;        // "Товар"
    bool feminine;            // "указана", "её"
    const char* refusal;      // a fixed refusal instead of the counts, or nullptr
};

// One column whose values are keys of a Referenced table. The same facts give
// a new database its foreign keys and every database the check in the
// deleting transaction; a column may be counted under several names, each
// with its condition.
struct Use {
    enum OnDelete { Refuse, Cascade };
    const char* table;        // the referenced table
    const char* usingTable;
    const char* column;
    OnDelete onDelete;        // Cascade: the using rows go with the row
    const char* one;          // after "в 1" (and 21, 31...): "строке товара сделки"
    const char* many;         // after any other count: "строках товара сделок"
    const char* condition;    // the using rows counted under this name; nullptr: all
};

const QList<Referenced>& referencedTables();
const QList<Use>& uses();
// Case-insensitive; nullptr for a table nothing points to.
const Referenced* referenced(const QString& table);

// The foreign keys of a new database, one per using column; the key-0 rows
// ("-", none) are their targets for the value 0.
QStringList foreignKeyStatements();

struct UseCount {
    const Use* use;
    int count;
};

// A row still used by others: what uses it and how many, in Russian.
class InUseError : public fw::UserError {
public:
    InUseError(const Referenced& ref, const QString& name, const QList<UseCount>& counts);
    const QString& name() const { return name_; }
    const QList<UseCount>& counts() const { return counts_; }
    // "Товар «Выезд инженера» указан в 48 строках товара сделок"
    const QString& usedIn() const { return usedIn_; }

private:
    QString name_;
    QList<UseCount> counts_;
    QString usedIn_;
};

// The rows using row id of table that a delete would leave pointing at nothing
// (Refuse uses with a count above 0), read in tr.
QList<UseCount> countUses(fw::Transaction& tr, const QString& table, int id);

// Readies row id of table for its delete, in the deleting transaction tr:
// hands every using row over to row `heir` when one is given, deletes the rows
// that go with it, and throws InUseError while anything else uses it. Run it in
// a transaction of Isolation::NoRecordVersion, so that a use another user is
// adding at this moment is a conflict rather than missed.
void clearUses(fw::Transaction& tr, const QString& table, int id, std::optional<int> heir = {});

} // namespace schema
