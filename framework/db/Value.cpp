#include "Value.h"

#include "DbError.h"

#include <QLocale>
#include <QTimeZone>
#include <algorithm>
#include <cmath>
#include <vector>

namespace fw {

namespace {

constexpr int64_t kDayMsecs = 86400000;

int64_t wallMsecs(QDate d, int msecsOfDay) { return d.toJulianDay() * kDayMsecs + msecsOfDay; }

// The local wall-clock spans the clock skips when it moves forward: a local
// QDateTime there is invalid. Read from the system time zone once, so that a
// fetch does not ask the C library (which checks the zone file) per value;
// outside the covered years Qt answers as before.
class SkippedSpans {
public:
    SkippedSpans()
    {
        const QDate from(1900, 1, 1), to(2100, 1, 1);
        const QTimeZone tz = QTimeZone::systemTimeZone();
        if (!tz.isValid() || !tz.hasTransitions()) {
            covered_ = !tz.isValid() ? false : !tz.hasDaylightTime();
            coverFrom_ = wallMsecs(from, 0);
            coverTo_ = wallMsecs(to, 0);
            return;
        }
        const auto list = tz.transitions(QDateTime(from, QTime(0, 0), Qt::UTC), QDateTime(to, QTime(0, 0), Qt::UTC));
        for (const QTimeZone::OffsetData& t : list) {
            const int before = tz.offsetFromUtc(t.atUtc.addMSecs(-1));
            const int after = t.offsetFromUtc;
            if (after <= before) continue;
            const QDateTime local = t.atUtc.addSecs(before);
            const int64_t start = wallMsecs(local.date(), local.time().msecsSinceStartOfDay());
            spans_.push_back({start, start + int64_t(after - before) * 1000});
        }
        covered_ = true;
        coverFrom_ = wallMsecs(from, 0) + kDayMsecs;
        coverTo_ = wallMsecs(to, 0) - kDayMsecs;
        // A zone that still changes its clocks lists its changes only so far
        // (the rest follows a rule): beyond the last one Qt answers.
        if (tz.hasDaylightTime() && !list.isEmpty())
            coverTo_ = std::min(coverTo_, wallMsecs(list.last().atUtc.date(), 0) - kDayMsecs);
    }

