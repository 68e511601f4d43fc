#include "deals/fmZakaz.h"

#include "core/SharedProcs.h"
#include "core/Users.h"
#include "core/dm.h"
#include "deals/dmZakaz.h"

#include "db/Database.h"
#include "db/DbError.h"
#include "widgets/DBGrid.h"
#include "widgets/DBLookupCombo.h"
#include "widgets/DBNavigator.h"
#include "widgets/Dialogs.h"
#include "widgets/ExceptionHandler.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QString setting(const char* column)
{
    return dm->qryMain.fieldByName(column).asString();
}

// An order's address as the client card writes it, "Name"<addr> or a bare
// address: the address alone is what the server is given.
// A progress bar whose maximum is 0 turns into a busy indicator.
void setMax(QProgressBar* bar, int max)
{
    bar->setMaximum(qMax(1, max));
}

QProgressBar* progressBar(QWidget* parent, const char* name)
{
    auto* b = new QProgressBar(parent);
    b->setObjectName(name);
    b->setRange(0, 1);
    b->setValue(0);
    b->setTextVisible(false);
    b->setMinimumWidth(160);
    return b;
}

QPushButton* sendButton(QWidget* parent, const char* name, const QString& caption)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setMinimumHeight(caption.contains('\n') ? 44 : 28);
    return b;
}

const QString kNoFiles = "Нет файлов для отправки!";

// How long a status write waits for a lost server to come back.
constexpr int kReconnectMs = 2000;

// Attaches again after a lost connection, for a short while: a server that
// restarts is back within seconds. Throws the last refusal.
void ReconnectSoon(fw::Database& db)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        try {
            db.reconnect();
            return;
        } catch (const fw::DbError&) {
            if (clock.elapsed() > kReconnectMs) throw;
        }
        QThread::msleep(250);
    }
}

} // namespace

