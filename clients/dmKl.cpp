#include "dmKl.h"

#include "KlientHost.h"

#include "core/ModuleWindows.h"
#include "core/SharedProcs.h"
#include "core/Users.h"
#include "core/dm.h"
#include "db/DbError.h"
#include "widgets/Dialogs.h"

#include <QTime>
#include <optional>

TdmKl* dmKl = nullptr;

namespace {

QStringList assignments(const QStringList& columns)
{
    QStringList lines;
    for (int i = 0; i < columns.size(); ++i)
        lines << "  " + columns[i] + " = :" + columns[i] + (i + 1 < columns.size() ? "," : "");
    return lines;
}

// The update statements of one table in the module's layout; an empty column
// list leaves that statement out.
void setUpdateSql(fw::UpdateSql& u, const QString& table, const QString& key, const QStringList& insertCols,
                  const QStringList& modifyCols, bool withDelete = true)
{
    if (!modifyCols.isEmpty())
        u.setModifySql(QStringList{"update " + table, "set"} + assignments(modifyCols)
                       + QStringList{"where", "  " + key + " = :OLD_" + key});
    if (!insertCols.isEmpty())
        u.setInsertSql({"insert into " + table, "  (" + insertCols.join(", ") + ")", "values",
                        "  (:" + insertCols.join(", :") + ")"});
    if (withDelete) u.setDeleteSql({"delete from " + table, "where", "  " + key + " = :OLD_" + key});
}

bool isEditing(const fw::DataSet& ds)
{
    return ds.state() == fw::DataSetState::Edit || ds.state() == fw::DataSetState::Insert;
}

// The owner of a row; a row without one counts as a user nobody knows.
int ownerOf(const fw::DataSet& ds)
{
    const fw::Value v = ds.fieldByName("idUser").value();
    return v.isNull() ? -1 : v.asInt();
}

void setKeyFromProc(fw::DataSet& ds, const QString& keyField, fw::StoredProc& sp)
{
    fw::Field& key = ds.fieldByName(keyField);
    if (!key.isNull()) return;
    sp.execProc();
    key.setValue(sp.param(0).value());
}

// A pick list whose first entry is empty (key -1, no text), so that a filter can be emptied
// from the list itself; the other rows follow by name.
QStringList listWithEmptyEntry(const QString& table, const QString& key, const QString& name)
{
    return {QString("select %1, %2, 1 as EmptyLast from %3").arg(key, name, table), "union all",
            "select -1, '', 0 from rdb$database", "order by 3, 2"};
}

} // namespace

