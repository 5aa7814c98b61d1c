#pragma once

namespace Ui {
class TPcLinkForm;
}

// The main window's words in the user's language: every menu, caption, tool
// tip and column header.
class WindowCaptions {
 public:
  static void Show(Ui::TPcLinkForm* ui);
};