TfmZakaz::TfmZakaz(QWidget* owner) : QWidget(owner)
{
    setObjectName("fmZakaz");
    setWindowTitle("Рассылка");
    resize(1060, 680);
    // The data module comes first: the controls are bound to its sources.
    if (!dmZakaz) new TdmZakaz(this);
    TdmZakaz& d = *dmZakaz;

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);

    // --- upper panel: the material lists, the order commands and the progress
    pnlTop = new QWidget(this);
    pnlTop->setObjectName("pnlTop");
    auto* top = new QHBoxLayout(pnlTop);
    top->setContentsMargins(0, 0, 0, 0);

    gbItems = new QGroupBox("Все материалы", pnlTop);
    gbItems->setObjectName("gbItems");
    auto* items = new QVBoxLayout(gbItems);
    auto* group = new QHBoxLayout;
    group->addWidget(new QLabel("Группа", gbItems));
    dblcGrItem = new fw::DBLookupCombo(gbItems);
    dblcGrItem->setObjectName("dblcGrItem");
    dblcGrItem->setListSource(&d.dsGrItem);
    dblcGrItem->setKeyField("IDGRITEM");
    dblcGrItem->setListField("GRITEM");
    group->addWidget(dblcGrItem, 1);
    items->addLayout(group);
    dbgItem = new fw::DBGrid(gbItems);
    dbgItem->setObjectName("dbgItem");
    dbgItem->setOptions({fw::DBGrid::Option::Titles, fw::DBGrid::Option::RowSelect});
    dbgItem->setReadOnly(true);
    dbgItem->setDataSource(&d.dsItem);
    dbgItem->setColumns({{"ITEM", "Материал", 240}});
    items->addWidget(dbgItem);
    gbItems->setMinimumWidth(280);
    top->addWidget(gbItems, 1);

    auto* orders = new QWidget(pnlTop);
    orders->setObjectName("pnlCommands");
    auto* commands = new QVBoxLayout(orders);
    commands->setContentsMargins(0, 6, 0, 0);
    auto* bar = new QHBoxLayout;
    cbOrdersMy = new QCheckBox("Только свои", orders);
    cbOrdersMy->setObjectName("cbOrdersMy");
    cbOrdersMy->setChecked(true);
    bar->addWidget(cbOrdersMy);
    DBNavigator1 = new fw::DBNavigator(orders);
    DBNavigator1->setObjectName("DBNavigator1");
    DBNavigator1->setVisibleButtons(fw::DBNavigator::Button::Post | fw::DBNavigator::Button::Cancel);
    DBNavigator1->setHint(fw::DBNavigator::Button::Post, "Запомнить");
    DBNavigator1->setHint(fw::DBNavigator::Button::Cancel, "Отменить");
    DBNavigator1->setDataSource(&d.dsOrders);
    bar->addWidget(DBNavigator1);
    auto* orderBar = new QToolBar(orders);
    orderBar->setObjectName("tbOrders");
    tbRefresh = AddToolButton(orderBar, "tbRefresh", "Обновить");
    tbGoToKar = AddToolButton(orderBar, "tbGoToKar", "На карточку");
    tbOrderDel = AddToolButton(orderBar, "tbOrderDel", "Удалить заказ");
    bar->addWidget(orderBar);
    bar->addStretch();
    commands->addLayout(bar);
    auto* send = new QGridLayout;
    tbSendTests = sendButton(orders, "tbSendTests", "Отправить неотправленные тесты\n(статус - <пусто>)");
    tbSendZakazes = sendButton(orders, "tbSendZakazes", "Отправить неотправленные заказы\n(статус - тест)");
    tbSendTest = sendButton(orders, "tbSendTest", "Отправить тест");
    tbSendZakaz = sendButton(orders, "tbSendZakaz", "Отправить заказ");
    tbSendMaterial = sendButton(orders, "tbSendMaterial", "Отправить материал");
    tbSendFile = sendButton(orders, "tbSendFile", "Отправить файл");
    send->addWidget(tbSendTests, 0, 0);
    send->addWidget(tbSendZakazes, 0, 1);
    send->addWidget(tbSendTest, 1, 0);
    send->addWidget(tbSendZakaz, 1, 1);
    send->addWidget(tbSendMaterial, 2, 0);
    send->addWidget(tbSendFile, 2, 1);
    commands->addLayout(send);
    commands->addStretch();
    top->addWidget(orders);

    gbProcess = new QGroupBox("Процесс отправки", pnlTop);
    gbProcess->setObjectName("gbProcess");
    auto* process = new QGridLayout(gbProcess);
    pbAll = progressBar(gbProcess, "pbAll");
    pbOrder = progressBar(gbProcess, "pbOrder");
    pbMater = progressBar(gbProcess, "pbMater");
    pbFile = progressBar(gbProcess, "pbFile");
    int row = 0;
    for (auto [caption, pb] : {std::pair{"Общий", pbAll}, {"Заказ", pbOrder}, {"Материал", pbMater}, {"Файл", pbFile}}) {
        process->addWidget(new QLabel(caption, gbProcess), row, 0);
        process->addWidget(pb, row++, 1);
    }
    lblStatus = new QLabel("Статус:", gbProcess);
    lblStatus->setObjectName("lblStatus");
    lblStatus->setWordWrap(true);
    lblStatus->setMinimumHeight(36);
    lblStatus->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    process->addWidget(lblStatus, row, 0, 1, 2);
    process->setRowStretch(row, 1);
    gbProcess->setMinimumWidth(260);
    top->addWidget(gbProcess, 1);

    // --- lower panel: the orders and the current order's materials
    pnlOrders = new QWidget(this);
    pnlOrders->setObjectName("pnlOrders");
    auto* lower = new QVBoxLayout(pnlOrders);
    lower->setContentsMargins(0, 0, 0, 0);
    auto* splitter = new QSplitter(Qt::Vertical, pnlOrders);
    dbgOrders = new fw::DBGrid(splitter);
    dbgOrders->setObjectName("dbgOrders");
    // No row is ever added from here: no insert key, no append below the last row.
    dbgOrders->setOptions({fw::DBGrid::Option::Titles, fw::DBGrid::Option::Indicator, fw::DBGrid::Option::Tabs,
                           fw::DBGrid::Option::CancelOnExit});
    dbgOrders->setDataSource(&d.dsOrders);
    fw::GridColumn curator{"User", "Куратор", 130};
    curator.readOnly = true;
    curator.button = fw::GridColumn::Button::None;
    dbgOrders->setColumns({{"EMAIL", "E-mail", 240}, {"SUBJECT", "Тема", 300}, {"DATECR", "Дата", 130}, curator,
                           {"OrderStatus", "Статус", 90}});
    dbgOrders->setCellStyler([this](const fw::GridCell& cell, fw::CellStyle& style) {
        dbgOrdersDrawColumnCell(cell, style);
    });
    splitter->addWidget(dbgOrders);

    auto* gbOrderItems = new QGroupBox("Материалы заказа", splitter);
    gbOrderItems->setObjectName("gbOrderItems");
    auto* orderItems = new QGridLayout(gbOrderItems);
    auto* matBar = new QToolBar(gbOrderItems);
    matBar->setObjectName("tbItems");
    tbMatAdd = AddToolButton(matBar, "tbMatAdd", "Добавить");
    tbMatAdd->setToolTip("Добавить материал в заказ");
    tbMatDel = AddToolButton(matBar, "tbMatDel", "Удалить");
    tbMatDel->setToolTip("Удалить материал из заказа");
    orderItems->addWidget(matBar, 0, 0, 1, 2);
    dbgItems = new fw::DBGrid(gbOrderItems);
    dbgItems->setObjectName("dbgItems");
    dbgItems->setOptions({fw::DBGrid::Option::Titles, fw::DBGrid::Option::Indicator, fw::DBGrid::Option::RowSelect});
    dbgItems->setReadOnly(true);
    dbgItems->setDataSource(&d.dsItems);
    dbgItems->setColumns({{"Item", "Материал", 260}});
    orderItems->addWidget(dbgItems, 1, 0);
    lbPath = new QListWidget(gbOrderItems);
    lbPath->setObjectName("lbPath");
    orderItems->addWidget(lbPath, 1, 1);
    orderItems->setColumnStretch(0, 2);
    orderItems->setColumnStretch(1, 3);
    splitter->addWidget(gbOrderItems);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    lower->addWidget(splitter);

    layout->addWidget(pnlTop);
    layout->addWidget(pnlOrders, 1);

    // --- events
    const auto click = [this](QAbstractButton* b, void (TfmZakaz::*handler)()) {
        connect(b, &QAbstractButton::clicked, this, fw::guarded([this, handler] { (this->*handler)(); }));
    };
    click(tbRefresh, &TfmZakaz::tbRefreshClick);
    click(tbGoToKar, &TfmZakaz::tbGoToKarClick);
    click(tbOrderDel, &TfmZakaz::tbOrderDelClick);
    click(tbMatAdd, &TfmZakaz::tbMatAddClick);
    click(tbMatDel, &TfmZakaz::tbMatDelClick);
    click(tbSendTests, &TfmZakaz::tbSendTestsClick);
    click(tbSendZakazes, &TfmZakaz::tbSendZakazesClick);
    click(tbSendTest, &TfmZakaz::tbSendTestClick);
    click(tbSendZakaz, &TfmZakaz::tbSendZakazClick);
    click(tbSendMaterial, &TfmZakaz::tbSendMaterialClick);
    click(tbSendFile, &TfmZakaz::tbSendFileClick);
    click(cbOrdersMy, &TfmZakaz::cbOrdersMyClick);
    connect(dbgItem, &QAbstractItemView::doubleClicked, this, fw::guarded([this] { tbMatAddClick(); }));
    connect(dblcGrItem, &fw::DBLookupCombo::activated, this, fw::guarded([this] { dblcGrItemClick(); }));
    connect(dblcGrItem, &fw::DBLookupCombo::keyDown, this, [this](QKeyEvent* e, bool* handled) {
        if (e->key() != Qt::Key_Escape) return;
        fw::runGuarded([this, e] { dblcGrItemKeyPress(e->key()); });
        *handled = true;
    });

    fw::SmtpClient& smtp = d.Smtp;
    connect(&smtp, &fw::SmtpClient::sendStarted, this,
            [this](const QString& subject) { SetMailStatus("Отправка письма: " + subject); });
    connect(&smtp, &fw::SmtpClient::progress, this, [this](qint64 sent, qint64 total) {
        // Sizes beyond int are shown in kilobytes.
        const int shift = total > INT_MAX ? 10 : 0;
        pbFile->setMaximum(qMax(1, int(total >> shift)));
        pbFile->setValue(int(qMin(sent, total) >> shift));
    });
    connect(&smtp, &fw::SmtpClient::succeeded, this, [this] { pbFile->setValue(0); });
    connect(&smtp, &fw::SmtpClient::failed, this,
            [this](fw::SmtpClient::Failure f, const QString& message) { SmtpFailed(f, message); });

    d.OrdersGridActive = [this] {
        const QWidget* focus = QApplication::focusWidget();
        return focus && (focus == dbgOrders || dbgOrders->isAncestorOf(focus));
    };
    d.PathChanged = [this] { FillPathList(); };
    d.PathCleared = [this] { lbPath->clear(); };

    FormCreate();
    // Materials added in the reference lists meanwhile show up when the user comes back.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
        if (now && isAncestorOf(now) && !(old && isAncestorOf(old))) fw::runGuarded([this] { RefreshMaterials(); });
    });
}

