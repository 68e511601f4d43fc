#include "fmMain.h"

#include "ModuleWindows.h"
#include "SharedProcs.h"
#include "Users.h"
#include "dm.h"
#include "fmAbout.h"
#include "fmLogin.h"
#include "fmSplash.h"

#include "controls/FormatSettings.h"
#include "db/DbError.h"
#include "os/Shell.h"
#include "os/UserSettings.h"
#include "os/Version.h"
#include "widgets/Dialogs.h"
#include "widgets/ExceptionHandler.h"

#include "widgets/DBLookupCombo.h"

#include <QApplication>
#include <algorithm>
#include <QCloseEvent>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QLocale>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <cstdio>
#include <QTimer>

QPointer<TfmMain> fmMain;

namespace {

const QString kMasterPassword = QStringLiteral("kwelto");
const QString kSupportAddress = QStringLiteral("support@brontal.ru");
const QString kLoginUserIdKey = QStringLiteral("1/LoginUserId");

// A work-area window. When the user closes one child alone it is asked here;
// when the main window closes them all it has asked every child already.
class MdiChild : public QMdiSubWindow {
public:
    using QMdiSubWindow::QMdiSubWindow;
    bool asked = false;

protected:
    void closeEvent(QCloseEvent* e) override
    {
        if (!asked) {
            if (auto* q = dynamic_cast<TCloseQuery*>(widget()); q && !q->FormCloseQuery()) {
                e->ignore();
                return;
            }
        }
        QMdiSubWindow::closeEvent(e);
        asked = false;
    }
};

// Runs at the end of a scope, however it is left.
template <class F>
struct Finally {
    F f;
    ~Finally() { f(); }
};
template <class F>
Finally(F) -> Finally<F>;

// The dialogs while the program ends on its own: every question is answered
// No, every message goes to the error output.
class NobodyAnswers : public fw::Dialogs {
public:
    void information(const QString& text, const QString&) override { log(text); }
    void warning(const QString& text, const QString&) override { log(text); }
    void error(const QString& text, const QString&) override { log(text); }
    bool confirm(const QString& text, const QString&) override
    {
        log(text);
        return false;
    }
    bool inputQuery(const QString&, const QString&, QString&) override { return false; }
    QString inputBox(const QString&, const QString&, const QString& defaultValue) override { return defaultValue; }
    bool openFile(fw::FileDialog&) override { return false; }
    bool saveFile(fw::FileDialog&) override { return false; }
    bool pickItem(const QString&, const QStringList&, int&) override { return false; }

private:
    static void log(const QString& text) { std::fprintf(stderr, "Brontal: %s\n", text.toLocal8Bit().constData()); }
};

void ForgetUser()
{
    delete UserRights;
    UserRights = nullptr;
    CurrentUser = TUserRecord{};
}

} // namespace

QString GetAppVersion()
{
    return fw::appVersion();
}

void FixFormatSettings()
{
    TFormatSettings& f = FormatSettings();
    f.DateSeparator = '.';
    f.TimeSeparator = ':';
    f.ShortDateFormat = "dd.mm.yyyy";
    f.LongTimeFormat = "hh:mm";
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
}

