#include "StoredProc.h"

#include "Database.h"
#include "Statement.h"

namespace fw {

StoredProc::StoredProc(Database* db, const QString& name) : db_(db), name_(name) {}

StoredProc::~StoredProc() = default;

void StoredProc::setDatabase(Database* db)
{
    unprepare();
    db_ = db;
}

void StoredProc::setStoredProcName(const QString& name)
{
    unprepare();
    name_ = name;
}

void StoredProc::prepare()
{
    if (!db_) throw InternalError(QString("%1: no database").arg(name_));
    if (stmt_ && stmtSerial_ == db_->attachmentSerial()) return;
    stmt_.reset();
    if (name_.trimmed().isEmpty()) throw InternalError("No stored procedure name");
    stmt_ = std::make_unique<Statement>(*db_, "execute procedure " + name_);
    stmtSerial_ = db_->attachmentSerial();
    QStringList names;
    for (int i = 0; i < stmt_->columnCount(); ++i) names << stmt_->columnInfo(i).name;
    params_.reset(names);
}

void StoredProc::unprepare()
{
    stmt_.reset();
}

void StoredProc::execProc()
{
    prepare();
    // A key provider before a post: in the transaction the post then writes in.
    db_->withHeldTransaction([this](Transaction& tr) {
        stmt_->execute(tr);
        const bool row = stmt_->fetch();
        for (int i = 0; i < stmt_->columnCount() && i < params_.count(); ++i)
            params_.at(i).setValue(row ? stmt_->value(i) : Value());
    });
}

QList<Param*> StoredProc::params()
{
    prepare();
    return params_.list();
}

int StoredProc::paramCount()
{
    prepare();
    return params_.count();
}

Param& StoredProc::param(int i)
{
    prepare();
    if (i < 0 || i >= params_.count()) throw InternalError(QString("%1: parameter index out of range").arg(name_));
    return params_.at(i);
}

Param& StoredProc::paramByName(const QString& name)
{
    prepare();
    return params_.byName(name);
}

} // namespace fw
