// The application object. An error that escapes an event handler is shown in
// an error box and the application goes on with its message loop.
#pragma once

#include <QApplication>

namespace dozered {

class TApplication : public QApplication {
  Q_OBJECT

 public:
  TApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace dozered
