#pragma once

#include <QMainWindow>
#include <QPointer>

class QAction;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
struct TModuleWindow;

// The main window: the menus and the work area that holds the module windows.
class TfmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TfmMain(QWidget* owner = nullptr);
    ~TfmMain() override;

    QMdiArea* mdiArea;

    QMenu* mmiFile;
    QAction* mmiLogin;
    QAction* mmiExit;
    QMenu* mmiModul;
    QAction* mmiKlient;
    QAction* mmiSdelka;
    QAction* mmiRass;
    QAction* mmiReport;
    QMenu* mmiSetup;
    QAction* miSetMy;
    QAction* miSetSpr;
    QAction* miSetGl;
    QAction* miSetUsers;
    QMenu* mmiWindow;
    QAction* N3;
    QMenu* mmiHelp;
    QAction* miHelp;
    QAction* N6;
    QAction* miAbout;

    bool IsLogged = false;
    // True while the main window is asking its children whether it may close:
    // a child that can only close later (a running import) closes the program
    // too once it has.
    bool Closing() const { return closing_; }

    void mmiLoginClick();
    void mmiExitClick();
    // "Выход" with nobody to answer (the session ends, a termination signal):
    // no questions, pending edits posted where they can be, the database
    // detached, and the program ends even when a window refused to close.
    void ExitWithoutQuestions();
    void TBKlientClick();
    void mmiSdelkaClick();
    void TBZakazClick();
    void mmiReportClick();
    void miSetMyClick();
    void miSetSprClick();
    void miSetGlClick();
    void miSetUsersClick();
    void N3Click();
    void miHelpClick();
    void N6Click();
    void miAboutClick();

    void SaveLoginUserId(int IdUser);
    int LoadLoginUserId();

    // Asks every child window, then closes them all; false (and nothing closed)
    // when one refuses.
    bool CloseMDIChildren();

    // Puts a module window into the work area and shows it (module windows are
    // created with the main window as owner).
    QMdiSubWindow* ShowMDIChild(QWidget* window);

    // The first show: the splash, then the login.
    void FormShow();

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void ShowOrCreate(TModuleWindow& module);
    void BringToFront(QWidget* window);
    void SetModuleMenusVisible(bool on);
    void SetMenuImages();
    void FillWindowMenu();

    bool shown_ = false;
    bool closing_ = false;
};

extern QPointer<TfmMain> fmMain;

// The program's version text.
QString GetAppVersion();

// The process-wide date and time formats ("dd.mm.yyyy", "hh:mm") and a fixed
// Russian locale, whatever the machine's own.
void FixFormatSettings();
