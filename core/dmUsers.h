#pragma once

#include "core/SharedProcs.h"

#include "db/Query.h"
#include "db/StoredProc.h"
#include "db/UpdateSql.h"

#include <QObject>

namespace fw { class Database; }

// The data module through which the users-and-rights object writes departments,
// users and granted rights. Lives for the whole process; its queries run on the
// main connection of dm.
class TdmUsers : public QObject, public TDataModuleProcs {
    Q_OBJECT
public:
    explicit TdmUsers(QObject* owner = nullptr);
    ~TdmUsers() override;

    fw::Query qryOtdel;
    fw::UpdateSql usqlOtdel;
    fw::Query qryUsers;
    fw::UpdateSql usqlUsers;
    fw::Query qryPrava;
    fw::UpdateSql usqlPrava;

    fw::StoredProc spOtdel;
    fw::StoredProc spUsers;
    fw::StoredProc spPrava;

    // Who takes over the rows of the user being deleted (his clients, deals,
    // history...); -1: a user who still owns rows is not deleted.
    int Heir = -1;

    void qryOtdelBeforeOpen(fw::DataSet& ds);
    void qryOtdelAfterClose(fw::DataSet& ds);
    void qryPravaAfterDelete(fw::DataSet& ds);

    // In the deleting transaction: a department keeps its users, a user's rows
    // go to Heir (of his department) and his rights with him.
    void qryOtdelWriteGuard(fw::UpdateKind kind, fw::DataSet& ds, fw::Transaction& tr);
    void qryUsersWriteGuard(fw::UpdateKind kind, fw::DataSet& ds, fw::Transaction& tr);

    // Runs a key provider and returns its output, the new key.
    int NewKey(fw::StoredProc& sp);

    QList<fw::StoredProc*> StoredProcs() override { return {&spOtdel, &spUsers, &spPrava}; }

private:
    // dm is created after this module, and tests make a new one per case.
    void useMainConnection(fw::Query& q);
};

extern TdmUsers* dmUsers;
