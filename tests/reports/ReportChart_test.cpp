#include "reports/ReportChart.h"

#include "db/DbError.h"
#include "widgets/ScriptedDialogs.h"

#include <QAction>
#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLocale>
#include <QMimeData>
#include <QScopeGuard>
#include <QScreen>
#include <QSvgRenderer>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtCharts>
#include <gtest/gtest.h>
#include <numeric>
#include <random>

namespace {

// The pivot table as the report leaves it: titles in row 0 and column 0,
// totals in the last row and column, numbers with two decimals and ",".
void fillTable(QTableWidget& t, const QStringList& names, const QStringList& intervals,
               const QList<QList<double>>& values)
{
    t.setRowCount(int(names.size()) + 2);
    t.setColumnCount(int(intervals.size()) + 2);
    auto set = [&](int r, int c, const QString& text) { t.setItem(r, c, new QTableWidgetItem(text)); };
    auto number = [](double v) { return QString::number(v, 'f', 2).replace('.', ','); };
    const QStringList titles = QStringList{"Группа товара"} + intervals + QStringList{"Итого:"};
    for (int c = 0; c < titles.size(); ++c)
        set(0, c, titles[c]);
    QList<double> columnTotal(intervals.size() + 1, 0.0);
    for (int r = 0; r < names.size(); ++r) {
        set(r + 1, 0, names[r]);
        for (int c = 0; c < intervals.size(); ++c) {
            set(r + 1, c + 1, number(values[r][c]));
            columnTotal[c] += values[r][c];
            columnTotal.back() += values[r][c];
        }
        set(r + 1, t.columnCount() - 1, number(std::accumulate(values[r].begin(), values[r].end(), 0.0)));
    }
    set(t.rowCount() - 1, 0, "Итого:");
    for (int c = 0; c < columnTotal.size(); ++c)
        set(t.rowCount() - 1, c + 1, number(columnTotal[c]));
}

QString longName() { return QString(200, QChar(0x0416)); }   // far wider than any screen's limit

QString cut(const QString& text)
{
    const int n = QGuiApplication::primaryScreen()->geometry().width() / 34;
    return text.size() > n ? text.left(n - 3) + "..." : text;
}

class ReportChartTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fillTable(table, {"Принтеры", longName(), "Бумага"}, {"10.03.2024", "20.03.2024", "25.03.2024"},
                  {{1000.5, 200, 0}, {300, 400.25, 50}, {0, 0, 12.75}});
        chart.resize(900, 600);
    }

    QList<QAbstractSeries*> series() const { return chart.Chart->chart()->series(); }
    void choose(QToolButton* button) { button->click(); }

    QTableWidget table;
    TReportChart chart{&table};
};

TEST_F(ReportChartTest, EmptyReportDrawsEmptyChartOfEveryKind)
{
    fillTable(table, {}, {"01.03.2024 - 31.03.2024"}, {});
    for (QToolButton* b : {chart.tbPie, chart.tbGist, chart.tbLine, chart.tbArea}) {
        choose(b);
        EXPECT_LE(series().size(), 1);
        EXPECT_FALSE(chart.Chart->grab().isNull());
    }
    QTableWidget blank;   // a table the report never filled
    TReportChart fresh(&blank);
    fresh.DrawChart();
    EXPECT_EQ(qobject_cast<QPieSeries*>(fresh.Chart->chart()->series().first())->count(), 0);
}