TdmKl::TdmKl(TKlientHost* host, QObject* owner) : QObject(owner), host_(host)
{
    setObjectName("dmKl");
    dmKl = this;
    KlientSets() = {&qryCust, &qryDog, &dsDog, &qryHist};

    const auto bind = [this](fw::Query& q, const char* name, fw::DataSource* ds, fw::Database* db) {
        q.setParent(this);
        q.setObjectName(name);
        q.setDatabase(db);
        if (ds) {
            ds->setParent(this);
            ds->setObjectName(QString(name).replace(0, 3, "ds"));
            ds->setDataSet(&q);
        }
    };
    fw::Database* sv = &dm->db;
    bind(qryCust, "qryCust", &dsCust, sv);
    bind(qryHist, "qryHist", &dsHist, sv);
    bind(qryPlan, "qryPlan", &dsPlan, sv);
    bind(qryContacts, "qryContacts", &dsContacts, sv);
    bind(qrySales, "qrySales", &dsSales, sv);
    bind(qrySdelka, "qrySdelka", &dsSdelka, sv);
    bind(qryDog, "qryDog", &dsDog, sv);
    bind(qryCal, "qryCal", &dsCal, sv);
    bind(qryGrGl, "qryGrGl", &dsGrGl, sv);
    bind(qryGrLoc, "qryGrLoc", &dsGrLoc, sv);
    bind(qryGrGl_, "qryGrGl_", &dsGrGl_, sv);
    bind(qryGrLoc_, "qryGrLoc_", &dsGrLoc_, sv);
    bind(qryBudil, "qryBudil", &dsBudil, &dbBudil);
    bind(qryPlanCheck, "qryPlanCheck", &dsPlanCheck, sv);
    bind(qryPlanMove, "qryPlanMove", nullptr, sv);
    bind(qryFields, "qryFields", &dsFields, sv);
    bind(qryTemp, "qryTemp", &dsTemp, sv);
    bind(qryCountry, "qryCountry", &dsCountry, sv);
    bind(qryRegion, "qryRegion", &dsRegion, sv);
    bind(qryReklama, "qryReklama", &dsReklama, sv);
    bind(qryReklama2, "qryReklama2", &dsReklama2, sv);
    bind(qrySegment, "qrySegment", &dsSegment, sv);
    bind(qrySegment2, "qrySegment2", &dsSegment2, sv);
    bind(qryZRegion, "qryZRegion", &dsZRegion, sv);
    bind(qryZReklama2, "qryZReklama2", &dsZReklama2, sv);
    bind(qryZSegment2, "qryZSegment2", &dsZSegment2, sv);
    bind(qryZTovar, "qryZTovar", &dsZTovar, sv);
    bind(qryZOtkaz, "qryZOtkaz", &dsZOtkaz, sv);
    bind(qryZPrichina2, "qryZPrichina2", &dsZPrichina2, sv);
    bind(qryZUser, "qryZUser", &dsZUser, sv);
    bind(qryCalUser, "qryCalUser", &dsCalUser, sv);
    bind(qryCalHiType, "qryCalHiType", &dsCalHiType, sv);

    // Declared texts; the detail texts with the visibility clause come at creation.
    qryCust.setSql({"select *", "from Customer"});
    qryGrGl.setSql({"select *", "from GrKlient", "order by GrKlient"});
    qryGrLoc.setSql({"select *", "from LocGrKl", "where", "  idUser=:idUser", "order by LocGrKl"});
    qryGrGl_.setSql({"select *", "from Gr_Kl", "where", "  idCust=:idCust"});
    qryGrLoc_.setSql({"select *", "from Loc_Kl", "where", "  idCust=:idCust and",
                      "  idLocGrKl in (select idLocGrKl from LocGrKl where idUser=:idUser)"});
    qryBudil.setSql({"select (select company from customer where idCust=h.idCust) as Company, h.*",
                     "from history h", "where", "  history='-' and", "  budil='+' and", "  DateCr<:DateCr and",
                     "  idUser=:idUser"});
    qryPlanCheck.setSql({"select *", "from history", "where", "idUser=:idUser and", "history='-' and",
                         "dateCr<\"today\""});
    qryPlanMove.setSql({"update history", "set", "DateCr=\"today\"", "where", "idUser=:idUser and",
                        "history='-' and", "DateCr<\"today\""});
    qryFields.setSql({"select *", "from CustomFields", "where", "entity='kar'", "order by pos"});
    qryCountry.setSql({"select *", "from Country", "order by Country"});
    qryRegion.setSql({"select *", "from Region", "order by Region"});
    qryReklama.setSql({"select *", "from Reklama", "order by Reklama"});
    qryReklama2.setSql({"select *", "from Reklama2", "order by Reklama2"});
    qrySegment.setSql({"select *", "from Segmentt", "order by Segmentt"});
    qrySegment2.setSql({"select *", "from Segmentt2", "order by Segmentt2"});
    qryZRegion.setSql({"select *", "from Region", "order by Region"});
    qryZReklama2.setSql({"select *", "from Reklama2", "order by Reklama2"});
    qryZSegment2.setSql({"select *", "from Segmentt2", "order by Segmentt2"});
    qryZTovar.setSql({"select *", "from Tovar", "order by Tovar"});
    qryZOtkaz.setSql({"select *", "from Otkaz", "order by Otkaz"});
    qryZPrichina2.setSql({"select *", "from Prichina2", "order by Prichina2"});
    qryZUser.setSql({"select *", "from users", "order by Name"});
    qryCalUser.setSql(listWithEmptyEntry("users", "idUser", "Name"));
    qryCalHiType.setSql(listWithEmptyEntry("HistType", "idHistType", "HistType"));

    // The second-level card lists show the children of the first level's current row.
    qryRegion.setFiltered(true);
    qryReklama2.setFiltered(true);
    qrySegment2.setFiltered(true);

    // Goods paid in the second currency or with a serial number, not returned.
    qrySales.setFilter("(summadf>0 or sernum<>'') and back<>'+'");
    qrySales.setFiltered(true);

    // Lookup fields.
    qryCust.addLookupField("User", "IDUSER", &dm->qryUser, "IDUSER", "NAME", 30);
    qryCust.addLookupField("Country", "IDCOUNTRY", &dm->qryCountry, "IDCOUNTRY", "COUNTRY", 30);
    qryCust.addLookupField("Region", "IDREGION", &dm->qryRegion, "IDREGION", "REGION", 30);
    qryCust.addLookupField("Reklama", "IDREKLAMA", &dm->qryReklama, "IDREKLAMA", "REKLAMA", 50);
    qryCust.addLookupField("Reklama2", "IDREKLAMA2", &dm->qryReklama2, "IDREKLAMA2", "REKLAMA2", 50);
    qryCust.addLookupField("Segment", "IDSEGMENT", &qrySegment, "IDSEGMENT", "SEGMENTT", 50);
    qryCust.addLookupField("Segment2", "IDSEGMENT2", &dm->qrySegment2, "IDSEGMENT2", "SEGMENTT2", 50);
    qryCust.addLookupField("Persp", "IDPERSP", &dm->qryPersp, "IDPERSP", "PERSP", 30);
    for (fw::Query* q : {&qryHist, &qryPlan, &qryCal, &qryBudil})
        q->addLookupField("HistType", "IDHISTTYPE", &dm->qryHiType, "IDHISTTYPE", "HISTTYPE", 15);
    for (fw::Query* q : {&qryHist, &qryPlan, &qryCal, &qryContacts, &qryDog, &qrySdelka})
        q->addLookupField("User", "IDUSER", &dm->qryUser, "IDUSER", "NAME", 30);
    qrySales.addLookupField("Tovar", "IDTOVAR", &dm->qryTovar, "IDTOVAR", "TOVAR", 100);
    qrySdelka.addLookupField("Prichina", "IDPRICHINA", &dm->qryPrichina, "IDPRICHINA", "PRICHINA", 50);
    qrySdelka.addLookupField("Prichina2", "IDPRICHINA2", &dm->qryPrichina2, "IDPRICHINA2", "PRICHINA2", 50);
    qrySdelka.addLookupField("Sdelka_St", "IDSDELKA_ST", &dm->qrySdStatus, "IDSDELKA_ST", "SDELKA_ST", 15);
    qrySdelka.addLookupField("Etap", "IDETAP", &dm->qryEtap, "IDETAP", "ETAP", 50);
    qrySdelka.addLookupField("Otkaz", "IDOTKAZ", &dm->qryOtkaz, "IDOTKAZ", "OTKAZ", 50);
    qrySdelka.addLookupField("SdelkaType", "IDSDELKATYPE", &dm->qrySdType, "IDSDELKATYPE", "SDELKATYPE", 30);
    qryGrGl_.addLookupField("GrKlient", "IDGRKLIENT", &qryGrGl, "IDGRKLIENT", "GRKLIENT", 30);
    qryGrLoc_.addLookupField("LOCGRKL", "IDLOCGRKL", &qryGrLoc, "IDLOCGRKL", "LOCGRKL", 50);

    // Update statements.
    const QStringList custCols{"IDCUST", "IDUSER", "DATECR", "COMPANY", "FAX", "ADDRESS", "CITY", "IDREGION",
                               "IDCOUNTRY", "IDREKLAMA", "IDSEGMENT", "POLZOV", "REGPOLZOV", "OTHER",
                               "IDREKLAMA2", "IDSEGMENT2", "IDPERSP", "WWW"};
    QStringList custModify = custCols;
    custModify.removeAll("POLZOV");
    custModify.removeAll("REGPOLZOV");
    setUpdateSql(usqlCust, "Customer", "IDCUST", custCols, custModify);
    const QStringList histCols{"IDHIST", "IDCUST", "IDUSER", "DATECR", "HISTORY", "NOTE",
                               "ACCESS", "PRIOR", "BUDIL", "IDHISTTYPE", "IDCONTACTS", "FILEPATH"};
    setUpdateSql(usqlHist, "history", "IDHIST", histCols, histCols);
    setUpdateSql(usqlPlan, "history", "IDHIST", histCols, histCols);
    setUpdateSql(usqlCal, "History", "IDHIST", {},
                 {"IDHIST", "IDUSER", "DATECR", "HISTORY", "NOTE", "ACCESS", "PRIOR", "BUDIL", "IDHISTTYPE",
                  "FILEPATH"});
    const QStringList contactCols{"IDCONTACTS", "CONTACT_NAME", "CONTACT_TITLE", "CONTACT_DEP", "CONTACT_PHONE",
                                  "CONTACT_EMAIL", "IDCUST", "IDUSER", "DATECR", "CONTACT_NOTE"};
    setUpdateSql(usqlContacts, "contacts", "IDCONTACTS", contactCols, contactCols);
    const QStringList dogCols{"IDDOG", "DATEBEGIN", "DATEEND", "NOTE", "DOGNUMBER", "DATEZAKL",
                              "IDCUST", "IDUSER", "ACCESS", "SKIDKA", "FILEPATH"};
    setUpdateSql(usqlDog, "Dog", "IDDOG", dogCols, dogCols);
    setUpdateSql(usqlSdelka, "Sdelka", "IDSDELKA", {}, {});
    setUpdateSql(usqlGrGl, "GrKlient", "IDGRKLIENT", {"GRKLIENT", "IDGRKLIENT"}, {"GRKLIENT", "IDGRKLIENT"});
    setUpdateSql(usqlGrLoc, "LocGrKl", "IDLOCGRKL", {"IDLOCGRKL", "LOCGRKL", "IDUSER"},
                 {"IDLOCGRKL", "LOCGRKL", "IDUSER"});
    setUpdateSql(usqlGrGl_, "Gr_Kl", "IDGR_KL", {"IDGR_KL", "IDCUST", "IDGRKLIENT"},
                 {"IDGR_KL", "IDCUST", "IDGRKLIENT"});
    setUpdateSql(usqlGrLoc_, "Loc_Kl", "IDLOC_KL", {"IDLOC_KL", "IDCUST", "IDLOCGRKL"},
                 {"IDLOC_KL", "IDCUST", "IDLOCGRKL"});
    qryCust.setUpdateObject(&usqlCust);
    qryHist.setUpdateObject(&usqlHist);
    qryPlan.setUpdateObject(&usqlPlan);
    qryCal.setUpdateObject(&usqlCal);
    qryContacts.setUpdateObject(&usqlContacts);
    qryDog.setUpdateObject(&usqlDog);
    qrySdelka.setUpdateObject(&usqlSdelka);
    qryGrGl.setUpdateObject(&usqlGrGl);
    qryGrLoc.setUpdateObject(&usqlGrLoc);
    qryGrGl_.setUpdateObject(&usqlGrGl_);
    qryGrLoc_.setUpdateObject(&usqlGrLoc_);

    // Key providers.
    const std::pair<fw::StoredProc*, const char*> procs[] = {
        {&spCust, "ID_CUST"},     {&spHist, "ID_HIST"},    {&spContacts, "ID_CONTACTS"}, {&spDog, "ID_DOG"},
        {&spGrGl, "ID_GLGRKL"},   {&spGrLoc, "ID_LOCGRKL"}, {&spGrGl_, "ID_GLKL"},       {&spGrLoc_, "ID_LOCKL"}};
    for (const auto& [sp, name] : procs) {
        sp->setDatabase(sv);
        sp->setStoredProcName(name);
    }

    // Events.
    const auto on = [this](void (TdmKl::*handler)(fw::DataSet&)) {
        return [this, handler](fw::DataSet& ds) { (this->*handler)(ds); };
    };
    qryCust.onNewRecord = on(&TdmKl::qryCustNewRecord);
    qryCust.beforeInsert = on(&TdmKl::qryCustBeforeInsert);
    qryCust.beforeEdit = on(&TdmKl::qryCustBeforeEdit);
    qryCust.beforeDelete = on(&TdmKl::qryCustBeforeDelete);
    qryCust.beforeClose = on(&TdmKl::qryCustBeforeClose);
    qryCust.afterClose = on(&TdmKl::qryAfterClose);
    qryCust.beforeScroll = on(&TdmKl::qryCustBeforeScroll);
    qryCust.afterScroll = on(&TdmKl::qryCustAfterScroll);
    qryCal.afterClose = on(&TdmKl::qryAfterClose);
    qryCal.beforeInsert = on(&TdmKl::qryCalBeforeInsert);

    for (fw::Query* q : {&qryHist, &qryPlan, &qryContacts, &qryDog, &qryGrGl_, &qryGrLoc_})
        q->onNewRecord = on(&TdmKl::qryHistNewRecord);
    for (fw::Query* q : {&qryCust, &qryHist, &qryPlan, &qryCal, &qryContacts, &qryDog, &qryGrGl_, &qryGrLoc_})
        q->beforePost = on(&TdmKl::qryHistBeforePost);
    for (fw::Query* q : {&qryCust, &qryHist, &qryPlan, &qryCal, &qryContacts, &qryDog, &qryGrGl, &qryGrLoc,
                         &qryGrGl_, &qryGrLoc_}) {
        q->afterPost = on(&TdmKl::qryAfterPostDelete);
        q->afterDelete = on(&TdmKl::qryAfterPostDelete);
    }
    qrySdelka.afterDelete = on(&TdmKl::qryAfterPostDelete);
    for (fw::Query* q : {&qryHist, &qryPlan, &qrySales, &qrySdelka, &qryDog, &qryCal, &qryContacts, &qryGrGl_,
                         &qryGrLoc_, &qryBudil})
        q->beforeOpen = on(&TdmKl::qryHistBeforeOpen);
    qryGrGl.beforeOpen = on(&TdmKl::qryBeforeOpenGroup);
    qryGrLoc.beforeOpen = on(&TdmKl::qryBeforeOpenGroup);
    for (fw::Query* q : {&qryHist, &qryPlan, &qryDog, &qryCal, &qryContacts})
        q->beforeClose = on(&TdmKl::qryBeforeClose);
    for (fw::Query* q : {&qryHist, &qryPlan, &qryContacts, &qryDog})
        q->beforeInsert = on(&TdmKl::qryDownBeforeInsert);
    for (fw::Query* q : {&qryHist, &qryPlan, &qryCal, &qryContacts, &qryDog})
        q->beforeEdit = on(&TdmKl::qryDownBeforeEdit);
    for (fw::Query* q : {&qryHist, &qryPlan, &qryCal, &qryContacts, &qryDog, &qrySdelka})
        q->beforeDelete = on(&TdmKl::qryDownBeforeDelete);
    for (fw::Query* q : {&qryCountry, &qryReklama, &qrySegment})
        q->afterScroll = on(&TdmKl::qryCountryAfterScroll);
    qryContacts.afterScroll = on(&TdmKl::qryContactsAfterScroll);

    tmrBudil.setObjectName("tmrBudil");
    tmrBudil.setInterval(300000);
    connect(&tmrBudil, &QTimer::timeout, this, &TdmKl::tmrBudilTimer);

    dmKlCreate();
}

