#include "app/gui/application.h"

#include <QMessageBox>
#include <exception>

namespace dozered {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& error) {
    QMessageBox::critical(activeWindow(), QStringLiteral("Error"),
                          QString::fromLocal8Bit(error.what()));
  } catch (...) {
    QMessageBox::critical(activeWindow(), QStringLiteral("Error"), QStringLiteral("Unknown error"));
  }
  return false;
}

}  // namespace dozered
