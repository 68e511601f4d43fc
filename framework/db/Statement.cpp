#include "Statement.h"

#include "CodePage.h"
#include "PackedRow.h"

#include <QDate>
#include <cstring>

namespace fw {

ParsedSql parseParams(const QString& sql)
{
    ParsedSql r;
    r.text.reserve(sql.size());
    const int n = int(sql.size());
    auto isNameChar = [](QChar c) { return c.isLetterOrNumber() || c == '_' || c == '$'; };
    for (int i = 0; i < n; ++i) {
        const QChar c = sql[i];
        if (c == '\'' || c == '"') {
            // A literal runs to the next unpaired quote of the same kind.
            int j = i + 1;
            while (j < n) {
                if (sql[j] == c) {
                    if (j + 1 < n && sql[j + 1] == c) { j += 2; continue; }
                    break;
                }
                ++j;
            }
            r.text += sql.mid(i, j - i + 1);
            i = j;
        } else if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
            int j = sql.indexOf('\n', i);
            if (j < 0) j = n - 1;
            r.text += sql.mid(i, j - i + 1);
            i = j;
        } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
            int j = sql.indexOf("*/", i + 2);
            j = j < 0 ? n - 1 : j + 1;
            r.text += sql.mid(i, j - i + 1);
            i = j;
        } else if (c == ':' && i + 1 < n && isNameChar(sql[i + 1]) && !sql[i + 1].isDigit()) {
            int j = i + 1;
            while (j < n && isNameChar(sql[j])) ++j;
            const QString name = sql.mid(i + 1, j - i - 1);
            r.occurrences << name;
            bool seen = false;
            for (const QString& x : r.names)
                if (x.compare(name, Qt::CaseInsensitive) == 0) { seen = true; break; }
            if (!seen) r.names << name;
            r.text += '?';
            i = j - 1;
        } else {
            r.text += c;
        }
    }
    return r;
}

namespace {

// Character set ids of the engine.
constexpr short kNone = 0;
constexpr short kOctets = 1;
constexpr short kAscii = 2;
constexpr short kUnicodeFss = 3;
constexpr short kUtf8 = 4;
constexpr short kWin1251 = 52;

bool isUnicode(short charset) { return charset == kUtf8 || charset == kUnicodeFss; }
// NONE holds what we send: statements and their literals in code page 1251.
bool isCp1251(short charset) { return charset == kWin1251 || charset == kNone || charset == kAscii; }
int bytesPerChar(short charset) { return charset == kUtf8 ? 4 : charset == kUnicodeFss ? 3 : 1; }
constexpr int kMjdOffset = 2400001;   // Julian day of 17 Nov 1858, the engine's day zero

XSQLDA* allocSqlda(int n)
{
    auto* d = static_cast<XSQLDA*>(std::calloc(1, XSQLDA_LENGTH(n < 1 ? 1 : n)));
    d->version = SQLDA_VERSION1;
    d->sqln = short(n < 1 ? 1 : n);
    return d;
}

ISC_TIMESTAMP encodeTimestamp(const QDateTime& dt)
{
    ISC_TIMESTAMP ts;
    ts.timestamp_date = ISC_DATE(dt.date().toJulianDay() - kMjdOffset);
    const QTime t = dt.time();
    ts.timestamp_time = ISC_TIME((t.hour() * 3600 + t.minute() * 60 + t.second()) * 10000
                                 + t.msec() * 10);
    return ts;
}

Value decodeTimestamp(ISC_DATE d, ISC_TIME t)
{
    return Value::localTime(QDate::fromJulianDay(qint64(d) + kMjdOffset), int(t / 10));
}

Currency scaledToCurrency(int64_t v, int scale)
{
    // scale is the negative exponent: value = v * 10^scale
    int shift = 4 + scale;
    if (shift >= 0) {
        int64_t m = 1;
        for (int k = 0; k < shift; ++k) m *= 10;
        return Currency::fromScaled(v * m);
    }
    __int128 d = 1;
    for (int k = 0; k < -shift; ++k) d *= 10;
    return Currency::fromScaled(divideHalfEven(v, d));
}

int statementInfoInt(isc_stmt_handle* h, char item)
{
    ISC_STATUS_ARRAY st;
    const char items[] = {item, isc_info_end};
    char buf[64];
    if (isc_dsql_sql_info(st, h, sizeof items, items, sizeof buf, buf)) throw errorFromStatus(st);
    if (buf[0] != item) return 0;
    const short len = short(isc_vax_integer(buf + 1, 2));
    return int(isc_vax_integer(buf + 3, len));
}

QByteArray readBlob(Database& db, isc_tr_handle tr, ISC_QUAD id)
{
    ISC_STATUS_ARRAY st;
    isc_blob_handle bh = 0;
    if (isc_open_blob2(st, db.handle(), &tr, &bh, &id, 0, nullptr)) db.fail(st);
    QByteArray out;
    char seg[32768];
    for (;;) {
        unsigned short got = 0;
        ISC_STATUS r = isc_get_segment(st, &bh, &got, sizeof seg, seg);
        if (r != 0 && r != isc_segment) {
            if (r == isc_segstr_eof) break;
            ISC_STATUS_ARRAY st2;
            isc_close_blob(st2, &bh);
            db.fail(st);
        }
        out.append(seg, got);
    }
    isc_close_blob(st, &bh);
    return out;
}

ISC_QUAD writeBlob(Database& db, Transaction& tr, const QByteArray& data)
{
    ISC_STATUS_ARRAY st;
    isc_blob_handle bh = 0;
    ISC_QUAD id{};
    if (isc_create_blob2(st, db.handle(), tr.handle(), &bh, &id, 0, nullptr)) db.fail(st);
    for (qsizetype pos = 0; pos < data.size(); pos += 32000) {
        const auto len = static_cast<unsigned short>(std::min<qsizetype>(32000, data.size() - pos));
        if (isc_put_segment(st, &bh, len, data.constData() + pos)) {
            ISC_STATUS_ARRAY st2;
            isc_cancel_blob(st2, &bh);
            db.fail(st);
        }
    }
    if (isc_close_blob(st, &bh)) db.fail(st);
    return id;
}

} // namespace

