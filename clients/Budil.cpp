#include "clients/Budil.h"

#include "clients/KlientCalendar.h"
#include "clients/dmKl.h"
#include "core/FormParts.h"
#include "core/SharedProcs.h"
#include "core/Users.h"
#include "core/dm.h"
#include "deals/dmZakaz.h"

#include "widgets/DBGrid.h"
#include "widgets/ExceptionHandler.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QThread>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

QPointer<TfmBudil> fmBudil;

namespace {

constexpr int RegularInterval = 300000;
constexpr int PostponedInterval = 3000;

// A changed interval restarts the timer; the same one keeps its rhythm.
void SetTimerInterval(int ms)
{
    if (dmKl && dmKl->tmrBudil.interval() != ms) dmKl->tmrBudil.setInterval(ms);
}

// Centred on the desktop, not over the clients window.
void CentreOnDesktop(QWidget* w)
{
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect r(QPoint(), w->size());
        r.moveCenter(screen->availableGeometry().center());
        w->move(r.topLeft());
    }
}

} // namespace

TfmBudil::TfmBudil(QWidget* owner) : QDialog(owner)
{
    setObjectName("fmBudil");
    setWindowTitle("Будильник");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint
                   | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
    resize(640, 300);

    auto* layout = ToolBarColumn(this, ToolBar1, "ToolBar1");
    tbGoToKar = AddToolButton(ToolBar1, "tbGoToKar", "На карточку", 9);

    DBGrid1 = Grid(this, "DBGrid1", dmKl ? &dmKl->dsBudil : nullptr,
                   {{"DATECR", "Дата", 120}, {"HistType", "Тип", 110}, {"NOTE", "Заметка", 240},
                    {"COMPANY", "Компания", 160}});
    DBGrid1->setOptions({fw::DBGrid::Option::Titles, fw::DBGrid::Option::Indicator, fw::DBGrid::Option::RowSelect});
    DBGrid1->setReadOnly(true);
    DBGrid1->setCellStyler([](const fw::GridCell& cell, fw::CellStyle& style) { HistGridCellStyle(cell, style); });
    layout->addWidget(DBGrid1, 1);

    connect(tbGoToKar, &QToolButton::clicked, this, fw::guarded([this] { tbGoToKarClick(); }));

    CentreOnDesktop(this);
}

void TfmBudil::showEvent(QShowEvent* e)
{
    // Each showing lists other reminders: wide enough for their columns, where the screen has room.
    layout()->activate();
    const int before = width();
    DBGrid1->widenWindow(width() - DBGrid1->width());
    if (width() != before) CentreOnDesktop(this);
    QDialog::showEvent(e);
}

TfmBudil::~TfmBudil()
{
    FormDestroy();
}

void TfmBudil::tbGoToKarClick()
{
    accept();
}

void TfmBudil::FormDestroy()
{
    if (fmBudil == this) fmBudil = nullptr;
}

TBudilCheck::TBudilCheck(QWidget* owner) : QObject(owner), owner_(owner)
{
    setObjectName("BudilCheck");
}

TBudilCheck::~TBudilCheck()
{
    // A worker still running hands its last steps to this thread: serve them
    // (they see the flag and do nothing) until it is gone.
    destroying_ = true;
    while (worker_) {
        QCoreApplication::sendPostedEvents(this);
        if (worker_) worker_->wait(10);
    }
}

bool TBudilCheck::IsModalBusy()
{
    // Every dialog of the module (the pick list, the deal card, the plan and contract dialogs, the
    // goods registration, the user-defined fields, a group operation's progress) is modal while it
    // exists, and so is any message box or column choice: the reminder, modal itself, would stand
    // over it and hold its buttons until dismissed.
    QWidget* modal = QApplication::activeModalWidget();
    return SendingMail || (modal && modal != fmBudil.data());
}

void TBudilCheck::StartBudilCheck()
{
    if (running_ || !dmKl) return;
    if (IsModalBusy()) {
        SetTimerInterval(PostponedInterval);
        return;
    }
    running_ = true;
    emit runningChanged(true);

    try {
        dmKl->qryBudil.close();
        dmKl->qryBudil.paramByName("idUser").setValue(CurrentUser.IdUser);
        dmKl->qryBudil.paramByName("DateCr").setValue(GetServerDate());
    } catch (...) {
        // A check that cannot start reports nothing, as a failed one.
        EndCheck();
        return;
    }
    // The worker's open must tell no view: the reminder grid learns of the
    // rows on this thread, when they are shown.
    dmKl->qryBudil.disableControls();
    controlsHeld_ = true;

    fw::Query* qry = &dmKl->qryBudil;
    worker_ = QThread::create([this, qry] {
        try {
            qry->close();
            qry->open();
            QMetaObject::invokeMethod(this, [this] { ShowBudil(); }, Qt::BlockingQueuedConnection);
        } catch (...) {
            // A failed check shows nothing and reports nothing.
        }
        QMetaObject::invokeMethod(this, [this] { EndCheck(); }, Qt::BlockingQueuedConnection);
    });
    worker_->setObjectName("BudilThread");
    connect(worker_, &QThread::finished, worker_, &QObject::deleteLater);
    worker_->start();
}

void TBudilCheck::ReleaseControls()
{
    if (!controlsHeld_) return;
    controlsHeld_ = false;
    if (dmKl) dmKl->qryBudil.enableControls();
}

void TBudilCheck::ShowBudil()
{
    if (destroying_) return;
    try {
        ReleaseControls();
        if (!dmKl || dmKl->qryBudil.isEmpty() || IsModalBusy()) return;
        if (!fmBudil) fmBudil = new TfmBudil(owner_);
        QApplication::beep();
        // A window just closed may still read as active for a moment.
        if (fmBudil->isVisible() && QApplication::activeWindow() == fmBudil) return;
        const QPointer<QWidget> focused = QApplication::focusWidget();
        if (fmBudil->exec() != QDialog::Accepted || !dmKl || dmKl->qryBudil.isEmpty()) return;
        if (RememberFocus) RememberFocus(focused);

        fw::Query& q = dmKl->qryBudil;
        const int idCust = q.fieldByName("idCust").asInteger();
        const int idHist = q.fieldByName("idHist").asInteger();
        const fw::Value contact = q.fieldByName("idContacts").value();
        if (GoToKar) GoToKar(idCust, idHist, contact.isNull() ? 0 : contact.asInt(), "tsPlan");
        if (dmKl) {
            dmKl->qryBudil.close();
            dmKl->dbBudil.disconnect();
        }
        if (QWidget* main = owner_ ? owner_->window() : nullptr; main && main->isMinimized()) main->showNormal();
    } catch (...) {
        // Every failure of the display is swallowed; the next check runs as usual.
    }
}

void TBudilCheck::EndCheck()
{
    ReleaseControls();
    if (destroying_) {
        worker_ = nullptr;
        return;
    }
    SetTimerInterval(RegularInterval);
    running_ = false;
    worker_ = nullptr;
    emit runningChanged(false);
    emit finished();
}
