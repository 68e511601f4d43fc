#include "clients/KlientMerge.h"

#include "clients/dmKl.h"
#include "core/SharedProcs.h"
#include "core/Users.h"
#include "core/dm.h"

#include "db/DbError.h"
#include "widgets/Dialogs.h"

#include <QAction>
#include <exception>

QStringList MergeStatements(int target, int source)
{
    QStringList sql;
    for (const char* table : {"History", "Contacts", "Sales", "Sdelka", "Orders", "Dog"})
        sql << QString("update %1 set idCust=%2 where idCust=%3").arg(table).arg(target).arg(source);
    return sql;
}

void MergeClients(int target, int source)
{
    fw::Database& db = dm->db;
    fw::Query& q = dmKl->qryTemp;
    QString current;
    db.startTransaction();
    try {
        for (const QString& sql : MergeStatements(target, source)) {
            current = sql;
            q.setSql({sql});
            q.execSql();
        }
        current.clear();
        db.commit();
    } catch (const fw::Error& e) {
        try {
            if (db.inTransaction()) db.rollback();
        } catch (...) {
            // The engine drops an unfinished transaction with the attachment anyway.
        }
        const QString where = current.isEmpty() ? QString() : "Ошибка в операторе: " + current + "\r";
        throw fw::Error("Карточки не объединены, ничего не перенесено.\r" + where + e.message());
    } catch (...) {
        try {
            if (db.inTransaction()) db.rollback();
        } catch (...) {
        }
        throw;
    }
}

QString MergeSourceCaption(const QString& company)
{
    if (company.size() <= 30) return "Откуда (" + company + ")";
    return "Откуда (" + company.left(30) + "...)";
}

QString MergeClientText(const QString& company, const QString& city, int idCust)
{
    const QString where = city.trimmed().isEmpty() ? QString() : "г. " + city.trimmed() + ", ";
    return company + " (" + where + "код " + QString::number(idCust) + ")";
}

QString MergeQuestion(const QString& source, const QString& target)
{
    return "Перенести Историю, Планы, Контактные лица, Товары, Сделки, Договора, Рассылку\r"
           "С карточки: \t" + source + "\r"
           "На карточку: \t" + target + " ?";
}

TKlientMerge::TKlientMerge(QAction* fromItem, QObject* parent) : QObject(parent), from_(fromItem)
{
    setObjectName("KlientMerge");
}

void TKlientMerge::FromClick()
{
    fw::Query& cust = dmKl->qryCust;
    if (!cust.active() || cust.isEmpty()) return;
    // A client typed but not saved has no key to be remembered by.
    PostIfInsert(cust);
    SourceId = cust.fieldByName("idCust").asInteger();
    SourceName = cust.fieldByName("Company").asString();
    SourceCity = cust.fieldByName("City").asString();
    from_->setText(MergeSourceCaption(SourceName));
}

void TKlientMerge::ToClick()
{
    fw::Query& cust = dmKl->qryCust;
    if (!cust.active() || cust.isEmpty() || SourceId == 0) return;
    if (!UserRights || !UserRights->IsGranted(CurrentUser.IdUser, 1031))
        throw fw::UserError("У Вас нет права объединять карточки!");
    PostIfInsert(cust);
    const int target = cust.fieldByName("idCust").asInteger();
    if (target == SourceId) return;
    const QString source = MergeClientText(SourceName, SourceCity, SourceId);
    const QString targetText = MergeClientText(cust.fieldByName("Company").asString(),
                                               cust.fieldByName("City").asString(), target);
    if (!fw::dialogs().confirm(MergeQuestion(source, targetText))) return;
    // Pending edits of the card's details are written before their rows move.
    if (CloseDetails) CloseDetails();
    std::exception_ptr failed;
    try {
        MergeClients(target, SourceId);
    } catch (...) {
        failed = std::current_exception();
    }
    if (OpenDetails) OpenDetails();
    if (failed) std::rethrow_exception(failed);
    fw::dialogs().information("Карточки объединены.\rС карточки: \t" + source + "\rНа карточку: \t" + targetText);
}
