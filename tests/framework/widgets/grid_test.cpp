#include "WidgetFixture.h"

#include "db/DbError.h"
#include "widgets/DBGrid.h"
#include "widgets/ExceptionHandler.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>

using namespace fw;
using Indicator = DataSetModel::Indicator;

namespace {

class Grid : public WidgetTest {
protected:
    void SetUp() override
    {
        WidgetTest::SetUp();
        qry.open();
        grid = new DBGrid(&window);
        grid->setObjectName("dbg");
        grid->setDataSource(&src);
        grid->setColumns({{"NAME", "Клиент"}, {"QTY", "Кол-во"}, {"FLAG", "Флаг"}});
        grid->resize(420, 220);
        window.resize(440, 240);
        showActive(window);
        grid->setFocus(Qt::OtherFocusReason);
    }

    void click(int row, int column)
    {
        const QRect r = grid->visualRect(grid->model()->index(row, column));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, r.center());
    }
    QLineEdit* editor() const { return qobject_cast<QLineEdit*>(QApplication::focusWidget()); }
    Indicator indicator(int row) const
    {
        return Indicator(grid->model()->headerData(row, Qt::Vertical, DataSetModel::IndicatorRole).toInt());
    }

    QWidget window;
    DBGrid* grid = nullptr;
};

