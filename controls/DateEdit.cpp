#include "DateEdit.h"

#include "FormatSettings.h"
#include "VclUtils.h"

#include <QApplication>
#include <QFrame>
#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>
#include <QTimer>

QFont PopupStatusFont()
{
    QFont f = QApplication::font();
    f.setPointSize(8);
    f.setBold(false);
    f.setItalic(false);
    return f;
}

namespace {

bool noShift(Qt::KeyboardModifiers m) { return (m & ~Qt::KeypadModifier) == Qt::NoModifier; }
bool keypad(Qt::KeyboardModifiers m) { return m & Qt::KeypadModifier; }

QString shortHint(const QString& h) { return h.section('|', 0, 0); }

const QString kPrevMonthHint = QStringLiteral("Предыдущий месяц|");
const QString kPrevYearHint = QStringLiteral("Предыдущий год|");
const QString kNextMonthHint = QStringLiteral("Следующий месяц|");
const QString kNextYearHint = QStringLiteral("Следующий год|");

} // namespace

// --- TBrCalendar ------------------------------------------------------------

TBrCalendar::TBrCalendar(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    date_ = LocalToday();
    LayoutMonth();
    resize(192, 115);
}

void TBrCalendar::LayoutMonth()
{
    FLayingOut = true;
    const QDate first(date_.year(), date_.month(), 1);
    int a = first.dayOfWeek() % 7 + 1;                 // 1 = Sunday ... 7 = Saturday
    a = (a - int(startOfWeek_) + 7) % 7;
    FFirstCellShift = a == 0 ? -5 : 2 - a;
    const int k = date_.day() - FFirstCellShift;
    col_ = k % 7;
    row_ = k / 7 + 1;
    FLayingOut = false;
}

void TBrCalendar::changeDate(const QDate& d)
{
    if (!d.isValid() || d == date_) return;
    const bool dayOnly = d.year() == date_.year() && d.month() == date_.month();
    date_ = d;
    if (dayOnly) {
        LayoutMonth();
        repaint();
    } else {
        RefreshMonth();
        update();
    }
    emit changed();
}

void TBrCalendar::SetCalendarDate(const QDate& d) { changeDate(d); }

void TBrCalendar::SetDay(int v)
{
    if (v < 1 || v > MonthDayCount(date_.year(), date_.month()) || v == date_.day()) return;
    useCurrentDate_ = false;
    changeDate(QDate(date_.year(), date_.month(), v));
}

void TBrCalendar::SetMonth(int v)
{
    if (v < 1 || v > 12 || v == date_.month()) return;
    useCurrentDate_ = false;
    changeDate(QDate(date_.year(), v, std::min(date_.day(), MonthDayCount(date_.year(), v))));
}

void TBrCalendar::SetYear(int v)
{
    if (v < 1 || v > 9999 || v == date_.year()) return;
    useCurrentDate_ = false;
    changeDate(QDate(v, date_.month(), std::min(date_.day(), MonthDayCount(v, date_.month()))));
}

void TBrCalendar::SetStartOfWeek(TDayOfWeekName d)
{
    startOfWeek_ = d;
    RefreshMonth();
    update();
}

void TBrCalendar::SetWeekends(TDaysOfWeek w)
{
    weekends_ = w;
    RefreshMonth();
    update();
}

void TBrCalendar::SetUseCurrentDate(bool v)
{
    useCurrentDate_ = v;
    if (v) changeDate(LocalToday());
    RefreshMonth();
}

void TBrCalendar::PrevMonth()
{
    const int d = date_.day();
    const QDate prev = QDate(date_.year(), date_.month(), 1).addDays(-1);
    changeDate(QDate(prev.year(), prev.month(), std::min(d, prev.daysInMonth())));
}

void TBrCalendar::NextMonth()
{
    const int d = date_.day();
    const QDate next = QDate(date_.year(), date_.month(), date_.daysInMonth()).addDays(1);
    changeDate(QDate(next.year(), next.month(), std::min(d, next.daysInMonth())));
}

