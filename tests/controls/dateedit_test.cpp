#include "ControlsTestUtil.h"
#include "controls/DateEdit.h"

#include <QLineEdit>
#include <QVBoxLayout>
#include <gtest/gtest.h>

namespace {
struct Form {
    QWidget w;
    TDateEdit* edit;
    QLineEdit* other;
    QStringList errors;
    Form()
    {
        auto* l = new QVBoxLayout(&w);
        edit = new TDateEdit(&w);
        edit->SetYearDigits(dyFour);
        other = new QLineEdit(&w);
        l->addWidget(edit);
        l->addWidget(other);
        w.show();
        w.activateWindow();
        edit->setFocus();
        QApplication::processEvents();
        SetControlErrorHandler([this](QWidget*, const QString& m) { errors << m; });
    }
    ~Form() { SetControlErrorHandler({}); }
};
}

TEST(DateEdit, EmptyReadsAsNoDate)
{
    FixedClock clock(QDate(2026, 6, 10));
    TDateEdit e;
    EXPECT_FALSE(e.Date().isValid());
    e.SetDefaultToday(true);
    EXPECT_EQ(e.Date(), QDate(2026, 6, 10));
    e.SetDefaultToday(false);
    e.SetDate(QDate(2024, 3, 5));
    EXPECT_EQ(e.Text(), "05.03.2024");
    EXPECT_EQ(e.Date(), QDate(2024, 3, 5));
    e.SetDate(QDate());
    EXPECT_FALSE(e.Date().isValid());
    e.SetDate(QDate(2024, 2, 30));   // no date: as empty
    EXPECT_FALSE(e.Date().isValid());
}

TEST(DateEdit, TKeySetsTodayAndKeypadPlusTomorrow)
{
    FixedClock clock(QDate(2026, 6, 10));
    Form f;
    sendKey(f.edit, Qt::Key_T, Qt::NoModifier, "t");
    EXPECT_EQ(f.edit->Date(), QDate(2026, 6, 10));
    f.edit->SetDate(QDate());
    sendKey(f.edit, Qt::Key_Plus, Qt::KeypadModifier, "+");
    EXPECT_EQ(f.edit->Date(), QDate(2026, 6, 11));
    sendKey(f.edit, Qt::Key_Minus, Qt::KeypadModifier, "-");
    sendKey(f.edit, Qt::Key_Minus, Qt::KeypadModifier, "-");
    EXPECT_EQ(f.edit->Date(), QDate(2026, 6, 9));
    // the main keyboard's plus is swallowed
    sendKey(f.edit, Qt::Key_Plus, Qt::NoModifier, "+");
    EXPECT_EQ(f.edit->Date(), QDate(2026, 6, 9));
}

TEST(DateEdit, ReadOnlyBlocksTodayAndSteps)
{
    FixedClock clock(QDate(2026, 6, 10));
    Form f;
    f.edit->SetDate(QDate(2025, 1, 1));
    f.edit->SetReadOnly(true);
    sendKey(f.edit, Qt::Key_T, Qt::NoModifier, "t");
    sendKey(f.edit, Qt::Key_Plus, Qt::KeypadModifier, "+");
    typeText(f.edit, "3");
    EXPECT_EQ(f.edit->Date(), QDate(2025, 1, 1));
}

TEST(DateEdit, TypedDateIsRead)
{
    FixedClock clock(QDate(2026, 6, 10));
    Form f;
    f.edit->selectAll();
    typeText(f.edit, "12052024");
    EXPECT_EQ(f.edit->Text(), "12.05.2024");
    EXPECT_EQ(f.edit->Date(), QDate(2024, 5, 12));
    f.edit->SetDate(QDate());
    f.edit->setCursorPosition(0);
    typeText(f.edit, "1205");
    EXPECT_EQ(f.edit->Date(), QDate(2026, 5, 12));   // blank year: this year
}

TEST(DateEdit, BadDateOnExitKeepsFocusAndValue)
{
    FixedClock clock(QDate(2026, 6, 10));
    Form f;
    f.edit->SetCheckOnExit(true);
    f.edit->SetDate(QDate(2024, 5, 12));
    f.edit->setText("31.02.2024");
    f.other->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    ASSERT_EQ(f.errors.size(), 1);
    EXPECT_EQ(f.errors[0], "'31.02.2024' is not a valid date");
    EXPECT_TRUE(f.edit->hasFocus());
    EXPECT_EQ(f.edit->Date(), QDate());   // never the date it no longer shows
    EXPECT_EQ(f.edit->Text(), "31.02.2024");
    f.edit->SetDefaultToday(true);
    EXPECT_EQ(f.edit->Date(), QDate(2026, 6, 10));
    f.edit->SetDefaultToday(false);
    // a good date passes and is formatted
    f.edit->setText("1.3.2024");
    f.other->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    EXPECT_EQ(f.errors.size(), 1);
    EXPECT_EQ(f.edit->Date(), QDate(2024, 3, 1));
}

TEST(DateEdit, DropDownFromAnEmptyEditShowsTodaysMonth)
{
    FixedClock clock(QDate(2026, 6, 10));
    Form f;
    sendKey(f.edit, Qt::Key_Down, Qt::AltModifier);
    auto* cal = f.edit->findChild<TPopupCalendar*>();
    ASSERT_TRUE(cal);
    EXPECT_EQ(cal->FMonthGrid->CalendarDate(), QDate(2026, 6, 10));
    EXPECT_EQ(cal->FCaptionLabel->text(), "Июнь, 2026");
    EXPECT_EQ(cal->size(), QSize(187, 124));
    // keys go to the calendar while it is open
    sendKey(f.edit, Qt::Key_PageDown);
    EXPECT_EQ(cal->FMonthGrid->CalendarDate(), QDate(2026, 7, 10));
    sendKey(f.edit, Qt::Key_Right);
    sendKey(f.edit, Qt::Key_Plus, Qt::KeypadModifier, "+");
    EXPECT_EQ(cal->FMonthGrid->CalendarDate(), QDate(2026, 7, 12));
    sendKey(f.edit, Qt::Key_Return, Qt::NoModifier, "\r");
    EXPECT_EQ(f.edit->Date(), QDate(2026, 7, 12));
}

