#include "dmKlSd.h"

#include "core/ModuleWindows.h"
#include "core/SharedProcs.h"
#include "core/SqlText.h"
#include "core/Users.h"
#include "core/dm.h"
#include "db/DbError.h"
#include "widgets/Dialogs.h"

#include <QTime>

TdmKlSd* dmKlSd = nullptr;

namespace {

bool inEdit(const fw::DataSet& ds)
{
    return ds.state() == fw::DataSetState::Edit || ds.state() == fw::DataSetState::Insert;
}

// A key from its provider, only while the row has none yet.
void keyFromProvider(fw::DataSet& ds, const char* keyName, fw::StoredProc& provider)
{
    fw::Field& key = ds.fieldByName(keyName);
    if (!key.isNull()) return;
    provider.execProc();
    key.setValue(provider.paramByName("ID").value());
}

QDateTime today()
{
    return QDateTime(GetServerDate().date(), QTime(0, 0));
}

} // namespace

TdmKlSd::TdmKlSd(QObject* owner) : QObject(owner)
{
    setObjectName("dmKlSd");
    dmKlSd = this;

    fw::Database* sv = &dm->db;
    const auto bind = [this, sv](fw::Query& q, const char* name, fw::DataSource* ds) {
        q.setParent(this);
        q.setObjectName(name);
        q.setDatabase(sv);
        if (ds) {
            ds->setParent(this);
            ds->setObjectName(QString(name).replace(0, 3, "ds"));
            ds->setDataSet(&q);
        }
    };
    bind(qrySdelka, "qrySdelka", &dsSdelka);
    bind(qryEtaps, "qryEtaps", &dsEtaps);
    bind(qrySales, "qrySales", &dsSales);
    bind(qryOplata, "qryOplata", &dsOplata);
    bind(qryOpl1C, "qryOpl1C", nullptr);
    bind(qryPrichina, "qryPrichina", &dsPrichina);
    bind(qryPrichina2, "qryPrichina2", &dsPrichina2);
    bind(qryOtkaz, "qryOtkaz", &dsOtkaz);
    bind(qryTovar, "qryTovar", &dsTovar);
    bind(qryUser, "qryUser", &dsUser);

    qrySdelka.setSql({"select *", "from Sdelka", "where", "  idSdelka=:idSdelka"});
    qryEtaps.setSql({"select *", "from Etaps", "where idSdelka=:idSdelka"});
    qrySales.setSql({"select *", "from Sales", "where", "  idSdelka=:idSdelka"});
    qryOplata.setSql({"select *", "from Oplata", "where", "  idSale=:idSale"});
    qryOpl1C.setSql({"select DateOpl, kurs, sum(summaR)", "from oplata", "where",
                     "idSale in (select idSale from sales where idSdelka=:idSdelka)", "group by DateOpl, kurs"});
    qryPrichina.setSql({"select *", "from Prichina", "order by Prichina"});
    qryPrichina2.setSql({"select *", "from Prichina2", "order by Prichina2"});
    qryOtkaz.setSql({"select *", "from Otkaz", "order by Otkaz"});
    qryTovar.setSql({"select *", "from Tovar", "order by Tovar"});
    qryUser.setSql({"select *", "from Users", "order by Name"});
    for (fw::Query* q : {&qryPrichina2, &qryOtkaz, &qryTovar, &qryUser})
        q->setFiltered(true);

    qryEtaps.addLookupField("Etap", "IDETAP", &dm->qryEtap, "IDETAP", "ETAP", 50);
    qryEtaps.addLookupField("User", "IDUSER", &dm->qryUser, "IDUSER", "NAME", 30);
    qrySales.addLookupField("Tovar", "IDTOVAR", &dm->qryTovar, "IDTOVAR", "TOVAR", 100);
    qryOplata.addLookupField("User", "IDUSER", &dm->qryUser, "IDUSER", "NAME", 30);

    // Update statements. The totals are the database's: a deal's modify and a
    // goods line's modify never write them back.
    const QStringList sdelkaCols{"IDSDELKA", "IDCUST", "IDUSER", "DATE_BEGIN", "DATE_END", "IDSDELKA_ST",
                                 "OPLATDP", "OPLATRP", "OPLATDF", "OPLATRF", "NOTE", "IDOTKAZ", "IDETAP",
                                 "NOSCHET", "NONAKL", "NOSCHETF", "DATESCHET", "DATENAKL", "DATESCHETF", "NAME",
                                 "IDPRICHINA", "IDPRICHINA2", "IDSDELKATYPE", "DATECR", "IDDOG", "ACCESS"};
    QStringList sdelkaModify = sdelkaCols;
    for (const char* c : {"OPLATDP", "OPLATRP", "OPLATDF", "OPLATRF"})
        sdelkaModify.removeAll(c);
    const QStringList etapsCols{"IDETAPS", "IDSDELKA", "IDUSER", "DATEPLAN", "DATEFACT", "IDETAP", "NOTE",
                                "DATEBEGIN"};
    const QStringList salesCols{"IDSALE",  "IDCUST",  "IDUSER",  "SALESCOMPANY", "DATEREG", "KOLVO",    "IDTOVAR",
                                "SERNUM",  "ACCESS",  "UPGRADE", "UCHEB",        "NOTE",    "DATECR",   "SUMMADP",
                                "SUMMADF", "SUMMARP", "SUMMARF", "KURS",         "IDSDELKA", "SERNUMINT", "BACK"};
    QStringList salesModify = salesCols;
    salesModify.removeAll("SUMMADF");
    salesModify.removeAll("SUMMARF");
    const QStringList oplataCols{"IDOPLATA", "IDSALE", "IDUSER", "ACCESS", "DATECR",
                                 "DATEOPL",  "SUMMAD", "SUMMAR", "KURS"};
    const auto setUpdate = [](fw::UpdateSql& u, const QString& table, const QStringList& insert,
                              const QStringList& modify, bool withDelete) {
        u.setInsertSql(TextToLines(MakeInsertSQL(table, insert)));
        u.setModifySql(TextToLines(MakeModifySQL(table, modify)));
        if (withDelete) u.setDeleteSql(TextToLines(MakeDeleteSQL(table, modify)));
    };
    setUpdate(usqlSdelka, "Sdelka", sdelkaCols, sdelkaModify, false);
    setUpdate(usqlEtaps, "Etaps", etapsCols, etapsCols, true);
    setUpdate(usqlSales, "Sales", salesCols, salesModify, true);
    setUpdate(usqlOplata, "Oplata", oplataCols, oplataCols, true);
    qrySdelka.setUpdateObject(&usqlSdelka);
    qryEtaps.setUpdateObject(&usqlEtaps);
    qrySales.setUpdateObject(&usqlSales);
    qryOplata.setUpdateObject(&usqlOplata);

    const std::pair<fw::StoredProc*, const char*> procs[] = {
        {&spSdelka, "ID_SDELKA"}, {&spEtaps, "ID_ETAPS"}, {&spSales, "ID_SALE"}, {&spOplata, "ID_OPLATA"}};
    for (const auto& [sp, name] : procs) {
        sp->setDatabase(sv);
        sp->setStoredProcName(name);
    }

    const auto on = [this](void (TdmKlSd::*handler)(fw::DataSet&)) {
        return [this, handler](fw::DataSet& ds) { (this->*handler)(ds); };
    };
    for (fw::Query* q : {&qrySdelka, &qryEtaps, &qrySales, &qryOplata}) {
        q->beforeOpen = on(&TdmKlSd::qryEtapsBeforeOpen);
        q->onNewRecord = on(&TdmKlSd::qryEtapsNewRecord);
        q->beforePost = on(&TdmKlSd::qryEtapsBeforePost);
        q->afterPost = on(&TdmKlSd::qryAfterPostDelete);
        q->beforeClose = on(&TdmKlSd::qryBeforeClose);
    }
    // Deals are deleted only by the clients module.
    for (fw::Query* q : {&qryEtaps, &qrySales, &qryOplata}) {
        q->afterDelete = on(&TdmKlSd::qryAfterPostDelete);
        q->beforeDelete = on(&TdmKlSd::qryEtapsBeforeDelete);
    }
    qrySdelka.afterCancel = on(&TdmKlSd::qrySdelkaAfterCancel);
    qrySales.beforeScroll = on(&TdmKlSd::qrySalesBeforeScroll);
    qrySales.afterScroll = on(&TdmKlSd::qrySalesAfterScroll);

    dmKlSdCreate();
}

