#include "DBCalcEdit.h"

#include "FormatSettings.h"
#include "VclUtils.h"

#include <QKeyEvent>
#include <QTimer>

namespace {
// Integers are truncated; everything else keeps the fixed-point value, never a float's tail.
void setNumber(fw::Field& f, fw::Currency v)
{
    if (f.type() == fw::FieldType::Integer)
        f.setValue(fw::Value(static_cast<long long>(v.scaled() / fw::Currency::Scale)));
    else
        f.setAsCurrency(v);
}
}

TBrDBCalcEdit::TBrDBCalcEdit(QWidget* parent) : TBrCustomCalcEdit(parent)
{
    FDataLink = new fw::FieldDataLink(this);
    FDataLink->onDataChange = [this] { LoadFromField(); };
    FDataLink->onEditingChange = [this] { FollowEditing(); };
    FDataLink->onUpdateData = [this] { StoreToField(); };
    TCustomComboEdit::SetReadOnly(true);
    FButtonAlways = true;
}

void TBrDBCalcEdit::SetDefaultParams(bool v)
{
    if (v == FDefaultParams) return;
    FDefaultParams = v;
    if (v) ApplyFieldParams();
}

void TBrDBCalcEdit::ApplyFieldParams()
{
    if (const fw::Field* f = Field()) {
        if (f->isNumeric()) {
            if (!f->displayFormat().isEmpty()) SetDisplayFormat(f->displayFormat());
            SetAlignment(Qt::AlignRight);
        }
        // Fields carry no bounds of their own: none here either.
        switch (f->type()) {
        case fw::FieldType::Integer:
            SetMinValue(fw::Currency());
            SetMaxValue(fw::Currency());
            SetDecimalPlaces(0);
            if (FDisplayFormat.isEmpty()) SetDisplayFormat(QStringLiteral(",#"));
            break;
        case fw::FieldType::Currency:
            SetMinValue(fw::Currency());
            SetMaxValue(fw::Currency());
            break;
        case fw::FieldType::Float:
            SetMinValue(fw::Currency());
            SetMaxValue(fw::Currency());
            SetDecimalPlaces(4);   // as many as the edit's value holds
            break;
        default:
            break;
        }
    }
    PopupBeepChanged();
}

void TBrDBCalcEdit::LoadFromField()
{
    if (FDefaultParams) ApplyFieldParams();
    fw::Currency v;
    if (const fw::Field* f = Field(); f && !f->isNull())
        v = f->type() == fw::FieldType::Integer ? fw::Currency::fromInt(f->value().asInt64())
                                                : f->asCurrency();
    SetValue(v);
    ShowReadOnlyLook(FDataLink->showsReadOnly());
}

void TBrDBCalcEdit::SetReadOnly(bool v)
{
    FDataLink->setReadOnly(v);
    ShowReadOnlyLook(FDataLink->showsReadOnly());
}

void TBrDBCalcEdit::FollowEditing()
{
    TCustomComboEdit::SetReadOnly(!FDataLink->editing());
    ShowReadOnlyLook(FDataLink->showsReadOnly());
}

void TBrDBCalcEdit::StoreToField()
{
    fw::Field* f = Field();
    if (!f) return;
    ReadEditValue();   // a text that is no number leaves the field alone
    if (FNumber.isZero() && FZeroEmpty) f->clear();
    else setNumber(*f, FNumber);
}

bool TBrDBCalcEdit::ReadOnlyState() const { return !FDataLink->canModify(); }

bool TBrDBCalcEdit::EditCanModify() const { return FDataLink->editing() || FDataLink->tryEdit(); }

bool TBrDBCalcEdit::KeyAcceptable(QChar key) const
{
    if (!TBrCustomCalcEdit::KeyAcceptable(key)) return false;
    const fw::Field* f = Field();
    if (!f) return true;
    const bool sign = (key >= QChar('0') && key <= QChar('9')) || key == '+' || key == '-';
    switch (f->type()) {
    case fw::FieldType::Integer: return sign;
    case fw::FieldType::Currency: return sign || key == FormatSettings().DecimalSeparator;
    case fw::FieldType::Float:
        return sign || key == FormatSettings().DecimalSeparator || key == 'E' || key == 'e';
    default: return true;
    }
}

QString TBrDBCalcEdit::DisplayText() const
{
    return Field() ? TBrCustomCalcEdit::DisplayText() : QString();
}

void TBrDBCalcEdit::RevertText()
{
    FDataLink->reset();
    TCustomNumEdit::RevertText();
}

void TBrDBCalcEdit::TakePopupValue(const QVariant& value)
{
    fw::Field* f = Field();
    if (!f || !FDataLink->editing()) return;
    const QString s = value.isValid() ? value.toString() : QString();
    try {
        // A result money cannot hold is refused aloud, never dropped or stored as another.
        if (s.isEmpty()) f->clear();
        else setNumber(*f, fw::Currency::fromText(CleanNumber(s)));
    } catch (...) {
        ReportControlException(this, std::current_exception());
        return;
    }
    FDropShown = FDropDown && FDropDown->isVisible();
    Change();
}

void TBrDBCalcEdit::Change()
{
    if (!FInternalChange) FDataLink->setModified();
    TBrCustomCalcEdit::Change();
}

void TBrDBCalcEdit::KeyDown(QKeyEvent* e, bool& handled)
{
    TBrCustomCalcEdit::KeyDown(e, handled);
    if (handled || PopupVisible() || ReadOnly()) return;
    const bool shiftInsert = e->key() == Qt::Key_Insert && (e->modifiers() & Qt::ShiftModifier);
    if (e->key() == Qt::Key_Delete || shiftInsert || e->matches(QKeySequence::Cut)) {
        if (!EditCanModify()) handled = true;
    }
}

void TBrDBCalcEdit::KeyPress(QChar& key, bool& handled)
{
    const TFormatSettings& fs = FormatSettings();
    if (!PopupVisible() && !ReadOnly() && !FDataLink->editing()
        && (key == QChar(8) || key.unicode() >= 32)) {
        // The number checks need a writable edit, so a key they refuse must not start editing.
        QChar k = key;
        if ((k == ',' || k == '.') && k != fs.ThousandSeparator) k = fs.DecimalSeparator;
        if (k.unicode() >= 32 && !KeyAcceptable(k)) {
            RefuseKey(k);
            handled = true;
            return;
        }
        if (!EditCanModify()) {
            handled = true;
            return;
        }
    }
    const bool esc = key == QChar(27) && !PopupVisible();
    const QPointer<TBrDBCalcEdit> self(this);
    TBrCustomCalcEdit::KeyPress(key, handled);
    if (!self || !esc) return;
    FDataLink->reset();
    if (FDirectInput) selectAll();
    handled = true;
}

void TBrDBCalcEdit::focusOutEvent(QFocusEvent* e)
{
    const bool done = WriteOnExit(e, FDirectInput, [this] {
        ExitValueCheck();
        FDataLink->updateRecord();
    });
    if (done) TBrCustomCalcEdit::focusOutEvent(e);
}
