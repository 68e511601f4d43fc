#include "deals/dmZakaz.h"

#include "core/SqlText.h"
#include "core/Users.h"
#include "core/dm.h"
#include "db/DbError.h"
#include "widgets/Dialogs.h"

TdmZakaz* dmZakaz = nullptr;
bool SendingMail = false;

namespace {

void setStatements(fw::UpdateSql& u, const QString& table, const QStringList& columns)
{
    u.setModifySql(TextToLines(MakeModifySQL(table, columns)));
    u.setInsertSql(TextToLines(MakeInsertSQL(table, columns)));
    u.setDeleteSql(TextToLines(MakeDeleteSQL(table, columns)));
}

} // namespace

TdmZakaz::TdmZakaz(QObject* owner) : QObject(owner), Smtp(this)
{
    setObjectName("dmZakaz");
    dmZakaz = this;

    const auto bind = [this](fw::Query& q, const char* name, fw::DataSource& ds, const QStringList& sql) {
        q.setParent(this);
        q.setObjectName(name);
        q.setDatabase(&dm->db);
        q.setSql(sql);
        ds.setParent(this);
        ds.setObjectName(QString(name).replace(0, 3, "ds"));
        ds.setDataSet(&q);
    };
    bind(qryOrders, "qryOrders", dsOrders, {"select * from orders where idOrder is not null"});
    bind(qryItems, "qryItems", dsItems, {"select *", "from Items", "where ", "idOrder=:idOrder"});
    bind(qryPath, "qryPath", dsPath, {"select *", "from ItemPath", "where", "idItem=:idItem"});
    bind(qryGrItem, "qryGrItem", dsGrItem, {"select *", "from GrItem", "order by GrItem"});
    bind(qryItem, "qryItem", dsItem, {"select *", "from Item", "order by Item"});
    qryItem.setFiltered(true);
    qryItems.setMasterSource(&dsOrders);

    qryOrders.addLookupField("User", "IDUSER", &dm->qryUser, "IDUSER", "NAME", 30);
    qryOrders.addLookupField("OrderStatus", "IDORDERSTATUS", &dm->qryOrderStatus, "IDORDERSTATUS", "ORDERSTATUS", 30);
    qryItems.addLookupField("Item", "IDITEM", &dm->qryItem, "IDITEM", "ITEM", 100);

    setStatements(usqlOrders, "orders",
                  {"IDORDER", "IDUSER", "IDCUST", "EMAIL", "SUBJECT", "DATECR", "IDORDERSTATUS"});
    setStatements(usqlItems, "Items", {"IDITEMS", "IDORDER", "IDITEM"});
    qryOrders.setUpdateObject(&usqlOrders);
    qryItems.setUpdateObject(&usqlItems);
    spOrders.setDatabase(&dm->db);
    spOrders.setStoredProcName("ID_ORDERS");
    spItems.setDatabase(&dm->db);
    spItems.setStoredProcName("ID_ITEMS");

    Smtp.setObjectName("Smtp");
    Smtp.setPort(25);
    Smtp.setCharset(fw::SmtpClient::Charset::Cp1251);

    const auto on = [this](void (TdmZakaz::*handler)(fw::DataSet&)) {
        return [this, handler](fw::DataSet& ds) { (this->*handler)(ds); };
    };
    qryOrders.beforeInsert = on(&TdmZakaz::qryOrdersBeforeInsert);
    qryOrders.beforeEdit = on(&TdmZakaz::qryOrdersBeforeEdit);
    qryOrders.beforeDelete = on(&TdmZakaz::qryOrdersBeforeDelete);
    qryItems.beforeInsert = on(&TdmZakaz::qryItemsBeforeInsert);
    qryItems.onNewRecord = on(&TdmZakaz::qryItemsNewRecord);
    qryItems.beforeEdit = on(&TdmZakaz::qryItemsBeforeEditDelete);
    qryItems.beforeDelete = on(&TdmZakaz::qryItemsBeforeEditDelete);
    qryItems.afterScroll = on(&TdmZakaz::qryItemsAfterScroll);
    qryItems.afterClose = on(&TdmZakaz::qryItemsAfterClose);
    for (fw::Query* q : {&qryOrders, &qryItems}) {
        q->beforePost = on(&TdmZakaz::qryOrdersBeforePost);
        q->afterPost = [](fw::DataSet& ds) { dm->qryAfterPostDelete(ds); };
        q->afterDelete = [](fw::DataSet& ds) { dm->qryAfterPostDelete(ds); };
        q->beforeClose = [](fw::DataSet& ds) { dm->qryBeforeClose(ds); };
    }

    DataModuleCreate();
}

