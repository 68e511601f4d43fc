#include "DBGrid.h"

#include "DBControls.h"
#include "Dialogs.h"
#include "ExceptionHandler.h"
#include "FieldDataLink.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QStyleOption>
#include <QStyledItemDelegate>
#include <QTimer>

namespace fw {

namespace {

bool editingState(const DataSet* ds)
{
    return ds && (ds->state() == DataSetState::Edit || ds->state() == DataSetState::Insert);
}

QIcon ellipsisIcon(const QWidget* w)
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(w->palette().color(QPalette::Text));
    for (int i = 0; i < 3; ++i) p.drawEllipse(QPointF(3.5 + i * 4.5, 11.5), 1.3, 1.3);
    return QIcon(pm);
}

// The vertical header: the classic indicator of the current row and its state.
class IndicatorHeader : public QHeaderView {
public:
    explicit IndicatorHeader(QWidget* parent) : QHeaderView(Qt::Vertical, parent) {}

    QSize sizeHint() const override { return {15, defaultSectionSize()}; }

protected:
    void paintSection(QPainter* p, const QRect& rect, int logicalIndex) const override
    {
        QStyleOptionHeader opt;
        initStyleOption(&opt);
        opt.rect = rect;
        opt.section = logicalIndex;
        opt.state |= QStyle::State_Enabled;
        // The style leaves its clip on the painter.
        p->save();
        style()->drawControl(QStyle::CE_Header, &opt, p, this);
        p->restore();
        const auto kind = DataSetModel::Indicator(
            model()->headerData(logicalIndex, Qt::Vertical, DataSetModel::IndicatorRole).toInt());
        if (kind == DataSetModel::Indicator::None) return;
        p->save();
        p->setRenderHint(QPainter::Antialiasing);
        const QColor ink = palette().color(QPalette::WindowText);
        const QPointF c = QRectF(rect).center();
        switch (kind) {
        case DataSetModel::Indicator::Current: {
            const QPointF tri[3] = {{c.x() - 2.5, c.y() - 4.5}, {c.x() + 3, c.y()}, {c.x() - 2.5, c.y() + 4.5}};
            p->setPen(Qt::NoPen);
            p->setBrush(ink);
            p->drawPolygon(tri, 3);
            break;
        }
        case DataSetModel::Indicator::Edit: {
            // The I-beam of a row being edited.
            p->setPen(QPen(ink, 1.2));
            p->drawLine(QPointF(c.x(), c.y() - 5), QPointF(c.x(), c.y() + 5));
            p->drawLine(QPointF(c.x() - 2.5, c.y() - 5), QPointF(c.x() + 2.5, c.y() - 5));
            p->drawLine(QPointF(c.x() - 2.5, c.y() + 5), QPointF(c.x() + 2.5, c.y() + 5));
            break;
        }
        case DataSetModel::Indicator::Insert: {
            p->setPen(QPen(ink, 1.4));
            for (int i = 0; i < 3; ++i) {
                const double a = M_PI / 2 + i * M_PI / 3;
                const QPointF d(4 * std::cos(a), 4 * std::sin(a));
                p->drawLine(c - d, c + d);
            }
            break;
        }
        case DataSetModel::Indicator::None:
            break;
        }
        p->restore();
    }
};

} // namespace

// ---------------------------------------------------------------- editors

// The in-place text editor: the first change of a browsing row puts the data
// set into edit mode; when that is refused the key is dropped.
class GridLineEdit : public QLineEdit {
public:
    GridLineEdit(DBGrid* grid, QWidget* parent) : QLineEdit(parent), grid_(grid)
    {
        setFrame(false);
        noteLengthLimit(this);
        connect(this, &QLineEdit::textEdited, this, [this] {
            // paste from the menu, a drop: the paths that keyPressEvent does not see
            if (!editingState(grid_->dataSet()) && !beginEdit()) grid_->loadEditor();
        });
    }

protected:
    void keyPressEvent(QKeyEvent* e) override
    {
        if (keyModifiesText(e) && !editingState(grid_->dataSet()) && !beginEdit()) {
            e->accept();
            return;
        }
        QLineEdit::keyPressEvent(e);
    }

private:
    bool beginEdit()
    {
        DataSet* ds = grid_->dataSet();
        if (!ds) return false;
        return runGuarded([&] { ds->edit(); }) && editingState(ds);
    }

    DBGrid* grid_;
};

// The in-place editor of a lookup column: the lookup list; choosing an item
// sets the key field at once.
class LookupEditor : public QComboBox {
public:
    LookupEditor(DBGrid* grid, QWidget* parent) : QComboBox(parent), grid_(grid)
    {
        setFrame(false);
        setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        connect(this, QOverload<int>::of(&QComboBox::activated), this, [this](int i) {
            DataSet* ds = grid_->dataSet();
            if (!editingState(ds) && !(ds && runGuarded([&] { ds->edit(); }) && editingState(ds))) {
                load(current_);
                return;
            }
            changed = i != loadedIndex_;
            if (changed) grid_->commitGuarded();
        });
        // Letters typed into the open list look its lines up at the program's one pace.
        view()->installEventFilter(this);
    }

    // Opens the list on the current entry or, given a typed text, on the
    // first entry that begins with it.
    void dropDown(const QString& typed = {})
    {
        if (!view()->isVisible()) {
            search_.clear();   // a search belongs to one opening
            showPopup();
        }
        for (QChar ch : typed) lookUp(ch);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == view() && event->type() == QEvent::KeyPress) {
            auto* ke = static_cast<QKeyEvent*>(event);
            if (TypeAhead::typed(ke)) {
                for (QChar ch : ke->text()) lookUp(ch);
                return true;
            }
            if (ke->key() == Qt::Key_Backspace) search_.clear();
        }
        return QComboBox::eventFilter(watched, event);
    }

    void fill(const Field& lookup)
    {
        DataSet* list = lookup.lookupDataSet();
        Field* key = list ? list->findField(lookup.lookupKeyFields()) : nullptr;
        Field* result = list ? list->findField(lookup.lookupResultField()) : nullptr;
        if (!key || !result) return;
        const int n = list->rowCount();
        keys_.reserve(size_t(n));
        for (int r = 0; r < n; ++r) {
            addItem(list->displayTextAt(r, *result));
            keys_.push_back(list->valueAt(r, *key));
        }
    }

    void load(const Value& key)
    {
        current_ = key;
        int at = -1;
        if (!key.isNull())
            for (size_t i = 0; i < keys_.size(); ++i)
                if (keys_[i] == key) { at = int(i); break; }
        const QSignalBlocker block(this);
        setCurrentIndex(at);
        loadedIndex_ = at;
        changed = false;
    }

    Value key() const
    {
        const int i = currentIndex();
        return i >= 0 && size_t(i) < keys_.size() ? keys_[size_t(i)] : Value();
    }

    bool changed = false;

