#include "DBControls.h"

#include "ExceptionHandler.h"

#include <QButtonGroup>
#include <QKeyEvent>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

namespace fw {

namespace {

bool isTextField(const Field* f)
{
    return f && (f->type() == FieldType::String || f->type() == FieldType::Memo);
}

// Focus moving to another window (a message box) or a menu is not leaving the control.
bool leavesControl(Qt::FocusReason r)
{
    return r != Qt::ActiveWindowFocusReason && r != Qt::PopupFocusReason && r != Qt::MenuBarFocusReason;
}

// Writes what the control holds; a value the field rejects is shown and the
// control takes the focus back with its text selected.
template <class Control>
void updateOnExit(Control* c, FieldDataLink& link)
{
    if (runGuarded([&] { link.updateRecord(); })) return;
    c->selectAll();
    QTimer::singleShot(0, c, [c] { c->setFocus(); });
}

} // namespace

// ---------------------------------------------------------------- DBEdit

DBEdit::DBEdit(QWidget* parent) : QLineEdit(parent)
{
    link_.onDataChange = [this] { load(); };
    link_.onEditingChange = [this] { updateReadOnly(); };
    link_.onUpdateData = [this] { store(); };
    connect(this, &QLineEdit::textEdited, this, &DBEdit::userEdited);
}

void DBEdit::setReadOnly(bool on)
{
    link_.setReadOnly(on);
    updateReadOnly();
}

bool DBEdit::liveField() const
{
    return isTextField(link_.field());
}

void DBEdit::updateReadOnly()
{
    // Typing into a browsing record stays possible: it starts the edit.
    QLineEdit::setReadOnly(bound() ? !link_.canModify() : link_.readOnly());
    showReadOnly(this, bound() ? link_.showsReadOnly() : link_.readOnly());
}

void DBEdit::load()
{
    if (!bound()) return;
    loading_ = true;
    session_ = false;
    Field* f = link_.field();
    QString t;
    // Setting the text (setMaxLength sets it again too) leaves the cursor at its end,
    // so that a text longer than the edit would show its end: it is put at the beginning.
    bool newText = false;
    if (f) {
        const int length = f->type() == FieldType::String && f->size() > 0 ? f->size() : 32767;
        if (maxLength() != length) {
            setMaxLength(length);
            newText = true;
        }
        setAlignment(fieldAlignment(*f));
        t = focused_ && link_.canModify() ? fieldEditText(*f) : f->displayText();
    }
    if (text() != t) {
        setText(t);
        newText = true;
    }
    if (newText) setCursorPosition(0);
    setModified(false);
    loading_ = false;
    updateReadOnly();
}

QVariant DBEdit::inputMethodQuery(Qt::InputMethodQuery query) const
{
    // Without the focus there is no cursor to scroll to: a scroll area brings the
    // whole edit into view, not only its first letters.
    if (query == Qt::ImCursorRectangle && !hasFocus()) return QWidget::inputMethodQuery(query);
    return QLineEdit::inputMethodQuery(query);
}

void DBEdit::keyPressEvent(QKeyEvent* e)
{
    if (bound()) {
        if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
            if (revert()) {
                e->accept();
                return;
            }
            e->ignore();
            return;
        }
        if (keyModifiesText(e) && !link_.editing() && !link_.tryEdit()) {
            e->accept();
            return;
        }
    }
    QLineEdit::keyPressEvent(e);
}

void DBEdit::userEdited()
{
    if (loading_ || !bound()) return;
    if (!link_.editing()) {
        // A paste from the menu or a drop into a browsing record.
        const QString typed = text();
        if (!link_.tryEdit()) {
            load();
            return;
        }
        // Editing an empty data set inserts a row, which shows its defaults.
        if (text() != typed) {
            loading_ = true;
            setText(typed);
            loading_ = false;
        }
    }
    Field* f = link_.field();
    if (!session_ && f) {
        entryValue_ = f->value();
        session_ = true;
    }
    link_.setModified();
    // Text goes into a text field at once, so that whoever reads the field
    // (a button that keeps the focus here, the dialog's OK) sees it.
    if (liveField()) runGuarded([this] { link_.updateRecord(); });
}

void DBEdit::store()
{
    link_.writeText(text());
}

bool DBEdit::revert()
{
    if (link_.isModified() && !session_) {
        link_.reset();
        selectAll();
        return true;
    }
    if (!session_) return false;
    const Value back = entryValue_;
    session_ = false;
    runGuarded([&] { link_.writeValue(back); });
    link_.reset();
    selectAll();
    return true;
}

void DBEdit::focusInEvent(QFocusEvent* e)
{
    focused_ = true;
    if (bound() && !link_.isModified()) load();
    QLineEdit::focusInEvent(e);
}

