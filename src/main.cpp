// The dozered executable: creates the process-wide state, then the windows.
#include <QApplication>
#include <memory>

#include "app/app_state.h"

int main(int argc, char** argv) {
  auto state = std::make_unique<dozered::AppState>();
  QApplication app(argc, argv);
  (void)state;
  return 0;
}
