#pragma once

#include <QWidget>

class QAction;
class QChartView;
class QMenu;
class QTableWidget;
class QTimer;
class QToolButton;

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

    // Labels of the pie that would overlap a larger slice's are left to the legend.
    void PlacePieLabels();

    void DrawPie();
    void DrawBar();
    void DrawLine();
    void DrawArea();

private:
    QTableWidget* table_;
};
