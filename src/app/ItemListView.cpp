#include "ItemListView.h"

#include <QDrag>
#include <QDropEvent>
#include <QHeaderView>
#include <QListView>
#include <QMimeData>
#include <QMouseEvent>
#include <QStandardItemModel>
#include <QTreeView>

ItemListView::ItemListView(QWidget* parent)
    : QStackedWidget(parent),
      model_(new QStandardItemModel(0, 3, this)),
      iconView_(new QListView(this)),
      detailView_(new QTreeView(this)) {
  iconView_->setObjectName("IconView");
  detailView_->setObjectName("DetailView");
  iconView_->setModel(model_);
  detailView_->setModel(model_);
  detailView_->setSelectionModel(iconView_->selectionModel());
  iconView_->setMovement(QListView::Static);
  iconView_->setResizeMode(QListView::Adjust);
  iconView_->setUniformItemSizes(true);
  iconView_->setLayoutMode(QListView::Batched);
  iconView_->setBatchSize(500);
  detailView_->setRootIsDecorated(false);
  detailView_->setItemsExpandable(false);
  detailView_->setUniformRowHeights(true);
  detailView_->setAllColumnsShowFocus(true);
  detailView_->setIconSize(QSize(16, 16));
  detailView_->header()->setStretchLastSection(false);
  detailView_->header()->setSectionsMovable(false);
  Attach(iconView_);
  Attach(detailView_);
  addWidget(iconView_);
  addWidget(detailView_);
  SetStyle(LargeIcon);

  connect(iconView_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { emit selectionChanged(); });
}

void ItemListView::Attach(QAbstractItemView* view) {
  view->setSelectionMode(QAbstractItemView::SingleSelection);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->setDragEnabled(false);
  view->setContextMenuPolicy(Qt::CustomContextMenu);
  view->viewport()->setAcceptDrops(true);
  view->viewport()->installEventFilter(this);
  connect(view, &QAbstractItemView::doubleClicked, this,
          [this](const QModelIndex& index) { emit itemDoubleClicked(index.row()); });
  connect(view, &QWidget::customContextMenuRequested, this, [this, view](const QPoint& pos) {
    emit contextMenuRequested(view->viewport()->mapToGlobal(pos));
  });
}

void ItemListView::SetColumns(const QStringList& captions, const QList<int>& widths,
                              int rightAligned) {
  model_->setHorizontalHeaderLabels(captions);
  rightAligned_ = rightAligned;
  if (rightAligned >= 0) {
    model_->setHeaderData(rightAligned, Qt::Horizontal,
                          QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter),
                          Qt::TextAlignmentRole);
  }
  for (int column = 0; column < widths.size(); ++column) {
    detailView_->setColumnWidth(column, widths[column]);
  }
}

void ItemListView::SetStyle(int style) {
  const bool hadFocus = CurrentView()->hasFocus();
  style_ = style;
  switch (style) {
    case LargeIcon:
      iconView_->setViewMode(QListView::IconMode);
      iconView_->setIconSize(QSize(32, 32));
      iconView_->setFlow(QListView::LeftToRight);
      iconView_->setWrapping(true);
      iconView_->setWordWrap(true);
      iconView_->setGridSize(QSize(84, 64));
      break;
    case SmallIcon:
      iconView_->setViewMode(QListView::ListMode);
      iconView_->setIconSize(QSize(16, 16));
      iconView_->setFlow(QListView::LeftToRight);
      iconView_->setWrapping(true);
      iconView_->setWordWrap(false);
      iconView_->setGridSize(QSize(150, 20));
      break;
    case List:
      iconView_->setViewMode(QListView::ListMode);
      iconView_->setIconSize(QSize(16, 16));
      iconView_->setFlow(QListView::TopToBottom);
      iconView_->setWrapping(true);
      iconView_->setWordWrap(false);
      iconView_->setGridSize(QSize());
      break;
    default:
      break;
  }
  setCurrentWidget(style == Report ? static_cast<QWidget*>(detailView_) : iconView_);
  // Changing the view mode or the movement also sets the view's own drag
  // and drop, which this widget does itself.
  iconView_->setMovement(QListView::Static);
  iconView_->setDragEnabled(false);
  iconView_->viewport()->setAcceptDrops(true);
  if (hadFocus) CurrentView()->setFocus();
}

QAbstractItemView* ItemListView::CurrentView() const {
  return style_ == Report ? static_cast<QAbstractItemView*>(detailView_) : iconView_;
}

QAbstractItemView* ItemListView::ViewAt(int style) const {
  return style == Report ? static_cast<QAbstractItemView*>(detailView_) : iconView_;
}

void ItemListView::Clear() { model_->removeRows(0, model_->rowCount()); }

