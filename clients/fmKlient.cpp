#include "clients/fmKlient.h"

#include "clients/GrOper.h"
#include "clients/KlientCalendar.h"
#include "clients/KlientExport.h"
#include "clients/KlientGroups.h"
#include "clients/KlientMerge.h"
#include "clients/KlientQuery.h"
#include "clients/dmKl.h"
#include "clients/fmPlan.h"
#include "core/FormParts.h"
#include "core/SharedProcs.h"
#include "core/Users.h"
#include "core/dm.h"
#include "core/fmMain.h"
#include "deals/dmKlSd.h"
#include "deals/dmZakaz.h"
#include "deals/fmZakaz.h"
#include "reports/fmImport.h"

#include "widgets/DBControls.h"
#include "widgets/DBGrid.h"
#include "widgets/DBLookupCombo.h"
#include "widgets/ExceptionHandler.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QScopeGuard>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScrollArea>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// A module window in front: in the main window's work area when there is one.
void BringToFront(QWidget* window)
{
    if (!fmMain) {
        window->show();
        window->raise();
        return;
    }
    QMdiSubWindow* sub = fmMain->ShowMDIChild(window);
    if (sub->isMinimized()) sub->showNormal();
    if (QMdiArea* area = sub->mdiArea()) area->setActiveSubWindow(sub);
    sub->raise();
}

} // namespace

// --- creation

TfmKlient::TfmKlient(QWidget* owner) : QWidget(owner)
{
    // The data module comes first: every control below binds to it.
    new TdmKl(this, this);
    savedCustModifySql_ = dmKl->usqlCust.modifySql();
    savedCustInsertSql_ = dmKl->usqlCust.insertSql();
    fmKlient = this;

    setObjectName("fmKlient");
    setWindowTitle("Клиенты");
    resize(1000, 680);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    BuildMenu(this);
    layout->setMenuBar(mmKlient);

    pcMain = new QTabWidget(this);
    pcMain->setObjectName("pcMain");
    layout->addWidget(pcMain, 1);

    tsKar = Page(pcMain, "tsKar", "Компания");
    BuildCard();
    tsKlList = Page(pcMain, "tsKlList", "Список");
    BuildList();
    tsCal = Page(pcMain, "tsCal", "Календарь");
    KlientCalendar = new TKlientCalendar(tsCal);
    PageLayout(tsCal)->addWidget(KlientCalendar);
    tsQuery = Page(pcMain, "tsQuery", "Запрос");
    KlientQuery = new TKlientQuery(tsQuery);
    PageLayout(tsQuery)->addWidget(KlientQuery);

    BudilCheck = new TBudilCheck(this);

    const auto goToKar = [this](int idCust, int idRecord, int idContacts, const QString& page) {
        return GoToKarByName(idCust, idRecord, idContacts, page);
    };
    KlientCalendar->GoToKar = goToKar;
    KlientCalendar->EditHistRecord = [this](fw::DataSet& ds) { return EditHistRecord(ds); };
    BudilCheck->GoToKar = goToKar;
    // The search page gets its focused control back after a jump from a reminder, as after any leave.
    BudilCheck->RememberFocus = [this](QWidget* w) {
        if (w && tsQuery->isAncestorOf(w)) queryFocus_ = w;
    };
    KlientQuery->ShowClientList = [this] { pcMain->setCurrentWidget(tsKlList); };
    KlientQuery->SetListPageCaption = [this](const QString& c) { SetListPageCaption(c); };
    KlientQuery->RememberFocus = [this](QWidget* w) { queryFocus_ = w; };
    connect(BudilCheck, &TBudilCheck::runningChanged, this, [this](bool running) {
        mmiBudilCheckNow->setEnabled(!running);
    });

    connect(pcMain, &QTabWidget::currentChanged, this, fw::guarded([this] { pcMainChange(); }));
    connect(pcDown, &QTabWidget::currentChanged, this, fw::guarded([this] { pcDownChange(); }));

    // Key preview: the window sees Enter and Shift before the focused control.
    qApp->installEventFilter(this);

    FormCreate();
}

TfmKlient::~TfmKlient()
{
    qApp->removeEventFilter(this);
    FormDestroy();
}

