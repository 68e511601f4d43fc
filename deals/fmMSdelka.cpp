#include "deals/fmMSdelka.h"

#include "controls/DateEdit.h"
#include "core/FormParts.h"
#include "core/ModuleWindows.h"
#include "core/SharedProcs.h"
#include "core/Users.h"
#include "core/dm.h"
#include "reports/Export.h"

#include "widgets/DBControls.h"
#include "widgets/DBGrid.h"
#include "widgets/DBLookupCombo.h"
#include "widgets/DBNavigator.h"
#include "widgets/ExceptionHandler.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QRadioButton>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace {

// The clients window and its data module, which "Текущий клиент" and the
// contract list read.
bool KlientWindowExists()
{
    return !fmKlient.isNull() && KlientSets().qryCust;
}

std::optional<int> KeyOf(const fw::DBLookupCombo* combo)
{
    const fw::Value v = combo->keyValue();
    if (v.isNull()) return std::nullopt;
    return v.asInt();
}

bool IsEnter(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

// A lookup column: the key field of the row shown as the list's name.
struct LookupDef {
    const char* name;
    const char* keyField;
    fw::Query Tdm::*list;
    const char* listKey;
    const char* listResult;
};

using Columns = QList<fw::GridColumn>;

// Column titles left empty take the field name, which SetColumnTitles then
// replaces with the currency and goods-attribute names of the settings row.
const Columns& SdelkaColumns()
{
    static const Columns c{
        {"COMPANY", "Компания"}, {"NAME", "Название сделки"}, {"SdUser", "Куратор сделки"},
        {"SdStatus", "Статус сделки"}, {"DATE_BEGIN", "Дата начала сделки"},
        {"DATE_END", "Дата окончания сделки"}, {"SdPrichina", "Причина сделки"},
        {"SdPrichina2", "Причина сделки2"}, {"SdType", "Тип сделки"}, {"OPLATDP", ""}, {"OPLATDF", ""},
        {"OPLATRP", ""}, {"OPLATRF", ""}, {"NOTE", "Комментарий к сделке"}, {"NOSCHET", "Счет №"},
        {"NONAKL", "Накладная №"}, {"NOSCHETF", "Счет-ф №"}, {"DATESCHET", "Дата счета"},
        {"DATENAKL", "Дата накладной"}, {"DATESCHETF", "Дата счета-ф"}, {"SdOtkaz", "Причина отказа"},
        {"SdEtap", "Этап отказа"},
    };
    return c;
}

const Columns& EtapsColumns()
{
    static const Columns c{
        {"COMPANY", "Компания"}, {"EtEtap", "Этап"}, {"EtUser", "Куратор этапа"},
        {"DATEBEGIN", "Дата начала этапа"}, {"DATEPLAN", "Дата-план этапа"},
        {"DATEFACT", "Дата окончания этапа"}, {"NOTE", "Комментарий к этапу"},
        {"DATE_BEGIN", "Дата начала сделки"}, {"DATE_END", "Дата окончания сделки"}, {"OPLATDP", ""},
        {"OPLATDF", ""}, {"OPLATRP", ""}, {"OPLATRF", ""}, {"NOTE_1", "Комментарий к сделке"},
        {"NOSCHET", "Счет №"}, {"NONAKL", "Накладная №"}, {"NOSCHETF", "Счет-ф №"},
        {"DATESCHET", "Дата счета"}, {"DATENAKL", "Дата накладной"}, {"DATESCHETF", "Дата счета-ф"},
        {"NAME", "Название сделки"}, {"SdUser", "Куратор сделки"}, {"SdStatus", "Статус сделки"},
        {"SdOtkaz", "Причина отказа"}, {"SdEtap", "Этап отказа"}, {"SdPrichina", "Причина сделки"},
        {"SdPrichina2", "Причина сделки2"}, {"SdType", "Тип сделки"},
    };
    return c;
}

const Columns& SalesColumns()
{
    static const Columns c{
        {"COMPANY", "Компания"}, {"SALESCOMPANY", "Место покупки"}, {"DATEREG", "Дата регистрации товара"},
        {"KOLVO", "Количество"}, {"GrTovar", "Группа товара"}, {"Tovar", "Товар"},
        {"SERNUM", "Номер товара"}, {"SERNUMINT", "Номер отгрузки товара"}, {"UPGRADE", ""}, {"UCHEB", ""},
        {"NOTE", "Комментарий к продаже товара"}, {"SUMMADP", ""}, {"SUMMADF", ""}, {"SUMMARP", ""},
        {"SUMMARF", ""}, {"KURS", "Курс"}, {"BACK", "Возврат"}, {"SdUser", "Куратор сделки"},
        {"DATE_BEGIN", "Дата начала сделки"}, {"DATE_END", "Дата окончания сделки"},
        {"SdStatus", "Статус сделки"}, {"OPLATDP", ""}, {"OPLATRP", ""}, {"OPLATDF", ""}, {"OPLATRF", ""},
        {"NOTE_1", "Комментарий к сделке"}, {"SdOtkaz", "Причина отказа"}, {"SdEtap", "Этап отказа"},
        {"NOSCHET", "Счет №"}, {"NONAKL", "Накладная №"}, {"NOSCHETF", "Счет-ф №"},
        {"DATESCHET", "Дата счета"}, {"DATENAKL", "Дата накладной"}, {"DATESCHETF", "Дата счета-ф"},
        {"NAME", "Название сделки"}, {"SdPrichina", "Причина сделки"}, {"SdPrichina2", "Причина сделки2"},
        {"SdType", "Тип сделки"},
    };
    return c;
}

// The deal's own lookups; the deal's owner and refusal stage are IDUSER_1 and
// IDETAP_1 where the stage or goods row comes first in the join.
QList<LookupDef> SdelkaLookups(const char* userKey, const char* etapKey)
{
    return {
        {"SdUser", userKey, &Tdm::qryUser, "IDUSER", "NAME"},
        {"SdStatus", "IDSDELKA_ST", &Tdm::qrySdStatus, "IDSDELKA_ST", "SDELKA_ST"},
        {"SdPrichina", "IDPRICHINA", &Tdm::qryPrichina, "IDPRICHINA", "PRICHINA"},
        {"SdPrichina2", "IDPRICHINA2", &Tdm::qryPrichina2, "IDPRICHINA2", "PRICHINA2"},
        {"SdType", "IDSDELKATYPE", &Tdm::qrySdType, "IDSDELKATYPE", "SDELKATYPE"},
        {"SdOtkaz", "IDOTKAZ", &Tdm::qryOtkaz, "IDOTKAZ", "OTKAZ"},
        {"SdEtap", etapKey, &Tdm::qryEtap, "IDETAP", "ETAP"},
    };
}

void AddLookups(fw::Query& q, const QList<LookupDef>& defs)
{
    for (const LookupDef& d : defs)
        q.addLookupField(d.name, d.keyField, &(dm->*d.list), d.listKey, d.listResult, 30);
}

// A money or quantity column shown with its decimals.
void FormatNumbers(fw::Query& q)
{
    for (fw::Field* f : q.fields())
        if (f->type() == fw::FieldType::Currency) f->setDisplayFormat(f->name() == "KOLVO" ? ",0.###" : ",0.00");
}

// Widgets side by side in one cell of a grid, left-aligned; they stay
// children of the grid's owner (a layout is no widget).
void Row(QGridLayout* grid, int row, int column, int span, std::initializer_list<QWidget*> widgets)
{
    auto* h = new QHBoxLayout;
    h->setSpacing(12);
    for (QWidget* w : widgets) h->addWidget(w);
    h->addStretch();
    grid->addLayout(h, row, column, 1, span);
}

QButtonGroup* Exclusive(QObject* owner, std::initializer_list<QRadioButton*> buttons)
{
    auto* g = new QButtonGroup(owner);
    for (QRadioButton* b : buttons) g->addButton(b);
    return g;
}

} // namespace

