#include "app/gui/pages/info_page.h"

#include <QHeaderView>
#include <QPlainTextEdit>
#include <QTreeView>
#include <QVBoxLayout>

#include "app/gui/qt_text.h"
#include "app/gui/rows_model.h"
#include "app/page_table.h"

namespace dozered {

QPlainTextEdit* NewDumpMemo(const QString& name, QWidget* parent) {
  auto* memo = new QPlainTextEdit(parent);
  memo->setObjectName(name);
  memo->setReadOnly(true);
  memo->setFont(FixedPitchFont());
  memo->setLineWrapMode(QPlainTextEdit::NoWrap);
  memo->setUndoRedoEnabled(false);
  return memo;
}

InfoPage::InfoPage(int page, const QString& memoName, const QString& listName, std::initializer_list<int> widths,
                   QWidget* parent)
    : QWidget(parent) {
  layout_ = new QVBoxLayout(this);
  layout_->setContentsMargins(0, 0, 0, 0);
  if (!memoName.isEmpty()) {
    memo_ = NewDumpMemo(memoName, this);
    layout_->addWidget(memo_, 1);
  }
  QStringList headers;
  for (const char* caption : PageListColumns(page)) headers << QString::fromLatin1(caption);
  Q_ASSERT(static_cast<qsizetype>(widths.size()) == headers.size());
  model_ = new RowsModel(headers, this);
  list_ = new QTreeView(this);
  list_->setObjectName(listName);
  list_->setRootIsDecorated(false);
  list_->setUniformRowHeights(true);
  list_->setAllColumnsShowFocus(true);
  list_->setItemsExpandable(false);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setModel(model_);
  list_->header()->setStretchLastSection(true);
  int i = 0;
  for (int width : widths) {
    if (width == kFitToContents) {
      fitted_columns_.push_back(i);
    } else {
      list_->setColumnWidth(i, width);
    }
    ++i;
  }
  layout_->addWidget(list_, 1);
  ShowRawView(false);
}

void InfoPage::SetDump(const std::string& text) {
  if (memo_ == nullptr) return;
  QString shown = ToQString(text);
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  memo_->setPlainText(shown);
}

void InfoPage::SetRows(Rows rows) {
  model_->SetRows(std::move(rows));
  for (int column : fitted_columns_) list_->resizeColumnToContents(column);
}

void InfoPage::ShowRawView(bool raw) {
  if (memo_ == nullptr) return;
  memo_->setVisible(raw);
  list_->setVisible(!raw);
}

}  // namespace dozered
