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

// A lookup cell reached by the keyboard: the list keys drop the list, with the
// editor open or not, and never move the row; a letter opens the list on its match.
TEST_F(Grid, LookupCellDropsItsListFromTheKeyboard)
{
    otdel.open();
    qry.close();
    qry.addLookupField("Otdel", "IDOTDEL", &otdel, "IDOTDEL", "OTDEL");
    qry.open();
    grid->setColumns({{"Otdel", "Отдел"}, {"NAME", "Клиент"}});
    grid->setSelectedIndex(1);
    const auto combo = [&] { return qobject_cast<QComboBox*>(grid->indexWidget(grid->currentIndex())); };
    const auto dropped = [&] { QTest::qWait(10); return combo() && combo()->view()->isVisible(); };
    qry.locate("ID", 2);
    key(Qt::Key_Backtab, Qt::ShiftModifier);
    for (auto [k, mods] : {std::pair{Qt::Key_Down, Qt::AltModifier}, std::pair{Qt::Key_Up, Qt::AltModifier},
                           std::pair{Qt::Key_F4, Qt::NoModifier}}) {
        for (int open = 0; open < 2; ++open) {
            key(k, mods);
            EXPECT_TRUE(dropped()) << k << " open " << open;
            combo()->hidePopup();
        }
        EXPECT_EQ(qry.currentRow(), 1);
        key(Qt::Key_Escape);
    }
    EXPECT_EQ(qry.state(), DataSetState::Browse);
    type(grid, "Б");
    ASSERT_TRUE(dropped());
    EXPECT_EQ(combo()->view()->currentIndex().data().toString(), "Бухгалтерия");
    EXPECT_EQ(qry.fieldByName("IDOTDEL").asInteger(), 2);   // nothing chosen yet
    key(Qt::Key_Return);                                     // the line is the value at once
    EXPECT_FALSE(dropped());
    EXPECT_EQ(qry.fieldByName("IDOTDEL").asInteger(), 3);
    key(Qt::Key_Down);
    EXPECT_EQ(stored(2, "IDOTDEL"), "3");
}

// Columns as wide as their titles and the texts in sight: the given width is
// the least, the grid's width the most, and a width the user dragged stays.
TEST_F(Grid, ColumnsFitTheirTitlesAndTexts)
{
    grid->setColumns({{"NAME", "Клиент", 30}, {"QTY", "Количество на складе", 20}, {"FLAG", "Флаг", 90}});
    const QFontMetrics fm = grid->fontMetrics();
    const auto width = [&](int c) { return grid->horizontalHeader()->sectionSize(c); };
    EXPECT_GE(width(0), fm.horizontalAdvance("Эпсилон") + 6);
    EXPECT_GE(width(1), fm.horizontalAdvance("Количество на складе"));
    EXPECT_EQ(width(2), 90);
    const QString longName = "Общество с ограниченной ответственностью";
    type(grid, longName);
    key(Qt::Key_Down);
    EXPECT_EQ(width(0), std::min(grid->viewport()->width() - 2, fm.horizontalAdvance(longName) + 8));
    grid->horizontalHeader()->resizeSection(0, 50);
    qry.close();
    qry.open();
    EXPECT_EQ(width(0), 50);
    EXPECT_GE(width(1), fm.horizontalAdvance("Количество на складе"));

    // A window with room shows every column.
    window.resize(200, 240);
    grid->resize(180, 220);
    grid->widenWindow(window.width() - grid->width());
    grid->resize(window.width() - 20, 220);
    EXPECT_EQ(grid->horizontalScrollBar()->maximum(), 0);
}

// The focused cell shows its button; a click on it opens the editor and
// presses it, and a date is in sight in the editor beside the button.
TEST_F(Grid, FocusedCellShowsItsButton)
{
    qry.close();
    qry.setSql({"select k.*, cast('09.12.2026' as date) as DATEPLAN from KLIENT k", "order by ID"});
    qry.open();
    grid->setColumns({{"NAME", "Клиент"}, {"DATEPLAN", "Дата", 40, {}, true, false, GridColumn::Button::Ellipsis}});
    int presses = 0;
    QObject::connect(grid, &DBGrid::editButtonClicked, grid, [&] { ++presses; });
    key(Qt::Key_Right);
    const QRect cell = grid->visualRect(grid->model()->index(0, 1));
    const QImage shown = grid->viewport()->grab().toImage();
    const QColor highlight = grid->palette().color(QPalette::Active, QPalette::Highlight);
    EXPECT_EQ(shown.pixelColor(cell.left() + 2, cell.center().y()), highlight);
    EXPECT_NE(shown.pixelColor(cell.right() - 3, cell.top() + 3), highlight);   // the button's face
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, QPoint(cell.right() - 4, cell.center().y()));
    EXPECT_EQ(presses, 1);
    ASSERT_NE(editor(), nullptr);
    const auto caret = [&] { return editor()->inputMethodQuery(Qt::ImCursorRectangle).toRect().center().x(); };
    editor()->home(false);
    EXPECT_GE(caret(), 0);
    editor()->end(false);
    EXPECT_LE(caret(), editor()->width() - 16);
}

} // namespace
