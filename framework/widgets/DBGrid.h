#pragma once

#include "DataSetModel.h"
#include "TypeAhead.h"

#include <QColor>
#include <QFlags>
#include <QFont>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QTableView>
#include <functional>

class QKeyEvent;

namespace fw {

class DBGrid;

// Alt+Down, Alt+Up and F4: the keys that drop (or close) a cell's list.
bool isDropDownKey(const QKeyEvent* e);

// Tab on the cells of a grid and Ctrl+Tab: the keys that leave it for the next
// or previous control. The MDI area takes Ctrl+Tab and Ctrl+Shift+Tab for
// switching its windows before the focused widget sees them; a grid that takes
// the focus calls takeCtrlTab so that they reach its leave first.
bool isTabKey(const QKeyEvent* e);
bool isBackTab(const QKeyEvent* e);
void takeCtrlTab(QWidget* grid, std::function<void(bool next)> leave);

// A cell being drawn.
struct GridCell {
    const DBGrid* grid = nullptr;
    int row = -1;
    int column = -1;
    Field* field = nullptr;          // nullptr for a column whose field does not exist
    bool selected = false;           // the current cell, or the current row with row select
    bool focused = false;            // the current cell of the grid that has the focus
    bool currentRow = false;

    // The drawn row's value of its own field, or of any field of the data set
    // (NULL for a field that does not exist).
    Value value() const;
    Value value(const QString& fieldName) const;
    QString displayText() const;
};

// How a cell is drawn; filled with the grid's defaults before the styler runs.
struct CellStyle {
    QFont font;
    QColor text;
    QColor background;
};

// The data grid: a table view over a data source with columns, the current row
// shared with the data set both ways, in-place editing through the data set's
// edit and post (so its handlers run and their refusals are shown), and the
// keyboard of the classic grid:
//   typing or F2 starts editing the cell (the data set goes into edit first);
//   Enter writes the cell; Esc reverts a changed cell, else cancels the row;
//   moving to another row posts a changed row and cancels an untouched one;
//   Insert inserts a row; Down on the last row appends one (AllowInsert);
//   Ctrl+Delete deletes the row after "Delete record?" (AllowDelete);
//   Tab moves between cells (Tabs); past the last cell (when no row can be
//   appended there) and before the first, in a grid with no editable cell,
//   and with Ctrl at any cell it leaves the grid for the next or previous
//   control; leaving the grid posts a changed row as a row change does;
//   Ctrl+V pastes into the cell as typing does;
//   Alt+Down, Alt+Up or F4 on a lookup cell drop its list, a letter opens the
//   list on the first line beginning with it, and a chosen line is the value.
// The focused cell shows its button (an ellipsis, a list's arrow) before its
// editor opens; columns grow to their titles and texts (see fitColumns).
// Every refusal and failure is shown through the application's exception
// handler; nothing throws out of an event.
class DBGrid : public QTableView {
    Q_OBJECT
public:
    enum class Option {
        Titles = 0x1,
        Indicator = 0x2,
        RowSelect = 0x4,          // whole rows; no in-place editing
        Tabs = 0x8,
        CancelOnExit = 0x10,      // leaving the grid cancels an untouched new row
        AllowInsert = 0x20,       // Insert key, Down on the last row, Tab on the last cell
        AllowDelete = 0x40,       // Ctrl+Delete
        ConfirmDelete = 0x80,
    };
    Q_DECLARE_FLAGS(Options, Option)
    static constexpr Options DefaultOptions = {Option::Titles, Option::Indicator, Option::Tabs,
                                                Option::CancelOnExit, Option::AllowInsert,
                                                Option::ConfirmDelete};

    using CellStyler = std::function<void(const GridCell&, CellStyle&)>;
    // Replaces the default drawing; call defaultDrawCell() to draw the default way.
    using CellDrawer = std::function<void(QPainter&, const QRect&, const GridCell&, CellStyle&)>;

    explicit DBGrid(QWidget* parent = nullptr);
    ~DBGrid() override;

    void setDataSource(DataSource* source);
    DataSource* dataSource() const { return model_->dataSource(); }
    DataSet* dataSet() const { return model_->dataSet(); }     // nullptr unless open
    DataSetModel* dataModel() const { return model_; }

    Options options() const { return options_; }
    void setOptions(Options o);
    void setOption(Option o, bool on = true);
    bool testOption(Option o) const { return options_.testFlag(o); }
    bool isReadOnly() const { return readOnly_; }
    void setReadOnly(bool on);