enum class Statement::Decode : uint8_t {
    Null, Int16, Int32, Int64, Scaled16, Scaled32, Scaled64, Float, FloatMoney, Double, DoubleMoney,
    Cp1251Char, Cp1251Varying, Utf8Char, Utf8Varying, BytesChar, BytesVarying,
    Timestamp, Date, Time, Boolean, BlobBytes, BlobText
};

Statement::Decode Statement::decodeOf(const ColumnInfo& c)
{
    using D = Decode;
    const bool scaled = c.scale < 0;
    switch (c.sqlType) {
    case SQL_SHORT: return scaled ? D::Scaled16 : D::Int16;
    case SQL_LONG: return scaled ? D::Scaled32 : D::Int32;
    case SQL_INT64: return scaled ? D::Scaled64 : D::Int64;
    case SQL_FLOAT: return scaled ? D::FloatMoney : D::Float;
    case SQL_DOUBLE: case SQL_D_FLOAT: return scaled ? D::DoubleMoney : D::Double;
    // A text's bytes: CHAR without its padding, VARCHAR after its length;
    // binary ones keep every byte.
    case SQL_TEXT: return c.kind == FieldKind::Binary ? D::BytesChar : c.cp1251 ? D::Cp1251Char : D::Utf8Char;
    case SQL_VARYING:
        return c.kind == FieldKind::Binary ? D::BytesVarying : c.cp1251 ? D::Cp1251Varying : D::Utf8Varying;
    case SQL_TIMESTAMP: return D::Timestamp;
    case SQL_TYPE_DATE: return D::Date;
    case SQL_TYPE_TIME: return D::Time;
    case SQL_BOOLEAN: return D::Boolean;
    case SQL_BLOB: return c.kind == FieldKind::TextBlob ? D::BlobText : D::BlobBytes;
    default: return D::Null;
    }
}

namespace {

// Makes the Value a packer would store.
struct ValueMaker {
    Value v;
    void addNull() {}
    void addInt(int64_t x) { v = Value(static_cast<long long>(x)); }
    void addDouble(double x) { v = Value(x); }
    void addCurrency(Currency x) { v = Value(x); }
    void addCp1251(const char* s, int length) { v = Value(cp1251::decode(s, length)); }
    void addText(const QString& s) { v = Value(s); }
    void addBytes(const char* b, int length) { v = Value::bytes(QByteArray(b, length)); }
    void add(const Value& x) { v = x; }
};

} // namespace