TfmZakaz::~TfmZakaz()
{
    if (dmZakaz) {
        dmZakaz->OrdersGridActive = nullptr;
        dmZakaz->PathChanged = nullptr;
        dmZakaz->PathCleared = nullptr;
    }
    FormDestroy();
    // The controls go before the queries and sources they show.
    for (QWidget* w : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) delete w;
}

void TfmZakaz::FormCreate()
{
    for (fw::Query* q : {&dm->qryUser, &dm->qryOrderStatus, &dm->qryItem}) q->open();
    TdmZakaz& d = *dmZakaz;
    for (fw::Query* q : {&d.qryItems, &d.qryPath, &d.qryGrItem, &d.qryItem}) q->open();
}

void TfmZakaz::FormDestroy()
{
    SendingMail = false;
    if (fmZakaz == this) fmZakaz = nullptr;
    // A transfer still running is cut.
    if (dmZakaz) dmZakaz->Smtp.abort();
}

bool TfmZakaz::Sending() const
{
    return locked_;
}

void TfmZakaz::closeEvent(QCloseEvent* e)
{
    if (Sending()) {
        // The transfer is cut now; the window closes once the operation has unwound.
        closePending_ = true;
        dmZakaz->Smtp.abort();
        e->ignore();
        return;
    }
    setAttribute(Qt::WA_DeleteOnClose);
    QWidget::closeEvent(e);
}

