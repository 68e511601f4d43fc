#include "deals/fmSdelka.h"

#include "controls/CalcEdit.h"
#include "controls/DBCalcEdit.h"
#include "controls/DBDateEdit.h"
#include "controls/SpeedButton.h"
#include "core/FormParts.h"
#include "core/ModuleWindows.h"
#include "core/SharedProcs.h"
#include "core/Users.h"
#include "core/dm.h"
#include "deals/dmKlSd.h"
#include "deals/fmSdOplata.h"
#include "deals/fmSdTovar.h"
#include "deals/fmSdelkaEnd.h"
#include "deals/Plugin1C.h"

#include "widgets/DBControls.h"
#include "widgets/DBGrid.h"
#include "widgets/DBLookupCombo.h"
#include "widgets/DBNavigator.h"
#include "widgets/Dialogs.h"
#include "widgets/ExceptionHandler.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTime>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <memory>
#include <utility>

QPointer<TfmSdelka> fmSdelka;

// --- the money triple

void RecalcValutaValues(TValuta changed, TValuta held, fw::Currency& v1, fw::Currency& v2, fw::Currency& kurs)
{
    const auto quotient = [](fw::Currency a, fw::Currency b) { return b.isZero() ? fw::Currency() : a / b; };
    switch (changed) {
    case TValuta::V1:
        if (held == TValuta::V2) kurs = quotient(v1, v2);
        else v2 = quotient(v1, kurs);
        break;
    case TValuta::V2:
        if (held == TValuta::Kurs) v1 = v2 * kurs;
        else kurs = quotient(v1, v2);
        break;
    case TValuta::Kurs:
        if (held == TValuta::V1) v2 = quotient(v1, kurs);
        else v1 = v2 * kurs;
        break;
    }
}

TValuta ValutaEnterHold(TValuta entered, TValuta held, fw::Currency v1, fw::Currency v2, fw::Currency kurs)
{
    switch (entered) {
    case TValuta::V1:
        if (v2.isZero()) return TValuta::Kurs;
        return held == TValuta::V1 ? TValuta::V2 : held;
    case TValuta::V2:
        if (kurs.isZero()) return TValuta::V1;
        return held == TValuta::V2 ? TValuta::Kurs : held;
    case TValuta::Kurs:
        if (v1.isZero()) return TValuta::V2;
        return held == TValuta::Kurs ? TValuta::V1 : held;
    }
    return held;
}

namespace {

struct Triple {
    TCustomNumEdit* edits[3];
    TBrSpeedButton* holds[3];

    TValuta held() const
    {
        if (holds[0]->Down()) return TValuta::V1;
        if (holds[1]->Down()) return TValuta::V2;
        return TValuta::Kurs;
    }
    TValuta of(const TCustomNumEdit* e) const
    {
        return e == edits[0] ? TValuta::V1 : e == edits[1] ? TValuta::V2 : TValuta::Kurs;
    }
    // A value set by code; a bound edit hands it to its field as typing would.
    static void put(TCustomNumEdit* e, fw::Currency v)
    {
        e->SetValue(v);
        if (auto* bound = qobject_cast<TBrDBCalcEdit*>(e); bound && bound->DataLink()->editing())
            bound->StoreToField();
    }
};

QDateTime Today()
{
    return QDateTime(GetServerDate().date(), QTime(0, 0));
}

bool Editing(const fw::DataSet& ds)
{
    return ds.state() == fw::DataSetState::Edit || ds.state() == fw::DataSetState::Insert;
}

void FormatNumbers(fw::DataSet& ds, const QStringList& money, const QStringList& dates)
{
    for (const QString& name : money)
        if (fw::Field* f = ds.findField(name))
            f->setDisplayFormat(name == "KOLVO" ? ",0.###" : ",0.00");
    for (const QString& name : dates)
        if (fw::Field* f = ds.findField(name)) f->setDisplayFormat("dd.MM.yyyy");
}

} // namespace

