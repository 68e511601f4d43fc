#include "FieldDataLink.h"

#include "ExceptionHandler.h"
#include "db/NumberFormat.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

namespace fw {

QString valueEditText(const Value& v, const Field& f)
{
    if (v.isNull()) return {};
    try {
        switch (f.type()) {
        case FieldType::Integer: return QString::number(v.asInt64());
        case FieldType::Float: return numberText(v.asDouble());
        case FieldType::Currency: return numberText(v.asCurrency());
        case FieldType::DateTime: return dateTimeToStr(v.asDateTime());
        case FieldType::Blob: return {};
        case FieldType::String: case FieldType::Memo: break;
        }
    } catch (const ConvertError&) {
        // a value of another type than the field's: show it as it is
    }
    return v.asString();
}

Qt::Alignment fieldAlignment(const Field& f)
{
    return (f.isNumeric() ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
}

void showReadOnly(QWidget* control, bool on)
{
    static const char* const shown = "fwReadOnlyShown";
    if (control->property(shown).toBool() == on) return;
    control->setProperty(shown, on);
    const QWidget* parent = control->parentWidget();
    const QPalette around = parent ? parent->palette() : QApplication::palette(control);
    QPalette p = control->palette();
    for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        p.setBrush(g, QPalette::Base, around.brush(g, on ? QPalette::Window : QPalette::Base));
    control->setPalette(p);
}

bool keyModifiesText(const QKeyEvent* e)
{
    if (e->matches(QKeySequence::Paste) || e->matches(QKeySequence::Cut) || e->matches(QKeySequence::Undo)
        || e->matches(QKeySequence::Redo) || e->matches(QKeySequence::DeleteEndOfWord)
        || e->matches(QKeySequence::DeleteStartOfWord))
        return true;
    if (e->key() == Qt::Key_Backspace || e->key() == Qt::Key_Delete) return true;
    const Qt::KeyboardModifiers m = e->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier);
    return m == Qt::NoModifier && !e->text().isEmpty() && e->text().at(0).isPrint();
}

FieldDataLink::FieldDataLink(QObject* parent) : QObject(parent) {}

FieldDataLink::~FieldDataLink()
{
    if (source_) source_->removeUpdateHandlers(this);
}

void FieldDataLink::setDataSource(DataSource* source)
{
    if (source == source_) return;
    for (const auto& c : connections_) disconnect(c);
    connections_.clear();
    if (source_) source_->removeUpdateHandlers(this);
    source_ = source;
    modified_ = false;
    if (source_) {
        connections_ << connect(source_, &DataSource::dataSetChanged, this, &FieldDataLink::dataChange)
                     << connect(source_, &DataSource::dataChanged, this, &FieldDataLink::dataChange)
                     << connect(source_, &DataSource::stateChanged, this, [this] {
                            resolve();
                            updateEditing();
                        })
                     << connect(source_, &DataSource::recordChanged, this, &FieldDataLink::recordChanged);
        source_->addUpdateHandler(this, [this] { updateRecord(); });
    }
    dataChange();
}

void FieldDataLink::setFieldName(const QString& name)
{
    if (name == name_) return;
    name_ = name;
    modified_ = false;
    dataChange();
}

DataSet* FieldDataLink::dataSet() const
{
    return source_ && source_->enabled() ? source_->dataSet() : nullptr;
}

bool FieldDataLink::active() const
{
    DataSet* ds = dataSet();
    return ds && ds->active();
}

Field* FieldDataLink::field() const
{
    return active() ? field_ : nullptr;
}

bool FieldDataLink::canModify() const
{
    Field* f = field();
    return !readOnly_ && f && f->kind() == Field::Kind::Data && !f->readOnly() && f->dataSet().canModify();
}

void FieldDataLink::setReadOnly(bool on)
{
    if (on == readOnly_) return;
    readOnly_ = on;
    updateEditing();
}

void FieldDataLink::resolve()
{
    // Only an open data set: asking a closed one for a field may prepare its statement.
    field_ = active() && !name_.isEmpty() ? dataSet()->findField(name_) : nullptr;
}

void FieldDataLink::updateEditing()
{
    const DataSetState s = source_ ? source_->state() : DataSetState::Inactive;
    const bool now = (s == DataSetState::Edit || s == DataSetState::Insert) && canModify();
    if (now == editing_) return;
    editing_ = now;
    if (!editing_) modified_ = false;
    if (onEditingChange) onEditingChange();
}

void FieldDataLink::dataChange()
{
    resolve();
    updateEditing();
    modified_ = false;
    if (onDataChange) onDataChange();
}

void FieldDataLink::recordChanged(Field* f)
{
    if (f && (f != field_ || writing_)) return;
    if (!f) resolve();
    modified_ = false;
    if (onDataChange) onDataChange();
}

bool FieldDataLink::edit()
{
    if (!canModify()) return false;
    DataSet* ds = dataSet();
    if (ds->state() == DataSetState::Browse) ds->edit();
    updateEditing();
    return editing_;
}

bool FieldDataLink::tryEdit()
{
    bool ok = false;
    runGuarded([&] { ok = edit(); });
    return ok;
}

void FieldDataLink::reset()
{
    modified_ = false;
    if (onDataChange) onDataChange();
}

void FieldDataLink::updateRecord()
{
    if (!modified_) return;
    if (field() && onUpdateData) onUpdateData();
    modified_ = false;
}

void FieldDataLink::writeValue(const Value& v)
{
    Field* f = field();
    if (!f) return;
    writing_ = true;
    try {
        f->setValue(v);
    } catch (...) {
        writing_ = false;
        throw;
    }
    writing_ = false;
}

void FieldDataLink::writeText(const QString& text)
{
    Field* f = field();
    if (!f) return;
    writing_ = true;
    try {
        f->setAsString(text);
    } catch (...) {
        writing_ = false;
        throw;
    }
    writing_ = false;
}

} // namespace fw