TEST(DateEdit, OnAcceptDateMayRefuse)
{
    FixedClock clock(QDate(2026, 6, 10));
    Form f;
    f.edit->OnAcceptDate = [](TCustomDateEdit*, QDate&, bool& accept) { accept = false; };
    sendKey(f.edit, Qt::Key_Down, Qt::AltModifier);
    sendKey(f.edit, Qt::Key_Return, Qt::NoModifier, "\r");
    EXPECT_FALSE(f.edit->Date().isValid());
}

TEST(Calendar, MonthAndYearSteps)
{
    TBrCalendar c;
    c.SetCalendarDate(QDate(2024, 1, 31));
    c.NextMonth();
    EXPECT_EQ(c.CalendarDate(), QDate(2024, 2, 29));
    c.SetCalendarDate(QDate(2023, 1, 31));
    c.NextMonth();
    EXPECT_EQ(c.CalendarDate(), QDate(2023, 2, 28));
    c.SetCalendarDate(QDate(2024, 2, 29));
    c.NextYear();
    EXPECT_EQ(c.CalendarDate(), QDate(2025, 2, 28));
    c.SetCalendarDate(QDate(2024, 3, 31));
    c.PrevMonth();
    EXPECT_EQ(c.CalendarDate(), QDate(2024, 2, 29));
}

TEST(Calendar, LayoutWithMondayFirst)
{
    TBrCalendar c;
    c.SetStartOfWeek(Mon);
    c.SetWeekends(DaySet({Sun, Sat}));
    c.SetCalendarDate(QDate(2024, 9, 1));   // a Sunday
    EXPECT_EQ(c.CellText(0, 0), "Пн");
    EXPECT_EQ(c.CellText(6, 0), "Вс");
    EXPECT_EQ(c.CellText(6, 1), "1");
    EXPECT_EQ(c.CellText(0, 1), "");
    EXPECT_EQ(c.CellText(0, 2), "2");
    EXPECT_EQ(c.FirstCellShift(), -5);
    EXPECT_EQ(c.CurrentCol(), 6);
    EXPECT_EQ(c.CurrentRow(), 1);
    EXPECT_TRUE(c.IsWeekendColumn(5));
    EXPECT_TRUE(c.IsWeekendColumn(6));
    EXPECT_FALSE(c.IsWeekendColumn(4));
    c.SetCalendarDate(QDate(2024, 7, 1));   // a Monday
    EXPECT_EQ(c.FirstCellShift(), 1);
    EXPECT_EQ(c.CellText(0, 1), "1");
}

TEST(Calendar, KeysAndReadOnly)
{
    FixedClock clock(QDate(2026, 6, 10));
    TBrCalendar c;
    c.SetCalendarDate(QDate(2024, 3, 1));
    c.HandleKeyDown(Qt::Key_Left, Qt::NoModifier);
    EXPECT_EQ(c.CalendarDate(), QDate(2024, 2, 29));
    c.HandleKeyDown(Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_EQ(c.CalendarDate(), QDate(2024, 3, 1));
    c.HandleKeyDown(Qt::Key_Down, Qt::NoModifier);
    EXPECT_EQ(c.CalendarDate(), QDate(2024, 3, 8));
    c.HandleKeyPress('t');
    EXPECT_EQ(c.CalendarDate(), QDate(2026, 6, 10));
    c.SetDay(40);
    EXPECT_EQ(c.Day(), 10);
    c.SetMonth(2);
    c.SetDay(31);
    EXPECT_EQ(c.CalendarDate(), QDate(2026, 2, 10));
}

TEST(SelectDateDialog, KeysStepMonths)
{
    FixedClock clock(QDate(2026, 6, 10));
    TSelectDateDlg dlg;
    dlg.Calendar->SetCalendarDate(QDate(2026, 1, 31));
    EXPECT_TRUE(dlg.FormKeyDown(Qt::Key_Tab, Qt::NoModifier));
    EXPECT_EQ(dlg.Calendar->CalendarDate(), QDate(2026, 2, 28));
    dlg.FormKeyDown(Qt::Key_PageUp, Qt::ControlModifier);
    EXPECT_EQ(dlg.Calendar->CalendarDate(), QDate(2025, 2, 28));
    EXPECT_EQ(dlg.TitleLabel->text(), "Февраль, 2025");
    EXPECT_EQ(dlg.size(), QSize(222, 154));
    EXPECT_EQ(dlg.windowTitle(), "Выбор даты");
}
// A click leaves the caret beyond the masked text; typing must still work there.
TEST(DateEdit, ClickedIntoThenTyped)
{
    Form f;
    const QPoint right(f.edit->width() - 30, f.edit->height() / 2);
    f.other->setFocus();
    QTest::mouseClick(f.edit, Qt::LeftButton, {}, right);
    typeText(f.edit, "12052024");
    EXPECT_EQ(f.edit->Date(), QDate(2024, 5, 12));
    f.other->setFocus();
    QTest::mouseClick(f.edit, Qt::LeftButton, {}, right);
    typeText(f.edit, "01022025");
    EXPECT_EQ(f.edit->Date(), QDate(2025, 2, 1));
}