void DBEdit::focusOutEvent(QFocusEvent* e)
{
    QLineEdit::focusOutEvent(e);
    if (!bound() || !leavesControl(e->reason())) return;
    if (link_.isModified()) {
        updateOnExit(this, link_);
        if (link_.isModified()) return;
    }
    focused_ = false;
    load();
}

// ---------------------------------------------------------------- DBMemo

DBMemo::DBMemo(QWidget* parent) : QPlainTextEdit(parent)
{
    setTabChangesFocus(true);
    link_.onDataChange = [this] { load(); };
    link_.onEditingChange = [this] { updateReadOnly(); };
    link_.onUpdateData = [this] { link_.writeText(storedText()); };
    connect(this, &QPlainTextEdit::textChanged, this, &DBMemo::userEdited);
}

void DBMemo::setReadOnly(bool on)
{
    link_.setReadOnly(on);
    updateReadOnly();
}

void DBMemo::updateReadOnly()
{
    QPlainTextEdit::setReadOnly(bound() ? !link_.canModify() : link_.readOnly());
    showReadOnly(this, bound() ? link_.showsReadOnly() : link_.readOnly());
}

QString DBMemo::storedText() const
{
    return toPlainText().replace('\n', QLatin1String("\r\n"));
}

void DBMemo::load()
{
    if (!bound()) return;
    loading_ = true;
    Field* f = link_.field();
    QString t = f ? f->asString() : QString();
    t.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace('\r', '\n');
    if (toPlainText() != t) setPlainText(t);
    loading_ = false;
    updateReadOnly();
}

void DBMemo::keyPressEvent(QKeyEvent* e)
{
    if (bound()) {
        const bool newLine = (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter)
            && !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
        if ((keyModifiesText(e) || newLine) && !link_.editing() && !link_.tryEdit()) {
            e->accept();
            return;
        }
    }
    QPlainTextEdit::keyPressEvent(e);
}

void DBMemo::userEdited()
{
    if (loading_ || !bound()) return;
    if (!link_.editing()) {
        const QString typed = toPlainText();
        if (!link_.tryEdit()) {
            load();
            return;
        }
        if (toPlainText() != typed) {
            loading_ = true;
            setPlainText(typed);
            loading_ = false;
        }
    }
    link_.setModified();
    if (isTextField(link_.field())) runGuarded([this] { link_.updateRecord(); });
}

void DBMemo::focusOutEvent(QFocusEvent* e)
{
    QPlainTextEdit::focusOutEvent(e);
    if (!bound() || !leavesControl(e->reason()) || !link_.isModified()) return;
    if (runGuarded([this] { link_.updateRecord(); })) return;
    selectAll();
    QTimer::singleShot(0, this, [this] { setFocus(); });
}

// ---------------------------------------------------------------- DBCheckBox

DBCheckBox::DBCheckBox(QWidget* parent) : DBCheckBox(QString(), parent) {}

DBCheckBox::DBCheckBox(const QString& text, QWidget* parent) : QCheckBox(text, parent)
{
    link_.onDataChange = [this] { load(); };
    link_.onUpdateData = [this] {
        const QString& values = isChecked() ? checked_ : unchecked_;
        link_.writeText(values.section(';', 0, 0));
    };
    connect(this, &QAbstractButton::toggled, this, &DBCheckBox::toggledByUser);
}

void DBCheckBox::setValueChecked(const QString& v)
{
    checked_ = v;
    load();
}

void DBCheckBox::setValueUnchecked(const QString& v)
{
    unchecked_ = v;
    load();
}

void DBCheckBox::load()
{
    if (!bound()) return;
    Field* f = link_.field();
    bool on = false;
    if (f && !f->isNull()) {
        const QString v = f->asString().trimmed();
        for (const QString& c : checked_.split(';'))
            if (v.compare(c.trimmed(), Qt::CaseInsensitive) == 0) on = true;
    }
    loading_ = true;
    setChecked(on);
    loading_ = false;
}

bool DBCheckBox::mayToggle()
{
    if (!bound()) return true;
    return link_.editing() || link_.tryEdit();
}

void DBCheckBox::mouseReleaseEvent(QMouseEvent* e)
{
    // A refused toggle is no click either.
    if (e->button() == Qt::LeftButton && isDown() && hitButton(e->position().toPoint()) && !mayToggle()) {
        setDown(false);
        e->accept();
        return;
    }
    QCheckBox::mouseReleaseEvent(e);
}

void DBCheckBox::keyReleaseEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Space && !e->isAutoRepeat() && isDown() && !mayToggle()) {
        setDown(false);
        e->accept();
        return;
    }
    QCheckBox::keyReleaseEvent(e);
}

void DBCheckBox::toggledByUser(bool on)
{
    if (loading_ || !bound()) return;
    if (!link_.editing() && !link_.tryEdit()) {
        loading_ = true;
        setChecked(!on);
        loading_ = false;
        return;
    }
    link_.setModified();
    if (!runGuarded([this] { link_.updateRecord(); })) load();
}