protected:
    void keyPressEvent(QKeyEvent* e) override
    {
        // Typing looks the entry up in the open list, where Enter takes it.
        if (TypeAhead::typed(e)) {
            dropDown(e->text());
            e->accept();
            return;
        }
        QComboBox::keyPressEvent(e);
    }

private:
    void lookUp(QChar ch)
    {
        search_.add(ch);
        const int row = search_.find(count(), [this](int i) { return itemText(i); });
        if (row >= 0) view()->setCurrentIndex(model()->index(row, modelColumn()));
    }

    DBGrid* grid_;
    std::vector<Value> keys_;
    Value current_;
    int loadedIndex_ = -1;
    TypeAhead search_;
};

// Paints the cells through the grid's styler and drawer, creates the editors
// and routes the editor's keys to the grid.
class GridDelegate : public QStyledItemDelegate {
public:
    explicit GridDelegate(DBGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}

    void paint(QPainter* p, const QStyleOptionViewItem& opt, const QModelIndex& index) const override
    {
        GridCell cell;
        cell.grid = grid_;
        cell.row = index.row();
        cell.column = index.column();
        cell.field = grid_->model_->field(index.column());
        const QModelIndex cur = grid_->currentIndex();
        const bool rowSelect = grid_->testOption(DBGrid::Option::RowSelect);
        cell.currentRow = cur.isValid() && cur.row() == index.row();
        const bool currentCell = cell.currentRow && cur.column() == index.column();
        const QWidget* focus = QApplication::focusWidget();
        const bool active = focus && (focus == grid_ || grid_->isAncestorOf(focus));
        cell.selected = rowSelect ? cell.currentRow : currentCell;
        cell.focused = currentCell && active;

        CellStyle style;
        style.font = opt.font;
        const QPalette& pal = grid_->palette();
        style.background = pal.color(QPalette::Base);
        style.text = pal.color(QPalette::Text);
        if (cell.selected) {
            if (active) {
                style.background = pal.color(QPalette::Active, QPalette::Highlight);
                style.text = pal.color(QPalette::Active, QPalette::HighlightedText);
            } else {
                // A quieter mark of the current cell while the grid has no focus.
                const QColor h = pal.color(QPalette::Active, QPalette::Highlight);
                const QColor b = pal.color(QPalette::Base);
                style.background = QColor((h.red() + 3 * b.red()) / 4, (h.green() + 3 * b.green()) / 4,
                                          (h.blue() + 3 * b.blue()) / 4);
            }
        }
        try {
            if (grid_->styler_) grid_->styler_(cell, style);
            if (grid_->drawer_) {
                p->save();
                grid_->drawer_(*p, opt.rect, cell, style);
                p->restore();
            } else {
                grid_->defaultDrawCell(*p, opt.rect, cell, style);
            }
            // The focused cell shows its button before its editor opens.
            if (cell.focused && !(grid_->editor_ && grid_->editorIndex_ == index))
                if (const auto b = grid_->cellButton(index.column()); b != DBGrid::CellButton::None)
                    grid_->drawCellButton(*p, opt.rect, b);
        } catch (...) {
            // Shown once, after painting; a hook that fails is not called again.
            grid_->styler_ = {};
            grid_->drawer_ = {};
            QTimer::singleShot(0, grid_, [e = std::current_exception()] { showException(e); });
        }
    }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const override
    {
        Field* f = grid_->model_->field(index.column());
        const GridColumn& c = grid_->model_->column(index.column());
        QWidget* w = nullptr;
        if (f && f->kind() == Field::Kind::Lookup) {
            auto* combo = new LookupEditor(grid_, parent);
            combo->fill(*f);
            w = combo;
        } else {
            auto* edit = new GridLineEdit(grid_, parent);
            if (f && f->type() == FieldType::String && f->size() > 0) edit->setMaxLength(f->size());
            edit->setAlignment(grid_->model_->alignment(index.column()));
            if (c.button == GridColumn::Button::Ellipsis) {
                QAction* a = edit->addAction(ellipsisIcon(grid_), QLineEdit::TrailingPosition);
                connect(a, &QAction::triggered, grid_, [g = grid_] { g->editButton(); });
            }
            w = edit;
        }
        w->setAutoFillBackground(true);
        grid_->editor_ = w;
        grid_->editorIndex_ = index;
        return w;
    }

    void setEditorData(QWidget*, const QModelIndex&) const override
    {
        // Only when the editor opens; later the grid reloads it itself, so
        // that a change of another field never overwrites what is typed.
        if (grid_->opening_) grid_->loadEditor();
    }

    void setModelData(QWidget*, QAbstractItemModel*, const QModelIndex&) const override {}

