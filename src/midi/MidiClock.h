#pragma once

#include <chrono>

// Monotonic time for the exchange limit. Injected so that time-outs can be
// tested without waiting for them.
class MidiClock {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  virtual ~MidiClock() = default;
  virtual TimePoint Now() = 0;

  // The process's real monotonic clock.
  static MidiClock& Steady();
};
