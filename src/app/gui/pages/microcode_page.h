// The "Microcode" page: a memo, a file path and two buttons that do nothing
// yet.
#pragma once

#include <QWidget>

class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace dozered {

class TMicrocodePage : public QWidget {
  Q_OBJECT

 public:
  explicit TMicrocodePage(QWidget* parent = nullptr);

  QPlainTextEdit* MM_Microcode = nullptr;
  QLineEdit* EDT_Microcode_FilePath = nullptr;
  QPushButton* BTN_Microcode_OpenFile = nullptr;
  QPushButton* BTN_Microcode_Download = nullptr;
};

}  // namespace dozered