TfmMSdelka::TfmMSdelka(QWidget* owner) : QWidget(owner)
{
    setObjectName("fmMSdelka");
    setWindowTitle("Сделки");
    resize(900, 560);

    const auto query = [this](fw::Query& q, const char* name, const QStringList& sql, fw::DataSource& ds,
                              const char* dsName) {
        q.setParent(this);
        q.setObjectName(name);
        if (dm) q.setDatabase(&dm->db);
        q.setSql(sql);
        ds.setParent(this);
        ds.setObjectName(dsName);
        ds.setDataSet(&q);
    };
    query(qrySdelka, "qrySdelka",
          {"select (select Company from customer where idCust=s.idCust) as Company, s.*", "from Sdelka s"},
          dsSdelka, "dsSdelka");
    query(qryEtaps, "qryEtaps",
          {"select (select Company from customer where idCust=s.idCust) as Company, e.*, s.*",
           "from Sdelka s, Etaps e", "where s.idSdelka=e.idSdelka"},
          dsEtaps, "dsEtaps");
    query(qrySales, "qrySales",
          {kSalesSelect, kSalesFrom},
          dsSales, "dsSales");
    query(qryPrichina2, "qryPrichina2", {"select *", "from Prichina2", "order by Prichina2"}, dsPrichina2,
          "dsPrichina2");
    query(qryOtkaz, "qryOtkaz", {"select *", "from Otkaz", "order by Otkaz"}, dsOtkaz, "dsOtkaz");
    query(qryTovar, "qryTovar", {"select *", "from Tovar", "order by Tovar"}, dsTovar, "dsTovar");
    for (fw::Query* q : {&qryPrichina2, &qryOtkaz, &qryTovar}) q->setFiltered(true);
    for (fw::Query* q : {&qrySdelka, &qryEtaps, &qrySales})
        q->afterOpen = [](fw::DataSet& ds) { FormatNumbers(static_cast<fw::Query&>(ds)); };
    DefineResultFields();

    QVBoxLayout* layout = ToolBarColumn(this, ToolBar);
    tbZapros = AddToolButton(ToolBar, "tbZapros", "Запрос", 6);
    tbCrear = AddToolButton(ToolBar, "tbCrear", "Очистить", 4);
    ToolBar->addSeparator();
    tbKolvo = AddToolButton(ToolBar, "tbKolvo", "Количество", 17);
    tbGoToKar = AddToolButton(ToolBar, "tbGoToKar", "На карточку", 9);
    tbExport = AddToolButton(ToolBar, "tbExport", "Экспорт", 3);
    ToolBar->addSeparator();
    DBNavigator1 = new fw::DBNavigator(ToolBar);
    DBNavigator1->setObjectName("DBNavigator1");
    // The results are read-only: the navigator only moves.
    DBNavigator1->setVisibleButtons({fw::DBNavigator::Button::First, fw::DBNavigator::Button::Prior,
                                     fw::DBNavigator::Button::Next, fw::DBNavigator::Button::Last});
    ToolBar->addWidget(DBNavigator1);

    // Mode and client, outside the pages so that "Очистить" keeps them.
    pnlTop = new QWidget(this);
    pnlTop->setObjectName("pnlTop");
    auto* top = new QHBoxLayout(pnlTop);
    top->setContentsMargins(6, 2, 6, 4);
    rgRegim = new fw::DBRadioGroup("Отображать", pnlTop);
    rgRegim->setObjectName("rgRegim");
    rgRegim->setItems({"Сделки", "Этапы", "Товары"});
    rgRegim->setItemIndex(0);
    top->addWidget(rgRegim);
    auto* client = new QGridLayout;
    cbCurrent = new QCheckBox("Текущий клиент", pnlTop);
    cbCurrent->setObjectName("cbCurrent");
    client->addWidget(cbCurrent, 0, 0, 1, 2);
    client->addWidget(Caption(pnlTop, "Договор"), 1, 0);
    dblcDog = Lookup(pnlTop, "dblcDog", nullptr, "IDDOG", "DOGNUMBER");
    dblcDog->setMinimumWidth(220);
    client->addWidget(dblcDog, 1, 1);
    client->setColumnStretch(2, 1);
    top->addLayout(client, 1);
    layout->addWidget(pnlTop);

    pcMain = new QTabWidget(this);
    pcMain->setObjectName("pcMain");
    layout->addWidget(pcMain, 1);

    tsList = new QWidget(pcMain);
    tsList->setObjectName("tsList");
    auto* listLayout = new QVBoxLayout(tsList);
    listLayout->setContentsMargins(2, 2, 2, 2);
    dbg = new fw::DBGrid(tsList);
    dbg->setObjectName("dbg");
    dbg->setOptions({fw::DBGrid::Option::Titles, fw::DBGrid::Option::Indicator, fw::DBGrid::Option::Tabs});
    dbg->setReadOnly(true);
    if (dm)
        dbg->setCellDrawer([](QPainter& p, const QRect& r, const fw::GridCell& cell, fw::CellStyle& style) {
            dm->dbgSdelkaDrawColumnCell(p, r, cell, style);
        });
    listLayout->addWidget(dbg);
    pcMain->addTab(tsList, "Список");

    tsZapros = new QWidget(pcMain);
    tsZapros->setObjectName("tsZapros");
    auto* zapLayout = new QVBoxLayout(tsZapros);
    zapLayout->setContentsMargins(2, 2, 2, 2);
    pcZapros = new QTabWidget(tsZapros);
    pcZapros->setObjectName("pcZapros");
    zapLayout->addWidget(pcZapros);
    pcMain->addTab(tsZapros, "Запрос");

    fw::DataSource* dsUser = dm ? &dm->dsUser : nullptr;
    fw::DataSource* dsEtap = dm ? &dm->dsEtap : nullptr;

    // "Сделка": every control a direct child of the page or of a group, which
    // is what ClearPageControl walks.
    tsZapSdelka = new QWidget(pcZapros);
    tsZapSdelka->setObjectName("tsZapSdelka");
    auto* sd = new QGridLayout(tsZapSdelka);
    edSdName = new QLineEdit(tsZapSdelka);
    edSdName->setObjectName("edSdName");
    Label7 = Caption(tsZapSdelka, "Куратор", "Label7");
    dblcSdUser = Lookup(tsZapSdelka, "dblcSdUser", dsUser, "IDUSER", "NAME");
    dblcSdStatus = Lookup(tsZapSdelka, "dblcSdStatus", dm ? &dm->dsSdStatus : nullptr, "IDSDELKA_ST", "SDELKA_ST");
    sd->addWidget(Caption(tsZapSdelka, "Название"), 0, 0);
    sd->addWidget(edSdName, 0, 1, 1, 3);
    edSdName->setMaximumWidth(600);
    sd->addWidget(Label7, 1, 0);
    sd->addWidget(dblcSdUser, 1, 1);
    sd->addWidget(Caption(tsZapSdelka, "Статус"), 1, 2);
    sd->addWidget(dblcSdStatus, 1, 3);

    gbSdPrichina = new QGroupBox("Причина", tsZapSdelka);
    gbSdPrichina->setObjectName("gbSdPrichina");
    auto* pr = new QHBoxLayout(gbSdPrichina);
    dblcSdPrichina = Lookup(gbSdPrichina, "dblcSdPrichina", dm ? &dm->dsPrichina : nullptr, "IDPRICHINA", "PRICHINA");
    dblcSdPrichina2 = Lookup(gbSdPrichina, "dblcSdPrichina2", &dsPrichina2, "IDPRICHINA2", "PRICHINA2");
    pr->addWidget(dblcSdPrichina, 1);
    pr->addWidget(dblcSdPrichina2, 1);
    pr->addStretch();
    sd->addWidget(gbSdPrichina, 2, 0, 1, 4);

    gbSdDate = new QGroupBox("Дата", tsZapSdelka);
    gbSdDate->setObjectName("gbSdDate");
    auto* dt = new QGridLayout(gbSdDate);
    rgSdBegin = Radio(gbSdDate, "rgSdBegin", "Начало");
    rgSdEnd = Radio(gbSdDate, "rgSdEnd", "Завершение");
    rgSdOplata = Radio(gbSdDate, "rgSdOplata", "Оплата");
    rgSdBegin->setChecked(true);
    bgSdDate = Exclusive(this, {rgSdBegin, rgSdEnd, rgSdOplata});
    deSdDateFrom = DateEdit(gbSdDate, "deSdDateFrom");
    deSdDateTo = DateEdit(gbSdDate, "deSdDateTo");
    Row(dt, 0, 0, 1, {rgSdBegin, rgSdEnd, rgSdOplata});
    Row(dt, 1, 0, 1, {Caption(gbSdDate, "с"), deSdDateFrom, Caption(gbSdDate, "по"), deSdDateTo});
    sd->addWidget(gbSdDate, 3, 0, 1, 4);

    gbSdType = new QGroupBox("Тип/отказ", tsZapSdelka);
    gbSdType->setObjectName("gbSdType");
    auto* ty = new QGridLayout(gbSdType);
    dblcSdType = Lookup(gbSdType, "dblcSdType", dm ? &dm->dsSdType : nullptr, "IDSDELKATYPE", "SDELKATYPE");
    dblcSdOtkaz = Lookup(gbSdType, "dblcSdOtkaz", &dsOtkaz, "IDOTKAZ", "OTKAZ");
    ty->addWidget(Caption(gbSdType, "Тип"), 0, 0);
    ty->addWidget(dblcSdType, 0, 1);
    ty->addWidget(Caption(gbSdType, "Отказ"), 0, 2);
    ty->addWidget(dblcSdOtkaz, 0, 3);
    ty->setColumnStretch(4, 1);
    sd->addWidget(gbSdType, 4, 0, 1, 4);

    cbPlanFact = new QCheckBox("План не равен факту", tsZapSdelka);
    cbPlanFact->setObjectName("cbPlanFact");
    sd->addWidget(cbPlanFact, 5, 0, 1, 4);
    sd->setColumnStretch(4, 1);
    sd->setRowStretch(6, 1);
    pcZapros->addTab(tsZapSdelka, "Сделка");

    // "Этапы"
    tsZapEtaps = new QWidget(pcZapros);
    tsZapEtaps->setObjectName("tsZapEtaps");
    auto* et = new QVBoxLayout(tsZapEtaps);

    gbEtSd = new QGroupBox("Условия сделки", tsZapEtaps);
    gbEtSd->setObjectName("gbEtSd");
    auto* es = new QGridLayout(gbEtSd);
    dblcEtSdEtap = Lookup(gbEtSd, "dblcEtSdEtap", dsEtap, "IDETAP", "ETAP");
    Label12 = Caption(gbEtSd, "Куратор", "Label12");
    dblcEtSdUser = Lookup(gbEtSd, "dblcEtSdUser", dsUser, "IDUSER", "NAME");
    rgEtBegin = Radio(gbEtSd, "rgEtBegin", "Начало");
    dblcEtPlan = Radio(gbEtSd, "dblcEtPlan", "План");
    dblcEtEnd = Radio(gbEtSd, "dblcEtEnd", "Завершение");
    rgEtBegin->setChecked(true);
    bgEtDate = Exclusive(this, {rgEtBegin, dblcEtPlan, dblcEtEnd});
    deEtFrom = DateEdit(gbEtSd, "deEtFrom");
    deEtTo = DateEdit(gbEtSd, "deEtTo");
    rbEtSdAny = Radio(gbEtSd, "rbEtSdAny", "Любой");
    rbEtSdOpen = Radio(gbEtSd, "rbEtSdOpen", "Открытый");
    rbEtSdClose = Radio(gbEtSd, "rbEtSdClose", "Закрытый");
    rbEtSdAny->setChecked(true);
    bgEtSd = Exclusive(this, {rbEtSdAny, rbEtSdOpen, rbEtSdClose});
    es->addWidget(Caption(gbEtSd, "Этап"), 0, 0);
    es->addWidget(dblcEtSdEtap, 0, 1);
    es->addWidget(Label12, 0, 2);
    es->addWidget(dblcEtSdUser, 0, 3);
    es->addWidget(Caption(gbEtSd, "Дата"), 1, 0);
    Row(es, 1, 1, 3, {rgEtBegin, dblcEtPlan, dblcEtEnd});
    Row(es, 2, 1, 3, {Caption(gbEtSd, "с"), deEtFrom, Caption(gbEtSd, "по"), deEtTo});
    Row(es, 3, 1, 3, {rbEtSdAny, rbEtSdOpen, rbEtSdClose});
    es->setColumnStretch(4, 1);
    et->addWidget(gbEtSd);

    gbEtEt = new QGroupBox("Условия этапов", tsZapEtaps);
    gbEtEt->setObjectName("gbEtEt");
    auto* ee = new QGridLayout(gbEtEt);
    dblcEtEtEtap = Lookup(gbEtEt, "dblcEtEtEtap", dsEtap, "IDETAP", "ETAP");
    Label14 = Caption(gbEtEt, "Куратор", "Label14");
    dblcEtEtUser = Lookup(gbEtEt, "dblcEtEtUser", dsUser, "IDUSER", "NAME");
    rbEtEtAny = Radio(gbEtEt, "rbEtEtAny", "Любой");
    rbEtEtOpen = Radio(gbEtEt, "rbEtEtOpen", "Открытый");
    rbEtEtClose = Radio(gbEtEt, "rbEtEtClose", "Закрытый");
    rbEtEtAny->setChecked(true);
    bgEtEt = Exclusive(this, {rbEtEtAny, rbEtEtOpen, rbEtEtClose});
    ee->addWidget(Caption(gbEtEt, "Этап"), 0, 0);
    ee->addWidget(dblcEtEtEtap, 0, 1);
    ee->addWidget(Label14, 0, 2);
    ee->addWidget(dblcEtEtUser, 0, 3);
    Row(ee, 1, 1, 3, {rbEtEtAny, rbEtEtOpen, rbEtEtClose});
    ee->setColumnStretch(4, 1);
    et->addWidget(gbEtEt);
    et->addStretch();
    pcZapros->addTab(tsZapEtaps, "Этапы");

    // "Товары"
    tsZapTovar = new QWidget(pcZapros);
    tsZapTovar->setObjectName("tsZapTovar");
    auto* tv = new QVBoxLayout(tsZapTovar);
    gbTovar = new QGroupBox("Товар", tsZapTovar);
    gbTovar->setObjectName("gbTovar");
    auto* gt = new QGridLayout(gbTovar);
    cbGrTovar = Lookup(gbTovar, "cbGrTovar", dm ? &dm->dsGrTovar : nullptr, "IDGRTOVAR", "GRTOVAR");
    cbTovar = Lookup(gbTovar, "cbTovar", &dsTovar, "IDTOVAR", "TOVAR");
    gt->addWidget(Caption(gbTovar, "Группа"), 0, 0);
    gt->addWidget(cbGrTovar, 0, 1);
    gt->addWidget(Caption(gbTovar, "Товар"), 1, 0);
    gt->addWidget(cbTovar, 1, 1);
    gt->setColumnStretch(2, 1);
    tv->addWidget(gbTovar);
    tv->addStretch();
    pcZapros->addTab(tsZapTovar, "Товары");

    // A click on a "Куратор" label picks the current user (see eventFilter).
    for (QLabel* l : {Label7, Label12, Label14}) l->setCursor(Qt::PointingHandCursor);

    connect(tbZapros, &QToolButton::clicked, this, fw::guarded([this] { tbZaprosClick(); }));
    connect(tbCrear, &QToolButton::clicked, this, fw::guarded([this] { tbCrearClick(); }));
    connect(tbKolvo, &QToolButton::clicked, this, fw::guarded([this] { tbKolvoClick(); }));
    connect(tbGoToKar, &QToolButton::clicked, this, fw::guarded([this] { tbGoToKarClick(); }));
    connect(tbExport, &QToolButton::clicked, this, fw::guarded([this] { tbExportClick(); }));
    connect(pcMain, &QTabWidget::currentChanged, this, fw::guarded([this](int index) {
                if (pcMain->widget(index) == tsZapros) tsZaprosShow();
            }));
    for (fw::DBLookupCombo* c : LookupCombos()) {
        c->setMaximumWidth(280);   // the filters keep to a readable width in a wide window
        connect(c, &fw::DBLookupCombo::keyDown, this, [this, c](QKeyEvent* e, bool* handled) {
            if (e->key() != Qt::Key_Escape) return;
            dblcDogKeyPress(c, e->key());
            *handled = true;
        });
    }
    for (fw::DBLookupCombo* c : {dblcSdPrichina, dblcSdType, cbGrTovar})
        connect(c, &fw::DBLookupCombo::activated, this, fw::guarded([this, c] { dblcSdPrichinaClick(c); }));

    // Key preview: the window sees Enter before the control that has the focus.
    qApp->installEventFilter(this);

    FormCreate();
}

