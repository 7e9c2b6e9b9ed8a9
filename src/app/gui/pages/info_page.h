// The common body of an information page: a memo with the hex dump (the raw
// view) and a list of decoded rows (the decoded view) in the same area, one
// of them visible at a time.
#pragma once

#include <QWidget>
#include <initializer_list>
#include <string>
#include <vector>

#include "decode/rows.h"

class QPlainTextEdit;
class QTreeView;
class QVBoxLayout;

namespace dozered {

class RowsModel;

// A column as wide as its widest text, measured each time the rows change.
inline constexpr int kFitToContents = -1;

class InfoPage : public QWidget {
  Q_OBJECT

 public:
  // The page of index `page` (its list columns come from the page table),
  // with the width of each column in pixels or kFitToContents. An empty memo
  // name builds a page without a raw view.
  InfoPage(int page, const QString& memoName, const QString& listName, std::initializer_list<int> widths,
           QWidget* parent = nullptr);

  QPlainTextEdit* Memo() const { return memo_; }
  QTreeView* List() const { return list_; }
  RowsModel* Model() const { return model_; }

  void SetDump(const std::string& text);
  void SetRows(Rows rows);
  // The memo when `raw`, the list otherwise.
  void ShowRawView(bool raw);

 protected:
  // Where a page adds controls of its own, below the views.
  QVBoxLayout* PageLayout() const { return layout_; }

 private:
  QVBoxLayout* layout_ = nullptr;
  QPlainTextEdit* memo_ = nullptr;
  QTreeView* list_ = nullptr;
  RowsModel* model_ = nullptr;
  std::vector<int> fitted_columns_;
};

// A read-only memo in the fixed-pitch font of the dumps.
QPlainTextEdit* NewDumpMemo(const QString& name, QWidget* parent);

}  // namespace dozered
