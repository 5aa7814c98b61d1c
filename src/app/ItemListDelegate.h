#pragma once

#include <QSize>
#include <QStyledItemDelegate>

// Gives every item of a list view one size, so that the view lays out many
// items without measuring each, while captions still get the room the style
// of the list allows them. Under large icons a caption takes up to two lines
// and breaks inside a word where it must: file names seldom have blanks.
class ItemListDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void SetItemSize(const QSize& size) { size_ = size; }
  void SetTwoLines(bool twoLines) { twoLines_ = twoLines; }
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

  // The caption broken for `width` pixels: as much as fits on the first
  // line, the rest on a second one, shortened with an ellipsis if need be.
  static QString TwoLines(const QString& text, const QFont& font, int width);

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

 private:
  QSize size_;
  bool twoLines_ = false;
};