// --- orders

QStringList TfmZakaz::OrdersSql(int Status) const
{
    QStringList sql{"select * from orders where idOrder is not null"};
    if (IdCust != 0) sql << "and idCust=" + QString::number(IdCust);
    if (cbOrdersMy->isChecked()) sql << "and idUser=" + QString::number(CurrentUser.IdUser);
    sql << "and " + GetRecFilter();
    if (Status == 0 || Status == 1) sql << "and idOrderStatus=" + QString::number(Status);
    sql << "order by DateCr desc";
    return sql;
}

void TfmZakaz::OpenOrders(int Status)
{
    ReopenOrders(OrdersSql(Status));
}

void TfmZakaz::ReopenOrders(const QStringList& sql)
{
    TdmZakaz& d = *dmZakaz;
    // Without the server the list stays as it is: the server is asked first,
    // so that a lost connection is found before the list is closed.
    dm->db.selectValue("select 1 from rdb$database");
    d.qryOrders.close();
    d.qryOrders.setSql(sql);
    d.qryOrders.open();
    if (fw::Field* f = d.qryOrders.findField("DATECR")) f->setDisplayFormat("dd.MM.yyyy hh:mm");
    // Closing the orders closed their materials.
    d.qryItems.open();
}

void TfmZakaz::tbRefreshClick()
{
    ReconnectIfLost();
    RefreshMaterials();
    const QStringList sql = dmZakaz->qryOrders.sql();
    ReopenOrders(sql);
}

void TfmZakaz::cbOrdersMyClick()
{
    dmZakaz->qryOrders.close();
    OpenOrders(-1);
}

void TfmZakaz::tbGoToKarClick()
{
    fw::Query& q = dmZakaz->qryOrders;
    if (!q.active() || q.isEmpty()) return;
    GoToKarFromList(q.fieldByName("IDCUST").asInteger(), 0, 0, QString());
}

void TfmZakaz::tbOrderDelClick()
{
    fw::Query& q = dmZakaz->qryOrders;
    if (q.active() && !q.isEmpty()) q.remove();
}

void TfmZakaz::dbgOrdersDrawColumnCell(const fw::GridCell& cell, fw::CellStyle& style)
{
    if (cell.focused) return;
    const fw::Value status = cell.value("IDORDERSTATUS");
    if (status.isNull()) return;
    if (status.asInt() == 0) style.text = QColor(0, 0, 255);
    else if (status.asInt() == 1) style.text = QColor(0, 128, 0);
}

// --- materials

void TfmZakaz::dblcGrItemClick()
{
    const fw::Value group = dblcGrItem->keyValue();
    dmZakaz->qryItem.setFilter(group.isNull() ? QString() : "idGrItem=" + QString::number(group.asInt()));
}

void TfmZakaz::dblcGrItemKeyPress(int key)
{
    ClearOnEsc(dblcGrItem, key);
}

void TfmZakaz::RefreshMaterials()
{
    // Coming back to the window after a lost connection must not ask again.
    if (!dmZakaz || Sending() || !dm->db.connected()) return;
    for (fw::Query* q : {&dm->qryItem, &dmZakaz->qryGrItem, &dmZakaz->qryItem})
        if (q->active() && q->state() == fw::DataSetState::Browse) q->refresh();
}

