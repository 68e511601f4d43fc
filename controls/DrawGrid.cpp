#include "DrawGrid.h"

#include "VclUtils.h"
#include "widgets/DBControls.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOption>

namespace {

// A character typed into a cell or a list (not a shortcut with Ctrl or Alt).
bool IsTypedChar(const QKeyEvent* e)
{
    const QString t = e->text();
    return !t.isEmpty() && t[0].unicode() >= 32 && !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
}

} // namespace

// --- TInplaceEdit -------------------------------------------------------------

TInplaceEdit::TInplaceEdit(TDrawGrid* grid) : QLineEdit(grid->viewport()), grid_(grid)
{
    setFrame(false);
    fw::noteLengthLimit(this);
    hide();
    connect(this, &QLineEdit::textChanged, this, [this] {
        if (OnChange) OnChange();
    });
}

void TInplaceEdit::UpdateContents()
{
    setMaxLength(grid_->GetEditLimit() > 0 ? grid_->GetEditLimit() : 32767);
    setText(grid_->GetEditText(grid_->Col(), grid_->Row()));
    selectAll();
}

void TInplaceEdit::keyPressEvent(QKeyEvent* e)
{
    switch (e->key()) {
    case Qt::Key_Up: case Qt::Key_Down: case Qt::Key_PageUp: case Qt::Key_PageDown:
    case Qt::Key_Tab: case Qt::Key_Backtab: case Qt::Key_Return: case Qt::Key_Enter:
    case Qt::Key_Escape: case Qt::Key_F2:
        grid_->KeyDown(e);
        return;
    default:
        break;
    }
    if (!e->text().isEmpty() && e->text()[0].unicode() >= 32 && !grid_->CanEditAcceptKey(e->text()[0])) {
        e->accept();
        return;
    }
    QLineEdit::keyPressEvent(e);
}

void TInplaceEdit::focusOutEvent(QFocusEvent* e)
{
    QLineEdit::focusOutEvent(e);
    QWidget* to = QApplication::focusWidget();
    const bool insideGrid = to && (to == grid_ || grid_->isAncestorOf(to));
    if (!insideGrid && e->reason() != Qt::ActiveWindowFocusReason && e->reason() != Qt::PopupFocusReason) {
        if (grid_->Options() & goAlwaysShowEditor) grid_->SetEditText(grid_->Col(), grid_->Row(), text());
        else grid_->HideEditor();
    }
}

// --- TDrawGrid ----------------------------------------------------------------

TDrawGrid::TDrawGrid(QWidget* parent) : QAbstractScrollArea(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setMouseTracking(true);
    viewport()->setAutoFillBackground(true);
    viewport()->setBackgroundRole(QPalette::Base);
    SetColCount(5);
    SetRowCount(5);
}

void TDrawGrid::SetColCount(int n)
{
    n = std::max(n, 1);
    colWidths_.resize(n, defaultColWidth_);
    for (int& w : colWidths_) if (w <= 0) w = defaultColWidth_;
    clampCurrent();
    refresh();
}

void TDrawGrid::SetRowCount(int n)
{
    n = std::max(n, 1);
    rowHeights_.resize(n, defaultRowHeight_);
    for (int& h : rowHeights_) if (h <= 0) h = defaultRowHeight_;
    clampCurrent();
    refresh();
}

void TDrawGrid::SetColWidth(int c, int w)
{
    if (c < 0 || c >= colWidths_.size() || colWidths_[c] == w) return;
    colWidths_[c] = std::max(w, 0);
    refresh();
    ColWidthsChanged();
}

void TDrawGrid::SetRowHeight(int r, int h)
{
    if (r < 0 || r >= rowHeights_.size() || rowHeights_[r] == h) return;
    rowHeights_[r] = std::max(h, 0);
    refresh();
    RowHeightsChanged();
}

void TDrawGrid::SetDefaultColWidth(int w)
{
    defaultColWidth_ = w;
    colWidths_.fill(w);
    refresh();
}

void TDrawGrid::SetDefaultRowHeight(int h)
{
    defaultRowHeight_ = h;
    rowHeights_.fill(h);
    refresh();
}

void TDrawGrid::clampCurrent()
{
    col_ = std::clamp(col_, std::min(fixedCols_, ColCount() - 1), ColCount() - 1);
    row_ = std::clamp(row_, std::min(fixedRows_, RowCount() - 1), RowCount() - 1);
    topRow_ = std::clamp(topRow_, std::min(fixedRows_, RowCount() - 1), RowCount() - 1);
    leftCol_ = std::clamp(leftCol_, std::min(fixedCols_, ColCount() - 1), ColCount() - 1);
}

void TDrawGrid::refresh()
{
    updateScrollBars();
    placeEditor();
    viewport()->update();
}

void TDrawGrid::updateScrollBars()
{
    verticalScrollBar()->setRange(0, std::max(0, RowCount() - fixedRows_ - 1));
    verticalScrollBar()->setValue(topRow_ - fixedRows_);
    horizontalScrollBar()->setRange(0, std::max(0, ColCount() - fixedCols_ - 1));
    horizontalScrollBar()->setValue(leftCol_ - fixedCols_);
}

void TDrawGrid::scrollContentsBy(int, int)
{
    const int t = verticalScrollBar()->value() + fixedRows_;
    const int l = horizontalScrollBar()->value() + fixedCols_;
    if (t != topRow_ || l != leftCol_) {
        topRow_ = t;
        leftCol_ = l;
        TopLeftChanged();
        placeEditor();
        viewport()->update();
    }
}

void TDrawGrid::SetTopRow(int r)
{
    r = std::clamp(r, fixedRows_, std::max(fixedRows_, RowCount() - 1));
    if (r == topRow_) return;
    topRow_ = r;
    TopLeftChanged();
    refresh();
}