void TfmSdelka::RecalcValuta(TCustomNumEdit* changed, TCustomNumEdit* v1, TCustomNumEdit* v2, TCustomNumEdit* kurs,
                             TBrSpeedButton* hold1, TBrSpeedButton* hold2, TBrSpeedButton* holdKurs)
{
    const Triple t{{v1, v2, kurs}, {hold1, hold2, holdKurs}};
    fw::Currency a = v1->Value(), b = v2->Value(), k = kurs->Value();
    const fw::Currency a0 = a, b0 = b, k0 = k;
    RecalcValutaValues(t.of(changed), t.held(), a, b, k);
    if (a != a0) Triple::put(v1, a);
    if (b != b0) Triple::put(v2, b);
    if (k != k0) Triple::put(kurs, k);
}

void TfmSdelka::ValutaEnter(TCustomNumEdit* entered, TCustomNumEdit* v1, TCustomNumEdit* v2, TCustomNumEdit* kurs,
                            TBrSpeedButton* hold1, TBrSpeedButton* hold2, TBrSpeedButton* holdKurs)
{
    const Triple t{{v1, v2, kurs}, {hold1, hold2, holdKurs}};
    const TValuta held = t.held();
    const TValuta next = ValutaEnterHold(t.of(entered), held, v1->Value(), v2->Value(), kurs->Value());
    if (next != held) t.holds[int(next)]->SetDown(true);
}

void TfmSdelka::HoldClick(TBrSpeedButton* pressed, TCustomNumEdit* v1, TCustomNumEdit* v2, TCustomNumEdit* kurs,
                          TBrSpeedButton* hold1, TBrSpeedButton* hold2, TBrSpeedButton* holdKurs)
{
    const Triple t{{v1, v2, kurs}, {hold1, hold2, holdKurs}};
    for (int i = 0; i < 3; ++i)
        if (pressed == t.holds[i] && t.edits[i]->hasFocus()) {
            t.edits[(i + 1) % 3]->setFocus(Qt::OtherFocusReason);
            return;
        }
}

// --- the card

TfmSdelka::TfmSdelka(QWidget* owner) : QDialog(owner)
{
    setObjectName("fmSdelka");
    setWindowTitle("Сделка");
    fmSdelka = this;
    // The module comes first: every control of the card is bound to it.
    if (!dmKlSd) new TdmKlSd;
    dmKlSd->SdelkaCancelled = [this] { dblcPrichinaClick(); };
    // Fields keep their formats across reopening; set before any control shows them.
    FormatNumbers(dmKlSd->qrySdelka, {"OPLATRP", "OPLATDP", "OPLATRF", "OPLATDF"}, {});
    FormatNumbers(dmKlSd->qryEtaps, {}, {"DATEBEGIN", "DATEPLAN", "DATEFACT"});
    FormatNumbers(dmKlSd->qrySales, {"KOLVO", "SUMMARP", "SUMMARF", "SUMMADP", "SUMMADF", "KURS"}, {});
    FormatNumbers(dmKlSd->qryOplata, {"SUMMAR", "SUMMAD", "KURS"}, {"DATEOPL"});
    // The deal's fields as the card names them, for the messages about them (a conflict).
    const std::pair<const char*, const char*> dealLabels[] = {
        {"NAME", "Название"}, {"IDUSER", "Куратор"}, {"IDSDELKATYPE", "Тип"}, {"DATE_BEGIN", "Начало"},
        {"DATE_END", "Окончание"}, {"IDPRICHINA", "Причина"}, {"IDPRICHINA2", "Причина2"}, {"IDDOG", "Договор"},
        {"NOSCHET", "Счет №"}, {"NONAKL", "Накладная №"}, {"NOSCHETF", "Счет-фактура №"},
        {"DATESCHET", "Дата счета"}, {"DATENAKL", "Дата накладной"}, {"DATESCHETF", "Дата счета-ф."}};
    for (const auto& [name, label] : dealLabels)
        if (fw::Field* f = dmKlSd->qrySdelka.findField(name)) f->setDisplayLabel(label);

    auto* root = new QVBoxLayout(this);
    pcMain = new QTabWidget(this);
    pcMain->setObjectName("pcMain");
    root->addWidget(pcMain, 1);
    BuildAbout();
    BuildEtaps();
    BuildTovar();

    btnOK = new QPushButton("OK", this);
    btnOK->setObjectName("btnOK");
    btnOK->setDefault(true);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(btnOK);
    root->addLayout(bottom);
    resize(840, 540);

    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(pcMain, &QTabWidget::currentChanged, this, fw::guarded([this] { pcMainChange(); }));

    FormCreate();
}