void TfmKlient::BuildMenu(QWidget* parent)
{
    mmKlient = new QMenuBar(parent);
    mmKlient->setObjectName("mmKlient");
    mmiKlient = mmKlient->addMenu("Клиенты");
    mmiKlient->setObjectName("mmiKlient");

    const auto action = [this](QMenu* menu, const char* name, const QString& caption, bool checkable = false,
                               bool checked = false) {
        QAction* a = menu->addAction(caption);
        a->setObjectName(name);
        a->setCheckable(checkable);
        a->setChecked(checked);
        return a;
    };
    const auto submenu = [this](const char* name, const QString& caption) {
        QMenu* m = mmiKlient->addMenu(caption);
        m->setObjectName(name);
        return m;
    };

    mmiBudil = submenu("mmiBudil", "Будильник");
    mmiBudilCheck = action(mmiBudil, "mmiBudilCheck", "Проверять (5мин)", true, true);
    mmiBudilCheckNow = action(mmiBudil, "mmiBudilCheckNow", "Проверить сейчас");

    mmiMerge = submenu("mmiMerge", "Объединение");
    mmiMergeFrom = action(mmiMerge, "mmiMergeFrom", "Откуда");
    mmiMergeTo = action(mmiMerge, "mmiMergeTo", "Куда");
    KlientMerge = new TKlientMerge(mmiMergeFrom, this);
    KlientMerge->CloseDetails = [this] { CloseDetails(); };
    KlientMerge->OpenDetails = [this] { OpenDetails(); };

    mmiHistPlan = submenu("mmiHistPlan", "История/Планы");
    mmiLinkNewRecords =
        action(mmiHistPlan, "mmiLinkNewRecords", "Связывать новые записи с текущим контактным лицом", true, true);
    mmiLinkRecord = action(mmiHistPlan, "mmiLinkRecord", "Связать запись с текущим контактным лицом");
    mmiHistPlan->addSeparator();
    mmiOnlyMyRecords = action(mmiHistPlan, "mmiOnlyMyRecords", "Показывать только свои записи", true);
    mmiOnlyCurContact =
        action(mmiHistPlan, "mmiOnlyCurContact", "Показывать записи только по текущему контактному лицу", true);

    mmiContacts = submenu("mmiContacts", "Контактные лица");
    mmiOnlyMyContacts = action(mmiContacts, "mmiOnlyMyContacts", "Показывать только свои контактные лица", true);

    mmiGrOper = submenu("mmiGrOper", "Групповые операции");
    mmiGrOperHist = action(mmiGrOper, "mmiGrOperHist", "Запись в историю...");
    mmiGrOperPlan = action(mmiGrOper, "mmiGrOperPlan", "Запись в план...");
    mmiGrOperGlGroup = action(mmiGrOper, "mmiGrOperGlGroup", "В общую группу...");
    mmiGrOperLocGroup = action(mmiGrOper, "mmiGrOperLocGroup", "В личную группу...");
    mmiGrOperSdelka = action(mmiGrOper, "mmiGrOperSdelka", "Создать сделку...");
    mmiGrOperEmail = action(mmiGrOper, "mmiGrOperEmail", "Создать письмо...");

    mmiExpDetal = action(mmiKlient, "mmiExpDetal", "Детальный экспорт...");
    mmiKlient->addSeparator();
    mmiCustomField = action(mmiKlient, "mmiCustomField", "Настройка полей...");
    mmiImport = action(mmiKlient, "mmiImport", "Импорт...");

    connect(mmiBudilCheck, &QAction::triggered, this, fw::guarded([this] { mmiBudilCheckClick(); }));
    connect(mmiBudilCheckNow, &QAction::triggered, this, fw::guarded([this] { StartBudilCheck(); }));
    connect(mmiMergeFrom, &QAction::triggered, this, fw::guarded([this] { KlientMerge->FromClick(); }));
    connect(mmiMergeTo, &QAction::triggered, this, fw::guarded([this] { KlientMerge->ToClick(); }));
    connect(mmiLinkRecord, &QAction::triggered, this, fw::guarded([this] { mmiLinkRecordClick(); }));
    connect(mmiOnlyMyRecords, &QAction::triggered, this, fw::guarded([this] { ApplyHistFilter(); }));
    connect(mmiOnlyCurContact, &QAction::triggered, this, fw::guarded([this] { ApplyHistFilter(); }));
    connect(mmiOnlyMyContacts, &QAction::triggered, this, fw::guarded([this] { mmiOnlyMyContactsClick(); }));
    const QList<QAction*> grOper{mmiGrOperHist,     mmiGrOperPlan,   mmiGrOperGlGroup,
                                 mmiGrOperLocGroup, mmiGrOperSdelka, mmiGrOperEmail};
    for (int kind = 0; kind < grOper.size(); ++kind)
        connect(grOper[kind], &QAction::triggered, this, [this, kind] { GrOperClick(kind); });
    connect(mmiExpDetal, &QAction::triggered, this, fw::guarded([this] { mmiExpDetalClick(); }));
    connect(mmiCustomField, &QAction::triggered, this, fw::guarded([this] { mmiCustomFieldClick(); }));
    connect(mmiImport, &QAction::triggered, this, fw::guarded([this] { mmiImportClick(); }));
}