Statement::Statement(Database& db, const QString& sql) : Statement(db, parseParams(sql)) {}

Statement::Statement(Database& db, const QString& sql, Positional) : Statement(db, ParsedSql{sql, {}, {}}) {}

Statement::Statement(Database& db, ParsedSql parsed) : db_(&db), parsed_(std::move(parsed))
{
    db.checkConnected();
    serial_ = db.attachmentSerial();
    ISC_STATUS_ARRAY st;
    if (isc_dsql_allocate_statement(st, db.handle(), &handle_)) db_->fail(st);
    try {
        out_ = allocSqlda(20);
        const QByteArray text = encodeSql(parsed_.text);
        auto prepare = [&](Transaction& tr) {
            if (isc_dsql_prepare(st, tr.handle(), &handle_, 0, text.constData(), 1, out_))
                db_->fail(st);
        };
        if (Transaction* active = db.activeTransaction()) {
            prepare(*active);
        } else {
            Transaction own(db);
            own.start();
            prepare(own);
            own.commit();
        }
        db.notePrepare();
        switch (statementInfoInt(&handle_, isc_info_sql_stmt_type)) {
        case isc_info_sql_stmt_select:
        case isc_info_sql_stmt_select_for_upd: type_ = StatementType::Select; break;
        case isc_info_sql_stmt_insert: type_ = StatementType::Insert; break;
        case isc_info_sql_stmt_update: type_ = StatementType::Update; break;
        case isc_info_sql_stmt_delete: type_ = StatementType::Delete; break;
        case isc_info_sql_stmt_ddl: type_ = StatementType::Ddl; break;
        case isc_info_sql_stmt_exec_procedure: type_ = StatementType::ExecProcedure; break;
        default: type_ = StatementType::Other; break;
        }
        describe();
    } catch (...) {
        free();
        throw;
    }
}

Statement::Statement(Statement&& o) noexcept { *this = std::move(o); }

Statement& Statement::operator=(Statement&& o) noexcept
{
    if (this == &o) return *this;
    free();
    db_ = o.db_;
    serial_ = o.serial_;
    handle_ = std::exchange(o.handle_, 0);
    parsed_ = std::move(o.parsed_);
    type_ = o.type_;
    in_ = std::exchange(o.in_, nullptr);
    out_ = std::exchange(o.out_, nullptr);
    params_ = std::move(o.params_);
    inCharsets_ = std::move(o.inCharsets_);
    inBuffers_ = std::move(o.inBuffers_);
    inNulls_ = std::move(o.inNulls_);
    outBuffers_ = std::move(o.outBuffers_);
    outNulls_ = std::move(o.outNulls_);
    columns_ = std::move(o.columns_);
    decoders_ = std::move(o.decoders_);   // the buffers they point at moved without moving their bytes
    cursorTr_ = std::exchange(o.cursorTr_, 0);
    cursorOpen_ = std::exchange(o.cursorOpen_, false);
    procRowPending_ = std::exchange(o.procRowPending_, false);
    // Buffers moved with their addresses intact (QByteArray keeps its data), but
    // the sqlda pointers must be re-aimed at the moved vectors' elements.
    if (out_)
        for (int i = 0; i < out_->sqld && i < int(outBuffers_.size()); ++i) {
            out_->sqlvar[i].sqldata = outBuffers_[size_t(i)].data();
            out_->sqlvar[i].sqlind = &outNulls_[size_t(i)];
        }
    return *this;
}

Statement::~Statement() { free(); }

void Statement::free() noexcept
{
    if (handle_ && db_ && db_->connected() && db_->attachmentSerial() == serial_) {
        ISC_STATUS_ARRAY st;
        isc_dsql_free_statement(st, &handle_, DSQL_drop);
    }
    handle_ = 0;
    std::free(in_);
    std::free(out_);
    in_ = out_ = nullptr;
    cursorOpen_ = false;
}

