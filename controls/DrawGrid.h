#pragma once

#include "Placement.h"
#include "widgets/DBGrid.h"

#include <QAbstractScrollArea>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QVector>
#include <functional>

class QPainter;

// Options of the owner-drawn grid.
enum TGridOption {
    goFixedVertLine = 1 << 0, goFixedHorzLine = 1 << 1, goVertLine = 1 << 2, goHorzLine = 1 << 3,
    goRangeSelect = 1 << 4, goDrawFocusSelected = 1 << 5, goRowSizing = 1 << 6, goColSizing = 1 << 7,
    goRowMoving = 1 << 8, goColMoving = 1 << 9, goEditing = 1 << 10, goTabs = 1 << 11,
    goRowSelect = 1 << 12, goAlwaysShowEditor = 1 << 13, goThumbTracking = 1 << 14
};
using TGridOptions = int;
enum TGridDrawStateFlag { gdSelected = 1, gdFocused = 2, gdFixed = 4 };
using TGridDrawState = int;

class TDrawGrid;

// The grid's cell editor.
class TInplaceEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TInplaceEdit(TDrawGrid* grid);
    TDrawGrid* Grid() const { return grid_; }
    virtual void UpdateContents();
    std::function<void()> OnChange;
protected:
    void keyPressEvent(QKeyEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    TDrawGrid* grid_;
};

// The framework's owner-drawn grid: cells of ColCount x RowCount with fixed rows and
// columns, drawn by OnDrawCell, edited through an in-place editor.
class TDrawGrid : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit TDrawGrid(QWidget* parent = nullptr);

    int ColCount() const { return colWidths_.size(); }
    void SetColCount(int n);
    int RowCount() const { return rowHeights_.size(); }
    void SetRowCount(int n);
    int FixedCols() const { return fixedCols_; }
    void SetFixedCols(int n) { fixedCols_ = n; clampCurrent(); refresh(); }
    int FixedRows() const { return fixedRows_; }
    void SetFixedRows(int n) { fixedRows_ = n; clampCurrent(); refresh(); }
    int ColWidth(int c) const { return colWidths_.value(c); }
    void SetColWidth(int c, int w);
    int RowHeight(int r) const { return rowHeights_.value(r); }
    void SetRowHeight(int r, int h);
    int DefaultColWidth() const { return defaultColWidth_; }
    void SetDefaultColWidth(int w);
    int DefaultRowHeight() const { return defaultRowHeight_; }
    void SetDefaultRowHeight(int h);
    int GridLineWidth() const { return 1; }
    TGridOptions Options() const { return options_; }
    void SetOptions(TGridOptions o) { options_ = o; refresh(); }
    bool DefaultDrawing = true;
    int Col() const { return col_; }
    int Row() const { return row_; }
    void SetCol(int c) { MoveTo(c, row_); }
    void SetRow(int r) { MoveTo(col_, r); }
    void MoveTo(int c, int r);
    int TopRow() const { return topRow_; }
    int LeftCol() const { return leftCol_; }
    void SetTopRow(int r);
    bool EditorMode() const;
    void SetEditorMode(bool on);
    TInplaceEdit* InplaceEditor() const { return editor_; }
    QRect CellRect(int c, int r) const;       // viewport coordinates; empty when not shown
    QPoint MouseCoord(const QPoint& p) const; // (-1, -1) off the cells
    void InvalidateCell(int c, int r);
    void InvalidateRow(int r);
    QPainter* Canvas() const { return canvas_; }

    std::function<void(int col, int row, const QRect& rect, TGridDrawState state)> OnDrawCell;
    std::function<void(int col, int row, QString& text)> OnGetEditText;
    std::function<void(int col, int row, const QString& text)> OnSetEditText;
    std::function<void(int col, int row, bool& canSelect)> OnSelectCell;
    std::function<void()> OnDblClick;

    virtual bool CanEditShow() const;
    virtual bool CanEditAcceptKey(QChar key) const { Q_UNUSED(key); return true; }
    virtual int GetEditLimit() const { return 0; }
    virtual QString GetEditText(int c, int r) const;
    virtual void SetEditText(int c, int r, const QString& text);
    virtual void ShowEditor();
    virtual void HideEditor();
    // The framework's key handling (navigation, editing keys).
    virtual void KeyDown(QKeyEvent* e);
    // Tab and Shift+Tab with goTabs: the next or previous cell, row by row;
    // false past the last cell, before the first and without goTabs.
    bool TabMove(bool next);
    // Leaves the grid for the next or previous control, the editor's text written first.
    void LeaveGrid(bool next);

