#include "ControlsTestUtil.h"
#include "controls/DrawGrid.h"
#include "controls/VclUtils.h"

#include <QLineEdit>
#include <QPainter>
#include <QVBoxLayout>
#include <gtest/gtest.h>
#include <random>

namespace {
struct GridForm {
    QWidget w;
    TBrDrawGrid* grid;
    QStringList lines;
    QMap<QPair<int, int>, QString> cells;
    int cancels = 0;
    GridForm()
    {
        grid = new TBrDrawGrid(&w);
        grid->setObjectName("dgFields");
        grid->setGeometry(0, 0, 300, 200);
        grid->SetColCount(3);
        grid->SetRowCount(4);
        grid->SetOptions(grid->Options() | goEditing);
        grid->OnGetEditStyle = [](TBrDrawGrid*, int c, int, TInplaceEditStyle& s) { if (c == 2) s = iePickList; };
        grid->OnGetPicklist = [this](TBrDrawGrid*, int, int, QStringList& l) { l = lines; };
        grid->OnGetEditText = [this](int c, int r, QString& t) { t = cells.value({c, r}); };
        grid->OnSetEditText = [this](int c, int r, const QString& t) { cells[{c, r}] = t; };
        grid->OnCancelEdit = [this](TBrDrawGrid*) { ++cancels; };
        w.resize(320, 220);
        w.show();
        grid->setFocus();
        QApplication::processEvents();
    }
    TBrInplaceEdit* editor() { return static_cast<TBrInplaceEdit*>(grid->InplaceEditor()); }
    void editPickCell()
    {
        grid->MoveTo(2, 1);
        grid->ShowEditor();
    }
};
}

TEST(DrawGrid, EmptyPickListIsFourPixelsHigh)
{
    GridForm f;
    f.editPickCell();
    ASSERT_TRUE(f.editor());
    f.editor()->setText("x");
    sendKey(f.editor(), Qt::Key_Down, Qt::AltModifier);
    ASSERT_TRUE(f.editor()->ListVisible());
    EXPECT_EQ(f.editor()->PickList()->height(), 4);
    sendKey(f.editor(), Qt::Key_Return);
    EXPECT_FALSE(f.editor()->ListVisible());
    EXPECT_EQ(f.editor()->text(), "");
}

