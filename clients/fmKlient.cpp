#include "clients/fmKlient.h"

#include "clients/Budil.h"
#include "clients/KlientCalendar.h"
#include "clients/KlientExport.h"
#include "clients/KlientGroups.h"
#include "clients/KlientMerge.h"
#include "clients/KlientQuery.h"
#include "clients/dmKl.h"
#include "clients/fmDog.h"
#include "clients/fmPlan.h"
#include "clients/fmReg.h"
#include "clients/fmSegmentFind.h"
#include "controls/DBDateEdit.h"
#include "controls/DateEdit.h"
#include "core/FormParts.h"
#include "core/SharedProcs.h"
#include "core/Users.h"
#include "core/dm.h"
#include "core/fmMain.h"
#include "clients/GrOper.h"
#include "deals/dmKlSd.h"
#include "deals/dmZakaz.h"
#include "deals/fmSdelka.h"
#include "deals/fmZakaz.h"
#include "reports/fmImport.h"

#include "db/DbError.h"
#include "os/Shell.h"
#include "widgets/DBControls.h"
#include "widgets/DBGrid.h"
#include "widgets/DBLookupCombo.h"
#include "widgets/DBNavigator.h"
#include "widgets/ExceptionHandler.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QScopeGuard>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScrollArea>
#include <QTabWidget>
#include <QTimeEdit>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <memory>

namespace {

using Nav = fw::DBNavigator::Button;

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

// Blanks and control characters at both ends.
QString TrimControls(const QString& s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && s[b] <= QChar(' ')) ++b;
    while (e > b && s[e - 1] <= QChar(' ')) --e;
    return s.mid(b, e - b);
}

} // namespace

QString PhoneDialNumber(const QString& number, const QString& endChar, const QString& countryCode,
                        const QString& cityCode)
{
    QString s = TrimControls(number);
    if (!endChar.isEmpty()) {
        const qsizetype cut = s.indexOf(endChar);
        if (cut >= 0) s = s.left(cut);
    }
    if (s.isEmpty()) return {};
    if (s.startsWith('(')) return countryCode + s;
    if (s.startsWith('+')) return s;
    return countryCode + cityCode + s;
}

QString ContactMailAddress(const QString& name, const QString& email)
{
    return (name.isEmpty() ? QString() : name + " ") + "<" + email + ">";
}

QString ZakazAddressCaption(const QString& name, const QString& email)
{
    if (email.isEmpty()) return {};
    return (name.isEmpty() ? QString() : "\"" + name + "\"") + "<" + email + ">";
}

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