TdmKlSd::~TdmKlSd()
{
    try {
        dmKlSdDestroy();
    } catch (...) {
        // Nothing can be shown from a destructor; a row that failed stays unwritten.
    }
    if (dmKlSd == this) dmKlSd = nullptr;
}

QList<fw::StoredProc*> TdmKlSd::StoredProcs()
{
    return {&spSdelka, &spEtaps, &spSales, &spOplata};
}

void TdmKlSd::dmKlSdCreate()
{
    qryPrichina.open();
    qryPrichina2.open();
}

void TdmKlSd::dmKlSdDestroy()
{
    CloseDataModule(this);
    if (dmKlSd == this) dmKlSd = nullptr;
}

void TdmKlSd::qryEtapsBeforeOpen(fw::DataSet& ds)
{
    PrepareQuery(ds);
    const auto keyOf = [](const fw::Query& master, const char* name) {
        return master.active() && !master.isEmpty() ? master.fieldByName(name).value() : fw::Value(0);
    };
    if (&ds == &qryEtaps || &ds == &qrySales)
        static_cast<fw::Query&>(ds).paramByName("idSdelka").setValue(keyOf(qrySdelka, "IDSDELKA"));
    else if (&ds == &qryOplata)
        qryOplata.paramByName("idSale").setValue(keyOf(qrySales, "IDSALE"));
}