TEST_F(ReportChartTest, PieAndBarShowRowTotalsUnderShortNames)
{
    chart.DrawChart();
    auto* pie = qobject_cast<QPieSeries*>(series().first());
    ASSERT_TRUE(pie && pie->count() == 3);
    const QList<double> totals{1200.5, 750.25, 12.75};
    for (int i = 0; i < 3; ++i)
        EXPECT_DOUBLE_EQ(pie->slices()[i]->value(), totals[i]);
    EXPECT_TRUE(pie->slices()[0]->label().startsWith("Принтеры ("));
    EXPECT_TRUE(pie->slices()[1]->label().startsWith(cut(longName()) + " "));
    EXPECT_TRUE(chart.Chart->chart()->legend()->markers(pie)[1]->label().startsWith(cut(longName()) + "  ("));

    choose(chart.tbGist);
    auto* bars = qobject_cast<QHorizontalStackedBarSeries*>(series().first());
    ASSERT_TRUE(bars && bars->count() == 3) << "horizontal is the default";
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            EXPECT_DOUBLE_EQ(bars->barSets()[i]->at(j), i == j ? totals[i] : 0.0);
    EXPECT_EQ(bars->barSets()[1]->label(), cut(longName()));
    EXPECT_NE(bars->barSets()[0]->color(), bars->barSets()[1]->color());
    chart.miGistVer->trigger();
    EXPECT_FALSE(chart.miGistHor->isChecked());
    EXPECT_TRUE(qobject_cast<QStackedBarSeries*>(series().first()));
}

TEST_F(ReportChartTest, LineAndAreaHaveOneSeriesPerRowAndOnePointPerInterval)
{
    choose(chart.tbLine);
    ASSERT_EQ(series().size(), 3);
    auto* line = qobject_cast<QLineSeries*>(series()[1]);
    EXPECT_EQ(line->name(), cut(longName()));
    ASSERT_EQ(line->count(), 3);
    EXPECT_DOUBLE_EQ(line->at(1).y(), 400.25);

    choose(chart.tbArea);
    ASSERT_EQ(series().size(), 3);
    auto* area = qobject_cast<QAreaSeries*>(series()[1]);
    ASSERT_EQ(area->upperSeries()->count(), 3);
    EXPECT_DOUBLE_EQ(area->lowerSeries()->at(1).y(), 200) << "stacked on the row before";
    EXPECT_DOUBLE_EQ(area->upperSeries()->at(1).y(), 600.25);
    chart.miAreaStacked100->trigger();
    auto* top = qobject_cast<QAreaSeries*>(series()[2]);
    EXPECT_DOUBLE_EQ(top->upperSeries()->at(0).y(), 100);
    chart.miAreaStairs->trigger();
    EXPECT_EQ(qobject_cast<QAreaSeries*>(series()[0])->upperSeries()->count(), 6) << "a flat column per interval";
}

TEST_F(ReportChartTest, RotationRunsOnlyWithPieAndRotateChecked)
{
    chart.DrawChart();
    chart.miPieRotate->trigger();
    EXPECT_TRUE(chart.Timer->isActive());
    auto* pie = qobject_cast<QPieSeries*>(series().first());
    chart.TimerTimer();
    chart.TimerTimer();
    EXPECT_DOUBLE_EQ(pie->pieStartAngle(), 10);
    EXPECT_DOUBLE_EQ(pie->pieEndAngle(), 370);

    choose(chart.tbGist);
    EXPECT_FALSE(chart.Timer->isActive());
    chart.miPieRotate->trigger();
    chart.miPieRotate->trigger();   // checked again, still no pie
    EXPECT_FALSE(chart.Timer->isActive());
    choose(chart.tbPie);
    EXPECT_TRUE(chart.Timer->isActive());
}

TEST_F(ReportChartTest, LegendFollowsItsMenuItem)
{
    QLegend* legend = chart.Chart->chart()->legend();
    chart.DrawChart();
    EXPECT_FALSE(legend->isVisible());
    chart.miPieLegend->trigger();
    EXPECT_TRUE(legend->isVisible());
    choose(chart.tbGist);
    EXPECT_FALSE(legend->isVisible()) << "the bar chart has its own legend item";
    chart.miGistLegend->trigger();
    EXPECT_TRUE(legend->isVisible());
    choose(chart.tbLine);
    EXPECT_TRUE(legend->isVisible());
}

class ReportChartSave : public ReportChartTest {
protected:
    QTemporaryDir dir;
    fw::ScriptedDialogs dialogs;
};

