#include "clients/KlientQuery.h"

#include "clients/KlientHost.h"
#include "clients/dmKl.h"
#include "controls/CalcEdit.h"
#include "controls/DateEdit.h"
#include "core/FormParts.h"
#include "core/SharedProcs.h"
#include "core/SqlText.h"
#include "core/Users.h"
#include "core/dm.h"
#include "reports/dmRep.h"

#include "widgets/DBControls.h"
#include "widgets/DBLookupCombo.h"
#include "widgets/ExceptionHandler.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QString Quoted(const QString& text)
{
    return "\"" + DoubleQuotes(text) + "\"";
}

QString Key(int id)
{
    return QString::number(id);
}

// Contract dates are written between single quotes.
QString SingleQuotedDate(const QDate& d)
{
    return "'" + d.toString("dd.MM.yyyy") + "'";
}

void Containing(QStringList& sql, const char* column, const QString& text)
{
    if (!text.isEmpty()) sql << QString("and %1 containing %2").arg(column, Quoted(text));
}

void Equals(QStringList& sql, const char* column, const std::optional<int>& id)
{
    if (id) sql << QString("and %1=%2").arg(column, Key(*id));
}

// A DATE column carries a time of day: the last day counts up to its midnight.
void DateRange(QStringList& sql, const QString& column, const QDate& from, const QDate& to,
               QString (*literal)(const QDate&), const QString& blank = QString())
{
    if (from.isValid()) sql << "and " + column + blank + ">=" + blank + literal(from);
    if (to.isValid()) sql << "and " + column + blank + "<" + blank + literal(to.addDays(1));
}

void GroupLine(QStringList& sql, const QList<int>& ids, int mode, const char* table, const char* key)
{
    if (ids.isEmpty()) return;
    QStringList list;
    for (int id : ids) list << Key(id);
    const QString sub = QString("from %1 where idCust=c.idCust and %2 in (%3))").arg(table, key, list.join(","));
    if (mode == 1) sql << QString("and %1 = (select count(*) ").arg(ids.size()) + sub;
    else if (mode == 2) sql << "and not exists (select 1 " + sub;
    else sql << "and exists (select 1 " + sub;
}

// The conditions on goods lines, for the goods block or inside the deals block.
void GoodsLines(QStringList& sql, const TKlientQueryInput& in)
{
    if (in.idGrTovar) sql << "and idTovar in (select idTovar from Tovar where idGrTovar=" + Key(*in.idGrTovar) + ")";
    Equals(sql, "idTovar", in.idTovar);
    if (in.priznak1) sql << "and Ucheb=\"+\"";
    if (in.priznak2) sql << "and Upgrade=\"+\"";
    if (!in.back) sql << "and back<>\"+\"";
    if (!in.tovarNumber.isEmpty()) {
        const QString n = Quoted(in.tovarNumber);
        if (in.numberBack) sql << "and ((SerNum containing " + n + ") or (SerNumInt containing " + n + "))";
        else sql << "and SerNum containing " + n;
    }
    if (in.oplachen) sql << "and ((SummaDF>0) or (SerNum>\"\"))";
    DateRange(sql, "DateReg", in.tovRegBegin, in.tovRegEnd, SqlDate, " ");
}

bool HasGoodsInput(const TKlientQueryInput& in)
{
    return in.idGrTovar || in.idTovar || in.priznak1 || in.priznak2 || in.oplachen || !in.tovarNumber.isEmpty()
        || in.tovRegBegin.isValid() || in.tovRegEnd.isValid();
}

const QStringList& SortColumns()
{
    static const QStringList columns{"DateCr", "Company", "idCountry", "idRegion", "City", "idPersp",
                                     "idUser", "idReklama", "idReklama2", "idSegment", "idSegment2"};
    return columns;
}

std::optional<int> KeyOf(const fw::DBLookupCombo* combo)
{
    const fw::Value v = combo->keyValue();
    if (v.isNull()) return std::nullopt;
    return v.asInt();
}

QLineEdit* Edit(QWidget* parent, const char* name)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setMinimumWidth(160);
    return e;
}

QCheckBox* Check(QWidget* parent, const char* name, const QString& text)
{
    auto* c = new QCheckBox(text, parent);
    c->setObjectName(name);
    return c;
}

QLabel* CaptionFor(QWidget* parent, const QString& text, QWidget* buddy)
{
    QLabel* l = Caption(parent, text);
    l->setBuddy(buddy);
    return l;
}

// A label that puts the current user into its combo.
QLabel* UserLabel(QWidget* parent, const char* name, QWidget* buddy)
{
    QLabel* l = CaptionFor(parent, "Куратор", buddy);
    l->setObjectName(name);
    l->setCursor(Qt::PointingHandCursor);
    l->setToolTip("Текущий пользователь");
    return l;
}

// A "с" / "по" pair of dates in a group box; radio buttons, when given, below.
QGroupBox* DateGroup(QWidget* parent, const char* name, const QString& title, TDateEdit*& from,
                     const char* fromName, TDateEdit*& to, const char* toName)
{
    auto* g = new QGroupBox(title, parent);
    g->setObjectName(name);
    auto* grid = new QGridLayout(g);
    from = DateEdit(g, fromName);
    to = DateEdit(g, toName);
    // An unreadable date is refused on exit rather than searched as no date.
    from->SetCheckOnExit(true);
    to->SetCheckOnExit(true);
    grid->addWidget(CaptionFor(g, "с", from), 0, 0);
    grid->addWidget(from, 0, 1);
    grid->addWidget(CaptionFor(g, "по", to), 0, 2);
    grid->addWidget(to, 0, 3);
    grid->setColumnStretch(4, 1);
    return g;
}

