#include "dm.h"

#include "DbLocation.h"

#include "widgets/DBGrid.h"

#include <QApplication>
#include <QCoreApplication>
#include <QPainter>
#include <QPixmap>
#include <QStyle>

Tdm* dm = nullptr;

namespace {

QStringList selectAll(const QString& table, const QString& orderBy = {})
{
    QStringList sql{"select *", "from " + table};
    if (!orderBy.isEmpty()) sql << "order by " + orderBy;
    return sql;
}

// The settings row's columns in the order of its update statements.
const QStringList& verColumns()
{
    static const QStringList cols{"VER",      "HOSTTEST",  "HOSTINFO",    "COMPANY",  "PORTTEST",
                                  "PORTINFO", "SUBJTEST",  "SUBJINFO",    "BODYTEST", "BODYINFO",
                                  "VALUTA1",  "VALUTA2",   "PRIZNAK1",    "PRIZNAK2", "COUNTRYCODE",
                                  "CITYCODE", "ENDPHONECHAR"};
    return cols;
}

QIcon standardIcon(QStyle::StandardPixmap sp)
{
    return QApplication::style()->standardIcon(sp);
}

// A small flat picture: a rounded square in one colour with a letter or sign.
QIcon drawnIcon(const QColor& colour, const QString& sign)
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(colour.darker(140));
    p.setBrush(colour);
    p.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 3, 3);
    QFont f = p.font();
    f.setPixelSize(11);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, sign);
    return QIcon(pm);
}

// One person, or two side by side for a department.
QIcon peopleIcon(int count)
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const auto person = [&p](qreal x, const QColor& c) {
        p.setPen(c.darker(150));
        p.setBrush(c);
        p.drawEllipse(QRectF(x + 2.5, 1.5, 5, 5));
        p.drawRoundedRect(QRectF(x + 0.5, 7.5, 9, 8), 3, 3);
    };
    if (count > 1) {
        person(6, QColor(110, 150, 200));
        person(0, QColor(60, 110, 180));
    } else {
        person(3, QColor(60, 110, 180));
    }
    return QIcon(pm);
}

// Overlapping windows: cascading.
QIcon cascadeIcon()
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    for (int i = 0; i < 3; ++i) {
        const QRectF r(0.5 + i * 3, 0.5 + i * 3, 9, 8);
        p.setPen(QColor(60, 80, 110));
        p.setBrush(Qt::white);
        p.drawRect(r);
        p.fillRect(QRectF(r.left() + 0.5, r.top() + 0.5, r.width() - 0.5, 2), QColor(40, 90, 170));
    }
    return QIcon(pm);
}

// An envelope: a letter.
QIcon letterIcon()
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(90, 100, 120));
    p.setBrush(QColor(250, 250, 245));
    p.drawRect(QRectF(1.5, 3.5, 13, 9));
    p.drawPolyline(QPolygonF{QPointF(1.5, 3.5), QPointF(8, 9), QPointF(14.5, 3.5)});
    return QIcon(pm);
}

// A closed book: the reference lists.
QIcon bookIcon()
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(120, 60, 20));
    p.setBrush(QColor(180, 100, 40));
    p.drawRoundedRect(QRectF(2.5, 1.5, 11, 13), 1.5, 1.5);
    p.setPen(QColor(250, 240, 220));
    p.drawLine(QPointF(5, 4.5), QPointF(11, 4.5));
    p.drawLine(QPointF(5, 7), QPointF(11, 7));
    return QIcon(pm);
}

QIcon stateIcon(bool granted)
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(110, 110, 110));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(2.5, 2.5, 11, 11));
    if (granted) {
        p.setPen(QPen(QColor(0, 128, 0), 2));
        p.drawPolyline(QPolygonF{QPointF(4.5, 8), QPointF(7, 11), QPointF(12, 5)});
    } else {
        p.setPen(QPen(QColor(128, 0, 0), 2));
        p.drawLine(QPointF(5, 5), QPointF(11, 11));
        p.drawLine(QPointF(11, 5), QPointF(5, 11));
    }
    return QIcon(pm);
}

} // namespace