TdmKl::~TdmKl()
{
    try {
        dmKlDestroy();
    } catch (...) {
        // Nothing can be shown from a destructor; the rows that failed stay unwritten.
    }
    if (dmKl == this) {
        dmKl = nullptr;
        KlientSets() = {};
    }
}

QList<fw::StoredProc*> TdmKl::StoredProcs()
{
    return {&spCust, &spHist, &spContacts, &spDog, &spGrGl, &spGrLoc, &spGrGl_, &spGrLoc_};
}

void TdmKl::dmKlCreate()
{
    dbBudil.setParams(dm->db.params());
    qryGrLoc.paramByName("idUser").setValue(CurrentUser.IdUser);
    qryGrLoc_.paramByName("idUser").setValue(CurrentUser.IdUser);

    qryHist.setSql({"select *", "from history", "where", GetRecFilter(), "  and idCust=:idCust",
                    "  and History=\"+\"", "order by DateCr desc"});
    qryPlan.setSql({"select *", "from history", "where", GetRecFilter(), "  and idCust=:idCust",
                    "  and History<>\"+\"", "order by DateCr desc"});
    qryContacts.setSql({"select *", "from contacts", "where", GetRecFilter(), "and idCust=:idCust",
                        "order by idContacts"});
    qrySales.setSql({"select *", "from Sales", "where", "idCust=:idCust and",
                     "(idSdelka is null or idSdelka in (select idSdelka from Sdelka where idCust=:idCust and "
                         + GetRecFilter() + "))",
                     "order by idSale desc"});
    qrySdelka.setSql({"select *", "from Sdelka", "where", GetRecFilter(), "and idCust=:idCust",
                      "order by idSdelka desc"});
    qryDog.setSql({"select *", "from Dog", "where", GetRecFilter(), "and idCust=:idCust", "order by idDog desc"});
    qryCal.setSql({"select h.*, (select Company from Customer where idCust=h.idCust) as Company",
                   "from history h", "where", GetRecFilter()});
}

