#include "Database.h"

#include "CodePage.h"
#include "Statement.h"

#include <QFile>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QThread>

#include <algorithm>
#include <mutex>
#include <set>

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
    add(char(isc_dpb_lc_ctype), "NONE");
    addInt(char(isc_dpb_sql_dialect), 1);
    if (p.forcedWrites) addInt(char(isc_dpb_force_write), *p.forcedWrites ? 1 : 0);
    if (pageSize > 0) {
        addInt(char(isc_dpb_page_size), pageSize);
        add(char(isc_dpb_set_db_charset), "WIN1251");
        if (p.pageBuffers) addInt(char(isc_dpb_set_page_buffers), *p.pageBuffers);
    }
    return dpb;
}

} // namespace

bool isEmbeddedPath(const QString& path)
{
    return !path.isEmpty() && !path.contains(':') && !path.contains('@') && !path.startsWith("\\\\");
}

QByteArray encodeSql(const QString& text)
{
    QByteArray out;
    qsizetype bad = 0;
    if (cp1251::encode(text, out, &bad)) return out;
    throw outsideCodePageInSql(text, bad);
}

CodePageError outsideCodePage(const QString& text, qsizetype at)
{
    return CodePageError(text, at);
}

CodePageError outsideCodePageInSql(const QString& sql, qsizetype at)
{
    // The quoted value (dialect 1: "..." or '...', the quote doubled inside) that holds the character.
    for (qsizetype i = 0; i < sql.size() && i < at; ++i) {
        const QChar quote = sql.at(i);
        if (quote != '"' && quote != '\'') continue;
        QString value;
        qsizetype inValue = -1;
        qsizetype j = i + 1;
        for (; j < sql.size(); ++j) {
            if (sql.at(j) == quote) {
                if (j + 1 >= sql.size() || sql.at(j + 1) != quote) break;
                ++j;
            }
            if (j == at) inValue = value.size();
            value += sql.at(j);
        }
        if (inValue >= 0) return CodePageError(value, inValue);
        i = j;
    }
    // Not inside a value: only the character can be named.
    return CodePageError(sql.mid(at, sql.at(at).isHighSurrogate() ? 2 : 1), 0);
}

void checkCodePage(const QString& text, const QString& label)
{
    if (const qsizetype at = cp1251::refusedAt(text); at >= 0) throw CodePageError(text, at, label);
}

CodePageError::CodePageError(const QString& text, qsizetype at, const QString& label, QObject* dataSet,
                             const QString& fieldName)
    : DbError(describe(label, text, at), -802, isc_transliteration_failed, DbErrorKind::CodePage), text_(text),
      at_(at), label_(label), dataSet_(dataSet), fieldName_(fieldName)
{
}

QString CodePageError::character() const
{
    return at_ >= 0 && at_ < text_.size() ? cp1251::describe(cp1251::codePointAt(text_, at_)) : QString();
}

QString CodePageError::describe(const QString& label, const QString& text, qsizetype at)
{
    const QString character =
        at >= 0 && at < text.size() ? cp1251::describe(cp1251::codePointAt(text, at)) : QString("символ");
    QString s = label.isEmpty() ? QString("В тексте") : QString("В поле «%1»").arg(label);
    // A short value is shown whole; a long one around the character.
    if (text.size() > 1) {
        const qsizetype from = std::max<qsizetype>(0, std::min(at - 25, text.size() - 50));
        s += QString(" «%1»").arg((from > 0 ? "..." : "") + text.mid(from, 50) + (from + 50 < text.size() ? "..." : ""));
    }
    return s + QString(" есть %1.\nЗамените или удалите этот символ.").arg(character);
}

