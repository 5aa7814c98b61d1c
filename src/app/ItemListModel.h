#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <vector>

// The items of an ItemListView: a caption, an icon, two sub-items and a
// value the owner attaches. Rows are added in one batch, and a row's icon and
// first sub-item may be left to a resolver that runs the first time they are
// asked for, so that only the rows on screen pay for them.
class ItemListModel : public QAbstractTableModel {
 public:
  static constexpr int kDataRole = Qt::UserRole + 1;

  struct Row {
    QString caption;
    QIcon icon;
    QString sub1;
    QString sub2;
    QVariant data;
    bool pending = false;  // icon and sub1 still to be resolved
  };
  using Resolver = std::function<void(Row& row)>;

  explicit ItemListModel(QObject* parent = nullptr);

  void SetHeaders(const QStringList& captions, int rightAligned);
  void SetResolver(Resolver resolver) { resolver_ = std::move(resolver); }
  void Clear();
  void Append(std::vector<Row>&& rows);
  const Row& At(int row) const;  // resolves the row
  const QString& Caption(int row) const { return rows_[static_cast<size_t>(row)].caption; }
  void SetData(int row, const QVariant& data);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  QStringList headers_;
  int rightAligned_ = -1;
  Resolver resolver_;
  mutable std::vector<Row> rows_;
};