TEST_F(Grid, CurrentRowIsSharedWithTheDataSetBothWays)
{
    EXPECT_EQ(grid->currentIndex().row(), 0);
    EXPECT_EQ(indicator(0), Indicator::Current);

    qry.last();
    EXPECT_EQ(grid->currentIndex().row(), 4);
    qry.locate("ID", 2);
    EXPECT_EQ(grid->currentIndex().row(), 1);
    EXPECT_EQ(indicator(1), Indicator::Current);
    EXPECT_EQ(indicator(4), Indicator::None);

    click(3, 1);
    EXPECT_EQ(qry.currentRow(), 3);
    EXPECT_EQ(grid->selectedIndex(), 1);
    EXPECT_EQ(grid->selectedField()->name(), "QTY");
    key(Qt::Key_Down);
    EXPECT_EQ(qry.fieldByName("ID").asInteger(), 5);
    key(Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(qry.currentRow(), 0);

    // A refused move leaves both where they were.
    qry.beforeScroll = [](DataSet&) { throw UserError("Сначала сохраните карточку"); };
    ScriptedDialogs d;
    d.expectError("Сначала сохраните карточку");
    click(2, 0);
    EXPECT_EQ(qry.currentRow(), 0);
    EXPECT_EQ(grid->currentIndex().row(), 0);
}

TEST_F(Grid, RowsFollowInsertsDeletesAndReopening)
{
    auto* model = grid->dataModel();
    qry.locate("ID", 3);
    qry.insert();                                   // before the current row, not yet posted
    EXPECT_EQ(model->rowCount(), 6);
    EXPECT_EQ(grid->currentIndex().row(), 2);
    EXPECT_EQ(indicator(2), Indicator::Insert);
    EXPECT_EQ(model->index(3, 0).data().toString(), "Гамма");
    qry.fieldByName("NAME").setAsString("Новый");
    EXPECT_EQ(model->index(2, 0).data().toString(), "Новый");
    qry.post();
    EXPECT_EQ(model->rowCount(), 6);
    EXPECT_EQ(indicator(2), Indicator::Current);
    qry.remove();
    EXPECT_EQ(model->rowCount(), 5);
    EXPECT_EQ(model->index(2, 0).data().toString(), "Гамма");

    qry.setFilter("IDOTDEL=1");
    qry.setFiltered(true);
    EXPECT_EQ(model->rowCount(), 2);
    EXPECT_EQ(grid->currentIndex().row(), 0);
    qry.close();
    EXPECT_EQ(model->rowCount(), 0);
    qry.open();
    EXPECT_EQ(model->rowCount(), 2);
    EXPECT_EQ(grid->columnTitle(1), "Кол-во");
}

TEST_F(Grid, EditRefusedByTheDataSetShowsTheMessageAndChangesNothing)
{
    qry.beforeEdit = [](DataSet&) { throw UserError("Вы не можете изменять чужую запись!"); };
    ScriptedDialogs d;
    d.expectError("Вы не можете изменять чужую запись!");
    type(grid, "Я");
    EXPECT_EQ(qry.state(), DataSetState::Browse);
    EXPECT_FALSE(grid->editorMode());
    EXPECT_EQ(qry.fieldByName("NAME").asString(), "Альфа");
    EXPECT_EQ(d.pending(), 0);

    // A silent refusal shows nothing either.
    qry.beforeEdit = [](DataSet&) { throw Abort(); };
    type(grid, "Я");
    EXPECT_EQ(qry.state(), DataSetState::Browse);
}

TEST_F(Grid, TypingEditsTheCellAndLeavingTheRowPostsIt)
{
    type(grid, "Омега");
    ASSERT_NE(editor(), nullptr);
    EXPECT_EQ(editor()->text(), "Омега");
    EXPECT_EQ(qry.state(), DataSetState::Edit);
    EXPECT_EQ(indicator(0), Indicator::Edit);
    key(Qt::Key_Down);
    EXPECT_EQ(qry.state(), DataSetState::Browse);
    EXPECT_EQ(qry.currentRow(), 1);
    EXPECT_EQ(stored(1, "NAME"), "Омега");

    // Edit mode without a change is cancelled on leaving: nothing is written.
    int writes = 0;
    qry.afterPost = [&](DataSet&) { ++writes; };
    key(Qt::Key_F2);
    EXPECT_TRUE(grid->editorMode());
    key(Qt::Key_Down);
    EXPECT_EQ(writes, 0);
}

TEST_F(Grid, UntouchedAppendedRowGoesAwayTouchedOnePosts)
{
    qry.onNewRecord = [](DataSet& ds) { ds.fieldByName("FLAG").setAsString("-"); };
    qry.last();
    key(Qt::Key_Down);
    EXPECT_EQ(qry.state(), DataSetState::Insert);
    EXPECT_EQ(grid->model()->rowCount(), 6);
    EXPECT_EQ(grid->currentIndex().row(), 5);
    key(Qt::Key_Down);                               // no second new row below an untouched one
    EXPECT_EQ(grid->model()->rowCount(), 6);
    key(Qt::Key_Up);
    EXPECT_EQ(qry.state(), DataSetState::Browse);
    EXPECT_EQ(grid->model()->rowCount(), 5);
    EXPECT_EQ(qry.currentRow(), 4);
    EXPECT_EQ(storedCount(), 5);

    key(Qt::Key_Down);
    type(grid, "Зета");
    key(Qt::Key_Up);
    EXPECT_EQ(qry.state(), DataSetState::Browse);
    EXPECT_EQ(storedCount(), 6);
    EXPECT_EQ(stored(101, "NAME"), "Зета");
    EXPECT_EQ(stored(101, "FLAG"), "-");

    // Leaving the grid cancels an untouched new row too.
    QLineEdit other(&window);
    other.show();
    key(Qt::Key_Insert);
    EXPECT_EQ(qry.state(), DataSetState::Insert);
    other.setFocus(Qt::TabFocusReason);
    EXPECT_EQ(qry.state(), DataSetState::Browse);
    EXPECT_EQ(storedCount(), 6);
}

TEST_F(Grid, InsertingFollowsTheGridsOptions)
{
    grid->setOption(DBGrid::Option::AllowInsert, false);
    qry.last();
    key(Qt::Key_Down);
    key(Qt::Key_Insert);
    EXPECT_EQ(qry.state(), DataSetState::Browse);
    grid->setOption(DBGrid::Option::AllowInsert);
    grid->setReadOnly(true);
    key(Qt::Key_Down);
    type(grid, "x");
    EXPECT_EQ(qry.state(), DataSetState::Browse);
    EXPECT_EQ(grid->model()->rowCount(), 5);
}

TEST_F(Grid, EscRevertsTheCellThenCancelsTheRow)
{
    type(grid, "abc");
    key(Qt::Key_Escape);
    EXPECT_FALSE(grid->editorMode());
    EXPECT_EQ(qry.state(), DataSetState::Edit);
    EXPECT_EQ(qry.fieldByName("NAME").asString(), "Альфа");
    key(Qt::Key_Escape);
    EXPECT_EQ(qry.state(), DataSetState::Browse);

    type(grid, "zz");
    key(Qt::Key_Return);                             // the cell goes into the field
    EXPECT_FALSE(grid->editorMode());
    EXPECT_EQ(qry.fieldByName("NAME").asString(), "zz");
    key(Qt::Key_Escape);
    EXPECT_EQ(qry.state(), DataSetState::Browse);
    EXPECT_EQ(qry.fieldByName("NAME").asString(), "Альфа");
    EXPECT_EQ(stored(1, "NAME"), "Альфа");

    // Esc on an inserted row removes it.
    key(Qt::Key_Insert);
    type(grid, "Новый");
    key(Qt::Key_Escape);
    key(Qt::Key_Escape);
    EXPECT_EQ(grid->model()->rowCount(), 5);
    EXPECT_EQ(storedCount(), 5);
}

TEST_F(Grid, ValueTheFieldRejectsStaysInTheEditor)
{
    grid->setSelectedField("QTY");
    ScriptedDialogs d;
    d.expectError("'1x' is not a valid integer value").expectError("'1x' is not a valid integer value");
    type(grid, "1x");
    // A post from outside (a navigator) is refused the same way.
    EXPECT_FALSE(runGuarded([&] { qry.post(); }));
    EXPECT_EQ(qry.state(), DataSetState::Edit);
    key(Qt::Key_Down);
    ASSERT_TRUE(grid->editorMode());
    EXPECT_EQ(qry.currentRow(), 0);
    EXPECT_EQ(qry.fieldByName("QTY").asInteger(), 10);
    ASSERT_NE(editor(), nullptr);
    EXPECT_EQ(editor()->text(), "1x");

    key(Qt::Key_Backspace);
    key(Qt::Key_Down);
    EXPECT_EQ(stored(1, "QTY"), "1");
    EXPECT_EQ(qry.currentRow(), 1);
}

TEST_F(Grid, TriggerErrorOnPostKeepsTheTypedRowAndIsShown)
{
    ScriptedDialogs d;
    d.expectError();
    type(grid, "ОШИБКА");
    key(Qt::Key_Down);
    ASSERT_EQ(d.shown().size(), 1);
    EXPECT_TRUE(d.shown()[0].text.contains("Недопустимое название клиента"));
    EXPECT_EQ(qry.state(), DataSetState::Edit);
    EXPECT_EQ(qry.currentRow(), 0);
    EXPECT_EQ(grid->currentIndex().row(), 0);
    EXPECT_EQ(qry.fieldByName("NAME").asString(), "ОШИБКА");
    EXPECT_EQ(stored(1, "NAME"), "Альфа");

    // Corrected, the same row posts.
    key(Qt::Key_F2);
    key(Qt::Key_End);
    type(grid, "2");
    key(Qt::Key_Down);
    EXPECT_EQ(stored(1, "NAME"), "ОШИБКА2");
}

TEST_F(Grid, CtrlDeleteIsOffUnlessAllowedAndAsksFirst)
{
    key(Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(storedCount(), 5);

    grid->setOption(DBGrid::Option::AllowDelete);
    ScriptedDialogs d;
    d.expectConfirm(false, "Delete record?").expectConfirm(true, "Delete record?");
    key(Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(storedCount(), 5);
    key(Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(storedCount(), 4);
    EXPECT_EQ(stored(1, "NAME"), "");
    EXPECT_EQ(grid->model()->rowCount(), 4);
}

TEST_F(Grid, LookupColumnChoosesTheKey)
{
    otdel.open();
    qry.close();
    qry.addLookupField("Otdel", "IDOTDEL", &otdel, "IDOTDEL", "OTDEL");
    qry.open();
    grid->setColumns({{"NAME"}, {"Otdel", "Отдел"}});
    EXPECT_EQ(grid->model()->index(1, 1).data().toString(), "Склад");
    grid->setSelectedIndex(1);
    key(Qt::Key_F2);
    auto* combo = qobject_cast<QComboBox*>(QApplication::focusWidget());
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->currentText(), "Продажи");
    type(grid, "С");                                 // the first item starting with the letter
    key(Qt::Key_Return);
    EXPECT_EQ(qry.fieldByName("IDOTDEL").asInteger(), 2);
    EXPECT_EQ(grid->model()->index(0, 1).data().toString(), "Склад");
}

// Alt+Down drops a lookup's list; it does not move to the next row.
TEST_F(Grid, LookupListDropsWithAltDown)
{
    otdel.open();
    qry.close();
    qry.addLookupField("Otdel", "IDOTDEL", &otdel, "IDOTDEL", "OTDEL");
    qry.open();
    grid->setColumns({{"NAME"}, {"Otdel", "Отдел"}});
    grid->setSelectedIndex(1);
    key(Qt::Key_F2);
    auto* combo = qobject_cast<QComboBox*>(QApplication::focusWidget());
    ASSERT_NE(combo, nullptr);
    QTest::keyClick(combo, Qt::Key_Down, Qt::AltModifier);
    QTest::qWait(20);
    EXPECT_TRUE(combo->view()->isVisible());
    EXPECT_EQ(qry.currentRow(), 0);
    EXPECT_EQ(qry.state(), DataSetState::Browse);
    combo->view()->setCurrentIndex(combo->model()->index(combo->findText("Склад"), 0));
    QTest::keyClick(combo->view(), Qt::Key_Return);
    key(Qt::Key_Return);
    EXPECT_EQ(qry.fieldByName("IDOTDEL").asInteger(), 2);
}

TEST_F(Grid, HooksSeeTheDrawnRowAndTheGridReportsEvents)
{
    // Like the deal grids: rows with a "+" flag are painted in a colour of their own.
    QList<int> styled;
    grid->setCellStyler([&](const GridCell& cell, CellStyle& style) {
        if (cell.column == 0 && cell.value("FLAG").asString() == "+") {
            styled << cell.row;
            if (!cell.focused) style.background = QColor(0, 128, 0);
        }
    });
    qry.last();
    const QImage image = grid->viewport()->grab().toImage();
    EXPECT_EQ(styled.size() > 0, true);
    EXPECT_TRUE(styled.contains(0) && styled.contains(2) && !styled.contains(1));
    const QRect r0 = grid->visualRect(grid->model()->index(0, 0));
    const QRect r1 = grid->visualRect(grid->model()->index(1, 0));
    EXPECT_EQ(image.pixelColor(r0.left() + 1, r0.center().y()), QColor(0, 128, 0));
    EXPECT_NE(image.pixelColor(r1.left() + 1, r1.center().y()), QColor(0, 128, 0));

    QList<int> entered, exited, titles;
    int doubleClicks = 0;
    QObject::connect(grid, &DBGrid::columnEntered, grid, [&](int c) { entered << c; });
    QObject::connect(grid, &DBGrid::columnExited, grid, [&](int c) { exited << c; });
    QObject::connect(grid, &DBGrid::titleClicked, grid, [&](int c) { titles << c; });
    QObject::connect(grid, &QAbstractItemView::doubleClicked, grid, [&] { ++doubleClicks; });
    QObject::connect(grid, &DBGrid::keyDown, grid, [](QKeyEvent* e, bool* handled) {
        if (e->key() == Qt::Key_Down) *handled = true;
    });
    key(Qt::Key_Right);
    EXPECT_EQ(exited, QList<int>{0});
    EXPECT_EQ(entered, QList<int>{1});
    key(Qt::Key_Up);
    EXPECT_EQ(qry.currentRow(), 3);
    key(Qt::Key_Down);                               // swallowed by the handler
    EXPECT_EQ(qry.currentRow(), 3);
    const QHeaderView* h = grid->horizontalHeader();
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, QPoint(h->sectionViewportPosition(2) + 5, h->height() / 2));
    EXPECT_EQ(titles, QList<int>{2});
    EXPECT_EQ(qry.currentRow(), 3);                  // a title click moves nothing
    grid->setReadOnly(true);
    const QRect r = grid->visualRect(grid->model()->index(3, 1));
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, r.center());
    EXPECT_EQ(doubleClicks, 1);

    // A hook that throws is shown once and dropped.
    grid->setCellStyler([](const GridCell&, CellStyle&) { throw UserError("Ошибка отрисовки"); });
    ScriptedDialogs d;
    d.expectError("Ошибка отрисовки");
    grid->viewport()->grab();
    QCoreApplication::processEvents();
    grid->viewport()->grab();
    QCoreApplication::processEvents();
}

} // namespace