TEST_F(ReportChartSave, EntryDecidesTheTypeAndTheExtension)
{
    const QString bmp = dir.filePath("chart.bmp");
    dialogs.expectSaveFile(bmp, 2).expectSaveFile(dir.filePath("chart.SVG"), 2)
        .expectSaveFile(dir.filePath("picture"), 1);
    chart.DrawChart();
    chart.tbSave->click();
    EXPECT_FALSE(QFile::exists(bmp));
    QFile svg(bmp + ".svg");
    ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QSvgRenderer(svg.readAll()).isValid());

    chart.tbSave->click();
    EXPECT_TRUE(QFile::exists(dir.filePath("chart.SVG")));
    EXPECT_FALSE(QFile::exists(dir.filePath("chart.SVG.svg")));

    chart.tbSave->click();
    QFile file(dir.filePath("picture.bmp"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.read(2), "BM");
    EXPECT_EQ(QImage(file.fileName(), "BMP").size(), chart.Chart->viewport()->size());
}

TEST_F(ReportChartSave, CancelSavesNothingAndFailedWriteSaysSo)
{
    dialogs.expectSaveFile({}).expectSaveFile(dir.filePath("missing/chart.bmp"), 1);
    chart.tbSave->click();
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
    EXPECT_THROW(chart.tbSaveClick(), fw::Error);
}

TEST_F(ReportChartTest, CopyPutsBitmapOrVectorPictureOnTheClipboard)
{
    chart.DrawChart();
    chart.tbCopy->click();
    EXPECT_FALSE(QGuiApplication::clipboard()->image().isNull());
    chart.miCopyEmf->trigger();
    EXPECT_FALSE(chart.miCopyBmp->isChecked());
    chart.tbCopy->click();
    EXPECT_TRUE(QSvgRenderer(QGuiApplication::clipboard()->mimeData()->data("image/svg+xml")).isValid());
    EXPECT_FALSE(QGuiApplication::clipboard()->image().isNull());   // and a bitmap beside it
}

// Every slice has its label, none over another, none over the pie, all inside the
// area: generated over pies of one to forty slices, tiny ones among them, texts of
// every width, areas of every shape.
TEST(PieLayout, EverySliceIsLabelledApartInsideTheArea)
{
    std::mt19937 random(3103);
    const auto uniform = [&](double low, double high) { return low + (high - low) * (random() % 10001) / 10000.0; };
    for (int round = 0; round < 500; ++round) {
        const QRectF area(uniform(0, 40), uniform(0, 40), uniform(250, 1400), uniform(180, 900));
        const int n = 1 + int(random() % 40);
        QList<double> values;
        for (int i = 0; i < n; ++i) values << (random() % 3 == 0 ? uniform(0, 0.02) : uniform(0.5, 100));
        const double total = std::accumulate(values.begin(), values.end(), 0.0);
        const double start = uniform(0, 360);
        QList<PieLabel> labels;
        QList<double> from;
        double at = start;
        for (double v : values) {
            const double span = total > 0 ? v / total * 360 : 0;
            from << at;
            labels << PieLabel{at + span / 2, QSizeF(uniform(15, 420), uniform(12, 20))};
            at += span;
        }
        SCOPED_TRACE(::testing::Message() << "round " << round << ", " << n << " slices in " << area.width() << "x"
                                          << area.height());
        const PieLayout layout = LayoutPie(area, labels);
        ASSERT_EQ(layout.labels.size(), n);
        EXPECT_GT(layout.radius, 0);
        EXPECT_GT(layout.scale, 0);
        const QRectF inside = area.adjusted(-0.01, -0.01, 0.01, 0.01);
        for (int i = 0; i < n; ++i) {
            const QRectF r = layout.labels[i].rect;
            EXPECT_TRUE(r.width() > 0 && r.height() > 0) << i;
            EXPECT_TRUE(inside.contains(r)) << i;
            // Off the pie: the nearest point of the text to the centre lies beyond the radius.
            const QPointF c = layout.centre;
            const QPointF nearest(qBound(r.left(), c.x(), r.right()), qBound(r.top(), c.y(), r.bottom()));
            EXPECT_GT(QLineF(c, nearest).length(), layout.radius) << i;
            for (int j = 0; j < i; ++j)
                EXPECT_FALSE(r.intersects(layout.labels[j].rect)) << i << " and " << j;
            // The leader leaves the pie's edge at the middle of the slice and ends at its text.
            const QPolygonF& leader = layout.labels[i].leader;
            ASSERT_GE(leader.size(), 2);
            EXPECT_NEAR(QLineF(c, leader.first()).length(), layout.radius, 0.01);
            EXPECT_LE(QLineF(leader.last(), QPointF(leader.last().x() < c.x() ? r.right() : r.left(), r.center().y())).length(), 3);
        }
    }
}

