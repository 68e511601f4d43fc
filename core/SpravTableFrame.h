#pragma once

#include <QWidget>

class QPainter;
class QRect;
class QToolBar;
class QToolButton;
namespace fw {
class DBGrid;
struct GridCell;
struct CellStyle;
}

// One level of a reference list: its tool bar and its grid.
class TSpravTableFrame : public QWidget {
    Q_OBJECT
public:
    explicit TSpravTableFrame(QWidget* owner = nullptr);

    QToolBar* ToolBar;
    QToolButton* tbAdd;
    QToolButton* tbEdit;
    QToolButton* tbDel;
    fw::DBGrid* Grid;

    // The level whose buttons these are.
    int Tag = 0;

    // The row with key 0 ("none") reads grey, except in the focused cell.
    void GridDrawColumnCell(QPainter& painter, const QRect& rect, const fw::GridCell& cell,
                            fw::CellStyle& style);
};
