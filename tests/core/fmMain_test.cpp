#include "MainWindowFixture.h"

#include "core/SharedProcs.h"
#include "core/fmAbout.h"
#include "core/fmLogin.h"

#include "os/Shell.h"
#include "support/FakeOpener.h"

#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QUrlQuery>

namespace {

using MainWindow = MainWindowTest;

TEST_F(MainWindow, BeforeLoginOnlyFileAndHelpAreVisible)
{
    EXPECT_EQ(fmMain->windowTitle(), "Brontal");
    EXPECT_TRUE(visible(fmMain->mmiFile));
    EXPECT_TRUE(visible(fmMain->mmiHelp));
    EXPECT_FALSE(visible(fmMain->mmiModul));
    EXPECT_FALSE(visible(fmMain->mmiSetup));
    EXPECT_FALSE(visible(fmMain->mmiWindow));
    for (const char* name : {"mmiLogin", "mmiExit", "mmiKlient", "mmiSdelka", "mmiRass", "mmiReport", "miSetMy",
                             "miSetSpr", "miSetGl", "miSetUsers"})
        EXPECT_NE(fmMain->findChild<QAction*>(name), nullptr) << name;
    EXPECT_EQ(fmMain->miSetUsers->text(), "&Пользователи, права");
    EXPECT_EQ(fmMain->miHelp->shortcut(), QKeySequence(Qt::Key_F1));
}

TEST_F(MainWindow, ModuleItemShowsTheExistingWindowAgain)
{
    fmMain->mmiKlient->trigger();
    ASSERT_TRUE(fmDummy);
    DummyWindow* first = fmDummy;
    fmMain->mmiReport->trigger();
    EXPECT_EQ(children(), 2);

    fmMain->mmiKlient->trigger();
    EXPECT_EQ(fmDummy.data(), first);
    EXPECT_EQ(children(), 2);
    EXPECT_EQ(fmMain->mdiArea->activeSubWindow()->widget(), first);

    // Closed, it frees itself, and the item makes a new one.
    fmMain->mdiArea->activeSubWindow()->close();
    flush();
    EXPECT_FALSE(fmDummy);
    EXPECT_EQ(children(), 1);
    fmMain->mmiKlient->trigger();
    EXPECT_TRUE(fmDummy);
    EXPECT_EQ(children(), 2);

    // Items of modules not linked in open nothing.
    fmMain->mmiSdelka->trigger();
    fmMain->miSetGl->trigger();
    EXPECT_EQ(children(), 2);
}

TEST_F(MainWindow, WindowMenuCascadesAndListsTheChildren)
{
    fmMain->mmiKlient->trigger();
    fmMain->mmiReport->trigger();
    emit fmMain->mmiWindow->aboutToShow();
    QStringList titles;
    for (QAction* a : fmMain->mmiWindow->actions())
        if (!a->isSeparator()) titles << a->text();
    EXPECT_EQ(titles, (QStringList{"&Упорядочить", "&1 Пробное окно", "&2 Пробное окно"}));
    fmMain->N3->trigger();
}

TEST_F(MainWindow, AChildThatRefusesKeepsTheProgramRunning)
{
    fmMain->mmiKlient->trigger();
    fmMain->mmiReport->trigger();
    fmDummy2->refuse = true;
    QPointer<TfmMain> main(fmMain.data());
    dm->qryMain.open();

    EXPECT_FALSE(fmMain->close());
    flush();
    ASSERT_TRUE(main);
    EXPECT_TRUE(fmDummy);   // asked, but not closed, although it agreed
    EXPECT_TRUE(fmDummy2);
    EXPECT_EQ(children(), 2);
    EXPECT_TRUE(dm->db.connected());
    EXPECT_TRUE(dm->qryMain.active());

    // Closing one child alone asks it too.
    fmDummy2->parentWidget()->close();
    flush();
    EXPECT_TRUE(fmDummy2);

    fmDummy2->refuse = false;
    DummyWindow::asks = 0;
    EXPECT_TRUE(fmMain->close());
    EXPECT_EQ(DummyWindow::asks, 2);   // each once, not again at its closing
    flush();
    EXPECT_FALSE(main);
    EXPECT_FALSE(fmDummy);
    EXPECT_FALSE(fmDummy2);
    EXPECT_FALSE(dm->db.connected());
}

TEST_F(MainWindow, MailingItemLeavesAWindowThatIsSendingAlone)
{
    bool sending = false;
    int opened = 0;
    ModuleWindows().Zakaz = ModuleWindow(fmDummy);
    ModuleWindows().ZakazSending = [&] { return sending; };
    ModuleWindows().ZakazOpenAll = [&](QWidget*) { ++opened; };

    fmMain->mmiRass->trigger();
    ASSERT_TRUE(fmDummy);
    EXPECT_EQ(fmDummy->windowTitle(), "Рассылка");
    EXPECT_EQ(opened, 1);

    fmDummy->setWindowTitle("Рассылка: идёт отправка");
    sending = true;
    fmMain->mmiRass->trigger();
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(fmDummy->windowTitle(), "Рассылка: идёт отправка");

    sending = false;
    fmMain->mmiRass->trigger();
    EXPECT_EQ(opened, 2);
    EXPECT_EQ(children(), 1);
}

TEST_F(MainWindow, AboutBoxShowsTheVersion)
{
    QString version;
    withModal<TfmAbout>([] { fmMain->miAbout->trigger(); },
                        [&](TfmAbout& about) {
                            version = about.lbVersion->text();
                            about.btnOk->click();
                        });
    EXPECT_EQ(version, "Версия: 1.7.0.39");
}

TEST_F(MainWindow, LetterToTheDevelopersCarriesVersionAndSystem)
{
    fw::RecordingShell shell;
    fmMain->N6->trigger();
    ASSERT_EQ(shell.opened.size(), 1);
    const QUrl url = shell.opened[0];
    EXPECT_EQ(url.scheme(), "mailto");
    EXPECT_EQ(url.path(), "support@brontal.ru");
    const QUrlQuery q(url);
    EXPECT_EQ(q.queryItemValue("subject", QUrl::FullyDecoded), "Разработчикам Brontal");
    EXPECT_EQ(q.queryItemValue("body", QUrl::FullyDecoded),
              "Программа: Brontal версия 1.7.0.39\r\nОС: " + GetWindowsVersion() + "\r\nВаше сообщение: \r\n");
}

TEST_F(MainWindow, HelpOpensTheFileNextToTheProgram)
{
    fw::RecordingShell shell;
    fmMain->miHelp->trigger();
    ASSERT_EQ(shell.opened.size(), 1);
    EXPECT_EQ(shell.opened[0], QUrl::fromLocalFile(QCoreApplication::applicationDirPath() + "/br.html"));
}

} // namespace