void OpenList(fw::DataSet& ds)
{
    if (!ds.active()) ds.open();
}

QWidget* Page(const char* name)
{
    auto* w = new QWidget;
    w->setObjectName(name);
    return w;
}

} // namespace

QStringList KlientQuerySql(const TKlientQueryInput& in, const QString& custFilter, const QString& recFilter)
{
    QStringList sql{"select c.* from Customer c where " + custFilter};

    Containing(sql, "Company", in.company);
    Containing(sql, "Address", in.address);
    Containing(sql, "Fax", in.fax);
    Equals(sql, "idCountry", in.idCountry);
    Equals(sql, "idRegion", in.idRegion);
    Containing(sql, "City", in.city);
    Equals(sql, "idPersp", in.idPersp);
    Containing(sql, "WWW", in.www);
    if (in.idUser) sql << "and idUser=" + Key(*in.idUser);
    else if (in.idOtdel) sql << QString("and idUser in (select idUser from Users where idOtdel=%1)").arg(*in.idOtdel);
    Equals(sql, "idReklama", in.idReklama);
    Equals(sql, "idReklama2", in.idReklama2);
    Equals(sql, "idSegment", in.idSegment);
    Equals(sql, "idSegment2", in.idSegment2);
    DateRange(sql, "DateCr", in.regFrom, in.regTo, SqlDate);

    for (const auto& [column, text] : in.customFields)
        if (!text.isEmpty()) sql << "and " + column + " containing " + Quoted(text);

    if (!in.contact.isEmpty() || !in.title.isEmpty() || !in.dep.isEmpty() || !in.phone.isEmpty()
        || !in.email.isEmpty() || !in.comm.isEmpty() || in.idContactUser) {
        sql << "and exists (select 1 from Contacts where idCust=c.idCust";
        sql << "and " + recFilter;
        Containing(sql, "Contact_Name", in.contact);
        Containing(sql, "Contact_Title", in.title);
        Containing(sql, "Contact_Dep", in.dep);
        Containing(sql, "Contact_Phone", in.phone);
        Containing(sql, "Contact_Email", in.email);
        Equals(sql, "idUser", in.idContactUser);
        Containing(sql, "Contact_Note", in.comm);
        sql << ")";
    }

    GroupLine(sql, in.glGroups, in.glMode, "Gr_Kl", "idGrKlient");
    GroupLine(sql, in.locGroups, in.locMode, "Loc_Kl", "idLocGrKl");

    if (!in.tovarInSdelka && HasGoodsInput(in)) {
        sql << "and exists (select 1 from Sales where idCust=c.idCust";
        // Goods outside deals always count, goods of deals only when the deal is visible.
        sql << "and (idSdelka is null or idSdelka in (select idSdelka from Sdelka where " + recFilter + "))";
        GoodsLines(sql, in);
        sql << ")";
    }

    if (!in.sdName.isEmpty() || in.idSdStatus || in.idSdUser || in.idSdType || in.idSdOtkaz || in.idSdPrichina
        || in.idSdPrichina2 || in.sdFrom.isValid() || in.sdTo.isValid() || in.tovarInSdelka) {
        sql << "and exists (select 1 from sdelka where idCust=c.idCust";
        sql << "and " + recFilter;
        Containing(sql, "Name", in.sdName);
        Equals(sql, "idSdelka_St", in.idSdStatus);
        Equals(sql, "idUser", in.idSdUser);
        Equals(sql, "idSdelkaType", in.idSdType);
        Equals(sql, "idOtkaz", in.idSdOtkaz);
        DateRange(sql, in.sdByBegin ? "Date_Begin" : "Date_End", in.sdFrom, in.sdTo, SqlDate);
        Equals(sql, "idPrichina", in.idSdPrichina);
        Equals(sql, "idPrichina2", in.idSdPrichina2);
        if (in.tovarInSdelka) {
            // The goods conditions bind to a matching deal of the client.
            sql << "and exists (select 1 from Sales where idSdelka=Sdelka.idSdelka";
            GoodsLines(sql, in);
            sql << ")";
        }
        sql << ")";
    }

    if (!in.dogNum.isEmpty() || !in.dogComm.isEmpty() || in.dogSkidka || in.idDogUser || in.dogSrokBegin.isValid()
        || in.dogSrokEnd.isValid() || in.dogDateBegin.isValid() || in.dogDateEnd.isValid()) {
        sql << "and exists (select 1 from dog where idCust=c.idCust";
        Containing(sql, "DogNumber", in.dogNum);
        if (in.dogSkidka) sql << "and Skidka = " + in.dogSkidka->toShortString();
        if (in.idDogUser) sql << "and idUser = " + Key(*in.idDogUser);
        Containing(sql, "Note", in.dogComm);
        DateRange(sql, in.dogSrokByBegin ? "DateBegin" : "DateEnd", in.dogSrokBegin, in.dogSrokEnd,
                  SingleQuotedDate, " ");
        DateRange(sql, "DateZakl", in.dogDateBegin, in.dogDateEnd, SingleQuotedDate, " ");
        sql << ")";
    }
    return sql;
}

const QStringList& KlientQuerySortItems()
{
    static const QStringList items{"Дата регистрации", "Компания", "Страна", "Регион", "Город",
                                   "Перспективность", "Куратор", "Источник", "Источник2", "Сегмент",
                                   "Сегмент2"};
    return items;
}

