#pragma once

#include "Value.h"

#include <QList>
#include <QPair>
#include <QStringList>

namespace fw {

class DataSet;
class Field;
class Statement;
class StatementCache;
class Transaction;

enum class UpdateKind { Modify, Insert, Delete };

// The modify, insert and delete statements of an editable query. In each,
// ":NAME" is the field's new value and ":OLD_NAME" the field's value as read.
class UpdateSql {
public:
    UpdateSql() = default;
    UpdateSql(const QStringList& modify, const QStringList& insert, const QStringList& del)
        : sql_{modify, insert, del} {}

    const QStringList& sql(UpdateKind k) const { return sql_[int(k)]; }
    void setSql(UpdateKind k, const QStringList& lines) { sql_[int(k)] = lines; }

    const QStringList& modifySql() const { return sql(UpdateKind::Modify); }
    const QStringList& insertSql() const { return sql(UpdateKind::Insert); }
    const QStringList& deleteSql() const { return sql(UpdateKind::Delete); }
    void setModifySql(const QStringList& l) { setSql(UpdateKind::Modify, l); }
    void setInsertSql(const QStringList& l) { setSql(UpdateKind::Insert, l); }
    void setDeleteSql(const QStringList& l) { setSql(UpdateKind::Delete, l); }

    // Runs the statement of that kind for the data set's active row in tr,
    // prepared once in the cache (the data set's, as long as the connection lives).
    // Throws when the statement is empty or touches no row.
    //
    // Before a modify, the row is read under a lock by the old values of the
    // fields its :OLD_ parameters name, and each column its other parameters
    // write compared with its value as read: a column another user changed and
    // this user did not is written back as stored (and returned, so the data
    // set shows it); a column both changed differently throws ConflictError
    // and writes nothing.
    QList<QPair<Field*, Value>> apply(UpdateKind kind, DataSet& ds, Transaction& tr, StatementCache& cache) const;

private:
    // rowLocked: the modify will find the row the check read and locked.
    static QList<QPair<Field*, Value>> checkModify(Statement& modify, const QString& text, DataSet& ds,
                                                   Transaction& tr, StatementCache& cache, bool& rowLocked);

    QStringList sql_[3];
};

} // namespace fw