protected:
    virtual TInplaceEdit* CreateEditor();
    virtual void DrawCell(int c, int r, const QRect& rect, TGridDrawState state);
    virtual void ColWidthsChanged() {}
    virtual void RowHeightsChanged() {}
    virtual void TopLeftChanged() {}
    virtual void Paint(QPainter& p);
    void paintEvent(QPaintEvent*) override;
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;
    void focusInEvent(QFocusEvent* e) override;
    // Tab from the grid or its editor: TabMove, else LeaveGrid.
    bool focusNextPrevChild(bool next) override;
    void alwaysShowEditor();
    bool viewportEvent(QEvent* e) override;
    int sizingColumnAt(const QPoint& p) const;   // -1 when not on a sizing line
    void refresh();
    void clampCurrent();
    void updateScrollBars();
    void placeEditor();
    bool selectCell(int c, int r);

    QVector<int> colWidths_, rowHeights_;
    int fixedCols_ = 1, fixedRows_ = 1;
    int defaultColWidth_ = 64, defaultRowHeight_ = 24;
    TGridOptions options_ = goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine | goRangeSelect;
    int col_ = 1, row_ = 1, topRow_ = 1, leftCol_ = 1;
    TInplaceEdit* editor_ = nullptr;
    bool editorShown_ = false;
    QPainter* canvas_ = nullptr;
    int sizingCol_ = -1, sizingStart_ = 0, sizingWidth_ = 0;
    bool updatingEditor_ = false;
    bool hidingEditor_ = false;
};

enum TInplaceEditStyle : quint8 { ieSimple = 0, ieEllipsis = 1, iePickList = 2 };

class TBrDrawGrid;

// The drop-down list of a pick-list cell; typing selects by the first letters.
class TPopupListbox : public QListWidget {
    Q_OBJECT
public:
    explicit TPopupListbox(QWidget* owner);
    QString SearchText() const { return search_.text(); }
    // Typing searches the lines at the program's one type-ahead pace; Backspace
    // and Esc empty the search text.
    void SearchKey(QKeyEvent* e);
    void ClearSearch() { search_.clear(); }
    int ItemHeight = 11;
protected:
    void keyPressEvent(QKeyEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
private:
    fw::TypeAhead search_;
    QWidget* owner_;
};

// Where a pick list of the given size opens under (or above) an editor on a screen.
QPoint PickListPlacement(const QRect& editorRect, const QSize& listSize, const QRect& screen);

class TBrInplaceEdit : public TInplaceEdit {
    Q_OBJECT
public:
    explicit TBrInplaceEdit(TBrDrawGrid* grid);
    void UpdateContents() override;
    Qt::Alignment Alignment() const { return alignment_; }
    void SetAlignment(Qt::Alignment a);
    TInplaceEditStyle EditStyle() const { return style_; }
    void SetEditStyle(TInplaceEditStyle s);
    TPopupListbox* PickList() const { return pickList_; }
    TPopupListbox* ActiveList() const { return activeList_; }
    bool ListVisible() const { return listVisible_; }
    int ButtonWidth() const { return buttonWidth_; }
    QRect ButtonRect() const;
    void DropDown();
    void CloseUp(bool accept);
    bool Pressed() const { return pressed_; }
protected:
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    bool eventFilter(QObject* o, QEvent* e) override;
private:
    void stopTracking();
    void trackButton(const QPoint& p);
    TBrDrawGrid* brGrid_;
    int buttonWidth_;
    Qt::Alignment alignment_ = Qt::AlignLeft;
    TInplaceEditStyle style_ = ieSimple;
    TPopupListbox* pickList_ = nullptr;
    TPopupListbox* activeList_ = nullptr;
    bool listVisible_ = false, tracking_ = false, pressed_ = false;
};

// Cell text with alignment: VertAlign 0 top, 1 centre, 2 bottom.
void DrawGridCellText(QWidget* grid, int col, int row, const QString& text, const QRect& rect,
                      Qt::Alignment align, int vertAlign, bool wordWrap, bool rightToLeft, QPainter& p);
void WriteCellText(QPainter& p, const QRect& rect, int dx, int dy, const QString& text,
                   Qt::Alignment align, bool wordWrap, bool rightToLeft);

class TBrDrawGrid : public TDrawGrid {
    Q_OBJECT
public:
    explicit TBrDrawGrid(QWidget* parent = nullptr);
    ~TBrDrawGrid() override;