QRect TDrawGrid::CellRect(int c, int r) const
{
    if (c < 0 || r < 0 || c >= ColCount() || r >= RowCount()) return QRect();
    if ((c >= fixedCols_ && c < leftCol_) || (r >= fixedRows_ && r < topRow_)) return QRect();
    auto vline = [&](int k) { return (k < fixedCols_ ? options_ & goFixedVertLine : options_ & goVertLine) ? 1 : 0; };
    auto hline = [&](int k) { return (k < fixedRows_ ? options_ & goFixedHorzLine : options_ & goHorzLine) ? 1 : 0; };
    int x = 0;
    for (int k = 0; k < c; ++k) {
        if (k >= fixedCols_ && k < leftCol_) continue;
        x += colWidths_[k] + vline(k);
    }
    int y = 0;
    for (int k = 0; k < r; ++k) {
        if (k >= fixedRows_ && k < topRow_) continue;
        y += rowHeights_[k] + hline(k);
    }
    return QRect(x, y, colWidths_[c], rowHeights_[r]);
}

QPoint TDrawGrid::MouseCoord(const QPoint& p) const
{
    for (int r = 0; r < RowCount(); ++r)
        for (int c = 0; c < ColCount(); ++c) {
            const QRect cell = CellRect(c, r);
            if (!cell.isEmpty() && cell.adjusted(0, 0, 1, 1).contains(p)) return QPoint(c, r);
            if (cell.top() > p.y()) return QPoint(-1, -1);
        }
    return QPoint(-1, -1);
}

void TDrawGrid::InvalidateCell(int c, int r)
{
    const QRect cell = CellRect(c, r);
    if (!cell.isEmpty()) viewport()->update(cell.adjusted(-1, -1, 2, 2));
}

void TDrawGrid::InvalidateRow(int r)
{
    const QRect cell = CellRect(0, r);
    viewport()->update(QRect(0, cell.top() - 1, viewport()->width(), cell.height() + 3));
}

bool TDrawGrid::selectCell(int c, int r)
{
    bool ok = true;
    if (OnSelectCell) OnSelectCell(c, r, ok);
    return ok;
}

void TDrawGrid::MoveTo(int c, int r)
{
    c = std::clamp(c, fixedCols_, ColCount() - 1);
    r = std::clamp(r, fixedRows_, RowCount() - 1);
    if (c == col_ && r == row_) return;
    if (!selectCell(c, r)) return;
    const bool keepEditor = editorShown_ && (options_ & goAlwaysShowEditor);
    if (editorShown_ && !keepEditor) HideEditor();
    else if (keepEditor) SetEditText(col_, row_, editor_->text());
    InvalidateCell(col_, row_);
    if (options_ & goRowSelect) InvalidateRow(row_);
    col_ = c;
    row_ = r;
    // keep the current cell in view
    const int visibleRows = [&] {
        int h = 0, n = 0;
        for (int k = 0; k < fixedRows_; ++k) h += rowHeights_[k] + 1;
        for (int k = topRow_; k < RowCount() && h + rowHeights_[k] <= viewport()->height(); ++k, ++n)
            h += rowHeights_[k] + 1;
        return std::max(n, 1);
    }();
    if (r < topRow_) SetTopRow(r);
    else if (r >= topRow_ + visibleRows) SetTopRow(r - visibleRows + 1);
    if (c < leftCol_) { leftCol_ = c; TopLeftChanged(); refresh(); }
    InvalidateCell(col_, row_);
    if (options_ & goRowSelect) InvalidateRow(row_);
    if (keepEditor) {
        placeEditor();
        editor_->UpdateContents();
    } else {
        alwaysShowEditor();
    }
}

void TDrawGrid::alwaysShowEditor()
{
    // The editor of goAlwaysShowEditor comes back wherever the focused grid goes,
    // but not while it is being hidden on purpose.
    if (hidingEditor_ || !(options_ & goEditing) || !(options_ & goAlwaysShowEditor) || !hasFocus()) return;
    if (!editorShown_) ShowEditor();
    else if (editor_ && editor_->isVisible()) editor_->setFocus();
}

void TDrawGrid::focusInEvent(QFocusEvent* e)
{
    QAbstractScrollArea::focusInEvent(e);
    fw::takeCtrlTab(this, [this](bool next) { LeaveGrid(next); });
    alwaysShowEditor();
}

bool TDrawGrid::TabMove(bool next)
{
    if (!(options_ & goTabs)) return false;
    int c = col_, r = row_;
    if (next) {
        if (c < ColCount() - 1) ++c;
        else if (r < RowCount() - 1) c = fixedCols_, ++r;
        else return false;
    } else {
        if (c > fixedCols_) --c;
        else if (r > fixedRows_) c = ColCount() - 1, --r;
        else return false;
    }
    MoveTo(c, r);
    return true;
}

void TDrawGrid::LeaveGrid(bool next)
{
    if (editorShown_ && editor_) {
        if (options_ & goAlwaysShowEditor) SetEditText(col_, row_, editor_->text());
        else HideEditor();
    }
    // The next control is looked for from the grid, not from its editor, which
    // stands last in the window's focus chain; the editor stays where it is.
    if (!hasFocus()) {
        hidingEditor_ = true;
        setFocus(Qt::OtherFocusReason);
        hidingEditor_ = false;
    }
    QAbstractScrollArea::focusNextPrevChild(next);
}

bool TDrawGrid::focusNextPrevChild(bool next)
{
    if (!TabMove(next)) LeaveGrid(next);
    return true;
}

bool TDrawGrid::CanEditShow() const
{
    return (options_ & goEditing) && !(options_ & goRowSelect) && col_ >= fixedCols_ && row_ >= fixedRows_;
}

QString TDrawGrid::GetEditText(int c, int r) const
{
    QString t;
    if (OnGetEditText) OnGetEditText(c, r, t);
    return t;
}

void TDrawGrid::SetEditText(int c, int r, const QString& text)
{
    if (OnSetEditText) OnSetEditText(c, r, text);
}

TInplaceEdit* TDrawGrid::CreateEditor() { return new TInplaceEdit(this); }

bool TDrawGrid::EditorMode() const { return editorShown_; }