    bool eventFilter(QObject* obj, QEvent* event) override
    {
        auto* editor = qobject_cast<QWidget*>(obj);
        if (!editor || editor != grid_->editor_) return false;
        switch (event->type()) {
        case QEvent::ShortcutOverride:
        case QEvent::KeyPress: {
            auto* ke = static_cast<QKeyEvent*>(event);
            // Keys that reach the editor while its list is open are the list's
            // (a window system that gives the open list no keyboard grab).
            if (auto* lk = dynamic_cast<LookupEditor*>(editor); lk && lk->view()->isVisible()) {
                if (event->type() == QEvent::ShortcutOverride) ke->accept();
                else QCoreApplication::sendEvent(lk->view(), ke);
                return true;
            }
            // Alt+Down, Alt+Up and F4 drop a lookup's list; they never move the row.
            if (auto* lk = dynamic_cast<LookupEditor*>(editor); lk && isDropDownKey(ke)) {
                if (event->type() == QEvent::ShortcutOverride) ke->accept();
                else lk->dropDown();
                return true;
            }
            switch (ke->key()) {
            case Qt::Key_Escape: case Qt::Key_Return: case Qt::Key_Enter: case Qt::Key_F2:
            case Qt::Key_Up: case Qt::Key_Down: case Qt::Key_PageUp: case Qt::Key_PageDown:
            case Qt::Key_Tab: case Qt::Key_Backtab:
                if (event->type() == QEvent::ShortcutOverride) {
                    ke->accept();
                    return true;
                }
                return grid_->editorKey(ke);
            default:
                return false;
            }
        }
        case QEvent::FocusOut:
            grid_->editorFocusOut(static_cast<QFocusEvent*>(event)->reason());
            return false;
        case QEvent::MouseButtonDblClick: {
            const QModelIndex at = grid_->editorIndex_;
            grid_->emitGuarded([&] { emit grid_->doubleClicked(at); });
            return false;
        }
        default:
            return false;
        }
    }

private:
    DBGrid* grid_;
};

bool isDropDownKey(const QKeyEvent* e)
{
    const Qt::KeyboardModifiers m = e->modifiers() & ~Qt::KeypadModifier;
    if (e->key() == Qt::Key_F4) return m == Qt::NoModifier;
    return (e->key() == Qt::Key_Down || e->key() == Qt::Key_Up) && m == Qt::AltModifier;
}

// ---------------------------------------------------------------- Tab and Ctrl+Tab

bool isTabKey(const QKeyEvent* e)
{
    return e->key() == Qt::Key_Tab || e->key() == Qt::Key_Backtab;
}

bool isBackTab(const QKeyEvent* e)
{
    return e->key() == Qt::Key_Backtab || e->modifiers().testFlag(Qt::ShiftModifier);
}

namespace {

// Sees Ctrl+Tab ahead of the MDI area's application-wide filter: an
// application's filters run from the last installed one.
class CtrlTabFilter : public QObject {
public:
    using QObject::QObject;

    void take(QWidget* grid, std::function<void(bool)> leave)
    {
        grid_ = grid;
        leave_ = std::move(leave);
        qApp->removeEventFilter(this);
        qApp->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) return false;
        auto* ke = static_cast<QKeyEvent*>(event);
        if (!isTabKey(ke) || !ke->modifiers().testFlag(Qt::ControlModifier) || !grid_ || !watched->isWidgetType())
            return false;
        auto* w = static_cast<QWidget*>(watched);
        if (w != grid_ && !grid_->isAncestorOf(w)) return false;
        if (event->type() == QEvent::KeyPress) {
            const auto leave = leave_;   // leaving may hand the filter to another grid
            leave(!isBackTab(ke));
        }
        return true;
    }

private:
    QPointer<QWidget> grid_;
    std::function<void(bool)> leave_;
};

} // namespace

void takeCtrlTab(QWidget* grid, std::function<void(bool next)> leave)
{
    static QPointer<CtrlTabFilter> filter;
    if (!filter) filter = new CtrlTabFilter(qApp);
    filter->take(grid, std::move(leave));
}

// ---------------------------------------------------------------- cells

Value GridCell::value() const
{
    DataSet* ds = grid ? grid->dataSet() : nullptr;
    return ds && field ? ds->valueAt(row, *field) : Value();
}

Value GridCell::value(const QString& fieldName) const
{
    DataSet* ds = grid ? grid->dataSet() : nullptr;
    Field* f = ds ? ds->findField(fieldName) : nullptr;
    return f ? ds->valueAt(row, *f) : Value();
}

QString GridCell::displayText() const
{
    DataSet* ds = grid ? grid->dataSet() : nullptr;
    return ds && field ? ds->displayTextAt(row, *field) : QString();
}

// ---------------------------------------------------------------- the grid

DBGrid::DBGrid(QWidget* parent) : QTableView(parent), model_(new DataSetModel(this))
{
    setModel(model_);
    setItemDelegate(new GridDelegate(this));
    setVerticalHeader(new IndicatorHeader(this));
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(true);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setAutoScroll(false);

    QHeaderView* h = horizontalHeader();
    h->setHighlightSections(false);
    h->setSectionsClickable(true);
    h->setSectionsMovable(false);
    h->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    h->setMinimumSectionSize(12);
    h->setStretchLastSection(false);
    // A title click is the owner's (OnTitleClick); it never selects or moves.
    disconnect(h, &QHeaderView::sectionPressed, this, nullptr);
    disconnect(h, &QHeaderView::sectionEntered, this, nullptr);
    connect(h, &QHeaderView::sectionClicked, this, [this](int c) { emitGuarded([&] { emit titleClicked(c); }); });
    connect(h, &QHeaderView::sectionResized, this, [this](int c, int, int w) {
        if (applying_ || c >= columnCount()) return;
        if (size_t(c) >= userSized_.size()) userSized_.resize(size_t(columnCount()), false);
        userSized_[size_t(c)] = true;
        if (!model_->hasDefaultColumns()) {
            GridColumn col = model_->column(c);
            if (col.width != w) model_->setColumnWidth(c, w);
        }
    });

    QHeaderView* v = verticalHeader();
    v->setSectionResizeMode(QHeaderView::Fixed);
    v->setMinimumSectionSize(fontMetrics().height() + 2);
    v->setDefaultSectionSize(fontMetrics().height() + 6);
    disconnect(v, &QHeaderView::sectionPressed, this, nullptr);
    disconnect(v, &QHeaderView::sectionEntered, this, nullptr);
    connect(v, &QHeaderView::sectionPressed, this, [this](int row) {
        if (!refuseMoves_) moveTo(row, selected_);
    });

    connect(model_, &DataSetModel::currentRowChanged, this, &DBGrid::followDataSet);
    connect(model_, &DataSetModel::columnsChanged, this, &DBGrid::applyColumns);
    connect(model_, &QAbstractItemModel::modelReset, this, [this] { fitColumns(true); });
    connect(model_, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { fitColumns(false, first, last); });
    connect(model_, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex& tl, const QModelIndex& br) {
        fitColumns(false, tl.row(), br.row());
    });
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { fitColumns(false); });
    connect(model_, &DataSetModel::recordFieldChanged, this, [this](Field* f) {
        if (editor_ && f == model_->field(editorIndex_.column())) loadEditor();
    });
    connect(model_, &DataSetModel::editingStateChanged, this, [this] {
        const bool editing = editingState(dataSet());
        // The row was posted or cancelled (or the data set closed): the editor has nothing left to edit.
        if (editor_ && wasEditing_ && !editing) discardEditor();
        wasEditing_ = editing;
    });
    // The view drops its editors itself when the rows go.
    connect(model_, &QAbstractItemModel::modelAboutToBeReset, this, [this] { editor_ = nullptr; });
    connect(model_, &QAbstractItemModel::rowsAboutToBeRemoved, this, [this](const QModelIndex&, int first, int last) {
        if (editor_ && editorIndex_.row() >= first && editorIndex_.row() <= last) editor_ = nullptr;
    });
}