    bool skipped(QDate d, int msecsOfDay) const
    {
        const int64_t at = wallMsecs(d, msecsOfDay);
        if (!covered_ || at < coverFrom_ || at >= coverTo_)
            return !QDateTime(d, QTime::fromMSecsSinceStartOfDay(msecsOfDay)).isValid();
        auto it = std::upper_bound(spans_.begin(), spans_.end(), at,
                                   [](int64_t x, const std::pair<int64_t, int64_t>& s) { return x < s.first; });
        return it != spans_.begin() && at < std::prev(it)->second;
    }

private:
    std::vector<std::pair<int64_t, int64_t>> spans_;   // [start, end) in wall-clock msecs, ascending
    bool covered_ = false;
    int64_t coverFrom_ = 0;
    int64_t coverTo_ = 0;
};

const SkippedSpans& skippedSpans()
{
    static const SkippedSpans spans;
    return spans;
}

} // namespace

QDate Value::Stamp::date() const { return QDate::fromJulianDay(msecs / kDayMsecs); }

QTime Value::Stamp::time() const { return QTime::fromMSecsSinceStartOfDay(int(msecs % kDayMsecs)); }

Value Value::localTime(QDate date, int msecsOfDay)
{
    Value v;
    if (!date.isValid() || msecsOfDay < 0 || msecsOfDay >= kDayMsecs) return v;
    if (skippedSpans().skipped(date, msecsOfDay)) return v;
    v.data_ = Stamp{wallMsecs(date, msecsOfDay)};
    return v;
}

Value::Value(const QDateTime& v)
{
    if (v.isValid()) data_ = v;
}

Value::Value(QDate v)
{
    if (v.isValid()) data_ = QDateTime(v, QTime(0, 0));
}

Value Value::fromVariant(const QVariant& v)
{
    if (v.isNull() || !v.isValid()) return {};
    switch (v.typeId()) {
    case QMetaType::Int: case QMetaType::UInt: case QMetaType::LongLong:
    case QMetaType::Long: case QMetaType::Short: case QMetaType::UShort:
        return Value(v.toLongLong());
    case QMetaType::Bool: return Value(v.toBool() ? 1 : 0);
    case QMetaType::Double: case QMetaType::Float: return Value(v.toDouble());
    case QMetaType::QDateTime: return Value(v.toDateTime());
    case QMetaType::QDate: return Value(v.toDate());
    case QMetaType::QByteArray: return bytes(v.toByteArray());
    default:
        if (v.canConvert<Currency>()) return Value(v.value<Currency>());
        return Value(v.toString());
    }
}

int64_t Value::asInt64() const
{
    switch (type()) {
    case Type::Null: return 0;
    case Type::Int: return std::get<int64_t>(data_);
    case Type::Double: return static_cast<int64_t>(std::llround(std::get<double>(data_)));
    case Type::Currency: return divideHalfEven(std::get<Currency>(data_).scaled(), Currency::Scale);
    case Type::Text: {
        const QString s = std::get<QString>(data_).trimmed();
        if (s.isEmpty()) return 0;
        bool ok = false;
        const qlonglong n = s.toLongLong(&ok);
        if (!ok) throw ConvertError(QString("'%1' is not a valid integer value").arg(s));
        return n;
    }
    case Type::DateTime:
        if (const Stamp* st = std::get_if<Stamp>(&data_)) return st->msecs / kDayMsecs;
        return std::get<QDateTime>(data_).date().toJulianDay();
    case Type::Bytes: break;
    }
    throw ConvertError("Invalid variant type conversion");
}

double Value::asDouble() const
{
    switch (type()) {
    case Type::Null: return 0.0;
    case Type::Int: return double(std::get<int64_t>(data_));
    case Type::Double: return std::get<double>(data_);
    case Type::Currency: return std::get<Currency>(data_).toDouble();
    case Type::Text: {
        const QString s = std::get<QString>(data_).trimmed();
        if (s.isEmpty()) return 0.0;
        bool ok = false;
        double d = QString(s).replace(',', '.').toDouble(&ok);
        if (!ok) throw ConvertError(QString("'%1' is not a valid floating point value").arg(s));
        return d;
    }
    default: break;
    }
    throw ConvertError("Invalid variant type conversion");
}

Currency Value::asCurrency() const
{
    switch (type()) {
    case Type::Null: return {};
    case Type::Int: return Currency::fromInt(std::get<int64_t>(data_));
    case Type::Double: return Currency::fromDouble(std::get<double>(data_));
    case Type::Currency: return std::get<Currency>(data_);
    case Type::Text: {
        const QString s = std::get<QString>(data_).trimmed();
        if (s.isEmpty()) return {};
        if (auto c = Currency::parse(s)) return *c;
        throw ConvertError(QString("'%1' is not a valid floating point value").arg(s));
    }
    default: break;
    }
    throw ConvertError("Invalid variant type conversion");
}

QString Value::asString() const
{
    switch (type()) {
    case Type::Null: return {};
    case Type::Int: return QString::number(std::get<int64_t>(data_));
    case Type::Double: return QString::number(std::get<double>(data_), 'g', QLocale::FloatingPointShortest);
    case Type::Currency: return std::get<Currency>(data_).toShortString();
    case Type::Text: return std::get<QString>(data_);
    case Type::DateTime:
        if (const Stamp* st = std::get_if<Stamp>(&data_)) {
            QString s = dateToStr(st->date());
            if (st->msecs % kDayMsecs != 0) s += ' ' + st->time().toString("hh:mm");
            return s;
        }
        return dateTimeToStr(std::get<QDateTime>(data_));
    case Type::Bytes: return QString::fromUtf8(std::get<QByteArray>(data_));
    }
    return {};
}

QDateTime Value::asDateTime() const
{
    switch (type()) {
    case Type::Null: return {};
    case Type::DateTime:
        if (const Stamp* st = std::get_if<Stamp>(&data_)) return QDateTime(st->date(), st->time());
        return std::get<QDateTime>(data_);
    case Type::Text: {
        const QString s = std::get<QString>(data_).trimmed();
        if (s.isEmpty()) return {};
        QDateTime d = strToDateTime(s);
        if (!d.isValid()) throw ConvertError(QString("'%1' is not a valid date").arg(s));
        return d;
    }
    default: break;
    }
    throw ConvertError("Invalid variant type conversion");
}

QByteArray Value::asBytes() const
{
    if (type() == Type::Bytes) return std::get<QByteArray>(data_);
    return asString().toUtf8();
}

bool Value::asBool() const
{
    switch (type()) {
    case Type::Null: return false;
    case Type::Text: return std::get<QString>(data_).trimmed() == "+";
    case Type::Int: return std::get<int64_t>(data_) != 0;
    case Type::Double: return std::get<double>(data_) != 0.0;
    case Type::Currency: return !std::get<Currency>(data_).isZero();
    default: return false;
    }
}

QVariant Value::toVariant() const
{
    switch (type()) {
    case Type::Null: return {};
    case Type::Int: return QVariant::fromValue<qlonglong>(std::get<int64_t>(data_));
    case Type::Double: return std::get<double>(data_);
    case Type::Currency: return QVariant::fromValue(std::get<Currency>(data_));
    case Type::Text: return std::get<QString>(data_);
    case Type::DateTime: return asDateTime();
    case Type::Bytes: return std::get<QByteArray>(data_);
    }
    return {};
}

bool Value::operator==(const Value& o) const
{
    if (data_.index() == o.data_.index()) return data_ == o.data_;
    if (type() == Type::DateTime && o.type() == Type::DateTime) return asDateTime() == o.asDateTime();
    if (isNull() || o.isNull()) return false;
    auto numeric = [](Type t) { return t == Type::Int || t == Type::Double || t == Type::Currency; };
    if (numeric(type()) && numeric(o.type())) {
        if (type() == Type::Double || o.type() == Type::Double) return asDouble() == o.asDouble();
        return asCurrency() == o.asCurrency();
    }
    return asString() == o.asString();
}

QString dateToStr(const QDate& d)
{
    return d.isValid() ? d.toString("dd.MM.yyyy") : QString();
}

QString dateTimeToStr(const QDateTime& dt)
{
    if (!dt.isValid()) return {};
    QString s = dateToStr(dt.date());
    if (dt.time() != QTime(0, 0))
        s += ' ' + dt.time().toString("hh:mm");
    return s;
}

QDateTime strToDateTime(const QString& text)
{
    const QString s = text.simplified();
    const int blank = s.indexOf(' ');
    const QDate d = QDate::fromString(blank < 0 ? s : s.left(blank), "d.M.yyyy");
    if (!d.isValid()) return {};
    if (blank < 0) return QDateTime(d, QTime(0, 0));
    const QString t = s.mid(blank + 1);
    QTime tm = QTime::fromString(t, "h:m:s");
    if (!tm.isValid()) tm = QTime::fromString(t, "h:m");
    if (!tm.isValid()) return {};
    return QDateTime(d, tm);
}

} // namespace fw
