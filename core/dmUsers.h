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

    void qryOtdelBeforeOpen(fw::DataSet& ds);
    void qryOtdelAfterClose(fw::DataSet& ds);
    void qryPravaAfterDelete(fw::DataSet& ds);

    // Runs a key provider and returns its output, the new key.
    int NewKey(fw::StoredProc& sp);

    QList<fw::StoredProc*> StoredProcs() override { return {&spOtdel, &spUsers, &spPrava}; }

private:
    // dm is created after this module, and tests make a new one per case.
    void useMainConnection(fw::Query& q);
};

extern TdmUsers* dmUsers;