void TfmKlient::BuildCard()
{
    // The card scrolls rather than crushing its fields when the window is narrowed or lowered;
    // tsKar itself stays the tab's page.
    scrlboxKar = new QScrollArea(tsKar);
    scrlboxKar->setObjectName("scrlboxKar");
    scrlboxKar->setFrameShape(QFrame::NoFrame);
    scrlboxKar->setWidgetResizable(true);
    pnlKar = new QWidget;
    pnlKar->setObjectName("pnlKar");
    scrlboxKar->setWidget(pnlKar);
    PageLayout(tsKar)->addWidget(scrlboxKar);
    auto* card = PageLayout(pnlKar);
    card->setContentsMargins(0, 0, 0, 0);

    KlientCard = new TKlientCard(pnlKar);
    KlientCard->ShowZakaz = [this](const QString& address) { ShowZakaz(address); };
    connect(KlientCard->tbNewCust, &QToolButton::clicked, this, fw::guarded([this] { tbNewCustClick(); }));
    connect(KlientCard->tbPlan, &QToolButton::clicked, this, fw::guarded([this] { tsPlan->NewPlan(); }));
    connect(KlientCard->tbMy, &QToolButton::clicked, this, fw::guarded([this] { ShowMyClients(); }));
    card->addWidget(KlientCard);

    pcDown = new QTabWidget(pnlKar);
    pcDown->setObjectName("pcDown");
    pcDown->setTabPosition(QTabWidget::South);
    pcDown->setMinimumHeight(200);   // below it the scroll bars take over
    card->addWidget(pcDown, 1);
    tsHist = new THistPage(pcDown, false);
    tsPlan = new THistPage(pcDown, true);
    tsContacts = new TContactsPage(pcDown);
    tsInfo = new TInfoPage(pcDown);

    tsOther = Page(pcDown, "tsOther", "Прочее");
    scrlboxOther = new QScrollArea(tsOther);
    scrlboxOther->setObjectName("scrlboxOther");
    scrlboxOther->setWidgetResizable(true);
    scrlboxOther->setWidget(new QWidget);
    PageLayout(tsOther)->addWidget(scrlboxOther);
    // Shown once user-defined client fields exist.
    pcDown->setTabVisible(pcDown->indexOf(tsOther), false);

    tsGroup = Page(pcDown, "tsGroup", "Группы");
    KlientGroups = new TKlientGroups(tsGroup);
    KlientGroups->ReopenDetails = [this] {
        CloseDetails();
        OpenDetails();
    };
    rgGroup = KlientGroups->rgGroup;
    PageLayout(tsGroup)->addWidget(KlientGroups);

    tsSales = new TSalesPage(pcDown);
    tsSdelka = new TSdelkaPage(pcDown);
    tsDog = new TDogPage(pcDown);
}