// ---------------------------------------------------------------- DBRadioGroup

DBRadioGroup::DBRadioGroup(QWidget* parent) : DBRadioGroup(QString(), parent) {}

DBRadioGroup::DBRadioGroup(const QString& title, QWidget* parent)
    : QGroupBox(title, parent), group_(new QButtonGroup(this)), layout_(new QVBoxLayout(this))
{
    layout_->setContentsMargins(8, 4, 8, 4);
    layout_->setSpacing(2);
    link_.onDataChange = [this] { load(); };
    link_.onUpdateData = [this] { link_.writeText(value()); };
    connect(group_, &QButtonGroup::idClicked, this, &DBRadioGroup::clicked);
}

void DBRadioGroup::setItems(const QStringList& items)
{
    for (QAbstractButton* b : group_->buttons()) {
        group_->removeButton(b);
        delete b;
    }
    items_ = items;
    for (int i = 0; i < items_.size(); ++i) {
        auto* b = new QRadioButton(items_[i], this);
        group_->addButton(b, i);
        layout_->addWidget(b);
    }
    load();
}

void DBRadioGroup::setValues(const QStringList& values)
{
    values_ = values;
    load();
}

QString DBRadioGroup::valueOf(int i) const
{
    if (i < 0 || i >= items_.size()) return {};
    return i < values_.size() ? values_[i] : items_[i];
}

int DBRadioGroup::itemIndex() const
{
    return group_->checkedId();
}

QString DBRadioGroup::value() const
{
    return valueOf(itemIndex());
}

void DBRadioGroup::check(int i)
{
    loading_ = true;
    // An exclusive group cannot show "none" otherwise.
    group_->setExclusive(false);
    for (QAbstractButton* b : group_->buttons()) b->setChecked(group_->id(b) == i);
    group_->setExclusive(true);
    loading_ = false;
}

void DBRadioGroup::load()
{
    if (!bound()) return;
    Field* f = link_.field();
    int at = -1;
    if (f && !f->isNull()) {
        const QString v = f->asString().trimmed();
        for (int i = 0; i < items_.size() && at < 0; ++i)
            if (valueOf(i).compare(v, Qt::CaseInsensitive) == 0) at = i;
    }
    check(at);
}

void DBRadioGroup::setItemIndex(int i)
{
    if (i == itemIndex()) return;
    const int before = itemIndex();
    check(i);
    if (bound()) {
        if (!link_.editing() && !link_.tryEdit()) {
            check(before);
            return;
        }
        link_.setModified();
        if (!runGuarded([this] { link_.updateRecord(); })) {
            load();
            return;
        }
    }
    runGuarded([this] { emit changed(); });
}

void DBRadioGroup::clicked(int)
{
    if (loading_) return;
    if (bound()) {
        // The button is already checked; a refusal puts the field's item back.
        if (!link_.editing() && !link_.tryEdit()) {
            load();
            return;
        }
        link_.setModified();
        if (!runGuarded([this] { link_.updateRecord(); })) {
            load();
            return;
        }
    }
    runGuarded([this] { emit changed(); });
}

// ---------------------------------------------------------------- DBText

DBText::DBText(QWidget* parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    link_.onDataChange = [this] { load(); };
}

void DBText::load()
{
    Field* f = link_.field();
    setText(f ? f->displayText() : QString());
}

// ---------------------------------------------------------------- DBListBox

DBListBox::DBListBox(QWidget* parent) : QListView(parent), model_(new DataSetModel(this))
{
    setModel(model_);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    connect(model_, &DataSetModel::currentRowChanged, this, &DBListBox::follow);
}

void DBListBox::setListField(const QString& name)
{
    model_->setColumns({GridColumn{name}});
    setModelColumn(0);
}

QString DBListBox::listField() const
{
    return model_->columns().isEmpty() ? QString() : model_->column(0).fieldName;
}

void DBListBox::follow(int row)
{
    syncing_ = true;
    const QModelIndex idx = model_->index(row, 0);
    if (idx.isValid()) {
        selectionModel()->setCurrentIndex(idx, QItemSelectionModel::ClearAndSelect);
        scrollTo(idx);
    } else {
        selectionModel()->clear();
    }
    syncing_ = false;
}

void DBListBox::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QListView::currentChanged(current, previous);
    if (syncing_ || model_->notifying() || !current.isValid()) return;
    DataSet* ds = model_->dataSet();
    if (!ds || ds->currentRow() == current.row()) return;
    runGuarded([&] { ds->setCurrentRow(current.row()); });
    // Refused, or rows shifted by a cancelled new row: show where the data set is.
    if (ds->currentRow() != current.row()) QTimer::singleShot(0, this, [this] { follow(model_->currentRow()); });
}

} // namespace fw
