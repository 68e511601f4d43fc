#include "DBLookupCombo.h"

#include "ExceptionHandler.h"

#include <QAbstractItemView>
#include <QKeyEvent>
#include <QWheelEvent>

namespace fw {

DBLookupCombo::DBLookupCombo(QWidget* parent) : QComboBox(parent), list_(new DataSetModel(this))
{
    setModel(list_);
    setModelColumn(0);
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(8);
    setMaxVisibleItems(8);
    link_.onDataChange = [this] { loadFromField(); };
    connect(this, QOverload<int>::of(&QComboBox::activated), this, &DBLookupCombo::picked);
    // A reopened or refiltered list: the key may be there now, or no more.
    connect(list_, &QAbstractItemModel::modelReset, this, &DBLookupCombo::showKey);
    // The open list's type-ahead keeps the program's pace, not Qt's own.
    view()->installEventFilter(this);
}

void DBLookupCombo::setListSource(DataSource* source)
{
    list_->setDataSource(source);
    showKey();
}

void DBLookupCombo::setKeyField(const QString& name)
{
    keyField_ = name;
    showKey();
}

void DBLookupCombo::setListField(const QString& name)
{
    list_->setColumns({GridColumn{name}});
    setModelColumn(0);
    showKey();
}

QString DBLookupCombo::listField() const
{
    return list_->columns().isEmpty() ? QString() : list_->column(0).fieldName;
}

void DBLookupCombo::setKeyValue(const Value& key)
{
    key_ = key;
    showKey();
}

bool DBLookupCombo::listVisible() const
{
    return view() && view()->isVisible();
}

bool DBLookupCombo::mayChange() const
{
    if (readOnly_ || !listDataSet()) return false;
    return !bound() || link_.canModify();
}

void DBLookupCombo::loadFromField()
{
    if (!bound()) return;
    Field* f = link_.field();
    key_ = f ? f->value() : Value();
    showKey();
}

void DBLookupCombo::showKey()
{
    showing_ = true;
    int row = -1;
    DataSet* ds = listDataSet();
    if (ds && !key_.isNull() && !keyField_.isEmpty()) {
        // The framework's lookup combo moves its list to the key's row; windows
        // read the chosen row's other columns from there.
        try {
            if (ds->locate(keyField_, key_)) row = ds->currentRow();
        } catch (const Error&) {
            // a list without the key field, or one that refuses to move: no text
        } catch (const Abort&) {
        }
    }
    if (row >= list_->rowCount()) row = -1;
    setCurrentIndex(row);
    showing_ = false;
}

void DBLookupCombo::picked(int row)
{
    if (showing_) return;
    DataSet* ds = listDataSet();
    Field* kf = ds ? ds->findField(keyField_) : nullptr;
    if (!kf || row < 0 || row >= ds->rowCount() || !mayChange()) {
        showKey();
        return;
    }
    const Value key = ds->valueAt(row, *kf);
    if (bound()) {
        const bool ok = runGuarded([&] {
            if (!link_.edit()) throw Abort();
            link_.writeValue(key);
        });
        if (!ok) {
            loadFromField();
            return;
        }
    }
    key_ = key;
    showKey();
    click();
}

void DBLookupCombo::click()
{
    runGuarded([this] { emit activated(); });
}

void DBLookupCombo::showPopup()
{
    if (!mayChange()) return;
    search_.clear();   // a search belongs to one opening
    QComboBox::showPopup();
}

void DBLookupCombo::hidePopup()
{
    QComboBox::hidePopup();
}

void DBLookupCombo::keyPressEvent(QKeyEvent* e)
{
    bool handled = false;
    runGuarded([&] { emit keyDown(e, &handled); });
    if (handled) {
        e->accept();
        return;
    }
    switch (e->key()) {
    case Qt::Key_Escape: case Qt::Key_Return: case Qt::Key_Enter: case Qt::Key_Tab: case Qt::Key_Backtab:
        break;
    default:
        if (!mayChange()) {
            e->accept();
            return;
        }
        if (TypeAhead::typed(e)) {
            // A closed combo takes the entry typed as a choice, as Qt's own search does.
            int row = -1;
            for (QChar ch : e->text()) row = lookUp(ch);
            if (row >= 0 && row != currentIndex()) picked(row);
            e->accept();
            return;
        }
    }
    QComboBox::keyPressEvent(e);
}

bool DBLookupCombo::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == view() && event->type() == QEvent::KeyPress) {
        auto* ke = static_cast<QKeyEvent*>(event);
        if (TypeAhead::typed(ke)) {
            for (QChar ch : ke->text()) {
                const int row = lookUp(ch);
                if (row >= 0) view()->setCurrentIndex(model()->index(row, modelColumn()));
            }
            return true;
        }
        if (ke->key() == Qt::Key_Backspace) search_.clear();
    }
    return QComboBox::eventFilter(watched, event);
}

int DBLookupCombo::lookUp(QChar ch)
{
    search_.add(ch);
    return search_.find(count(), [this](int i) { return itemText(i); });
}

void DBLookupCombo::wheelEvent(QWheelEvent* e)
{
    // The wheel scrolls the window, never changes a closed combo's choice.
    e->ignore();
}

} // namespace fw
