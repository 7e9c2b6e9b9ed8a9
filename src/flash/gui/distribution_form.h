// The distribution window: the histograms of a read-distribution measurement
// in three stacked charts, one per read reference ("P0/P1", "P2", "P3").
// Created at start-up and kept for the whole run; it keeps its points until
// the next measurement replaces them, and is shown modally at the end of
// every measurement.
#pragma once

#include <QDialog>

#include "flash/distribution.h"

namespace dozered {

struct AppState;
class Feedback;
class TBarSeries;
class TChart;
class TFlashRwPage;

class TM_Distribution : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kClientWidth = 984;
  static constexpr int kClientHeight = 782;
  static constexpr int kChartWidth = 969;
  static constexpr int kChartHeight = 250;

  explicit TM_Distribution(AppState& state, QWidget* parent = nullptr);

  TChart* Chart1 = nullptr;  // "P0/P1"
  TChart* Chart2 = nullptr;  // "P2"
  TChart* Chart3 = nullptr;  // "P3"
  TBarSeries* Series1 = nullptr;
  TBarSeries* Series2 = nullptr;
  TBarSeries* Series3 = nullptr;

  // Every chart: bottom axis 0 to 127, its series emptied.
  void ClearCharts();
  // A point of series `series` (0 to 2): x, the count and its level label.
  void AddPoint(int series, int x, uint32_t y, const QString& label);
  // The charts emptied and given the points of a measurement.
  void ShowPoints(const DistributionSeries& series);
  // Shows the window modally, centred on `over`; returns when it is closed.
  void ShowModal(QWidget* over);

  // Binds "Read Distribution" of the Flash RW page to the measurement (see
  // Measure), reporting through `feedback`; the window is shown over `over`.
  void BindButton(TFlashRwPage& page, Feedback& feedback, QWidget* over);
  // The measurement on the page's fields, its views following every level
  // read; then the charts take the points and the window is shown modally
  // (also without a drive, then with the points of the last measurement).
  void Measure(TFlashRwPage& page, Feedback& feedback, QWidget* over);

 private:
  AppState& state_;
};

}  // namespace dozered