void TfmZakaz::tbMatAddClick()
{
    TdmZakaz& d = *dmZakaz;
    if (!d.qryItem.active() || d.qryItem.isEmpty()) return;
    // A material added since the names were read would show no name.
    const fw::Value item = d.qryItem.fieldByName("IDITEM").value();
    if (dm->qryItem.lookup("IDITEM", item, "IDITEM").isNull()) dm->qryItem.refresh();
    d.qryItems.append();
    d.qryItems.fieldByName("IDITEM").setValue(d.qryItem.fieldByName("IDITEM").value());
    d.qryItems.post();
    d.qryItemsAfterScroll(d.qryItems);
}

void TfmZakaz::tbMatDelClick()
{
    fw::Query& q = dmZakaz->qryItems;
    if (q.active() && !q.isEmpty()) q.remove();
}

void TfmZakaz::FillPathList()
{
    lbPath->clear();
    const fw::Query& q = dmZakaz->qryPath;
    if (!q.active()) return;
    const fw::Field& path = q.fieldByName("PATH");
    for (int r = 0; r < q.rowCount(); ++r) {
        const QString mask = q.valueAt(r, path).asString().trimmed();
        if (mask.isEmpty()) continue;
        // Files only, hidden ones too; a mask that matches nothing adds nothing.
        const QFileInfo info(mask);
        const QDir dir = info.dir();
        for (const QString& name : dir.entryList({info.fileName()}, QDir::Files | QDir::Hidden, QDir::Name))
            lbPath->addItem(dir.filePath(name));
    }
}

void TfmZakaz::SetMailStatus(const QString& text)
{
    lblStatus->setText(text);
    lblStatus->repaint();
}

// --- sending

void TfmZakaz::SmtpFailed(fw::SmtpClient::Failure failure, const QString& message)
{
    if (failure == fw::SmtpClient::Failure::Connection) SetMailStatus("Ошибка подключения к серверу!");
    else SetMailStatus(message);
}

void TfmZakaz::CheckUserEmail(const QString& name, const QString& email)
{
    if (!email.trimmed().isEmpty()) return;
    fw::dialogs().warning("Отправка невозможна!\nНе указан обратный e-mail пользователя - " + name
                          + "\nЗайдите в личные настройки и укажите его!");
    throw fw::Abort();
}

void TfmZakaz::PrepareSender()
{
    fw::Query& orders = dmZakaz->qryOrders;
    fw::Query& users = dm->qryUser;
    // The curator may have set the address in the personal settings since the list was read.
    if (users.active()) users.refresh();
    else users.open();
    const fw::Value owner = orders.fieldByName("IDUSER").value();
    if (owner.isNull() || users.lookup("IDUSER", owner, "IDUSER").isNull()) {
        // Without the curator there is no sender: nothing is sent.
        fw::dialogs().information("Юзер нот фаунд!");
        throw fw::Abort();
    }
    const QString name = users.lookup("IDUSER", owner, "NAME").asString();
    const QString email = users.lookup("IDUSER", owner, "EMAIL").asString().trimmed();
    CheckUserEmail(name, email);
    mail_.fromAddress = email;
    mail_.fromName = name;
    // The address as typed, display name included; the envelope takes the bare address.
    mail_.to = QStringList{orders.fieldByName("EMAIL").asString().trimmed()};
}

void TfmZakaz::PrepareOrderMail()
{
    mail_.body = setting("BODYINFO");
    PrepareSender();
    dmZakaz->Smtp.setHost(setting("HOSTINFO"));
    const int port = dm->qryMain.fieldByName("PORTINFO").asInteger();
    dmZakaz->Smtp.setPort(port > 0 ? port : 25);
}

void TfmZakaz::PrepareTestMail()
{
    mail_.attachments.clear();
    const QString body = setting("BODYTEST");
    mail_.body = body.isEmpty() ? " " : body;
    PrepareSender();
    mail_.subject = setting("SUBJTEST");
    dmZakaz->Smtp.setHost(setting("HOSTTEST"));
    const int port = dm->qryMain.fieldByName("PORTTEST").asInteger();
    dmZakaz->Smtp.setPort(port > 0 ? port : 25);
}

// Each message is a session of its own; "connected" spans the operation.
void TfmZakaz::Connect()
{
    dmZakaz->Connected = true;
}

void TfmZakaz::Disconnect()
{
    dmZakaz->Connected = false;
    SetMailStatus("Отправка завершена");
    QApplication::beep();
}

void TfmZakaz::SendMail()
{
    dmZakaz->Smtp.sendAndWait(mail_);
}