namespace {

QList<long> statusCodes(const ISC_STATUS* status)
{
    QList<long> codes;
    for (int i = 0; i < ISC_STATUS_LENGTH - 1 && status[i] != isc_arg_end;) {
        const ISC_STATUS type = status[i];
        if (type == isc_arg_gds) codes << long(status[i + 1]);
        i += type == isc_arg_cstring ? 3 : 2;
    }
    return codes;
}

bool connectionLostCode(long c)
{
    return c == isc_network_error || c == isc_net_read_err || c == isc_net_write_err
        || c == isc_lost_db_connection || c == isc_conn_lost || c == isc_att_shutdown || c == isc_shutdown;
}

// A write the server's file system refused for want of space (or quota).
bool diskFull(const ISC_STATUS* status, const QList<long>& codes)
{
    if (codes.contains(isc_out_of_temp_space)) return true;
    constexpr long kNoSpace = 28, kQuotaExceeded = 122;   // ENOSPC, EDQUOT
    for (int i = 0; i < ISC_STATUS_LENGTH - 1 && status[i] != isc_arg_end;) {
        const ISC_STATUS type = status[i];
        if (type == isc_arg_unix && (status[i + 1] == kNoSpace || status[i + 1] == kQuotaExceeded)) return true;
        i += type == isc_arg_cstring ? 3 : 2;
    }
    return false;
}

DbErrorKind kindOf(const ISC_STATUS* status, const QList<long>& codes)
{
    if (diskFull(status, codes)) return DbErrorKind::DiskFull;
    if (codes.contains(isc_transliteration_failed)) return DbErrorKind::CodePage;
    for (long c : codes) {
        if (connectionLostCode(c)) return DbErrorKind::ConnectionLost;
        if (c == isc_foreign_key) return DbErrorKind::ForeignKey;
    }
    for (long c : codes)
        if (c == isc_deadlock || c == isc_update_conflict || c == isc_lock_conflict || c == isc_lock_timeout)
            return DbErrorKind::Conflict;
    for (long c : codes)
        if (c == isc_io_error || c == isc_io_open_err || c == isc_bad_db_format || c == isc_wrong_ods
            || c == isc_unavailable || c == isc_net_connect_err || c == isc_net_lookup_err
            || c == isc_connect_reject)
            return DbErrorKind::CannotOpen;
    return DbErrorKind::Other;
}

QString engineText(const ISC_STATUS* status)
{
    QStringList lines;
    char buf[1024];
    const ISC_STATUS* p = status;
    while (fb_interpret(buf, sizeof buf, &p) > 0) {
        // Values in the text come as the column holds them, in code page 1251.
        lines << cp1251::decode(buf, qsizetype(qstrlen(buf)));
    }
    if (lines.isEmpty()) lines << QString("Database error %1").arg(status[1]);
    return lines.join('\n');
}

const char* const kLostMessage = "Соединение с сервером базы данных потеряно.\n"
                                 "Введённые данные не потеряны: восстановите соединение и сохраните их ещё раз.";

DbError lostConnectionError()
{
    return DbError(kLostMessage, 0, isc_network_error, DbErrorKind::ConnectionLost, "The connection was lost");
}

// "host:path" goes to a server; the other protocols of the old clients do not exist here.
bool foreignProtocolPath(const QString& path)
{
    // An unknown protocol in BR.INI leaves the path empty.
    return path.isEmpty() || path.startsWith("\\\\") || path.contains('@');
}

// The database registry, for reconnecting every lost connection of a thread.
std::mutex registryMutex;
std::set<Database*>& registry()
{
    static std::set<Database*> r;
    return r;
}

} // namespace

bool hasStatusCode(const ISC_STATUS* status, ISC_STATUS code)
{
    return statusCodes(status).contains(long(code));
}

DbError errorFromStatus(const ISC_STATUS* status)
{
    const QList<long> codes = statusCodes(status);
    const QString text = engineText(status);
    const ISC_LONG sqlCode = isc_sqlcode(status);
    const long isc = status[1];
    const DbErrorKind kind = kindOf(status, codes);
    QString message;
    switch (kind) {
    case DbErrorKind::ConnectionLost:
        message = kLostMessage;
        break;
    case DbErrorKind::ForeignKey:
        message = codes.contains(isc_foreign_key_references_present)
            ? "Запись нельзя удалить или изменить: на неё ссылаются другие записи."
            : "Запись нельзя сохранить: запись, к которой она относится, удалена другим пользователем "
              "или удаляется сейчас.\nОбновите данные.";
        break;
    case DbErrorKind::Conflict:
        message = "Эти данные сейчас изменяет другой пользователь.\n"
                  "Повторите действие через несколько секунд.";
        break;
    case DbErrorKind::DiskFull:
        message = "На диске сервера нет места: база данных не может записать данные, и они не сохранены.\n"
                  "Сообщите администратору, что на сервере нужно освободить место на диске, "
                  "и повторите действие.";
        break;
    case DbErrorKind::CodePage:
        message = "В тексте есть символ, которого нет в кодировке Windows-1251.\n"
                  "Замените или удалите этот символ.";
        break;
    default:
        return DbError(text, int(sqlCode), isc, kind);
    }
    return DbError(message, int(sqlCode), isc, kind, text);
}

void checkStatus(const ISC_STATUS* status)
{
    if (status[0] == 1 && status[1] != 0)
        throw errorFromStatus(status);
}

Database::Database() : Database(ConnectParams{}) {}

Database::Database(ConnectParams params) : params_(std::move(params))
{
    std::lock_guard lock(registryMutex);
    registry().insert(this);
}

