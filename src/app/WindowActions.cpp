#include "WindowActions.h"

#include <QKeySequence>
#include <QMainWindow>

#include "IconSet.h"
#include "ui_TPcLinkForm.h"

void WindowActions::Wire(QMainWindow* window, Ui::TPcLinkForm* ui) {
  struct Image {
    QAction* action;
    int index;
  };
  for (const Image& image : {Image{ui->ConnectAction, 6}, Image{ui->SendAction, 5},
                             Image{ui->ReceiveAction, 7}, Image{ui->DeleteAction, 8},
                             Image{ui->KbdUpdateAction, 6}, Image{ui->LocalUpdateAction, 4}}) {
    image.action->setIcon(IconSet::Tool(image.index));
  }

  // Menu items are objects of their own so that they can be disabled while
  // their action stays enabled.
  struct Carrier {
    QAction* item;
    QAction* action;
  };
  for (const Carrier& c :
       {Carrier{ui->PropertyMenuItem, ui->PrefOpen}, Carrier{ui->Exit1, ui->ExitAction},
        Carrier{ui->LocalSendMenuItem, ui->SendAction}, Carrier{ui->Property1, ui->PropOpen},
        Carrier{ui->OpenExplorer, ui->ShellOpen}, Carrier{ui->KbdReceiveItem, ui->ReceiveAction},
        Carrier{ui->KbdDeleteItem, ui->DeleteAction}, Carrier{ui->KbdPropertyItem, ui->PropOpen},
        Carrier{ui->KbdDrvPropItem, ui->KbdDrvPropOpen}}) {
    c.item->setIcon(c.action->icon());
    QObject::connect(c.item, &QAction::triggered, c.action, &QAction::trigger);
  }
  struct Button {
    QToolButton* button;
    QAction* action;
  };
  for (const Button& b :
       {Button{ui->LocalUpdateBtn, ui->LocalUpdateAction}, Button{ui->SendBtn, ui->SendAction},
        Button{ui->KbdUpdateBtn, ui->ConnectAction}, Button{ui->ReceiveBtn, ui->ReceiveAction},
        Button{ui->DeleteBtn, ui->DeleteAction}}) {
    b.button->setDefaultAction(b.action);
  }

  // Actions without a carrier still belong to the window.
  window->addActions({ui->DisconnectAction, ui->SendAction, ui->ReceiveAction, ui->DeleteAction,
                      ui->PropOpen, ui->ExitAction, ui->KbdUpdateAction, ui->PrefOpen,
                      ui->KbdDrvPropOpen, ui->ShellOpen});

  // Keys sit on what the menus show, so that the menus name them. Each also
  // belongs to the part of the window where its key works, so that the key
  // works with the menus closed; a menu item that is disabled takes its key
  // with it. F5 and Alt+Enter mean the side or the view with the focus.
  struct Key {
    QAction* item;
    QList<QKeySequence> keys;  // the menu names the first
    QWidget* scope;
  };
  const QList<QKeySequence> altEnter{QKeySequence(Qt::ALT | Qt::Key_Enter),
                                     QKeySequence(Qt::ALT | Qt::Key_Return)};
  // Retrieve and Get/Update List share the View menu, which names F5 only at
  // Get/Update List: on the PC side an action of its own carries the key.
  auto* retrieveKey = new QAction(window);
  QObject::connect(retrieveKey, &QAction::triggered, ui->LocalUpdateAction, &QAction::trigger);
  for (const Key& k :
       {Key{retrieveKey, {QKeySequence(Qt::Key_F5)}, ui->LocalPanel},
        Key{ui->ConnectAction, {QKeySequence(Qt::Key_F5)}, ui->KbdPanel},
        Key{ui->LocalSendMenuItem, {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)}, window},
        Key{ui->KbdReceiveItem, {QKeySequence(Qt::CTRL | Qt::Key_I)}, window},
        Key{ui->KbdDeleteItem, {QKeySequence(Qt::Key_Delete)}, ui->KbdFileView},
        Key{ui->Property1, altEnter, ui->LocalFileView},
        Key{ui->KbdPropertyItem, altEnter, ui->KbdFileView},
        Key{ui->KbdDrvPropItem, altEnter, ui->KbdDirView},
        Key{ui->Exit1, {QKeySequence(QKeySequence::Quit)}, window}}) {
    k.item->setShortcuts(k.keys);
    k.item->setShortcutContext(k.scope == window ? Qt::WindowShortcut
                                                 : Qt::WidgetWithChildrenShortcut);
    k.scope->addAction(k.item);
  }
}