void TDrawGrid::SetEditorMode(bool on)
{
    if (on) ShowEditor(); else HideEditor();
}

void TDrawGrid::placeEditor()
{
    if (!editor_ || !editorShown_) return;
    const QRect cell = CellRect(col_, row_);
    if (cell.isEmpty()) editor_->hide();
    else {
        editor_->setGeometry(cell);
        editor_->show();
    }
}

void TDrawGrid::ShowEditor()
{
    if (!CanEditShow()) return;
    if (!editor_) editor_ = CreateEditor();
    editorShown_ = true;
    placeEditor();
    editor_->UpdateContents();
    editor_->show();
    editor_->setFocus();
}

void TDrawGrid::HideEditor()
{
    if (!editor_ || !editorShown_) return;
    editorShown_ = false;
    const bool hadFocus = editor_->hasFocus();
    SetEditText(col_, row_, editor_->text());
    editor_->hide();
    hidingEditor_ = true;
    if (hadFocus) setFocus();
    hidingEditor_ = false;
    InvalidateCell(col_, row_);
}

void TDrawGrid::KeyDown(QKeyEvent* e)
{
    const bool ctrl = e->modifiers() & Qt::ControlModifier;
    switch (e->key()) {
    case Qt::Key_Up: MoveTo(col_, row_ - 1); break;
    case Qt::Key_Down: MoveTo(col_, row_ + 1); break;
    case Qt::Key_Left: if (!editorShown_) MoveTo(col_ - 1, row_); break;
    case Qt::Key_Right: if (!editorShown_) MoveTo(col_ + 1, row_); break;
    case Qt::Key_Home: if (!editorShown_) MoveTo(ctrl ? col_ : fixedCols_, ctrl ? fixedRows_ : row_); break;
    case Qt::Key_End: if (!editorShown_) MoveTo(ctrl ? col_ : ColCount() - 1, ctrl ? RowCount() - 1 : row_); break;
    case Qt::Key_PageUp: MoveTo(col_, row_ - 10); break;
    case Qt::Key_PageDown: MoveTo(col_, row_ + 10); break;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: {
        // Tab itself comes through focusNextPrevChild; Ctrl+Tab leaves from any cell.
        const bool next = !fw::isBackTab(e);
        if (ctrl || !TabMove(next)) LeaveGrid(next);
        break;
    }
    case Qt::Key_F2: ShowEditor(); break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (editorShown_) {
            SetEditText(col_, row_, editor_->text());
            editor_->selectAll();
        } else if (options_ & goEditing) {
            ShowEditor();
        } else {
            e->ignore();
            return;
        }
        break;
    case Qt::Key_Escape:
        if (editorShown_) editor_->UpdateContents();
        else { e->ignore(); return; }
        break;
    default: {
        const QString t = e->text();
        if (!editorShown_ && (options_ & goEditing) && IsTypedChar(e) && CanEditAcceptKey(t[0])) {
            ShowEditor();
            if (editorShown_ && editor_) {
                editor_->setText(t);
                editor_->setCursorPosition(t.size());
            }
        } else {
            e->ignore();
            return;
        }
    }
    }
    e->accept();
}

void TDrawGrid::keyPressEvent(QKeyEvent* e) { KeyDown(e); }

int TDrawGrid::sizingColumnAt(const QPoint& p) const
{
    if (!(options_ & goColSizing)) return -1;
    int fixedHeight = 0;
    for (int k = 0; k < fixedRows_; ++k) fixedHeight += rowHeights_[k] + 1;
    if (p.y() >= fixedHeight) return -1;
    for (int c = 0; c < ColCount(); ++c) {
        const QRect cell = CellRect(c, 0);
        if (cell.isEmpty()) continue;
        if (std::abs(p.x() - (cell.left() + cell.width())) <= 2) return c;
    }
    return -1;
}

bool TDrawGrid::viewportEvent(QEvent* e)
{
    return QAbstractScrollArea::viewportEvent(e);
}

void TDrawGrid::mousePressEvent(QMouseEvent* e)
{
    const QPoint p = e->position().toPoint();
    if (e->button() == Qt::LeftButton) {
        const int sc = sizingColumnAt(p);
        if (sc >= 0) {
            sizingCol_ = sc;
            sizingStart_ = p.x();
            sizingWidth_ = colWidths_[sc];
            return;
        }
        const QPoint cell = MouseCoord(p);
        if (cell.x() >= fixedCols_ && cell.y() >= fixedRows_) {
            const bool same = cell.x() == col_ && cell.y() == row_;
            MoveTo(cell.x(), cell.y());
            if (same && (options_ & goEditing)) ShowEditor();
            else alwaysShowEditor();
        }
    }
}

void TDrawGrid::mouseMoveEvent(QMouseEvent* e)
{
    const QPoint p = e->position().toPoint();
    if (sizingCol_ >= 0) {
        colWidths_[sizingCol_] = std::max(0, sizingWidth_ + p.x() - sizingStart_);
        placeEditor();
        viewport()->update();
        return;
    }
    viewport()->setCursor(sizingColumnAt(p) >= 0 ? Qt::SplitHCursor : Qt::ArrowCursor);
}

void TDrawGrid::mouseReleaseEvent(QMouseEvent*)
{
    if (sizingCol_ >= 0) {
        sizingCol_ = -1;
        refresh();
        ColWidthsChanged();
    }
}

void TDrawGrid::mouseDoubleClickEvent(QMouseEvent* e)
{
    if (OnDblClick) OnDblClick();
    QAbstractScrollArea::mouseDoubleClickEvent(e);
}

void TDrawGrid::resizeEvent(QResizeEvent* e)
{
    QAbstractScrollArea::resizeEvent(e);
    refresh();
}

void TDrawGrid::DrawCell(int c, int r, const QRect& rect, TGridDrawState state)
{
    if (OnDrawCell) OnDrawCell(c, r, rect, state);
}