void TdmKl::dmKlDestroy()
{
    tmrBudil.stop();
    CloseDataModule(this);
    dbBudil.disconnect();
}

QDateTime TdmKl::DefaultPlanDate()
{
    return QDateTime(GetServerDate().date().addDays(1), QTime(9, 0));
}

void TdmKl::CheckInsertRight()
{
    UserRights->CheckAddRecord(CurrentUser.IdUser);
}

void TdmKl::CheckEditRight(fw::DataSet& ds)
{
    const int owner = ownerOf(ds);
    if (&ds == &qrySdelka) UserRights->CheckEditSdelka(CurrentUser, owner);
    else if (&ds == &qryContacts) UserRights->CheckEditContacts(CurrentUser, owner);
    else UserRights->CheckEditRecord(CurrentUser, owner);
}

void TdmKl::CheckDeleteRight(fw::DataSet& ds)
{
    UserRights->CheckDeleteRecord(CurrentUser, ownerOf(ds));
}

void TdmKl::CheckSystemRecord(fw::DataSet& ds)
{
    const fw::Field* access = ds.findField("Access");
    if (access && access->asString() == "-" && CurrentUser.IdUser != 0)
        throw fw::UserError("Вы не можете изменять или удалять системную запись!");
}

void TdmKl::InvalidateCalendar(int idHist, bool moveNext)
{
    if (host_ && host_->CalendarPageActive()) return;
    if (!qryCal.active() || qryCal.isEmpty()) return;
    if (!qryCal.locate("idHist", idHist)) return;
    if (moveNext) qryCal.next();
    CalendarRowId = qryCal.fieldByName("idHist").asInteger();
    qryCal.close();
}