void TfmZakaz::SendFile(const QString& subject, const QString& fileName)
{
    mail_.attachments = QStringList{fileName};
    mail_.subject = subject;
    mail_.date = GetServerDate();
    SetMailStatus("Кодировка файла: " + fileName);
    SendMail();
}

int TfmZakaz::SendItemFiles()
{
    // A copy: the list is refilled whenever the current material changes.
    QStringList files;
    for (int i = 0; i < lbPath->count(); ++i) files << lbPath->item(i)->text();
    const int n = int(files.size());
    const QString subject = dmZakaz->qryOrders.fieldByName("SUBJECT").asString() + " //"
        + dmZakaz->qryItems.fieldByName("Item").asString();
    setMax(pbMater, n);
    for (int i = 0; i < n; ++i) {
        SendFile(subject + " (" + QString::number(i + 1) + " of " + QString::number(n) + ")", files[i]);
        pbMater->setValue(i + 1);
    }
    pbMater->setValue(0);
    return n;
}

QString TfmZakaz::OrderCaption() const
{
    const fw::Query& q = dmZakaz->qryOrders;
    return q.fieldByName("EMAIL").asString().trimmed() + ", тема «" + q.fieldByName("SUBJECT").asString() + "»";
}

QList<TfmZakaz::Letter> TfmZakaz::OrderLetters()
{
    TdmZakaz& d = *dmZakaz;
    const QString subject = d.qryOrders.fieldByName("SUBJECT").asString();
    QList<Letter> letters;
    int material = 0;
    // Moving to a material fills the file list with its files.
    for (d.qryItems.first(); !d.qryItems.eof(); d.qryItems.next()) {
        ++material;
        const QString prefix = subject + " //" + d.qryItems.fieldByName("Item").asString();
        const int n = lbPath->count();
        for (int i = 0; i < n; ++i)
            letters << Letter{prefix + " (" + QString::number(i + 1) + " of " + QString::number(n) + ")",
                              lbPath->item(i)->text(), material, i + 1, n};
    }
    return letters;
}

void TfmZakaz::SendOrder()
{
    // A material without files sends nothing; the order is marked sent all the same.
    const QList<Letter> letters = OrderLetters();
    SendMarked(2, letters, dmZakaz->qryItems.recordCount());
}

void TfmZakaz::SendTest()
{
    SendMarked(1, {Letter{mail_.subject, QString(), 0, 0, 0}}, 0);
}

void TfmZakaz::WriteOrderStatus(const fw::Value& status, const fw::Value& date)
{
    fw::Query& q = dmZakaz->qryOrders;
    try {
        if (q.state() != fw::DataSetState::Edit) q.edit();
        q.fieldByName("DATECR").setValue(date);
        q.fieldByName("IDORDERSTATUS").setValue(status);
        q.post();
    } catch (...) {
        try {
            if (q.state() == fw::DataSetState::Edit) q.cancel();
        } catch (const fw::Error&) {
        }
        throw;
    }
}

namespace {

// Puts an order's status back after its letters did not go: written straight
// to the table, since the window may be gone by now, and only over the status
// this program wrote a moment ago. A server that restarts is back within
// seconds; the order would stay marked sent without having gone out.
bool RestoreOrderStatus(int idOrder, int marked, const fw::Value& status, const fw::Value& date, QString& reason)
{
    for (int attempt = 1;; ++attempt) {
        try {
            dm->db.execute("update Orders set IdOrderStatus = :status, DateCr = :date "
                           "where IdOrder = :id and IdOrderStatus = :marked",
                           {{"status", status}, {"date", date}, {"id", idOrder}, {"marked", marked}});
            return true;
        } catch (const fw::DbError& e) {
            reason = e.kind() == fw::DbErrorKind::ConnectionLost ? "Нет соединения с сервером базы данных."
                                                                  : e.message();
            if (e.kind() != fw::DbErrorKind::ConnectionLost || attempt > 1) return false;
        } catch (const fw::Error& e) {
            reason = e.message();
            return false;
        }
        try {
            ReconnectSoon(dm->db);
        } catch (const fw::Error&) {
            return false;
        }
    }
}

} // namespace