void TDrawGrid::Paint(QPainter& p)
{
    const QPalette pal = palette();
    const QColor fixedLine = pal.color(QPalette::Dark);
    const QColor line(192, 192, 192);
    for (int r = 0; r < RowCount(); ++r) {
        bool anyVisible = false;
        for (int c = 0; c < ColCount(); ++c) {
            const QRect cell = CellRect(c, r);
            if (cell.isEmpty()) continue;
            if (cell.top() > viewport()->height()) break;
            if (cell.left() > viewport()->width()) break;
            anyVisible = true;
            TGridDrawState st = 0;
            const bool fixed = c < fixedCols_ || r < fixedRows_;
            if (fixed) st |= gdFixed;
            if (!fixed && ((c == col_ && r == row_) || ((options_ & goRowSelect) && r == row_))) st |= gdSelected;
            if (!fixed && c == col_ && r == row_ && hasFocus()) st |= gdFocused;
            p.save();
            if (DefaultDrawing) {
                p.setFont(font());
                if (st & gdFixed) p.fillRect(cell, pal.color(QPalette::Button));
                else if ((st & gdSelected) && (!(st & gdFocused) || (options_ & goDrawFocusSelected))) {
                    p.fillRect(cell, pal.color(QPalette::Highlight));
                    p.setPen(pal.color(QPalette::HighlightedText));
                } else p.fillRect(cell, pal.color(QPalette::Base));
            }
            p.setClipRect(cell);
            DrawCell(c, r, cell, st);
            p.restore();
            p.setPen(fixed ? fixedLine : line);
            const bool vl = c < fixedCols_ || r < fixedRows_ ? options_ & goFixedVertLine : options_ & goVertLine;
            const bool hl = c < fixedCols_ || r < fixedRows_ ? options_ & goFixedHorzLine : options_ & goHorzLine;
            if (vl) p.drawLine(cell.left() + cell.width(), cell.top(), cell.left() + cell.width(), cell.bottom() + 1);
            if (hl) p.drawLine(cell.left(), cell.top() + cell.height(), cell.right() + 1, cell.top() + cell.height());
            if (DefaultDrawing && (st & gdFocused) && !(options_ & goRowSelect)
                && !((options_ & goEditing) && (options_ & goAlwaysShowEditor))) {
                QStyleOptionFocusRect fo;
                fo.initFrom(this);
                fo.rect = cell;
                fo.backgroundColor = pal.color(QPalette::Highlight);
                style()->drawPrimitive(QStyle::PE_FrameFocusRect, &fo, &p, this);
            }
        }
        if (!anyVisible && r >= topRow_ && CellRect(0, r).top() > viewport()->height()) break;
    }
}

void TDrawGrid::paintEvent(QPaintEvent*)
{
    QPainter p(viewport());
    canvas_ = &p;
    Paint(p);
    canvas_ = nullptr;
}

// --- cell text ----------------------------------------------------------------

void WriteCellText(QPainter& p, const QRect& rect, int dx, int dy, const QString& text,
                   Qt::Alignment align, bool wordWrap, bool rightToLeft)
{
    const bool offscreen = wordWrap || text.contains('\r') || text.contains('\n');
    if (offscreen) {
        QPixmap* bmp = AcquireSharedBitmap();
        if (bmp->width() < rect.width() || bmp->height() < rect.height())
            *bmp = QPixmap(std::max(bmp->width(), rect.width()), std::max(bmp->height(), rect.height()));
        {
            QPainter bp(bmp);
            bp.setFont(p.font());
            bp.fillRect(QRect(0, 0, rect.width(), rect.height()),
                        p.brush().style() == Qt::NoBrush ? p.background() : p.brush());
            bp.setPen(p.pen());
            int flags = Qt::TextExpandTabs;
            flags |= (align & Qt::AlignRight) ? Qt::AlignRight : (align & Qt::AlignHCenter) ? Qt::AlignHCenter : Qt::AlignLeft;
            if (wordWrap) flags |= Qt::TextWordWrap;
            if (rightToLeft) bp.setLayoutDirection(Qt::RightToLeft);
            QString t = text;
            t.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace('\r', '\n');
            bp.drawText(QRect(dx, dy, rect.width() - 1 - dx, rect.height() - 1 - dy), flags, t);
        }
        p.drawPixmap(rect.topLeft(), *bmp, QRect(0, 0, rect.width(), rect.height()));
        return;
    }
    const QFontMetrics fm(p.font());
    const int w = fm.horizontalAdvance(text);
    int x;
    Qt::Alignment a = align;
    if (p.layoutDirection() == Qt::RightToLeft && !rightToLeft) {
        if (a & Qt::AlignLeft) a = Qt::AlignRight;
        else if (a & Qt::AlignRight) a = Qt::AlignLeft;
    }
    if (a & Qt::AlignRight) x = rect.left() + rect.width() - w - 3;
    else if (a & Qt::AlignHCenter) x = rect.left() + rect.width() / 2 - w / 2;
    else x = rect.left() + dx;
    p.save();
    p.setClipRect(rect, Qt::IntersectClip);
    p.drawText(x, rect.top() + dy + fm.ascent(), text);
    p.restore();
}

void DrawGridCellText(QWidget*, int, int, const QString& text, const QRect& rect, Qt::Alignment align,
                      int vertAlign, bool wordWrap, bool rightToLeft, QPainter& p)
{
    const QFontMetrics fm(p.font());
    const int hW = fm.boundingRect(QStringLiteral("W")).height();
    int dy;
    if (vertAlign == 0) dy = 2;
    else if (vertAlign == 1) dy = std::max(1, (rect.height() - fm.height()) / 2);
    else dy = std::max(2, rect.height() - fm.height());
    Q_UNUSED(hW);
    WriteCellText(p, rect, 2, dy, text, align, wordWrap, rightToLeft);
}

// --- TPopupListbox ------------------------------------------------------------

