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

using Columns = QList<fw::GridColumn>;
using Nav = fw::DBNavigator::Button;

fw::GridColumn ReadOnlyColumn(const QString& field, const QString& title, int width = 0)
{
    fw::GridColumn c{field, title, width};
    c.readOnly = true;
    return c;
}

fw::DBGrid* Grid(QWidget* parent, const char* name, fw::DataSource* source, const Columns& columns)
{
    auto* g = new fw::DBGrid(parent);
    g->setObjectName(name);
    g->setDataSource(source);
    g->setColumns(columns);
    return g;
}

fw::DBEdit* Edit(QWidget* parent, const char* name, fw::DataSource* source, const char* field)
{
    auto* e = new fw::DBEdit(parent);
    e->setObjectName(name);
    e->setDataSource(source);
    e->setDataField(field);
    return e;
}

fw::DBLookupCombo* Lookup(QWidget* parent, const char* name, fw::DataSource* source, const char* field,
                          fw::DataSource* list, const char* listField)
{
    auto* c = new fw::DBLookupCombo(parent);
    c->setObjectName(name);
    c->setDataSource(source);
    c->setDataField(field);
    c->setListSource(list);
    c->setKeyField(field);
    c->setListField(listField);
    c->setMinimumWidth(150);
    return c;
}

fw::DBNavigator* Navigator(QWidget* parent, const char* name, fw::DataSource* source, fw::DBNavigator::Buttons b)
{
    auto* n = new fw::DBNavigator(parent);
    n->setObjectName(name);
    n->setDataSource(source);
    n->setVisibleButtons(b);
    n->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    n->setHint(Nav::Post, "Запомнить");
    n->setHint(Nav::Cancel, "Отменить");
    return n;
}