namespace {

// A lookup column reached by the keyboard: the list keys open its editor with
// the list dropped, open or not, and typing opens the list on the match.
class LookupGrid : public Grid {
protected:
    void SetUp() override
    {
        Grid::SetUp();
        otdel.open();
        qry.close();
        qry.addLookupField("Otdel", "IDOTDEL", &otdel, "IDOTDEL", "OTDEL");
        qry.open();
        grid->setColumns({{"Otdel", "Отдел"}, {"NAME", "Клиент"}});
        grid->setSelectedIndex(1);
    }
    QComboBox* combo() const { return qobject_cast<QComboBox*>(grid->indexWidget(grid->currentIndex())); }
    bool dropped() const { return combo() && combo()->view()->isVisible(); }
    // The list as a user closes it: Enter on its current line, sent where the keys go.
    void choose(const QString& item)
    {
        ASSERT_TRUE(dropped());
        combo()->view()->setCurrentIndex(combo()->model()->index(combo()->findText(item), 0));
        QTest::keyClick(combo()->view(), Qt::Key_Return);
    }
};

TEST_F(LookupGrid, ListKeysDropTheListInsteadOfMovingTheRow)
{
    qry.locate("ID", 2);
    key(Qt::Key_Backtab, Qt::ShiftModifier);
    ASSERT_EQ(grid->selectedIndex(), 0);
    ASSERT_FALSE(grid->editorMode());
    for (int k : {int(Qt::Key_Down), int(Qt::Key_Up), int(Qt::Key_F4)}) {
        const Qt::KeyboardModifiers mods = k == Qt::Key_F4 ? Qt::NoModifier : Qt::AltModifier;
        key(k, mods);
        QTest::qWait(10);
        EXPECT_TRUE(dropped()) << k;
        EXPECT_EQ(qry.currentRow(), 1) << k;
        EXPECT_EQ(qry.state(), DataSetState::Browse) << k;
        combo()->hidePopup();
        // The editor is open now: the same keys drop the list again.
        ASSERT_EQ(QApplication::focusWidget(), combo());
        key(k, mods);
        QTest::qWait(10);
        EXPECT_TRUE(dropped()) << k;
        combo()->hidePopup();
        key(Qt::Key_Escape);
        EXPECT_FALSE(grid->editorMode());
    }
    // The chosen line is the field's value at once; the row posts on leaving.
    key(Qt::Key_Down, Qt::AltModifier);
    choose("Бухгалтерия");
    EXPECT_EQ(qry.state(), DataSetState::Edit);
    EXPECT_EQ(qry.fieldByName("IDOTDEL").asInteger(), 3);
    key(Qt::Key_Down);
    EXPECT_EQ(qry.currentRow(), 2);
    EXPECT_EQ(stored(2, "IDOTDEL"), "3");
}

TEST_F(LookupGrid, TypingOpensTheListOnTheMatchingLine)
{
    key(Qt::Key_Left);
    type(grid, "С");
    QTest::qWait(10);
    ASSERT_TRUE(dropped());
    EXPECT_EQ(combo()->view()->currentIndex().data().toString(), "Склад");
    EXPECT_EQ(qry.fieldByName("IDOTDEL").asInteger(), 1);    // nothing chosen yet
    key(Qt::Key_Return);
    EXPECT_FALSE(dropped());
    EXPECT_EQ(qry.fieldByName("IDOTDEL").asInteger(), 2);
    EXPECT_EQ(grid->model()->index(0, 0).data().toString(), "Склад");

    // Esc in the list keeps the field; Esc then cancels the row.
    type(grid, "Б");
    QTest::qWait(10);
    ASSERT_TRUE(dropped());
    key(Qt::Key_Escape);
    EXPECT_FALSE(dropped());
    EXPECT_EQ(qry.fieldByName("IDOTDEL").asInteger(), 2);
    key(Qt::Key_Escape);
    EXPECT_EQ(qry.state(), DataSetState::Browse);
    EXPECT_EQ(stored(1, "IDOTDEL"), "1");
}

} // namespace

