#include "midi/MidiClock.h"

namespace {

class SteadyClock : public MidiClock {
 public:
  TimePoint Now() override { return std::chrono::steady_clock::now(); }

  bool WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
                 TimePoint deadline, const std::function<bool()>& ready) override {
    return cv.wait_until(lock, deadline, ready);
  }
};

}  // namespace

MidiClock& MidiClock::Steady() {
  static SteadyClock clock;
  return clock;
}