void TBrCalendar::PrevYear()
{
    int d = date_.day();
    if (date_.month() == 2 && d == 29) d = 28;
    changeDate(QDate(date_.year() - 1, date_.month(), d));
}

void TBrCalendar::NextYear()
{
    int d = date_.day();
    if (date_.month() == 2 && d == 29) d = 28;
    changeDate(QDate(date_.year() + 1, date_.month(), d));
}

int TBrCalendar::DayOfCell(int col, int row) const
{
    if (row < 1 || row > 6 || col < 0 || col > 6) return 0;
    const int d = col + FFirstCellShift + 7 * row - 7;
    if (d < 1 || d > MonthDayCount(date_.year(), date_.month())) return 0;
    return d;
}

QString TBrCalendar::CellText(int col, int row) const
{
    if (row == 0) return FormatSettings().ShortDayNames.value((col + int(startOfWeek_)) % 7);
    const int d = DayOfCell(col, row);
    return d ? QString::number(d) : QString();
}

bool TBrCalendar::IsWeekendColumn(int col) const
{
    return weekends_ & (1u << ((col + int(startOfWeek_)) % 7));
}

int TBrCalendar::ColWidth() const { return (width() - (showVertLines_ ? 6 : 0)) / 7; }
int TBrCalendar::RowHeight() const { return (height() - 6) / 7; }

QRect TBrCalendar::CellRect(int col, int row) const
{
    const int cw = ColWidth(), rh = RowHeight();
    const int x = col * cw + (showVertLines_ ? col : 0);
    const int y = row * rh + (showHorzLines_ ? row : (row > 0 ? 1 : 0));
    return QRect(x, y, cw, rh);
}

QPoint TBrCalendar::CellAt(const QPoint& p) const
{
    for (int r = 0; r < 7; ++r)
        for (int c = 0; c < 7; ++c)
            if (CellRect(c, r).contains(p)) return QPoint(c, r);
    return QPoint(-1, -1);
}

bool TBrCalendar::selectCell(int col, int row)
{
    if (ReadOnly && !FLayingOut) return false;
    return DayOfCell(col, row) != 0;
}

void TBrCalendar::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QPalette pal = palette();
    p.fillRect(rect(), cellColor_);
    const QColor lineColour(160, 160, 160);
    const QDate today = LocalToday();
    for (int r = 0; r < 7; ++r)
        for (int c = 0; c < 7; ++c) {
            const QRect cell = CellRect(c, r);
            const QString text = CellText(c, r);
            QColor ink = pal.color(QPalette::WindowText);
            if (r == 0) {
                p.fillRect(cell, pal.color(QPalette::Button));
                ink = pal.color(QPalette::ButtonText);
                if (IsWeekendColumn(c)) ink = weekendColor_;
            } else if (c == col_ && r == row_) {
                p.fillRect(cell, pal.color(QPalette::Highlight));
                ink = pal.color(QPalette::HighlightedText);
            } else if (IsWeekendColumn(c)) {
                ink = weekendColor_;
            }
            p.setPen(ink);
            p.drawText(cell, Qt::AlignCenter, text);
            const int day = DayOfCell(c, r);
            if (day && date_.year() == today.year() && date_.month() == today.month()
                && day == today.day())
                drawCellFrame(p, cell, day);
        }
    p.setPen(lineColour);
    if (showHorzLines_) {
        for (int r = 0; r < 6; ++r) {
            const QRect cell = CellRect(0, r);
            p.drawLine(0, cell.bottom() + 1, width(), cell.bottom() + 1);
        }
    } else {
        const QRect cell = CellRect(0, 0);
        p.setPen(pal.color(QPalette::Dark));
        p.drawLine(0, cell.bottom() + 1, width(), cell.bottom() + 1);
    }
    if (showVertLines_)
        for (int c = 0; c < 6; ++c) {
            const QRect cell = CellRect(c, 0);
            p.drawLine(cell.right() + 1, 0, cell.right() + 1, height());
        }
}

void TBrCalendar::mousePressEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton) return;
    if (focusPolicy() != Qt::NoFocus) setFocus(Qt::MouseFocusReason);
    const QPoint cell = CellAt(e->position().toPoint());
    if (cell.y() > 0 && selectCell(cell.x(), cell.y())) SetDay(DayOfCell(cell.x(), cell.y()));
}