DBGrid::~DBGrid()
{
    if (DataSource* s = model_->dataSource()) s->removeUpdateHandlers(this);
}

void DBGrid::setDataSource(DataSource* source)
{
    if (source == model_->dataSource()) return;
    discardEditor();
    if (DataSource* old = model_->dataSource()) old->removeUpdateHandlers(this);
    // The typed text of an open editor goes into the field before every post.
    if (source) source->addUpdateHandler(this, [this] { writeEditor(); });
    model_->setDataSource(source);
    wasEditing_ = editingState(dataSet());
}

void DBGrid::setOptions(Options o)
{
    options_ = o;
    horizontalHeader()->setVisible(o.testFlag(Option::Titles));
    verticalHeader()->setVisible(o.testFlag(Option::Indicator));
    setTabKeyNavigation(o.testFlag(Option::Tabs));
    if (o.testFlag(Option::RowSelect)) discardEditor();
    viewport()->update();
}

void DBGrid::setOption(Option o, bool on)
{
    Options next = options_;
    next.setFlag(o, on);
    setOptions(next);
}

void DBGrid::setReadOnly(bool on)
{
    readOnly_ = on;
    if (on) discardEditor();
}

void DBGrid::setColumns(const QList<GridColumn>& columns)
{
    discardEditor();
    userSized_.clear();
    model_->setColumns(columns);
}

void DBGrid::setColumnTitle(int i, const QString& title)
{
    if (i < 0 || i >= columnCount()) return;
    GridColumn c = model_->column(i);
    c.title = title;
    model_->setColumn(i, c);
}

void DBGrid::setColumnVisible(int i, bool visible)
{
    if (i < 0 || i >= columnCount()) return;
    GridColumn c = model_->column(i);
    c.visible = visible;
    model_->setColumn(i, c);
}

void DBGrid::applyColumns()
{
    applying_ = true;
    for (int i = 0; i < columnCount(); ++i) setColumnHidden(i, !model_->column(i).visible);
    applying_ = false;
    fitColumns(true);
    if (selected_ >= columnCount() || (selected_ >= 0 && selected_ < columnCount() && isColumnHidden(selected_)))
        selected_ = std::max(0, visibleColumn(0, 1));
}

int DBGrid::defaultWidth(int column) const
{
    const QFontMetrics fm = fontMetrics();
    const Field* f = model_->field(column);
    // As many digits as the field's display width, within reason.
    const int chars = f ? std::clamp(f->displayWidth(), 4, 40) : 10;
    const int byField = chars * fm.horizontalAdvance(QLatin1Char('0')) + 8;
    const int byTitle = fm.horizontalAdvance(model_->title(column)) + 14;
    return std::max(byField, byTitle);
}

void DBGrid::fitColumns(bool fromOwnWidths, int first, int last)
{
    if (applying_) return;
    const int columns = columnCount();
    if (userSized_.size() < size_t(columns)) userSized_.resize(size_t(columns), false);
    DataSet* ds = dataSet();
    const int rows = model_->rowCount();
    // The rows in sight (a page ahead while the grid has no size yet), within what was asked.
    const int top = std::max(0, rowAt(0));
    const int pageRows = std::max(40, viewport()->height() / std::max(1, rowHeight(0)) + 1);
    int from = top, to = std::min(rows - 1, top + pageRows);
    if (first >= 0) {
        from = std::max(from, first);
        to = std::min(to, last);
    }
    if (!fromOwnWidths && from > to) return;
    const QFontMetrics fm = fontMetrics();
    // A column is never made wider than the grid can show, once it has its size.
    const int cap = isVisible() ? std::max(60, viewport()->width() - 2) : std::numeric_limits<int>::max();
    applying_ = true;
    for (int i = 0; i < columns; ++i) {
        if (isColumnHidden(i) || userSized_[size_t(i)]) continue;
        const GridColumn& c = model_->column(i);
        const int own = c.width > 0 ? std::max(c.width, fm.horizontalAdvance(model_->title(i)) + 14) : defaultWidth(i);
        int text = 0;
        if (Field* f = model_->field(i); f && ds) {
            const bool withEditText = cellButton(i) != CellButton::None && f->kind() == Field::Kind::Data;
            // A date column is as wide as a date, before any is typed.
            if (f->type() == FieldType::DateTime && f->kind() == Field::Kind::Data)
                text = fm.horizontalAdvance(valueEditText(QDateTime(QDate(2000, 12, 28), QTime(0, 0)), *f));
            for (int r = from; r <= to; ++r) {
                try {
                    text = std::max(text, fm.horizontalAdvance(ds->displayTextAt(r, *f)));
                    if (withEditText) text = std::max(text, fm.horizontalAdvance(valueEditText(ds->valueAt(r, *f), *f)));
                } catch (const std::exception&) {
                    // a lookup that cannot be resolved shows nothing
                }
            }
        }
        // The cell's padding and focus frame, or the editor's margins and its button.
        const int need = text == 0 ? 0 : text + 8 + cellButtonWidth(cellButton(i));
        const int fitted = std::max(own, std::min(need, cap));
        const int now = horizontalHeader()->sectionSize(i);
        const int width = fromOwnWidths ? fitted : std::max(now, fitted);
        if (width != now) horizontalHeader()->resizeSection(i, width);
    }
    applying_ = false;
}

