#pragma once

#include "core/SharedProcs.h"
#include "db/Database.h"
#include "db/DataSource.h"
#include "db/Query.h"
#include "db/StoredProc.h"
#include "db/UpdateSql.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>

class TKlientHost;

// The data module of the clients module: the current client selection, the
// card's detail sets, the groups, the calendar, the lookups of the card and of
// the search page, and the reminder query on its own connection. Its handlers
// carry the module's rules (defaults, rights, back-dating, keys, system rows).
// Created by the clients window, which passes itself as host.
class TdmKl : public QObject, public TDataModuleProcs {
    Q_OBJECT
public:
    explicit TdmKl(TKlientHost* host = nullptr, QObject* owner = nullptr);
    ~TdmKl() override;

    QList<fw::StoredProc*> StoredProcs() override;

    TKlientHost* host() const { return host_; }
    void setHost(TKlientHost* h) { host_ = h; }

    // Current client selection and the card's details.
    fw::Query qryCust;       fw::DataSource dsCust;       fw::UpdateSql usqlCust;
    fw::Query qryHist;       fw::DataSource dsHist;       fw::UpdateSql usqlHist;
    fw::Query qryPlan;       fw::DataSource dsPlan;       fw::UpdateSql usqlPlan;
    fw::Query qryContacts;   fw::DataSource dsContacts;   fw::UpdateSql usqlContacts;
    fw::Query qrySales;      fw::DataSource dsSales;
    fw::Query qrySdelka;     fw::DataSource dsSdelka;     fw::UpdateSql usqlSdelka;
    fw::Query qryDog;        fw::DataSource dsDog;        fw::UpdateSql usqlDog;
    fw::Query qryCal;        fw::DataSource dsCal;        fw::UpdateSql usqlCal;

    // Shared and personal client groups and the current client's memberships.
    fw::Query qryGrGl;       fw::DataSource dsGrGl;       fw::UpdateSql usqlGrGl;
    fw::Query qryGrLoc;      fw::DataSource dsGrLoc;      fw::UpdateSql usqlGrLoc;
    fw::Query qryGrGl_;      fw::DataSource dsGrGl_;      fw::UpdateSql usqlGrGl_;
    fw::Query qryGrLoc_;     fw::DataSource dsGrLoc_;     fw::UpdateSql usqlGrLoc_;

    // Reminders: their own connection, so the worker thread never shares dm->db.
    fw::Database dbBudil;
    fw::Query qryBudil;      fw::DataSource dsBudil;
    QTimer tmrBudil;

    fw::Query qryPlanCheck;  fw::DataSource dsPlanCheck;
    fw::Query qryPlanMove;
    fw::Query qryFields;     fw::DataSource dsFields;
    fw::Query qryTemp;       fw::DataSource dsTemp;

    // Card lookups.
    fw::Query qryCountry;    fw::DataSource dsCountry;
    fw::Query qryRegion;     fw::DataSource dsRegion;
    fw::Query qryReklama;    fw::DataSource dsReklama;
    fw::Query qryReklama2;   fw::DataSource dsReklama2;
    fw::Query qrySegment;    fw::DataSource dsSegment;
    fw::Query qrySegment2;   fw::DataSource dsSegment2;

    // Search-page lookups.
    fw::Query qryZRegion;    fw::DataSource dsZRegion;
    fw::Query qryZReklama2;  fw::DataSource dsZReklama2;
    fw::Query qryZSegment2;  fw::DataSource dsZSegment2;
    fw::Query qryZTovar;     fw::DataSource dsZTovar;
    fw::Query qryZOtkaz;     fw::DataSource dsZOtkaz;
    fw::Query qryZPrichina2; fw::DataSource dsZPrichina2;
    fw::Query qryZUser;      fw::DataSource dsZUser;

    // Calendar filter lists: an empty entry (key -1) first, then users or history types by name.
    fw::Query qryCalUser;    fw::DataSource dsCalUser;
    fw::Query qryCalHiType;  fw::DataSource dsCalHiType;

    // Key providers.
    fw::StoredProc spCust;
    fw::StoredProc spHist;
    fw::StoredProc spContacts;
    fw::StoredProc spDog;
    fw::StoredProc spGrGl;
    fw::StoredProc spGrLoc;
    fw::StoredProc spGrGl_;
    fw::StoredProc spGrLoc_;

    // Key of the calendar row to select when the calendar next opens; -1 none pending.
    int CalendarRowId = 0;

    // Tomorrow at 09:00 server time.
    static QDateTime DefaultPlanDate();
    void CheckInsertRight();
    void CheckEditRight(fw::DataSet& ds);
    void CheckDeleteRight(fw::DataSet& ds);
    void CheckSystemRecord(fw::DataSet& ds);
    void InvalidateCalendar(int idHist, bool moveNext);

    // Event handlers.
    void dmKlCreate();
    void dmKlDestroy();
    void qryCustNewRecord(fw::DataSet& ds);
    void qryHistNewRecord(fw::DataSet& ds);
    void qryHistBeforePost(fw::DataSet& ds);
    void qryAfterPostDelete(fw::DataSet& ds);
    void qryHistBeforeOpen(fw::DataSet& ds);
    void qryBeforeOpenGroup(fw::DataSet& ds);
    void qryBeforeClose(fw::DataSet& ds);
    void qryCustBeforeClose(fw::DataSet& ds);
    void qryAfterClose(fw::DataSet& ds);
    void qryCustBeforeScroll(fw::DataSet& ds);
    void qryCustAfterScroll(fw::DataSet& ds);
    void qryCustBeforeInsert(fw::DataSet& ds);
    void qryCustBeforeEdit(fw::DataSet& ds);
    void qryCustBeforeDelete(fw::DataSet& ds);
    void qryDownBeforeInsert(fw::DataSet& ds);
    void qryDownBeforeEdit(fw::DataSet& ds);
    void qryDownBeforeDelete(fw::DataSet& ds);
    void qryCalBeforeInsert(fw::DataSet& ds);
    void qryCountryAfterScroll(fw::DataSet& ds);
    // The user picked a value in the first-level combo of that list: a second
    // level of another first level goes back to 0.
    void FirstLevelChosen(fw::DataSet& list);
    void qryContactsAfterScroll(fw::DataSet& ds);
    void tmrBudilTimer();

private:
    TKlientHost* host_ = nullptr;
};

// The clients data module; nullptr while the clients window does not exist.
extern TdmKl* dmKl;
