#include "flash/gui/dump_view.h"

#include <QEvent>
#include <algorithm>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QVBoxLayout>

#include "app/gui/qt_text.h"

namespace dozered {
namespace {

// The dump lines as the memo shows them: without the carriage returns and
// without the line end after the last line.
QString MemoText(const std::string& text) {
  QString shown(static_cast<qsizetype>(text.size()), Qt::Uninitialized);
  QChar* out = shown.data();
  qsizetype n = 0;
  for (char c : text) {
    if (c != '\r') out[n++] = QLatin1Char(c);
  }
  if (n > 0 && out[n - 1] == QLatin1Char('\n')) --n;
  shown.truncate(n);
  return shown;
}

}  // namespace

TDumpHeader::TDumpHeader(QPlainTextEdit* memo, const QString& name, QWidget* parent)
    : QWidget(parent), memo_(memo) {
  setObjectName(name);
  setFont(memo->font());
  setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  memo_->installEventFilter(this);
  memo_->viewport()->installEventFilter(this);
  connect(memo_->horizontalScrollBar(), &QScrollBar::valueChanged, this, qOverload<>(&QWidget::update));
}

int TDumpHeader::TextLeft() const {
  // The memo's first column: where its caret stands before the first
  // character of the text, wherever the memo has scrolled to.
  const QRect caret = memo_->cursorRect(QTextCursor(memo_->document()));
  const QPoint at = memo_->viewport()->mapTo(window(), QPoint(caret.left(), 0));
  return at.x() - mapTo(window(), QPoint(0, 0)).x();
}

QSize TDumpHeader::sizeHint() const {
  const QFontMetrics metrics(font());
  return {metrics.horizontalAdvance(QLatin1String(kText)), metrics.height() + 2};
}

QSize TDumpHeader::minimumSizeHint() const { return {0, sizeHint().height()}; }

void TDumpHeader::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setFont(font());
  painter.setPen(palette().color(QPalette::WindowText));
  const QFontMetrics metrics(font());
  painter.drawText(TextLeft(), 1 + metrics.ascent(), QLatin1String(kText));
}

bool TDumpHeader::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::Resize:
    case QEvent::Move:
    case QEvent::FontChange:
      if (watched == memo_ && event->type() == QEvent::FontChange) setFont(memo_->font());
      update();
      break;
    default:
      break;
  }
  return QWidget::eventFilter(watched, event);
}

TDumpView::TDumpView(const QString& caption, const QString& memoName, const QString& headerName, QWidget* parent)
    : QWidget(parent) {
  caption_ = new QLabel(caption, this);
  memo_ = new QPlainTextEdit(this);
  memo_->setObjectName(memoName);
  memo_->setReadOnly(true);
  memo_->setFont(FixedPitchFont());
  memo_->setLineWrapMode(QPlainTextEdit::NoWrap);
  memo_->setUndoRedoEnabled(false);
  memo_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // The selection stays visible when the memo loses the focus.
  QPalette palette = memo_->palette();
  for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText}) {
    palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
  }
  memo_->setPalette(palette);
  header_ = new TDumpHeader(memo_, headerName, this);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(1);
  layout->addWidget(caption_);
  layout->addWidget(header_);
  layout->addWidget(memo_, 1);
}

void TDumpView::SetDump(const std::string& text) {
  QTextCursor cursor = memo_->textCursor();
  const int anchor = cursor.anchor();
  const int position = cursor.position();
  const int horizontal = memo_->horizontalScrollBar()->value();
  const int vertical = memo_->verticalScrollBar()->value();

  memo_->setPlainText(MemoText(text));

  const int end = memo_->document()->characterCount() - 1;
  cursor = QTextCursor(memo_->document());
  cursor.setPosition(std::min(anchor, end));
  cursor.setPosition(std::min(position, end), QTextCursor::KeepAnchor);
  memo_->setTextCursor(cursor);
  memo_->horizontalScrollBar()->setValue(horizontal);
  memo_->verticalScrollBar()->setValue(vertical);
  header_->update();
}

}  // namespace dozered
