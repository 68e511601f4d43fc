#include "UpdateSql.h"

#include "DataSet.h"
#include "Query.h"
#include "Statement.h"

#include <QRegularExpression>
#include <QSet>
#include <algorithm>

namespace fw {

namespace {

// An empty text and NULL are one value to a user.
bool sameValue(const Field& f, const Value& a, const Value& b)
{
    if (f.type() == FieldType::String || f.type() == FieldType::Memo) return a.asString() == b.asString();
    return a == b;
}

// A value as the user sees it: through the lookup that shows the key, if any.
QString valueText(const DataSet& ds, const Field& f, const Value& v)
{
    if (v.isNull()) return {};
    for (const Field* lookup : ds.fields()) {
        if (lookup->kind() != Field::Kind::Lookup || !lookup->lookupDataSet()
            || lookup->keyFields().compare(f.fieldName(), Qt::CaseInsensitive) != 0)
            continue;
        try {
            const Value shown = lookup->lookupDataSet()->lookup(lookup->lookupKeyFields(), v, lookup->lookupResultField());
            if (!shown.isNull()) return shown.asString();
        } catch (const Error&) {
            // the list cannot say: the value itself
        }
    }
    return f.displayTextOf(v);
}

const char* const kRowDeleted = "Запись удалена другим пользователем.\n"
                                "Отмените изменения: запись будет убрана из списка.";

// Whether the modify finds its row by exactly the columns the check read it
// by ("update T set ... where A = :OLD_A and B = :OLD_B"), none of them NULL:
// the row is locked by this transaction then, so the update writes it.
bool findsLockedRow(const QString& modify, const QString& table, const QList<Field*>& keys)
{
    static const QRegularExpression head("^\\s*update\\s+([A-Za-z_$][\\w$]*)\\s",
                                         QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression where("\\swhere\\s", QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression andWord("\\s+and\\s+", QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression term("^\\s*([A-Za-z_$][\\w$]*)\\s*=\\s*:OLD_([\\w$]+)\\s*$",
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch h = head.match(modify);
    if (!h.hasMatch() || h.captured(1).compare(table, Qt::CaseInsensitive) != 0) return false;
    qsizetype from = -1;
    for (QRegularExpressionMatchIterator it = where.globalMatch(modify); it.hasNext();) {
        if (from >= 0) return false;   // a subquery: the engine's count decides
        from = it.next().capturedEnd();
    }
    if (from < 0) return false;
    const QStringList terms = modify.mid(from).split(andWord);
    if (terms.size() != keys.size()) return false;
    QSet<const Field*> matched;
    for (const QString& t : terms) {
        const QRegularExpressionMatch m = term.match(t);
        if (!m.hasMatch()) return false;
        const auto k = std::find_if(keys.begin(), keys.end(), [&](const Field* k) {
            return !k->oldValue().isNull() && k->originColumn().compare(m.captured(1), Qt::CaseInsensitive) == 0
                && k->fieldName().compare(m.captured(2), Qt::CaseInsensitive) == 0;
        });
        if (k == keys.end()) return false;
        matched.insert(*k);
    }
    return matched.size() == keys.size();
}

// "insert into T (...) values (...)": one row, or an error.
bool insertsOneRow(const QString& insert)
{
    static const QRegularExpression plain(
        "^\\s*insert\\s+into\\s+[A-Za-z_$][\\w$]*\\s*\\([^()]*\\)\\s*values\\s*\\([^()]*\\)\\s*$",
        QRegularExpression::CaseInsensitiveOption);
    return plain.match(insert).hasMatch();
}

void bindRow(Statement& s, UpdateKind kind, const DataSet& ds)
{
    for (const QString& name : s.paramNames()) {
        // A name that is no field binds NULL, as the update objects always did.
        const bool old = name.startsWith("OLD_", Qt::CaseInsensitive);
        Field* f = ds.findField(old ? name.mid(4) : name);
        Value v;
        if (f) v = (old || kind == UpdateKind::Delete) ? f->oldValue() : f->value();
        s.setParam(name, v);
    }
}

} // namespace

QList<QPair<Field*, Value>> UpdateSql::checkModify(Statement& modify, const QString& text, DataSet& ds,
                                                   Transaction& tr, StatementCache& cache, bool& rowLocked)
{
    rowLocked = false;
    // The statement's parameters name fields, and a field knows the table and
    // column it was read from: the row is the one whose columns hold the old
    // values the statement looks for (its :OLD_ parameters), the columns
    // checked are those its other parameters write, however it is worded.
    QList<Field*> keys, written;
    for (const QString& name : modify.paramNames()) {
        const bool old = name.startsWith("OLD_", Qt::CaseInsensitive);
        Field* f = ds.findField(old ? name.mid(4) : name);
        if (f && f->kind() == Field::Kind::Data && !f->originColumn().isEmpty()) (old ? keys : written) << f;
    }
    if (keys.isEmpty()) return {};
    const QString table = keys.first()->originTable();
    QStringList where;
    for (const Field* k : keys) {
        if (k->originTable() != table) return {};
        where << k->originColumn() + (k->oldValue().isNull() ? " is null" : " = :OLD_" + k->fieldName());
    }
    written.removeIf([&](const Field* f) { return f->originTable() != table; });
    if (written.isEmpty()) return {};
    QStringList columns;
    for (const Field* f : written) columns << f->originColumn();
    // Locks the row until this transaction ends, so nobody changes it between
    // the comparison and the write.
    Statement& read = cache.get(
        tr.database(), "select " + columns.join(", ") + " from " + table + " where " + where.join(" and ") + " with lock");
    bindRow(read, UpdateKind::Modify, ds);
    read.execute(tr);
    if (!read.fetch()) {
        read.closeCursor();
        throw ConflictError::rowGone(kRowDeleted);
    }
    QList<ConflictField> conflicts;
    QList<QPair<Field*, Value>> taken;
    for (int i = 0; i < written.size(); ++i) {
        Field* f = written[i];
        Value stored = read.value(i);
        try {
            stored = f->convert(stored);
        } catch (const ConvertError&) {
            continue;
        }
        const Value asRead = f->oldValue();
        if (sameValue(*f, stored, asRead)) continue;
        const Value typed = f->value();
        if (sameValue(*f, typed, stored)) continue;
        if (sameValue(*f, typed, asRead)) {
            // Another user's change to a column this user left alone is kept.
            modify.setParam(f->fieldName(), stored);
            taken.append({f, stored});
        } else {
            conflicts.append({f->displayLabel(), valueText(ds, *f, typed), valueText(ds, *f, stored), f->fieldName()});
        }
    }
    read.closeCursor();
    if (!conflicts.isEmpty()) throw ConflictError(&ds, conflicts);
    rowLocked = findsLockedRow(text, table, keys);
    return taken;
}

QString ConflictError::describe(const QList<ConflictField>& fields)
{
    QStringList labels, lines;
    const auto quoted = [](const QString& v) { return v.isEmpty() ? QString("(пусто)") : "«" + v + "»"; };
    for (const ConflictField& f : fields) {
        labels << f.label;
        lines << QString("%1: вы ввели %2, сохранено %3.").arg(f.label, quoted(f.typed), quoted(f.stored));
    }
    return QString("Другой пользователь уже изменил эту запись (%1).\n%2\n"
                   "Ваши изменения не сохранены и остаются в окне.")
        .arg(labels.join(", "), lines.join('\n'));
}

QList<QPair<Field*, Value>> UpdateSql::apply(UpdateKind kind, DataSet& ds, Transaction& tr,
                                             StatementCache& cache) const
{
    const QString text = sql(kind).join('\n').trimmed();
    const char* what = kind == UpdateKind::Modify ? "modify" : kind == UpdateKind::Insert ? "insert" : "delete";
    if (text.isEmpty())
        throw InternalError(QString("%1: no %2 statement in the update object").arg(ds.objectName(), what));
    Statement& s = cache.get(tr.database(), text);
    bindRow(s, kind, ds);
    QList<QPair<Field*, Value>> taken;
    bool rowLocked = false;
    if (kind == UpdateKind::Modify) taken = checkModify(s, text, ds, tr, cache, rowLocked);
    s.execute(tr);
    // Zero rows means the row is gone or its key changed: report it, never pretend it was saved.
    // Counting costs a visit to the server, so it is asked only when the write cannot tell.
    const bool certain = kind == UpdateKind::Insert ? insertsOneRow(text) : rowLocked;
    if (!certain && s.rowsAffected() == 0) {
        if (kind == UpdateKind::Insert)
            throw InternalError(QString("%1: the row was not inserted").arg(ds.objectName()));
        throw ConflictError::rowGone("Запись удалена или изменена другим пользователем.\n"
                                     "Отмените изменения: запись будет убрана из списка.");
    }
    return taken;
}

} // namespace fw
