#pragma once

class QMainWindow;

namespace Ui {
class TPcLinkForm;
}

// The main window's actions as menus, buttons and keys offer them: their
// icons, the menu items and tool buttons that carry them, and their keys.
class WindowActions {
 public:
  static void Wire(QMainWindow* window, Ui::TPcLinkForm* ui);
};
