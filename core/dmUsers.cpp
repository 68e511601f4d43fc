#include "core/dmUsers.h"

#include "core/dm.h"
#include "core/schema/References.h"

#include "db/DbError.h"
#include "db/Statement.h"

TdmUsers* dmUsers = nullptr;

TdmUsers::TdmUsers(QObject* owner)
    : QObject(owner), qryOtdel(this), qryUsers(this), qryPrava(this)
{
    qryOtdel.setObjectName("qryOtdel");
    qryOtdel.setSql({"select *", "from Otdel", "order by Otdel"});
    usqlOtdel.setModifySql({"update Otdel", "set", "  IDOTDEL = :IDOTDEL,", "  OTDEL = :OTDEL", "where",
                            "  IDOTDEL = :OLD_IDOTDEL"});
    usqlOtdel.setInsertSql({"insert into Otdel", "  (IDOTDEL, OTDEL)", "values", "  (:IDOTDEL, :OTDEL)"});
    usqlOtdel.setDeleteSql({"delete from Otdel", "where", "  IDOTDEL = :OLD_IDOTDEL"});
    qryOtdel.setUpdateObject(&usqlOtdel);

    qryUsers.setObjectName("qryUsers");
    qryUsers.setSql({"select *", "from Users", "order by Name"});
    usqlUsers.setModifySql({"update Users", "set", "  IDUSER = :IDUSER,", "  IDOTDEL = :IDOTDEL,",
                            "  NAME = :NAME,", "  PASS = :PASS,", "  EMAIL = :EMAIL", "where",
                            "  IDUSER = :OLD_IDUSER"});
    usqlUsers.setInsertSql({"insert into Users", "  (IDUSER, IDOTDEL, NAME, PASS, EMAIL)", "values",
                            "  (:IDUSER, :IDOTDEL, :NAME, :PASS, :EMAIL)"});
    usqlUsers.setDeleteSql({"delete from Users", "where", "  IDUSER = :OLD_IDUSER"});
    qryUsers.setUpdateObject(&usqlUsers);

    qryPrava.setObjectName("qryPrava");
    qryPrava.setSql({"select *", "from prava"});
    usqlPrava.setModifySql({"update prava", "set", "  IDPRAVA = :IDPRAVA,", "  IDUSER = :IDUSER,",
                            "  IDPRAVO = :IDPRAVO", "where", "  IDPRAVA = :OLD_IDPRAVA"});
    usqlPrava.setInsertSql({"insert into prava", "  (IDPRAVA, IDUSER, IDPRAVO)", "values",
                            "  (:IDPRAVA, :IDUSER, :IDPRAVO)"});
    usqlPrava.setDeleteSql({"delete from prava", "where", "  IDPRAVA = :OLD_IDPRAVA"});
    qryPrava.setUpdateObject(&usqlPrava);

    for (fw::Query* q : {&qryOtdel, &qryUsers, &qryPrava}) {
        q->beforeOpen = [this](fw::DataSet& ds) { qryOtdelBeforeOpen(ds); };
        q->afterClose = [this](fw::DataSet& ds) { qryOtdelAfterClose(ds); };
        q->afterPost = [this](fw::DataSet& ds) { qryPravaAfterDelete(ds); };
        q->afterDelete = [this](fw::DataSet& ds) { qryPravaAfterDelete(ds); };
    }

    qryOtdel.setWriteGuard([this](fw::UpdateKind kind, fw::DataSet& ds, fw::Transaction& tr) {
        qryOtdelWriteGuard(kind, ds, tr);
    });
    qryUsers.setWriteGuard([this](fw::UpdateKind kind, fw::DataSet& ds, fw::Transaction& tr) {
        qryUsersWriteGuard(kind, ds, tr);
    });

    spOtdel.setStoredProcName("ID_OTDEL");
    spUsers.setStoredProcName("ID_USER");
    spPrava.setStoredProcName("ID_PRAVA");
}

TdmUsers::~TdmUsers()
{
    if (dmUsers == this) dmUsers = nullptr;
}

void TdmUsers::useMainConnection(fw::Query& q)
{
    if (!dm) throw fw::Error("TdmUsers: the shared data module does not exist");
    q.setDatabase(&dm->db);
}

void TdmUsers::qryOtdelBeforeOpen(fw::DataSet& ds)
{
    auto& q = static_cast<fw::Query&>(ds);
    useMainConnection(q);
    if (!q.prepared()) q.prepare();
}

void TdmUsers::qryOtdelAfterClose(fw::DataSet& ds)
{
    static_cast<fw::Query&>(ds).unprepare();
}

void TdmUsers::qryPravaAfterDelete(fw::DataSet& ds)
{
    dm->qryAfterPostDelete(ds);
}

void TdmUsers::qryOtdelWriteGuard(fw::UpdateKind kind, fw::DataSet& ds, fw::Transaction& tr)
{
    if (kind == fw::UpdateKind::Delete) schema::clearUses(tr, "OTDEL", ds.fieldByName("IDOTDEL").asInteger());
}

void TdmUsers::qryUsersWriteGuard(fw::UpdateKind kind, fw::DataSet& ds, fw::Transaction& tr)
{
    if (kind != fw::UpdateKind::Delete) return;
    const int id = ds.fieldByName("IDUSER").asInteger();
    std::optional<int> heir;
    if (Heir >= 0) {
        // As the database has it now, not as this workstation loaded it.
        fw::Statement s(tr.database(), "select count(*) from Users u, Users h where u.idUser = :ID"
                                       " and h.idUser = :HEIR and h.idUser <> u.idUser and h.idOtdel = u.idOtdel");
        s.setParam("ID", id);
        s.setParam("HEIR", Heir);
        s.execute(tr);
        const bool same = s.fetch() && s.value(0).asInt() > 0;
        s.closeCursor();
        if (!same)
            throw fw::UserError("Пользователь, которому передаются записи, удалён или переведён в другой отдел.\n"
                                "Ничего не изменено.");
        heir = Heir;
    }
    schema::clearUses(tr, "USERS", id, heir);
}

int TdmUsers::NewKey(fw::StoredProc& sp)
{
    if (!dm) throw fw::Error("TdmUsers: the shared data module does not exist");
    if (sp.database() != &dm->db) sp.setDatabase(&dm->db);
    sp.execProc();
    return sp.param(0).asInteger();
}
