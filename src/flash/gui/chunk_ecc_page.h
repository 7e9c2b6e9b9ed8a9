// The "Chunk ECC" page (TS_ChunkEcc): the chunk-ECC range run over blocks and
// pages of one channel and CE. The page only binds its controls to
// RunChunkEccRange (flash/chunk_ecc.h) and shows the text it returns.
#pragma once

#include <QWidget>

#include "app/app_state.h"
#include "app/feedback.h"
#include "flash/chunk_ecc.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace dozered {

class TChunkEccPage : public QWidget {
  Q_OBJECT

 public:
  TChunkEccPage(AppState& state, Feedback& feedback, QWidget* parent = nullptr);

  QGroupBox* GB_EccCheck = nullptr;
  QLineEdit* EDT_ChunkECC_StartBlock = nullptr;
  QLineEdit* EDT_ChunkECC_EndBlock = nullptr;
  QLineEdit* EDT_ChunkECC_StartPage = nullptr;
  QLineEdit* EDT_ChunkECC_EndPage = nullptr;
  QComboBox* CMBB_ChunkECC_CE = nullptr;
  QComboBox* CMBB_ChunkECC_CH = nullptr;
  QCheckBox* CHKB_CunkECC_DisOrphan = nullptr;
  QPushButton* BTN_ChunkECC = nullptr;
  QPlainTextEdit* MM_ChunkECC = nullptr;

  // The controls' texts as the range run reads them.
  ChunkEccFields Fields() const;

 public slots:
  void BTN_ChunkECCClick();

 private:
  AppState& state_;
  Feedback& feedback_;
};

}  // namespace dozered