void TdmKl::qryCustNewRecord(fw::DataSet& ds)
{
    ds.fieldByName("DateCr").setAsDateTime(QDateTime(GetServerDate().date(), QTime(0, 0)));
    ds.fieldByName("idUser").setAsInteger(CurrentUser.IdUser);
    for (const char* name : {"idCountry", "idRegion", "idPersp", "idReklama", "idReklama2", "idSegment", "idSegment2"})
        ds.fieldByName(name).setAsInteger(0);
    ds.fieldByName("Polzov").setAsString("-");
    ds.fieldByName("RegPolzov").setAsString("-");
}

void TdmKl::qryHistNewRecord(fw::DataSet& ds)
{
    if (qryCust.isEmpty()) throw fw::Abort();
    PostIfInsert(qryCust);
    ds.fieldByName("idCust").setValue(qryCust.fieldByName("idCust").value());

    if (&ds == &qryHist || &ds == &qryPlan) {
        const bool plan = &ds == &qryPlan;
        ds.fieldByName("DateCr").setAsDateTime(plan ? DefaultPlanDate() : GetServerDate());
        ds.fieldByName("idUser").setAsInteger(CurrentUser.IdUser);
        ds.fieldByName("History").setAsString(plan ? "-" : "+");
        ds.fieldByName("Access").setAsString("+");
        ds.fieldByName("Prior").setAsString("-");
        ds.fieldByName("Budil").setAsString("-");
        ds.fieldByName("idHistType").setAsInteger(0);
        if (host_ && host_->LinkNewRecordsToContact() && !qryContacts.isEmpty()) {
            // A contact typed but not yet saved gets its key first.
            if (qryContacts.fieldByName("idContacts").isNull()) qryContacts.post();
            ds.fieldByName("idContacts").setValue(qryContacts.fieldByName("idContacts").value());
        }
    } else if (&ds == &qryContacts) {
        ds.fieldByName("DateCr").setAsDateTime(QDateTime(GetServerDate().date(), QTime(0, 0)));
        ds.fieldByName("idUser").setAsInteger(CurrentUser.IdUser);
    } else if (&ds == &qryDog) {
        ds.fieldByName("idUser").setAsInteger(CurrentUser.IdUser);
    }
}

