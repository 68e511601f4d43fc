#pragma once

#include "core/SharedProcs.h"
#include "db/DataSource.h"
#include "db/Query.h"
#include "db/StoredProc.h"
#include "db/UpdateSql.h"
#include "os/Smtp.h"

#include <QObject>
#include <functional>

// The mailing data module: the orders, the current order's materials, the
// current material's paths, the material lists and the SMTP client. Orders are
// created by the client card; here they are listed, edited, deleted and sent.
// Created by the mailing window, which owns it.
class TdmZakaz : public QObject, public TDataModuleProcs {
    Q_OBJECT
public:
    explicit TdmZakaz(QObject* owner = nullptr);
    ~TdmZakaz() override;

    QList<fw::StoredProc*> StoredProcs() override;

    fw::Query qryOrders;   fw::DataSource dsOrders;   fw::UpdateSql usqlOrders;   fw::StoredProc spOrders;
    fw::Query qryItems;    fw::DataSource dsItems;    fw::UpdateSql usqlItems;    fw::StoredProc spItems;
    fw::Query qryPath;     fw::DataSource dsPath;
    fw::Query qryGrItem;   fw::DataSource dsGrItem;
    fw::Query qryItem;     fw::DataSource dsItem;

    // Sends on a worker thread; a window closed during a transfer aborts it.
    fw::SmtpClient Smtp;
    // True from Connect to Disconnect of a send operation (each message is a
    // session of its own); the openers leave the window alone meanwhile.
    bool Connected = false;

    // The window's hooks: whether its orders grid has the focus (no orders are
    // added from there), and the refresh of the file list when the current
    // material changes; empty while there is no window.
    std::function<bool()> OrdersGridActive;
    std::function<void()> PathChanged;
    std::function<void()> PathCleared;

    // The edit right on the current order; raises the refusal.
    void CheckEditRight();

    // Event handlers.
    void DataModuleCreate();
    void dmZakazDestroy();
    void qryOrdersBeforeInsert(fw::DataSet& ds);
    void qryOrdersBeforeEdit(fw::DataSet& ds);
    void qryOrdersBeforeDelete(fw::DataSet& ds);
    void qryOrdersBeforePost(fw::DataSet& ds);
    void qryItemsBeforeInsert(fw::DataSet& ds);
    void qryItemsNewRecord(fw::DataSet& ds);
    void qryItemsBeforeEditDelete(fw::DataSet& ds);
    void qryItemsAfterScroll(fw::DataSet& ds);
    void qryItemsAfterClose(fw::DataSet& ds);
};

// The mailing data module; nullptr while the mailing window does not exist.
extern TdmZakaz* dmZakaz;
// True while the mailing window sends (the reminder check waits meanwhile).
extern bool SendingMail;
