#include "deals/SdDialogParts.h"

#include "controls/CalcEdit.h"
#include "controls/SpeedButton.h"
#include "core/FormParts.h"
#include "core/dm.h"
#include "deals/dmKlSd.h"

#include <QGridLayout>
#include <QLabel>

QString SdSettingText(const char* column)
{
    if (!dm->qryMain.active()) return {};
    const fw::Field* f = dm->qryMain.findField(column);
    return f && !f->isNull() ? f->asString().trimmed() : QString();
}

TBrSpeedButton* SdHoldButton(QWidget* parent, const char* name)
{
    auto* b = new TBrSpeedButton(parent);
    b->setObjectName(name);
    b->SetCaption("Не изменять");
    b->SetGroupIndex(1);
    b->setFixedHeight(22);
    b->setMinimumWidth(90);
    return b;
}

void SdMoneyColumns(QGridLayout* grid, std::initializer_list<std::tuple<QLabel*, QWidget*, TBrSpeedButton*>> columns)
{
    int col = 0;
    for (auto [l, e, b] : columns) {
        grid->addWidget(l, 0, col);
        grid->addWidget(e, 1, col);
        grid->addWidget(b, 2, col);
        ++col;
    }
}

void ForEachSale(const std::function<void(fw::Query&)>& f)
{
    fw::Query& sales = dmKlSd->qrySales;
    const fw::Value current = sales.fieldByName("IDSALE").value();
    dmKlSd->SalesLinked = false;
    try {
        for (sales.first(); !sales.eof(); sales.next()) f(sales);
        if (!current.isNull()) sales.locate("IDSALE", current);
    } catch (...) {
        dmKlSd->SalesLinked = true;
        throw;
    }
    dmKlSd->SalesLinked = true;
}

int SdStoredDecimals(const fw::DataSet& ds, const char* column)
{
    const fw::Field* f = ds.findField(column);
    return f && f->type() == fw::FieldType::Currency && f->size() >= 0 && f->size() <= 4 ? f->size() : 2;
}

void SdMoneyEdit(TCustomNumEdit* edit, int decimals)
{
    edit->SetDecimalPlaces(decimals);
    edit->SetDisplayFormat(decimals > 0 ? ",0." + QString(decimals, '0') : ",0");
}