void TdmKl::qryHistBeforePost(fw::DataSet& ds)
{
    const bool history = &ds == &qryHist || &ds == &qryPlan || &ds == &qryCal;
    if (history && ds.fieldByName("History").asString() != "-") {
        // A note, or a plan just completed: no reminder and no priority any more.
        ds.fieldByName("Budil").setAsString("-");
        ds.fieldByName("Prior").setAsString("-");
    }
    // The row stays in edit with what was typed, so only the date needs fixing.
    if (history && !UserRights->IsGranted(CurrentUser.IdUser, 1029)
        && ds.fieldByName("DateCr").asDateTime().date() < GetServerDate().date())
        throw fw::UserError("Запрещено вводить план или историю задним числом!");

    if (&ds == &qryCust) {
        setKeyFromProc(ds, "idCust", spCust);
    } else if (&ds == &qryHist || &ds == &qryPlan) {
        fw::Field& key = ds.fieldByName("idHist");
        if (key.isNull()) setKeyFromProc(ds, "idHist", spHist);
        else InvalidateCalendar(key.asInteger(), &ds == &qryPlan && ds.fieldByName("History").asString() == "+");
    } else if (&ds == &qryContacts) {
        setKeyFromProc(ds, "idContacts", spContacts);
    } else if (&ds == &qryGrGl_) {
        setKeyFromProc(ds, "idGr_Kl", spGrGl_);
    } else if (&ds == &qryGrLoc_) {
        setKeyFromProc(ds, "idLoc_Kl", spGrLoc_);
    } else if (&ds == &qryDog) {
        setKeyFromProc(ds, "idDog", spDog);
        fw::Field& skidka = ds.fieldByName("Skidka");
        skidka.setAsCurrency(skidka.asCurrency());
    }
}