TfmMain::TfmMain(QWidget* owner) : QMainWindow(owner)
{
    setObjectName("fmMain");
    setWindowTitle("Brontal");
    // The program's icon for every window: the module windows' frames and the
    // dialogs without an owner would otherwise show the toolkit's.
    QApplication::setWindowIcon(BrontalIcon());
    setAttribute(Qt::WA_DeleteOnClose);
    // Maximised; the geometry too, for a desktop without a window manager.
    if (QScreen* screen = QGuiApplication::primaryScreen()) setGeometry(screen->availableGeometry());
    setWindowState(Qt::WindowMaximized);

    mdiArea = new QMdiArea(this);
    mdiArea->setObjectName("mdiArea");
    mdiArea->setBackground(palette().brush(QPalette::Dark));
    setCentralWidget(mdiArea);

    const auto item = [this](QMenu* menu, const char* name, const QString& caption, void (TfmMain::*handler)()) {
        QAction* a = menu->addAction(caption);
        a->setObjectName(name);
        connect(a, &QAction::triggered, this, fw::guarded([this, handler] { (this->*handler)(); }));
        return a;
    };
    const auto menu = [this](const char* name, const QString& caption) {
        QMenu* m = menuBar()->addMenu(caption);
        m->setObjectName(name);
        return m;
    };

    mmiFile = menu("mmiFile", "&Файл");
    mmiLogin = item(mmiFile, "mmiLogin", "&Идентификация", &TfmMain::mmiLoginClick);
    mmiFile->addSeparator();
    mmiExit = item(mmiFile, "mmiExit", "&Выход", &TfmMain::mmiExitClick);

    mmiModul = menu("mmiModul", "&Модуль");
    mmiKlient = item(mmiModul, "mmiKlient", "&Клиенты", &TfmMain::TBKlientClick);
    mmiSdelka = item(mmiModul, "mmiSdelka", "&Сделки", &TfmMain::mmiSdelkaClick);
    mmiRass = item(mmiModul, "mmiRass", "&Рассылка", &TfmMain::TBZakazClick);
    mmiReport = item(mmiModul, "mmiReport", "&Отчеты", &TfmMain::mmiReportClick);

    mmiSetup = menu("mmiSetup", "&Настройки");
    miSetMy = item(mmiSetup, "miSetMy", "&Личные", &TfmMain::miSetMyClick);
    miSetSpr = item(mmiSetup, "miSetSpr", "&Справочники", &TfmMain::miSetSprClick);
    miSetGl = item(mmiSetup, "miSetGl", "&Общие", &TfmMain::miSetGlClick);
    miSetUsers = item(mmiSetup, "miSetUsers", "&Пользователи, права", &TfmMain::miSetUsersClick);

    mmiWindow = menu("mmiWindow", "&Окно");
    N3 = item(mmiWindow, "N3", "&Упорядочить", &TfmMain::N3Click);
    connect(mmiWindow, &QMenu::aboutToShow, this, &TfmMain::FillWindowMenu);

    mmiHelp = menu("mmiHelp", "&Справка");
    miHelp = item(mmiHelp, "miHelp", "Справка по Brontal", &TfmMain::miHelpClick);
    miHelp->setShortcut(QKeySequence(Qt::Key_F1));
    N6 = item(mmiHelp, "N6", "Отправить письмо разработчикам", &TfmMain::N6Click);
    mmiHelp->addSeparator();
    miAbout = item(mmiHelp, "miAbout", "О программе", &TfmMain::miAboutClick);

    SetModuleMenusVisible(false);
    SetMenuImages();
}

TfmMain::~TfmMain()
{
    delete UserRights;
    UserRights = nullptr;
}

void TfmMain::SetModuleMenusVisible(bool on)
{
    mmiModul->menuAction()->setVisible(on);
    mmiSetup->menuAction()->setVisible(on);
    mmiWindow->menuAction()->setVisible(on);
}

void TfmMain::SetMenuImages()
{
    if (!dm || dm->il.size() < 24) return;
    const QList<QIcon>& il = dm->il;
    mmiLogin->setIcon(il[16]);
    mmiExit->setIcon(il[15]);
    mmiKlient->setIcon(il[9]);
    mmiSdelka->setIcon(il[10]);
    mmiRass->setIcon(il[11]);
    mmiReport->setIcon(il[12]);
    miSetMy->setIcon(il[7]);
    miSetSpr->setIcon(il[21]);
    miSetGl->setIcon(il[13]);
    miSetUsers->setIcon(il[8]);
    N3->setIcon(il[22]);
    miHelp->setIcon(il[14]);
    N6->setIcon(il[23]);
    miAbout->setIcon(il[17]);
}

void TfmMain::showEvent(QShowEvent* e)
{
    QMainWindow::showEvent(e);
    if (shown_) return;
    shown_ = true;
    // Once the window is on screen, so that the login dialog has its parent.
    QTimer::singleShot(0, this, fw::guarded([this] { FormShow(); }));
}

void TfmMain::FormShow()
{
    SetMenuImages();
    if (fmSplash) {
        fmSplash->show();
        fmSplash->repaint();
    }
    mmiLoginClick();
}

void TfmMain::closeEvent(QCloseEvent* e)
{
    // Refused unless everything below succeeds: a child that refuses, or a
    // pending edit that cannot be written, keeps the program running.
    e->ignore();
    closing_ = true;
    Finally notClosing{[this] { closing_ = false; }};
    fw::runGuarded([&] {
        if (!CloseMDIChildren()) return;
        if (dm) dm->db.disconnect();
        e->accept();
    });
}

bool TfmMain::CloseMDIChildren()
{
    const QList<QMdiSubWindow*> children = mdiArea->subWindowList();
    for (QMdiSubWindow* s : children)
        if (auto* q = dynamic_cast<TCloseQuery*>(s->widget()); q && !q->FormCloseQuery()) return false;
    for (QMdiSubWindow* s : children) {
        if (auto* c = dynamic_cast<MdiChild*>(s)) c->asked = true;
        if (!s->close()) return false;
    }
    // The closed windows are gone before anyone tests their globals.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return true;
}

