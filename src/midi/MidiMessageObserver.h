#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "midi/MidiClock.h"

// Sees what goes over the wire: each request as it goes out, each answer as
// it is taken and each failure of the device, with the device clock's time.
// Called on the thread that drives the device, one call at a time; the bytes
// are valid only during the call.
class MidiMessageObserver {
 public:
  virtual ~MidiMessageObserver() = default;
  virtual void Sent(MidiClock::TimePoint at, const uint8_t* bytes, size_t size) = 0;
  virtual void Received(MidiClock::TimePoint at, const uint8_t* bytes, size_t size) = 0;
  // A message that answers no request (it came before the request went out,
  // from another maker or model, or does not repeat a request that must be
  // repeated); it is dropped.
  virtual void Stray(MidiClock::TimePoint /*at*/, const uint8_t* /*bytes*/, size_t /*size*/) {}
  // The work lets `time` pass before its next request.
  virtual void Paused(MidiClock::TimePoint /*at*/, std::chrono::milliseconds /*time*/) {}
  // A MidiDevException with this code and sub-code is about to be thrown.
  virtual void Failed(MidiClock::TimePoint at, int32_t code, uint32_t subCode) = 0;
};