int DBGrid::columnsWidth() const
{
    // A grid on a page not shown yet has an indicator of no width so far.
    const int indicator = testOption(Option::Indicator)
        ? std::max(verticalHeader()->width(), verticalHeader()->sizeHint().width()) : 0;
    int w = 2 * frameWidth() + indicator
        + style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    for (int i = 0; i < columnCount(); ++i)
        if (!isColumnHidden(i)) w += horizontalHeader()->sectionSize(i);
    return w;
}

void DBGrid::widenWindow(int around)
{
    QWidget* w = window();
    int want = columnsWidth() + around;
    if (const QScreen* screen = w->screen()) want = std::min(want, screen->availableGeometry().width() - 20);
    if (want <= w->width()) return;
    const QPoint centre = w->geometry().center();
    w->resize(want, w->height());
    if (w->isVisible()) w->move(centre.x() - want / 2, w->y());
}

DBGrid::CellButton DBGrid::cellButton(int column) const
{
    if (column < 0 || column >= columnCount() || !cellEditable(column)) return CellButton::None;
    const GridColumn::Button b = model_->column(column).button;
    if (b == GridColumn::Button::Ellipsis) return CellButton::Ellipsis;
    if (b == GridColumn::Button::Auto && lookupColumn(column)) return CellButton::DropDown;
    return CellButton::None;
}

int DBGrid::cellButtonWidth(CellButton b) const
{
    switch (b) {
    case CellButton::None:
        return 0;
    case CellButton::Ellipsis: {
        // The line edit's place for a trailing action, and its own text margins.
        const int icon = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
        return icon + 6 + icon / 4 + 6;
    }
    case CellButton::DropDown: {
        QStyleOptionComboBox o;
        o.initFrom(this);
        o.frame = false;
        o.rect = QRect(0, 0, 200, verticalHeader()->defaultSectionSize());
        const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &o, QStyle::SC_ComboBoxEditField, nullptr);
        return 200 - field.width() + 4;
    }
    }
    return 0;
}

QRect DBGrid::cellButtonRect(const QRect& cell, CellButton b) const
{
    if (b == CellButton::None) return {};
    // Where the editor shows its button: the width less the editor's own margins.
    const int w = cellButtonWidth(b) - (b == CellButton::Ellipsis ? 6 : 4);
    return QRect(cell.right() - w + 1, cell.top(), w, cell.height());
}

void DBGrid::drawCellButton(QPainter& p, const QRect& cellRect, CellButton b) const
{
    const QRect r = cellButtonRect(cellRect, b);
    p.save();
    QStyleOptionButton panel;
    panel.initFrom(this);
    panel.rect = r.adjusted(0, 1, -1, -1);
    panel.state |= QStyle::State_Raised;
    style()->drawPrimitive(QStyle::PE_PanelButtonCommand, &panel, &p, this);
    if (b == CellButton::Ellipsis) {
        const int icon = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
        QRect ir(0, 0, icon, icon);
        ir.moveCenter(r.center());
        ellipsisIcon(this).paint(&p, ir);
    } else {
        QStyleOption o;
        o.initFrom(this);
        o.rect = r.adjusted(r.width() / 4, r.height() / 4, -r.width() / 4, -r.height() / 4);
        style()->drawPrimitive(QStyle::PE_IndicatorArrowDown, &o, &p, this);
    }
    p.restore();
}

int DBGrid::visibleColumn(int from, int step) const
{
    for (int c = from; c >= 0 && c < columnCount(); c += step)
        if (!isColumnHidden(c)) return c;
    return -1;
}

void DBGrid::setSelectedIndex(int column)
{
    if (column < 0 || column >= columnCount()) return;
    DataSet* ds = dataSet();
    if (ds && ds->currentRow() >= 0) moveTo(ds->currentRow(), column);
    else selected_ = column;
}

void DBGrid::setSelectedField(const QString& fieldName)
{
    setSelectedIndex(model_->columnOfField(fieldName));
}

// ---------------------------------------------------------------- drawing

void DBGrid::defaultDrawCell(QPainter& p, const QRect& rect, const GridCell& cell, const CellStyle& cs) const
{
    p.fillRect(rect, cs.background);
    const QString text = cell.displayText();
    if (!text.isEmpty()) {
        p.setFont(cs.font);
        p.setPen(cs.text);
        const QRect r = rect.adjusted(3, 0, -3, 0);
        const QFontMetrics fm(cs.font);
        p.drawText(r, int(model_->alignment(cell.column)) | Qt::TextSingleLine,
                   fm.elidedText(text, Qt::ElideRight, r.width()));
    }
    if (cell.focused && !testOption(Option::RowSelect)) {
        QStyleOptionFocusRect fr;
        fr.initFrom(this);
        fr.rect = rect.adjusted(0, 0, -1, -1);
        fr.backgroundColor = cs.background;
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &fr, &p, this);
    }
}

// ---------------------------------------------------------------- editing

bool DBGrid::lookupColumn(int column) const
{
    const Field* f = model_->field(column);
    return f && f->kind() == Field::Kind::Lookup;
}

bool DBGrid::cellEditable(int column) const
{
    if (readOnly_ || testOption(Option::RowSelect) || !model_->cellEditable(column)) return false;
    const Field* f = model_->field(column);
    if (f->kind() == Field::Kind::Lookup)
        return model_->column(column).button != GridColumn::Button::None && f->lookupDataSet()
            && f->lookupDataSet()->active();
    return true;
}