QString KlientQueryOrderLine(int sortIndex)
{
    if (sortIndex < 0 || sortIndex >= SortColumns().size()) return QString();
    return "order by " + SortColumns()[sortIndex];
}

QString MyClientsSql(int idUser)
{
    return "select * from customer where idUser=" + Key(idUser);
}

TKlientQuery::TKlientQuery(QWidget* parent) : QWidget(parent)
{
    setObjectName("KlientQuery");

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(4);

    auto* top = new QHBoxLayout;
    btnZQuery = new QPushButton("Запрос", this);
    btnZQuery->setObjectName("btnZQuery");
    btnZQuery->setToolTip("Выполнить запрос");
    SBClear = new QToolButton(this);
    SBClear->setObjectName("SBClear");
    SBClear->setIcon(style()->standardIcon(QStyle::SP_DialogResetButton));
    SBClear->setToolTip("Очистить параметры запроса");
    cbZSort = new QComboBox(this);
    cbZSort->setObjectName("cbZSort");
    cbZSort->addItems(KlientQuerySortItems());
    cbZSort->setCurrentIndex(-1);
    cbZSort->setMinimumWidth(170);
    lblZSort = CaptionFor(this, "Сортировка", cbZSort);
    lblZSort->setObjectName("lblZSort");
    top->addWidget(btnZQuery);
    top->addWidget(SBClear);
    top->addSpacing(16);
    top->addWidget(lblZSort);
    top->addWidget(cbZSort);
    top->addStretch(1);
    layout->addLayout(top);

    pcZapros = new QTabWidget(this);
    pcZapros->setObjectName("pcZapros");
    pcZapros->addTab(BuildKarPage(), "Компания");
    pcZapros->addTab(BuildContactPage(), "Контактное лицо");
    tsZOther = Page("tsZOther");
    scrlboxZKar = new QScrollArea(tsZOther);
    scrlboxZKar->setObjectName("scrlboxZKar");
    scrlboxZKar->setWidgetResizable(true);
    scrlboxZKar->setWidget(new QWidget);
    (new QVBoxLayout(tsZOther))->addWidget(scrlboxZKar);
    pcZapros->addTab(tsZOther, "Прочее");
    // Shown once user-defined client fields exist.
    pcZapros->setTabVisible(pcZapros->indexOf(tsZOther), false);
    pcZapros->addTab(BuildGroupPage(), "Группы");
    pcZapros->addTab(BuildTovarPage(), "Товар");
    pcZapros->addTab(BuildSdelkaPage(), "Сделки");
    pcZapros->addTab(BuildDogPage(), "Договора");
    layout->addWidget(pcZapros, 1);

    BindLookups();
    TakePriznakCaptions();

    connect(btnZQuery, &QPushButton::clicked, this, fw::guarded([this] { btnZQueryClick(); }));
    connect(SBClear, &QToolButton::clicked, this, fw::guarded([this] { SBClearClick(); }));
    for (fw::DBLookupCombo* first :
         {dblcZCountry, dblcZReklama, dblcZSegment, dblcZGrTovar, dblcZSdType, dblcZSdPrichina, dblcZOtdel})
        connect(first, &fw::DBLookupCombo::activated, this, fw::guarded([this, first] { dblcZFilterClick(first); }));

    // Esc empties every lookup combo, check list and the sort combo.
    for (auto* combo : findChildren<fw::DBLookupCombo*>()) combo->installEventFilter(this);
    for (QWidget* w : std::initializer_list<QWidget*>{clbZGlGr, clbZLocGr, cbZSort}) w->installEventFilter(this);
    for (QLabel* l : {lblZUser, lblZContactKurator, lblZSdUser, lblZapDogUser}) l->installEventFilter(this);
    for (QWidget* page : {tsZKar, tsZContact, tsZGroup, tsZTovar, tsZSdelks, tsZDog}) page->installEventFilter(this);
}

TKlientQuery::~TKlientQuery() = default;

