#include "ControlsTestUtil.h"
#include "controls/ComboEdit.h"
#include "controls/DateEdit.h"

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <gtest/gtest.h>

TEST(PopupPlacement, BelowAndRightAligned)
{
    const QRect screen(0, 0, 1024, 768);
    EXPECT_EQ(PopupPlacement(QRect(300, 100, 120, 21), QSize(187, 124), screen, epaRight), QPoint(233, 121));
    EXPECT_EQ(PopupPlacement(QRect(300, 100, 120, 21), QSize(187, 124), screen, epaLeft), QPoint(300, 121));
}

TEST(PopupPlacement, AboveNearTheBottomAndShiftedToFit)
{
    const QRect screen(0, 0, 1024, 768);
    EXPECT_EQ(PopupPlacement(QRect(300, 700, 120, 21), QSize(187, 124), screen, epaRight), QPoint(233, 576));
    EXPECT_EQ(PopupPlacement(QRect(950, 100, 60, 21), QSize(187, 124), screen, epaLeft), QPoint(823, 121));
    EXPECT_EQ(PopupPlacement(QRect(10, 100, 60, 21), QSize(187, 124), screen, epaRight), QPoint(10, 121));
    // a second screen to the right
    const QRect second(1024, 0, 800, 600);
    EXPECT_EQ(PopupPlacement(QRect(1030, 590, 60, 21), QSize(187, 124), second, epaRight), QPoint(1030, 466));
}

struct DialogWithDate {
    QDialog dlg;
    TDateEdit* edit;
    QPushButton* ok;
    int okClicks = 0;
    DialogWithDate()
    {
        auto* l = new QVBoxLayout(&dlg);
        edit = new TDateEdit(&dlg);
        ok = new QPushButton("OK", &dlg);
        ok->setDefault(true);
        l->addWidget(edit);
        l->addWidget(ok);
        QObject::connect(ok, &QPushButton::clicked, [this] { ++okClicks; });
        dlg.show();
        dlg.activateWindow();
        edit->setFocus();
        QApplication::processEvents();
    }
};

TEST(ComboEdit, AltDownOpensTheDropDown)
{
    DialogWithDate d;
    sendKey(d.edit, Qt::Key_Down, Qt::AltModifier);
    EXPECT_TRUE(d.edit->PopupVisible());
    sendKey(d.edit, Qt::Key_Escape, Qt::NoModifier, QString(QChar(27)));
    EXPECT_FALSE(d.edit->PopupVisible());
    d.edit->SetButtonWidth(0);
    sendKey(d.edit, Qt::Key_Down, Qt::AltModifier);
    EXPECT_FALSE(d.edit->PopupVisible());
}

TEST(ComboEdit, EnterPressesTheDefaultButtonOnlyWhenClosed)
{
    DialogWithDate d;
    sendKey(d.edit, Qt::Key_Return, Qt::NoModifier, "\r");
    EXPECT_EQ(d.okClicks, 1);
    sendKey(d.edit, Qt::Key_Down, Qt::AltModifier);
    ASSERT_TRUE(d.edit->PopupVisible());
    sendKey(d.edit, Qt::Key_Return, Qt::NoModifier, "\r");
    EXPECT_FALSE(d.edit->PopupVisible());
    EXPECT_EQ(d.okClicks, 1);
}

TEST(ComboEdit, EscClosesAnOpenDropDownWithoutTheDialog)
{
    DialogWithDate d;
    bool rejected = false;
    QObject::connect(&d.dlg, &QDialog::rejected, [&] { rejected = true; });
    sendKey(d.edit, Qt::Key_Down, Qt::AltModifier);
    sendKey(d.edit, Qt::Key_Escape, Qt::NoModifier, QString(QChar(27)));
    EXPECT_FALSE(d.edit->PopupVisible());
    EXPECT_FALSE(rejected);
    sendKey(d.edit, Qt::Key_Escape, Qt::NoModifier, QString(QChar(27)));
    EXPECT_TRUE(rejected);
}

