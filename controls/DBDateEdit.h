#pragma once

#include "widgets/FieldDataLink.h"
#include "DateEdit.h"

// A date edit bound to a date field. It shows the field's date and keeps the
// field's time of day when it writes a new date; an empty date clears the field.
// The date can change only while the data set is in edit or insert mode and
// neither the edit nor the field is read-only; the first key or a date chosen
// in the calendar puts a browsing data set into edit mode.
class TDBDateEdit : public TCustomDateEdit {
    Q_OBJECT
public:
    explicit TDBDateEdit(QWidget* parent = nullptr);

    QString DataField() const { return FDataLink->fieldName(); }
    void SetDataField(const QString& name) { FDataLink->setFieldName(name); }
    fw::DataSource* DataSource() const { return FDataLink->dataSource(); }
    void SetDataSource(fw::DataSource* source) { FDataLink->setDataSource(source); }
    fw::Field* Field() const { return FDataLink->field(); }
    // The link's read-only flag; the edit's own one follows the data set's editing state.
    bool ReadOnly() const { return FDataLink->readOnly(); }
    void SetReadOnly(bool v);
    fw::FieldDataLink* DataLink() const { return FDataLink; }

    bool ReadOnlyState() const override;
    bool EditCanModify() const override;
    void SetDateAndSelect(const QDate& d) override;
    void RefreshDateMask() override;
    void RevertText();

    void LoadFromField();
    void FollowEditing();
    void StoreToField();
    void AcceptIntoField(TCustomDateEdit* sender, QDate& date, bool& accept);

protected:
    void TakePopupValue(const QVariant& value) override;
    void Change() override;
    void KeyDown(QKeyEvent* e, bool& handled) override;
    void KeyPress(QChar& key, bool& handled) override;
    void focusOutEvent(QFocusEvent* e) override;

private:
    // The field's date at d, keeping the time of day it holds now.
    QDateTime withFieldTime(const QDate& d) const;

    fw::FieldDataLink* FDataLink;
    bool FLoading = false;    // the edit is setting its own text
    bool FWasEditing = false;
};