TPopupListbox::TPopupListbox(QWidget* owner)
    : QListWidget(owner), owner_(owner)
{
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setUniformItemSizes(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    hide();
}

void TPopupListbox::keyPressEvent(QKeyEvent* e)
{
    // A window system that activates the list hands it the keys; the editor
    // decides about them as when it has the focus itself.
    if (auto* ed = qobject_cast<TBrInplaceEdit*>(owner_)) {
        QCoreApplication::sendEvent(ed, e);
        return;
    }
    SearchKey(e);
}

void TPopupListbox::SearchKey(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Backspace || e->key() == Qt::Key_Escape) {
        search_.clear();
        e->accept();
        return;
    }
    if (IsTypedChar(e)) {
        search_.add(e->text()[0]);
        const int row = search_.find(count(), [this](int i) { return item(i)->text(); });
        if (row >= 0) setCurrentRow(row);
        e->accept();
        return;
    }
    QListWidget::keyPressEvent(e);
}

void TPopupListbox::mouseReleaseEvent(QMouseEvent* e)
{
    QListWidget::mouseReleaseEvent(e);
    if (auto* ed = qobject_cast<TBrInplaceEdit*>(owner_))
        ed->CloseUp(viewport()->rect().contains(viewport()->mapFromGlobal(e->globalPosition().toPoint())));
}

QPoint PickListPlacement(const QRect& editorRect, const QSize& listSize, const QRect& screen)
{
    QPoint p(editorRect.left(), editorRect.top() + editorRect.height());
    if (screen.top() + screen.height() < p.y() + listSize.height())
        p.setY(editorRect.top() - listSize.height());
    return p;
}

// --- TBrInplaceEdit -------------------------------------------------------------

TBrInplaceEdit::TBrInplaceEdit(TBrDrawGrid* grid) : TInplaceEdit(grid), brGrid_(grid)
{
    buttonWidth_ = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    OnChange = [this] { brGrid_->NotifyEditChange(); };
}

void TBrInplaceEdit::UpdateContents()
{
    SetAlignment(brGrid_->QueryEditAlignment(brGrid_->Col(), brGrid_->Row()));
    SetEditStyle(brGrid_->QueryEditStyle(brGrid_->Col(), brGrid_->Row()));
    auto saved = OnChange;
    OnChange = nullptr;
    struct Restore { TBrInplaceEdit* e; std::function<void()>& s; ~Restore() { e->OnChange = s; } } restore{this, saved};
    TInplaceEdit::UpdateContents();
}

void TBrInplaceEdit::SetAlignment(Qt::Alignment a)
{
    alignment_ = a;
    setAlignment(a | Qt::AlignVCenter);
}

void TBrInplaceEdit::SetEditStyle(TInplaceEditStyle s)
{
    style_ = s;
    if (s == iePickList) {
        if (!pickList_) {
            pickList_ = new TPopupListbox(this);
            pickList_->setObjectName("PickList");
        }
        activeList_ = pickList_;
    } else {
        activeList_ = nullptr;
    }
    setTextMargins(0, 0, s != ieSimple ? buttonWidth_ : 0, 0);
    update();
}

QRect TBrInplaceEdit::ButtonRect() const
{
    if (style_ == ieSimple) return QRect();
    return QRect(width() - buttonWidth_, 0, buttonWidth_, height());
}

void TBrInplaceEdit::resizeEvent(QResizeEvent* e)
{
    TInplaceEdit::resizeEvent(e);
    update();
}

void TBrInplaceEdit::DropDown()
{
    if (listVisible_ || !activeList_) return;
    TPopupListbox* l = activeList_;
    l->setFont(font());
    l->setPalette(palette());
    l->clear();
    l->ClearSearch();   // a search belongs to one opening
    QStringList lines;
    brGrid_->FillPickList(brGrid_->Col(), brGrid_->Row(), lines);
    const QFontMetrics fm(font());
    const int ih = std::max(l->ItemHeight, fm.height());
    for (const QString& s : lines) {
        auto* it = new QListWidgetItem(s, l);
        it->setSizeHint(QSize(0, ih));
    }
    const int n = l->count();
    const int h = std::min(n, 8) * ih + 4;
    int w = width();
    int widest = 0;
    for (const QString& s : lines) widest = std::max(widest, fm.horizontalAdvance(s) + 6);
    int clientW = std::max(w - 2, widest);
    if (n > 8) clientW += style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    w = clientW + 2;
    l->setVerticalScrollBarPolicy(n > 8 ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    l->resize(w, h);
    l->setCurrentRow(-1);
    for (int i = 0; i < n; ++i)
        if (l->item(i)->text() == text()) {
            l->setCurrentRow(i);
            break;
        }
    QScreen* scr = screen();
    const QRect screenRect = scr ? scr->geometry() : QRect(0, 0, 1024, 768);
    l->move(PickListPlacement(QRect(mapToGlobal(QPoint(0, 0)), size()), l->size(), screenRect));
    l->show();
    l->raise();
    listVisible_ = true;
    qApp->installEventFilter(this);
    update();
}

void TBrInplaceEdit::CloseUp(bool accept)
{
    if (!listVisible_) return;
    qApp->removeEventFilter(this);
    if (QWidget* g = QWidget::mouseGrabber()) g->releaseMouse();
    TPopupListbox* l = activeList_ ? activeList_ : pickList_;
    const QString value = l && l->currentItem() && l->currentItem()->isSelected() ? l->currentItem()->text()
                          : (l && l->currentRow() >= 0 ? l->currentItem()->text() : QString());
    const bool listActive = l && QApplication::activeWindow() == l;
    if (l) l->hide();
    listVisible_ = false;
    // The list took the activation when it showed: the editor takes the keys back.
    if (listActive && isVisible()) {
        window()->activateWindow();
        setFocus(Qt::OtherFocusReason);
    }
    update();
    if (accept && (brGrid_->Options() & goEditing)) {
        setText(value);
        selectAll();
    }
}

bool TBrInplaceEdit::eventFilter(QObject* o, QEvent* e)
{
    if (listVisible_ && e->type() == QEvent::MouseButtonPress && o->isWidgetType()) {
        bool inside = false;
        for (QObject* p = o; p; p = p->parent())
            if (p == this || p == pickList_) { inside = true; break; }
        if (!inside) CloseUp(false);
    }
    return TInplaceEdit::eventFilter(o, e);
}

void TBrInplaceEdit::keyPressEvent(QKeyEvent* e)
{
    const bool alt = e->modifiers() & Qt::AltModifier;
    const int k = e->key();
    if (style_ == iePickList) {
        if ((k == Qt::Key_Return || k == Qt::Key_Enter || k == Qt::Key_Escape) && listVisible_ && !alt) {
            CloseUp(k != Qt::Key_Escape);
            e->accept();
            return;
        }
        if (fw::isDropDownKey(e)) {
            if (listVisible_) CloseUp(true); else DropDown();
            e->accept();
            return;
        }
        // A letter opens the list and looks the line up there: only its lines are values.
        if (!listVisible_ && activeList_ && IsTypedChar(e) && brGrid_->CanEditAcceptKey(e->text()[0]))
            DropDown();
        if (listVisible_ && activeList_) {
            activeList_->SearchKey(e);
            return;
        }
    }
    if (style_ == ieEllipsis && (k == Qt::Key_Return || k == Qt::Key_Enter)
        && (e->modifiers() & ~Qt::KeypadModifier) == Qt::ControlModifier) {
        brGrid_->NotifyEditButton();
        e->accept();
        return;
    }
    TInplaceEdit::keyPressEvent(e);
}

void TBrInplaceEdit::trackButton(const QPoint& p)
{
    const bool now = ButtonRect().contains(p);
    if (now != pressed_) {
        pressed_ = now;
        update(ButtonRect());
    }
}

void TBrInplaceEdit::stopTracking()
{
    if (!tracking_) return;
    tracking_ = false;
    trackButton(QPoint(-1, -1));
    releaseMouse();
}

void TBrInplaceEdit::mousePressEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton && style_ != ieSimple && ButtonRect().contains(e->position().toPoint())) {
        if (listVisible_) {
            CloseUp(false);
        } else {
            tracking_ = true;
            trackButton(e->position().toPoint());
            if (activeList_) DropDown();
        }
        return;
    }
    TInplaceEdit::mousePressEvent(e);
}