void TfmSdelka::BuildAbout()
{
    fw::DataSource* sd = &dmKlSd->dsSdelka;
    tsAbout = Page(pcMain, "tsAbout", "О сделке");
    auto* about = new QGridLayout(tsAbout);

    gbSdelka = Group(tsAbout, "gbSdelka", "Сделка");
    auto* sdelka = new QGridLayout(gbSdelka);
    dbedName = FieldEdit(gbSdelka, "dbedName", sd, "NAME");
    dblcUser = LookupCombo(gbSdelka, "dblcUser", &dm->dsUser, "IDUSER", "NAME", sd, "IDUSER");
    dblcSdType = LookupCombo(gbSdelka, "dblcSdType", &dm->dsSdType, "IDSDELKATYPE", "SDELKATYPE", sd, "IDSDELKATYPE");
    dblcStatus = LookupCombo(gbSdelka, "dblcStatus", &dm->dsSdStatus, "IDSDELKA_ST", "SDELKA_ST", sd, "IDSDELKA_ST");
    dblcStatus->setEnabled(false);
    FormField(sdelka, gbSdelka, 0, 0, "Название", dbedName);
    FormField(sdelka, gbSdelka, 1, 0, "Куратор", dblcUser);
    FormField(sdelka, gbSdelka, 2, 0, "Тип", dblcSdType);
    FormField(sdelka, gbSdelka, 3, 0, "Статус", dblcStatus);
    sdelka->setColumnStretch(1, 1);

    gbPeriod = Group(tsAbout, "gbPeriod", "Период");
    auto* period = new QGridLayout(gbPeriod);
    dbdeSdBegin = FieldDateEdit(gbPeriod, "dbdeSdBegin", sd, "DATE_BEGIN");
    dbdeSdEnd = FieldDateEdit(gbPeriod, "dbdeSdEnd", sd, "DATE_END");
    FormField(period, gbPeriod, 0, 0, "Начало", dbdeSdBegin);
    FormField(period, gbPeriod, 1, 0, "Окончание", dbdeSdEnd);
    period->setColumnStretch(1, 1);

    // The totals are the database's: shown, never typed.
    gbSumma = Group(tsAbout, "gbSumma", "Сумма");
    auto* summa = new QGridLayout(gbSumma);
    lbValuta1 = Caption(gbSumma, QString(), "lbValuta1");
    lbValuta2 = Caption(gbSumma, QString(), "lbValuta2");
    for (QLabel* l : {lbValuta1, lbValuta2}) l->setAlignment(Qt::AlignCenter);
    const auto total = [&](const char* name, const char* field) {
        fw::DBEdit* e = FieldEdit(gbSumma, name, sd, field);
        e->setReadOnly(true);
        e->setAlignment(Qt::AlignRight);
        return e;
    };
    dbeOplatRP = total("dbeOplatRP", "OPLATRP");
    dbeOplatDP = total("dbeOplatDP", "OPLATDP");
    dbeOplatRF = total("dbeOplatRF", "OPLATRF");
    dbeOplatDF = total("dbeOplatDF", "OPLATDF");
    summa->addWidget(lbValuta1, 0, 1);
    summa->addWidget(lbValuta2, 0, 2);
    FormField(summa, gbSumma, 1, 0, "План", dbeOplatRP);
    summa->addWidget(dbeOplatDP, 1, 2);
    FormField(summa, gbSumma, 2, 0, "Факт", dbeOplatRF);
    summa->addWidget(dbeOplatDF, 2, 2);
    summa->setColumnStretch(1, 1);
    summa->setColumnStretch(2, 1);

    gbPrichina = Group(tsAbout, "gbPrichina", "Причина");
    auto* prichina = new QVBoxLayout(gbPrichina);
    dblcPrichina =
        LookupCombo(gbPrichina, "dblcPrichina", &dmKlSd->dsPrichina, "IDPRICHINA", "PRICHINA", sd, "IDPRICHINA");
    dblcPrichina2 =
        LookupCombo(gbPrichina, "dblcPrichina2", &dmKlSd->dsPrichina2, "IDPRICHINA2", "PRICHINA2", sd, "IDPRICHINA2");
    prichina->addWidget(dblcPrichina);
    prichina->addWidget(dblcPrichina2);

    gbDog = Group(tsAbout, "gbDog", "Договор");
    auto* dog = new QVBoxLayout(gbDog);
    dblcDog = LookupCombo(gbDog, "dblcDog", KlientSets().dsDog, "IDDOG", "DOGNUMBER", sd, "IDDOG");
    dblcDog->setToolTip("Esc - отвязать договор");
    dog->addWidget(dblcDog);

    gbDocs = Group(tsAbout, "gbDocs", "Документы");
    auto* docs = new QGridLayout(gbDocs);
    dbedSchetNo = FieldEdit(gbDocs, "dbedSchetNo", sd, "NOSCHET");
    dbedNaklNo = FieldEdit(gbDocs, "dbedNaklNo", sd, "NONAKL");
    dbedSchetFNo = FieldEdit(gbDocs, "dbedSchetFNo", sd, "NOSCHETF");
    dbedSchetDate = FieldDateEdit(gbDocs, "dbedSchetDate", sd, "DATESCHET");
    dbedNaklDate = FieldDateEdit(gbDocs, "dbedNaklDate", sd, "DATENAKL");
    dbedSchetFDate = FieldDateEdit(gbDocs, "dbedSchetFDate", sd, "DATESCHETF");
    docs->addWidget(new QLabel("Номер", gbDocs), 0, 1);
    docs->addWidget(new QLabel("Дата", gbDocs), 0, 2);
    FormField(docs, gbDocs, 1, 0, "Счет", dbedSchetNo);
    docs->addWidget(dbedSchetDate, 1, 2);
    FormField(docs, gbDocs, 2, 0, "Накладная", dbedNaklNo);
    docs->addWidget(dbedNaklDate, 2, 2);
    FormField(docs, gbDocs, 3, 0, "Счет-фактура", dbedSchetFNo);
    docs->addWidget(dbedSchetFDate, 3, 2);
    // The plug-in makes or finds each document.
    const auto docButton = [&](int row, const char* name, const QString& hint) {
        auto* b = new QPushButton("1C", gbDocs);
        b->setObjectName(name);
        b->setToolTip(hint);
        b->setFixedWidth(b->fontMetrics().horizontalAdvance("1C") + 20);
        docs->addWidget(b, row, 3);
        return b;
    };
    sbSchet1C = docButton(1, "sbSchet1C", "Создать/найти счет в 1С");
    sbNakl1C = docButton(2, "sbNakl1C", "Создать/найти накладную в 1С");
    sbSchetF1C = docButton(3, "sbSchetF1C", "Создать/найти счет-фактуру в 1С");
    docs->setColumnStretch(1, 1);

    dbnSdelka = Navigator(tsAbout, "dbnSdelka", sd, fw::DBNavigator::Button::Post | fw::DBNavigator::Button::Cancel,
                          "Запомнить изменения", "Отменить изменения");
    tbOtkaz = new QPushButton("Завершить сделку", tsAbout);
    tbOtkaz->setObjectName("tbOtkaz");
    auto* actions = new QHBoxLayout;
    actions->addWidget(dbnSdelka);
    actions->addStretch(1);
    actions->addWidget(tbOtkaz);

    about->addWidget(gbSdelka, 0, 0);
    about->addWidget(gbPrichina, 0, 1);
    about->addWidget(gbPeriod, 1, 0);
    about->addWidget(gbDog, 1, 1);
    about->addWidget(gbSumma, 2, 0);
    about->addWidget(gbDocs, 2, 1);
    about->addLayout(actions, 3, 0, 1, 2);
    about->setRowStretch(4, 1);
    about->setColumnStretch(0, 1);
    about->setColumnStretch(1, 1);

    connect(dblcPrichina, &fw::DBLookupCombo::activated, this, fw::guarded([this] { dblcPrichinaClick(); }));
    connect(dblcDog, &fw::DBLookupCombo::keyDown, this, [this](QKeyEvent* e, bool* handled) {
        if (e->key() != Qt::Key_Escape) return;
        *handled = true;
        fw::runGuarded([this, e] { dblcDogKeyDown(e->key()); });
    });
    connect(tbOtkaz, &QPushButton::clicked, this, fw::guarded([this] { tbOtkazClick(); }));
    connect(sbSchet1C, &QPushButton::clicked, this, fw::guarded([this] { sbSchet1CClick(); }));
    connect(sbNakl1C, &QPushButton::clicked, this, fw::guarded([this] { sbNakl1CClick(); }));
    connect(sbSchetF1C, &QPushButton::clicked, this, fw::guarded([this] { sbSchetF1CClick(); }));
}

