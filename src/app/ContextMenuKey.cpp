#include "ContextMenuKey.h"

#include <QAbstractItemView>
#include <QContextMenuEvent>
#include <QKeyEvent>

void ContextMenuKey::Watch(QAbstractItemView* view) { view->installEventFilter(this); }

QPoint ContextMenuKey::MenuPosition(const QAbstractItemView* view) {
  const QRect item = view->visualRect(view->currentIndex());
  const QRect shown = item.intersected(view->viewport()->rect());
  if (!view->currentIndex().isValid() || shown.isEmpty()) return QPoint(0, 0);
  return QPoint(shown.left() + shown.width() / 2, shown.bottom());
}

bool ContextMenuKey::eventFilter(QObject* watched, QEvent* event) {
  auto* view = qobject_cast<QAbstractItemView*>(watched);
  if (view == nullptr || view->contextMenuPolicy() != Qt::CustomContextMenu) return false;
  bool wanted = false;
  if (event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
    wanted = (key->key() == Qt::Key_Menu && modifiers == Qt::NoModifier) ||
             (key->key() == Qt::Key_F10 && modifiers == Qt::ShiftModifier);
  } else if (event->type() == QEvent::ContextMenu) {
    // Right clicks reach the viewport; what reaches the view itself came
    // from the keyboard, at the mouse pointer or at some caret.
    wanted = static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard;
  }
  if (!wanted) return false;
  event->accept();
  // As a right click on an item selects it, the menu's commands work on the
  // item the menu opens at.
  const QModelIndex current = view->currentIndex();
  if (current.isValid() && view->selectionModel() && !view->selectionModel()->isSelected(current))
    view->selectionModel()->select(current,
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  emit view->customContextMenuRequested(MenuPosition(view));
  return true;
}
