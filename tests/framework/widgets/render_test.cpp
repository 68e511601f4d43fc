#include "WidgetFixture.h"

#include "widgets/DBControls.h"
#include "widgets/DBGrid.h"
#include "widgets/DBLookupCombo.h"
#include "widgets/DBNavigator.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QToolButton>
#include <QVBoxLayout>

using namespace fw;

namespace {

class Look : public WidgetTest {
protected:
    void SetUp() override
    {
        WidgetTest::SetUp();
        const char* more[] = {
            "insert into KLIENT values (6, 'ООО \"Северный ветер\"', 12, '+', 15400.75, 2)",
            "insert into KLIENT values (7, 'ЗАО Меридиан', 3, '-', 870, 1)",
            "insert into KLIENT values (8, 'ИП Кузнецова Л. А.', 8, '+', 12.5, 3)",
        };
        for (const char* r : more) db.execute(r);
        otdel.open();
        qry.open();
        qry.fieldByName("SUMMA").setDisplayFormat("# ##0.00");
    }
};

TEST_F(Look, NavigatorFollowsTheDataSetAndPostsThroughIt)
{
    DBNavigator nav;
    nav.setDataSource(&src);
    nav.setVisibleButtons(DBNavigator::Button::Prior | DBNavigator::Button::Next | DBNavigator::Button::Post
                          | DBNavigator::Button::Cancel);
    nav.setHint(DBNavigator::Button::Post, "Запомнить");
    EXPECT_FALSE(nav.button(DBNavigator::Button::Prior)->isEnabled());
    EXPECT_TRUE(nav.button(DBNavigator::Button::Next)->isEnabled());
    EXPECT_FALSE(nav.button(DBNavigator::Button::Post)->isEnabled());
    EXPECT_FALSE(nav.button(DBNavigator::Button::First)->isVisibleTo(&nav));
    EXPECT_EQ(nav.button(DBNavigator::Button::Post)->toolTip(), "Запомнить");
    qry.last();
    EXPECT_FALSE(nav.button(DBNavigator::Button::Next)->isEnabled());
    qry.edit();
    qry.fieldByName("QTY").setAsInteger(77);
    EXPECT_TRUE(nav.button(DBNavigator::Button::Post)->isEnabled());
    nav.button(DBNavigator::Button::Post)->click();
    EXPECT_EQ(qry.state(), DataSetState::Browse);
    EXPECT_EQ(stored(8, "QTY"), "77");

    ScriptedDialogs d;
    d.expectError();
    qry.edit();
    qry.fieldByName("NAME").setAsString("ОШИБКА");
    nav.clickButton(DBNavigator::Button::Post);
    EXPECT_EQ(qry.state(), DataSetState::Edit);
}

// Pictures of a grid and a card for a look by eye: /tmp/widgets-grid.png, /tmp/widgets-dialog.png.
TEST_F(Look, RendersAGridAndACard)
{
    QWidget window;
    window.setWindowTitle("Клиенты");
    auto* layout = new QVBoxLayout(&window);
    auto* grid = new DBGrid(&window);
    grid->setDataSource(&src);
    grid->setColumns({{"ID", "Код", 50}, {"NAME", "Компания", 220}, {"QTY", "Кол-во"}, {"FLAG", "Платил", 60},
                      {"SUMMA", "Сумма"}});
    grid->setCellStyler([](const GridCell& cell, CellStyle& style) {
        if (cell.focused) return;
        if (cell.value("FLAG").asString() == "+") style.text = QColor(0, 128, 0);
        if (cell.value("QTY").asInt() < 10 && !cell.value("QTY").isNull()) style.font.setBold(true);
    });
    auto* nav = new DBNavigator(&window);
    nav->setDataSource(&src);
    layout->addWidget(nav);
    layout->addWidget(grid);
    window.resize(620, 290);
    showActive(window);
    grid->setFocus();
    qry.locate("ID", 3);
    grid->setSelectedIndex(1);
    type(grid, "Гамма-Плюс");
    const QPixmap g = window.grab();
    ASSERT_FALSE(g.isNull());
    EXPECT_TRUE(g.save("/tmp/widgets-grid.png"));
    qry.cancel();
    qry.locate("ID", 6);
    EXPECT_TRUE(window.grab().save("/tmp/widgets-grid-browse.png"));

    QDialog card;
    card.setWindowTitle("Карточка клиента");
    auto* form = new QFormLayout;
    auto* name = new DBEdit(&card);
    name->setDataSource(&src);
    name->setDataField("NAME");
    auto* qty = new DBEdit(&card);
    qty->setDataSource(&src);
    qty->setDataField("QTY");
    auto* sum = new DBText(&card);
    sum->setDataSource(&src);
    sum->setDataField("SUMMA");
    auto* dep = new DBLookupCombo(&card);
    dep->setDataSource(&src);
    dep->setDataField("IDOTDEL");
    dep->setListSource(&otdelSrc);
    dep->setKeyField("IDOTDEL");
    dep->setListField("OTDEL");
    auto* paid = new DBCheckBox("Платил", &card);
    paid->setDataSource(&src);
    paid->setDataField("FLAG");
    auto* kind = new DBRadioGroup("Оплата", &card);
    kind->setItems({"Оплачено", "Не оплачено"});
    kind->setValues({"+", "-"});
    kind->setDataSource(&src);
    kind->setDataField("FLAG");
    auto* memo = new DBMemo(&card);
    memo->setDataSource(&src);
    memo->setDataField("NAME");
    memo->setFixedHeight(60);
    form->addRow("Компания", name);
    form->addRow("Количество", qty);
    form->addRow("Сумма", sum);
    form->addRow("Отдел", dep);
    form->addRow("", paid);
    form->addRow(kind);
    form->addRow("О компании", memo);
    auto* cardNav = new DBNavigator(&card);
    cardNav->setDataSource(&src);
    cardNav->setVisibleButtons(DBNavigator::Button::First | DBNavigator::Button::Prior | DBNavigator::Button::Next
                               | DBNavigator::Button::Last | DBNavigator::Button::Post | DBNavigator::Button::Cancel);
    auto* buttons = new QDialogButtonBox(&card);
    buttons->addButton("OK", QDialogButtonBox::AcceptRole);
    buttons->addButton("Отмена", QDialogButtonBox::RejectRole);
    auto* v = new QVBoxLayout(&card);
    v->addWidget(cardNav);
    v->addLayout(form);
    v->addWidget(buttons);
    card.resize(420, 380);
    qry.locate("ID", 6);
    showActive(card);
    name->setFocus(Qt::TabFocusReason);
    const QPixmap c = card.grab();
    ASSERT_FALSE(c.isNull());
    EXPECT_TRUE(c.save("/tmp/widgets-dialog.png"));
}

} // namespace
