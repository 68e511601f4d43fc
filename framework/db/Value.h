#pragma once

#include "Currency.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVariant>
#include <variant>

namespace fw {

// One database value. Dialect-1 DATE is a timestamp, so dates are QDateTime
// (wall-clock, local spec) and never a date alone.
class Value {
public:
    enum class Type { Null, Int, Double, Currency, Text, DateTime, Bytes };

    Value() = default;
    Value(std::nullptr_t) {}
    Value(int v) : data_(int64_t(v)) {}
    Value(long v) : data_(int64_t(v)) {}
    Value(long long v) : data_(int64_t(v)) {}
    Value(double v) : data_(v) {}
    Value(Currency v) : data_(v) {}
    Value(const QString& v) : data_(v) {}
    Value(const char* v) : data_(QString::fromUtf8(v)) {}
    Value(const QDateTime& v);
    Value(QDate v);
    static Value bytes(const QByteArray& b) { Value x; x.data_ = b; return x; }
    // The local wall-clock time a stored timestamp names: the same value as
    // Value(QDateTime(date, time)), NULL in a skipped hour, but kept as a number
    // and turned into a QDateTime only when asked for.
    static Value localTime(QDate date, int msecsOfDay);
    static Value fromVariant(const QVariant& v);

    Type type() const { return data_.index() == kStampIndex ? Type::DateTime : static_cast<Type>(data_.index()); }
    bool isNull() const { return type() == Type::Null; }

    // Conversions follow the framework's field getters: NULL reads as 0,
    // an empty text or an invalid date; a text that is not a number throws.
    int64_t asInt64() const;
    int asInt() const { return static_cast<int>(asInt64()); }
    double asDouble() const;
    Currency asCurrency() const;
    QString asString() const;
    QDateTime asDateTime() const;
    QByteArray asBytes() const;
    bool asBool() const;         // "+" is true; numbers: non-zero
    QVariant toVariant() const;

    bool operator==(const Value& o) const;
    bool operator!=(const Value& o) const { return !(*this == o); }

private:
    friend class PackedRow;
    friend class RowPacker;
    // Julian day * msecs per day + msecs of the day, local wall-clock.
    struct Stamp {
        int64_t msecs;
        bool operator==(const Stamp&) const = default;
        QDate date() const;
        QTime time() const;
    };
    static constexpr size_t kStampIndex = 7;
    std::variant<std::monostate, int64_t, double, Currency, QString, QDateTime, QByteArray, Stamp> data_;
};

// "dd.mm.yyyy", with " hh:mm" when the time of day is not midnight.
QString dateTimeToStr(const QDateTime& dt);
QString dateToStr(const QDate& d);
// Reads "dd.mm.yyyy" with an optional "hh:mm" or "hh:mm:ss"; invalid on failure.
QDateTime strToDateTime(const QString& s);

} // namespace fw