Tdm::Tdm(QObject* owner) : QObject(owner)
{
    setObjectName("dm");
    db.beforeConnect = [this](fw::Database& d) { dbBeforeConnect(d); };
    // Closing the connection closes the data sets on it; pending edits are posted first.
    db.beforeDisconnect = [this](fw::Database&) {
        for (fw::Query* q : findChildren<fw::Query*>(QString(), Qt::FindDirectChildrenOnly)) q->close();
    };

    const auto bind = [this](fw::Query& q, const char* name, const QStringList& sql, fw::DataSource* ds,
                             const char* dsName) {
        q.setParent(this);
        q.setObjectName(name);
        q.setDatabase(&db);
        q.setSql(sql);
        if (ds) {
            ds->setParent(this);
            ds->setObjectName(dsName);
            ds->setDataSet(&q);
        }
    };

    bind(qryMain, "qryMain", {"select *", "from ver"}, &dsMain, "dsMain");
    bind(qryUser, "qryUser", selectAll("users", "name"), &dsUser, "dsUser");
    bind(qryOtdel, "qryOtdel", selectAll("otdel", "otdel"), &dsOtdel, "dsOtdel");
    bind(qryPrava, "qryPrava", selectAll("Prava"), nullptr, nullptr);
    bind(qryDate, "qryDate", {"select cast(\"now\" as date) from rdb$database"}, nullptr, nullptr);
    bind(qryGrItem, "qryGrItem", selectAll("GrItem", "GrItem"), &dsGrItem, "dsGrItem");
    bind(qryItem, "qryItem", selectAll("Item", "Item"), &dsItem, "dsItem");
    bind(qryItPath, "qryItPath", selectAll("ItemPath"), &dsItPath, "dsItPath");
    bind(qryGrTovar, "qryGrTovar", selectAll("GrTovar", "GrTovar"), &dsGrTovar, "dsGrTovar");
    bind(qryTovar, "qryTovar", selectAll("Tovar"), &dsTovar, "dsTovar");
    bind(qryDistrict, "qryDistrict", selectAll("District", "District"), &dsDistrict, "dsDistrict");
    bind(qryRegion, "qryRegion", selectAll("region", "region"), &dsRegion, "dsRegion");
    bind(qryCountry, "qryCountry", selectAll("Country", "Country"), &dsCountry, "dsCountry");
    bind(qrySegment, "qrySegment", selectAll("Segmentt", "Segmentt"), &dsSegment, "dsSegment");
    bind(qrySegment2, "qrySegment2", selectAll("segmentt2"), &dsSegment2, "dsSegment2");
    bind(qryReklama, "qryReklama", selectAll("Reklama", "Reklama"), &dsReklama, "dsReklama");
    bind(qryReklama2, "qryReklama2", selectAll("Reklama2"), &dsReklama2, "dsReklama2");
    bind(qryPrichina, "qryPrichina", selectAll("Prichina", "Prichina"), &dsPrichina, "dsPrichina");
    bind(qryPrichina2, "qryPrichina2", selectAll("Prichina2"), &dsPrichina2, "dsPrichina2");
    bind(qrySdType, "qrySdType", selectAll("SdelkaType", "SdelkaType"), &dsSdType, "dsSdType");
    bind(qryOtkaz, "qryOtkaz", selectAll("Otkaz"), &dsOtkaz, "dsOtkaz");
    bind(qryHiType, "qryHiType", selectAll("HistType", "HistType"), &dsHiType, "dsHiType");
    bind(qryPersp, "qryPersp", selectAll("Persp"), &dsPersp, "dsPersp");
    bind(qrySdStatus, "qrySdStatus", selectAll("Sdelka_St"), &dsSdStatus, "dsSdStatus");
    bind(qryEtap, "qryEtap", selectAll("Etap"), &dsEtap, "dsEtap");
    bind(qryOrderStatus, "qryOrderStatus", selectAll("OrderStatus"), &dsOrderStatus, "dsOrderStatus");

    // Settings row: editable through usqlMain, each post committed at once.
    QStringList modify{"update ver", "set"};
    const QStringList& cols = verColumns();
    for (int i = 0; i < cols.size(); ++i)
        modify << "  " + cols[i] + " = :" + cols[i] + (i < cols.size() - 1 ? "," : "");
    modify << "where" << "  VER = :OLD_VER";
    usqlMain.setModifySql(modify);
    usqlMain.setInsertSql({"insert into ver", "  (" + cols.join(", ") + ")", "values",
                           "  (:" + cols.join(", :") + ")"});
    usqlMain.setDeleteSql({"delete from ver", "where", "  VER = :OLD_VER"});
    qryMain.setUpdateObject(&usqlMain);
    qryMain.afterPost = [this](fw::DataSet& ds) { qryMainAfterPost(ds); };
    qryMain.beforeClose = [this](fw::DataSet& ds) { qryBeforeClose(ds); };

    // The server clock stays prepared until the module goes.
    qryDate.beforeOpen = [this](fw::DataSet&) {
        if (!qryDate.prepared()) qryDate.prepare();
    };

    if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
        il = {
            drawnIcon(QColor(0, 128, 0), "+"),              // 0 add
            drawnIcon(QColor(40, 90, 170), "/"),            // 1 edit
            drawnIcon(QColor(170, 30, 30), "x"),            // 2 delete
            standardIcon(QStyle::SP_DialogSaveButton),      // 3 save
            standardIcon(QStyle::SP_DialogCancelButton),    // 4 cancel
            standardIcon(QStyle::SP_BrowserReload),         // 5 refresh
            standardIcon(QStyle::SP_FileDialogContentsView),// 6 find
            peopleIcon(1),                                  // 7 user
            peopleIcon(2),                                  // 8 department
            drawnIcon(QColor(30, 110, 160), "К"),           // 9 clients
            drawnIcon(QColor(0, 128, 0), "С"),              // 10 deals
            drawnIcon(QColor(180, 120, 20), "Р"),           // 11 mailing
            drawnIcon(QColor(110, 60, 150), "О"),           // 12 reports
            drawnIcon(QColor(90, 90, 90), "Н"),             // 13 settings
            standardIcon(QStyle::SP_DialogHelpButton),      // 14 help
            standardIcon(QStyle::SP_DialogCloseButton),     // 15 exit
            drawnIcon(QColor(40, 90, 170), "И"),            // 16 login
            standardIcon(QStyle::SP_MessageBoxInformation), // 17 about
            standardIcon(QStyle::SP_DialogOkButton),        // 18 ok
            standardIcon(QStyle::SP_ArrowUp),               // 19 up
            standardIcon(QStyle::SP_ArrowDown),             // 20 down
            bookIcon(),                                     // 21 reference lists
            cascadeIcon(),                                  // 22 cascade
            letterIcon(),                                   // 23 letter
        };
        ilState = {QIcon(), stateIcon(true), stateIcon(false)};
    }
}

