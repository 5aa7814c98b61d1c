#include "platform/midi/WaitClock.h"

namespace {

class SteadyWaitClock : public WaitClock {
 public:
  TimePoint Now() override { return std::chrono::steady_clock::now(); }
  TimePoint FromSteady(std::chrono::steady_clock::time_point at) override { return at; }
  bool WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
                 TimePoint deadline, const std::function<bool()>& ready) override {
    return cv.wait_until(lock, deadline, ready);
  }
};

}  // namespace

WaitClock& WaitClock::Steady() {
  static SteadyWaitClock clock;
  return clock;
}