QWidget* TKlientQuery::BuildKarPage()
{
    tsZKar = Page("tsZKar");
    auto* grid = new QGridLayout(tsZKar);
    edZCompany = Edit(tsZKar, "edZCompany");
    edZAddress = Edit(tsZKar, "edZAddress");
    edZFax = Edit(tsZKar, "edZFax");
    edZCity = Edit(tsZKar, "edZCity");
    edZWWW = Edit(tsZKar, "edZWWW");
    dblcZCountry = Lookup(tsZKar, "dblcZCountry", dm ? &dm->dsCountry : nullptr, "IDCOUNTRY", "COUNTRY");
    dblcZRegion = Lookup(tsZKar, "dblcZRegion", dmKl ? &dmKl->dsZRegion : nullptr, "IDREGION", "REGION");
    dblcZPersp = Lookup(tsZKar, "dblcZPersp", dm ? &dm->dsPersp : nullptr, "IDPERSP", "PERSP");
    int row = 0;
    for (auto [text, w] : std::initializer_list<std::pair<const char*, QWidget*>>{
             {"Компания", edZCompany}, {"Адрес", edZAddress}, {"Факс", edZFax}, {"Страна", dblcZCountry},
             {"Регион", dblcZRegion}, {"Город", edZCity}, {"Перспект.", dblcZPersp}, {"WWW", edZWWW}}) {
        grid->addWidget(CaptionFor(tsZKar, text, w), row, 0);
        grid->addWidget(w, row++, 1);
    }

    auto* right = new QVBoxLayout;
    gbZKurator = new QGroupBox("Куратор", tsZKar);
    gbZKurator->setObjectName("gbZKurator");
    auto* kur = new QGridLayout(gbZKurator);
    dblcZUser = Lookup(gbZKurator, "dblcZUser", dmKl ? &dmKl->dsZUser : nullptr, "IDUSER", "NAME");
    dblcZOtdel = Lookup(gbZKurator, "dblcZOtdel", dm ? &dm->dsOtdel : nullptr, "IDOTDEL", "OTDEL");
    lblZUser = UserLabel(gbZKurator, "lblZUser", dblcZUser);
    lblZOtdel = CaptionFor(gbZKurator, "Отдел", dblcZOtdel);
    lblZOtdel->setObjectName("lblZOtdel");
    kur->addWidget(lblZOtdel, 0, 0);
    kur->addWidget(dblcZOtdel, 0, 1);
    kur->addWidget(lblZUser, 1, 0);
    kur->addWidget(dblcZUser, 1, 1);
    kur->setColumnStretch(1, 1);
    right->addWidget(gbZKurator);

    auto pair = [this](const char* name, const QString& title, fw::DBLookupCombo*& first, const char* firstName,
                       fw::DataSource* firstList, const char* firstKey, const char* firstShown,
                       fw::DBLookupCombo*& second, const char* secondName, fw::DataSource* secondList,
                       const char* secondKey, const char* secondShown) {
        auto* g = new QGroupBox(title, tsZKar);
        g->setObjectName(name);
        auto* v = new QVBoxLayout(g);
        first = Lookup(g, firstName, firstList, firstKey, firstShown);
        second = Lookup(g, secondName, secondList, secondKey, secondShown);
        v->addWidget(first);
        v->addWidget(second);
        return g;
    };
    gbZReklama = pair("gbZReklama", "Источник", dblcZReklama, "dblcZReklama", dm ? &dm->dsReklama : nullptr,
                      "IDREKLAMA", "REKLAMA", dblcZReklama2, "dblcZReklama2",
                      dmKl ? &dmKl->dsZReklama2 : nullptr, "IDREKLAMA2", "REKLAMA2");
    gbZSegment = pair("gbZSegment", "Сегмент", dblcZSegment, "dblcZSegment", dm ? &dm->dsSegment : nullptr,
                      "IDSEGMENT", "SEGMENTT", dblcZSegment2, "dblcZSegment2",
                      dmKl ? &dmKl->dsZSegment2 : nullptr, "IDSEGMENT2", "SEGMENTT2");
    right->addWidget(gbZReklama);
    right->addWidget(gbZSegment);
    gbZKarReg = DateGroup(tsZKar, "gbZKarReg", "Регистрация компании", deZKarRegFrom, "deZKarRegFrom", deZKarRegTo,
                          "deZKarRegTo");
    right->addWidget(gbZKarReg);
    right->addStretch(1);

    grid->addLayout(right, 0, 2, row + 1, 1);
    grid->setRowStretch(row, 1);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 1);
    return tsZKar;
}

QWidget* TKlientQuery::BuildContactPage()
{
    tsZContact = Page("tsZContact");
    auto* grid = new QGridLayout(tsZContact);
    edZContact = Edit(tsZContact, "edZContact");
    edZTitle = Edit(tsZContact, "edZTitle");
    edZDep = Edit(tsZContact, "edZDep");
    edZPhone = Edit(tsZContact, "edZPhone");
    edZEmail = Edit(tsZContact, "edZEmail");
    dblcZContactKurator =
        Lookup(tsZContact, "dblcZContactKurator", dm ? &dm->dsUser : nullptr, "IDUSER", "NAME");
    edZComm = Edit(tsZContact, "edZComm");
    lblZContactKurator = UserLabel(tsZContact, "lblZContactKurator", dblcZContactKurator);
    int row = 0;
    for (auto [text, w] : std::initializer_list<std::pair<const char*, QWidget*>>{
             {"Контакт", edZContact}, {"Должность", edZTitle}, {"Отдел", edZDep}, {"Телефон", edZPhone},
             {"Email", edZEmail}, {nullptr, dblcZContactKurator}, {"Комментарий", edZComm}}) {
        grid->addWidget(text ? CaptionFor(tsZContact, text, w) : lblZContactKurator, row, 0);
        grid->addWidget(w, row++, 1);
    }
    grid->setRowStretch(row, 1);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 1);
    return tsZContact;
}

