#pragma once

#include <QObject>

class QTreeWidget;
class QTreeWidgetItem;

// A tree as wide as its deepest name: it scrolls sideways when the pane is
// narrower, and follows its current node sideways as well as up and down,
// so that a deep folder that becomes current shows its name.
class WideTree : public QObject {
 public:
  explicit WideTree(QTreeWidget* tree);

  // Scrolls sideways, if need be, so that the node's picture and caption
  // are in sight, with one level of indentation before them.
  static void ShowSideways(QTreeWidget* tree, QTreeWidgetItem* node);

 private:
  QTreeWidget* tree_;
};
