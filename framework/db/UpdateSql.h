#pragma once

#include <QStringList>

namespace fw {

class DataSet;
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

    // Runs the statement of that kind for the data set's active row in tr.
    // Throws when the statement is empty or touches no row.
    void apply(UpdateKind kind, DataSet& ds, Transaction& tr) const;

private:
    QStringList sql_[3];
};

} // namespace fw
