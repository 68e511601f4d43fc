#include "SpravTableFrame.h"

#include "core/SharedProcs.h"
#include "core/dm.h"

#include "widgets/DBGrid.h"

#include <QHeaderView>
#include <QPalette>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

TSpravTableFrame::TSpravTableFrame(QWidget* owner) : QWidget(owner)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    ToolBar = new QToolBar(this);
    ToolBar->setObjectName("ToolBar");
    ToolBar->setIconSize(QSize(16, 16));
    tbAdd = AddToolButton(ToolBar, "tbAdd", "Создать", 0);
    tbEdit = AddToolButton(ToolBar, "tbEdit", "Изменить", 1);
    tbDel = AddToolButton(ToolBar, "tbDel", "Удалить", 2);
    // The grid edits in place; the edit button stays for the tool bar's layout only.
    for (QAction* a : ToolBar->actions())
        if (ToolBar->widgetForAction(a) == tbEdit) a->setVisible(false);
    layout->addWidget(ToolBar);

    Grid = new fw::DBGrid(this);
    Grid->setObjectName("Grid");
    Grid->setOptions({fw::DBGrid::Option::Titles, fw::DBGrid::Option::Indicator, fw::DBGrid::Option::Tabs,
                      fw::DBGrid::Option::CancelOnExit, fw::DBGrid::Option::AllowInsert});
    Grid->setCellDrawer([this](QPainter& p, const QRect& r, const fw::GridCell& c, fw::CellStyle& s) {
        GridDrawColumnCell(p, r, c, s);
    });
    layout->addWidget(Grid, 1);
}

void TSpravTableFrame::GridDrawColumnCell(QPainter& painter, const QRect& rect, const fw::GridCell& cell,
                                          fw::CellStyle& style)
{
    if (!cell.focused && cell.grid && cell.grid->dataSet() && cell.grid->dataSet()->fieldCount() > 0) {
        const fw::Value key = cell.value(cell.grid->dataSet()->field(0).fieldName());
        if (!key.isNull() && key.asInt() == 0) style.text = palette().color(QPalette::Disabled, QPalette::Text);
    }
    if (cell.grid) cell.grid->defaultDrawCell(painter, rect, cell, style);
}