QMdiSubWindow* TfmMain::ShowMDIChild(QWidget* window)
{
    for (QWidget* w = window; w; w = w->parentWidget())
        if (auto* s = qobject_cast<QMdiSubWindow*>(w); s && s->mdiArea() == mdiArea) {
            s->show();
            return s;
        }
    // The window opens at the size it was given, or else the size its layout asks for,
    // and wholly inside the visible area of the main window.
    const QSize inner = window->testAttribute(Qt::WA_Resized)
        ? window->size()
        : window->sizeHint().expandedTo(window->minimumSizeHint());
    auto* sub = new MdiChild;
    sub->setWidget(window);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    // Among maximised children the new one is maximised too, but only once it has a normal
    // size of its own: maximised on showing, it would be restored to no size at all.
    const QList<QMdiSubWindow*> others = mdiArea->subWindowList();
    const bool maximised =
        std::any_of(others.begin(), others.end(), [](const QMdiSubWindow* s) { return s->isMaximized(); });
    const bool dontMaximize = mdiArea->testOption(QMdiArea::DontMaximizeSubWindowOnActivation);
    mdiArea->setOption(QMdiArea::DontMaximizeSubWindowOnActivation, true);
    mdiArea->addSubWindow(sub);
    window->show();
    sub->show();
    const QSize area = mdiArea->viewport()->size();
    const QSize frame = sub->size() - window->size();
    const QSize outer = (inner + frame).boundedTo(area);
    sub->resize(outer);
    sub->move(std::clamp(sub->x(), 0, std::max(0, area.width() - outer.width())),
              std::clamp(sub->y(), 0, std::max(0, area.height() - outer.height())));
    mdiArea->setOption(QMdiArea::DontMaximizeSubWindowOnActivation, dontMaximize);
    if (maximised) sub->showMaximized();
    return sub;
}

void TfmMain::BringToFront(QWidget* window)
{
    QMdiSubWindow* sub = ShowMDIChild(window);
    if (sub->isMinimized()) sub->showNormal();
    mdiArea->setActiveSubWindow(sub);
    sub->raise();
}

void TfmMain::ShowOrCreate(TModuleWindow& module)
{
    if (!module) return;
    if (QWidget* w = module.window()) {
        BringToFront(w);
        return;
    }
    if (QWidget* w = module.create(this)) BringToFront(w);
}

void TfmMain::FillWindowMenu()
{
    const QList<QAction*> old = mmiWindow->actions();
    for (QAction* a : old)
        if (a != N3) {
            mmiWindow->removeAction(a);
            a->deleteLater();
        }
    const QList<QMdiSubWindow*> children = mdiArea->subWindowList();
    if (children.isEmpty()) return;
    mmiWindow->addSeparator();
    int n = 0;
    for (QMdiSubWindow* s : children) {
        ++n;
        QAction* a = mmiWindow->addAction(QString("&%1 %2").arg(n).arg(s->windowTitle()));
        a->setCheckable(true);
        a->setChecked(s == mdiArea->activeSubWindow());
        QPointer<QMdiSubWindow> target(s);
        connect(a, &QAction::triggered, this, [this, target] {
            if (target) BringToFront(target->widget());
        });
    }
}

// --- login