void TdmKl::qryAfterPostDelete(fw::DataSet& ds)
{
    dm->qryAfterPostDelete(ds);
    if (&ds == &qryCal) {
        // The card re-reads the row the calendar changed when it next shows it.
        qryHist.close();
        qryPlan.close();
    }
}

void TdmKl::qryHistBeforeOpen(fw::DataSet& ds)
{
    if (&ds == &qryBudil) {
        // Its parameters are bound by the reminder check; it connects on first use.
        if (!dbBudil.connected()) dbBudil.connect();
        PrepareQuery(ds);
        return;
    }
    PrepareQuery(ds);
    auto* q = qobject_cast<fw::Query*>(&ds);
    if (fw::Param* p = q ? q->findParam("idCust") : nullptr)
        p->setValue(qryCust.isEmpty() ? 0 : qryCust.fieldByName("idCust").asInteger());
}

void TdmKl::qryBeforeOpenGroup(fw::DataSet& ds)
{
    PrepareQuery(ds);
}

void TdmKl::qryBeforeClose(fw::DataSet& ds)
{
    dm->qryBeforeClose(ds);
}

void TdmKl::qryCustBeforeClose(fw::DataSet& ds)
{
    dm->qryBeforeClose(ds);
    if (host_) host_->CloseDetails();
}

void TdmKl::qryAfterClose(fw::DataSet& ds)
{
    if (!host_) return;
    if (&ds == &qryCust) host_->SetListPageCaption("Список");
    else if (&ds == &qryCal) host_->SetCalendarPageCaption("Календарь");
}

void TdmKl::qryCustBeforeScroll(fw::DataSet&)
{
    if (host_) host_->CloseDetails();
}

void TdmKl::qryCustAfterScroll(fw::DataSet&)
{
    if (host_) host_->OpenDetails();
}

