#include "ReportChart.h"

#include "db/Currency.h"
#include "db/DbError.h"
#include "db/NumberFormat.h"
#include "widgets/Dialogs.h"

#include <QActionGroup>
#include <QAreaSeries>
#include <QBarCategoryAxis>
#include <QBarSet>
#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QGraphicsPathItem>
#include <QGraphicsSimpleTextItem>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHorizontalStackedBarSeries>
#include <QImage>
#include <QLocale>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPieSeries>
#include <QPieSlice>
#include <QScreen>
#include <QStackedBarSeries>
#include <QSvgGenerator>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QValueAxis>
#include <QtMath>

#include <algorithm>
#include <cmath>

namespace {

const char* const PercentFormat = "(##0.##%)";
const char* const ValueFormat = "(#,##0.###)";

QString cellText(const QTableWidget* table, int row, int column)
{
    const QTableWidgetItem* item = table->item(row, column);
    return item ? item->text() : QString();
}

// A number of the table as written by the report (two decimals, the locale's
// separator). A cell not filled yet reads as zero.
fw::Currency cellValue(const QTableWidget* table, int row, int column)
{
    return fw::Currency::parse(cellText(table, row, column)).value_or(fw::Currency());
}

// Slice rows lie between the title row and the totals row, interval columns
// between the names column and the totals column.
int sliceRows(const QTableWidget* table) { return qMax(0, table->rowCount() - 2); }
int intervalColumns(const QTableWidget* table) { return qMax(0, table->columnCount() - 2); }

fw::Currency rowTotal(const QTableWidget* table, int row)
{
    return cellValue(table, row, table->columnCount() - 1);
}

fw::Currency sumOfRows(const QTableWidget* table)
{
    fw::Currency total;
    for (int r = 1; r <= sliceRows(table); ++r)
        total += rowTotal(table, r);
    return total;
}

// Category texts must differ, or the axis drops the later ones and the bars
// lose their captions.
QStringList distinct(QStringList texts)
{
    for (int i = 1; i < texts.size(); ++i)
        while (texts.mid(0, i).contains(texts[i]))
            texts[i] += QChar(' ');
    return texts;
}

QString percentText(fw::Currency value, fw::Currency total)
{
    if (total.isZero())
        return fw::formatFloat(PercentFormat, fw::Currency());
    return fw::formatFloat(PercentFormat, value * fw::Currency::fromInt(100) / total);
}

// Twelve clearly different colours before any repeats (the chart theme has five).
QColor SeriesColor(int index)
{
    static const QRgb colours[] = {0x1f77b4, 0xff7f0e, 0x2ca02c, 0xd62728, 0x9467bd, 0x8c564b,
                                   0xe377c2, 0x7f7f7f, 0xbcbd22, 0x17becf, 0x000080, 0xffd700};
    return QColor(colours[index % std::size(colours)]);
}

struct IntervalAxes {
    QBarCategoryAxis* intervals;
    QValueAxis* values;
};

// The intervals along the bottom, as categories, and the values at the left.
IntervalAxes addIntervalAxes(QChart* chart, const QTableWidget* table)
{
    QStringList captions;
    for (int c = 1; c <= intervalColumns(table); ++c)
        captions << TReportChart::ShortLabel(cellText(table, 0, c));
    IntervalAxes axes{new QBarCategoryAxis, new QValueAxis};
    axes.intervals->append(distinct(captions));
    // Long captions on many intervals are turned on their side rather than cut.
    if (captions.size() > 6) axes.intervals->setLabelsAngle(-90);
    axes.values->setLabelFormat("%.2f");
    chart->addAxis(axes.intervals, Qt::AlignBottom);
    chart->addAxis(axes.values, Qt::AlignLeft);
    return axes;
}

void setValueRange(QValueAxis* axis, double low, double high)
{
    axis->setRange(low, high > low ? high : low + 1);
    axis->applyNiceNumbers();
}

QToolButton* toolButton(QWidget* parent, const char* name, const QString& hint, QMenu* menu)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setText(hint);
    button->setToolTip(hint);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    if (menu) {
        button->setMenu(menu);
        button->setPopupMode(QToolButton::MenuButtonPopup);
    }
    return button;
}

