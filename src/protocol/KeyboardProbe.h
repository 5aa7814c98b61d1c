#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "midi/Coroutine.h"
#include "midi/MidiClock.h"
#include "midi/Task.h"

// The ports a probe asks, numbered as their service lists them; one
// implementation per driver. Opening and sending return at once: what an
// open input receives reaches the probe through its driver
// (KeyboardProbe::Arrived), never from inside these calls.
class ProbePorts {
 public:
  virtual ~ProbePorts() = default;
  virtual std::vector<std::string> InputNames() = 0;
  virtual std::vector<std::string> OutputNames() = 0;
  virtual bool OpenIn(unsigned input) = 0;
  virtual bool OpenOut(unsigned output) = 0;
  virtual bool Send(unsigned output, const std::vector<uint8_t>& message) = 0;
  // Closes every port the probe opened.
  virtual void CloseAll() = 0;
};

// Finds keyboards by asking: every input is opened at once, then each output
// in turn gets the keyboard-type read, addressed to the keyboard's maker and
// model so that other instruments ignore it, and is paired with each input on
// which a well-formed answer to that read arrives; each pair is confirmed by
// a second probe of its output alone. An echo of the request (a MIDI thru
// loop), another device's SysEx and silence pair nothing. A silent output
// costs one short probe window, not the exchange's time limit.
//
// Detect() is keyboard work like any other: it suspends while it waits, and
// its driver hands it what the inputs receive (Arrived) and the passing of
// time (Expire at Deadline()).
class KeyboardProbe {
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

  // Ports whose numbers are in the skip sets (a built-in simulator) are
  // never opened.
  KeyboardProbe(ProbePorts& ports, MidiClock& clock, std::set<unsigned> skipInputs = {},
                std::set<unsigned> skipOutputs = {});

  // Closes its ports when done, also when the task is destroyed unfinished.
  Task<Result> Detect();

  // From the driver, one call at a time, never from inside a call to the
  // ports: a message that input number `input` received.
  void Arrived(unsigned input, const uint8_t* message, size_t size);
  // Resumes the probe once `now` has reached its deadline.
  void Expire(MidiClock::TimePoint now);
  // When the probe's window closes unless it is cut short; none while the
  // probe is not waiting.
  std::optional<MidiClock::TimePoint> Deadline() const;
  // The time its deadlines go by.
  MidiClock& Clock() const { return clock_; }

  // The keyboard-type read as it goes out, and whether `message` answers it
  // (the answer's type in `type`).
  static std::vector<uint8_t> TypeRequest();
  static bool IsTypeAnswer(const uint8_t* message, size_t size, int32_t& type);

 private:
  struct Arrival {
    unsigned input;
    std::vector<uint8_t> message;
  };
  class Waiting {
   public:
    explicit Waiting(KeyboardProbe& probe) : probe_(probe) {}
    bool await_ready() const noexcept { return false; }
    void await_suspend(co::coroutine_handle<> work) { probe_.waiting_ = work; }
    void await_resume() const noexcept {}

   private:
    KeyboardProbe& probe_;
  };

  // Sends the read to `output` and adds each input that answers it within
  // the window to `found`; false when it cannot be sent.
  Task<bool> Probe(Port output, std::vector<Keyboard>& found);
  void Resume();

  ProbePorts& ports_;
  MidiClock& clock_;
  std::set<unsigned> skipInputs_;
  std::set<unsigned> skipOutputs_;
  std::vector<Port> inputs_;  // the open ones
  std::deque<Arrival> arrivals_;
  std::optional<MidiClock::TimePoint> deadline_;
  co::coroutine_handle<> waiting_;
};