void TBrInplaceEdit::mouseMoveEvent(QMouseEvent* e)
{
    if (tracking_) {
        trackButton(e->position().toPoint());
        if (listVisible_ && activeList_) {
            const QPoint g = e->globalPosition().toPoint();
            const QPoint lp = activeList_->viewport()->mapFromGlobal(g);
            if (activeList_->viewport()->rect().contains(lp)) {
                stopTracking();
                QMouseEvent press(QEvent::MouseButtonPress, lp, g, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
                QCoreApplication::sendEvent(activeList_->viewport(), &press);
            }
        }
        return;
    }
    if (style_ != ieSimple) setCursor(ButtonRect().contains(e->position().toPoint()) ? Qt::ArrowCursor : Qt::IBeamCursor);
    TInplaceEdit::mouseMoveEvent(e);
}

void TBrInplaceEdit::mouseReleaseEvent(QMouseEvent* e)
{
    const bool wasPressed = pressed_;
    if (tracking_) {
        stopTracking();
        if (e->button() == Qt::LeftButton && style_ == ieEllipsis && wasPressed) brGrid_->NotifyEditButton();
        return;
    }
    TInplaceEdit::mouseReleaseEvent(e);
}

void TBrInplaceEdit::mouseDoubleClickEvent(QMouseEvent* e)
{
    if (style_ != ieSimple && ButtonRect().contains(e->position().toPoint())) return;
    TInplaceEdit::mouseDoubleClickEvent(e);
}

void TBrInplaceEdit::focusOutEvent(QFocusEvent* e)
{
    // Some window systems activate the list when it shows; that is no focus loss.
    if (!(e->reason() == Qt::ActiveWindowFocusReason && pickList_ && QApplication::activeWindow() == pickList_))
        CloseUp(false);
    TInplaceEdit::focusOutEvent(e);
}

void TBrInplaceEdit::paintEvent(QPaintEvent* e)
{
    TInplaceEdit::paintEvent(e);
    if (style_ == ieSimple) return;
    QPainter p(this);
    const QRect r = ButtonRect();
    const bool down = pressed_ || (listVisible_ && style_ == iePickList && tracking_);
    QStyleOptionButton b;
    b.initFrom(this);
    b.rect = r;
    b.state = QStyle::State_Enabled | (down ? QStyle::State_Sunken : QStyle::State_Raised);
    style()->drawPrimitive(QStyle::PE_PanelButtonCommand, &b, &p, this);
    const int off = down ? 1 : 0;
    if (style_ == iePickList) {
        QStyleOption a;
        a.initFrom(this);
        a.rect = QRect(r.left() + 4 + off, r.top() + r.height() / 2 - 3 + off, r.width() - 8, 7);
        a.state = activeList_ ? QStyle::State_Enabled : QStyle::State_None;
        style()->drawPrimitive(QStyle::PE_IndicatorArrowDown, &a, &p, this);
    } else {
        const int gap = std::clamp((buttonWidth_ - 12) / 2, 1, 3);
        int x = r.left() + off + (buttonWidth_ - 6 - 2 * gap) / 2;
        const int y = r.top() + (height() - 2) / 2 + off;
        for (int i = 0; i < 3; ++i, x += gap + 2) p.fillRect(x, y, 2, 2, Qt::black);
    }
}

// --- TBrDrawGrid ------------------------------------------------------------------

TBrDrawGrid::TBrDrawGrid(QWidget* parent) : TDrawGrid(parent)
{
    storageLink_ = new TIniLink(this);
    storageLink_->OnSave = [this] { SaveColumnWidths(); };
    storageLink_->OnLoad = [this] { LoadColumnWidths(); };
    SetDefaultRowHeight(18);
    SetOptions(goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine | goDrawFocusSelected | goColSizing);
}

TBrDrawGrid::~TBrDrawGrid()
{
    OnChangeFocus = nullptr;
    delete storageLink_;
}

TInplaceEdit* TBrDrawGrid::CreateEditor() { return new TBrInplaceEdit(this); }

bool TBrDrawGrid::CanEditShow() const
{
    bool allow = TDrawGrid::CanEditShow();
    if (allow && OnShowEditor) OnShowEditor(const_cast<TBrDrawGrid*>(this), Col(), Row(), allow);
    return allow;
}

bool TBrDrawGrid::CanEditAcceptKey(QChar key) const
{
    if (OnAcceptEditKey) return OnAcceptEditKey(const_cast<TBrDrawGrid*>(this), key);
    return TDrawGrid::CanEditAcceptKey(key);
}

int TBrDrawGrid::GetEditLimit() const
{
    int n = TDrawGrid::GetEditLimit();
    if (OnGetEditLimit) OnGetEditLimit(const_cast<TBrDrawGrid*>(this), n);
    return n;
}

void TBrDrawGrid::SetEditText(int c, int r, const QString& text)
{
    if (noTextUpdate_) return;
    TDrawGrid::SetEditText(c, r, text);
}

void TBrDrawGrid::KeyDown(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Escape && !(e->modifiers() & Qt::ControlModifier) && EditorMode()
        && InplaceEditor() && InplaceEditor()->isVisible() && !(Options() & goAlwaysShowEditor)) {
        noTextUpdate_ = true;
        struct Clear { bool& f; ~Clear() { f = false; } } clear{noTextUpdate_};
        HideEditor();
        if (OnCancelEdit) OnCancelEdit(this);
        e->accept();
        return;
    }
    // On a pick-list cell without its editor, the list keys and a letter open
    // the editor with the list dropped, as they do inside the editor.
    const bool editorShown = EditorMode() && InplaceEditor() && InplaceEditor()->isVisible();
    if (!editorShown && (fw::isDropDownKey(e) || (IsTypedChar(e) && CanEditAcceptKey(e->text()[0])))
        && CanEditShow() && QueryEditStyle(Col(), Row()) == iePickList) {
        ShowEditor();
        if (auto* ed = qobject_cast<TBrInplaceEdit*>(InplaceEditor()); ed && ed->isVisible()) {
            ed->DropDown();
            if (!fw::isDropDownKey(e) && ed->ListVisible() && ed->ActiveList()) ed->ActiveList()->SearchKey(e);
        }
        e->accept();
        return;
    }
    TDrawGrid::KeyDown(e);
}

