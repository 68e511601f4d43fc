#pragma once

#include "Value.h"

#include <QList>
#include <QString>
#include <memory>
#include <vector>

namespace fw {

// A named statement parameter: an input of a query, or an output of a stored
// procedure after it ran. Assigning any value (NULL included) binds it.
class Param {
public:
    explicit Param(QString name) : name_(std::move(name)) {}

    const QString& name() const { return name_; }
    const Value& value() const { return value_; }
    bool isNull() const { return value_.isNull(); }
    bool bound() const { return bound_; }

    void setValue(const Value& v) { value_ = v; bound_ = true; }
    Param& operator=(const Value& v) { setValue(v); return *this; }
    void clear() { setValue(Value()); }

    int asInteger() const { return value_.asInt(); }
    double asFloat() const { return value_.asDouble(); }
    Currency asCurrency() const { return value_.asCurrency(); }
    QString asString() const { return value_.asString(); }
    QDateTime asDateTime() const { return value_.asDateTime(); }
    bool asBoolean() const { return value_.asBool(); }

    void setAsInteger(int v) { setValue(v); }
    void setAsFloat(double v) { setValue(v); }
    void setAsCurrency(Currency v) { setValue(v); }
    void setAsString(const QString& v) { setValue(v); }
    void setAsDateTime(const QDateTime& v) { setValue(v); }

private:
    QString name_;
    Value value_;
    bool bound_ = false;
};

// Parameters by name (case-insensitive), in order of first use.
class ParamList {
public:
    int count() const { return int(items_.size()); }
    Param& at(int i) const { return *items_[size_t(i)]; }
    Param* find(const QString& name) const;
    // Throws "Parameter 'X' not found".
    Param& byName(const QString& name) const;
    QList<Param*> list() const;

    // Replaces the list by these names, keeping the values of names that stay.
    void reset(const QStringList& names);
    Param& add(const QString& name);
    void clear() { items_.clear(); }

private:
    std::vector<std::unique_ptr<Param>> items_;
};

} // namespace fw