void TfmSdelka::BuildEtaps()
{
    tsEtaps = Page(pcMain, "tsEtaps", "Этапы");
    auto* etaps = new QVBoxLayout(tsEtaps);
    tbrEtaps = new QToolBar(tsEtaps);
    tbrEtaps->setObjectName("tbrEtaps");
    tbAddEtap = AddToolButton(tbrEtaps, "tbAddEtap", "Добавить этап", 0);
    tbDelEtap = AddToolButton(tbrEtaps, "tbDelEtap", "Удалить этап", 2);
    tbEtapToHist = AddToolButton(tbrEtaps, "tbEtapToHist", "Добавить комментарий в историю");
    using Col = fw::GridColumn;
    dbgEtaps = Grid(tsEtaps, "dbgEtaps", &dmKlSd->dsEtaps,
                    {{"Etap", "Этап", 160},
                     {"User", "Куратор", 120},
                     {"DATEBEGIN", "Дата начала", 90, {}, true, false, Col::Button::Ellipsis},
                     {"DATEPLAN", "Дата план", 90, {}, true, false, Col::Button::Ellipsis},
                     {"DATEFACT", "Дата окончания", 115, {}, true, false, Col::Button::Ellipsis},
                     {"NOTE", "Комментарий", 260}});
    etaps->addWidget(tbrEtaps);
    etaps->addWidget(dbgEtaps, 1);

    connect(tbAddEtap, &QToolButton::clicked, this, fw::guarded([this] { tbAddEtapClick(); }));
    connect(tbDelEtap, &QToolButton::clicked, this, fw::guarded([this] { tbDelEtapClick(); }));
    connect(tbEtapToHist, &QToolButton::clicked, this, fw::guarded([this] { tbEtapToHistClick(); }));
    connect(dbgEtaps, &fw::DBGrid::editButtonClicked, this, fw::guarded([this] { dbgEtapsEditButtonClick(); }));
}

