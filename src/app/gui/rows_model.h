// A table model over decoded rows: what the list views of the information
// pages show. Rows are replaced as a whole, so that thousands of rows fill in
// one reset.
#pragma once

#include <QAbstractTableModel>
#include <QStringList>

#include "decode/rows.h"

namespace dozered {

class RowsModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit RowsModel(const QStringList& headers, QObject* parent = nullptr);

  void SetRows(Rows rows);
  void Clear();
  const Rows& RowsData() const { return rows_; }
  const QStringList& Headers() const { return headers_; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

 private:
  QStringList headers_;
  Rows rows_;
};

}  // namespace dozered
