#pragma once

#include <functional>

#include "midi/MidiClock.h"
#include "midi/MidiPorts.h"
#include "midi/Task.h"

class MidiDev;

// Runs keyboard work on a device: opens its ports, carries what they report
// to the device, and tells the device when its deadline has come.
class MidiDriver : public MidiPorts {
 public:
  // Starts `task` on `device`; `ended` runs once the task is done (its value
  // or exception is in the task). A driver with a loop of its own returns at
  // once; one that waits for the keyboard returns only after `ended`.
  virtual void Start(MidiDev& device, Task<void>& task, std::function<void()> ended) = 0;
  // The time its devices go by.
  virtual MidiClock& Clock() { return MidiClock::Steady(); }
};
