#pragma once

#include <QObject>

class QAbstractItemView;

// Opens a view's context menu from the keyboard: the Menu key, Shift+F10,
// or the context menu event the window system makes of the Menu key. The
// view asks for its menu as a right click would (customContextMenuRequested,
// in viewport coordinates), at its current item rather than at the mouse,
// and the current item becomes the selected one.
class ContextMenuKey : public QObject {
 public:
  using QObject::QObject;

  void Watch(QAbstractItemView* view);

  // Where the menu of a view opens: below the current item's caption, or
  // at the top left corner when no item is current or it is out of sight.
  static QPoint MenuPosition(const QAbstractItemView* view);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};