TEST(ComboEdit, ButtonClickWhileOpenClosesWithAccept)
{
    FixedClock clock(QDate(2026, 6, 10));
    DialogWithDate d;
    QTest::mouseClick(d.edit->Button(), Qt::LeftButton, {}, QPoint(5, 5));
    ASSERT_TRUE(d.edit->PopupVisible());
    QTest::mouseClick(d.edit->Button(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(d.edit->PopupVisible());
    EXPECT_EQ(d.edit->Date(), QDate(2026, 6, 10));
}

TEST(ComboEdit, ReadOnlyBlocksTheDropDownAndNoDirectInputBlocksTyping)
{
    DialogWithDate d;
    d.edit->SetReadOnly(true);
    sendKey(d.edit, Qt::Key_Down, Qt::AltModifier);
    EXPECT_FALSE(d.edit->PopupVisible());
    d.edit->SetReadOnly(false);
    d.edit->SetDirectInput(false);
    typeText(d.edit, "12");
    EXPECT_EQ(d.edit->Date(), QDate());
    sendKey(d.edit, Qt::Key_Down, Qt::AltModifier);
    EXPECT_TRUE(d.edit->PopupVisible());
    sendKey(d.edit, Qt::Key_Return, Qt::NoModifier, "\r");
    EXPECT_TRUE(d.edit->Date().isValid());
}

TEST(ComboEdit, ClickElsewhereCancelsTheDropDown)
{
    DialogWithDate d;
    const QString before = d.edit->Text();
    sendKey(d.edit, Qt::Key_Down, Qt::AltModifier);
    ASSERT_TRUE(d.edit->PopupVisible());
    QTest::mouseClick(d.ok, Qt::LeftButton);
    EXPECT_FALSE(d.edit->PopupVisible());
    EXPECT_EQ(d.edit->Text(), before);
}

// Only a pick accepts: clicks on the calendar's title and between the calculator's
// keys leave the drop-down open with the edit unchanged.
TEST(ComboEdit, OnlyARealPickClosesTheDropDown)
{
    FixedClock clock(QDate(2026, 6, 10));
    DialogWithDate d;
    d.edit->SetDate(QDate(2026, 2, 3));
    sendKey(d.edit, Qt::Key_Down, Qt::AltModifier);
    auto* popup = qobject_cast<TPopupCalendar*>(d.edit->DropDown());
    ASSERT_TRUE(popup && d.edit->PopupVisible());
    QLabel* title = popup->FCaptionLabel;
    QTest::mouseClick(title, Qt::LeftButton, {}, title->rect().center());
    EXPECT_TRUE(d.edit->PopupVisible());
    QTest::mouseClick(popup, Qt::LeftButton, {}, QPoint(1, popup->height() - 1));   // the frame
    EXPECT_TRUE(d.edit->PopupVisible());
    EXPECT_EQ(d.edit->Date(), QDate(2026, 2, 3));

    // The title's double click goes to today; a day cell then picks.
    QTest::mouseDClick(title, Qt::LeftButton, {}, title->rect().center());
    EXPECT_TRUE(d.edit->PopupVisible());
    EXPECT_EQ(popup->FMonthGrid->CalendarDate(), QDate(2026, 6, 10));
    TLocCalendar* grid = popup->FMonthGrid;
    QPoint dayCell;
    for (int c = 0; c < 7 && dayCell.isNull(); ++c)
        for (int r = 1; r < 7 && dayCell.isNull(); ++r)
            if (grid->DayOfCell(c, r) == 15) dayCell = grid->CellRect(c, r).center();
    QTest::mouseClick(grid, Qt::LeftButton, {}, dayCell);
    EXPECT_FALSE(d.edit->PopupVisible());
    EXPECT_EQ(d.edit->Date(), QDate(2026, 6, 15));
}
