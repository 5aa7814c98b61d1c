#pragma once

#include <string>

// Where the keyboard's history is kept unless the user names another file.
class HistoryLocation {
 public:
  // Ravlin/history.sqlite in the user's data folder by the XDG rules:
  // $XDG_DATA_HOME when it is an absolute path, else ~/.local/share.
  static std::string Default();
};
