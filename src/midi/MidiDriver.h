#pragma once

#include "midi/MidiPorts.h"
#include "midi/Task.h"

class MidiDev;

// Runs keyboard work on a device: opens its ports, carries what they report
// to the device, and tells the device when its deadline has come.
class MidiDriver : public MidiPorts {
 public:
  // Starts `task` on `device` and returns once it is done.
  virtual void Run(MidiDev& device, Task<void>& task) = 0;
};
