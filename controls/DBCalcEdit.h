#pragma once

#include "CalcEdit.h"
#include "widgets/FieldDataLink.h"

// A calculator edit bound to a number field. Money and quantities go into the
// field as fixed-point values, integers truncated; with ZeroEmpty a zero clears
// the field. Like every data-aware edit it changes the field only while the data
// set is in edit or insert mode and neither the edit nor the field is read-only.
class TBrDBCalcEdit : public TBrCustomCalcEdit {
    Q_OBJECT
public:
    explicit TBrDBCalcEdit(QWidget* parent = nullptr);

    QString DataField() const { return FDataLink->fieldName(); }
    void SetDataField(const QString& name) { FDataLink->setFieldName(name); }
    fw::DataSource* DataSource() const { return FDataLink->dataSource(); }
    void SetDataSource(fw::DataSource* source) { FDataLink->setDataSource(source); }
    fw::Field* Field() const { return FDataLink->field(); }
    bool ReadOnly() const { return FDataLink->readOnly(); }
    void SetReadOnly(bool v);
    bool DefaultParams() const { return FDefaultParams; }
    void SetDefaultParams(bool v);
    fw::FieldDataLink* DataLink() const { return FDataLink; }

    bool ReadOnlyState() const override;
    bool EditCanModify() const override;
    bool KeyAcceptable(QChar key) const override;
    QString DisplayText() const override;
    void RevertText();

    void LoadFromField();
    void FollowEditing();
    void StoreToField();
    void ApplyFieldParams();

protected:
    void TakePopupValue(const QVariant& value) override;
    void Change() override;
    void KeyDown(QKeyEvent* e, bool& handled) override;
    void KeyPress(QChar& key, bool& handled) override;
    void focusOutEvent(QFocusEvent* e) override;

private:
    fw::FieldDataLink* FDataLink;
    bool FDefaultParams = false;
};
