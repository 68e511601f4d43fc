#include "deals/fmSdTovar.h"

#include "controls/DBCalcEdit.h"
#include "controls/SpeedButton.h"
#include "core/FormParts.h"
#include "core/dm.h"
#include "deals/SdDialogParts.h"
#include "deals/dmKlSd.h"
#include "deals/fmSdelka.h"

#include "db/DbError.h"
#include "widgets/DBControls.h"
#include "widgets/DBLookupCombo.h"
#include "widgets/ExceptionHandler.h"

#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

QPointer<TfmSdTovar> fmSdTovar;

namespace {

bool editing(const fw::DataSet& ds)
{
    return ds.state() == fw::DataSetState::Edit || ds.state() == fw::DataSetState::Insert;
}

} // namespace

TfmSdTovar::TfmSdTovar(QWidget* owner) : QDialog(owner)
{
    fmSdTovar = this;
    setObjectName("fmSdTovar");
    setWindowTitle("Товар");
    setProperty("HelpContext", HelpContext);
    fw::DataSource* sales = &dmKlSd->dsSales;

    gbTovar = new QGroupBox("Товар", this);
    gbTovar->setObjectName("gbTovar");
    dblcGrTovar = LookupCombo(gbTovar, "dblcGrTovar", &dm->dsGrTovar, "IDGRTOVAR", "GRTOVAR");
    dblcTovar = LookupCombo(gbTovar, "dblcTovar", &dmKlSd->dsTovar, "IDTOVAR", "TOVAR", sales, "IDTOVAR");
    const auto check = [&](const char* name, const QString& caption, const char* field) {
        auto* c = new fw::DBCheckBox(caption, gbTovar);
        c->setObjectName(name);
        c->setDataSource(sales);
        c->setDataField(field);
        return c;
    };
    dbcbBack = check("dbcbBack", "Возврат", "BACK");
    dbcbPriznak1 = check("dbcbPriznak1", "Признак1", "UCHEB");
    dbcbPriznak2 = check("dbcbPriznak2", "Признак2", "UPGRADE");
    const auto edit = [&](QWidget* parent, const char* name, const char* field) {
        auto* e = new fw::DBEdit(parent);
        e->setObjectName(name);
        e->setDataSource(sales);
        e->setDataField(field);
        return e;
    };
    dbeSerNumInt = edit(gbTovar, "dbeSerNumInt", "SERNUMINT");
    dbeKolvo = new TBrDBCalcEdit(gbTovar);
    dbeKolvo->setObjectName("dbeKolvo");
    dbeKolvo->SetDecimalPlaces(3);
    dbeKolvo->SetDisplayFormat(",0.###");
    dbeKolvo->SetAlignment(Qt::AlignRight);
    dbeKolvo->SetZeroEmpty(false);
    dbeKolvo->SetDataSource(sales);
    dbeKolvo->SetDataField("KOLVO");
    if (fw::Field* kolvo = dmKlSd->qrySales.findField("KOLVO")) kolvo->setDisplayFormat(",0.###");

    auto* tovar = new QGridLayout(gbTovar);
    tovar->addWidget(new QLabel("Группа", gbTovar), 0, 0);
    tovar->addWidget(dblcGrTovar, 0, 1, 1, 3);
    tovar->addWidget(new QLabel("Товар", gbTovar), 1, 0);
    tovar->addWidget(dblcTovar, 1, 1, 1, 3);
    auto* flags = new QHBoxLayout;
    flags->addWidget(dbcbBack);
    flags->addWidget(dbcbPriznak1);
    flags->addWidget(dbcbPriznak2);
    flags->addStretch();
    tovar->addLayout(flags, 2, 0, 1, 4);
    tovar->addWidget(new QLabel("Номер отгрузки", gbTovar), 3, 0);
    tovar->addWidget(dbeSerNumInt, 3, 1);
    tovar->addWidget(new QLabel("Количество", gbTovar), 3, 2);
    tovar->addWidget(dbeKolvo, 3, 3);
    tovar->setColumnStretch(1, 2);
    tovar->setColumnStretch(3, 1);

    gbSumma = new QGroupBox("Стоимость (с учетом количества)", this);
    gbSumma->setObjectName("gbSumma");
    lbVal1 = Caption(gbSumma, {}, "lbVal1");
    lbVal2 = Caption(gbSumma, {}, "lbVal2");
    lbKurs = Caption(gbSumma, {}, "lbKurs");
    const auto money = [&](const char* name, const char* field) {
        auto* e = new TBrDBCalcEdit(gbSumma);
        e->setObjectName(name);
        e->SetDataSource(sales);
        e->SetDataField(field);
        e->SetAlignment(Qt::AlignRight);
        e->SetZeroEmpty(false);
        e->setMinimumWidth(110);
        return e;
    };
    dbcVal1 = money("dbcVal1", "SUMMARP");
    dbcVal2 = money("dbcVal2", "SUMMADP");
    dbcKurs = money("dbcKurs", "KURS");
    SdMoneyEdit(dbcKurs, SdStoredDecimals(dmKlSd->qrySales, "KURS"));
    sbVal1 = SdHoldButton(gbSumma, "sbVal1");
    sbVal2 = SdHoldButton(gbSumma, "sbVal2");
    sbKurs = SdHoldButton(gbSumma, "sbKurs");
    sbVal2->SetDown(true);
    auto* summa = new QGridLayout(gbSumma);
    SdMoneyColumns(summa, {{lbVal1, dbcVal1, sbVal1}, {lbVal2, dbcVal2, sbVal2}, {lbKurs, dbcKurs, sbKurs}});

    dbeNote = edit(this, "dbeNote", "NOTE");
    auto* note = new QHBoxLayout;
    note->addWidget(new QLabel("Комментарий", this));
    note->addWidget(dbeNote, 1);

    QHBoxLayout* buttons = OkCancelRow(this, btnOK, btnCancel);

    auto* root = new QVBoxLayout(this);
    root->addWidget(gbTovar);
    root->addWidget(gbSumma);
    root->addLayout(note);
    root->addSpacing(4);
    root->addLayout(buttons);
    setMinimumWidth(460);

    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(dblcGrTovar, &fw::DBLookupCombo::activated, this, fw::guarded([this] { dblcGrTovarClick(); }));
    connect(dblcTovar, &fw::DBLookupCombo::activated, this, fw::guarded([this] { dblcTovarClick(); }));
    connect(dbeKolvo, &TCustomComboEdit::changed, this, fw::guarded([this] { dbeKolvoChange(); }));
    for (TBrDBCalcEdit* e : {dbcVal1, dbcVal2, dbcKurs}) {
        connect(e, &TCustomComboEdit::changed, this, fw::guarded([this, e] { ValutaChange(e); }));
        e->installEventFilter(this);
    }
    for (TBrSpeedButton* b : {sbVal1, sbVal2, sbKurs})
        connect(b, &TBrSpeedButton::clicked, this, fw::guarded([this, b] { HoldClick(b); }));

    FormCreate();
}

