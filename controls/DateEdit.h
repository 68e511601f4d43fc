#pragma once

#include "ComboEdit.h"
#include "DateUtil.h"
#include "FormatSettings.h"

#include <QDate>
#include <QDialog>
#include <QLabel>
#include <QStringList>
#include <functional>

enum TDayOfWeekName { Sun = 0, Mon, Tue, Wed, Thu, Fri, Sat };
// A set of days of the week: bit (1 << day).
using TDaysOfWeek = quint8;
constexpr TDaysOfWeek DaySet(std::initializer_list<TDayOfWeekName> days)
{
    TDaysOfWeek s = 0;
    for (auto d : days) s |= TDaysOfWeek(1u << d);
    return s;
}

enum TYearDigits { dyDefault, dyFour, dyTwo };
enum TCalendarStyle { csPopup, csDialog };

// A month as a 7 x 7 grid: the day names in the fixed row, the weeks below.
class TBrCalendar : public QWidget {
    Q_OBJECT
public:
    explicit TBrCalendar(QWidget* parent = nullptr);

    QDate CalendarDate() const { return date_; }
    void SetCalendarDate(const QDate& d);
    int Day() const { return date_.day(); }
    int Month() const { return date_.month(); }
    int Year() const { return date_.year(); }
    void SetDay(int v);
    void SetMonth(int v);
    void SetYear(int v);
    bool ReadOnly = false;
    TDayOfWeekName StartOfWeek() const { return startOfWeek_; }
    void SetStartOfWeek(TDayOfWeekName d);
    bool UseCurrentDate() const { return useCurrentDate_; }
    void SetUseCurrentDate(bool v);
    QColor WeekendColor() const { return weekendColor_; }
    void SetWeekendColor(QColor c) { weekendColor_ = c; update(); }
    TDaysOfWeek Weekends() const { return weekends_; }
    void SetWeekends(TDaysOfWeek w);

    void PrevMonth();
    void NextMonth();
    void PrevYear();
    void NextYear();

    QString CellText(int col, int row) const;
    int DayOfCell(int col, int row) const;     // 0 for an empty cell or the fixed row
    int CurrentCol() const { return col_; }
    int CurrentRow() const { return row_; }
    QRect CellRect(int col, int row) const;
    QPoint CellAt(const QPoint& p) const;      // (-1, -1) outside
    bool IsWeekendColumn(int col) const;
    int ColWidth() const;
    int RowHeight() const;
    int FirstCellShift() const { return FFirstCellShift; }

    // Key handling of the grid, also used by the drop-down that forwards keys to it.
    void HandleKeyDown(int key, Qt::KeyboardModifiers mods);
    void HandleKeyPress(QChar ch);

signals:
    void changed();
    void dblClicked();
    void cellReleased(int col, int row, Qt::KeyboardModifiers mods);

protected:
    virtual void RefreshMonth() { LayoutMonth(); }
    void LayoutMonth();
    virtual void drawCellFrame(QPainter& p, const QRect& r, int day) { Q_UNUSED(p); Q_UNUSED(r); Q_UNUSED(day); }
    void changeDate(const QDate& d);
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

    bool showVertLines_ = true;
    bool showHorzLines_ = true;
    QColor cellColor_ = Qt::white;
    int FFirstCellShift = 0;
    bool FLayingOut = false;

private:
    bool selectCell(int col, int row);
    QDate date_;
    TDayOfWeekName startOfWeek_ = Mon;
    bool useCurrentDate_ = true;
    QColor weekendColor_ = Qt::red;
    TDaysOfWeek weekends_ = DaySet({Sun});
    int col_ = 0, row_ = 1;
};

// The grid inside the drop-down: no focus of its own, today framed.
class TLocCalendar : public TBrCalendar {
    Q_OBJECT
public:
    explicit TLocCalendar(QWidget* parent = nullptr);
protected:
    void drawCellFrame(QPainter& p, const QRect& r, int day) override;
};

class TPopupCalendar : public TPopupWindow {
    Q_OBJECT
public:
    explicit TPopupCalendar(TCustomComboEdit* editor);
    QVariant PopupValue() override;
    void LoadPopupValue(const QVariant& value) override;
    void PopupKeyDown(int key, Qt::KeyboardModifiers mods) override;
    void PopupKeyPress(QChar key) override;

    TLocCalendar* FMonthGrid;
    QLabel* FCaptionLabel;
    TBrTimerSpeedButton* FPrevYearBtn;
    TBrTimerSpeedButton* FPrevMonthBtn;
    TBrTimerSpeedButton* FNextMonthBtn;
    TBrTimerSpeedButton* FNextYearBtn;

protected:
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    void refreshTitle();
};

