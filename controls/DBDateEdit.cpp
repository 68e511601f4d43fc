#include "DBDateEdit.h"

#include "VclUtils.h"

#include <QKeyEvent>
#include <QScopedValueRollback>
#include <QTimer>

TDBDateEdit::TDBDateEdit(QWidget* parent) : TCustomDateEdit(parent)
{
    FDataLink = new fw::FieldDataLink(this);
    FDataLink->onDataChange = [this] { LoadFromField(); };
    FDataLink->onEditingChange = [this] { FollowEditing(); };
    FDataLink->onUpdateData = [this] { StoreToField(); };
    // No typing until the data set is in edit mode; the button still opens the calendar.
    TCustomComboEdit::SetReadOnly(true);
    OnAcceptDate = [this](TCustomDateEdit* sender, QDate& date, bool& accept) {
        AcceptIntoField(sender, date, accept);
    };
    FButtonAlways = true;
    RefreshDateMask();
}

QDateTime TDBDateEdit::withFieldTime(const QDate& d) const
{
    const fw::Field* f = Field();
    const QDateTime now = f ? f->asDateTime() : QDateTime();
    return QDateTime(d, now.isValid() ? now.time() : QTime(0, 0));
}

void TDBDateEdit::SetReadOnly(bool v)
{
    FDataLink->setReadOnly(v);
    ShowReadOnlyLook(FDataLink->showsReadOnly());
}

void TDBDateEdit::LoadFromField()
{
    const QScopedValueRollback guard(FLoading, true);
    const fw::Field* f = Field();
    SetDate(f ? f->asDateTime().date() : EmptyDate);
    ShowReadOnlyLook(FDataLink->showsReadOnly());
}

void TDBDateEdit::FollowEditing()
{
    const bool editing = FDataLink->editing();
    TCustomComboEdit::SetReadOnly(!editing);
    ShowReadOnlyLook(FDataLink->showsReadOnly());
    const bool started = editing && !FWasEditing;
    FWasEditing = editing;
    if (started && FDefaultToday) {
        fw::Field* f = Field();
        if (f && f->isNull()) f->setAsDateTime(LocalNow());
    }
}

void TDBDateEdit::StoreToField()
{
    fw::Field* f = Field();
    if (!f) return;
    QDate d;
    if (IsEmptyDateText()) d = FDefaultToday ? LocalToday() : EmptyDate;
    else d = TextToDateFmt(FTextFormat, Text());   // a text that is no date leaves the field alone
    if (d.isValid()) f->setAsDateTime(withFieldTime(d));
    else f->clear();
}

void TDBDateEdit::RefreshDateMask()
{
    {
        const QScopedValueRollback guard(FLoading, true);
        TCustomDateEdit::RefreshDateMask();
    }
    LoadFromField();
}

void TDBDateEdit::AcceptIntoField(TCustomDateEdit*, QDate&, bool& accept)
{
    const fw::DataSet* ds = FDataLink->dataSet();
    accept = accept && ds && ds->canModify() && EditCanModify();
}

bool TDBDateEdit::ReadOnlyState() const { return !FDataLink->canModify(); }

bool TDBDateEdit::EditCanModify() const { return FDataLink->editing() || FDataLink->tryEdit(); }

void TDBDateEdit::SetDateAndSelect(const QDate& d)
{
    if (!EditCanModify()) return;
    TCustomDateEdit::SetDateAndSelect(d);
}

void TDBDateEdit::RevertText()
{
    FDataLink->reset();
    if (FDirectInput) selectAll();
}

void TDBDateEdit::TakePopupValue(const QVariant& value)
{
    fw::Field* f = Field();
    if (!f || !FDataLink->editing()) return;
    try {
        const QDate d = value.isValid() ? value.toDate() : QDate();
        if (d.isValid()) f->setAsDateTime(withFieldTime(d));
        else f->clear();
    } catch (...) {
        ReportControlException(this, std::current_exception());
        return;
    }
    FDropShown = FDropDown && FDropDown->isVisible();
    Change();
}

void TDBDateEdit::Change()
{
    if (!FLoading && !FSelfUpdate) FDataLink->setModified();
    TCustomDateEdit::Change();
}

void TDBDateEdit::KeyDown(QKeyEvent* e, bool& handled)
{
    TCustomDateEdit::KeyDown(e, handled);
    if (handled || PopupVisible() || ReadOnly()) return;
    const bool shiftInsert = e->key() == Qt::Key_Insert && (e->modifiers() & Qt::ShiftModifier);
    if (e->key() == Qt::Key_Delete || shiftInsert || e->matches(QKeySequence::Paste)
        || e->matches(QKeySequence::Cut)) {
        // A refused edit mode drops the key.
        if (!EditCanModify()) handled = true;
    }
}

void TDBDateEdit::KeyPress(QChar& key, bool& handled)
{
    // Esc while typing takes the typed date back first; only then does it reach the form,
    // which would otherwise close and write what was typed.
    if (key == QChar(27) && !PopupVisible() && FDataLink->isModified()) {
        RevertText();
        handled = true;
        return;
    }
    const QPointer<TDBDateEdit> self(this);
    TCustomDateEdit::KeyPress(key, handled);
    if (handled || !self) return;
    const bool digit = key >= QChar('0') && key <= QChar('9');
    if (key == QChar(27)) {
        RevertText();
        handled = true;
        return;
    }
    if (key.unicode() >= 32 && !digit && key != FormatSettings().DateSeparator && Field()) {
        BeepDefault();
        handled = true;
        return;
    }
    if ((digit || key == QChar(8)) && !ReadOnly() && !EditCanModify()) handled = true;
}

void TDBDateEdit::focusOutEvent(QFocusEvent* e)
{
    const bool done = WriteOnExit(e, FDirectInput, [this] {
        if (FCheckOnExit) ValidateDateText();
        FDataLink->updateRecord();
    });
    // The date edit's own check ran above, before the record is written.
    if (done) TCustomComboEdit::focusOutEvent(e);
}