    // Columns: every column of the collection, hidden ones too; without columns
    // of its own the grid shows every visible field.
    void setColumns(const QList<GridColumn>& columns);
    void useDefaultColumns() { model_->useDefaultColumns(); }
    const QList<GridColumn>& columns() const { return model_->columns(); }
    int columnCount() const { return int(model_->columns().size()); }
    const GridColumn& column(int i) const { return model_->column(i); }
    void setColumn(int i, const GridColumn& c) { model_->setColumn(i, c); }
    void addColumn(const GridColumn& c) { model_->insertColumn(columnCount(), c); }
    void removeColumn(int i) { model_->removeColumn(i); }
    QString columnTitle(int i) const { return model_->title(i); }
    void setColumnTitle(int i, const QString& title);
    void setColumnVisible(int i, bool visible);
    Field* columnField(int i) const { return model_->field(i); }

    // The current column (the framework's SelectedIndex) and its field.
    int selectedIndex() const { return selected_; }
    void setSelectedIndex(int column);
    Field* selectedField() const { return model_->field(selected_); }
    void setSelectedField(const QString& fieldName);

    // The in-place editor.
    bool editorMode() const { return editor_ != nullptr; }
    void showEditor();
    // Writes the editor's text into the field and closes the editor; throws
    // what the field throws (a conversion error), leaving the editor open.
    void commitEditor();
    void hideEditor();

    // The width that shows every visible column without scrolling sideways:
    // the columns, the indicator and the frame, with room for a vertical scroll bar.
    int columnsWidth() const;
    // Widens the grid's top-level window (a dialog), as far as its screen has
    // room, so that the grid shows its columns; around is the width the window
    // has beside the grid.
    void widenWindow(int around);

    void setCellStyler(CellStyler s) { styler_ = std::move(s); viewport()->update(); }
    void setCellDrawer(CellDrawer d) { drawer_ = std::move(d); viewport()->update(); }
    void defaultDrawCell(QPainter& p, const QRect& rect, const GridCell& cell, const CellStyle& style) const;

    using QTableView::edit;

signals:
    void columnEntered(int column);
    void columnExited(int column);
    // Before the grid handles a key; set *handled to keep the grid from handling it.
    void keyDown(QKeyEvent* event, bool* handled);
    void titleClicked(int column);
    // The ellipsis button of a column (or Ctrl+Enter in its editor).
    void editButtonClicked();

protected:
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
    void commitData(QWidget* editor) override;
    void keyboardSearch(const QString&) override {}

private:
    // Leaves the grid for the next or previous control; the editor's text goes first.
    void leaveGrid(bool next);
    // The focus went to a control outside the grid: the row is posted or an untouched new one cancelled.
    void leftGrid();
    bool anyCellEditable() const;
    friend class GridDelegate;

    bool cellEditable(int column) const;
    bool lookupColumn(int column) const;
    bool startEdit(QKeyEvent* key);
    friend class GridLineEdit;
    friend class LookupEditor;
    void writeEditor();
    bool commitGuarded();
    void discardEditor();
    void loadEditor();
    bool editorChanged() const;
    bool editorKey(QKeyEvent* event);
    void editorFocusOut(Qt::FocusReason reason);
    void editButton();
    bool navigate(QKeyEvent* event);
    bool moveTo(int row, int column);
    bool moveToRow(int row);
    void followDataSet(int row);
    void setCurrentCell(int row, int column);
    void cancelOnExit();
    void insertRow(bool append);
    void deleteRow();
    int visibleColumn(int from, int step) const;
    void applyColumns();
    int defaultWidth(int column) const;
    // Columns grow to show their titles and the texts of the rows in sight
    // (and of first..last), never narrower than their own width and never
    // wider than the grid; a column the user sized keeps its width.
    void fitColumns(bool fromOwnWidths, int first = -1, int last = -1);
    // The button an editable cell of the column shows: an ellipsis or a list's arrow.
    enum class CellButton { None, Ellipsis, DropDown };
    CellButton cellButton(int column) const;
    int cellButtonWidth(CellButton b) const;
    QRect cellButtonRect(const QRect& cell, CellButton b) const;
    void drawCellButton(QPainter& p, const QRect& cellRect, CellButton b) const;
    void emitGuarded(const std::function<void()>& f);

    DataSetModel* model_;
    Options options_ = DefaultOptions;
    bool readOnly_ = false;
    int selected_ = 0;
    QPointer<QWidget> editor_;
    QPersistentModelIndex editorIndex_;
    bool opening_ = false;           // our own call of QTableView::edit
    bool syncing_ = false;           // moving the view after the data set
    bool refuseMoves_ = false;       // the editor's value was just refused
    bool applying_ = false;
    bool wasEditing_ = false;
    std::vector<bool> userSized_;    // per column: the user dragged its width
    CellStyler styler_;
    CellDrawer drawer_;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(DBGrid::Options)

} // namespace fw