void TBrCalendar::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton) return;
    const QPoint cell = CellAt(e->position().toPoint());
    if (cell.x() >= 0) emit cellReleased(cell.x(), cell.y(), e->modifiers());
}

void TBrCalendar::mouseDoubleClickEvent(QMouseEvent* e)
{
    mousePressEvent(e);
    const QPoint cell = CellAt(e->position().toPoint());
    if (cell.y() > 0 && DayOfCell(cell.x(), cell.y())) emit dblClicked();
}

void TBrCalendar::HandleKeyDown(int key, Qt::KeyboardModifiers mods)
{
    if (!noShift(mods)) return;
    if (key == Qt::Key_Left || (key == Qt::Key_Minus && keypad(mods))) {
        changeDate(date_.addDays(-1));
        return;
    }
    if (key == Qt::Key_Right || (key == Qt::Key_Plus && keypad(mods))) {
        changeDate(date_.addDays(1));
        return;
    }
    // The grid's own moves: to another cell of the month.
    int c = col_, r = row_;
    switch (key) {
    case Qt::Key_Up: --r; break;
    case Qt::Key_Down: ++r; break;
    case Qt::Key_Home:
        c = 0;
        while (c < 6 && !DayOfCell(c, r)) ++c;
        break;
    case Qt::Key_End:
        c = 6;
        while (c > 0 && !DayOfCell(c, r)) --c;
        break;
    default: return;
    }
    if (selectCell(c, r)) SetDay(DayOfCell(c, r));
}

void TBrCalendar::HandleKeyPress(QChar ch)
{
    if (ch == 'T' || ch == 't') SetCalendarDate(LocalToday());
}

void TBrCalendar::keyPressEvent(QKeyEvent* e)
{
    const int before = date_.toJulianDay();
    HandleKeyDown(e->key(), e->modifiers());
    if (!e->text().isEmpty()) HandleKeyPress(e->text()[0]);
    if (before == date_.toJulianDay() && e->key() != Qt::Key_Left && e->key() != Qt::Key_Right
        && e->key() != Qt::Key_Up && e->key() != Qt::Key_Down)
        QWidget::keyPressEvent(e);
}

// --- TLocCalendar -----------------------------------------------------------

TLocCalendar::TLocCalendar(QWidget* parent) : TBrCalendar(parent)
{
    setFocusPolicy(Qt::NoFocus);
    showVertLines_ = false;
    showHorzLines_ = false;
    cellColor_ = palette().color(QPalette::Button);
}

void TLocCalendar::drawCellFrame(QPainter& p, const QRect& r, int)
{
    const QRect f = r.adjusted(1, 0, -1, -1);
    p.setPen(palette().color(QPalette::Dark));
    p.drawLine(f.topLeft(), f.topRight());
    p.drawLine(f.topLeft(), f.bottomLeft());
    p.setPen(palette().color(QPalette::Light));
    p.drawLine(f.bottomLeft(), f.bottomRight());
    p.drawLine(f.topRight(), f.bottomRight());
}

// --- TPopupCalendar ---------------------------------------------------------