void Statement::describe()
{
    ISC_STATUS_ARRAY st;
    if (out_->sqld > out_->sqln) {
        const int n = out_->sqld;
        std::free(out_);
        out_ = allocSqlda(n);
        if (isc_dsql_describe(st, &handle_, 1, out_)) db_->fail(st);
    }
    const int nOut = out_->sqld;
    columns_.resize(size_t(nOut));
    outBuffers_.resize(size_t(nOut));
    outNulls_.assign(size_t(nOut), 0);
    for (int i = 0; i < nOut; ++i) {
        XSQLVAR& v = out_->sqlvar[i];
        ColumnInfo& c = columns_[size_t(i)];
        c.name = cp1251::decode(v.aliasname, v.aliasname_length);
        c.field = cp1251::decode(v.sqlname, v.sqlname_length);
        c.relation = cp1251::decode(v.relname, v.relname_length);
        c.sqlType = short(v.sqltype & ~1);
        c.nullable = (v.sqltype & 1) != 0;
        c.scale = v.sqlscale;
        c.subType = v.sqlsubtype;
        c.byteLength = v.sqllen;
        const bool octets = (v.sqlsubtype & 0xFF) == kOctets;
        switch (c.sqlType) {
        case SQL_SHORT: case SQL_LONG: case SQL_INT64:
            c.kind = v.sqlscale < 0 ? FieldKind::Numeric : FieldKind::Integer; break;
        case SQL_FLOAT: case SQL_DOUBLE: case SQL_D_FLOAT:
            // Dialect 1 keeps NUMERIC(15,n) as a double with the scale as a label.
            c.kind = v.sqlscale < 0 ? FieldKind::Numeric : FieldKind::Double; break;
        case SQL_TEXT: c.kind = octets ? FieldKind::Binary : FieldKind::FixedText; break;
        case SQL_VARYING: c.kind = octets ? FieldKind::Binary : FieldKind::Text; break;
        case SQL_TIMESTAMP: case SQL_TYPE_DATE: case SQL_TYPE_TIME: c.kind = FieldKind::DateTime; break;
        case SQL_BLOB: c.kind = v.sqlsubtype == 1 ? FieldKind::TextBlob : FieldKind::Binary; break;
        case SQL_BOOLEAN: c.kind = FieldKind::Boolean; break;
        default: c.kind = FieldKind::Binary; break;
        }
        const bool text = c.kind == FieldKind::Text || c.kind == FieldKind::FixedText;
        const auto charset = short(v.sqlsubtype & 0xFF);
        c.charLength = text ? v.sqllen / bytesPerChar(charset) : v.sqllen;
        if (text && !isUnicode(charset) && !isCp1251(charset)) {
            // Another character set than ours: converted to UTF-8 by the engine.
            v.sqlsubtype = kUtf8;
            v.sqllen = short(std::min(c.charLength * 4, 32765));
            c.byteLength = v.sqllen;
        }
        // A text comes in its own column's set: code page 1251 as stored,
        // unconverted, one byte a character; the others as UTF-8.
        c.cp1251 = text && isCp1251(short(v.sqlsubtype & 0xFF));
        int size = v.sqllen + (c.sqlType == SQL_VARYING ? 2 : 0);
        outBuffers_[size_t(i)] = QByteArray(size < 1 ? 1 : size, '\0');
        v.sqldata = outBuffers_[size_t(i)].data();
        v.sqlind = &outNulls_[size_t(i)];
    }
    decoders_.clear();
    for (int i = 0; i < nOut; ++i) {
        const ColumnInfo& c = columns_[size_t(i)];
        static const short kNeverNull = 0;
        decoders_.push_back({outBuffers_[size_t(i)].constData(), c.nullable ? &outNulls_[size_t(i)] : &kNeverNull,
                             decodeOf(c), c.scale, c.byteLength});
    }

    in_ = allocSqlda(int(parsed_.occurrences.size()));
    if (isc_dsql_describe_bind(st, &handle_, 1, in_)) db_->fail(st);
    if (in_->sqld > in_->sqln) {
        const int n = in_->sqld;
        std::free(in_);
        in_ = allocSqlda(n);
        if (isc_dsql_describe_bind(st, &handle_, 1, in_)) db_->fail(st);
    }
    inCharsets_.assign(size_t(in_->sqld), kNone);
    for (int i = 0; i < in_->sqld; ++i) {
        const XSQLVAR& v = in_->sqlvar[i];
        inCharsets_[size_t(i)] = short((v.sqltype & ~1) == SQL_BLOB ? v.sqlscale : v.sqlsubtype & 0xFF);
    }
    params_.assign(size_t(in_->sqld), Value());
    inBuffers_.assign(size_t(in_->sqld), QByteArray());
    inNulls_.assign(size_t(in_->sqld), 0);
}