TfmMSdelka::~TfmMSdelka()
{
    // The controls go before the queries and sources they show.
    qApp->removeEventFilter(this);
    for (QWidget* w : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) delete w;
    FormDestroy();
}

// Wide enough for the title; the long texts get a fixed share of the screen
// instead of their full declared length.
void TfmMSdelka::FitColumns()
{
    static const QStringList wide{"COMPANY", "NAME", "NOTE", "NOTE_1", "SALESCOMPANY"};
    const QFontMetrics fm(dbg->font());
    for (int i = 0; i < dbg->columnCount(); ++i) {
        fw::GridColumn c = dbg->column(i);
        c.width = wide.contains(c.fieldName) ? 180 : std::clamp(fm.horizontalAdvance(dbg->columnTitle(i)) + 16, 70, 160);
        dbg->setColumn(i, c);
    }
}

QList<fw::DBLookupCombo*> TfmMSdelka::LookupCombos() const
{
    return findChildren<fw::DBLookupCombo*>();
}

void TfmMSdelka::DefineResultFields()
{
    if (!dm) return;
    AddLookups(qrySdelka, SdelkaLookups("IDUSER", "IDETAP"));
    AddLookups(qryEtaps, {{"EtEtap", "IDETAP", &Tdm::qryEtap, "IDETAP", "ETAP"},
                          {"EtUser", "IDUSER", &Tdm::qryUser, "IDUSER", "NAME"}});
    AddLookups(qryEtaps, SdelkaLookups("IDUSER_1", "IDETAP_1"));
    // The goods name comes with the goods line: "-" when its goods item is missing.
    AddLookups(qrySales, {{"GrTovar", "IDGRTOVAR", &Tdm::qryGrTovar, "IDGRTOVAR", "GRTOVAR"}});
    AddLookups(qrySales, SdelkaLookups("IDUSER_1", "IDETAP"));
}

