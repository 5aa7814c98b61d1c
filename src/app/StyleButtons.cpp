#include "StyleButtons.h"

#include <QAbstractButton>
#include <QButtonGroup>

#include "IconSet.h"
#include "ItemListView.h"

StyleButtons::StyleButtons(QButtonGroup* group, ItemListView* list)
    : QObject(group), group_(group) {
  for (QAbstractButton* button : group->buttons())
    button->setIcon(IconSet::Tool(button->property("Tag").toInt()));
  connect(group, &QButtonGroup::buttonClicked, this, [list](QAbstractButton* button) {
    const int tag = button->property("Tag").toInt();
    if (tag >= ItemListView::LargeIcon && tag <= ItemListView::Report) list->SetStyle(tag);
  });
}

void StyleButtons::Choose(int style) {
  for (QAbstractButton* button : group_->buttons())
    if (button->property("Tag").toInt() == style) button->click();
}
