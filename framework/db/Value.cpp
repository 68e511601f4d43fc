#include "Value.h"

#include "DbError.h"

#include <QLocale>
#include <cmath>

namespace fw {

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
    case Type::DateTime: return std::get<QDateTime>(data_).date().toJulianDay();
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
    case Type::DateTime: return dateTimeToStr(std::get<QDateTime>(data_));
    case Type::Bytes: return QString::fromUtf8(std::get<QByteArray>(data_));
    }
    return {};
}

QDateTime Value::asDateTime() const
{
    switch (type()) {
    case Type::Null: return {};
    case Type::DateTime: return std::get<QDateTime>(data_);
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
    case Type::DateTime: return std::get<QDateTime>(data_);
    case Type::Bytes: return std::get<QByteArray>(data_);
    }
    return {};
}

bool Value::operator==(const Value& o) const
{
    if (type() == o.type()) return data_ == o.data_;
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
