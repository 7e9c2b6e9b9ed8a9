// A dump view of the flash pages: a caption, the fixed column header of the
// hex dump, and the read-only memo with the dump lines below it. The header
// does not scroll away vertically; horizontally it moves with the memo, so
// that "00" to "0F" always stand above their columns.
#pragma once

#include <QWidget>
#include <string>

class QLabel;
class QPlainTextEdit;

namespace dozered {

// The column header of the dump, drawn in the memo's font at the x where the
// memo draws the first column of its lines.
class TDumpHeader : public QWidget {
  Q_OBJECT

 public:
  static constexpr char kText[] = "         00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F";

  TDumpHeader(QPlainTextEdit* memo, const QString& name, QWidget* parent = nullptr);

  // Where the header's first character is drawn, in this widget's
  // coordinates: the left edge of the memo's first column.
  int TextLeft() const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QPlainTextEdit* memo_;
};

class TDumpView : public QWidget {
  Q_OBJECT

 public:
  // `caption` above the header ("Raw:"), `memoName` the memo's object name,
  // `headerName` the header's.
  TDumpView(const QString& caption, const QString& memoName, const QString& headerName, QWidget* parent = nullptr);

  QPlainTextEdit* Memo() const { return memo_; }
  TDumpHeader* Header() const { return header_; }
  QLabel* Caption() const { return caption_; }

  // Shows dump lines (CR LF line ends). The caret, the selection and the
  // scroll position stay where they were, so that a byte the user marked
  // stays marked while stepping through pages.
  void SetDump(const std::string& text);

 private:
  QLabel* caption_ = nullptr;
  TDumpHeader* header_ = nullptr;
  QPlainTextEdit* memo_ = nullptr;
};

}  // namespace dozered