void TfmKlient::BuildList()
{
    auto* list = PageLayout(tsKlList);
    tbrCust = ToolBar(tsKlList, "tbrCust");
    ToolButton21 = AddToolButton(tbrCust, "ToolButton21", "Количество", 17);
    tbCustExport = AddToolButton(tbrCust, "tbCustExport", "Экспорт", 3);
    list->addWidget(tbrCust);
    dbgCust = Grid(tsKlList, "dbgCust", &dmKl->dsCust,
                   {{"DATECR", "Регистрация", 100}, {"COMPANY", "Компания", 220}, {"FAX", "Факс", 130},
                    {"ADDRESS", "Адрес", 200}, {"CITY", "Город", 110}, {"User", "Куратор компании", 130},
                    {"Country", "Страна", 110}, {"Region", "Регион", 110}, {"Reklama", "Источник", 120},
                    {"Reklama2", "Источник2", 120}, {"Segment", "Сегмент", 120}, {"Segment2", "Сегмент2", 120},
                    {"Persp", "Перспективность", 110}, {"POLZOV", "Платил", 60}, {"REGPOLZOV", "Регистрировал", 90},
                    {"OTHER", "О компании", 200}});
    dbgCust->setOptions({fw::DBGrid::Option::Titles, fw::DBGrid::Option::Indicator, fw::DBGrid::Option::Tabs});
    dbgCust->setReadOnly(true);
    dbgCust->setCellStyler([](const fw::GridCell& cell, fw::CellStyle& style) {
        if (cell.focused) return;
        if (cell.value("POLZOV").asString() == "+") style.font.setBold(true);
        if (cell.value("REGPOLZOV").asString() == "+") style.text = QColor(128, 0, 0);
    });
    list->addWidget(dbgCust, 1);
    connect(ToolButton21, &QToolButton::clicked, this, fw::guarded([this] { KlientQuery->ToolButton21Click(); }));
    connect(tbCustExport, &QToolButton::clicked, this, fw::guarded([this] { tbCustExportClick(); }));
    // A double click on a client opens its card.
    connect(dbgCust, &QAbstractItemView::doubleClicked, this, fw::guarded([this] { pcMain->setCurrentWidget(tsKar); }));
}

void TfmKlient::FormCreate()
{
    // Overdue plans of the user: moved to today on request, in one statement.
    if (fw::dialogs().confirm("Проверить невыполненные планы?")) {
        fw::Query& check = dmKl->qryPlanCheck;
        check.close();
        check.paramByName("idUser").setAsInteger(CurrentUser.IdUser);
        check.open();
        const int overdue = check.recordCount();
        if (overdue > 0
            && fw::dialogs().confirm("Невыполненных планов: " + QString::number(overdue) + "\rПеренести их на сегодня?")) {
            check.close();
            dmKl->qryPlanMove.paramByName("idUser").setAsInteger(CurrentUser.IdUser);
            dmKl->qryPlanMove.execSql();
        }
        check.close();
    }

    pcMain->setCurrentIndex(0);
    pcDown->setCurrentIndex(0);
    KlientQuery->pcZapros->setCurrentIndex(0);

    if (dm) {
        if (!dm->qryMain.active()) dm->qryMain.open();
        SetColumnTitles(tsSales->dbgSales);
        SetColumnTitles(tsSdelka->dbgSdelka);
    }
    KlientQuery->TakePriznakCaptions();
    KlientCalendar->SetDefaults();

    const auto granted = [](int code) { return UserRights && UserRights->IsGranted(CurrentUser.IdUser, code); };
    KlientCard->tbZakaz->setEnabled(granted(1038));
    tsSales->sbReg->setEnabled(granted(1028));
    mmiMerge->setEnabled(granted(1031));
    UpdateGroupButtons();
    mmiGrOper->setEnabled(granted(1053));
    mmiImport->setEnabled(granted(1032));
    const bool exportRight = granted(1054);
    tbCustExport->setEnabled(exportRight);
    mmiExpDetal->setEnabled(exportRight);
    KlientCalendar->tbCalExport->setEnabled(exportRight);
    mmiCustomField->setEnabled(granted(1033));
    CreateCustomFieldControls();

    // The lookups behind the names shown in the list and the card.
    if (dm)
        for (fw::Query* q : {&dm->qryUser, &dm->qryCountry, &dm->qryRegion, &dm->qryReklama, &dm->qryReklama2,
                             &dm->qrySegment2, &dm->qryPersp, &dm->qryHiType, &dm->qryTovar, &dm->qrySdStatus,
                             &dm->qrySdType, &dm->qryPrichina, &dm->qryPrichina2, &dm->qryEtap, &dm->qryOtkaz})
            q->open();
    dmKl->qrySegment.open();

    creating_ = false;
    tsKarShow();
    dmKl->tmrBudil.start();
}

