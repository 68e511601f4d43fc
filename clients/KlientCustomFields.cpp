// The clients window's side of the user-defined client fields: the fields
// dialog from the menu, and per field the card's edit, the search edit, the
// list column and the field's part of the client update statements.

#include "clients/KlientQuery.h"
#include "clients/dmKl.h"
#include "clients/fmCustomFields.h"
#include "clients/fmKlient.h"

#include "widgets/DBControls.h"
#include "widgets/DBGrid.h"

#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QTabWidget>

#include <memory>

namespace {

constexpr int RowHeight = 24;

// Lays the scroll box's content out for `rows` rows of fields.
void FitContent(QScrollArea* box, int right, int rows, int top)
{
    box->widget()->setMinimumSize(right + 8, rows * RowHeight + top + 4);
    box->widget()->resize(box->widget()->minimumSize());
}

template <class W>
W* Place(W* w, int left, int top, int width)
{
    w->setGeometry(left, top, width, w->sizeHint().height());
    return w;
}

// A caption left of the edit, on the edit's line.
QLabel* LabelFor(QWidget* edit, const QString& caption, int left, int width)
{
    auto* label = new QLabel(caption, edit->parentWidget());
    label->setGeometry(left, edit->y(), width, edit->height());
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label->setBuddy(edit);
    return label;
}

} // namespace

QStringList AddCustomFieldToModifySql(const QStringList& modify, const QString& fieldName)
{
    QStringList sql = modify;
    // Right after "update Customer" and "set".
    sql.insert(qMin(qsizetype(2), sql.size()), "  " + fieldName + " = :" + fieldName + ",");
    return sql;
}

QStringList AddCustomFieldToInsertSql(const QStringList& insert, const QString& fieldName)
{
    QString text = insert.join('\n');
    const qsizetype columnsEnd = text.indexOf(')');
    if (columnsEnd < 0) return insert;
    const QString column = ", " + fieldName;
    text.insert(columnsEnd, column);
    const qsizetype valuesEnd = text.indexOf(')', columnsEnd + column.size() + 1);
    if (valuesEnd < 0) return insert;
    text.insert(valuesEnd, ", :" + fieldName);
    return text.split('\n');
}

void TfmKlient::mmiCustomFieldClick()
{
    std::unique_ptr<TfmCustomFields> form(new TfmCustomFields(this));
    // The selection stays closed until the next search: its columns may change.
    dmKl->qryCust.close();
    // The reminder connection is this program's own; it must not count as
    // another user when a field is deleted. The next check connects again.
    if (!BudilRunning()) {
        dmKl->qryBudil.close();
        dmKl->dbBudil.disconnect();
    }
    form->exec();
    FreeCustomFieldControls();
    CreateCustomFieldControls();
}

void TfmKlient::CreateCustomFieldControls()
{
    fw::Query& fields = dmKl->qryFields;
    fields.close();
    fields.open();

    dmKl->usqlCust.setModifySql(savedCustModifySql_);
    dmKl->usqlCust.setInsertSql(savedCustInsertSql_);

    QScrollArea* scrlboxZKar = KlientQuery->scrlboxZKar;
    if (!fields.isEmpty()) {
        pcDown->setTabVisible(pcDown->indexOf(tsOther), true);
        KlientQuery->pcZapros->setTabVisible(KlientQuery->pcZapros->indexOf(KlientQuery->tsZOther), true);
    }

    QWidget* card = scrlboxOther->widget();
    QWidget* search = scrlboxZKar->widget();
    int i = 0;
    for (fields.first(); !fields.eof(); fields.next(), ++i) {
        const QString fieldName = fields.fieldByName("FIELDNAME").asString().trimmed();
        const QString caption = fields.fieldByName("CAPTION").asString();
        const int size = fields.fieldByName("FIELDSIZE").asInteger();

        auto* cardEdit = new fw::DBEdit(card);
        cardEdit->setObjectName("dbe" + fieldName);
        cardEdit->setDataSource(&dmKl->dsCust);
        cardEdit->setDataField(fieldName);
        if (size > 0) cardEdit->setMaxLength(size);
        Place(cardEdit, 144, i * RowHeight, 441);

        // The client search finds the field by this edit's name.
        auto* searchEdit = new QLineEdit(search);
        searchEdit->setObjectName(fieldName);
        Place(searchEdit, 144, i * RowHeight + 8, 361);

        QLabel* cardLabel = LabelFor(cardEdit, caption, 8, 129);
        QLabel* searchLabel = LabelFor(searchEdit, caption, 16, 129);

        for (QWidget* w : std::initializer_list<QWidget*>{cardLabel, searchLabel, cardEdit, searchEdit}) {
            w->show();
            customFieldControls_ << w;
        }

        const int width = fontMetrics().averageCharWidth() * qMax(size, caption.size()) + 8;
        dbgCust->addColumn({fieldName, caption, qMin(width, 200)});
        customFieldColumns_ << fieldName;

        dmKl->usqlCust.setModifySql(AddCustomFieldToModifySql(dmKl->usqlCust.modifySql(), fieldName));
        dmKl->usqlCust.setInsertSql(AddCustomFieldToInsertSql(dmKl->usqlCust.insertSql(), fieldName));
    }
    FitContent(scrlboxOther, 144 + 441, i, 0);
    FitContent(scrlboxZKar, 144 + 361, i, 8);
}

void TfmKlient::FreeCustomFieldControls()
{
    for (const QPointer<QWidget>& w : std::as_const(customFieldControls_)) {
        if (!w) continue;
        if (queryFocus_ == w) queryFocus_ = nullptr;
        delete w.data();
    }
    customFieldControls_.clear();
    for (const QString& fieldName : std::as_const(customFieldColumns_)) {
        for (int c = 0; c < dbgCust->columnCount(); ++c) {
            if (dbgCust->column(c).fieldName == fieldName) {
                dbgCust->removeColumn(c);
                break;
            }
        }
    }
    customFieldColumns_.clear();
}
