#include "ControlsTestUtil.h"
#include "controls/CalcEdit.h"
#include "controls/DateEdit.h"
#include "controls/DrawGrid.h"

#include <QFormLayout>
#include <QPainter>
#include <gtest/gtest.h>

// Pictures of the open controls, for a look by eye: /tmp/controls-*.png.
namespace {
QImage composite(QWidget& form, QWidget* popup)
{
    QTest::qWait(50);   // pressed keys of the calculator come up again
    const QRect fr(form.mapToGlobal(QPoint(0, 0)), form.size());
    const QRect pr(popup->mapToGlobal(QPoint(0, 0)), popup->size());
    const QRect all = fr.united(pr).adjusted(-8, -8, 8, 8);
    QImage img(all.size(), QImage::Format_RGB32);
    img.fill(QColor(236, 236, 236));
    QPainter p(&img);
    p.drawPixmap(fr.topLeft() - all.topLeft(), form.grab());
    p.drawPixmap(pr.topLeft() - all.topLeft(), popup->grab());
    return img;
}
}

TEST(Screenshots, DateEditCalendar)
{
    FixedClock clock(QDate(2026, 6, 10));
    QWidget form;
    auto* l = new QFormLayout(&form);
    auto* de = new TDateEdit(&form);
    de->SetYearDigits(dyFour);
    de->SetWeekends(DaySet({Sun, Sat}));
    de->SetDate(QDate(2026, 6, 17));
    l->addRow("Дата сделки:", de);
    form.resize(260, 60);
    form.move(100, 100);
    form.show();
    form.activateWindow();
    QApplication::processEvents();
    de->setFocus();
    QApplication::processEvents();
    sendKey(de, Qt::Key_Down, Qt::AltModifier);
    QApplication::processEvents();
    auto* cal = de->findChild<TPopupCalendar*>();
    ASSERT_TRUE(cal && cal->isVisible());
    EXPECT_TRUE(composite(form, cal).save("/tmp/controls-calendar.png"));
}

TEST(Screenshots, SelectDateDialog)
{
    FixedClock clock(QDate(2026, 6, 10));
    TSelectDateDlg dlg;
    dlg.Calendar->SetWeekends(DaySet({Sun, Sat}));
    dlg.Calendar->SetCalendarDate(QDate(2026, 6, 10));
    dlg.show();
    QApplication::processEvents();
    EXPECT_TRUE(dlg.grab().save("/tmp/controls-datedialog.png"));
}

TEST(Screenshots, CalcEditCalculator)
{
    QWidget form;
    auto* l = new QFormLayout(&form);
    auto* ce = new TBrCalcEdit(&form);
    ce->SetValue(*fw::Currency::parse("1234.5"));
    auto* cur = new TCurrencyEdit(&form);
    cur->SetValue(*fw::Currency::parse("98765.4"));
    l->addRow("Оплачено:", cur);
    l->addRow("Сумма:", ce);
    form.resize(260, 90);
    form.move(100, 100);
    form.show();
    form.activateWindow();
    QApplication::processEvents();
    ce->setFocus();
    QApplication::processEvents();
    sendKey(ce, Qt::Key_Down, Qt::AltModifier);
    typeText(ce, "+");
    typeText(ce, "15,5");
    QApplication::processEvents();
    auto* calc = ce->Calculator();
    ASSERT_TRUE(calc && calc->isVisible());
    EXPECT_TRUE(composite(form, calc).save("/tmp/controls-calculator.png"));
}

TEST(Screenshots, DrawGridPickList)
{
    QWidget form;
    auto* grid = new TBrDrawGrid(&form);
    grid->setGeometry(8, 8, 360, 170);
    grid->SetColCount(3);
    grid->SetRowCount(7);
    grid->SetColWidth(0, 24);
    grid->SetColWidth(1, 150);
    grid->SetColWidth(2, 160);
    grid->SetOptions(grid->Options() | goEditing);
    const QStringList names = {"", "Название", "Город", "Телефон", "Факс", "E-mail", "Адрес"};
    const QStringList fields = {"", "NAME", "CITY", "PHONE", "", "EMAIL", ""};
    grid->OnDrawCell = [grid, names, fields](int c, int r, const QRect& rect, TGridDrawState) {
        QString t;
        if (r == 0) t = c == 1 ? "Колонка файла" : c == 2 ? "Поле системы" : "";
        else if (c == 0) t = QString::number(r);
        else if (c == 1) t = names[r];
        else t = fields[r];
        grid->DrawCellStr(rect, t, Qt::AlignLeft);
    };
    grid->OnGetEditText = [fields](int c, int r, QString& t) { if (c == 2) t = fields[r]; };
    grid->OnGetEditStyle = [](TBrDrawGrid*, int c, int, TInplaceEditStyle& s) { if (c == 2) s = iePickList; };
    grid->OnGetPicklist = [](TBrDrawGrid*, int, int, QStringList& l) {
        l = {"NAME", "CITY", "PHONE", "FAX", "EMAIL", "ADDRESS", "REGION", "COUNTRY", "ZIP", "WWW"};
    };
    form.resize(376, 186);
    form.move(100, 100);
    form.show();
    form.activateWindow();
    QApplication::processEvents();
    grid->setFocus();
    grid->MoveTo(2, 3);
    grid->ShowEditor();
    auto* ed = static_cast<TBrInplaceEdit*>(grid->InplaceEditor());
    ed->DropDown();
    QApplication::processEvents();
    ASSERT_TRUE(ed->PickList()->isVisible());
    EXPECT_TRUE(composite(form, ed->PickList()).save("/tmp/controls-picklist.png"));
    ed->CloseUp(false);
}