QWidget* TKlientQuery::BuildGroupPage()
{
    tsZGroup = Page("tsZGroup");
    auto* grid = new QGridLayout(tsZGroup);
    clbZGlGr = new QListWidget(tsZGroup);
    clbZGlGr->setObjectName("clbZGlGr");
    clbZLocGr = new QListWidget(tsZGroup);
    clbZLocGr->setObjectName("clbZLocGr");
    const QStringList modes{"В любой", "Во всех", "Ни в одну"};
    rgAll = new fw::DBRadioGroup("Общие", tsZGroup);
    rgAll->setObjectName("rgAll");
    rgAll->setItems(modes);
    rgAll->setItemIndex(0);
    rgPerson = new fw::DBRadioGroup("Личные", tsZGroup);
    rgPerson->setObjectName("rgPerson");
    rgPerson->setItems(modes);
    rgPerson->setItemIndex(0);
    grid->addWidget(rgAll, 0, 0, Qt::AlignTop);
    grid->addWidget(clbZGlGr, 0, 1);
    grid->addWidget(rgPerson, 0, 2, Qt::AlignTop);
    grid->addWidget(clbZLocGr, 0, 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    return tsZGroup;
}

QWidget* TKlientQuery::BuildTovarPage()
{
    tsZTovar = Page("tsZTovar");
    auto* grid = new QGridLayout(tsZTovar);

    gbZTovar = new QGroupBox("Товар", tsZTovar);
    gbZTovar->setObjectName("gbZTovar");
    auto* tovar = new QVBoxLayout(gbZTovar);
    dblcZGrTovar = Lookup(gbZTovar, "dblcZGrTovar", dm ? &dm->dsGrTovar : nullptr, "IDGRTOVAR", "GRTOVAR");
    dblcZTovar = Lookup(gbZTovar, "dblcZTovar", dmKl ? &dmKl->dsZTovar : nullptr, "IDTOVAR", "TOVAR");
    dblcZGrTovar->setMinimumWidth(260);
    tovar->addWidget(dblcZGrTovar);
    tovar->addWidget(dblcZTovar);

    gbZPriznak = new QGroupBox("Признаки", tsZTovar);
    gbZPriznak->setObjectName("gbZPriznak");
    auto* priznak = new QVBoxLayout(gbZPriznak);
    cbZPriznak1 = Check(gbZPriznak, "cbZPriznak1", "Признак1");
    cbZPriznak2 = Check(gbZPriznak, "cbZPriznak2", "Признак2");
    priznak->addWidget(cbZPriznak1);
    priznak->addWidget(cbZPriznak2);

    cbZBack = Check(tsZTovar, "cbZBack", "Учитывать возврат");
    cbZOplachen = Check(tsZTovar, "cbZOplachen", "Оплачен или регистрирован");
    cbTovarInSdelka = Check(tsZTovar, "cbTovarInSdelka", "В сделке");
    cbTovarInSdelka->setToolTip("Товар должен входить в сделку, отвечающую условиям страницы \"Сделки\"");

    gbZTovarNumber = new QGroupBox("Номер товара", tsZTovar);
    gbZTovarNumber->setObjectName("gbZTovarNumber");
    auto* number = new QVBoxLayout(gbZTovarNumber);
    edZTovarNumber = Edit(gbZTovarNumber, "edZTovarNumber");
    cbZNumberBack = Check(gbZTovarNumber, "cbZNumberBack", "Учитывать номер отгрузки");
    number->addWidget(edZTovarNumber);
    number->addWidget(cbZNumberBack);

    gbZTovReg = DateGroup(tsZTovar, "gbZTovReg", "Дата регистрации", deTovRegBegin, "deTovRegBegin", deTovRegEnd,
                          "deTovRegEnd");

    auto* checks = new QVBoxLayout;
    checks->addWidget(cbZBack);
    checks->addWidget(cbZOplachen);
    checks->addWidget(cbTovarInSdelka);
    checks->addStretch(1);

    grid->addWidget(gbZTovar, 0, 0);
    grid->addWidget(gbZPriznak, 0, 1);
    grid->addLayout(checks, 1, 1, 2, 1);
    grid->addWidget(gbZTovarNumber, 1, 0);
    grid->addWidget(gbZTovReg, 2, 0);
    grid->setRowStretch(3, 1);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
    return tsZTovar;
}

QWidget* TKlientQuery::BuildSdelkaPage()
{
    tsZSdelks = Page("tsZSdelks");
    auto* grid = new QGridLayout(tsZSdelks);
    edZSdName = Edit(tsZSdelks, "edZSdName");
    dblcZSdStatus = Lookup(tsZSdelks, "dblcZSdStatus", dm ? &dm->dsSdStatus : nullptr, "IDSDELKA_ST", "SDELKA_ST");
    dblcZSdUser = Lookup(tsZSdelks, "dblcZSdUser", dm ? &dm->dsUser : nullptr, "IDUSER", "NAME");
    lblZSdUser = UserLabel(tsZSdelks, "lblZSdUser", dblcZSdUser);
    grid->addWidget(CaptionFor(tsZSdelks, "Название", edZSdName), 0, 0);
    grid->addWidget(edZSdName, 0, 1);
    grid->addWidget(CaptionFor(tsZSdelks, "Статус", dblcZSdStatus), 1, 0);
    grid->addWidget(dblcZSdStatus, 1, 1);
    grid->addWidget(lblZSdUser, 2, 0);
    grid->addWidget(dblcZSdUser, 2, 1);

    gbZSdDate = DateGroup(tsZSdelks, "gbZSdDate", "Дата", deZSdFrom, "deZSdFrom", deZSdTo, "deZSdTo");
    rbZSdBegin = Radio(gbZSdDate, "rbZSdBegin", "Начало");
    rbZSdEnd = Radio(gbZSdDate, "rbZSdEnd", "Завершение");
    rbZSdBegin->setChecked(true);
    auto* dateGrid = static_cast<QGridLayout*>(gbZSdDate->layout());
    dateGrid->addWidget(rbZSdBegin, 1, 1);
    dateGrid->addWidget(rbZSdEnd, 1, 3);
    grid->addWidget(gbZSdDate, 3, 0, 1, 2);

    auto* right = new QVBoxLayout;
    gbZSdPrichina = new QGroupBox("Причина", tsZSdelks);
    gbZSdPrichina->setObjectName("gbZSdPrichina");
    auto* prichina = new QVBoxLayout(gbZSdPrichina);
    dblcZSdPrichina = Lookup(gbZSdPrichina, "dblcZSdPrichina", dm ? &dm->dsPrichina : nullptr, "IDPRICHINA",
                             "PRICHINA");
    dblcZSdPrichina2 = Lookup(gbZSdPrichina, "dblcZSdPrichina2", dmKl ? &dmKl->dsZPrichina2 : nullptr,
                              "IDPRICHINA2", "PRICHINA2");
    prichina->addWidget(dblcZSdPrichina);
    prichina->addWidget(dblcZSdPrichina2);
    right->addWidget(gbZSdPrichina);

    gbZSdType = new QGroupBox("Тип/отказ", tsZSdelks);
    gbZSdType->setObjectName("gbZSdType");
    auto* type = new QGridLayout(gbZSdType);
    dblcZSdType = Lookup(gbZSdType, "dblcZSdType", dm ? &dm->dsSdType : nullptr, "IDSDELKATYPE", "SDELKATYPE");
    dblcZSdOtkaz = Lookup(gbZSdType, "dblcZSdOtkaz", dmKl ? &dmKl->dsZOtkaz : nullptr, "IDOTKAZ", "OTKAZ");
    type->addWidget(CaptionFor(gbZSdType, "Тип сделки", dblcZSdType), 0, 0);
    type->addWidget(dblcZSdType, 0, 1);
    type->addWidget(CaptionFor(gbZSdType, "Причина отказа", dblcZSdOtkaz), 1, 0);
    type->addWidget(dblcZSdOtkaz, 1, 1);
    type->setColumnStretch(1, 1);
    right->addWidget(gbZSdType);
    right->addStretch(1);

    grid->addLayout(right, 0, 2, 5, 1);
    grid->setRowStretch(4, 1);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 1);
    return tsZSdelks;
}