TfmSdTovar::~TfmSdTovar()
{
    try {
        FormClose();
    } catch (...) {
        // Nothing can be shown from a destructor.
    }
}

void TfmSdTovar::FormCreate()
{
    lbVal1->setText(SdSettingText("VALUTA1"));
    lbVal2->setText(SdSettingText("VALUTA2"));
    lbKurs->setText("Курс");
    dbcbPriznak1->setText(SdSettingText("PRIZNAK1"));
    dbcbPriznak2->setText(SdSettingText("PRIZNAK2"));
    if (!dm->qryGrTovar.active()) dm->qryGrTovar.open();
    if (!dmKlSd->qryTovar.active()) dmKlSd->qryTovar.open();
}

void TfmSdTovar::dblcGrTovarClick()
{
    const fw::Value group = dblcGrTovar->keyValue();
    if (group.isNull()) return;
    dmKlSd->qryTovar.setFilter(QString("idGrTovar=%1").arg(group.asInt()));
    fw::Query& sales = dmKlSd->qrySales;
    if (!editing(sales)) sales.edit();
    sales.fieldByName("IDTOVAR").clear();
    dblcTovarClick();
}

void TfmSdTovar::dblcTovarClick()
{
    CalcPrice();
}

void TfmSdTovar::dbeKolvoChange()
{
    if (dbeKolvo->hasFocus()) CalcPrice();
}

