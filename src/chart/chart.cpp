#include "chart/chart.h"

#include <QAreaSeries>
#include <QBrush>
#include <QChart>
#include <QLineSeries>
#include <QPen>
#include <QScatterSeries>
#include <QTimer>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <limits>

namespace dozered {
namespace {

// A round tick interval (1, 2 or 5 times a power of ten) giving about eight
// ticks over `span`.
double RoundInterval(double span) {
  if (span <= 0) return 1;
  const double raw = span / 8;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double step : {1.0, 2.0, 5.0}) {
    if (raw <= step * power) return step * power;
  }
  return 10 * power;
}

}  // namespace

void TChartSeries::Clear() {
  points_.clear();
  chart_.PointsChanged(*this);
}

void TChartSeries::AddPoint(double x, double y, const QString& label, const QColor& color) {
  const auto at = std::upper_bound(points_.begin(), points_.end(), x,
                                   [](double value, const ChartPoint& p) { return value < p.X; });
  points_.insert(at, ChartPoint{x, y, label, color});
  chart_.PointsChanged(*this);
}

double TBarSeries::BarWidth() const {
  const std::vector<ChartPoint>& p = Points();
  double gap = std::numeric_limits<double>::max();
  for (size_t i = 1; i < p.size(); ++i) {
    if (p[i].X > p[i - 1].X) gap = std::min(gap, p[i].X - p[i - 1].X);
  }
  if (gap == std::numeric_limits<double>::max()) gap = 1;
  return 0.7 * gap;
}

void TBarSeries::Draw() {
  const std::vector<ChartPoint>& points = Points();
  const double half = BarWidth() / 2;
  QList<QPointF> outline;
  outline.reserve(static_cast<qsizetype>(points.size() * 4));
  for (const ChartPoint& p : points) {
    outline << QPointF(p.X - half, 0) << QPointF(p.X - half, p.Y) << QPointF(p.X + half, p.Y)
            << QPointF(p.X + half, 0);
  }
  QList<QPointF> base;
  if (!points.empty()) base << QPointF(points.front().X - half, 0) << QPointF(points.back().X + half, 0);
  upper_->replace(outline);
  lower_->replace(base);
}

void TPointSeries::Draw() {
  const std::vector<ChartPoint>& points = Points();
  QList<QPointF> xy;
  xy.reserve(static_cast<qsizetype>(points.size()));
  for (const ChartPoint& p : points) xy << QPointF(p.X, p.Y);
  scatter_->clearPointsConfiguration();
  scatter_->replace(xy);
  const QColor own = scatter_->color();
  for (size_t i = 0; i < points.size(); ++i) {
    if (points[i].Color.isValid() && points[i].Color != own) {
      scatter_->setPointConfiguration(static_cast<int>(i), QXYSeries::PointConfiguration::Color, points[i].Color);
    }
  }
}

TChart::TChart(QWidget* parent) : QChartView(parent) {
  auto* chart = new QChart();
  chart->legend()->hide();
  chart->setBackgroundRoundness(0);
  bottom_ = new QValueAxis(chart);
  left_ = new QValueAxis(chart);
  bottom_->setLabelFormat(QStringLiteral("%d"));
  left_->setLabelFormat(QStringLiteral("%d"));
  chart->addAxis(bottom_, Qt::AlignBottom);
  chart->addAxis(left_, Qt::AlignLeft);
  // The view made a chart of its own; setChart hands that one back to us
  // (it no longer owns it), so it is deleted here.
  QChart* made = QChartView::chart();
  setChart(chart);  // the view owns the chart
  delete made;
  FitLeftAxis();
}

TChart::~TChart() = default;

void TChart::SetTitle(const QString& title) { chart()->setTitle(title); }

QString TChart::Title() const { return chart()->title(); }

void TChart::SetBottomAxisTitle(const QString& title) { bottom_->setTitleText(title); }

void TChart::SetLeftAxisTitle(const QString& title) { left_->setTitleText(title); }

void TChart::SetBottomAxisRange(double min, double max, double interval) {
  bottom_->setRange(min, max);
  bottom_->setTickType(QValueAxis::TicksDynamic);
  bottom_->setTickAnchor(min);
  bottom_->setTickInterval(interval > 0 ? interval : RoundInterval(max - min));
}

TBarSeries* TChart::AddBarSeries(const QColor& outline, const QColor& fill) {
  auto* upper = new QLineSeries(chart());
  auto* lower = new QLineSeries(chart());
  auto* area = new QAreaSeries(upper, lower);
  area->setPen(QPen(outline, 1));
  area->setBrush(fill);
  area->setPointLabelsVisible(false);
  chart()->addSeries(area);
  area->attachAxis(bottom_);
  area->attachAxis(left_);
  series_.push_back(std::unique_ptr<TChartSeries>(new TBarSeries(*this, area, upper, lower)));
  return static_cast<TBarSeries*>(series_.back().get());
}

TPointSeries* TChart::AddPointSeries(const QImage& marker, int size) {
  auto* scatter = new QScatterSeries();
  scatter->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
  scatter->setMarkerSize(size);
  scatter->setLightMarker(marker.scaled(size, size, Qt::IgnoreAspectRatio, Qt::FastTransformation));
  scatter->setPen(Qt::NoPen);
  scatter->setPointLabelsVisible(false);
  chart()->addSeries(scatter);
  scatter->attachAxis(bottom_);
  scatter->attachAxis(left_);
  series_.push_back(std::unique_ptr<TChartSeries>(new TPointSeries(*this, scatter)));
  return static_cast<TPointSeries*>(series_.back().get());
}

void TChart::PointsChanged(TChartSeries& series) {
  series.dirty_ = true;
  if (flush_pending_) return;
  flush_pending_ = true;
  QTimer::singleShot(0, this, &TChart::Flush);
}

void TChart::Flush() {
  flush_pending_ = false;
  bool drawn = false;
  for (const auto& series : series_) {
    if (!series->dirty_) continue;
    series->dirty_ = false;
    series->Draw();
    drawn = true;
  }
  if (drawn) FitLeftAxis();
}

// The left axis spans the points (from 0 when a series stands on it), with
// round ends.
void TChart::FitLeftAxis() {
  double low = std::numeric_limits<double>::max();
  double high = std::numeric_limits<double>::lowest();
  for (const auto& series : series_) {
    for (const ChartPoint& p : series->Points()) {
      low = std::min(low, p.Y);
      high = std::max(high, p.Y);
    }
    if (series->StandsOnZero() && !series->Points().empty()) low = std::min(low, 0.0), high = std::max(high, 0.0);
  }
  if (low > high) low = 0, high = 10;  // no points
  if (high - low < 1) high = low + 1;
  left_->setRange(low, high);
  left_->applyNiceNumbers();
}

}  // namespace dozered
