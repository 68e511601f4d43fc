#include "Query.h"

#include "DataSource.h"
#include "Database.h"
#include "Statement.h"
#include "UpdateSql.h"

#include <QRegularExpression>
#include <exception>

namespace fw {

namespace {

std::vector<ColumnInfo> columnsOf(const Statement& s)
{
    std::vector<ColumnInfo> cols;
    cols.reserve(size_t(s.columnCount()));
    for (int i = 0; i < s.columnCount(); ++i) cols.push_back(s.columnInfo(i));
    return cols;
}

const char* const kKeyParam = "BRONTAL_KEY";

} // namespace

Query::Query(QObject* parent) : DataSet(parent) {}

Query::Query(Database* db, QObject* parent) : DataSet(parent), db_(db) {}

Query::~Query()
{
    if (master_) master_->details_.removeAll(QPointer<Query>(this));
}

Database& Query::db() const
{
    if (!db_) throw error("No database");
    return *db_;
}

void Query::setDatabase(Database* db)
{
    if (db == db_) return;
    checkInactive();
    unprepare();
    db_ = db;
}

void Query::setSql(const QStringList& lines)
{
    close();
    explicitPrepare_ = false;
    stmt_.reset();
    sql_ = lines;
    params_.reset(parseParams(sqlText()).names);
}

void Query::setSqlText(const QString& text)
{
    setSql(text.split(QRegularExpression("\r\n|\r|\n")));
}

void Query::addSql(const QString& line)
{
    QStringList lines = sql_;
    lines << line;
    setSql(lines);
}

Statement& Query::statement()
{
    // A statement of an earlier attachment (the connection was reopened) is dead;
    // one prepared before a DDL statement may return the columns as they were.
    if (stmt_ && (stmtSerial_ != db().attachmentSerial() || stmtSchema_ != db().schemaVersion()))
        stmt_.reset();
    if (!stmt_) {
        if (sqlText().trimmed().isEmpty()) throw error("No SQL statement available");
        stmt_ = std::make_unique<Statement>(db(), sqlText());
        stmtSerial_ = db().attachmentSerial();
        stmtSchema_ = db().schemaVersion();
    }
    return *stmt_;
}

void Query::prepare()
{
    Statement& s = statement();
    explicitPrepare_ = true;
    if (!active() && s.type() == StatementType::Select) defineFields(columnsOf(s));
}

void Query::unprepare()
{
    close();
    explicitPrepare_ = false;
    stmt_.reset();
}

void Query::autoDescribe()
{
    if (!db_ || !db_->connected() || sqlText().trimmed().isEmpty()) return;
    try {
        Statement& s = statement();
        if (s.type() == StatementType::Select) defineFields(columnsOf(s));
    } catch (const Error&) {
        // An unusable statement reports itself at open.
        stmt_.reset();
    }
}

void Query::bindParams(Statement& s)
{
    for (const QString& name : s.paramNames()) {
        Param* p = params_.find(name);
        if (!p || !p->bound()) throw error(QString("No value for parameter '%1'").arg(name));
        s.setParam(name, p->value());
    }
}

void Query::takeMasterParams()
{
    if (!master_ || !master_->dataSet() || !master_->dataSet()->active()) return;
    DataSet& m = *master_->dataSet();
    for (Param* p : params_.list())
        if (Field* f = m.findField(p->name())) p->setValue(f->value());
}

void Query::fetchRows(const RowSink& sink)
{
    takeMasterParams();
    // The statement stays prepared after close (a detail reopened for its
    // master's next row only binds new parameters), unless it failed here.
    struct DropOnFailure {
        Query& q;
        int exceptions = std::uncaught_exceptions();
        ~DropOnFailure()
        {
            if (std::uncaught_exceptions() > exceptions && !q.explicitPrepare_) q.stmt_.reset();
        }
    } dropOnFailure{*this};
    // One short transaction: the caller's explicit one, or our own committed after the fetch.
    db().withTransaction([&](Transaction& tr) {
        Statement& s = statement();
        if (s.type() != StatementType::Select) throw error("The statement returns no rows");
        bindParams(s);
        s.execute(tr);
        try {
            sink.columns(columnsOf(s));
            sink.rows(s);
        } catch (...) {
            s.closeCursor();
            throw;
        }
    });
}

int Query::execSql()
{
    int n = 0;
    db().withTransaction([&](Transaction& tr) {
        Statement& s = statement();
        bindParams(s);
        s.execute(tr);
        n = s.rowsAffected();
        s.closeCursor();
    });
    if (!explicitPrepare_) stmt_.reset();
    rowsAffected_ = n;
    return n;
}

bool Query::writeRow(WriteKind kind)
{
    if (!update_) throw error("Cannot modify a read-only dataset");
    const UpdateKind k = kind == WriteKind::Modify ? UpdateKind::Modify
                       : kind == WriteKind::Insert ? UpdateKind::Insert : UpdateKind::Delete;
    // Committed at once (or inside the caller's explicit transaction); rolled back on failure.
    QList<QPair<Field*, Value>> taken;
    const bool committed = !db().inTransaction();
    // A write that failed prepares its statements anew: what refused it may be
    // a table's triggers or columns changed since, which a prepared statement
    // would keep using.
    const auto apply = [&](Transaction& tr) {
        try {
            taken = update_->apply(k, *this, tr, writeStatements_);
        } catch (...) {
            writeStatements_.clear();
            throw;
        }
    };
    if (!writeGuard_) {
        db().withWriteTransaction(apply);
    } else {
        db().withWriteTransaction(
            [&](Transaction& tr) {
                writeGuard_(k, *this, tr);
                try {
                    apply(tr);
                } catch (const DbError& e) {
                    // A row using this one was added after the check: retried like
                    // a conflict, the check names it once it is committed.
                    if (k != UpdateKind::Delete || e.kind() != DbErrorKind::ForeignKey) throw;
                    throw DbError(e.message(), e.sqlCode(), e.iscCode(), DbErrorKind::Conflict, e.engineText());
                }
            },
            Isolation::NoRecordVersion);
    }
    for (const auto& [f, v] : taken) setWrittenValue(*f, v);
    return committed;
}

void Query::beginWrite()
{
    if (!db_ || !update_) return;
    // A guarded write reads what others are writing as a conflict; so does its key's transaction.
    db_->holdForWrite(writeGuard_ ? Isolation::NoRecordVersion : Isolation::RecordVersion);
    holding_ = db_;
}

void Query::endWrite() noexcept
{
    if (Database* db = std::exchange(holding_, nullptr)) db->releaseHold();
}

std::optional<std::vector<Value>> Query::fetchRecord(const QStringList& keyNames, const QList<Value>& keyValues)
{
    auto bind = [&](Statement& s) {
        for (const QString& name : s.paramNames()) {
            if (name.startsWith(kKeyParam, Qt::CaseInsensitive)) {
                s.setParam(name, keyValues[name.mid(int(qstrlen(kKeyParam))).toInt()]);
                continue;
            }
            Param* p = params_.find(name);
            if (!p || !p->bound()) throw error(QString("No value for parameter '%1'").arg(name));
            s.setParam(name, p->value());
        }
    };
    auto readRow = [](const Statement& s) {
        std::vector<Value> row;
        row.reserve(size_t(s.columnCount()));
        for (int i = 0; i < s.columnCount(); ++i) row.push_back(s.value(i));
        return row;
    };

    // The same statement narrowed to the key, so computed columns come out as at open.
    QString where;
    for (int i = 0; i < keyNames.size(); ++i) {
        if (i > 0) where += " and ";
        where += "BRONTAL_ROW." + keyNames[i]
            + (keyValues[i].isNull() ? QString(" is null") : QString(" = :%1%2").arg(kKeyParam).arg(i));
    }
    std::unique_ptr<Statement> narrowed;
    try {
        narrowed = std::make_unique<Statement>(db(), "select * from (\n" + sqlText() + "\n) BRONTAL_ROW where " + where);
    } catch (const DbError&) {
        // Not usable as a derived table (e.g. two columns of one name): read it all and pick the row.
    }

    std::optional<std::vector<Value>> result;
    db().withTransaction([&](Transaction& tr) {
        Statement& s = narrowed ? *narrowed : statement();
        bind(s);
        s.execute(tr);
        QList<int> keyColumns;
        for (const QString& k : keyNames) keyColumns << s.columnIndex(k);
        while (s.fetch()) {
            bool match = true;
            for (int i = 0; i < keyColumns.size() && match && !narrowed; ++i)
                match = keyColumns[i] >= 0 && s.value(keyColumns[i]) == keyValues[i];
            if (match) {
                result = readRow(s);
                break;
            }
        }
        s.closeCursor();
    });
    return result;
}

void Query::setMasterSource(DataSource* master)
{
    if (master_ == master) return;
    if (master_) master_->details_.removeAll(QPointer<Query>(this));
    master_ = master;
    if (master_) master_->details_.append(QPointer<Query>(this));
}

void Query::masterRecordChanged()
{
    if (!active()) return;
    // The master normally posts its details before it moves; whatever path got
    // here without that, a pending row is written, never dropped by the reopen.
    if (state() == DataSetState::Edit || state() == DataSetState::Insert) checkBrowseMode();
    disableControls();
    try {
        close();
        open();
    } catch (...) {
        enableControls();
        throw;
    }
    enableControls();
}

void Query::masterStateChanged()
{
    if (active() && master_ && master_->dataSet() && !master_->dataSet()->active()) close();
}

} // namespace fw
