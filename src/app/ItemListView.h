#pragma once

#include <QIcon>
#include <QPoint>
#include <QStackedWidget>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <vector>

#include "ItemListModel.h"

class QAbstractItemView;
class ItemListDelegate;
class QDropEvent;
class QListView;
class QMimeData;
class QTreeView;

// A list of items with a caption, an icon and two sub-items, shown in one of
// four styles: large icons, small icons, list, or details with columns. One
// model and one selection serve all four, so switching keeps the selection.
// Drags start after a fixed distance and drops are judged by the owner.
// The focus goes to the view of the style shown.
class ItemListView : public QStackedWidget {
  Q_OBJECT

 public:
  enum Style { LargeIcon = 0, SmallIcon = 1, List = 2, Report = 3 };
  static constexpr int kDragThreshold = 5;

  explicit ItemListView(QWidget* parent = nullptr);

  void SetColumns(const QStringList& captions, const QList<int>& widths, int rightAligned);
  void SetStyle(int style);
  int CurrentStyle() const { return style_; }
  QAbstractItemView* CurrentView() const;
  QAbstractItemView* ViewAt(int style) const;

  // Filling: Clear, then AddItem for each item. Items added between
  // BeginFill and EndFill reach the views in one batch. An item added
  // without its icon and first sub-item gets them from the resolver when
  // they are first needed.
  void Clear();
  void BeginFill();
  int AddItem(const QString& caption, const QIcon& icon, const QString& sub1 = QString(),
              const QString& sub2 = QString(), const QVariant& data = QVariant());
  int AddUnresolvedItem(const QString& caption, const QString& sub2);
  void EndFill();
  void SetResolver(ItemListModel::Resolver resolver);
  void SetData(int row, const QVariant& data);

  int Count() const;
  QString Caption(int row) const;
  QString SubItem(int row, int column) const;
  QIcon Icon(int row) const;
  QVariant Data(int row) const;
  int SelectedRow() const;
  std::vector<int> SelectedRows() const;  // in the list's order
  void SelectRow(int row);
  int FindCaption(const QString& caption) const;
  // Row under a point given in this widget's coordinates; -1 on empty space.
  int RowAt(const QPoint& pos) const;

  // Rules the owner gives: whether a press on a row may become a drag, the
  // data a drag carries, whether a drag may be dropped here, and the drop.
  std::function<bool(int row)> canDrag;
  std::function<QMimeData*(int row)> dragData;
  std::function<bool(const QDropEvent& event)> acceptsDrop;
  std::function<void(const QDropEvent& event, int row)> dropped;

 signals:
  // A double click on an item, or Enter on the selected one.
  void itemOpened(int row);
  void selectionChanged();
  void contextMenuRequested(const QPoint& globalPos);
  void dragStarted(int row);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Attach(QAbstractItemView* view);
  void StartDrag(int row);
  int RowAtViewport(QAbstractItemView* view, const QPoint& pos) const;

  void Add(ItemListModel::Row&& row);
  void FitItems();

  ItemListModel* model_;
  QListView* iconView_;
  ItemListDelegate* delegate_;
  QTreeView* detailView_;
  int style_ = LargeIcon;
  bool filling_ = false;
  std::vector<ItemListModel::Row> pending_;
  QPoint pressPos_;
  int pressRow_ = -1;
};