bool Statement::hasParam(const QString& name) const
{
    for (const QString& n : parsed_.names)
        if (n.compare(name, Qt::CaseInsensitive) == 0) return true;
    return false;
}

void Statement::setParam(const QString& name, const Value& v)
{
    for (int i = 0; i < parsed_.occurrences.size() && i < int(params_.size()); ++i)
        if (parsed_.occurrences[i].compare(name, Qt::CaseInsensitive) == 0) params_[size_t(i)] = v;
}

void Statement::setParam(int occurrence, const Value& v)
{
    if (occurrence < 0 || occurrence >= int(params_.size())) throw InternalError("Parameter index out of range");
    params_[size_t(occurrence)] = v;
}

void Statement::clearParams()
{
    for (Value& v : params_) v = Value();
}

void Statement::bindInputs(Transaction& tr)
{
    for (int i = 0; i < in_->sqld; ++i) {
        XSQLVAR& var = in_->sqlvar[i];
        const Value& v = params_[size_t(i)];
        QByteArray& buf = inBuffers_[size_t(i)];
        short& ind = inNulls_[size_t(i)];
        const short declared = short(var.sqltype & ~1);
        var.sqlind = &ind;
        ind = 0;
        if (v.isNull()) {
            ind = -1;
            buf = QByteArray(std::max<int>(var.sqllen, 8) + 2, '\0');
            var.sqltype = short(declared | 1);
            var.sqldata = buf.data();
            continue;
        }
        if (declared == SQL_BLOB) {
            const QByteArray data = v.type() == Value::Type::Bytes ? v.asBytes() : blobText(i, v.asString());
            const ISC_QUAD id = writeBlob(*db_, tr, data);
            buf = QByteArray(reinterpret_cast<const char*>(&id), sizeof id);
            var.sqltype = SQL_BLOB | 1;
            var.sqllen = sizeof(ISC_QUAD);
            var.sqldata = buf.data();
            continue;
        }
        switch (v.type()) {
        case Value::Type::Int: {
            const int64_t x = v.asInt64();
            buf = QByteArray(reinterpret_cast<const char*>(&x), 8);
            var.sqltype = SQL_INT64 | 1; var.sqlscale = 0; var.sqllen = 8; var.sqlsubtype = 0;
            break;
        }
        case Value::Type::Currency: {
            const int64_t x = v.asCurrency().scaled();
            buf = QByteArray(reinterpret_cast<const char*>(&x), 8);
            var.sqltype = SQL_INT64 | 1; var.sqlscale = -4; var.sqllen = 8; var.sqlsubtype = 0;
            break;
        }
        case Value::Type::Double: {
            const double x = v.asDouble();
            buf = QByteArray(reinterpret_cast<const char*>(&x), 8);
            var.sqltype = SQL_DOUBLE | 1; var.sqlscale = 0; var.sqllen = 8; var.sqlsubtype = 0;
            break;
        }
        case Value::Type::DateTime: {
            const ISC_TIMESTAMP ts = encodeTimestamp(v.asDateTime());
            buf = QByteArray(reinterpret_cast<const char*>(&ts), sizeof ts);
            var.sqltype = SQL_TIMESTAMP | 1; var.sqlscale = 0; var.sqllen = sizeof ts; var.sqlsubtype = 0;
            break;
        }
        case Value::Type::Text:
        case Value::Type::Bytes: {
            const bool bytes = v.type() == Value::Type::Bytes;
            short charset = bytes ? kOctets : kUtf8;
            const QByteArray data = bytes ? v.asBytes() : paramText(i, v.asString(), charset);
            if (data.size() > 32765) throw InternalError("Text parameter too long");
            const auto len = static_cast<short>(data.size());
            buf = QByteArray(2 + data.size(), '\0');
            std::memcpy(buf.data(), &len, 2);
            std::memcpy(buf.data() + 2, data.constData(), size_t(data.size()));
            var.sqltype = SQL_VARYING | 1; var.sqlscale = 0; var.sqllen = len;
            var.sqlsubtype = charset;
            break;
        }
        case Value::Type::Null: break;
        }
        var.sqldata = buf.data();
    }
}