bool DBGrid::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event)
{
    if (opening_) return QTableView::edit(index, trigger, event);
    // The view's own triggers are ours to handle; edit(index) opens the editor there.
    if (trigger != AllEditTriggers || !index.isValid()) return false;
    if (!moveTo(index.row(), index.column())) return false;
    return startEdit(nullptr);
}

bool DBGrid::startEdit(QKeyEvent* key)
{
    if (editor_) return true;
    DataSet* ds = dataSet();
    if (!ds || !cellEditable(selected_)) return false;
    // Typing changes the row at once: the data set goes into edit mode first,
    // and a refusal drops the key. F2 or a click opens the editor only.
    if (key && !editingState(ds) && !(runGuarded([&] { ds->edit(); }) && editingState(ds))) return false;
    const int row = ds->currentRow();
    if (row < 0 || row >= model_->rowCount()) return false;
    setCurrentCell(row, selected_);
    opening_ = true;
    const bool opened = QTableView::edit(model_->index(row, selected_), AllEditTriggers, nullptr);
    opening_ = false;
    if (!opened || !editor_) return false;
    if (key) {
        QKeyEvent copy(key->type(), key->key(), key->modifiers(), key->text(), key->isAutoRepeat(),
                       ushort(key->count()));
        QCoreApplication::sendEvent(editor_, &copy);
    }
    return true;
}

void DBGrid::showEditor()
{
    startEdit(nullptr);
}

bool DBGrid::editorChanged() const
{
    if (auto* le = qobject_cast<QLineEdit*>(editor_.data())) return le->isModified();
    if (auto* lk = dynamic_cast<LookupEditor*>(editor_.data())) return lk->changed;
    return false;
}

void DBGrid::loadEditor()
{
    if (!editor_) return;
    Field* f = model_->field(editorIndex_.column());
    if (auto* lk = dynamic_cast<LookupEditor*>(editor_.data())) {
        Field* key = f ? f->dataSet().findField(f->keyFields()) : nullptr;
        lk->load(key ? key->value() : Value());
    } else if (auto* le = qobject_cast<QLineEdit*>(editor_.data())) {
        le->setText(f ? fieldEditText(*f) : QString());
        le->setModified(false);
        le->selectAll();
    }
}

void DBGrid::writeEditor()
{
    if (!editor_ || !editorChanged()) return;
    Field* f = model_->field(editorIndex_.column());
    if (!f) return;
    if (auto* lk = dynamic_cast<LookupEditor*>(editor_.data())) {
        f->dataSet().fieldByName(f->keyFields()).setValue(lk->key());
        lk->changed = false;
    } else if (auto* le = qobject_cast<QLineEdit*>(editor_.data())) {
        // A value the field rejects throws here and stays in the editor.
        const QString text = le->text();
        f->setAsString(text);
        le->setModified(false);
    }
}

bool DBGrid::commitGuarded()
{
    return runGuarded([this] { writeEditor(); });
}

void DBGrid::commitEditor()
{
    writeEditor();
    discardEditor();
}

void DBGrid::hideEditor()
{
    discardEditor();
}

void DBGrid::discardEditor()
{
    if (!editor_) return;
    QWidget* e = editor_;
    editor_ = nullptr;
    QTableView::closeEditor(e, QAbstractItemDelegate::NoHint);
}

void DBGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    if (editor == editor_) editor_ = nullptr;
    QTableView::closeEditor(editor, hint);
}

void DBGrid::commitData(QWidget* editor)
{
    if (editor == editor_) commitGuarded();
}

bool DBGrid::editorKey(QKeyEvent* e)
{
    DataSet* ds = dataSet();
    switch (e->key()) {
    case Qt::Key_Escape:
        // First a changed cell goes back to the field's value, then the row is cancelled.
        if (editorChanged()) {
            discardEditor();
        } else {
            discardEditor();
            if (editingState(ds)) runGuarded([&] { ds->cancel(); });
        }
        return true;
    case Qt::Key_Return: case Qt::Key_Enter: case Qt::Key_F2:
        if ((e->modifiers() & Qt::ControlModifier) && model_->column(editorIndex_.column()).button
                                                          == GridColumn::Button::Ellipsis) {
            editButton();
            return true;
        }
        if (commitGuarded()) discardEditor();
        return true;
    case Qt::Key_Tab: case Qt::Key_Backtab:
        if (!navigate(e)) leaveGrid(!isBackTab(e));
        return true;
    default:
        return navigate(e);
    }
}

void DBGrid::editorFocusOut(Qt::FocusReason reason)
{
    if (!editor_ || reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason
        || reason == Qt::MenuBarFocusReason)
        return;
    QWidget* now = QApplication::focusWidget();
    // The editor's own drop-down list is a window of its own, but still the editor.
    for (QObject* o = now; o; o = o->parent())
        if (o == editor_) return;
    if (!commitGuarded()) {
        // The value stays in the editor, which takes the focus back; the click
        // or key that moved the focus does nothing more.
        refuseMoves_ = true;
        QTimer::singleShot(0, this, [this, e = editor_] {
            refuseMoves_ = false;
            if (e && e == editor_) {
                e->setFocus();
                if (auto* le = qobject_cast<QLineEdit*>(e.data())) le->selectAll();
            }
        });
        return;
    }
    const bool left = !(now && (now == this || isAncestorOf(now)));
    discardEditor();
    if (left) leftGrid();
}

void DBGrid::editButton()
{
    emitGuarded([this] { emit editButtonClicked(); });
}

void DBGrid::cancelOnExit()
{
    DataSet* ds = dataSet();
    if (testOption(Option::CancelOnExit) && ds && ds->state() == DataSetState::Insert && !ds->modified())
        runGuarded([&] { ds->cancel(); });
}

void DBGrid::leftGrid()
{
    DataSet* ds = dataSet();
    if (!(editingState(ds) && ds->modified())) {
        cancelOnExit();
        return;
    }
    if (runGuarded([&] { ds->checkBrowseMode(); })) return;
    // The row stays with what was typed; the grid takes the focus back to have it mended or cancelled.
    QTimer::singleShot(0, this, [this] {
        if (isVisible() && editingState(dataSet())) setFocus(Qt::OtherFocusReason);
    });
}