// --- close and destroy

bool TfmKlient::BudilRunning() const
{
    return BudilCheck && BudilCheck->BudilRunning();
}

bool TfmKlient::FormCloseQuery()
{
    return !BudilRunning();
}

void TfmKlient::closeEvent(QCloseEvent* e)
{
    // A pending edit that cannot be written keeps the window open.
    if (!FormCloseQuery() || !fw::runGuarded([this] { FormClose(); })) {
        e->ignore();
        return;
    }
    QWidget::closeEvent(e);
}

void TfmKlient::FormClose()
{
    dmKl->tmrBudil.stop();
    dmKl->qryCal.close();
    dmKl->qryCust.close();
    setAttribute(Qt::WA_DeleteOnClose);
}

void TfmKlient::FormDestroy()
{
    queryFocus_ = nullptr;
    if (fmKlient == this) fmKlient = nullptr;
    // The controls go before the data sets they show, and the module stops
    // calling back into the window before it closes its data sets.
    delete BudilCheck;
    BudilCheck = nullptr;
    for (QWidget* w : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) delete w;
    if (dmKl) {
        dmKl->setHost(nullptr);
        delete dmKl;
    }
    delete dmKlSd;
}

// --- pages and details

void TfmKlient::pcMainChange()
{
    if (creating_) return;
    QWidget* page = pcMain->currentWidget();
    if (page != tsQuery) {
        if (QWidget* f = QApplication::focusWidget(); f && tsQuery->isAncestorOf(f)) queryFocus_ = f;
    }
    if (page == tsKar) {
        tsKarShow();
        // The groups sub-page is shown again with the card.
        if (pcDown->currentWidget() == tsGroup) OpenGroupList();
    } else if (page == tsCal) KlientCalendar->tsCalShow();
    OpenDetails();
    if (page == tsQuery && queryFocus_) queryFocus_->setFocus();
}

void TfmKlient::pcDownChange()
{
    if (creating_) return;
    if (pcDown->currentWidget() == tsInfo) tsInfo->OpenDetails();
    else if (pcDown->currentWidget() == tsGroup) OpenGroupList();
    OpenDetails();
}

void TfmKlient::tsKarShow()
{
    if (dm) dm->qryPersp.open();
    dmKl->qryCountry.open();
    dmKl->qryRegion.open();
}

void TfmKlient::OpenDetails()
{
    if (!dmKl || creating_) return;
    if (!HasRows(dmKl->qryCust) || pcMain->currentWidget() != tsKar) return;
    dmKl->qryContacts.open();
    QWidget* page = pcDown->currentWidget();
    if (auto* p = qobject_cast<TKlientPage*>(page)) p->OpenDetails();
    else if (page == tsGroup) KlientGroups->OpenMemberships();
}

void TfmKlient::CloseDetails()
{
    if (!dmKl) return;
    for (fw::Query* q : {&dmKl->qryHist, &dmKl->qryPlan, &dmKl->qryContacts, &dmKl->qryGrGl_, &dmKl->qryGrLoc_,
                         &dmKl->qrySales, &dmKl->qrySdelka, &dmKl->qryDog})
        q->close();
}

bool TfmKlient::LinkNewRecordsToContact() const
{
    return mmiLinkNewRecords->isChecked();
}

bool TfmKlient::ShowOnlyCurrentContact() const
{
    return mmiOnlyCurContact->isChecked();
}

bool TfmKlient::CalendarPageActive() const
{
    return pcMain->currentWidget() == tsCal;
}

void TfmKlient::SetListPageCaption(const QString& caption)
{
    pcMain->setTabText(pcMain->indexOf(tsKlList), caption);
}

void TfmKlient::SetCalendarPageCaption(const QString& caption)
{
    pcMain->setTabText(pcMain->indexOf(tsCal), caption);
}

void TfmKlient::StartBudilCheck()
{
    if (BudilCheck) BudilCheck->StartBudilCheck();
}

void TfmKlient::SetCardComboAttached(const QString& comboName, bool attached)
{
    fw::DBLookupCombo* combo = nullptr;
    fw::DataSource* list = nullptr;
    if (comboName == "dblcRegion") combo = KlientCard->dblcRegion, list = &dmKl->dsRegion;
    else if (comboName == "dblcReklama2") combo = tsInfo->dblcReklama2, list = &dmKl->dsReklama2;
    else if (comboName == "dblcSegment2") combo = tsInfo->dblcSegment2, list = &dmKl->dsSegment2;
    if (combo) combo->setListSource(attached ? list : nullptr);
}

