#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/midi/MidiService.h"
#include "platform/midi/WaitClock.h"
#include "protocol/KeyboardProbe.h"

// Runs the detection probe on the ports of a MIDI service for a caller that
// may wait: the service's threads queue what the inputs receive, and Detect
// waits for the next arrival or the probe's deadline and hands it to the
// probe on the caller's thread.
class KeyboardDetector : private ProbePorts {
 public:
  // Ports whose numbers are in the skip sets (the built-in simulator) are
  // never opened.
  KeyboardDetector(MidiService& service, WaitClock& clock, std::set<unsigned> skipInputs = {},
                   std::set<unsigned> skipOutputs = {});
  ~KeyboardDetector() override;

  // Returns once every output has been probed.
  KeyboardProbe::Result Detect();

 private:
  struct Arrival {
    unsigned input;
    std::vector<uint8_t> message;
  };

  std::vector<std::string> InputNames() override { return service_.InputNames(); }
  std::vector<std::string> OutputNames() override { return service_.OutputNames(); }
  bool OpenIn(unsigned input) override;
  bool OpenOut(unsigned output) override;
  bool Send(unsigned output, const std::vector<uint8_t>& message) override;
  void CloseAll() override;

  MidiService& service_;
  WaitClock& clock_;
  KeyboardProbe probe_;
  std::map<unsigned, std::unique_ptr<MidiInPort>> inputs_;
  std::map<unsigned, std::unique_ptr<MidiOutPort>> outputs_;

  std::mutex mutex_;  // guards arrivals_
  std::condition_variable arrived_;
  std::deque<Arrival> arrivals_;
};
