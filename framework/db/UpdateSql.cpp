#include "UpdateSql.h"

#include "DataSet.h"
#include "Query.h"
#include "Statement.h"

namespace fw {

void UpdateSql::apply(UpdateKind kind, DataSet& ds, Transaction& tr) const
{
    const QString text = sql(kind).join('\n').trimmed();
    const char* what = kind == UpdateKind::Modify ? "modify" : kind == UpdateKind::Insert ? "insert" : "delete";
    if (text.isEmpty())
        throw Error(QString("%1: no %2 statement in the update object").arg(ds.objectName(), what));
    Statement s(tr.database(), text);
    for (const QString& name : s.paramNames()) {
        // A name that is no field binds NULL, as the update objects always did.
        const bool old = name.startsWith("OLD_", Qt::CaseInsensitive);
        Field* f = ds.findField(old ? name.mid(4) : name);
        Value v;
        if (f) v = (old || kind == UpdateKind::Delete) ? f->oldValue() : f->value();
        s.setParam(name, v);
    }
    s.execute(tr);
    // Zero rows means the row is gone or its key changed: report it, never pretend it was saved.
    if (s.rowsAffected() == 0)
        throw Error(QString("%1: record not found or changed by another user (%2)").arg(ds.objectName(), what));
}

} // namespace fw