// --- the card entry

bool TfmKlient::GoToKar(int idCust, int idRecord, int idContacts, QWidget* page)
{
    const QStringList sql{"select * from Customer where idCust=" + QString::number(idCust), "and " + GetCustFilter()};
    const auto notFound = [] {
        fw::dialogs().information("Карточка компании не найдена\rили у Вас не хватает прав доступа!");
        return false;
    };
    // Asked first: a refused jump leaves the user's list and page as they were.
    fw::Query& probe = dmKl->qryTemp;
    probe.close();
    probe.setSql(sql);
    probe.open();
    const bool visible = !probe.isEmpty();
    probe.close();
    if (!visible) return notFound();
    fw::Query& cust = dmKl->qryCust;
    cust.close();
    pcMain->setCurrentWidget(tsKar);
    if (page) pcDown->setCurrentWidget(page);
    cust.setSql(sql);
    cust.open();
    if (cust.isEmpty()) return notFound();
    OpenDetails();
    if (auto* p = qobject_cast<TKlientPage*>(page)) p->LocateRecord(idRecord, idContacts);
    BringToFront(this);
    return true;
}

bool TfmKlient::GoToKarByName(int idCust, int idRecord, int idContacts, const QString& pageName)
{
    return GoToKar(idCust, idRecord, idContacts, pageName.isEmpty() ? nullptr : PageByName(pcDown, pageName));
}

// --- clients

void TfmKlient::ShowMyClients()
{
    KlientQuery->ShowMyClients();
}

void TfmKlient::tbNewCustClick()
{
    if (!HasRows(dmKl->qryCust)) ShowMyClients();
    pcMain->setCurrentWidget(tsKar);
    KlientCard->dbeCompany->setFocus();
    dmKl->qryCust.insert();
}

// --- history and plans

bool TfmKlient::EditHistRecord(fw::DataSet& ds)
{
    return THistPage::EditHistRecord(this, ds);
}

void TfmKlient::mmiLinkRecordClick()
{
    if (pcMain->currentWidget() != tsKar) return;
    if (auto* page = qobject_cast<THistPage*>(pcDown->currentWidget())) page->LinkRecordToContact();
}

void TfmKlient::ApplyHistFilter()
{
    QStringList parts;
    if (mmiOnlyMyRecords->isChecked()) parts << "idUser=" + QString::number(CurrentUser.IdUser);
    if (mmiOnlyCurContact->isChecked()) {
        fw::Query& contacts = dmKl->qryContacts;
        const bool any = HasRows(contacts) && !contacts.fieldByName("idContacts").isNull();
        parts << "idContacts=" + (any ? QString::number(contacts.fieldByName("idContacts").asInteger()) : "-1");
    }
    const QString filter = parts.join(" and ");
    for (fw::Query* q : {&dmKl->qryHist, &dmKl->qryPlan}) {
        q->setFilter(filter);
        q->setFiltered(!filter.isEmpty());
    }
}

// --- contacts

void TfmKlient::mmiOnlyMyContactsClick()
{
    fw::Query& contacts = dmKl->qryContacts;
    contacts.setFilter("idUser=" + QString::number(CurrentUser.IdUser));
    contacts.setFiltered(mmiOnlyMyContacts->isChecked());
}

// --- groups

void TfmKlient::OpenGroupList()
{
    KlientGroups->OpenGroupList();
}

void TfmKlient::UpdateGroupButtons()
{
    KlientGroups->UpdateGroupButtons();
}

// --- dialling and orders

void TfmKlient::DialNumber(const QString& number, const QString& calledParty)
{
    KlientCard->DialNumber(number, calledParty);
}