fw::Query& TfmMSdelka::ResultQuery(int regim)
{
    switch (regim) {
    case TSdelkaSearch::Etapy: return qryEtaps;
    case TSdelkaSearch::Tovary: return qrySales;
    default: return qrySdelka;
    }
}

fw::DataSource& TfmMSdelka::ResultSource(int regim)
{
    switch (regim) {
    case TSdelkaSearch::Etapy: return dsEtaps;
    case TSdelkaSearch::Tovary: return dsSales;
    default: return dsSdelka;
    }
}

void TfmMSdelka::FormCreate()
{
    pcZapros->setCurrentWidget(tsZapSdelka);
    pcMain->setCurrentWidget(tsZapros);
    tbExport->setEnabled(UserRights && UserRights->IsGranted(CurrentUser.IdUser, 1055));
}

void TfmMSdelka::FormActivate()
{
    const bool klient = KlientWindowExists();
    const bool haveCust = klient && KlientSets().qryCust->active() && !KlientSets().qryCust->isEmpty();
    cbCurrent->setEnabled(haveCust);
    if (!haveCust) cbCurrent->setChecked(false);

    // The contract list is the clients module's; without it there is nothing to show.
    fw::DataSource* dogs = klient ? KlientSets().dsDog : nullptr;
    if (dblcDog->listSource() != dogs) dblcDog->setListSource(dogs);
    const fw::Value dog = dblcDog->keyValue();
    const bool keep = klient && KlientSets().qryDog->active() && !KlientSets().qryDog->isEmpty() && !dog.isNull()
                      && KlientSets().qryDog->locate("idDog", dog);
    if (!keep) dblcDog->setKeyValue(fw::Value());
}