Tdm::~Tdm()
{
    try {
        db.disconnect();
    } catch (...) {
        // too late to tell anyone
    }
    db.beforeDisconnect = nullptr;
    dmDestroy();
    if (dm == this) dm = nullptr;
}

void Tdm::dbBeforeConnect(fw::Database& database)
{
    const QString dir = programDir.isEmpty() ? QCoreApplication::applicationDirPath() : programDir;
    const DbLocation loc = FindDatabase(dir, QCoreApplication::arguments().mid(1));
    fw::ConnectParams p = database.params();
    p.path = loc.path;
    p.user = loc.user;
    p.password = loc.password;
    database.setParams(p);
}

void Tdm::qryAfterPostDelete(fw::DataSet& ds)
{
    // The post or delete has already written and committed its row; nothing
    // is left to apply unless a handler started an edit since. Only then is
    // there something to write: in one transaction, rolled back on failure,
    // the error never hidden (an empty one would only cost the server a visit).
    ds.applyUpdates();
    ds.commitUpdates();
    if (ds.state() != fw::DataSetState::Edit && ds.state() != fw::DataSetState::Insert) return;
    auto* q = qobject_cast<fw::Query*>(&ds);
    fw::Database& conn = q && q->database() ? *q->database() : db;
    if (conn.inTransaction()) {
        // The caller's own transaction decides.
        ds.applyUpdates();
        return;
    }
    conn.startTransaction();
    try {
        ds.applyUpdates();
        conn.commit();
        ds.commitUpdates();
    } catch (...) {
        try { conn.rollback(); } catch (...) {}
        throw;
    }
}

void Tdm::qryBeforeClose(fw::DataSet& ds)
{
    if (ds.state() == fw::DataSetState::Edit || ds.state() == fw::DataSetState::Insert) ds.post();
}

void Tdm::qryMainAfterPost(fw::DataSet& ds)
{
    qryAfterPostDelete(ds);
}

void Tdm::dbgSdelkaDrawColumnCell(QPainter& painter, const QRect& rect, const fw::GridCell& cell,
                                  fw::CellStyle& style)
{
    if (!cell.focused) {
        switch (cell.value("idSdelka_St").asInt()) {
        case 1:
            style.text = QColor(0, 128, 0);
            break;
        case 3:
            style.text = QColor(128, 0, 0);
            break;
        default:
            break;
        }
    }
    if (cell.grid) cell.grid->defaultDrawCell(painter, rect, cell, style);
}

void Tdm::dmDestroy()
{
    qryDate.unprepare();
}

QDateTime GetServerDate()
{
    // Read again on a new attachment (a login, a reconnect) and every hour, so
    // a clock the server's administrator set or a daylight-saving change is
    // followed; in between no visit to the server.
    constexpr qint64 kRereadMs = 3600 * 1000;
    Tdm::ServerClock& clock = dm->serverClock;
    if (clock.attachment != dm->db.attachmentSerial() || !clock.since.isValid() || clock.since.elapsed() > kRereadMs) {
        fw::Query& q = dm->qryDate;
        q.open();
        const QDateTime now = q.field(0).asDateTime();
        q.close();
        clock.read = now;
        clock.since.start();
        clock.attachment = dm->db.attachmentSerial();
        return now;
    }
    return clock.read.addMSecs(clock.since.elapsed());
}
