#include "DataSet.h"

#include "CodePage.h"
#include "DataSource.h"
#include "Filter.h"
#include "NumberFormat.h"
#include "Query.h"

#include <utility>

namespace fw {

namespace {

FieldType typeOf(FieldKind k)
{
    switch (k) {
    case FieldKind::Integer: case FieldKind::Boolean: return FieldType::Integer;
    case FieldKind::Double: return FieldType::Float;
    case FieldKind::Numeric: return FieldType::Currency;
    case FieldKind::Text: case FieldKind::FixedText: return FieldType::String;
    case FieldKind::DateTime: return FieldType::DateTime;
    case FieldKind::TextBlob: return FieldType::Memo;
    case FieldKind::Binary: return FieldType::Blob;
    }
    return FieldType::String;
}

// A value as a key of the given field type: numbers of any kind compare by
// value, dates by their wall-clock time, texts exactly. A text that does not
// convert matches nothing a field of that type holds.
struct Key {
    enum Kind { Null, Unmatched, Number, Date, Text } kind = Null;
    int64_t number = 0;     // Currency units; Julian day * msecs per day + msecs of the day
    QString text;

    bool operator==(const Key&) const = default;
};

Key keyOf(const Value& v, FieldType t)
{
    if (v.isNull()) return {};
    try {
        switch (t) {
        case FieldType::Integer: case FieldType::Float: case FieldType::Currency: {
            const Currency c = v.type() == Value::Type::Double ? Currency::fromDouble(v.asDouble())
                                                               : v.asCurrency();
            return {Key::Number, c.scaled(), {}};
        }
        case FieldType::DateTime: {
            const QDateTime d = v.asDateTime();
            if (!d.isValid()) return {Key::Unmatched, 0, {}};
            return {Key::Date, d.date().toJulianDay() * 86400000 + d.time().msecsSinceStartOfDay(), {}};
        }
        default:
            return {Key::Text, 0, v.asString()};
        }
    } catch (const ConvertError&) {
        return {Key::Unmatched, 0, {}};
    }
}

// The key as text for the lookup indexes; empty for NULL.
QString keyText(const Value& v, FieldType t)
{
    const Key k = keyOf(v, t);
    switch (k.kind) {
    case Key::Null: return {};
    case Key::Unmatched: return QStringLiteral("\x01");
    case Key::Number: return "n" + QString::number(k.number);
    case Key::Date: return "d" + QString::number(k.number);
    case Key::Text: return "s" + k.text;
    }
    return {};
}

// Called from a catch block once a row is committed: what failed after the
// write is told as a failed refresh of a row that is saved (or deleted).
[[noreturn]] void refreshFailed(const QString& done)
{
    try {
        throw;
    } catch (const Abort&) {
        throw;
    } catch (const RefreshError&) {
        throw;
    } catch (const DbError& e) {
        if (e.kind() == DbErrorKind::ConnectionLost)
            throw RefreshError(done, "соединение с сервером базы данных потеряно.", true);
        throw RefreshError(done, e.shownText(), false);
    } catch (const Error& e) {
        throw RefreshError(done, e.message(), false);
    } catch (const std::exception& e) {
        throw RefreshError(done, InternalError(QString::fromUtf8(e.what())).message(), false);
    }
}

QStringList splitNames(const QString& names)
{
    QStringList out;
    for (const QString& n : names.split(';'))
        if (!n.trimmed().isEmpty()) out << n.trimmed();
    return out;
}

} // namespace

// ---------------------------------------------------------------- Field

int Field::index() const
{
    for (int i = 0; i < ds_->fieldCount(); ++i)
        if (&ds_->field(i) == this) return i;
    return -1;
}

bool Field::isNumeric() const
{
    return type_ == FieldType::Integer || type_ == FieldType::Float || type_ == FieldType::Currency;
}

int Field::displayWidth() const
{
    if (width_ > 0) return width_;
    switch (type_) {
    case FieldType::String: return size_ > 0 ? size_ : 20;
    case FieldType::DateTime: return 16;
    default: return 10;
    }
}

Value Field::value() const { return ds_->valueOf(*this, ds_->activeValues()); }

Value Field::oldValue() const
{
    if (kind_ == Kind::Lookup) return value();
    return ds_->valueOf(*this, ds_->oldValues());
}

QString Field::displayText() const { return ds_->textOf(*this, ds_->activeValues()); }

void Field::setValue(const Value& v) { ds_->setFieldValue(*this, v); }

void Field::setAsString(const QString& v)
{
    if (type_ != FieldType::String && type_ != FieldType::Memo && v.trimmed().isEmpty())
        setValue(Value());
    else
        setValue(Value(v));
}

void Field::setAsBoolean(bool v)
{
    if (type_ == FieldType::String || type_ == FieldType::Memo)
        setValue(Value(v ? "+" : "-"));
    else
        setValue(Value(v ? 1 : 0));
}

Value Field::convert(const Value& v) const
{
    if (v.isNull()) return {};
    switch (type_) {
    case FieldType::Integer:
        if (v.type() == Value::Type::DateTime || v.type() == Value::Type::Bytes)
            throw ConvertError("Invalid variant type conversion");
        if (v.type() == Value::Type::Text && v.asString().trimmed().isEmpty()) return {};
        return Value(static_cast<long long>(v.asInt64()));
    case FieldType::Float:
        if (v.type() == Value::Type::Text && v.asString().trimmed().isEmpty()) return {};
        return Value(v.asDouble());
    case FieldType::Currency:
        if (v.type() == Value::Type::Text && v.asString().trimmed().isEmpty()) return {};
        // Kept at the column's decimals, as the database would keep it.
        return Value(v.asCurrency().rounded(size_ > 0 && size_ < 4 ? size_ : 4));
    case FieldType::String: {
        QString s = v.asString();
        if (size_ > 0 && s.size() > size_) s.truncate(size_);
        return Value(s);
    }
    case FieldType::DateTime:
        return Value(v.asDateTime());
    case FieldType::Memo:
        return Value(v.asString());
    case FieldType::Blob:
        return v.type() == Value::Type::Bytes ? v : Value::bytes(v.asBytes());
    }
    return v;
}

// ---------------------------------------------------------------- DataSet: basics

DataSet::DataSet(QObject* parent) : QObject(parent) {}

DataSet::~DataSet() = default;

DataSetState DataSet::state() const { return tempState_ ? *tempState_ : state_; }

InternalError DataSet::error(const QString& message) const
{
    return InternalError(objectName().isEmpty() ? message : objectName() + ": " + message);
}

void DataSet::checkActive() const
{
    if (!active()) throw error("Cannot perform this operation on a closed dataset");
}

void DataSet::checkInactive() const
{
    if (active()) throw error("Cannot perform this operation on an open dataset");
}

void DataSet::event(Event e, int row, Field* field)
{
    if (controlsDisabled()) return;
    switch (e) {
    case Event::State: emit stateChanged(); break;
    case Event::Data: emit dataChanged(); break;
    case Event::RowInserted: emit rowInserted(row); break;
    case Event::RowRemoved: emit rowRemoved(row); break;
    case Event::RowChanged: emit rowChanged(row); break;
    case Event::Current: emit currentChanged(row); break;
    case Event::FieldSet: emit fieldChanged(field); break;
    case Event::UpdateRecord: emit updateRecordRequested(); break;
    }
    const QList<QPointer<DataSource>> sources = sources_;
    for (const auto& src : sources)
        if (src) src->handle(int(e), row, field);
}

void DataSet::enableControls()
{
    if (disableCount_ == 0 || --disableCount_ > 0) return;
    event(Event::State);
    event(Event::Data);
}

// ---------------------------------------------------------------- fields

QList<Field*> DataSet::fields() const
{
    QList<Field*> out;
    out.reserve(qsizetype(fields_.size()));
    for (const auto& f : fields_) out << f.get();
    return out;
}

Field* DataSet::findField(const QString& name) const
{
    auto scan = [&]() -> Field* {
        for (const auto& f : fields_)
            if (f->name_.compare(name, Qt::CaseInsensitive) == 0) return f.get();
        return nullptr;
    };
    if (Field* f = scan()) return f;
    if (dataColumns_ == 0 && !active()) {
        const_cast<DataSet*>(this)->autoDescribe();
        return scan();
    }
    return nullptr;
}

Field& DataSet::fieldByName(const QString& name) const
{
    if (Field* f = findField(name)) return *f;
    throw error(QString("Field '%1' not found").arg(name));
}

QList<Field*> DataSet::resolveFields(const QString& names) const
{
    QList<Field*> out;
    for (const QString& n : splitNames(names)) out << &fieldByName(n);
    return out;
}

Field& DataSet::addLookupField(const QString& name, const QString& keyFields, DataSet* lookupDataSet,
                               const QString& lookupKeyFields, const QString& lookupResultField, int size)
{
    checkInactive();
    for (const auto& f : fields_)
        if (f->name_.compare(name, Qt::CaseInsensitive) == 0)
            throw error(QString("Duplicate field name '%1'").arg(name));
    std::unique_ptr<Field> f(new Field(this, name, Field::Kind::Lookup, FieldType::String, size));
    f->keyFields_ = keyFields;
    f->lookupDs_ = lookupDataSet;
    f->lookupKeys_ = lookupKeyFields;
    f->lookupResult_ = lookupResultField;
    fields_.push_back(std::move(f));
    ++fieldsVersion_;
    return *fields_.back();
}

Field& DataSet::addCalcField(const QString& name, FieldType type, int size)
{
    checkInactive();
    for (const auto& f : fields_)
        if (f->name_.compare(name, Qt::CaseInsensitive) == 0)
            throw error(QString("Duplicate field name '%1'").arg(name));
    std::unique_ptr<Field> f(new Field(this, name, Field::Kind::Calculated, type, size));
    f->slot_ = dataColumns_ + calcCount_++;
    fields_.push_back(std::move(f));
    ++fieldsVersion_;
    return *fields_.back();
}

void DataSet::defineFields(const std::vector<ColumnInfo>& columns)
{
    std::vector<std::unique_ptr<Field>> next;
    next.reserve(columns.size() + fields_.size());
    auto taken = [&](const QString& n) {
        for (const auto& f : next)
            if (f->name_.compare(n, Qt::CaseInsensitive) == 0) return true;
        return false;
    };
    for (size_t i = 0; i < columns.size(); ++i) {
        const ColumnInfo& c = columns[i];
        const QString base = c.name.isEmpty() ? c.field : c.name;
        QString name = base;
        for (int k = 1; taken(name); ++k) name = base + "_" + QString::number(k);
        std::unique_ptr<Field> f;
        for (auto& old : fields_)
            if (old && old->kind_ == Field::Kind::Data && old->name_.compare(name, Qt::CaseInsensitive) == 0) {
                f = std::move(old);
                break;
            }
        const FieldType type = typeOf(c.kind);
        const int size = type == FieldType::String ? c.charLength
                       : type == FieldType::Currency ? -c.scale : 0;
        if (!f) {
            f.reset(new Field(this, name, Field::Kind::Data, type, size));
            // Computed columns (no relation) are never required.
            f->required_ = !c.nullable && !c.relation.isEmpty();
        }
        f->type_ = type;
        f->size_ = size;
        f->slot_ = int(i);
        f->table_ = c.relation;
        f->column_ = c.relation.isEmpty() ? QString() : c.field;
        next.push_back(std::move(f));
    }
    int calc = 0;
    for (auto& old : fields_) {
        if (!old || old->kind_ == Field::Kind::Data) continue;
        if (taken(old->name_)) throw error(QString("Duplicate field name '%1'").arg(old->name_));
        if (old->kind_ == Field::Kind::Calculated) old->slot_ = int(columns.size()) + calc++;
        next.push_back(std::move(old));
    }
    fields_ = std::move(next);
    dataColumns_ = int(columns.size());
    calcCount_ = calc;
    ++fieldsVersion_;
}

QString DataSet::keyFields() const
{
    if (!keyFields_.isEmpty()) return keyFields_;
    if (!fields_.empty() && fields_.front()->kind_ == Field::Kind::Data) return fields_.front()->name_;
    return {};
}

// ---------------------------------------------------------------- values

Value DataSet::RowRef::at(int slot) const
{
    if (packed) return packed->value(slot);
    return buffer && slot >= 0 && slot < int(buffer->size()) ? (*buffer)[size_t(slot)] : Value();
}

DataSet::RowRef DataSet::activeValues() const
{
    if (context_) return context_;
    if (state_ == DataSetState::Edit || state_ == DataSetState::Insert) return &buffer_;
    if (state_ == DataSetState::Browse && cur_ >= 0 && cur_ < int(view_.size()))
        return &all_[size_t(view_[size_t(cur_)])].values;
    return {};
}

DataSet::RowRef DataSet::oldValues() const
{
    if (context_) return context_;
    if (state_ == DataSetState::Insert) return {};
    if (active() && cur_ >= 0 && cur_ < int(view_.size())) return &all_[size_t(view_[size_t(cur_)])].values;
    return {};
}

DataSet::RowRef DataSet::rowValues(int row) const
{
    if (state_ == DataSetState::Insert) {
        if (row == insertPos_) return &buffer_;
        if (row > insertPos_) --row;
    } else if (state_ == DataSetState::Edit && row == cur_) {
        return &buffer_;
    }
    if (row < 0 || row >= int(view_.size())) return {};
    return &all_[size_t(view_[size_t(row)])].values;
}

Value DataSet::valueOf(const Field& f, RowRef values) const
{
    if (!values) return {};
    if (f.kind_ != Field::Kind::Lookup) return values.at(f.slot_);
    DataSet* target = f.lookupDs_;
    if (!target || !target->active()) return {};
    if (f.keyRefsVersion_ != fieldsVersion_) {
        f.keyRefs_.clear();
        for (Field* k : resolveFields(f.keyFields_)) f.keyRefs_ << k;
        f.keyRefsVersion_ = fieldsVersion_;
    }
    QList<Value> keys;
    for (const Field* k : f.keyRefs_) {
        Value v = valueOf(*k, values);
        if (v.isNull()) return {};
        keys << v;
    }
    return target->lookupIndexed(f.lookupKeys_, keys, f.lookupResult_);
}

QString DataSet::textOf(const Field& f, RowRef values) const
{
    return f.displayTextOf(valueOf(f, values));
}

QString Field::displayTextOf(const Value& v) const
{
    if (v.isNull()) return {};
    try {
        const QString& fmt = format_;
        switch (type_) {
        case FieldType::Integer:
            return fmt.isEmpty() ? QString::number(v.asInt64()) : formatFloat(fmt, Currency::fromInt(v.asInt64()));
        case FieldType::Float:
            return fmt.isEmpty() ? numberText(v.asDouble()) : formatFloat(fmt, v.asDouble());
        case FieldType::Currency:
            return fmt.isEmpty() ? numberText(v.asCurrency()) : formatFloat(fmt, v.asCurrency());
        case FieldType::DateTime:
            return fmt.isEmpty() ? dateTimeToStr(v.asDateTime()) : v.asDateTime().toString(fmt);
        case FieldType::Blob:
            return QStringLiteral("(BLOB)");
        default:
            return v.asString();
        }
    } catch (const ConvertError&) {
        return v.asString();
    }
}

Value DataSet::valueAt(int row, const Field& f) const { return valueOf(f, rowValues(row)); }

QString DataSet::displayTextAt(int row, const Field& f) const { return textOf(f, rowValues(row)); }

void DataSet::setFieldValue(Field& f, const Value& v)
{
    if (f.kind_ == Field::Kind::Lookup) throw error(QString("Field '%1' cannot be modified").arg(f.name_));
    if (tempState_ == DataSetState::CalcFields) {
        if (f.kind_ != Field::Kind::Calculated || !calcTarget_)
            throw error("Dataset not in edit or insert mode");
        (*calcTarget_)[size_t(f.slot_)] = f.convert(v);
        return;
    }
    if (tempState_ || (state_ != DataSetState::Edit && state_ != DataSetState::Insert))
        throw error("Dataset not in edit or insert mode");
    if (f.readOnly_) throw error(QString("Field '%1' cannot be modified").arg(f.name_));
    buffer_[size_t(f.slot_)] = f.convert(v);
    if (!inNewRecord_) modified_ = true;
    if (f.kind_ == Field::Kind::Data) computeCalcFields(buffer_);
    event(Event::FieldSet, currentRow(), &f);
}

void DataSet::computeCalcFields(std::vector<Value>& values)
{
    if (!onCalcFields || calcCount_ == 0) return;
    for (int i = dataColumns_; i < rowWidth() && i < int(values.size()); ++i) values[size_t(i)] = Value();
    const RowRef savedContext = context_;
    auto* savedTarget = calcTarget_;
    const auto savedTemp = tempState_;
    context_ = &values;
    calcTarget_ = &values;
    tempState_ = DataSetState::CalcFields;
    try {
        onCalcFields(*this);
    } catch (...) {
        context_ = savedContext;
        calcTarget_ = savedTarget;
        tempState_ = savedTemp;
        throw;
    }
    context_ = savedContext;
    calcTarget_ = savedTarget;
    tempState_ = savedTemp;
}

// ---------------------------------------------------------------- rows and filter

void DataSet::loadRows()
{
    // Rows are packed as they arrive, straight into the arena, so a large
    // fetch never holds its values twice. With calculated fields they go to a
    // first arena and are packed again with their values once the fetch is
    // over, as the handler may read the database.
    RowArena arena;
    RowArena fetched;
    std::vector<Row> rows;
    RowSink sink;
    bool calc = false;
    sink.columns = [&](const std::vector<ColumnInfo>& columns) {
        defineFields(columns);
        calc = onCalcFields && calcCount_ > 0;
    };
    sink.rows = [&](Statement& s) {
        RowPacker packer(calc ? &fetched : &arena);
        const int missing = rowWidth() - s.columnCount();
        while (s.fetch()) {
            s.pack(packer);
            for (int i = 0; i < missing; ++i) packer.addNull();
            rows.push_back(Row{packer.take(), nextId_++});
        }
    };
    fetchRows(sink);
    if (calc) {
        RowPacker packer(&arena);
        for (Row& row : rows) {
            std::vector<Value> values = row.values.values();
            computeCalcFields(values);
            for (const Value& v : values) packer.add(v);
            row.values = packer.take();
        }
    }
    // The old rows go before the arena that holds them.
    all_ = std::move(rows);
    arena_ = std::move(arena);
    touch();
    rebuildView();
}

bool DataSet::passesFilter(RowRef values)
{
    bool accept = true;
    if (filterExpr_)
        accept = filterExpr_->evaluate([&](const Field& f) { return valueOf(f, values); });
    if (accept && onFilterRecord) {
        const RowRef savedContext = context_;
        const auto savedTemp = tempState_;
        context_ = values;
        tempState_ = DataSetState::Filter;
        try {
            onFilterRecord(*this, accept);
        } catch (...) {
            context_ = savedContext;
            tempState_ = savedTemp;
            throw;
        }
        context_ = savedContext;
        tempState_ = savedTemp;
    }
    return accept;
}

void DataSet::rebuildView()
{
    const bool filtering = filtered_ && (filterExpr_ || onFilterRecord);
    if (filtering && filterExpr_)
        filterExpr_->bind([this](const QString& n) -> const Field* { return &fieldByName(n); });
    std::vector<int> next;
    next.reserve(all_.size());
    for (size_t i = 0; i < all_.size(); ++i)
        if (!filtering || passesFilter(&all_[i].values)) next.push_back(int(i));
    view_ = std::move(next);
    touch();
}

int DataSet::findRow(quint64 id) const
{
    for (size_t i = 0; i < view_.size(); ++i)
        if (all_[size_t(view_[i])].id == id) return int(i);
    return -1;
}

QList<Value> DataSet::keyValues(const QList<Field*>& keys, RowRef values) const
{
    QList<Value> out;
    for (const Field* k : keys) out << valueOf(*k, values);
    return out;
}

void DataSet::setFilter(const QString& text)
{
    auto expr = FilterExpr::parse(text);
    if (!active() || !filtered_) {
        filterText_ = text;
        filterExpr_ = std::move(expr);
        return;
    }
    checkBrowseMode();
    const QString oldText = filterText_;
    auto oldExpr = filterExpr_;
    filterText_ = text;
    filterExpr_ = std::move(expr);
    try {
        rebuildView();
    } catch (...) {
        filterText_ = oldText;
        filterExpr_ = oldExpr;
        throw;
    }
    afterFilterChange();
}

void DataSet::setFiltered(bool on)
{
    if (on == filtered_) return;
    if (!active()) {
        filtered_ = on;
        return;
    }
    checkBrowseMode();
    filtered_ = on;
    try {
        rebuildView();
    } catch (...) {
        filtered_ = !on;
        throw;
    }
    afterFilterChange();
}

void DataSet::refilter()
{
    if (!active()) return;
    checkBrowseMode();
    rebuildView();
    afterFilterChange();
}

void DataSet::afterFilterChange()
{
    cur_ = view_.empty() ? -1 : 0;
    bof_ = true;
    eof_ = view_.empty();
    // One "everything changed" for the views; the scroll events still run.
    disableControls();
    try {
        first();
    } catch (...) {
        enableControls();
        throw;
    }
    enableControls();
}

// ---------------------------------------------------------------- open, close, refresh

void DataSet::open()
{
    if (active()) return;
    if (beforeOpen) beforeOpen(*this);
    try {
        loadRows();
    } catch (...) {
        all_.clear();
        view_.clear();
        arena_ = {};
        afterCloseCleanup();
        throw;
    }
    state_ = DataSetState::Browse;
    cur_ = view_.empty() ? -1 : 0;
    bof_ = true;
    eof_ = view_.empty();
    modified_ = false;
    event(Event::State);
    event(Event::Data);
    if (afterOpen) afterOpen(*this);
    if (!isEmpty() && afterScroll) afterScroll(*this);
}

void DataSet::close()
{
    if (!active()) return;
    if (beforeClose) beforeClose(*this);
    if (!active()) return;           // a handler closed it already
    state_ = DataSetState::Inactive;
    buffer_.clear();
    insertPos_ = -1;
    modified_ = false;
    std::vector<Row>().swap(all_);
    arena_ = {};
    std::vector<int>().swap(view_);
    cur_ = -1;
    bof_ = eof_ = true;
    touch();
    afterCloseCleanup();
    event(Event::State);
    event(Event::Data);
    if (afterClose) afterClose(*this);
}

void DataSet::refresh()
{
    checkActive();
    checkBrowseMode();
    const QList<Field*> keys = resolveFields(keyFields());
    const RowRef current = activeValues();
    const QList<Value> key = current ? keyValues(keys, current) : QList<Value>();
    loadRows();
    int at = -1;
    if (!key.isEmpty()) at = findMatch(resolveFields(keyFields()), key, {});
    if (at < 0) at = std::min(cur_, int(view_.size()) - 1);
    if (at < 0 && !view_.empty()) at = 0;
    cur_ = at;
    bof_ = eof_ = view_.empty();
    event(Event::Data);
}

void DataSet::refreshRecord()
{
    checkActive();
    checkBrowseMode();
    if (cur_ < 0) return;
    const QStringList names = splitNames(keyFields());
    const QList<Field*> keys = resolveFields(keyFields());
    Row& row = all_[size_t(view_[size_t(cur_)])];
    auto fresh = fetchRecord(names, keyValues(keys, &row.values));
    if (!fresh) throw UserError("Запись не найдена: её удалил другой пользователь или изменил её ключ.");
    if (int(fresh->size()) != dataColumns_) throw error("The statement returned other columns");
    fresh->resize(size_t(rowWidth()));
    computeCalcFields(*fresh);
    row.values = PackedRow::fromValues(*fresh);
    touch();
    event(Event::RowChanged, cur_);
}

void DataSet::setWrittenValue(Field& f, const Value& v)
{
    if ((state_ != DataSetState::Edit && state_ != DataSetState::Insert) || f.slot_ < 0
        || f.slot_ >= int(buffer_.size()))
        return;
    buffer_[size_t(f.slot_)] = v;
    takenOnWrite_ = true;
}

std::optional<std::vector<Value>> DataSet::fetchRecord(const QStringList&, const QList<Value>&)
{
    throw error("This dataset cannot re-read a record");
}

bool DataSet::writeRow(WriteKind)
{
    throw error("Cannot modify a read-only dataset");
}

// ---------------------------------------------------------------- navigation

void DataSet::first()
{
    checkBrowseMode();
    if (beforeScroll) beforeScroll(*this);
    cur_ = view_.empty() ? -1 : 0;
    bof_ = true;
    eof_ = view_.empty();
    notifyCurrent();
    if (afterScroll) afterScroll(*this);
}

void DataSet::last()
{
    checkBrowseMode();
    if (beforeScroll) beforeScroll(*this);
    cur_ = int(view_.size()) - 1;
    eof_ = true;
    bof_ = view_.empty();
    notifyCurrent();
    if (afterScroll) afterScroll(*this);
}

int DataSet::moveBy(int distance)
{
    checkBrowseMode();
    if (beforeScroll) beforeScroll(*this);
    int moved = 0;
    if ((distance > 0 && !eof_) || (distance < 0 && !bof_)) {
        bof_ = eof_ = false;
        const int n = int(view_.size());
        int target = cur_ + distance;
        if (target >= n) { target = n - 1; eof_ = true; }
        if (target < 0) { target = n > 0 ? 0 : -1; bof_ = true; }
        if (n == 0) bof_ = eof_ = true;
        moved = target - cur_;
        cur_ = target;
        if (moved != 0) notifyCurrent();
    }
    if (afterScroll) afterScroll(*this);
    return moved;
}

int DataSet::findMatch(const QList<Field*>& keys, const QList<Value>& values, LocateOptions options) const
{
    if (keys.size() != values.size()) throw error("The number of key values does not match the key fields");
    std::vector<Key> wanted;
    for (int k = 0; k < keys.size(); ++k) wanted.push_back(keyOf(values[k], keys[k]->type()));
    const Qt::CaseSensitivity cs = options.testFlag(LocateOption::CaseInsensitive) ? Qt::CaseInsensitive
                                                                                  : Qt::CaseSensitive;
    const bool loose = options != LocateOptions();
    for (size_t i = 0; i < view_.size(); ++i) {
        const RowRef row = &all_[size_t(view_[i])].values;
        bool all = true;
        for (int k = 0; k < keys.size() && all; ++k) {
            const Value v = valueOf(*keys[k], row);
            const Value& key = values[k];
            if (key.isNull() || v.isNull()) {
                all = key.isNull() && v.isNull();
            } else if (loose && (keys[k]->type() == FieldType::String || keys[k]->type() == FieldType::Memo)) {
                const QString a = v.asString(), b = key.asString();
                all = options.testFlag(LocateOption::PartialKey) ? a.startsWith(b, cs)
                                                                 : a.compare(b, cs) == 0;
            } else {
                all = keyOf(v, keys[k]->type()) == wanted[size_t(k)];
            }
        }
        if (all) return int(i);
    }
    return -1;
}

bool DataSet::locate(const QString& keyFields, const Value& value, LocateOptions options)
{
    return locate(keyFields, QList<Value>{value}, options);
}

bool DataSet::locate(const QString& keyFields, const QList<Value>& values, LocateOptions options)
{
    checkActive();
    if (beforeScroll) beforeScroll(*this);
    checkBrowseMode();
    const int at = findMatch(resolveFields(keyFields), values, options);
    if (at < 0) return false;
    cur_ = at;
    bof_ = eof_ = false;
    notifyCurrent();
    if (afterScroll) afterScroll(*this);
    return true;
}

Value DataSet::lookup(const QString& keyFields, const Value& value, const QString& resultField) const
{
    return lookup(keyFields, QList<Value>{value}, resultField);
}

Value DataSet::lookup(const QString& keyFields, const QList<Value>& values, const QString& resultField) const
{
    return lookupIndexed(keyFields, values, resultField);
}

Value DataSet::lookupIndexed(const QString& keyNames, const QList<Value>& keys, const QString& resultName) const
{
    if (!active()) return {};
    if (indexedVersion_ != version_) {
        lookupIndexes_.clear();
        indexedVersion_ = version_;
    }
    LookupIndex* index = nullptr;
    for (auto& li : lookupIndexes_)
        if (li.keys.compare(keyNames, Qt::CaseInsensitive) == 0) { index = &li; break; }
    if (!index) {
        LookupIndex li;
        li.keys = keyNames;
        for (Field* f : resolveFields(keyNames)) li.fields << f;
        li.rows.reserve(qsizetype(view_.size()));
        for (size_t i = 0; i < view_.size(); ++i) {
            const RowRef row = &all_[size_t(view_[i])].values;
            QString k;
            bool complete = true;
            for (const Field* f : li.fields) {
                const QString t = keyText(valueOf(*f, row), f->type());
                if (t.isEmpty()) { complete = false; break; }
                k += t;
                k += QChar(0x1F);
            }
            if (complete && !li.rows.contains(k)) li.rows.insert(k, int(i));
        }
        lookupIndexes_.push_back(std::move(li));
        index = &lookupIndexes_.back();
    }
    if (keys.size() != index->fields.size())
        throw error("The number of key values does not match the key fields");
    QString k;
    for (int i = 0; i < keys.size(); ++i) {
        const QString t = keyText(keys[i], index->fields[i]->type());
        if (t.isEmpty()) return {};
        k += t;
        k += QChar(0x1F);
    }
    const auto it = index->rows.constFind(k);
    if (it == index->rows.constEnd()) return {};
    return valueOf(fieldByName(resultName), &all_[size_t(view_[size_t(it.value())])].values);
}

Bookmark DataSet::bookmark() const
{
    if (state_ == DataSetState::Insert || cur_ < 0 || cur_ >= int(view_.size())) return {};
    return {all_[size_t(view_[size_t(cur_)])].id};
}

bool DataSet::bookmarkValid(const Bookmark& b) const
{
    return !b.isNull() && active() && findRow(b.id) >= 0;
}

void DataSet::gotoBookmark(const Bookmark& b)
{
    checkActive();
    checkBrowseMode();
    if (beforeScroll) beforeScroll(*this);
    const int at = b.isNull() ? -1 : findRow(b.id);
    if (at < 0) throw error("Record not found");
    cur_ = at;
    bof_ = eof_ = false;
    notifyCurrent();
    if (afterScroll) afterScroll(*this);
}

int DataSet::rowCount() const
{
    return int(view_.size()) + (state_ == DataSetState::Insert ? 1 : 0);
}

int DataSet::currentRow() const
{
    return state_ == DataSetState::Insert ? insertPos_ : cur_;
}

RowState DataSet::rowState(int row) const
{
    if (state_ == DataSetState::Insert && row == insertPos_) return RowState::Inserted;
    if (state_ == DataSetState::Edit && row == cur_) return RowState::Edited;
    return RowState::Unchanged;
}

void DataSet::setCurrentRow(int row)
{
    checkActive();
    if (row == currentRow() || row < 0 || row >= rowCount()) return;
    int viewRow = row;
    if (state_ == DataSetState::Insert && row > insertPos_) --viewRow;
    const quint64 target = all_[size_t(view_[size_t(viewRow)])].id;
    checkBrowseMode();
    if (beforeScroll) beforeScroll(*this);
    const int at = findRow(target);
    if (at >= 0 && at != cur_) {
        cur_ = at;
        bof_ = eof_ = false;
        notifyCurrent();
    }
    if (afterScroll) afterScroll(*this);
}

// ---------------------------------------------------------------- editing

void DataSet::postDetails()
{
    for (const QPointer<DataSource>& src : QList<QPointer<DataSource>>(sources_)) {
        if (!src) continue;
        const QList<QPointer<Query>> details = src->details_;
        for (const QPointer<Query>& q : details)
            if (q && q->active()) q->checkBrowseMode();
    }
}

void DataSet::checkBrowseMode()
{
    checkActive();
    // A detail's pending row is written before its master moves or writes; when
    // that fails, the master stays where it is and the typed values stay too.
    postDetails();
    if (state_ != DataSetState::Edit && state_ != DataSetState::Insert) return;
    updateRecord();
    if (modified_) post();
    else cancel();
}

void DataSet::updateRecord()
{
    if (state_ != DataSetState::Edit && state_ != DataSetState::Insert)
        throw error("Dataset not in edit or insert mode");
    event(Event::UpdateRecord);
}

void DataSet::applyUpdates()
{
    if (state_ == DataSetState::Edit || state_ == DataSetState::Insert) post();
}

void DataSet::edit()
{
    checkActive();
    if (state_ == DataSetState::Edit || state_ == DataSetState::Insert) return;
    if (view_.empty()) {
        insert();
        return;
    }
    if (!canModify()) throw error("Cannot modify a read-only dataset");
    if (beforeEdit) beforeEdit(*this);
    goneRow_ = 0;
    buffer_ = all_[size_t(view_[size_t(cur_)])].values.values();
    state_ = DataSetState::Edit;
    modified_ = false;
    event(Event::State);
    if (afterEdit) afterEdit(*this);
}

void DataSet::insert() { startInsert(false); }
void DataSet::append() { startInsert(true); }

void DataSet::startInsert(bool atEnd)
{
    checkBrowseMode();
    if (!canModify()) throw error("Cannot modify a read-only dataset");
    if (beforeInsert) beforeInsert(*this);
    if (beforeScroll) beforeScroll(*this);
    buffer_.assign(size_t(rowWidth()), Value());
    insertPos_ = atEnd || cur_ < 0 ? int(view_.size()) : cur_;
    state_ = DataSetState::Insert;
    modified_ = false;
    event(Event::RowInserted, insertPos_);
    event(Event::State);
    event(Event::Current, insertPos_);
    inNewRecord_ = true;
    try {
        if (onNewRecord) onNewRecord(*this);
        computeCalcFields(buffer_);
    } catch (...) {
        // A refused new row never stays: back to the row we came from.
        inNewRecord_ = false;
        const int pos = insertPos_;
        if (state_ == DataSetState::Insert) {
            buffer_.clear();
            insertPos_ = -1;
            state_ = DataSetState::Browse;
            modified_ = false;
            try {
                event(Event::RowRemoved, pos);
                event(Event::State);
                notifyCurrent();
            } catch (...) {
                // the original failure is the one to report
            }
        }
        throw;
    }
    inNewRecord_ = false;
    modified_ = false;
    bof_ = false;
    eof_ = atEnd;
    if (afterInsert) afterInsert(*this);
    if (afterScroll) afterScroll(*this);
}

void DataSet::post()
{
    checkActive();
    if (state_ != DataSetState::Edit && state_ != DataSetState::Insert) return;
    postDetails();
    updateRecord();
    bool inserting = false;
    bool committed = false;
    {
        const WriteBracket bracket(*this);
        if (beforePost) beforePost(*this);
        if (state_ != DataSetState::Edit && state_ != DataSetState::Insert) return;   // the handler cancelled
        inserting = state_ == DataSetState::Insert;
        for (const auto& f : fields_) {
            if (f->kind_ != Field::Kind::Data) continue;
            const Value& v = buffer_[size_t(f->slot_)];
            if (f->required_ && v.isNull())
                throw UserError(QString("Поле «%1» должно быть заполнено.").arg(f->displayLabel()));
            // A text typed or read from a file may hold what no column should get; a
            // value as read is written back as it is, whatever bytes it holds.
            if ((f->type_ == FieldType::String || f->type_ == FieldType::Memo) && !v.isNull()
                && (inserting || v.asString() != f->oldValue().asString()))
                if (const qsizetype at = cp1251::refusedAt(v.asString()); at >= 0)
                    throw CodePageError(v.asString(), at, f->displayLabel(), this, f->name_);
        }
        // Throws when the database refuses: the row stays in edit or insert with its values.
        takenOnWrite_ = false;
        try {
            committed = writeRow(inserting ? WriteKind::Insert : WriteKind::Modify);
        } catch (const ConflictError& e) {
            if (e.isRowGone() && !inserting && state_ == DataSetState::Edit && cur_ >= 0)
                goneRow_ = all_[size_t(view_[size_t(cur_)])].id;
            throw;
        }
    }
    if (takenOnWrite_) computeCalcFields(buffer_);
    if (!inserting) {
        all_[size_t(view_[size_t(cur_)])].values = PackedRow::fromValues(buffer_);
    } else {
        const int allPos = insertPos_ < int(view_.size()) ? view_[size_t(insertPos_)] : int(all_.size());
        all_.insert(all_.begin() + allPos, Row{PackedRow::fromValues(buffer_), nextId_++});
        for (int& i : view_)
            if (i >= allPos) ++i;
        view_.insert(view_.begin() + insertPos_, allPos);
        cur_ = insertPos_;
    }
    buffer_.clear();
    insertPos_ = -1;
    state_ = DataSetState::Browse;
    modified_ = false;
    bof_ = eof_ = false;
    touch();
    // The row is saved: a detail reopened for it or an after-post handler that
    // fails from here on is told as a failed refresh, not as a failed save.
    try {
        event(Event::State);
        event(Event::RowChanged, cur_);
        if (afterPost) afterPost(*this);
    } catch (...) {
        if (committed) refreshFailed("Запись сохранена.");
        throw;
    }
}

void DataSet::cancel()
{
    checkActive();
    if (state_ != DataSetState::Edit && state_ != DataSetState::Insert) return;
    if (beforeCancel) beforeCancel(*this);
    const bool inserting = state_ == DataSetState::Insert;
    const int pos = insertPos_;
    buffer_.clear();
    insertPos_ = -1;
    state_ = DataSetState::Browse;
    modified_ = false;
    const quint64 gone = std::exchange(goneRow_, 0);
    if (!inserting && gone != 0 && cur_ >= 0 && all_[size_t(view_[size_t(cur_)])].id == gone) {
        dropCurrentRow();
        event(Event::State);
        notifyCurrent();
        if (afterCancel) afterCancel(*this);
        if (afterScroll) afterScroll(*this);
        return;
    }
    if (view_.empty()) {
        cur_ = -1;
        bof_ = eof_ = true;
    }
    if (inserting) event(Event::RowRemoved, pos);
    event(Event::State);
    if (!inserting && cur_ >= 0) event(Event::RowChanged, cur_);
    if (inserting) notifyCurrent();
    if (afterCancel) afterCancel(*this);
}

void DataSet::dropCurrentRow()
{
    const int removed = cur_;
    const int allPos = view_[size_t(cur_)];
    all_.erase(all_.begin() + allPos);
    view_.erase(view_.begin() + cur_);
    for (int& i : view_)
        if (i > allPos) --i;
    touch();
    const int n = int(view_.size());
    bof_ = n == 0;
    eof_ = cur_ >= n;
    if (cur_ >= n) cur_ = n - 1;
    event(Event::RowRemoved, removed);
}

void DataSet::remove()
{
    checkActive();
    if (state_ == DataSetState::Insert) {
        cancel();
        return;
    }
    if (view_.empty()) throw error("Cannot perform this operation on an empty dataset");
    if (!canModify()) throw error("Cannot modify a read-only dataset");
    postDetails();
    if (beforeDelete) beforeDelete(*this);
    if (beforeScroll) beforeScroll(*this);
    // The statement sees the row as stored, also when an edit was under way.
    const DataSetState was = state_;
    state_ = DataSetState::Browse;
    bool committed = false;
    try {
        committed = writeRow(WriteKind::Delete);
    } catch (...) {
        state_ = was;
        throw;
    }
    buffer_.clear();
    modified_ = false;
    try {
        dropCurrentRow();
        if (was != DataSetState::Browse) event(Event::State);
        notifyCurrent();
        if (afterDelete) afterDelete(*this);
        if (afterScroll) afterScroll(*this);
    } catch (...) {
        if (committed) refreshFailed("Запись удалена.");
        throw;
    }
}

} // namespace fw
