#include "Database.h"

#include "Statement.h"

#include <QFile>

namespace fw {

namespace {

// Database parameter block for attach and create.
QByteArray makeDpb(const ConnectParams& p, int pageSize)
{
    QByteArray dpb;
    dpb.append(char(isc_dpb_version1));
    auto add = [&dpb](char tag, const QByteArray& v) {
        dpb.append(tag);
        dpb.append(char(v.size()));
        dpb.append(v);
    };
    auto addInt = [&dpb](char tag, int v) {
        dpb.append(tag);
        dpb.append(char(4));
        for (int i = 0; i < 4; ++i) dpb.append(char((v >> (8 * i)) & 0xFF));
    };
    if (!p.user.isEmpty()) add(char(isc_dpb_user_name), p.user.toUtf8());
    if (!p.password.isEmpty()) add(char(isc_dpb_password), p.password.toUtf8());
    add(char(isc_dpb_lc_ctype), p.charset.toUtf8());
    addInt(char(isc_dpb_sql_dialect), 1);
    if (p.forcedWrites) addInt(char(isc_dpb_force_write), *p.forcedWrites ? 1 : 0);
    if (pageSize > 0) {
        addInt(char(isc_dpb_page_size), pageSize);
        add(char(isc_dpb_set_db_charset), "WIN1251");
    }
    return dpb;
}

} // namespace

DbError errorFromStatus(const ISC_STATUS* status)
{
    const ISC_LONG sqlCode = isc_sqlcode(status);
    const long isc = status[1];
    QStringList lines;
    char buf[1024];
    const ISC_STATUS* p = status;
    while (fb_interpret(buf, sizeof buf, &p) > 0) {
        QString line = QString::fromUtf8(buf);
        if (line.contains(QChar::ReplacementCharacter))
            line = QString::fromLocal8Bit(buf);
        lines << line;
    }
    if (lines.isEmpty()) lines << QString("Database error %1").arg(isc);
    return DbError(lines.join('\n'), int(sqlCode), isc);
}

void checkStatus(const ISC_STATUS* status)
{
    if (status[0] == 1 && status[1] != 0)
        throw errorFromStatus(status);
}

Database::~Database()
{
    try {
        disconnect();
    } catch (...) {
    }
}

void Database::connect()
{
    if (connected()) return;
    if (beforeConnect) beforeConnect(*this);
    ISC_STATUS_ARRAY st;
    const QByteArray dpb = makeDpb(params_, 0);
    const QByteArray path = QFile::encodeName(params_.path);
    if (isc_attach_database(st, short(path.size()), path.constData(), &handle_,
                            short(dpb.size()), dpb.constData())) {
        handle_ = 0;
        throw errorFromStatus(st);
    }
    ++serial_;
    if (afterConnect) afterConnect(*this);
}

void Database::disconnect()
{
    if (!connected()) return;
    if (beforeDisconnect) beforeDisconnect(*this);
    if (explicit_ && explicit_->active()) explicit_->rollback();
    explicit_.reset();
    ISC_STATUS_ARRAY st;
    if (isc_detach_database(st, &handle_)) {
        // The attachment is gone for us either way; report why.
        handle_ = 0;
        throw errorFromStatus(st);
    }
    handle_ = 0;
}

void Database::create(const ConnectParams& p, int pageSize)
{
    ISC_STATUS_ARRAY st;
    isc_db_handle h = 0;
    const QByteArray dpb = makeDpb(p, pageSize);
    const QByteArray path = QFile::encodeName(p.path);
    if (isc_create_database(st, short(path.size()), path.constData(), &h, short(dpb.size()),
                            dpb.constData(), 0))
        throw errorFromStatus(st);
    isc_detach_database(st, &h);
}

void Database::drop()
{
    if (!connected()) return;
    explicit_.reset();
    ISC_STATUS_ARRAY st;
    if (isc_drop_database(st, &handle_)) throw errorFromStatus(st);
    handle_ = 0;
}

void Database::startTransaction()
{
    if (!explicit_) explicit_ = std::make_unique<Transaction>(*this);
    if (explicit_->active())
        throw Error("Transaction already active");
    explicit_->start();
}

void Database::commit()
{
    if (!inTransaction()) throw Error("No transaction active");
    explicit_->commit();
}

void Database::rollback()
{
    if (!inTransaction()) throw Error("No transaction active");
    explicit_->rollback();
}

bool Database::inTransaction() const
{
    return explicit_ && explicit_->active();
}

void Database::withTransaction(const std::function<void(Transaction&)>& fn)
{
    if (Transaction* tr = activeTransaction()) {
        fn(*tr);
        return;
    }
    Transaction tr(*this);
    tr.start();
    try {
        fn(tr);
        tr.commit();
    } catch (...) {
        try { tr.rollback(); } catch (...) {}
        throw;
    }
}

int Database::execute(const QString& sql, const QList<QPair<QString, Value>>& params)
{
    int rows = 0;
    withTransaction([&](Transaction& tr) {
        Statement s(*this, sql);
        for (const auto& [name, v] : params) s.setParam(name, v);
        s.execute(tr);
        rows = s.rowsAffected();
    });
    return rows;
}

Value Database::selectValue(const QString& sql, const QList<QPair<QString, Value>>& params)
{
    Value result;
    withTransaction([&](Transaction& tr) {
        Statement s(*this, sql);
        for (const auto& [name, v] : params) s.setParam(name, v);
        s.execute(tr);
        if (s.fetch() && s.columnCount() > 0) result = s.value(0);
        s.closeCursor();
    });
    return result;
}

Value Database::executeProcedure(const QString& name)
{
    Value result;
    withTransaction([&](Transaction& tr) {
        Statement s(*this, "execute procedure " + name);
        s.execute(tr);
        if (s.fetch() && s.columnCount() > 0) result = s.value(0);
    });
    return result;
}

QStringList Database::attachedUserNames()
{
    if (!connected()) throw Error("Database not connected");
    const char items[] = {isc_info_user_names, isc_info_end};
    for (int size = 4096; size <= (1 << 22); size *= 4) {
        QByteArray buf(size, '\0');
        ISC_STATUS_ARRAY st;
        if (isc_database_info(st, &handle_, short(sizeof items), items, short(std::min(size, 32767)),
                              buf.data()))
            throw errorFromStatus(st);
        QStringList names;
        bool truncated = false;
        const auto* p = reinterpret_cast<const unsigned char*>(buf.constData());
        const auto* end = p + std::min(size, 32767);
        while (p < end && *p != isc_info_end) {
            const unsigned char item = *p++;
            if (item == isc_info_truncated) { truncated = true; break; }
            if (p + 2 > end) { truncated = true; break; }
            const int len = int(isc_vax_integer(reinterpret_cast<const char*>(p), 2));
            p += 2;
            if (p + len > end) { truncated = true; break; }
            if (item == isc_info_user_names && len > 0) {
                const int nameLen = p[0];
                names << QString::fromUtf8(reinterpret_cast<const char*>(p + 1),
                                           std::min(nameLen, len - 1));
            } else if (item == isc_info_error) {
                throw Error("isc_database_info: the engine refused isc_info_user_names");
            }
            p += len;
        }
        if (!truncated) return names;
        if (size >= 32767) break;
    }
    throw Error("isc_database_info: the list of attached users does not fit the buffer");
}

namespace {
const char kTpb[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_read_committed,
                     isc_tpb_rec_version, isc_tpb_nowait};
}

Transaction::~Transaction()
{
    if (active()) {
        ISC_STATUS_ARRAY st;
        isc_rollback_transaction(st, &handle_);
        handle_ = 0;
    }
}

void Transaction::start()
{
    if (active()) throw Error("Transaction already active");
    ISC_STATUS_ARRAY st;
    if (isc_start_transaction(st, &handle_, 1, db_->handle(), short(sizeof kTpb), kTpb)) {
        handle_ = 0;
        throw errorFromStatus(st);
    }
}

void Transaction::commit()
{
    ISC_STATUS_ARRAY st;
    if (isc_commit_transaction(st, &handle_)) throw errorFromStatus(st);
    handle_ = 0;
}

void Transaction::commitRetaining()
{
    ISC_STATUS_ARRAY st;
    if (isc_commit_retaining(st, &handle_)) throw errorFromStatus(st);
}

void Transaction::rollback()
{
    ISC_STATUS_ARRAY st;
    if (isc_rollback_transaction(st, &handle_)) {
        handle_ = 0;
        throw errorFromStatus(st);
    }
    handle_ = 0;
}

} // namespace fw
