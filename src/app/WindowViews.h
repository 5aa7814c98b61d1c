#pragma once

class QMainWindow;

namespace Ui {
class TPcLinkForm;
}

// How the main window's four views are laid out and reached: the splitters'
// first sizes, the context menus by mouse and by key, trees that scroll
// sideways to their current node, the mark of the view with the focus, and
// the tab order.
class WindowViews {
 public:
  static void Arrange(QMainWindow* window, Ui::TPcLinkForm* ui);
};