// A small button beside an edit.
QToolButton* SideButton(QWidget* parent, const char* name, const QString& hint, const QString& text)
{
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setText(text);
    b->setToolTip(hint);
    b->setAutoRaise(true);
    // A button beside an edit is for the mouse: Tab goes on to the next edit.
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

QToolBar* Bar(QWidget* parent, const char* name)
{
    auto* t = new QToolBar(parent);
    t->setObjectName(name);
    t->setIconSize(QSize(16, 16));
    return t;
}

QWidget* Page(QTabWidget* pages, const char* name, const QString& caption)
{
    auto* w = new QWidget(pages);
    w->setObjectName(name);
    pages->addTab(w, caption);
    return w;
}

QVBoxLayout* PageLayout(QWidget* page)
{
    auto* l = new QVBoxLayout(page);
    l->setContentsMargins(2, 2, 2, 2);
    l->setSpacing(2);
    return l;
}

QHBoxLayout* Pair(QWidget* edit, QWidget* button)
{
    auto* h = new QHBoxLayout;
    h->setSpacing(2);
    h->addWidget(edit, 1);
    h->addWidget(button);
    return h;
}

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

// The edit of a data set's row given to f; an exception inside cancels it.
template <class F>
void EditAndPost(fw::DataSet& ds, F f)
{
    bool ok = false;
    try {
        ok = f();
    } catch (...) {
        if (ds.state() != fw::DataSetState::Browse) ds.cancel();
        throw;
    }
    if (ok) ds.post();
    else ds.cancel();
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

    SetupGridColours();

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

    tbKar = Bar(pnlKar, "tbKar");
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
    dbeCompany = Edit(pnlKar, "dbeCompany", dsCust, "COMPANY");
    dbeAddress = Edit(pnlKar, "dbeAddress", dsCust, "ADDRESS");
    dbeCity = Edit(pnlKar, "dbeCity", dsCust, "CITY");
    dbeFax = Edit(pnlKar, "dbeFax", dsCust, "FAX");
    sbDialFax = SideButton(pnlKar, "sbDialFax", "Набрать номер", "☎");
    dbeWWW = Edit(pnlKar, "dbeWWW", dsCust, "WWW");
    sbWWW = SideButton(pnlKar, "sbWWW", "Открыть страницу", "www");
    dblcCountry = Lookup(pnlKar, "dblcCountry", dsCust, "IDCOUNTRY", &dmKl->dsCountry, "COUNTRY");
    dblcRegion = Lookup(pnlKar, "dblcRegion", dsCust, "IDREGION", &dmKl->dsRegion, "REGION");
    dblcPersp = Lookup(pnlKar, "dblcPersp", dsCust, "IDPERSP", dm ? &dm->dsPersp : nullptr, "PERSP");
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
    auto* contactBar = Bar(gbContact, "tbrContact");
    dbnContacts = Navigator(contactBar, "dbnContacts", dsContacts, {Nav::Prior, Nav::Next, Nav::Post, Nav::Cancel});
    contactBar->addWidget(dbnContacts);
    contactBar->addSeparator();
    tbNewContact = AddToolButton(contactBar, "tbNewContact", "Создать контактное лицо", 0);
    tbContactCurator = AddToolButton(contactBar, "tbContactCurator", "Изменить куратора контактного лица", 7);
    tbDelContact = AddToolButton(contactBar, "tbDelContact", "Удалить контактное лицо", 2);
    for (QToolButton* b : {tbNewContact, tbContactCurator, tbDelContact}) b->setToolButtonStyle(Qt::ToolButtonIconOnly);
    contact->addWidget(contactBar, 0, 0, 1, 2);
    dbeContactName = Edit(gbContact, "dbeContactName", dsContacts, "CONTACT_NAME");
    dbeContactTitle = Edit(gbContact, "dbeContactTitle", dsContacts, "CONTACT_TITLE");
    dbeContactDep = Edit(gbContact, "dbeContactDep", dsContacts, "CONTACT_DEP");
    dbeContactPhone = Edit(gbContact, "dbeContactPhone", dsContacts, "CONTACT_PHONE");
    sbDialPhone = SideButton(gbContact, "sbDialPhone", "Набрать номер", "☎");
    dbeContactEmail = Edit(gbContact, "dbeContactEmail", dsContacts, "CONTACT_EMAIL");
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
    connect(tbPlan, &QToolButton::clicked, this, fw::guarded([this] { tbPlanClick(); }));
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
    const auto nav = [](QToolBar* bar, const char* name, fw::DataSource* ds) {
        auto* n = Navigator(bar, name, ds, {Nav::Post, Nav::Cancel});
        bar->addWidget(n);
        bar->addSeparator();
        return n;
    };

    tsHist = Page(pcDown, "tsHist", "История");
    auto* hist = PageLayout(tsHist);
    tbrHist = Bar(tsHist, "tbrHist");
    dbnHist = nav(tbrHist, "dbnHist", &dmKl->dsHist);
    tbHistAdd = AddToolButton(tbrHist, "tbHistAdd", "Заметка", 0);
    tbHistDel = AddToolButton(tbrHist, "tbHistDel", "Удалить", 2);
    tbHistAddLink = AddToolButton(tbrHist, "tbHistAddLink", "Добавить ссылку");
    tbHistOpenLink = AddToolButton(tbrHist, "tbHistOpenLink", "Открыть ссылку");
    tbHistToContact = AddToolButton(tbrHist, "tbHistToContact", "На контактное лицо", 7);
    hist->addWidget(tbrHist);
    dbgHist = Grid(tsHist, "dbgHist", &dmKl->dsHist,
                   {{"HistType", "Тип", 110}, {"DATECR", "Дата", 120}, {"NOTE", "Заметка", 380},
                    ReadOnlyColumn("User", "Фамилия", 120), {"FILEPATH", "Ссылка", 200}});
    hist->addWidget(dbgHist, 1);

    tsPlan = Page(pcDown, "tsPlan", "Планы");
    auto* plan = PageLayout(tsPlan);
    tbrPlan = Bar(tsPlan, "tbrPlan");
    dbnPlan = nav(tbrPlan, "dbnPlan", &dmKl->dsPlan);
    tbPlanDel = AddToolButton(tbrPlan, "tbPlanDel", "Удалить", 2);
    tbPlanComplit = AddToolButton(tbrPlan, "tbPlanComplit", "Выполнено", 18);
    tbPlanEdit = AddToolButton(tbrPlan, "tbPlanEdit", "Изменить", 1);
    tbPlanAddLink = AddToolButton(tbrPlan, "tbPlanAddLink", "Добавить ссылку");
    tbPlanOpenLink = AddToolButton(tbrPlan, "tbPlanOpenLink", "Открыть ссылку");
    tbPlanToContact = AddToolButton(tbrPlan, "tbPlanToContact", "На контактное лицо", 7);
    plan->addWidget(tbrPlan);
    dbgPlan = Grid(tsPlan, "dbgPlan", &dmKl->dsPlan,
                   {{"HistType", "Тип", 110}, {"DATECR", "Дата", 120}, {"NOTE", "План", 380},
                    ReadOnlyColumn("User", "Фамилия", 120), {"FILEPATH", "Ссылка", 200}});
    plan->addWidget(dbgPlan, 1);

    tsContacts = Page(pcDown, "tsContacts", "Контактные лица");
    dbgContacts = Grid(tsContacts, "dbgContacts", &dmKl->dsContacts,
                       {{"CONTACT_NAME", "Контактное лицо", 180}, {"CONTACT_TITLE", "Должность", 120},
                        {"CONTACT_DEP", "Отдел", 110}, {"CONTACT_PHONE", "Телефон", 120},
                        {"CONTACT_EMAIL", "Email", 150}, ReadOnlyColumn("User", "Куратор контактного лица", 150),
                        ReadOnlyColumn("DATECR", "Дата регистрации"), {"CONTACT_NOTE", "Комментарий", 200}});
    PageLayout(tsContacts)->addWidget(dbgContacts);

    tsInfo = Page(pcDown, "tsInfo", "Информация");
    auto* info = new QGridLayout(tsInfo);
    info->setContentsMargins(6, 4, 6, 4);
    fw::DataSource* dsCust = &dmKl->dsCust;
    dblcReklama = Lookup(tsInfo, "dblcReklama", dsCust, "IDREKLAMA", &dmKl->dsReklama, "REKLAMA");
    dblcReklama2 = Lookup(tsInfo, "dblcReklama2", dsCust, "IDREKLAMA2", &dmKl->dsReklama2, "REKLAMA2");
    dblcSegment = Lookup(tsInfo, "dblcSegment", dsCust, "IDSEGMENT", &dmKl->dsSegment, "SEGMENTT");
    dblcSegment2 = Lookup(tsInfo, "dblcSegment2", dsCust, "IDSEGMENT2", &dmKl->dsSegment2, "SEGMENTT2");
    // Lookup cascades follow the user's choice only, never a list opened or moved.
    for (auto [combo, list] : {std::pair{dblcCountry, &dmKl->qryCountry}, {dblcReklama, &dmKl->qryReklama},
                               {dblcSegment, &dmKl->qrySegment}})
        connect(combo, &fw::DBLookupCombo::activated, this, [list] { dmKl->FirstLevelChosen(*list); });
    tbSegmentFind = SideButton(tsInfo, "tbSegmentFind", "Контекстный поиск", "Контекстный поиск");
    dbmOther = new fw::DBMemo(tsInfo);
    dbmOther->setObjectName("dbmOther");
    dbmOther->setDataSource(dsCust);
    dbmOther->setDataField("OTHER");
    dbdeDateCr = new TDBDateEdit(tsInfo);
    dbdeDateCr->setObjectName("dbdeDateCr");
    SetupDateEdit(dbdeDateCr);
    dbdeDateCr->SetDataSource(dsCust);
    dbdeDateCr->SetDataField("DATECR");
    dbdeDateCr->setFixedWidth(120);
    dblcUser = Lookup(tsInfo, "dblcUser", dsCust, "IDUSER", dm ? &dm->dsUser : nullptr, "NAME");
    dblcUser->setEnabled(false);
    info->addWidget(new QLabel("Источник", tsInfo), 0, 0);
    info->addWidget(dblcReklama, 0, 1);
    info->addWidget(dblcReklama2, 0, 2);
    info->addWidget(new QLabel("Сегмент", tsInfo), 1, 0);
    info->addWidget(dblcSegment, 1, 1);
    info->addLayout(Pair(dblcSegment2, tbSegmentFind), 1, 2);
    info->addWidget(new QLabel("О компании", tsInfo), 2, 0, Qt::AlignTop);
    info->addWidget(dbmOther, 2, 1, 1, 2);
    auto* reg = new QHBoxLayout;
    reg->addWidget(dbdeDateCr);
    reg->addSpacing(12);
    reg->addWidget(new QLabel("Куратор", tsInfo));
    reg->addWidget(dblcUser, 1);
    info->addWidget(new QLabel("Регистрация", tsInfo), 3, 0);
    info->addLayout(reg, 3, 1, 1, 2);
    info->setColumnStretch(1, 1);
    info->setColumnStretch(2, 1);
    info->setRowStretch(2, 1);

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

    tsSales = Page(pcDown, "tsSales", "Товар");
    auto* sales = PageLayout(tsSales);
    tbrSales = Bar(tsSales, "tbrSales");
    sbReg = AddToolButton(tbrSales, "sbReg", "Регистрация");
    tbSalesToSdelka = AddToolButton(tbrSales, "tbSalesToSdelka", "На сделку", 10);
    cbSalesFilter = new QCheckBox("(Оплаченные или регистрированные) и не возврат", tbrSales);
    cbSalesFilter->setObjectName("cbSalesFilter");
    cbSalesFilter->setChecked(true);
    tbrSales->addSeparator();
    tbrSales->addWidget(cbSalesFilter);
    sales->addWidget(tbrSales);
    dbgSales = Grid(tsSales, "dbgSales", &dmKl->dsSales,
                    {{"Tovar", "Товар", 200}, {"KOLVO", "Кол-во"}, {"SERNUM", "Номер товара"},
                     {"SERNUMINT", "Номер отгрузки"}, {"DATEREG", "Дата регистрации"}, {"BACK", "Возврат"},
                     {"UCHEB", "Признак1"}, {"UPGRADE", "Признак2"}, {"SALESCOMPANY", "Место покупки", 160},
                     {"NOTE", "Комментарий", 200}});
    dbgSales->setReadOnly(true);
    sales->addWidget(dbgSales, 1);

    tsSdelka = Page(pcDown, "tsSdelka", "Сделки");
    auto* sdelka = PageLayout(tsSdelka);
    tbrSdelka = Bar(tsSdelka, "tbrSdelka");
    tbSdelkaAdd = AddToolButton(tbrSdelka, "tbSdelkaAdd", "Новая", 0);
    tbSdelkaEdit = AddToolButton(tbrSdelka, "tbSdelkaEdit", "Изменить", 1);
    tbSdelkaDel = AddToolButton(tbrSdelka, "tbSdelkaDel", "Удалить", 2);
    tbSdelkaToDog = AddToolButton(tbrSdelka, "tbSdelkaToDog", "На договор");
    sdelka->addWidget(tbrSdelka);
    dbgSdelka = Grid(tsSdelka, "dbgSdelka", &dmKl->dsSdelka,
                     {{"NAME", "Название", 180}, {"User", "Куратор", 120}, {"Sdelka_St", "Статус", 100},
                      {"SdelkaType", "Тип сделки", 120}, {"DATE_BEGIN", "Начало"}, {"DATE_END", "Окончание"},
                      {"Prichina", "Причина", 140}, {"Prichina2", "Причина2", 140}, {"NOTE", "Комментарий", 180},
                      {"NOSCHET", "Счет №"}, {"NONAKL", "Накладная №"}, {"NOSCHETF", "Счет-фактура №"},
                      {"DATESCHET", "Дата счета"}, {"DATENAKL", "Дата накладной"}, {"DATESCHETF", "Дата счета-ф."},
                      {"Etap", "Этап отказа", 140}, {"Otkaz", "Отказ", 140}});
    dbgSdelka->setReadOnly(true);
    sdelka->addWidget(dbgSdelka, 1);

    tsDog = Page(pcDown, "tsDog", "Договора");
    auto* dog = PageLayout(tsDog);
    tbrDog = Bar(tsDog, "tbrDog");
    tbDogAdd = AddToolButton(tbrDog, "tbDogAdd", "Новый", 0);
    tbDogEdit = AddToolButton(tbrDog, "tbDogEdit", "Изменить", 1);
    tbDogDel = AddToolButton(tbrDog, "tbDogDel", "Удалить", 2);
    tbDogAddLink = AddToolButton(tbrDog, "tbDogAddLink", "Добавить ссылку");
    tbDogOpenLink = AddToolButton(tbrDog, "tbDogOpenLink", "Открыть ссылку");
    dog->addWidget(tbrDog);
    dbgDog = Grid(tsDog, "dbgDog", &dmKl->dsDog,
                  {{"DOGNUMBER", "Номер договора", 140}, {"DATEZAKL", "Дата заключения"},
                   {"DATEBEGIN", "Дата начала"}, {"DATEEND", "Дата завершения"}, {"User", "Куратор", 120},
                   {"NOTE", "Комментарий", 200}, {"SKIDKA", "Скидка"}, {"FILEPATH", "Ссылка", 200}});
    dbgDog->setReadOnly(true);
    dog->addWidget(dbgDog, 1);

    odLink.caption = "Ссылка";
    odLink.filter = "Все файлы|*.*";

    const auto click = [this](QToolButton* b, auto f) { connect(b, &QToolButton::clicked, this, fw::guarded(f)); };
    click(tbHistAdd, [this] { tbHistAddClick(); });
    click(tbHistDel, [this] { tbHistDelClick(); });
    click(tbHistAddLink, [this] { AddLink(dmKl->qryHist, dbgHist); });
    click(tbHistOpenLink, [this] { OpenRecordLink(dmKl->qryHist, dbgHist); });
    click(tbHistToContact, [this] { ToContact(dmKl->qryHist); });
    click(tbPlanDel, [this] { tbPlanDelClick(); });
    click(tbPlanComplit, [this] { tbPlanComplitClick(); });
    click(tbPlanEdit, [this] { tbPlanEditClick(); });
    click(tbPlanAddLink, [this] { AddLink(dmKl->qryPlan, dbgPlan); });
    click(tbPlanOpenLink, [this] { OpenRecordLink(dmKl->qryPlan, dbgPlan); });
    click(tbPlanToContact, [this] { ToContact(dmKl->qryPlan); });
    click(tbSegmentFind, [this] { tbSegmentFindClick(); });
    click(sbReg, [this] { SBRegClick(); });
    click(tbSalesToSdelka, [this] { tbSalesToSdelkaClick(); });
    click(tbSdelkaAdd, [this] { tbSdelkaAddClick(); });
    click(tbSdelkaEdit, [this] { tbSdelkaEditClick(); });
    click(tbSdelkaDel, [this] { tbSdelkaDelClick(); });
    click(tbSdelkaToDog, [this] { tbSdelkaToDogClick(); });
    click(tbDogAdd, [this] { tbDogAddClick(); });
    click(tbDogEdit, [this] { tbDogEditClick(); });
    click(tbDogDel, [this] { tbDogDelClick(); });
    click(tbDogAddLink, [this] { AddLink(dmKl->qryDog, dbgDog); });
    click(tbDogOpenLink, [this] { OpenRecordLink(dmKl->qryDog, dbgDog); });
    connect(cbSalesFilter, &QCheckBox::clicked, this, fw::guarded([this] { cbSalesFilterClick(); }));
    connect(dbgSdelka, &QAbstractItemView::doubleClicked, this, fw::guarded([this] { tbSdelkaEditClick(); }));
}

QWidget* TfmKlient::BuildList()
{
    auto* list = PageLayout(tsKlList);
    tbrCust = Bar(tsKlList, "tbrCust");
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
    list->addWidget(dbgCust, 1);
    connect(ToolButton21, &QToolButton::clicked, this, fw::guarded([this] { ToolButton21Click(); }));
    connect(tbCustExport, &QToolButton::clicked, this, fw::guarded([this] { tbCustExportClick(); }));
    // A double click on a client opens its card.
    connect(dbgCust, &QAbstractItemView::doubleClicked, this, fw::guarded([this] { pcMain->setCurrentWidget(tsKar); }));
    return tsKlList;
}

void TfmKlient::SetupGridColours()
{
    for (fw::DBGrid* g : {dbgHist, dbgPlan})
        g->setCellStyler([](const fw::GridCell& cell, fw::CellStyle& style) { HistGridCellStyle(cell, style); });
    dbgSales->setCellStyler([](const fw::GridCell& cell, fw::CellStyle& style) {
        const bool unpaid = cell.value("SummaDF").asCurrency() <= fw::Currency() && cell.value("SerNum").asString().isEmpty();
        if (unpaid || cell.value("Back").asString() == "+")
            style.text = QApplication::palette().color(QPalette::Disabled, QPalette::Text);
    });
    dbgCust->setCellStyler([](const fw::GridCell& cell, fw::CellStyle& style) {
        if (cell.focused) return;
        if (cell.value("POLZOV").asString() == "+") style.font.setBold(true);
        if (cell.value("REGPOLZOV").asString() == "+") style.text = QColor(128, 0, 0);
    });
    if (dm)
        dbgSdelka->setCellDrawer([](QPainter& p, const QRect& r, const fw::GridCell& cell, fw::CellStyle& style) {
            dm->dbgSdelkaDrawColumnCell(p, r, cell, style);
        });
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
        SetColumnTitles(dbgSales);
        SetColumnTitles(dbgSdelka);
    }
    KlientQuery->TakePriznakCaptions();
    KlientCalendar->SetDefaults();

    dbdeDateCr->SetReadOnly(CurrentUser.IdUser != 0);

    const auto granted = [](int code) { return UserRights && UserRights->IsGranted(CurrentUser.IdUser, code); };
    tbZakaz->setEnabled(granted(1038));
    sbReg->setEnabled(granted(1028));
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
    if (pcDown->currentWidget() == tsInfo) tsInfoShow();
    else if (pcDown->currentWidget() == tsGroup) OpenGroupList();
    OpenDetails();
}

