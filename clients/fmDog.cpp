#include "clients/fmDog.h"

#include "clients/dmKl.h"
#include "controls/DBCalcEdit.h"
#include "controls/DBDateEdit.h"
#include "core/FormParts.h"
#include "core/dm.h"

#include "widgets/DBControls.h"
#include "widgets/DBLookupCombo.h"
#include "widgets/ExceptionHandler.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include <memory>

QPointer<TfmDog> fmDog;

TfmDog::TfmDog(QWidget* owner) : QDialog(owner)
{
    fmDog = this;
    setObjectName("fmDog");
    setWindowTitle("Договор");

    fw::DataSource* src = &dmKl->dsDog;
    dbeDogNumber = FieldEdit(this, "dbeDogNumber", src, "DOGNUMBER", 50);
    dbdeDateZakl = FieldDateEdit(this, "dbdeDateZakl", src, "DATEZAKL");
    gbSroki = Group(this, "gbSroki", "Сроки договора");
    dbdeDateBegin = FieldDateEdit(gbSroki, "dbdeDateBegin", src, "DATEBEGIN");
    dbdeDateEnd = FieldDateEdit(gbSroki, "dbdeDateEnd", src, "DATEEND");

    // The curator list is the shared one of the users.
    if (!dm->qryUser.active()) dm->qryUser.open();
    dblcUser = LookupCombo(this, "dblcUser", &dm->dsUser, "IDUSER", "NAME", src, "IDUSER");

    dbeNote = FieldEdit(this, "dbeNote", src, "NOTE", 50);

    dbceSkidka = new TBrDBCalcEdit(this);
    dbceSkidka->setObjectName("dbceSkidka");
    dbceSkidka->SetDataSource(src);
    dbceSkidka->SetDataField("SKIDKA");

    dbeFilePath = FieldEdit(this, "dbeFilePath", src, "FILEPATH", 255);
    btnAddLink = new QPushButton("Добавить ссылку", this);
    btnAddLink->setObjectName("btnAddLink");
    btnAddLink->setAutoDefault(false);
    odLink.filter = "Все файлы (*.*)|*.*";

    QHBoxLayout* buttons = OkCancelRow(this, btnOK, btnCancel);

    connect(btnAddLink, &QPushButton::clicked, this, fw::guarded([this] { btnAddLinkClick(); }));
    connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });

    // One label width for the three forms, so their edits line up.
    const QStringList captions{"Номер договора", "Дата заключения", "Дата начала", "Дата завершения",
                               "Куратор", "Комментарий", "Скидка", "Ссылка"};
    int labelWidth = 0;
    for (const QString& c : captions) labelWidth = qMax(labelWidth, fontMetrics().horizontalAdvance(c));
    auto label = [this, labelWidth](const QString& text, int indent = 0) {
        auto* l = new QLabel(text, this);
        l->setMinimumWidth(labelWidth + 8 - indent);
        return l;
    };
    const int indent = gbSroki->contentsMargins().left() + style()->pixelMetric(QStyle::PM_LayoutLeftMargin);

    auto* top = new QFormLayout;
    top->addRow(label("Номер договора"), dbeDogNumber);
    top->addRow(label("Дата заключения"), dbdeDateZakl);
    auto* sroki = new QFormLayout(gbSroki);
    sroki->addRow(label("Дата начала", indent), dbdeDateBegin);
    sroki->addRow(label("Дата завершения", indent), dbdeDateEnd);
    auto* rest = new QFormLayout;
    rest->addRow(label("Куратор"), dblcUser);
    rest->addRow(label("Комментарий"), dbeNote);
    rest->addRow(label("Скидка"), dbceSkidka);
    auto* link = new QHBoxLayout;
    link->addWidget(dbeFilePath, 1);
    link->addWidget(btnAddLink);
    rest->addRow(label("Ссылка"), link);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(gbSroki);
    layout->addLayout(rest);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    resize(460, sizeHint().height());
}

TfmDog::~TfmDog()
{
    if (fmDog == this) fmDog = nullptr;
}

void TfmDog::btnAddLinkClick()
{
    odLink.fileName.clear();
    if (!fw::dialogs().openFile(odLink)) return;
    fw::DataSet& ds = dmKl->qryDog;
    if (ds.state() != fw::DataSetState::Edit && ds.state() != fw::DataSetState::Insert) ds.edit();
    ds.fieldByName("FILEPATH").setAsString(odLink.fileName);
}

void TfmDog::btnOKClick()
{
    // A refused post is shown here and keeps the dialog, and what was typed, open.
    if (fw::runGuarded([] { dmKl->qryDog.post(); })) accept();
}

bool ShowDog(QWidget* owner)
{
    std::unique_ptr<TfmDog> form(new TfmDog(owner));
    if (form->exec() == QDialog::Accepted) {
        dmKl->qryDog.post();
        return true;
    }
    dmKl->qryDog.cancel();
    return false;
}
