#include "clients/fmSegmentFind.h"

#include "clients/dmKl.h"
#include "core/FormParts.h"
#include "core/dm.h"

#include "widgets/DBGrid.h"
#include "widgets/DBLookupCombo.h"
#include "widgets/ExceptionHandler.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <memory>

QPointer<TfmSegmentFind> fmSegmentFind;

TfmSegmentFind::TfmSegmentFind(QWidget* owner, fw::DBLookupCombo* segmentCombo, fw::DBLookupCombo* segment2Combo)
    : QDialog(owner), qrySeg(&dm->db, this), dsSeg(&qrySeg, this), segmentCombo_(segmentCombo),
      segment2Combo_(segment2Combo)
{
    fmSegmentFind = this;
    setObjectName("fmSegmentFind");
    setWindowTitle("Контекстный поиск сегмента 2-го уровня");
    setProperty("HelpContext", HelpContext);

    qrySeg.setObjectName("qrySeg");
    qrySeg.setSql({"select *", "from segmentt2", "where Segmentt2 containing :seg", "order by Segmentt2"});

    Label1 = new QLabel("Текст для поиска", this);
    Label1->setObjectName("Label1");
    edSeg = new QLineEdit(this);
    edSeg->setObjectName("edSeg");
    edSeg->setMaxLength(50);
    Label1->setBuddy(edSeg);
    btnFind = new QPushButton("Поиск", this);
    btnFind->setObjectName("btnFind");
    btnFind->setDefault(true);
    btnSet = new QPushButton("Установить", this);
    btnSet->setObjectName("btnSet");
    btnSet->setAutoDefault(false);
    btnClose = new QPushButton("Закрыть", this);
    btnClose->setObjectName("btnClose");
    btnClose->setAutoDefault(false);

    dbgSeg = Grid(this, "dbgSeg", &dsSeg, {{"SEGMENTT2", "Сегмент 2-го уровня", 330}});
    dbgSeg->setOptions({fw::DBGrid::Option::Titles, fw::DBGrid::Option::RowSelect});
    dbgSeg->setReadOnly(true);
    dbgSeg->horizontalHeader()->setStretchLastSection(true);

    connect(btnFind, &QPushButton::clicked, this, fw::guarded([this] { btnFindClick(); }));
    connect(btnSet, &QPushButton::clicked, this, fw::guarded([this] { btnSetClick(); }));
    connect(dbgSeg, &fw::DBGrid::doubleClicked, this, fw::guarded([this] { btnSetClick(); }));
    connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);

    auto* search = new QHBoxLayout;
    search->addWidget(Label1);
    search->addWidget(edSeg, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnFind);
    buttons->addWidget(btnSet);
    buttons->addStretch();
    buttons->addWidget(btnClose);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(search);
    layout->addLayout(buttons);
    layout->addWidget(dbgSeg, 1);
    resize(420, 360);

    qrySeg.prepare();
}

TfmSegmentFind::~TfmSegmentFind()
{
    if (fmSegmentFind == this) fmSegmentFind = nullptr;
}

void TfmSegmentFind::btnFindClick()
{
    qrySeg.close();
    qrySeg.paramByName("seg").setValue(edSeg->text());
    qrySeg.open();
}

void TfmSegmentFind::btnSetClick()
{
    if (!qrySeg.active() || qrySeg.isEmpty()) return;
    fw::Query& cust = dmKl->qryCust;
    if (!cust.active() || cust.isEmpty()) return;
    if (cust.state() != fw::DataSetState::Edit && cust.state() != fw::DataSetState::Insert) cust.edit();
    const fw::Value idSegment = qrySeg.fieldByName("idSegment").value();
    const fw::Value idSegment2 = qrySeg.fieldByName("idSegment2").value();
    // The first level first: moving its list resets the client's second level.
    cust.fieldByName("idSegment").setValue(idSegment);
    if (segmentCombo_) segmentCombo_->setKeyValue(idSegment);
    cust.fieldByName("idSegment2").setValue(idSegment2);
    if (segment2Combo_) segment2Combo_->setKeyValue(idSegment2);
    accept();
}

void TfmSegmentFind::FormClose()
{
    qrySeg.close();
    qrySeg.unprepare();
}

void TfmSegmentFind::done(int result)
{
    FormClose();
    QDialog::done(result);
}

void ShowSegmentFind(QWidget* owner, fw::DBLookupCombo* segmentCombo, fw::DBLookupCombo* segment2Combo)
{
    if (!dmKl || !dmKl->qryCust.active() || dmKl->qryCust.isEmpty()) return;
    std::unique_ptr<TfmSegmentFind> form(new TfmSegmentFind(owner, segmentCombo, segment2Combo));
    form->exec();
}
