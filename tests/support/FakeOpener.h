#pragma once

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace testing_support {

// The desktop's opener while it lives: a script that notes what it was given and
// ends with an exit status of xdg-open (0 opened, 3 no program found, 4 it failed).
class FakeOpener {
public:
    explicit FakeOpener(int exitStatus = 0) : previous_(qgetenv("BRONTAL_OPENER"))
    {
        qputenv("BRONTAL_OPENER", program().toLocal8Bit());
        setExitStatus(exitStatus);
    }
    ~FakeOpener() { qputenv("BRONTAL_OPENER", previous_); }
    FakeOpener(const FakeOpener&) = delete;
    FakeOpener& operator=(const FakeOpener&) = delete;

    void setExitStatus(int exitStatus)
    {
        QFile f(program());
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;
        f.write(QString("#!/bin/sh\nprintf '%s' \"$1\" > '%1.tmp' && mv '%1.tmp' '%1'\nexit %2\n")
                    .arg(argsFile()).arg(exitStatus).toUtf8());
        f.close();
        f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
    }
    void remove() { QFile::remove(program()); }   // no opener on this desktop at all
    void forget() { QFile::remove(argsFile()); }
    // What the opener was given last.
    QString args() const
    {
        QFile f(argsFile());
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString("<none>");
    }
    // Until the opener ran (or done holds), then a little longer for its answer.
    template <class Done>
    bool waitForAnswer(Done done) const
    {
        const bool ok = QTest::qWaitFor([&] { return done() || QFile::exists(argsFile()); }, 5000);
        QTest::qWait(300);
        return ok;
    }

private:
    QString program() const { return dir_.filePath("opener"); }
    QString argsFile() const { return dir_.filePath("args"); }

    QTemporaryDir dir_;
    QByteArray previous_;
};

} // namespace testing_support
