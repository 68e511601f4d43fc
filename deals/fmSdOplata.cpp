#include "deals/fmSdOplata.h"

#include "controls/CalcEdit.h"
#include "controls/DateEdit.h"
#include "controls/SpeedButton.h"
#include "core/SharedProcs.h"
#include "core/Users.h"
#include "core/FormParts.h"
#include "core/dm.h"
#include "deals/SdDialogParts.h"
#include "deals/dmKlSd.h"
#include "deals/fmSdelka.h"

#include "db/DbError.h"
#include "widgets/DBLookupCombo.h"
#include "widgets/Dialogs.h"
#include "widgets/ExceptionHandler.h"

#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QTime>
#include <QVBoxLayout>
#include <algorithm>
#include <deque>
#include <memory>

QPointer<TfmSdOplata> fmSdOplata;

// --- the split

QList<TOplataPart> SplitOplata(const QList<TSale>& lines, fw::Currency v1, fw::Currency v2, int decimalsR,
                               int decimalsD)
{
    fw::Currency srp, sdp;
    for (const TSale& s : lines) {
        srp += s.SummaRP;
        sdp += s.SummaDP;
    }
    if (lines.isEmpty() || srp.isZero() || sdp.isZero())
        throw fw::UserError("Плановая стоимость отмеченных товаров равна нулю!");

    // One rounding per part, of the exact quotient, to what the column keeps.
    const auto step = [](int decimals) {
        int64_t unit = 1;
        for (int i = std::clamp(decimals, 0, 4); i < 4; ++i) unit *= 10;
        return unit;
    };
    const int64_t unitR = step(decimalsR), unitD = step(decimalsD);
    const auto share = [](fw::Currency total, fw::Currency part, fw::Currency whole, int64_t unit) {
        const __int128 n = __int128(total.scaled()) * part.scaled();
        return fw::Currency::fromScaled(fw::divideHalfEven(n, __int128(whole.scaled()) * unit) * unit);
    };
    QList<TOplataPart> parts;
    fw::Currency sumR, sumD;
    int largestR = 0, largestD = 0;
    for (int i = 0; i < lines.size(); ++i) {
        const TSale& s = lines[i];
        TOplataPart p{s.IdSale, share(v1, s.SummaRP, srp, unitR), share(v2, s.SummaDP, sdp, unitD)};
        sumR += p.SummaR;
        sumD += p.SummaD;
        if (s.SummaRP > lines[largestR].SummaRP) largestR = i;
        if (s.SummaDP > lines[largestD].SummaDP) largestD = i;
        parts << p;
    }
    // The remainder of the rounding, so nothing of the payment is lost or invented.
    parts[largestR].SummaR += v1.rounded(decimalsR) - sumR;
    parts[largestD].SummaD += v2.rounded(decimalsD) - sumD;
    return parts;
}

void PostOplataSplit(TfmSdelka& card, const QList<TOplataPart>& parts, int idUser, const QDate& dateOpl,
                     fw::Currency kurs)
{
    fw::Database& db = dm->db;
    const QDateTime date(dateOpl, QTime(0, 0));
    db.startTransaction();
    try {
        for (const TOplataPart& p : parts) card.AddOplata(p.IdSale, idUser, date, p.SummaR, p.SummaD, kurs);
        db.commit();
    } catch (...) {
        try {
            db.rollback();
        } catch (...) {
        }
        // The payments posted before the failure are gone from the database: read them again.
        fw::Query& oplata = dmKlSd->qryOplata;
        if (oplata.state() == fw::DataSetState::Insert || oplata.state() == fw::DataSetState::Edit)
            oplata.cancel();
        oplata.close();
        oplata.open();
        throw;
    }
}

// --- the dialog

namespace {

// A small check box picture, ticked or empty, for the two list buttons.
QPixmap checkGlyph(bool ticked)
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::darkGray, 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(2.5, 2.5, 11, 11));
    if (ticked) {
        p.setPen(QPen(Qt::black, 2));
        p.drawPolyline(QPolygonF({QPointF(4.5, 8), QPointF(7, 10.5), QPointF(11.5, 5)}));
    }
    return pm;
}