QAction* menuItem(QMenu* menu, const char* name, const QString& caption, bool checked)
{
    QAction* item = menu->addAction(caption);
    item->setObjectName(name);
    item->setCheckable(true);
    item->setChecked(checked);
    return item;
}

} // namespace

TReportChart::TReportChart(QTableWidget* table, QWidget* parent)
    : QWidget(parent), table_(table)
{
    setObjectName("ReportChart");

    pmPie = new QMenu(this);
    pmPie->setObjectName("pmPie");
    miPieRotate = menuItem(pmPie, "miPieRotate", "Вращать", false);
    miPieLegend = menuItem(pmPie, "miPieLegend", "Легенда", false);

    pmGist = new QMenu(this);
    pmGist->setObjectName("pmGist");
    miGistVer = menuItem(pmGist, "miGistVer", "Вертикальная", false);
    miGistHor = menuItem(pmGist, "miGistHor", "Горизонтальная", true);
    pmGist->addSeparator();
    miGistLegend = menuItem(pmGist, "miGistLegend", "Легенда", false);
    auto* gistGroup = new QActionGroup(this);
    gistGroup->addAction(miGistVer);
    gistGroup->addAction(miGistHor);

    pmArea = new QMenu(this);
    pmArea->setObjectName("pmArea");
    miAreaStairs = menuItem(pmArea, "miAreaStairs", "Столбцы", false);
    miAreaStacked100 = menuItem(pmArea, "miAreaStacked100", "Доля", false);

    pmCopy = new QMenu(this);
    pmCopy->setObjectName("pmCopy");
    miCopyBmp = menuItem(pmCopy, "miCopyBmp", "Bitmap", true);
    // The vector picture is SVG here; it is offered once, under its own name.
    miCopyWmf = menuItem(pmCopy, "miCopyWmf", "SVG", false);
    miCopyEmf = menuItem(pmCopy, "miCopyEmf", "SVG", false);
    miCopyEmf->setVisible(false);
    auto* copyGroup = new QActionGroup(this);
    copyGroup->addAction(miCopyBmp);
    copyGroup->addAction(miCopyWmf);
    copyGroup->addAction(miCopyEmf);

    tbPie = toolButton(this, "tbPie", "Круговая", pmPie);
    tbGist = toolButton(this, "tbGist", "Гистогамма", pmGist);
    tbLine = toolButton(this, "tbLine", "График", nullptr);
    tbArea = toolButton(this, "tbArea", "С областями", pmArea);
    tbSave = toolButton(this, "tbSave", "Сохранить", nullptr);
    tbCopy = toolButton(this, "tbCopy", "Копировать", pmCopy);
    tbPie->setProperty("tag", 1);
    tbGist->setProperty("tag", 2);
    tbLine->setProperty("tag", 3);
    tbArea->setProperty("tag", 4);

    auto* chart = new QChart;
    chart->setBackgroundBrush(Qt::white);
    chart->setPlotAreaBackgroundVisible(false);
    chart->setBackgroundRoundness(0);
    chart->setDropShadowEnabled(false);
    QFont titleFont("Arial");
    titleFont.setBold(true);
    titleFont.setPointSize(12);
    chart->setTitleFont(titleFont);
    chart->setTitleBrush(Qt::blue);
    chart->legend()->setAlignment(Qt::AlignRight);
    chart->legend()->setVisible(false);
    Chart = new QChartView(chart, this);
    Chart->setObjectName("Chart");
    Chart->setRenderHint(QPainter::Antialiasing);
    Chart->setFrameShape(QFrame::NoFrame);

    Timer = new QTimer(this);
    Timer->setObjectName("Timer");
    Timer->setInterval(100);

    auto* tools = new QHBoxLayout;
    tools->setContentsMargins(0, 0, 0, 0);
    tools->setSpacing(2);
    for (QToolButton* b : {tbPie, tbGist, tbLine, tbArea})
        tools->addWidget(b);
    tools->addSpacing(12);
    tools->addWidget(tbSave);
    tools->addWidget(tbCopy);
    tools->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addLayout(tools);
    layout->addWidget(Chart, 1);

    for (QToolButton* b : {tbPie, tbGist, tbLine, tbArea})
        connect(b, &QToolButton::clicked, this, [this, b] { tbClick(b); });
    for (QAction* item : {miPieRotate, miPieLegend, miGistLegend, miAreaStairs, miAreaStacked100}) {
        // The item's own toggle is undone so that the handler inverts it once, as on a direct call.
        connect(item, &QAction::triggered, this, [this, item] {
            item->setChecked(!item->isChecked());
            miCheckClick(item);
        });
    }
    for (QAction* item : {miGistVer, miGistHor, miCopyBmp, miCopyWmf, miCopyEmf})
        connect(item, &QAction::triggered, this, [this, item] { miRadioClick(item); });
    connect(tbSave, &QToolButton::clicked, this, &TReportChart::tbSaveClick);
    connect(tbCopy, &QToolButton::clicked, this, &TReportChart::tbCopyClick);
    connect(Timer, &QTimer::timeout, this, &TReportChart::TimerTimer);
    connect(chart, &QChart::plotAreaChanged, this, &TReportChart::PlacePieLabels);
}

