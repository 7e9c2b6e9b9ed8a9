// The "Flash RW" page: raw flash page read, write and erase.
#pragma once

#include <QWidget>

class QComboBox;
class QPushButton;

namespace dozered {

struct AppState;

class TFlashRwPage : public QWidget {
  Q_OBJECT

 public:
  explicit TFlashRwPage(AppState& state, QWidget* parent = nullptr);

  QComboBox* CMBB_FlashRW_Sector = nullptr;
  // "ChunkECC": shown only when TabSheet.ini lists the "Chunk ECC" page.
  QPushButton* BTN_Chunk_ECC = nullptr;

 private:
  AppState& state_;
};

}  // namespace dozered