void TfmSdelka::BuildTovar()
{
    tsTovar = Page(pcMain, "tsTovar", "Товар и оплата");
    auto* tovar = new QVBoxLayout(tsTovar);
    tbrSales = new QToolBar(tsTovar);
    tbrSales->setObjectName("tbrSales");
    tbAddTovar = AddToolButton(tbrSales, "tbAddTovar", "Добавить товар", 0);
    tbEditTovar = AddToolButton(tbrSales, "tbEditTovar", "Редактировать товар", 1);
    tbDelTovar = AddToolButton(tbrSales, "tbDelTovar", "Удалить товар", 2);
    // The money and flag columns are titled from the settings row when the card is created.
    dbgSales = Grid(tsTovar, "dbgSales", &dmKlSd->dsSales,
                    {{"Tovar", "Товар", 160}, {"KOLVO", "Количество", 80}, {"SUMMARP", "", 125},
                     {"SUMMARF", "", 125}, {"SUMMADP", "", 125}, {"SUMMADF", "", 125}, {"KURS", "Курс", 80},
                     {"BACK", "Возврат", 55}, {"UCHEB", "Признак1", 70}, {"UPGRADE", "Признак2", 70},
                     {"SERNUMINT", "Номер отгрузки", 100}, {"NOTE", "Комментарий", 200}});
    tbrOplata = new QToolBar(tsTovar);
    tbrOplata->setObjectName("tbrOplata");
    tbAddOplata = AddToolButton(tbrOplata, "tbAddOplata", "Добавить оплату", 0);
    tbEditOplata = AddToolButton(tbrOplata, "tbEditOplata", "Редактировать оплату", 1);
    tbDelOplata = AddToolButton(tbrOplata, "tbDelOplata", "Удалить оплату", 2);
    tbMoney1C = AddToolButton(tbrOplata, "tbMoney1C", "Проверить деньги в 1С по счету");
    dbgOplata = Grid(tsTovar, "dbgOplata", &dmKlSd->dsOplata,
                     {{"DATEOPL", "Дата оплаты", 90}, {"SUMMAR", "", 100}, {"SUMMAD", "", 100}, {"KURS", "Курс", 80},
                      {"User", "Фамилия", 150}});
    for (fw::DBGrid* g : {dbgSales, dbgOplata}) {
        g->setReadOnly(true);
        g->setOption(fw::DBGrid::Option::RowSelect);
    }
    tovar->addWidget(tbrSales);
    tovar->addWidget(dbgSales, 3);
    tovar->addWidget(tbrOplata);
    tovar->addWidget(dbgOplata, 2);

    connect(tbAddTovar, &QToolButton::clicked, this, fw::guarded([this] { tbAddTovarClick(); }));
    connect(tbEditTovar, &QToolButton::clicked, this, fw::guarded([this] { tbEditTovarClick(); }));
    connect(tbDelTovar, &QToolButton::clicked, this, fw::guarded([this] { tbDelTovarClick(); }));
    connect(tbAddOplata, &QToolButton::clicked, this, fw::guarded([this] { tbAddOplataClick(); }));
    connect(tbEditOplata, &QToolButton::clicked, this, fw::guarded([this] { tbEditOplataClick(); }));
    connect(tbDelOplata, &QToolButton::clicked, this, fw::guarded([this] { tbDelOplataClick(); }));
    connect(tbMoney1C, &QToolButton::clicked, this, fw::guarded([this] { tbMoney1CClick(); }));
}