Database::~Database()
{
    {
        std::lock_guard lock(registryMutex);
        registry().erase(this);
    }
    try {
        disconnect();
    } catch (...) {
    }
}

void Database::attach()
{
    ISC_STATUS_ARRAY st;
    const QByteArray dpb = makeDpb(params_, 0);
    const QByteArray path = QFile::encodeName(params_.path);
    if (isc_attach_database(st, short(path.size()), path.constData(), &handle_,
                            short(dpb.size()), dpb.constData())) {
        handle_ = 0;
        const DbError e = errorFromStatus(st);
        if (foreignProtocolPath(params_.path))
            throw DbError(QString("Неверно указан протокол подключения к базе данных%1.\n"
                                  "Проверьте в файле BR.INI параметр Protocol: поддерживается только TCP/IP.")
                              .arg(params_.path.isEmpty() ? QString() : " «" + params_.path + "»"),
                          e.sqlCode(), e.iscCode(), DbErrorKind::Protocol, e.engineText());
        if (e.kind() == DbErrorKind::CannotOpen || e.kind() == DbErrorKind::ConnectionLost)
            throw DbError(QString("Не удалось открыть базу данных «%1».\n"
                                  "Проверьте в файле BR.INI имя сервера (ServerName) и путь к базе данных "
                                  "(DataBaseDir), и что сервер базы данных запущен.")
                              .arg(params_.path),
                          e.sqlCode(), e.iscCode(), DbErrorKind::CannotOpen, e.engineText());
        throw e;
    }
    ++serial_;
    setLostBy(nullptr);
}

void Database::connect()
{
    if (connected()) return;
    if (beforeConnect) beforeConnect(*this);
    attach();
    if (afterConnect) afterConnect(*this);
}

void Database::reconnect()
{
    if (connected()) return;
    try {
        attach();
    } catch (const DbError& e) {
        // The same settings opened the database before: the server is what cannot be reached now.
        if (e.kind() != DbErrorKind::CannotOpen && e.kind() != DbErrorKind::ConnectionLost
            && e.kind() != DbErrorKind::Protocol)
            throw;
        throw DbError("Сервер базы данных недоступен: нет связи с ним по сети, или сервер остановлен.\n"
                      "Введённые данные не потеряны: когда связь появится, подключитесь заново и сохраните их.",
                      e.sqlCode(), e.iscCode(), DbErrorKind::ConnectionLost, e.engineText());
    }
}

int Database::reconnectLost()
{
    std::vector<Database*> lost;
    {
        std::lock_guard lock(registryMutex);
        for (Database* db : registry())
            if (db->lostBy_ == QThread::currentThread()) lost.push_back(db);
    }
    for (Database* db : lost) db->reconnect();
    return int(lost.size());
}

void Database::checkConnected() const
{
    if (connected()) return;
    if (connectionLost()) throw lostConnectionError();
    throw InternalError("Database not connected");
}

void Database::check(const ISC_STATUS* status)
{
    if (status[0] == 1 && status[1] != 0) fail(status);
}

void Database::fail(const ISC_STATUS* status)
{
    DbError e = errorFromStatus(status);
    if (e.kind() == DbErrorKind::ConnectionLost) dropLostAttachment();
    throw e;
}

void Database::dropLostAttachment() noexcept
{
    if (!handle_) return;
    if (explicit_) explicit_->abandon();
    if (held_) held_->abandon();
    ISC_STATUS_ARRAY st;
    // Frees the client's side of the attachment; the server side is gone already.
    if (isc_detach_database(st, &handle_)) handle_ = 0;
    handle_ = 0;
    setLostBy(QThread::currentThread());
}

void Database::setLostBy(const void* thread) noexcept
{
    std::lock_guard lock(registryMutex);
    lostBy_ = thread;
}

