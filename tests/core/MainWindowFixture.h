#pragma once

#include "CoreFixture.h"

#include "core/ModuleWindows.h"
#include "core/fmMain.h"

#include "os/UserSettings.h"
#include "widgets/ScriptedDialogs.h"

#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

// A module window that can refuse to close.
class DummyWindow : public QWidget, public TCloseQuery {
public:
    explicit DummyWindow(QWidget* owner) : QWidget(owner) { setWindowTitle("Пробное окно"); }
    bool FormCloseQuery() override
    {
        ++asks;
        return !refuse;
    }
    bool refuse = false;
    static inline int asks = 0;   // of every dummy, as they are gone once closed
};

inline QPointer<DummyWindow> fmDummy;
inline QPointer<DummyWindow> fmDummy2;

// The main window over a fresh database, with the personal settings in a
// scratch file and every dialog scripted.
class MainWindowTest : public CoreDatabaseTest {
protected:
    void SetUp() override
    {
        CoreDatabaseTest::SetUp();
        settings = std::make_unique<fw::UserSettingsScope>(dir.filePath("user.ini"));
        dialogs = std::make_unique<fw::ScriptedDialogs>();
        ModuleWindows() = {};
        ModuleWindows().Klient = ModuleWindow(fmDummy);
        ModuleWindows().Report = ModuleWindow(fmDummy2);
        fmMain = new TfmMain;
    }
    void TearDown() override
    {
        delete fmMain;
        flush();
        ModuleWindows() = {};
        dialogs.reset();
        settings.reset();
        CoreDatabaseTest::TearDown();
    }

    static void flush() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
    static bool visible(QMenu* m) { return m->menuAction()->isVisible(); }
    int children() const { return int(fmMain->mdiArea->subWindowList().size()); }

    // Runs action while drive works on the modal dialog it opens (of class D).
    template <class D>
    static void withModal(const std::function<void()>& action, const std::function<void(D&)>& drive)
    {
        bool driven = false;
        QTimer::singleShot(0, [&] {
            auto* d = qobject_cast<D*>(QApplication::activeModalWidget());
            if (!d) {
                ADD_FAILURE() << "no modal dialog of the expected class";
                return;
            }
            driven = true;
            drive(*d);
            // Never leave a test waiting on a dialog the driver forgot.
            if (d->isVisible()) {
                ADD_FAILURE() << "the dialog is still open";
                d->reject();
            }
        });
        action();
        EXPECT_TRUE(driven) << "the dialog never appeared";
    }

    QTemporaryDir dir;
    std::unique_ptr<fw::UserSettingsScope> settings;
    std::unique_ptr<fw::ScriptedDialogs> dialogs;
};