QByteArray Statement::paramText(int i, const QString& text, short& charset) const
{
    charset = kUtf8;
    // A text of the code page goes as its bytes, which its columns store
    // unconverted; any other as UTF-8 where the engine takes Unicode.
    QByteArray out;
    qsizetype bad = 0;
    if (cp1251::encode(text, out, &bad)) {
        charset = kWin1251;
        return out;
    }
    if (isUnicode(inCharsets_[size_t(i)])) return text.toUtf8();
    throw outsideCodePage(text, bad);
}

QByteArray Statement::blobText(int i, const QString& text) const
{
    if (isUnicode(inCharsets_[size_t(i)])) return text.toUtf8();
    QByteArray out;
    qsizetype bad = 0;
    if (!cp1251::encode(text, out, &bad)) throw outsideCodePage(text, bad);
    return out;
}

void Statement::execute(Transaction& tr)
{
    if (!tr.active()) throw InternalError("Transaction not active");
    closeCursor();
    bindInputs(tr);
    ISC_STATUS_ARRAY st;
    if (type_ == StatementType::ExecProcedure && out_->sqld > 0) {
        if (isc_dsql_execute2(st, tr.handle(), &handle_, 1, in_, out_)) failExecute(st);
        procRowPending_ = true;
        cursorTr_ = *tr.handle();
        return;
    }
    if (isc_dsql_execute(st, tr.handle(), &handle_, 1, in_)) failExecute(st);
    if (type_ == StatementType::Ddl) db_->noteSchemaChange();
    cursorOpen_ = type_ == StatementType::Select;
    if (cursorOpen_) cursorTr_ = *tr.handle();
}

void Statement::failExecute(const ISC_STATUS* status)
{
    // The engine refused a text for a column of the code page: name the text and the character.
    if (hasStatusCode(status, isc_transliteration_failed))
        for (const Value& v : params_) {
            if (v.type() != Value::Type::Text) continue;
            const QString text = v.asString();
            QByteArray bytes;
            qsizetype bad = 0;
            if (!cp1251::encode(text, bytes, &bad)) throw outsideCodePage(text, bad);
        }
    db_->fail(status);
}

void Statement::execute()
{
    db_->withTransaction([this](Transaction& tr) {
        execute(tr);
        if (type_ == StatementType::Select)
            throw InternalError("A select needs a transaction that outlives its cursor");
    });
}

bool Statement::fetch()
{
    if (procRowPending_) {
        procRowPending_ = false;
        return true;
    }
    if (!cursorOpen_) return false;
    ISC_STATUS_ARRAY st;
    const ISC_STATUS r = isc_dsql_fetch(st, &handle_, 1, out_);
    if (r == 100) {
        closeCursor();
        return false;
    }
    if (r != 0) db_->fail(st);
    return true;
}

void Statement::closeCursor()
{
    procRowPending_ = false;
    cursorTr_ = 0;
    if (!cursorOpen_) return;
    cursorOpen_ = false;
    ISC_STATUS_ARRAY st;
    isc_dsql_free_statement(st, &handle_, DSQL_close);
}

int Statement::rowsAffected()
{
    ISC_STATUS_ARRAY st;
    const char items[] = {isc_info_sql_records, isc_info_end};
    char buf[128];
    if (isc_dsql_sql_info(st, &handle_, sizeof items, items, sizeof buf, buf)) db_->fail(st);
    if (buf[0] != isc_info_sql_records) return 0;
    int total = 0;
    const char* p = buf + 3;
    while (*p != isc_info_end) {
        const char item = *p++;
        const short len = short(isc_vax_integer(p, 2));
        p += 2;
        const int count = int(isc_vax_integer(p, len));
        p += len;
        switch (type_) {
        case StatementType::Insert: if (item == isc_info_req_insert_count) total = count; break;
        case StatementType::Update: if (item == isc_info_req_update_count) total = count; break;
        case StatementType::Delete: if (item == isc_info_req_delete_count) total = count; break;
        case StatementType::Select: if (item == isc_info_req_select_count) total = count; break;
        default:
            if (item != isc_info_req_select_count) total += count;
            break;
        }
    }
    return total;
}

int Statement::columnIndex(const QString& name) const
{
    for (int i = 0; i < int(columns_.size()); ++i)
        if (columns_[size_t(i)].name.compare(name, Qt::CaseInsensitive) == 0) return i;
    return -1;
}

Value Statement::value(const QString& name) const
{
    const int i = columnIndex(name);
    if (i < 0) throw InternalError(QString("Field '%1' not found").arg(name));
    return value(i);
}

