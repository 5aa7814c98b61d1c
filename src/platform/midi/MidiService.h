#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "midi/MidiResult.h"

// The operating system's MIDI service as the program needs it. One
// implementation per service (JACK, RtMidi ports, the built-in simulator)
// and a composite that numbers them all as one list.

// When a message reached the service, on the steady clock.
using MidiArrival = std::chrono::steady_clock::time_point;
// Called on the service's own thread with each complete SysEx message and
// the moment it arrived. On a busy machine the call may come well after
// that moment, after the program has sent its next request: only the
// moment tells whether the message could be an answer to it.
using MidiReceiver = std::function<void(const uint8_t* message, size_t size, MidiArrival arrived)>;

class MidiInPort {
 public:
  // Closes the port; once it returns, the receiver is not called again.
  virtual ~MidiInPort() = default;
};

class MidiOutPort {
 public:
  virtual ~MidiOutPort() = default;  // closes the port
  // Queues one SysEx message; `sent` runs once it has gone out, on whatever
  // thread knows it (never for a message the service loses).
  virtual MidiResult Send(const uint8_t* data, size_t size, std::function<void()> sent) = 0;
};

class MidiService {
 public:
  virtual ~MidiService() = default;
  virtual std::vector<std::string> InputNames() = 0;
  virtual std::vector<std::string> OutputNames() = 0;
  virtual MidiResult OpenIn(unsigned device, MidiReceiver receiver,
                            std::unique_ptr<MidiInPort>& port) = 0;
  virtual MidiResult OpenOut(unsigned device, std::unique_ptr<MidiOutPort>& port) = 0;
};
