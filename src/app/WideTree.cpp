#include "WideTree.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QTreeWidget>

WideTree::WideTree(QTreeWidget* tree) : QObject(tree), tree_(tree) {
  tree->header()->setStretchLastSection(false);
  tree->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  tree->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  // The column takes its new width only once the tree has laid itself out.
  connect(tree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
    if (current == nullptr) return;
    QMetaObject::invokeMethod(
        this,
        [this, current] {
          if (tree_->currentItem() == current) ShowSideways(tree_, current);
        },
        Qt::QueuedConnection);
  });
}

void WideTree::ShowSideways(QTreeWidget* tree, QTreeWidgetItem* node) {
  tree->scrollToItem(node);
  const QRect rect = tree->visualItemRect(node);
  if (!rect.isValid()) return;
  const int width = tree->iconSize().width() +
                    tree->fontMetrics().horizontalAdvance(node->text(0)) +
                    tree->fontMetrics().averageCharWidth() * 2;
  const int viewport = tree->viewport()->width();
  if (rect.left() >= 0 && rect.left() + width <= viewport) return;
  QScrollBar* bar = tree->horizontalScrollBar();
  bar->setValue(bar->value() + rect.left() - tree->indentation());
}