// The region report: 24 slices, a few large, many small; every one is named with its
// percent in a label of its own, drawn on the chart, with the legend off and on.
TEST_F(ReportChartTest, EverySliceOfTheRegionPieHasItsLabel)
{
    const QStringList names{"Москва", "Санкт-Петербург", "Новосибирская область", "Свердловская область", "Алматы",
                            "Минск", "Киев", "Астана", "Ереван", "Ташкент", "Краснодарский край", "Татарстан",
                            "Самарская область", "Ростовская область", "Пермский край", "Омская область", "Баку",
                            "Тбилиси", "Кишинёв", "Рига", "Вильнюс", "Таллин", "Бишкек", "Душанбе"};
    const QList<double> shares{31, 18, 9, 1.02, 7, 6, 5, 1.67, 1.36, 3, 2.5, 2.4, 2, 1.9, 1.5, 1.2, 1.1, 1, 0.9,
                               0.8, 0.7, 0.5, 0.3, 0.1};
    QList<QList<double>> values;
    for (double v : shares) values << QList<double>{v * 1000};
    fillTable(table, names, {"31.03.2024"}, values);
    chart.SetTitle("Регион");
    chart.resize(1000, 640);
    chart.show();
    choose(chart.tbPie);
    QCoreApplication::processEvents();
    auto* pie = qobject_cast<QPieSeries*>(series().first());
    ASSERT_TRUE(pie && pie->count() == 24);
    const auto check = [&](const char* when) {
        SCOPED_TRACE(when);
        ASSERT_EQ(chart.PieLabels.size(), 24);
        QList<QRectF> seen;
        const QRect view = chart.Chart->viewport()->rect();
        for (int i = 0; i < 24; ++i) {
            const QGraphicsSimpleTextItem* label = chart.PieLabels[i];
            EXPECT_TRUE(label->isVisible());
            EXPECT_TRUE(label->text().startsWith(cut(names[i]).left(6))) << label->text().toStdString();
            EXPECT_TRUE(label->text().endsWith("%)")) << label->text().toStdString();
            const QRectF r = label->sceneBoundingRect();
            EXPECT_TRUE(QRectF(view).contains(chart.Chart->mapFromScene(r).boundingRect())) << i;
            for (int j = 0; j < i; ++j) EXPECT_FALSE(r.intersects(seen[j])) << names[i].toStdString() << " / "
                                                                             << names[j].toStdString();
            seen << r;
        }
    };
    check("drawn");
    EXPECT_TRUE(chart.grab().save(QDir::temp().filePath("reportchart-region.png")));
    for (int i = 0; i < 9; ++i) chart.TimerTimer();   // turned by 45 degrees
    check("turned");
    chart.miPieLegend->trigger();
    QCoreApplication::processEvents();
    check("with the legend");
    EXPECT_TRUE(chart.grab().save(QDir::temp().filePath("reportchart-region-legend.png")));
    choose(chart.tbGist);
    EXPECT_TRUE(chart.PieLabels.isEmpty()) << "the bar chart has its own captions";
}