void TfmKlient::ShowZakaz(const QString& address)
{
    if (!address.isEmpty()) dmKl->CheckInsertRight();
    if (fmZakaz) {
        if (fmZakaz->Sending()) return;
    } else {
        fmZakaz = new TfmZakaz(fmMain ? static_cast<QWidget*>(fmMain.data()) : this);
        if (!fmMain) fmZakaz->setWindowFlag(Qt::Window);
    }
    BringToFront(fmZakaz);
    fw::Query& cust = dmKl->qryCust;
    const bool any = HasRows(cust);
    fmZakaz->setWindowTitle("Рассылка {" + (any ? cust.fieldByName("Company").asString() : QString()) + "}");
    fmZakaz->IdCust = any ? cust.fieldByName("idCust").asInteger() : 0;
    fmZakaz->cbOrdersMy->setChecked(mmiOnlyMyRecords->isChecked());
    fmZakaz->OpenOrders(-1);
    fmZakaz->dbgItem->setFocus();
    if (address.isEmpty() || !any || !dmZakaz) return;
    fw::Query& orders = dmZakaz->qryOrders;
    orders.insert();
    EditAndPost(orders, [&] {
        orders.fieldByName("idUser").setAsInteger(CurrentUser.IdUser);
        orders.fieldByName("idCust").setAsInteger(fmZakaz->IdCust);
        orders.fieldByName("Email").setAsString(address);
        orders.fieldByName("Subject").setAsString("");
        orders.fieldByName("DateCr").setAsDateTime(GetServerDate());
        orders.fieldByName("idOrderStatus").setAsInteger(0);
        return true;
    });
}

// --- group operations, exports, reminders

void TfmKlient::GrOperClick(int kind)
{
    if (!HasRows(dmKl->qryCust)) return;
    // Whatever goes wrong inside has been shown by the operation itself.
    try {
        TGrOper oper{quint8(kind)};
        if (oper.GetParams()) oper.Execute();
    } catch (...) {
    }
}

void TfmKlient::tbCustExportClick()
{
    // The export walks the card's contacts; the user comes back to the pages he exported from.
    const QPointer<QWidget> main = pcMain->currentWidget(), down = pcDown->currentWidget();
    const auto back = qScopeGuard([&] {
        if (down) pcDown->setCurrentWidget(down);
        if (main) pcMain->setCurrentWidget(main);
    });
    ExportKlientList(dbgCust, tsContacts->dbgContacts, [this] {
        pcDown->setCurrentWidget(tsContacts);
        pcMain->setCurrentWidget(tsKar);
        OpenDetails();
    });
}

void TfmKlient::mmiExpDetalClick()
{
    ExportKlientDetal(this, {dbgCust, tsHist->dbg, tsPlan->dbg, tsContacts->dbgContacts, tsSales->dbgSales,
                             tsSdelka->dbgSdelka, tsDog->dbgDog});
}

void TfmKlient::mmiImportClick()
{
    ShowImport(*dbgCust, *tsContacts->dbgContacts);
}

void TfmKlient::mmiBudilCheckClick()
{
    if (mmiBudilCheck->isChecked()) dmKl->tmrBudil.start();
    else dmKl->tmrBudil.stop();
}

// --- keys

bool TfmKlient::eventFilter(QObject* watched, QEvent* e)
{
    const QEvent::Type type = e->type();
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease) return QWidget::eventFilter(watched, e);
    auto* w = qobject_cast<QWidget*>(watched);
    if (!w || (w != this && !isAncestorOf(w))) return QWidget::eventFilter(watched, e);
    auto* key = static_cast<QKeyEvent*>(e);
    if (key->key() == Qt::Key_Shift) {
        if (!key->isAutoRepeat()) SqlEditArmed = type == QEvent::KeyPress;
        return QWidget::eventFilter(watched, e);
    }
    if (type == QEvent::KeyPress && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
        QWidget* page = pcMain->currentWidget();
        if ((page == tsQuery || page == tsCal) && NoDropDownActive(this)) {
            fw::runGuarded([&] {
                if (page == tsQuery) KlientQuery->btnZQueryClick();
                else KlientCalendar->sbCalenRefreshClick();
            });
            return true;
        }
    }
    return QWidget::eventFilter(watched, e);
}

// --- registration

void RegisterKlientModule()
{
    TModuleWindows& m = ModuleWindows();
    m.Klient = ModuleWindow(fmKlient);
    m.GoToKar = [](int idCust, int idRecord, int idContacts, const QString& page) {
        return fmKlient && fmKlient->GoToKarByName(idCust, idRecord, idContacts, page);
    };
}
