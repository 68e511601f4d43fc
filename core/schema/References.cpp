#include "References.h"

#include "db/Database.h"
#include "db/Statement.h"

namespace schema {

namespace {

constexpr bool F = true;    // feminine title
constexpr bool M = false;

const char* const kCards[] = {"карточке клиента", "карточках клиентов"};
const char* const kDeals[] = {"сделке", "сделках"};
const char* const kDealGoods = "IDSDELKA is not null";
const char* const kClientGoods = "IDSDELKA is null";
const char* const kPlans = "HISTORY = '-'";
const char* const kHistory = "HISTORY is distinct from '-'";

} // namespace

const QList<Referenced>& referencedTables()
{
    static const QList<Referenced> tables{
        {"GRITEM", "IDGRITEM", "GRITEM", "Группа рассылки", F, nullptr},
        {"ITEM", "IDITEM", "ITEM", "Материал рассылки", M, nullptr},
        {"GRTOVAR", "IDGRTOVAR", "GRTOVAR", "Группа товара", F, nullptr},
        {"TOVAR", "IDTOVAR", "TOVAR", "Товар", M, nullptr},
        {"COUNTRY", "IDCOUNTRY", "COUNTRY", "Страна", F, nullptr},
        {"REGION", "IDREGION", "REGION", "Регион", M, nullptr},
        {"DISTRICT", "IDDISTRICT", "DISTRICT", "Район", M, nullptr},
        {"SEGMENTT", "IDSEGMENT", "SEGMENTT", "Сегмент", M, nullptr},
        {"SEGMENTT2", "IDSEGMENT2", "SEGMENTT2", "Сегмент2", M, nullptr},
        {"REKLAMA", "IDREKLAMA", "REKLAMA", "Источник", M, nullptr},
        {"REKLAMA2", "IDREKLAMA2", "REKLAMA2", "Источник2", M, nullptr},
        {"PRICHINA", "IDPRICHINA", "PRICHINA", "Причина", F, nullptr},
        {"PRICHINA2", "IDPRICHINA2", "PRICHINA2", "Причина2", F, nullptr},
        {"SDELKATYPE", "IDSDELKATYPE", "SDELKATYPE", "Тип сделки", M, nullptr},
        {"OTKAZ", "IDOTKAZ", "OTKAZ", "Причина отказа", F, nullptr},
        {"HISTTYPE", "IDHISTTYPE", "HISTTYPE", "Тип заметки", M, nullptr},
        {"ETAP", "IDETAP", "ETAP", "Этап", M, nullptr},
        {"PERSP", "IDPERSP", "PERSP", "Перспектива", F, nullptr},
        {"SDELKA_ST", "IDSDELKA_ST", "SDELKA_ST", "Статус сделки", M, nullptr},
        {"ORDERSTATUS", "IDORDERSTATUS", "ORDERSTATUS", "Статус заказа", M, nullptr},
        {"OTDEL", "IDOTDEL", "OTDEL", "Отдел", M, "Нельзя удалять отдел, в котором есть пользователи!"},
        {"USERS", "IDUSER", "NAME", "Пользователь", M, nullptr},
    };
    return tables;
}

const QList<Use>& uses()
{
    using U = Use;
    static const QList<Use> list{
        {"GRITEM", "ITEM", "IDGRITEM", U::Refuse, "материале рассылки", "материалах рассылки", nullptr},
        {"ITEM", "ITEMPATH", "IDITEM", U::Refuse, "файле материала", "файлах материала", nullptr},
        {"ITEM", "ITEMS", "IDITEM", U::Refuse, "строке заказа рассылки", "строках заказов рассылки", nullptr},
        {"GRTOVAR", "TOVAR", "IDGRTOVAR", U::Refuse, "товаре", "товарах", nullptr},
        {"TOVAR", "SALES", "IDTOVAR", U::Refuse, "строке товара сделки", "строках товара сделок", kDealGoods},
        {"TOVAR", "SALES", "IDTOVAR", U::Refuse, "строке товара клиента", "строках товара клиентов", kClientGoods},
        {"COUNTRY", "REGION", "IDCOUNTRY", U::Refuse, "регионе", "регионах", nullptr},
        {"COUNTRY", "CUSTOMER", "IDCOUNTRY", U::Refuse, kCards[0], kCards[1], nullptr},
        {"REGION", "CUSTOMER", "IDREGION", U::Refuse, kCards[0], kCards[1], nullptr},
        {"DISTRICT", "REGION", "IDDISTRICT", U::Refuse, "регионе", "регионах", nullptr},
        {"SEGMENTT", "SEGMENTT2", "IDSEGMENT", U::Refuse, "сегменте второго уровня", "сегментах второго уровня",
         nullptr},
        {"SEGMENTT", "CUSTOMER", "IDSEGMENT", U::Refuse, kCards[0], kCards[1], nullptr},
        {"SEGMENTT2", "CUSTOMER", "IDSEGMENT2", U::Refuse, kCards[0], kCards[1], nullptr},
        {"REKLAMA", "REKLAMA2", "IDREKLAMA", U::Refuse, "источнике второго уровня", "источниках второго уровня",
         nullptr},
        {"REKLAMA", "CUSTOMER", "IDREKLAMA", U::Refuse, kCards[0], kCards[1], nullptr},
        {"REKLAMA2", "CUSTOMER", "IDREKLAMA2", U::Refuse, kCards[0], kCards[1], nullptr},
        {"PERSP", "CUSTOMER", "IDPERSP", U::Refuse, kCards[0], kCards[1], nullptr},
        {"PRICHINA", "PRICHINA2", "IDPRICHINA", U::Refuse, "причине второго уровня", "причинах второго уровня",
         nullptr},
        {"PRICHINA", "SDELKA", "IDPRICHINA", U::Refuse, kDeals[0], kDeals[1], nullptr},
        {"PRICHINA2", "SDELKA", "IDPRICHINA2", U::Refuse, kDeals[0], kDeals[1], nullptr},
        {"SDELKATYPE", "OTKAZ", "IDSDELKATYPE", U::Refuse, "причине отказа", "причинах отказа", nullptr},
        {"SDELKATYPE", "SDELKA", "IDSDELKATYPE", U::Refuse, kDeals[0], kDeals[1], nullptr},
        {"OTKAZ", "SDELKA", "IDOTKAZ", U::Refuse, kDeals[0], kDeals[1], nullptr},
        {"SDELKA_ST", "SDELKA", "IDSDELKA_ST", U::Refuse, kDeals[0], kDeals[1], nullptr},
        {"ETAP", "ETAPS", "IDETAP", U::Refuse, "этапе сделки", "этапах сделок", nullptr},
        {"ETAP", "SDELKA", "IDETAP", U::Refuse, "сделке как этап отказа", "сделках как этап отказа", nullptr},
        {"HISTTYPE", "HISTORY", "IDHISTTYPE", U::Refuse, "записи истории", "записях истории", kHistory},
        {"HISTTYPE", "HISTORY", "IDHISTTYPE", U::Refuse, "плане", "планах", kPlans},
        {"ORDERSTATUS", "ORDERS", "IDORDERSTATUS", U::Refuse, "заказе рассылки", "заказах рассылки", nullptr},
        {"OTDEL", "USERS", "IDOTDEL", U::Refuse, "пользователе", "пользователях", nullptr},
        // What a user owns; his rights go with him.
        {"USERS", "CUSTOMER", "IDUSER", U::Refuse, kCards[0], kCards[1], nullptr},
        {"USERS", "CONTACTS", "IDUSER", U::Refuse, "контактном лице", "контактных лицах", nullptr},
        {"USERS", "HISTORY", "IDUSER", U::Refuse, "записи истории", "записях истории", kHistory},
        {"USERS", "HISTORY", "IDUSER", U::Refuse, "плане", "планах", kPlans},
        {"USERS", "DOG", "IDUSER", U::Refuse, "договоре", "договорах", nullptr},
        {"USERS", "SDELKA", "IDUSER", U::Refuse, kDeals[0], kDeals[1], nullptr},
        {"USERS", "ETAPS", "IDUSER", U::Refuse, "этапе сделки", "этапах сделок", nullptr},
        {"USERS", "SALES", "IDUSER", U::Refuse, "строке товара сделки", "строках товара сделок", kDealGoods},
        {"USERS", "SALES", "IDUSER", U::Refuse, "строке товара клиента", "строках товара клиентов", kClientGoods},
        {"USERS", "OPLATA", "IDUSER", U::Refuse, "оплате", "оплатах", nullptr},
        {"USERS", "ORDERS", "IDUSER", U::Refuse, "заказе рассылки", "заказах рассылки", nullptr},
        {"USERS", "LOCGRKL", "IDUSER", U::Refuse, "личной группе", "личных группах", nullptr},
        {"USERS", "PRAVA", "IDUSER", U::Cascade, "праве", "правах", nullptr},
    };
    return list;
}

const Referenced* referenced(const QString& table)
{
    for (const Referenced& r : referencedTables())
        if (table.compare(QLatin1String(r.table), Qt::CaseInsensitive) == 0) return &r;
    return nullptr;
}

namespace {

bool sameColumn(const Use& a, const Use& b)
{
    return qstrcmp(a.usingTable, b.usingTable) == 0 && qstrcmp(a.column, b.column) == 0;
}

// Each using column once, in the order of the facts.
QList<const Use*> columnsOf(const char* table)
{
    QList<const Use*> columns;
    for (const Use& u : uses()) {
        if (table && qstrcmp(u.table, table) != 0) continue;
        bool seen = false;
        for (const Use* c : columns) seen = seen || sameColumn(*c, u);
        if (!seen) columns << &u;
    }
    return columns;
}

QString joined(const QStringList& parts)
{
    if (parts.size() < 2) return parts.join(QString());
    return parts.mid(0, parts.size() - 1).join(", ") + " и " + parts.last();
}

QString countText(const UseCount& c)
{
    const bool one = c.count % 10 == 1 && c.count % 100 != 11;
    return QString("%1 %2").arg(c.count).arg(QString::fromUtf8(one ? c.use->one : c.use->many));
}

int selectCount(fw::Transaction& tr, const QString& sql, int id)
{
    fw::Statement s(tr.database(), sql);
    s.setParam("ID", id);
    s.execute(tr);
    const int n = s.fetch() ? s.value(0).asInt() : 0;
    s.closeCursor();
    return n;
}

void run(fw::Transaction& tr, const QString& sql, const QList<QPair<QString, fw::Value>>& params)
{
    fw::Statement s(tr.database(), sql);
    for (const auto& [name, v] : params) s.setParam(name, v);
    s.execute(tr);
}

} // namespace

QStringList foreignKeyStatements()
{
    QStringList statements;
    for (const Use* u : columnsOf(nullptr)) {
        const Referenced* r = referenced(u->table);
        statements << QString("ALTER TABLE %1 ADD CONSTRAINT FK_%1_%2 FOREIGN KEY (%2) REFERENCES %3 (%4)%5")
                          .arg(u->usingTable, u->column, r->table, r->key,
                               u->onDelete == Use::Cascade ? " ON DELETE CASCADE" : "");
    }
    return statements;
}

namespace {

QString usedInText(const Referenced& ref, const QString& name, const QList<UseCount>& counts)
{
    QStringList parts;
    for (const UseCount& c : counts) parts << countText(c);
    return QString("%1 «%2» %3 в %4")
        .arg(QString::fromUtf8(ref.title), name, ref.feminine ? "указана" : "указан", joined(parts));
}

QString refusalText(const Referenced& ref, const QString& usedIn)
{
    if (ref.refusal) return QString::fromUtf8(ref.refusal);
    return usedIn + "; удалить " + (ref.feminine ? "её" : "его") + " нельзя.";
}

} // namespace

InUseError::InUseError(const Referenced& ref, const QString& name, const QList<UseCount>& counts)
    : fw::UserError(refusalText(ref, usedInText(ref, name, counts))),
      name_(name),
      counts_(counts),
      usedIn_(usedInText(ref, name, counts))
{
}

QList<UseCount> countUses(fw::Transaction& tr, const QString& table, int id)
{
    QList<UseCount> counts;
    for (const Use& u : uses()) {
        if (table.compare(QLatin1String(u.table), Qt::CaseInsensitive) != 0 || u.onDelete != Use::Refuse) continue;
        QString sql = QString("select count(*) from %1 where %2 = :ID").arg(u.usingTable, u.column);
        if (u.condition) sql += QString(" and (%1)").arg(u.condition);
        if (const int n = selectCount(tr, sql, id)) counts << UseCount{&u, n};
    }
    return counts;
}

void clearUses(fw::Transaction& tr, const QString& table, int id, std::optional<int> heir)
{
    const Referenced* r = referenced(table);
    if (!r) return;
    for (const Use* u : columnsOf(r->table)) {
        if (u->onDelete == Use::Cascade)
            run(tr, QString("delete from %1 where %2 = :ID").arg(u->usingTable, u->column), {{"ID", id}});
        else if (heir)
            run(tr, QString("update %1 set %2 = :HEIR where %2 = :ID").arg(u->usingTable, u->column),
                {{"ID", id}, {"HEIR", *heir}});
    }
    const QList<UseCount> counts = countUses(tr, r->table, id);
    if (counts.isEmpty()) return;
    fw::Statement s(tr.database(), QString("select %1 from %2 where %3 = :ID").arg(r->nameColumn, r->table, r->key));
    s.setParam("ID", id);
    s.execute(tr);
    const QString name = s.fetch() ? s.value(0).asString().trimmed() : QString();
    s.closeCursor();
    throw InUseError(*r, name, counts);
}

} // namespace schema