QWidget* TKlientQuery::BuildDogPage()
{
    tsZDog = Page("tsZDog");
    auto* grid = new QGridLayout(tsZDog);
    edZapDogNum = Edit(tsZDog, "edZapDogNum");
    cbZapDogUser = Lookup(tsZDog, "cbZapDogUser", dm ? &dm->dsUser : nullptr, "IDUSER", "NAME");
    lblZapDogUser = UserLabel(tsZDog, "lblZapDogUser", cbZapDogUser);
    edZapDogComm = Edit(tsZDog, "edZapDogComm");
    ceZapDogSkid = new TCurrencyEdit(tsZDog);
    ceZapDogSkid->setObjectName("ceZapDogSkid");
    ceZapDogSkid->SetDisplayFormat("#.##");
    ceZapDogSkid->setFixedWidth(120);
    grid->addWidget(CaptionFor(tsZDog, "Номер договора", edZapDogNum), 0, 0);
    grid->addWidget(edZapDogNum, 0, 1);
    grid->addWidget(lblZapDogUser, 1, 0);
    grid->addWidget(cbZapDogUser, 1, 1);
    grid->addWidget(CaptionFor(tsZDog, "Комментарий", edZapDogComm), 2, 0);
    grid->addWidget(edZapDogComm, 2, 1);
    grid->addWidget(CaptionFor(tsZDog, "Скидка", ceZapDogSkid), 3, 0);
    grid->addWidget(ceZapDogSkid, 3, 1, Qt::AlignLeft);

    auto* right = new QVBoxLayout;
    gbZapDogSrok = DateGroup(tsZDog, "gbZapDogSrok", "Сроки договора", deZapDogSrokBegin, "deZapDogSrokBegin",
                             deZapDogSrokEnd, "deZapDogSrokEnd");
    rbZapDogSrokBegin = Radio(gbZapDogSrok, "rbZapDogSrokBegin", "Начало");
    rbZapDogSrokEnd = Radio(gbZapDogSrok, "rbZapDogSrokEnd", "Завершение");
    rbZapDogSrokBegin->setChecked(true);
    auto* srokGrid = static_cast<QGridLayout*>(gbZapDogSrok->layout());
    srokGrid->addWidget(rbZapDogSrokBegin, 1, 1);
    srokGrid->addWidget(rbZapDogSrokEnd, 1, 3);
    gbZapDogDate = DateGroup(tsZDog, "gbZapDogDate", "Дата заключения договора", deZapDogDateBegin,
                             "deZapDogDateBegin", deZapDogDateEnd, "deZapDogDateEnd");
    right->addWidget(gbZapDogSrok);
    right->addWidget(gbZapDogDate);
    right->addStretch(1);

    grid->addLayout(right, 0, 2, 5, 1);
    grid->setRowStretch(4, 1);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 1);
    return tsZDog;
}

void TKlientQuery::BindLookups()
{
    if (!dmKl) return;
    // The second lists of the cascades are filtered from the start, by an empty text.
    for (fw::Query* q : {&dmKl->qryZRegion, &dmKl->qryZReklama2, &dmKl->qryZSegment2, &dmKl->qryZTovar,
                         &dmKl->qryZOtkaz, &dmKl->qryZPrichina2, &dmKl->qryZUser}) {
        q->setFilter(QString());
        q->setFiltered(true);
    }
}

void TKlientQuery::TakePriznakCaptions()
{
    if (!dm || !dm->qryMain.active()) return;
    if (fw::Field* f = dm->qryMain.findField("Priznak1")) cbZPriznak1->setText(f->asString());
    if (fw::Field* f = dm->qryMain.findField("Priznak2")) cbZPriznak2->setText(f->asString());
}