namespace {

// Columns as wide as their titles and the texts in sight: the given widths are
// the least, the grid's width the most, and a width the user dragged stays.
TEST_F(Grid, ColumnsFitTheirTitlesAndTexts)
{
    grid->setColumns({{"NAME", "Клиент", 30}, {"QTY", "Количество на складе", 20}, {"FLAG", "Флаг", 90}});
    const QFontMetrics fm = grid->fontMetrics();
    const auto width = [&](int c) { return grid->horizontalHeader()->sectionSize(c); };
    EXPECT_GE(width(0), fm.horizontalAdvance("Эпсилон") + 6);
    EXPECT_GE(width(1), fm.horizontalAdvance("Количество на складе"));
    EXPECT_EQ(width(2), 90);

    // A longer text typed in grows its column, up to the grid's width.
    const int before = width(0);
    type(grid, "Общество с ограниченной ответственностью");
    key(Qt::Key_Down);
    EXPECT_GT(width(0), before);
    EXPECT_LE(width(0), grid->viewport()->width());
    EXPECT_GE(width(0), std::min(grid->viewport()->width() - 2,
                                 fm.horizontalAdvance("Общество с ограниченной ответственностью") + 6));

    // The user's width is kept through new texts and a reopening.
    grid->horizontalHeader()->resizeSection(0, 50);
    qry.close();
    qry.open();
    EXPECT_EQ(width(0), 50);

    // A window with room shows every column.
    window.resize(200, 240);
    grid->resize(180, 220);
    grid->widenWindow(window.width() - grid->width());
    EXPECT_GE(window.width(), grid->columnsWidth());
    grid->resize(window.width() - 20, 220);
    EXPECT_EQ(grid->horizontalScrollBar()->maximum(), 0);
}

// A cell with a button shows it as soon as it has the focus; a click on it
// opens the editor and presses the button, and a date fits beside it.
TEST_F(Grid, FocusedCellShowsItsButton)
{
    qry.close();
    qry.setSql({"select k.*, cast('09.12.2026' as date) as DATEPLAN from KLIENT k", "order by ID"});
    qry.open();
    using Button = GridColumn::Button;
    grid->setColumns({{"NAME", "Клиент"}, {"DATEPLAN", "Дата", 40, {}, true, false, Button::Ellipsis}});
    int presses = 0;
    QObject::connect(grid, &DBGrid::editButtonClicked, grid, [&] { ++presses; });
    key(Qt::Key_Right);
    ASSERT_FALSE(grid->editorMode());
    const QRect cell = grid->visualRect(grid->model()->index(0, 1));
    const QImage shown = grid->viewport()->grab().toImage();
    const QColor highlight = grid->palette().color(QPalette::Active, QPalette::Highlight);
    EXPECT_EQ(shown.pixelColor(cell.left() + 2, cell.center().y()), highlight);
    EXPECT_NE(shown.pixelColor(cell.right() - 3, cell.top() + 3), highlight);   // the button's face

    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, QPoint(cell.right() - 4, cell.center().y()));
    EXPECT_EQ(presses, 1);
    ASSERT_TRUE(grid->editorMode());
    // The whole date is in sight in the editor, left of its button.
    ASSERT_NE(editor(), nullptr);
    EXPECT_EQ(editor()->text(), "09.12.2026");
    editor()->home(false);
    const int first = editor()->inputMethodQuery(Qt::ImCursorRectangle).toRect().center().x();
    editor()->end(false);
    const int last = editor()->inputMethodQuery(Qt::ImCursorRectangle).toRect().center().x();
    EXPECT_GE(first, 0);
    EXPECT_LE(last, editor()->width() - 16);

    // A click elsewhere in the cell opens the editor only.
    key(Qt::Key_Escape);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, QPoint(cell.left() + 4, cell.center().y()));
    EXPECT_TRUE(grid->editorMode());
    EXPECT_EQ(presses, 1);
}

} // namespace