TdmZakaz::~TdmZakaz()
{
    PathChanged = nullptr;
    PathCleared = nullptr;
    try {
        dmZakazDestroy();
    } catch (...) {
        // Nothing can be shown from a destructor; an edit that failed stays unwritten.
    }
    if (dmZakaz == this) dmZakaz = nullptr;
}

QList<fw::StoredProc*> TdmZakaz::StoredProcs()
{
    return {&spOrders, &spItems};
}

void TdmZakaz::DataModuleCreate()
{
    for (fw::Query* q : {&qryOrders, &qryItems, &qryPath}) PrepareQuery(*q);
    // Opened before there is an order or a material: empty until there is one.
    qryItems.paramByName("idOrder").clear();
    qryPath.paramByName("idItem").clear();
}

void TdmZakaz::dmZakazDestroy()
{
    Smtp.abort();
    CloseDataModule(this);
}

void TdmZakaz::CheckEditRight()
{
    const fw::Value owner = qryOrders.fieldByName("IDUSER").value();
    UserRights->CheckEditRecord(CurrentUser, owner.isNull() ? -1 : owner.asInt());
}

void TdmZakaz::qryOrdersBeforeInsert(fw::DataSet&)
{
    // Orders come from the client card, never from this window's grid.
    if (OrdersGridActive && OrdersGridActive()) throw fw::Abort();
}

void TdmZakaz::qryOrdersBeforeEdit(fw::DataSet&)
{
    CheckEditRight();
}

void TdmZakaz::qryOrdersBeforeDelete(fw::DataSet& ds)
{
    const fw::Value owner = ds.fieldByName("IDUSER").value();
    UserRights->CheckDeleteRecord(CurrentUser, owner.isNull() ? -1 : owner.asInt());
    if (!fw::dialogs().confirm("Удалить запись?")) throw fw::Abort();
}

void TdmZakaz::qryOrdersBeforePost(fw::DataSet& ds)
{
    if (ds.state() != fw::DataSetState::Insert) return;
    fw::StoredProc& sp = &ds == &qryOrders ? spOrders : spItems;
    sp.execProc();
    ds.field(0).setValue(sp.param(0).value());
}

void TdmZakaz::qryItemsBeforeInsert(fw::DataSet&)
{
    if (!qryOrders.active() || qryOrders.isEmpty()) throw fw::Abort();
    CheckEditRight();
    // The order as the grid shows it goes first, a subject just typed included:
    // a material is added to an order the database has.
    if (qryOrders.state() == fw::DataSetState::Edit || qryOrders.state() == fw::DataSetState::Insert)
        qryOrders.post();
}

void TdmZakaz::qryItemsNewRecord(fw::DataSet& ds)
{
    ds.fieldByName("IDORDER").setValue(qryOrders.fieldByName("IDORDER").value());
}

void TdmZakaz::qryItemsBeforeEditDelete(fw::DataSet&)
{
    CheckEditRight();
}

void TdmZakaz::qryItemsAfterScroll(fw::DataSet&)
{
    qryPath.close();
    qryPath.paramByName("idItem").setValue(qryItems.fieldByName("IDITEM").value());
    qryPath.open();
    if (PathChanged) PathChanged();
}

void TdmZakaz::qryItemsAfterClose(fw::DataSet&)
{
    // The paths belong to a material that is no longer current.
    qryPath.close();
    if (PathCleared) PathCleared();
}
