#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

// Monotonic time for the exchange limit. Injected so that time-outs can be
// tested without waiting for them.
class MidiClock {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  virtual ~MidiClock() = default;
  virtual TimePoint Now() = 0;
  // Called with `lock` held: blocks on `cv` until `ready()` holds or the clock
  // has reached `deadline`; returns `ready()`.
  virtual bool WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
                         TimePoint deadline, const std::function<bool()>& ready) = 0;

  // The process's real monotonic clock.
  static MidiClock& Steady();
};
