#include "deals/SdDialogParts.h"

#include "controls/SpeedButton.h"
#include "core/SharedProcs.h"
#include "core/dm.h"

#include "widgets/DBLookupCombo.h"

#include <QDialog>
#include <QKeyEvent>

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

fw::DBLookupCombo* SdLookupCombo(QWidget* parent, const char* name, fw::DataSource* list, const char* keyField,
                                 const char* listField, fw::DataSource* data, const char* dataField)
{
    auto* c = new fw::DBLookupCombo(parent);
    c->setObjectName(name);
    c->setListSource(list);
    c->setKeyField(keyField);
    c->setListField(listField);
    if (data) {
        c->setDataSource(data);
        c->setDataField(dataField);
    }
    return c;
}

bool SdDialogKey(QDialog* dialog, QKeyEvent* e)
{
    const int key = e->key();
    if (key != Qt::Key_Return && key != Qt::Key_Enter && key != Qt::Key_Escape) return false;
    DialogKeyDown(dialog, key);
    e->accept();
    return true;
}