void TfmMSdelka::tsZaprosShow()
{
    for (fw::Query* q : {&qryPrichina2, &qryOtkaz, &qryTovar}) q->open();
    if (!dm) return;
    for (fw::Query* q : {&dm->qryUser, &dm->qrySdStatus, &dm->qryPrichina, &dm->qrySdType, &dm->qryEtap,
                         &dm->qryGrTovar})
        q->open();
}

void TfmMSdelka::OpenLookupLists()
{
    for (fw::Query* q : {&dm->qryUser, &dm->qrySdStatus, &dm->qryPrichina, &dm->qryPrichina2, &dm->qrySdType,
                         &dm->qryOtkaz, &dm->qryEtap, &dm->qryGrTovar, &dm->qryTovar})
        q->open();
}

TSdelkaSearch TfmMSdelka::SearchFilter() const
{
    TSdelkaSearch f;
    f.Regim = rgRegim->itemIndex() < 0 ? 0 : rgRegim->itemIndex();
    f.RecFilter = GetRecFilter();
    if (cbCurrent->isChecked() && KlientWindowExists() && !KlientSets().qryCust->isEmpty())
        f.IdCust = KlientSets().qryCust->fieldByName("IDCUST").asInteger();
    f.IdDog = KeyOf(dblcDog);
    f.Name = edSdName->text();
    f.IdUser = KeyOf(dblcSdUser);
    f.IdSdelkaSt = KeyOf(dblcSdStatus);
    f.IdPrichina = KeyOf(dblcSdPrichina);
    f.IdPrichina2 = KeyOf(dblcSdPrichina2);
    f.SdDateColumn = rgSdOplata->isChecked() ? TSdelkaSearch::SdOplata
                   : rgSdEnd->isChecked()    ? TSdelkaSearch::SdEnd
                                             : TSdelkaSearch::SdBegin;
    f.SdFrom = deSdDateFrom->Date();
    f.SdTo = deSdDateTo->Date();
    f.IdSdelkaType = KeyOf(dblcSdType);
    f.IdOtkaz = KeyOf(dblcSdOtkaz);
    f.PlanNotFact = cbPlanFact->isChecked();

    f.EtSdEtap = KeyOf(dblcEtSdEtap);
    f.EtSdUser = KeyOf(dblcEtSdUser);
    f.EtDateColumn = dblcEtPlan->isChecked() ? TSdelkaSearch::EtPlan
                   : dblcEtEnd->isChecked()  ? TSdelkaSearch::EtEnd
                                             : TSdelkaSearch::EtBegin;
    f.EtFrom = deEtFrom->Date();
    f.EtTo = deEtTo->Date();
    f.EtSdState = rbEtSdOpen->isChecked()  ? TSdelkaSearch::Open
                : rbEtSdClose->isChecked() ? TSdelkaSearch::Closed
                                           : TSdelkaSearch::Any;

    f.EtEtEtap = KeyOf(dblcEtEtEtap);
    f.EtEtUser = KeyOf(dblcEtEtUser);
    f.EtEtState = rbEtEtOpen->isChecked()  ? TSdelkaSearch::Open
                : rbEtEtClose->isChecked() ? TSdelkaSearch::Closed
                                           : TSdelkaSearch::Any;

    f.IdGrTovar = KeyOf(cbGrTovar);
    f.IdTovar = KeyOf(cbTovar);
    return f;
}