TfmSdelka::~TfmSdelka()
{
    Free1CPlugin();
    if (dmKlSd) dmKlSd->SdelkaCancelled = nullptr;
}

void TfmSdelka::FormCreate()
{
    pcMain->setCurrentWidget(tsAbout);
    if (fw::Query* dog = KlientSets().qryDog) dog->open();

    if (!dm->qryMain.active()) dm->qryMain.open();
    lbValuta1->setText(dm->qryMain.fieldByName("VALUTA1").asString());
    lbValuta2->setText(dm->qryMain.fieldByName("VALUTA2").asString());
    SetColumnTitles(dbgSales);
    SetColumnTitles(dbgOplata);

    const bool admin = CurrentUser.IdUser == 0;
    dbdeSdBegin->SetReadOnly(!admin);
    dbdeSdEnd->SetReadOnly(!admin);

    // The lists the combos and the grids' lookup columns show.
    for (fw::Query* q : {&dm->qrySdType, &dm->qrySdStatus, &dm->qryUser, &dm->qryEtap, &dm->qryTovar})
        if (!q->active()) q->open();
    dmKlSd->SalesLinked = true;
}

void TfmSdelka::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    if (!e->spontaneous()) fw::runGuarded([this] { FormShow(); });
}

void TfmSdelka::FormShow()
{
    dblcPrichinaClick();
}

