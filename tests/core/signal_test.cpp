// The built program, ended by the session or by kill.

#include "support/TestDatabase.h"
#include "support/schema/DatabaseTest.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>

namespace {

// True once the process has the database file open (it attached).
bool holdsFile(qint64 pid, const QString& file)
{
    const QDir fds(QString("/proc/%1/fd").arg(pid));
    for (const QFileInfo& fd : fds.entryInfoList(QDir::Files | QDir::System))
        if (fd.symLinkTarget() == file) return true;
    return false;
}

} // namespace

TEST(TerminationSignal, EndsTheProgramLikeExitWithoutQuestions)
{
    for (int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal == SIGTERM ? "SIGTERM" : "SIGINT");
        // The program finds its database through BR.INI beside it.
        const QString dir = testing_support::scratchDir() + QString("/app%1").arg(signal);
        ASSERT_TRUE(QDir().mkpath(dir));
        const QString database = QFileInfo(testing_support::createSchemaDatabase(QString("signal%1").arg(signal)).path)
                                     .canonicalFilePath();
        const QString program = dir + "/Brontal";
        QFile::remove(program);
        ASSERT_TRUE(QFile::copy(BRONTAL_APP, program));
        QFile ini(dir + "/BR.INI");
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(("[Setup]\r\nDataBaseDir=" + database + "\r\n").toUtf8());
        ini.close();

        QProcess app;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        app.setProcessEnvironment(env);
        app.setProcessChannelMode(QProcess::ForwardedChannels);
        app.start(program, {});
        ASSERT_TRUE(app.waitForStarted(10000));
        // Sent while the database engine attaches (it puts its own handlers in place then).
        QElapsedTimer clock;
        clock.start();
        while (!holdsFile(app.processId(), database) && clock.elapsed() < 60000) QThread::msleep(50);
        ASSERT_TRUE(holdsFile(app.processId(), database));
        ::kill(pid_t(app.processId()), signal);
        ASSERT_TRUE(app.waitForFinished(10000)) << "still running after the signal";
        EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(app.exitCode(), 0);
    }
}