template <class Out>
void Statement::decode(const OutColumn& c, Out& out) const
{
    if (*c.null < 0) {
        out.addNull();
        return;
    }
    const char* d = c.data;
    auto rd = [d](auto& x) { std::memcpy(&x, d, sizeof x); return x; };
    auto varying = [d] {
        int16_t len;
        std::memcpy(&len, d, 2);
        return int(len);
    };
    auto trimmed = [d, &c] {
        int length = c.length;
        while (length > 0 && d[length - 1] == ' ') --length;
        return length;
    };
    switch (c.how) {
    case Decode::Null: out.addNull(); return;
    case Decode::Int16: { int16_t x; out.addInt(rd(x)); return; }
    case Decode::Int32: { int32_t x; out.addInt(rd(x)); return; }
    case Decode::Int64: { int64_t x; out.addInt(rd(x)); return; }
    case Decode::Scaled16: { int16_t x; out.addCurrency(scaledToCurrency(rd(x), c.scale)); return; }
    case Decode::Scaled32: { int32_t x; out.addCurrency(scaledToCurrency(rd(x), c.scale)); return; }
    case Decode::Scaled64: { int64_t x; out.addCurrency(scaledToCurrency(rd(x), c.scale)); return; }
    case Decode::Float: { float x; out.addDouble(double(rd(x))); return; }
    case Decode::FloatMoney: { float x; out.addCurrency(Currency::fromDouble(rd(x))); return; }
    case Decode::Double: { double x; out.addDouble(rd(x)); return; }
    case Decode::DoubleMoney: { double x; out.addCurrency(Currency::fromDouble(rd(x))); return; }
    case Decode::Cp1251Char: out.addCp1251(d, trimmed()); return;
    case Decode::Cp1251Varying: out.addCp1251(d + 2, varying()); return;
    case Decode::Utf8Char: out.addText(QString::fromUtf8(d, trimmed())); return;
    case Decode::Utf8Varying: out.addText(QString::fromUtf8(d + 2, varying())); return;
    case Decode::BytesChar: out.addBytes(d, c.length); return;
    case Decode::BytesVarying: out.addBytes(d + 2, varying()); return;
    case Decode::Timestamp: { ISC_TIMESTAMP ts; rd(ts); out.add(decodeTimestamp(ts.timestamp_date, ts.timestamp_time)); return; }
    case Decode::Date: { ISC_DATE x; out.add(decodeTimestamp(rd(x), 0)); return; }
    case Decode::Time: {
        ISC_TIME x;
        out.add(Value(QDateTime(QDate(1899, 12, 30), QTime::fromMSecsSinceStartOfDay(int(rd(x) / 10)))));
        return;
    }
    case Decode::Boolean: out.addInt(d[0] ? 1 : 0); return;
    case Decode::BlobBytes:
    case Decode::BlobText: {
        ISC_QUAD id; rd(id);
        if (!cursorTr_) throw InternalError("Blob read outside a transaction");
        const QByteArray data = readBlob(*db_, cursorTr_, id);
        if (c.how == Decode::BlobBytes) out.addBytes(data.constData(), int(data.size()));
        // A text blob's character set is in its scale.
        else if (isUnicode(c.scale)) out.addText(QString::fromUtf8(data));
        else out.addText(fromCp1251(data));
        return;
    }
    }
    out.addNull();
}

void Statement::pack(RowPacker& packer) const
{
    for (const OutColumn& c : decoders_) decode(c, packer);
}

Value Statement::value(int i) const
{
    if (i < 0 || i >= int(columns_.size())) throw InternalError("Column index out of range");
    ValueMaker out;
    decode(decoders_[size_t(i)], out);
    return out.v;
}

Statement& StatementCache::get(Database& db, const QString& sql)
{
    if (db_ != &db || serial_ != db.attachmentSerial() || schema_ != db.schemaVersion()) {
        clear();
        db_ = &db;
        serial_ = db.attachmentSerial();
        schema_ = db.schemaVersion();
    }
    std::shared_ptr<Statement>& s = statements_[sql];
    if (!s) {
        try {
            s = std::make_shared<Statement>(db, sql);
        } catch (...) {
            statements_.remove(sql);
            throw;
        }
    }
    return *s;
}

void StatementCache::clear()
{
    statements_.clear();
}

} // namespace fw