void TfmSdelka::done(int result)
{
    if (closed_) {
        QDialog::done(result);
        return;
    }
    // A pending edit that cannot be written keeps the card open with what was typed.
    if (!fw::runGuarded([this] { FormClose(); })) return;
    closed_ = true;
    QDialog::done(result);
}

void TfmSdelka::FormClose()
{
    for (fw::Query* q : {&dmKlSd->qryEtaps, &dmKlSd->qryOplata, &dmKlSd->qrySales, &dmKlSd->qrySdelka})
        q->close();
}

void TfmSdelka::dblcPrichinaClick()
{
    fw::Query& sdelka = dmKlSd->qrySdelka;
    if (!sdelka.active() || sdelka.isEmpty()) return;
    dmKlSd->qryPrichina2.setFilter(QString("idPrichina=%1").arg(sdelka.fieldByName("IDPRICHINA").asInteger()));
    const fw::Field& second = sdelka.fieldByName("IDPRICHINA2");
    if (dblcPrichina2->text().isEmpty() && second.value() != fw::Value(0)) {
        if (!Editing(sdelka)) sdelka.edit();
        sdelka.fieldByName("IDPRICHINA2").setAsInteger(0);
    }
}

void TfmSdelka::dblcDogKeyDown(int key)
{
    if (key != Qt::Key_Escape) return;
    fw::Query& sdelka = dmKlSd->qrySdelka;
    if (!sdelka.active()) return;
    if (!Editing(sdelka)) sdelka.edit();
    sdelka.fieldByName("IDDOG").clear();
}

void TfmSdelka::pcMainChange()
{
    QWidget* page = pcMain->currentWidget();
    if (page == tsAbout) {
        if (!SdelkaChanged) return;
        fw::Query& sdelka = dmKlSd->qrySdelka;
        sdelka.close();
        sdelka.open();
        SdelkaChanged = false;
    } else if (page == tsEtaps) {
        if (!dmKlSd->qryEtaps.active()) dmKlSd->qryEtaps.open();
        // Wide enough for the stage columns, where the screen has room.
        dbgEtaps->widenWindow(width() - dbgEtaps->width());
    } else if (page == tsTovar) {
        if (!dmKlSd->qrySales.active()) dmKlSd->qrySales.open();
        if (!dmKlSd->qryOplata.active()) dmKlSd->qryOplata.open();
    }
}

void TfmSdelka::tbAddEtapClick()
{
    int id = -1;
    QString text;
    if (!SelectValue(2, id, text, "", "Выбор этапа")) return;
    fw::Query& etaps = dmKlSd->qryEtaps;
    if (!etaps.active()) etaps.open();
    etaps.append();
    etaps.fieldByName("IDETAP").setAsInteger(id);
    etaps.post();
}

void TfmSdelka::tbDelEtapClick()
{
    fw::Query& etaps = dmKlSd->qryEtaps;
    if (etaps.active() && !etaps.isEmpty()) etaps.remove();
}

void TfmSdelka::dbgEtapsEditButtonClick()
{
    fw::Field* f = dbgEtaps->selectedField();
    if (!f || f->type() != fw::FieldType::DateTime) return;
    fw::Query& etaps = dmKlSd->qryEtaps;
    if (!Editing(etaps)) etaps.edit();
    f->setAsDateTime(Today());
}