void TfmKlient::tsKarShow()
{
    if (dm) dm->qryPersp.open();
    dmKl->qryCountry.open();
    dmKl->qryRegion.open();
}

void TfmKlient::tsInfoShow()
{
    for (fw::Query* q : {&dmKl->qryReklama, &dmKl->qryReklama2, &dmKl->qrySegment, &dmKl->qrySegment2}) q->open();
}

void TfmKlient::OpenDetails()
{
    if (!dmKl || creating_) return;
    if (!dmKl->qryCust.active() || dmKl->qryCust.isEmpty() || pcMain->currentWidget() != tsKar) return;
    dmKl->qryContacts.open();
    QWidget* page = pcDown->currentWidget();
    if (page == tsHist) dmKl->qryHist.open();
    else if (page == tsPlan) dmKl->qryPlan.open();
    else if (page == tsInfo) tsInfoShow();
    else if (page == tsSales) dmKl->qrySales.open();
    else if (page == tsSdelka) dmKl->qrySdelka.open();
    else if (page == tsDog) dmKl->qryDog.open();
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
    else if (comboName == "dblcReklama2") combo = dblcReklama2, list = &dmKl->dsReklama2;
    else if (comboName == "dblcSegment2") combo = dblcSegment2, list = &dmKl->dsSegment2;
    if (combo) combo->setListSource(attached ? list : nullptr);
}

