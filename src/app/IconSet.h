#pragma once

#include <QIcon>

// The window's own pictures, by the index the window's tables give them.
// Drawn as SVG so they stay sharp at any scale.
class IconSet {
 public:
  static constexpr int kToolCount = 9;
  static constexpr int kKbdCount = 12;

  // 0 large icons, 1 small icons, 2 list, 3 details, 4 retrieve, 5 send,
  // 6 get/update list, 7 import, 8 delete.
  static QIcon Tool(int index);
  // 0/1 drive (offline/connected), 2 folder absent, 3 folder, 4 open folder,
  // 5 empty slot, 6 tone, 7 DSP, 8 registration, 9 song, 10 rhythm,
  // 11 the keyboard.
  static QIcon Kbd(int index);
  // A tree node's picture that changes while the node is selected.
  static QIcon KbdPair(int index, int selectedIndex);
};