void TfmSdelka::tbEtapToHistClick()
{
    fw::Query& etaps = dmKlSd->qryEtaps;
    if (!etaps.active() || etaps.isEmpty()) throw fw::UserError("Нет этапов!");
    if (Editing(etaps)) etaps.post();
    const QString note = etaps.fieldByName("NOTE").asString();
    if (note.trimmed().isEmpty()) throw fw::UserError("Комментарий по данному этапу пуст!");
    if (!KlientSets().qryHist) throw fw::UserError("Модуль Клиенты не открыт!");
    fw::Query& hist = *KlientSets().qryHist;
    if (!hist.active()) hist.open();
    hist.first();
    hist.insert();
    hist.fieldByName("NOTE").setAsString(note);
    hist.post();
    fw::dialogs().information("Заметка в историю добавлена");
}

void TfmSdelka::tbAddTovarClick()
{
    dmKlSd->qrySales.append();
    if (ShowTovarDialog()) SdelkaChanged = true;
}

void TfmSdelka::tbEditTovarClick()
{
    fw::Query& sales = dmKlSd->qrySales;
    if (!sales.active() || sales.isEmpty()) return;
    sales.edit();
    if (ShowTovarDialog()) SdelkaChanged = true;
}

bool TfmSdelka::ShowTovarDialog()
{
    std::unique_ptr<TfmSdTovar> dialog(new TfmSdTovar(this));
    return dialog->exec() == QDialog::Accepted;
}

void TfmSdelka::tbDelTovarClick()
{
    fw::Query& sales = dmKlSd->qrySales;
    if (!sales.active() || sales.isEmpty()) return;
    sales.remove();
    SdelkaChanged = true;
}

void TfmSdelka::tbDelOplataClick()
{
    fw::Query& oplata = dmKlSd->qryOplata;
    if (!oplata.active() || oplata.isEmpty()) return;
    oplata.remove();
    RefreshSales();
}

void TfmSdelka::tbAddOplataClick()
{
    SdOplataAdd(*this);
}

void TfmSdelka::tbEditOplataClick()
{
    SdOplataEdit(*this);
}

void TfmSdelka::tbOtkazClick()
{
    std::unique_ptr<TfmSdelkaEnd> dialog(new TfmSdelkaEnd(this));
    fw::Query& sdelka = dmKlSd->qrySdelka;
    if (Editing(sdelka)) sdelka.post();
    sdelka.edit();
    if (dialog->exec() == QDialog::Accepted) sdelka.post();
    else sdelka.cancel();
}

void TfmSdelka::RefreshSales()
{
    // The goods lines and, while linked, the current line's payments are read
    // once each, in one transaction, not again at every move of the cursor.
    fw::Query& sales = dmKlSd->qrySales;
    const fw::Value current = sales.active() ? sales.fieldByName("IDSALE").value() : fw::Value();
    const bool linked = dmKlSd->SalesLinked;
    dmKlSd->SalesLinked = false;
    try {
        dm->db.withTransaction([&](fw::Transaction&) {
            sales.close();
            sales.open();
            if (!current.isNull()) sales.locate("IDSALE", current);
            if (linked) {
                dmKlSd->qryOplata.close();
                dmKlSd->qryOplata.open();
            }
        });
    } catch (...) {
        dmKlSd->SalesLinked = linked;
        throw;
    }
    dmKlSd->SalesLinked = linked;
    SdelkaChanged = true;
}

void TfmSdelka::AddOplata(int idSale, int idUser, const QDateTime& dateOpl, fw::Currency summaR,
                          fw::Currency summaD, fw::Currency kurs)
{
    fw::Query& oplata = dmKlSd->qryOplata;
    if (!oplata.active()) oplata.open();
    oplata.append();
    oplata.fieldByName("IDSALE").setAsInteger(idSale);
    oplata.fieldByName("IDUSER").setAsInteger(idUser);
    oplata.fieldByName("ACCESS").setAsString("+");
    oplata.fieldByName("DATECR").setAsDateTime(Today());
    oplata.fieldByName("DATEOPL").setAsDateTime(dateOpl);
    oplata.fieldByName("SUMMAR").setAsCurrency(summaR);
    oplata.fieldByName("SUMMAD").setAsCurrency(summaD);
    oplata.fieldByName("KURS").setAsCurrency(kurs);
    oplata.post();
}