TPopupCalendar::TPopupCalendar(TCustomComboEdit* editor) : TPopupWindow(editor)
{
    const double scale = logicalDpiX() / 96.0;
    resize(int(std::max(187, 180) * scale), int(std::max(124, 120) * scale));
    setFont(PopupStatusFont());
    auto* panel = new QFrame(this);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setLineWidth(1);
    panel->setGeometry(1, 1, width() - 2, height() - 2);
    auto* top = new QWidget(panel);
    top->setGeometry(1, 1, width() - 4, 18);
    const int pw = top->width();
    auto makeBtn = [&](int x, const char* bmp, const QString& hint, void (TBrCalendar::*step)()) {
        auto* b = new TBrTimerSpeedButton(top);
        b->setGeometry(x, -1, 14, 14);
        b->SetGlyph(BrStandardBitmap(bmp));
        b->setToolTip(shortHint(hint));
        // Bound first: gcc with the sanitizers misreads a member pointer captured directly.
        const auto go = std::bind(step, std::cref(FMonthGrid));
        connect(b, &TBrSpeedButton::clicked, this, [go] { go(); });
        return b;
    };
    FPrevYearBtn = makeBtn(-1, "PREV2", kPrevYearHint, &TBrCalendar::PrevYear);
    FPrevMonthBtn = makeBtn(12, "PREV1", kPrevMonthHint, &TBrCalendar::PrevMonth);
    FNextMonthBtn = makeBtn(pw - 26, "NEXT1", kNextMonthHint, &TBrCalendar::NextMonth);
    FNextYearBtn = makeBtn(pw - 13, "NEXT2", kNextYearHint, &TBrCalendar::NextYear);
    FPrevYearBtn->setObjectName("FPrevYearBtn");
    FPrevMonthBtn->setObjectName("FPrevMonthBtn");
    FNextMonthBtn->setObjectName("FNextMonthBtn");
    FNextYearBtn->setObjectName("FNextYearBtn");
    FCaptionLabel = new QLabel(top);
    FCaptionLabel->setObjectName("FCaptionLabel");
    FCaptionLabel->setGeometry(29, 1, pw - 58, 14);
    FCaptionLabel->setAlignment(Qt::AlignCenter);
    FCaptionLabel->installEventFilter(this);
    FMonthGrid = new TLocCalendar(panel);
    FMonthGrid->setObjectName("FMonthGrid");
    FMonthGrid->setGeometry(1, 19, width() - 4, height() - 4 - 18);
    connect(FMonthGrid, &TBrCalendar::changed, this, &TPopupCalendar::refreshTitle);
    connect(FMonthGrid, &TBrCalendar::cellReleased, this,
            [this](int col, int row, Qt::KeyboardModifiers mods) {
                if (noShift(mods) && row > 0 && FMonthGrid->DayOfCell(col, row)) CloseRequest(true);
            });
    refreshTitle();
}

void TPopupCalendar::refreshTitle()
{
    FCaptionLabel->setText(FormatDateVcl(QStringLiteral("MMMM, YYYY"), FMonthGrid->CalendarDate()));
}

bool TPopupCalendar::eventFilter(QObject* o, QEvent* e)
{
    if (o == FCaptionLabel && e->type() == QEvent::MouseButtonDblClick) {
        FMonthGrid->SetCalendarDate(LocalToday());
        return true;
    }
    return TPopupWindow::eventFilter(o, e);
}

QVariant TPopupCalendar::PopupValue() { return QVariant(FMonthGrid->CalendarDate()); }

void TPopupCalendar::LoadPopupValue(const QVariant& value)
{
    QDate d;
    if (!value.isNull() && value.isValid()) {
        if (value.typeId() == QMetaType::QDate || value.typeId() == QMetaType::QDateTime) {
            d = value.toDate();
        } else {
            const QString s = value.toString();
            QString bare = s;
            bare.remove(FormatSettings().DateSeparator);
            if (!bare.trimmed().isEmpty())
                d = TextToDateFmtOr(DateFormatFor(true), s, QDate());
        }
    }
    if (!DateValueValid(d)) d = LocalToday();
    FMonthGrid->SetCalendarDate(d);
    refreshTitle();
}

void TPopupCalendar::PopupKeyDown(int key, Qt::KeyboardModifiers mods)
{
    const bool ctrl = mods & Qt::ControlModifier;
    if (key == Qt::Key_PageUp) {
        if (ctrl) FMonthGrid->PrevYear(); else FMonthGrid->PrevMonth();
    } else if (key == Qt::Key_PageDown) {
        if (ctrl) FMonthGrid->NextYear(); else FMonthGrid->NextMonth();
    } else {
        FMonthGrid->HandleKeyDown(key, mods);
    }
}

void TPopupCalendar::PopupKeyPress(QChar key) { FMonthGrid->HandleKeyPress(key); }

// --- TCustomDateEdit --------------------------------------------------------

