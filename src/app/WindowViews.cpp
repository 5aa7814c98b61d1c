#include "WindowViews.h"

#include <QMainWindow>

#include "ContextMenuKey.h"
#include "FocusHighlight.h"
#include "ItemListView.h"
#include "WideTree.h"
#include "ui_TPcLinkForm.h"

void WindowViews::Arrange(QMainWindow* window, Ui::TPcLinkForm* ui) {
  ui->Splitter->setStretchFactor(0, 0);
  ui->Splitter->setStretchFactor(1, 1);
  ui->Splitter->setSizes({233, 250});
  ui->Splitter1->setStretchFactor(1, 1);
  ui->Splitter1->setSizes({177, 418});
  ui->Splitter2->setStretchFactor(1, 1);
  ui->Splitter2->setSizes({177, 418});

  QObject::connect(ui->LocalFileView, &ItemListView::contextMenuRequested, ui->LocalPopupMenu,
                   [ui](const QPoint& pos) { ui->LocalPopupMenu->popup(pos); });
  QObject::connect(ui->KbdFileView, &ItemListView::contextMenuRequested, ui->KbdPopupMenu,
                   [ui](const QPoint& pos) { ui->KbdPopupMenu->popup(pos); });
  QObject::connect(ui->KbdDirView, &QWidget::customContextMenuRequested, ui->KbdDirPopup,
                   [ui](const QPoint& pos) {
                     ui->KbdDirPopup->popup(ui->KbdDirView->viewport()->mapToGlobal(pos));
                   });

  new WideTree(ui->LocalDirView);
  new WideTree(ui->KbdDirView);
  auto* menuKey = new ContextMenuKey(window);
  menuKey->Watch(ui->KbdDirView);
  for (ItemListView* list : {ui->LocalFileView, ui->KbdFileView}) {
    menuKey->Watch(list->ViewAt(ItemListView::LargeIcon));
    menuKey->Watch(list->ViewAt(ItemListView::Report));
  }
  new FocusHighlight({ui->LocalDirView, ui->LocalFileView, ui->KbdDirView, ui->KbdFileView},
                     window);
  QWidget::setTabOrder(ui->LocalDirView, ui->LocalFileView);
  QWidget::setTabOrder(ui->LocalFileView, ui->KbdDirView);
  QWidget::setTabOrder(ui->KbdDirView, ui->KbdFileView);
}