void TReportChart::SetTitle(const QString& title)
{
    Chart->chart()->setTitle(title);
}

QString TReportChart::ShortLabel(const QString& text)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return text;
    const int n = screen->geometry().width() / 34;
    if (text.size() > n)
        return text.left(qMax(0, n - 3)) + "...";
    return text;
}

void TReportChart::DrawChart()
{
    Timer->stop();
    clearPieLabels();
    QChart* chart = Chart->chart();
    chart->removeAllSeries();
    for (QAbstractAxis* axis : chart->axes()) {
        chart->removeAxis(axis);
        delete axis;
    }
    Chart->setRubberBand(QChartView::RectangleRubberBand);
    // Axis numbers in the program's locale, like the table's.
    chart->setLocale(QLocale());
    chart->setLocalizeNumbers(true);
    switch (Kind) {
    case 0: DrawPie(); break;
    case 1: DrawBar(); break;
    case 2: DrawLine(); break;
    case 3: DrawArea(); break;
    default: break;
    }
}

// Qt Charts has no 3D view: pies and bars are drawn flat.
void TReportChart::DrawPie()
{
    Chart->setRubberBand(QChartView::NoRubberBand);
    auto* series = new QPieSeries;
    const fw::Currency total = sumOfRows(table_);
    for (int r = 1; r <= sliceRows(table_); ++r) {
        const fw::Currency value = rowTotal(table_, r);
        const QString label = ShortLabel(cellText(table_, r, 0));
        const QString percent = percentText(value, total);
        QPieSlice* slice = series->append(label + " " + percent, value.toDouble());
        slice->setProperty("name", label);
        slice->setProperty("percent", percent);
        slice->setColor(SeriesColor(r - 1));
    }
    // The slices' own labels would cover each other: the chart draws ours (PlacePieLabels).
    series->setLabelsVisible(false);
    series->setPieSize(0.6);
    Chart->chart()->addSeries(series);
    for (QPieSlice* slice : series->slices()) {
        auto* leader = new QGraphicsPathItem(Chart->chart());
        leader->setPen(QPen(slice->color().darker(130), 1));
        leader->setZValue(10);
        auto* text = new QGraphicsSimpleTextItem(slice->label(), Chart->chart());
        text->setFont(slice->labelFont());
        text->setBrush(slice->labelBrush());
        text->setZValue(11);
        PieLeaders << leader;
        PieLabels << text;
    }
    // A slice's border runs from the centre at both its edges: the only slice of a pie
    // would show it as a seam, and an empty slice as a stray line.
    const QList<QPieSlice*> slices = series->slices();
    const auto filled = std::count_if(slices.begin(), slices.end(), [](const QPieSlice* s) { return s->value() != 0; });
    for (QPieSlice* slice : slices)
        if (slice->value() == 0 || filled == 1) slice->setPen(Qt::NoPen);
    PlacePieLabels();
    // The legend shows the name with the value at the right.
    const QList<QLegendMarker*> markers = Chart->chart()->legend()->markers(series);
    for (int i = 0; i < markers.size() && i < series->count(); ++i)
        markers[i]->setLabel(series->slices().at(i)->property("name").toString() + "  "
                             + fw::formatFloat(ValueFormat, rowTotal(table_, i + 1)));
    UpdatePieRotation();
    UpdatePieLegend();
}

