// The chart component: points in any order shown sorted by x, series that
// can be emptied, bars standing on a left axis that follows them, marker
// images for point series, and the axes as set.
#include "chart/chart.h"

#include <QAreaSeries>
#include <QChart>
#include <QCoreApplication>
#include <QLegend>
#include <QLineSeries>
#include <QScatterSeries>
#include <QValueAxis>
#include <gtest/gtest.h>

#include <vector>

namespace dozered {
namespace {

std::vector<double> Xs(const TChartSeries& series) {
  std::vector<double> xs;
  for (const ChartPoint& p : series.Points()) xs.push_back(p.X);
  return xs;
}

TEST(ChartTest, PointsAddedInAnyOrderAreKeptSortedByX) {
  TChart chart;
  TBarSeries* bars = chart.AddBarSeries(Qt::red, Qt::red);
  const struct {
    double x, y;
    const char* label;
  } added[] = {{9, 5, "09"}, {3, 7, "03"}, {6, 1, "06a"}, {6, 2, "06b"}, {0, 4, "00"}};
  for (const auto& a : added) bars->AddPoint(a.x, a.y, QString::fromLatin1(a.label));
  EXPECT_EQ(Xs(*bars), (std::vector<double>{0, 3, 6, 6, 9}));
  EXPECT_EQ(bars->Points()[2].Label, QStringLiteral("06a")) << "equal x keep the order they came in";
  EXPECT_EQ(bars->Points()[3].Label, QStringLiteral("06b"));
  EXPECT_EQ(bars->Points()[1].Y, 7);
}

// Each bar is drawn as its outline from 0 up to its y and down again, left to
// right, as wide as 0.7 of the narrowest gap between x values.
TEST(ChartTest, BarsAreDrawnLeftToRightFromZero) {
  TChart chart;
  TBarSeries* bars = chart.AddBarSeries(Qt::red, Qt::red);
  bars->AddPoint(70, 20);
  bars->AddPoint(64, 10);
  bars->AddPoint(67, 0);
  EXPECT_TRUE(bars->Series()->upperSeries()->points().isEmpty()) << "drawn on the next turn of the event loop";
  chart.Flush();
  EXPECT_DOUBLE_EQ(bars->BarWidth(), 2.1);
  const QList<QPointF> outline = bars->Series()->upperSeries()->points();
  const QList<QPointF> want = {{62.95, 0}, {62.95, 10}, {65.05, 10}, {65.05, 0}, {65.95, 0}, {65.95, 0},
                               {68.05, 0}, {68.05, 0},  {68.95, 0},  {68.95, 20}, {71.05, 20}, {71.05, 0}};
  ASSERT_EQ(outline.size(), want.size());
  for (qsizetype i = 0; i < want.size(); ++i) {
    EXPECT_NEAR(outline[i].x(), want[i].x(), 1e-9) << i;
    EXPECT_EQ(outline[i].y(), want[i].y()) << i;
  }
  EXPECT_FALSE(bars->Series()->pointLabelsVisible());
}

TEST(ChartTest, EmptiedSeriesDrawsNothing) {
  TChart chart;
  TBarSeries* bars = chart.AddBarSeries(Qt::red, Qt::red);
  bars->AddPoint(1, 100);
  chart.Flush();
  bars->Clear();
  chart.Flush();
  EXPECT_TRUE(bars->Points().empty());
  EXPECT_TRUE(bars->Series()->upperSeries()->points().isEmpty());
  EXPECT_TRUE(bars->Series()->lowerSeries()->points().isEmpty());
}

// The left axis follows the points (from 0 for bars); the bottom axis stays
// where it was set.
TEST(ChartTest, LeftAxisFollowsThePointsAndTheBottomAxisStays) {
  TChart chart;
  chart.SetBottomAxisRange(0, 127, 8);
  TBarSeries* bars = chart.AddBarSeries(Qt::red, Qt::red);
  bars->AddPoint(200, 1234);  // beyond the bottom axis: drawn off the chart
  bars->AddPoint(5, 17);
  QCoreApplication::processEvents();
  EXPECT_EQ(chart.LeftAxis()->min(), 0);
  EXPECT_GE(chart.LeftAxis()->max(), 1234);
  EXPECT_LE(chart.LeftAxis()->max(), 1500);
  EXPECT_EQ(chart.BottomAxis()->min(), 0);
  EXPECT_EQ(chart.BottomAxis()->max(), 127);
  EXPECT_EQ(chart.BottomAxis()->tickInterval(), 8);

  TChart points;
  TPointSeries* series = points.AddPointSeries(QImage(8, 8, QImage::Format_RGB32), 16);
  series->AddPoint(1, 830);
  series->AddPoint(0, 870);
  points.Flush();
  EXPECT_GT(points.LeftAxis()->min(), 700) << "points do not stand on 0";
  EXPECT_LE(points.LeftAxis()->min(), 830);
  EXPECT_GE(points.LeftAxis()->max(), 870);
}

TEST(ChartTest, TitlesAndNoLegend) {
  TChart chart;
  chart.SetTitle(QStringLiteral("P2"));
  chart.SetBottomAxisTitle(QStringLiteral("Offset"));
  chart.SetLeftAxisTitle(QStringLiteral("Count"));
  EXPECT_EQ(chart.Title(), QStringLiteral("P2"));
  EXPECT_EQ(chart.BottomAxis()->titleText(), QStringLiteral("Offset"));
  EXPECT_EQ(chart.LeftAxis()->titleText(), QStringLiteral("Count"));
  EXPECT_FALSE(chart.chart()->legend()->isVisible());
}

// Point series draw their marker image, enlarged to the marker size without
// smoothing, at every point; labels and colours stay with the points.
TEST(ChartTest, PointSeriesDrawsTheMarkerImage) {
  QImage marker(8, 8, QImage::Format_RGB32);
  marker.fill(Qt::white);
  marker.setPixelColor(3, 4, Qt::blue);
  TChart chart;
  TPointSeries* series = chart.AddPointSeries(marker, 16);
  series->AddPoint(5, 10, QStringLiteral("05"), QColor(0, 0, 128));
  series->AddPoint(2, 30, QStringLiteral("02"), QColor(0, 0, 128));
  chart.Flush();
  QScatterSeries* scatter = series->Series();
  EXPECT_EQ(scatter->markerSize(), 16);
  EXPECT_EQ(scatter->markerShape(), QScatterSeries::MarkerShapeRectangle);
  ASSERT_EQ(scatter->lightMarker().size(), QSize(16, 16));
  EXPECT_EQ(scatter->lightMarker().pixelColor(6, 8), QColor(Qt::blue));
  EXPECT_EQ(scatter->lightMarker().pixelColor(7, 9), QColor(Qt::blue));
  EXPECT_EQ(scatter->lightMarker().pixelColor(8, 8), QColor(Qt::white));
  EXPECT_FALSE(scatter->pointLabelsVisible());
  EXPECT_EQ(scatter->points(), (QList<QPointF>{{2, 30}, {5, 10}}));
  EXPECT_EQ(series->Points()[0].Label, QStringLiteral("02"));
  EXPECT_EQ(series->Points()[1].Color, QColor(0, 0, 128));
}

}  // namespace
}  // namespace dozered
