// The chart component the chart windows draw with, over Qt Charts: a chart
// with a title, a bottom axis of fixed range and a left axis that follows the
// points, and series that take points (x, y, label) in any order and show
// them sorted by x.
//
//   TChart* chart = new TChart(parent);
//   chart->SetTitle("P2");
//   chart->SetBottomAxisRange(0, 127, 8);
//   TBarSeries* bars = chart->AddBarSeries(Qt::red, fill);
//   bars->AddPoint(67, 1200, "03");
//   bars->Clear();
//
// Point changes are drawn on the next turn of the event loop, so that
// thousands of points added one by one are laid out once; Flush() draws them
// at once (before a picture is taken, for instance).
#pragma once

#include <QChartView>
#include <QColor>
#include <QImage>
#include <QString>
#include <memory>
#include <vector>

class QAreaSeries;
class QLineSeries;
class QScatterSeries;
class QValueAxis;

namespace dozered {

class TChart;

struct ChartPoint {
  double X = 0;
  double Y = 0;
  QString Label;
  QColor Color;  // not valid: the series' own colour
};

// The points of one series, kept in ascending x; points of equal x keep the
// order they were added in.
class TChartSeries {
 public:
  virtual ~TChartSeries() = default;
  TChartSeries(const TChartSeries&) = delete;
  TChartSeries& operator=(const TChartSeries&) = delete;

  void Clear();
  void AddPoint(double x, double y, const QString& label = QString(), const QColor& color = QColor());
  const std::vector<ChartPoint>& Points() const { return points_; }
  // True for series whose points stand on the bottom of the chart (bars):
  // the left axis then starts at 0.
  virtual bool StandsOnZero() const = 0;

 protected:
  explicit TChartSeries(TChart& chart) : chart_(chart) {}
  // Lays the points out in the Qt series.
  virtual void Draw() = 0;

 private:
  friend class TChart;
  TChart& chart_;
  std::vector<ChartPoint> points_;
  bool dirty_ = false;
};

// Bars from 0 up to each point's y, centred on its x, as wide as most of the
// narrowest gap between neighbouring x values; no point labels.
class TBarSeries : public TChartSeries {
 public:
  bool StandsOnZero() const override { return true; }
  QAreaSeries* Series() const { return area_; }
  // The width each bar is drawn with for the present points.
  double BarWidth() const;

 private:
  friend class TChart;
  TBarSeries(TChart& chart, QAreaSeries* area, QLineSeries* upper, QLineSeries* lower)
      : TChartSeries(chart), area_(area), upper_(upper), lower_(lower) {}
  void Draw() override;

  QAreaSeries* area_;
  QLineSeries* upper_;
  QLineSeries* lower_;
};

// One marker image per point, point labels hidden.
class TPointSeries : public TChartSeries {
 public:
  bool StandsOnZero() const override { return false; }
  QScatterSeries* Series() const { return scatter_; }

 private:
  friend class TChart;
  TPointSeries(TChart& chart, QScatterSeries* scatter) : TChartSeries(chart), scatter_(scatter) {}
  void Draw() override;

  QScatterSeries* scatter_;
};

class TChart : public QChartView {
  Q_OBJECT

 public:
  explicit TChart(QWidget* parent = nullptr);
  ~TChart() override;

  void SetTitle(const QString& title);
  QString Title() const;
  void SetBottomAxisTitle(const QString& title);
  void SetLeftAxisTitle(const QString& title);
  // Fixes the bottom axis to [min, max], with a tick every `interval` from
  // min (0: a round interval of its own).
  void SetBottomAxisRange(double min, double max, double interval = 0);
  QValueAxis* BottomAxis() const { return bottom_; }
  QValueAxis* LeftAxis() const { return left_; }

  // A series of bars outlined in `outline` and filled with `fill`; the chart
  // owns it.
  TBarSeries* AddBarSeries(const QColor& outline, const QColor& fill);
  // A series drawn as `marker`, `size` x `size` pixels at each point.
  TPointSeries* AddPointSeries(const QImage& marker, int size);

  // Draws the point changes not drawn yet.
  void Flush();

 private:
  friend class TChartSeries;
  void PointsChanged(TChartSeries& series);
  void FitLeftAxis();

  QValueAxis* bottom_ = nullptr;
  QValueAxis* left_ = nullptr;
  std::vector<std::unique_ptr<TChartSeries>> series_;
  bool flush_pending_ = false;
};

}  // namespace dozered