TCustomDateEdit::TCustomDateEdit(QWidget* parent) : TCustomComboEdit(parent)
{
    FStdGlyphCount = 2;
    FPopupColor = palette().color(QPalette::Button);
    RebuildTextFormat();
    makePopup();
    SetGlyphKind(gkDefault);
}

QPixmap TCustomDateEdit::StandardGlyph() const { return BrStandardBitmap("DEDITBMP"); }

void TCustomDateEdit::makePopup()
{
    auto* p = new TPopupCalendar(this);
    p->setObjectName("PopupCalendar");
    SetPopup(p);
    QPalette pal = p->palette();
    pal.setColor(QPalette::Button, FPopupColor);
    pal.setColor(QPalette::Window, FPopupColor);
    p->setPalette(pal);
    SetupCalendar();
}

bool TCustomDateEdit::UsesFourDigits() const
{
    return FYearDigits == dyFour || (FYearDigits == dyDefault && YearsFourDigit());
}

void TCustomDateEdit::RebuildTextFormat() { FTextFormat = DateFormatFor(UsesFourDigits()); }

void TCustomDateEdit::RefreshDateMask()
{
    const QDate keep = Date();
    const QString oldFormat = FTextFormat;
    RebuildTextFormat();
    const QString mask = QtInputMaskOf(DateMaskFor(FBlanksChar, UsesFourDigits()));
    if (inputMask() + ';' + FBlanksChar != mask && inputMask() != mask) {
        setInputMask(QString());
        setInputMask(mask);
    } else if (oldFormat != FTextFormat) {
        setInputMask(QString());
        setInputMask(mask);
    }
    SetupCalendar();
    const bool m = isModified();
    SetDate(keep);
    setModified(m);
}

void TCustomDateEdit::SetupCalendar()
{
    auto* cal = qobject_cast<TPopupCalendar*>(FDropDown.data());
    if (!cal) return;
    cal->FMonthGrid->SetStartOfWeek(FStartOfWeek);
    cal->FMonthGrid->SetWeekendColor(FWeekendColor);
    cal->FMonthGrid->SetWeekends(FWeekends);
    TBrSpeedButton* btns[4] = {cal->FPrevYearBtn, cal->FPrevMonthBtn, cal->FNextMonthBtn,
                               cal->FNextYearBtn};
    for (int i = 0; i < 4 && i < FCalendarHints.size(); ++i)
        if (!FCalendarHints[i].isEmpty()) btns[i]->setToolTip(shortHint(FCalendarHints[i]));
}

bool TCustomDateEdit::IsEmptyDateText() const
{
    for (QChar c : Text())
        if (!(c.isNull() || c == ' ' || c == FormatSettings().DateSeparator || c == FBlanksChar))
            return false;
    return true;
}

QDate TCustomDateEdit::Date() const
{
    const QDate def = FDefaultToday ? LocalToday() : EmptyDate;
    if (IsEmptyDateText()) return def;
    QDate d;
    // A text that is no date is never read as the last good one: the user no
    // longer sees that date.
    if (TryTextToDate(FTextFormat, Text(), d) && d.isValid()) return d;
    return def;
}

void TCustomDateEdit::SetDate(const QDate& value)
{
    QDate v = value;
    if (!DateValueValid(v)) v = FDefaultToday ? LocalToday() : EmptyDate;
    const QDate old = Date();
    setText(v.isValid() ? FormatDateText(FTextFormat, v) : QString());
    setModified(Date() != old);
}

void TCustomDateEdit::ValidateDateText()
{
    if (IsEmptyDateText()) return;
    FSelfUpdate = true;
    try {
        const QDate d = TextToDateFmt(FTextFormat, Text());
        const bool m = isModified();
        SetDate(d);
        setModified(m || isModified());
    } catch (...) {
        FSelfUpdate = false;
        if (isEnabled() && isVisible()) setFocus(Qt::OtherFocusReason);
        throw;
    }
    FSelfUpdate = false;
}

void TCustomDateEdit::SetDateAndSelect(const QDate& d)
{
    SetDate(d);
    if (FDirectInput) selectAll();
}

