#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/midi/MidiService.h"
#include "platform/midi/WaitClock.h"

// Finds keyboards on a MIDI service by asking: every input is opened at
// once, then each output in turn gets the keyboard-type read, addressed to
// the keyboard's maker and model so that other instruments ignore it, and
// is paired with each input on which a well-formed answer to that read
// arrives; each pair is confirmed by a second probe of its output alone.
// An echo of the request (a MIDI thru loop), another device's SysEx and
// silence pair nothing. A silent output costs one short probe window, not
// the exchange's time limit.
class KeyboardDetector {
 public:
  // The QnKbdDrvException code for a detection that found none.
  static constexpr int32_t kNoKeyboardFound = 1;
  static constexpr std::chrono::milliseconds kProbeWindow{150};
  // How long other inputs may still answer once one has.
  static constexpr std::chrono::milliseconds kAfterAnswer{20};

  struct Port {
    unsigned number;
    std::string name;
  };
  struct Keyboard {
    Port in;
    Port out;
    int32_t type;  // the keyboard-type parameter; 0 for the TRV-408
  };
  struct Result {
    std::vector<Keyboard> keyboards;  // every answer, of any keyboard type
    std::vector<Port> unopenedInputs;
    std::vector<Port> unopenedOutputs;
    // The answers of the model this program serves.
    std::vector<Keyboard> Served() const;
  };

  // Ports whose numbers are in the skip sets (the built-in simulator) are
  // never opened.
  KeyboardDetector(MidiService& service, WaitClock& clock, std::set<unsigned> skipInputs = {},
                   std::set<unsigned> skipOutputs = {});
  ~KeyboardDetector();

  Result Detect();

  // The keyboard-type read as it goes out, and whether `message` answers it
  // (the answer's type in `type`).
  static std::vector<uint8_t> TypeRequest();
  static bool IsTypeAnswer(const uint8_t* message, size_t size, int32_t& type);

 private:
  struct Input;
  struct Arrival {
    size_t input;  // index into the open inputs
    std::vector<uint8_t> message;
  };

  // Sends the keyboard-type read to `output` and adds each input that
  // answers it in the probe window to `found`; false when it cannot be sent.
  bool Probe(const Port& output, MidiOutPort& port, const std::vector<Input>& inputs,
             std::vector<Keyboard>& found);

  MidiService& service_;
  WaitClock& clock_;
  std::set<unsigned> skipInputs_;
  std::set<unsigned> skipOutputs_;
  std::mutex mutex_;  // guards arrivals_
  std::condition_variable arrived_;
  std::deque<Arrival> arrivals_;
};