bool TBrDrawGrid::QueryFixedButton(int c, int r)
{
    if (c < 0 || r < 0 || c >= ColCount() || r >= RowCount()) return false;
    if (!(c < FixedCols() || r < FixedRows())) return false;
    bool enabled = true;
    if (OnCheckButton) OnCheckButton(this, c, r, enabled);
    return enabled;
}

Qt::Alignment TBrDrawGrid::QueryEditAlignment(int c, int r)
{
    Qt::Alignment a = Qt::AlignLeft;
    if (OnGetEditAlign) OnGetEditAlign(this, c, r, a);
    return a;
}

TInplaceEditStyle TBrDrawGrid::QueryEditStyle(int c, int r)
{
    TInplaceEditStyle s = ieSimple;
    if (OnGetEditStyle) OnGetEditStyle(this, c, r, s);
    return s;
}

void TBrDrawGrid::FillPickList(int c, int r, QStringList& list)
{
    list.clear();
    if (OnGetPicklist) OnGetPicklist(this, c, r, list);
}

void TBrDrawGrid::DrawCellStr(const QRect& rect, const QString& text, Qt::Alignment align)
{
    if (!Canvas()) return;
    DrawGridCellText(this, 0, 0, text, rect, align, 1, false, layoutDirection() == Qt::RightToLeft, *Canvas());
}

void TBrDrawGrid::CallDrawCellEvent(int c, int r, const QRect& rect, TGridDrawState state)
{
    TDrawGrid::DrawCell(c, r, rect, state);
}

void TBrDrawGrid::Paint(QPainter& p)
{
    const bool saved = DefaultDrawing;
    DefaultDrawing = false;
    struct Restore { bool& d; bool v; ~Restore() { d = v; } } restore{DefaultDrawing, saved};
    // Cells are drawn by DrawCell below with the saved flag.
    savedDefault_ = saved;
    TDrawGrid::Paint(p);
    DefaultDrawing = saved;
    if (saved && hasFocus() && (Options() & goRowSelect) && !(Options() & goRangeSelect) && Row() >= FixedRows()) {
        QRect first = CellRect(std::max(FixedCols(), LeftCol()), Row());
        QRect last = CellRect(ColCount() - 1, Row());
        if (!first.isEmpty()) {
            QRect r(first.topLeft(), QPoint(last.isEmpty() ? viewport()->width() : last.right(), first.bottom()));
            if (!(Options() & goHorzLine)) r.adjust(0, 0, 0, 1);
            QStyleOptionFocusRect fo;
            fo.initFrom(this);
            fo.rect = r;
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &fo, &p, this);
        }
    }
}

