#include "FieldLabels.h"

#include "DBControls.h"
#include "DBLookupCombo.h"
#include "FieldDataLink.h"
#include "db/DataSet.h"

#include <QAbstractButton>
#include <QApplication>
#include <QBoxLayout>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace fw {

namespace {

QString cleanCaption(QString text)
{
    text.remove('&');
    text = text.trimmed();
    if (text.endsWith(':')) text.chop(1);
    return text.trimmed();
}

QString labelText(QLayoutItem* item)
{
    auto* label = item ? qobject_cast<QLabel*>(item->widget()) : nullptr;
    return label && !label->buddy() ? cleanCaption(label->text()) : QString();
}

// The layout that holds w directly, and w's index in it.
QLayout* holdingLayout(QLayout* layout, const QWidget* w, int& index)
{
    if (!layout) return nullptr;
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem* item = layout->itemAt(i);
        if (item->widget() == w) {
            index = i;
            return layout;
        }
        if (QLayout* inner = holdingLayout(item->layout(), w, index)) return inner;
    }
    return nullptr;
}

// The label beside w in the layout that places it.
QString layoutCaption(const QWidget* w)
{
    const QWidget* parent = w->parentWidget();
    int index = -1;
    QLayout* layout = parent ? holdingLayout(parent->layout(), w, index) : nullptr;
    if (!layout) return {};
    if (auto* form = qobject_cast<QFormLayout*>(layout)) {
        if (QWidget* label = form->labelForField(const_cast<QWidget*>(w)))
            if (auto* l = qobject_cast<QLabel*>(label)) return cleanCaption(l->text());
        return {};
    }
    if (auto* grid = qobject_cast<QGridLayout*>(layout)) {
        int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
        grid->getItemPosition(index, &row, &column, &rowSpan, &columnSpan);
        return column > 0 ? labelText(grid->itemAtPosition(row, column - 1)) : QString();
    }
    if (qobject_cast<QBoxLayout*>(layout) && index > 0) return labelText(layout->itemAt(index - 1));
    return {};
}

bool isInput(const QWidget* w)
{
    return qobject_cast<const QLineEdit*>(w) || qobject_cast<const QPlainTextEdit*>(w)
        || qobject_cast<const QTextEdit*>(w) || qobject_cast<const QComboBox*>(w) || dataLinkOf(const_cast<QWidget*>(w));
}

// A group box whose only input is w names it by its title.
QString groupCaption(const QWidget* w)
{
    auto* group = qobject_cast<const QGroupBox*>(w->parentWidget());
    if (!group || group->title().isEmpty()) return {};
    for (const QWidget* other : group->findChildren<QWidget*>())
        if (other != w && !w->isAncestorOf(other) && isInput(other)) return {};
    return cleanCaption(group->title());
}

QString textOf(QWidget* w)
{
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
    if (auto* e = qobject_cast<QPlainTextEdit*>(w)) return e->toPlainText();
    if (auto* e = qobject_cast<QTextEdit*>(w)) return e->toPlainText();
    return {};
}

} // namespace

FieldDataLink* dataLinkOf(QWidget* control)
{
    if (!control) return nullptr;
    if (auto* c = qobject_cast<DBEdit*>(control)) return &c->dataLink();
    if (auto* c = qobject_cast<DBMemo*>(control)) return &c->dataLink();
    if (auto* c = qobject_cast<DBCheckBox*>(control)) return &c->dataLink();
    if (auto* c = qobject_cast<DBRadioGroup*>(control)) return &c->dataLink();
    if (auto* c = qobject_cast<DBLookupCombo*>(control)) return &c->dataLink();
    // The controls built on these keep their link as a child.
    return control->findChild<FieldDataLink*>(QString(), Qt::FindDirectChildrenOnly);
}

QString controlCaption(const QWidget* control)
{
    if (!control) return {};
    // An edit inside a combo box is named as the combo box.
    if (qobject_cast<const QLineEdit*>(control) && qobject_cast<const QComboBox*>(control->parentWidget()))
        control = control->parentWidget();
    for (const QLabel* label : control->window()->findChildren<QLabel*>())
        if (label->buddy() == control) return cleanCaption(label->text());
    QString caption = layoutCaption(control);
    if (caption.isEmpty()) caption = groupCaption(control);
    if (caption.isEmpty())
        if (auto* button = qobject_cast<const QAbstractButton*>(control)) caption = cleanCaption(button->text());
    if (caption.isEmpty())
        if (auto* group = qobject_cast<const QGroupBox*>(control)) caption = cleanCaption(group->title());
    return caption;
}

QString fieldCaption(const DataSet& ds, const QString& fieldName)
{
    const Field* f = ds.findField(fieldName);
    if (f && f->displayLabel().compare(f->fieldName(), Qt::CaseInsensitive) != 0) return f->displayLabel();
    for (QWidget* w : QApplication::allWidgets()) {
        FieldDataLink* link = dataLinkOf(w);
        if (!link || link->dataSet() != &ds || link->fieldName().compare(fieldName, Qt::CaseInsensitive) != 0)
            continue;
        const QString caption = controlCaption(w);
        if (!caption.isEmpty()) return caption;
    }
    return f ? f->displayLabel() : fieldName;
}

QWidget* controlHoldingText(const QString& character)
{
    if (character.isEmpty()) return nullptr;
    QList<QWidget*> windows;
    for (QWidget* w : {QApplication::activeModalWidget(), QApplication::activeWindow(),
                       QApplication::focusWidget() ? QApplication::focusWidget()->window() : nullptr})
        if (w && !windows.contains(w)) windows << w;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && !windows.contains(w)) windows << w;
    QWidget* focus = QApplication::focusWidget();
    if (focus && textOf(focus).contains(character)) return focus;
    for (QWidget* window : windows) {
        // What the user can see first, then what the window holds on its other pages.
        QWidget* hidden = nullptr;
        for (QWidget* w : window->findChildren<QWidget*>()) {
            if (!textOf(w).contains(character)) continue;
            if (w->isVisible()) return w;
            if (!hidden) hidden = w;
        }
        if (hidden) return hidden;
    }
    return nullptr;
}

} // namespace fw