TKlientQueryInput TKlientQuery::QueryInput() const
{
    TKlientQueryInput in;
    in.company = edZCompany->text();
    in.address = edZAddress->text();
    in.fax = edZFax->text();
    in.city = edZCity->text();
    in.www = edZWWW->text();
    in.idCountry = KeyOf(dblcZCountry);
    in.idRegion = KeyOf(dblcZRegion);
    in.idPersp = KeyOf(dblcZPersp);
    in.idUser = KeyOf(dblcZUser);
    in.idOtdel = KeyOf(dblcZOtdel);
    in.idReklama = KeyOf(dblcZReklama);
    in.idReklama2 = KeyOf(dblcZReklama2);
    in.idSegment = KeyOf(dblcZSegment);
    in.idSegment2 = KeyOf(dblcZSegment2);
    in.regFrom = deZKarRegFrom->Date();
    in.regTo = deZKarRegTo->Date();
    for (const QLineEdit* e : scrlboxZKar->widget()->findChildren<QLineEdit*>(QString(), Qt::FindDirectChildrenOnly))
        in.customFields.append({e->objectName(), e->text()});

    in.contact = edZContact->text();
    in.title = edZTitle->text();
    in.dep = edZDep->text();
    in.phone = edZPhone->text();
    in.email = edZEmail->text();
    in.comm = edZComm->text();
    in.idContactUser = KeyOf(dblcZContactKurator);

    auto checked = [](const QListWidget* list) {
        QList<int> ids;
        for (int i = 0; i < list->count(); ++i)
            if (list->item(i)->checkState() == Qt::Checked) ids << list->item(i)->data(Qt::UserRole).toInt();
        return ids;
    };
    in.glGroups = checked(clbZGlGr);
    in.locGroups = checked(clbZLocGr);
    in.glMode = rgAll->itemIndex();
    in.locMode = rgPerson->itemIndex();

    in.idGrTovar = KeyOf(dblcZGrTovar);
    in.idTovar = KeyOf(dblcZTovar);
    in.back = cbZBack->isChecked();
    in.priznak1 = cbZPriznak1->isChecked();
    in.priznak2 = cbZPriznak2->isChecked();
    in.oplachen = cbZOplachen->isChecked();
    in.tovarInSdelka = cbTovarInSdelka->isChecked();
    in.tovarNumber = edZTovarNumber->text();
    in.numberBack = cbZNumberBack->isChecked();
    in.tovRegBegin = deTovRegBegin->Date();
    in.tovRegEnd = deTovRegEnd->Date();

    in.sdName = edZSdName->text();
    in.idSdStatus = KeyOf(dblcZSdStatus);
    in.idSdUser = KeyOf(dblcZSdUser);
    in.idSdType = KeyOf(dblcZSdType);
    in.idSdOtkaz = KeyOf(dblcZSdOtkaz);
    in.idSdPrichina = KeyOf(dblcZSdPrichina);
    in.idSdPrichina2 = KeyOf(dblcZSdPrichina2);
    in.sdFrom = deZSdFrom->Date();
    in.sdTo = deZSdTo->Date();
    in.sdByBegin = rbZSdBegin->isChecked();

    in.dogNum = edZapDogNum->text();
    in.dogComm = edZapDogComm->text();
    // The edit shows nothing for a zero discount ("#.##"), which then does not count.
    const fw::Currency skidka = ceZapDogSkid->Value();
    if (!ceZapDogSkid->DisplayText().isEmpty()) in.dogSkidka = skidka;
    in.idDogUser = KeyOf(cbZapDogUser);
    in.dogSrokBegin = deZapDogSrokBegin->Date();
    in.dogSrokEnd = deZapDogSrokEnd->Date();
    in.dogSrokByBegin = rbZapDogSrokBegin->isChecked();
    in.dogDateBegin = deZapDogDateBegin->Date();
    in.dogDateEnd = deZapDogDateEnd->Date();
    return in;
}

QStringList TKlientQuery::BuildQuerySQL() const
{
    return KlientQuerySql(QueryInput(), GetCustFilter(), GetRecFilter());
}

void TKlientQuery::AddQueryOrder(QStringList& sql) const
{
    const QString order = KlientQueryOrderLine(cbZSort->currentIndex());
    if (!order.isEmpty()) sql << order;
}

void TKlientQuery::btnZQueryClick()
{
    QWidget* focused = QApplication::focusWidget();
    if (RememberFocus && focused && isAncestorOf(focused)) RememberFocus(focused);
    RunQuery();
}

void TKlientQuery::RunQuery()
{
    if (!dmKl) return;
    fw::Query& q = dmKl->qryCust;
    q.close();
    QStringList sql = BuildQuerySQL();
    AddQueryOrder(sql);
    q.setSqlText(EditSQL(sql.join("\n")));
    q.open();
    if (ShowClientList) ShowClientList();
}

void TKlientQuery::ShowMyClients()
{
    if (!dmKl) return;
    fw::Query& q = dmKl->qryCust;
    q.close();
    q.setSql({MyClientsSql(CurrentUser.IdUser)});
    q.open();
}

void TKlientQuery::ToolButton21Click()
{
    if (!dmKl || !dmKl->qryCust.active()) return;
    const QString caption = "Список (" + QString::number(dmKl->qryCust.recordCount()) + ")";
    if (SetListPageCaption) SetListPageCaption(caption);
    else if (dmKl->host()) dmKl->host()->SetListPageCaption(caption);
}