TBrSpeedButton* listButton(QWidget* parent, const char* name, const QString& hint, bool ticked)
{
    auto* b = new TBrSpeedButton(parent);
    b->setObjectName(name);
    b->setToolTip(hint);
    b->SetGlyph(checkGlyph(ticked));
    b->setFixedSize(25, 25);
    return b;
}

QDateTime today()
{
    return QDateTime(GetServerDate().date(), QTime(0, 0));
}

} // namespace

TfmSdOplata::TfmSdOplata(QWidget* owner) : QDialog(owner)
{
    fmSdOplata = this;
    setObjectName("fmSdOplata");
    setWindowTitle("Оплата");
    setProperty("HelpContext", HelpContext);

    gbOwner = new QGroupBox("Владелец суммы", this);
    gbOwner->setObjectName("gbOwner");
    dblcOtdel = LookupCombo(gbOwner, "dblcOtdel", &dm->dsOtdel, "IDOTDEL", "OTDEL");
    dblcUser = LookupCombo(gbOwner, "dblcUser", &dmKlSd->dsUser, "IDUSER", "NAME");
    auto* owners = new QGridLayout(gbOwner);
    owners->addWidget(new QLabel("Отдел", gbOwner), 0, 0);
    owners->addWidget(dblcOtdel, 1, 0);
    owners->addWidget(new QLabel("Фамилия", gbOwner), 0, 1);
    owners->addWidget(dblcUser, 1, 1);
    owners->setColumnStretch(0, 1);
    owners->setColumnStretch(1, 1);

    gbSumma = new QGroupBox("Сумма", this);
    gbSumma->setObjectName("gbSumma");
    lbVal1 = Caption(gbSumma, {}, "lbVal1");
    lbVal2 = Caption(gbSumma, {}, "lbVal2");
    lbKurs = Caption(gbSumma, {}, "lbKurs");
    const auto money = [this](const char* name) {
        auto* e = new TBrCalcEdit(gbSumma);
        e->setObjectName(name);
        e->SetAlignment(Qt::AlignRight);
        e->SetZeroEmpty(false);
        e->setMinimumWidth(110);
        return e;
    };
    ceVal1 = money("ceVal1");
    ceVal2 = money("ceVal2");
    ceKurs = money("ceKurs");
    SdMoneyEdit(ceKurs, SdStoredDecimals(dmKlSd->qryOplata, "KURS"));
    sbVal1 = SdHoldButton(gbSumma, "sbVal1");
    sbVal2 = SdHoldButton(gbSumma, "sbVal2");
    sbKurs = SdHoldButton(gbSumma, "sbKurs");
    sbVal2->SetDown(true);
    deDateOpl = new TDateEdit(gbSumma);
    deDateOpl->setObjectName("deDateOpl");
    SetupDateEdit(deDateOpl);
    deDateOpl->SetDirectInput(false);
    deDateOpl->setMinimumWidth(110);
    auto* summa = new QGridLayout(gbSumma);
    SdMoneyColumns(summa, {{lbVal1, ceVal1, sbVal1}, {lbVal2, ceVal2, sbVal2}, {lbKurs, ceKurs, sbKurs}});
    summa->addWidget(new QLabel("Дата оплаты", gbSumma), 0, 3);
    summa->addWidget(deDateOpl, 1, 3);

    gbTovar = new QGroupBox("Товар", this);
    gbTovar->setObjectName("gbTovar");
    lbTovar = new QLabel("Сумма разносится пропорционально стоимости отмеченных товаров", gbTovar);
    lbTovar->setObjectName("lbTovar");
    lbTovar->setWordWrap(true);
    sbCheckAll = listButton(gbTovar, "sbCheckAll", "Отметить все", true);
    sbUncheckAll = listButton(gbTovar, "sbUncheckAll", "Сбросить все", false);
    cblTovar = new QListWidget(gbTovar);
    cblTovar->setObjectName("cblTovar");
    cblTovar->setMinimumHeight(110);
    auto* tovar = new QGridLayout(gbTovar);
    tovar->addWidget(lbTovar, 0, 0);
    tovar->addWidget(sbCheckAll, 0, 1);
    tovar->addWidget(sbUncheckAll, 0, 2);
    tovar->addWidget(cblTovar, 1, 0, 1, 3);
    tovar->setColumnStretch(0, 1);

    QHBoxLayout* buttons = OkCancelRow(this, btnOK, btnCancel);

    auto* root = new QVBoxLayout(this);
    root->addWidget(gbOwner);
    root->addWidget(gbSumma);
    root->addWidget(gbTovar, 1);
    root->addSpacing(4);
    root->addLayout(buttons);
    setMinimumWidth(520);

    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(dblcOtdel, &fw::DBLookupCombo::activated, this, fw::guarded([this] { dblcOtdelClick(); }));
    connect(sbCheckAll, &TBrSpeedButton::clicked, this, fw::guarded([this] { sbCheckAllClick(); }));
    connect(sbUncheckAll, &TBrSpeedButton::clicked, this, fw::guarded([this] { sbUncheckAllClick(); }));
    for (TBrCalcEdit* e : {ceVal1, ceVal2, ceKurs}) {
        connect(e, &TCustomComboEdit::changed, this, fw::guarded([this, e] { ValutaChange(e); }));
        e->installEventFilter(this);
    }
    for (TBrSpeedButton* b : {sbVal1, sbVal2, sbKurs})
        connect(b, &TBrSpeedButton::clicked, this, fw::guarded([this, b] { HoldClick(b); }));

    FormCreate();
}

