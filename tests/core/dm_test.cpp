#include "CoreFixture.h"

#include "db/DbError.h"
#include "widgets/DBGrid.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

namespace {

class SharedDataModule : public CoreDatabaseTest {
protected:
    QString company() { return db.selectValue("select company from ver").asString(); }
};

TEST_F(SharedDataModule, ConnectsToTheDatabaseNamedInBrIni)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    Tdm module;
    module.programDir = dir.path();

    // Without BR.INI the program's folder holds BR.GDB; there is none here.
    EXPECT_THROW(module.db.connect(), fw::DbError);
    EXPECT_EQ(module.db.params().path, dir.path() + "/BR.GDB");
    EXPECT_EQ(module.db.params().user, "SYSDBA");
    EXPECT_EQ(module.db.params().password, "quillbent");

    QFile ini(dir.filePath("BR.INI"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[Setup]\r\nDataBaseDir=" + QFile::encodeName(params().path) + "\r\n");
    ini.close();
    module.db.connect();
    EXPECT_TRUE(module.db.connected());
    EXPECT_EQ(module.db.params().path, params().path);
}

TEST_F(SharedDataModule, ServerDateCarriesTheTimeOfDay)
{
    const QDateTime before = QDateTime::currentDateTime().addSecs(-5);
    const QDateTime server = GetServerDate();
    const QDateTime after = QDateTime::currentDateTime().addSecs(5);
    EXPECT_GE(server, before);
    EXPECT_LE(server, after);
    EXPECT_FALSE(dm->qryDate.active());
    EXPECT_TRUE(dm->qryDate.prepared());

    // The next login reconnects; the clock must still answer.
    dm->db.disconnect();
    dm->db.connect();
    EXPECT_LE(qAbs(GetServerDate().secsTo(QDateTime::currentDateTime())), 5);
}

// The server's clock is read once a connection; after that its time as read
// runs on with this workstation's clock.
TEST_F(SharedDataModule, ServerDateIsReadOnceAConnectionAndRunsOn)
{
    int reads = 0;
    const fw::DataSet::Handler prepare = dm->qryDate.beforeOpen;
    dm->qryDate.beforeOpen = [&](fw::DataSet& ds) {
        ++reads;
        prepare(ds);
    };
    const QDateTime first = GetServerDate();
    const int read = reads;
    EXPECT_LE(read, 1);
    QThread::msleep(30);
    const QDateTime second = GetServerDate();
    EXPECT_EQ(reads, read);
    EXPECT_GE(first.msecsTo(second), 30);
    EXPECT_LT(first.msecsTo(second), 5000);

    // A new attachment (a login, a reconnect) reads it again.
    dm->db.disconnect();
    dm->db.connect();
    EXPECT_LE(qAbs(GetServerDate().secsTo(QDateTime::currentDateTime())), 5);
    EXPECT_EQ(reads, read + 1);
}

TEST_F(SharedDataModule, SettingsRowIsWrittenAtPost)
{
    EXPECT_EQ(dm->usqlMain.modifySql().size(), 21);
    EXPECT_EQ(dm->usqlMain.modifySql().mid(0, 3), (QStringList{"update ver", "set", "  VER = :VER,"}));
    EXPECT_EQ(dm->usqlMain.modifySql().mid(18), (QStringList{"  ENDPHONECHAR = :ENDPHONECHAR", "where",
                                                             "  VER = :OLD_VER"}));
    dm->qryMain.open();
    dm->qryMain.edit();
    dm->qryMain.fieldByName("COMPANY").setAsString("ООО \"Ромашка\"");
    dm->qryMain.post();
    EXPECT_EQ(company(), "ООО \"Ромашка\"");
    EXPECT_FALSE(dm->db.inTransaction());
}

TEST_F(SharedDataModule, RefusedWriteIsReportedAndKeptForTheNextPost)
{
    db.execute("create exception FAIL_VER 'Сбой записи'");
    db.execute("create trigger FAIL_VER for VER before update as begin"
               " if (new.company = 'Сбой') then exception FAIL_VER; end");
    dm->qryMain.open();
    const QString was = company();
    dm->qryMain.edit();
    dm->qryMain.fieldByName("COMPANY").setAsString("Сбой");
    EXPECT_THROW(dm->qryMain.post(), fw::DbError);
    EXPECT_EQ(dm->qryMain.state(), fw::DataSetState::Edit);
    EXPECT_EQ(company(), was);
    EXPECT_FALSE(dm->db.inTransaction());

    dm->qryMain.fieldByName("COMPANY").setAsString("Исправлено");
    dm->qryMain.post();
    EXPECT_EQ(company(), "Исправлено");
    db.execute("drop trigger FAIL_VER");
}

TEST_F(SharedDataModule, PendingEditIsPostedAtCloseAndDisconnect)
{
    dm->qryMain.open();
    dm->qryMain.edit();
    dm->qryMain.fieldByName("COMPANY").setAsString("Закрытие");
    dm->qryMain.close();
    EXPECT_EQ(company(), "Закрытие");

    dm->qryMain.open();
    dm->qryMain.edit();
    dm->qryMain.fieldByName("COMPANY").setAsString("Выход");
    dm->db.disconnect();
    EXPECT_FALSE(dm->qryMain.active());
    EXPECT_EQ(company(), "Выход");
}

TEST_F(SharedDataModule, PostInsideTheCallersTransactionIsTheCallersToCommit)
{
    dm->qryMain.open();
    const QString was = company();
    dm->db.startTransaction();
    dm->qryMain.edit();
    dm->qryMain.fieldByName("COMPANY").setAsString("Откат");
    dm->qryMain.post();
    EXPECT_TRUE(dm->db.inTransaction());
    dm->db.rollback();
    EXPECT_EQ(company(), was);
}

TEST_F(SharedDataModule, EveryListOpensOnItsTable)
{
    for (fw::Query* q : dm->findChildren<fw::Query*>()) {
        SCOPED_TRACE(q->objectName().toStdString());
        EXPECT_NO_THROW(q->open());
    }
    EXPECT_EQ(dm->qrySdStatus.recordCount(), 3);
    EXPECT_TRUE(dm->qryUser.locate("IDUSER", 0));
}

TEST_F(SharedDataModule, DealGridColoursOpenAndRefusedDeals)
{
    fw::Query deals(&db);
    deals.setSql({"select 1 as idSdelka_St, 'Открыта' as Name from rdb$database",
                  "union all select 2, 'Завершена' from rdb$database",
                  "union all select 3, 'Отказ' from rdb$database"});
    deals.open();
    fw::DataSource ds(&deals);
    fw::DBGrid grid;
    grid.setDataSource(&ds);

    QImage image(200, 20, QImage::Format_ARGB32);
    QPainter painter(&image);
    const auto textColour = [&](int row, bool focused) {
        fw::GridCell cell;
        cell.grid = &grid;
        cell.row = row;
        cell.column = 1;
        cell.field = deals.findField("NAME");
        cell.focused = focused;
        fw::CellStyle style;
        style.text = QColor(Qt::black);
        style.background = QColor(Qt::white);
        dm->dbgSdelkaDrawColumnCell(painter, QRect(0, 0, 200, 20), cell, style);
        return style.text;
    };
    EXPECT_EQ(textColour(0, false), QColor(0, 128, 0));
    EXPECT_EQ(textColour(1, false), QColor(Qt::black));
    EXPECT_EQ(textColour(2, false), QColor(128, 0, 0));
    EXPECT_EQ(textColour(0, true), QColor(Qt::black));
    EXPECT_EQ(textColour(2, true), QColor(Qt::black));
}

} // namespace
