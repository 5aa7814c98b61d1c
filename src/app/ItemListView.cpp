#include "ItemListView.h"

#include <QDrag>
#include <QDropEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QListView>
#include <QMimeData>
#include <QMouseEvent>
#include <QTreeView>
#include <algorithm>
#include <set>

#include "ItemListDelegate.h"

ItemListView::ItemListView(QWidget* parent)
    : QStackedWidget(parent),
      model_(new ItemListModel(this)),
      iconView_(new QListView(this)),
      delegate_(new ItemListDelegate(this)),
      detailView_(new QTreeView(this)) {
  iconView_->setObjectName("IconView");
  detailView_->setObjectName("DetailView");
  iconView_->setModel(model_);
  iconView_->setItemDelegate(delegate_);
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
  view->setSelectionMode(QAbstractItemView::ExtendedSelection);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->setDragEnabled(false);
  view->setContextMenuPolicy(Qt::CustomContextMenu);
  view->viewport()->setAcceptDrops(true);
  view->viewport()->installEventFilter(this);
  view->installEventFilter(this);
  connect(view, &QAbstractItemView::doubleClicked, this,
          [this](const QModelIndex& index) { emit itemOpened(index.row()); });
  connect(view, &QWidget::customContextMenuRequested, this, [this, view](const QPoint& pos) {
    emit contextMenuRequested(view->viewport()->mapToGlobal(pos));
  });
}

void ItemListView::SetColumns(const QStringList& captions, const QList<int>& widths,
                              int rightAligned) {
  model_->SetHeaders(captions, rightAligned);
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
      iconView_->setTextElideMode(Qt::ElideRight);
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
  delegate_->SetTwoLines(style == LargeIcon);
  FitItems();
  setCurrentWidget(style == Report ? static_cast<QWidget*>(detailView_) : iconView_);
  setFocusProxy(CurrentView());
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

void ItemListView::Clear() {
  pending_.clear();
  model_->Clear();
}

void ItemListView::BeginFill() { filling_ = true; }

void ItemListView::Add(ItemListModel::Row&& row) {
  if (filling_) {
    pending_.push_back(std::move(row));
  } else {
    std::vector<ItemListModel::Row> one;
    one.push_back(std::move(row));
    model_->Append(std::move(one));
  }
}

int ItemListView::AddItem(const QString& caption, const QIcon& icon, const QString& sub1,
                          const QString& sub2, const QVariant& data) {
  Add({caption, icon, sub1, sub2, data, false});
  return model_->rowCount() + static_cast<int>(pending_.size()) - 1;
}

int ItemListView::AddUnresolvedItem(const QString& caption, const QString& sub2) {
  Add({caption, QIcon(), QString(), sub2, QVariant(), true});
  return model_->rowCount() + static_cast<int>(pending_.size()) - 1;
}

void ItemListView::EndFill() {
  filling_ = false;
  model_->Append(std::move(pending_));
  pending_.clear();
  if (style_ == List) FitItems();
}

// Large and small icons give each item a cell of the grid; the list is as
// wide as its longest caption.
void ItemListView::FitItems() {
  const QFontMetrics metrics(iconView_->font());
  const int line = metrics.height();
  switch (style_) {
    case LargeIcon:
      delegate_->SetItemSize(QSize(iconView_->gridSize().width() - 4, 32 + 2 * line + 6));
      iconView_->setGridSize(QSize(84, 32 + 2 * line + 10));
      break;
    case SmallIcon:
      delegate_->SetItemSize(QSize(iconView_->gridSize().width() - 4, std::max(18, line + 4)));
      break;
    case List: {
      int widest = 0;
      for (int row = 0; row < model_->rowCount(); ++row)
        widest = std::max(widest, metrics.horizontalAdvance(model_->Caption(row)));
      delegate_->SetItemSize(QSize(widest + 16 + 16, std::max(18, line + 4)));
      break;
    }
    default:
      break;
  }
  iconView_->doItemsLayout();
}

void ItemListView::SetResolver(ItemListModel::Resolver resolver) {
  model_->SetResolver(std::move(resolver));
}

void ItemListView::SetData(int row, const QVariant& data) { model_->SetData(row, data); }

int ItemListView::Count() const { return model_->rowCount(); }

QString ItemListView::Caption(int row) const { return model_->Caption(row); }

QString ItemListView::SubItem(int row, int column) const {
  const ItemListModel::Row& r = model_->At(row);
  return column == 0 ? r.caption : column == 1 ? r.sub1 : r.sub2;
}

QIcon ItemListView::Icon(int row) const { return model_->At(row).icon; }

QVariant ItemListView::Data(int row) const { return model_->At(row).data; }

// With several rows selected, the one the user last clicked among them.
int ItemListView::SelectedRow() const {
  QItemSelectionModel* selection = iconView_->selectionModel();
  const QModelIndex current = selection->currentIndex();
  if (current.isValid() && selection->isRowSelected(current.row())) return current.row();
  const std::vector<int> rows = SelectedRows();
  return rows.empty() ? -1 : rows.front();
}

std::vector<int> ItemListView::SelectedRows() const {
  std::set<int> rows;
  for (const QModelIndex& index : iconView_->selectionModel()->selectedIndexes())
    rows.insert(index.row());
  return {rows.begin(), rows.end()};
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
    if (model_->Caption(row) == caption) return row;
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
  if ((watched == iconView_ || watched == detailView_) && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    if (!enter || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) return false;
    // The item with the focus mark is the one opened, selected or not yet.
    const int row = static_cast<QAbstractItemView*>(watched)->currentIndex().row();
    if (row < 0) return true;
    SelectRow(row);
    emit itemOpened(row);
    return true;
  }
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
