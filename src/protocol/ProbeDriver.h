#pragma once

#include <functional>

#include "midi/Task.h"
#include "protocol/KeyboardProbe.h"

// A driver that runs detections as it runs a device's work: a probe on its
// ports gets what their inputs receive and the passing of time from it.
class ProbeDriver {
 public:
  virtual ~ProbeDriver() = default;
  // The ports a probe started here asks.
  virtual ProbePorts& DetectionPorts() = 0;
  // Runs `task`, which awaits `probe`'s detection; `ended` runs once it is
  // done.
  virtual void StartProbe(KeyboardProbe& probe, Task<void>& task, std::function<void()> ended) = 0;
  // Lets go of the detection under way without calling back: its task is
  // the caller's to destroy, which closes the ports.
  virtual void StopProbe() = 0;
};