// The one slice of a pie is a whole disc: no border runs from the centre to the top.
TEST_F(ReportChartTest, PieOfOneSliceHasNoSeam)
{
    fillTable(table, {"Принтеры", "Пусто"}, {"31.03.2024"}, {{1000}, {0}});
    chart.show();
    choose(chart.tbPie);
    QCoreApplication::processEvents();
    QChart* c = chart.Chart->chart();
    auto* pie = qobject_cast<QPieSeries*>(series().first());
    ASSERT_TRUE(pie);
    const QRectF area = c->plotArea();
    const qreal radius = qMin(area.width(), area.height()) / 2 * pie->pieSize();
    const QImage picture = chart.Chart->grab().toImage();
    const QColor fill = pie->slices()[0]->color();
    for (qreal f = 0.2; f < 0.9; f += 0.1) {
        const QPoint p = chart.Chart->mapFromScene(c->mapToScene(area.center() - QPointF(0, radius * f)));
        for (int dx = -1; dx <= 1; ++dx) {
            const QColor seen = picture.pixelColor(p.x() + dx, p.y());
            EXPECT_LT(qAbs(seen.red() - fill.red()) + qAbs(seen.green() - fill.green()) + qAbs(seen.blue() - fill.blue()), 30)
                << p.x() + dx << "," << p.y() << " " << seen.name().toStdString();
        }
    }
}

// Pictures of every kind as a user sees them, in the program's locale, for a look by eye.
TEST_F(ReportChartTest, RendersEveryKind)
{
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    const auto restore = qScopeGuard([] { QLocale::setDefault(QLocale::c()); });
    chart.SetTitle("Группа товара");
    chart.miPieLegend->setChecked(true);
    chart.miGistLegend->setChecked(true);
    chart.show();
    auto shoot = [&](const char* name) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
        EXPECT_TRUE(chart.Chart->chart()->legend()->isVisible());
        EXPECT_TRUE(chart.grab().save(QDir::temp().filePath(QString("reportchart-%1.png").arg(name))));
    };
    const char* names[] = {"pie", "bar", "line", "area"};
    int i = 0;
    for (QToolButton* b : {chart.tbPie, chart.tbGist, chart.tbLine, chart.tbArea}) {
        choose(b);
        shoot(names[i++]);
    }
    chart.miAreaStairs->trigger();
    chart.miAreaStacked100->trigger();
    shoot("area-columns");
}

// Fourteen users over twelve months: twelve different colours come before any repeats,
// and the interval captions stay whole.
TEST_F(ReportChartTest, ManySeriesKeepApartAndLongCaptionsStayWhole)
{
    QStringList names, months;
    QList<QList<double>> values;
    for (int r = 0; r < 14; ++r) {
        names << QString("Пользователь %1").arg(r + 1);
        values << QList<double>(12, 10.0 * (r + 1));
    }
    for (int m = 1; m <= 12; ++m) months << QDate(2024, m, 1).addMonths(1).addDays(-1).toString("dd.MM.yyyy");
    fillTable(table, names, months, values);
    chart.show();
    for (QToolButton* b : {chart.tbLine, chart.tbArea, chart.tbPie, chart.tbGist}) {
        choose(b);
        QSet<QRgb> colours;
        int n = 0;
        for (QAbstractSeries* s : series()) {
            if (auto* line = qobject_cast<QLineSeries*>(s)) colours << line->pen().color().rgb(), ++n;
            if (auto* area = qobject_cast<QAreaSeries*>(s)) colours << area->color().rgb(), ++n;
            if (auto* pie = qobject_cast<QPieSeries*>(s))
                for (QPieSlice* slice : pie->slices()) colours << slice->color().rgb(), ++n;
            if (auto* bars = qobject_cast<QAbstractBarSeries*>(s))
                for (QBarSet* set : bars->barSets()) colours << set->color().rgb(), ++n;
        }
        EXPECT_EQ(n, 14);
        EXPECT_EQ(colours.size(), 12) << b->objectName().toStdString();
    }
    choose(chart.tbLine);
    const auto axes = chart.Chart->chart()->axes(Qt::Horizontal);
    ASSERT_EQ(axes.size(), 1);
    auto* intervals = qobject_cast<QBarCategoryAxis*>(axes[0]);
    ASSERT_TRUE(intervals);
    EXPECT_EQ(intervals->categories(), months);
    EXPECT_NE(intervals->labelsAngle(), 0);
    chart.resize(1200, 600);
    QCoreApplication::processEvents();
    EXPECT_TRUE(chart.grab().save(QDir::temp().filePath("reportchart-many.png")));
}

} // namespace