TEST(DrawGrid, NineLinesShowEightWithAScrollBar)
{
    GridForm f;
    for (int i = 1; i <= 9; ++i) f.lines << QString("Строка %1").arg(i);
    f.editPickCell();
    f.editor()->DropDown();
    TPopupListbox* l = f.editor()->PickList();
    const int ih = std::max(l->ItemHeight, QFontMetrics(f.editor()->font()).height());
    EXPECT_EQ(l->height(), 8 * ih + 4);
    EXPECT_EQ(l->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_GT(l->width(), f.editor()->width());
    f.editor()->CloseUp(false);
}

TEST(DrawGrid, PickListSelectsTheEditorsTextAndAccepts)
{
    GridForm f;
    f.lines = {"Москва", "Минск", "Киев"};
    f.cells[{2, 1}] = "Минск";
    f.editPickCell();
    f.editor()->DropDown();
    EXPECT_EQ(f.editor()->PickList()->currentRow(), 1);
    sendKey(f.editor(), Qt::Key_Down);
    sendKey(f.editor(), Qt::Key_Return);
    EXPECT_EQ(f.editor()->text(), "Киев");
}

TEST(DrawGrid, TypeAheadInTheList)
{
    GridForm f;
    qint64 now = 100000;
    fw::TypeAhead::clock = [&] { return now; };
    f.lines = {"Абакан", "Москва", "Минск", "Мурманск"};
    f.editPickCell();
    f.editor()->DropDown();
    TPopupListbox* l = f.editor()->PickList();
    typeText(f.editor(), QString::fromUtf8("М"));
    EXPECT_EQ(l->currentRow(), 1);
    now += 1000;
    typeText(f.editor(), QString::fromUtf8("и"));
    EXPECT_EQ(l->currentRow(), 2);
    now += 4001;
    typeText(f.editor(), QString::fromUtf8("А"));
    EXPECT_EQ(l->SearchText(), QString::fromUtf8("А"));
    EXPECT_EQ(l->currentRow(), 0);
    for (int i = 0; i < 40; ++i) typeText(f.editor(), "x");
    EXPECT_EQ(l->SearchText().size(), 32);
    fw::TypeAhead::clock = {};
    f.editor()->CloseUp(false);
}

TEST(DrawGrid, PickListNearTheBottomOpensAbove)
{
    const QRect screen(0, 0, 800, 600);
    EXPECT_EQ(PickListPlacement(QRect(100, 100, 80, 18), QSize(80, 50), screen), QPoint(100, 118));
    EXPECT_EQ(PickListPlacement(QRect(100, 560, 80, 18), QSize(80, 50), screen), QPoint(100, 510));
}

TEST(DrawGrid, EscCancelsWithoutSettingTheText)
{
    GridForm f;
    f.cells[{1, 1}] = "old";
    f.grid->MoveTo(1, 1);
    f.grid->ShowEditor();
    f.editor()->setText("new");
    sendKey(f.editor(), Qt::Key_Escape);
    EXPECT_FALSE(f.grid->EditorMode());
    EXPECT_EQ(f.cells.value({1, 1}), "old");
    EXPECT_EQ(f.cancels, 1);
    // with goAlwaysShowEditor Esc is the framework's
    f.grid->SetOptions(f.grid->Options() | goAlwaysShowEditor);
    f.grid->ShowEditor();
    f.editor()->setText("new");
    sendKey(f.editor(), Qt::Key_Escape);
    EXPECT_EQ(f.cancels, 1);
    EXPECT_EQ(f.editor()->text(), "old");
}

TEST(DrawGrid, EnterCommitsTheText)
{
    GridForm f;
    f.grid->MoveTo(1, 2);
    typeText(f.grid, "a");
    ASSERT_TRUE(f.grid->EditorMode());
    typeText(f.editor(), "bc");
    sendKey(f.editor(), Qt::Key_Down);
    EXPECT_EQ(f.cells.value({1, 2}), "abc");
}

TEST(DrawGrid, FixedButtonsClick)
{
    GridForm f;
    f.grid->FixedButtons = true;
    QList<QPoint> clicks;
    f.grid->OnFixedCellClick = [&](TBrDrawGrid*, int c, int r) { clicks << QPoint(c, r); };
    const QRect cell = f.grid->CellRect(1, 0);
    QTest::mousePress(f.grid->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_TRUE(f.grid->Tracking());
    QTest::mouseRelease(f.grid->viewport(), Qt::LeftButton, {}, cell.center());
    ASSERT_EQ(clicks.size(), 1);
    EXPECT_EQ(clicks[0], QPoint(1, 0));
    f.grid->OnCheckButton = [](TBrDrawGrid*, int, int, bool& en) { en = false; };
    QTest::mousePress(f.grid->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseRelease(f.grid->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(clicks.size(), 1);
}

TEST(DrawGrid, CellTextWithLineBreaksGoesThroughTheSharedBitmap)
{
    FreeSharedBitmap();
    QPixmap target(100, 40);
    target.fill(Qt::white);
    QPainter p(&target);
    DrawGridCellText(nullptr, 0, 0, "one\rtwo", QRect(0, 0, 100, 40), Qt::AlignLeft, 0, false, false, p);
    EXPECT_NE(SharedBitmap(), nullptr);
}

// The list keys and a letter open a pick-list cell's list from the cell; its
// keys work whichever window the system made active; an always-shown editor
// follows a click to another cell.
TEST(DrawGrid, PickListOpensFromTheCellAndKeepsItsEditor)
{
    const auto userKey = [](Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : QApplication::activeWindow();
        ASSERT_NE(target, nullptr);
        QTest::keyClick(target, key, mods);
    };
    GridForm f;
    f.lines = {"Москва", "Минск", "Киев"};
    f.w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f.w));
    f.grid->MoveTo(2, 1);
    f.grid->setFocus();
    for (auto [key, mods] : {std::pair{Qt::Key_Down, Qt::AltModifier}, std::pair{Qt::Key_Up, Qt::AltModifier},
                             std::pair{Qt::Key_F4, Qt::NoModifier}}) {
        userKey(key, mods);
        ASSERT_TRUE(f.editor() && f.editor()->ListVisible()) << key;
        userKey(Qt::Key_Escape);
        EXPECT_FALSE(f.editor()->ListVisible()) << key;
        EXPECT_TRUE(f.editor()->hasFocus()) << key;
        userKey(Qt::Key_Escape);
        EXPECT_FALSE(f.grid->EditorMode()) << key;
    }
    typeText(f.grid, QString::fromUtf8("К"));
    ASSERT_TRUE(f.editor()->ListVisible());
    EXPECT_EQ(f.editor()->PickList()->currentItem()->text(), "Киев");
    userKey(Qt::Key_Return);
    EXPECT_EQ(f.editor()->text(), "Киев");
    typeText(QApplication::focusWidget(), QString::fromUtf8("Ми"));   // a new opening, a new search
    EXPECT_EQ(f.editor()->PickList()->currentItem()->text(), "Минск");
    userKey(Qt::Key_Return);
    userKey(Qt::Key_Return);
    EXPECT_EQ(f.cells.value({2, 1}), "Минск");

    f.grid->SetOptions(f.grid->Options() | goAlwaysShowEditor);
    userKey(Qt::Key_Down, Qt::AltModifier);
    QTest::mouseClick(f.grid->viewport(), Qt::LeftButton, {}, f.grid->CellRect(2, 3).center());
    EXPECT_FALSE(f.editor()->ListVisible());
    EXPECT_EQ(f.grid->Row(), 3);
    EXPECT_TRUE(f.editor()->isVisible() && f.editor()->hasFocus());
}

// Tab and Shift+Tab run through the cells with goTabs and then on to the next or
// previous control, from the grid or from its editor (one always shown too); Ctrl+Tab
// leaves at once; what was typed is the cell's. Generated over shapes and options.
TEST(DrawGrid, TabLeavesTheGridForTheNextOrPreviousControl)
{
    std::mt19937 random(4101);
    const auto pick = [&](int n) { return int(random() % unsigned(n)); };
    for (int round = 0; round < 60; ++round) {
        QWidget w;
        auto* layout = new QVBoxLayout(&w);
        auto* before = new QLineEdit(&w);
        auto* grid = new TBrDrawGrid(&w);
        auto* after = new QLineEdit(&w);
        layout->addWidget(before);
        layout->addWidget(grid);
        layout->addWidget(after);
        QMap<QPair<int, int>, QString> cells;
        grid->OnGetEditText = [&](int c, int r, QString& t) { t = cells.value({c, r}); };
        grid->OnSetEditText = [&](int c, int r, const QString& t) { cells[{c, r}] = t; };
        grid->SetColCount(2 + pick(4));
        grid->SetRowCount(2 + pick(4));
        TGridOptions o = grid->Options();
        if (pick(3)) o |= goTabs;
        if (pick(3)) o |= goEditing;
        if ((o & goEditing) && pick(2)) o |= goAlwaysShowEditor;
        grid->SetOptions(o);
        const bool back = pick(2), ctrl = pick(4) == 0;
        SCOPED_TRACE(::testing::Message() << "round " << round << " options " << o << " back " << back << " ctrl " << ctrl);
        w.resize(400, 300);
        w.show();
        w.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
        grid->MoveTo(1 + pick(grid->ColCount() - 1), 1 + pick(grid->RowCount() - 1));
        grid->setFocus(Qt::OtherFocusReason);
        const QPair<int, int> typedAt{grid->Col(), grid->Row()};
        const bool typing = (o & goEditing) && pick(2);
        if (typing) {
            grid->ShowEditor();
            typeText(QApplication::focusWidget(), "x");
        }
        const auto inGrid = [&] { QWidget* f = QApplication::focusWidget(); return f == grid || grid->isAncestorOf(f); };
        ASSERT_TRUE(inGrid());
        int presses = 0;
        while (inGrid() && presses++ < grid->ColCount() * grid->RowCount() + 3) {
            Qt::KeyboardModifiers mods = ctrl ? Qt::ControlModifier : Qt::NoModifier;
            if (back) mods |= Qt::ShiftModifier;
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, mods);
        }
        EXPECT_EQ(QApplication::focusWidget(), back ? before : after) << presses << " presses";
        if (ctrl || !(o & goTabs)) {
            EXPECT_EQ(presses, 1);
        }
        if (typing) {
            EXPECT_EQ(cells.value(typedAt), "x");
        }
    }
}