TfmSdOplata::~TfmSdOplata()
{
    // A filter left behind would hide users from the next payment.
    if (dmKlSd) {
        try {
            dmKlSd->qryUser.setFilter(QString());
        } catch (...) {
        }
    }
}

void TfmSdOplata::FormCreate()
{
    lbVal1->setText(SdSettingText("VALUTA1"));
    lbVal2->setText(SdSettingText("VALUTA2"));
    lbKurs->setText("Курс");
    if (!dm->qryOtdel.active()) dm->qryOtdel.open();
    if (!dmKlSd->qryUser.active()) dmKlSd->qryUser.open();
}

QListWidgetItem* TfmSdOplata::AddTovar(const QString& name, TSale* sale)
{
    auto* item = new QListWidgetItem(name, cblTovar);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
    item->setData(Qt::UserRole, QVariant::fromValue(static_cast<void*>(sale)));
    return item;
}

TSale* TfmSdOplata::SaleOf(int row) const
{
    const QListWidgetItem* item = cblTovar->item(row);
    return item ? static_cast<TSale*>(item->data(Qt::UserRole).value<void*>()) : nullptr;
}

QList<TSale> TfmSdOplata::CheckedSales() const
{
    QList<TSale> result;
    for (int i = 0; i < cblTovar->count(); ++i)
        if (cblTovar->item(i)->checkState() == Qt::Checked)
            if (const TSale* s = SaleOf(i)) result << *s;
    return result;
}

void TfmSdOplata::SetEditMode(int checkedRow)
{
    editMode_ = true;
    if (QListWidgetItem* item = cblTovar->item(checkedRow)) {
        item->setCheckState(Qt::Checked);
        cblTovar->setCurrentItem(item);
    }
    for (QWidget* w : std::initializer_list<QWidget*>{sbCheckAll, sbUncheckAll, lbTovar, cblTovar})
        w->setEnabled(false);
}

int TfmSdOplata::IdUser() const
{
    const fw::Value key = dblcUser->keyValue();
    return key.isNull() ? -1 : key.asInt();
}

void TfmSdOplata::SetIdUser(int idUser)
{
    dblcUser->setKeyValue(idUser);
}