    TIniLink* StorageLink() const { return storageLink_; }
    TFormPlacement* IniStorage() const { return storageLink_->Storage(); }
    void SetIniStorage(TFormPlacement* p) { storageLink_->SetStorage(p); }
    bool FixedButtons = false;
    int PressedCol() const { return pressedCol_; }
    int PressedRow() const { return pressedRow_; }
    bool Tracking() const { return tracking_; }

    void DrawCellStr(const QRect& rect, const QString& text, Qt::Alignment align);
    void SaveColumnWidths();
    void LoadColumnWidths();

    std::function<bool(TBrDrawGrid*, QChar& key)> OnAcceptEditKey;
    std::function<void(TBrDrawGrid*)> OnCancelEdit;
    std::function<void(TBrDrawGrid*, int col, int row, bool& enabled)> OnCheckButton;
    std::function<void(TBrDrawGrid*)> OnChangeFocus;
    std::function<void(TBrDrawGrid*, int col, int row)> OnFixedCellClick;
    std::function<void(TBrDrawGrid*)> OnColumnSized;
    std::function<void(TBrDrawGrid*)> OnRowSized;
    std::function<void(TBrDrawGrid*, int& maxLength)> OnGetEditLimit;
    std::function<void(TBrDrawGrid*)> OnEditChange;
    std::function<void(TBrDrawGrid*, int col, int row, bool& allowEdit)> OnShowEditor;
    std::function<void(TBrDrawGrid*, int col, int row, Qt::Alignment& alignment)> OnGetEditAlign;
    std::function<void(TBrDrawGrid*, int col, int row, TInplaceEditStyle& style)> OnGetEditStyle;
    std::function<void(TBrDrawGrid*, int col, int row, QStringList& pickList)> OnGetPicklist;
    std::function<void(TBrDrawGrid*)> OnEditButtonClick;

    bool CanEditShow() const override;
    bool CanEditAcceptKey(QChar key) const override;
    int GetEditLimit() const override;
    void SetEditText(int c, int r, const QString& text) override;
    void KeyDown(QKeyEvent* e) override;

    virtual void NotifyEditChange() { if (OnEditChange) OnEditChange(this); }
    virtual void NotifyFixedCellClick(int c, int r) { if (OnFixedCellClick) OnFixedCellClick(this, c, r); }
    virtual bool QueryFixedButton(int c, int r);
    virtual void NotifyEditButton() { if (OnEditButtonClick) OnEditButtonClick(this); }
    virtual Qt::Alignment QueryEditAlignment(int c, int r);
    virtual TInplaceEditStyle QueryEditStyle(int c, int r);
    virtual void FillPickList(int c, int r, QStringList& list);

protected:
    TInplaceEdit* CreateEditor() override;
    void DrawCell(int c, int r, const QRect& rect, TGridDrawState state) override;
    virtual void CallDrawCellEvent(int c, int r, const QRect& rect, TGridDrawState state);
    void Paint(QPainter& p) override;
    void ColWidthsChanged() override;
    void RowHeightsChanged() override;
    void TopLeftChanged() override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

private:
    void stopTracking();
    void trackFixed(const QPoint& p);
    TIniLink* storageLink_;
    int pressedCol_ = -1, pressedRow_ = -1;
    bool pressedLook_ = false, tracking_ = false, swapped_ = false;
    bool noTextUpdate_ = false;
    bool savedDefault_ = true;
    friend class TBrInplaceEdit;
};
