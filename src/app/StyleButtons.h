#pragma once

#include <QObject>

class ItemListView;
class QButtonGroup;

// A list's style buttons: each shows the list in the style its Tag names.
class StyleButtons : public QObject {
 public:
  StyleButtons(QButtonGroup* group, ItemListView* list);

  // As a click on the style's button does; a style without a button changes
  // nothing.
  void Choose(int style);

 private:
  QButtonGroup* group_;
};
