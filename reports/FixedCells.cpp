#include "reports/FixedCells.h"

#include <QEvent>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableView>
#include <algorithm>

TFixedCells::TFixedCells(QTableView* table) : QObject(table), table_(table)
{
    // Pixel scrolling keeps the views' positions equal whatever the cell sizes.
    table_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    table_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    top_ = makeView();
    top_->setObjectName("fixedRow");
    left_ = makeView();
    left_->setObjectName("fixedColumn");
    corner_ = makeView();
    corner_->setObjectName("fixedCorner");

    connect(table_->horizontalScrollBar(), &QScrollBar::valueChanged, top_->horizontalScrollBar(),
            &QScrollBar::setValue);
    connect(table_->verticalScrollBar(), &QScrollBar::valueChanged, left_->verticalScrollBar(),
            &QScrollBar::setValue);
    connect(table_->horizontalHeader(), &QHeaderView::sectionResized, this, [this] {
        syncSizes();
        place();
    });
    connect(table_->verticalHeader(), &QHeaderView::sectionResized, this, [this] {
        syncSizes();
        place();
    });
    QAbstractItemModel* model = table_->model();
    connect(model, &QAbstractItemModel::modelReset, this, [this] { syncSizes(); place(); });
    connect(model, &QAbstractItemModel::layoutChanged, this, [this] { syncSizes(); place(); });
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::columnsInserted,
                        &QAbstractItemModel::rowsRemoved, &QAbstractItemModel::columnsRemoved})
        connect(model, signal, this, [this] { syncSizes(); place(); });
    table_->installEventFilter(this);
    table_->viewport()->installEventFilter(this);
    syncSizes();
    place();
}

QTableView* TFixedCells::makeView()
{
    auto* v = new QTableView(table_);
    v->setModel(table_->model());
    v->setItemDelegate(table_->itemDelegate());
    v->horizontalHeader()->hide();
    v->verticalHeader()->hide();
    v->setFrameShape(QFrame::NoFrame);
    v->setFocusPolicy(Qt::NoFocus);
    v->setSelectionMode(QAbstractItemView::NoSelection);
    v->setEditTriggers(QAbstractItemView::NoEditTriggers);
    v->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    v->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    v->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    v->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    v->setShowGrid(table_->showGrid());
    v->show();
    return v;
}

// While the table is being destroyed its model may still signal: the table is no
// longer a table view then, and nothing must be measured or placed.
bool TFixedCells::tableAlive() const
{
    return qobject_cast<const QTableView*>(static_cast<const QObject*>(table_)) != nullptr;
}

void TFixedCells::syncSizes()
{
    if (!tableAlive()) return;
    const int rows = table_->model()->rowCount();
    const int columns = table_->model()->columnCount();
    for (QTableView* v : {top_, left_, corner_}) {
        for (int c = 0; c < columns; ++c) v->setColumnWidth(c, table_->columnWidth(c));
        for (int r = 0; r < rows; ++r) v->setRowHeight(r, table_->rowHeight(r));
    }
    top_->horizontalScrollBar()->setValue(table_->horizontalScrollBar()->value());
    left_->verticalScrollBar()->setValue(table_->verticalScrollBar()->value());
}

void TFixedCells::place()
{
    if (!tableAlive()) return;
    const QRect vp = table_->viewport()->geometry();
    const bool any = table_->model()->rowCount() > 0 && table_->model()->columnCount() > 0;
    const int h = any ? std::min(table_->rowHeight(0), vp.height()) : 0;
    const int w = any ? std::min(table_->columnWidth(0), vp.width()) : 0;
    top_->setGeometry(vp.left(), vp.top(), vp.width(), h);
    left_->setGeometry(vp.left(), vp.top(), w, vp.height());
    corner_->setGeometry(vp.left(), vp.top(), w, h);
    for (QTableView* v : {top_, left_, corner_}) v->setVisible(any);
    corner_->raise();
}

bool TFixedCells::eventFilter(QObject* watched, QEvent* e)
{
    if (e->type() == QEvent::Resize || e->type() == QEvent::Show) place();
    return QObject::eventFilter(watched, e);
}