void TdmKl::qryCustBeforeInsert(fw::DataSet&)
{
    if (!UserRights->IsGranted(CurrentUser.IdUser, 1001))
        throw fw::UserError("У Вас нет права добавлять новые компании!");
}

void TdmKl::qryCustBeforeEdit(fw::DataSet& ds)
{
    static const TUsers::CheckRule rule{1002, 1007, 1012, "У Вас нет права редактировать свою компанию!",
                                        "У Вас нет права редактировать компании пользователей своего отдела!",
                                        "У Вас нет права редактировать компании пользователей чужого отдела!"};
    UserRights->check(rule, CurrentUser, ownerOf(ds));
}

void TdmKl::qryCustBeforeDelete(fw::DataSet& ds)
{
    static const TUsers::CheckRule rule{1003, 1008, 1013, "У Вас нет права удалять свои компании!",
                                        "У Вас нет права удалять компании пользователей своего отдела!",
                                        "У Вас нет права удалять компании пользователей чужого отдела!"};
    UserRights->check(rule, CurrentUser, ownerOf(ds));
    if (!fw::dialogs().confirm("В Н И М А Н И Е !\n"
                               "Вы пытаетесь удалить карточку компании!\n"
                               "Также будет удалена вся информация с ней связанная:\n"
                               "контактные лица, история, сделки, и т.п.\n"
                               "Вы действительно хотите удалить компанию?"))
        throw fw::Abort();
}

void TdmKl::qryDownBeforeInsert(fw::DataSet&)
{
    CheckInsertRight();
}

void TdmKl::qryDownBeforeEdit(fw::DataSet& ds)
{
    CheckSystemRecord(ds);
    CheckEditRight(ds);
}

void TdmKl::qryDownBeforeDelete(fw::DataSet& ds)
{
    CheckSystemRecord(ds);
    CheckDeleteRight(ds);
    if (!fw::dialogs().confirm("Удалить?")) throw fw::Abort();
    if (&ds == &qryHist || &ds == &qryPlan) InvalidateCalendar(ds.fieldByName("idHist").asInteger(), true);
}

void TdmKl::qryCalBeforeInsert(fw::DataSet&)
{
    throw fw::Abort();
}

namespace {

struct Cascade {
    fw::Query* list;
    const char* filterKey;
    const char* combo;
    const char* custField;
};

} // namespace

static std::optional<Cascade> cascadeOf(TdmKl& d, const fw::DataSet& ds)
{
    if (&ds == &d.qryCountry) return Cascade{&d.qryRegion, "idCountry", "dblcRegion", "idRegion"};
    if (&ds == &d.qryReklama) return Cascade{&d.qryReklama2, "idReklama", "dblcReklama2", "idReklama2"};
    if (&ds == &d.qrySegment) return Cascade{&d.qrySegment2, "idSegment", "dblcSegment2", "idSegment2"};
    return std::nullopt;
}

// A move of a first-level list only narrows its second-level list: the program
// opens and moves these lists too, and that must never change the client.
void TdmKl::qryCountryAfterScroll(fw::DataSet& ds)
{
    if (!host_) return;
    const auto c = cascadeOf(*this, ds);
    if (!c) return;
    host_->SetCardComboAttached(c->combo, false);
    c->list->setFilter(QString("%1=%2").arg(c->filterKey).arg(ds.fieldByName(c->filterKey).asInteger()));
    host_->SetCardComboAttached(c->combo, true);
}

void TdmKl::FirstLevelChosen(fw::DataSet& list)
{
    const auto c = cascadeOf(*this, list);
    if (!host_ || !c || !isEditing(qryCust) || !list.active()) return;
    fw::Field& second = qryCust.fieldByName(c->custField);
    // A second level of the chosen first level stays: the user picked the same one again.
    const fw::Value parent = second.isNull() ? fw::Value() : c->list->lookup(c->custField, second.value(), c->filterKey);
    if (!parent.isNull() && parent.asInt() == list.fieldByName(c->filterKey).asInteger()) return;
    second.setAsInteger(0);
}

void TdmKl::qryContactsAfterScroll(fw::DataSet&)
{
    if (host_ && host_->ShowOnlyCurrentContact()) host_->ApplyHistFilter();
}

void TdmKl::tmrBudilTimer()
{
    if (host_) host_->StartBudilCheck();
}