void TReportChart::DrawBar()
{
    const bool vertical = miGistVer->isChecked();
    QAbstractBarSeries* series = vertical ? static_cast<QAbstractBarSeries*>(new QStackedBarSeries)
                                          : new QHorizontalStackedBarSeries;
    const int rows = sliceRows(table_);
    const fw::Currency total = sumOfRows(table_);
    QStringList categories;
    // One set per row, holding its value in its own category only, gives each bar its own colour.
    for (int r = 1; r <= rows; ++r) {
        const fw::Currency value = rowTotal(table_, r);
        const QString label = ShortLabel(cellText(table_, r, 0));
        auto* set = new QBarSet(label);
        set->setColor(SeriesColor(r - 1));
        for (int i = 1; i <= rows; ++i)
            *set << (i == r ? value.toDouble() : 0.0);
        series->append(set);
        categories << label + " " + percentText(value, total);
    }
    QChart* chart = Chart->chart();
    chart->addSeries(series);
    auto* names = new QBarCategoryAxis;
    names->append(distinct(categories));
    auto* values = new QValueAxis;
    values->setLabelFormat("%.2f");
    chart->addAxis(names, vertical ? Qt::AlignBottom : Qt::AlignLeft);
    chart->addAxis(values, vertical ? Qt::AlignLeft : Qt::AlignBottom);
    series->attachAxis(names);
    series->attachAxis(values);
    setValueRange(values, qMin(0.0, values->min()), values->max());
    const QList<QLegendMarker*> markers = chart->legend()->markers(series);
    for (int i = 0; i < markers.size() && i < rows; ++i)
        markers[i]->setLabel(series->barSets().at(i)->label() + "  "
                             + fw::formatFloat(ValueFormat, rowTotal(table_, i + 1)));
    UpdateBarLegend();
}

void TReportChart::DrawLine()
{
    QChart* chart = Chart->chart();
    chart->legend()->setVisible(true);
    const int columns = intervalColumns(table_);
    const IntervalAxes axes = addIntervalAxes(chart, table_);
    double low = 0, high = 0;
    for (int r = 1; r <= sliceRows(table_); ++r) {
        auto* series = new QLineSeries;
        series->setName(ShortLabel(cellText(table_, r, 0)));
        for (int c = 1; c <= columns; ++c) {
            const double y = cellValue(table_, r, c).toDouble();
            series->append(c - 1, y);
            low = qMin(low, y);
            high = qMax(high, y);
        }
        chart->addSeries(series);
        QPen pen = series->pen();
        pen.setColor(SeriesColor(r - 1));
        pen.setWidth(2);
        series->setPen(pen);
        series->attachAxis(axes.intervals);
        series->attachAxis(axes.values);
    }
    setValueRange(axes.values, low, high);
}

