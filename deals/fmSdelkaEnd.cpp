#include "deals/fmSdelkaEnd.h"

#include "core/FormParts.h"
#include "core/dm.h"
#include "deals/dmKlSd.h"

#include "db/DbError.h"
#include "widgets/DBControls.h"
#include "widgets/DBLookupCombo.h"
#include "widgets/ExceptionHandler.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTime>
#include <QVBoxLayout>

QPointer<TfmSdelkaEnd> fmSdelkaEnd;

namespace {

// Statuses with rules of their own; every other one is a deal closed otherwise.
constexpr int StatusOpen = 1;
constexpr int StatusRefused = 3;

} // namespace

TfmSdelkaEnd::TfmSdelkaEnd(QWidget* owner) : QDialog(owner)
{
    fmSdelkaEnd = this;
    setObjectName("fmSdelkaEnd");
    setWindowTitle("Завершение сделки");
    setProperty("HelpContext", HelpContext);

    fw::DataSource* deal = &dmKlSd->dsSdelka;
    gbStatus = new QGroupBox("Статус сделки", this);
    gbStatus->setObjectName("gbStatus");
    dblcStatus =
        LookupCombo(gbStatus, "dblcStatus", &dm->dsSdStatus, "IDSDELKA_ST", "SDELKA_ST", deal, "IDSDELKA_ST");
    auto* status = new QVBoxLayout(gbStatus);
    status->addWidget(dblcStatus);

    gbOtkaz = new QGroupBox("При отказе", this);
    gbOtkaz->setObjectName("gbOtkaz");
    lbEtap = new QLabel("Этап на котором произошел отказ", gbOtkaz);
    lbEtap->setObjectName("lbEtap");
    dblcEtap = LookupCombo(gbOtkaz, "dblcEtap", &dmKlSd->dsEtaps, "IDETAP", "Etap", deal, "IDETAP");
    lbOtkaz = new QLabel("Причина отказа", gbOtkaz);
    lbOtkaz->setObjectName("lbOtkaz");
    dblcOtkaz = LookupCombo(gbOtkaz, "dblcOtkaz", &dmKlSd->dsOtkaz, "IDOTKAZ", "OTKAZ", deal, "IDOTKAZ");
    auto* otkaz = new QVBoxLayout(gbOtkaz);
    otkaz->addWidget(lbEtap);
    otkaz->addWidget(dblcEtap);
    otkaz->addWidget(lbOtkaz);
    otkaz->addWidget(dblcOtkaz);

    lbNote = new QLabel("Комментарий к сделке", this);
    lbNote->setObjectName("lbNote");
    dbmNote = new fw::DBMemo(this);
    dbmNote->setObjectName("dbmNote");
    dbmNote->setDataSource(&dmKlSd->dsSdelka);
    dbmNote->setDataField("NOTE");
    dbmNote->setMinimumHeight(80);

    QHBoxLayout* buttons = OkCancelRow(this, btnOK, btnCancel);

    auto* root = new QVBoxLayout(this);
    root->addWidget(gbStatus);
    root->addWidget(gbOtkaz);
    root->addWidget(lbNote);
    root->addWidget(dbmNote, 1);
    root->addSpacing(4);
    root->addLayout(buttons);
    setMinimumWidth(360);

    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(dblcStatus, &fw::DBLookupCombo::activated, this, fw::guarded([this] { dblcStatusClick(); }));

    FormCreate();
}

TfmSdelkaEnd::~TfmSdelkaEnd() = default;

void TfmSdelkaEnd::FormCreate()
{
    if (!dm->qrySdStatus.active()) dm->qrySdStatus.open();
    if (!dm->qryEtap.active()) dm->qryEtap.open();
    fw::Query& sdelka = dmKlSd->qrySdelka;
    fw::Query& reasons = dmKlSd->qryOtkaz;
    if (!reasons.active()) reasons.open();
    // The combo lets go of the list while the filter changes, so it never shows a stale row.
    dblcOtkaz->setListSource(nullptr);
    reasons.setFilter(QString("idSdelkaType=%1").arg(sdelka.fieldByName("IDSDELKATYPE").asInteger()));
    dblcOtkaz->setListSource(&dmKlSd->dsOtkaz);
    if (!dmKlSd->qryEtaps.active()) dmKlSd->qryEtaps.open();
    dblcStatusClick();
}

void TfmSdelkaEnd::dblcStatusClick()
{
    const bool refused = dmKlSd->qrySdelka.fieldByName("IDSDELKA_ST").asInteger() == StatusRefused;
    for (QWidget* w : std::initializer_list<QWidget*>{lbEtap, dblcEtap, lbOtkaz, dblcOtkaz}) w->setEnabled(refused);
}

void TfmSdelkaEnd::btnOKClick()
{
    fw::Query& sdelka = dmKlSd->qrySdelka;
    sdelka.updateRecord();
    const int status = sdelka.fieldByName("IDSDELKA_ST").asInteger();
    if (status == StatusRefused) {
        if (sdelka.fieldByName("IDOTKAZ").isNull()) throw fw::UserError("Не указана причина отказа!");
        if (sdelka.fieldByName("IDETAP").isNull() && !dmKlSd->qryEtaps.isEmpty())
            throw fw::UserError("Не указан этап отказа!");
    }
    if (sdelka.state() != fw::DataSetState::Edit && sdelka.state() != fw::DataSetState::Insert) sdelka.edit();
    if (status != StatusRefused) {
        sdelka.fieldByName("IDOTKAZ").clear();
        sdelka.fieldByName("IDETAP").clear();
    }
    fw::Field& dateEnd = sdelka.fieldByName("DATE_END");
    if (status == StatusOpen)
        dateEnd.clear();
    else if (dateEnd.isNull())
        dateEnd.setAsDateTime(QDateTime(GetServerDate().date(), QTime(0, 0)));
}

void TfmSdelkaEnd::done(int result)
{
    if (result == QDialog::Accepted && !fw::runGuarded([this] { btnOKClick(); })) return;
    QDialog::done(result);
}

void TfmSdelkaEnd::keyPressEvent(QKeyEvent* e)
{
    if (!DialogKey(this, e)) QDialog::keyPressEvent(e);
}
