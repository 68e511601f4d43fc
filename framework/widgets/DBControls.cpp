#include "DBControls.h"

#include "ExceptionHandler.h"

#include <QApplication>
#include <QButtonGroup>
#include <QKeyEvent>
#include <QMimeData>
#include <QPointer>
#include <QRadioButton>
#include <QTextBlock>
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

QString characters(int n)
{
    const int tens = n % 100, ones = n % 10;
    if (tens >= 11 && tens <= 14) return "символов";
    if (ones == 1) return "символ";
    if (ones >= 2 && ones <= 4) return "символа";
    return "символов";
}

// Characters a memo's text takes in its field: a line end is CR LF there.
int storedLength(const QString& text)
{
    return int(text.size() + text.count('\n'));
}

// Polished line edits with a maximum length get the notice.
class LengthNotices : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Polish)
            if (auto* edit = qobject_cast<QLineEdit*>(watched)) noteLengthLimit(edit);
        return false;
    }
};

} // namespace

void showLengthLimit(QWidget* edit, const QRect& cursor, int limit, const QString& unitsNote)
{
    QApplication::beep();
    // A tool tip would go with the release of the very key that was refused: the
    // notice is a window of its own that stays a few seconds.
    static QPointer<QLabel> notice;
    static QPointer<QTimer> timer;
    QWidget* window = edit->window();
    if (!notice || notice->parentWidget() != window) {
        delete notice;
        notice = new QLabel(window, Qt::ToolTip);
        notice->setObjectName("fwLengthNotice");
        notice->setForegroundRole(QPalette::ToolTipText);
        notice->setBackgroundRole(QPalette::ToolTipBase);
        notice->setAutoFillBackground(true);
        notice->setFrameStyle(QFrame::Box | QFrame::Plain);
        notice->setMargin(3);
        timer = new QTimer(notice);
        timer->setSingleShot(true);
        timer->setInterval(4000);
        QObject::connect(timer, &QTimer::timeout, notice, &QWidget::hide);
    }
    notice->setText(QString("Поле вмещает не более %1 %2%3 — лишнее не введено.")
                        .arg(limit)
                        .arg(characters(limit), unitsNote.isEmpty() ? QString() : " " + unitsNote));
    notice->adjustSize();
    notice->move(edit->mapToGlobal(cursor.bottomLeft() + QPoint(0, 2)));
    notice->show();
    timer->start();
}

void noteLengthLimit(QLineEdit* edit)
{
    static const char* const noted = "fwLengthNoted";
    if (edit->property(noted).toBool()) return;
    edit->setProperty(noted, true);
    QObject::connect(edit, &QLineEdit::inputRejected, edit, [edit] {
        // Also a validator's or an input mask's refusal, which is not about the length.
        if (edit->inputMask().isEmpty() && edit->maxLength() < 32767 && edit->text().size() >= edit->maxLength())
            showLengthLimit(edit, edit->inputMethodQuery(Qt::ImCursorRectangle).toRect(), edit->maxLength());
    });
}

void installLengthNotices()
{
    static QPointer<LengthNotices> filter;
    if (!filter) qApp->installEventFilter(filter = new LengthNotices(qApp));
}

// ---------------------------------------------------------------- DBEdit

DBEdit::DBEdit(QWidget* parent) : QLineEdit(parent)
{
    noteLengthLimit(this);
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

QString DBMemo::text() const
{
    // toPlainText() would turn the non-breaking spaces into plain ones.
    QString t = document()->toRawText();
    for (QChar& c : t)
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator || c.unicode() == 0xfdd0 || c.unicode() == 0xfdd1)
            c = '\n';
    return t;
}

QString DBMemo::storedText() const
{
    return text().replace('\n', QLatin1String("\r\n"));
}

int DBMemo::limit() const
{
    const Field* f = bound() ? link_.field() : nullptr;
    return f && f->type() == FieldType::String && f->size() > 0 ? f->size() : 0;
}

int DBMemo::room() const
{
    QString selected = textCursor().selectedText();
    selected.replace(QChar::ParagraphSeparator, '\n').replace(QChar::LineSeparator, '\n');
    return limit() - storedLength(text()) + storedLength(selected);
}

void DBMemo::load()
{
    if (!bound()) return;
    loading_ = true;
    Field* f = link_.field();
    QString t = f ? f->asString() : QString();
    t.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace('\r', '\n');
    if (text() != t) setPlainText(t);
    loading_ = false;
    updateReadOnly();
}

void DBMemo::keyPressEvent(QKeyEvent* e)
{
    const bool newLine = (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter)
        && !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    if (bound()) {
        if ((keyModifiesText(e) || newLine) && !link_.editing() && !link_.tryEdit()) {
            e->accept();
            return;
        }
    }
    // A typed character or line end past the field's length is refused; a paste goes through insertFromMimeData.
    const bool typed = newLine || (keyModifiesText(e) && e->text().size() > 0 && e->text().at(0).isPrint());
    if (typed && limit() > 0 && !QPlainTextEdit::isReadOnly() && storedLength(newLine ? "\n" : e->text()) > room()) {
        showLengthLimit(this, cursorRect(), limit(), "(перевод строки — два)");
        e->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(e);
}

void DBMemo::insertFromMimeData(const QMimeData* source)
{
    if (limit() <= 0 || !source->hasText()) {
        QPlainTextEdit::insertFromMimeData(source);
        return;
    }
    QString t = source->text();
    t.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace('\r', '\n');
    const int fits = room();
    if (storedLength(t) <= fits) {
        QPlainTextEdit::insertFromMimeData(source);
        return;
    }
    // What fits goes in; the cursor then stands where the text was cut.
    int n = 0;
    for (int used = 0; n < t.size(); ++n) {
        used += t[n] == '\n' ? 2 : 1;
        if (used > fits) break;
    }
    QTextCursor c = textCursor();
    c.insertText(t.left(n));
    setTextCursor(c);
    ensureCursorVisible();
    showLengthLimit(this, cursorRect(), limit(), "(перевод строки — два)");
}

void DBMemo::userEdited()
{
    if (loading_ || !bound()) return;
    if (!link_.editing()) {
        const QString typed = text();
        if (!link_.tryEdit()) {
            load();
            return;
        }
        if (text() != typed) {
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
