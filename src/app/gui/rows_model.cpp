#include "app/gui/rows_model.h"

namespace dozered {

RowsModel::RowsModel(const QStringList& headers, QObject* parent) : QAbstractTableModel(parent), headers_(headers) {}

void RowsModel::SetRows(Rows rows) {
  beginResetModel();
  rows_ = std::move(rows);
  endResetModel();
}

void RowsModel::Clear() { SetRows({}); }

int RowsModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int RowsModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(headers_.size());
}

QVariant RowsModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !checkIndex(index, CheckIndexOption::IndexIsValid)) return {};
  const Row& row = rows_[static_cast<size_t>(index.row())];
  const auto column = static_cast<size_t>(index.column());
  if (column >= row.size()) return QString();
  const std::string& text = row[column];
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QVariant RowsModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 || section >= headers_.size()) {
    return QAbstractTableModel::headerData(section, orientation, role);
  }
  return headers_[section];
}

}  // namespace dozered
