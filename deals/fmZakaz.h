#pragma once

#include "core/ModuleWindows.h"
#include "os/Smtp.h"

#include <QString>
#include <QStringList>
#include <QWidget>
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
    void SendOrder();
    void SendTest();
    // The current order's letters went out: writes its new status. A connection
    // lost meanwhile is restored and the write repeated, since the order would
    // otherwise be sent again; failing that, the user is told which order went
    // out unmarked.
    void MarkOrderSent(int status);
    void LockControls();
    void UnlockControls();
    // Runs one send operation with the controls locked; whatever happens, the
    // transfer is cut and the controls unlocked, unless the window is gone.
    void RunSending(const std::function<void()>& body, const std::function<void()>& finally = {});
    void SendBatch(int status);
    void ReopenOrders();
    void SmtpFailed(fw::SmtpClient::Failure failure, const QString& message);

    fw::MailMessage mail_;
    bool locked_ = false;
    bool closePending_ = false;
};

// Fills the main window's hooks of the mailing window.
void RegisterZakazModule();
