#pragma once

#include <QList>
#include <QPolygonF>
#include <QRectF>
#include <QWidget>

class QAction;
class QChartView;
class QGraphicsPathItem;
class QGraphicsSimpleTextItem;
class QMenu;
class QTableWidget;
class QTimer;
class QToolButton;

// A pie's label: the middle of its slice (degrees clockwise from twelve
// o'clock, as the chart counts them) and the size of its text.
struct PieLabel {
    qreal angle = 0;
    QSizeF size;
};

struct PieLabelPlace {
    QRectF rect;          // the text, as wide as it fits at the side
    QPolygonF leader;     // from the slice's edge to the text
};

struct PieLayout {
    QPointF centre;
    qreal radius = 0;
    qreal scale = 1;      // the texts are drawn this much smaller when their columns are too high
    QList<PieLabelPlace> labels;   // in the order given
};

// Every slice gets its label: in a column at the side of the pie where the
// slice lies, each as near its slice's height as the others leave room, joined
// to the slice by a leader line. No two labels overlap, none covers the pie,
// all lie inside the area; the pie takes the room the labels leave.
PieLayout LayoutPie(const QRectF& area, const QList<PieLabel>& labels);

// The chart page of the pivot report: draws the pivot table as a pie or bar
// chart of the row totals, or as a line or area chart of the rows over the
// intervals; saves or copies the picture.
class TReportChart : public QWidget {
public:
    TReportChart(QTableWidget* table, QWidget* parent = nullptr);

    QToolButton *tbPie, *tbGist, *tbLine, *tbArea, *tbSave, *tbCopy;
    QMenu *pmPie, *pmGist, *pmArea, *pmCopy;
    QAction *miPieRotate, *miPieLegend, *miGistVer, *miGistHor, *miGistLegend,
            *miAreaStairs, *miAreaStacked100, *miCopyBmp, *miCopyWmf, *miCopyEmf;
    QChartView* Chart;
    QTimer* Timer;     // 100 ms, rotates a shown pie
    int Kind = 0;      // 0 pie, 1 bar, 2 line, 3 area

    // Rebuilds the chart for the current kind from the table.
    void DrawChart();
    void SetTitle(const QString& title);

    // Kind from the button's tag (1 pie, 2 bar, 3 line, 4 area), then a redraw.
    void tbClick(QToolButton* button);
    void miCheckClick(QAction* item);
    void miRadioClick(QAction* item);
    void TimerTimer();
    void tbSaveClick();
    void tbCopyClick();

    void UpdatePieRotation();
    void UpdatePieLegend();
    void UpdateBarLegend();

    // Cuts a text longer than the screen width / 34 characters to fit, with "...".
    static QString ShortLabel(const QString& text);

    // Lays the pie and its labels out anew (see LayoutPie): after a redraw, a
    // turn and a change of the chart's size.
    void PlacePieLabels();
    // The pie's labels and their leader lines, one per slice, drawn over the chart.
    QList<QGraphicsSimpleTextItem*> PieLabels;
    QList<QGraphicsPathItem*> PieLeaders;

    void DrawPie();
    void DrawBar();
    void DrawLine();
    void DrawArea();

private:
    void clearPieLabels();
    QTableWidget* table_;
};