void Database::disconnect()
{
    if (!connected()) {
        setLostBy(nullptr);
        return;
    }
    if (beforeDisconnect) beforeDisconnect(*this);
    if (explicit_ && explicit_->active()) explicit_->rollback();
    explicit_.reset();
    if (held_) held_->abandon();
    held_.reset();
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

void Database::startTransaction(Isolation isolation)
{
    if (!explicit_) explicit_ = std::make_unique<Transaction>(*this);
    if (explicit_->active())
        throw InternalError("Transaction already active");
    explicit_->setIsolation(isolation);
    explicit_->start();
}

void Database::commit()
{
    if (!inTransaction()) throw InternalError("No transaction active");
    explicit_->commit();
}

void Database::rollback()
{
    if (!inTransaction()) throw InternalError("No transaction active");
    explicit_->rollback();
}

bool Database::inTransaction() const
{
    return explicit_ && explicit_->active();
}

void Database::withTransaction(const std::function<void(Transaction&)>& fn, Isolation isolation)
{
    if (connectionLost()) checkConnected();
    if (Transaction* tr = activeTransaction()) {
        fn(*tr);
        return;
    }
    Transaction tr(*this, isolation);
    tr.start();
    runOwn(tr, fn);
}

void Database::runOwn(Transaction& tr, const std::function<void(Transaction&)>& fn)
{
    own_ = &tr;
    try {
        fn(tr);
        own_ = nullptr;
        tr.commit();
    } catch (...) {
        own_ = nullptr;
        try { tr.rollback(); } catch (...) {}
        throw;
    }
}

void Database::withWriteTransaction(const std::function<void(Transaction&)>& fn, Isolation isolation)
{
    if (activeTransaction()) {
        withTransaction(fn);
        return;
    }
    // The transaction a key provider started for this write is its first attempt.
    std::unique_ptr<Transaction> held = std::move(held_);
    if (held && (!held->active() || held->isolation() != isolation)) {
        held->abandon();
        held.reset();
    }
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        try {
            if (held) {
                std::unique_ptr<Transaction> tr = std::move(held);
                runOwn(*tr, fn);
            } else {
                withTransaction(fn, isolation);
            }
            return;
        } catch (const DbError& e) {
            if (e.kind() != DbErrorKind::Conflict || clock.elapsed() > kConflictRetryMs) throw;
        }
        // The other transaction usually commits within milliseconds; a random
        // pause keeps two retrying writers from meeting again at once.
        QThread::msleep(5 + QRandomGenerator::global()->bounded(40));
    }
}

void Database::holdForWrite(Isolation isolation)
{
    if (holds_++ == 0) heldIsolation_ = isolation;
}

void Database::releaseHold() noexcept
{
    if (holds_ > 0 && --holds_ == 0 && held_) {
        // Only a key was taken in it, and a key is used up whatever becomes of it.
        held_->abandon();
        held_.reset();
    }
}

void Database::withHeldTransaction(const std::function<void(Transaction&)>& fn)
{
    if (activeTransaction() || holds_ == 0) {
        withTransaction(fn);
        return;
    }
    if (connectionLost()) checkConnected();
    if (!held_ || !held_->active()) {
        held_ = std::make_unique<Transaction>(*this, heldIsolation_);
        held_->start();
    }
    try {
        fn(*held_);
    } catch (...) {
        held_->abandon();
        held_.reset();
        throw;
    }
}

int Database::execute(const QString& sql, const QList<QPair<QString, Value>>& params)
{
    int rows = 0;
    withWriteTransaction([&](Transaction& tr) {
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
    checkConnected();
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
                throw InternalError("isc_database_info: the engine refused isc_info_user_names");
            }
            p += len;
        }
        if (!truncated) return names;
        if (size >= 32767) break;
    }
    throw InternalError("isc_database_info: the list of attached users does not fit the buffer");
}

namespace {
const char kTpb[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_read_committed,
                     isc_tpb_rec_version, isc_tpb_nowait};
// A row another transaction has written and not committed is a conflict
// instead of being read as last committed, or skipped when new.
const char kNoRecVersionTpb[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_read_committed,
                                 isc_tpb_no_rec_version, isc_tpb_nowait};
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
    if (active()) throw InternalError("Transaction already active");
    ISC_STATUS_ARRAY st;
    db_->checkConnected();
    const bool strict = isolation_ == Isolation::NoRecordVersion;
    const char* tpb = strict ? kNoRecVersionTpb : kTpb;
    const short tpbLength = short(strict ? sizeof kNoRecVersionTpb : sizeof kTpb);
    if (isc_start_transaction(st, &handle_, 1, db_->handle(), tpbLength, tpb)) {
        handle_ = 0;
        db_->fail(st);
    }
}

void Transaction::commit()
{
    ISC_STATUS_ARRAY st;
    if (isc_commit_transaction(st, &handle_)) db_->fail(st);
    handle_ = 0;
}

void Transaction::commitRetaining()
{
    ISC_STATUS_ARRAY st;
    if (isc_commit_retaining(st, &handle_)) db_->fail(st);
}

void Transaction::rollback()
{
    ISC_STATUS_ARRAY st;
    if (isc_rollback_transaction(st, &handle_)) {
        handle_ = 0;
        db_->fail(st);
    }
    handle_ = 0;
}

void Transaction::abandon() noexcept
{
    if (!handle_) return;
    ISC_STATUS_ARRAY st;
    isc_rollback_transaction(st, &handle_);
    handle_ = 0;
}

} // namespace fw
