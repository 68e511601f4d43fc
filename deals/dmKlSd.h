#pragma once

#include "core/SharedProcs.h"
#include "db/DataSource.h"
#include "db/Query.h"
#include "db/StoredProc.h"
#include "db/UpdateSql.h"

#include <QObject>
#include <functional>

// The deal data module: the one deal being worked on (its row, stages, goods
// lines and the current line's payments) and the small lists of the deal
// dialogs. It carries the deal's defaults, checks and keys; every posted or
// deleted row is applied and committed at once by the core's shared handler.
// The deal totals and the goods lines' paid sums are kept by the database.
// Created on first need with no owner; freed by the clients window.
class TdmKlSd : public QObject, public TDataModuleProcs {
    Q_OBJECT
public:
    explicit TdmKlSd(QObject* owner = nullptr);
    ~TdmKlSd() override;

    QList<fw::StoredProc*> StoredProcs() override;

    // The deal and its details (cached updates with update objects).
    fw::Query qrySdelka;     fw::DataSource dsSdelka;     fw::UpdateSql usqlSdelka;
    fw::Query qryEtaps;      fw::DataSource dsEtaps;      fw::UpdateSql usqlEtaps;
    fw::Query qrySales;      fw::DataSource dsSales;      fw::UpdateSql usqlSales;
    fw::Query qryOplata;     fw::DataSource dsOplata;     fw::UpdateSql usqlOplata;

    // Payments of the deal by date and rate, for the accounting plug-in.
    fw::Query qryOpl1C;

    // Lists of the deal dialogs; the filtered ones show every row with an empty filter.
    fw::Query qryPrichina;   fw::DataSource dsPrichina;
    fw::Query qryPrichina2;  fw::DataSource dsPrichina2;
    fw::Query qryOtkaz;      fw::DataSource dsOtkaz;
    fw::Query qryTovar;      fw::DataSource dsTovar;
    fw::Query qryUser;       fw::DataSource dsUser;

    // Key providers (output parameter ID).
    fw::StoredProc spSdelka;
    fw::StoredProc spEtaps;
    fw::StoredProc spSales;
    fw::StoredProc spOplata;

    // While true, the payments follow the current goods line; cleared while
    // code walks the goods lines without wanting the payments reread.
    bool SalesLinked = true;

    // Run after a cancel of the deal row; the deal card sets it to its reason
    // refresh while it is open.
    std::function<void()> SdelkaCancelled;

    // Event handlers.
    void dmKlSdCreate();
    void dmKlSdDestroy();
    void qryEtapsBeforeOpen(fw::DataSet& ds);
    void qryEtapsNewRecord(fw::DataSet& ds);
    void qryEtapsBeforePost(fw::DataSet& ds);
    void qryAfterPostDelete(fw::DataSet& ds);
    void qryBeforeClose(fw::DataSet& ds);
    void qryEtapsBeforeDelete(fw::DataSet& ds);
    void qrySdelkaAfterCancel(fw::DataSet& ds);
    void qrySalesBeforeScroll(fw::DataSet& ds);
    void qrySalesAfterScroll(fw::DataSet& ds);
};

// The deal data module; nullptr until first needed.
extern TdmKlSd* dmKlSd;