class TCustomDateEdit : public TCustomComboEdit {
    Q_OBJECT
public:
    explicit TCustomDateEdit(QWidget* parent = nullptr);

    virtual QDate Date() const;
    virtual void SetDate(const QDate& d);
    QString Text() const { return displayText(); }
    void SetText(const QString& t) { setText(t); }

    QChar BlanksChar() const { return FBlanksChar; }
    void SetBlanksChar(QChar c);
    QString DialogTitle() const { return FDialogCaption; }
    void SetDialogTitle(const QString& t) { FDialogCaption = t; }
    QColor PopupColor() const;
    void SetPopupColor(QColor c);
    TDayOfWeekName StartOfWeek() const { return FStartOfWeek; }
    void SetStartOfWeek(TDayOfWeekName d);
    TDaysOfWeek Weekends() const { return FWeekends; }
    void SetWeekends(TDaysOfWeek w);
    QColor WeekendColor() const { return FWeekendColor; }
    void SetWeekendColor(QColor c);
    TYearDigits YearDigits() const { return FYearDigits; }
    void SetYearDigits(TYearDigits y);
    QStringList CalendarHints() const { return FCalendarHints; }
    void SetCalendarHints(const QStringList& h);
    bool DefaultToday() const { return FDefaultToday; }
    void SetDefaultToday(bool v) { FDefaultToday = v; }
    bool CheckOnExit() const { return FCheckOnExit; }
    void SetCheckOnExit(bool v) { FCheckOnExit = v; }
    TCalendarStyle CalendarStyle() const;
    void SetCalendarStyle(TCalendarStyle s);
    QString TextFormat() const { return FTextFormat; }

    // The check on exit: raises EConvertError for a text that is no date (the value stays).
    void ValidateDateText();
    void CommitText() override { ValidateDateText(); }
    bool UsesFourDigits() const;
    bool IsEmptyDateText() const;
    virtual void SetDateAndSelect(const QDate& d);
    virtual void RefreshDateMask();

    std::function<void(TCustomDateEdit*, QDate&, bool&)> OnAcceptDate;

protected:
    QPixmap StandardGlyph() const override;
    bool ConfirmPopupValue(QVariant& value) override;
    void TakePopupValue(const QVariant& value) override;
    void FeedPopup(const QVariant& value) override;
    void Change() override;
    void KeyDown(QKeyEvent* e, bool& handled) override;
    void KeyPress(QChar& key, bool& handled) override;
    void ButtonPressed() override;
    void focusOutEvent(QFocusEvent* e) override;
    void RebuildTextFormat();
    void SetupCalendar();
    void makePopup();

    QChar FBlanksChar = ' ';
    QString FDialogCaption = QStringLiteral("Выбор даты");
    QColor FPopupColor;
    TDayOfWeekName FStartOfWeek = Mon;
    TDaysOfWeek FWeekends = DaySet({Sun});
    QColor FWeekendColor = Qt::red;
    TYearDigits FYearDigits = dyDefault;
    QStringList FCalendarHints;
    QString FTextFormat;
    bool FDefaultToday = false;
    bool FCheckOnExit = false;
    bool FSelfUpdate = false;
};

class TDateEdit : public TCustomDateEdit {
    Q_OBJECT
public:
    explicit TDateEdit(QWidget* parent = nullptr);
};

class TSelectDateDlg : public QDialog {
    Q_OBJECT
public:
    explicit TSelectDateDlg(QWidget* parent = nullptr);
    TBrCalendar* Calendar;
    QLabel* TitleLabel;
    TBrSpeedButton* PrevYearBtn;
    TBrSpeedButton* PrevMonthBtn;
    TBrSpeedButton* NextMonthBtn;
    TBrSpeedButton* NextYearBtn;
    QWidget* TopPanel;

    void PrevYearBtnClick() { Calendar->PrevYear(); }
    void NextYearBtnClick() { Calendar->NextYear(); }
    void PrevMonthBtnClick() { Calendar->PrevMonth(); }
    void NextMonthBtnClick() { Calendar->NextMonth(); }
    void CalendarChange();
    void CalendarDblClick() { accept(); }
    void TopPanelDblClick() { Calendar->SetCalendarDate(LocalToday()); }
    bool FormKeyDown(int key, Qt::KeyboardModifiers mods);

protected:
    bool eventFilter(QObject* o, QEvent* e) override;
};

bool SelectDateDialog(QDate& date, const QString& title, TDayOfWeekName startOfWeek,
                      TDaysOfWeek weekends, QColor weekendColor, const QStringList& hints,
                      QWidget* parent = nullptr);

// The status font of the drop-downs and the date dialog.
QFont PopupStatusFont();