void TReportChart::DrawArea()
{
    QChart* chart = Chart->chart();
    chart->legend()->setVisible(true);
    const int rows = sliceRows(table_);
    const int columns = intervalColumns(table_);
    const bool stairs = miAreaStairs->isChecked();
    const bool share = miAreaStacked100->isChecked();
    const IntervalAxes axes = addIntervalAxes(chart, table_);

    // Areas are stacked: each row lies on the sum of the rows before it.
    QList<double> columnTotal(columns, 0.0);
    for (int r = 1; r <= rows; ++r)
        for (int c = 1; c <= columns; ++c)
            columnTotal[c - 1] += cellValue(table_, r, c).toDouble();
    QList<double> base(columns, 0.0);
    double low = 0, high = 0;
    for (int r = 1; r <= rows; ++r) {
        auto* upper = new QLineSeries;
        auto* lower = new QLineSeries;
        for (int c = 1; c <= columns; ++c) {
            double y = cellValue(table_, r, c).toDouble();
            if (share)
                y = columnTotal[c - 1] != 0 ? y * 100 / columnTotal[c - 1] : 0;
            const double x = c - 1;
            const double bottom = base[c - 1];
            const double top = bottom + y;
            base[c - 1] = top;
            low = qMin(low, qMin(bottom, top));
            high = qMax(high, qMax(bottom, top));
            if (stairs) {
                // Each interval becomes a flat column as wide as its category.
                upper->append(x - 0.5, top);
                upper->append(x + 0.5, top);
                lower->append(x - 0.5, bottom);
                lower->append(x + 0.5, bottom);
            } else {
                upper->append(x, top);
                lower->append(x, bottom);
            }
        }
        auto* series = new QAreaSeries(upper, lower);
        upper->setParent(series);
        lower->setParent(series);
        series->setName(ShortLabel(cellText(table_, r, 0)));
        chart->addSeries(series);
        series->setColor(SeriesColor(r - 1));
        series->setBorderColor(SeriesColor(r - 1).darker(130));
        series->attachAxis(axes.intervals);
        series->attachAxis(axes.values);
    }
    if (share) {
        axes.values->setLabelFormat("%.0f%");
        axes.values->setRange(0, 100);
    } else {
        setValueRange(axes.values, low, high);
    }
}

void TReportChart::tbClick(QToolButton* button)
{
    Kind = button->property("tag").toInt() - 1;
    DrawChart();
}

void TReportChart::miCheckClick(QAction* item)
{
    item->setChecked(!item->isChecked());
    if (item == miPieRotate && Kind == 0)
        UpdatePieRotation();
    else if (item == miPieLegend && Kind == 0)
        UpdatePieLegend();
    else if (item == miGistLegend && Kind == 1)
        UpdateBarLegend();
    else if ((item == miAreaStairs || item == miAreaStacked100) && Kind == 3)
        DrawChart();
}

void TReportChart::miRadioClick(QAction* item)
{
    item->setChecked(true);
    if (Kind == 1)
        DrawChart();
}

void TReportChart::TimerTimer()
{
    if (Kind != 0 || Chart->chart()->series().isEmpty())
        return;
    auto* pie = qobject_cast<QPieSeries*>(Chart->chart()->series().first());
    if (!pie)
        return;
    qreal start = pie->pieStartAngle() + 5;
    if (start >= 360)
        start -= 360;
    pie->setPieStartAngle(start);
    pie->setPieEndAngle(start + 360);
    PlacePieLabels();
}

namespace {

QPointF along(QPointF centre, qreal degrees, qreal length)
{
    const qreal a = qDegreesToRadians(degrees);
    return centre + QPointF(qSin(a) * length, -qCos(a) * length);
}

} // namespace