namespace {

TEST_F(MainWindow, HelpAndLetterSayWhenTheDesktopCannotOpenThem)
{
    fw::RecordingShell shell;
    shell.openResult = false;
    dialogs->expectError("Не удалось открыть справку:\n"
                         + QDir::toNativeSeparators(QCoreApplication::applicationDirPath() + "/br.html"));
    fmMain->miHelp->trigger();
    dialogs->expectError("Не удалось открыть почтовую программу для письма:\nsupport@brontal.ru");
    fmMain->N6->trigger();
}

// The desktop's opener may start and still find no program for the help.
TEST_F(MainWindow, F1SaysSoWheneverNoProgramOpensTheHelp)
{
    testing_support::FakeOpener opener(3);
    fmMain->show();
    withModal<TfmLogin>([] { QApplication::processEvents(); }, [](TfmLogin& d) { d.reject(); });
    QApplication::setActiveWindow(fmMain);
    const QString help = QCoreApplication::applicationDirPath() + "/br.html";

    dialogs->expectError("Не удалось открыть справку:\n" + QDir::toNativeSeparators(help));
    QTest::keyClick(fmMain, Qt::Key_F1);
    EXPECT_TRUE(opener.waitForAnswer([this] { return dialogs->pending() == 0; }));
    EXPECT_EQ(dialogs->pending(), 0);
    EXPECT_EQ(opener.args(), help);
}

// The work area's frames and the dialogs without an owner too; never the toolkit's logo.
TEST_F(MainWindow, EveryWindowShowsTheProgramsIcon)
{
    const QImage own = BrontalIcon().pixmap(16, 16).toImage();
    const QImage toolkit = fmMain->style()->standardIcon(QStyle::SP_TitleBarMenuButton).pixmap(16, 16).toImage();
    ASSERT_NE(own, toolkit);
    const auto shows = [&](const QWidget* w) { return w->windowIcon().pixmap(16, 16).toImage() == own; };

    fmMain->resize(600, 400);
    fmMain->mmiKlient->trigger();
    ASSERT_TRUE(fmDummy);
    EXPECT_TRUE(shows(fmMain->mdiArea->activeSubWindow()));
    TfmAbout about;
    EXPECT_TRUE(shows(&about));
    QDialog dialog;
    EXPECT_TRUE(shows(&dialog));
}

// A module window opens at the size it was given, inside the main window's area.
TEST_F(MainWindow, ModuleWindowOpensAtItsSizeInsideTheArea)
{
    fmMain->resize(900, 600);
    fmMain->show();
    fmMain->mmiKlient->trigger();
    ASSERT_TRUE(fmDummy);
    QMdiSubWindow* first = fmMain->mdiArea->activeSubWindow();
    const QSize area = fmMain->mdiArea->viewport()->size();
    EXPECT_GT(first->width(), fmDummy->sizeHint().width() - 1);

    auto* big = new DummyWindow(fmMain);
    big->resize(700, 420);
    QMdiSubWindow* sub = fmMain->ShowMDIChild(big);
    EXPECT_EQ(big->size(), QSize(700, 420).boundedTo(area - (sub->size() - big->size())));
    EXPECT_GE(sub->x(), 0);
    EXPECT_GE(sub->y(), 0);
    EXPECT_LE(sub->geometry().right(), area.width() - 1);
    EXPECT_LE(sub->geometry().bottom(), area.height() - 1);

    auto* huge = new DummyWindow(fmMain);
    huge->resize(3000, 3000);
    sub = fmMain->ShowMDIChild(huge);
    EXPECT_EQ(sub->size(), area);
    EXPECT_EQ(sub->pos(), QPoint(0, 0));
    fmMain->grab().save(QDir::temp().filePath("fmmain-children.png"));
}


// A maximised child must not leave the others unusable: whichever window comes
// next and is restored gets its own normal size back, inside the visible area.
TEST_F(MainWindow, RestoredWindowsKeepTheirOwnSizeAfterAMaximisedOne)
{
    fmMain->resize(900, 600);
    fmMain->show();
    // Showing the main window asks for the login; nobody logs in here.
    withModal<TfmLogin>([] { QApplication::processEvents(); }, [](TfmLogin& d) { d.reject(); });
    // Three modules whose windows ask for sizes of their own.
    QPointer<DummyWindow> a, b, c;
    const auto module = [](QPointer<DummyWindow>& global, QSize size) {
        TModuleWindow m = ModuleWindow(global);
        const auto create = m.create;
        m.create = [create, size](QWidget* owner) {
            QWidget* w = create(owner);
            w->resize(size);
            return w;
        };
        return m;
    };
    const QSize sizeA(500, 300), sizeB(420, 260), sizeC(380, 240);
    ModuleWindows().Klient = module(a, sizeA);
    ModuleWindows().Report = module(b, sizeB);
    ModuleWindows().Users = module(c, sizeC);
    const auto sub = [](QWidget* w) { return qobject_cast<QMdiSubWindow*>(w->parentWidget()); };
    const auto fromWindowMenu = [](int n) {
        emit fmMain->mmiWindow->aboutToShow();
        for (QAction* act : fmMain->mmiWindow->actions())
            if (act->text().startsWith(QString("&%1 ").arg(n))) act->trigger();
        QApplication::processEvents();
    };
    const auto restore = [&](QWidget* w) {
        sub(w)->showNormal();
        QApplication::processEvents();
    };
    const auto usable = [&](QWidget* w, const QSize& size) {
        const QRect area = fmMain->mdiArea->viewport()->rect();
        EXPECT_FALSE(sub(w)->isMaximized());
        EXPECT_FALSE(sub(w)->isMinimized());
        EXPECT_EQ(w->size(), size) << w->width() << "x" << w->height();
        EXPECT_TRUE(area.contains(sub(w)->geometry()));
    };

    fmMain->mmiKlient->trigger();
    fmMain->mmiReport->trigger();
    ASSERT_TRUE(a && b);
    usable(a, sizeA);
    usable(b, sizeB);

    // B maximised, then C opened: C comes up maximised like B, and restored it has its own size.
    sub(b)->showMaximized();
    QApplication::processEvents();
    fmMain->miSetUsers->trigger();
    ASSERT_TRUE(c);
    EXPECT_EQ(fmMain->mdiArea->activeSubWindow(), sub(c));
    EXPECT_TRUE(sub(c)->isMaximized());
    restore(c);
    usable(c, sizeC);

    // Switching to A and B through the window menu and restoring them.
    fromWindowMenu(1);
    EXPECT_EQ(fmMain->mdiArea->activeSubWindow(), sub(a));
    restore(a);
    usable(a, sizeA);
    fromWindowMenu(2);
    restore(b);
    usable(b, sizeB);
    usable(c, sizeC);
    fmMain->grab().save(QDir::temp().filePath("fmmain-restored.png"));
}

} // namespace
