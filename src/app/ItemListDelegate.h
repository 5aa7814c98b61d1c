#pragma once

#include <QSize>
#include <QStyledItemDelegate>

// Gives every item of a list view one size, so that the view lays out many
// items without measuring each, while captions still get the room the style
// of the list allows them.
class ItemListDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void SetItemSize(const QSize& size) { size_ = size; }
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

 private:
  QSize size_;
};
