#pragma once

#include <chrono>
#include <functional>

namespace sim {

// Runs the link's events at their time: in the program a thread on the real
// clock, in tests a simulated clock that jumps from event to event.
class Scheduler {
 public:
  using Clock = std::chrono::steady_clock;

  virtual ~Scheduler() = default;
  virtual Clock::time_point Now() = 0;
  // Runs `action` at `when` (at once if that has passed); actions due at the
  // same moment run in the order they were posted.
  virtual void At(Clock::time_point when, std::function<void()> action) = 0;
};

}  // namespace sim