void TfmZakaz::SendMarked(int status, const QList<Letter>& letters, int materials)
{
    QPointer<TfmZakaz> self(this);
    fw::Query& q = dmZakaz->qryOrders;
    const QString order = OrderCaption();
    const int idOrder = q.fieldByName("IDORDER").asInteger();
    const fw::Value oldStatus = q.fieldByName("IDORDERSTATUS").value();
    const fw::Value oldDate = q.fieldByName("DATECR").value();
    const fw::Value now(GetServerDate());
    try {
        WriteOrderStatus(fw::Value(status), now);
    } catch (const fw::DbError& e) {
        // The commit may have reached the server before the answer was lost.
        if (e.kind() == fw::DbErrorKind::ConnectionLost)
            unsent_ << "Заказ " + order + " не отправлен, но его статус мог быть записан: проверьте его.";
        throw;
    }

    int sent = 0;
    try {
        setMax(pbOrder, materials);
        for (const Letter& l : letters) {
            if (l.index == 1) setMax(pbMater, l.count);
            mail_.attachments = l.file.isEmpty() ? QStringList() : QStringList{l.file};
            mail_.subject = l.subject;
            mail_.date = GetServerDate();
            if (!l.file.isEmpty()) SetMailStatus("Кодировка файла: " + l.file);
            SendMail();
            ++sent;
            pbMater->setValue(l.index);
            if (l.index == l.count) {
                pbMater->setValue(0);
                pbOrder->setValue(l.material);
            }
        }
    } catch (...) {
        QString note;
        if (sent > 0) {
            QStringList rest;
            for (int i = sent; i < letters.size(); ++i) rest << "«" + letters[i].subject + "»";
            note = "Заказ " + order + " отмечен отправленным, но отправлены не все его письма. Не отправлены: "
                + rest.join(", ") + ".";
        } else if (QString reason; !RestoreOrderStatus(idOrder, status, oldStatus, oldDate, reason)) {
            note = "Заказ " + order + " отмечен отправленным, но не отправлен: его прежний статус не записан. " + reason
                + "\nУкажите статус этого заказа вручную, иначе он не будет отправлен.";
        } else if (self) {
            fw::runGuarded([&q] { q.refreshRecord(); });
        }
        if (!note.isEmpty()) {
            // A window closed meanwhile cannot end the operation with it.
            if (self) unsent_ << note;
            else fw::dialogs().error(note);
        }
        throw;
    }
    pbOrder->setValue(0);
    sentOrders_ << order;
}

void TfmZakaz::LockControls()
{
    TdmZakaz& d = *dmZakaz;
    for (fw::Query* q : {&d.qryItems, &d.qryOrders})
        if (q->state() == fw::DataSetState::Edit || q->state() == fw::DataSetState::Insert) q->post();
    pnlTop->setEnabled(false);
    pnlOrders->setEnabled(false);
    SendingMail = true;
    locked_ = true;
}

void TfmZakaz::UnlockControls()
{
    locked_ = false;
    SendingMail = false;
    pnlTop->setEnabled(true);
    pnlOrders->setEnabled(true);
    for (QProgressBar* b : {pbOrder, pbMater, pbFile}) b->setValue(0);
}

void TfmZakaz::ReconnectIfLost()
{
    if (dm->db.connectionLost()) fw::Database::reconnectLost();
}

void TfmZakaz::RunSending(const std::function<void()>& body, const std::function<void()>& finally)
{
    QPointer<TfmZakaz> self(this);
    sentOrders_.clear();
    unsent_.clear();
    std::exception_ptr failure;
    try {
        ReconnectIfLost();
        LockControls();
        body();
    } catch (...) {
        failure = std::current_exception();
    }
    // The window may have been destroyed while a message was on its way.
    if (!self) std::rethrow_exception(failure ? failure : std::make_exception_ptr(fw::Abort()));
    if (dmZakaz) {
        dmZakaz->Smtp.abort();
        dmZakaz->Connected = false;
    }
    UnlockControls();
    if (closePending_)
        QTimer::singleShot(0, this, [this] {
            if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget())) sub->close();
            else close();
        });
    if (finally) {
        try {
            finally();
        } catch (...) {
            // The failure that ended the operation is the one the user must see.
            if (!failure) failure = std::current_exception();
        }
    }
    if (failure) ReportSendingFailure(failure);
}

