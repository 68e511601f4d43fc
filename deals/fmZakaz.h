#pragma once

#include "core/ModuleWindows.h"
#include "db/Value.h"
#include "os/Smtp.h"

#include <QString>
#include <QStringList>
#include <QWidget>
#include <exception>
#include <functional>

class QCheckBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QToolButton;

namespace fw {
struct CellStyle;
struct GridCell;
class DBGrid;
class DBLookupCombo;
class DBNavigator;
}

// The mailing window, a module window: the orders of one client or of all,
// the materials added to an order, and the sending of test letters and of the
// material files by e-mail.
class TfmZakaz : public QWidget {
    Q_OBJECT
public:
    explicit TfmZakaz(QWidget* owner = nullptr);
    ~TfmZakaz() override;

    // The client whose orders are listed; 0 for all.
    int IdCust = 0;

    QWidget* pnlTop;
    QGroupBox* gbItems;                 // "Все материалы"
    fw::DBLookupCombo* dblcGrItem;
    fw::DBGrid* dbgItem;
    QCheckBox* cbOrdersMy;
    fw::DBNavigator* DBNavigator1;
    QToolButton* tbRefresh;
    QToolButton* tbGoToKar;
    QToolButton* tbOrderDel;
    QPushButton* tbSendTests;
    QPushButton* tbSendZakazes;
    QPushButton* tbSendTest;
    QPushButton* tbSendZakaz;
    QPushButton* tbSendMaterial;
    QPushButton* tbSendFile;
    QGroupBox* gbProcess;               // "Процесс отправки"
    QProgressBar* pbAll;
    QProgressBar* pbOrder;
    QProgressBar* pbMater;
    QProgressBar* pbFile;
    QLabel* lblStatus;

    QWidget* pnlOrders;
    fw::DBGrid* dbgOrders;
    fw::DBGrid* dbgItems;
    QToolButton* tbMatAdd;
    QToolButton* tbMatDel;
    QListWidget* lbPath;

    // Status 0 or 1 lists the orders of that status, -1 all of them.
    void OpenOrders(int Status);
    // The statement OpenOrders would open, one line per condition.
    QStringList OrdersSql(int Status) const;

    void FormCreate();
    void FormDestroy();
    void dblcGrItemClick();
    void dblcGrItemKeyPress(int key);
    void tbRefreshClick();
    void cbOrdersMyClick();
    void tbGoToKarClick();
    void tbMatAddClick();
    void tbMatDelClick();
    void tbOrderDelClick();
    void tbSendTestClick();
    void tbSendZakazClick();
    void tbSendMaterialClick();
    void tbSendFileClick();
    void tbSendZakazesClick();
    void tbSendTestsClick();

    // Status 0 in blue, 1 in green, except in the focused cell.
    void dbgOrdersDrawColumnCell(const fw::GridCell& cell, fw::CellStyle& style);
    void FillPathList();
    // Re-reads the groups and materials the reference lists may have changed.
    void RefreshMaterials();
    void SetMailStatus(const QString& text);

    // True while a send operation runs.
    bool Sending() const;

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void PrepareOrderMail();
    void PrepareTestMail();
    void PrepareSender();
    void CheckUserEmail(const QString& name, const QString& email);
    void Connect();
    void Disconnect();
    void SendMail();
    void SendFile(const QString& subject, const QString& fileName);
    int SendItemFiles();
    // One letter of an order: its subject and file (none for a test letter),
    // and where it stands among the order's materials and the material's files.
    struct Letter {
        QString subject;
        QString file;
        int material = 0;
        int index = 0;
        int count = 0;
    };
    // The letters of the current order's materials, read before any goes out.
    QList<Letter> OrderLetters();
    void SendOrder();
    void SendTest();
    // Writes the current order's new status in a transaction of its own, then
    // sends its letters: a letter the server has taken is never sent again by
    // this program, whatever fails after it, also after a restart. When no
    // letter was taken the old status is written back; what cannot be put
    // right is kept for the message that ends the operation.
    void SendMarked(int status, const QList<Letter>& letters, int materials);
    void WriteOrderStatus(const fw::Value& status, const fw::Value& date);
    QString OrderCaption() const;
    // A connection lost earlier is attached again before the list is touched:
    // the user asked for something the server must answer.
    void ReconnectIfLost();
    void LockControls();
    void UnlockControls();
    // Runs one send operation with the controls locked; whatever happens, the
    // transfer is cut and the controls unlocked, unless the window is gone.
    void RunSending(const std::function<void()>& body, const std::function<void()>& finally = {});
    // The failure that ended a send operation, told once with what went out:
    // a lost connection through the offer to connect again, after which the
    // list is read again.
    [[noreturn]] void ReportSendingFailure(std::exception_ptr failure);
    void SendBatch(int status);
    void ReopenOrders(const QStringList& sql);
    void SmtpFailed(fw::SmtpClient::Failure failure, const QString& message);

    fw::MailMessage mail_;
    bool locked_ = false;
    bool closePending_ = false;
    QStringList sentOrders_;   // the orders of this operation gone out and marked
    QStringList unsent_;       // what of this operation the status does not tell
};

// Fills the main window's hooks of the mailing window.
void RegisterZakazModule();