void TdmKlSd::qryEtapsNewRecord(fw::DataSet& ds)
{
    if (&ds == &qrySdelka) {
        // A deal belongs to the client selected in the clients module; without one
        // the new row is refused rather than saved as nobody's deal.
        fw::Query* cust = KlientSets().qryCust;
        if (!cust || cust->isEmpty()) throw fw::Abort();
        PostIfInsert(*cust);
        ds.fieldByName("IDCUST").setValue(cust->fieldByName("IDCUST").value());
        ds.fieldByName("IDUSER").setAsInteger(CurrentUser.IdUser);
        ds.fieldByName("DATE_BEGIN").setAsDateTime(today());
        ds.fieldByName("NAME").setAsString("Новая сделка");
        for (const char* name : {"OPLATRP", "OPLATDP", "OPLATRF", "OPLATDF"})
            ds.fieldByName(name).setAsCurrency(fw::Currency());
        for (const char* name : {"IDPRICHINA", "IDPRICHINA2", "IDSDELKATYPE"})
            ds.fieldByName(name).setAsInteger(0);
        ds.fieldByName("IDSDELKA_ST").setAsInteger(1);
    } else if (&ds == &qryEtaps) {
        ds.fieldByName("IDSDELKA").setValue(qrySdelka.fieldByName("IDSDELKA").value());
        ds.fieldByName("IDUSER").setAsInteger(CurrentUser.IdUser);
    } else if (&ds == &qrySales) {
        ds.fieldByName("IDSDELKA").setValue(qrySdelka.fieldByName("IDSDELKA").value());
        ds.fieldByName("IDCUST").setValue(qrySdelka.fieldByName("IDCUST").value());
        ds.fieldByName("IDUSER").setAsInteger(CurrentUser.IdUser);
        ds.fieldByName("KOLVO").setAsCurrency(fw::Currency::fromInt(1));
        for (const char* name : {"SUMMADP", "SUMMARP", "SUMMADF", "SUMMARF", "KURS"})
            ds.fieldByName(name).setAsCurrency(fw::Currency());
        for (const char* name : {"BACK", "UCHEB", "UPGRADE"})
            ds.fieldByName(name).setAsString("-");
        if (dm->qryMain.active())
            ds.fieldByName("SALESCOMPANY").setValue(dm->qryMain.fieldByName("COMPANY").value());
    }
}

void TdmKlSd::qryEtapsBeforePost(fw::DataSet& ds)
{
    if (&ds == &qrySdelka) {
        keyFromProvider(ds, "IDSDELKA", spSdelka);
    } else if (&ds == &qryEtaps) {
        if (ds.fieldByName("IDETAP").isNull()) throw fw::UserError("Не указан этап!");
        keyFromProvider(ds, "IDETAPS", spEtaps);
    } else if (&ds == &qrySales) {
        if (ds.fieldByName("KOLVO").asCurrency() <= fw::Currency())
            throw fw::UserError("Не верно указано количество!");
        int zeros = 0;
        for (const char* name : {"SUMMADP", "SUMMARP", "KURS"})
            if (ds.fieldByName(name).asCurrency().isZero()) ++zeros;
        if (zeros != 0 && zeros != 3) throw fw::UserError("Не правильно указана стоимость товара!");
        keyFromProvider(ds, "IDSALE", spSales);
    } else if (&ds == &qryOplata) {
        keyFromProvider(ds, "IDOPLATA", spOplata);
    }
}

void TdmKlSd::qryAfterPostDelete(fw::DataSet& ds)
{
    dm->qryAfterPostDelete(ds);
}

void TdmKlSd::qryBeforeClose(fw::DataSet& ds)
{
    dm->qryBeforeClose(ds);
}

void TdmKlSd::qryEtapsBeforeDelete(fw::DataSet& ds)
{
    if (!fw::dialogs().confirm("Удалить?")) throw fw::Abort();
    if (&ds != &qryEtaps || !qrySdelka.active() || qrySdelka.isEmpty()) return;
    const fw::Value kind = ds.fieldByName("IDETAP").value();
    if (kind.isNull() || kind != qrySdelka.fieldByName("IDETAP").value()) return;
    // The refusal stage goes with its stage; the deal keeps the change until its next post.
    if (!inEdit(qrySdelka)) qrySdelka.edit();
    qrySdelka.fieldByName("IDETAP").clear();
}

void TdmKlSd::qrySdelkaAfterCancel(fw::DataSet&)
{
    if (SdelkaCancelled) SdelkaCancelled();
}

void TdmKlSd::qrySalesBeforeScroll(fw::DataSet& ds)
{
    if (!SalesLinked) return;
    // Like a detail of the goods line, the payments' pending row is written
    // (or an untouched one cancelled) before the line moves, at its ends too;
    // when that fails the line stays where it is.
    if (qryOplata.active()) qryOplata.checkBrowseMode();
    if (!ds.bof() && !ds.eof()) qryOplata.close();
}

void TdmKlSd::qrySalesAfterScroll(fw::DataSet&)
{
    if (!SalesLinked) return;
    qryOplata.close();
    qryOplata.open();
}