QWidget* TfmKlient::BuildCard()
{
    fw::DataSource* dsCust = &dmKl->dsCust;
    fw::DataSource* dsContacts = &dmKl->dsContacts;
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

    tbKar = ToolBar(pnlKar, "tbKar");
    tbNewCust = AddToolButton(tbKar, "tbNewCust", "Создать компанию", 0);
    tbCurator = AddToolButton(tbKar, "tbCurator", "Изменить куратора компании", 7);
    tbDelCust = AddToolButton(tbKar, "tbDelCust", "Удалить компанию", 2);
    tbKar->addSeparator();
    tbPlan = AddToolButton(tbKar, "tbPlan", "Запланировать");
    tbZakaz = AddToolButton(tbKar, "tbZakaz", "Сформировать заказ на отправку", 23);
    pmZakaz = new QMenu(tbZakaz);
    pmZakaz->setObjectName("pmZakaz");
    miZakazView = pmZakaz->addAction("Просмотр заказов");
    miZakazView->setObjectName("miZakazView");
    miZakazView->setData(-1);
    pmZakaz->addSeparator();
    tbZakaz->setMenu(pmZakaz);
    tbZakaz->setPopupMode(QToolButton::MenuButtonPopup);
    tbMy = AddToolButton(tbKar, "tbMy", "Показать только своих клиентов", 9);
    tbKar->addSeparator();
    dbnCust = Navigator(tbKar, "dbnCust", dsCust, {Nav::First, Nav::Prior, Nav::Next, Nav::Last, Nav::Post, Nav::Cancel});
    tbKar->addWidget(dbnCust);
    for (QToolButton* b : {tbNewCust, tbCurator, tbDelCust, tbZakaz, tbMy})
        b->setToolButtonStyle(Qt::ToolButtonIconOnly);
    card->addWidget(tbKar);

    // The company on the left, its contact person on the right.
    auto* upper = new QHBoxLayout;
    upper->setSpacing(6);
    auto* company = new QGridLayout;
    company->setContentsMargins(4, 2, 4, 2);
    company->setVerticalSpacing(3);
    dbeCompany = FieldEdit(pnlKar, "dbeCompany", dsCust, "COMPANY");
    dbeAddress = FieldEdit(pnlKar, "dbeAddress", dsCust, "ADDRESS");
    dbeCity = FieldEdit(pnlKar, "dbeCity", dsCust, "CITY");
    dbeFax = FieldEdit(pnlKar, "dbeFax", dsCust, "FAX");
    sbDialFax = SideButton(pnlKar, "sbDialFax", "Набрать номер", "☎");
    dbeWWW = FieldEdit(pnlKar, "dbeWWW", dsCust, "WWW");
    sbWWW = SideButton(pnlKar, "sbWWW", "Открыть страницу", "www");
    dblcCountry = Lookup(pnlKar, "dblcCountry", &dmKl->dsCountry, "IDCOUNTRY", "COUNTRY", 150, dsCust);
    dblcRegion = Lookup(pnlKar, "dblcRegion", &dmKl->dsRegion, "IDREGION", "REGION", 150, dsCust);
    dblcPersp = Lookup(pnlKar, "dblcPersp", dm ? &dm->dsPersp : nullptr, "IDPERSP", "PERSP", 150, dsCust);
    // Lookup cascades follow the user's choice only, never a list opened or moved.
    connect(dblcCountry, &fw::DBLookupCombo::activated, this, [] { dmKl->FirstLevelChosen(dmKl->qryCountry); });
    int row = 0;
    const auto line = [&](const QString& caption, QWidget* w, QLayout* l = nullptr) {
        company->addWidget(new QLabel(caption, pnlKar), row, 0);
        if (l) company->addLayout(l, row, 1, 1, 3);
        else company->addWidget(w, row, 1, 1, 3);
        ++row;
    };
    line("Компания", dbeCompany);
    line("Адрес", dbeAddress);
    company->addWidget(new QLabel("Город", pnlKar), row, 0);
    company->addWidget(dbeCity, row, 1);
    company->addWidget(new QLabel("Факс", pnlKar), row, 2);
    company->addLayout(Pair(dbeFax, sbDialFax), row, 3);
    ++row;
    line("WWW", nullptr, Pair(dbeWWW, sbWWW));
    company->addWidget(new QLabel("Страна", pnlKar), row, 0);
    company->addWidget(dblcCountry, row, 1);
    company->addWidget(new QLabel("Регион", pnlKar), row, 2);
    company->addWidget(dblcRegion, row, 3);
    ++row;
    company->addWidget(new QLabel("Перспективность", pnlKar), row, 0);
    company->addWidget(dblcPersp, row, 1);
    company->setColumnStretch(1, 1);
    company->setColumnStretch(3, 1);
    company->setRowStretch(row + 1, 1);
    upper->addLayout(company, 3);

    gbContact = new QGroupBox("Контактное лицо", pnlKar);
    gbContact->setObjectName("gbContact");
    auto* contact = new QGridLayout(gbContact);
    contact->setContentsMargins(4, 2, 4, 2);
    contact->setVerticalSpacing(3);
    auto* contactBar = ToolBar(gbContact, "tbrContact");
    dbnContacts = Navigator(contactBar, "dbnContacts", dsContacts, {Nav::Prior, Nav::Next, Nav::Post, Nav::Cancel});
    contactBar->addWidget(dbnContacts);
    contactBar->addSeparator();
    tbNewContact = AddToolButton(contactBar, "tbNewContact", "Создать контактное лицо", 0);
    tbContactCurator = AddToolButton(contactBar, "tbContactCurator", "Изменить куратора контактного лица", 7);
    tbDelContact = AddToolButton(contactBar, "tbDelContact", "Удалить контактное лицо", 2);
    for (QToolButton* b : {tbNewContact, tbContactCurator, tbDelContact}) b->setToolButtonStyle(Qt::ToolButtonIconOnly);
    contact->addWidget(contactBar, 0, 0, 1, 2);
    dbeContactName = FieldEdit(gbContact, "dbeContactName", dsContacts, "CONTACT_NAME");
    dbeContactTitle = FieldEdit(gbContact, "dbeContactTitle", dsContacts, "CONTACT_TITLE");
    dbeContactDep = FieldEdit(gbContact, "dbeContactDep", dsContacts, "CONTACT_DEP");
    dbeContactPhone = FieldEdit(gbContact, "dbeContactPhone", dsContacts, "CONTACT_PHONE");
    sbDialPhone = SideButton(gbContact, "sbDialPhone", "Набрать номер", "☎");
    dbeContactEmail = FieldEdit(gbContact, "dbeContactEmail", dsContacts, "CONTACT_EMAIL");
    sbMail = SideButton(gbContact, "sbMail", "Отправить письмо", "@");
    contact->addWidget(new QLabel("Имя", gbContact), 1, 0);
    contact->addWidget(dbeContactName, 1, 1);
    contact->addWidget(new QLabel("Должность", gbContact), 2, 0);
    contact->addWidget(dbeContactTitle, 2, 1);
    contact->addWidget(new QLabel("Отдел", gbContact), 3, 0);
    contact->addWidget(dbeContactDep, 3, 1);
    contact->addWidget(new QLabel("Телефон", gbContact), 4, 0);
    contact->addLayout(Pair(dbeContactPhone, sbDialPhone), 4, 1);
    contact->addWidget(new QLabel("Email", gbContact), 5, 0);
    contact->addLayout(Pair(dbeContactEmail, sbMail), 5, 1);
    contact->setColumnStretch(1, 1);
    upper->addWidget(gbContact, 2);
    card->addLayout(upper);

    pcDown = new QTabWidget(pnlKar);
    pcDown->setObjectName("pcDown");
    pcDown->setTabPosition(QTabWidget::South);
    BuildDownPages();
    card->addWidget(pcDown, 1);

    // Below these sizes the scroll bars take over.
    for (QWidget* edit : std::initializer_list<QWidget*>{dbeCompany, dbeAddress, dbeCity, dbeFax, dbeWWW,
                                                          dbeContactName, dbeContactTitle, dbeContactDep,
                                                          dbeContactPhone, dbeContactEmail})
        edit->setMinimumWidth(edit->fontMetrics().averageCharWidth() * 20);
    pcDown->setMinimumHeight(200);

    connect(tbNewCust, &QToolButton::clicked, this, fw::guarded([this] { tbNewCustClick(); }));
    connect(tbCurator, &QToolButton::clicked, this, fw::guarded([this] { tbCuratorClick(); }));
    connect(tbDelCust, &QToolButton::clicked, this, fw::guarded([this] { tbDelCustClick(); }));
    connect(tbPlan, &QToolButton::clicked, this, fw::guarded([this] { tsPlan->NewPlan(); }));
    connect(tbZakaz, &QToolButton::clicked, tbZakaz, &QToolButton::showMenu);
    connect(pmZakaz, &QMenu::aboutToShow, this, fw::guarded([this] { pmZakazPopup(); }));
    connect(miZakazView, &QAction::triggered, this, fw::guarded([this] { ShowZakaz({}); }));
    connect(tbMy, &QToolButton::clicked, this, fw::guarded([this] { ShowMyClients(); }));
    connect(sbDialFax, &QToolButton::clicked, this, fw::guarded([this] { sbDialFaxClick(); }));
    connect(sbWWW, &QToolButton::clicked, this, fw::guarded([this] { sbWWWClick(); }));
    connect(tbNewContact, &QToolButton::clicked, this, fw::guarded([this] { tbNewContactClick(); }));
    connect(tbContactCurator, &QToolButton::clicked, this, fw::guarded([this] { tbContactCuratorClick(); }));
    connect(tbDelContact, &QToolButton::clicked, this, fw::guarded([this] { tbDelContactClick(); }));
    connect(sbDialPhone, &QToolButton::clicked, this, fw::guarded([this] { sbDialPhoneClick(); }));
    connect(sbMail, &QToolButton::clicked, this, fw::guarded([this] { sbMailClick(); }));
    return tsKar;
}

