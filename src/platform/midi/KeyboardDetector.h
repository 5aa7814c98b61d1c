#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <set>
#include <vector>

#include "platform/midi/MidiService.h"
#include "platform/midi/ServiceProbePorts.h"
#include "platform/midi/WaitClock.h"
#include "protocol/KeyboardProbe.h"

// Runs the detection probe on the ports of a MIDI service for a caller that
// may wait: the service's threads queue what the inputs receive, and Detect
// waits for the next arrival or the probe's deadline and hands it to the
// probe on the caller's thread.
class KeyboardDetector {
 public:
  // Ports whose numbers are in the skip sets (the built-in simulator) are
  // never opened.
  KeyboardDetector(MidiService& service, WaitClock& clock, std::set<unsigned> skipInputs = {},
                   std::set<unsigned> skipOutputs = {});

  // Returns once every output has been probed.
  KeyboardProbe::Result Detect();

 private:
  struct Arrival {
    unsigned input;
    std::vector<uint8_t> message;
  };

  WaitClock& clock_;
  std::mutex mutex_;  // guards arrivals_
  std::condition_variable arrived_;
  std::deque<Arrival> arrivals_;
  // After the queue: closing the ports stops their threads' calls.
  ServiceProbePorts ports_;
  KeyboardProbe probe_;
};