void TfmMain::mmiLoginClick()
{
    if (IsLogged && !fw::dialogs().confirm("Войти под другим именем?")) return;
    // Every child is asked before anything changes: a refusal keeps the user logged in.
    if (!CloseMDIChildren()) return;
    IsLogged = false;
    setWindowTitle("Brontal");
    ForgetUser();
    SetModuleMenusVisible(false);

    try {
        dm->db.disconnect();
        dm->db.connect();
        dm->qryMain.close();
        dm->qryMain.open();
        const int ver = dm->qryMain.fieldByName("Ver").asInteger();
        if (ver == -1) {
            dm->db.disconnect();
            fw::dialogs().error("Процесс конвертации небыл успешно завершен!\n"
                                "Подключение к данной БД невозможно!");
            CloseSplash();
            return;
        }
        if (ver != 7) {
            fw::dialogs().error(QString("Структура базы не соответствует версии программы!\n"
                                        "Обнаружена БД для версии 1.%1").arg(ver));
            dm->db.disconnect();
            CloseSplash();
            return;
        }
        dm->qryOtdel.open();
        dm->qryUser.open();
        dm->qryPrava.open();
    } catch (...) {
        try {
            dm->db.disconnect();
        } catch (...) {
            // the first failure is the one to report
        }
        CloseSplash();
        throw;
    }

    auto* fmLogin = new TfmLogin(this);
    Finally cleanup{[fmLogin] {
        dm->qryUser.setFiltered(false);
        delete fmLogin;
        CloseSplash();
    }};
    fmLogin->dblcUser->setKeyValue(LoadLoginUserId());
    if (!fmLogin->dblcUser->text().isEmpty()) {
        fmLogin->dblcUserClick();
        fmLogin->edPass->setFocus();
    }
    if (fmLogin->exec() != QDialog::Accepted) return;

    try {
        UserRights = new TUsers;
        const fw::Value key = fmLogin->dblcUser->keyValue();
        TUserRecord user;
        // A user deleted since the list was read, or no user at all, is no login.
        const bool found = !key.isNull() && UserRights->GetUser(key.asInt(), user);
        const QString typed = fmLogin->edPass->text();
        if (!found || (typed != user.Pass && typed != kMasterPassword)) {
            ForgetUser();
            fw::dialogs().error("Ошибка идентификации!");
            return;
        }
        CurrentUser = user;
    } catch (...) {
        ForgetUser();
        throw;
    }

    IsLogged = true;
    setWindowTitle("Brontal " + CurrentUser.Name);
    SetModuleMenusVisible(true);
    const auto grant = [](QAction* a, int pravo) {
        a->setEnabled(UserRights->IsGranted(CurrentUser.IdUser, pravo));
    };
    grant(mmiKlient, 1000);
    grant(mmiSdelka, 1034);
    grant(mmiRass, 1038);
    grant(mmiReport, 1042);
    grant(miSetMy, 1043);
    grant(miSetSpr, 1044);
    grant(miSetGl, 1045);
    grant(miSetUsers, 1046);
    SaveLoginUserId(CurrentUser.IdUser);
}

void TfmMain::SaveLoginUserId(int IdUser)
{
    fw::writeUserInt(kLoginUserIdKey, IdUser);
}

int TfmMain::LoadLoginUserId()
{
    return fw::readUserInt(kLoginUserIdKey, -1);
}

// --- menu items

void TfmMain::mmiExitClick()
{
    close();
}

void TfmMain::ExitWithoutQuestions()
{
    static NobodyAnswers nobody;
    fw::setDialogs(&nobody);
    // A dialog waiting for the user (the login among others) is cancelled first.
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible()) d->reject();
    QPointer<TfmMain> self(this);
    close();
    if (self && self->isVisible() && dm) {
        // A window kept its unwritable edit: what can still be closed cleanly is.
        try {
            dm->db.disconnect();
        } catch (...) {
            // ending anyway
        }
    }
    QCoreApplication::exit(0);
}

void TfmMain::TBKlientClick()
{
    ShowOrCreate(ModuleWindows().Klient);
}

void TfmMain::mmiSdelkaClick()
{
    ShowOrCreate(ModuleWindows().MSdelka);
}

void TfmMain::TBZakazClick()
{
    TModuleWindows& m = ModuleWindows();
    if (!m.Zakaz) return;
    QWidget* w = m.Zakaz.window();
    if (!w) {
        w = m.Zakaz.create(this);
        if (!w) return;
    } else if (m.ZakazSending && m.ZakazSending()) {
        return;
    }
    BringToFront(w);
    w->setWindowTitle("Рассылка");
    if (m.ZakazOpenAll) m.ZakazOpenAll(w);
}

void TfmMain::mmiReportClick()
{
    ShowOrCreate(ModuleWindows().Report);
}

void TfmMain::miSetMyClick()
{
    if (ModuleWindows().SetupMy) ModuleWindows().SetupMy(this);
}

void TfmMain::miSetSprClick()
{
    ShowOrCreate(ModuleWindows().SetupList);
}

void TfmMain::miSetGlClick()
{
    ShowOrCreate(ModuleWindows().Settings);
}

void TfmMain::miSetUsersClick()
{
    ShowOrCreate(ModuleWindows().Users);
}

void TfmMain::N3Click()
{
    mdiArea->cascadeSubWindows();
}

void TfmMain::miHelpClick()
{
    OpenHelp();
}

void TfmMain::N6Click()
{
    const QString body = "Программа: Brontal версия " + GetAppVersion() + "\r\n"
                       + "ОС: " + GetWindowsVersion() + "\r\n"
                       + "Ваше сообщение: \r\n";
    OpenThroughDesktop(fw::mailtoUrl(kSupportAddress, "Разработчикам Brontal", body),
                       "Не удалось открыть почтовую программу для письма");
}

void TfmMain::miAboutClick()
{
    TfmAbout about;
    about.lbVersion->setText("Версия: " + GetAppVersion());
    about.exec();
}