void TfmKlient::BuildDownPages()
{
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

QWidget* TfmKlient::BuildList()
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
    connect(ToolButton21, &QToolButton::clicked, this, fw::guarded([this] { ToolButton21Click(); }));
    connect(tbCustExport, &QToolButton::clicked, this, fw::guarded([this] { tbCustExportClick(); }));
    // A double click on a client opens its card.
    connect(dbgCust, &QAbstractItemView::doubleClicked, this, fw::guarded([this] { pcMain->setCurrentWidget(tsKar); }));
    return tsKlList;
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

    tsInfo->dbdeDateCr->SetReadOnly(CurrentUser.IdUser != 0);

    const auto granted = [](int code) { return UserRights && UserRights->IsGranted(CurrentUser.IdUser, code); };
    tbZakaz->setEnabled(granted(1038));
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
    if (!FormCloseQuery()) {
        e->ignore();
        return;
    }
    bool closed = fw::runGuarded([this] { FormClose(); });
    if (!closed) {
        // A pending edit that cannot be written keeps the window open.
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
    if (!dmKl->qryCust.active() || dmKl->qryCust.isEmpty() || pcMain->currentWidget() != tsKar) return;
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
    if (comboName == "dblcRegion") combo = dblcRegion, list = &dmKl->dsRegion;
    else if (comboName == "dblcReklama2") combo = tsInfo->dblcReklama2, list = &dmKl->dsReklama2;
    else if (comboName == "dblcSegment2") combo = tsInfo->dblcSegment2, list = &dmKl->dsSegment2;
    if (combo) combo->setListSource(attached ? list : nullptr);
}

// --- the card entry

bool TfmKlient::GoToKar(int idCust, int idRecord, int idContacts, QWidget* page)
{
    const QStringList sql{"select * from Customer where idCust=" + QString::number(idCust), "and " + GetCustFilter()};
    // Asked first: a refused jump leaves the user's list and page as they were.
    fw::Query& probe = dmKl->qryTemp;
    probe.close();
    probe.setSql(sql);
    probe.open();
    const bool found = !probe.isEmpty();
    probe.close();
    if (!found) {
        fw::dialogs().information("Карточка компании не найдена\rили у Вас не хватает прав доступа!");
        return false;
    }
    fw::Query& cust = dmKl->qryCust;
    cust.close();
    pcMain->setCurrentWidget(tsKar);
    if (page) pcDown->setCurrentWidget(page);
    cust.setSql(sql);
    cust.open();
    if (cust.isEmpty()) {
        fw::dialogs().information("Карточка компании не найдена\rили у Вас не хватает прав доступа!");
        return false;
    }
    OpenDetails();
    const auto find = [&](fw::Query& q, const char* key, const QString& missing) {
        if (!q.active()) q.open();
        if (!q.locate(key, idRecord)) fw::dialogs().information(missing + "\rили у Вас не хватает прав доступа!");
    };
    if (page == tsHist || page == tsPlan) {
        if (idContacts != 0) dmKl->qryContacts.locate("idContacts", idContacts);
        if (page == tsHist) find(dmKl->qryHist, "idHist", "Запись в Истории не найдена");
        else find(dmKl->qryPlan, "idHist", "Запись в Планах не найдена");
    } else if (page == tsSdelka) {
        find(dmKl->qrySdelka, "idSdelka", "Сделка не найдена");
    }
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
    if (!dmKl->qryCust.active() || dmKl->qryCust.isEmpty()) ShowMyClients();
    pcMain->setCurrentWidget(tsKar);
    dbeCompany->setFocus();
    dmKl->qryCust.insert();
}

void TfmKlient::tbDelCustClick()
{
    if (dmKl->qryCust.active() && !dmKl->qryCust.isEmpty()) dmKl->qryCust.remove();
}

void TfmKlient::tbCuratorClick()
{
    ChangeCurator(dmKl->qryCust, false);
}

void TfmKlient::tbContactCuratorClick()
{
    ChangeCurator(dmKl->qryContacts, true);
}

void TfmKlient::ChangeCurator(fw::DataSet& ds, bool contact)
{
    if (!ds.active() || ds.isEmpty()) return;
    ds.edit();
    const fw::Value oldId = ds.fieldByName("idUser").value();
    const QString oldName = ds.fieldByName("User").asString();
    int id = oldId.isNull() ? -1 : oldId.asInt();
    QString newName;
    if (!SelectValue(0, id, newName, {}, contact ? "Смена куратора контактного лица" : "Смена куратора компании"))
        return;
    if (!oldId.isNull() && id == oldId.asInt()) return;
    ds.fieldByName("idUser").setAsInteger(id);
    ds.post();

    fw::Query& hist = dmKl->qryHist;
    if (!hist.active()) hist.open();
    hist.first();
    hist.insert();
    EditAndPost(hist, [&] {
        hist.fieldByName("Access").setAsString("-");
        if (contact) {
            hist.fieldByName("idContacts").setValue(ds.fieldByName("idContacts").value());
            hist.fieldByName("Note").setAsString("Смена куратора контактного лица: " + oldName + " => " + newName);
        } else {
            hist.fieldByName("idContacts").clear();
            hist.fieldByName("Note").setAsString("Смена куратора компании: " + oldName + " => " + newName);
        }
        return true;
    });
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
    QString filter;
    if (mmiOnlyMyRecords->isChecked()) filter = "idUser=" + QString::number(CurrentUser.IdUser);
    if (mmiOnlyCurContact->isChecked()) {
        QString key = "-1";
        fw::Query& contacts = dmKl->qryContacts;
        if (contacts.active() && !contacts.isEmpty() && !contacts.fieldByName("idContacts").isNull())
            key = QString::number(contacts.fieldByName("idContacts").asInteger());
        filter = filter.isEmpty() ? "idContacts=" + key : filter + " and idContacts=" + key;
    }
    for (fw::Query* q : {&dmKl->qryHist, &dmKl->qryPlan}) {
        q->setFilter(filter);
        q->setFiltered(!filter.isEmpty());
    }
}

// --- contacts

void TfmKlient::tbNewContactClick()
{
    if (!dmKl->qryCust.active() || dmKl->qryCust.isEmpty()) return;
    fw::Query& contacts = dmKl->qryContacts;
    if (!contacts.active()) contacts.open();
    contacts.last();
    dbeContactName->setFocus();
    contacts.append();
}

void TfmKlient::tbDelContactClick()
{
    if (dmKl->qryContacts.active() && !dmKl->qryContacts.isEmpty()) dmKl->qryContacts.remove();
}

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

// --- dialling, mail and web

void TfmKlient::DialNumber(const QString& number, const QString& calledParty)
{
    // The desktop's telephony takes the number alone; the called party has no place in a tel: link.
    Q_UNUSED(calledParty);
    if (number.isEmpty() || !dm) return;
    if (!dm->qryMain.active()) dm->qryMain.open();
    const auto setting = [](const char* name) { return dm->qryMain.fieldByName(name).asString(); };
    const QString dial = PhoneDialNumber(number, setting("EndPhoneChar"), setting("CountryCode"), setting("CityCode"));
    if (!dial.isEmpty()) OpenThroughDesktop(fw::telUrl(dial), "Не удалось набрать номер");
}

namespace {

QString ContactField(const char* name)
{
    fw::Query& c = dmKl->qryContacts;
    return c.active() && !c.isEmpty() ? c.fieldByName(name).asString() : QString();
}

} // namespace

void TfmKlient::sbDialPhoneClick()
{
    DialNumber(ContactField("CONTACT_PHONE"), ContactField("CONTACT_NAME"));
}

void TfmKlient::sbDialFaxClick()
{
    fw::Query& cust = dmKl->qryCust;
    if (!cust.active() || cust.isEmpty()) return;
    DialNumber(cust.fieldByName("FAX").asString(), ContactField("CONTACT_NAME"));
}

void TfmKlient::sbMailClick()
{
    const QString email = ContactField("CONTACT_EMAIL");
    if (email.isEmpty()) return;
    OpenThroughDesktop(fw::mailtoUrl(ContactMailAddress(ContactField("CONTACT_NAME"), email)),
                       "Не удалось открыть почтовую программу для письма");
}

void TfmKlient::sbWWWClick()
{
    fw::Query& cust = dmKl->qryCust;
    if (!cust.active() || cust.isEmpty()) return;
    const QString www = cust.fieldByName("WWW").asString();
    if (!www.isEmpty()) OpenThroughDesktop(fw::linkUrl(www), "Не удалось открыть страницу");
}

// --- orders

void TfmKlient::pmZakazPopup()
{
    const QList<QAction*> items = pmZakaz->actions();
    for (int i = 2; i < items.size(); ++i) {
        pmZakaz->removeAction(items[i]);
        items[i]->deleteLater();
    }
    fw::Query& cust = dmKl->qryCust;
    const bool any = cust.active() && !cust.isEmpty();
    miZakazView->setEnabled(any);
    if (!any) return;
    PostIfInsert(cust);
    const QString address = ZakazAddressCaption(ContactField("CONTACT_NAME"), ContactField("CONTACT_EMAIL"));
    if (address.isEmpty()) return;
    QAction* a = pmZakaz->addAction(QString(address).replace('&', "&&"));
    a->setObjectName("miZakazAddress");
    a->setData(address);
    connect(a, &QAction::triggered, this, fw::guarded([this, address] { ShowZakaz(address); }));
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
    const bool any = cust.active() && !cust.isEmpty();
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
    if (!dmKl->qryCust.active() || dmKl->qryCust.isEmpty()) return;
    // Whatever goes wrong inside has been shown by the operation itself.
    try {
        TGrOper oper{quint8(kind)};
        if (oper.GetParams()) oper.Execute();
    } catch (...) {
    }
}

void TfmKlient::ToolButton21Click()
{
    KlientQuery->ToolButton21Click();
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