void TfmSdTovar::CalcPrice()
{
    fw::Query& sales = dmKlSd->qrySales;
    const fw::Field& kolvoField = sales.fieldByName("KOLVO");
    const fw::Value idTovar = sales.fieldByName("IDTOVAR").value();
    fw::Currency v2;
    if (!idTovar.isNull()) {
        // While typed, the quantity is still the edit's value: the field takes it on leaving.
        const bool typed = dbeKolvo->hasFocus();
        const bool empty = typed ? dbeKolvo->text().trimmed().isEmpty() : kolvoField.isNull();
        const fw::Currency kolvo = typed ? dbeKolvo->Value() : kolvoField.value().asCurrency();
        const fw::Value price = dmKlSd->qryTovar.lookup("IDTOVAR", idTovar, "PRICE");
        if (!empty) v2 = (price.isNull() ? fw::Currency() : price.asCurrency()) * kolvo;
    }
    if (!editing(sales)) sales.edit();
    dbcVal2->SetValue(v2);
    dbcVal2->StoreToField();
    sbKurs->SetDown(true);
    TfmSdelka::RecalcValuta(dbcVal2, dbcVal1, dbcVal2, dbcKurs, sbVal1, sbVal2, sbKurs);
}

void TfmSdTovar::ValutaChange(TCustomNumEdit* changed)
{
    if (changed->hasFocus())
        TfmSdelka::RecalcValuta(changed, dbcVal1, dbcVal2, dbcKurs, sbVal1, sbVal2, sbKurs);
}

void TfmSdTovar::ValutaEnter(TCustomNumEdit* entered)
{
    TfmSdelka::ValutaEnter(entered, dbcVal1, dbcVal2, dbcKurs, sbVal1, sbVal2, sbKurs);
}

void TfmSdTovar::HoldClick(TBrSpeedButton* pressed)
{
    TfmSdelka::HoldClick(pressed, dbcVal1, dbcVal2, dbcKurs, sbVal1, sbVal2, sbKurs);
}

void TfmSdTovar::btnOKClick()
{
    fw::Query& sales = dmKlSd->qrySales;
    sales.updateRecord();
    if (sales.fieldByName("IDTOVAR").isNull()) throw fw::UserError("Не указан товар!");
    if (editing(sales)) sales.post();
}

void TfmSdTovar::FormClose()
{
    if (closed_) return;
    closed_ = true;
    if (!dmKlSd) return;
    dmKlSd->qryTovar.setFilter(QString());
    if (result() != QDialog::Accepted && editing(dmKlSd->qrySales)) dmKlSd->qrySales.cancel();
}

void TfmSdTovar::done(int result)
{
    // Enter, the OK button and the close box all end here: OK only with the line posted.
    if (result == QDialog::Accepted && !fw::runGuarded([this] { btnOKClick(); })) return;
    setResult(result);
    fw::runGuarded([this] { FormClose(); });
    QDialog::done(result);
}

void TfmSdTovar::keyPressEvent(QKeyEvent* e)
{
    if (!DialogKey(this, e)) QDialog::keyPressEvent(e);
}

bool TfmSdTovar::eventFilter(QObject* watched, QEvent* e)
{
    if (e->type() == QEvent::FocusIn)
        for (TBrDBCalcEdit* edit : {dbcVal1, dbcVal2, dbcKurs})
            if (watched == edit) fw::runGuarded([this, edit] { ValutaEnter(edit); });
    return QDialog::eventFilter(watched, e);
}