void TfmKlient::SelectCardPage(QWidget* page)
{
    if (page) pcDown->setCurrentWidget(page);
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
    SelectCardPage(page);
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
    QWidget* page = nullptr;
    if (!pageName.isEmpty())
        for (int i = 0; i < pcDown->count(); ++i)
            if (pcDown->widget(i)->objectName() == pageName) page = pcDown->widget(i);
    return GoToKar(idCust, idRecord, idContacts, page);
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

void TfmKlient::tbHistAddClick()
{
    fw::Query& hist = dmKl->qryHist;
    if (!hist.active()) return;
    hist.first();
    hist.insert();
    dbgHist->setFocus();
    dbgHist->setSelectedField("NOTE");
}

void TfmKlient::tbHistDelClick()
{
    if (dmKl->qryHist.active() && !dmKl->qryHist.isEmpty()) dmKl->qryHist.remove();
}

void TfmKlient::tbPlanDelClick()
{
    if (dmKl->qryPlan.active() && !dmKl->qryPlan.isEmpty()) dmKl->qryPlan.remove();
}

void TfmKlient::tbPlanClick()
{
    if (!dmKl->qryCust.active() || dmKl->qryCust.isEmpty()) return;
    fw::Query& plan = dmKl->qryPlan;
    if (!plan.active()) plan.open();
    plan.first();
    plan.insert();
    if (plan.state() != fw::DataSetState::Insert) return;
    EditUntilPosted(plan, [&] { return EditHistRecord(plan); });
}

void TfmKlient::tbPlanEditClick()
{
    PlanEdit(dmKl->qryPlan);
}

void TfmKlient::tbPlanComplitClick()
{
    PlanComplit(dmKl->qryPlan);
}

void TfmKlient::PlanEdit(fw::DataSet& ds)
{
    if (!ds.active() || ds.isEmpty()) return;
    ds.edit();
    EditUntilPosted(ds, [&] { return EditHistRecord(ds); });
}

void TfmKlient::PlanComplit(fw::DataSet& ds)
{
    if (!ds.active() || ds.isEmpty()) return;
    ds.edit();
    bool ok = false;
    EditAndPost(ds, [&] {
        ds.fieldByName("DateCr").setAsDateTime(GetServerDate());
        ds.fieldByName("History").setAsString("+");
        ds.fieldByName("Budil").setAsString("-");
        ds.fieldByName("Prior").setAsString("-");
        ok = EditHistRecord(ds);
        return ok;
    });
    if (!ok) return;
    if (&ds == &dmKl->qryPlan) {
        dmKl->qryPlan.close();
        dmKl->qryPlan.open();
    }
    dmKl->qryHist.close();
}

bool TfmKlient::EditHistRecord(fw::DataSet& ds)
{
    if (dm) {
        dm->qryHiType.open();
        dm->qryUser.open();
    }
    std::unique_ptr<TfmPlan> form(new TfmPlan(this));
    form->dblcHistType->setKeyValue(ds.fieldByName("idHistType").value());
    form->dblcUser->setKeyValue(ds.fieldByName("idUser").value());
    form->SetDateTime(ds.fieldByName("DateCr").asDateTime());
    form->cbBudil->setChecked(ds.fieldByName("Budil").asString() == "+");
    form->cbPrior->setChecked(ds.fieldByName("Prior").asString() == "+");
    form->edNote->setText(ds.fieldByName("Note").asString());
    form->edLink->setText(ds.fieldByName("FILEPATH").asString());
    if (form->exec() != QDialog::Accepted) return false;
    ds.fieldByName("idHistType").setValue(form->dblcHistType->keyValue());
    ds.fieldByName("idUser").setValue(form->dblcUser->keyValue());
    ds.fieldByName("DateCr").setAsDateTime(PlanDateTime(form->deDate->Date(), form->dtpTime->time()));
    ds.fieldByName("Budil").setAsString(form->cbBudil->isChecked() ? "+" : "-");
    ds.fieldByName("Prior").setAsString(form->cbPrior->isChecked() ? "+" : "-");
    ds.fieldByName("Note").setAsString(form->edNote->text());
    ds.fieldByName("FILEPATH").setAsString(form->edLink->text());
    return true;
}

void TfmKlient::AddLink(fw::DataSet& ds, fw::DBGrid* grid)
{
    if (grid->editorMode()) grid->commitEditor();
    if (!ds.active() || ds.isEmpty()) return;
    odLink.fileName.clear();
    if (!fw::dialogs().openFile(odLink)) return;
    ds.edit();
    EditAndPost(ds, [&] {
        ds.fieldByName("FILEPATH").setAsString(odLink.fileName);
        return true;
    });
}

void TfmKlient::OpenRecordLink(fw::DataSet& ds, fw::DBGrid* grid)
{
    if (grid->editorMode()) grid->commitEditor();
    if (!ds.active() || ds.isEmpty()) return;
    const QString link = ds.fieldByName("FILEPATH").asString();
    if (!link.isEmpty()) OpenLink(this, link);
}

void TfmKlient::ToContact(fw::DataSet& ds)
{
    if (!ds.active() || ds.isEmpty()) return;
    const fw::Value id = ds.fieldByName("idContacts").value();
    if (!dmKl->qryContacts.active()) dmKl->qryContacts.open();
    if (id.isNull() || !dmKl->qryContacts.locate("idContacts", id)) fw::dialogs().warning("Контактное лицо не найдено!");
}

void TfmKlient::mmiLinkRecordClick()
{
    fw::Query* ds = nullptr;
    if (pcMain->currentWidget() == tsKar) {
        if (pcDown->currentWidget() == tsHist) ds = &dmKl->qryHist;
        else if (pcDown->currentWidget() == tsPlan) ds = &dmKl->qryPlan;
    }
    if (!ds || !ds->active() || ds->isEmpty()) return;
    fw::Query& contacts = dmKl->qryContacts;
    if (ds->fieldByName("idUser").value() != fw::Value(CurrentUser.IdUser))
        throw fw::Error("Вы не можете связывать чужую запись!");
    if (!contacts.active() || contacts.isEmpty()) throw fw::Error("Контактное лицо отсутствует!");
    PostIfInsert(contacts);
    if (ds->state() == fw::DataSetState::Edit) ds->post();
    ds->edit();
    EditAndPost(*ds, [&] {
        ds->fieldByName("idContacts").setValue(contacts.fieldByName("idContacts").value());
        return true;
    });
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

// --- deals and goods

void TfmKlient::tbSdelkaAddClick()
{
    dmKl->CheckInsertRight();
    PostIfInsert(dmKl->qryCust);
    if (!dmKl->qrySdelka.active()) return;
    {
        std::unique_ptr<TfmSdelka> card(new TfmSdelka(this));
        fw::Query& sd = dmKlSd->qrySdelka;
        sd.close();
        sd.paramByName("idSdelka").setAsInteger(0);
        sd.open();
        sd.append();
        sd.post();
        const int id = sd.fieldByName("idSdelka").asInteger();
        sd.close();
        sd.paramByName("idSdelka").setAsInteger(id);
        sd.open();
        card->exec();
    }
    dmKl->qrySdelka.close();
    dmKl->qrySdelka.open();
    dmKl->qrySales.close();
}

void TfmKlient::tbSdelkaEditClick()
{
    fw::Query& list = dmKl->qrySdelka;
    if (!list.active() || list.isEmpty()) return;
    dmKl->qryDownBeforeEdit(list);
    const int id = list.fieldByName("idSdelka").asInteger();
    {
        std::unique_ptr<TfmSdelka> card(new TfmSdelka(this));
        fw::Query& sd = dmKlSd->qrySdelka;
        sd.close();
        sd.paramByName("idSdelka").setAsInteger(id);
        sd.open();
        if (sd.isEmpty()) fw::dialogs().error("Сделка больше не доступна!");
        else card->exec();
    }
    list.close();
    list.open();
    list.locate("idSdelka", id);
    dmKl->qrySales.close();
}

void TfmKlient::tbSdelkaDelClick()
{
    fw::Query& list = dmKl->qrySdelka;
    if (!list.active() || list.isEmpty()) return;
    list.remove();
    dmKl->qrySales.close();
}

void TfmKlient::tbSdelkaToDogClick()
{
    fw::Query& list = dmKl->qrySdelka;
    if (!list.active() || list.isEmpty()) return;
    const fw::Value idDog = list.fieldByName("idDog").value();
    if (!dmKl->qryDog.active()) dmKl->qryDog.open();
    if (!idDog.isNull() && dmKl->qryDog.locate("idDog", idDog)) pcDown->setCurrentWidget(tsDog);
    else fw::dialogs().warning("Договор не найден!");
}

void TfmKlient::tbSalesToSdelkaClick()
{
    fw::Query& sales = dmKl->qrySales;
    if (!sales.active() || sales.isEmpty()) return;
    const fw::Value idSdelka = sales.fieldByName("idSdelka").value();
    if (!dmKl->qrySdelka.active()) dmKl->qrySdelka.open();
    if (!idSdelka.isNull() && dmKl->qrySdelka.locate("idSdelka", idSdelka)) pcDown->setCurrentWidget(tsSdelka);
    else fw::dialogs().warning("Сделка не найдена!");
}

void TfmKlient::cbSalesFilterClick()
{
    dmKl->qrySales.setFiltered(cbSalesFilter->isChecked());
}

void TfmKlient::SBRegClick()
{
    // Asked again here: a right revoked since the window opened must not be usable.
    if (!UserRights || !UserRights->IsGranted(CurrentUser.IdUser, 1028))
        throw fw::UserError("У Вас нет права регистрировать товар!");
    ShowReg(this);
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

// --- contracts

void TfmKlient::tbDogAddClick()
{
    fw::Query& dog = dmKl->qryDog;
    if (!dog.active()) return;
    dog.first();
    dog.insert();
    if (dog.state() == fw::DataSetState::Insert) ShowDog(this);
}

void TfmKlient::tbDogEditClick()
{
    fw::Query& dog = dmKl->qryDog;
    if (!dog.active() || dog.isEmpty()) return;
    dog.edit();
    ShowDog(this);
}

void TfmKlient::tbDogDelClick()
{
    if (dmKl->qryDog.active() && !dmKl->qryDog.isEmpty()) dmKl->qryDog.remove();
}

void TfmKlient::tbSegmentFindClick()
{
    ShowSegmentFind(this, dblcSegment, dblcSegment2);
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
    ExportKlientList(dbgCust, dbgContacts, [this] {
        pcDown->setCurrentWidget(tsContacts);
        pcMain->setCurrentWidget(tsKar);
        OpenDetails();
    });
}

void TfmKlient::mmiExpDetalClick()
{
    ExportKlientDetal(this, {dbgCust, dbgHist, dbgPlan, dbgContacts, dbgSales, dbgSdelka, dbgDog});
}

void TfmKlient::mmiImportClick()
{
    ShowImport(*dbgCust, *dbgContacts);
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