PieLayout LayoutPie(const QRectF& area, const QList<PieLabel>& labels)
{
    const qreal arm = 10;       // the leader's piece straight out of the slice
    const qreal gap = 6;        // between the arm's end and the column
    const qreal spacing = 1;    // between two labels of a column
    PieLayout out;
    out.centre = area.center();
    const int n = int(labels.size());
    QList<int> side[2];         // 0 right, 1 left
    QList<qreal> angles(n);
    for (int i = 0; i < n; ++i) {
        qreal a = std::fmod(labels[i].angle, 360.0);
        if (a < 0) a += 360;
        angles[i] = a;
        side[a < 180 ? 0 : 1] << i;
    }
    // Texts are made smaller when a column would be higher than the area.
    qreal highest = 0;
    for (const QList<int>& column : side) {
        qreal h = 0;
        for (int i : column) h += labels[i].size.height() + spacing;
        highest = qMax(highest, h);
    }
    out.scale = highest > area.height() ? area.height() / highest * 0.999 : 1.0;
    qreal widest[2] = {0, 0};
    for (int s = 0; s < 2; ++s)
        for (int i : side[s]) widest[s] = qMax(widest[s], labels[i].size.width() * out.scale);

    // The pie is as large as the columns beside it leave room for, within reason.
    const qreal aside = 2 * (arm + gap);
    const qreal smallest = qMax<qreal>(8, qMin(area.width(), area.height()) * 0.15);
    qreal radius = std::min({(area.width() - widest[0] - widest[1] - aside) / 2, area.height() / 2 - arm,
                             qMin(area.width(), area.height()) / 2 * 0.8});
    if (radius >= smallest) {
        const qreal spare = area.width() - widest[0] - widest[1] - aside - 2 * radius;
        out.centre.setX(area.left() + widest[1] + arm + gap + radius + spare / 2);
    } else {
        // Too wide for the area: the texts are cut at the sides of a pie of the least size.
        radius = qMax<qreal>(1, qMin(smallest, area.height() / 2 - arm));
        const qreal room = qMax<qreal>(1, (area.width() - aside) / 2 - radius);
        widest[0] = qMin(widest[0], room);
        widest[1] = qMin(widest[1], room);
    }
    out.radius = radius;
    const QPointF c = out.centre;
    const qreal right = c.x() + radius + arm + gap, left = c.x() - radius - arm - gap;

    out.labels.resize(n);
    for (int s = 0; s < 2; ++s) {
        QList<int> column = side[s];
        QList<qreal> top(column.size()), height(column.size());
        // Each text as near its slice's height as it can be, in the order of those heights.
        const auto wanted = [&](int i) { return c.y() - qCos(qDegreesToRadians(angles[i])) * (radius + arm); };
        std::stable_sort(column.begin(), column.end(), [&](int a, int b) { return wanted(a) < wanted(b); });
        for (int k = 0; k < column.size(); ++k) {
            height[k] = labels[column[k]].size.height() * out.scale;
            top[k] = wanted(column[k]) - height[k] / 2;
        }
        // Pushed down where they would cover each other, then up from the bottom edge.
        const qreal apart = spacing * out.scale;
        for (int k = 0; k < column.size(); ++k)
            top[k] = qMax(top[k], k == 0 ? area.top() : top[k - 1] + height[k - 1] + apart);
        for (int k = int(column.size()) - 1; k >= 0; --k)
            top[k] = qMin(top[k], k == column.size() - 1 ? area.bottom() - height[k] : top[k + 1] - height[k] - apart);
        for (int k = 0; k < column.size(); ++k) {
            const int i = column[k];
            const qreal w = qMin(labels[i].size.width() * out.scale, widest[s]);
            PieLabelPlace& place = out.labels[i];
            place.rect = s == 0 ? QRectF(right, top[k], w, height[k]) : QRectF(left - w, top[k], w, height[k]);
            place.leader << along(c, angles[i], radius) << along(c, angles[i], radius + arm)
                         << QPointF(s == 0 ? right - 2 : left + 2, top[k] + height[k] / 2);
        }
    }
    return out;
}

void TReportChart::clearPieLabels()
{
    qDeleteAll(PieLabels);
    qDeleteAll(PieLeaders);
    PieLabels.clear();
    PieLeaders.clear();
}