QDate TfmSdOplata::DateOpl() const
{
    return deDateOpl->Date();
}

void TfmSdOplata::SetDateOpl(const QDate& d)
{
    deDateOpl->SetDate(d);
}

fw::Currency TfmSdOplata::Val1() const { return ceVal1->Value(); }
fw::Currency TfmSdOplata::Val2() const { return ceVal2->Value(); }
fw::Currency TfmSdOplata::Kurs() const { return ceKurs->Value(); }

void TfmSdOplata::SetValues(fw::Currency v1, fw::Currency v2, fw::Currency kurs)
{
    ceVal1->SetValue(v1);
    ceVal2->SetValue(v2);
    ceKurs->SetValue(kurs);
}

void TfmSdOplata::dblcOtdelClick()
{
    const fw::Value otdel = dblcOtdel->keyValue();
    if (otdel.isNull()) return;
    dmKlSd->qryUser.setFilter(QString("idOtdel=%1").arg(otdel.asInt()));
    dblcUser->setKeyValue(fw::Value());
}

void TfmSdOplata::sbCheckAllClick()
{
    for (int i = 0; i < cblTovar->count(); ++i) cblTovar->item(i)->setCheckState(Qt::Checked);
}

void TfmSdOplata::sbUncheckAllClick()
{
    UncheckAll(cblTovar);
}

void TfmSdOplata::ValutaChange(TCustomNumEdit* changed)
{
    if (changed->hasFocus())
        TfmSdelka::RecalcValuta(changed, ceVal1, ceVal2, ceKurs, sbVal1, sbVal2, sbKurs);
}

void TfmSdOplata::ValutaEnter(TCustomNumEdit* entered)
{
    TfmSdelka::ValutaEnter(entered, ceVal1, ceVal2, ceKurs, sbVal1, sbVal2, sbKurs);
}

void TfmSdOplata::HoldClick(TBrSpeedButton* pressed)
{
    TfmSdelka::HoldClick(pressed, ceVal1, ceVal2, ceKurs, sbVal1, sbVal2, sbKurs);
}

void TfmSdOplata::FormCloseQuery()
{
    if (dblcUser->keyValue().isNull()) throw fw::UserError("Не указана Фамилия!");
    const fw::Currency zero;
    if (!(Val1() > zero && Val2() > zero && Kurs() > zero)) throw fw::UserError("Не правильно указана сумма!");
    bool anyChecked = false;
    for (int i = 0; i < cblTovar->count() && !anyChecked; ++i)
        anyChecked = cblTovar->item(i)->checkState() == Qt::Checked;
    if (!anyChecked) throw fw::UserError("Не отмечены товары!");
}

void TfmSdOplata::done(int result)
{
    if (result == QDialog::Accepted && !fw::runGuarded([this] {
            FormCloseQuery();
            if (OnPost) OnPost();
        }))
        return;
    dmKlSd->qryUser.setFilter(QString());
    QDialog::done(result);
}

void TfmSdOplata::keyPressEvent(QKeyEvent* e)
{
    if (!DialogKey(this, e)) QDialog::keyPressEvent(e);
}

bool TfmSdOplata::eventFilter(QObject* watched, QEvent* e)
{
    if (e->type() == QEvent::FocusIn)
        for (TBrCalcEdit* edit : {ceVal1, ceVal2, ceKurs})
            if (watched == edit) fw::runGuarded([this, edit] { ValutaEnter(edit); });
    return QDialog::eventFilter(watched, e);
}

// --- the card's two payment commands

namespace {

QString TovarName(const fw::Query& sales)
{
    return sales.fieldByName("Tovar").asString();
}

} // namespace

