#include "ItemListModel.h"

ItemListModel::ItemListModel(QObject* parent) : QAbstractTableModel(parent) {}

void ItemListModel::SetHeaders(const QStringList& captions, int rightAligned) {
  headers_ = captions;
  rightAligned_ = rightAligned;
  emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

void ItemListModel::Clear() {
  if (rows_.empty()) return;
  beginRemoveRows(QModelIndex(), 0, static_cast<int>(rows_.size()) - 1);
  rows_.clear();
  endRemoveRows();
}

void ItemListModel::Append(std::vector<Row>&& rows) {
  if (rows.empty()) return;
  const int first = static_cast<int>(rows_.size());
  beginInsertRows(QModelIndex(), first, first + static_cast<int>(rows.size()) - 1);
  rows_.insert(rows_.end(), std::make_move_iterator(rows.begin()),
               std::make_move_iterator(rows.end()));
  endInsertRows();
}

const ItemListModel::Row& ItemListModel::At(int row) const {
  Row& r = rows_[static_cast<size_t>(row)];
  if (r.pending) {
    r.pending = false;
    if (resolver_) resolver_(r);
  }
  return r;
}

void ItemListModel::SetData(int row, const QVariant& data) {
  rows_[static_cast<size_t>(row)].data = data;
}

int ItemListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ItemListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 3; }

QVariant ItemListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return QVariant();
  const int column = index.column();
  switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
      if (column == 0) return rows_[static_cast<size_t>(index.row())].caption;
      if (column == 2) return rows_[static_cast<size_t>(index.row())].sub2;
      return At(index.row()).sub1;
    case Qt::DecorationRole:
      return column == 0 ? QVariant(At(index.row()).icon) : QVariant();
    case Qt::TextAlignmentRole:
      if (column == rightAligned_) return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
      return QVariant();
    case kDataRole:
      return rows_[static_cast<size_t>(index.row())].data;
    default:
      return QVariant();
  }
}

QVariant ItemListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= headers_.size()) return QVariant();
  if (role == Qt::DisplayRole) return headers_[section];
  if (role == Qt::TextAlignmentRole && section == rightAligned_)
    return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
  return QVariant();
}

Qt::ItemFlags ItemListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}
