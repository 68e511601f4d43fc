#include "WidgetFixture.h"

#include "db/DbError.h"
#include "widgets/DBGrid.h"
#include "widgets/ExceptionHandler.h"

#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScopeGuard>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>
#include <random>

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
    // The department's name as a lookup field "Otdel" of the clients.
    void addOtdelLookup()
    {
        otdel.open();
        qry.close();
        qry.addLookupField("Otdel", "IDOTDEL", &otdel, "IDOTDEL", "OTDEL");
        qry.open();
    }
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
    addOtdelLookup();
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
    addOtdelLookup();
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
    addOtdelLookup();
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

namespace {

struct TabCase {
    QList<GridColumn> columns;
    DBGrid::Options options;
    bool readOnly = false;
    QString filter;
    bool back = false, ctrl = false, typeFirst = false;
    int startRow = 0, startColumn = 0;
};

} // namespace

// Tab runs through the editable cells and then on to the next control, Shift+Tab
// back to the previous one, Ctrl+Tab and Ctrl+Shift+Tab at once: no grid keeps the
// keyboard. Leaving is a row change: a typed row is posted, an untouched new one
// goes. Generated over grids of every shape, option and starting cell.
TEST_F(Grid, TabLeavesEveryGridAndLeavingPostsTheRow)
{
    QLineEdit before(&window), after(&window);
    before.setObjectName("before");
    after.setObjectName("after");
    before.show();
    after.show();
    QWidget::setTabOrder(&before, grid);
    QWidget::setTabOrder(grid, &after);
    std::mt19937 random(32);
    const auto pick = [&](int n) { return int(random() % unsigned(n)); };
    const QStringList fields{"NAME", "QTY", "FLAG", "SUMMA"};
    for (int round = 0; round < 80; ++round) {
        TabCase t;
        for (const QString& f : fields) {
            if (pick(3) == 0) continue;
            GridColumn c{f};
            c.readOnly = pick(4) == 0;
            c.visible = pick(6) != 0;
            t.columns << c;
        }
        if (t.columns.isEmpty() || std::none_of(t.columns.begin(), t.columns.end(), [](auto& c) { return c.visible; }))
            t.columns = {GridColumn{"NAME"}};
        t.options = DBGrid::Option::Titles;
        for (DBGrid::Option o : {DBGrid::Option::Tabs, DBGrid::Option::AllowInsert, DBGrid::Option::CancelOnExit})
            if (pick(4) != 0) t.options |= o;
        if (pick(10) == 0) t.options |= DBGrid::Option::RowSelect;
        t.readOnly = pick(8) == 0;
        t.filter = QStringList{"", "IDOTDEL=1", "IDOTDEL=3", "IDOTDEL=9"}[pick(4)];
        t.back = pick(2);
        t.ctrl = pick(4) == 0;
        t.typeFirst = pick(3) == 0;
        SCOPED_TRACE(::testing::Message() << "round " << round << " filter '" << t.filter.toStdString() << "' back "
                                          << t.back << " ctrl " << t.ctrl << " type " << t.typeFirst);

        grid->setOptions(t.options);
        grid->setReadOnly(t.readOnly);
        grid->setColumns(t.columns);
        qry.setFilter(t.filter);
        qry.setFiltered(!t.filter.isEmpty());
        const int rows = qry.recordCount();
        const int stored0 = storedCount();
        if (rows > 0) qry.setCurrentRow(pick(rows));
        QList<int> shown;
        for (int c = 0; c < t.columns.size(); ++c)
            if (t.columns[c].visible) shown << c;
        grid->setSelectedIndex(shown[pick(int(shown.size()))]);
        grid->setFocus(Qt::OtherFocusReason);
        ASSERT_EQ(QApplication::focusWidget(), grid);

        // A name typed into the row first: it is in the database once the grid is left.
        int typedId = -1;
        const GridColumn& at = t.columns[grid->selectedIndex()];
        if (t.typeFirst && rows > 0 && at.fieldName == "NAME" && !at.readOnly && !t.readOnly
            && !t.options.testFlag(DBGrid::Option::RowSelect)) {
            typedId = qry.fieldByName("ID").asInteger();
            type(grid, "Таб");
        }
        int presses = 0;
        const int enough = (rows + 2) * int(t.columns.size()) + 3;
        const auto inGrid = [&] { QWidget* f = QApplication::focusWidget(); return f == grid || grid->isAncestorOf(f); };
        while (inGrid() && presses++ < enough) {
            Qt::KeyboardModifiers mods = t.ctrl ? Qt::ControlModifier : Qt::NoModifier;
            if (t.back) mods |= Qt::ShiftModifier;
            key(t.back && !t.ctrl ? Qt::Key_Backtab : Qt::Key_Tab, mods);
        }
        EXPECT_EQ(QApplication::focusWidget(), t.back ? &before : &after) << presses << " presses";
        if (t.ctrl) {
            EXPECT_EQ(presses, 1);
        }
        // An untouched new row stays pending only where the grid is told to keep it.
        if (t.options.testFlag(DBGrid::Option::CancelOnExit)) {
            EXPECT_EQ(qry.state(), DataSetState::Browse);
        } else {
            EXPECT_FALSE(qry.modified());
        }
        EXPECT_EQ(storedCount(), stored0) << "no row was written but the typed one";
        if (typedId >= 0) {
            EXPECT_EQ(stored(typedId, "NAME"), "Таб");
        }
        if (qry.state() != DataSetState::Browse) qry.cancel();
    }
}

