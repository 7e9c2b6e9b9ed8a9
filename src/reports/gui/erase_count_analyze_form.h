// The erase-count analysis window: one point per flash block, block number
// across, erase count up. Created once at start-up; "Show Analyze" fills it
// and shows it modally. It keeps its points between showings.
#pragma once

#include <QDialog>
#include <QImage>
#include <functional>

namespace dozered {

struct AppState;
class TChart;
class TPointSeries;

class TMEraseCount_Analyze : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kClientWidth = 753;
  static constexpr int kClientHeight = 255;
  static constexpr int kChartWidth = 745;
  static constexpr int kChartHeight = 250;
  static constexpr int kMarkerSize = 16;

  explicit TMEraseCount_Analyze(AppState& state, QWidget* parent = nullptr);

  // Fixes the bottom axis to 0 .. `blocks`, removes every point and lets the
  // window process pending events once.
  void PrepareChart(int blocks);
  // A navy point at (`block`, `count`) labelled with the block in uppercase
  // hexadecimal of at least two digits.
  void AddBlockPoint(int block, int count);

  // Shows the window modally, centred over `over` when given; returns when
  // the user closed it.
  void ShowModal(QWidget* over);
  // Replaces the modal showing, so that tests can look at the window and close it.
  void SetShowModalHandler(std::function<void(TMEraseCount_Analyze&)> handler) {
    show_modal_handler_ = std::move(handler);
  }

  // The 8 x 8 marker image of the points: a round dot with white corners, a
  // navy outer ring, a teal inner ring and a blue and cyan centre.
  static QImage MarkerImage();

  TChart* Chart1 = nullptr;
  TPointSeries* Series1 = nullptr;

 private:
  AppState& state_;
  std::function<void(TMEraseCount_Analyze&)> show_modal_handler_;
};

}  // namespace dozered
