#pragma once

#include "db/Database.h"
#include "db/DataSource.h"
#include "db/Query.h"
#include "db/UpdateSql.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QIcon>
#include <QList>
#include <QObject>
#include <QStringList>

class QPainter;
class QRect;
namespace fw {
struct GridCell;
struct CellStyle;
}

// The shared data module: the connection "sv", the settings row, the server
// clock, the lookup lists, the shared apply-and-commit handlers and the image
// lists of every window. Created at start-up without a connection.
class Tdm : public QObject {
    Q_OBJECT
public:
    explicit Tdm(QObject* owner = nullptr);
    ~Tdm() override;

    fw::Database db;                       // database name "sv"

    // Settings row (table VER).
    fw::Query qryMain;
    fw::DataSource dsMain;
    fw::UpdateSql usqlMain;

    // Users, departments and rights (opened by the login).
    fw::Query qryUser;
    fw::DataSource dsUser;
    fw::Query qryOtdel;
    fw::DataSource dsOtdel;
    fw::Query qryPrava;

    // Server clock.
    fw::Query qryDate;
    // The server's clock as GetServerDate last read it: on which attachment,
    // its time then, and this workstation's monotonic clock since.
    struct ServerClock {
        quint64 attachment = 0;
        QDateTime read;
        QElapsedTimer since;
    } serverClock;

    // Lookup lists, opened on demand by the windows that use them.
    fw::Query qryGrItem;      fw::DataSource dsGrItem;
    fw::Query qryItem;        fw::DataSource dsItem;
    fw::Query qryItPath;      fw::DataSource dsItPath;
    fw::Query qryGrTovar;     fw::DataSource dsGrTovar;
    fw::Query qryTovar;       fw::DataSource dsTovar;
    fw::Query qryDistrict;    fw::DataSource dsDistrict;
    fw::Query qryRegion;      fw::DataSource dsRegion;
    fw::Query qryCountry;     fw::DataSource dsCountry;
    fw::Query qrySegment;     fw::DataSource dsSegment;
    fw::Query qrySegment2;    fw::DataSource dsSegment2;
    fw::Query qryReklama;     fw::DataSource dsReklama;
    fw::Query qryReklama2;    fw::DataSource dsReklama2;
    fw::Query qryPrichina;    fw::DataSource dsPrichina;
    fw::Query qryPrichina2;   fw::DataSource dsPrichina2;
    fw::Query qrySdType;      fw::DataSource dsSdType;
    fw::Query qryOtkaz;       fw::DataSource dsOtkaz;
    fw::Query qryHiType;      fw::DataSource dsHiType;
    fw::Query qryPersp;       fw::DataSource dsPersp;
    fw::Query qrySdStatus;    fw::DataSource dsSdStatus;
    fw::Query qryEtap;        fw::DataSource dsEtap;
    fw::Query qryOrderStatus; fw::DataSource dsOrderStatus;

    // Menu and tool-button images, addressed by index.
    QList<QIcon> il;
    // Rights tree state images: index 1 granted, 2 not granted.
    QList<QIcon> ilState;

    // Before every connect of db: path, user and password from BR.INI and the command line.
    void dbBeforeConnect(fw::Database& database);

    // The shared after-post and after-delete handler of every editable query.
    void qryAfterPostDelete(fw::DataSet& ds);
    // The shared before-close handler: posts a pending edit or insert.
    void qryBeforeClose(fw::DataSet& ds);
    void qryMainAfterPost(fw::DataSet& ds);

    // The cell drawer of the deal grids: open deals in green, refused ones in
    // maroon (status 1 and 3), except in the focused cell.
    void dbgSdelkaDrawColumnCell(QPainter& painter, const QRect& rect, const fw::GridCell& cell,
                                 fw::CellStyle& style);

    void dmDestroy();

    // Where BR.INI and BR.GDB are looked for; empty: the program's folder.
    QString programDir;
};

extern Tdm* dm;

// The server's current date and time of day: read from the server once per
// connection, then its clock as read plus the time passed on this workstation's.
QDateTime GetServerDate();