void TReportChart::PlacePieLabels()
{
    QChart* chart = Chart->chart();
    if (Kind != 0 || chart->series().isEmpty())
        return;
    auto* pie = qobject_cast<QPieSeries*>(chart->series().first());
    const QRectF area = chart->plotArea();
    if (!pie || area.isEmpty() || PieLabels.size() != pie->count())
        return;
    const QList<QPieSlice*> slices = pie->slices();
    QList<PieLabel> input;
    for (int i = 0; i < slices.size(); ++i) {
        PieLabels[i]->setText(slices[i]->label());
        input << PieLabel{slices[i]->startAngle() + slices[i]->angleSpan() / 2, PieLabels[i]->boundingRect().size()};
    }
    const PieLayout layout = LayoutPie(area, input);
    pie->setPieSize(layout.radius / (qMin(area.width(), area.height()) / 2));
    pie->setHorizontalPosition((layout.centre.x() - area.left()) / area.width());
    pie->setVerticalPosition((layout.centre.y() - area.top()) / area.height());
    for (int i = 0; i < slices.size(); ++i) {
        QGraphicsSimpleTextItem* text = PieLabels[i];
        const PieLabelPlace& place = layout.labels[i];
        // A text cut to the room at the side keeps its percent whole.
        if (text->boundingRect().width() * layout.scale > place.rect.width() + 0.5) {
            const QString percent = slices[i]->property("percent").toString();
            const QFontMetricsF fm(text->font());
            const qreal room = place.rect.width() / layout.scale - fm.horizontalAdvance(" " + percent) - 4;
            text->setText(fm.elidedText(slices[i]->property("name").toString(), Qt::ElideRight, qMax<qreal>(0, room))
                          + " " + percent);
        }
        text->setScale(layout.scale);
        text->setPos(place.rect.topLeft());
        QPainterPath path;
        path.addPolygon(place.leader);
        PieLeaders[i]->setPath(path);
    }
}

void TReportChart::UpdatePieRotation()
{
    if (miPieRotate->isChecked())
        Timer->start();
    else
        Timer->stop();
}

void TReportChart::UpdatePieLegend()
{
    Chart->chart()->legend()->setVisible(miPieLegend->isChecked());
}

void TReportChart::UpdateBarLegend()
{
    Chart->chart()->legend()->setVisible(miGistLegend->isChecked());
}

namespace {

QImage chartBitmap(QChartView* view)
{
    return view->grab().toImage();
}

// The vector picture of the chart (our metafile).
QByteArray chartSvg(QChartView* view, const QString& title)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(view->viewport()->size());
    svg.setViewBox(QRect(QPoint(0, 0), view->viewport()->size()));
    svg.setTitle(title);
    QPainter painter(&svg);
    view->render(&painter, QRectF(), view->viewport()->rect());
    painter.end();
    return data;
}

} // namespace

void TReportChart::tbSaveClick()
{
    fw::FileDialog dialog;
    dialog.filter = "Bitmap (*.bmp)|*.bmp|SVG (*.svg)|*.svg";
    dialog.filterIndex = 1;
    if (!fw::dialogs().saveFile(dialog))
        return;
    // The chosen entry decides the picture's type, whatever extension was typed.
    static const char* const extensions[] = {".bmp", ".svg"};
    const int entry = qBound(1, dialog.filterIndex, 2);
    QString fileName = dialog.fileName;
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix.isEmpty() || "." + suffix != extensions[entry - 1])
        fileName += extensions[entry - 1];

    bool saved = false;
    if (entry == 1) {
        saved = chartBitmap(Chart).save(fileName, "BMP");
    } else {
        QFile file(fileName);
        const QByteArray svg = chartSvg(Chart, Chart->chart()->title());
        saved = file.open(QIODevice::WriteOnly) && file.write(svg) == svg.size() && file.flush();
        file.close();
        saved = saved && file.error() == QFileDevice::NoError;
    }
    if (!saved)
        throw fw::Error(QString("Не удалось сохранить файл \"%1\"").arg(fileName));
}

void TReportChart::tbCopyClick()
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (miCopyBmp->isChecked()) {
        clipboard->setImage(chartBitmap(Chart));
        return;
    }
    // A bitmap goes beside the SVG for the programs that cannot paste SVG.
    auto* data = new QMimeData;
    data->setData("image/svg+xml", chartSvg(Chart, Chart->chart()->title()));
    data->setImageData(chartBitmap(Chart));
    clipboard->setMimeData(data);
}
