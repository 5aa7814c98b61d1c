#pragma once

#include <functional>
#include <string>

// SIGINT and SIGTERM in the tool. A signal ends the process at once with 128
// plus its number, as a shell expects, unless a Hold lives: a conversation
// with the keyboard, which is then asked to stop at once, the exchange it
// waits for given up (a silent keyboard is not waited out), unless an item
// the keyboard must finish holds the cancel off (MidiDev::CancelHold); or a
// file write or a line of output, which is finished first so that nothing is
// left half written or half said. The work after a Hold stops at the next
// exchange; a command that has nothing left to do ends with the signal's
// status all the same.
class StopSignals {
 public:
  // `text` goes to standard error when a signal ends the tool at once.
  // `wake` runs on a thread of its own after a signal that a Hold let
  // through: it wakes the wait for the keyboard, which then gives up.
  static void Install(const std::string& text, std::function<void()> wake);
  // The number of the signal that came, or 0.
  static int Received();

  class Hold {
   public:
    Hold();
    ~Hold();
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;
  };
};
