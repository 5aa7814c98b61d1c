#include "ItemListDelegate.h"

QSize ItemListDelegate::sizeHint(const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
  return size_.isValid() ? size_ : QStyledItemDelegate::sizeHint(option, index);
}