void TCustomDateEdit::SetBlanksChar(QChar c)
{
    if (c.unicode() < 32) c = ' ';
    if (c == FBlanksChar) return;
    FBlanksChar = c;
    RefreshDateMask();
}

void TCustomDateEdit::SetYearDigits(TYearDigits y)
{
    if (y == FYearDigits) return;
    FYearDigits = y;
    RefreshDateMask();
}

void TCustomDateEdit::SetStartOfWeek(TDayOfWeekName d)
{
    if (d == FStartOfWeek) return;
    FStartOfWeek = d;
    SetupCalendar();
}

void TCustomDateEdit::SetWeekends(TDaysOfWeek w)
{
    if (w == FWeekends) return;
    FWeekends = w;
    SetupCalendar();
}

void TCustomDateEdit::SetWeekendColor(QColor c)
{
    if (c == FWeekendColor) return;
    FWeekendColor = c;
    SetupCalendar();
}

void TCustomDateEdit::SetCalendarHints(const QStringList& h)
{
    FCalendarHints = h.mid(0, 4);
    SetupCalendar();
}

QColor TCustomDateEdit::PopupColor() const
{
    return FDropDown ? FDropDown->palette().color(QPalette::Button) : FPopupColor;
}

void TCustomDateEdit::SetPopupColor(QColor c)
{
    FPopupColor = c;
    if (FDropDown) {
        QPalette pal = FDropDown->palette();
        pal.setColor(QPalette::Button, c);
        pal.setColor(QPalette::Window, c);
        FDropDown->setPalette(pal);
    }
}

TCalendarStyle TCustomDateEdit::CalendarStyle() const { return FDropDown ? csPopup : csDialog; }

void TCustomDateEdit::SetCalendarStyle(TCalendarStyle s)
{
    if (s == CalendarStyle()) return;
    if (s == csDialog) SetPopup(nullptr);
    else makePopup();
}

void TCustomDateEdit::FeedPopup(const QVariant&)
{
    if (FDropDown) FDropDown->LoadPopupValue(TextToDateFmtOr(FTextFormat, Text(), LocalToday()));
}

bool TCustomDateEdit::ConfirmPopupValue(QVariant& value)
{
    if (!OnAcceptDate) return true;
    QDate d;
    if (!value.isNull() && value.isValid()) {
        d = value.toDate();
        if (!d.isValid()) d = FDefaultToday ? LocalToday() : EmptyDate;
    }
    bool accept = true;
    OnAcceptDate(this, d, accept);
    if (accept) value = QVariant(d);
    return accept;
}

void TCustomDateEdit::TakePopupValue(const QVariant& value)
{
    SetDate(value.toDate());
    FDropShown = FDropDown && FDropDown->isVisible();
}

void TCustomDateEdit::Change()
{
    if (!FSelfUpdate) TCustomComboEdit::Change();
}

void TCustomDateEdit::KeyDown(QKeyEvent* e, bool& handled)
{
    const int k = e->key();
    const Qt::KeyboardModifiers mods = e->modifiers();
    const bool padPlusMinus = keypad(mods) && (k == Qt::Key_Plus || k == Qt::Key_Minus);
    if (PopupVisible()
        && (k == Qt::Key_PageUp || k == Qt::Key_PageDown || k == Qt::Key_Left || k == Qt::Key_Right
            || k == Qt::Key_Up || k == Qt::Key_Down || padPlusMinus)) {
        FDropDown->PopupKeyDown(k, mods);
        handled = true;
        return;
    }
    if (padPlusMinus && noShift(mods) && FDirectInput) {
        if (EditCanModify()) {
            QDate d = Date();
            if (!d.isValid()) d = LocalToday();
            SetDateAndSelect(d.addDays(k == Qt::Key_Plus ? 1 : -1));
        }
        handled = true;
        return;
    }
    TCustomComboEdit::KeyDown(e, handled);
}

