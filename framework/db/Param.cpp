#include "Param.h"

#include "DbError.h"

namespace fw {

Param* ParamList::find(const QString& name) const
{
    for (const auto& p : items_)
        if (p->name().compare(name, Qt::CaseInsensitive) == 0) return p.get();
    return nullptr;
}

Param& ParamList::byName(const QString& name) const
{
    if (Param* p = find(name)) return *p;
    throw InternalError(QString("Parameter '%1' not found").arg(name));
}

QList<Param*> ParamList::list() const
{
    QList<Param*> out;
    out.reserve(qsizetype(items_.size()));
    for (const auto& p : items_) out << p.get();
    return out;
}

void ParamList::reset(const QStringList& names)
{
    std::vector<std::unique_ptr<Param>> next;
    next.reserve(size_t(names.size()));
    for (const QString& n : names) {
        auto p = std::make_unique<Param>(n);
        if (Param* old = find(n); old && old->bound()) p->setValue(old->value());
        next.push_back(std::move(p));
    }
    items_ = std::move(next);
}

Param& ParamList::add(const QString& name)
{
    items_.push_back(std::make_unique<Param>(name));
    return *items_.back();
}

} // namespace fw