void TfmMSdelka::tbZaprosClick()
{
    if (fw::DataSet* shown = dbg->dataSet()) shown->close();
    // The clients window may have gone or moved since the last activation.
    FormActivate();
    const TSdelkaSearch f = SearchFilter();
    fw::Query& q = ResultQuery(f.Regim);
    q.close();
    q.setSql(SdelkaSearchSql(f));
    if (dm) OpenLookupLists();
    q.open();

    pcMain->setTabText(pcMain->indexOf(tsList), "Список");
    fw::DataSource& ds = ResultSource(f.Regim);
    dbg->setDataSource(&ds);
    dbg->setColumns(f.Regim == TSdelkaSearch::Etapy    ? EtapsColumns()
                    : f.Regim == TSdelkaSearch::Tovary ? SalesColumns()
                                                       : SdelkaColumns());
    DBNavigator1->setDataSource(&ds);
    if (dm) SetColumnTitles(dbg);
    FitColumns();
    pcMain->setCurrentWidget(tsList);
}

void TfmMSdelka::tbCrearClick()
{
    ClearPageControl(pcMain);
    ClearPageControl(pcZapros);
    rbEtSdAny->setChecked(true);
    rbEtEtAny->setChecked(true);
    // The dependent lists show everything again, as their masters are blank now.
    qryPrichina2.setFilter("");
    qryOtkaz.setFilter("");
    qryTovar.setFilter("");
}

