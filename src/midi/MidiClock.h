#pragma once

#include <chrono>

// Monotonic time for the exchange limit. Injected so that time-outs can be
// tested without waiting for them.
class MidiClock {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  virtual ~MidiClock() = default;
  virtual TimePoint Now() = 0;
  // This clock's time of a moment on the steady clock: when a MIDI service
  // says a message arrived. A clock that does not follow the steady one
  // cannot place that moment and takes it as now.
  virtual TimePoint FromSteady(std::chrono::steady_clock::time_point) { return Now(); }

  // The process's real monotonic clock.
  static MidiClock& Steady();
};