void ItemListView::BeginFill() {
  filling_ = true;
  iconView_->setUpdatesEnabled(false);
  detailView_->setUpdatesEnabled(false);
}

int ItemListView::AddItem(const QString& caption, const QIcon& icon, const QString& sub1,
                          const QString& sub2, const QVariant& data) {
  auto* item = new QStandardItem(icon, caption);
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
  item->setData(data, kDataRole);
  auto* item1 = new QStandardItem(sub1);
  item1->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
  auto* item2 = new QStandardItem(sub2);
  item2->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
  QStandardItem* cells[] = {item, item1, item2};
  if (rightAligned_ >= 0) cells[rightAligned_]->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
  model_->appendRow({item, item1, item2});
  return model_->rowCount() - 1;
}

void ItemListView::EndFill() {
  if (!filling_) return;
  filling_ = false;
  iconView_->setUpdatesEnabled(true);
  detailView_->setUpdatesEnabled(true);
}

int ItemListView::Count() const { return model_->rowCount(); }

QString ItemListView::Caption(int row) const { return model_->item(row, 0)->text(); }

QString ItemListView::SubItem(int row, int column) const {
  return model_->item(row, column)->text();
}

QIcon ItemListView::Icon(int row) const { return model_->item(row, 0)->icon(); }

QVariant ItemListView::Data(int row) const { return model_->item(row, 0)->data(kDataRole); }

int ItemListView::SelectedRow() const {
  const QModelIndexList rows = iconView_->selectionModel()->selectedIndexes();
  return rows.isEmpty() ? -1 : rows.first().row();
}

void ItemListView::SelectRow(int row) {
  if (row < 0 || row >= model_->rowCount()) {
    iconView_->selectionModel()->clear();
    return;
  }
  const QModelIndex index = model_->index(row, 0);
  iconView_->selectionModel()->setCurrentIndex(
      index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  CurrentView()->scrollTo(index);
}

int ItemListView::FindCaption(const QString& caption) const {
  for (int row = 0; row < model_->rowCount(); ++row) {
    if (model_->item(row, 0)->text() == caption) return row;
  }
  return -1;
}

int ItemListView::RowAt(const QPoint& pos) const {
  QAbstractItemView* view = CurrentView();
  return RowAtViewport(view, view->viewport()->mapFrom(this, pos));
}

int ItemListView::RowAtViewport(QAbstractItemView* view, const QPoint& pos) const {
  const QModelIndex index = view->indexAt(pos);
  return index.isValid() ? index.row() : -1;
}

bool ItemListView::eventFilter(QObject* watched, QEvent* event) {
  QAbstractItemView* view = nullptr;
  if (watched == iconView_->viewport()) view = iconView_;
  if (watched == detailView_->viewport()) view = detailView_;
  if (view == nullptr) return QStackedWidget::eventFilter(watched, event);

  switch (event->type()) {
    case QEvent::MouseButtonPress: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      pressRow_ = -1;
      if (mouse->button() == Qt::LeftButton) {
        pressPos_ = mouse->position().toPoint();
        pressRow_ = RowAtViewport(view, pressPos_);
      }
      return false;
    }
    case QEvent::MouseMove: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (pressRow_ < 0 || !(mouse->buttons() & Qt::LeftButton)) return false;
      const QPoint delta = mouse->position().toPoint() - pressPos_;
      if (qAbs(delta.x()) < kDragThreshold && qAbs(delta.y()) < kDragThreshold) return true;
      const int row = pressRow_;
      pressRow_ = -1;
      if (!canDrag || !canDrag(row)) return false;
      StartDrag(row);
      return true;
    }
    case QEvent::MouseButtonRelease:
      pressRow_ = -1;
      return false;
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* drag = static_cast<QDropEvent*>(event);
      if (acceptsDrop && acceptsDrop(*drag)) {
        drag->setDropAction(Qt::CopyAction);
        drag->accept();
      } else {
        drag->ignore();
      }
      return true;
    }
    case QEvent::DragLeave:
      return true;
    case QEvent::Drop: {
      auto* drop = static_cast<QDropEvent*>(event);
      if (!acceptsDrop || !acceptsDrop(*drop)) {
        drop->ignore();
        return true;
      }
      drop->setDropAction(Qt::CopyAction);
      drop->accept();
      if (dropped) dropped(*drop, RowAtViewport(view, drop->position().toPoint()));
      return true;
    }
    default:
      return false;
  }
}

void ItemListView::StartDrag(int row) {
  auto* drag = new QDrag(this);
  drag->setMimeData(dragData ? dragData(row) : new QMimeData);
  const QIcon icon = Icon(row);
  if (!icon.isNull()) drag->setPixmap(icon.pixmap(QSize(32, 32), devicePixelRatioF()));
  emit dragStarted(row);
  drag->exec(Qt::CopyAction);
}