void TfmZakaz::ReportSendingFailure(std::exception_ptr failure)
{
    QString unsent;
    if (!unsent_.isEmpty()) unsent = "\n\n" + unsent_.join("\n\n");
    try {
        std::rethrow_exception(failure);
    } catch (const fw::DbError& e) {
        if (e.kind() != fw::DbErrorKind::ConnectionLost) {
            if (unsent.isEmpty()) throw;
            throw fw::DbError(e.message() + unsent, e.sqlCode(), e.iscCode(), e.kind(), e.detail());
        }
        // What went out has its status written; the user must know it before
        // deciding to connect again and send the rest.
        QString text = e.message();
        if (!sentOrders_.isEmpty())
            text += "\n\nОтправлены заказы, их статус записан:\n" + sentOrders_.join("\n");
        text += unsent;
        text += sentOrders_.isEmpty() && unsent_.isEmpty() ? "\n\nНичего не отправлено."
                                                           : "\n\nОстальные заказы не отправлены.";
        if (!e.detail().isEmpty()) text += "\n\nПодробности: " + e.detail();
        if (fw::offerReconnect(text)) fw::runGuarded([this] { OpenOrders(-1); });
        throw fw::Abort();
    } catch (const fw::Abort&) {
        if (unsent.isEmpty()) throw;
        throw fw::UserError(unsent.mid(2));
    } catch (const fw::Error& e) {
        if (unsent.isEmpty()) throw;
        throw fw::UserError(e.message() + unsent);
    }
}

void TfmZakaz::tbSendTestClick()
{
    TdmZakaz& d = *dmZakaz;
    if (!d.qryOrders.active() || d.qryOrders.isEmpty()) return;
    d.CheckEditRight();
    RunSending([this] {
        PrepareTestMail();
        Connect();
        SendTest();
        Disconnect();
    });
}

void TfmZakaz::tbSendZakazClick()
{
    TdmZakaz& d = *dmZakaz;
    if (!d.qryOrders.active() || d.qryOrders.isEmpty()) return;
    d.CheckEditRight();
    RunSending([this, &d] {
        PrepareOrderMail();
        d.qryItems.close();
        d.qryItems.open();
        Connect();
        SendOrder();
        Disconnect();
    });
}

void TfmZakaz::tbSendMaterialClick()
{
    TdmZakaz& d = *dmZakaz;
    if (!d.qryItems.active() || d.qryItems.isEmpty()) return;
    d.CheckEditRight();
    RunSending([this] {
        PrepareOrderMail();
        Connect();
        if (SendItemFiles() == 0) throw fw::UserError(kNoFiles);
        Disconnect();
    });
}

void TfmZakaz::tbSendFileClick()
{
    QListWidgetItem* selected = lbPath->currentItem();
    if (!selected || !selected->isSelected()) {
        fw::dialogs().warning(lbPath->count() == 0 ? "У материала нет файлов для отправки!"
                                                   : "Выберите файл в списке файлов материала!");
        return;
    }
    const int row = lbPath->currentRow();
    const QString file = selected->text();
    TdmZakaz& d = *dmZakaz;
    d.CheckEditRight();
    RunSending([this, &d, row, file] {
        // Posting an edit may have refilled the list.
        if (row < lbPath->count() && lbPath->item(row)->text() == file) lbPath->setCurrentRow(row);
        PrepareOrderMail();
        Connect();
        SendFile(d.qryOrders.fieldByName("SUBJECT").asString() + " /" + d.qryItems.fieldByName("Item").asString(),
                 file);
        Disconnect();
    });
}

void TfmZakaz::SendBatch(int status)
{
    TdmZakaz& d = *dmZakaz;
    const bool test = status == 0;
    ReconnectIfLost();
    OpenOrders(status);
    if (d.qryOrders.isEmpty()) {
        OpenOrders(-1);
        return;
    }
    setMax(pbAll, d.qryOrders.recordCount());
    RunSending(
        [this, &d, test] {
            // Host and sender of the first order; each order then sets its own.
            test ? PrepareTestMail() : PrepareOrderMail();
            Connect();
            int done = 0;
            d.qryOrders.first();
            while (!d.qryOrders.eof()) {
                d.CheckEditRight();
                if (test) {
                    PrepareTestMail();
                    SendTest();
                } else {
                    PrepareOrderMail();
                    SendOrder();
                }
                d.qryOrders.next();
                pbAll->setValue(++done);
            }
            Disconnect();
        },
        [this] {
            pbAll->setValue(0);
            OpenOrders(-1);
        });
}

void TfmZakaz::tbSendTestsClick()
{
    SendBatch(0);
}

void TfmZakaz::tbSendZakazesClick()
{
    SendBatch(1);
}

// --- the main window's hooks

void RegisterZakazModule()
{
    TModuleWindows& m = ModuleWindows();
    m.Zakaz = ModuleWindow(fmZakaz);
    m.ZakazSending = [] { return !fmZakaz.isNull() && fmZakaz->Sending(); };
    m.ZakazOpenAll = [](QWidget* window) {
        auto* w = qobject_cast<TfmZakaz*>(window);
        if (!w) return;
        w->IdCust = 0;
        w->OpenOrders(-1);
    };
}
