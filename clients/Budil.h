#pragma once

#include <QDialog>
#include <QObject>
#include <QPointer>
#include <functional>

class QThread;
class QToolBar;
class QToolButton;

namespace fw {
class DBGrid;
}

// The reminder window "Будильник": the current user's due plans, on top of
// every window; "На карточку" closes it with OK.
class TfmBudil : public QDialog {
    Q_OBJECT
public:
    explicit TfmBudil(QWidget* owner = nullptr);
    ~TfmBudil() override;

    QToolBar* ToolBar1;
    QToolButton* tbGoToKar;
    fw::DBGrid* DBGrid1;

    void tbGoToKarClick();
    void FormDestroy();

protected:
    void showEvent(QShowEvent* e) override;
};

// Set while the reminder window exists.
extern QPointer<TfmBudil> fmBudil;

// The reminder check of the clients module. The clients window owns one and
// calls StartBudilCheck on the tick of dmKl->tmrBudil and from "Проверить
// сейчас". The reminder query is bound here on the main thread, opened on a
// worker thread over dmKl->dbBudil, and shown back on the main thread.
class TBudilCheck : public QObject {
    Q_OBJECT
public:
    // owner: the clients window, also the owner of the reminder window.
    explicit TBudilCheck(QWidget* owner);
    ~TBudilCheck() override;

    // The card entry of the clients window, called with the reminder's client,
    // plan, contact (0: none) and "tsPlan".
    std::function<bool(int idCust, int idRecord, int idContacts, const QString& page)> GoToKar;
    // Told, before the card is opened, which control held the focus when the reminder came.
    std::function<void(QWidget* focused)> RememberFocus;

    void StartBudilCheck();
    bool BudilRunning() const { return running_; }
    // A modal dialog other than the reminder window is open, or mail is being sent.
    static bool IsModalBusy();
    // Main thread, while the worker waits: the due reminders, if any.
    void ShowBudil();

signals:
    // Running flips: the window disables "Проверить сейчас" while true.
    void runningChanged(bool running);
    // A check ended (the worker is gone).
    void finished();

private:
    void EndCheck();
    void ReleaseControls();

    QWidget* owner_;
    QThread* worker_ = nullptr;
    bool running_ = false;
    bool controlsHeld_ = false;     // qryBudil's controls disabled while the worker fetches
    bool destroying_ = false;
};