void TCustomDateEdit::KeyPress(QChar& key, bool& handled)
{
    const bool plusMinus = key == '+' || key == '-';
    const bool t = key == 'T' || key == 't';
    if (PopupVisible() && (plusMinus || t)) {
        FDropDown->PopupKeyPress(key);
        handled = true;
        return;
    }
    if (FDirectInput && plusMinus) {
        handled = true;
        return;
    }
    if (FDirectInput && t) {
        if (EditCanModify()) SetDateAndSelect(LocalToday());
        handled = true;
        return;
    }
    TCustomComboEdit::KeyPress(key, handled);
}

void TCustomDateEdit::ButtonPressed()
{
    TCustomComboEdit::ButtonPressed();
    if (CalendarStyle() != csDialog) return;
    QDate d = Date();
    const bool ok = SelectDateDialog(d, FDialogCaption, FStartOfWeek, FWeekends, FWeekendColor,
                                     FCalendarHints, this);
    if (isEnabled() && isVisible()) setFocus(Qt::OtherFocusReason);
    if (!ok || !EditCanModify()) return;
    bool accept = true;
    if (OnAcceptDate) OnAcceptDate(this, d, accept);
    if (!accept) return;
    SetDate(d);
    if (hasFocus() && FDirectInput) selectAll();
}

void TCustomDateEdit::focusOutEvent(QFocusEvent* e)
{
    const bool leaving = e->reason() != Qt::ActiveWindowFocusReason && e->reason() != Qt::PopupFocusReason;
    if (FCheckOnExit && leaving && !PopupVisible()) {
        try {
            ValidateDateText();
        } catch (const EControlError& err) {
            TCustomComboEdit::focusOutEvent(e);
            ReportControlError(this, err.message());
            setFocus(Qt::OtherFocusReason);
            QPointer<TCustomDateEdit> self(this);
            QTimer::singleShot(0, this, [self] {
                if (self) self->setFocus(Qt::OtherFocusReason);
            });
            return;
        }
    }
    TCustomComboEdit::focusOutEvent(e);
}

TDateEdit::TDateEdit(QWidget* parent) : TCustomDateEdit(parent) { RefreshDateMask(); }

// --- TSelectDateDlg ---------------------------------------------------------

TSelectDateDlg::TSelectDateDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setObjectName("SelectDateDlg");
    setWindowTitle(QStringLiteral("Выбор даты"));
    const double scale = logicalDpiX() / 96.0;
    setFixedSize(int(222 * scale), int(154 * scale));
    setFont(PopupStatusFont());
    TopPanel = new QFrame(this);
    TopPanel->setObjectName("TopPanel");
    static_cast<QFrame*>(TopPanel)->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    TopPanel->setGeometry(0, 0, width(), 22);
    TopPanel->installEventFilter(this);
    TitleLabel = new QLabel(TopPanel);
    TitleLabel->setObjectName("TitleLabel");
    TitleLabel->setGeometry(35, 4, 152, 14);
    TitleLabel->setAlignment(Qt::AlignCenter);
    QFont bold = font();
    bold.setBold(true);
    TitleLabel->setFont(bold);
    QPalette lp = TitleLabel->palette();
    lp.setColor(QPalette::WindowText, Qt::blue);
    TitleLabel->setPalette(lp);
    TitleLabel->installEventFilter(this);
    auto btn = [&](int x, const char* bmp, const QString& hint, const char* name) {
        auto* b = new TBrSpeedButton(TopPanel);
        b->setObjectName(name);
        b->setGeometry(x, 3, 16, 16);
        b->SetGlyph(BrStandardBitmap(bmp));
        b->setToolTip(shortHint(hint));
        return b;
    };
    PrevYearBtn = btn(3, "PREV2", kPrevYearHint, "PrevYearBtn");
    PrevMonthBtn = btn(18, "PREV1", kPrevMonthHint, "PrevMonthBtn");
    NextMonthBtn = btn(188, "NEXT1", kNextMonthHint, "NextMonthBtn");
    NextYearBtn = btn(203, "NEXT2", kNextYearHint, "NextYearBtn");
    connect(PrevYearBtn, &TBrSpeedButton::clicked, this, &TSelectDateDlg::PrevYearBtnClick);
    connect(PrevMonthBtn, &TBrSpeedButton::clicked, this, &TSelectDateDlg::PrevMonthBtnClick);
    connect(NextMonthBtn, &TBrSpeedButton::clicked, this, &TSelectDateDlg::NextMonthBtnClick);
    connect(NextYearBtn, &TBrSpeedButton::clicked, this, &TSelectDateDlg::NextYearBtnClick);

    auto* client = new QFrame(this);
    client->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    client->setGeometry(0, 22, width(), height() - 22 - 21);
    Calendar = new TBrCalendar(client);
    Calendar->setObjectName("Calendar");
    Calendar->SetUseCurrentDate(false);
    Calendar->setGeometry(1, 1, client->width() - 2, client->height() - 2);
    Calendar->installEventFilter(this);
    connect(Calendar, &TBrCalendar::changed, this, &TSelectDateDlg::CalendarChange);
    connect(Calendar, &TBrCalendar::dblClicked, this, &TSelectDateDlg::CalendarDblClick);

    auto* bottom = new QWidget(this);
    bottom->setGeometry(0, height() - 21, width(), 21);
    auto* ok = new QPushButton(QStringLiteral("OK"), bottom);
    ok->setObjectName("OkBtn");
    ok->setGeometry(0, 0, 112, 21);
    ok->setFocusPolicy(Qt::NoFocus);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), bottom);
    cancel->setObjectName("CancelBtn");
    cancel->setGeometry(111, 0, 111, 21);
    cancel->setFocusPolicy(Qt::NoFocus);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    Calendar->setFocus();
    CalendarChange();
}

