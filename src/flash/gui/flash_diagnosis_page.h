// The "Flash Diagnosis" page: where the drive's bad blocks are.
//
// An inner page control with its tabs at the bottom holds the three 9 x 9
// grids (original, run-time and total bad blocks per channel and CE) and the
// two lists of blocks. The page only binds its controls to the bad-block
// read of flash/bad_block.h and shows the views it keeps between reads.
// Entering the page writes the grid headers and reads.
#pragma once

#include <QWidget>

#include "app/app_state.h"
#include "app/feedback.h"
#include "flash/bad_block.h"

class QPainter;
class QPushButton;
class QRect;
class QTabWidget;
class QTableView;
class QTableWidget;

namespace dozered {

class RowsModel;

class TFlashDiagnosisPage : public QWidget {
  Q_OBJECT

 public:
  // Pixels of the grids' cells.
  static constexpr int kGridColumnWidth = 37;
  static constexpr int kGridRowHeight = 24;
  static constexpr int kFBlockColumnWidth = 80;

  TFlashDiagnosisPage(AppState& state, Feedback& feedback, QWidget* parent = nullptr);

  QTabWidget* PC_Diagnosis = nullptr;
  QWidget* TS_OrgRuntimeBadBlock = nullptr;
  QWidget* TS_TotalBadBlock = nullptr;
  QWidget* TS_BadBlockParsing = nullptr;
  QTableWidget* SG_OrgBadBlock = nullptr;
  QTableWidget* SG_RuntimeBadBlock = nullptr;
  QTableWidget* SG_TotalBadBlock = nullptr;
  QTableView* LV_OriginalBadBlock = nullptr;
  QTableView* LV_TotalBadBlock = nullptr;
  QPushButton* BTN_BadBlockRead = nullptr;  // hidden; carries the read

  // The grids and lists as the last read left them (the "Save Info" log
  // writes these).
  const BadBlockViews& Views() const { return views_; }
  const BadBlockReadOutcome& LastRead() const { return last_read_; }

  // One rule draws every cell of the three grids: the window colour, or the
  // populated colour for a cell of a populated channel and CE while a drive
  // is selected; the text 2 pixels from the left edge, at the top.
  void DrawBadBlockCell(QPainter* painter, const QRect& rect, int column, int row, const QString& text) const;

 public slots:
  void BTN_BadBlockReadClick();
  // The page became active: grid headers, then the read.
  void EnterPage();
  void SG_OrgBadBlockDrawCell(QPainter* painter, int column, int row, const QRect& rect);
  void SG_RuntimeBadBlockDrawCell(QPainter* painter, int column, int row, const QRect& rect);
  void SG_TotalBadBlockDrawCell(QPainter* painter, int column, int row, const QRect& rect);

 private:
  QTableWidget* NewGrid(const char* name);
  QTableView* NewList(const char* name, RowsModel* model);
  void ShowViews();

  AppState& state_;
  Feedback& feedback_;
  BadBlockViews views_;
  BadBlockReadOutcome last_read_;
  RowsModel* original_model_ = nullptr;
  RowsModel* total_model_ = nullptr;
};

}  // namespace dozered