// Ctrl+Tab in a grid of an MDI window leaves the grid; it does not switch the windows.
TEST_F(Grid, CtrlTabLeavesTheGridAheadOfTheWindowSwitching)
{
    QMdiArea area;
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* before = new QLineEdit;
    auto* g = new DBGrid;
    g->setDataSource(&src);
    g->setColumns({{"NAME"}});
    auto* after = new QLineEdit;
    layout->addWidget(before);
    layout->addWidget(g);
    layout->addWidget(after);
    QMdiSubWindow* first = area.addSubWindow(page);
    area.addSubWindow(new QLineEdit)->show();
    first->show();
    area.resize(700, 500);
    showActive(area);
    area.setActiveSubWindow(first);
    g->setFocus(Qt::OtherFocusReason);
    type(g, "Окно");
    key(Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(QApplication::focusWidget(), after);
    EXPECT_EQ(stored(1, "NAME"), "Окно");
    g->setFocus(Qt::OtherFocusReason);
    key(Qt::Key_Tab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), before);
    EXPECT_EQ(area.activeSubWindow(), first);
}

// Ctrl+V pastes into the current cell as typing does, in a new row as in any
// other; a read-only or lookup cell and an empty clipboard take nothing.
TEST_F(Grid, CtrlVPastesIntoTheCellAsTypingDoes)
{
    QGuiApplication::clipboard()->setText("Вставка");
    key(Qt::Key_Insert);
    ASSERT_EQ(qry.state(), DataSetState::Insert);
    ASSERT_FALSE(grid->editorMode());
    key(Qt::Key_V, Qt::ControlModifier);
    ASSERT_NE(editor(), nullptr);
    EXPECT_EQ(editor()->text(), "Вставка");
    key(Qt::Key_Down);
    EXPECT_EQ(storedCount(), 6);
    EXPECT_EQ(db.selectValue("select count(*) from KLIENT where NAME = 'Вставка'").asInt(), 1);

    qry.locate("ID", 2);
    key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(editor()->text(), "Вставка") << "the cell's text gives way, as to a typed letter";
    key(Qt::Key_Escape);
    key(Qt::Key_Escape);
    // What passes the field's length stays out, and the cell says so.
    QGuiApplication::clipboard()->setText(QString(60, QChar(0x0416)));
    key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(editor()->text(), QString(50, QChar(0x0416)));
    auto* notice = window.findChild<QLabel*>("fwLengthNotice");
    ASSERT_TRUE(notice && notice->isVisible());
    key(Qt::Key_Escape);
    key(Qt::Key_Escape);
    GridColumn fixed{"NAME"};
    fixed.readOnly = true;
    grid->setColumns({fixed});
    key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_FALSE(grid->editorMode());
    EXPECT_EQ(qry.state(), DataSetState::Browse);
}

// The lookup list's type-ahead keeps the program's one pace: letters a second
// apart still look up together; after a longer pause a new search begins.
TEST_F(Grid, LookupListTypeAheadKeepsTheProgramsPace)
{
    db.execute("insert into OTDEL values (4, 'Пакеты')");
    const auto cleanup = qScopeGuard([this] { db.execute("delete from OTDEL where IDOTDEL = 4"); });
    qint64 now = 50000;
    TypeAhead::clock = [&] { return now; };
    const auto restore = qScopeGuard([] { TypeAhead::clock = {}; });
    addOtdelLookup();
    grid->setColumns({{"NAME"}, {"Otdel", "Отдел"}});
    grid->setSelectedIndex(1);
    const auto line = [&] {
        auto* combo = qobject_cast<QComboBox*>(grid->indexWidget(grid->currentIndex()));
        return combo ? combo->view()->currentIndex().data().toString() : QString();
    };
    type(grid, "П");
    EXPECT_EQ(line(), "Продажи");
    now += 800;
    type(grid, "а");
    EXPECT_EQ(line(), "Пакеты");
    now += TypeAhead::Pace + 1;
    type(grid, "С");
    EXPECT_EQ(line(), "Склад");
    key(Qt::Key_Escape);
}