void TSelectDateDlg::CalendarChange()
{
    TitleLabel->setText(FormatDateVcl(QStringLiteral("MMMM, YYYY"), Calendar->CalendarDate()));
}

bool TSelectDateDlg::FormKeyDown(int key, Qt::KeyboardModifiers mods)
{
    const bool ctrl = mods & Qt::ControlModifier;
    switch (key) {
    case Qt::Key_Tab:
        if (mods & Qt::ShiftModifier) Calendar->PrevMonth(); else Calendar->NextMonth();
        return true;
    case Qt::Key_Backtab: Calendar->PrevMonth(); return true;
    case Qt::Key_Return:
    case Qt::Key_Enter: accept(); return true;
    case Qt::Key_Escape: reject(); return true;
    case Qt::Key_PageUp:
        if (ctrl) Calendar->PrevYear(); else Calendar->PrevMonth();
        return true;
    case Qt::Key_PageDown:
        if (ctrl) Calendar->NextYear(); else Calendar->NextMonth();
        return true;
    default: return false;
    }
}

bool TSelectDateDlg::eventFilter(QObject* o, QEvent* e)
{
    if (e->type() == QEvent::KeyPress) {
        auto* ke = static_cast<QKeyEvent*>(e);
        if (FormKeyDown(ke->key(), ke->modifiers())) return true;
    } else if (e->type() == QEvent::MouseButtonDblClick && (o == TopPanel || o == TitleLabel)) {
        TopPanelDblClick();
        return true;
    }
    return QDialog::eventFilter(o, e);
}

bool SelectDateDialog(QDate& date, const QString& title, TDayOfWeekName startOfWeek,
                      TDaysOfWeek weekends, QColor weekendColor, const QStringList& hints,
                      QWidget* parent)
{
    TSelectDateDlg dlg(parent);
    if (!title.isEmpty()) dlg.setWindowTitle(title);
    dlg.Calendar->SetCalendarDate(date.isValid() ? date : LocalToday());
    dlg.Calendar->SetStartOfWeek(startOfWeek);
    dlg.Calendar->SetWeekends(weekends);
    dlg.Calendar->SetWeekendColor(weekendColor);
    TBrSpeedButton* btns[4] = {dlg.PrevYearBtn, dlg.PrevMonthBtn, dlg.NextMonthBtn, dlg.NextYearBtn};
    for (int i = 0; i < 4 && i < hints.size(); ++i)
        if (!hints[i].isEmpty()) btns[i]->setToolTip(shortHint(hints[i]));
    dlg.CalendarChange();
    if (dlg.exec() != QDialog::Accepted) return false;
    date = dlg.Calendar->CalendarDate();
    return true;
}