void DBGrid::leaveGrid(bool next)
{
    if (editor_) {
        if (!commitGuarded()) return;
        discardEditor();
    }
    if (!hasFocus()) setFocus(Qt::OtherFocusReason);
    // Past the view's own Tab handling, which would move between the cells.
    QAbstractScrollArea::focusNextPrevChild(next);
}

bool DBGrid::anyCellEditable() const
{
    for (int c = 0; c < columnCount(); ++c)
        if (!isColumnHidden(c) && cellEditable(c)) return true;
    return false;
}

// ---------------------------------------------------------------- moving

void DBGrid::setCurrentCell(int row, int column)
{
    const QModelIndex idx = model_->index(row, column);
    if (!idx.isValid()) return;
    const bool was = syncing_;
    syncing_ = true;
    if (currentIndex() != idx) selectionModel()->setCurrentIndex(idx, QItemSelectionModel::NoUpdate);
    syncing_ = was;
    scrollTo(idx);
}

void DBGrid::followDataSet(int row)
{
    if (editor_ && editorIndex_.row() != row) discardEditor();
    if (row < 0 || row >= model_->rowCount()) {
        const bool was = syncing_;
        syncing_ = true;
        selectionModel()->clearCurrentIndex();
        syncing_ = was;
        viewport()->update();
        return;
    }
    int column = selected_;
    if (column < 0 || column >= columnCount() || isColumnHidden(column)) column = std::max(0, visibleColumn(0, 1));
    setCurrentCell(row, column);
}

bool DBGrid::moveToRow(int row)
{
    DataSet* ds = dataSet();
    if (!ds || row == ds->currentRow()) return true;
    // Leaving a row posts it when it was changed and cancels it otherwise.
    if (runGuarded([&] { ds->setCurrentRow(row); })) return true;
    followDataSet(ds->currentRow());
    return false;
}

bool DBGrid::moveTo(int row, int column)
{
    DataSet* ds = dataSet();
    const int rows = model_->rowCount();
    if (!ds || rows == 0) return false;
    row = std::clamp(row, 0, rows - 1);
    column = std::clamp(column, 0, std::max(0, columnCount() - 1));
    if (editor_) {
        if (!commitGuarded()) return false;
        discardEditor();
    }
    if (!moveToRow(row)) return false;
    // An untouched new row that was cancelled on the way shifts the rows below it.
    setCurrentCell(ds->currentRow(), column);
    return ds->currentRow() == row;
}

void DBGrid::insertRow(bool append)
{
    DataSet* ds = dataSet();
    if (!ds) return;
    if (editor_) {
        if (!commitGuarded()) return;
        discardEditor();
    }
    runGuarded([&] { append ? ds->append() : ds->insert(); });
}

void DBGrid::deleteRow()
{
    DataSet* ds = dataSet();
    if (!testOption(Option::AllowDelete) || readOnly_ || !ds || !ds->canModify() || ds->isEmpty()) return;
    runGuarded([&] {
        if (testOption(Option::ConfirmDelete) && !dialogs().confirm("Delete record?")) return;
        discardEditor();
        ds->remove();
    });
}

bool DBGrid::navigate(QKeyEvent* e)
{
    DataSet* ds = dataSet();
    const Qt::KeyboardModifiers mods = e->modifiers() & ~Qt::KeypadModifier;
    const bool ctrl = mods.testFlag(Qt::ControlModifier);
    const int rows = model_->rowCount();
    const int row = ds ? ds->currentRow() : -1;
    const bool canInsert = ds && !readOnly_ && testOption(Option::AllowInsert)
        && !testOption(Option::RowSelect) && ds->canModify();
    // Down (or Tab) past the last row appends, unless that row is itself an untouched new one.
    const bool untouchedNew = ds && ds->state() == DataSetState::Insert && !ds->modified() && !editorChanged();
    const int page = std::max(1, viewport()->height() / std::max(1, rowHeight(0)) - 1);
    switch (e->key()) {
    case Qt::Key_Up:
        if (row > 0) moveTo(row - 1, selected_);
        else if (row == 0 && untouchedNew) moveTo(row + 1, selected_);
        return true;
    case Qt::Key_Down:
        if (row >= rows - 1) {
            if (canInsert && !untouchedNew) insertRow(true);
        } else {
            moveTo(row + 1, selected_);
        }
        return true;
    case Qt::Key_PageUp:
        moveTo(std::max(0, row - page), selected_);
        return true;
    case Qt::Key_PageDown:
        moveTo(std::min(rows - 1, row + page), selected_);
        return true;
    case Qt::Key_Home:
        if (ctrl) moveTo(0, selected_);
        else moveTo(row, std::max(0, visibleColumn(0, 1)));
        return true;
    case Qt::Key_End:
        if (ctrl) moveTo(rows - 1, selected_);
        else moveTo(row, std::max(0, visibleColumn(columnCount() - 1, -1)));
        return true;
    case Qt::Key_Left:
    case Qt::Key_Right: {
        if (ctrl || testOption(Option::RowSelect)) return false;
        const int c = visibleColumn(selected_ + (e->key() == Qt::Key_Left ? -1 : 1), e->key() == Qt::Key_Left ? -1 : 1);
        if (c >= 0) moveTo(row, c);
        return true;
    }
    case Qt::Key_Tab:
    case Qt::Key_Backtab: {
        // False where Tab leaves the grid: without Tabs, with Ctrl, in a grid
        // with nothing to edit, past the last cell and before the first.
        if (!testOption(Option::Tabs) || ctrl || !anyCellEditable() || row < 0) return false;
        const bool back = isBackTab(e);
        const int c = visibleColumn(selected_ + (back ? -1 : 1), back ? -1 : 1);
        if (c >= 0) {
            moveTo(row, c);
        } else if (back) {
            if (row == 0) return false;
            moveTo(row - 1, visibleColumn(columnCount() - 1, -1));
        } else if (row < rows - 1) {
            moveTo(row + 1, visibleColumn(0, 1));
        } else if (canInsert && !untouchedNew) {
            selected_ = std::max(0, visibleColumn(0, 1));
            insertRow(true);
        } else {
            return false;
        }
        return true;
    }
    default:
        return false;
    }
}

void DBGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    if (editor_ && editorIndex_ != current) {
        if (!syncing_ && !model_->notifying()) commitGuarded();
        discardEditor();
    }
    QTableView::currentChanged(current, previous);
    if (current.isValid() && current.column() != selected_) {
        const int old = selected_;
        emitGuarded([&] { emit columnExited(old); });
        selected_ = current.column();
        emitGuarded([&] { emit columnEntered(selected_); });
    }
    viewport()->update();
    // A move the grid did not make itself (an accessibility tool, a caller's
    // setCurrentIndex): the data set follows, or the view goes back.
    if (!syncing_ && !model_->notifying() && current.isValid()) {
        DataSet* ds = dataSet();
        if (ds && current.row() != ds->currentRow()) {
            moveToRow(current.row());
            if (ds->currentRow() != current.row()) followDataSet(ds->currentRow());
        }
    }
}

// ---------------------------------------------------------------- events

void DBGrid::emitGuarded(const std::function<void()>& f)
{
    runGuarded(f);
}

void DBGrid::keyPressEvent(QKeyEvent* e)
{
    bool handled = false;
    emitGuarded([&] { emit keyDown(e, &handled); });
    if (handled) {
        e->accept();
        return;
    }
    if (refuseMoves_) {
        e->accept();
        return;
    }
    if (isDropDownKey(e) && lookupColumn(selected_) && cellEditable(selected_)) {
        if (startEdit(nullptr))
            if (auto* lk = dynamic_cast<LookupEditor*>(editor_.data())) lk->dropDown();
        e->accept();
        return;
    }
    if (navigate(e)) {
        e->accept();
        return;
    }
    if (isTabKey(e)) {
        // Without Ctrl the view's focusNextPrevChild moves on when the key is
        // ignored; Ctrl+Tab comes here directly.
        if (e->modifiers().testFlag(Qt::ControlModifier)) leaveGrid(!isBackTab(e));
        else e->ignore();
        return;
    }
    DataSet* ds = dataSet();
    const Qt::KeyboardModifiers mods = e->modifiers() & ~Qt::KeypadModifier;
    switch (e->key()) {
    case Qt::Key_Insert:
        if (mods == Qt::NoModifier && ds && !readOnly_ && testOption(Option::AllowInsert)
            && !testOption(Option::RowSelect) && ds->canModify()) {
            insertRow(false);
            e->accept();
            return;
        }
        break;
    case Qt::Key_Delete:
        if (mods == Qt::ControlModifier) {
            deleteRow();
            e->accept();
            return;
        }
        break;
    case Qt::Key_Escape:
        if (editingState(ds)) {
            runGuarded([&] { ds->cancel(); });
            e->accept();
            return;
        }
        e->ignore();
        return;
    case Qt::Key_F2:
        if (cellEditable(selected_)) {
            startEdit(nullptr);
            e->accept();
            return;
        }
        break;
    default:
        break;
    }
    if (e->matches(QKeySequence::Paste)) {
        // A paste is typing: the cell's text gives way to the clipboard's.
        if (cellEditable(selected_) && !lookupColumn(selected_) && !QGuiApplication::clipboard()->text().isEmpty())
            startEdit(e);
        e->accept();
        return;
    }
    if (keyModifiesText(e) && e->key() != Qt::Key_Delete && e->key() != Qt::Key_Backspace) {
        // Typing starts the edit of the cell; in a read-only cell it does nothing.
        if (cellEditable(selected_)) startEdit(e);
        e->accept();
        return;
    }
    QTableView::keyPressEvent(e);
}

void DBGrid::mousePressEvent(QMouseEvent* e)
{
    if (refuseMoves_) {
        e->accept();
        return;
    }
    const QModelIndex idx = indexAt(e->position().toPoint());
    if (!idx.isValid()) {
        QTableView::mousePressEvent(e);
        return;
    }
    const bool sameCell = idx == currentIndex();
    if (!sameCell) {
        DataSet* ds = dataSet();
        if (!moveTo(idx.row(), idx.column()) || !ds || ds->currentRow() != idx.row()) {
            e->accept();
            return;
        }
    }
    QTableView::mousePressEvent(e);
    // A click on the current cell opens its editor; one on its button presses the button too.
    if (sameCell && e->button() == Qt::LeftButton && !editor_ && cellEditable(selected_)) {
        const CellButton b = cellButton(selected_);
        const bool onButton = cellButtonRect(visualRect(idx), b).contains(e->position().toPoint());
        if (!startEdit(nullptr) || !onButton) return;
        if (b == CellButton::Ellipsis) editButton();
        else if (auto* lk = dynamic_cast<LookupEditor*>(editor_.data()); lk && b == CellButton::DropDown) lk->dropDown();
    }
}

void DBGrid::mouseDoubleClickEvent(QMouseEvent* e)
{
    const QModelIndex idx = indexAt(e->position().toPoint());
    if (!idx.isValid()) return;
    if (idx != currentIndex()) {
        mousePressEvent(e);
        return;
    }
    emitGuarded([&] { emit doubleClicked(idx); });
}

void DBGrid::focusInEvent(QFocusEvent* e)
{
    QTableView::focusInEvent(e);
    takeCtrlTab(this, [this](bool next) { leaveGrid(next); });
    viewport()->update();
}

void DBGrid::resizeEvent(QResizeEvent* e)
{
    QTableView::resizeEvent(e);
    fitColumns(true);
}

void DBGrid::focusOutEvent(QFocusEvent* e)
{
    QTableView::focusOutEvent(e);
    viewport()->update();
    const Qt::FocusReason r = e->reason();
    if (r == Qt::ActiveWindowFocusReason || r == Qt::PopupFocusReason || r == Qt::MenuBarFocusReason) return;
    QWidget* now = QApplication::focusWidget();
    if (!(now && (now == this || isAncestorOf(now)))) leftGrid();
}

} // namespace fw