void SdOplataAdd(TfmSdelka& card)
{
    fw::Query& sales = dmKlSd->qrySales;
    if (!sales.active() || sales.isEmpty()) throw fw::UserError("Список товаров пуст!");
    if (sales.state() == fw::DataSetState::Edit || sales.state() == fw::DataSetState::Insert) sales.post();

    auto dialog = std::make_unique<TfmSdOplata>(&card);
    dialog->SetDateOpl(today().date());
    dialog->SetIdUser(CurrentUser.IdUser);

    std::deque<TSale> lines;   // stable addresses for the list items
    ForEachSale([&](fw::Query& s) {
        const fw::Currency rp = s.fieldByName("SUMMARP").asCurrency();
        const fw::Currency dp = s.fieldByName("SUMMADP").asCurrency();
        if (rp.isZero() || dp.isZero()) return;
        lines.push_back({s.fieldByName("IDSALE").asInteger(), rp, dp, false});
        dialog->AddTovar(TovarName(s), &lines.back());
    });
    if (lines.empty()) {
        fw::dialogs().error("Нет товаров с ненулевой плановой стоимостью!");
        return;
    }

    TfmSdOplata* d = dialog.get();
    d->OnPost = [&card, d] {
        const QList<TOplataPart> parts = SplitOplata(d->CheckedSales(), d->Val1(), d->Val2(),
                                                     SdStoredDecimals(dmKlSd->qryOplata, "SUMMAR"),
                                                     SdStoredDecimals(dmKlSd->qryOplata, "SUMMAD"));
        PostOplataSplit(card, parts, d->IdUser(), d->DateOpl(), d->Kurs());
    };
    if (dialog->exec() != QDialog::Accepted) return;
    dialog.reset();
    // To the first line, whose payments the refresh then reads.
    dmKlSd->SalesLinked = false;
    try {
        dmKlSd->qrySales.first();
    } catch (...) {
        dmKlSd->SalesLinked = true;
        throw;
    }
    dmKlSd->SalesLinked = true;
    card.RefreshSales();
}

void SdOplataEdit(TfmSdelka& card)
{
    fw::Query& oplata = dmKlSd->qryOplata;
    if (!oplata.active() || oplata.isEmpty()) throw fw::UserError("Список оплат пуст!");

    auto dialog = std::make_unique<TfmSdOplata>(&card);
    oplata.edit();
    TfmSdOplata* d = dialog.get();
    d->SetIdUser(oplata.fieldByName("IDUSER").asInteger());
    d->SetValues(oplata.fieldByName("SUMMAR").asCurrency(), oplata.fieldByName("SUMMAD").asCurrency(),
                 oplata.fieldByName("KURS").asCurrency());
    d->SetDateOpl(oplata.fieldByName("DATEOPL").asDateTime().date());

    const fw::Value own = oplata.fieldByName("IDSALE").value();
    int ownRow = -1;
    try {
        ForEachSale([&](fw::Query& s) {
            QListWidgetItem* item = d->AddTovar(TovarName(s));
            if (s.fieldByName("IDSALE").value() == own) ownRow = d->cblTovar->row(item);
        });
    } catch (...) {
        oplata.cancel();
        throw;
    }
    d->SetEditMode(ownRow);

    // Written at OK, so a refused write keeps the dialog open with the values.
    d->OnPost = [d, &oplata] {
        oplata.fieldByName("IDUSER").setAsInteger(d->IdUser());
        oplata.fieldByName("DATEOPL").setAsDateTime(QDateTime(d->DateOpl(), QTime(0, 0)));
        oplata.fieldByName("SUMMAR").setAsCurrency(d->Val1());
        oplata.fieldByName("SUMMAD").setAsCurrency(d->Val2());
        oplata.fieldByName("KURS").setAsCurrency(d->Kurs());
        oplata.post();
    };
    const bool ok = dialog->exec() == QDialog::Accepted;
    dialog.reset();
    if (!ok) {
        if (oplata.state() == fw::DataSetState::Edit) oplata.cancel();
        return;
    }
    dmKlSd->SalesLinked = false;
    try {
        card.RefreshSales();
    } catch (...) {
        dmKlSd->SalesLinked = true;
        throw;
    }
    dmKlSd->SalesLinked = true;
}