bool TfmMSdelka::FormKeyDown(int key)
{
    if (!IsEnter(key) || pcMain->currentWidget() != tsZapros || !NoDropDownActive(this)) return false;
    fw::runGuarded([this] { tbZaprosClick(); });
    return true;
}

void TfmMSdelka::dblcDogKeyPress(fw::DBLookupCombo* sender, int key)
{
    // ClearOnEsc runs the combo's click handlers, which cascade the pick lists.
    ClearOnEsc(sender, key);
}

void TfmMSdelka::dblcSdPrichinaClick(fw::DBLookupCombo* sender)
{
    const auto filter = [sender](const char* column) {
        const fw::Value id = sender->keyValue();
        return id.isNull() ? QString() : QString::fromUtf8(column) + "=" + QString::number(id.asInt());
    };
    if (sender == dblcSdPrichina)
        qryPrichina2.setFilter(filter("idPrichina"));
    else if (sender == dblcSdType)
        qryOtkaz.setFilter(filter("idSdelkaType"));
    else if (sender == cbGrTovar)
        qryTovar.setFilter(filter("idGrTovar"));
}

void TfmMSdelka::Label7Click()
{
    dblcSdUser->setKeyValue(CurrentUser.IdUser);
}

void TfmMSdelka::Label12Click()
{
    dblcEtSdUser->setKeyValue(CurrentUser.IdUser);
}