void TBrDrawGrid::DrawCell(int c, int r, const QRect& rectIn, TGridDrawState state)
{
    QPainter& p = *Canvas();
    QRect rect = rectIn;
    const QPalette pal = palette();
    const bool fixed = state & gdFixed;
    if (savedDefault_) {
        p.setFont(font());
        if ((Options() & goRowSelect) && !fixed) {
            if (!(Options() & goVertLine)) rect.adjust(0, 0, 1, 0);
            if (!(Options() & goHorzLine)) rect.adjust(0, 0, 0, 1);
        }
        const bool sel = state & gdSelected;
        if (sel && (!(state & gdFocused) || (Options() & (goDrawFocusSelected | goRowSelect)))) {
            p.fillRect(rect, pal.color(QPalette::Highlight));
            p.setPen(pal.color(QPalette::HighlightedText));
        } else {
            p.fillRect(rect, fixed ? pal.color(QPalette::Button) : pal.color(QPalette::Base));
            p.setPen(pal.color(fixed ? QPalette::ButtonText : QPalette::Text));
        }
    }
    const bool pressed = FixedButtons && savedDefault_ && pressedLook_ && fixed && c == pressedCol_ && r == pressedRow_;
    if (pressed) rect.translate(1, 1);
    CallDrawCellEvent(c, r, rect, state);
    if (pressed) rect.translate(-1, -1);
    if (savedDefault_ && fixed) {
        const QColor tl = pal.color(pressed ? QPalette::Dark : QPalette::Light);
        const QColor br = pal.color(pressed ? QPalette::Light : QPalette::Dark);
        const QRect e = rect;
        if (Options() & goFixedHorzLine) {
            p.setPen(tl);
            p.drawLine(e.topLeft(), e.topRight());
            p.setPen(br);
            p.drawLine(e.bottomLeft(), e.bottomRight());
        }
        if (Options() & goFixedVertLine) {
            p.setPen(tl);
            p.drawLine(e.topLeft(), e.bottomLeft());
            p.setPen(br);
            p.drawLine(e.topRight(), e.bottomRight());
        }
    }
    if (savedDefault_ && (state & gdFocused) && !(Options() & goRowSelect)
        && !((Options() & goEditing) && (Options() & goAlwaysShowEditor))) {
        QStyleOptionFocusRect fo;
        fo.initFrom(this);
        fo.rect = rect;
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &fo, &p, this);
    }
}

void TBrDrawGrid::ColWidthsChanged()
{
    stopTracking();
    if (OnColumnSized) OnColumnSized(this);
}

void TBrDrawGrid::RowHeightsChanged()
{
    stopTracking();
    if (OnRowSized) OnRowSized(this);
}

void TBrDrawGrid::TopLeftChanged()
{
    if ((Options() & goRowSelect) && DefaultDrawing) InvalidateRow(Row());
    stopTracking();
}

void TBrDrawGrid::stopTracking()
{
    if (!tracking_) return;
    tracking_ = false;
    pressedLook_ = false;
    InvalidateCell(pressedCol_, pressedRow_);
    pressedCol_ = pressedRow_ = -1;
}

void TBrDrawGrid::trackFixed(const QPoint& p)
{
    const QPoint cell = MouseCoord(p);
    const bool look = viewport()->rect().contains(p) && cell.x() == pressedCol_ && cell.y() == pressedRow_;
    if (look != pressedLook_) {
        pressedLook_ = look;
        InvalidateCell(cell.x(), cell.y());
        InvalidateCell(pressedCol_, pressedRow_);
    }
}

void TBrDrawGrid::mousePressEvent(QMouseEvent* e)
{
    const QPoint pos = e->position().toPoint();
    const QPoint cell = MouseCoord(pos);
    const bool onFixed = cell.x() >= 0 && (cell.x() < FixedCols() || cell.y() < FixedRows());
    if (EditorMode() && !(FixedButtons && onFixed && e->button() == Qt::LeftButton && sizingColumnAt(pos) < 0))
        HideEditor();
    if (focusPolicy() != Qt::NoFocus) setFocus(Qt::MouseFocusReason);
    if (FixedButtons && onFixed && sizingColumnAt(pos) < 0) {
        if (e->button() == Qt::LeftButton) {
            if (QueryFixedButton(cell.x(), cell.y())) {
                tracking_ = true;
                pressedCol_ = cell.x();
                pressedRow_ = cell.y();
                pressedLook_ = false;
                trackFixed(pos);
            } else {
                BeepDefault();
            }
        }
        return;
    }
    TDrawGrid::mousePressEvent(e);
}

void TBrDrawGrid::mouseMoveEvent(QMouseEvent* e)
{
    if (tracking_) {
        trackFixed(e->position().toPoint());
        return;
    }
    TDrawGrid::mouseMoveEvent(e);
}

void TBrDrawGrid::mouseReleaseEvent(QMouseEvent* e)
{
    if (tracking_ && pressedCol_ >= 0) {
        const int c = pressedCol_, r = pressedRow_;
        const QPoint cell = MouseCoord(e->position().toPoint());
        stopTracking();
        if (cell.x() == c && cell.y() == r && c < ColCount() && r < RowCount()) NotifyFixedCellClick(c, r);
        return;
    }
    TDrawGrid::mouseReleaseEvent(e);
}

void TBrDrawGrid::mouseDoubleClickEvent(QMouseEvent* e)
{
    const QPoint cell = MouseCoord(e->position().toPoint());
    if (FixedButtons && cell.x() >= 0 && (cell.x() < FixedCols() || cell.y() < FixedRows())) {
        mousePressEvent(e);
        return;
    }
    TDrawGrid::mouseDoubleClickEvent(e);
}

void TBrDrawGrid::focusInEvent(QFocusEvent* e)
{
    TDrawGrid::focusInEvent(e);
    if (OnChangeFocus) OnChangeFocus(this);
}

void TBrDrawGrid::focusOutEvent(QFocusEvent* e)
{
    TDrawGrid::focusOutEvent(e);
    if (OnChangeFocus) OnChangeFocus(this);
}

void TBrDrawGrid::SaveColumnWidths()
{
    QSettings* ini = storageLink_->OpenStore();
    if (objectName().isEmpty() || !ini) return;
    const QString section = storageLink_->BaseSection() + DefaultSectionOf(this);
    for (int c = 0; c < ColCount(); ++c) IniPutInteger(ini, section, QStringLiteral("Item%1").arg(c), ColWidth(c));
}

void TBrDrawGrid::LoadColumnWidths()
{
    QSettings* ini = storageLink_->OpenStore();
    if (objectName().isEmpty() || !ini) return;
    const QString section = storageLink_->BaseSection() + DefaultSectionOf(this);
    for (int c = 0; c < ColCount(); ++c)
        SetColWidth(c, IniGetInteger(ini, section, QStringLiteral("Item%1").arg(c), ColWidth(c)));
}