void TKlientQuery::SBClearClick()
{
    // The group modes keep their choice.
    const int all = rgAll->itemIndex(), person = rgPerson->itemIndex();
    ClearPageControl(pcZapros);
    rgAll->setItemIndex(all);
    rgPerson->setItemIndex(person);
    if (dmKl)
        for (fw::Query* q : {&dmKl->qryZRegion, &dmKl->qryZReklama2, &dmKl->qryZSegment2, &dmKl->qryZTovar,
                             &dmKl->qryZOtkaz, &dmKl->qryZPrichina2, &dmKl->qryZUser})
            q->setFilter(QString());
    UncheckAll(clbZGlGr);
    UncheckAll(clbZLocGr);
    cbZSort->setCurrentIndex(-1);
}

void TKlientQuery::lblUserClick(QLabel* label)
{
    if (auto* combo = qobject_cast<fw::DBLookupCombo*>(label->buddy())) combo->setKeyValue(CurrentUser.IdUser);
}

void TKlientQuery::dblcZFilterClick(fw::DBLookupCombo* first)
{
    if (!dmKl) return;
    struct Cascade {
        fw::DBLookupCombo* first;
        fw::Query* list;
        const char* key;
        fw::DBLookupCombo* second;
    };
    const Cascade cascades[] = {
        {dblcZCountry, &dmKl->qryZRegion, "idCountry", dblcZRegion},
        {dblcZReklama, &dmKl->qryZReklama2, "idReklama", dblcZReklama2},
        {dblcZSegment, &dmKl->qryZSegment2, "idSegment", dblcZSegment2},
        {dblcZGrTovar, &dmKl->qryZTovar, "idGrTovar", dblcZTovar},
        {dblcZSdType, &dmKl->qryZOtkaz, "idSdelkaType", dblcZSdOtkaz},
        {dblcZSdPrichina, &dmKl->qryZPrichina2, "idPrichina", dblcZSdPrichina2},
        {dblcZOtdel, &dmKl->qryZUser, "idOtdel", dblcZUser},
    };
    for (const Cascade& c : cascades) {
        if (c.first != first) continue;
        if (const auto key = KeyOf(first)) {
            c.list->setFilter(QString("%1=%2").arg(c.key).arg(*key));
            c.second->setKeyValue(fw::Value());
        } else {
            // Emptied (Esc): all rows again, the second choice stays.
            c.list->setFilter(QString());
        }
        return;
    }
}

void TKlientQuery::tsZKarShow()
{
    if (dm)
        for (fw::Query* q : {&dm->qryCountry, &dm->qryPersp, &dm->qryReklama, &dm->qrySegment, &dm->qryOtdel})
            OpenList(*q);
    if (dmKl)
        for (fw::Query* q : {&dmKl->qryZRegion, &dmKl->qryZReklama2, &dmKl->qryZSegment2, &dmKl->qryZUser})
            OpenList(*q);
}

void TKlientQuery::tsZContactShow()
{
    if (dm) OpenList(dm->qryUser);
}

void TKlientQuery::tsZTovarShow()
{
    if (dm) OpenList(dm->qryGrTovar);
    if (dmKl) OpenList(dmKl->qryZTovar);
}

void TKlientQuery::tsZSdelksShow()
{
    if (dm)
        for (fw::Query* q : {&dm->qrySdStatus, &dm->qrySdType, &dm->qryPrichina, &dm->qryUser}) OpenList(*q);
    if (dmKl)
        for (fw::Query* q : {&dmKl->qryZOtkaz, &dmKl->qryZPrichina2}) OpenList(*q);
}

void TKlientQuery::tsZGroupShow()
{
    if (queryGroupsLoaded_ || !dmKl) return;
    // Read by row, so the group lists' current rows (the card's) do not move.
    auto fill = [](QListWidget* list, fw::Query& q, const char* text, const char* key) {
        OpenList(q);
        const fw::Field& textField = q.fieldByName(text);
        const fw::Field& keyField = q.fieldByName(key);
        for (int row = 0; row < q.rowCount(); ++row) {
            auto* item = new QListWidgetItem(q.valueAt(row, textField).asString(), list);
            item->setData(Qt::UserRole, q.valueAt(row, keyField).asInt());
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(Qt::Unchecked);
        }
    };
    fill(clbZGlGr, dmKl->qryGrGl, "GrKlient", "idGrKlient");
    fill(clbZLocGr, dmKl->qryGrLoc, "LocGrKl", "idLocGrKl");
    queryGroupsLoaded_ = true;
}

void TKlientQuery::tsZDogShow()
{
    if (dm) OpenList(dm->qryUser);
}

bool TKlientQuery::eventFilter(QObject* watched, QEvent* e)
{
    if (e->type() == QEvent::Show) {
        if (watched == tsZKar) fw::runGuarded([this] { tsZKarShow(); });
        else if (watched == tsZContact) fw::runGuarded([this] { tsZContactShow(); });
        else if (watched == tsZGroup) fw::runGuarded([this] { tsZGroupShow(); });
        else if (watched == tsZTovar) fw::runGuarded([this] { tsZTovarShow(); });
        else if (watched == tsZSdelks) fw::runGuarded([this] { tsZSdelksShow(); });
        else if (watched == tsZDog) fw::runGuarded([this] { tsZDogShow(); });
    } else if (FilterPanelEvent(watched, e)) {
        return true;
    }
    return QWidget::eventFilter(watched, e);
}