void TfmMSdelka::Label14Click()
{
    dblcEtEtUser->setKeyValue(CurrentUser.IdUser);
}

void TfmMSdelka::tbKolvoClick()
{
    fw::DataSet* ds = dbg->dataSet();
    if (!ds) return;
    pcMain->setTabText(pcMain->indexOf(tsList), QString("Список (%1)").arg(ds->recordCount()));
}

void TfmMSdelka::tbGoToKarClick()
{
    fw::DataSet* ds = dbg->dataSet();
    if (!ds || ds->isEmpty()) return;
    GoToKarFromList(ds->fieldByName("IDCUST").asInteger(), ds->fieldByName("IDSDELKA").asInteger(), 0, "tsSdelka");
}

void TfmMSdelka::tbExportClick()
{
    ExportDBGrid(dbg, "Сделки");
}

void TfmMSdelka::FormClose()
{
    setAttribute(Qt::WA_DeleteOnClose);
}

void TfmMSdelka::FormDestroy()
{
    if (fmMSdelka == this) fmMSdelka = nullptr;
}

void TfmMSdelka::WatchSubWindow()
{
    auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget());
    if (!sub || sub == watchedSubWindow_) return;
    watchedSubWindow_ = sub;
    connect(sub, &QMdiSubWindow::aboutToActivate, this, fw::guarded([this] { FormActivate(); }));
}

bool TfmMSdelka::event(QEvent* e)
{
    switch (e->type()) {
    case QEvent::WindowActivate:
        fw::runGuarded([this] { FormActivate(); });
        break;
    case QEvent::ParentChange:
        WatchSubWindow();
        break;
    default:
        break;
    }
    return QWidget::event(e);
}

void TfmMSdelka::showEvent(QShowEvent* e)
{
    WatchSubWindow();
    fw::runGuarded([this] { FormActivate(); });
    QWidget::showEvent(e);
}

void TfmMSdelka::closeEvent(QCloseEvent* e)
{
    FormClose();
    QWidget::closeEvent(e);
}

bool TfmMSdelka::eventFilter(QObject* watched, QEvent* e)
{
    if (e->type() == QEvent::MouseButtonPress) {
        if (watched == Label7) Label7Click();
        else if (watched == Label12) Label12Click();
        else if (watched == Label14) Label14Click();
    } else if (e->type() == QEvent::KeyPress) {
        auto* w = qobject_cast<QWidget*>(watched);
        auto* key = static_cast<QKeyEvent*>(e);
        if (w && (w == this || isAncestorOf(w)) && FormKeyDown(key->key())) return true;
    }
    return QWidget::eventFilter(watched, e);
}
